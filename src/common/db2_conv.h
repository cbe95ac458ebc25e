// The DB2 side of the converter: the DB2 connection settings (user, password and the schema that
// receives the tables). The destination database name itself lives in tk_converter; this side
// reaches it through the two virtual operations the converter implements.
#pragma once

#include <string>

class db2_converter_impl {
public:
    db2_converter_impl();
    virtual ~db2_converter_impl();

    db2_converter_impl(const db2_converter_impl&) = delete;
    db2_converter_impl& operator=(const db2_converter_impl&) = delete;

    virtual std::u16string get_destination_name() const = 0;
    virtual void set_destination_name(const std::u16string& name) = 0;

    // Sets user and password, then the destination name.
    void store_db2_settings(const std::u16string& database, const std::u16string& user,
                            const std::u16string& password);
    // Keeps the schema in upper case (the current locale's rules).
    void set_schema(const std::u16string& schema);

    bool is_connected() const { return connected_; }
    const std::u16string& schema() const { return schema_; }
    const std::u16string& db2_user() const { return user_; }
    const std::u16string& db2_password() const { return password_; }

protected:
    bool connected_ = false;
    // The DB2 engine (the connection) joins here, between the flag and the settings.
    std::u16string schema_;
    std::u16string user_;
    std::u16string password_;
};
