// The MySQL side of the converter: the connection settings as narrow UTF-8 text and the dump
// options, which only travel through profiles.
#pragma once

#include <string>

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

    // Empty means the local server.
    const std::string& mysql_host() const { return host_; }
    const std::string& mysql_user() const { return user_; }
    const std::string& mysql_password() const { return password_; }
    // Decimal text.
    const std::string& mysql_port() const { return port_; }
    const mysql_dump_options& dump_options() const { return dump_options_; }
    mysql_dump_options& dump_options() { return dump_options_; }

protected:
    // The MySQL engine (the connection) joins here, before the settings.
    mysql_dump_options dump_options_;
    std::string host_;
    std::string user_;
    std::string password_;
    std::string port_ = "3306";
};
