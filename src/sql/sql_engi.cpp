#include "sql/sql_engi.h"

#include <errmsg.h>
#include <mysql.h>

#include <string>

#include "sql/sql_db.h"
#include "sql/sql_recs.h"
#include "sql/sql_util.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

// The client handle lives inside the engine, prepared by mysql_init on it.
struct sql_engine::client {
    MYSQL handle;
};

sql_exception::sql_exception() : sql_exception(sql_engine::get_instance().get_handle()) {}

sql_exception::sql_exception(st_mysql* handle) : sql_exception(handle, mysql_errno(handle)) {}

sql_exception::sql_exception(st_mysql* handle, unsigned error_number)
    : tk_exception(mysql_error(handle), code_base | (static_cast<int>(error_number) & 0xFFFF), 0) {
    TK_TRACE(2, "sql_exception::sql_exception( msg=%s)", what());
    TK_TRACE(2, "Got MySQL error code=%d", code());
}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception("The program does not support authentication protocol requested by server. "
                   "See 'Troubleshooting' article of the product documentation.",
                   0, 1) {}

sql_engine::sql_engine() : client_(std::make_unique<client>()) { initialize(); }

sql_engine::~sql_engine() {
    if (connected_) {
        try {
            if (mysql_query(&client_->handle, "SET FOREIGN_KEY_CHECKS = 1") != 0)
                throw sql_exception(&client_->handle);
        } catch (const tk_exception& e) {
            TK_TRACE(2, "Cannot turn ON foreign key check: %s", e.what());
        }
    }
    // An engine that never connected sends nothing; its handle still holds the options' memory.
    release_handle();
}

void sql_engine::initialize() {
    TK_TRACE(1, "sql_engine::initialize");
    mysql_init(&client_->handle);
    TK_TRACE(1, "sql_engine::initialize - 1");
    mysql_options(&client_->handle, MYSQL_READ_DEFAULT_GROUP, "Ferrovane MySQL Lib");
    TK_TRACE(1, "sql_engine::initialize - 2");
    const unsigned int connect_timeout = 10;
    mysql_options(&client_->handle, MYSQL_OPT_CONNECT_TIMEOUT, &connect_timeout);
    TK_TRACE(1, "sql_engine::initialize - END");
}

void sql_engine::release_handle() noexcept {
    mysql_close(&client_->handle);
    connected_ = false;
}

st_mysql* sql_engine::get_handle() const noexcept { return &client_->handle; }

const char* sql_engine::read_server_info() { return mysql_get_server_info(&client_->handle); }

bool sql_engine::send_quietly(const char* statement, const char* failure_format) {
    if (mysql_query(&client_->handle, statement) == 0) return true;
    const sql_exception failure(&client_->handle);
    TK_TRACE(2, failure_format, failure.what());
    return false;
}

void sql_engine::set_names() {
    TK_TRACE(3, "Setting UTF-8 collation...");
    // "utf8" is the 3-byte form on current servers and would turn every 4-byte character into
    // '?'; utf8mb4 (5.5.3 and later, every MariaDB) carries all of Unicode. A server that turns
    // utf8mb4 down gets the 3-byte form.
    uint32_t version = 0;
    const bool known = sql_parse_version(read_server_info(), version);
    if (!known || version >= version_utf8mb4) {
        if (mysql_query(&client_->handle, "SET NAMES utf8mb4") == 0) return;
        const sql_exception failure(&client_->handle);
        TK_TRACE(2, "Cannot set UTF-8 collation: %s", failure.what());
    }
    if (mysql_query(&client_->handle, "SET NAMES UTF8") == 0) return;
    const sql_exception failure(&client_->handle);
    TK_TRACE(3, "Failed");
    TK_TRACE(2, "Cannot set UTF-8 collation: %s", failure.what());
}

void sql_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, int32_t port) {
    TK_TRACE(2, "sql_engine::connect(%s,%s,%s)", host.c_str(), user.c_str(), "***");
    if (connected_) {
        TK_TRACE(2, "Connection was established already - disconnecting...");
    }
    // A closed handle is released: it is prepared again, with its options, before reconnecting.
    // The same holds after a failed attempt, so every attempt starts from a fresh handle.
    release_handle();
    version_ = 0;
    initialize();

    TK_TRACE(3, "Connecting to MySQL server...");
    if (mysql_real_connect(&client_->handle, host.empty() ? nullptr : host.c_str(), user.c_str(),
                           password.c_str(), nullptr, static_cast<unsigned int>(port), nullptr,
                           0) == nullptr) {
        // MariaDB's client library reports a TCP server it cannot reach with 2002, the number the
        // MySQL library keeps for the local socket; callers know that failure as 2003.
        const bool over_tcp = !host.empty() && host != "localhost";
        if (over_tcp && mysql_errno(&client_->handle) == CR_CONNECTION_ERROR)
            throw sql_exception(&client_->handle, CR_CONN_HOST_ERROR);
        throw sql_exception(&client_->handle);
    }
    connected_ = true;
    set_names();

    const char* version_text = read_server_info();
    if (version_text == nullptr || *version_text == '\0') return;
    TK_TRACE(2, "Got MySQL server version: %s", version_text);
    uint32_t version = 0;
    if (!sql_parse_version(version_text, version)) {
        TK_TRACE(3, "Invalid MySQL version: %s", version_text);
        throw tk_mail_assertion("sql_engi", 112);
    }
    version_ = version;
    TK_TRACE(1, "Hex version: %08X", version_);
    if (version_ == 0x040100 && !password.empty()) throw sql_auth_not_supported_exception();

    send_quietly("SET FOREIGN_KEY_CHECKS = 0", "Cannot turn off foreign key check: %s");
    // A table is read as one stream; while the converter waits (an error dialog), the server
    // must not give up on the rows it has not yet delivered.
    const std::string timeout =
        "SET SESSION net_write_timeout = " + std::to_string(net_write_timeout_seconds);
    send_quietly(timeout.c_str(), "Cannot set net_write_timeout: %s");
}

std::unique_ptr<udb_database> sql_engine::create_db(const std::u16string& name) {
    TK_TRACE(2, "sql_engine::create_db(%s)", TK_W(name));
    throw tk_mail_assertion("sql_engi", __LINE__);
}

void sql_engine::db_delete(const std::u16string& name) {
    TK_TRACE(2, "sql_engine::db_delete(%s)", TK_W(name));
    throw tk_mail_assertion("sql_engi", __LINE__);
}

bool sql_engine::is_db_exist(const std::u16string& name) {
    TK_TRACE(1, "sql_engine::is_db_exist(%s)", TK_W(name));
    return mysql_select_db(&client_->handle, tk_to_utf8(name).c_str()) == 0;
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::u16string& name, int32_t mode,
                                                  const std::u16string& /*extra*/) {
    TK_TRACE(2, "sql_engine::open_db (%s)", TK_W(name));
    TK_TRACE(3, "Opening MySQL database '%s'", TK_W(name));
    if (mysql_select_db(&client_->handle, tk_to_utf8(name).c_str()) != 0)
        throw sql_exception(&client_->handle);
    return std::make_unique<sql_database>(name, &client_->handle, mode);
}

std::vector<std::u16string> sql_engine::get_contents() {
    TK_TRACE(2, "sql_engine::get_contents");
    TK_TRACE(2, "Step #1");
    MYSQL_RES* result = mysql_list_dbs(&client_->handle, nullptr);
    if (result == nullptr) throw sql_exception(&client_->handle);
    sql_tmp_recordset reader(result);
    std::vector<std::u16string> names;
    for (reader.reset(); !reader.is_eof(); reader.next()) {
        names.push_back(reader.get_item()->at(0).to_wstring());
        TK_TRACE(2, "Got database %s", TK_W(names.back()));
    }
    return names;
}

std::u16string sql_engine::quote_name(std::u16string_view name) const {
    return sql_quote_name(name, version_);
}
