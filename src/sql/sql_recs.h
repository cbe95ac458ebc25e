// The MySQL record readers. sql_recordset reads a table or a named query: its record count comes
// from SELECT COUNT(*) and its columns from a description taken before any row is read; the rows
// then come in one unbuffered stream per pass (opened by reset, or by the first read), handed out
// in pages of 256 records, so that at most one page is held in memory whatever the table's size.
// sql_tmp_recordset holds the complete answer of one statement (catalog and SHOW steps).
// Readers belong to their caller and are deleted before their database. A record handed out by
// sql_recordset stays valid until the reader loads its next page. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/sql_db.h"
#include "sql/sql_rec.h"
#include "udb/udb_db.h"

class sql_recordset : public udb_recordset {
public:
    static constexpr size_t page_size = 256;

    // A table reader (sql_table builds on it) or a reader of a named SELECT query. Counts the
    // records and describes the columns; no row is read yet. Throws sql_exception.
    sql_recordset(sql_database& database, udb_relationships& relationships,
                  const std::u16string& name);
    sql_recordset(sql_database& database, udb_relationships& relationships,
                  const std::u16string& name, const std::u16string& query_text);
    // Drops the rows of an unfinished stream. Never throws.
    ~sql_recordset() override;

    // MySQL readers are never written: tk_mail_assertion (sql_recs 172).
    void append_record(const udb_record& record) override;
    // The current record, nullptr at the end. Opens the stream when no page has been read yet.
    udb_record* get_item() override;
    // True at or beyond the record count, or when the rows ran out before it (rows deleted since
    // the count). Opens the stream when no page has been read yet.
    bool is_eof() override;
    // Moves on; leaving the last record of a page loads the next page from the stream.
    void next() override;
    // Moves back within the loaded page only (no page is read again).
    void prev() override;
    // Starts a new pass: a new stream from the first row, its first page loaded.
    void reset() override;

    // SELECT COUNT(*) of the table or the query; -1 when the answer is not a number.
    int32_t get_rec_count();

protected:
    sql_database& database_;
    udb_relationships& relationships_;

private:
    void initialize();
    void describe_columns();
    void open_stream();
    void ensure_page();
    void load_page();

    uint32_t position_ = 0;
    uint32_t page_position_ = 0;
    std::vector<std::unique_ptr<sql_record>> page_;
    size_t page_rows_ = 0;          // records of the loaded page in slots 0..page_rows_-1
    uint32_t rows_streamed_ = 0;    // rows read from the current stream
    bool page_loaded_ = false;
    std::unique_ptr<sql_database::sql_limited_query> stream_;
};

class sql_tmp_recordset : public udb_recordset {
public:
    // Reads every row of the result and frees it (null raises tk_mail_assertion sql_recs 293).
    // Throws sql_exception when the rows stop on an error.
    explicit sql_tmp_recordset(st_mysql_res* result);
    ~sql_tmp_recordset() override;

    // tk_mail_assertion (sql_recs 286).
    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    bool is_eof() override;
    void next() override;
    void prev() override;
    void reset() override;

private:
    void initialize(st_mysql_res* result);

    uint32_t index_ = 0;
    std::vector<std::unique_ptr<sql_record>> rows_;
};
