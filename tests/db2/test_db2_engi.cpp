// The engine through the CLI binding into the stand-in: connections, diagnostics, catalog listing
// and counting.
#include <algorithm>

#include "db2_fixture.h"

namespace {

std::string failure_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const db2_exception& e) {
        return e.what();
    }
    return "<no db2_exception>";
}

}  // namespace

TEST_F(db2_test, check_err_cuts_the_message_proper) {
    // "[db2sim][CLI Driver] SQL0204N  "QVX.NOPE" is an undefined name.  SQLSTATE=42704"
    EXPECT_EQ("  \"QVX.NOPE\" is an undefined name.  ", failure_of([&] { run("DROP TABLE NOPE"); }));

    cli_statement statement = engine_->new_statement();
    EXPECT_EQ("Unknown exception",
              failure_of([&] { engine_->check_err(SQL_ERROR, SQL_HANDLE_STMT, statement.get()); }))
        << "a failure without diagnostic records";
    EXPECT_EQ("Unknown exception", failure_of([&] { engine_->check_err(SQL_SUCCESS_WITH_INFO, SQL_HANDLE_STMT,
                                                                      statement.get()); }))
        << "SQL_SUCCESS_WITH_INFO is a failure too";
    EXPECT_NO_THROW(engine_->check_err(SQL_SUCCESS, SQL_HANDLE_STMT, statement.get()));
}

TEST_F(db2_test, connection_failures) {
    engine_.reset();
    db2_engine engine;
    auto connect = [&](const std::string& alias, const char* password) {
        return failure_of([&] { engine.connect(tk_u16(alias), tk_u16(test_user), tk_u16(password)); });
    };
    EXPECT_EQ("Not connected to DB2 server", failure_of([&] { engine.get_contents(); }));
    EXPECT_EQ("Incorrect username or password", connect(alias_, "wrong"));
    run_db2sim("stop " + alias_);
    EXPECT_EQ("Cannot connect to DB2 server. Check to verify that DB2 server is launched and allows connection.",
              connect(alias_, test_password));
    EXPECT_FALSE(engine.is_connected());
    const std::string unknown = connect("NOSUCHDB", test_password);
    EXPECT_NE(std::string::npos, unknown.find("NOSUCHDB")) << unknown;
    EXPECT_EQ(std::string::npos, unknown.find("SQLSTATE")) << "the cut message: " << unknown;

    run_db2sim("start " + alias_);
    engine.connect(tk_u16(alias_), tk_u16(test_user), tk_u16(test_password));
    engine.connect(tk_u16(alias_), tk_u16(test_user), tk_u16(test_password));
    EXPECT_TRUE(engine.is_connected()) << "a second connect reconnects";
}

TEST(db2_engine_environment, missing_library) {
    prepare_db2_environment();
    const std::string saved = std::getenv("QVX_DB2_CLI");
    setenv("QVX_DB2_CLI", "/nonexistent/libdb2o.so", 1);
    db2_engine engine;
    EXPECT_EQ("Cannot find DB2 environment. Make sure you have valid DB2 installation on your system",
              failure_of([&] { engine.connect(u"X", u"u", u"p"); }));
    setenv("QVX_DB2_CLI", saved.c_str(), 1);
}

TEST_F(db2_test, schemas_and_tables) {
    run("CREATE TABLE S1.A (X INTEGER)");
    run("CREATE TABLE S1.B (X INTEGER)");
    run("CREATE TABLE S2.C (X INTEGER)");
    const std::vector<std::u16string> schemas = engine_->get_contents();
    for (const char16_t* schema : {u"S1", u"S2"}) {
        EXPECT_EQ(1, std::count(schemas.begin(), schemas.end(), schema)) << "each schema once";
    }
    EXPECT_EQ((std::vector<std::u16string>{u"A", u"B"}), engine_->list_tables(u"S1", u"%"));

    run("INSERT INTO S1.A VALUES (1)");
    run("INSERT INTO S1.A VALUES (2)");
    EXPECT_EQ(2, engine_->get_record_count(u"\"S1\".\"A\""));
    EXPECT_EQ(0, engine_->get_record_count(u"\"S1\".\"MISSING\"")) << "a refused count is 0, no exception";
}
