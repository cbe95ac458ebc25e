#include "db2/db2_recs.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "db2/db2_engi.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

db2_engine& engine() { return db2_engine::get_instance(); }

SQLWCHAR* wide_arg(const std::u16string& text) { return const_cast<SQLWCHAR*>(text.c_str()); }

SQLPOINTER int_attr(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(value)); }

bool is_character_type(SQLSMALLINT sql_type) {
    switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_GRAPHIC:
    case SQL_VARGRAPHIC:
        return true;
    default:
        return false;
    }
}

bool is_graphic_type(SQLSMALLINT sql_type) {
    return sql_type == SQL_WCHAR || sql_type == SQL_WVARCHAR || sql_type == SQL_GRAPHIC || sql_type == SQL_VARGRAPHIC;
}

// Text cells of numbers: room for a sign, a point and the digits, and for the "%.15e" form that a
// floating-point value prints (merge into an existing DECIMAL column).
constexpr uint32_t min_number_units = 32;
// DECFLOAT(34) receives text as well: a MySQL DECIMAL prints up to 65 digits, a sign and a point.
constexpr uint32_t decfloat_units = 80;
// The CLI's timestamp column size and fraction digits (microseconds).
constexpr SQLULEN timestamp_column_size = 26;
constexpr SQLSMALLINT timestamp_digits = 6;

}  // namespace

VARTYPE db2_vartype_of(SQLSMALLINT sql_type) {
    TK_TRACE(1, "ora_type::get_vartype()");
    switch (sql_type) {
    case SQL_BLOB:
        return VT_BLOB;
    case SQL_DECFLOAT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return VT_DECIMAL;
    case SQL_BIT:
        return VT_BOOL;
    case SQL_TINYINT:
        return VT_I1;
    case SQL_BIGINT:
        return VT_I8;
    case SQL_VARBINARY:
    case SQL_BINARY:
        return VT_BYTE_ARRAY;
    case SQL_INTEGER:
        return VT_I4;
    case SQL_SMALLINT:
        return VT_I2;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
        return VT_R8;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        return VT_DATE;
    default:
        return VT_BSTR;
    }
}

ole_variant db2_default_value(const std::u16string* text_ptr, VARTYPE vt) {
    TK_TRACE(1, "ora_field::get_variant");
    if (text_ptr == nullptr) throw tk_mail_assertion("db2_recs", 718);
    std::u16string text = *text_ptr;
    if (ole_variant::is_quoted_type(vt)) {
        if (text.size() >= 2 && text.front() == u'\'' && text.back() == u'\'') text = text.substr(1, text.size() - 2);
        std::u16string single;
        single.reserve(text.size());
        for (size_t pos = 0; pos < text.size(); ++pos) {
            single += text[pos];
            if (text[pos] == u'\'' && pos + 1 < text.size() && text[pos + 1] == u'\'') ++pos;
        }
        text = std::move(single);
    }
    if (vt == VT_DATE) {
        TK_TRACE(1, "Extract date value");
        if (text.size() == 26) {
            TK_TRACE(1, "Trying timestamp format (yyyy-mm-dd-hh.mm.ss.mmmmmm)...");
            const std::string narrow = tk_to_ansi(text);
            int year, month, day, hour, minute, second, fraction;
            if (std::sscanf(narrow.c_str(), "%4d-%2d-%2d-%2d.%2d.%2d.%6d", &year, &month, &day, &hour, &minute,
                            &second, &fraction) == 7) {
                SYSTEMTIME st;
                st.wYear = uint16_t(year);
                st.wMonth = uint16_t(month);
                st.wDay = uint16_t(day);
                st.wHour = uint16_t(hour);
                st.wMinute = uint16_t(minute);
                st.wSecond = uint16_t(second);
                st.wMilliseconds = uint16_t(fraction / 1000);
                return ole_variant(st, uint16_t(fraction % 1000));
            }
        }
    }
    try {
        return ole_variant::from_wstring(text, vt);
    } catch (const tk_exception& e) {
        // A default this side cannot read is no reason to refuse the table.
        TK_TRACE(2, "Default value '%s' not usable: %s", TK_W(text), e.what());
        return ole_variant();
    }
}

// ---------------------------------------------------------------------------------------------
// db2_cache_column

db2_cache_column::db2_cache_column(int index, const t_ftd& column, const db2_column_info& info, int rows)
    : name_(column.name),
      index_(index),
      sql_type_(info.sql_type),
      size_(column.size),
      scale_(column.reserved & 0xFF),
      precision_((column.reserved >> 8) & 0xFF),
      not_null_(column.b_not_null),
      rows_(rows) {
    TK_TRACE(2, "db2_cache_column::db2_cache_column(N%d)", index);
    TK_TRACE(1, "ora_type::get_buffer_size()");
    text_units_ = info.text_units;
    switch (sql_type_) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_GRAPHIC:
    case SQL_VARGRAPHIC:
        kind_ = cell_kind::text;
        break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        kind_ = cell_kind::decimal_text;
        text_units_ = std::max<uint32_t>(uint32_t(precision_) + 4, min_number_units);
        break;
    case SQL_DECFLOAT:
        kind_ = cell_kind::decimal_text;
        bound_sql_type_ = SQL_DECFLOAT;
        text_units_ = decfloat_units;
        break;
    case SQL_INTEGER:
        kind_ = cell_kind::int32;
        c_type_ = SQL_C_LONG;
        bound_sql_type_ = SQL_INTEGER;
        cell_size_ = 4;
        break;
    case SQL_SMALLINT:
        kind_ = cell_kind::int16;
        c_type_ = SQL_C_SHORT;
        bound_sql_type_ = SQL_SMALLINT;
        cell_size_ = 2;
        break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        kind_ = cell_kind::dbl;
        c_type_ = SQL_C_DOUBLE;
        bound_sql_type_ = sql_type_;
        cell_size_ = 8;
        break;
    case SQL_REAL:
        kind_ = cell_kind::real;
        c_type_ = SQL_C_FLOAT;
        bound_sql_type_ = SQL_REAL;
        cell_size_ = 4;
        break;
    case SQL_BIGINT:
        kind_ = cell_kind::int64;
        c_type_ = SQL_C_SBIGINT;
        bound_sql_type_ = SQL_BIGINT;
        cell_size_ = 8;
        break;
    case SQL_TINYINT:
        kind_ = cell_kind::int8;
        c_type_ = SQL_C_TINYINT;
        bound_sql_type_ = SQL_TINYINT;
        cell_size_ = 1;
        break;
    case SQL_BIT:
        kind_ = cell_kind::bit;
        c_type_ = SQL_C_BIT;
        bound_sql_type_ = SQL_BIT;
        cell_size_ = 1;
        break;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        kind_ = cell_kind::timestamp;
        c_type_ = SQL_C_TYPE_TIMESTAMP;
        bound_sql_type_ = SQL_TYPE_TIMESTAMP;
        cell_size_ = sizeof(SQL_TIMESTAMP_STRUCT);
        break;
    case SQL_BINARY:
    case SQL_VARBINARY:
        kind_ = cell_kind::bytes;
        c_type_ = SQL_C_BINARY;
        bound_sql_type_ = sql_type_;
        cell_size_ = std::max<uint32_t>(size_, 1);
        break;
    case SQL_BLOB:
        kind_ = cell_kind::blob_at_exec;
        c_type_ = SQL_C_BINARY;
        bound_sql_type_ = SQL_BLOB;
        cell_size_ = 4;
        break;
    case SQL_CLOB:
    case SQL_DBCLOB:
    case SQL_XML:
        kind_ = cell_kind::text_at_exec;
        c_type_ = SQL_C_WCHAR;
        bound_sql_type_ = SQL_CLOB;
        cell_size_ = 4;
        break;
    default:
        kind_ = cell_kind::text;
        break;
    }
    if (kind_ == cell_kind::text || kind_ == cell_kind::decimal_text) {
        if (text_units_ == 0) text_units_ = std::max<uint32_t>(size_, 1);
        cell_size_ = 2 * text_units_ + 2;
    }
    cells_ = std::make_unique<unsigned char[]>(size_t(rows_) * cell_size_);
    indicators_ = std::make_unique<SQLLEN[]>(size_t(rows_));
    std::fill_n(indicators_.get(), rows_, SQL_NULL_DATA);
    if (kind_ == cell_kind::blob_at_exec) lob_bytes_.resize(size_t(rows_));
    if (kind_ == cell_kind::text_at_exec) lob_texts_.resize(size_t(rows_));
    if (info.has_default) {
        default_ = db2_default_value(&info.default_text, column.vartype);
        TK_TRACE(2, "Def.value=%s", TK_W(default_.to_wstring()));
    }
}

void db2_cache_column::refuse(const std::string& reason) const {
    throw db2_exception(SQL_ERROR, "Value of column \"" + tk_to_ansi(name_) + "\" " + reason);
}

void db2_cache_column::write(int row, const ole_variant& value) {
    const ole_variant* used = &value;
    const VARTYPE vt = value.vartype();
    // A source value that did not convert is refused here, not stored as NULL or as the default.
    if (const std::u16string* source_text = value.get_error_text())
        refuse("cannot be stored: '" + tk_to_ansi(*source_text) + "'.");
    if (vt == VT_EMPTY || (vt == VT_NULL && not_null_)) used = &default_;
    if (used->is_empty_or_null()) {
        indicators_[row] = SQL_NULL_DATA;
        return;
    }
    switch (kind_) {
    case cell_kind::text:
        write_text(row, *used);
        break;
    case cell_kind::decimal_text:
        write_decimal_text(row, *used);
        break;
    case cell_kind::int32:
    case cell_kind::int16:
    case cell_kind::int8:
    case cell_kind::bit:
    case cell_kind::int64:
        write_integer(row, *used);
        break;
    case cell_kind::dbl:
    case cell_kind::real:
        write_float(row, *used);
        break;
    case cell_kind::timestamp:
        write_timestamp(row, *used);
        break;
    case cell_kind::bytes:
        write_bytes(row, *used);
        break;
    case cell_kind::blob_at_exec:
    case cell_kind::text_at_exec:
        write_at_exec(row, *used);
        break;
    }
}

namespace {

// Copies text into a cell of `units` units plus terminator; false when it does not fit.
bool copy_text(unsigned char* cell, uint32_t units, std::u16string_view text, SQLLEN& indicator) {
    if (text.size() > units) return false;
    std::memcpy(cell, text.data(), text.size() * sizeof(char16_t));
    reinterpret_cast<char16_t*>(cell)[text.size()] = 0;
    // The exact byte length, not SQL_NTS: a text with a NUL inside arrives whole.
    indicator = SQLLEN(text.size() * sizeof(char16_t));
    return true;
}

// A decimal in plain notation, written straight from its digits (as DECIMAL::to_string prints it).
size_t format_decimal(const DECIMAL& dec, char16_t* out) {
    auto digit_at = [&dec](int position) -> int {
        if (position >= dec.digit_count) return 0;
        return (dec.packed[position / 2] >> (4 * (position % 2))) & 0xF;
    };
    size_t length = 0;
    if (dec.negative && dec.digit_count != 0) out[length++] = u'-';
    const int scale = dec.scale;
    if (dec.digit_count <= scale) {
        out[length++] = u'0';
    } else {
        for (int position = dec.digit_count - 1; position >= scale; --position) out[length++] = char16_t(u'0' + digit_at(position));
    }
    if (scale > 0) {
        out[length++] = u'.';
        for (int position = scale - 1; position >= 0; --position) out[length++] = char16_t(u'0' + digit_at(position));
    }
    return length;
}

}  // namespace

void db2_cache_column::write_text(int row, const ole_variant& value) {
    const std::u16string* text = value.get_bstr();
    std::u16string converted;
    if (text == nullptr) {
        converted = value.to_wstring();
        text = &converted;
    }
    if (!copy_text(cell(row), text_units_, *text, indicators_[row])) {
        refuse("is too long: " + std::to_string(text->size()) + " characters, the column holds " +
               std::to_string(text_units_) + ".");
    }
}

void db2_cache_column::write_decimal_text(int row, const ole_variant& value) {
    if (const DECIMAL* dec = value.get_decimal()) {
        // Sign, point, up to 65 digits and a leading zero.
        char16_t buffer[DECIMAL::max_digits + 4];
        const size_t length = format_decimal(*dec, buffer);
        if (!copy_text(cell(row), text_units_, std::u16string_view(buffer, length), indicators_[row])) {
            refuse("is out of range: " + dec->to_string() + ".");
        }
        return;
    }
    write_text(row, value);
}

namespace {

// The value as a 64-bit integer; false when it lies outside 64 bits or is not a number.
bool integer_value(const ole_variant& value, int64_t& out) {
    switch (value.vartype()) {
    case VT_BOOL:
        out = value.to_bool() ? 1 : 0;
        return true;
    case VT_UI4:
    case VT_UINT:
        out = static_cast<uint32_t>(value.to_long());
        return true;
    case VT_I8:
        out = value.get_i8();
        return true;
    case VT_UI8:
        if (value.get_ui8() > uint64_t(INT64_MAX)) return false;
        out = int64_t(value.get_ui8());
        return true;
    case VT_R4:
    case VT_R8: {
        const double number = std::trunc(value.to_double());
        if (!(number >= -9223372036854775808.0 && number < 9223372036854775808.0)) return false;
        out = int64_t(number);
        return true;
    }
    case VT_CY: {
        const int64_t count = value.get_cy().int64;
        int64_t whole = count / 10000;
        const int64_t rest = count % 10000;
        if (rest >= 5000) ++whole;
        if (rest <= -5000) --whole;
        out = whole;
        return true;
    }
    case VT_DECIMAL:
    case VT_BSTR: {
        DECIMAL dec;
        if (const DECIMAL* held = value.get_decimal()) {
            dec = *held;
        } else if (!DECIMAL::from_string(tk_to_ansi(*value.get_bstr()), dec)) {
            return false;
        }
        const long double number = std::nearbyint(std::strtold(dec.to_string().c_str(), nullptr));
        if (!(number >= -9223372036854775808.0L && number < 9223372036854775808.0L)) return false;
        out = int64_t(number);
        return true;
    }
    default:
        out = value.to_long();
        return true;
    }
}

}  // namespace

void db2_cache_column::write_integer(int row, const ole_variant& value) {
    int64_t number = 0;
    const bool ok = integer_value(value, number);
    unsigned char* target = cell(row);
    switch (kind_) {
    case cell_kind::int64:
        if (!ok) refuse("is out of range: " + value.to_string() + ".");
        std::memcpy(target, &number, 8);
        indicators_[row] = 8;
        return;
    case cell_kind::int32: {
        if (!ok || number < INT32_MIN || number > INT32_MAX) refuse("is out of range: " + value.to_string() + ".");
        const int32_t narrow = int32_t(number);
        std::memcpy(target, &narrow, 4);
        indicators_[row] = 4;
        return;
    }
    case cell_kind::int16: {
        if (!ok || number < INT16_MIN || number > INT16_MAX) refuse("is out of range: " + value.to_string() + ".");
        const int16_t narrow = int16_t(number);
        std::memcpy(target, &narrow, 2);
        indicators_[row] = 2;
        return;
    }
    default: {
        if (!ok || number < INT8_MIN || number > INT8_MAX) refuse("is out of range: " + value.to_string() + ".");
        const int8_t narrow = int8_t(number);
        std::memcpy(target, &narrow, 1);
        indicators_[row] = 1;
        return;
    }
    }
}

void db2_cache_column::write_float(int row, const ole_variant& value) {
    double number = 0;
    switch (value.vartype()) {
    case VT_BOOL:
        number = value.to_bool() ? 1.0 : 0.0;
        break;
    case VT_BSTR: {
        const ole_variant parsed = ole_variant::from_wstring(*value.get_bstr(), VT_R8);
        number = parsed.to_double();
        break;
    }
    default:
        number = value.to_double();
        break;
    }
    if (kind_ == cell_kind::dbl) {
        std::memcpy(cell(row), &number, 8);
        indicators_[row] = 8;
        return;
    }
    float single = 0;
    if (value.vartype() == VT_R4) {
        single = float(value.to_double());
    } else {
        if (std::isfinite(number) && std::fabs(number) > FLT_MAX) refuse("is out of range: " + value.to_string() + ".");
        single = float(number);
    }
    std::memcpy(cell(row), &single, 4);
    indicators_[row] = 4;
}

namespace {

bool is_leap_year(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// DB2's calendar: years 1 to 9999 and days that exist.
bool is_db2_date(const SYSTEMTIME& st) {
    static const unsigned month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st.wYear < 1 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1) return false;
    const unsigned last_day = st.wMonth == 2 && is_leap_year(st.wYear) ? 29 : month_days[st.wMonth - 1];
    return st.wDay <= last_day;
}

// DB2's clock: 00:00:00 to 24:00:00, the end of the day with nothing after it.
bool is_db2_time(const SYSTEMTIME& st, uint16_t microseconds) {
    if (st.wHour == 24) return st.wMinute == 0 && st.wSecond == 0 && st.wMilliseconds == 0 && microseconds == 0;
    return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60;
}

}  // namespace

void db2_cache_column::write_timestamp(int row, const ole_variant& value) {
    const ole_variant* date = &value;
    ole_variant parsed;
    if (value.vartype() == VT_BSTR) {
        // A text column merged into a date column: a text that is no date is refused, not lost.
        parsed = ole_variant::from_wstring(*value.get_bstr(), VT_DATE);
        if (parsed.vartype() != VT_DATE) refuse("cannot be stored: '" + tk_to_ansi(*value.get_bstr()) + "'.");
        date = &parsed;
    }
    const SYSTEMTIME st = date->get_systemtime();
    const bool date_fits = sql_type_ == SQL_TYPE_TIME || is_db2_date(st);
    const bool time_fits = sql_type_ == SQL_TYPE_DATE || is_db2_time(st, date->get_microseconds());
    if (!date_fits || !time_fits) {
        char clock[32];
        std::snprintf(clock, sizeof clock, "%02u:%02u:%02u", unsigned(st.wHour), unsigned(st.wMinute),
                      unsigned(st.wSecond));
        const std::string shown = sql_type_ == SQL_TYPE_TIME ? std::string(clock) : date->to_string();
        refuse("cannot be stored: '" + shown + "'.");
    }
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = SQLSMALLINT(st.wYear);
    ts.month = st.wMonth;
    ts.day = st.wDay;
    ts.hour = st.wHour;
    ts.minute = st.wMinute;
    ts.second = st.wSecond;
    // The fraction counts nanoseconds.
    ts.fraction = SQLUINTEGER(st.wMilliseconds) * 1000000u + SQLUINTEGER(date->get_microseconds()) * 1000u;
    if (sql_type_ == SQL_TYPE_DATE) {
        ts.hour = ts.minute = ts.second = 0;
        ts.fraction = 0;
    } else if (sql_type_ == SQL_TYPE_TIME) {
        ts.year = 0;
        ts.month = ts.day = 0;
    }
    std::memcpy(cell(row), &ts, sizeof(ts));
    indicators_[row] = sizeof(ts);
}

namespace {

// Bytes of a value bound for a binary column: a byte array's bytes, anything else its text.
size_t value_bytes(const ole_variant& value, const uint8_t*& data, std::string& holder) {
    if (value.vartype() == VT_BYTE_ARRAY) return value.get_bytes(data);
    holder = value.to_string();
    data = reinterpret_cast<const uint8_t*>(holder.data());
    return holder.size();
}

}  // namespace

void db2_cache_column::write_bytes(int row, const ole_variant& value) {
    const uint8_t* data = nullptr;
    std::string holder;
    const size_t count = value_bytes(value, data, holder);
    if (count > cell_size_) {
        refuse("is too long: " + std::to_string(count) + " bytes, the column holds " + std::to_string(cell_size_) + ".");
    }
    if (count != 0) std::memcpy(cell(row), data, count);
    indicators_[row] = SQLLEN(count);
}

void db2_cache_column::write_at_exec(int row, const ole_variant& value) {
    if (kind_ == cell_kind::blob_at_exec) {
        const uint8_t* data = nullptr;
        std::string holder;
        const size_t count = value_bytes(value, data, holder);
        lob_bytes_[row].assign(data, data + count);
        indicators_[row] = SQL_LEN_DATA_AT_EXEC(SQLLEN(count));
        return;
    }
    std::u16string& slot = lob_texts_[row];
    if (const std::u16string* text = value.get_bstr()) {
        slot.assign(*text);
    } else {
        slot.assign(value.to_wstring());
    }
    // An empty text is stored as NULL in a large-object column.
    indicators_[row] = slot.empty() ? SQL_NULL_DATA : SQL_DATA_AT_EXEC;
}

void db2_cache_column::bind_parameter(SQLHANDLE stmt, int first_row) {
    TK_TRACE(1, "ora_type::set_bind_params()");
    const cli_library& cli = engine().cli();
    SQLULEN column_size = 0;
    SQLSMALLINT digits = 0;
    switch (kind_) {
    case cell_kind::text:
    case cell_kind::decimal_text:
        // The capacity of the cell: the CLI must not cut a value the cell holds.
        column_size = text_units_;
        break;
    case cell_kind::timestamp:
        column_size = timestamp_column_size;
        digits = timestamp_digits;
        break;
    case cell_kind::bytes:
        column_size = cell_size_;
        break;
    case cell_kind::blob_at_exec:
    case cell_kind::text_at_exec:
        // A large object's column size is its longest value.
        column_size = std::max<SQLULEN>(size_, 1);
        break;
    default:
        column_size = SQLULEN(precision_);
        digits = SQLSMALLINT(scale_);
        break;
    }
    const SQLLEN buffer_length = SQLLEN(cell_size_);
    const SQLRETURN rc = cli.SQLBindParameter(stmt, SQLUSMALLINT(index_ + 1), SQL_PARAM_INPUT, c_type_, bound_sql_type_,
                                              column_size, digits, cell(first_row), buffer_length,
                                              indicators_.get() + first_row);
    engine().check_err(rc, SQL_HANDLE_STMT, stmt);
}

void db2_cache_column::bind_column(SQLHANDLE stmt) {
    const cli_library& cli = engine().cli();
    SQLSMALLINT c_type = c_type_;
    SQLLEN buffer_length = SQLLEN(cell_size_);
    if (is_at_exec()) {
        c_type = sql_type_ == SQL_BLOB ? SQL_C_BLOB_LOCATOR : sql_type_ == SQL_DBCLOB ? SQL_C_DBCLOB_LOCATOR : SQL_C_CLOB_LOCATOR;
        buffer_length = 0;
        length_statement_ = engine().new_statement();
        substring_statement_ = engine().new_statement();
    }
    engine().check_err(cli.SQLBindCol(stmt, SQLUSMALLINT(index_ + 1), c_type, cell(0), buffer_length, indicators_.get()),
                       SQL_HANDLE_STMT, stmt);
}

bool db2_cache_column::owns_token(const void* token) const {
    const unsigned char* address = static_cast<const unsigned char*>(token);
    return address >= cells_.get() && address < cells_.get() + size_t(rows_) * cell_size_;
}

int db2_cache_column::next_pending_row(int first, int last) {
    for (int row = std::max(pending_row_, first); row <= last; ++row) {
        const SQLLEN indicator = indicators_[row];
        if (indicator == SQL_DATA_AT_EXEC || indicator <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
            pending_row_ = row + 1;
            return row;
        }
    }
    return -1;
}

SQLRETURN db2_cache_column::put_data(SQLHANDLE stmt, int row) {
    const cli_library& cli = engine().cli();
    if (kind_ == cell_kind::blob_at_exec) {
        std::vector<unsigned char>& bytes = lob_bytes_[row];
        return cli.SQLPutData(stmt, bytes.data(), SQLLEN(bytes.size()));
    }
    std::u16string& text = lob_texts_[row];
    return cli.SQLPutData(stmt, text.data(), SQLLEN(text.size() * sizeof(char16_t)));
}

ole_variant db2_cache_column::read(int row) const {
    const SQLLEN indicator = indicators_[row];
    if (indicator == SQL_NULL_DATA) return ole_variant();
    const unsigned char* source = cell(row);
    auto cell_text = [&]() {
        const char16_t* text = reinterpret_cast<const char16_t*>(source);
        size_t length = indicator >= 0 ? size_t(indicator) / sizeof(char16_t) : std::char_traits<char16_t>::length(text);
        return std::u16string(text, std::min<size_t>(length, text_units_));
    };
    switch (kind_) {
    case cell_kind::text:
        return ole_variant(cell_text());
    case cell_kind::decimal_text:
        return ole_variant::from_wstring(cell_text(), VT_DECIMAL);
    case cell_kind::int32: {
        int32_t value;
        std::memcpy(&value, source, 4);
        return ole_variant(int(value));
    }
    case cell_kind::int16: {
        int16_t value;
        std::memcpy(&value, source, 2);
        return ole_variant(short(value));
    }
    case cell_kind::int8: {
        signed char value;
        std::memcpy(&value, source, 1);
        return ole_variant(value);
    }
    case cell_kind::bit:
        return ole_variant(bool(source[0] != 0));
    case cell_kind::dbl: {
        double value;
        std::memcpy(&value, source, 8);
        return ole_variant(value);
    }
    case cell_kind::real: {
        float value;
        std::memcpy(&value, source, 4);
        return ole_variant(value);
    }
    case cell_kind::int64: {
        int64_t value;
        std::memcpy(&value, source, 8);
        return ole_variant(static_cast<long long>(value));
    }
    case cell_kind::timestamp: {
        TK_TRACE(1, "Extract date value");
        SQL_TIMESTAMP_STRUCT ts;
        std::memcpy(&ts, source, sizeof(ts));
        SYSTEMTIME st;
        st.wYear = uint16_t(ts.year);
        st.wMonth = ts.month;
        st.wDay = ts.day;
        st.wHour = ts.hour;
        st.wMinute = ts.minute;
        st.wSecond = ts.second;
        st.wMilliseconds = uint16_t(ts.fraction / 1000000u);
        return ole_variant(st, uint16_t(ts.fraction / 1000u % 1000u));
    }
    case cell_kind::bytes:
        return ole_variant(std::min<size_t>(size_t(std::max<SQLLEN>(indicator, 0)), cell_size_), source);
    case cell_kind::blob_at_exec:
    case cell_kind::text_at_exec:
        return read_locator(row);
    }
    return ole_variant();
}

ole_variant db2_cache_column::read_locator(int row) const {
    const cli_library& cli = engine().cli();
    SQLINTEGER locator = 0;
    std::memcpy(&locator, cell(row), sizeof(locator));
    const SQLSMALLINT locator_type =
        sql_type_ == SQL_BLOB ? SQL_C_BLOB_LOCATOR : sql_type_ == SQL_DBCLOB ? SQL_C_DBCLOB_LOCATOR : SQL_C_CLOB_LOCATOR;
    if (cli.SQLGetLength == nullptr || cli.SQLGetSubString == nullptr)
        throw db2_exception(SQL_ERROR, "Column \"" + tk_to_ansi(name_) +
                                           "\" holds a large object, which this DB2 CLI library "
                                           "cannot read (it has no LOB locator functions).");
    SQLINTEGER length = 0;
    SQLINTEGER indicator = 0;
    engine().check_err(cli.SQLGetLength(length_statement_.get(), locator_type, locator, &length, &indicator),
                       SQL_HANDLE_STMT, length_statement_.get());
    if (indicator == SQL_NULL_DATA) return ole_variant();
    SQLINTEGER returned = 0;
    if (sql_type_ == SQL_BLOB) {
        std::vector<uint8_t> bytes(size_t(std::max<SQLINTEGER>(length, 0)));
        if (length > 0) {
            engine().check_err(cli.SQLGetSubString(substring_statement_.get(), locator_type, locator, 1,
                                                   SQLUINTEGER(length), SQL_C_BINARY, bytes.data(), length, &returned,
                                                   &indicator),
                               SQL_HANDLE_STMT, substring_statement_.get());
            if (returned >= 0 && size_t(returned) < bytes.size()) bytes.resize(size_t(returned));
        }
        return ole_variant(bytes);
    }
    // length + 1 characters: a character never takes fewer units than the length counts.
    std::u16string text(size_t(std::max<SQLINTEGER>(length, 0)) + 1, u'\0');
    if (length > 0) {
        engine().check_err(cli.SQLGetSubString(substring_statement_.get(), locator_type, locator, 1,
                                               SQLUINTEGER(length), SQL_C_WCHAR, text.data(),
                                               SQLINTEGER(text.size() * sizeof(char16_t)), &returned, &indicator),
                           SQL_HANDLE_STMT, substring_statement_.get());
    }
    size_t units = std::char_traits<char16_t>::length(text.c_str());
    if (returned >= 0 && size_t(returned) / sizeof(char16_t) < text.size()) units = size_t(returned) / sizeof(char16_t);
    text.resize(units);
    return ole_variant(std::move(text));
}

// ---------------------------------------------------------------------------------------------
// db2_cache

db2_cache::db2_cache(int rows) : rows_(rows) {}

db2_cache::~db2_cache() = default;

void db2_cache::allocate(const udb_schema& columns, const std::vector<db2_column_info>& infos) {
    TK_TRACE(1, "db2_cache::allocate");
    columns_.clear();
    columns_.reserve(columns.size());
    for (size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
        columns_.push_back(std::make_unique<db2_cache_column>(int(column_idx), columns[column_idx], infos[column_idx], rows_));
    }
}

void db2_cache::prepare_insert(const std::u16string& table) {
    insert_ = true;
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    std::u16string text = u"INSERT INTO " + db2_quote(table) + u"(";
    std::u16string markers;
    for (size_t column_idx = 0; column_idx < columns_.size(); ++column_idx) {
        if (column_idx != 0) {
            text += u", ";
            markers += u", ";
        }
        text += db2_quote(columns_[column_idx]->name());
        markers += u"?";
    }
    text += u") VALUES (" + markers + u")";
    insert_statement_ = db2.new_statement();
    SQLHANDLE stmt = insert_statement_.get();
    db2.check_err(cli.SQLPrepareW(stmt, wide_arg(text), SQL_NTS), SQL_HANDLE_STMT, stmt);
    set_paramset_size(rows_);
    db2.check_err(cli.SQLSetStmtAttrW(stmt, SQL_ATTR_PARAM_BIND_TYPE, int_attr(SQL_BIND_BY_COLUMN), 0), SQL_HANDLE_STMT,
                  stmt);
    // Row by row processing with a status per row lets a failed array keep its good rows. A CLI
    // that refuses either attribute is treated as atomic: a failed array stored nothing.
    non_atomic_ = cli.SQLSetStmtAttrW(stmt, SQL_ATTR_PARAMOPT_ATOMIC, int_attr(SQL_ATOMIC_NO), 0) == SQL_SUCCESS;
    status_.assign(size_t(rows_), SQL_PARAM_UNUSED);
    status_bound_ = cli.SQLSetStmtAttrW(stmt, SQL_ATTR_PARAM_STATUS_PTR, status_.data(), 0) == SQL_SUCCESS;
    bind_parameters(0);
}

void db2_cache::bind_parameters(int first_row) {
    for (auto& column : columns_) column->bind_parameter(insert_statement_.get(), first_row);
}

void db2_cache::set_paramset_size(int n) {
    if (n == paramset_size_) return;
    engine().check_err(engine().cli().SQLSetStmtAttrW(insert_statement_.get(), SQL_ATTR_PARAMSET_SIZE, int_attr(SQLULEN(n)), 0),
                       SQL_HANDLE_STMT, insert_statement_.get());
    paramset_size_ = n;
}

void db2_cache::bind_for_reading(SQLHANDLE stmt) {
    TK_TRACE(1, "db2_cache::bind");
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    db2.check_err(cli.SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, int_attr(SQLULEN(rows_)), 0), SQL_HANDLE_STMT, stmt);
    db2.check_err(cli.SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_BIND_TYPE, int_attr(SQL_BIND_BY_COLUMN), 0), SQL_HANDLE_STMT, stmt);
    for (auto& column : columns_) column->bind_column(stmt);
    bound_ = true;
}

SQLRETURN db2_cache::run(int first, int n) {
    const cli_library& cli = engine().cli();
    SQLHANDLE stmt = insert_statement_.get();
    SQLRETURN rc = cli.SQLExecute(stmt);
    if (rc != SQL_NEED_DATA) return rc;
    for (auto& column : columns_) column->reset_pending(first);
    for (;;) {
        SQLPOINTER token = nullptr;
        rc = cli.SQLParamData(stmt, &token);
        if (rc != SQL_NEED_DATA) return rc;
        db2_cache_column* due = nullptr;
        for (auto& column : columns_) {
            if (column->is_at_exec() && column->owns_token(token)) due = column.get();
        }
        const int row = due != nullptr ? due->next_pending_row(first, first + n - 1) : -1;
        if (row < 0) throw tk_mail_assertion("db2_recs", 431);
        rc = due->put_data(stmt, row);
        if (rc != SQL_SUCCESS) return rc;
    }
}

std::vector<db2_cache::refused_row> db2_cache::execute(int n) {
    std::vector<refused_row> refused;
    if (!insert_ || n <= 0) return refused;
    db2_engine& db2 = engine();
    SQLHANDLE stmt = insert_statement_.get();
    set_paramset_size(n);
    const SQLUSMALLINT not_reported = 0xFFFF;
    std::fill(status_.begin(), status_.end(), not_reported);
    const SQLRETURN rc = run(0, n);
    if (rc == SQL_SUCCESS) return refused;
    const std::string message = db2.get_diag_text(SQL_HANDLE_STMT, stmt);
    // A non-atomic array also answers "with info" when some of its rows failed: their statuses
    // say which, and those rows are refused below like the rows of a failed array.
    const bool rows_failed = non_atomic_ && status_bound_ &&
                             std::any_of(status_.begin(), status_.begin() + n,
                                         [](SQLUSMALLINT s) { return s == SQL_PARAM_ERROR; });
    if (rc == SQL_SUCCESS_WITH_INFO && !rows_failed) {
        // Every row is stored; the warning is kept in the trace.
        TK_TRACE(2, "db2_cache::execute: %s", message.c_str());
        return refused;
    }
    TK_TRACE(2, "db2_cache::execute(%d) failed: %s", n, message.c_str());
    // Which rows are still to be stored: those a non-atomic CLI did not report as stored, or all of
    // them after an atomic array. Each is sent alone, so DB2 names its own failure.
    const bool statuses_known =
        non_atomic_ && status_bound_ && std::any_of(status_.begin(), status_.begin() + n, [&](SQLUSMALLINT s) {
            return s != not_reported;
        });
    std::vector<int> retry;
    for (int row = 0; row < n; ++row) {
        const SQLUSMALLINT status = status_[size_t(row)];
        if (statuses_known && (status == SQL_PARAM_SUCCESS || status == SQL_PARAM_SUCCESS_WITH_INFO)) continue;
        retry.push_back(row);
    }
    set_paramset_size(1);
    for (int row : retry) {
        bind_parameters(row);
        const SQLRETURN row_rc = run(row, 1);
        if (row_rc == SQL_SUCCESS || row_rc == SQL_SUCCESS_WITH_INFO) continue;
        std::string row_message = db2.get_diag_text(SQL_HANDLE_STMT, stmt);
        if (row_message.empty()) row_message = message;
        refused.push_back({row, std::move(row_message)});
    }
    bind_parameters(0);
    return refused;
}

// ---------------------------------------------------------------------------------------------
// db2_recordset

db2_recordset::db2_recordset(const std::u16string& schema, const std::u16string& table, int32_t mode)
    : udb_recordset(table, true), table_name_(table), schema_name_(schema) {
    TK_TRACE(2, "db2_recordset::db2_recordset(%s)", TK_W(table));
    cursor_ = engine().new_statement();
    init_schema();
    if (!schema_.empty()) {
        record_count_ = engine().get_record_count(db2_quote(schema_name_) + u"." + db2_quote(table_name_));
        TK_TRACE(2, "Got %d records", int(record_count_));
    } else {
        TK_TRACE(2, "Empty table");
    }
    init_cursor();
    if (mode == mode_append) deinit_cursor();
}

db2_recordset::db2_recordset(const std::u16string& name, const std::u16string& statement_text)
    : udb_recordset(name, statement_text, true) {
    TK_TRACE(2, "db2_recordset::db2_recordset(%s)", TK_W(name));
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    cursor_ = db2.new_statement();
    SQLHANDLE stmt = cursor_.get();
    db2.check_err(cli.SQLSetStmtAttrW(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows_fetched_, 0), SQL_HANDLE_STMT, stmt);
    db2.check_err(cli.SQLExecDirectW(stmt, wide_arg(query_text_), SQL_NTS), SQL_HANDLE_STMT, stmt);
    SQLSMALLINT count = 0;
    db2.check_err(cli.SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt);
    for (SQLSMALLINT column = 1; column <= count; ++column) {
        SQLWCHAR column_name[258] = {};
        SQLSMALLINT name_length = 0;
        SQLSMALLINT data_type = 0;
        SQLULEN column_size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        db2.check_err(cli.SQLDescribeColW(stmt, SQLUSMALLINT(column), column_name, SQLSMALLINT(std::size(column_name)),
                                          &name_length, &data_type, &column_size, &digits, &nullable),
                      SQL_HANDLE_STMT, stmt);
        const uint32_t size = uint32_t(std::min<SQLULEN>(column_size, UINT32_MAX));
        schema_.add_field(std::make_unique<t_ftd>(size, std::u16string(column_name), db2_vartype_of(data_type),
                                                  nullable != SQL_NULLABLE, false, ole_variant(),
                                                  int32_t(digits + 256 * size)));
        db2_column_info info;
        info.sql_type = data_type;
        info.text_units = std::max<uint32_t>(size, 1);
        infos_.push_back(std::move(info));
    }
}

db2_recordset::~db2_recordset() {
    if (!closed_) {
        try {
            close();
        } catch (const std::exception& e) {
            TK_TRACE(3, "db2_recordset::~db2_recordset: %s", e.what());
        } catch (...) {
            TK_TRACE(3, "db2_recordset::~db2_recordset: unknown failure");
        }
    }
    try {
        deinit_cursor();
    } catch (const std::exception& e) {
        TK_TRACE(3, "db2_recordset::~db2_recordset: %s", e.what());
    }
}

void db2_recordset::init_schema() {
    TK_TRACE(2, "db2_recordset::init_schema");
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    SQLHANDLE stmt = cursor_.get();
    std::u16string all = u"%";
    // Names, not patterns: the columns of "a_b" must not include those of "axb".
    const std::u16string schema_pattern = db2_pattern(schema_name_);
    const std::u16string table_pattern = db2_pattern(table_name_);
    db2.check_err(cli.SQLColumnsW(stmt, nullptr, 0, wide_arg(schema_pattern), SQL_NTS, wide_arg(table_pattern), SQL_NTS,
                                  wide_arg(all), SQL_NTS),
                  SQL_HANDLE_STMT, stmt);
    SQLWCHAR column_name[129] = {};
    SQLWCHAR default_text[1025] = {};
    SQLSMALLINT data_type = 0, digits = 0, nullable = 0, sql_data_type = 0, datetime_sub = 0;
    SQLINTEGER buffer_length = 0;
    SQLLEN name_ind = 0, type_ind = 0, length_ind = 0, digits_ind = 0, nullable_ind = 0, default_ind = 0,
           sql_type_ind = 0, sub_ind = 0;
    auto bind = [&](SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target, SQLLEN size, SQLLEN* indicator) {
        db2.check_err(cli.SQLBindCol(stmt, column, c_type, target, size, indicator), SQL_HANDLE_STMT, stmt);
    };
    bind(4, SQL_C_WCHAR, column_name, sizeof(column_name), &name_ind);
    bind(5, SQL_C_SSHORT, &data_type, sizeof(data_type), &type_ind);
    bind(8, SQL_C_SLONG, &buffer_length, sizeof(buffer_length), &length_ind);
    bind(9, SQL_C_SSHORT, &digits, sizeof(digits), &digits_ind);
    bind(11, SQL_C_SSHORT, &nullable, sizeof(nullable), &nullable_ind);
    bind(13, SQL_C_WCHAR, default_text, sizeof(default_text), &default_ind);
    bind(14, SQL_C_SSHORT, &sql_data_type, sizeof(sql_data_type), &sql_type_ind);
    bind(15, SQL_C_SSHORT, &datetime_sub, sizeof(datetime_sub), &sub_ind);
    for (;;) {
        const SQLRETURN rc = cli.SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        db2.check_err(rc, SQL_HANDLE_STMT, stmt);
        db2_column_info info;
        info.sql_type = type_ind == SQL_NULL_DATA ? SQL_UNKNOWN_TYPE : data_type;
        const VARTYPE vt = db2_vartype_of(info.sql_type);
        const uint32_t size = length_ind == SQL_NULL_DATA ? 0 : uint32_t(buffer_length);
        ole_variant def_value;
        if (default_ind != SQL_NULL_DATA) {
            std::u16string text(default_text);
            if (text.size() > 1 && text.front() == u'\'' && text.back() == u'\'') text = text.substr(1, text.size() - 2);
            TK_TRACE(2, "Got string def.value: %s", TK_W(text));
            // DEFAULT NULL (the bare word) is no default value: it must not become the text NULL.
            if (!(text == u"NULL" && default_text[0] != u'\'')) {
                info.has_default = true;
                info.default_text = text;
                try {
                    def_value = ole_variant::from_wstring(text, vt);
                } catch (const tk_exception&) {
                    def_value = ole_variant();
                }
            }
        }
        int32_t reserved = 0;
        if (sub_ind != SQL_NULL_DATA) {
            if (datetime_sub == SQL_CODE_TIMESTAMP) reserved = ole_date::kind_datetime;
            if (datetime_sub == SQL_CODE_DATE) reserved = ole_date::kind_date;
            if (datetime_sub == SQL_CODE_TIME) reserved = ole_date::kind_time;
        }
        if (is_character_type(info.sql_type)) info.text_units = is_graphic_type(info.sql_type) ? size / 2 : size;
        schema_.add_field(std::make_unique<t_ftd>(size, std::u16string(column_name), vt,
                                                  nullable_ind == SQL_NULL_DATA || nullable != SQL_NULLABLE, false,
                                                  def_value, reserved));
        infos_.push_back(std::move(info));
    }
    TK_TRACE(2, "Got %d columns", int(schema_.size()));
    db2.check_err(cli.SQLFreeStmt(stmt, SQL_UNBIND), SQL_HANDLE_STMT, stmt);
    db2.check_err(cli.SQLFreeStmt(stmt, SQL_CLOSE), SQL_HANDLE_STMT, stmt);
}

void db2_recordset::init_cursor() {
    TK_TRACE(2, "db2_recordset::init_cursor");
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    std::u16string select;
    for (size_t column_idx = 0; column_idx < schema_.size(); ++column_idx) {
        if (column_idx != 0) select += u", ";
        const std::u16string column = db2_quote(schema_[column_idx].name);
        select += infos_[column_idx].sql_type == SQL_XML ? u"XML2CLOB(" + column + u")" : column;
    }
    const std::u16string text =
        u"SELECT " + select + u" FROM " + db2_quote(schema_name_) + u"." + db2_quote(table_name_);
    TK_TRACE(1, "Executing query: %s", TK_W(text));
    SQLHANDLE stmt = cursor_.get();
    db2.check_err(cli.SQLSetStmtAttrW(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows_fetched_, 0), SQL_HANDLE_STMT, stmt);
    db2.check_err(cli.SQLExecDirectW(stmt, wide_arg(text), SQL_NTS), SQL_HANDLE_STMT, stmt);
    SQLSMALLINT count = 0;
    db2.check_err(cli.SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt);
    for (SQLSMALLINT column = 1; column <= count; ++column) {
        SQLWCHAR column_name[129] = {};
        SQLSMALLINT name_length = 0, data_type = 0, digits = 0, nullable = 0;
        SQLULEN column_size = 0;
        db2.check_err(cli.SQLDescribeColW(stmt, SQLUSMALLINT(column), column_name, SQLSMALLINT(std::size(column_name)),
                                          &name_length, &data_type, &column_size, &digits, &nullable),
                      SQL_HANDLE_STMT, stmt);
        SQLLEN auto_unique = 0, precision = 0, scale = 0;
        db2.check_err(cli.SQLColAttributeW(stmt, SQLUSMALLINT(column), SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr,
                                           &auto_unique),
                      SQL_HANDLE_STMT, stmt);
        db2.check_err(cli.SQLColAttributeW(stmt, SQLUSMALLINT(column), SQL_DESC_PRECISION, nullptr, 0, nullptr, &precision),
                      SQL_HANDLE_STMT, stmt);
        db2.check_err(cli.SQLColAttributeW(stmt, SQLUSMALLINT(column), SQL_DESC_SCALE, nullptr, 0, nullptr, &scale),
                      SQL_HANDLE_STMT, stmt);
        const std::u16string name(column_name);
        for (t_ftd* field : schema_.get_fields()) {
            if (field->name != name) continue;
            if (field->vartype != VT_DATE) field->reserved = int32_t(precision * 256 + scale);
            if (auto_unique == 1) field->b_auto_increment = true;
            break;
        }
    }
}

void db2_recordset::deinit_cursor() {
    TK_TRACE(1, "db2_recordset::deinit_cursor");
    if (!cursor_) return;
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    SQLHANDLE stmt = cursor_.get();
    db2.check_err(cli.SQLFreeStmt(stmt, SQL_UNBIND), SQL_HANDLE_STMT, stmt);
    db2.check_err(cli.SQLFreeStmt(stmt, SQL_CLOSE), SQL_HANDLE_STMT, stmt);
    cursor_.reset();
}

void db2_recordset::reset() {
    TK_TRACE(1, "db2_recordset::reset");
    if (end_ || cache_.is_bound()) return;
    if (!cursor_) {
        end_ = true;
        return;
    }
    cache_.allocate(schema_, infos_);
    cache_.bind_for_reading(cursor_.get());
    next();
}

void db2_recordset::next() {
    TK_TRACE(1, "db2_recordset::next");
    if (end_) return;
    if (!cache_.is_bound()) throw tk_mail_assertion("db2_recs", 547);
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    SQLHANDLE stmt = cursor_.get();
    if (current_row_ == -1) {
        const SQLRETURN rc = cli.SQLFetch(stmt);
        if (rc == SQL_NO_DATA) {
            end_ = true;
        } else {
            db2.check_err(rc, SQL_HANDLE_STMT, stmt);
        }
        current_row_ = 0;
        if (!end_ && rows_fetched_ == 0) end_ = true;
        return;
    }
    if (SQLULEN(current_row_) + 1 < rows_fetched_) {
        ++current_row_;
        return;
    }
    const SQLRETURN rc = cli.SQLFetch(stmt);
    if (rc == SQL_NO_DATA) {
        end_ = true;
    } else {
        db2.check_err(rc, SQL_HANDLE_STMT, stmt);
    }
    if (end_ || rows_fetched_ == 0) {
        end_ = true;
        current_row_ = -1;
    } else {
        current_row_ = 0;
    }
}

bool db2_recordset::is_eof() {
    TK_TRACE(1, "db2_recordset::is_eof(%d)", int(end_));
    return end_;
}

udb_record* db2_recordset::get_item() {
    TK_TRACE(1, "db2_recordset::get_item");
    if (end_ || !cache_.is_bound() || current_row_ < 0) return nullptr;
    auto record = std::make_unique<udb_record>();
    for (size_t column_idx = 0; column_idx < schema_.size(); ++column_idx) {
        const t_ftd& column = schema_[column_idx];
        record->add_field(std::make_unique<udb_field>(column.name, column.size, cache_.column(column_idx).read(current_row_),
                                                      column.b_not_null, column.b_auto_increment));
    }
    item_ = std::move(record);
    return item_.get();
}

void db2_recordset::disable_all_identities() {
    TK_TRACE(2, "db2_recordset::disable_all_identities");
    for (const t_ftd* column : schema_.get_fields()) {
        if (!column->b_auto_increment) continue;
        TK_TRACE(1, "db2_recordset::disable_identity(%s)", TK_W(column->name));
        engine().execute(u"ALTER TABLE " + db2_quote(table_name_) + u" ALTER COLUMN " + db2_quote(column->name) +
                         u" DROP IDENTITY");
    }
    identities_off_ = true;
}

void db2_recordset::enable_all_identities() {
    TK_TRACE(2, "db2_recordset::enable_all_identities");
    if (!identities_off_) return;
    db2_engine& db2 = engine();
    const cli_library& cli = db2.cli();
    for (const t_ftd* column : schema_.get_fields()) {
        if (!column->b_auto_increment) continue;
        TK_TRACE(1, "db2_recordset::enable_identity(%s)", TK_W(column->name));
        const std::u16string text = u"SELECT MAX(" + db2_quote(column->name) + u") + 1 FROM " + db2_quote(table_name_);
        int64_t start = 1;
        {
            cli_statement statement = db2.new_statement();
            SQLHANDLE stmt = statement.get();
            db2.check_err(cli.SQLExecDirectW(stmt, wide_arg(text), SQL_NTS), SQL_HANDLE_STMT, stmt);
            SQLBIGINT value = 0;
            SQLLEN indicator = 0;
            db2.check_err(cli.SQLBindCol(stmt, 1, SQL_C_SBIGINT, &value, sizeof(value), &indicator), SQL_HANDLE_STMT, stmt);
            if (cli.SQLFetch(stmt) == SQL_SUCCESS && indicator != SQL_NULL_DATA) start = value;
            cli.SQLFreeStmt(stmt, SQL_UNBIND);
            cli.SQLFreeStmt(stmt, SQL_CLOSE);
        }
        // BY DEFAULT, as the table was created: applications may still supply their own values.
        db2.execute(u"ALTER TABLE " + db2_quote(table_name_) + u" ALTER COLUMN " + db2_quote(column->name) +
                    u" SET GENERATED BY DEFAULT AS IDENTITY (START WITH " + tk_u16(std::to_string(start)) + u")");
    }
    identities_off_ = false;
}

void db2_recordset::append_record(const udb_record& record) {
    TK_TRACE(1, "db2_recordset::append_record");
    const int32_t record_number = ++appended_count_;
    if (!cache_.has_columns()) {
        deinit_cursor();
        disable_all_identities();
        cache_.allocate(schema_, infos_);
        cache_.prepare_insert(table_name_);
        last_row_ = cache_.rows() - 1;
        row_records_.assign(size_t(cache_.rows()), 0);
    }
    const int row = current_row_ + 1;
    static const ole_variant missing;
    for (size_t column_idx = 0; column_idx < cache_.size(); ++column_idx) {
        const ole_variant& value = column_idx < record.size() ? static_cast<const ole_variant&>(record[column_idx]) : missing;
        cache_.column(column_idx).write(row, value);
    }
    current_row_ = row;
    row_records_[size_t(row)] = record_number;
    if (current_row_ == last_row_) send(cache_.rows());
}

void db2_recordset::send(int n) {
    std::vector<db2_cache::refused_row> refused = cache_.execute(n);
    current_row_ = -1;
    if (!refused.empty()) report(refused);
}

void db2_recordset::report(const std::vector<db2_cache::refused_row>& refused) {
    const db2_engine::record_error_handler& handler = engine().get_record_error_handler();
    if (handler) {
        for (const db2_cache::refused_row& row : refused) {
            const int32_t record_number = row_records_[size_t(row.row)];
            TK_TRACE(2, "Record #%d refused: %s", int(record_number), row.message.c_str());
            handler(table_name_, record_number, db2_exception(SQL_ERROR, row.message));
        }
        return;
    }
    std::string text;
    for (const db2_cache::refused_row& row : refused) {
        if (!text.empty()) text += "; ";
        text += "record #" + std::to_string(row_records_[size_t(row.row)]) + ":" + row.message;
    }
    throw db2_exception(SQL_ERROR, text);
}

void db2_recordset::close() {
    if (closed_) return;
    closed_ = true;
    std::exception_ptr failure;
    try {
        if (cursor_) {
            deinit_cursor();
        } else if (cache_.is_insert() && current_row_ >= 0) {
            send(current_row_ + 1);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        enable_all_identities();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
}
