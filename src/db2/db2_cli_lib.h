// The run-time binding to a DB2 CLI library. cli_library opens the library with dlopen and
// resolves every CLI function the DB2 side calls into the public pointer members of cli_functions,
// named as IBM names the functions, so a call reads `cli.SQLFetch(stmt)`. The handle wrappers below
// each own one CLI handle and free it when they go; they borrow the library, which must outlive
// them (declare the library first, then environment, connection and statement).
//
// The library is loaded once per engine; the pointers are immutable after construction, so any
// thread may call through a const cli_library. A handle wrapper belongs to one thread at a time.
#pragma once

#include <string>

#include "db2/db2_cli.h"

// One pointer per CLI function the DB2 side uses. Filled completely by cli_library: a member is
// never null in a constructed library.
struct cli_functions {
    SQLAllocHandle_fn SQLAllocHandle = nullptr;
    SQLFreeHandle_fn SQLFreeHandle = nullptr;
    SQLSetEnvAttr_fn SQLSetEnvAttr = nullptr;
    SQLSetConnectAttrW_fn SQLSetConnectAttrW = nullptr;
    SQLConnectW_fn SQLConnectW = nullptr;
    SQLDisconnect_fn SQLDisconnect = nullptr;
    SQLExecDirectW_fn SQLExecDirectW = nullptr;
    SQLPrepareW_fn SQLPrepareW = nullptr;
    SQLExecute_fn SQLExecute = nullptr;
    SQLParamData_fn SQLParamData = nullptr;
    SQLPutData_fn SQLPutData = nullptr;
    SQLBindParameter_fn SQLBindParameter = nullptr;
    SQLSetStmtAttrW_fn SQLSetStmtAttrW = nullptr;
    SQLBindCol_fn SQLBindCol = nullptr;
    SQLFetch_fn SQLFetch = nullptr;
    SQLGetData_fn SQLGetData = nullptr;
    SQLFreeStmt_fn SQLFreeStmt = nullptr;
    SQLRowCount_fn SQLRowCount = nullptr;
    SQLNumResultCols_fn SQLNumResultCols = nullptr;
    SQLDescribeColW_fn SQLDescribeColW = nullptr;
    SQLColAttributeW_fn SQLColAttributeW = nullptr;
    SQLTablesW_fn SQLTablesW = nullptr;
    SQLColumnsW_fn SQLColumnsW = nullptr;
    SQLGetDiagRecW_fn SQLGetDiagRecW = nullptr;
    // Null when the library has no LOB locator calls (unixODBC's driver manager).
    SQLGetLength_fn SQLGetLength = nullptr;
    SQLGetSubString_fn SQLGetSubString = nullptr;
};

// An opened CLI library. Move-only; the library is closed when its owner goes (a moved-from
// object owns nothing and its pointers must not be called).
class cli_library : public cli_functions {
public:
    // Opens the library at `path` (a file name is searched as dlopen searches) and resolves every
    // function. Throws tk_exception (level 1) when the library cannot be opened or lacks a
    // function; the message and the trace line (level 1) name the library, the missing function
    // if any, and dlerror().
    explicit cli_library(const std::string& path);
    // Opens default_path().
    cli_library();
    ~cli_library();
    cli_library(cli_library&& other) noexcept;
    cli_library& operator=(cli_library&& other) noexcept;
    cli_library(const cli_library&) = delete;
    cli_library& operator=(const cli_library&) = delete;

    // $QVX_DB2_CLI when set and not empty, else "libdb2o.so" (IBM's build for 64-bit ODBC callers;
    // IBM's libdb2.so writes 32-bit lengths and must not be used).
    static std::string default_path();
    const std::string& path() const { return path_; }

private:
    void close() noexcept;

    void* module_ = nullptr;
    std::string path_;
};

// Owns one CLI handle of the given type. Empty until allocate() succeeds; freeing never throws
// (a failure is only traced). The connection form disconnects before it frees, so a wrapper
// going away with an open connection does not leak it.
template <SQLSMALLINT HandleType>
class cli_handle {
public:
    cli_handle() noexcept = default;
    ~cli_handle() { reset(); }
    cli_handle(cli_handle&& other) noexcept
        : cli_(other.cli_), handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    cli_handle& operator=(cli_handle&& other) noexcept {
        if (this != &other) {
            reset();
            cli_ = other.cli_;
            handle_ = other.handle_;
            other.handle_ = nullptr;
        }
        return *this;
    }
    cli_handle(const cli_handle&) = delete;
    cli_handle& operator=(const cli_handle&) = delete;

    // Frees any handle held, then SQLAllocHandle(HandleType, parent). Returns the CLI result;
    // on anything but SQL_SUCCESS / SQL_SUCCESS_WITH_INFO the wrapper stays empty and the
    // diagnostics are on the parent handle. `parent` is SQL_NULL_HANDLE for an environment.
    SQLRETURN allocate(const cli_library& cli, SQLHANDLE parent);
    // Frees the handle now (connection: SQLDisconnect first, its result ignored).
    void reset() noexcept;

    SQLHANDLE get() const noexcept { return handle_; }
    static constexpr SQLSMALLINT type() noexcept { return HandleType; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    const cli_library* cli_ = nullptr;
    SQLHANDLE handle_ = nullptr;
};

using cli_environment = cli_handle<SQL_HANDLE_ENV>;
using cli_connection = cli_handle<SQL_HANDLE_DBC>;
using cli_statement = cli_handle<SQL_HANDLE_STMT>;

extern template class cli_handle<SQL_HANDLE_ENV>;
extern template class cli_handle<SQL_HANDLE_DBC>;
extern template class cli_handle<SQL_HANDLE_STMT>;
