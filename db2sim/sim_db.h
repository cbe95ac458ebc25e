// One connection's view of a stand-in database: the SQLite file, the catalog kept in it, and the
// execution of parsed statements. A `database` belongs to one CLI connection and is used by one
// thread at a time (the CLI layer serialises every call).
//
// Storage: $DB2SIM_HOME/<ALIAS>.db in WAL mode. Each DB2 table is an SQLite table t<id> with
// columns c0..cn holding checked values in canonical form; the DB2 catalog (tables, columns,
// indexes, identity counters, credentials) lives in sim_* tables of the same file. Every executed
// statement or parameter array is one SQLite transaction, so a crash loses at most the array that
// was being written and never leaves a half-written one.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim_common.h"
#include "sim_sql.h"

namespace db2sim {

// A result column as SQLDescribeCol reports it.
struct result_column {
    std::string name;
    column_def def;
};

// An open result set; fetch() fills `row` with one value per column and answers false at the end.
class cursor {
public:
    virtual ~cursor() = default;
    virtual bool fetch(std::vector<value>& row) = 0;
    std::vector<result_column> columns;
};

// A result set held in memory (catalog functions, sorted and aggregated queries).
class rows_cursor : public cursor {
public:
    bool fetch(std::vector<value>& row) override;
    std::vector<std::vector<value>> rows;
    std::size_t next_row = 0;
};

// How a failing row affects the rest of a parameter array (see README, "Parameter arrays").
enum class array_mode { atomic, not_atomic };

// Supplies parameter values of one row of a parameter array. Fills `params` (one per marker);
// `targets` gives, per marker, the column it is assigned to (null when not an INSERT value).
using param_source = std::function<void(std::size_t row, std::vector<value>& params,
                                        const std::vector<const column_def*>& targets)>;

class database;

// A statement prepared on a connection: parsed, its names resolved against the catalog.
class prepared_statement {
public:
    ~prepared_statement();
    int param_count() const { return parsed.param_count; }
    bool is_query() const { return std::holds_alternative<select_stmt>(parsed.body); }
    // Column each parameter marker is assigned to (INSERT), else null.
    const std::vector<const column_def*>& param_targets() const { return param_targets_; }

    parsed_statement parsed;
    std::string text;  // re-parsed for each execution of a query

private:
    friend class database;
    table_def table_;                       // INSERT target
    std::vector<int> value_columns_;        // INSERT: column index for each VALUES position
    std::vector<const column_def*> param_targets_;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* identity_query_ = nullptr;
    std::vector<sqlite3_stmt*> null_key_checks_;  // unique keys with nullable columns
    std::vector<std::vector<int>> null_key_columns_;
    std::vector<value> row_;                // reused for every row
    std::vector<const expr*> given_;        // reused for every row
};

// Result of executing a statement.
struct exec_result {
    std::unique_ptr<cursor> rows;  // SELECT
    std::int64_t row_count = -1;   // INSERT, DELETE
    // Parameter arrays: per row, 0 success, 1 failed, 2 not used; the errors in row order.
    std::vector<std::uint8_t> row_status;
    std::vector<std::pair<std::size_t, sim_error>> row_errors;
    std::size_t rows_processed = 0;
};

class database {
public:
    // Opens the database of `alias` for `user` (empty: the login name). Throws sim_error:
    // SQL1013N unknown alias, SQL1032N stopped, SQL30082N reason 24 wrong user or password.
    database(const std::string& alias, const std::string& user, const std::string& password);
    ~database();
    database(const database&) = delete;
    database& operator=(const database&) = delete;

    std::unique_ptr<prepared_statement> prepare(const std::string& text);
    // Executes a prepared statement for `rows` parameter sets (1 without arrays).
    exec_result execute(prepared_statement& stmt, std::size_t rows, const param_source& params, array_mode mode);

    // SQLTables / SQLColumns. A null pointer is an absent argument; patterns use % and _.
    std::unique_ptr<cursor> tables(const std::string* catalog, const std::string* schema, const std::string* table,
                                   const std::string* types);
    std::unique_ptr<cursor> columns(const std::string* schema, const std::string* table, const std::string* column);

    const std::string& current_schema() const { return current_schema_; }
    void set_current_schema(const std::string& schema) { current_schema_ = schema; }
    const std::string& user() const { return user_; }

    // Administration used by the db2sim program. Each throws sim_error.
    static std::string home();
    static std::string file_of(const std::string& alias);
    static void create(const std::string& alias, const std::string& user, const std::string& password);
    static void drop(const std::string& alias);
    static void set_stopped(const std::string& alias, bool stopped);

private:
    struct index_info {
        std::string schema, name, colnames, uniquerule;
        std::int64_t table_id;
    };

    void exec_sql(const char* sql);
    void begin();
    void commit();
    void rollback() noexcept;
    [[noreturn]] void fail_sqlite(const char* what);
    std::string resolve_schema(const qualified_name& q) const;
    bool load_table(const std::string& schema, const std::string& name, table_def& out);
    table_def require_table(const qualified_name& q);
    std::vector<index_info> load_indexes(const std::string* schema_filter);
    std::vector<table_def> load_all_tables();
    void store_column(std::int64_t table_id, int colno, const column_def& c);
    std::string generated_name();

    void create_table(const create_table_stmt& s);
    void drop_table(const drop_table_stmt& s);
    void alter_table(const alter_table_stmt& s);
    void create_index(const create_index_stmt& s);
    void drop_index(const drop_index_stmt& s);
    void add_key(const table_def& t, const key_clause& key, bool from_create);
    void make_index(const table_def& t, const std::string& index_schema, const std::string& index_name,
                    const std::vector<std::pair<std::string, bool>>& columns, char uniquerule);

    void prepare_insert(prepared_statement& p);
    exec_result execute_insert(prepared_statement& p, std::size_t rows, const param_source& params, array_mode mode);
    void insert_row(prepared_statement& p, std::vector<value>& params, std::vector<std::int64_t>& identity_next);
    std::unique_ptr<cursor> execute_select(select_stmt& s, const std::vector<value>& params);
    std::int64_t execute_delete(delete_stmt& s, const std::vector<value>& params);
    bool catalog_view(const qualified_name& q, table_def& def, std::vector<std::vector<value>>& rows);

    sqlite3* db_ = nullptr;
    std::string alias_;
    std::string user_;
    std::string current_schema_;
};

}  // namespace db2sim
