#include "db2/db2_engi.h"

#include <algorithm>
#include <cstring>

#include "db2/db2_db.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

const char* const no_environment_text =
    "Cannot find DB2 environment. Make sure you have valid DB2 installation on your system";

struct native_message {
    SQLINTEGER native_error;
    const char* text;
};
// Friendly texts for the failures a user can fix; the error handler knows the same two.
const native_message message_table[] = {
    {-1032, "Cannot connect to DB2 server. Check to verify that DB2 server is launched and allows connection."},
    {-30082, "Incorrect username or password"},
};

SQLWCHAR* wide_arg(const std::u16string& text) { return const_cast<SQLWCHAR*>(text.c_str()); }

// The message proper of a DB2 diagnostic: what lies between the message id (SQL0204N) and
// "SQLSTATE", blanks included. A text of another shape is kept whole.
std::string cut_message(const std::string& message) {
    const size_t sql = message.find(" SQL");
    if (sql == std::string::npos) return message;
    const size_t blank = message.find(' ', sql + 4);
    const size_t state = message.find("SQLSTATE");
    if (blank == std::string::npos || state == std::string::npos || state < blank) return message;
    return message.substr(blank, state - blank);
}

}  // namespace

db2_exception::db2_exception(SQLRETURN result, std::string message) : tk_exception(std::move(message), 0) {
    TK_TRACE(2, "db2_exception::ctor");
    (void)result;
}

db2_exception::db2_exception(SQLRETURN result, const std::u16string& message) : tk_exception(message, 0) {
    TK_TRACE(2, "db2_exception::ctor");
    (void)result;
}

std::u16string db2_enclose(std::u16string_view text, char16_t delimiter) {
    std::u16string enclosed;
    enclosed.reserve(text.size() + 2);
    enclosed += delimiter;
    for (char16_t c : text) {
        enclosed += c;
        if (c == delimiter) enclosed += delimiter;
    }
    enclosed += delimiter;
    return enclosed;
}

std::u16string db2_quote(const std::u16string& identifier) { return db2_enclose(identifier, u'"'); }

std::u16string db2_pattern(const std::u16string& name) {
    std::u16string pattern;
    pattern.reserve(name.size());
    for (char16_t c : name) {
        if (c == u'%' || c == u'_' || c == u'\\') pattern += u'\\';
        pattern += c;
    }
    return pattern;
}

db2_engine::db2_engine() { TK_TRACE(2, "db2_engine::ctor"); }

db2_engine::~db2_engine() {
    TK_TRACE(2, "db2_engine::dtor");
    // The handle wrappers disconnect and free in reverse order of declaration; nothing here throws.
}

const cli_library& db2_engine::cli() const {
    if (!cli_) throw tk_mail_assertion("db2_engi", 96);
    return *cli_;
}

void db2_engine::initialize() {
    TK_TRACE(2, "db2_engine::initialize");
    if (!cli_) {
        try {
            cli_ = std::make_unique<cli_library>();
        } catch (const tk_exception& e) {
            TK_TRACE(3, "db2_engine::initialize: %s", e.what());
            throw db2_exception(SQL_ERROR, no_environment_text);
        }
    }
    SQLRETURN rc = environment_.allocate(*cli_, SQL_NULL_HANDLE);
    if (rc != SQL_SUCCESS) {
        environment_.reset();
        throw db2_exception(rc, no_environment_text);
    }
    rc = cli_->SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION,
                             reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0);
    check_err(rc, SQL_HANDLE_ENV, environment_.get());
    rc = connection_.allocate(*cli_, environment_.get());
    check_err(rc, SQL_HANDLE_ENV, environment_.get());
    rc = cli_->SQLSetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTTYPE,
                                  reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_CONCURRENT_TRANS)), 0);
    check_err(rc, SQL_HANDLE_DBC, connection_.get());
    initialized_ = true;
}

void db2_engine::connect(const std::u16string& database, const std::u16string& user,
                         const std::u16string& password) {
    TK_TRACE(2, "db2_engine::connect(%s,%s,***)", TK_W(database), TK_W(user));
    if (!initialized_) initialize();
    if (connected_) {
        TK_TRACE(2, "Connection was established already - disconnecting...");
        check_err(cli_->SQLDisconnect(connection_.get()), SQL_HANDLE_DBC, connection_.get());
        connected_ = false;
    }
    const SQLRETURN rc = cli_->SQLConnectW(connection_.get(), wide_arg(database), SQL_NTS, wide_arg(user), SQL_NTS,
                                           wide_arg(password), SQL_NTS);
    check_err(rc, SQL_HANDLE_DBC, connection_.get());
    connected_ = true;
    TK_TRACE(1, "The connection has been established");
    database_ = database;
    user_ = user;
    password_ = password;
}

std::unique_ptr<db2_database> db2_engine::open_db(const std::u16string& schema, const std::u16string& user,
                                                  const std::u16string& /*password*/) {
    TK_TRACE(2, "db2_engine::open_db( %s, %s, *** )", TK_W(schema), TK_W(user));
    return std::make_unique<db2_database>(schema);
}

std::vector<std::u16string> db2_engine::get_contents() {
    TK_TRACE(2, "db2_engine::get_contents");
    if (!connected_) throw db2_exception(SQL_ERROR, "Not connected to DB2 server");
    return list_schemas();
}

cli_statement db2_engine::new_statement() {
    if (!connection_) throw tk_mail_assertion("db2_engi", 212);
    cli_statement statement;
    check_err(statement.allocate(*cli_, connection_.get()), SQL_HANDLE_DBC, connection_.get());
    return statement;
}

// The CLI's schema listing (catalog "", schema "%", table ""): one row per schema. Repeats are
// dropped all the same, so a driver that answers per table still gives each schema once.
std::vector<std::u16string> db2_engine::list_schemas() {
    cli_statement statement = new_statement();
    SQLHANDLE stmt = statement.get();
    std::u16string empty;
    std::u16string all = u"%";
    check_err(cli_->SQLTablesW(stmt, wide_arg(empty), 0, wide_arg(all), SQL_NTS, wide_arg(empty), 0, nullptr, 0),
              SQL_HANDLE_STMT, stmt);
    SQLWCHAR schema[129];
    SQLLEN schema_ind = 0;
    check_err(cli_->SQLBindCol(stmt, 2, SQL_C_WCHAR, schema, sizeof(schema), &schema_ind), SQL_HANDLE_STMT, stmt);
    std::vector<std::u16string> result;
    for (;;) {
        const SQLRETURN rc = cli_->SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        check_err(rc, SQL_HANDLE_STMT, stmt);
        if (schema_ind == SQL_NULL_DATA) continue;
        std::u16string name(schema);
        TK_TRACE(1, "Found: %s", TK_W(name));
        if (std::find(result.begin(), result.end(), name) == result.end()) result.push_back(std::move(name));
    }
    cli_->SQLFreeStmt(stmt, SQL_UNBIND);
    cli_->SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    cli_->SQLFreeStmt(stmt, SQL_CLOSE);
    return result;
}

std::vector<std::u16string> db2_engine::list_tables(const std::u16string& schema_pattern,
                                                    const std::u16string& table_pattern) {
    TK_TRACE(2, "schema_pattern=%s, table_pattern=%s", TK_W(schema_pattern), TK_W(table_pattern));
    if (schema_pattern.empty()) throw tk_mail_assertion("db2_engi", 160);
    const bool schema_mode = schema_pattern[0] == u'%';
    cli_statement statement = new_statement();
    SQLHANDLE stmt = statement.get();
    std::u16string type = u"TABLE";
    SQLRETURN rc;
    if (schema_mode) {
        rc = cli_->SQLTablesW(stmt, nullptr, 0, wide_arg(schema_pattern), SQL_NTS, nullptr, 0, nullptr, 0);
    } else {
        rc = cli_->SQLTablesW(stmt, nullptr, 0, wide_arg(schema_pattern), SQL_NTS, wide_arg(table_pattern), SQL_NTS,
                              wide_arg(type), SQL_NTS);
    }
    check_err(rc, SQL_HANDLE_STMT, stmt);
    // 129 units: names of up to 128 characters come back whole.
    SQLWCHAR schema[129];
    SQLWCHAR table[129];
    SQLLEN schema_ind = 0;
    SQLLEN table_ind = 0;
    check_err(cli_->SQLBindCol(stmt, 2, SQL_C_WCHAR, schema, sizeof(schema), &schema_ind), SQL_HANDLE_STMT, stmt);
    check_err(cli_->SQLBindCol(stmt, 3, SQL_C_WCHAR, table, sizeof(table), &table_ind), SQL_HANDLE_STMT, stmt);
    std::vector<std::u16string> result;
    for (;;) {
        rc = cli_->SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        check_err(rc, SQL_HANDLE_STMT, stmt);
        const SQLWCHAR* value = schema_mode ? schema : table;
        const SQLLEN indicator = schema_mode ? schema_ind : table_ind;
        std::u16string name = indicator == SQL_NULL_DATA ? std::u16string() : std::u16string(value);
        TK_TRACE(1, "Found: %s", TK_W(name));
        result.push_back(std::move(name));
    }
    cli_->SQLFreeStmt(stmt, SQL_UNBIND);
    cli_->SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    cli_->SQLFreeStmt(stmt, SQL_CLOSE);
    return result;
}

void db2_engine::execute(const std::u16string& statement_text) {
    if (!connection_) throw tk_mail_assertion("db2_engi", 212);
    cli_statement statement = new_statement();
    check_err(cli_->SQLExecDirectW(statement.get(), wide_arg(statement_text), SQL_NTS), SQL_HANDLE_STMT,
              statement.get());
    cli_->SQLFreeStmt(statement.get(), SQL_CLOSE);
}

int32_t db2_engine::get_record_count(const std::u16string& table_expression) {
    const std::u16string text = u"SELECT count(*) FROM " + table_expression;
    cli_statement statement = new_statement();
    SQLHANDLE stmt = statement.get();
    int32_t count = 0;
    try {
        check_err(cli_->SQLExecDirectW(stmt, wide_arg(text), SQL_NTS), SQL_HANDLE_STMT, stmt);
        SQLINTEGER value = 0;
        SQLLEN indicator = 0;
        check_err(cli_->SQLBindCol(stmt, 1, SQL_C_LONG, &value, sizeof(value), &indicator), SQL_HANDLE_STMT, stmt);
        if (cli_->SQLFetch(stmt) == SQL_SUCCESS && indicator != SQL_NULL_DATA) count = value;
        check_err(cli_->SQLFreeStmt(stmt, SQL_UNBIND), SQL_HANDLE_STMT, stmt);
        check_err(cli_->SQLFreeStmt(stmt, SQL_CLOSE), SQL_HANDLE_STMT, stmt);
    } catch (const db2_exception&) {
        check_err(cli_->SQLFreeStmt(stmt, SQL_UNBIND), SQL_HANDLE_STMT, stmt);
        check_err(cli_->SQLFreeStmt(stmt, SQL_CLOSE), SQL_HANDLE_STMT, stmt);
        return 0;
    }
    return count;
}

std::string db2_engine::get_diag_text(SQLSMALLINT handle_type, SQLHANDLE handle) {
    std::string accumulated;
    if (!cli_ || handle == nullptr) return accumulated;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1025] = {};
        SQLINTEGER native_error = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN rc = cli_->SQLGetDiagRecW(handle_type, handle, record, state, &native_error, message,
                                                  static_cast<SQLSMALLINT>(std::size(message)), &length);
        if (rc != SQL_SUCCESS) break;
        const native_message* known = nullptr;
        for (const native_message& entry : message_table) {
            if (entry.native_error == native_error) known = &entry;
        }
        const std::string message_text = tk_to_ansi(message);
        if (tk_trace_on(2)) {
            const std::string line = "ODBC error. SQLState: " + tk_trace_utf8(state) + " Message: " + message_text +
                                     "  Native Error: " + std::to_string(native_error);
            TK_TRACE(2, "db2_engine::check_err. %s", line.c_str());
        }
        accumulated += known != nullptr ? std::string(known->text) : cut_message(message_text);
    }
    return accumulated;
}

void db2_engine::check_err(SQLRETURN result, SQLSMALLINT handle_type, SQLHANDLE handle) {
    if (result == SQL_SUCCESS) return;
    throw db2_exception(result, get_diag_text(handle_type, handle));
}
