// The MySQL engine: the one connection to the MySQL (or MariaDB) server through which the whole
// MySQL side works. It connects, switches the session to UTF-8 (utf8mb4 where the server has it)
// and foreign-key checking off for the conversion (on again when the engine goes), reads the
// server version that selects the old-server branches, and opens databases as sql_database.
// A process-wide single instance; the MySQL record-sets reach the connection, the version and
// quote_name through sql_engine::get_instance(). The engine owns the client handle; databases
// and record-sets borrow it and are released before the engine. One thread at a time.
//
// This header does not include <mysql.h>: the client handle is only named (struct st_mysql).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tk/tk_errco.h"
#include "tk/tk_singl.h"

struct st_mysql;
class udb_database;

// A failure reported by the MySQL client library. The message is mysql_error() of the handle at
// construction, the code 0x400000 | the low 16 bits of mysql_errno(), the level 0. Build it right
// after the failing call, from the same handle.
class sql_exception : public tk_exception {
public:
    // From the engine's connection; without an engine, tk_mail_assertion (tk_singl).
    sql_exception();
    explicit sql_exception(st_mysql* handle);
    // With another error number than the handle's (the message stays the handle's).
    sql_exception(st_mysql* handle, unsigned error_number);

    static constexpr int code_base = 0x400000;
};

// A 4.1.0 server asking for a password: its authentication protocol is not supported. Level 1.
class sql_auth_not_supported_exception : public tk_exception {
public:
    sql_auth_not_supported_exception();
};

class sql_engine : public tk_single_instance<sql_engine> {
public:
    // Version numbers (major << 16 | minor << 8 | patch) where the server's behaviour changes.
    static constexpr uint32_t version_foreign_keys = 0x03172C;   // 3.23.44: SHOW CREATE TABLE step
    static constexpr uint32_t version_backticks = 0x040100;      // 4.1.0: quoted names
    static constexpr uint32_t version_full_tables = 0x050001;    // 5.0.1: SHOW FULL TABLES
    static constexpr uint32_t version_utf8mb4 = 0x050503;        // 5.5.3: 4-byte UTF-8
    // Seconds the server waits for a reader that does not take its rows (an error dialog
    // waiting for the user while a table is being streamed).
    static constexpr uint32_t net_write_timeout_seconds = 86400;

    // Registers the single instance (a second one raises tk_mail_assertion) and prepares the
    // client handle (initialize).
    sql_engine();
    // When connected: foreign-key checking on again (a failure is only traced). Always releases
    // the client handle. Never throws.
    virtual ~sql_engine();
    sql_engine(const sql_engine&) = delete;
    sql_engine& operator=(const sql_engine&) = delete;

    // Prepares the client handle: option group "Ferrovane MySQL Lib", connect time-out 10 s.
    void initialize();
    // Connects (closing an earlier connection first). An empty host is the local server. The
    // password is never traced. Throws sql_exception when the server cannot be reached or refuses
    // the login, sql_auth_not_supported_exception for a 4.1.0 server with a non-empty password
    // (the connection is then made), tk_mail_assertion (sql_engi 112) for a version text that is
    // not "major.minor.patch". Charset, foreign-key and time-out settings only trace failures.
    void connect(const std::string& host, const std::string& user, const std::string& password,
                 int32_t port);

    // MySQL is only a source: creating and dropping databases raise tk_mail_assertion.
    virtual std::unique_ptr<udb_database> create_db(const std::u16string& name);
    // Selects the database and returns it with its base tables listed; the caller owns it and
    // deletes it before the engine. `mode` goes to the database; `extra` is not used. Throws
    // sql_exception when the database cannot be selected or its tables not listed.
    virtual std::unique_ptr<udb_database> open_db(const std::u16string& name, int32_t mode,
                                                  const std::u16string& extra = std::u16string());
    virtual void db_delete(const std::u16string& name);
    // True when the database can be selected; it then stays selected.
    virtual bool is_db_exist(const std::u16string& name);

    // Names of all databases on the server, in server order. Throws sql_exception.
    std::vector<std::u16string> get_contents();

    // A table name as generated statements write it: between backticks, a backtick inside doubled,
    // from server 4.1.0 on; unchanged for older servers (which know no quoting).
    std::u16string quote_name(std::u16string_view name) const;

    bool is_connected() const noexcept { return connected_; }
    // major << 16 | minor << 8 | patch; 0 until a version has been read.
    uint32_t get_version() const noexcept { return version_; }
    // Lets the old-server branches be exercised against a current server.
    void set_version(uint32_t version) noexcept { version_ = version; }
    st_mysql* get_handle() const noexcept;

protected:
    // The server's version text (mysql_get_server_info); a test engine plays an older server here.
    virtual const char* read_server_info();

private:
    struct client;
    // Sends a statement whose failure is only traced (with `failure_format` and the message).
    bool send_quietly(const char* statement, const char* failure_format);
    void set_names();
    void release_handle() noexcept;

    bool connected_ = false;
    uint32_t version_ = 0;
    std::unique_ptr<client> client_;
};
