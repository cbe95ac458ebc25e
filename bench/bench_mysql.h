// What the benchmarks share on the MySQL side: the private server's settings from the environment
// (eval "$(scripts/mariadb start)") and one bare connection of the C API, which builds the
// generated tables and reads them as fast as the client library allows. Single-threaded; a
// failure throws std::runtime_error with the server's message.
#pragma once

#include <mysql.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

struct server_settings {
    std::string host;
    std::string user;
    std::string password;
    unsigned port = 0;
};

inline server_settings server_from_env() {
    const char* host = std::getenv("QVX_MYSQL_HOST");
    const char* port = std::getenv("QVX_MYSQL_PORT");
    const char* user = std::getenv("QVX_MYSQL_USER");
    const char* password = std::getenv("QVX_MYSQL_PASSWORD");
    if (host == nullptr || port == nullptr || user == nullptr || password == nullptr)
        throw std::runtime_error("no MariaDB server: run eval \"$(scripts/mariadb start)\" first");
    return {host, user, password, static_cast<unsigned>(std::atoi(port))};
}

class raw_connection {
public:
    explicit raw_connection(const server_settings& server) {
        mysql_init(&handle_);
        if (mysql_real_connect(&handle_, server.host.c_str(), server.user.c_str(),
                               server.password.c_str(), nullptr, server.port, nullptr, 0) == nullptr)
            fail("connect");
        run("SET NAMES utf8mb4");
    }
    ~raw_connection() { mysql_close(&handle_); }
    raw_connection(const raw_connection&) = delete;
    raw_connection& operator=(const raw_connection&) = delete;

    void run(const std::string& statement) {
        if (mysql_query(&handle_, statement.c_str()) != 0) fail(statement);
        mysql_free_result(mysql_use_result(&handle_));
    }
    // -1 when the table does not exist.
    long long count_rows(const std::string& table) {
        if (mysql_query(&handle_, ("SELECT COUNT(*) FROM " + table).c_str()) != 0) return -1;
        MYSQL_RES* result = mysql_store_result(&handle_);
        MYSQL_ROW row = mysql_fetch_row(result);
        const long long count = row != nullptr && row[0] != nullptr ? std::atoll(row[0]) : -1;
        mysql_free_result(result);
        return count;
    }
    // Streams every row of the statement (mysql_use_result) and hands each to
    // visit(MYSQL_ROW, const unsigned long* lengths, unsigned n_fields); returns the row count.
    template <class Visit>
    long long stream(const std::string& statement, Visit visit) {
        if (mysql_query(&handle_, statement.c_str()) != 0) fail(statement);
        MYSQL_RES* result = mysql_use_result(&handle_);
        if (result == nullptr) fail("use_result");
        const unsigned n_fields = mysql_num_fields(result);
        long long rows = 0;
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            visit(row, mysql_fetch_lengths(result), n_fields);
            ++rows;
        }
        const bool failed = mysql_errno(&handle_) != 0;
        mysql_free_result(result);
        if (failed) fail("fetch");
        return rows;
    }
    // Streams every row and touches each value; returns a checksum so nothing is optimised away.
    unsigned long long read_all(const std::string& statement, long long& rows) {
        unsigned long long checksum = 0;
        rows = stream(statement, [&](MYSQL_ROW row, const unsigned long* lengths, unsigned n_fields) {
            for (unsigned column_idx = 0; column_idx < n_fields; ++column_idx)
                if (row[column_idx] != nullptr)
                    checksum += lengths[column_idx] + static_cast<unsigned char>(row[column_idx][0]);
        });
        return checksum;
    }

private:
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error(what + ": " + mysql_error(&handle_));
    }
    MYSQL handle_;
};
