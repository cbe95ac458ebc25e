// db2sim: administers stand-in databases and runs one statement through the CLI, the same path the
// migration engine takes. Output imitates DB2's command line processor; --csv writes RFC 4180.
//
//   db2sim create ALIAS [--user U --password P]
//   db2sim drop ALIAS | stop ALIAS | start ALIAS
//   db2sim sql ALIAS [--user U --password P] [--csv] "STATEMENT"
//
// Exit status: 0 success, 4 the statement or command failed (diagnostic on standard error),
// 8 the command line is wrong.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "db2/db2_cli_lib.h"
#include "sim_db.h"
#include "tk/tk_errco.h"

namespace {

int usage() {
    std::cerr << "usage: db2sim create ALIAS [--user U --password P]\n"
                 "       db2sim drop|stop|start ALIAS\n"
                 "       db2sim sql ALIAS [--user U --password P] [--csv] \"STATEMENT\"\n";
    return 8;
}

std::string library_path() {
    // The stand-in library sits in ../lib beside this program's bin folder.
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) {
        std::string exe(buffer, static_cast<std::size_t>(n));
        std::string folder = exe.substr(0, exe.rfind('/'));
        std::string candidate = folder + "/../lib/" + DB2SIM_LIBRARY_NAME;
        if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }
    return DB2SIM_LIBRARY_NAME;
}

std::u16string wide(const std::string& text) {
    std::u16string out;
    db2sim::utf8_to_utf16(text, out);
    return out;
}

std::string narrow(const std::u16string& text) {
    std::string out;
    db2sim::utf16_to_utf8(text, out);
    return out;
}

// Prints every diagnostic record of the handle on standard error; returns 4.
int report(const cli_library& cli, SQLSMALLINT type, SQLHANDLE handle) {
    SQLWCHAR state[6];
    SQLINTEGER native = 0;
    SQLWCHAR message[1025];
    SQLSMALLINT length = 0;
    bool any = false;
    for (SQLSMALLINT record = 1; cli.SQLGetDiagRecW(type, handle, record, state, &native, message, 1025, &length) == SQL_SUCCESS; ++record) {
        std::cerr << narrow(message) << "\n";
        any = true;
    }
    if (!any) std::cerr << "The call failed without a diagnostic.\n";
    return 4;
}

std::string csv_field(const std::string& text, bool is_null) {
    if (is_null) return {};
    if (!text.empty() && text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    return out + "\"";
}

bool right_aligned(SQLSMALLINT type) {
    switch (type) {
        case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: case SQL_REAL: case SQL_DOUBLE: case SQL_FLOAT:
        case SQL_DECIMAL: case SQL_NUMERIC: case SQL_DECFLOAT: return true;
        default: return false;
    }
}

int run_sql(const std::string& alias, const std::string& user, const std::string& password, bool csv,
            const std::string& statement) {
    cli_library cli(library_path());
    cli_environment env;
    if (env.allocate(cli, SQL_NULL_HANDLE) != SQL_SUCCESS) {
        std::cerr << "Cannot allocate a CLI environment.\n";
        return 4;
    }
    cli.SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);
    cli_connection dbc;
    if (dbc.allocate(cli, env.get()) != SQL_SUCCESS) return report(cli, SQL_HANDLE_ENV, env.get());
    std::u16string a = wide(alias), u = wide(user), p = wide(password);
    if (cli.SQLConnectW(dbc.get(), a.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS) != SQL_SUCCESS)
        return report(cli, SQL_HANDLE_DBC, dbc.get());
    cli_statement stmt;
    if (stmt.allocate(cli, dbc.get()) != SQL_SUCCESS) return report(cli, SQL_HANDLE_DBC, dbc.get());
    std::u16string text = wide(statement);
    if (cli.SQLExecDirectW(stmt.get(), text.data(), SQL_NTS) != SQL_SUCCESS)
        return report(cli, SQL_HANDLE_STMT, stmt.get());
    SQLSMALLINT columns = 0;
    cli.SQLNumResultCols(stmt.get(), &columns);
    if (columns == 0) {
        if (!csv) std::cout << "DB20000I  The SQL command completed successfully.\n";
        return 0;
    }
    std::vector<std::string> names(static_cast<std::size_t>(columns));
    std::vector<SQLSMALLINT> types(static_cast<std::size_t>(columns));
    for (SQLSMALLINT col = 1; col <= columns; ++col) {
        SQLWCHAR name[258];
        SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        cli.SQLDescribeColW(stmt.get(), static_cast<SQLUSMALLINT>(col), name, 258, &name_length, &type, &size, &digits, &nullable);
        names[static_cast<std::size_t>(col - 1)] = narrow(name);
        types[static_cast<std::size_t>(col - 1)] = type;
    }
    struct cell { std::string text; bool is_null; };
    std::vector<std::vector<cell>> rows;
    for (;;) {
        SQLRETURN rc = cli.SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return report(cli, SQL_HANDLE_STMT, stmt.get());
        std::vector<cell> row;
        for (SQLSMALLINT col = 1; col <= columns; ++col) {
            std::u16string value;
            bool is_null = false;
            for (;;) {
                SQLWCHAR part[4096];
                SQLLEN indicator = 0;
                SQLRETURN got = cli.SQLGetData(stmt.get(), static_cast<SQLUSMALLINT>(col), SQL_C_WCHAR, part, sizeof part, &indicator);
                if (got == SQL_NO_DATA) break;
                if (got != SQL_SUCCESS && got != SQL_SUCCESS_WITH_INFO) return report(cli, SQL_HANDLE_STMT, stmt.get());
                if (indicator == SQL_NULL_DATA) { is_null = true; break; }
                value += part;
                if (got == SQL_SUCCESS) break;
            }
            row.push_back({narrow(value), is_null});
        }
        rows.push_back(std::move(row));
    }
    if (csv) {
        for (std::size_t col = 0; col < names.size(); ++col) std::cout << (col ? "," : "") << csv_field(names[col], false);
        std::cout << "\r\n";
        for (const auto& row : rows) {
            for (std::size_t col = 0; col < row.size(); ++col) {
                const cell& c = row[col];
                // an empty string is "" so it is told apart from NULL (an empty unquoted field)
                std::cout << (col ? "," : "") << (c.is_null ? "" : c.text.empty() ? "\"\"" : csv_field(c.text, false));
            }
            std::cout << "\r\n";
        }
        return 0;
    }
    std::vector<std::size_t> widths(names.size());
    for (std::size_t col = 0; col < names.size(); ++col) {
        widths[col] = names[col].size();
        for (const auto& row : rows) widths[col] = std::max(widths[col], row[col].is_null ? 1 : row[col].text.size());
    }
    auto pad = [](const std::string& text, std::size_t width, bool right) {
        std::string fill(width > text.size() ? width - text.size() : 0, ' ');
        return right ? fill + text : text + fill;
    };
    for (std::size_t col = 0; col < names.size(); ++col) std::cout << (col ? " " : "") << pad(names[col], widths[col], false);
    std::cout << "\n";
    for (std::size_t col = 0; col < names.size(); ++col) std::cout << (col ? " " : "") << std::string(widths[col], '-');
    std::cout << "\n";
    for (const auto& row : rows) {
        for (std::size_t col = 0; col < row.size(); ++col)
            std::cout << (col ? " " : "") << pad(row[col].is_null ? "-" : row[col].text, widths[col], right_aligned(types[col]));
        std::cout << "\n";
    }
    std::cout << "\n  " << rows.size() << " record(s) selected.\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return usage();
    const std::string command = args[0];
    const std::string alias = args[1];
    std::string user, password, statement;
    bool csv = false, have_statement = false;
    for (std::size_t idx = 2; idx < args.size(); ++idx) {
        if (args[idx] == "--user" && idx + 1 < args.size()) user = args[++idx];
        else if (args[idx] == "--password" && idx + 1 < args.size()) password = args[++idx];
        else if (args[idx] == "--csv") csv = true;
        else if (!have_statement && command == "sql") { statement = args[idx]; have_statement = true; }
        else return usage();
    }
    try {
        if (command == "create") {
            db2sim::database::create(alias, user, password);
            std::cout << "DB20000I  The CREATE DATABASE command completed successfully.\n";
        } else if (command == "drop") {
            db2sim::database::drop(alias);
            std::cout << "DB20000I  The DROP DATABASE command completed successfully.\n";
        } else if (command == "stop" || command == "start") {
            db2sim::database::set_stopped(alias, command == "stop");
            std::cout << "DB20000I  The " << (command == "stop" ? "STOP" : "START") << " command completed successfully.\n";
        } else if (command == "sql" && have_statement) {
            return run_sql(alias, user, password, csv, statement);
        } else {
            return usage();
        }
    } catch (const db2sim::sim_error& e) {
        std::cerr << db2sim::format_diagnostic(e) << "\n";
        return 4;
    } catch (const tk_exception& e) {
        std::cerr << e.what() << "\n";
        return 4;
    }
    return 0;
}
