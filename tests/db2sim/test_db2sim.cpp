// The stand-in seen from a CLI application: every call goes through cli_library into
// libdb2sim.so. Each test gets a fresh DB2SIM_HOME with one database, TESTDB.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "db2/db2_cli_lib.h"
#include "sim_db.h"
#include "tk/tk_errco.h"

namespace {

std::u16string w(const std::string& s) {
    std::u16string out;
    db2sim::utf8_to_utf16(s, out);
    return out;
}
std::string n(const std::u16string& s) {
    std::string out;
    db2sim::utf16_to_utf8(s, out);
    return out;
}
SQLPOINTER attr(SQLULEN v) { return reinterpret_cast<SQLPOINTER>(v); }

struct diag {
    std::string state;
    int native = 0;
    std::string message;
};

class db2sim_test : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/db2sim_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        setenv("DB2SIM_HOME", home_.c_str(), 1);
        unsetenv("DB2SIM_FAIL");
        db2sim::database::create("TESTDB", "", "");
        cli_ = std::make_unique<cli_library>(QVX_TEST_DB2SIM_LIB);
        ASSERT_EQ(SQL_SUCCESS, env_.allocate(*cli_, SQL_NULL_HANDLE));
        ASSERT_EQ(SQL_SUCCESS, cli_->SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, attr(3), 0));
        ASSERT_EQ(SQL_SUCCESS, dbc_.allocate(*cli_, env_.get()));
        ASSERT_EQ(SQL_SUCCESS, connect("TESTDB", "tester", ""));
        ASSERT_EQ(SQL_SUCCESS, stmt_.allocate(*cli_, dbc_.get()));
    }
    void TearDown() override {
        stmt_.reset();
        dbc_.reset();
        env_.reset();
        cli_.reset();
        std::filesystem::remove_all(home_);
    }

    SQLRETURN connect(const std::string& alias, const std::string& user, const std::string& password) {
        std::u16string a = w(alias), u = w(user), p = w(password);
        return cli_->SQLConnectW(dbc_.get(), a.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS);
    }
    SQLRETURN exec(const std::string& sql) {
        cli_->SQLFreeStmt(stmt_.get(), SQL_CLOSE);
        std::u16string text = w(sql);
        return cli_->SQLExecDirectW(stmt_.get(), text.data(), SQL_NTS);
    }
    void ok(const std::string& sql) {
        ASSERT_EQ(SQL_SUCCESS, exec(sql)) << sql << ": " << last(SQL_HANDLE_STMT, stmt_.get()).message;
    }
    diag last(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record = 1) {
        SQLWCHAR state[6] = {}, message[1025] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        diag d;
        if (cli_->SQLGetDiagRecW(type, handle, record, state, &native, message, 1025, &length) == SQL_SUCCESS)
            d = {n(state), native, n(message)};
        return d;
    }
    diag stmt_diag() { return last(SQL_HANDLE_STMT, stmt_.get()); }
    // Runs a query and returns every cell as text ("<null>" for NULL).
    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        if (exec(sql) != SQL_SUCCESS) {
            ADD_FAILURE() << sql << ": " << stmt_diag().message;
            return out;
        }
        SQLSMALLINT columns = 0;
        cli_->SQLNumResultCols(stmt_.get(), &columns);
        while (cli_->SQLFetch(stmt_.get()) == SQL_SUCCESS) {
            std::vector<std::string> row;
            for (SQLUSMALLINT col = 1; col <= columns; ++col) {
                SQLWCHAR buffer[2048];
                SQLLEN ind = 0;
                cli_->SQLGetData(stmt_.get(), col, SQL_C_WCHAR, buffer, sizeof buffer, &ind);
                row.push_back(ind == SQL_NULL_DATA ? "<null>" : n(buffer));
            }
            out.push_back(row);
        }
        cli_->SQLFreeStmt(stmt_.get(), SQL_CLOSE);
        return out;
    }
    std::string scalar(const std::string& sql) {
        auto r = rows(sql);
        return r.empty() || r[0].empty() ? "<none>" : r[0][0];
    }

    std::string home_;
    std::unique_ptr<cli_library> cli_;
    cli_environment env_;
    cli_connection dbc_;
    cli_statement stmt_;
};

// ---------------------------------------------------------------------------------------------
// The binding

TEST(cli_binding, missing_library_or_function_throws_level_1_naming_it) {
    try {
        cli_library lib("/nonexistent/libdb2o.so");
        FAIL() << "loaded a missing library";
    } catch (const tk_exception& e) {
        EXPECT_EQ(1, e.level());
        EXPECT_NE(std::string::npos, std::string(e.what()).find("/nonexistent/libdb2o.so")) << e.what();
    }
    try {
        cli_library lib("libsqlite3.so.0");  // a real library without CLI functions
        FAIL() << "accepted a library without SQLAllocHandle";
    } catch (const tk_exception& e) {
        EXPECT_EQ(1, e.level());
        EXPECT_NE(std::string::npos, std::string(e.what()).find("SQLAllocHandle")) << e.what();
    }
}

TEST(cli_binding, unixodbc_driver_manager_loads_without_lob_locator_calls) {
    cli_library lib("libodbc.so.2");
    EXPECT_NE(nullptr, lib.SQLConnectW);
    EXPECT_NE(nullptr, lib.SQLBindParameter);
    EXPECT_EQ(nullptr, lib.SQLGetLength) << "unixODBC offers no LOB locators";
    EXPECT_EQ(nullptr, lib.SQLGetSubString);
    cli_library sim(QVX_TEST_DB2SIM_LIB);
    EXPECT_NE(nullptr, sim.SQLGetLength);
    EXPECT_NE(nullptr, sim.SQLGetSubString);
}

TEST(cli_binding, default_path_follows_the_environment) {
    setenv("QVX_DB2_CLI", "/x/libcli.so", 1);
    EXPECT_EQ("/x/libcli.so", cli_library::default_path());
    unsetenv("QVX_DB2_CLI");
    EXPECT_EQ("libdb2o.so", cli_library::default_path());
}

TEST_F(db2sim_test, handle_wrappers_move_and_free_once) {
    cli_statement moved = std::move(stmt_);
    EXPECT_FALSE(stmt_);
    ASSERT_TRUE(moved);
    SQLHANDLE raw = moved.get();
    moved.reset();
    // a freed handle is refused, not dereferenced
    std::u16string text = w("SELECT 1 FROM SYSIBM.SYSDUMMY1");
    EXPECT_EQ(SQL_INVALID_HANDLE, cli_->SQLExecDirectW(raw, text.data(), SQL_NTS));
    // a connection wrapper disconnects before it frees
    dbc_.reset();
    EXPECT_EQ(SQL_SUCCESS, cli_->SQLFreeHandle(SQL_HANDLE_ENV, env_.get())) << "connection still attached";
    env_ = cli_environment();
}

// ---------------------------------------------------------------------------------------------
// Connections and diagnostics

TEST_F(db2sim_test, connection_failures_report_db2_codes) {
    db2sim::database::create("LOCKED", "alice", "secret");
    db2sim::database::create("STOPPED", "", "");
    db2sim::database::set_stopped("STOPPED", true);
    struct connect_case { const char* name; const char* alias; const char* user; const char* password; int sqlcode; const char* state; };
    const connect_case cases[] = {
        {"unknown alias", "NOSUCH", "u", "p", -1013, "42705"},
        {"alias outside the home folder", "../etc", "u", "p", -1013, "42705"},
        {"wrong password", "LOCKED", "alice", "wrong", -30082, "08001"},
        {"wrong user", "LOCKED", "bob", "secret", -30082, "08001"},
        {"stopped database", "STOPPED", "u", "p", -1032, "57019"},
    };
    cli_connection other;
    ASSERT_EQ(SQL_SUCCESS, other.allocate(*cli_, env_.get()));
    for (const auto& c : cases) {
        std::u16string a = w(c.alias), u = w(c.user), p = w(c.password);
        EXPECT_EQ(SQL_ERROR, cli_->SQLConnectW(other.get(), a.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS)) << c.name;
        diag d = last(SQL_HANDLE_DBC, other.get());
        EXPECT_EQ(c.sqlcode, d.native) << c.name;
        EXPECT_NE(std::string::npos, d.message.find("SQLSTATE=" + std::string(c.state))) << c.name << ": " << d.message;
    }
    std::u16string a = w("LOCKED"), u = w("ALICE"), p = w("secret");
    EXPECT_EQ(SQL_SUCCESS, cli_->SQLConnectW(other.get(), a.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS));
}

TEST_F(db2sim_test, diagnostic_layout_is_db2s) {
    EXPECT_EQ(SQL_ERROR, exec("SELECT * FROM NOSUCH"));
    diag d = stmt_diag();
    EXPECT_EQ("[db2sim][CLI Driver] SQL0204N  \"TESTER.NOSUCH\" is an undefined name.  SQLSTATE=42704", d.message);
    EXPECT_EQ(-204, d.native);
    EXPECT_EQ("42S02", d.state);  // what DB2 CLI hands an ODBC 3 application
    SQLWCHAR state[6], message[1025];
    SQLINTEGER native;
    SQLSMALLINT length;
    EXPECT_EQ(SQL_NO_DATA, cli_->SQLGetDiagRecW(SQL_HANDLE_STMT, stmt_.get(), 2, state, &native, message, 1025, &length));
}

TEST_F(db2sim_test, fault_injection_fails_the_nth_call) {
    setenv("DB2SIM_FAIL", "SQLExecDirectW:2:-911", 1);
    cli_environment env;
    ASSERT_EQ(SQL_SUCCESS, env.allocate(*cli_, SQL_NULL_HANDLE));  // counting starts here
    ok("CREATE TABLE f (a INT)");
    EXPECT_EQ(SQL_ERROR, exec("INSERT INTO f VALUES (1)"));
    EXPECT_EQ(-911, stmt_diag().native);
    EXPECT_NE(std::string::npos, stmt_diag().message.find("SQL0911N")) << stmt_diag().message;
    ok("INSERT INTO f VALUES (2)");
    EXPECT_EQ("1", scalar("SELECT COUNT(*) FROM f"));
    unsetenv("DB2SIM_FAIL");
}

// ---------------------------------------------------------------------------------------------
// Statements

TEST_F(db2sim_test, invalid_statements_are_refused_with_db2_codes) {
    ok("CREATE TABLE base (id INTEGER NOT NULL PRIMARY KEY, s SMALLINT, v VARCHAR(3), g VARGRAPHIC(2), "
       "d DATE, t TIME, n INT NOT NULL WITH DEFAULT 0, k INT GENERATED ALWAYS AS IDENTITY)");
    ok("INSERT INTO base (id) VALUES (1)");
    struct bad_case { const char* sql; int sqlcode; const char* state; };
    const bad_case cases[] = {
        {"CREATE TABLE x (a VARCHAR(32673))", -604, "42611"},
        {"CREATE TABLE x (a CHAR(256))", -604, "42611"},
        {"CREATE TABLE x (a GRAPHIC(128))", -604, "42611"},
        {"CREATE TABLE x (a VARGRAPHIC(16337))", -604, "42611"},
        {"CREATE TABLE x (a DECIMAL(32,2))", -604, "42611"},
        {"CREATE TABLE x (a CLOB(1025M))", -355, "42993"},
        {"CREATE TABLE x (a INT GENERATED AS IDENTITY)", -104, "42601"},
        {"CREATE TABLE x (a VARCHAR(5) GENERATED ALWAYS AS IDENTITY)", -846, "42815"},
        {"CREATE TABLE x (a INT GENERATED ALWAYS AS IDENTITY, b INT GENERATED BY DEFAULT AS IDENTITY)", -372, "428C1"},
        {"CREATE TABLE x (a INT, PRIMARY KEY (a))", -542, "42831"},
        {"CREATE TABLE x (a INT DEFAULT 'abc')", -574, "42894"},
        {"CREATE TABLE base (a INT)", -601, "42710"},
        {"CREATE TABLE x (\"A123456789A123456789A123456789A123456789A123456789A123456789A123456789A123456789A123456789A123456789A123456789A123456789A123456789\" INT)", -107, "42622"},
        {"ALTER TABLE base ADD PRIMARY KEY (s)", -542, "42831"},
        {"ALTER TABLE base ALTER COLUMN k SET GENERATED AS IDENTITY (START WITH 5)", -104, "42601"},
        {"UPDATE base SET s = 1", -104, "42601"},
        {"INSERT INTO nosuch VALUES (1)", -204, "42704"},
        {"INSERT INTO base (id, v) VALUES (2, 'abcd')", -433, "22001"},
        {"INSERT INTO base (id, g) VALUES (2, 'abc')", -433, "22001"},
        {"INSERT INTO base (id, s) VALUES (2, 32768)", -413, "22003"},
        {"INSERT INTO base (id, v) VALUES (NULL, 'a')", -407, "23502"},
        {"INSERT INTO base (id, d) VALUES (2, '2021-02-30')", -181, "22008"},
        {"INSERT INTO base (id, d) VALUES (2, 'yesterday')", -180, "22007"},
        {"INSERT INTO base (id, t) VALUES (2, '24:00:01')", -181, "22008"},
        {"INSERT INTO base (id, k) VALUES (2, 7)", -798, "428C9"},
        {"INSERT INTO base (id) VALUES (1)", -803, "23505"},
        {"INSERT INTO base (id, s) VALUES (2)", -117, "42802"},
        {"SELECT nope FROM base", -206, "42703"},
        {"SELECT id, COUNT(*) FROM base", -122, "42803"},
        {"SELECT SUBSTR(v, 1) FROM base", -440, "42884"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SQL_ERROR, exec(c.sql)) << c.sql;
        diag d = stmt_diag();
        EXPECT_EQ(c.sqlcode, d.native) << c.sql << ": " << d.message;
        EXPECT_NE(std::string::npos, d.message.find("SQLSTATE=" + std::string(c.state))) << c.sql << ": " << d.message;
    }
    EXPECT_EQ("1", scalar("SELECT COUNT(*) FROM base")) << "a refused statement changed the table";
}

TEST_F(db2sim_test, values_are_stored_as_db2_stores_them) {
    ok("CREATE TABLE v (c CHAR(4), vc VARCHAR(10), dec DECIMAL(7,2), r REAL, ts TIMESTAMP, ts0 TIMESTAMP(0), "
       "d DATE, tm TIME, b CHAR(3) FOR BIT DATA, id INT NOT NULL GENERATED BY DEFAULT AS IDENTITY (START WITH 10))");
    ok("INSERT INTO v (c, vc, dec, r, ts, ts0, d, tm, b) VALUES ('ab', 'x  ', 12.349, 1.5, "
       "'2021-03-04 05:06:07.1234567', '2021-03-04-05.06.07.9', '03/04/2021', '05.06.07', X'01')");
    ok("INSERT INTO v (vc, id) VALUES ('0123456789   ', 3)");  // only blanks are cut
    auto r = rows("SELECT c, LENGTH(c), vc, dec, r, ts, ts0, d, tm, HEX(b), id FROM v ORDER BY id DESC");
    ASSERT_EQ(2u, r.size());
    EXPECT_EQ((std::vector<std::string>{"ab  ", "4", "x  ", "12.34", "1.5", "2021-03-04-05.06.07.123456",
                                        "2021-03-04-05.06.07", "2021-03-04", "05:06:07", "012020", "10"}), r[0]);
    EXPECT_EQ("0123456789", r[1][2]);
    EXPECT_EQ("3", r[1][10]);
    EXPECT_EQ("1", scalar("SELECT COUNT(*) FROM v WHERE d = '2021-03-04' AND vc = 'x' AND dec > 12"));
    EXPECT_EQ("2", scalar("SELECT COUNT(*) FROM v WHERE c IS NULL OR r = 1.5"));
    EXPECT_EQ("<none>", scalar("SELECT id FROM v WHERE id > 100"));
    EXPECT_EQ("3", scalar("SELECT id FROM v ORDER BY 1 FETCH FIRST 1 ROW ONLY"));
}

TEST_F(db2sim_test, keys_indexes_and_identity_switching) {
    ok("CREATE TABLE k (id INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY, a INT NOT NULL, b VARCHAR(5))");
    ok("ALTER TABLE k ADD CONSTRAINT pk_k PRIMARY KEY (a)");
    ok("CREATE UNIQUE INDEX ix_b ON k (b)");
    EXPECT_EQ(SQL_ERROR, exec("CREATE INDEX ix_b ON k (a)"));
    EXPECT_EQ(-601, stmt_diag().native);
    ok("INSERT INTO k (a, b) VALUES (1, NULL)");
    EXPECT_EQ(SQL_ERROR, exec("INSERT INTO k (a, b) VALUES (2, NULL)")) << "a unique index allows one NULL in DB2";
    EXPECT_EQ(-803, stmt_diag().native);
    // the engine's copy sequence: drop the identity, copy explicit values, restart after the largest
    ok("ALTER TABLE k ALTER COLUMN id DROP IDENTITY");
    ok("INSERT INTO k (id, a, b) VALUES (41, 3, 'x')");
    ok("ALTER TABLE k ALTER COLUMN id SET GENERATED BY DEFAULT AS IDENTITY (START WITH 42)");
    ok("INSERT INTO k (a, b) VALUES (4, 'y')");
    EXPECT_EQ("42", scalar("SELECT id FROM k WHERE a = 4"));
    EXPECT_EQ("43", scalar("SELECT MAX(id) + 1 FROM k"));
    auto ix = rows("SELECT INDNAME, COLNAMES, UNIQUERULE FROM SYSCAT.INDEXES ORDER BY UNIQUERULE");
    ASSERT_EQ(2u, ix.size());
    EXPECT_EQ("+A", ix[0][1]);
    EXPECT_EQ("P", ix[0][2]);
    EXPECT_EQ((std::vector<std::string>{"IX_B", "+B", "U"}), ix[1]);
    auto col = rows("SELECT IDENTITY, GENERATED, NULLS FROM SYSCAT.COLUMNS WHERE COLNAME = 'ID'");
    EXPECT_EQ((std::vector<std::string>{"Y", "D", "N"}), col.at(0));
}

TEST_F(db2sim_test, schemas_fold_and_qualify_names) {
    ok("CREATE TABLE lower_t (a INT)");
    ok("CREATE TABLE \"Mixed\" (a INT)");
    ok("SET SCHEMA = other");
    ok("CREATE TABLE lower_t (b INT)");
    EXPECT_EQ("0", scalar("SELECT COUNT(*) FROM TESTER.LOWER_T"));
    EXPECT_EQ("0", scalar("SELECT count(*) FROM \"TESTER\".\"Mixed\""));
    EXPECT_EQ(SQL_ERROR, exec("SELECT a FROM lower_t")) << "OTHER.LOWER_T has no column A";
    ok("SET CURRENT SCHEMA 'TESTER'");
    EXPECT_EQ("0", scalar("SELECT COUNT(a) FROM lower_t"));
}

// ---------------------------------------------------------------------------------------------
// Parameter arrays, as the engine sends them: column-wise, data at execution for large objects

class array_insert : public db2sim_test {
protected:
    static constexpr int rows_per_array = 100;
    void SetUp() override {
        db2sim_test::SetUp();
        ok("CREATE TABLE arr (id INTEGER NOT NULL PRIMARY KEY, name VARGRAPHIC(10), amount DECIMAL(9,2), "
           "ts TIMESTAMP, d DATE, note CLOB(1M), pic BLOB(1M))");
        std::u16string text = w("INSERT INTO \"ARR\"(\"ID\", \"NAME\", \"AMOUNT\", \"TS\", \"D\", \"NOTE\", \"PIC\") VALUES (?, ?, ?, ?, ?, ?, ?)");
        ASSERT_EQ(SQL_SUCCESS, cli_->SQLPrepareW(stmt_.get(), text.data(), SQL_NTS));
        ASSERT_EQ(SQL_SUCCESS, cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_PARAMSET_SIZE, attr(rows_per_array), 0));
        ASSERT_EQ(SQL_SUCCESS, cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_PARAM_BIND_TYPE, attr(0), 0));
        ASSERT_EQ(SQL_SUCCESS, cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_PARAM_STATUS_PTR, status_, 0));
        auto bind = [&](SQLUSMALLINT n, SQLSMALLINT c, SQLSMALLINT s, void* data, SQLLEN len, SQLLEN* ind) {
            ASSERT_EQ(SQL_SUCCESS, cli_->SQLBindParameter(stmt_.get(), n, SQL_PARAM_INPUT, c, s, 0, 0, data, len, ind));
        };
        bind(1, SQL_C_LONG, SQL_INTEGER, ids_, 4, id_ind_);
        bind(2, SQL_C_WCHAR, SQL_WCHAR, names_, sizeof names_[0], name_ind_);
        bind(3, SQL_C_WCHAR, SQL_WCHAR, amounts_, sizeof amounts_[0], amount_ind_);
        bind(4, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, stamps_, 16, ts_ind_);
        bind(5, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, dates_, 16, date_ind_);
        bind(6, SQL_C_WCHAR, SQL_CLOB, note_cells_, 4, note_ind_);
        bind(7, SQL_C_BINARY, SQL_BLOB, pic_cells_, 4, pic_ind_);
    }

    // Fills row `row` of the array with record number `id`; every seventh record has NULLs.
    void fill(int row, int id) {
        ids_[row] = id;
        id_ind_[row] = 4;
        std::u16string name = w("n\u00e9" + std::to_string(id));
        std::memcpy(names_[row], name.c_str(), (name.size() + 1) * 2);
        name_ind_[row] = id % 7 == 0 ? SQL_NULL_DATA : SQL_NTS;
        std::u16string amount = w(std::to_string(id) + ".25");
        std::memcpy(amounts_[row], amount.c_str(), (amount.size() + 1) * 2);
        amount_ind_[row] = SQL_NTS;
        stamps_[row] = {2021, 3, 4, 5, 6, 7, 123456000};
        ts_ind_[row] = 16;
        dates_[row] = {2021, 12, 31, 0, 0, 0, 0};
        date_ind_[row] = id % 7 == 0 ? SQL_NULL_DATA : 16;
        notes_[row] = w("note " + std::to_string(id));
        note_ind_[row] = SQL_DATA_AT_EXEC;
        pics_[row] = std::string("\x00\x01", 2) + std::to_string(id);
        pic_ind_[row] = id % 7 == 0 ? SQL_NULL_DATA : SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(pics_[row].size()));
    }

    // Executes `count` rows and answers the large objects in the order they are asked for.
    SQLRETURN send(int count) {
        cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_PARAMSET_SIZE, attr(static_cast<SQLULEN>(count)), 0);
        SQLRETURN rc = cli_->SQLExecute(stmt_.get());
        int asked = 0;
        while (rc == SQL_NEED_DATA) {
            SQLPOINTER token = nullptr;
            rc = cli_->SQLParamData(stmt_.get(), &token);
            if (rc != SQL_NEED_DATA) break;
            // row-major: note then picture of each row that sends them
            int row = 0, seen = 0;
            for (row = 0; row < count; ++row) {
                int per_row = pic_ind_[row] == SQL_NULL_DATA ? 1 : 2;
                if (asked < seen + per_row) break;
                seen += per_row;
            }
            if (asked - seen == 0) {
                EXPECT_EQ(static_cast<void*>(&note_cells_[row]), token);
                cli_->SQLPutData(stmt_.get(), notes_[row].data(), SQL_NTS);
            } else {
                EXPECT_EQ(static_cast<void*>(&pic_cells_[row]), token);
                cli_->SQLPutData(stmt_.get(), pics_[row].data(), static_cast<SQLLEN>(pics_[row].size()));
            }
            ++asked;
        }
        return rc;
    }

    SQLINTEGER ids_[rows_per_array];
    SQLWCHAR names_[rows_per_array][11];
    SQLWCHAR amounts_[rows_per_array][24];
    SQL_TIMESTAMP_STRUCT stamps_[rows_per_array];
    SQL_TIMESTAMP_STRUCT dates_[rows_per_array];
    SQLINTEGER note_cells_[rows_per_array];
    SQLINTEGER pic_cells_[rows_per_array];
    SQLLEN id_ind_[rows_per_array], name_ind_[rows_per_array], amount_ind_[rows_per_array], ts_ind_[rows_per_array],
        date_ind_[rows_per_array], note_ind_[rows_per_array], pic_ind_[rows_per_array];
    std::u16string notes_[rows_per_array];
    std::string pics_[rows_per_array];
    SQLUSMALLINT status_[rows_per_array];
};

TEST_F(array_insert, two_hundred_fifty_rows_in_arrays_of_100_100_and_50) {
    int id = 1;
    for (int count : {100, 100, 50}) {
        for (int row = 0; row < count; ++row) fill(row, id++);
        ASSERT_EQ(SQL_SUCCESS, send(count)) << stmt_diag().message;
        for (int row = 0; row < count; ++row) EXPECT_EQ(SQL_PARAM_SUCCESS, status_[row]);
    }
    EXPECT_EQ("250", scalar("SELECT COUNT(*) FROM arr"));
    EXPECT_EQ("35", scalar("SELECT COUNT(*) FROM arr WHERE name IS NULL AND pic IS NULL AND d IS NULL"));
    auto r = rows("SELECT name, amount, ts, d, note, HEX(pic) FROM arr WHERE id = 250");
    ASSERT_EQ(1u, r.size());
    EXPECT_EQ((std::vector<std::string>{"n\u00e9250", "250.25", "2021-03-04-05.06.07.123456", "2021-12-31",
                                        "note 250", "0001323530"}), r[0]);
}

TEST_F(array_insert, a_failing_row_undoes_its_whole_array) {
    for (int row = 0; row < 100; ++row) fill(row, row + 1);
    ids_[60] = 10;  // duplicate of row 9
    EXPECT_EQ(SQL_ERROR, send(100));
    EXPECT_EQ(-803, stmt_diag().native);
    EXPECT_EQ(SQL_PARAM_ERROR, status_[60]);
    EXPECT_EQ(SQL_PARAM_UNUSED, status_[0]);
    EXPECT_EQ(SQL_PARAM_UNUSED, status_[99]);
    EXPECT_EQ("0", scalar("SELECT COUNT(*) FROM arr"));
}

TEST_F(array_insert, not_atomic_arrays_keep_the_good_rows) {
    ASSERT_EQ(SQL_SUCCESS, cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_PARAMOPT_ATOMIC, attr(SQL_ATOMIC_NO), 0));
    for (int row = 0; row < 100; ++row) fill(row, row + 1);
    ids_[60] = 10;
    std::u16string too_long = w("abcdefghijk");
    std::memcpy(names_[70], too_long.c_str(), 22);  // 11 characters, no terminator inside the cell
    name_ind_[70] = 22;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, send(100));
    EXPECT_EQ(SQL_PARAM_ERROR, status_[60]);
    EXPECT_EQ(SQL_PARAM_ERROR, status_[70]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, status_[61]);
    EXPECT_EQ(-803, stmt_diag().native);
    EXPECT_EQ(-302, last(SQL_HANDLE_STMT, stmt_.get(), 2).native);
    EXPECT_EQ("98", scalar("SELECT COUNT(*) FROM arr"));
}

TEST_F(array_insert, a_length_beyond_the_cell_is_refused_not_read) {
    for (int row = 0; row < 1; ++row) fill(row, row + 1);
    name_ind_[0] = 4096;  // far past the 22-byte cell
    EXPECT_EQ(SQL_ERROR, send(1));
    EXPECT_NE(std::string::npos, stmt_diag().message.find("SQLSTATE=HY090")) << stmt_diag().message;
}

// ---------------------------------------------------------------------------------------------
// Catalog functions

TEST_F(db2sim_test, sqltables_lists_tables_or_schemas) {
    ok("CREATE TABLE t1 (a INT)");
    ok("CREATE TABLE other.t2 (a INT)");
    auto fetch_schemas = [&](SQLWCHAR* cat, SQLSMALLINT cat_len, SQLWCHAR* table, SQLSMALLINT table_len) {
        cli_->SQLFreeStmt(stmt_.get(), SQL_CLOSE);
        std::u16string schema = w("%");
        EXPECT_EQ(SQL_SUCCESS, cli_->SQLTablesW(stmt_.get(), cat, cat_len, schema.data(), SQL_NTS, table, table_len, nullptr, 0));
        SQLSMALLINT columns = 0;
        cli_->SQLNumResultCols(stmt_.get(), &columns);
        EXPECT_EQ(5, columns);
        std::vector<std::string> out;
        SQLWCHAR schem[129], name[129];
        SQLLEN schem_ind, name_ind;
        cli_->SQLBindCol(stmt_.get(), 2, SQL_C_WCHAR, schem, sizeof schem, &schem_ind);
        cli_->SQLBindCol(stmt_.get(), 3, SQL_C_WCHAR, name, sizeof name, &name_ind);
        while (cli_->SQLFetch(stmt_.get()) == SQL_SUCCESS)
            out.push_back(n(schem) + "." + (name_ind == SQL_NULL_DATA ? "<null>" : n(name)));
        cli_->SQLFreeStmt(stmt_.get(), SQL_UNBIND);
        return out;
    };
    std::u16string empty;
    auto schemas = fetch_schemas(empty.data(), 0, empty.data(), 0);
    EXPECT_EQ((std::vector<std::string>{"OTHER.<null>", "SYSCAT.<null>", "SYSIBM.<null>", "TESTER.<null>"}), schemas);
    auto tables = fetch_schemas(nullptr, 0, nullptr, 0);
    ASSERT_GE(tables.size(), 2u);
    EXPECT_EQ("OTHER.T2", tables[0]);  // ordered by type, schema, name: tables first
    EXPECT_EQ("TESTER.T1", tables[1]);
    cli_->SQLFreeStmt(stmt_.get(), SQL_CLOSE);
    std::u16string schema = w("TESTER"), pattern = w("%"), type = w("TABLE");
    ASSERT_EQ(SQL_SUCCESS, cli_->SQLTablesW(stmt_.get(), nullptr, 0, schema.data(), SQL_NTS, pattern.data(), SQL_NTS, type.data(), SQL_NTS));
    int count = 0;
    while (cli_->SQLFetch(stmt_.get()) == SQL_SUCCESS) ++count;
    EXPECT_EQ(1, count);
}

TEST_F(db2sim_test, sqlcolumns_answers_the_eighteen_columns) {
    ok("CREATE TABLE c (vg VARGRAPHIC(20) DEFAULT 'it''s', dec DECIMAL(10,2) NOT NULL DEFAULT 0, ts TIMESTAMP, "
       "d DATE DEFAULT CURRENT DATE, bl BLOB(2K), vb VARCHAR(8) FOR BIT DATA, x XML, df DECFLOAT(34), cl CLOB, "
       "dbc DBCLOB(100), g GRAPHIC(3), t TIME, n INT DEFAULT NULL)");
    std::u16string schema = w("TESTER"), table = w("C"), column = w("%");
    ASSERT_EQ(SQL_SUCCESS, cli_->SQLColumnsW(stmt_.get(), nullptr, 0, schema.data(), SQL_NTS, table.data(), SQL_NTS, column.data(), SQL_NTS));
    SQLSMALLINT columns = 0;
    cli_->SQLNumResultCols(stmt_.get(), &columns);
    EXPECT_EQ(18, columns);
    struct expected { const char* name; int data_type; const char* buffer_length; const char* column_def; const char* datetime_sub; };
    const expected want[] = {
        {"VG", -96, "40", "'it''s'", "<null>"}, {"DEC", 3, "12", "0", "<null>"}, {"TS", 93, "16", "<null>", "3"},
        {"D", 91, "6", "CURRENT DATE", "1"}, {"BL", -98, "2048", "<null>", "<null>"}, {"VB", -3, "8", "<null>", "<null>"},
        {"X", -370, "0", "<null>", "<null>"}, {"DF", -360, "16", "<null>", "<null>"}, {"CL", -99, "1048576", "<null>", "<null>"},
        {"DBC", -350, "200", "<null>", "<null>"}, {"G", -95, "6", "<null>", "<null>"}, {"T", 92, "6", "<null>", "2"},
        {"N", 4, "4", "NULL", "<null>"},
    };
    std::vector<std::vector<std::string>> got;
    while (cli_->SQLFetch(stmt_.get()) == SQL_SUCCESS) {
        std::vector<std::string> row;
        for (SQLUSMALLINT col = 1; col <= 18; ++col) {
            SQLWCHAR buffer[300];
            SQLLEN ind;
            cli_->SQLGetData(stmt_.get(), col, SQL_C_WCHAR, buffer, sizeof buffer, &ind);
            row.push_back(ind == SQL_NULL_DATA ? "<null>" : n(buffer));
        }
        got.push_back(row);
    }
    ASSERT_EQ(std::size(want), got.size());
    for (std::size_t idx = 0; idx < got.size(); ++idx) {
        const auto& row = got[idx];
        EXPECT_EQ(want[idx].name, row[3]);
        EXPECT_EQ(std::to_string(want[idx].data_type), row[4]) << want[idx].name;
        EXPECT_EQ(want[idx].buffer_length, row[7]) << want[idx].name;
        EXPECT_EQ(want[idx].column_def, row[12]) << want[idx].name;
        EXPECT_EQ(want[idx].datetime_sub, row[14]) << want[idx].name;
        EXPECT_EQ(std::to_string(idx + 1), row[16]) << want[idx].name;
    }
    EXPECT_EQ("0", got[1][10]);  // NULLABLE of the NOT NULL column
    EXPECT_EQ("NO", got[1][17]);
}

// ---------------------------------------------------------------------------------------------
// Cursors

TEST_F(db2sim_test, row_array_fetch_describe_and_locators) {
    ok("CREATE TABLE r (id INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY, amount DECIMAL(10,2), "
       "note CLOB(1K), pic BLOB(1K), wide DBCLOB(100), doc XML)");
    for (int idx = 0; idx < 250; ++idx)
        ok("INSERT INTO r (amount, note, pic, wide, doc) VALUES (" + std::to_string(idx) + ".5, 'note \u00e9" +
           std::to_string(idx) + "', X'CAFE', G'\u00fcber', '<a>" + std::to_string(idx) + "</a>')");
    ok("SELECT id, amount, note, pic, wide, XML2CLOB(doc) FROM r");
    SQLSMALLINT columns = 0;
    cli_->SQLNumResultCols(stmt_.get(), &columns);
    ASSERT_EQ(6, columns);
    SQLWCHAR name[258];
    SQLSMALLINT name_len, type, digits, nullable;
    SQLULEN size;
    ASSERT_EQ(SQL_SUCCESS, cli_->SQLDescribeColW(stmt_.get(), 2, name, 258, &name_len, &type, &size, &digits, &nullable));
    EXPECT_EQ("AMOUNT", n(name));
    EXPECT_EQ(SQL_DECIMAL, type);
    EXPECT_EQ(10u, size);
    EXPECT_EQ(2, digits);
    SQLLEN auto_unique = -1, precision = -1, scale = -1;
    cli_->SQLColAttributeW(stmt_.get(), 1, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &auto_unique);
    cli_->SQLColAttributeW(stmt_.get(), 2, SQL_DESC_PRECISION, nullptr, 0, nullptr, &precision);
    cli_->SQLColAttributeW(stmt_.get(), 2, SQL_DESC_SCALE, nullptr, 0, nullptr, &scale);
    EXPECT_EQ(1, auto_unique);
    EXPECT_EQ(10, precision);
    EXPECT_EQ(2, scale);
    cli_->SQLDescribeColW(stmt_.get(), 6, name, 258, &name_len, &type, &size, &digits, &nullable);
    EXPECT_EQ(SQL_CLOB, type);

    constexpr int array = 100;
    SQLINTEGER ids[array], notes[array], pics[array], wides[array], docs[array];
    SQLWCHAR amounts[array][32];
    SQLLEN id_ind[array], amount_ind[array], note_ind[array], pic_ind[array], wide_ind[array], doc_ind[array];
    SQLULEN fetched = 0;
    cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROW_ARRAY_SIZE, attr(array), 0);
    cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROW_BIND_TYPE, attr(0), 0);
    cli_->SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    cli_->SQLBindCol(stmt_.get(), 1, SQL_C_LONG, ids, 4, id_ind);
    cli_->SQLBindCol(stmt_.get(), 2, SQL_C_WCHAR, amounts, sizeof amounts[0], amount_ind);
    cli_->SQLBindCol(stmt_.get(), 3, SQL_C_CLOB_LOCATOR, notes, 0, note_ind);
    cli_->SQLBindCol(stmt_.get(), 4, SQL_C_BLOB_LOCATOR, pics, 0, pic_ind);
    cli_->SQLBindCol(stmt_.get(), 5, SQL_C_DBCLOB_LOCATOR, wides, 0, wide_ind);
    cli_->SQLBindCol(stmt_.get(), 6, SQL_C_CLOB_LOCATOR, docs, 0, doc_ind);
    cli_statement length_stmt, piece_stmt;
    ASSERT_EQ(SQL_SUCCESS, length_stmt.allocate(*cli_, dbc_.get()));
    ASSERT_EQ(SQL_SUCCESS, piece_stmt.allocate(*cli_, dbc_.get()));
    auto read_lob = [&](SQLSMALLINT loc_type, SQLINTEGER loc, SQLSMALLINT target) {
        SQLINTEGER length = 0, ind = 0;
        EXPECT_EQ(SQL_SUCCESS, cli_->SQLGetLength(length_stmt.get(), loc_type, loc, &length, &ind));
        std::vector<char> buffer((static_cast<std::size_t>(length) + 1) * 2);
        SQLINTEGER got = 0;
        EXPECT_EQ(SQL_SUCCESS, cli_->SQLGetSubString(piece_stmt.get(), loc_type, loc, 1, static_cast<SQLUINTEGER>(length), target,
                                                     buffer.data(), static_cast<SQLINTEGER>(buffer.size()), &got, &ind));
        return target == SQL_C_BINARY ? std::string(buffer.data(), static_cast<std::size_t>(got))
                                      : n(reinterpret_cast<SQLWCHAR*>(buffer.data()));
    };
    std::vector<SQLULEN> sizes;
    SQLRETURN rc;
    while ((rc = cli_->SQLFetch(stmt_.get())) == SQL_SUCCESS) {
        sizes.push_back(fetched);
        if (sizes.size() == 3) {
            int last = static_cast<int>(fetched) - 1;
            EXPECT_EQ(250, ids[last]);
            EXPECT_EQ("249.50", n(amounts[last]));
            EXPECT_EQ("note \u00e9249", read_lob(SQL_C_CLOB_LOCATOR, notes[last], SQL_C_WCHAR));
            EXPECT_EQ("\xCA\xFE", read_lob(SQL_C_BLOB_LOCATOR, pics[last], SQL_C_BINARY));
            EXPECT_EQ("\u00fcber", read_lob(SQL_C_DBCLOB_LOCATOR, wides[last], SQL_C_WCHAR));
            EXPECT_EQ("<a>249</a>", read_lob(SQL_C_CLOB_LOCATOR, docs[last], SQL_C_WCHAR));
            EXPECT_EQ("note \u00e9200", read_lob(SQL_C_CLOB_LOCATOR, notes[0], SQL_C_WCHAR));
        }
    }
    EXPECT_EQ(SQL_NO_DATA, rc);
    EXPECT_EQ((std::vector<SQLULEN>{100, 100, 50}), sizes);
    SQLINTEGER length, ind;
    cli_->SQLFreeStmt(stmt_.get(), SQL_CLOSE);
    EXPECT_EQ(SQL_ERROR, cli_->SQLGetLength(length_stmt.get(), SQL_C_CLOB_LOCATOR, notes[0], &length, &ind))
        << "locators end with their cursor";
}

TEST_F(db2sim_test, single_fetch_of_count_and_null_into_bound_cells) {
    ok("CREATE TABLE e (id INT)");
    ok("SELECT count(*) FROM e");
    SQLINTEGER count = -1;
    SQLLEN ind = 0;
    cli_->SQLBindCol(stmt_.get(), 1, SQL_C_LONG, &count, 4, &ind);
    EXPECT_EQ(SQL_SUCCESS, cli_->SQLFetch(stmt_.get()));
    EXPECT_EQ(0, count);
    EXPECT_EQ(SQL_NO_DATA, cli_->SQLFetch(stmt_.get()));
    cli_->SQLFreeStmt(stmt_.get(), SQL_UNBIND);
    ok("SELECT MAX(id) + 1 FROM e");
    cli_->SQLBindCol(stmt_.get(), 1, SQL_C_LONG, &count, 4, &ind);
    EXPECT_EQ(SQL_SUCCESS, cli_->SQLFetch(stmt_.get()));
    EXPECT_EQ(SQL_NULL_DATA, ind);
}

// ---------------------------------------------------------------------------------------------
// The db2sim program

struct tool_result {
    int status;
    std::string out, err;
};

tool_result run_tool(const std::string& arguments) {
    std::string err_file = std::filesystem::temp_directory_path() / ("db2sim_err_" + std::to_string(getpid()));
    std::string command = std::string(QVX_TEST_DB2SIM_TOOL) + " " + arguments + " 2>" + err_file;
    tool_result r{};
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, got);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FILE* err = std::fopen(err_file.c_str(), "r");
    while (err != nullptr && (got = fread(buffer, 1, sizeof buffer, err)) > 0) r.err.append(buffer, got);
    if (err != nullptr) std::fclose(err);
    std::remove(err_file.c_str());
    return r;
}

TEST_F(db2sim_test, db2sim_program_reports_a_duplicate_key_and_prints_results) {
    EXPECT_EQ(0, run_tool("create DEMO").status);
    EXPECT_EQ(4, run_tool("create DEMO").status);
    EXPECT_EQ(0, run_tool("sql DEMO \"CREATE TABLE t (id INT NOT NULL PRIMARY KEY, s VARCHAR(10), b VARCHAR(2) FOR BIT DATA, ts TIMESTAMP)\"").status);
    tool_result first = run_tool("sql DEMO \"INSERT INTO t VALUES (1, 'a,\\\"b', X'0AFF', '2021-03-04-05.06.07.123456')\"");
    EXPECT_EQ(0, first.status) << first.err;
    EXPECT_EQ("DB20000I  The SQL command completed successfully.\n", first.out);
    tool_result again = run_tool("sql DEMO \"INSERT INTO t VALUES (1, '', NULL, NULL)\"");
    EXPECT_EQ(4, again.status);
    EXPECT_NE(std::string::npos, again.err.find("SQL0803N")) << again.err;
    EXPECT_NE(std::string::npos, again.err.find("SQLSTATE=23505")) << again.err;
    EXPECT_EQ(0, run_tool("sql DEMO \"INSERT INTO t VALUES (2, '', NULL, NULL)\"").status);
    tool_result csv = run_tool("sql DEMO --csv \"SELECT * FROM t ORDER BY id\"");
    EXPECT_EQ("ID,S,B,TS\r\n1,\"a,\"\"b\",0AFF,2021-03-04-05.06.07.123456\r\n2,\"\",,\r\n", csv.out);
    tool_result table = run_tool("sql DEMO \"SELECT id FROM t\"");
    EXPECT_EQ("ID\n--\n 1\n 2\n\n  2 record(s) selected.\n", table.out);
    EXPECT_EQ(0, run_tool("stop DEMO").status);
    tool_result stopped = run_tool("sql DEMO \"SELECT id FROM t\"");
    EXPECT_EQ(4, stopped.status);
    EXPECT_NE(std::string::npos, stopped.err.find("SQL1032N")) << stopped.err;
    EXPECT_EQ(0, run_tool("start DEMO").status);
    EXPECT_EQ(0, run_tool("drop DEMO").status);
}

}  // namespace
