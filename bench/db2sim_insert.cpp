// Insert throughput of the DB2 stand-in against bare SQLite.
//
//   bench_db2sim_insert [ROWS]      (default 1,000,000)
//
// Inserts ROWS mixed rows (INTEGER, BIGINT, DECIMAL(12,2), VARGRAPHIC(40), TIMESTAMP,
// VARCHAR(16) FOR BIT DATA) through the CLI in parameter arrays of 100 and of 1,000 rows, bound the
// way the migration engine binds them (column-wise, decimals and text as UTF-16, timestamps as
// structures), then the same rows straight into SQLite with one prepared statement and one
// transaction per array. Prints rows per second and the ratio of the times (stand-in / SQLite).
// Everything happens in a temporary folder that is removed at the end.
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "db2/db2_cli_lib.h"
#include "sim_db.h"

namespace {

struct source_row {
    std::int32_t id;
    std::int64_t qty;
    std::string amount, name, stamp, bytes;
    std::u16string amount16, name16;
    SQL_TIMESTAMP_STRUCT ts;
};

std::vector<source_row> make_rows(std::size_t count) {
    std::vector<source_row> rows(count);
    for (std::size_t idx = 0; idx < count; ++idx) {
        source_row& r = rows[idx];
        r.id = static_cast<std::int32_t>(idx + 1);
        r.qty = static_cast<std::int64_t>(idx) * 7919 - 5000000;
        r.amount = std::to_string(idx % 100000) + "." + std::to_string(10 + idx % 90);
        r.name = "Kund\xC3\xB8r " + std::to_string(idx * 31 % 1000003);
        int second = static_cast<int>(idx % 60), minute = static_cast<int>(idx / 60 % 60);
        r.ts = {2021, static_cast<SQLUSMALLINT>(1 + idx % 12), static_cast<SQLUSMALLINT>(1 + idx % 28), 12,
                static_cast<SQLUSMALLINT>(minute), static_cast<SQLUSMALLINT>(second), 123456000};
        db2sim::make_timestamp(r.ts.year, r.ts.month, r.ts.day, r.ts.hour, r.ts.minute, r.ts.second, r.ts.fraction, 6, r.stamp);
        r.bytes.assign(reinterpret_cast<const char*>(&r.qty), 8);
        db2sim::utf8_to_utf16(r.amount, r.amount16);
        db2sim::utf8_to_utf16(r.name, r.name16);
    }
    return rows;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void check(SQLRETURN rc, const cli_library& cli, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    if (rc == SQL_SUCCESS) return;
    SQLWCHAR state[6], message[1025];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    cli.SQLGetDiagRecW(type, handle, 1, state, &native, message, 1025, &length);
    std::string text;
    db2sim::utf16_to_utf8(message, text);
    std::fprintf(stderr, "%s failed (%d): %s\n", what, rc, text.c_str());
    std::exit(1);
}

double run_cli(const cli_library& cli, const std::vector<source_row>& rows, std::size_t array, const std::string& table) {
    cli_environment env;
    env.allocate(cli, SQL_NULL_HANDLE);
    cli.SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(3), 0);
    cli_connection dbc;
    dbc.allocate(cli, env.get());
    std::u16string alias = u"BENCH", user = u"bench", password;
    check(cli.SQLConnectW(dbc.get(), alias.data(), SQL_NTS, user.data(), SQL_NTS, password.data(), SQL_NTS), cli,
          SQL_HANDLE_DBC, dbc.get(), "connect");
    cli_statement stmt;
    stmt.allocate(cli, dbc.get());
    std::string create_sql = "CREATE TABLE \"" + table +
                             "\" (\"ID\" INTEGER NOT NULL, \"QTY\" BIGINT, \"AMOUNT\" DECIMAL(12,2), "
                             "\"NAME\" VARGRAPHIC(40), \"TS\" TIMESTAMP, \"BIN\" VARCHAR(16) FOR BIT DATA)";
    std::u16string create, insert;
    db2sim::utf8_to_utf16(create_sql, create);
    db2sim::utf8_to_utf16("INSERT INTO \"" + table + "\"(\"ID\", \"QTY\", \"AMOUNT\", \"NAME\", \"TS\", \"BIN\") VALUES (?, ?, ?, ?, ?, ?)", insert);
    check(cli.SQLExecDirectW(stmt.get(), create.data(), SQL_NTS), cli, SQL_HANDLE_STMT, stmt.get(), "create");
    cli.SQLFreeStmt(stmt.get(), SQL_CLOSE);

    constexpr std::size_t amount_cell = 2 * 12 + 6, name_cell = 2 * 80 + 2;
    std::vector<SQLINTEGER> ids(array);
    std::vector<SQLBIGINT> qtys(array);
    std::vector<char> amounts(array * amount_cell), names(array * name_cell), bins(array * 16);
    std::vector<SQL_TIMESTAMP_STRUCT> stamps(array);
    std::vector<SQLLEN> id_ind(array, 4), qty_ind(array, 8), amount_ind(array, SQL_NTS), name_ind(array, SQL_NTS),
        ts_ind(array, 16), bin_ind(array, 8);
    check(cli.SQLPrepareW(stmt.get(), insert.data(), SQL_NTS), cli, SQL_HANDLE_STMT, stmt.get(), "prepare");
    cli.SQLSetStmtAttrW(stmt.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(array), 0);
    cli.SQLSetStmtAttrW(stmt.get(), SQL_ATTR_PARAM_BIND_TYPE, nullptr, 0);
    cli.SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, ids.data(), 4, id_ind.data());
    cli.SQLBindParameter(stmt.get(), 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 19, 0, qtys.data(), 8, qty_ind.data());
    cli.SQLBindParameter(stmt.get(), 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WCHAR, 12, 2, amounts.data(), amount_cell, amount_ind.data());
    cli.SQLBindParameter(stmt.get(), 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WCHAR, 80, 0, names.data(), name_cell, name_ind.data());
    cli.SQLBindParameter(stmt.get(), 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, stamps.data(), 16, ts_ind.data());
    cli.SQLBindParameter(stmt.get(), 6, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 16, 0, bins.data(), 16, bin_ind.data());

    auto start = std::chrono::steady_clock::now();
    for (std::size_t first = 0; first < rows.size(); first += array) {
        std::size_t count = std::min(array, rows.size() - first);
        for (std::size_t k = 0; k < count; ++k) {
            const source_row& r = rows[first + k];
            ids[k] = r.id;
            qtys[k] = r.qty;
            std::memcpy(&amounts[k * amount_cell], r.amount16.c_str(), (r.amount16.size() + 1) * 2);
            std::memcpy(&names[k * name_cell], r.name16.c_str(), (r.name16.size() + 1) * 2);
            stamps[k] = r.ts;
            std::memcpy(&bins[k * 16], r.bytes.data(), 8);
        }
        if (count != array) cli.SQLSetStmtAttrW(stmt.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(count), 0);
        check(cli.SQLExecute(stmt.get()), cli, SQL_HANDLE_STMT, stmt.get(), "execute");
    }
    return seconds_since(start);
}

double run_sqlite(const std::string& file, const std::vector<source_row>& rows, std::size_t array) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     "CREATE TABLE t(id, qty, amount, name, ts, bin)", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
    auto start = std::chrono::steady_clock::now();
    for (std::size_t first = 0; first < rows.size(); first += array) {
        std::size_t count = std::min(array, rows.size() - first);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (std::size_t k = 0; k < count; ++k) {
            const source_row& r = rows[first + k];
            sqlite3_bind_int(insert, 1, r.id);
            sqlite3_bind_int64(insert, 2, r.qty);
            sqlite3_bind_text(insert, 3, r.amount.data(), static_cast<int>(r.amount.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 4, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 5, r.stamp.data(), static_cast<int>(r.stamp.size()), SQLITE_STATIC);
            sqlite3_bind_blob(insert, 6, r.bytes.data(), static_cast<int>(r.bytes.size()), SQLITE_STATIC);
            if (sqlite3_step(insert) != SQLITE_DONE) {
                std::fprintf(stderr, "sqlite insert failed: %s\n", sqlite3_errmsg(db));
                std::exit(1);
            }
            sqlite3_reset(insert);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    double elapsed = seconds_since(start);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    char pattern[] = "/tmp/db2sim_bench_XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    std::string home = pattern;
    setenv("DB2SIM_HOME", home.c_str(), 1);
    db2sim::database::create("BENCH", "", "");
    cli_library cli(DB2SIM_LIB);
    std::vector<source_row> rows = make_rows(count);
    std::printf("%zu rows of INTEGER, BIGINT, DECIMAL(12,2), VARGRAPHIC(40), TIMESTAMP, VARCHAR(16) FOR BIT DATA\n", count);
    std::printf("%-8s %16s %16s %8s\n", "array", "stand-in rows/s", "SQLite rows/s", "ratio");
    for (std::size_t array : {100, 1000}) {
        std::string suffix = std::to_string(array);
        std::string table = "T";
        table += suffix;
        std::string bare_file = home;
        bare_file += "/bare";
        bare_file += suffix;
        bare_file += ".db";
        double sim = run_cli(cli, rows, array, table);
        double bare = run_sqlite(bare_file, rows, array);
        std::printf("%-8zu %16.0f %16.0f %8.2f\n", array, static_cast<double>(count) / sim, static_cast<double>(count) / bare, sim / bare);
    }
    std::filesystem::remove_all(home);
    return 0;
}
