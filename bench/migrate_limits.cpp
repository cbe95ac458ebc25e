// The two limits a migration cannot beat, for bench/migrate (which prints them beside qvxagent and
// pgloader), and the generated database they are measured on.
//
//   bench_migrate_limits generate DATABASE ROWS    builds the three tables below (fixed seeds, so
//                                                  the same ROWS give the same rows); kept when
//                                                  their row counts already match
//   bench_migrate_limits source DATABASE           reads every row of every table with a bare
//                                                  mysql_use_result loop touching each value
//   bench_migrate_limits destination DATABASE ALIAS
//                                                  reads the rows into memory (not timed), then
//                                                  inserts them through the CLI into the existing,
//                                                  empty stand-in database ALIAS (QVX_DB2_CLI)
//
// source and destination print one line "ROWS SECONDS" on standard output. The destination tables
// have the shape qvxagent gives them (types, primary keys, the index), and the rows go in as the
// agent sends them: parameter arrays of 100 rows bound column-wise, text and decimals as UTF-16,
// timestamps as structures, large objects as data at execution. What the limit leaves out is the
// agent's own work per value: typed values, conversions and the checks of each cell.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_mysql.h"
#include "db2/db2_cli_lib.h"
#include "tk/tk_utils.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The generated database: an orders-like table, a narrow table of integers and a table with a
// TEXT and a small BLOB column, half, three tenths and a fifth of the rows.

struct table_share {
    const char* name;
    long long (*rows)(long long total);
};

const table_share k_tables[] = {
    {"orders", [](long long total) { return total / 2; }},
    {"numbers", [](long long total) { return total * 3 / 10; }},
    {"notes", [](long long total) { return total - total / 2 - total * 3 / 10; }},
};

// Each RAND(seed) is its own repeatable sequence; rows are inserted in key order.
std::vector<std::string> generator_statements(const std::string& table, long long rows) {
    const std::string source = " FROM seq_1_to_" + std::to_string(rows);
    if (table == "orders")
        return {"CREATE TABLE orders (id INT NOT NULL PRIMARY KEY, customer VARCHAR(60) NOT NULL,"
                " amount DECIMAL(12,2), created DATETIME, status TINYINT NOT NULL,"
                " KEY orders_created (created)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4",
                "INSERT INTO orders SELECT seq,"
                " CONCAT(ELT(1 + FLOOR(RAND(101) * 6), 'Zo\xC3\xAB \xC3\x85" "berg', 'J\xC3\xBCrgen Wei\xC3\x9F',"
                " '\xC5\x81ukasz \xC5\xBB" "ak', 'Siobh\xC3\xA1n \xC3\x93 S\xC3\xA9', 'Ana Mu\xC3\xB1oz',"
                " '\xE7\x8E\x8B\xE8\x8A\xB3'), ' #', seq, IF(seq % 20 = 0, ' \xF0\x9F\x9A\x80', '')),"
                " IF(seq % 25 = 0, NULL, ROUND(RAND(102) * 99999, 2)),"
                " '2020-01-01 00:00:00' + INTERVAL FLOOR(RAND(103) * 157680000) SECOND,"
                " FLOOR(RAND(104) * 5)" + source};
    if (table == "numbers")
        return {"CREATE TABLE numbers (id INT NOT NULL PRIMARY KEY, a INT NOT NULL, b INT,"
                " c BIGINT NOT NULL) ENGINE=InnoDB",
                "INSERT INTO numbers SELECT seq, FLOOR(RAND(201) * 2000000000) - 1000000000,"
                " IF(RAND(202) < 0.1, NULL, FLOOR(RAND(203) * 1000)),"
                " FLOOR(RAND(204) * 9000000000000000) - 4500000000000000" + source};
    return {"CREATE TABLE notes (id INT NOT NULL PRIMARY KEY, body TEXT, thumb BLOB)"
            " ENGINE=InnoDB DEFAULT CHARSET=utf8mb4",
            "INSERT INTO notes SELECT seq,"
            " IF(seq % 10 = 0, NULL, REPEAT(CONCAT('Notiz ', seq, ' \xE2\x80\x94 caf\xC3\xA9 '),"
            " 1 + FLOOR(RAND(301) * 8))),"
            " IF(seq % 7 = 0, NULL, UNHEX(SHA2(RAND(302), 256)))" + source};
}

void generate(raw_connection& connection, const std::string& database, long long total) {
    connection.run("CREATE DATABASE IF NOT EXISTS `" + database + "` CHARACTER SET utf8mb4");
    connection.run("USE `" + database + "`");
    for (const table_share& table : k_tables) {
        const long long rows = table.rows(total);
        if (connection.count_rows(table.name) == rows) continue;
        std::fprintf(stderr, "generating %s (%lld rows)\n", table.name, rows);
        connection.run(std::string("DROP TABLE IF EXISTS ") + table.name);
        for (const std::string& statement : generator_statements(table.name, rows))
            connection.run(statement);
    }
}

// ---------------------------------------------------------------------------------------------
// The source limit

void measure_source(raw_connection& connection, const std::string& database) {
    connection.run("USE `" + database + "`");
    long long rows = 0;
    unsigned long long checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const table_share& table : k_tables) {
        long long table_rows = 0;
        checksum += connection.read_all(std::string("SELECT * FROM ") + table.name, table_rows);
        rows += table_rows;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "source: checksum %llu\n", checksum);
    std::printf("%lld %.6f\n", rows, elapsed.count());
}

// ---------------------------------------------------------------------------------------------
// The destination limit

enum class cell { int16, int32, int64, text, timestamp, clob, blob };

struct column_spec {
    const char* name;
    const char* db2_type;  // as qvxagent creates it
    cell kind;
    SQLULEN units = 0;     // text: the column's length in UTF-16 units
    SQLSMALLINT digits = 0;
};

struct table_spec {
    const char* name;
    std::vector<column_spec> columns;
    std::vector<const char*> after_create;  // keys and indexes, sent before the rows like the agent
};

std::vector<table_spec> destination_tables() {
    return {
        {"orders",
         {{"id", "INTEGER NOT NULL", cell::int32},
          {"customer", "VARGRAPHIC(120) NOT NULL", cell::text, 120},
          {"amount", "DECIMAL(12,2)", cell::text, 16, 2},
          {"created", "TIMESTAMP", cell::timestamp},
          {"status", "SMALLINT NOT NULL", cell::int16}},
         {"ALTER TABLE \"orders\" ADD PRIMARY KEY (\"id\")",
          "CREATE INDEX \"orders_created\" ON \"orders\" (\"created\")"}},
        {"numbers",
         {{"id", "INTEGER NOT NULL", cell::int32},
          {"a", "INTEGER NOT NULL", cell::int32},
          {"b", "INTEGER", cell::int32},
          {"c", "BIGINT NOT NULL", cell::int64}},
         {"ALTER TABLE \"numbers\" ADD PRIMARY KEY (\"id\")"}},
        {"notes",
         {{"id", "INTEGER NOT NULL", cell::int32},
          {"body", "CLOB(1048560)", cell::clob, 1048560},
          {"thumb", "BLOB(65535)", cell::blob, 65535}},
         {"ALTER TABLE \"notes\" ADD PRIMARY KEY (\"id\")"}},
    };
}

constexpr SQLULEN k_array_rows = 100;

[[noreturn]] void cli_fail(const cli_library& cli, SQLSMALLINT type, SQLHANDLE handle,
                           const std::string& what) {
    SQLWCHAR state[6] = {};
    SQLWCHAR message[1025] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    cli.SQLGetDiagRecW(type, handle, 1, state, &native, message, 1025, &length);
    throw std::runtime_error(what + ": " + tk_to_utf8(std::u16string_view(message, size_t(length))));
}

void check(SQLRETURN rc, const cli_library& cli, SQLSMALLINT type, SQLHANDLE handle,
           const std::string& what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) cli_fail(cli, type, handle, what);
}

SQLPOINTER int_attr(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(value); }

// One column of one table: every row's value as the CLI takes it (prepared before the clock
// starts), and the bound buffers of one parameter array.
class column_buffer {
public:
    explicit column_buffer(const column_spec& spec) : spec_(spec) {
        switch (spec.kind) {
            case cell::int16: cell_size_ = 2; break;
            case cell::int32: cell_size_ = 4; break;
            case cell::int64: cell_size_ = 8; break;
            case cell::text: cell_size_ = 2 * spec.units + 2; break;
            case cell::timestamp: cell_size_ = sizeof(SQL_TIMESTAMP_STRUCT); break;
            case cell::clob:
            case cell::blob: cell_size_ = 4; break;  // only the token of a data-at-execution value
        }
        cells_.assign(k_array_rows * cell_size_, 0);
        indicators_.assign(k_array_rows, SQL_NULL_DATA);
    }

    void add(const char* value, unsigned long length) {
        null_.push_back(value == nullptr);
        if (value == nullptr) value = "";
        const std::string_view text(value, length);
        switch (spec_.kind) {
            case cell::int16:
            case cell::int32:
            case cell::int64: numbers_.push_back(std::atoll(value)); break;
            case cell::text:
            case cell::clob: texts_.push_back(tk_from_utf8(text)); break;
            case cell::blob: bytes_.emplace_back(text); break;
            case cell::timestamp: {
                SQL_TIMESTAMP_STRUCT ts{};
                unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
                std::sscanf(value, "%u-%u-%u %u:%u:%u", &year, &month, &day, &hour, &minute, &second);
                ts.year = SQLSMALLINT(year);
                ts.month = SQLUSMALLINT(month);
                ts.day = SQLUSMALLINT(day);
                ts.hour = SQLUSMALLINT(hour);
                ts.minute = SQLUSMALLINT(minute);
                ts.second = SQLUSMALLINT(second);
                stamps_.push_back(ts);
                break;
            }
        }
    }

    void bind(const cli_library& cli, SQLHANDLE stmt, SQLUSMALLINT number) {
        SQLSMALLINT c_type = SQL_C_WCHAR;
        SQLSMALLINT sql_type = SQL_WVARCHAR;
        SQLULEN size = spec_.units;
        switch (spec_.kind) {
            case cell::int16: c_type = SQL_C_SHORT; sql_type = SQL_SMALLINT; size = 5; break;
            case cell::int32: c_type = SQL_C_LONG; sql_type = SQL_INTEGER; size = 10; break;
            case cell::int64: c_type = SQL_C_SBIGINT; sql_type = SQL_BIGINT; size = 19; break;
            case cell::text: sql_type = spec_.digits != 0 ? SQL_DECIMAL : SQL_WVARCHAR; break;
            case cell::timestamp: c_type = SQL_C_TYPE_TIMESTAMP; sql_type = SQL_TYPE_TIMESTAMP; size = 26; break;
            case cell::clob: sql_type = SQL_CLOB; break;
            case cell::blob: c_type = SQL_C_BINARY; sql_type = SQL_BLOB; break;
        }
        const SQLSMALLINT digits = spec_.kind == cell::timestamp ? 6 : spec_.digits;
        check(cli.SQLBindParameter(stmt, number, SQL_PARAM_INPUT, c_type, sql_type, size, digits,
                                   cells_.data(), SQLLEN(cell_size_), indicators_.data()),
              cli, SQL_HANDLE_STMT, stmt, std::string("bind ") + spec_.name);
    }

    // Copies rows first .. first + count - 1 into the bound array.
    void fill(size_t first, size_t count) {
        pending_ = 0;
        for (size_t row = 0; row < count; ++row) {
            const size_t value_idx = first + row;
            unsigned char* target = &cells_[row * cell_size_];
            SQLLEN& indicator = indicators_[row];
            if (null_[value_idx]) {
                indicator = SQL_NULL_DATA;
                continue;
            }
            switch (spec_.kind) {
                case cell::int16: {
                    const int16_t value = int16_t(numbers_[value_idx]);
                    std::memcpy(target, &value, 2);
                    indicator = 2;
                    break;
                }
                case cell::int32: {
                    const int32_t value = int32_t(numbers_[value_idx]);
                    std::memcpy(target, &value, 4);
                    indicator = 4;
                    break;
                }
                case cell::int64:
                    std::memcpy(target, &numbers_[value_idx], 8);
                    indicator = 8;
                    break;
                case cell::text: {
                    const std::u16string& text = texts_[value_idx];
                    std::memcpy(target, text.c_str(), (text.size() + 1) * sizeof(char16_t));
                    indicator = SQLLEN(text.size() * sizeof(char16_t));
                    break;
                }
                case cell::timestamp:
                    std::memcpy(target, &stamps_[value_idx], sizeof(SQL_TIMESTAMP_STRUCT));
                    indicator = sizeof(SQL_TIMESTAMP_STRUCT);
                    break;
                case cell::clob:
                    indicator = SQL_DATA_AT_EXEC;
                    break;
                case cell::blob:
                    indicator = SQL_LEN_DATA_AT_EXEC(SQLLEN(bytes_[value_idx].size()));
                    break;
            }
        }
        first_ = first;
        count_ = count;
    }

    bool owns(SQLPOINTER token) const {
        const unsigned char* address = static_cast<const unsigned char*>(token);
        return address >= cells_.data() && address < cells_.data() + cells_.size();
    }

    // Sends the next value this column owes the CLI during a data-at-execution exchange.
    SQLRETURN put_next(const cli_library& cli, SQLHANDLE stmt) {
        while (pending_ < count_ && null_[first_ + pending_]) ++pending_;
        if (pending_ >= count_) throw std::runtime_error(std::string("no value pending for ") + spec_.name);
        const size_t value_idx = first_ + pending_++;
        if (spec_.kind == cell::blob) {
            std::string& bytes = bytes_[value_idx];
            return cli.SQLPutData(stmt, bytes.data(), SQLLEN(bytes.size()));
        }
        std::u16string& text = texts_[value_idx];
        return cli.SQLPutData(stmt, text.data(), SQLLEN(text.size() * sizeof(char16_t)));
    }

    const column_spec& spec() const { return spec_; }
    size_t rows() const { return null_.size(); }

private:
    column_spec spec_;
    size_t cell_size_ = 0;
    std::vector<unsigned char> cells_;
    std::vector<SQLLEN> indicators_;
    std::vector<bool> null_;
    std::vector<long long> numbers_;
    std::vector<std::u16string> texts_;
    std::vector<std::string> bytes_;
    std::vector<SQL_TIMESTAMP_STRUCT> stamps_;
    size_t first_ = 0, count_ = 0, pending_ = 0;
};

std::u16string wide(const std::string& text) { return tk_from_utf8(text); }

void exec_direct(const cli_library& cli, SQLHANDLE dbc, const std::string& statement) {
    cli_statement stmt;
    check(stmt.allocate(cli, dbc), cli, SQL_HANDLE_DBC, dbc, "statement");
    std::u16string text = wide(statement);
    check(cli.SQLExecDirectW(stmt.get(), text.data(), SQL_NTS), cli, SQL_HANDLE_STMT, stmt.get(), statement);
}

// Sends one parameter array, answering the data-at-execution requests of its large objects.
void execute_array(const cli_library& cli, SQLHANDLE stmt, std::vector<column_buffer>& columns) {
    SQLRETURN rc = cli.SQLExecute(stmt);
    while (rc == SQL_NEED_DATA) {
        SQLPOINTER token = nullptr;
        rc = cli.SQLParamData(stmt, &token);
        if (rc != SQL_NEED_DATA) break;
        auto due = std::find_if(columns.begin(), columns.end(), [&](const column_buffer& column) { return column.owns(token); });
        if (due == columns.end()) throw std::runtime_error("data requested for an unknown parameter");
        check(due->put_next(cli, stmt), cli, SQL_HANDLE_STMT, stmt, "put data");
        rc = SQL_NEED_DATA;
    }
    check(rc, cli, SQL_HANDLE_STMT, stmt, "execute");
}

void measure_destination(raw_connection& connection, const std::string& database, const std::string& alias) {
    connection.run("USE `" + database + "`");
    std::vector<table_spec> tables = destination_tables();
    std::vector<std::vector<column_buffer>> data;
    for (const table_spec& table : tables) {
        std::vector<column_buffer> columns(table.columns.begin(), table.columns.end());
        connection.stream(std::string("SELECT * FROM ") + table.name,
                          [&](MYSQL_ROW row, const unsigned long* lengths, unsigned n_fields) {
                              if (n_fields != columns.size()) throw std::runtime_error("unexpected columns");
                              for (unsigned column_idx = 0; column_idx < n_fields; ++column_idx)
                                  columns[column_idx].add(row[column_idx], lengths[column_idx]);
                          });
        data.push_back(std::move(columns));
    }

    const cli_library cli(cli_library::default_path());
    cli_environment env;
    check(env.allocate(cli, SQL_NULL_HANDLE), cli, SQL_HANDLE_ENV, nullptr, "environment");
    cli.SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, int_attr(3), 0);
    cli_connection dbc;
    check(dbc.allocate(cli, env.get()), cli, SQL_HANDLE_ENV, env.get(), "connection");
    std::u16string alias16 = wide(alias), user = u"bench", password;
    check(cli.SQLConnectW(dbc.get(), alias16.data(), SQL_NTS, user.data(), SQL_NTS, password.data(), SQL_NTS), cli,
          SQL_HANDLE_DBC, dbc.get(), "connect " + alias);

    long long rows = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t table_idx = 0; table_idx < tables.size(); ++table_idx) {
        const table_spec& table = tables[table_idx];
        std::vector<column_buffer>& columns = data[table_idx];
        std::string create = std::string("CREATE TABLE \"") + table.name + "\" (";
        std::string insert = std::string("INSERT INTO \"") + table.name + "\" (";
        std::string markers;
        for (size_t column_idx = 0; column_idx < table.columns.size(); ++column_idx) {
            const column_spec& column = table.columns[column_idx];
            const char* separator = column_idx == 0 ? "\"" : ", \"";
            create.append(separator).append(column.name).append("\" ").append(column.db2_type);
            insert.append(separator).append(column.name).append("\"");
            markers.append(column_idx == 0 ? "?" : ", ?");
        }
        exec_direct(cli, dbc.get(), create + ")");
        for (const char* statement : table.after_create) exec_direct(cli, dbc.get(), statement);

        cli_statement stmt;
        check(stmt.allocate(cli, dbc.get()), cli, SQL_HANDLE_DBC, dbc.get(), "statement");
        std::u16string text = wide(insert + ") VALUES (" + markers + ")");
        check(cli.SQLPrepareW(stmt.get(), text.data(), SQL_NTS), cli, SQL_HANDLE_STMT, stmt.get(), "prepare");
        check(cli.SQLSetStmtAttrW(stmt.get(), SQL_ATTR_PARAM_BIND_TYPE, int_attr(SQL_BIND_BY_COLUMN), 0), cli,
              SQL_HANDLE_STMT, stmt.get(), "bind type");
        for (size_t column_idx = 0; column_idx < columns.size(); ++column_idx)
            columns[column_idx].bind(cli, stmt.get(), SQLUSMALLINT(column_idx + 1));
        const size_t table_rows = columns.front().rows();
        SQLULEN paramset = 0;
        for (size_t first = 0; first < table_rows; first += k_array_rows) {
            const size_t count = std::min<size_t>(k_array_rows, table_rows - first);
            if (count != paramset) {
                paramset = count;
                check(cli.SQLSetStmtAttrW(stmt.get(), SQL_ATTR_PARAMSET_SIZE, int_attr(paramset), 0), cli,
                      SQL_HANDLE_STMT, stmt.get(), "array size");
            }
            for (column_buffer& column : columns) column.fill(first, count);
            execute_array(cli, stmt.get(), columns);
        }
        rows += static_cast<long long>(table_rows);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%lld %.6f\n", rows, elapsed.count());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (argc < 3 || (command == "generate" && argc != 4) || (command == "source" && argc != 3) ||
            (command == "destination" && argc != 4))
            throw std::runtime_error(
                "usage: bench_migrate_limits generate DATABASE ROWS | source DATABASE |"
                " destination DATABASE ALIAS");
        raw_connection connection(server_from_env());
        if (command == "generate") {
            const long long rows = std::atoll(argv[3]);
            if (rows < 10) throw std::runtime_error("ROWS must be 10 or more");
            generate(connection, argv[2], rows);
        } else if (command == "source") {
            measure_source(connection, argv[2]);
        } else if (command == "destination") {
            measure_destination(connection, argv[2], argv[3]);
        } else {
            throw std::runtime_error("unknown command " + command);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_migrate_limits: %s\n", e.what());
        return 1;
    }
}
