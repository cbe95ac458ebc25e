#include "sim_db.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

namespace db2sim {

namespace {

// DB2 database aliases: 1 to 8 letters, digits, @, #, $ or _. Checking them also keeps an alias
// from naming a file outside DB2SIM_HOME.
bool valid_alias(const std::string& alias) {
    if (alias.empty() || alias.size() > 8) return false;
    for (unsigned char c : alias)
        if (!std::isalnum(c) && c != '@' && c != '#' && c != '$' && c != '_') return false;
    return true;
}

sim_error alias_not_found(const std::string& alias) {
    return sql_error(-1013, "42705",
                     "The database alias name or database name \"" + to_upper(alias) + "\" could not be found.");
}

std::string login_name() {
    if (const char* u = std::getenv("USER"); u != nullptr && *u != '\0') return u;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr) return pw->pw_name;
    return "DB2SIM";
}

void make_folders(const std::string& path) {
    std::string partial;
    for (std::size_t idx = 0; idx <= path.size(); ++idx) {
        if (idx == path.size() || path[idx] == '/') {
            if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
                throw sql_error(-1031, "58031", "The database directory cannot be found on the indicated file system.");
        }
        if (idx < path.size()) partial.push_back(path[idx]);
    }
}

const char* const catalog_ddl =
    "CREATE TABLE IF NOT EXISTS sim_meta(key TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE IF NOT EXISTS sim_tables(id INTEGER PRIMARY KEY, schema TEXT NOT NULL, name TEXT NOT NULL,"
    " owner TEXT, created TEXT, UNIQUE(schema, name));"
    "CREATE TABLE IF NOT EXISTS sim_columns(table_id INTEGER NOT NULL, colno INTEGER NOT NULL, name TEXT NOT NULL,"
    " type INTEGER, length INTEGER, scale INTEGER, nullable INTEGER, has_default INTEGER, default_text TEXT,"
    " identity INTEGER, ident_start INTEGER, ident_inc INTEGER, ident_next INTEGER, logged INTEGER,"
    " PRIMARY KEY(table_id, colno));"
    "CREATE TABLE IF NOT EXISTS sim_indexes(schema TEXT NOT NULL, name TEXT NOT NULL, table_id INTEGER NOT NULL,"
    " colnames TEXT, uniquerule TEXT, constraint_name TEXT, PRIMARY KEY(schema, name));";

// RAII for one sqlite3_stmt used within a function.
class sql_stmt {
public:
    sql_stmt(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw sql_error(-901, "58004", std::string("SQL0901N internal storage error: ") + sqlite3_errmsg(db));
    }
    ~sql_stmt() { sqlite3_finalize(stmt_); }
    sql_stmt(const sql_stmt&) = delete;
    sql_stmt& operator=(const sql_stmt&) = delete;
    sqlite3_stmt* get() { return stmt_; }
    sql_stmt& text(int idx, const std::string& v) {
        sqlite3_bind_text(stmt_, idx, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    sql_stmt& integer(int idx, std::int64_t v) {
        sqlite3_bind_int64(stmt_, idx, v);
        return *this;
    }
    bool step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw sql_error(-901, "58004", std::string("Storage error: ") + sqlite3_errmsg(sqlite3_db_handle(stmt_)));
    }
    std::string column_text(int idx) {
        const unsigned char* p = sqlite3_column_text(stmt_, idx);
        return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt_, idx)) : std::string();
    }
    std::int64_t column_int(int idx) { return sqlite3_column_int64(stmt_, idx); }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

bool like_match(std::string_view text, std::string_view pattern) {
    // % any sequence, _ one character (a whole UTF-8 sequence), \ escapes (CLI search patterns)
    std::size_t t = 0, p = 0, star_p = std::string_view::npos, star_t = 0;
    auto char_len = [&](std::size_t at) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        return c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    };
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            star_p = p++;
            star_t = t;
        } else if (p < pattern.size() && pattern[p] == '_') {
            ++p;
            t += static_cast<std::size_t>(char_len(t));
        } else if (p < pattern.size() && pattern[p] == '\\' && p + 1 < pattern.size() && pattern[p + 1] == text[t]) {
            p += 2;
            ++t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star_p != std::string_view::npos) {
            p = star_p + 1;
            t = ++star_t;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

value text_value(const std::string& s) {
    value v;
    v.set_text(s);
    return v;
}
value int_value(std::int64_t i) {
    value v;
    v.set_int(i);
    return v;
}
value null_value() { return value{}; }

column_def result_def(const char* name, col_type type, std::int64_t length, bool nullable = true) {
    column_def c;
    c.name = name;
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    return c;
}

}  // namespace

bool rows_cursor::fetch(std::vector<value>& row) {
    if (next_row >= rows.size()) return false;
    row = rows[next_row++];
    return true;
}

prepared_statement::~prepared_statement() {
    sqlite3_finalize(insert_);
    sqlite3_finalize(identity_query_);
    for (sqlite3_stmt* s : null_key_checks_) sqlite3_finalize(s);
}

// ---------------------------------------------------------------------------------------------
// Administration and connection

std::string database::home() {
    if (const char* h = std::getenv("DB2SIM_HOME"); h != nullptr && *h != '\0') return h;
    const char* user_home = std::getenv("HOME");
    return std::string(user_home != nullptr ? user_home : ".") + "/.local/share/db2sim";
}

std::string database::file_of(const std::string& alias) {
    if (!valid_alias(alias)) throw alias_not_found(alias);
    return home() + "/" + to_upper(alias) + ".db";
}

void database::create(const std::string& alias, const std::string& user, const std::string& password) {
    if (!valid_alias(alias))
        throw sql_error(-1001, "2E000", "\"" + alias + "\" is not a valid database name.");
    make_folders(home());
    std::string file = file_of(alias);
    if (access(file.c_str(), F_OK) == 0)
        throw sql_error(-1005, "42710", "The database alias \"" + to_upper(alias) +
                                            "\" already exists in either the local database directory or system "
                                            "database directory.");
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw sql_error(-1031, "58031", "The database directory cannot be found on the indicated file system.");
    }
    char* message = nullptr;
    std::string script = std::string("PRAGMA journal_mode=WAL;") + catalog_ddl;
    int rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO sim_meta(key, value) VALUES ('user', ?1), ('password', ?2), ('stopped', '0')",
                           -1, &s, nullptr);
        sqlite3_bind_text(s, 1, user.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, password.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(s) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
        sqlite3_finalize(s);
    }
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        unlink(file.c_str());
        throw sql_error(-1031, "58031", "The database directory cannot be found on the indicated file system.");
    }
}

void database::drop(const std::string& alias) {
    std::string file = file_of(alias);
    if (access(file.c_str(), F_OK) != 0) throw alias_not_found(alias);
    unlink(file.c_str());
    unlink((file + "-wal").c_str());
    unlink((file + "-shm").c_str());
}

void database::set_stopped(const std::string& alias, bool stopped) {
    std::string file = file_of(alias);
    sqlite3* db = nullptr;
    if (access(file.c_str(), F_OK) != 0 ||
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw alias_not_found(alias);
    }
    sqlite3_busy_timeout(db, 10000);
    std::string sql = std::string("UPDATE sim_meta SET value = '") + (stopped ? "1" : "0") + "' WHERE key = 'stopped'";
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw alias_not_found(alias);
}

database::database(const std::string& alias, const std::string& user, const std::string& password)
    : alias_(to_upper(alias)) {
    std::string file = file_of(alias);
    if (access(file.c_str(), F_OK) != 0) throw alias_not_found(alias);
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw alias_not_found(alias);
    }
    sqlite3_busy_timeout(db_, 10000);
    try {
        exec_sql("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        exec_sql(catalog_ddl);
        std::map<std::string, std::string> meta;
        sql_stmt s(db_, "SELECT key, value FROM sim_meta");
        while (s.step()) meta[s.column_text(0)] = s.column_text(1);
        if (meta["stopped"] == "1")
            throw sql_error(-1032, "57019", "No start database manager command was issued.");
        const std::string& expected_user = meta["user"];
        if (!expected_user.empty() && (to_upper(expected_user) != to_upper(user) || meta["password"] != password))
            throw sql_error(-30082, "08001",
                            "Security processing failed with reason \"24\" (\"USERNAME AND/OR PASSWORD INVALID\").");
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
    user_ = to_upper(user.empty() ? login_name() : user);
    current_schema_ = user_;
}

database::~database() { sqlite3_close_v2(db_); }

void database::exec_sql(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message != nullptr ? message : "unknown";
        sqlite3_free(message);
        throw sql_error(-901, "58004", "Storage error: " + text);
    }
}

void database::begin() { exec_sql("BEGIN IMMEDIATE"); }
void database::commit() { exec_sql("COMMIT"); }
void database::rollback() noexcept {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void database::fail_sqlite(const char* what) {
    throw sql_error(-901, "58004", std::string("Storage error (") + what + "): " + sqlite3_errmsg(db_));
}

std::string database::resolve_schema(const qualified_name& q) const {
    return q.schema.empty() ? current_schema_ : q.schema;
}

std::string database::generated_name() {
    // DB2 names system-generated constraints and indexes SQLyymmddhhmmssnnn.
    static int counter = 0;
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "SQL%02d%02d%02d%02d%02d%02d%03d", tm.tm_year % 100, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, (counter++) % 1000);
    return buffer;
}

// ---------------------------------------------------------------------------------------------
// Catalog

bool database::load_table(const std::string& schema, const std::string& name, table_def& out) {
    sql_stmt s(db_, "SELECT id FROM sim_tables WHERE schema = ?1 AND name = ?2");
    s.text(1, schema).text(2, name);
    if (!s.step()) return false;
    out = table_def{};
    out.id = s.column_int(0);
    out.schema = schema;
    out.name = name;
    sql_stmt c(db_,
               "SELECT name, type, length, scale, nullable, has_default, default_text, identity, ident_start, "
               "ident_inc, ident_next, logged FROM sim_columns WHERE table_id = ?1 ORDER BY colno");
    c.integer(1, out.id);
    while (c.step()) {
        column_def d;
        d.name = c.column_text(0);
        d.type = static_cast<col_type>(c.column_int(1));
        d.length = c.column_int(2);
        d.scale = static_cast<int>(c.column_int(3));
        d.nullable = c.column_int(4) != 0;
        d.has_default = c.column_int(5) != 0;
        d.default_text = c.column_text(6);
        d.identity = static_cast<int>(c.column_int(7));
        d.ident_start = c.column_int(8);
        d.ident_increment = c.column_int(9);
        d.ident_next = c.column_int(10);
        d.logged = c.column_int(11) != 0;
        out.columns.push_back(std::move(d));
    }
    return true;
}

table_def database::require_table(const qualified_name& q) {
    table_def t;
    std::string schema = resolve_schema(q);
    if (!load_table(schema, q.name, t)) throw undefined_name(quote_name(schema, q.name));
    return t;
}

std::vector<table_def> database::load_all_tables() {
    std::vector<std::pair<std::string, std::string>> names;
    {
        sql_stmt s(db_, "SELECT schema, name FROM sim_tables ORDER BY schema, name");
        while (s.step()) names.emplace_back(s.column_text(0), s.column_text(1));
    }
    std::vector<table_def> out;
    for (const auto& [schema, name] : names) {
        table_def t;
        if (load_table(schema, name, t)) out.push_back(std::move(t));
    }
    return out;
}

std::vector<database::index_info> database::load_indexes(const std::string* schema_filter) {
    std::vector<index_info> out;
    sql_stmt s(db_, "SELECT schema, name, table_id, colnames, uniquerule FROM sim_indexes ORDER BY schema, name");
    while (s.step()) {
        index_info i{s.column_text(0), s.column_text(1), s.column_text(3), s.column_text(4), s.column_int(2)};
        if (schema_filter == nullptr || *schema_filter == i.schema) out.push_back(std::move(i));
    }
    return out;
}

void database::store_column(std::int64_t table_id, int colno, const column_def& c) {
    sql_stmt s(db_,
               "INSERT OR REPLACE INTO sim_columns(table_id, colno, name, type, length, scale, nullable, has_default,"
               " default_text, identity, ident_start, ident_inc, ident_next, logged)"
               " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
    s.integer(1, table_id).integer(2, colno).text(3, c.name).integer(4, static_cast<int>(c.type));
    s.integer(5, c.length).integer(6, c.scale).integer(7, c.nullable).integer(8, c.has_default);
    s.text(9, c.default_text).integer(10, c.identity).integer(11, c.ident_start).integer(12, c.ident_increment);
    s.integer(13, c.ident_next).integer(14, c.logged);
    s.step();
}

// ---------------------------------------------------------------------------------------------
// DDL

namespace {

sim_error duplicate_object(const std::string& name, const char* type) {
    return sql_error(-601, "42710",
                     "The name of the object to be created is identical to the existing name \"" + name +
                         "\" of type \"" + type + "\".");
}

int find_column(const table_def& t, const std::string& name) {
    for (std::size_t idx = 0; idx < t.columns.size(); ++idx)
        if (t.columns[idx].name == name) return static_cast<int>(idx);
    return -1;
}

sim_error not_a_column(const std::string& column, const table_def& t) {
    return sql_error(-205, "42703",
                     "\"" + column + "\" is not a column of table or view \"" + quote_name(t.schema, t.name) + "\".");
}

// The value of a DEFAULT constant as the catalog keeps it; CURRENT ... and USER are special
// registers evaluated at insert time.
value default_value(const column_def& c, const std::string& user) {
    value v;
    const std::string& d = c.default_text;
    if (d == "NULL") return v;
    if (d == "USER") { v.set_text(user); return v; }
    if (d.rfind("CURRENT ", 0) == 0) {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        std::string text;
        if (d == "CURRENT DATE") make_date(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, text);
        else if (d == "CURRENT TIME") make_time(tm.tm_hour, tm.tm_min, tm.tm_sec, text);
        else make_timestamp(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0, 6, text);
        v.set_text(text);
        return v;
    }
    auto unquote = [](std::string_view q) {
        std::string out;
        for (std::size_t idx = 1; idx + 1 < q.size(); ++idx) {
            out.push_back(q[idx]);
            if (q[idx] == '\'') ++idx;
        }
        return out;
    };
    if (d.size() >= 2 && d.front() == '\'') { v.set_text(unquote(d)); return v; }
    if (d.size() >= 3 && d[0] == 'G' && d[1] == '\'') { v.set_text(unquote(std::string_view(d).substr(1))); return v; }
    if (d.size() >= 3 && d[0] == 'X' && d[1] == '\'') {
        std::string bytes;
        for (std::size_t idx = 2; idx + 1 < d.size() - 1 + 1 && idx + 1 < d.size(); idx += 2) {
            auto nib = [](char ch) { return ch <= '9' ? ch - '0' : ch - 'A' + 10; };
            bytes.push_back(static_cast<char>(nib(d[idx]) * 16 + nib(d[idx + 1])));
        }
        v.set_bytes(bytes);
        return v;
    }
    if (!parse_number(d, v)) v.set_text(d);
    return v;
}

}  // namespace

void database::create_table(const create_table_stmt& s) {
    std::string schema = resolve_schema(s.table);
    table_def probe;
    if (load_table(schema, s.table.name, probe)) throw duplicate_object(quote_name(schema, s.table.name), "TABLE");
    table_def t;
    t.schema = schema;
    t.name = s.table.name;
    int identities = 0;
    std::vector<key_clause> keys = s.keys;
    for (const column_clause& clause : s.columns) {
        column_def c = clause.def;
        if (find_column(t, c.name) >= 0)
            throw sql_error(-612, "42711", "\"" + c.name + "\" is a duplicate name.");
        if (is_lob(c.type) && c.type != col_type::xml && c.logged && c.length > 1073741824)
            throw sql_error(-355, "42993", "The column \"" + c.name + "\", as defined, is too large to be logged.");
        if (c.identity != 0) {
            if (++identities > 1)
                throw sql_error(-372, "428C1",
                                "A column with data type or attribute ROWID, IDENTITY, security label, or row change "
                                "timestamp can only be specified once for a table.");
            if (!(is_exact_integer(c.type) || (c.type == col_type::decimal && c.scale == 0)))
                throw sql_error(-846, "42815", "Invalid specification of an identity column or sequence object \"" +
                                                   c.name + "\".  Reason code = \"1\".");
            if (c.has_default)
                throw syntax_error("GENERATED", "DEFAULT", "NOT NULL");
            c.nullable = false;  // identity columns are implicitly NOT NULL
            value start;
            start.set_int(c.ident_start);
            try {
                assign(start, c, false);
            } catch (const sim_error&) {
                throw sql_error(-846, "42815", "Invalid specification of an identity column or sequence object \"" +
                                                   c.name + "\".  Reason code = \"2\".");
            }
        }
        if (c.has_default && c.default_text != "NULL") {
            value v = default_value(c, user_);
            try {
                assign(v, c, false);
            } catch (const sim_error&) {
                throw sql_error(-574, "42894", "DEFAULT value or IDENTITY attribute value is not valid for column \"" +
                                                   c.name + "\" in table \"" + quote_name(schema, t.name) +
                                                   "\".  Reason code: \"1\".");
            }
        }
        if (c.has_default && c.default_text == "NULL" && !c.nullable)
            throw sql_error(-574, "42894", "DEFAULT value or IDENTITY attribute value is not valid for column \"" +
                                               c.name + "\" in table \"" + quote_name(schema, t.name) +
                                               "\".  Reason code: \"1\".");
        t.columns.push_back(std::move(c));
        if (clause.primary_key || clause.unique) {
            key_clause k;
            k.constraint = clause.constraint;
            k.primary = clause.primary_key;
            k.columns.push_back(clause.def.name);
            keys.push_back(std::move(k));
        }
    }
    if (t.columns.empty()) throw syntax_error(")", "(", "<column definition>");
    begin();
    try {
        sql_stmt ins(db_, "INSERT INTO sim_tables(schema, name, owner, created) VALUES (?1, ?2, ?3, datetime('now'))");
        ins.text(1, schema).text(2, t.name).text(3, user_);
        ins.step();
        t.id = sqlite3_last_insert_rowid(db_);
        std::string ddl = "CREATE TABLE t" + std::to_string(t.id) + "(";
        for (std::size_t idx = 0; idx < t.columns.size(); ++idx) {
            store_column(t.id, static_cast<int>(idx), t.columns[idx]);
            ddl += (idx ? ", c" : "c") + std::to_string(idx);
        }
        exec_sql((ddl + ")").c_str());
        for (const key_clause& k : keys) add_key(t, k, true);
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

void database::drop_table(const drop_table_stmt& s) {
    table_def t = require_table(s.table);
    begin();
    try {
        exec_sql(("DROP TABLE t" + std::to_string(t.id)).c_str());
        sql_stmt a(db_, "DELETE FROM sim_columns WHERE table_id = ?1");
        a.integer(1, t.id).step();
        sql_stmt b(db_, "DELETE FROM sim_indexes WHERE table_id = ?1");
        b.integer(1, t.id).step();
        sql_stmt c(db_, "DELETE FROM sim_tables WHERE id = ?1");
        c.integer(1, t.id).step();
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

void database::make_index(const table_def& t, const std::string& index_schema, const std::string& index_name,
                          const std::vector<std::pair<std::string, bool>>& columns, char uniquerule) {
    {
        sql_stmt probe(db_, "SELECT 1 FROM sim_indexes WHERE schema = ?1 AND name = ?2");
        probe.text(1, index_schema).text(2, index_name);
        if (probe.step()) throw duplicate_object(quote_name(index_schema, index_name), "INDEX");
    }
    std::string colnames, sqlite_cols;
    for (const auto& [name, desc] : columns) {
        int idx = find_column(t, name);
        if (idx < 0) throw not_a_column(name, t);
        if (is_lob(t.columns[static_cast<std::size_t>(idx)].type))
            throw sql_error(-350, "42962",
                            "Column \"" + name + "\" was implicitly or explicitly referenced in a context in which its "
                            "data type is not supported.");
        colnames += (desc ? "-" : "+") + name;
        sqlite_cols += (sqlite_cols.empty() ? "c" : ", c") + std::to_string(idx);
    }
    sql_stmt ins(db_, "INSERT INTO sim_indexes(schema, name, table_id, colnames, uniquerule) VALUES (?1, ?2, ?3, ?4, ?5)");
    ins.text(1, index_schema).text(2, index_name).integer(3, t.id).text(4, colnames).text(5, std::string(1, uniquerule));
    ins.step();
    if (uniquerule == 'D') return;  // non-unique indexes change no result; nothing to enforce
    std::int64_t rowid = sqlite3_last_insert_rowid(db_);
    std::string ddl = "CREATE UNIQUE INDEX u" + std::to_string(rowid) + " ON t" + std::to_string(t.id) + "(" +
                      sqlite_cols + ")";
    char* message = nullptr;
    int rc = sqlite3_exec(db_, ddl.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc == SQLITE_CONSTRAINT)
        throw sql_error(-603, "23515",
                        "A unique index cannot be created because the table contains data that would result in "
                        "duplicate index entries.");
    if (rc != SQLITE_OK) fail_sqlite("index");
    // SQLite lets NULLs repeat in a unique index; DB2 does not, so check existing rows here.
    std::string dup = "SELECT 1 FROM t" + std::to_string(t.id) + " GROUP BY " + sqlite_cols + " HAVING count(*) > 1";
    sql_stmt check(db_, dup.c_str());
    if (check.step())
        throw sql_error(-603, "23515",
                        "A unique index cannot be created because the table contains data that would result in "
                        "duplicate index entries.");
}

void database::add_key(const table_def& t, const key_clause& key, bool from_create) {
    (void)from_create;
    std::vector<std::pair<std::string, bool>> columns;
    for (const std::string& name : key.columns) {
        int idx = find_column(t, name);
        if (idx < 0) throw not_a_column(name, t);
        if (t.columns[static_cast<std::size_t>(idx)].nullable)
            throw sql_error(-542, "42831",
                            "\"" + name + "\" cannot be a column of a primary key or unique key because it can "
                            "contain null values.");
        columns.emplace_back(name, false);
    }
    if (key.primary) {
        sql_stmt probe(db_, "SELECT 1 FROM sim_indexes WHERE table_id = ?1 AND uniquerule = 'P'");
        probe.integer(1, t.id);
        if (probe.step())
            throw sql_error(-624, "42889", "Table \"" + quote_name(t.schema, t.name) + "\" already has a \"PRIMARY KEY\".");
    }
    std::string constraint = key.constraint.empty() ? generated_name() : key.constraint;
    {
        sql_stmt probe(db_, "SELECT 1 FROM sim_indexes WHERE table_id = ?1 AND constraint_name = ?2");
        probe.integer(1, t.id).text(2, constraint);
        if (probe.step()) throw duplicate_object(constraint, key.primary ? "PRIMARY KEY" : "UNIQUE");
    }
    // The index that enforces a key gets a system-generated name in the table's schema, as in DB2.
    // Another process may have named an index in the same second: the name must still be new.
    std::string index_name = generated_name();
    for (;;) {
        sql_stmt taken(db_, "SELECT 1 FROM sim_indexes WHERE schema = ?1 AND name = ?2");
        taken.text(1, t.schema).text(2, index_name);
        if (!taken.step()) break;
        index_name = generated_name();
    }
    make_index(t, t.schema, index_name, columns, key.primary ? 'P' : 'U');
    sql_stmt upd(db_, "UPDATE sim_indexes SET constraint_name = ?1 WHERE schema = ?2 AND name = ?3");
    upd.text(1, constraint).text(2, t.schema).text(3, index_name).step();
}

void database::alter_table(const alter_table_stmt& s) {
    table_def t = require_table(s.table);
    begin();
    try {
        if (s.what == alter_table_stmt::action::add_key) {
            add_key(t, s.key, false);
            commit();
            return;
        }
        int idx = find_column(t, s.column);
        if (idx < 0) throw not_a_column(s.column, t);
        column_def& c = t.columns[static_cast<std::size_t>(idx)];
        switch (s.what) {
            case alter_table_stmt::action::drop_identity:
                if (c.identity == 0)
                    throw sql_error(-372, "428C1", "Column \"" + c.name + "\" is not an identity column.");
                c.identity = 0;
                break;
            case alter_table_stmt::action::set_identity: {
                for (const column_def& other : t.columns)
                    if (other.identity != 0)
                        throw sql_error(-372, "428C1",
                                        "A column with data type or attribute ROWID, IDENTITY, security label, or row "
                                        "change timestamp can only be specified once for a table.");
                if (!(is_exact_integer(c.type) || (c.type == col_type::decimal && c.scale == 0)))
                    throw sql_error(-846, "42815", "Invalid specification of an identity column or sequence object \"" +
                                                       c.name + "\".  Reason code = \"1\".");
                if (c.has_default)
                    throw sql_error(-190, "42837", "ALTER TABLE \"" + quote_name(t.schema, t.name) +
                                                       "\" specified attributes for column \"" + c.name +
                                                       "\" that are not compatible with the existing column.");
                if (c.nullable) {
                    std::string sql = "SELECT 1 FROM t" + std::to_string(t.id) + " WHERE c" + std::to_string(idx) + " IS NULL";
                    sql_stmt probe(db_, sql.c_str());
                    if (probe.step())
                        throw sql_error(-407, "23502", "Assignment of a NULL value to a NOT NULL column \"" + c.name +
                                                           "\" is not allowed.");
                    c.nullable = false;
                }
                c.identity = s.identity;
                c.ident_start = s.start;
                c.ident_increment = s.increment;
                c.ident_next = s.start;
                break;
            }
            case alter_table_stmt::action::set_generated:
                if (c.identity == 0)
                    throw sql_error(-372, "428C1", "Column \"" + c.name + "\" is not an identity column.");
                c.identity = s.identity;
                break;
            case alter_table_stmt::action::restart:
                if (c.identity == 0)
                    throw sql_error(-372, "428C1", "Column \"" + c.name + "\" is not an identity column.");
                c.ident_next = s.has_start ? s.start : c.ident_start;
                break;
            case alter_table_stmt::action::add_key:
                break;
        }
        store_column(t.id, idx, c);
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

void database::create_index(const create_index_stmt& s) {
    table_def t = require_table(s.table);
    std::string schema = resolve_schema(s.index);
    begin();
    try {
        make_index(t, schema, s.index.name, s.columns, s.unique ? 'U' : 'D');
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

void database::drop_index(const drop_index_stmt& s) {
    std::string schema = resolve_schema(s.index);
    sql_stmt probe(db_, "SELECT rowid, uniquerule FROM sim_indexes WHERE schema = ?1 AND name = ?2");
    probe.text(1, schema).text(2, s.index.name);
    if (!probe.step()) throw undefined_name(quote_name(schema, s.index.name));
    std::int64_t rowid = probe.column_int(0);
    if (probe.column_text(1) == "P")
        throw sql_error(-669, "42917", "A system required index cannot be dropped explicitly.");
    begin();
    try {
        exec_sql(("DROP INDEX IF EXISTS u" + std::to_string(rowid)).c_str());
        sql_stmt del(db_, "DELETE FROM sim_indexes WHERE rowid = ?1");
        del.integer(1, rowid).step();
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

}  // namespace db2sim

// =============================================================================================
// Queries and DML

namespace db2sim {

namespace {

sim_error invalid_context(const std::string& name) {
    return sql_error(-206, "42703", "\"" + name + "\" is not valid in the context where it is used.");
}
sim_error unknown_function(const std::string& name) {
    return sql_error(-440, "42884", "No authorized routine named \"" + name +
                                        "\" of type \"FUNCTION\" having compatible arguments was found.");
}
sim_error arithmetic_overflow() {
    return sql_error(-802, "22003", "Arithmetic overflow or other arithmetic exception occurred.");
}

bool is_aggregate(const expr& e) {
    if (e.o == expr::op::count_star) return true;
    return e.o == expr::op::func &&
           (e.name == "COUNT" || e.name == "COUNT_BIG" || e.name == "MIN" || e.name == "MAX" || e.name == "SUM");
}

bool contains_aggregate(const expr& e) {
    if (is_aggregate(e)) return true;
    for (const auto& a : e.args)
        if (contains_aggregate(*a)) return true;
    return false;
}

// Resolves column names against the table; `inside_aggregate` tells whether a column is allowed
// in an aggregate query.
void resolve(expr& e, const table_def& t, bool aggregate_query, bool inside_aggregate) {
    if (e.o == expr::op::column) {
        int idx = find_column(t, e.name);
        if (idx < 0) throw invalid_context(e.name);
        if (aggregate_query && !inside_aggregate)
            throw sql_error(-122, "42803",
                            "An expression starting with \"" + e.name +
                                "\" specified in a SELECT clause, HAVING clause, or ORDER BY clause is not specified "
                                "in the GROUP BY clause or it is in a SELECT clause, HAVING clause, or ORDER BY "
                                "clause with a column function and no GROUP BY clause is specified.");
        e.column_index = idx;
        return;
    }
    if (e.o == expr::op::func) {
        static const char* const known[] = {"COUNT", "COUNT_BIG", "MIN", "MAX", "SUM", "LENGTH", "HEX", "XML2CLOB"};
        bool found = false;
        for (const char* k : known) found = found || e.name == k;
        if (!found || e.args.size() != 1) throw unknown_function(e.name);
        if (is_aggregate(e) && inside_aggregate)
            throw sql_error(-112, "42607", "The operand of the column function \"" + e.name +
                                               "\" includes a column function, a scalar fullselect, or a subquery.");
    }
    bool inside = inside_aggregate || is_aggregate(e);
    for (auto& a : e.args) resolve(*a, t, aggregate_query, inside);
}

column_def literal_def(const expr& e) {
    column_def c;
    c.type = e.literal_type;
    const value& v = e.literal;
    c.nullable = v.is_null();
    switch (c.type) {
        case col_type::varchar: case col_type::varbinary: c.length = static_cast<std::int64_t>(v.text.size()); break;
        case col_type::vargraphic: c.length = static_cast<std::int64_t>(utf16_length(v.text)); break;
        case col_type::decimal: {
            int digits = 0;
            for (__int128 x = v.dec < 0 ? -v.dec : v.dec; x != 0; x /= 10) ++digits;
            c.length = std::max(digits, v.scale + 1);
            c.scale = v.scale;
            break;
        }
        default: break;
    }
    if (c.length == 0 && (c.type == col_type::varchar || c.type == col_type::varbinary || c.type == col_type::vargraphic))
        c.length = 1;
    return c;
}

column_def numeric_result(const column_def& a, const column_def& b) {
    column_def c;
    c.nullable = a.nullable || b.nullable;
    auto rank = [](col_type t) {
        switch (t) {
            case col_type::smallint: return 1;
            case col_type::integer: return 2;
            case col_type::bigint: return 3;
            case col_type::decimal: return 4;
            case col_type::decfloat: return 5;
            case col_type::real: return 6;
            case col_type::dbl: return 7;
            default: return 0;
        }
    };
    if (rank(a.type) == 0 || rank(b.type) == 0) throw sql_error(-402, "42819", "The data type of an operand of an arithmetic function or operation \"+\" is not numeric.");
    col_type t = rank(a.type) >= rank(b.type) ? a.type : b.type;
    if (t == col_type::smallint) t = col_type::integer;
    if (t == col_type::real) t = col_type::dbl;
    c.type = t;
    if (t == col_type::decimal) {
        c.length = 31;
        c.scale = std::max(a.type == col_type::decimal ? a.scale : 0, b.type == col_type::decimal ? b.scale : 0);
    }
    if (t == col_type::decfloat) c.length = 34;
    return c;
}

column_def describe(const expr& e, const table_def& t) {
    column_def c;
    switch (e.o) {
        case expr::op::column: return t.columns[static_cast<std::size_t>(e.column_index)];
        case expr::op::literal: return literal_def(e);
        case expr::op::param: c.type = col_type::varchar; c.length = 32672; return c;
        case expr::op::neg: {
            c = describe(*e.args[0], t);
            c.identity = 0;
            return c;
        }
        case expr::op::add: case expr::op::sub: case expr::op::mul: case expr::op::div:
            return numeric_result(describe(*e.args[0], t), describe(*e.args[1], t));
        case expr::op::concat: {
            column_def a = describe(*e.args[0], t), b = describe(*e.args[1], t);
            c.type = col_type::varchar;
            c.length = std::min<std::int64_t>(a.length + b.length, 32672);
            c.nullable = a.nullable || b.nullable;
            return c;
        }
        case expr::op::count_star:
            c.type = e.name == "COUNT_BIG" ? col_type::decimal : col_type::integer;
            c.length = c.type == col_type::decimal ? 31 : 0;
            c.nullable = false;
            return c;
        case expr::op::func: {
            column_def a = describe(*e.args[0], t);
            a.identity = 0;
            a.has_default = false;
            if (e.name == "COUNT") { c.type = col_type::integer; c.nullable = false; return c; }
            if (e.name == "COUNT_BIG") { c.type = col_type::decimal; c.length = 31; c.nullable = false; return c; }
            if (e.name == "MIN" || e.name == "MAX") { a.nullable = true; return a; }
            if (e.name == "SUM") {
                if (!is_numeric(a.type)) throw unknown_function(e.name);
                c.type = a.type == col_type::smallint ? col_type::integer : a.type == col_type::real ? col_type::dbl : a.type;
                if (c.type == col_type::decimal) { c.length = 31; c.scale = a.scale; }
                if (c.type == col_type::decfloat) c.length = 34;
                return c;
            }
            if (e.name == "LENGTH") { c.type = col_type::integer; c.nullable = a.nullable; return c; }
            if (e.name == "HEX") {
                c.type = col_type::varchar;
                c.length = std::min<std::int64_t>(std::max<std::int64_t>(buffer_length(a), 1) * 2, 32672);
                c.nullable = a.nullable;
                return c;
            }
            if (e.name == "XML2CLOB") {
                if (a.type != col_type::xml) throw unknown_function(e.name);
                c.type = col_type::clob;
                c.length = 2147483647;
                c.nullable = a.nullable;
                return c;
            }
            throw unknown_function(e.name);
        }
        case expr::op::current_date: c.type = col_type::date; c.nullable = false; return c;
        case expr::op::current_time: c.type = col_type::time; c.nullable = false; return c;
        case expr::op::current_timestamp: c.type = col_type::timestamp; c.scale = 6; c.nullable = false; return c;
        case expr::op::current_schema: case expr::op::user:
            c.type = col_type::varchar; c.length = 128; c.nullable = false; return c;
        default:
            throw syntax_error("=", "SELECT", ",");  // a predicate is not a select-list value
    }
}

struct eval_env {
    const std::vector<value>* row = nullptr;
    const std::vector<value>* params = nullptr;
    const std::string* user = nullptr;
    const std::string* schema = nullptr;
    const std::map<const expr*, value>* aggregates = nullptr;
    const table_def* table = nullptr;
};

value eval(const expr& e, const eval_env& env);

value arithmetic(expr::op o, const value& a, const value& b) {
    value r;
    if (a.is_null() || b.is_null()) return r;
    auto as_number = [](const value& v) {
        if (v.k == value::kind::text) {
            value n;
            if (!parse_number(v.text, n))
                throw sql_error(-420, "22018", "Invalid character found in a character string argument of the function \"DECFLOAT\".");
            return n;
        }
        if (v.k == value::kind::bytes) throw sql_error(-402, "42819", "The data type of an operand of an arithmetic function or operation is not numeric.");
        return v;
    };
    value x = as_number(a), y = as_number(b);
    if (x.k == value::kind::integer && y.k == value::kind::integer) {
        std::int64_t out;
        bool overflow = false;
        switch (o) {
            case expr::op::add: overflow = __builtin_add_overflow(x.i, y.i, &out); break;
            case expr::op::sub: overflow = __builtin_sub_overflow(x.i, y.i, &out); break;
            case expr::op::mul: overflow = __builtin_mul_overflow(x.i, y.i, &out); break;
            default:
                if (y.i == 0) throw sql_error(-801, "22012", "Division by zero was attempted.");
                if (x.i == INT64_MIN && y.i == -1) throw arithmetic_overflow();
                out = x.i / y.i;
        }
        if (overflow) throw arithmetic_overflow();
        r.set_int(out);
        return r;
    }
    if (x.k != value::kind::dbl && y.k != value::kind::dbl && o != expr::op::div) {
        auto to_dec = [](const value& v, __int128& u, int& s) {
            if (v.k == value::kind::integer) { u = v.i; s = 0; } else { u = v.dec; s = v.scale; }
        };
        __int128 u1, u2;
        int s1, s2;
        to_dec(x, u1, s1);
        to_dec(y, u2, s2);
        if (o == expr::op::mul) {
            __int128 out;
            if (__builtin_mul_overflow(u1, u2, &out)) throw arithmetic_overflow();
            r.set_decimal(out, s1 + s2);
            return r;
        }
        int s = std::max(s1, s2);
        for (; s1 < s; ++s1) if (__builtin_mul_overflow(u1, static_cast<__int128>(10), &u1)) throw arithmetic_overflow();
        for (; s2 < s; ++s2) if (__builtin_mul_overflow(u2, static_cast<__int128>(10), &u2)) throw arithmetic_overflow();
        r.set_decimal(o == expr::op::add ? u1 + u2 : u1 - u2, s);
        return r;
    }
    auto d = [](const value& v) {
        if (v.k == value::kind::integer) return static_cast<double>(v.i);
        if (v.k == value::kind::dbl) return v.d;
        double p = 1;
        for (int n = 0; n < v.scale; ++n) p *= 10;
        return static_cast<double>(v.dec) / p;
    };
    double out;
    switch (o) {
        case expr::op::add: out = d(x) + d(y); break;
        case expr::op::sub: out = d(x) - d(y); break;
        case expr::op::mul: out = d(x) * d(y); break;
        default:
            if (d(y) == 0) throw sql_error(-801, "22012", "Division by zero was attempted.");
            out = d(x) / d(y);
    }
    r.set_double(out);
    return r;
}

// Brings a character constant to the type of the date/time value it is compared with.
void align_for_compare(value& a, const column_def& ta, value& b, const column_def& tb) {
    if (is_datetime(ta.type) && b.k == value::kind::text && !is_datetime(tb.type)) {
        column_def target = ta;
        assign(b, target, false);
    } else if (is_datetime(tb.type) && a.k == value::kind::text && !is_datetime(ta.type)) {
        column_def target = tb;
        assign(a, target, false);
    }
}

// 0 false, 1 true, 2 unknown
int truth(const expr& e, const eval_env& env) {
    switch (e.o) {
        case expr::op::and_: {
            int a = truth(*e.args[0], env);
            if (a == 0) return 0;
            int b = truth(*e.args[1], env);
            if (b == 0) return 0;
            return a == 1 && b == 1 ? 1 : 2;
        }
        case expr::op::or_: {
            int a = truth(*e.args[0], env);
            if (a == 1) return 1;
            int b = truth(*e.args[1], env);
            if (b == 1) return 1;
            return a == 0 && b == 0 ? 0 : 2;
        }
        case expr::op::not_: {
            int a = truth(*e.args[0], env);
            return a == 2 ? 2 : 1 - a;
        }
        case expr::op::is_null: return eval(*e.args[0], env).is_null() ? 1 : 0;
        case expr::op::is_not_null: return eval(*e.args[0], env).is_null() ? 0 : 1;
        case expr::op::eq: case expr::op::ne: case expr::op::lt: case expr::op::le: case expr::op::gt: case expr::op::ge: {
            value a = eval(*e.args[0], env), b = eval(*e.args[1], env);
            if (a.is_null() || b.is_null()) return 2;
            align_for_compare(a, describe(*e.args[0], *env.table), b, describe(*e.args[1], *env.table));
            int c = compare(a, b);
            switch (e.o) {
                case expr::op::eq: return c == 0;
                case expr::op::ne: return c != 0;
                case expr::op::lt: return c < 0;
                case expr::op::le: return c <= 0;
                case expr::op::gt: return c > 0;
                default: return c >= 0;
            }
        }
        default:
            throw syntax_error("WHERE", "WHERE", "<predicate>");
    }
}

value eval(const expr& e, const eval_env& env) {
    value r;
    if (env.aggregates != nullptr) {
        auto found = env.aggregates->find(&e);
        if (found != env.aggregates->end()) return found->second;
    }
    switch (e.o) {
        case expr::op::column: return (*env.row)[static_cast<std::size_t>(e.column_index)];
        case expr::op::literal: return e.literal;
        case expr::op::param:
            if (env.params == nullptr || static_cast<std::size_t>(e.param_index) >= env.params->size())
                throw sql_error(-313, "07004", "The number of variables in the EXECUTE statement, the number of variables in "
                                               "the OPEN statement, or the number of arguments in an OPEN statement for a "
                                               "parameterized cursor is not equal to the number of values required.");
            return (*env.params)[static_cast<std::size_t>(e.param_index)];
        case expr::op::neg: {
            value zero;
            zero.set_int(0);
            return arithmetic(expr::op::sub, zero, eval(*e.args[0], env));
        }
        case expr::op::add: case expr::op::sub: case expr::op::mul: case expr::op::div:
            return arithmetic(e.o, eval(*e.args[0], env), eval(*e.args[1], env));
        case expr::op::concat: {
            value a = eval(*e.args[0], env), b = eval(*e.args[1], env);
            if (a.is_null() || b.is_null()) return r;
            r.set_text(to_display(a, col_type::varchar) + to_display(b, col_type::varchar));
            return r;
        }
        case expr::op::func: {
            value a = eval(*e.args[0], env);
            if (a.is_null()) return r;
            column_def t = describe(*e.args[0], *env.table);
            if (e.name == "LENGTH") {
                switch (t.type) {
                    case col_type::graphic: case col_type::vargraphic: case col_type::dbclob:
                        r.set_int(static_cast<std::int64_t>(utf16_length(a.text))); break;
                    case col_type::date: r.set_int(4); break;
                    case col_type::time: r.set_int(3); break;
                    case col_type::timestamp: r.set_int(7 + (t.scale + 1) / 2); break;
                    case col_type::smallint: r.set_int(2); break;
                    case col_type::integer: case col_type::real: r.set_int(4); break;
                    case col_type::bigint: case col_type::dbl: r.set_int(8); break;
                    case col_type::decimal: r.set_int(t.length / 2 + 1); break;
                    default: r.set_int(static_cast<std::int64_t>(a.text.size()));
                }
                return r;
            }
            if (e.name == "HEX") {
                if (t.type == col_type::graphic || t.type == col_type::vargraphic || t.type == col_type::dbclob) {
                    std::u16string wide;
                    utf8_to_utf16(a.text, wide);
                    std::string be;
                    for (char16_t u : wide) {
                        be.push_back(static_cast<char>(u >> 8));
                        be.push_back(static_cast<char>(u & 0xFF));
                    }
                    r.set_text(hex_upper(be));
                } else if (a.k == value::kind::text || a.k == value::kind::bytes) {
                    r.set_text(hex_upper(a.text));
                } else {
                    throw unknown_function(e.name);
                }
                return r;
            }
            if (e.name == "XML2CLOB") return a;
            throw unknown_function(e.name);
        }
        case expr::op::current_date: case expr::op::current_time: case expr::op::current_timestamp: {
            column_def c;
            c.default_text = e.o == expr::op::current_date ? "CURRENT DATE" : e.o == expr::op::current_time ? "CURRENT TIME" : "CURRENT TIMESTAMP";
            return default_value(c, *env.user);
        }
        case expr::op::current_schema: r.set_text(*env.schema); return r;
        case expr::op::user: r.set_text(*env.user); return r;
        case expr::op::default_value:
            throw syntax_error("DEFAULT", "(", "<expression>");
        default: {
            throw syntax_error("=", "SELECT", "<expression>");
        }
    }
}

// Reads one stored cell into a value of the column's type.
void read_cell(sqlite3_stmt* s, int idx, const column_def& c, value& v) {
    int type = sqlite3_column_type(s, idx);
    if (type == SQLITE_NULL) { v.set_null(); return; }
    switch (c.type) {
        case col_type::smallint: case col_type::integer: case col_type::bigint:
            v.set_int(sqlite3_column_int64(s, idx));
            return;
        case col_type::real: case col_type::dbl:
            v.set_double(sqlite3_column_double(s, idx));
            return;
        case col_type::decimal: case col_type::decfloat: {
            std::string_view text(reinterpret_cast<const char*>(sqlite3_column_text(s, idx)),
                                  static_cast<std::size_t>(sqlite3_column_bytes(s, idx)));
            __int128 u;
            int scale;
            if (parse_decimal(text, u, scale)) v.set_decimal(u, scale);
            else v.set_text(text);
            return;
        }
        case col_type::binary: case col_type::varbinary: case col_type::blob: {
            const char* p = static_cast<const char*>(sqlite3_column_blob(s, idx));
            v.set_bytes(std::string_view(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s, idx))));
            return;
        }
        default: {
            const char* p = reinterpret_cast<const char*>(sqlite3_column_text(s, idx));
            v.set_text(std::string_view(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s, idx))));
        }
    }
}

// Binds a checked value to an SQLite statement; the text stays owned by the value until the step.
int bind_cell(sqlite3_stmt* s, int idx, const value& v) {
    switch (v.k) {
        case value::kind::null: return sqlite3_bind_null(s, idx);
        case value::kind::integer: return sqlite3_bind_int64(s, idx, v.i);
        case value::kind::dbl: return sqlite3_bind_double(s, idx, v.d);
        case value::kind::decimal: {
            std::string text = format_decimal(v.dec, v.scale);
            return sqlite3_bind_text(s, idx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
        case value::kind::text:
            return sqlite3_bind_text(s, idx, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
        case value::kind::bytes:
            return sqlite3_bind_blob(s, idx, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
    }
    return SQLITE_MISUSE;
}

class row_source {
public:
    virtual ~row_source() = default;
    virtual bool next(std::vector<value>& row, std::int64_t& rowid) = 0;
};

class table_source : public row_source {
public:
    table_source(sqlite3* db, const table_def& t) : table_(t) {
        std::string sql = "SELECT rowid";
        for (std::size_t idx = 0; idx < t.columns.size(); ++idx) sql += ", c" + std::to_string(idx);
        sql += " FROM t" + std::to_string(t.id);
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
            throw sql_error(-901, "58004", std::string("Storage error: ") + sqlite3_errmsg(db));
    }
    ~table_source() override { sqlite3_finalize(stmt_); }
    bool next(std::vector<value>& row, std::int64_t& rowid) override {
        if (done_) return false;  // stepping again after the end would start the scan over
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_DONE) {
            done_ = true;
            return false;
        }
        if (rc != SQLITE_ROW) throw sql_error(-901, "58004", "Storage error while reading.");
        rowid = sqlite3_column_int64(stmt_, 0);
        row.resize(table_.columns.size());
        for (std::size_t idx = 0; idx < table_.columns.size(); ++idx)
            read_cell(stmt_, static_cast<int>(idx + 1), table_.columns[idx], row[idx]);
        return true;
    }

private:
    table_def table_;
    sqlite3_stmt* stmt_ = nullptr;
    bool done_ = false;
};

class memory_source : public row_source {
public:
    explicit memory_source(std::vector<std::vector<value>> rows) : rows_(std::move(rows)) {}
    bool next(std::vector<value>& row, std::int64_t& rowid) override {
        if (next_ >= rows_.size()) return false;
        rowid = static_cast<std::int64_t>(next_);
        row = rows_[next_++];
        return true;
    }

private:
    std::vector<std::vector<value>> rows_;
    std::size_t next_ = 0;
};

// Streams the rows of one table through WHERE and the select list.
class scan_cursor : public cursor {
public:
    scan_cursor(std::unique_ptr<row_source> source, table_def table, std::shared_ptr<select_stmt> stmt,
                std::vector<const expr*> projection, std::vector<value> params, std::string user, std::string schema)
        : source_(std::move(source)), table_(std::move(table)), stmt_(std::move(stmt)), projection_(std::move(projection)),
          params_(std::move(params)), user_(std::move(user)), schema_(std::move(schema)) {}

    bool fetch(std::vector<value>& out) override {
        if (stmt_->fetch_first >= 0 && produced_ >= stmt_->fetch_first) return false;
        eval_env env{&row_, &params_, &user_, &schema_, nullptr, &table_};
        std::int64_t rowid;
        while (source_->next(row_, rowid)) {
            if (stmt_->where && truth(*stmt_->where, env) != 1) continue;
            out.resize(projection_.size());
            for (std::size_t idx = 0; idx < projection_.size(); ++idx) out[idx] = eval(*projection_[idx], env);
            ++produced_;
            return true;
        }
        return false;
    }

private:
    std::unique_ptr<row_source> source_;
    table_def table_;
    std::shared_ptr<select_stmt> stmt_;
    std::vector<const expr*> projection_;
    std::vector<value> params_;
    std::string user_, schema_;
    std::vector<value> row_;
    std::int64_t produced_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Catalog views

bool database::catalog_view(const qualified_name& q, table_def& def, std::vector<std::vector<value>>& rows) {
    std::string schema = resolve_schema(q);
    auto col = [&](const char* name, col_type type, std::int64_t length, int scale = 0) {
        column_def c = result_def(name, type, length, true);
        c.scale = scale;
        def.columns.push_back(c);
    };
    def = table_def{};
    def.schema = schema;
    def.name = q.name;
    def.type = "V";
    if (schema == "SYSIBM" && q.name == "SYSDUMMY1") {
        col("IBMREQD", col_type::chr, 1);
        rows.push_back({text_value("Y")});
        return true;
    }
    if (schema != "SYSCAT") return false;
    std::vector<table_def> tables = load_all_tables();
    if (q.name == "TABLES") {
        col("TABSCHEMA", col_type::varchar, 128);
        col("TABNAME", col_type::varchar, 128);
        col("OWNER", col_type::varchar, 128);
        col("TYPE", col_type::chr, 1);
        col("STATUS", col_type::chr, 1);
        col("COLCOUNT", col_type::smallint, 0);
        col("CARD", col_type::bigint, 0);
        col("REMARKS", col_type::varchar, 254);
        std::map<std::int64_t, std::string> owners;
        {
            sql_stmt s(db_, "SELECT id, owner FROM sim_tables");
            while (s.step()) owners[s.column_int(0)] = s.column_text(1);
        }
        for (const table_def& t : tables)
            rows.push_back({text_value(t.schema), text_value(t.name), text_value(owners[t.id]), text_value("T"),
                            text_value("N"), int_value(static_cast<std::int64_t>(t.columns.size())), int_value(-1),
                            null_value()});
        return true;
    }
    if (q.name == "COLUMNS") {
        col("TABSCHEMA", col_type::varchar, 128);
        col("TABNAME", col_type::varchar, 128);
        col("COLNAME", col_type::varchar, 128);
        col("COLNO", col_type::smallint, 0);
        col("TYPESCHEMA", col_type::varchar, 128);
        col("TYPENAME", col_type::varchar, 128);
        col("LENGTH", col_type::integer, 0);
        col("SCALE", col_type::smallint, 0);
        col("DEFAULT", col_type::varchar, 254);
        col("NULLS", col_type::chr, 1);
        col("CODEPAGE", col_type::smallint, 0);
        col("LOGGED", col_type::chr, 1);
        col("IDENTITY", col_type::chr, 1);
        col("GENERATED", col_type::chr, 1);
        for (const table_def& t : tables) {
            for (std::size_t idx = 0; idx < t.columns.size(); ++idx) {
                const column_def& c = t.columns[idx];
                std::int64_t length = c.length;
                switch (c.type) {
                    case col_type::smallint: length = 2; break;
                    case col_type::integer: case col_type::real: case col_type::date: length = 4; break;
                    case col_type::bigint: case col_type::dbl: length = 8; break;
                    case col_type::time: length = 3; break;
                    case col_type::timestamp: length = 10; break;
                    case col_type::xml: length = 0; break;
                    default: break;
                }
                int codepage = is_binary(c.type) ? 0 : (c.type == col_type::graphic || c.type == col_type::vargraphic || c.type == col_type::dbclob) ? 1200 : is_character(c.type) ? 1208 : 0;
                rows.push_back({text_value(t.schema), text_value(t.name), text_value(c.name),
                                int_value(static_cast<std::int64_t>(idx)), text_value("SYSIBM"),
                                text_value(syscat_type_name(c.type)), int_value(length),
                                int_value(c.type == col_type::decimal || c.type == col_type::timestamp ? c.scale : 0),
                                c.has_default ? text_value(c.default_text) : null_value(),
                                text_value(c.nullable ? "Y" : "N"), int_value(codepage),
                                text_value(is_lob(c.type) ? (c.logged ? "Y" : "N") : " "),
                                text_value(c.identity ? "Y" : "N"),
                                text_value(c.identity == 1 ? "A" : c.identity == 2 ? "D" : " ")});
            }
        }
        return true;
    }
    if (q.name == "INDEXES") {
        col("INDSCHEMA", col_type::varchar, 128);
        col("INDNAME", col_type::varchar, 128);
        col("OWNER", col_type::varchar, 128);
        col("TABSCHEMA", col_type::varchar, 128);
        col("TABNAME", col_type::varchar, 128);
        col("COLNAMES", col_type::varchar, 640);
        col("UNIQUERULE", col_type::chr, 1);
        col("COLCOUNT", col_type::smallint, 0);
        std::map<std::int64_t, const table_def*> by_id;
        for (const table_def& t : tables) by_id[t.id] = &t;
        for (const index_info& i : load_indexes(nullptr)) {
            const table_def* t = by_id[i.table_id];
            if (t == nullptr) continue;
            std::int64_t count = static_cast<std::int64_t>(std::count_if(i.colnames.begin(), i.colnames.end(),
                                                                         [](char c) { return c == '+' || c == '-'; }));
            rows.push_back({text_value(i.schema), text_value(i.name), text_value(user_), text_value(t->schema),
                            text_value(t->name), text_value(i.colnames), text_value(i.uniquerule), int_value(count)});
        }
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// SELECT

std::unique_ptr<cursor> database::execute_select(select_stmt& s, const std::vector<value>& params) {
    table_def t;
    std::vector<std::vector<value>> memory_rows;
    std::unique_ptr<row_source> source;
    if (catalog_view(s.from, t, memory_rows)) {
        source = std::make_unique<memory_source>(std::move(memory_rows));
    } else {
        t = require_table(s.from);
    }
    // * expands to every column
    std::vector<select_item> items;
    for (select_item& item : s.items) {
        if (item.e) {
            items.push_back(std::move(item));
            continue;
        }
        for (const column_def& c : t.columns) {
            select_item star;
            star.e = std::make_unique<expr>();
            star.e->o = expr::op::column;
            star.e->name = c.name;
            items.push_back(std::move(star));
        }
    }
    s.items = std::move(items);
    bool aggregate_query = false;
    for (const select_item& item : s.items) aggregate_query = aggregate_query || contains_aggregate(*item.e);
    for (select_item& item : s.items) resolve(*item.e, t, aggregate_query, false);
    if (s.where) {
        if (contains_aggregate(*s.where))
            throw sql_error(-120, "42903", "Invalid use of an aggregate function or OLAP function.");
        resolve(*s.where, t, false, false);
    }
    std::vector<result_column> columns;
    std::vector<const expr*> projection;
    for (std::size_t idx = 0; idx < s.items.size(); ++idx) {
        const select_item& item = s.items[idx];
        result_column rc;
        rc.def = describe(*item.e, t);
        rc.name = !item.alias.empty() ? item.alias
                  : item.e->o == expr::op::column ? item.e->name
                                                  : std::to_string(idx + 1);
        rc.def.name = rc.name;
        columns.push_back(std::move(rc));
        projection.push_back(item.e.get());
    }
    // ORDER BY: a position, a select-list name, or an expression over the table
    std::vector<std::pair<const expr*, int>> order;  // expression or projected position
    for (order_item& o : s.order) {
        if (o.position > 0) {
            if (o.position > static_cast<int>(projection.size()))
                throw sql_error(-208, "42707", "The ORDER BY clause is not valid because column \"" +
                                                   std::to_string(o.position) + "\" is not part of the result table.");
            order.emplace_back(nullptr, o.position - 1);
            continue;
        }
        int by_name = -1;
        if (o.e->o == expr::op::column)
            for (std::size_t idx = 0; idx < columns.size(); ++idx)
                if (columns[idx].name == o.e->name) { by_name = static_cast<int>(idx); break; }
        if (by_name >= 0) {
            order.emplace_back(nullptr, by_name);
            continue;
        }
        if (aggregate_query) throw invalid_context(o.e->name);
        resolve(*o.e, t, false, false);
        order.emplace_back(o.e.get(), -1);
    }
    if (!source) source = std::make_unique<table_source>(db_, t);

    if (!aggregate_query && order.empty()) {
        // A plain COUNT-free scan streams; nothing is held in memory.
        auto shared = std::make_shared<select_stmt>(std::move(s));
        auto c = std::make_unique<scan_cursor>(std::move(source), t, shared, projection, params, user_, current_schema_);
        c->columns = std::move(columns);
        return c;
    }

    auto result = std::make_unique<rows_cursor>();
    result->columns = columns;
    std::vector<value> row;
    std::int64_t rowid;
    eval_env env{&row, &params, &user_, &current_schema_, nullptr, &t};
    if (aggregate_query) {
        // One result row: collect every aggregate node, fold each row into it.
        struct aggregate_state {
            const expr* e;
            std::int64_t count = 0;
            value best;
            value sum;
        };
        std::vector<aggregate_state> states;
        std::function<void(const expr&)> collect = [&](const expr& e) {
            if (is_aggregate(e)) {
                states.push_back({&e, 0, value{}, value{}});
                return;
            }
            for (const auto& a : e.args) collect(*a);
        };
        for (const expr* p : projection) collect(*p);
        while (source->next(row, rowid)) {
            if (s.where && truth(*s.where, env) != 1) continue;
            for (aggregate_state& st : states) {
                if (st.e->o == expr::op::count_star) { ++st.count; continue; }
                value v = eval(*st.e->args[0], env);
                if (v.is_null()) continue;
                ++st.count;
                if (st.e->name == "MIN" || st.e->name == "MAX") {
                    if (st.best.is_null() || (compare(v, st.best) < 0) == (st.e->name == "MIN") ) {
                        if (st.best.is_null() || compare(v, st.best) != 0) st.best = v;
                    }
                } else if (st.e->name == "SUM") {
                    st.sum = st.sum.is_null() ? v : arithmetic(expr::op::add, st.sum, v);
                }
            }
        }
        std::map<const expr*, value> results;
        for (aggregate_state& st : states) {
            value v;
            if (st.e->o == expr::op::count_star || st.e->name == "COUNT" || st.e->name == "COUNT_BIG") {
                if (st.e->name == "COUNT_BIG") v.set_decimal(st.count, 0);
                else if (st.count > INT32_MAX) throw arithmetic_overflow();
                else v.set_int(st.count);
            } else if (st.e->name == "SUM") {
                v = st.sum;
            } else {
                v = st.best;
            }
            results[st.e] = v;
        }
        env.aggregates = &results;
        std::vector<value> out;
        for (const expr* p : projection) out.push_back(eval(*p, env));
        if (s.fetch_first != 0) result->rows.push_back(std::move(out));
        return result;
    }
    struct sorted_row {
        std::vector<value> keys;
        std::vector<value> out;
    };
    std::vector<sorted_row> sorted;
    while (source->next(row, rowid)) {
        if (s.where && truth(*s.where, env) != 1) continue;
        sorted_row r;
        for (const expr* p : projection) r.out.push_back(eval(*p, env));
        for (const auto& [e, position] : order)
            r.keys.push_back(e != nullptr ? eval(*e, env) : r.out[static_cast<std::size_t>(position)]);
        sorted.push_back(std::move(r));
    }
    std::stable_sort(sorted.begin(), sorted.end(), [&](const sorted_row& a, const sorted_row& b) {
        for (std::size_t k = 0; k < order.size(); ++k) {
            const value& x = a.keys[k];
            const value& y = b.keys[k];
            int c;
            if (x.is_null() || y.is_null()) c = x.is_null() == y.is_null() ? 0 : (x.is_null() ? 1 : -1);  // nulls high
            else c = compare(x, y);
            if (s.order[k].descending) c = -c;
            if (c != 0) return c < 0;
        }
        return false;
    });
    for (sorted_row& r : sorted) {
        if (s.fetch_first >= 0 && static_cast<std::int64_t>(result->rows.size()) >= s.fetch_first) break;
        result->rows.push_back(std::move(r.out));
    }
    return result;
}

std::int64_t database::execute_delete(delete_stmt& s, const std::vector<value>& params) {
    table_def t = require_table(s.table);
    if (s.where) resolve(*s.where, t, false, false);
    begin();
    try {
        std::vector<std::int64_t> doomed;
        {
            table_source source(db_, t);
            std::vector<value> row;
            std::int64_t rowid;
            eval_env env{&row, &params, &user_, &current_schema_, nullptr, &t};
            while (source.next(row, rowid))
                if (!s.where || truth(*s.where, env) == 1) doomed.push_back(rowid);
        }
        std::string sql = "DELETE FROM t" + std::to_string(t.id) + " WHERE rowid = ?1";
        sql_stmt del(db_, sql.c_str());
        for (std::int64_t id : doomed) {
            sqlite3_reset(del.get());
            del.integer(1, id).step();
        }
        commit();
        return static_cast<std::int64_t>(doomed.size());
    } catch (...) {
        rollback();
        throw;
    }
}

// ---------------------------------------------------------------------------------------------
// INSERT

void database::prepare_insert(prepared_statement& p) {
    auto& s = std::get<insert_stmt>(p.parsed.body);
    table_def catalog_probe;
    std::vector<std::vector<value>> ignored;
    if (catalog_view(s.table, catalog_probe, ignored))
        throw sql_error(-150, "42807", "The target fullselect, view, typed table, materialized query table, range-clustered "
                                       "table, or staging table in the INSERT, DELETE, UPDATE, MERGE, or TRUNCATE statement "
                                       "is a target for which the requested operation is not permitted.");
    p.table_ = require_table(s.table);
    const table_def& t = p.table_;
    if (s.columns.empty()) {
        for (std::size_t idx = 0; idx < t.columns.size(); ++idx) p.value_columns_.push_back(static_cast<int>(idx));
    } else {
        for (const std::string& name : s.columns) {
            int idx = find_column(t, name);
            if (idx < 0) throw invalid_context(name);
            if (std::find(p.value_columns_.begin(), p.value_columns_.end(), idx) != p.value_columns_.end())
                throw sql_error(-121, "42701", "The target name \"" + name + "\" is specified more than once for assignment in the same SQL statement.");
            p.value_columns_.push_back(idx);
        }
    }
    p.param_targets_.assign(static_cast<std::size_t>(p.parsed.param_count), nullptr);
    for (auto& row : s.rows) {
        if (row.size() != p.value_columns_.size())
            throw sql_error(-117, "42802", "The number of values assigned is not the same as the number of specified or implied columns or variables.");
        for (std::size_t k = 0; k < row.size(); ++k) {
            const column_def& c = t.columns[static_cast<std::size_t>(p.value_columns_[k])];
            expr& e = *row[k];
            if (e.o == expr::op::default_value) continue;
            if (c.identity == 1)
                throw sql_error(-798, "428C9", "A value cannot be specified for column \"" + c.name +
                                                   "\" which is defined as GENERATED ALWAYS.");
            if (contains_aggregate(e)) throw sql_error(-120, "42903", "Invalid use of an aggregate function or OLAP function.");
            std::function<void(const expr&)> check = [&](const expr& x) {
                if (x.o == expr::op::column) throw invalid_context(x.name);
                if (x.o == expr::op::func) throw unknown_function(x.name);
                for (const auto& a : x.args) check(*a);
            };
            check(e);
            if (e.o == expr::op::param) p.param_targets_[static_cast<std::size_t>(e.param_index)] = &c;
        }
    }
    std::string sql = "INSERT INTO t" + std::to_string(t.id) + "(";
    std::string marks;
    for (std::size_t idx = 0; idx < t.columns.size(); ++idx) {
        sql += (idx ? ", c" : "c") + std::to_string(idx);
        marks += (idx ? ", ?" : "?");
    }
    sql += ") VALUES (" + marks + ")";
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &p.insert_, nullptr) != SQLITE_OK)
        fail_sqlite("prepare");
    // Unique keys over nullable columns: SQLite lets NULL keys repeat, DB2 does not.
    sql_stmt ix(db_, "SELECT colnames FROM sim_indexes WHERE table_id = ?1 AND uniquerule <> 'D'");
    ix.integer(1, t.id);
    while (ix.step()) {
        std::string names = ix.column_text(0);
        std::vector<int> cols;
        bool nullable = false;
        std::size_t pos = 0;
        while (pos < names.size()) {
            std::size_t next = names.find_first_of("+-", pos + 1);
            std::string name = names.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
            int idx = find_column(t, name);
            if (idx >= 0) {
                cols.push_back(idx);
                nullable = nullable || t.columns[static_cast<std::size_t>(idx)].nullable;
            }
            pos = next == std::string::npos ? names.size() : next;
        }
        if (!nullable) continue;
        std::string check = "SELECT 1 FROM t" + std::to_string(t.id) + " WHERE ";
        for (std::size_t k = 0; k < cols.size(); ++k)
            check += (k ? " AND c" : "c") + std::to_string(cols[k]) + " IS ?" + std::to_string(k + 1);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, (check + " LIMIT 1").c_str(), -1, &stmt, nullptr) != SQLITE_OK) fail_sqlite("prepare");
        p.null_key_checks_.push_back(stmt);
        p.null_key_columns_.push_back(std::move(cols));
    }
    p.row_.resize(t.columns.size());
}

namespace {
sim_error duplicate_key(const table_def& t) {
    return sql_error(-803, "23505",
                     "One or more values in the INSERT statement, UPDATE statement, or foreign key update caused by a "
                     "DELETE statement are not valid because the primary key, unique constraint or unique index "
                     "identified by \"1\" constrains table \"" + quote_name(t.schema, t.name) +
                         "\" from having duplicate values for the index key.");
}
}  // namespace

void database::insert_row(prepared_statement& p, std::vector<value>& params,
                          std::vector<std::int64_t>& identity_next) {
    auto& s = std::get<insert_stmt>(p.parsed.body);
    const table_def& t = p.table_;
    eval_env env{nullptr, &params, &user_, &current_schema_, nullptr, &t};
    for (auto& values : s.rows) {
        // Start every column as omitted, then fill those the statement names.
        std::vector<const expr*>& given = p.given_;
        given.assign(t.columns.size(), nullptr);
        for (std::size_t k = 0; k < values.size(); ++k) given[static_cast<std::size_t>(p.value_columns_[k])] = values[k].get();
        for (std::size_t idx = 0; idx < t.columns.size(); ++idx) {
            const column_def& c = t.columns[idx];
            value& v = p.row_[idx];
            const expr* e = given[idx];
            bool from_host = false;
            if (e == nullptr || e->o == expr::op::default_value) {
                if (c.identity != 0) {
                    std::int64_t next = identity_next[idx];
                    v.set_int(next);
                    try {
                        assign(v, c, false);
                    } catch (const sim_error&) {
                        throw sql_error(-359, "23522", "The range of values for the identity column or sequence is exhausted.");
                    }
                    identity_next[idx] = next + c.ident_increment;
                    continue;
                }
                if (c.has_default) v = default_value(c, user_);
                else v.set_null();
            } else if (e->o == expr::op::param) {
                // Each marker is used once and refilled for every row, so its value can be taken
                // over (swapping keeps both string buffers for reuse: no allocation per row).
                std::swap(v, params[static_cast<std::size_t>(e->param_index)]);
                from_host = true;
            } else {
                v = eval(*e, env);
            }
            if (v.is_null()) {
                if (!c.nullable)
                    throw sql_error(-407, "23502", "Assignment of a NULL value to a NOT NULL column \"" +
                                                       quote_name(quote_name(t.schema, t.name), c.name) +
                                                       "\" is not allowed.");
                continue;
            }
            assign(v, c, from_host);
        }
        for (std::size_t k = 0; k < p.null_key_checks_.size(); ++k) {
            const std::vector<int>& cols = p.null_key_columns_[k];
            bool any_null = false;
            for (int col : cols) any_null = any_null || p.row_[static_cast<std::size_t>(col)].is_null();
            if (!any_null) continue;
            sqlite3_stmt* check = p.null_key_checks_[k];
            sqlite3_reset(check);
            for (std::size_t m = 0; m < cols.size(); ++m) bind_cell(check, static_cast<int>(m + 1), p.row_[static_cast<std::size_t>(cols[m])]);
            bool duplicate = sqlite3_step(check) == SQLITE_ROW;
            sqlite3_reset(check);
            if (duplicate) throw duplicate_key(t);
        }
        sqlite3_stmt* ins = p.insert_;
        for (std::size_t idx = 0; idx < t.columns.size(); ++idx)
            if (bind_cell(ins, static_cast<int>(idx + 1), p.row_[idx]) != SQLITE_OK) fail_sqlite("bind");
        int rc = sqlite3_step(ins);
        sqlite3_reset(ins);
        if (rc == SQLITE_CONSTRAINT) throw duplicate_key(t);
        if (rc != SQLITE_DONE) fail_sqlite("insert");
    }
}

exec_result database::execute_insert(prepared_statement& p, std::size_t rows, const param_source& params,
                                     array_mode mode) {
    exec_result result;
    result.row_status.assign(rows, 2);
    const table_def& t = p.table_;
    // Identity attributes and counters are read at every execution (another statement may have
    // altered them) with one statement kept prepared; no rows means the table was dropped.
    std::vector<std::int64_t> identity_next(t.columns.size(), 0);
    std::vector<std::int64_t> identity_start(t.columns.size(), 0);
    bool has_identity = false;
    {
        if (p.identity_query_ == nullptr &&
            sqlite3_prepare_v3(db_, "SELECT identity, ident_inc, ident_next FROM sim_columns WHERE table_id = ?1 ORDER BY colno",
                               -1, SQLITE_PREPARE_PERSISTENT, &p.identity_query_, nullptr) != SQLITE_OK)
            fail_sqlite("prepare");
        sqlite3_stmt* q = p.identity_query_;
        sqlite3_reset(q);
        sqlite3_bind_int64(q, 1, t.id);
        std::size_t idx = 0;
        while (sqlite3_step(q) == SQLITE_ROW && idx < t.columns.size()) {
            p.table_.columns[idx].identity = sqlite3_column_int(q, 0);
            p.table_.columns[idx].ident_increment = sqlite3_column_int64(q, 1);
            identity_next[idx] = identity_start[idx] = sqlite3_column_int64(q, 2);
            has_identity = has_identity || p.table_.columns[idx].identity != 0;
            ++idx;
        }
        sqlite3_reset(q);
        if (idx != t.columns.size()) throw undefined_name(quote_name(t.schema, t.name));
    }
    std::vector<value> values(static_cast<std::size_t>(p.param_count()));
    std::int64_t inserted = 0;
    begin();
    for (std::size_t row = 0; row < rows; ++row) {
        try {
            if (params) params(row, values, p.param_targets());
            if (!p.param_targets().empty())
                for (std::size_t k = 0; k < values.size(); ++k) {
                    // a GENERATED ALWAYS column was refused at prepare; BY DEFAULT takes the value
                    (void)k;
                }
            insert_row(p, values, identity_next);
            result.row_status[row] = 0;
            ++inserted;
        } catch (const sim_error& e) {
            result.row_status[row] = 1;
            result.row_errors.emplace_back(row, e);
            if (mode == array_mode::atomic) {
                // IBM's CLI guide ("array input", SQLBindParameter usage): against DB2 LUW a
                // parameter array runs as ATOMIC compound SQL by default, so either every row is
                // processed or none is. The failing row is SQL_PARAM_ERROR; the others report
                // SQL_PARAM_UNUSED, since nothing of the array remains. SQL_ATTR_PARAMOPT_ATOMIC =
                // SQL_ATOMIC_NO selects NOT ATOMIC: the failing rows are skipped, the rest commit.
                rollback();
                result.rows_processed = row + 1;
                for (std::size_t other = 0; other < rows; ++other)
                    if (other != row) result.row_status[other] = 2;
                result.row_count = 0;
                return result;
            }
        }
    }
    try {
        if (has_identity) {
            sql_stmt upd(db_, "UPDATE sim_columns SET ident_next = ?1 WHERE table_id = ?2 AND colno = ?3");
            for (std::size_t idx = 0; idx < identity_next.size(); ++idx) {
                if (identity_next[idx] == identity_start[idx]) continue;
                sqlite3_reset(upd.get());
                upd.integer(1, identity_next[idx]).integer(2, t.id).integer(3, static_cast<std::int64_t>(idx)).step();
            }
        }
        commit();
    } catch (...) {
        rollback();
        throw;
    }
    result.rows_processed = rows;
    result.row_count = inserted;
    return result;
}

// ---------------------------------------------------------------------------------------------
// Dispatch

std::unique_ptr<prepared_statement> database::prepare(const std::string& text) {
    auto p = std::make_unique<prepared_statement>();
    p->parsed = parse_statement(text);
    p->text = text;
    if (std::holds_alternative<insert_stmt>(p->parsed.body)) prepare_insert(*p);
    return p;
}

exec_result database::execute(prepared_statement& stmt, std::size_t rows, const param_source& params, array_mode mode) {
    if (std::holds_alternative<insert_stmt>(stmt.parsed.body)) return execute_insert(stmt, rows, params, mode);
    exec_result result;
    std::vector<value> values(static_cast<std::size_t>(stmt.param_count()));
    std::vector<const column_def*> no_targets(values.size(), nullptr);
    if (params && !values.empty()) params(0, values, no_targets);
    result.rows_processed = 1;
    result.row_status.assign(rows, 0);
    statement& body = stmt.parsed.body;
    if (auto* s = std::get_if<select_stmt>(&body)) {
        // The cursor takes the parsed statement apart, so each execution works on a fresh parse.
        (void)s;
        parsed_statement fresh = parse_statement(stmt.text);
        result.rows = execute_select(std::get<select_stmt>(fresh.body), values);
        return result;
    }
    if (auto* s = std::get_if<delete_stmt>(&body)) {
        result.row_count = execute_delete(*s, values);
        return result;
    }
    if (auto* s = std::get_if<create_table_stmt>(&body)) create_table(*s);
    else if (auto* s = std::get_if<drop_table_stmt>(&body)) drop_table(*s);
    else if (auto* s = std::get_if<alter_table_stmt>(&body)) alter_table(*s);
    else if (auto* s = std::get_if<create_index_stmt>(&body)) create_index(*s);
    else if (auto* s = std::get_if<drop_index_stmt>(&body)) drop_index(*s);
    else if (auto* s = std::get_if<set_schema_stmt>(&body)) current_schema_ = s->user ? user_ : s->schema;
    return result;
}

// ---------------------------------------------------------------------------------------------
// Catalog functions

std::unique_ptr<cursor> database::tables(const std::string* catalog, const std::string* schema,
                                         const std::string* table, const std::string* types) {
    auto result = std::make_unique<rows_cursor>();
    for (const char* name : {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"})
        result->columns.push_back({name, result_def(name, col_type::varchar, std::string(name) == "REMARKS" ? 254 : 128)});
    // Catalog "", schema "%", table "": the list of schemas (IBM CLI SQLTables usage notes).
    if (catalog != nullptr && catalog->empty() && schema != nullptr && *schema == "%" && table != nullptr &&
        table->empty()) {
        std::vector<std::string> schemas;
        for (const table_def& t : load_all_tables()) schemas.push_back(t.schema);
        schemas.push_back("SYSCAT");
        schemas.push_back("SYSIBM");
        std::sort(schemas.begin(), schemas.end());
        schemas.erase(std::unique(schemas.begin(), schemas.end()), schemas.end());
        for (const std::string& s : schemas)
            result->rows.push_back({null_value(), text_value(s), null_value(), null_value(), null_value()});
        return result;
    }
    std::vector<std::string> wanted;
    if (types != nullptr && !types->empty()) {
        std::string item;
        for (std::size_t idx = 0; idx <= types->size(); ++idx) {
            char c = idx < types->size() ? (*types)[idx] : ',';
            if (c == ',') {
                if (!item.empty()) wanted.push_back(to_upper(item));
                item.clear();
            } else if (c != '\'' && c != ' ') {
                item.push_back(c);
            }
        }
    }
    auto type_wanted = [&](const std::string& type) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), type) != wanted.end();
    };
    struct entry { std::string type, schema, name; };
    std::vector<entry> entries;
    for (const table_def& t : load_all_tables()) entries.push_back({"TABLE", t.schema, t.name});
    for (const char* view : {"TABLES", "COLUMNS", "INDEXES"}) entries.push_back({"VIEW", "SYSCAT", view});
    entries.push_back({"VIEW", "SYSIBM", "SYSDUMMY1"});
    std::sort(entries.begin(), entries.end(), [](const entry& a, const entry& b) {
        return std::tie(a.type, a.schema, a.name) < std::tie(b.type, b.schema, b.name);
    });
    for (const entry& e : entries) {
        if (!type_wanted(e.type)) continue;
        if (schema != nullptr && !like_match(e.schema, *schema)) continue;
        if (table != nullptr && !like_match(e.name, *table)) continue;
        result->rows.push_back({null_value(), text_value(e.schema), text_value(e.name), text_value(e.type), null_value()});
    }
    return result;
}

std::unique_ptr<cursor> database::columns(const std::string* schema, const std::string* table, const std::string* column) {
    auto result = std::make_unique<rows_cursor>();
    struct clause { const char* name; col_type type; std::int64_t length; };
    static const clause layout[] = {
        {"TABLE_CAT", col_type::varchar, 128}, {"TABLE_SCHEM", col_type::varchar, 128},
        {"TABLE_NAME", col_type::varchar, 128}, {"COLUMN_NAME", col_type::varchar, 128},
        {"DATA_TYPE", col_type::smallint, 0}, {"TYPE_NAME", col_type::varchar, 128},
        {"COLUMN_SIZE", col_type::integer, 0}, {"BUFFER_LENGTH", col_type::integer, 0},
        {"DECIMAL_DIGITS", col_type::smallint, 0}, {"NUM_PREC_RADIX", col_type::smallint, 0},
        {"NULLABLE", col_type::smallint, 0}, {"REMARKS", col_type::varchar, 254},
        {"COLUMN_DEF", col_type::varchar, 254}, {"SQL_DATA_TYPE", col_type::smallint, 0},
        {"SQL_DATETIME_SUB", col_type::smallint, 0}, {"CHAR_OCTET_LENGTH", col_type::integer, 0},
        {"ORDINAL_POSITION", col_type::integer, 0}, {"IS_NULLABLE", col_type::varchar, 254}};
    for (const clause& s : layout) result->columns.push_back({s.name, result_def(s.name, s.type, s.length)});
    for (const table_def& t : load_all_tables()) {
        if (schema != nullptr && !like_match(t.schema, *schema)) continue;
        if (table != nullptr && !like_match(t.name, *table)) continue;
        for (std::size_t idx = 0; idx < t.columns.size(); ++idx) {
            const column_def& c = t.columns[idx];
            if (column != nullptr && !like_match(c.name, *column)) continue;
            bool exact = is_exact_integer(c.type) || c.type == col_type::decimal;
            bool approximate = c.type == col_type::real || c.type == col_type::dbl || c.type == col_type::decfloat;
            value digits = c.type == col_type::decimal || c.type == col_type::timestamp ? int_value(c.scale)
                           : is_exact_integer(c.type)                                 ? int_value(0)
                                                                                     : null_value();
            std::int16_t sub = c.type == col_type::date ? 1 : c.type == col_type::time ? 2 : c.type == col_type::timestamp ? 3 : 0;
            bool chars = is_character(c.type) || is_binary(c.type);
            result->rows.push_back({
                null_value(), text_value(t.schema), text_value(t.name), text_value(c.name),
                int_value(odbc_type(c.type)), text_value(cli_type_name(c.type)), int_value(column_size(c)),
                int_value(buffer_length(c)), digits,
                exact ? int_value(10) : approximate ? int_value(c.type == col_type::decfloat ? 10 : 2) : null_value(),
                int_value(c.nullable ? 1 : 0), null_value(),
                c.has_default && c.identity == 0 ? text_value(c.default_text) : null_value(),
                int_value(sub != 0 ? 9 : odbc_type(c.type)), sub != 0 ? int_value(sub) : null_value(),
                chars && c.type != col_type::xml ? int_value(buffer_length(c)) : null_value(),
                int_value(static_cast<std::int64_t>(idx + 1)), text_value(c.nullable ? "YES" : "NO")});
        }
    }
    return result;
}

}  // namespace db2sim
