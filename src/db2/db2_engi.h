// The DB2 engine: the one DB2 connection of the process. db2_engine owns the CLI library, the
// environment and connection handles, turns CLI diagnostics into db2_exception (check_err), lists
// schemas and tables, runs single statements and counts rows. Every other DB2 class reaches the
// connection through db2_engine::get_instance(). It also holds the process-wide index-name
// validator, so index names stay unique across every table a run creates.
//
// Single instance, owned by the DB2 side of the converter; one thread at a time uses it and every
// record set it serves. Record sets and databases opened through it are released before it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db2/db2_cli_lib.h"
#include "db2/db2_util.h"
#include "tk/tk_errco.h"
#include "tk/tk_singl.h"

class db2_database;

// A DB2 failure. Keeps the text only: its code is 0 and its level 0 (report and go on), because the
// friendly texts of DB2 failures are chosen by check_err already.
class db2_exception : public tk_exception {
public:
    db2_exception(SQLRETURN result, std::string message);
    db2_exception(SQLRETURN result, const std::u16string& message);
};

class db2_engine : public tk_single_instance<db2_engine> {
public:
    // Receives a record that DB2 refused after it had been accepted into an insert array: the DB2
    // table, the record's number counted from 1 in the order the record set received records, and
    // the failure. It may throw (tk_final_exception when the user stops the run); the throw passes
    // out of the append or close that sent the array.
    using record_error_handler =
        std::function<void(const std::u16string& table, int32_t record_number, const db2_exception& error)>;

    // Registers the single instance. No CLI call is made.
    db2_engine();
    virtual ~db2_engine();

    // Loads the CLI library and allocates the environment and connection. A library that cannot be
    // loaded or an environment that cannot be allocated gives "Cannot find DB2 environment. Make
    // sure you have valid DB2 installation on your system".
    void initialize();
    // Opens the connection (disconnecting first when one is open). Throws db2_exception with the
    // table text for a stopped server or wrong credentials, else the cut DB2 message.
    void connect(const std::u16string& database, const std::u16string& user, const std::u16string& password);
    // The schema opened as a destination database; user and password are only traced.
    std::unique_ptr<db2_database> open_db(const std::u16string& schema, const std::u16string& user,
                                          const std::u16string& password);
    // Every schema of the database, each once, in the order the CLI lists them. Throws
    // db2_exception "Not connected to DB2 server" without a connection.
    std::vector<std::u16string> get_contents();
    // The names SQLTables gives for the patterns: schema names when the schema pattern starts with
    // "%" (one per table), else the names of the tables of type TABLE. Duplicates stay.
    std::vector<std::u16string> list_tables(const std::u16string& schema_pattern,
                                            const std::u16string& table_pattern);
    // Runs one statement that returns no rows; db2_exception when DB2 refuses it.
    void execute(const std::u16string& statement);
    // "SELECT count(*) FROM " + the expression (the caller quotes it). 0 when DB2 refuses the
    // statement, for example for a missing table.
    int32_t get_record_count(const std::u16string& table_expression);
    // Returns when `result` is SQL_SUCCESS; otherwise throws db2_exception with the diagnostics of
    // the handle (SQL_SUCCESS_WITH_INFO included).
    void check_err(SQLRETURN result, SQLSMALLINT handle_type, SQLHANDLE handle);
    // The text check_err would throw for these diagnostics, without throwing.
    std::string get_diag_text(SQLSMALLINT handle_type, SQLHANDLE handle);

    // A new statement on the connection (check_err on the connection).
    cli_statement new_statement();
    // The loaded CLI library; an internal error before initialize.
    const cli_library& cli() const;
    SQLHANDLE connection() const noexcept { return connection_.get(); }
    bool is_connected() const noexcept { return connected_; }
    db2_in_validator& get_in_validator() noexcept { return in_validator_; }

    // Where refused records go. Without a handler, the refused records of an array are gathered
    // into one db2_exception thrown after the rest of the array has been stored.
    void set_record_error_handler(record_error_handler handler) { record_error_handler_ = std::move(handler); }
    const record_error_handler& get_record_error_handler() const noexcept { return record_error_handler_; }

private:
    std::vector<std::u16string> list_schemas();

    bool initialized_ = false;
    std::u16string database_;
    std::u16string user_;
    std::u16string password_;
    // Declared in acquisition order so that destruction frees the connection, the environment and
    // then unloads the library.
    std::unique_ptr<cli_library> cli_;
    cli_environment environment_;
    cli_connection connection_;
    bool connected_ = false;
    db2_in_validator in_validator_;
    record_error_handler record_error_handler_;
};

// Writes an identifier between double quotes, doubling every double quote inside it.
std::u16string db2_quote(const std::u16string& identifier);
// The text between two delimiters, each delimiter inside it doubled: '"' makes an identifier,
// '\'' a string literal.
std::u16string db2_enclose(std::u16string_view text, char16_t delimiter);
// A name as a catalog search pattern that matches only itself: '%', '_' and the escape character
// '\' are escaped.
std::u16string db2_pattern(const std::u16string& name);
