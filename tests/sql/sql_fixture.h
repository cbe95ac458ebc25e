// Shared pieces of the MySQL-side tests: the private server's settings from the environment
// (exported by scripts/mariadb start), a private database per test process, and a trace log
// captured into a temporary file. A missing server fails the tests; it never skips them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "sql/sql_db.h"
#include "sql/sql_engi.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

struct server_settings {
    std::string host;
    std::string user;
    std::string password;
    int port = 0;
};

inline server_settings server_from_env() {
    const char* host = std::getenv("QVX_MYSQL_HOST");
    const char* port = std::getenv("QVX_MYSQL_PORT");
    const char* user = std::getenv("QVX_MYSQL_USER");
    const char* password = std::getenv("QVX_MYSQL_PASSWORD");
    if (host == nullptr || port == nullptr || user == nullptr || password == nullptr)
        throw std::runtime_error(
            "no MariaDB server: run eval \"$(scripts/mariadb start)\" or scripts/test");
    return {host, user, password, std::atoi(port)};
}

inline void connect_to_test_server(sql_engine& engine) {
    const server_settings server = server_from_env();
    engine.connect(server.host, server.user, server.password, server.port);
}

// Runs statements that must succeed, through any open database of the engine.
inline void run_sql(udb_database& db, const std::string& statement) {
    ASSERT_TRUE(db.query(tk_u16(statement))) << statement;
}

// A database of its own for one test process (ctest runs the tests of a suite in parallel
// processes), created on demand and dropped with the object.
class private_database {
public:
    explicit private_database(sql_engine& engine, const std::string& suffix)
        : engine_(engine), name_("qvx_t_" + suffix + "_" + std::to_string(::getpid())) {
        auto admin = engine_.open_db(u"information_schema", 1);
        admin->query(tk_u16("DROP DATABASE IF EXISTS " + name_));
        if (!admin->query(tk_u16("CREATE DATABASE " + name_ + " CHARACTER SET utf8mb4")))
            throw std::runtime_error("cannot create database " + name_);
    }
    ~private_database() {
        try {
            auto admin = engine_.open_db(u"information_schema", 1);
            admin->query(tk_u16("DROP DATABASE IF EXISTS " + name_));
        } catch (...) {
        }
    }
    const std::string& name() const { return name_; }
    std::u16string wname() const { return tk_u16(name_); }

private:
    sql_engine& engine_;
    std::string name_;
};

// Captures the trace of a test into a file of its own.
class captured_trace {
public:
    explicit captured_trace(int threshold)
        : path_("/tmp/qvx_sql_trace_" + std::to_string(::getpid()) + ".log"),
          log_(path_, true, threshold, false) {}
    ~captured_trace() { std::remove(path_.c_str()); }
    std::string text() const {
        std::ifstream in(path_);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    size_t count(const std::string& needle) const {
        const std::string all = text();
        size_t found = 0;
        for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1))
            ++found;
        return found;
    }

private:
    std::string path_;
    tk_log log_;
};
