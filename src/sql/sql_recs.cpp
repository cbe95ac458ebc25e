#include "sql/sql_recs.h"

#include <mysql.h>

#include <algorithm>

#include "sql/sql_engi.h"
#include "sql/sql_util.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

sql_recordset::sql_recordset(sql_database& database, udb_relationships& relationships,
                             const std::u16string& name)
    : udb_recordset(name, true), database_(database), relationships_(relationships) {
    TK_TRACE(2, "sql_recordset::sql_recordset1");
    initialize();
}

sql_recordset::sql_recordset(sql_database& database, udb_relationships& relationships,
                             const std::u16string& name, const std::u16string& query_text)
    : udb_recordset(name, query_text, true), database_(database), relationships_(relationships) {
    TK_TRACE(2, "sql_recordset::sql_recordset2");
    initialize();
}

sql_recordset::~sql_recordset() { TK_TRACE(1, "sql_recordset::dtor"); }

void sql_recordset::initialize() {
    TK_TRACE(2, "sql_recordset::initialize");
    page_.clear();
    page_rows_ = 0;
    record_count_ = get_rec_count();
    TK_TRACE(1, "get_rec_count returns %d", static_cast<int>(record_count_));
    // The columns are described now, while the connection is free: once a stream is open no
    // other statement (the SHOW steps of a table) could run until its last row has been read.
    describe_columns();
}

int32_t sql_recordset::get_rec_count() {
    TK_TRACE(2, "sql_recordset::get_rec_count");
    const std::u16string statement =
        is_query() ? u"SELECT COUNT(*) FROM (" + query_text_ + u") as query"
                   : u"SELECT COUNT(*) FROM " + sql_engine::get_instance().quote_name(name_);
    std::unique_ptr<udb_recordset> reader = database_.query_records(statement);
    if (reader == nullptr) return -1;
    reader->reset();
    const udb_record* row = reader->get_item();
    if (row == nullptr || row->empty()) return -1;
    try {
        return row->at(0).to_long();
    } catch (const ole_cast_exception&) {
        return -1;
    }
}

void sql_recordset::describe_columns() {
    const std::string statement =
        tk_to_utf8(sql_database::select_all(is_query() ? query_text_ : name_, is_query()) + u" LIMIT 0");
    TK_TRACE(1, "sql_database::do_query2(%s)", statement.c_str());
    st_mysql* handle = database_.get_handle();
    if (mysql_query(handle, statement.c_str()) != 0) throw sql_exception(handle);
    const sql_result result(mysql_store_result(handle));
    if (result == nullptr) throw sql_exception(handle);
    const unsigned n_fields = mysql_num_fields(result.get());
    const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    for (unsigned column_idx = 0; column_idx < n_fields; ++column_idx)
        schema_.add_field(sql_make_ftd(fields[column_idx], column_idx + 1));
}

void sql_recordset::open_stream() {
    // A new pass drops what is left of the previous one before its statement is sent.
    stream_.reset();
    page_rows_ = 0;
    rows_streamed_ = 0;
    page_loaded_ = false;
    stream_ = std::make_unique<sql_database::sql_limited_query>(
        database_, is_query() ? query_text_ : name_, is_query());
}

void sql_recordset::ensure_page() {
    if (page_loaded_) return;
    open_stream();
    load_page();
}

void sql_recordset::load_page() {
    page_rows_ = 0;
    page_loaded_ = true;
    if (stream_ == nullptr || !stream_->is_open()) return;
    // Rows beyond the count (added since it was taken) are not handed out.
    const uint32_t count = static_cast<uint32_t>(record_count_);
    const size_t wanted = std::min<size_t>(page_size, count - std::min(count, rows_streamed_));
    page_rows_ = stream_->store_to(page_, wanted);
    rows_streamed_ += static_cast<uint32_t>(page_rows_);
    // Once the last counted row is in memory the connection is given back at once.
    if (rows_streamed_ >= count) stream_->close();
}

void sql_recordset::append_record(const udb_record& /*record*/) {
    throw tk_mail_assertion("sql_recs", 172);
}

udb_record* sql_recordset::get_item() {
    if (is_eof()) return nullptr;
    return page_[page_position_].get();
}

bool sql_recordset::is_eof() {
    if (position_ >= static_cast<uint32_t>(record_count_)) return true;
    ensure_page();
    return page_position_ >= page_rows_;
}

void sql_recordset::next() {
    TK_TRACE(1, "sql_recordset::next");
    ensure_page();
    if (page_position_ < page_size - 1) {
        ++page_position_;
    } else {
        TK_TRACE(2, "sql_recordset::clean");
        load_page();
        page_position_ = 0;
    }
    ++position_;
}

void sql_recordset::prev() {
    TK_TRACE(1, "sql_recordset::prev");
    if (position_ == 0) return;
    --position_;
    if (page_position_ > 0) --page_position_;
}

void sql_recordset::reset() {
    TK_TRACE(1, "sql_recordset::reset");
    position_ = 0;
    page_position_ = 0;
    open_stream();
    load_page();
}

sql_tmp_recordset::sql_tmp_recordset(st_mysql_res* result) : udb_recordset(std::u16string(), true) {
    TK_TRACE(1, "sql_tmp_recordset::sql_tmp_recordset");
    initialize(result);
}

sql_tmp_recordset::~sql_tmp_recordset() = default;

void sql_tmp_recordset::initialize(st_mysql_res* result) {
    TK_TRACE(1, "sql_tmp_recordset::initialize");
    if (result == nullptr) throw tk_mail_assertion("sql_recs", 293);
    const sql_result owner(result);
    const unsigned n_fields = mysql_num_fields(result);
    const MYSQL_FIELD* fields = mysql_fetch_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        rows_.push_back(std::make_unique<sql_record>(n_fields, fields, mysql_fetch_lengths(result), row));
        ++record_count_;
    }
    // A stream that stopped on an error (rather than at its end) must not pass for a short answer.
    if (!mysql_eof(result) && result->handle != nullptr && mysql_errno(result->handle) != 0)
        throw sql_exception(result->handle);
}

void sql_tmp_recordset::append_record(const udb_record& /*record*/) {
    throw tk_mail_assertion("sql_recs", 286);
}

udb_record* sql_tmp_recordset::get_item() {
    return index_ < rows_.size() ? rows_[index_].get() : nullptr;
}

bool sql_tmp_recordset::is_eof() { return index_ >= static_cast<uint32_t>(record_count_); }

void sql_tmp_recordset::next() { ++index_; }

void sql_tmp_recordset::prev() {}

void sql_tmp_recordset::reset() { index_ = 0; }
