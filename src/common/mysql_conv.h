// The MySQL side of the converter: the one MySQL connection (the engine), its settings as narrow
// UTF-8 text and the dump options, which only travel through profiles. Owned by the converter;
// used by the thread that runs the conversion.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sql/sql_engi.h"

class udb_database;
class udb_profile;

// MySQL dump settings kept for profiles; the conversion does not use them.
struct mysql_dump_options {
    bool line_break = false;
    bool new_version = true;
    bool add_lock_to_insert = true;
    bool insert_comments = true;
    bool create_database = false;
    bool create_table = true;
};

class mysql_converter_impl {
public:
    mysql_converter_impl();
    virtual ~mysql_converter_impl();

    mysql_converter_impl(const mysql_converter_impl&) = delete;
    mysql_converter_impl& operator=(const mysql_converter_impl&) = delete;

    // Stores the four values without leading and trailing blanks; an empty port becomes "3306".
    // The password never reaches the trace.
    void store_mysql_settings(const std::string& host, const std::string& user,
                              const std::string& password, const std::string& port);

    // Connects with the stored settings. A port text whose leading digits do not make a port
    // number (1 to 65535) raises tk_exception "Invalid port number" (level 1); connection
    // failures are the engine's sql_exception.
    void connect_mysql_server();
    // Whether the server has a database of this name (it is then the selected database).
    bool is_mysql_base_exist(const std::u16string& name);
    // Names of all databases on the server. Throws sql_exception.
    std::vector<std::u16string> get_mysql_databases();

    // "MySQL settings": "host" and "password" are always taken (an absent key empties them),
    // "user", "port" and the dump options only when not empty.
    void load_profile(const udb_profile& profile);
    void store_profile(udb_profile& profile) const;

    // Empty means the local server.
    const std::string& mysql_host() const { return host_; }
    const std::string& mysql_user() const { return user_; }
    const std::string& mysql_password() const { return password_; }
    // Decimal text.
    const std::string& mysql_port() const { return port_; }
    const mysql_dump_options& dump_options() const { return dump_options_; }
    mysql_dump_options& dump_options() { return dump_options_; }
    sql_engine& get_sql_engine() { return sql_engine_; }

protected:
    // Opens the MySQL database with mode 1; the caller owns it and deletes it before the engine.
    std::unique_ptr<udb_database> open_mysql_db(const std::u16string& name);

    sql_engine sql_engine_;
    mysql_dump_options dump_options_;
    std::string host_;
    std::string user_;
    std::string password_;
    std::string port_ = "3306";
};
