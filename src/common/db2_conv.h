// The DB2 side of the converter: the one DB2 connection (the engine) and its settings (user,
// password and the schema that receives the tables). The destination database name itself lives
// in tk_converter; this side reaches it through the two virtual operations the converter
// implements. Owned by the converter; used by the thread that runs the conversion.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db2/db2_engi.h"

class udb_database;
class udb_profile;

class db2_converter_impl {
public:
    db2_converter_impl();
    virtual ~db2_converter_impl();

    db2_converter_impl(const db2_converter_impl&) = delete;
    db2_converter_impl& operator=(const db2_converter_impl&) = delete;

    virtual std::u16string get_destination_name() const = 0;
    virtual void set_destination_name(const std::u16string& name) = 0;

    // Connects to the DB2 database (alias) with the stored user and password. Throws
    // db2_exception; the side stays connected once this has succeeded.
    void connect_db2_server(const std::u16string& database);
    // The schema as a destination database; the caller owns it and deletes it before the
    // engine. Before a successful connect: tk_mail_assertion (db2_conv 75).
    std::unique_ptr<udb_database> open_db(const std::u16string& schema);
    // Replaces the list with the schemas of the connected database. Before a successful
    // connect: tk_mail_assertion (db2_conv 85).
    void get_db2_schemas(std::vector<std::u16string>& list);

    // Sets user and password, then the destination name.
    void store_db2_settings(const std::u16string& database, const std::u16string& user,
                            const std::u16string& password);
    // Keeps the schema in upper case (the current locale's rules).
    void set_schema(const std::u16string& schema);

    // "DB2 settings": user, password and schema, each only when not empty; the schema as
    // written (not upper-cased).
    void load_profile(const udb_profile& profile);
    void store_profile(udb_profile& profile) const;

    bool is_connected() const { return connected_; }
    const std::u16string& schema() const { return schema_; }
    const std::u16string& db2_user() const { return user_; }
    const std::u16string& db2_password() const { return password_; }
    db2_engine& get_db2_engine() { return db2_engine_; }

protected:
    bool connected_ = false;
    db2_engine db2_engine_;
    std::u16string schema_;
    std::u16string user_;
    std::u16string password_;
};
