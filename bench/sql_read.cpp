// Reading benchmark of the MySQL side: a generated table of mixed column types is read once
// through sql_recordset (typed values, pages of 256 records) and once with a bare
// mysql_use_result loop of the C API that only touches each value, and the rows per second of
// both and their ratio are printed. The table is kept between runs and rebuilt when its row
// count differs.
//
//   eval "$(scripts/mariadb start)"
//   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build --target bench_sql_read
//   build/bin/bench_sql_read [rows, default 200000] [rounds, default 2]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench_mysql.h"

#include "sql/sql_db.h"
#include "sql/sql_engi.h"
#include "tk/tk_utils.h"

namespace {

const char* const database_name = "qvx_bench_sql";
const char* const table_name = "mixed";

void prepare_table(raw_connection& connection, long long rows) {
    connection.run(std::string("CREATE DATABASE IF NOT EXISTS ") + database_name +
                   " CHARACTER SET utf8mb4");
    connection.run(std::string("USE ") + database_name);
    if (connection.count_rows(table_name) == rows) return;
    std::printf("generating %lld rows...\n", rows);
    connection.run("DROP TABLE IF EXISTS mixed");
    connection.run(
        "CREATE TABLE mixed (id INT NOT NULL PRIMARY KEY, qty INT, total BIGINT,"
        " price DECIMAL(12,2), ratio DOUBLE, name VARCHAR(40), note TEXT NULL,"
        " created DATETIME, flag TINYINT, code CHAR(8)) ENGINE=InnoDB");
    connection.run(
        "INSERT INTO mixed SELECT seq, seq % 1000, seq * 7919, (seq % 100000) / 100, seq / 7.0,"
        " CONCAT('name ', seq), IF(seq % 3 = 0, NULL, CONCAT('note for row ', seq, ' \xC3\xA9t\xC3\xA9')),"
        " '2024-01-01 00:00:00' + INTERVAL seq SECOND, seq % 2, LPAD(seq % 100000, 8, '0')"
        " FROM seq_1_to_" + std::to_string(rows));
}

// Reads every record through the table reader and touches each value's type.
unsigned long long read_through_recordset(udb_database& db, long long& rows) {
    auto table = db.get_table(tk_u16(table_name), 1);
    unsigned long long checksum = 0;
    rows = 0;
    for (table->reset(); !table->is_eof(); table->next()) {
        const udb_record& record = *table->get_item();
        for (size_t column_idx = 0; column_idx < record.size(); ++column_idx)
            checksum += record[column_idx].vartype() + record[column_idx].size;
        ++rows;
    }
    return checksum;
}

template <class Read>
double rows_per_second(Read read, long long expected_rows) {
    long long rows = 0;
    const auto start = std::chrono::steady_clock::now();
    const unsigned long long checksum = read(rows);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (rows != expected_rows)
        throw std::runtime_error("read " + std::to_string(rows) + " rows, expected " +
                                 std::to_string(expected_rows));
    std::printf("  %lld rows in %.3f s (checksum %llu)\n", rows, elapsed.count(), checksum);
    return static_cast<double>(rows) / elapsed.count();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const long long rows = argc > 1 ? std::atoll(argv[1]) : 200000;
        const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
        if (rows <= 0 || rounds <= 0) throw std::runtime_error("usage: bench_sql_read [rows] [rounds]");
        const server_settings server = server_from_env();
        raw_connection connection(server);
        prepare_table(connection, rows);

        sql_engine engine;
        engine.connect(server.host, server.user, server.password, static_cast<int32_t>(server.port));
        auto db = engine.open_db(tk_u16(database_name), 1);

        double best_raw = 0;
        double best_recordset = 0;
        for (int round = 1; round <= rounds; ++round) {
            std::printf("round %d: C API (mysql_use_result)\n", round);
            best_raw = std::max(best_raw, rows_per_second(
                [&](long long& read) { return connection.read_all("SELECT * FROM mixed", read); }, rows));
            std::printf("round %d: sql_recordset\n", round);
            best_recordset = std::max(best_recordset, rows_per_second(
                [&](long long& read) { return read_through_recordset(*db, read); }, rows));
        }
        std::printf("C API:         %12.0f rows/s\n", best_raw);
        std::printf("sql_recordset: %12.0f rows/s\n", best_recordset);
        std::printf("ratio:         %12.2f (C API / sql_recordset)\n", best_raw / best_recordset);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_sql_read: %s\n", e.what());
        return 1;
    }
}
