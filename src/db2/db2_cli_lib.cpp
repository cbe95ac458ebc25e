#include "db2/db2_cli_lib.h"

#include <dlfcn.h>

#include <cstdlib>
#include <utility>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"

namespace {

// Looks one symbol up; a missing one ends the load with the library, the name and dlerror().
template <class Fn>
void resolve(void* module, const std::string& path, const char* name, Fn& target) {
    dlerror();
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        const char* reason = dlerror();
        std::string text = "Cannot resolve " + std::string(name) + " in DB2 CLI library " + path + ": " +
                           (reason != nullptr ? reason : "symbol is null");
        TK_TRACE(1, "cli_library: %s", text.c_str());
        dlclose(module);
        throw tk_exception(text, 1);
    }
    target = reinterpret_cast<Fn>(symbol);
}

// Looks up a function only DB2's own driver offers (unixODBC's driver manager has no LOB
// locator calls): a missing one stays null and is refused where it would be called.
template <class Fn>
void resolve_optional(void* module, const std::string& path, const char* name, Fn& target) {
    dlerror();
    target = reinterpret_cast<Fn>(dlsym(module, name));
    if (target == nullptr) TK_TRACE(2, "cli_library: %s has no %s", path.c_str(), name);
}

}  // namespace

std::string cli_library::default_path() {
    const char* configured = std::getenv("QVX_DB2_CLI");
    if (configured != nullptr && *configured != '\0') return configured;
    return "libdb2o.so";
}

cli_library::cli_library() : cli_library(default_path()) {}

cli_library::cli_library(const std::string& path) : path_(path) {
    TK_TRACE(2, "cli_library::cli_library(%s)", path.c_str());
    // RTLD_LOCAL keeps the CLI's symbols from interposing on anything else loaded later.
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* reason = dlerror();
        std::string text = "Cannot load DB2 CLI library " + path + ": " + (reason != nullptr ? reason : "unknown error");
        TK_TRACE(1, "cli_library: %s", text.c_str());
        throw tk_exception(text, 1);
    }
    // resolve() closes the module before it throws.
    void* m = module_;
    resolve(m, path_, "SQLAllocHandle", SQLAllocHandle);
    resolve(m, path_, "SQLFreeHandle", SQLFreeHandle);
    resolve(m, path_, "SQLSetEnvAttr", SQLSetEnvAttr);
    resolve(m, path_, "SQLSetConnectAttrW", SQLSetConnectAttrW);
    resolve(m, path_, "SQLConnectW", SQLConnectW);
    resolve(m, path_, "SQLDisconnect", SQLDisconnect);
    resolve(m, path_, "SQLExecDirectW", SQLExecDirectW);
    resolve(m, path_, "SQLPrepareW", SQLPrepareW);
    resolve(m, path_, "SQLExecute", SQLExecute);
    resolve(m, path_, "SQLParamData", SQLParamData);
    resolve(m, path_, "SQLPutData", SQLPutData);
    resolve(m, path_, "SQLBindParameter", SQLBindParameter);
    resolve(m, path_, "SQLSetStmtAttrW", SQLSetStmtAttrW);
    resolve(m, path_, "SQLBindCol", SQLBindCol);
    resolve(m, path_, "SQLFetch", SQLFetch);
    resolve(m, path_, "SQLGetData", SQLGetData);
    resolve(m, path_, "SQLFreeStmt", SQLFreeStmt);
    resolve(m, path_, "SQLRowCount", SQLRowCount);
    resolve(m, path_, "SQLNumResultCols", SQLNumResultCols);
    resolve(m, path_, "SQLDescribeColW", SQLDescribeColW);
    resolve(m, path_, "SQLColAttributeW", SQLColAttributeW);
    resolve(m, path_, "SQLTablesW", SQLTablesW);
    resolve(m, path_, "SQLColumnsW", SQLColumnsW);
    resolve(m, path_, "SQLGetDiagRecW", SQLGetDiagRecW);
    resolve_optional(m, path_, "SQLGetLength", SQLGetLength);
    resolve_optional(m, path_, "SQLGetSubString", SQLGetSubString);
}

cli_library::~cli_library() { close(); }

cli_library::cli_library(cli_library&& other) noexcept
    : cli_functions(other), module_(std::exchange(other.module_, nullptr)), path_(std::move(other.path_)) {}

cli_library& cli_library::operator=(cli_library&& other) noexcept {
    if (this != &other) {
        close();
        static_cast<cli_functions&>(*this) = other;
        module_ = std::exchange(other.module_, nullptr);
        path_ = std::move(other.path_);
    }
    return *this;
}

void cli_library::close() noexcept {
    if (module_ != nullptr) {
        dlclose(module_);
        module_ = nullptr;
    }
}

template <SQLSMALLINT HandleType>
SQLRETURN cli_handle<HandleType>::allocate(const cli_library& cli, SQLHANDLE parent) {
    reset();
    cli_ = &cli;
    SQLHANDLE handle = nullptr;
    SQLRETURN rc = cli.SQLAllocHandle(HandleType, parent, &handle);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) handle_ = handle;
    return rc;
}

template <SQLSMALLINT HandleType>
void cli_handle<HandleType>::reset() noexcept {
    if (handle_ == nullptr) return;
    if constexpr (HandleType == SQL_HANDLE_DBC) cli_->SQLDisconnect(handle_);
    SQLRETURN rc = cli_->SQLFreeHandle(HandleType, handle_);
    if (rc != SQL_SUCCESS) TK_TRACE(1, "cli_handle: SQLFreeHandle(%d) returned %d", int(HandleType), int(rc));
    handle_ = nullptr;
}

template class cli_handle<SQL_HANDLE_ENV>;
template class cli_handle<SQL_HANDLE_DBC>;
template class cli_handle<SQL_HANDLE_STMT>;
