// sql_database: the MySQL implementation of udb_database for one selected database. It lists the
// base tables when opened, hands out readers for tables (sql_table) and named SELECT queries
// (sql_recordset), and runs statements for the other MySQL classes. It borrows the engine's
// client handle; the readers it hands out belong to the caller and are deleted before it.
// One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "udb/udb_db.h"

struct st_mysql;
struct st_mysql_res;
struct st_mysql_field;
class sql_record;
class sql_tmp_recordset;

// Frees a result; an unbuffered result still delivering rows is read to its end first (the
// client library does that), so the connection is free for the next statement afterwards.
struct sql_result_free {
    void operator()(st_mysql_res* result) const noexcept;
};
using sql_result = std::unique_ptr<st_mysql_res, sql_result_free>;

class sql_database : public udb_database {
public:
    // By sql_engine::open_db, which has selected the database. Lists the base tables (views are
    // left out from server 5.0.1 on). Throws sql_exception.
    sql_database(const std::u16string& name, st_mysql* handle, int32_t mode);
    ~sql_database() override;

    // The table reader of a listed table. Names compare case-insensitively; a name that differs
    // from the listed one only in letter case reads the listed table. A name that is not listed
    // raises tk_mail_assertion (sql_db 120). Throws sql_exception when the table cannot be
    // described. `mode` is not used.
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t mode) override;
    // A reader of a named SELECT query; the text must be usable as a derived table.
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& text,
                                             int32_t mode) override;
    // Runs a statement and drops any rows; true on success. Raises nothing.
    bool query(const std::u16string& statement) override;
    // Runs a statement and returns all of its rows (read at once), nullptr for a statement without
    // rows. Throws sql_exception when the statement fails.
    std::unique_ptr<udb_recordset> query_records(const std::u16string& statement) override;
    // The same with the statement already in UTF-8, for the MySQL classes.
    std::unique_ptr<sql_tmp_recordset> do_query2(const std::string& statement);

    // MySQL databases are only read: creating a table raises tk_mail_assertion.
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;

    st_mysql* get_handle() const noexcept { return handle_; }

    // All rows of a table or query as one unbuffered stream, handed out a page at a time. While
    // it is open no other statement can run on the connection; it closes by itself once its rows
    // are read.
    class sql_limited_query {
    public:
        // Sends "SELECT * FROM " and the quoted table name, or the query as written (so that its
        // ORDER BY holds). Throws sql_exception.
        sql_limited_query(sql_database& database, const std::u16string& source, bool is_query);
        // Drops the rows not yet read.
        ~sql_limited_query();
        sql_limited_query(const sql_limited_query&) = delete;
        sql_limited_query& operator=(const sql_limited_query&) = delete;

        // Fills page slots 0.. with the next rows, at most `count` of them, reusing the records
        // already in the slots; returns the number of rows stored. The stream closes when it ends;
        // a failure ending it throws sql_exception (the stream is closed then too).
        size_t store_to(std::vector<std::unique_ptr<sql_record>>& page, size_t count);
        bool is_open() const noexcept { return result_ != nullptr; }
        // Closes the stream now, dropping the rows not yet read.
        void close() noexcept;

    private:
        st_mysql* handle_;
        sql_result result_;
        unsigned n_fields_ = 0;
        const st_mysql_field* fields_ = nullptr;
    };

    // "SELECT * FROM " with the quoted table name or the query as a derived table.
    static std::u16string select_all(const std::u16string& source, bool is_query);

private:
    void init_tables();

    st_mysql* handle_;
};
