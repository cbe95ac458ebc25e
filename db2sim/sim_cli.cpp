// The exported CLI functions of libdb2sim.so: handles, diagnostics, parameter and column binding,
// parameter arrays, data at execution, row-array fetch, LOB locators and fault injection. Every
// call runs under one process-wide lock, so handles may be used from any thread, one call at a
// time. Handles are checked against the set of live handles before use: a stale or foreign
// pointer gives SQL_INVALID_HANDLE instead of a crash.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <type_traits>
#include <unordered_set>

#include "db2/db2_cli.h"
#include "sim_db.h"

#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

using namespace db2sim;

namespace {

std::recursive_mutex g_lock;
std::unordered_set<const void*> g_live;

struct handle_base {
    SQLSMALLINT type;
    std::vector<sim_error> diags;
    explicit handle_base(SQLSMALLINT t) : type(t) {}
};

struct dbc_handle;
struct stmt_handle;

struct env_handle : handle_base {
    env_handle() : handle_base(SQL_HANDLE_ENV) {}
    std::vector<dbc_handle*> connections;
};

struct locator_entry {
    value v;
    col_type type;
    const stmt_handle* owner;
};

struct dbc_handle : handle_base {
    dbc_handle() : handle_base(SQL_HANDLE_DBC) {}
    env_handle* env = nullptr;
    std::unique_ptr<database> db;
    std::vector<stmt_handle*> statements;
    std::map<SQLINTEGER, locator_entry> locators;
    SQLINTEGER next_locator = 1;
};

struct param_binding {
    bool bound = false;
    SQLSMALLINT c_type = 0;
    SQLSMALLINT sql_type = 0;
    SQLPOINTER data = nullptr;
    SQLLEN buffer_length = 0;
    SQLLEN* indicator = nullptr;
};

struct column_binding {
    SQLSMALLINT c_type = 0;
    SQLPOINTER data = nullptr;
    SQLLEN buffer_length = 0;
    SQLLEN* indicator = nullptr;
};

struct pending_value {
    std::size_t row;
    std::size_t param;
    std::string data;
    bool is_null = false;
};

struct stmt_handle : handle_base {
    stmt_handle() : handle_base(SQL_HANDLE_STMT) {}
    dbc_handle* dbc = nullptr;
    std::unique_ptr<prepared_statement> prepared;
    std::unique_ptr<cursor> rows;
    std::vector<param_binding> params;
    std::vector<column_binding> columns;
    SQLULEN paramset_size = 1;
    SQLULEN row_array_size = 1;
    SQLULEN* rows_fetched = nullptr;
    SQLUSMALLINT* param_status = nullptr;
    SQLULEN* params_processed = nullptr;
    SQLUSMALLINT* row_status = nullptr;
    SQLULEN atomic = SQL_ATOMIC_YES;
    SQLLEN row_count = -1;
    std::vector<pending_value> pending;
    std::ptrdiff_t pending_index = -1;
    bool need_data = false;
    std::vector<value> current_row;
    bool has_row = false;
    std::vector<std::size_t> get_offsets;
    std::vector<SQLINTEGER> fetch_locators;  // locators made by the last fetch
};

// ---------------------------------------------------------------------------------------------
// Fault injection: DB2SIM_FAIL=<function>:<n>:<sqlcode>[,...] makes the n-th call of that
// function (counted from the allocation of an environment) fail with that SQLCODE.

struct fault_rule {
    std::string function;
    long nth;
    int sqlcode;
};
std::vector<fault_rule> g_faults;
std::map<std::string, long> g_call_counts;

void load_faults() {
    g_faults.clear();
    g_call_counts.clear();
    const char* setting = std::getenv("DB2SIM_FAIL");
    if (setting == nullptr) return;
    std::string all = setting;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find(',', start);
        std::string item = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::size_t c1 = item.find(':'), c2 = item.find(':', c1 == std::string::npos ? 0 : c1 + 1);
        if (c1 != std::string::npos && c2 != std::string::npos)
            g_faults.push_back({item.substr(0, c1), std::atol(item.substr(c1 + 1, c2 - c1 - 1).c_str()),
                                std::atoi(item.substr(c2 + 1).c_str())});
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

sim_error injected_error(int sqlcode) {
    switch (sqlcode) {
        case -911: return sql_error(-911, "40001", "The current transaction has been rolled back because of a deadlock or timeout.  Reason code \"2\".");
        case -1032: return sql_error(-1032, "57019", "No start database manager command was issued.");
        case -1013: return sql_error(-1013, "42705", "The database alias name or database name could not be found.");
        case -30081: return sql_error(-30081, "08001", "A communication error has been detected.  Communication protocol being used: \"TCP/IP\".");
        case -30082: return sql_error(-30082, "08001", "Security processing failed with reason \"24\" (\"USERNAME AND/OR PASSWORD INVALID\").");
        case -964: return sql_error(-964, "57011", "The transaction log for the database is full.");
        case -803: return sql_error(-803, "23505", "One or more values in the INSERT statement, UPDATE statement, or foreign key update caused by a DELETE statement are not valid because the primary key, unique constraint or unique index identified by \"1\" constrains table from having duplicate values for the index key.");
        default: return sql_error(sqlcode, "58004", "Failure injected by DB2SIM_FAIL.");
    }
}

// True when this call must fail; the diagnostic goes on `h` (may be null).
bool injected(const char* function, handle_base* h) {
    if (g_faults.empty()) return false;
    long count = ++g_call_counts[function];
    for (const fault_rule& rule : g_faults) {
        if (rule.function == function && rule.nth == count) {
            if (h != nullptr) h->diags.push_back(injected_error(rule.sqlcode));
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------

template <class T>
T* as(SQLHANDLE h, SQLSMALLINT type) {
    if (h == nullptr || g_live.count(h) == 0) return nullptr;
    auto* base = static_cast<handle_base*>(h);
    return base->type == type ? static_cast<T*>(base) : nullptr;
}

SQLRETURN fail(handle_base* h, sim_error e) {
    h->diags.push_back(std::move(e));
    return SQL_ERROR;
}

sim_error sequence_error() { return cli_error("CLI0125E", "HY010", "Function sequence error."); }
sim_error cursor_state() { return cli_error("CLI0115E", "24000", "Invalid cursor state."); }
sim_error bad_length() { return cli_error("CLI0124E", "HY090", "Invalid string or buffer length."); }
sim_error bad_column() { return cli_error("CLI0144E", "07009", "Invalid column number."); }
sim_error truncated() { return cli_error("CLI0002W", "01004", "Data truncated."); }
sim_error out_of_range() { return cli_error("CLI0111E", "22003", "Numeric value out of range."); }
sim_error restricted_type() { return cli_error("CLI0112E", "07006", "Invalid conversion."); }

// Runs the body and turns exceptions into diagnostics.
template <class F>
SQLRETURN guarded(handle_base* h, F&& body) {
    try {
        return body();
    } catch (const sim_error& e) {
        return fail(h, e);
    } catch (const std::bad_alloc&) {
        return fail(h, cli_error("CLI0120E", "HY001", "Memory allocation failure."));
    } catch (const std::exception& e) {
        return fail(h, cli_error("CLI0150E", "HY000", std::string("Internal error: ") + e.what()));
    }
}

bool wide_arg(const SQLWCHAR* text, SQLINTEGER length, std::string& out) {
    if (text == nullptr) return false;
    std::size_t n;
    if (length == SQL_NTS) {
        n = 0;
        while (text[n] != 0) ++n;
    } else {
        n = length < 0 ? 0 : static_cast<std::size_t>(length);
    }
    utf16_to_utf8(std::u16string_view(text, n), out);
    return true;
}

void close_cursor(stmt_handle* s) {
    s->rows.reset();
    s->has_row = false;
    s->current_row.clear();
    for (auto it = s->dbc->locators.begin(); it != s->dbc->locators.end();)
        it = it->second.owner == s ? s->dbc->locators.erase(it) : std::next(it);
    s->fetch_locators.clear();
}

void free_statement(stmt_handle* s) {
    close_cursor(s);
    auto& list = s->dbc->statements;
    list.erase(std::remove(list.begin(), list.end(), s), list.end());
    g_live.erase(s);
    delete s;
}

bool fixed_size(SQLSMALLINT c_type, std::size_t& size) {
    switch (c_type) {
        case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT:
        case SQL_C_BLOB_LOCATOR: case SQL_C_CLOB_LOCATOR: case SQL_C_DBCLOB_LOCATOR: size = 4; return true;
        case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: size = 2; return true;
        case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT: size = 1; return true;
        case SQL_C_SBIGINT: case SQL_C_UBIGINT: case SQL_C_DOUBLE: size = 8; return true;
        case SQL_C_TYPE_DATE: size = sizeof(SQL_DATE_STRUCT); return true;
        case SQL_C_TYPE_TIME: size = sizeof(SQL_TIME_STRUCT); return true;
        case SQL_C_TYPE_TIMESTAMP: size = sizeof(SQL_TIMESTAMP_STRUCT); return true;
        default: return false;
    }
}

bool supported_param_type(SQLSMALLINT c_type) {
    std::size_t size;
    if (c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY) return true;
    return fixed_size(c_type, size) && c_type != SQL_C_BLOB_LOCATOR && c_type != SQL_C_CLOB_LOCATOR &&
           c_type != SQL_C_DBCLOB_LOCATOR;
}

// ---------------------------------------------------------------------------------------------
// Parameters: application buffers to values

std::size_t stride_of(SQLSMALLINT c_type, SQLLEN buffer_length) {
    std::size_t size;
    if (fixed_size(c_type, size)) return size;
    return buffer_length > 0 ? static_cast<std::size_t>(buffer_length) : 0;
}

void convert_param(const stmt_handle* s, std::size_t row, std::size_t idx, const column_def* target, value& v) {
    const param_binding& b = s->params[idx];
    const char* data = nullptr;
    std::size_t length = 0;
    const pending_value* late = nullptr;
    for (const pending_value& p : s->pending)
        if (p.row == row && p.param == idx) { late = &p; break; }
    std::size_t stride = stride_of(b.c_type, b.buffer_length);
    if (late != nullptr) {
        if (late->is_null) { v.set_null(); return; }
        data = late->data.data();
        length = late->data.size();
    } else {
        SQLLEN ind = b.indicator != nullptr ? b.indicator[row] : SQL_NTS;
        if (ind == SQL_NULL_DATA) { v.set_null(); return; }
        data = static_cast<const char*>(b.data) + row * stride;
        if (b.data == nullptr) throw cli_error("CLI0124E", "HY009", "Invalid argument value.");
        if (b.c_type == SQL_C_WCHAR || b.c_type == SQL_C_CHAR || b.c_type == SQL_C_BINARY) {
            if (ind == SQL_NTS) {
                if (b.c_type == SQL_C_BINARY) throw bad_length();
                std::size_t unit = b.c_type == SQL_C_WCHAR ? 2 : 1;
                std::size_t limit = b.buffer_length > 0 ? static_cast<std::size_t>(b.buffer_length) / unit : SIZE_MAX;
                std::size_t n = 0;
                if (unit == 2) {
                    const auto* w = reinterpret_cast<const SQLWCHAR*>(data);
                    while (n < limit && w[n] != 0) ++n;
                } else {
                    while (n < limit && data[n] != 0) ++n;
                }
                length = n * unit;
            } else if (ind < 0 || (b.buffer_length > 0 && ind > b.buffer_length)) {
                // a length past the application's cell would read someone else's memory
                throw bad_length();
            } else {
                length = static_cast<std::size_t>(ind);
            }
        }
    }
    auto read = [&](auto sample) {
        decltype(sample) x;
        std::memcpy(&x, data, sizeof x);
        return x;
    };
    switch (b.c_type) {
        case SQL_C_WCHAR: {
            std::u16string_view wide(reinterpret_cast<const char16_t*>(data), length / 2);
            v.k = value::kind::text;
            utf16_to_utf8(wide, v.text);
            return;
        }
        case SQL_C_CHAR:
            v.set_text(std::string_view(data, length));
            return;
        case SQL_C_BINARY:
            v.set_bytes(std::string_view(data, length));
            return;
        case SQL_C_LONG: case SQL_C_SLONG: v.set_int(read(std::int32_t{})); return;
        case SQL_C_ULONG: v.set_int(read(std::uint32_t{})); return;
        case SQL_C_SHORT: case SQL_C_SSHORT: v.set_int(read(std::int16_t{})); return;
        case SQL_C_USHORT: v.set_int(read(std::uint16_t{})); return;
        case SQL_C_TINYINT: case SQL_C_STINYINT: v.set_int(read(std::int8_t{})); return;
        case SQL_C_UTINYINT: v.set_int(read(std::uint8_t{})); return;
        case SQL_C_BIT: {
            auto bit = read(std::uint8_t{});
            if (bit > 1) throw out_of_range();
            v.set_int(bit);
            return;
        }
        case SQL_C_SBIGINT: v.set_int(read(std::int64_t{})); return;
        case SQL_C_UBIGINT: {
            std::uint64_t u = read(std::uint64_t{});
            if (u > static_cast<std::uint64_t>(INT64_MAX)) v.set_decimal(static_cast<__int128>(u), 0);
            else v.set_int(static_cast<std::int64_t>(u));
            return;
        }
        case SQL_C_DOUBLE: v.set_double(read(double{})); return;
        case SQL_C_FLOAT: v.set_double(read(float{})); return;
        case SQL_C_TYPE_DATE: {
            auto d = read(SQL_DATE_STRUCT{});
            v.k = value::kind::text;
            if (!make_date(d.year, d.month, d.day, v.text))
                throw sql_error(-181, "22008", "The string representation of a datetime value is out of range.");
            return;
        }
        case SQL_C_TYPE_TIME: {
            auto t = read(SQL_TIME_STRUCT{});
            v.k = value::kind::text;
            if (!make_time(t.hour, t.minute, t.second, v.text))
                throw sql_error(-181, "22008", "The string representation of a datetime value is out of range.");
            return;
        }
        case SQL_C_TYPE_TIMESTAMP: {
            auto ts = read(SQL_TIMESTAMP_STRUCT{});
            v.k = value::kind::text;
            bool ok;
            // A timestamp assigned to a DATE keeps its date part, to a TIME its time part; the
            // other fields are not looked at (CLI conversion of SQL_C_TYPE_TIMESTAMP).
            if (target != nullptr && target->type == col_type::date)
                ok = make_date(ts.year, ts.month, ts.day, v.text);
            else if (target != nullptr && target->type == col_type::time)
                ok = make_time(ts.hour, ts.minute, ts.second, v.text);
            else
                ok = make_timestamp(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second, ts.fraction,
                                    target != nullptr && target->type == col_type::timestamp ? target->scale : 6, v.text);
            if (!ok) throw sql_error(-181, "22008", "The string representation of a datetime value is out of range.");
            return;
        }
        default:
            throw cli_error("CLI0122E", "HY003", "Program type out of range.");
    }
}

// ---------------------------------------------------------------------------------------------
// Columns: values to application buffers

// Writes text (UTF-8 source) as NUL-terminated character data; returns true when cut.
bool put_text(const std::string& utf8, bool wide, std::size_t offset, char* target, SQLLEN buffer_length,
              SQLLEN* indicator) {
    if (wide) {
        std::u16string w;
        utf8_to_utf16(utf8, w);
        std::size_t total = w.size() > offset ? w.size() - offset : 0;
        if (indicator != nullptr) *indicator = static_cast<SQLLEN>(total * 2);
        if (target == nullptr || buffer_length < 2) return total > 0;
        std::size_t room = static_cast<std::size_t>(buffer_length) / 2 - 1;
        std::size_t n = std::min(room, total);
        std::memcpy(target, w.data() + offset, n * 2);
        reinterpret_cast<SQLWCHAR*>(target)[n] = 0;
        return n < total;
    }
    std::size_t total = utf8.size() > offset ? utf8.size() - offset : 0;
    if (indicator != nullptr) *indicator = static_cast<SQLLEN>(total);
    if (target == nullptr || buffer_length < 1) return total > 0;
    std::size_t n = std::min(static_cast<std::size_t>(buffer_length) - 1, total);
    std::memcpy(target, utf8.data() + offset, n);
    target[n] = '\0';
    return n < total;
}

std::string char_form(const value& v, const column_def& def) { return to_display(v, def.type); }

double number_of(const value& v) {
    switch (v.k) {
        case value::kind::integer: return static_cast<double>(v.i);
        case value::kind::dbl: return v.d;
        case value::kind::decimal: {
            double p = 1;
            for (int n = 0; n < v.scale; ++n) p *= 10;
            return static_cast<double>(v.dec) / p;
        }
        default: {
            value n;
            if (!parse_number(v.text, n)) throw cli_error("CLI0112E", "22018", "Invalid character value for cast specification.");
            return number_of(n);
        }
    }
}

// Writes one value into a bound cell. Returns true when character or binary data was cut.
bool put_value(dbc_handle* dbc, stmt_handle* owner, const value& v, const column_def& def, SQLSMALLINT c_type,
               char* target, SQLLEN buffer_length, SQLLEN* indicator, std::size_t offset) {
    if (v.is_null()) {
        if (indicator == nullptr) throw cli_error("CLI0136E", "22002", "Indicator variable required but not supplied.");
        *indicator = SQL_NULL_DATA;
        return false;
    }
    auto integer = [&](std::int64_t lo, std::int64_t hi) {
        std::int64_t out;
        if (v.k == value::kind::integer) {
            out = v.i;
        } else {
            double d = number_of(v);
            if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi))) throw out_of_range();
            out = static_cast<std::int64_t>(d);
        }
        if (out < lo || out > hi) throw out_of_range();
        return out;
    };
    auto store = [&](auto x) {
        if (target != nullptr) std::memcpy(target, &x, sizeof x);
        if (indicator != nullptr) *indicator = sizeof x;
        return false;
    };
    switch (c_type) {
        case SQL_C_WCHAR: case SQL_C_CHAR:
            return put_text(char_form(v, def), c_type == SQL_C_WCHAR, offset, target, buffer_length, indicator);
        case SQL_C_BINARY: {
            const std::string& bytes = v.text;
            if (v.k != value::kind::text && v.k != value::kind::bytes) throw restricted_type();
            std::size_t total = bytes.size() > offset ? bytes.size() - offset : 0;
            if (indicator != nullptr) *indicator = static_cast<SQLLEN>(total);
            std::size_t n = std::min(total, buffer_length > 0 ? static_cast<std::size_t>(buffer_length) : 0);
            if (target != nullptr) std::memcpy(target, bytes.data() + offset, n);
            return n < total;
        }
        case SQL_C_LONG: case SQL_C_SLONG: return store(static_cast<std::int32_t>(integer(INT32_MIN, INT32_MAX)));
        case SQL_C_ULONG: return store(static_cast<std::uint32_t>(integer(0, UINT32_MAX)));
        case SQL_C_SHORT: case SQL_C_SSHORT: return store(static_cast<std::int16_t>(integer(INT16_MIN, INT16_MAX)));
        case SQL_C_USHORT: return store(static_cast<std::uint16_t>(integer(0, UINT16_MAX)));
        case SQL_C_TINYINT: case SQL_C_STINYINT: return store(static_cast<std::int8_t>(integer(INT8_MIN, INT8_MAX)));
        case SQL_C_UTINYINT: case SQL_C_BIT: return store(static_cast<std::uint8_t>(integer(0, UINT8_MAX)));
        case SQL_C_SBIGINT: return store(integer(INT64_MIN, INT64_MAX));
        case SQL_C_UBIGINT: return store(static_cast<std::uint64_t>(integer(0, INT64_MAX)));
        case SQL_C_DOUBLE: return store(number_of(v));
        case SQL_C_FLOAT: return store(static_cast<float>(number_of(v)));
        case SQL_C_TYPE_DATE: case SQL_C_TYPE_TIME: case SQL_C_TYPE_TIMESTAMP: {
            if (!is_datetime(def.type)) throw restricted_type();
            int y, mo, d, h, mi, se;
            std::uint32_t ns;
            split_timestamp(v.text, y, mo, d, h, mi, se, ns);
            if (c_type == SQL_C_TYPE_DATE) {
                if (def.type == col_type::time) throw restricted_type();
                return store(SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo), static_cast<SQLUSMALLINT>(d)});
            }
            if (c_type == SQL_C_TYPE_TIME) {
                if (def.type == col_type::date) throw restricted_type();
                return store(SQL_TIME_STRUCT{static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(se)});
            }
            return store(SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                              static_cast<SQLUSMALLINT>(d), static_cast<SQLUSMALLINT>(h),
                                              static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(se), ns});
        }
        case SQL_C_BLOB_LOCATOR: case SQL_C_CLOB_LOCATOR: case SQL_C_DBCLOB_LOCATOR: {
            bool fits = (c_type == SQL_C_BLOB_LOCATOR && def.type == col_type::blob) ||
                        (c_type == SQL_C_CLOB_LOCATOR && (def.type == col_type::clob || def.type == col_type::xml)) ||
                        (c_type == SQL_C_DBCLOB_LOCATOR && def.type == col_type::dbclob);
            if (!fits) throw restricted_type();
            SQLINTEGER id = dbc->next_locator++;
            if (dbc->next_locator <= 0) dbc->next_locator = 1;
            dbc->locators[id] = locator_entry{v, def.type == col_type::xml ? col_type::clob : def.type, owner};
            owner->fetch_locators.push_back(id);
            return store(id);
        }
        default:
            throw cli_error("CLI0122E", "HY003", "Program type out of range.");
    }
}

// ---------------------------------------------------------------------------------------------
// Execution

SQLRETURN finish_execute(stmt_handle* s) {
    prepared_statement& p = *s->prepared;
    std::size_t rows = p.is_query() ? 1 : static_cast<std::size_t>(s->paramset_size);
    auto source = [s](std::size_t row, std::vector<value>& values, const std::vector<const column_def*>& targets) {
        for (std::size_t idx = 0; idx < values.size(); ++idx)
            convert_param(s, row, idx, idx < targets.size() ? targets[idx] : nullptr, values[idx]);
    };
    exec_result r = s->dbc->db->execute(p, rows, source, s->atomic == SQL_ATOMIC_NO ? array_mode::not_atomic : array_mode::atomic);
    s->pending.clear();
    if (s->param_status != nullptr)
        for (std::size_t row = 0; row < rows && row < r.row_status.size(); ++row)
            s->param_status[row] = r.row_status[row] == 0 ? SQL_PARAM_SUCCESS
                                   : r.row_status[row] == 1 ? SQL_PARAM_ERROR
                                                            : SQL_PARAM_UNUSED;
    if (s->params_processed != nullptr) *s->params_processed = r.rows_processed;
    s->row_count = r.row_count;
    if (r.rows) {
        s->rows = std::move(r.rows);
        s->get_offsets.assign(s->rows->columns.size(), 0);
    }
    if (r.row_errors.empty()) return SQL_SUCCESS;
    for (auto& [row, error] : r.row_errors) s->diags.push_back(error);
    bool some_ok = std::any_of(r.row_status.begin(), r.row_status.end(), [](std::uint8_t st) { return st == 0; });
    return some_ok ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
}

SQLRETURN start_execute(stmt_handle* s) {
    if (s->rows) return fail(s, cursor_state());
    prepared_statement& p = *s->prepared;
    std::size_t count = static_cast<std::size_t>(p.param_count());
    if (s->params.size() < count ||
        std::any_of(s->params.begin(), s->params.begin() + static_cast<std::ptrdiff_t>(count),
                    [](const param_binding& b) { return !b.bound; }))
        return fail(s, cli_error("CLI0100E", "07002", "Wrong number of parameters."));
    std::size_t rows = p.is_query() ? 1 : static_cast<std::size_t>(s->paramset_size);
    s->pending.clear();
    for (std::size_t row = 0; row < rows; ++row)
        for (std::size_t idx = 0; idx < count; ++idx) {
            const param_binding& b = s->params[idx];
            if (b.indicator == nullptr) continue;
            SQLLEN ind = b.indicator[row];
            if (ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET) s->pending.push_back({row, idx, {}, false});
        }
    if (!s->pending.empty()) {
        s->need_data = true;
        s->pending_index = -1;
        return SQL_NEED_DATA;
    }
    return finish_execute(s);
}

std::string* optional_arg(const SQLWCHAR* text, SQLSMALLINT length, std::string& storage) {
    return wide_arg(text, length, storage) ? &storage : nullptr;
}

}  // namespace

// =============================================================================================
// Exported functions

SIM_EXPORT SQLRETURN SQLAllocHandle(SQLSMALLINT handle_type, SQLHANDLE input, SQLHANDLE* output) {
    std::lock_guard lock(g_lock);
    if (output == nullptr) return SQL_ERROR;
    *output = nullptr;
    try {
        switch (handle_type) {
            case SQL_HANDLE_ENV: {
                load_faults();
                if (injected("SQLAllocHandle", nullptr)) return SQL_ERROR;
                auto* env = new env_handle;
                g_live.insert(env);
                *output = env;
                return SQL_SUCCESS;
            }
            case SQL_HANDLE_DBC: {
                auto* env = as<env_handle>(input, SQL_HANDLE_ENV);
                if (env == nullptr) return SQL_INVALID_HANDLE;
                env->diags.clear();
                if (injected("SQLAllocHandle", env)) return SQL_ERROR;
                auto* dbc = new dbc_handle;
                dbc->env = env;
                env->connections.push_back(dbc);
                g_live.insert(dbc);
                *output = dbc;
                return SQL_SUCCESS;
            }
            case SQL_HANDLE_STMT: {
                auto* dbc = as<dbc_handle>(input, SQL_HANDLE_DBC);
                if (dbc == nullptr) return SQL_INVALID_HANDLE;
                dbc->diags.clear();
                if (injected("SQLAllocHandle", dbc)) return SQL_ERROR;
                if (!dbc->db) return fail(dbc, cli_error("CLI0106E", "08003", "Connection is closed."));
                auto* s = new stmt_handle;
                s->dbc = dbc;
                dbc->statements.push_back(s);
                g_live.insert(s);
                *output = s;
                return SQL_SUCCESS;
            }
            default:
                return SQL_ERROR;
        }
    } catch (const std::bad_alloc&) {
        return SQL_ERROR;
    }
}

SIM_EXPORT SQLRETURN SQLFreeHandle(SQLSMALLINT handle_type, SQLHANDLE handle) {
    std::lock_guard lock(g_lock);
    switch (handle_type) {
        case SQL_HANDLE_ENV: {
            auto* env = as<env_handle>(handle, SQL_HANDLE_ENV);
            if (env == nullptr) return SQL_INVALID_HANDLE;
            env->diags.clear();
            if (!env->connections.empty()) return fail(env, sequence_error());
            g_live.erase(env);
            delete env;
            return SQL_SUCCESS;
        }
        case SQL_HANDLE_DBC: {
            auto* dbc = as<dbc_handle>(handle, SQL_HANDLE_DBC);
            if (dbc == nullptr) return SQL_INVALID_HANDLE;
            dbc->diags.clear();
            if (dbc->db) return fail(dbc, sequence_error());
            auto& list = dbc->env->connections;
            list.erase(std::remove(list.begin(), list.end(), dbc), list.end());
            g_live.erase(dbc);
            delete dbc;
            return SQL_SUCCESS;
        }
        case SQL_HANDLE_STMT: {
            auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
            if (s == nullptr) return SQL_INVALID_HANDLE;
            free_statement(s);
            return SQL_SUCCESS;
        }
        default:
            return SQL_INVALID_HANDLE;
    }
}

SIM_EXPORT SQLRETURN SQLSetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value_ptr, SQLINTEGER) {
    std::lock_guard lock(g_lock);
    auto* env = as<env_handle>(handle, SQL_HANDLE_ENV);
    if (env == nullptr) return SQL_INVALID_HANDLE;
    env->diags.clear();
    if (injected("SQLSetEnvAttr", env)) return SQL_ERROR;
    auto v = reinterpret_cast<SQLULEN>(value_ptr);
    if (attribute == SQL_ATTR_ODBC_VERSION && (v == 2 || v == 3 || v == 380)) return SQL_SUCCESS;
    return fail(env, cli_error("CLI0024E", "HY092", "Invalid attribute value."));
}

SIM_EXPORT SQLRETURN SQLSetEnvAttrW(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value_ptr, SQLINTEGER length) {
    return SQLSetEnvAttr(handle, attribute, value_ptr, length);
}

SIM_EXPORT SQLRETURN SQLSetConnectAttrW(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value_ptr, SQLINTEGER length) {
    std::lock_guard lock(g_lock);
    auto* dbc = as<dbc_handle>(handle, SQL_HANDLE_DBC);
    if (dbc == nullptr) return SQL_INVALID_HANDLE;
    dbc->diags.clear();
    if (injected("SQLSetConnectAttrW", dbc)) return SQL_ERROR;
    auto v = reinterpret_cast<SQLULEN>(value_ptr);
    switch (attribute) {
        case SQL_ATTR_CONNECTTYPE:
            if (v == SQL_CONCURRENT_TRANS || v == SQL_COORDINATED_TRANS) return SQL_SUCCESS;
            break;
        case SQL_ATTR_AUTOCOMMIT:
            if (v == 1) return SQL_SUCCESS;
            // The stand-in commits every statement; it cannot hold a unit of work open.
            return fail(dbc, cli_error("CLI0150E", "HYC00", "Driver not capable."));
        case SQL_ATTR_CURRENT_SCHEMA: {
            if (!dbc->db) return fail(dbc, cli_error("CLI0106E", "08003", "Connection is closed."));
            std::string schema;
            wide_arg(static_cast<const SQLWCHAR*>(value_ptr), length == SQL_NTS ? SQL_NTS : length / 2, schema);
            dbc->db->set_current_schema(schema);
            return SQL_SUCCESS;
        }
        default:
            break;
    }
    return fail(dbc, cli_error("CLI0024E", "HY092", "Invalid attribute value."));
}

SIM_EXPORT SQLRETURN SQLConnectW(SQLHDBC handle, SQLWCHAR* server, SQLSMALLINT server_length, SQLWCHAR* user,
                                 SQLSMALLINT user_length, SQLWCHAR* password, SQLSMALLINT password_length) {
    std::lock_guard lock(g_lock);
    auto* dbc = as<dbc_handle>(handle, SQL_HANDLE_DBC);
    if (dbc == nullptr) return SQL_INVALID_HANDLE;
    dbc->diags.clear();
    if (injected("SQLConnectW", dbc)) return SQL_ERROR;
    if (dbc->db) return fail(dbc, cli_error("CLI0117E", "08002", "Connection in use."));
    return guarded(dbc, [&] {
        std::string alias, user_name, secret;
        wide_arg(server, server_length, alias);
        wide_arg(user, user_length, user_name);
        wide_arg(password, password_length, secret);
        dbc->db = std::make_unique<database>(alias, user_name, secret);
        return SQL_SUCCESS;
    });
}

SIM_EXPORT SQLRETURN SQLDisconnect(SQLHDBC handle) {
    std::lock_guard lock(g_lock);
    auto* dbc = as<dbc_handle>(handle, SQL_HANDLE_DBC);
    if (dbc == nullptr) return SQL_INVALID_HANDLE;
    dbc->diags.clear();
    if (injected("SQLDisconnect", dbc)) return SQL_ERROR;
    if (!dbc->db) return fail(dbc, cli_error("CLI0106E", "08003", "Connection is closed."));
    while (!dbc->statements.empty()) free_statement(dbc->statements.back());
    dbc->locators.clear();
    dbc->db.reset();
    return SQL_SUCCESS;
}

namespace {

SQLRETURN prepare_text(stmt_handle* s, SQLWCHAR* text, SQLINTEGER length) {
    if (s->rows) return fail(s, cursor_state());
    if (text == nullptr) return fail(s, cli_error("CLI0124E", "HY009", "Invalid argument value."));
    std::string sql;
    wide_arg(text, length, sql);
    s->prepared.reset();
    s->row_count = -1;
    s->prepared = s->dbc->db->prepare(sql);
    return SQL_SUCCESS;
}

}  // namespace

SIM_EXPORT SQLRETURN SQLExecDirectW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLExecDirectW", s)) return SQL_ERROR;
    return guarded(s, [&] {
        SQLRETURN rc = prepare_text(s, text, length);
        return rc == SQL_SUCCESS ? start_execute(s) : rc;
    });
}

SIM_EXPORT SQLRETURN SQLPrepareW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLPrepareW", s)) return SQL_ERROR;
    return guarded(s, [&] { return prepare_text(s, text, length); });
}

SIM_EXPORT SQLRETURN SQLExecute(SQLHSTMT handle) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLExecute", s)) return SQL_ERROR;
    if (!s->prepared) return fail(s, sequence_error());
    return guarded(s, [&] { return start_execute(s); });
}

SIM_EXPORT SQLRETURN SQLParamData(SQLHSTMT handle, SQLPOINTER* token) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLParamData", s)) return SQL_ERROR;
    if (!s->need_data) return fail(s, sequence_error());
    ++s->pending_index;
    if (s->pending_index < static_cast<std::ptrdiff_t>(s->pending.size())) {
        const pending_value& p = s->pending[static_cast<std::size_t>(s->pending_index)];
        const param_binding& b = s->params[p.param];
        if (token != nullptr)
            *token = static_cast<char*>(b.data) + p.row * stride_of(b.c_type, b.buffer_length);
        return SQL_NEED_DATA;
    }
    s->need_data = false;
    return guarded(s, [&] {
        SQLRETURN rc = finish_execute(s);
        s->pending.clear();
        return rc;
    });
}

SIM_EXPORT SQLRETURN SQLPutData(SQLHSTMT handle, SQLPOINTER data, SQLLEN length) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLPutData", s)) return SQL_ERROR;
    if (!s->need_data || s->pending_index < 0 || s->pending_index >= static_cast<std::ptrdiff_t>(s->pending.size()))
        return fail(s, sequence_error());
    pending_value& p = s->pending[static_cast<std::size_t>(s->pending_index)];
    const param_binding& b = s->params[p.param];
    if (length == SQL_NULL_DATA) {
        p.is_null = true;
        return SQL_SUCCESS;
    }
    if (data == nullptr && length != 0) return fail(s, cli_error("CLI0124E", "HY009", "Invalid argument value."));
    std::size_t bytes;
    if (length == SQL_NTS) {
        if (b.c_type == SQL_C_WCHAR) {
            std::size_t n = 0;
            while (static_cast<const SQLWCHAR*>(data)[n] != 0) ++n;
            bytes = n * 2;
        } else if (b.c_type == SQL_C_CHAR) {
            bytes = std::strlen(static_cast<const char*>(data));
        } else {
            return fail(s, bad_length());
        }
    } else if (length < 0) {
        return fail(s, bad_length());
    } else {
        bytes = static_cast<std::size_t>(length);
    }
    p.data.append(static_cast<const char*>(data), bytes);
    return SQL_SUCCESS;
}

SIM_EXPORT SQLRETURN SQLBindParameter(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT direction, SQLSMALLINT c_type,
                                      SQLSMALLINT sql_type, SQLULEN, SQLSMALLINT, SQLPOINTER data,
                                      SQLLEN buffer_length, SQLLEN* indicator) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLBindParameter", s)) return SQL_ERROR;
    if (number == 0) return fail(s, cli_error("CLI0134E", "07009", "Invalid parameter number."));
    if (direction != SQL_PARAM_INPUT) return fail(s, cli_error("CLI0133E", "HY105", "Invalid parameter type."));
    if (!supported_param_type(c_type)) return fail(s, cli_error("CLI0122E", "HY003", "Program type out of range."));
    if (buffer_length < 0) return fail(s, bad_length());
    if (s->params.size() < number) s->params.resize(number);
    s->params[number - 1u] = param_binding{true, c_type, sql_type, data, buffer_length, indicator};
    return SQL_SUCCESS;
}

SIM_EXPORT SQLRETURN SQLSetStmtAttrW(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value_ptr, SQLINTEGER) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLSetStmtAttrW", s)) return SQL_ERROR;
    auto v = reinterpret_cast<SQLULEN>(value_ptr);
    switch (attribute) {
        case SQL_ATTR_PARAMSET_SIZE:
            // IBM documents at most 32,767 parameter sets per execution.
            if (v < 1 || v > 32767) return fail(s, cli_error("CLI0191E", "HY024", "Invalid attribute value."));
            s->paramset_size = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            if (v < 1 || v > 32767) return fail(s, cli_error("CLI0191E", "HY024", "Invalid attribute value."));
            s->row_array_size = v;
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_BIND_TYPE: case SQL_ATTR_ROW_BIND_TYPE:
            if (v == SQL_BIND_BY_COLUMN) return SQL_SUCCESS;
            return fail(s, cli_error("CLI0150E", "HYC00", "Driver not capable."));  // row-wise binding
        case SQL_ATTR_ROWS_FETCHED_PTR: s->rows_fetched = static_cast<SQLULEN*>(value_ptr); return SQL_SUCCESS;
        case SQL_ATTR_PARAM_STATUS_PTR: s->param_status = static_cast<SQLUSMALLINT*>(value_ptr); return SQL_SUCCESS;
        case SQL_ATTR_PARAMS_PROCESSED_PTR: s->params_processed = static_cast<SQLULEN*>(value_ptr); return SQL_SUCCESS;
        case SQL_ATTR_ROW_STATUS_PTR: s->row_status = static_cast<SQLUSMALLINT*>(value_ptr); return SQL_SUCCESS;
        case SQL_ATTR_PARAMOPT_ATOMIC:
            if (v != SQL_ATOMIC_YES && v != SQL_ATOMIC_NO) break;
            s->atomic = v;
            return SQL_SUCCESS;
        default:
            break;
    }
    return fail(s, cli_error("CLI0024E", "HY092", "Invalid attribute value."));
}

SIM_EXPORT SQLRETURN SQLBindCol(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER data,
                                SQLLEN buffer_length, SQLLEN* indicator) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLBindCol", s)) return SQL_ERROR;
    if (column == 0) return fail(s, bad_column());
    std::size_t size;
    if (c_type != SQL_C_CHAR && c_type != SQL_C_WCHAR && c_type != SQL_C_BINARY && !fixed_size(c_type, size))
        return fail(s, cli_error("CLI0122E", "HY003", "Program type out of range."));
    if (buffer_length < 0) return fail(s, bad_length());
    if (s->columns.size() < column) s->columns.resize(column);
    s->columns[column - 1u] = data == nullptr ? column_binding{} : column_binding{c_type, data, buffer_length, indicator};
    return SQL_SUCCESS;
}

SIM_EXPORT SQLRETURN SQLFetch(SQLHSTMT handle) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLFetch", s)) return SQL_ERROR;
    if (!s->rows) return fail(s, cursor_state());
    return guarded(s, [&] {
        // Locators of the previous fetch are released: a locator stays valid until the next
        // fetch on its statement (or the cursor's close).
        for (SQLINTEGER id : s->fetch_locators) s->dbc->locators.erase(id);
        s->fetch_locators.clear();
        std::size_t fetched = 0;
        bool cut = false;
        std::vector<value> row;
        s->has_row = false;
        while (fetched < s->row_array_size && s->rows->fetch(row)) {
            for (std::size_t col = 0; col < s->columns.size() && col < row.size(); ++col) {
                const column_binding& b = s->columns[col];
                if (b.data == nullptr) continue;
                std::size_t stride = stride_of(b.c_type, b.buffer_length);
                cut |= put_value(s->dbc, s, row[col], s->rows->columns[col].def, b.c_type,
                                 static_cast<char*>(b.data) + fetched * stride, b.buffer_length,
                                 b.indicator != nullptr ? b.indicator + fetched : nullptr, 0);
            }
            if (s->row_status != nullptr) s->row_status[fetched] = SQL_ROW_SUCCESS;
            ++fetched;
            s->current_row = row;
            s->has_row = true;
        }
        if (s->row_status != nullptr)
            for (std::size_t idx = fetched; idx < s->row_array_size; ++idx) s->row_status[idx] = SQL_ROW_NOROW;
        if (s->rows_fetched != nullptr) *s->rows_fetched = fetched;
        std::fill(s->get_offsets.begin(), s->get_offsets.end(), 0);
        if (fetched == 0) return SQL_NO_DATA;
        if (cut) {
            s->diags.push_back(truncated());
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    });
}

SIM_EXPORT SQLRETURN SQLGetData(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER data,
                                SQLLEN buffer_length, SQLLEN* indicator) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLGetData", s)) return SQL_ERROR;
    if (!s->rows || !s->has_row) return fail(s, cursor_state());
    if (column == 0 || column > s->current_row.size()) return fail(s, bad_column());
    return guarded(s, [&] {
        const value& v = s->current_row[column - 1u];
        const column_def& def = s->rows->columns[column - 1u].def;
        std::size_t& offset = s->get_offsets[column - 1u];
        bool piecewise = c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY;
        if (piecewise && offset == SIZE_MAX) return SQL_NO_DATA;
        bool cut = put_value(s->dbc, s, v, def, c_type, static_cast<char*>(data), buffer_length, indicator, offset);
        if (!piecewise || v.is_null()) return SQL_SUCCESS;
        if (!cut) {
            offset = SIZE_MAX;  // everything handed out: the next call answers SQL_NO_DATA
            return SQL_SUCCESS;
        }
        std::size_t given = c_type == SQL_C_BINARY ? static_cast<std::size_t>(buffer_length)
                            : c_type == SQL_C_WCHAR ? static_cast<std::size_t>(buffer_length) / 2 - 1
                                                    : static_cast<std::size_t>(buffer_length) - 1;
        if (buffer_length <= 0 || given == 0) return fail(s, bad_length());
        offset += given;
        s->diags.push_back(truncated());
        return SQL_SUCCESS_WITH_INFO;
    });
}

SIM_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLFreeStmt", s)) return SQL_ERROR;
    switch (option) {
        case SQL_CLOSE: close_cursor(s); return SQL_SUCCESS;
        case SQL_DROP: free_statement(s); return SQL_SUCCESS;
        case SQL_UNBIND: s->columns.clear(); return SQL_SUCCESS;
        case SQL_RESET_PARAMS: s->params.clear(); return SQL_SUCCESS;
        default: return fail(s, cli_error("CLI0126E", "HY092", "Option type out of range."));
    }
}

SIM_EXPORT SQLRETURN SQLRowCount(SQLHSTMT handle, SQLLEN* count) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (count != nullptr) *count = s->row_count;
    return SQL_SUCCESS;
}

SIM_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT* count) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLNumResultCols", s)) return SQL_ERROR;
    if (count != nullptr) *count = s->rows ? static_cast<SQLSMALLINT>(s->rows->columns.size()) : 0;
    return SQL_SUCCESS;
}

namespace {
SQLLEN precision_of(const column_def& c) {
    switch (c.type) {
        case col_type::decimal: case col_type::decfloat: return c.length;
        case col_type::smallint: return 5;
        case col_type::integer: return 10;
        case col_type::bigint: return 19;
        case col_type::real: return 24;
        case col_type::dbl: return 53;
        case col_type::date: case col_type::time: return 0;
        case col_type::timestamp: return c.scale;
        default: return c.length;
    }
}
SQLSMALLINT digits_of(const column_def& c) {
    return c.type == col_type::decimal || c.type == col_type::timestamp ? static_cast<SQLSMALLINT>(c.scale) : 0;
}
}  // namespace

SIM_EXPORT SQLRETURN SQLDescribeColW(SQLHSTMT handle, SQLUSMALLINT column, SQLWCHAR* name, SQLSMALLINT buffer_length,
                                     SQLSMALLINT* name_length, SQLSMALLINT* data_type, SQLULEN* column_size_out,
                                     SQLSMALLINT* decimal_digits, SQLSMALLINT* nullable) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLDescribeColW", s)) return SQL_ERROR;
    if (!s->rows) return fail(s, sequence_error());
    if (column == 0 || column > s->rows->columns.size()) return fail(s, bad_column());
    const result_column& rc = s->rows->columns[column - 1u];
    std::u16string wide;
    utf8_to_utf16(rc.name, wide);
    if (name_length != nullptr) *name_length = static_cast<SQLSMALLINT>(wide.size());
    bool cut = false;
    if (name != nullptr && buffer_length > 0) {
        std::size_t n = std::min(wide.size(), static_cast<std::size_t>(buffer_length - 1));
        std::memcpy(name, wide.data(), n * 2);
        name[n] = 0;
        cut = n < wide.size();
    }
    if (data_type != nullptr) *data_type = odbc_type(rc.def.type);
    if (column_size_out != nullptr) *column_size_out = static_cast<SQLULEN>(column_size(rc.def));
    if (decimal_digits != nullptr) *decimal_digits = digits_of(rc.def);
    if (nullable != nullptr) *nullable = rc.def.nullable ? SQL_NULLABLE : SQL_NO_NULLS;
    if (cut) {
        s->diags.push_back(truncated());
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SIM_EXPORT SQLRETURN SQLColAttributeW(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                                      SQLPOINTER character_attribute, SQLSMALLINT buffer_length,
                                      SQLSMALLINT* string_length, SQLLEN* numeric_attribute) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLColAttributeW", s)) return SQL_ERROR;
    if (!s->rows) return fail(s, sequence_error());
    if (field == SQL_DESC_COUNT) {
        if (numeric_attribute != nullptr) *numeric_attribute = static_cast<SQLLEN>(s->rows->columns.size());
        return SQL_SUCCESS;
    }
    if (column == 0 || column > s->rows->columns.size()) return fail(s, bad_column());
    const result_column& rc = s->rows->columns[column - 1u];
    SQLLEN n;
    switch (field) {
        case SQL_DESC_AUTO_UNIQUE_VALUE: n = rc.def.identity != 0 ? 1 : 0; break;
        case SQL_DESC_PRECISION: n = precision_of(rc.def); break;
        case SQL_DESC_SCALE: n = digits_of(rc.def); break;
        case SQL_DESC_TYPE: n = is_datetime(rc.def.type) ? SQL_DATETIME : odbc_type(rc.def.type); break;
        case SQL_DESC_LENGTH: n = static_cast<SQLLEN>(column_size(rc.def)); break;
        case SQL_DESC_NULLABLE: n = rc.def.nullable ? SQL_NULLABLE : SQL_NO_NULLS; break;
        case SQL_DESC_OCTET_LENGTH: n = static_cast<SQLLEN>(db2sim::buffer_length(rc.def)); break;
        case SQL_DESC_NAME: {
            std::u16string wide;
            utf8_to_utf16(rc.name, wide);
            if (string_length != nullptr) *string_length = static_cast<SQLSMALLINT>(wide.size() * 2);
            if (character_attribute != nullptr && buffer_length >= 2) {
                std::size_t room = static_cast<std::size_t>(buffer_length) / 2 - 1;
                std::size_t count = std::min(room, wide.size());
                std::memcpy(character_attribute, wide.data(), count * 2);
                static_cast<SQLWCHAR*>(character_attribute)[count] = 0;
                if (count < wide.size()) {
                    s->diags.push_back(truncated());
                    return SQL_SUCCESS_WITH_INFO;
                }
            }
            return SQL_SUCCESS;
        }
        default:
            return fail(s, cli_error("CLI0199E", "HY091", "Invalid descriptor field identifier."));
    }
    if (numeric_attribute != nullptr) *numeric_attribute = n;
    return SQL_SUCCESS;
}

SIM_EXPORT SQLRETURN SQLTablesW(SQLHSTMT handle, SQLWCHAR* catalog, SQLSMALLINT catalog_length, SQLWCHAR* schema,
                                SQLSMALLINT schema_length, SQLWCHAR* table, SQLSMALLINT table_length, SQLWCHAR* type,
                                SQLSMALLINT type_length) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLTablesW", s)) return SQL_ERROR;
    if (s->rows) return fail(s, cursor_state());
    return guarded(s, [&] {
        std::string c, sc, t, ty;
        s->rows = s->dbc->db->tables(optional_arg(catalog, catalog_length, c), optional_arg(schema, schema_length, sc),
                                     optional_arg(table, table_length, t), optional_arg(type, type_length, ty));
        s->get_offsets.assign(s->rows->columns.size(), 0);
        return SQL_SUCCESS;
    });
}

SIM_EXPORT SQLRETURN SQLColumnsW(SQLHSTMT handle, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* schema, SQLSMALLINT schema_length,
                                 SQLWCHAR* table, SQLSMALLINT table_length, SQLWCHAR* column, SQLSMALLINT column_length) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLColumnsW", s)) return SQL_ERROR;
    if (s->rows) return fail(s, cursor_state());
    return guarded(s, [&] {
        std::string sc, t, co;
        s->rows = s->dbc->db->columns(optional_arg(schema, schema_length, sc), optional_arg(table, table_length, t),
                                      optional_arg(column, column_length, co));
        s->get_offsets.assign(s->rows->columns.size(), 0);
        return SQL_SUCCESS;
    });
}

SIM_EXPORT SQLRETURN SQLGetDiagRecW(SQLSMALLINT handle_type, SQLHANDLE handle, SQLSMALLINT record, SQLWCHAR* state,
                                    SQLINTEGER* native_error, SQLWCHAR* message, SQLSMALLINT buffer_length,
                                    SQLSMALLINT* text_length) {
    std::lock_guard lock(g_lock);
    handle_base* h = nullptr;
    switch (handle_type) {
        case SQL_HANDLE_ENV: h = as<env_handle>(handle, handle_type); break;
        case SQL_HANDLE_DBC: h = as<dbc_handle>(handle, handle_type); break;
        case SQL_HANDLE_STMT: h = as<stmt_handle>(handle, handle_type); break;
        default: break;
    }
    if (h == nullptr) return SQL_INVALID_HANDLE;
    if (record < 1 || buffer_length < 0) return SQL_ERROR;
    if (static_cast<std::size_t>(record) > h->diags.size()) return SQL_NO_DATA;
    const sim_error& e = h->diags[static_cast<std::size_t>(record - 1)];
    const std::string& st = e.odbc_state.empty() ? e.sqlstate : e.odbc_state;
    if (state != nullptr) {
        for (std::size_t idx = 0; idx < 5; ++idx) state[idx] = idx < st.size() ? static_cast<SQLWCHAR>(st[idx]) : u' ';
        state[5] = 0;
    }
    if (native_error != nullptr) *native_error = e.sqlcode;
    std::u16string wide;
    utf8_to_utf16(format_diagnostic(e), wide);
    if (text_length != nullptr) *text_length = static_cast<SQLSMALLINT>(std::min<std::size_t>(wide.size(), INT16_MAX));
    if (message != nullptr && buffer_length > 0) {
        std::size_t n = std::min(wide.size(), static_cast<std::size_t>(buffer_length - 1));
        std::memcpy(message, wide.data(), n * 2);
        message[n] = 0;
        if (n < wide.size()) return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

namespace {
SQLRETURN locator_lookup(stmt_handle* s, SQLSMALLINT locator_type, SQLINTEGER locator, locator_entry*& out) {
    auto it = s->dbc->locators.find(locator);
    if (it == s->dbc->locators.end())
        return fail(s, sql_error(-423, "0F001", "Locator variable \"" + std::to_string(locator) +
                                                    "\" does not currently represent any value."));
    col_type t = it->second.type;
    bool fits = (locator_type == SQL_C_BLOB_LOCATOR && t == col_type::blob) ||
                (locator_type == SQL_C_CLOB_LOCATOR && t == col_type::clob) ||
                (locator_type == SQL_C_DBCLOB_LOCATOR && t == col_type::dbclob);
    if (!fits) return fail(s, cli_error("CLI0122E", "HY003", "Program type out of range."));
    out = &it->second;
    return SQL_SUCCESS;
}
}  // namespace

SIM_EXPORT SQLRETURN SQLGetLength(SQLHSTMT handle, SQLSMALLINT locator_type, SQLINTEGER locator,
                                  SQLINTEGER* string_length, SQLINTEGER* indicator) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLGetLength", s)) return SQL_ERROR;
    locator_entry* e = nullptr;
    if (SQLRETURN rc = locator_lookup(s, locator_type, locator, e); rc != SQL_SUCCESS) return rc;
    std::size_t n = e->type == col_type::dbclob ? utf16_length(e->v.text) : e->v.text.size();
    if (string_length != nullptr) *string_length = static_cast<SQLINTEGER>(n);
    if (indicator != nullptr) *indicator = 0;
    return SQL_SUCCESS;
}

SIM_EXPORT SQLRETURN SQLGetSubString(SQLHSTMT handle, SQLSMALLINT locator_type, SQLINTEGER locator,
                                     SQLUINTEGER from_position, SQLUINTEGER for_length, SQLSMALLINT target_type,
                                     SQLPOINTER data, SQLINTEGER buffer_length, SQLINTEGER* string_length,
                                     SQLINTEGER* indicator) {
    std::lock_guard lock(g_lock);
    auto* s = as<stmt_handle>(handle, SQL_HANDLE_STMT);
    if (s == nullptr) return SQL_INVALID_HANDLE;
    s->diags.clear();
    if (injected("SQLGetSubString", s)) return SQL_ERROR;
    locator_entry* e = nullptr;
    if (SQLRETURN rc = locator_lookup(s, locator_type, locator, e); rc != SQL_SUCCESS) return rc;
    return guarded(s, [&] {
        // Positions count bytes for BLOB and CLOB, characters (UTF-16 units) for DBCLOB.
        std::string piece;
        if (e->type == col_type::dbclob) {
            std::u16string wide;
            utf8_to_utf16(e->v.text, wide);
            if (from_position < 1 || from_position > wide.size() + 1)
                throw sql_error(-138, "22011", "A numeric argument of a built-in string function is out of range.");
            utf16_to_utf8(wide.substr(from_position - 1, for_length), piece);
        } else {
            if (from_position < 1 || from_position > e->v.text.size() + 1)
                throw sql_error(-138, "22011", "A numeric argument of a built-in string function is out of range.");
            piece = e->v.text.substr(from_position - 1, for_length);
        }
        value v;
        if (e->type == col_type::blob) v.set_bytes(piece);
        else v.set_text(piece);
        column_def def;
        def.type = e->type;
        SQLLEN full = 0;
        bool cut = put_value(s->dbc, s, v, def, target_type, static_cast<char*>(data), buffer_length, &full, 0);
        if (string_length != nullptr) *string_length = static_cast<SQLINTEGER>(full);
        if (indicator != nullptr) *indicator = 0;
        if (cut) {
            s->diags.push_back(truncated());
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    });
}

// The exported functions have exactly the types the binding resolves.
static_assert(std::is_same_v<decltype(&SQLAllocHandle), SQLAllocHandle_fn>);
static_assert(std::is_same_v<decltype(&SQLFreeHandle), SQLFreeHandle_fn>);
static_assert(std::is_same_v<decltype(&SQLSetEnvAttr), SQLSetEnvAttr_fn>);
static_assert(std::is_same_v<decltype(&SQLSetConnectAttrW), SQLSetConnectAttrW_fn>);
static_assert(std::is_same_v<decltype(&SQLConnectW), SQLConnectW_fn>);
static_assert(std::is_same_v<decltype(&SQLDisconnect), SQLDisconnect_fn>);
static_assert(std::is_same_v<decltype(&SQLExecDirectW), SQLExecDirectW_fn>);
static_assert(std::is_same_v<decltype(&SQLPrepareW), SQLPrepareW_fn>);
static_assert(std::is_same_v<decltype(&SQLExecute), SQLExecute_fn>);
static_assert(std::is_same_v<decltype(&SQLParamData), SQLParamData_fn>);
static_assert(std::is_same_v<decltype(&SQLPutData), SQLPutData_fn>);
static_assert(std::is_same_v<decltype(&SQLBindParameter), SQLBindParameter_fn>);
static_assert(std::is_same_v<decltype(&SQLSetStmtAttrW), SQLSetStmtAttrW_fn>);
static_assert(std::is_same_v<decltype(&SQLBindCol), SQLBindCol_fn>);
static_assert(std::is_same_v<decltype(&SQLFetch), SQLFetch_fn>);
static_assert(std::is_same_v<decltype(&SQLGetData), SQLGetData_fn>);
static_assert(std::is_same_v<decltype(&SQLFreeStmt), SQLFreeStmt_fn>);
static_assert(std::is_same_v<decltype(&SQLRowCount), SQLRowCount_fn>);
static_assert(std::is_same_v<decltype(&SQLNumResultCols), SQLNumResultCols_fn>);
static_assert(std::is_same_v<decltype(&SQLDescribeColW), SQLDescribeColW_fn>);
static_assert(std::is_same_v<decltype(&SQLColAttributeW), SQLColAttributeW_fn>);
static_assert(std::is_same_v<decltype(&SQLTablesW), SQLTablesW_fn>);
static_assert(std::is_same_v<decltype(&SQLColumnsW), SQLColumnsW_fn>);
static_assert(std::is_same_v<decltype(&SQLGetDiagRecW), SQLGetDiagRecW_fn>);
static_assert(std::is_same_v<decltype(&SQLGetLength), SQLGetLength_fn>);
static_assert(std::is_same_v<decltype(&SQLGetSubString), SQLGetSubString_fn>);
