#include "sql/sql_db.h"

#include <mysql.h>

#include <algorithm>

#include "sql/sql_engi.h"
#include "sql/sql_recs.h"
#include "sql/sql_tab.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

void sql_result_free::operator()(st_mysql_res* result) const noexcept { mysql_free_result(result); }

sql_database::sql_database(const std::u16string& name, st_mysql* handle, int32_t mode)
    : udb_database(name, mode, false), handle_(handle) {
    TK_TRACE(2, "sql_database::sql_database(%s, mode=%d)", TK_W(name), static_cast<int>(mode));
    init_tables();
}

sql_database::~sql_database() = default;

void sql_database::init_tables() {
    TK_TRACE(2, "sql_database::init_tables");
    std::unique_ptr<sql_tmp_recordset> reader;
    if (sql_engine::get_instance().get_version() >= sql_engine::version_full_tables) {
        TK_TRACE(2, "Extracting tables in new way");
        reader = do_query2("show full tables where Table_type='BASE TABLE'");
    } else {
        TK_TRACE(2, "Extracting tables in old way");
        MYSQL_RES* result = mysql_list_tables(handle_, nullptr);
        if (result == nullptr) throw sql_exception(handle_);
        reader = std::make_unique<sql_tmp_recordset>(result);
    }
    if (reader == nullptr) return;
    for (reader->reset(); !reader->is_eof(); reader->next()) {
        table_names_.push_back(reader->get_item()->at(0).to_wstring());
        TK_TRACE(2, "Got table name: '%s'", TK_W(table_names_.back()));
    }
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::u16string& name, int32_t /*mode*/) {
    TK_TRACE(2, "sql_database::get_table (%s)", TK_W(name));
    if (!is_table_exist(name)) throw tk_mail_assertion("sql_db", 120);
    // Names are found whatever their letter case, but a server on a case-sensitive file system
    // knows a table only by its own spelling: a name written otherwise reads the listed table.
    if (std::find(table_names_.begin(), table_names_.end(), name) == table_names_.end()) {
        for (const std::u16string& listed : table_names_)
            if (names_equal(listed, name)) return std::make_unique<sql_table>(*this, listed);
    }
    return std::make_unique<sql_table>(*this, name);
}

std::unique_ptr<udb_recordset> sql_database::get_query(const std::u16string& name,
                                                       const std::u16string& text, int32_t /*mode*/) {
    TK_TRACE(2, "sql_database::get_query(%s,%s)", TK_W(name), TK_W(text));
    return std::make_unique<sql_recordset>(*this, get_relationships(), name, text);
}

bool sql_database::query(const std::u16string& statement) {
    TK_TRACE(2, "sql_database::query(%s)", TK_W(statement));
    std::string text;
    try {
        text = tk_to_utf8(statement);
    } catch (const tk_exception& e) {
        TK_TRACE(2, "sql_database::query: %s", e.what());
        return false;
    }
    const bool succeeded = mysql_query(handle_, text.c_str()) == 0;
    const sql_result dropped(mysql_use_result(handle_));
    return succeeded;
}

std::unique_ptr<udb_recordset> sql_database::query_records(const std::u16string& statement) {
    TK_TRACE(2, "sql_database::query(%s)", TK_W(statement));
    return do_query2(tk_to_utf8(statement));
}

std::unique_ptr<sql_tmp_recordset> sql_database::do_query2(const std::string& statement) {
    TK_TRACE(1, "sql_database::do_query2(%s)", statement.c_str());
    mysql_query(handle_, statement.c_str());
    MYSQL_RES* result = mysql_use_result(handle_);
    if (mysql_errno(handle_) != 0) {
        sql_exception failure(handle_);
        mysql_free_result(result);
        throw failure;
    }
    if (result == nullptr) return nullptr;
    return std::make_unique<sql_tmp_recordset>(result);
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::u16string& name,
                                                          const udb_schema& /*schema*/,
                                                          const udb_indexes& /*indexes*/) {
    TK_TRACE(2, "sql_database::create_table(%s)", TK_W(name));
    throw tk_mail_assertion("sql_db", __LINE__);
}

std::u16string sql_database::select_all(const std::u16string& source, bool is_query) {
    if (is_query) return u"SELECT * FROM (" + source + u") as temp___table";
    return u"SELECT * FROM " + sql_engine::get_instance().quote_name(source);
}

sql_database::sql_limited_query::sql_limited_query(sql_database& database,
                                                   const std::u16string& source, bool is_query)
    : handle_(database.get_handle()) {
    // A query is streamed as written: inside a derived table the server would drop its ORDER BY.
    const std::string statement = tk_to_utf8(is_query ? source : select_all(source, false));
    TK_TRACE(1, "sql_database::sql_limited_query::sql_limited_query(%s)", statement.c_str());
    mysql_query(handle_, statement.c_str());
    result_.reset(mysql_use_result(handle_));
    if (result_ == nullptr || mysql_errno(handle_) != 0) {
        sql_exception failure(handle_);
        result_.reset();
        throw failure;
    }
    n_fields_ = mysql_num_fields(result_.get());
    fields_ = mysql_fetch_fields(result_.get());
}

sql_database::sql_limited_query::~sql_limited_query() {
    TK_TRACE(1, "sql_database::sql_limited_query::~sql_limited_query");
}

void sql_database::sql_limited_query::close() noexcept {
    result_.reset();
    fields_ = nullptr;
}

size_t sql_database::sql_limited_query::store_to(std::vector<std::unique_ptr<sql_record>>& page,
                                                 size_t count) {
    TK_TRACE(1, "sql_database::sql_limited_query::store_to");
    TK_TRACE(1, "Step #1");
    TK_TRACE(1, "Step #1");
    if (result_ == nullptr) return 0;
    if (page.size() < count) page.resize(count);
    size_t stored = 0;
    try {
        for (; stored < count; ++stored) {
            MYSQL_ROW row = mysql_fetch_row(result_.get());
            if (row == nullptr) {
                // The end of the rows, or a failure (a lost connection) that must not pass for
                // the end of the table.
                if (mysql_errno(handle_) != 0) throw sql_exception(handle_);
                close();
                break;
            }
            const unsigned long* lengths = mysql_fetch_lengths(result_.get());
            std::unique_ptr<sql_record>& slot = page[stored];
            if (slot == nullptr || slot->size() != n_fields_)
                slot = std::make_unique<sql_record>(n_fields_, fields_, lengths, row);
            else
                slot->assign(fields_, lengths, row);
            TK_TRACE(1, "Step #2.%d", static_cast<int>(stored));
        }
    } catch (...) {
        close();
        throw;
    }
    return stored;
}
