// The MySQL engine against the private server: connection failures with their codes, the
// session it sets up, the version it reads, and the old-server branches played through the
// version seam (no such server exists here).
#include <gtest/gtest.h>

#include "sql_fixture.h"
#include <algorithm>

#include "sql/sql_recs.h"
#include "sql/sql_util.h"

namespace {

// Plays a server that reports another version text than the real one.
class old_server_engine : public sql_engine {
public:
    explicit old_server_engine(std::string version_text) : version_text_(std::move(version_text)) {}

protected:
    const char* read_server_info() override { return version_text_.c_str(); }

private:
    std::string version_text_;
};

std::vector<std::u16string> first_row(udb_database& db, const std::string& statement) {
    std::vector<std::u16string> values;
    auto reader = db.query_records(tk_u16(statement));
    reader->reset();
    if (reader->is_eof()) return values;
    for (const auto& field : reader->get_item()->get_fields()) values.push_back(field->to_wstring());
    return values;
}

std::u16string session_value(sql_engine& engine, const std::string& expression) {
    auto db = engine.open_db(u"information_schema", 1);
    return first_row(*db, "SELECT " + expression).at(0);
}

}  // namespace

TEST(sql_engine_test, connection_failures_carry_the_mysql_error_number) {
    const server_settings server = server_from_env();
    struct failure_case {
        const char* name;
        std::string password;
        int port;
        int error_number;
    };
    const failure_case cases[] = {
        {"wrong password", "not-" + server.password, server.port, 1045},
        {"nothing listens on the port", server.password, 1, 2003},
    };
    for (const auto& c : cases) {
        sql_engine engine;
        try {
            engine.connect("127.0.0.1", server.user, c.password, c.port);
            ADD_FAILURE() << c.name << ": connected";
        } catch (const sql_exception& e) {
            EXPECT_EQ(0x400000 | c.error_number, e.code()) << c.name << ": " << e.what();
            EXPECT_EQ(0, e.level()) << c.name;
        }
        EXPECT_FALSE(engine.is_connected()) << c.name;
    }
}

TEST(sql_engine_test, unknown_database_is_neither_found_nor_opened) {
    sql_engine engine;
    connect_to_test_server(engine);
    EXPECT_FALSE(engine.is_db_exist(u"qvx_no_such_database"));
    try {
        engine.open_db(u"qvx_no_such_database", 1);
        ADD_FAILURE() << "opened";
    } catch (const sql_exception& e) {
        EXPECT_EQ(0x400000 | 1049, e.code()) << e.what();
    }
}

TEST(sql_engine_test, session_is_utf8mb4_without_foreign_key_checks_and_patient) {
    sql_engine engine;
    connect_to_test_server(engine);
    const auto first_connection = session_value(engine, "CONNECTION_ID()");
    connect_to_test_server(engine);   // a second connect replaces the first connection
    EXPECT_NE(first_connection, session_value(engine, "CONNECTION_ID()"));

    auto db = engine.open_db(u"information_schema", 1);
    const auto values = first_row(*db,
        "SELECT @@character_set_client, @@character_set_results, @@foreign_key_checks, "
        "@@net_write_timeout, VERSION()");
    EXPECT_EQ(u"utf8mb4", values.at(0));
    EXPECT_EQ(u"utf8mb4", values.at(1));
    EXPECT_EQ(u"0", values.at(2));
    EXPECT_EQ(tk_u16(std::to_string(sql_engine::net_write_timeout_seconds)), values.at(3));
    uint32_t version = 0;
    ASSERT_TRUE(sql_parse_version(tk_to_utf8(values.at(4)).c_str(), version));
    EXPECT_EQ(version, engine.get_version());

    EXPECT_TRUE(engine.is_db_exist(u"mysql"));
    EXPECT_EQ(u"mysql", first_row(*db, "SELECT DATABASE()").at(0));   // selected as a side effect
    const auto names = engine.get_contents();
    EXPECT_NE(std::find(names.begin(), names.end(), u"mysql"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), u"information_schema"), names.end());
}

TEST(sql_engine_test, password_never_reaches_the_trace) {
    const server_settings server = server_from_env();
    captured_trace trace(1);
    {
        sql_engine engine;
        connect_to_test_server(engine);
    }
    EXPECT_EQ(std::string::npos, trace.text().find(server.password));
    EXPECT_NE(std::string::npos, trace.text().find(",***)"));
}

TEST(sql_engine_test, quote_name_follows_the_server_version) {
    struct quote_case {
        const char* name;
        uint32_t version;
        std::u16string table;
        std::u16string quoted;
    };
    const quote_case cases[] = {
        {"no version read", 0, u"t", u"t"},
        {"4.0.27 knows no backticks", 0x04001B, u"order", u"order"},
        {"4.1.0 quotes", 0x040100, u"order", u"`order`"},
        {"a backtick inside is doubled", 0x0A0B13, u"a`b", u"`a``b`"},
        {"a quoted name cannot be left", 0x0A0B13, u"x` ; DROP TABLE y; `", u"`x`` ; DROP TABLE y; ```"},
    };
    sql_engine engine;
    for (const auto& c : cases) {
        engine.set_version(c.version);
        EXPECT_EQ(c.quoted, engine.quote_name(c.table)) << c.name;
    }
}

TEST(sql_engine_test, version_text_decides_the_old_server_rules) {
    const server_settings server = server_from_env();
    const std::string no_password_user = "qvx_nopw_" + std::to_string(::getpid());
    {
        sql_engine admin;
        connect_to_test_server(admin);
        auto db = admin.open_db(u"information_schema", 1);
        run_sql(*db, "CREATE OR REPLACE USER '" + no_password_user + "'@'%'");
    }
    struct version_case {
        const char* name;
        const char* version_text;
        bool with_password;
        uint32_t version;   // expected after connecting
        const char* names_charset;
    };
    const version_case cases[] = {
        {"MySQL 5.1 gets the 3-byte UTF-8", "5.1.73-log", true, 0x050149, "utf8mb3"},
        {"4.0.27", "4.0.27", true, 0x04001B, "utf8mb3"},
        {"empty version text leaves 0", "", true, 0, "utf8mb4"},
        {"4.1.0 without a password", "4.1.0", false, 0x040100, "utf8mb3"},
    };
    for (const auto& c : cases) {
        old_server_engine engine(c.version_text);
        engine.connect(server.host, c.with_password ? server.user : no_password_user,
                       c.with_password ? server.password : "", server.port);
        EXPECT_EQ(c.version, engine.get_version()) << c.name;
        EXPECT_EQ(tk_u16(c.names_charset), session_value(engine, "@@character_set_client")) << c.name;
    }
    {
        old_server_engine engine("4.1.0");
        try {
            connect_to_test_server(engine);
            ADD_FAILURE() << "4.1.0 with a password connected";
        } catch (const sql_auth_not_supported_exception& e) {
            EXPECT_EQ(1, e.level());
            EXPECT_EQ(0, e.code());
            EXPECT_STREQ("The program does not support authentication protocol requested by "
                         "server. See 'Troubleshooting' article of the product documentation.",
                         e.what());
        }
        EXPECT_TRUE(engine.is_connected());
    }
    {
        old_server_engine engine("garbage");
        try {
            connect_to_test_server(engine);
            ADD_FAILURE() << "an unreadable version was accepted";
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ("Internal error: \ncode=" + tk_mail_assertion::encode_location("sql_engi", 112),
                      e.what());
        }
    }
    sql_engine admin;
    connect_to_test_server(admin);
    auto db = admin.open_db(u"information_schema", 1);
    run_sql(*db, "DROP USER '" + no_password_user + "'@'%'");
}

TEST(sql_engine_test, old_servers_list_tables_and_write_statements_their_way) {
    sql_engine engine;
    connect_to_test_server(engine);
    private_database database(engine, "old");
    {
        auto db = engine.open_db(database.wname(), 1);
        run_sql(*db, "CREATE TABLE t1 (a INT PRIMARY KEY, b VARCHAR(10))");
        run_sql(*db, "INSERT INTO t1 VALUES (1, 'one'), (2, 'two')");
        run_sql(*db, "CREATE VIEW v1 AS SELECT a FROM t1");
    }
    struct old_case {
        const char* name;
        uint32_t version;
        bool view_listed;   // library's table list below 5.0.1
        bool quoted;        // backticks from 4.1.0
        bool foreign_keys;  // SHOW CREATE TABLE from 3.23.44
    };
    const old_case cases[] = {
        {"3.23.32", 0x031720, true, false, false},
        {"4.1.0", 0x040100, true, true, true},
        {"5.0.1", 0x050001, false, true, true},
    };
    for (const auto& c : cases) {
        engine.set_version(c.version);
        captured_trace trace(1);
        auto db = engine.open_db(database.wname(), 1);
        EXPECT_EQ(c.view_listed, db->is_table_exist(u"v1")) << c.name;
        auto table = db->get_table(u"t1", 1);
        EXPECT_EQ(2, table->get_record_count()) << c.name;
        int rows = 0;
        for (table->reset(); !table->is_eof(); table->next()) ++rows;
        EXPECT_EQ(2, rows) << c.name;
        const std::string quoted_name = c.quoted ? "`t1`" : "t1";
        EXPECT_EQ(1u, trace.count("do_query2(SHOW COLUMNS FROM " + quoted_name + ")")) << c.name;
        EXPECT_EQ(1u, trace.count("do_query2(SELECT COUNT(*) FROM " + quoted_name + ")")) << c.name;
        EXPECT_EQ(c.foreign_keys ? 1u : 0u, trace.count("Extracting foreign keys")) << c.name;
    }
}
