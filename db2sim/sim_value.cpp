// DB2's value rules as the stand-in applies them: assignment to a column (IBM Db2 11.5 "Assignments
// and comparisons"), comparison, and the character form of each type.
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "sim_common.h"

namespace db2sim {

namespace {

std::string sqlcode_id(int sqlcode) {
    int n = sqlcode < 0 ? -sqlcode : sqlcode;
    char buffer[24];
    if (n < 10000)
        std::snprintf(buffer, sizeof buffer, "SQL%04d%c", n, sqlcode < 0 ? 'N' : 'W');
    else
        std::snprintf(buffer, sizeof buffer, "SQL%d%c", n, sqlcode < 0 ? 'N' : 'W');
    return buffer;
}

// The SQLSTATE DB2 CLI hands an ODBC 3 application where it differs from the server's.
std::string odbc3_state(int sqlcode, const std::string& state) {
    if (sqlcode == -204 && state == "42704") return "42S02";
    if ((sqlcode == -206 || sqlcode == -205) && state == "42703") return "42S22";
    if (sqlcode == -601 && state == "42710") return "42S01";
    return {};
}

std::string first_chars(std::string_view text) {
    std::string out(text.substr(0, 32));
    return out;
}

}  // namespace

sim_error sql_error(int sqlcode, std::string sqlstate, std::string message) {
    sim_error e;
    e.sqlcode = sqlcode;
    e.odbc_state = odbc3_state(sqlcode, sqlstate);
    e.sqlstate = std::move(sqlstate);
    e.message = std::move(message);
    e.message_id = sqlcode_id(sqlcode);
    return e;
}

sim_error cli_error(const char* id, std::string sqlstate, std::string message) {
    sim_error e;
    e.sqlcode = -99999;
    e.sqlstate = std::move(sqlstate);
    e.message = std::move(message);
    e.message_id = id;
    return e;
}

std::string format_diagnostic(const sim_error& error) {
    return "[db2sim][CLI Driver] " + error.message_id + "  " + error.message + "  SQLSTATE=" + error.sqlstate;
}

sim_error syntax_error(std::string_view token, std::string_view after, std::string_view expected) {
    return sql_error(-104, "42601",
                     "An unexpected token \"" + std::string(token) + "\" was found following \"" +
                         std::string(after) + "\".  Expected tokens may include:  \"" + std::string(expected) +
                         "\".");
}

sim_error undefined_name(const std::string& name) {
    return sql_error(-204, "42704", "\"" + name + "\" is an undefined name.");
}

// ---------------------------------------------------------------------------------------------
// Text

void utf16_to_utf8(std::u16string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (std::size_t idx = 0; idx < in.size(); ++idx) {
        std::uint32_t c = in[idx];
        if (c >= 0xD800 && c <= 0xDBFF && idx + 1 < in.size() && in[idx + 1] >= 0xDC00 && in[idx + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[idx + 1] - 0xDC00);
            ++idx;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate cannot be stored as UTF-8
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

namespace {
// Decodes one code point; bad sequences give U+FFFD and advance one byte.
std::uint32_t next_code_point(std::string_view in, std::size_t& idx) {
    auto b = static_cast<unsigned char>(in[idx]);
    auto cont = [&](std::size_t at) {
        return at < in.size() && (static_cast<unsigned char>(in[at]) & 0xC0) == 0x80;
    };
    if (b < 0x80) { ++idx; return b; }
    if ((b & 0xE0) == 0xC0 && b >= 0xC2 && cont(idx + 1)) {
        std::uint32_t c = ((b & 0x1F) << 6) | (in[idx + 1] & 0x3F);
        idx += 2;
        return c;
    }
    if ((b & 0xF0) == 0xE0 && cont(idx + 1) && cont(idx + 2)) {
        std::uint32_t c = ((b & 0x0F) << 12) | ((in[idx + 1] & 0x3F) << 6) | (in[idx + 2] & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) { idx += 3; return c; }
    }
    if ((b & 0xF8) == 0xF0 && cont(idx + 1) && cont(idx + 2) && cont(idx + 3)) {
        std::uint32_t c = ((b & 0x07) << 18) | ((in[idx + 1] & 0x3F) << 12) | ((in[idx + 2] & 0x3F) << 6) |
                          (in[idx + 3] & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) { idx += 4; return c; }
    }
    ++idx;
    return 0xFFFFFFFF;
}
}  // namespace

void utf8_to_utf16(std::string_view in, std::u16string& out) {
    out.clear();
    out.reserve(in.size());
    std::size_t idx = 0;
    while (idx < in.size()) {
        std::uint32_t c = next_code_point(in, idx);
        if (c == 0xFFFFFFFF) c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
}

std::size_t utf16_length(std::string_view utf8) {
    std::size_t units = 0;
    for (unsigned char b : utf8) {
        if ((b & 0xC0) != 0x80) ++units;   // a lead byte starts a code point
        if ((b & 0xF8) == 0xF0) ++units;   // four-byte sequences need a surrogate pair
    }
    return units;
}

bool is_valid_utf8(std::string_view text) {
    std::size_t idx = 0;
    while (idx < text.size())
        if (next_code_point(text, idx) == 0xFFFFFFFF) return false;
    return true;
}

std::string to_upper(std::string_view text) {
    bool ascii = true;
    for (unsigned char c : text)
        if (c >= 0x80) { ascii = false; break; }
    std::string out(text);
    if (ascii) {
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return out;
    }
    std::u16string wide;
    utf8_to_utf16(text, wide);
    std::u16string upper(wide.size() * 2 + 4, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = u_strToUpper(reinterpret_cast<UChar*>(upper.data()), static_cast<int32_t>(upper.size()),
                             reinterpret_cast<const UChar*>(wide.data()), static_cast<int32_t>(wide.size()), "",
                             &status);
    if (U_FAILURE(status)) return out;
    upper.resize(n);
    utf16_to_utf8(upper, out);
    return out;
}

std::string quote_name(const std::string& schema, const std::string& name) {
    return schema.empty() ? name : schema + "." + name;
}

std::string hex_upper(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Types

bool is_numeric(col_type t) {
    switch (t) {
        case col_type::smallint: case col_type::integer: case col_type::bigint: case col_type::real:
        case col_type::dbl: case col_type::decimal: case col_type::decfloat: return true;
        default: return false;
    }
}
bool is_exact_integer(col_type t) {
    return t == col_type::smallint || t == col_type::integer || t == col_type::bigint;
}
bool is_character(col_type t) {
    switch (t) {
        case col_type::chr: case col_type::varchar: case col_type::graphic: case col_type::vargraphic:
        case col_type::clob: case col_type::dbclob: case col_type::xml: return true;
        default: return false;
    }
}
bool is_binary(col_type t) {
    return t == col_type::binary || t == col_type::varbinary || t == col_type::blob;
}
bool is_lob(col_type t) {
    return t == col_type::clob || t == col_type::dbclob || t == col_type::blob || t == col_type::xml;
}
bool is_datetime(col_type t) {
    return t == col_type::date || t == col_type::time || t == col_type::timestamp;
}

std::int16_t odbc_type(col_type t) {
    switch (t) {
        case col_type::smallint: return 5;
        case col_type::integer: return 4;
        case col_type::bigint: return -5;
        case col_type::real: return 7;
        case col_type::dbl: return 8;
        case col_type::decimal: return 3;
        case col_type::decfloat: return -360;
        case col_type::chr: return 1;
        case col_type::varchar: return 12;
        case col_type::binary: return -2;
        case col_type::varbinary: return -3;
        case col_type::graphic: return -95;
        case col_type::vargraphic: return -96;
        case col_type::clob: return -99;
        case col_type::dbclob: return -350;
        case col_type::blob: return -98;
        case col_type::xml: return -370;
        case col_type::date: return 91;
        case col_type::time: return 92;
        case col_type::timestamp: return 93;
    }
    return 0;
}

const char* cli_type_name(col_type t) {
    switch (t) {
        case col_type::binary: return "CHAR () FOR BIT DATA";
        case col_type::varbinary: return "VARCHAR () FOR BIT DATA";
        case col_type::chr: return "CHAR";
        default: return syscat_type_name(t);
    }
}

const char* syscat_type_name(col_type t) {
    switch (t) {
        case col_type::smallint: return "SMALLINT";
        case col_type::integer: return "INTEGER";
        case col_type::bigint: return "BIGINT";
        case col_type::real: return "REAL";
        case col_type::dbl: return "DOUBLE";
        case col_type::decimal: return "DECIMAL";
        case col_type::decfloat: return "DECFLOAT";
        case col_type::chr: return "CHARACTER";
        case col_type::binary: return "CHARACTER";
        case col_type::varchar: return "VARCHAR";
        case col_type::varbinary: return "VARCHAR";
        case col_type::graphic: return "GRAPHIC";
        case col_type::vargraphic: return "VARGRAPHIC";
        case col_type::clob: return "CLOB";
        case col_type::dbclob: return "DBCLOB";
        case col_type::blob: return "BLOB";
        case col_type::xml: return "XML";
        case col_type::date: return "DATE";
        case col_type::time: return "TIME";
        case col_type::timestamp: return "TIMESTAMP";
    }
    return "";
}

std::int64_t column_size(const column_def& c) {
    switch (c.type) {
        case col_type::smallint: return 5;
        case col_type::integer: return 10;
        case col_type::bigint: return 19;
        case col_type::real: return 24;
        case col_type::dbl: return 53;
        case col_type::date: return 10;
        case col_type::time: return 8;
        case col_type::timestamp: return c.scale == 0 ? 19 : 20 + c.scale;
        case col_type::xml: return 0;
        default: return c.length;
    }
}

// IBM's CLI length table ("Data type length", Db2 11.5 CLI guide).
std::int64_t buffer_length(const column_def& c) {
    switch (c.type) {
        case col_type::smallint: return 2;
        case col_type::integer: return 4;
        case col_type::bigint: return 8;
        case col_type::real: return 4;
        case col_type::dbl: return 8;
        case col_type::decimal: return c.length + 2;
        case col_type::decfloat: return c.length == 16 ? 8 : 16;
        case col_type::graphic: case col_type::vargraphic: case col_type::dbclob: return 2 * c.length;
        case col_type::date: return 6;
        case col_type::time: return 6;
        case col_type::timestamp: return 16;
        case col_type::xml: return 0;
        default: return c.length;
    }
}

std::string type_text(const column_def& c) {
    auto with = [&](const char* name, std::int64_t n) { return std::string(name) + "(" + std::to_string(n) + ")"; };
    switch (c.type) {
        case col_type::decimal: return "DECIMAL(" + std::to_string(c.length) + "," + std::to_string(c.scale) + ")";
        case col_type::decfloat: return with("DECFLOAT", c.length);
        case col_type::chr: return with("CHAR", c.length);
        case col_type::varchar: return with("VARCHAR", c.length);
        case col_type::binary: return with("CHAR", c.length) + " FOR BIT DATA";
        case col_type::varbinary: return with("VARCHAR", c.length) + " FOR BIT DATA";
        case col_type::graphic: return with("GRAPHIC", c.length);
        case col_type::vargraphic: return with("VARGRAPHIC", c.length);
        case col_type::clob: return with("CLOB", c.length);
        case col_type::dbclob: return with("DBCLOB", c.length);
        case col_type::blob: return with("BLOB", c.length);
        case col_type::timestamp: return with("TIMESTAMP", c.scale);
        default: return syscat_type_name(c.type);
    }
}

// ---------------------------------------------------------------------------------------------
// Numbers

namespace {

constexpr int max_decimal_digits = 38;

__int128 pow10(int n) {
    __int128 r = 1;
    while (n-- > 0) r *= 10;
    return r;
}

int digit_count(__int128 v) {
    if (v < 0) v = -v;
    int n = 0;
    while (v != 0) { v /= 10; ++n; }
    return n;
}

sim_error overflow() { return sql_error(-413, "22003", "Overflow occurred during numeric data type conversion."); }
sim_error bad_number() {
    return sql_error(-420, "22018",
                     "Invalid character found in a character string argument of the function \"DECFLOAT\".");
}

}  // namespace

bool parse_decimal(std::string_view text, __int128& unscaled, int& scale) {
    std::size_t idx = 0;
    while (idx < text.size() && text[idx] == ' ') ++idx;
    std::size_t end = text.size();
    while (end > idx && text[end - 1] == ' ') --end;
    bool negative = false;
    if (idx < end && (text[idx] == '+' || text[idx] == '-')) negative = text[idx++] == '-';
    __int128 v = 0;
    int digits = 0, frac = 0;
    bool seen_point = false, any = false;
    for (; idx < end; ++idx) {
        char c = text[idx];
        if (c >= '0' && c <= '9') {
            any = true;
            if (v != 0 || c != '0') ++digits;
            if (digits > max_decimal_digits) return false;
            v = v * 10 + (c - '0');
            if (seen_point) ++frac;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            return false;
        }
    }
    if (!any) return false;
    unscaled = negative ? -v : v;
    scale = frac;
    return true;
}

std::string format_decimal(__int128 unscaled, int scale) {
    bool negative = unscaled < 0;
    unsigned __int128 v = negative ? static_cast<unsigned __int128>(-unscaled) : static_cast<unsigned __int128>(unscaled);
    char buffer[64];
    int pos = 63;
    buffer[pos] = '\0';
    int produced = 0;
    do {
        buffer[--pos] = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
        ++produced;
        if (produced == scale) buffer[--pos] = '.';
    } while (v != 0 || produced <= scale);
    if (negative) buffer[--pos] = '-';
    return buffer + pos;
}

bool parse_number(std::string_view text, value& v) {
    __int128 unscaled;
    int scale;
    if (parse_decimal(text, unscaled, scale)) {
        if (scale == 0 && unscaled >= INT64_MIN && unscaled <= INT64_MAX)
            v.set_int(static_cast<std::int64_t>(unscaled));
        else
            v.set_decimal(unscaled, scale);
        return true;
    }
    std::string trimmed(text);
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    std::size_t start = trimmed.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    const char* first = trimmed.c_str() + start;
    if (*first == '+') ++first;
    double d;
    auto [ptr, ec] = std::from_chars(first, trimmed.c_str() + trimmed.size(), d);
    if (ec != std::errc() || ptr != trimmed.c_str() + trimmed.size() || !std::isfinite(d)) return false;
    v.set_double(d);
    return true;
}

namespace {

// Numeric value as double; throws for text that is not a number.
double as_double(const value& v) {
    switch (v.k) {
        case value::kind::integer: return static_cast<double>(v.i);
        case value::kind::dbl: return v.d;
        case value::kind::decimal: return static_cast<double>(v.dec) / static_cast<double>(pow10(v.scale));
        default: {
            value n;
            if (!parse_number(v.text, n)) throw bad_number();
            return as_double(n);
        }
    }
}

// Numeric value as an unscaled decimal of the given scale, fraction digits beyond it cut
// (DB2 truncates on assignment to DECIMAL). False when it does not fit in 38 digits.
bool as_decimal(const value& v, int scale, __int128& out) {
    switch (v.k) {
        case value::kind::integer: {
            if (digit_count(v.i) + scale > max_decimal_digits) return false;
            out = static_cast<__int128>(v.i) * pow10(scale);
            return true;
        }
        case value::kind::decimal: {
            if (v.scale >= scale) {
                out = v.dec / pow10(v.scale - scale);
                return true;
            }
            if (digit_count(v.dec) + scale - v.scale > max_decimal_digits) return false;
            out = v.dec * pow10(scale - v.scale);
            return true;
        }
        case value::kind::dbl: {
            double scaled = std::trunc(v.d * std::pow(10.0, scale));
            if (!std::isfinite(scaled) || std::fabs(scaled) >= 1e37) return false;
            // Go through the shortest text so 0.1 stays 0.1 and is not 0.1000000000000000055.
            char buffer[64];
            auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v.d, std::chars_format::fixed);
            if (ec != std::errc()) return false;
            __int128 u;
            int s;
            if (!parse_decimal(std::string_view(buffer, ptr - buffer), u, s)) return false;
            value tmp;
            tmp.set_decimal(u, s);
            return as_decimal(tmp, scale, out);
        }
        default: {
            value n;
            if (!parse_number(v.text, n)) throw bad_number();
            return as_decimal(n, scale, out);
        }
    }
}

bool is_number_kind(const value& v) {
    return v.k == value::kind::integer || v.k == value::kind::dbl || v.k == value::kind::decimal;
}

std::string shortest(double d, bool single) {
    char buffer[64];
    std::to_chars_result r = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(d))
                                    : std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, r.ptr);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Dates and times

namespace {

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int days_in_month(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

sim_error datetime_syntax() {
    return sql_error(-180, "22007", "The syntax of the string representation of a datetime value is incorrect.");
}
sim_error datetime_range() {
    return sql_error(-181, "22008", "The string representation of a datetime value is out of range.");
}

// Reads exactly `count` digits (count 0: one or two digits) at idx.
bool digits(std::string_view s, std::size_t& idx, int count, int& out) {
    int n = 0;
    out = 0;
    int limit = count == 0 ? 2 : count;
    while (n < limit && idx < s.size() && s[idx] >= '0' && s[idx] <= '9') {
        out = out * 10 + (s[idx++] - '0');
        ++n;
    }
    return count == 0 ? n >= 1 : n == count;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Date forms: ISO yyyy-mm-dd, USA mm/dd/yyyy, EUR dd.mm.yyyy. Sets idx past the date.
bool read_date(std::string_view s, std::size_t& idx, int& y, int& m, int& d) {
    std::size_t start = idx;
    if (digits(s, idx, 4, y) && idx < s.size() && s[idx] == '-') {
        ++idx;
        if (digits(s, idx, 0, m) && idx < s.size() && s[idx] == '-' && (++idx, digits(s, idx, 0, d))) return true;
        return false;
    }
    idx = start;
    int a, b;
    if (!digits(s, idx, 0, a) || idx >= s.size()) return false;
    char sep = s[idx++];
    if (sep != '/' && sep != '.') return false;
    if (!digits(s, idx, 0, b) || idx >= s.size() || s[idx++] != sep || !digits(s, idx, 4, y)) return false;
    if (sep == '/') { m = a; d = b; } else { d = a; m = b; }
    return true;
}

bool read_time(std::string_view s, std::size_t& idx, char sep, int& h, int& mi, int& se) {
    if (!digits(s, idx, 0, h) || idx >= s.size() || s[idx] != sep) return false;
    ++idx;
    if (!digits(s, idx, 2, mi)) return false;
    se = 0;
    if (idx < s.size() && s[idx] == sep) {
        ++idx;
        if (!digits(s, idx, 2, se)) return false;
    }
    return true;
}

void parse_date_text(std::string_view text, std::string& out) {
    std::string_view s = trim_blanks(text);
    std::size_t idx = 0;
    int y, m, d;
    if (!read_date(s, idx, y, m, d) || idx != s.size()) throw datetime_syntax();
    if (!make_date(y, m, d, out)) throw datetime_range();
}

void parse_time_text(std::string_view text, std::string& out) {
    std::string_view s = trim_blanks(text);
    std::size_t idx = 0;
    int h, mi, se;
    char sep = s.find(':') != std::string_view::npos ? ':' : '.';
    if (!read_time(s, idx, sep, h, mi, se) || idx != s.size()) throw datetime_syntax();
    if (!make_time(h, mi, se, out)) throw datetime_range();
}

void parse_timestamp_text(std::string_view text, int precision, std::string& out) {
    std::string_view s = trim_blanks(text);
    std::size_t idx = 0;
    int y, m, d, h = 0, mi = 0, se = 0;
    std::uint32_t nanos = 0;
    if (!digits(s, idx, 4, y) || idx >= s.size() || s[idx] != '-') throw datetime_syntax();
    ++idx;
    if (!digits(s, idx, 0, m) || idx >= s.size() || s[idx] != '-') throw datetime_syntax();
    ++idx;
    if (!digits(s, idx, 0, d)) throw datetime_syntax();
    if (idx < s.size()) {
        char between = s[idx++];
        char sep;
        if (between == '-') sep = '.';
        else if (between == ' ' || between == 'T') sep = ':';
        else throw datetime_syntax();
        if (!read_time(s, idx, sep, h, mi, se)) {
            // "yyyy-mm-dd hh.mm.ss" is accepted by DB2 as well
            throw datetime_syntax();
        }
        if (idx < s.size()) {
            if (s[idx] != '.' && s[idx] != ',') throw datetime_syntax();
            ++idx;
            int count = 0;
            while (idx < s.size() && s[idx] >= '0' && s[idx] <= '9') {
                if (count < 9) nanos = nanos * 10 + static_cast<std::uint32_t>(s[idx] - '0');
                ++count;
                ++idx;
            }
            if (count == 0 || count > 12 || idx != s.size()) throw datetime_syntax();
            for (int n = count; n < 9; ++n) nanos *= 10;
        }
    }
    if (!make_timestamp(y, m, d, h, mi, se, nanos, precision, out)) throw datetime_range();
}

}  // namespace

namespace {
// Writes `width` decimal digits of v (snprintf is the hot spot of a timestamp-heavy insert).
char* put_digits(char* at, unsigned v, int width) {
    for (int idx = width - 1; idx >= 0; --idx) {
        at[idx] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return at + width;
}
}  // namespace

bool make_date(int year, int month, int day, std::string& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month))
        return false;
    char buffer[10];
    char* p = put_digits(buffer, static_cast<unsigned>(year), 4);
    *p++ = '-';
    p = put_digits(p, static_cast<unsigned>(month), 2);
    *p++ = '-';
    put_digits(p, static_cast<unsigned>(day), 2);
    out.assign(buffer, 10);
    return true;
}

bool make_time(int hour, int minute, int second, std::string& out) {
    if (hour < 0 || hour > 24 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    if (hour == 24 && (minute != 0 || second != 0)) return false;
    char buffer[8];
    char* p = put_digits(buffer, static_cast<unsigned>(hour), 2);
    *p++ = ':';
    p = put_digits(p, static_cast<unsigned>(minute), 2);
    *p++ = ':';
    put_digits(p, static_cast<unsigned>(second), 2);
    out.assign(buffer, 8);
    return true;
}

bool make_timestamp(int year, int month, int day, int hour, int minute, int second, std::uint32_t nanoseconds,
                    int precision, std::string& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month))
        return false;
    if (hour < 0 || hour > 24 || minute < 0 || minute > 59 || second < 0 || second > 59 || nanoseconds > 999999999)
        return false;
    if (hour == 24 && (minute != 0 || second != 0 || nanoseconds != 0)) return false;
    char buffer[40];
    char* p = put_digits(buffer, static_cast<unsigned>(year), 4);
    *p++ = '-';
    p = put_digits(p, static_cast<unsigned>(month), 2);
    *p++ = '-';
    p = put_digits(p, static_cast<unsigned>(day), 2);
    *p++ = '-';
    p = put_digits(p, static_cast<unsigned>(hour), 2);
    *p++ = '.';
    p = put_digits(p, static_cast<unsigned>(minute), 2);
    *p++ = '.';
    p = put_digits(p, static_cast<unsigned>(second), 2);
    if (precision > 0) {
        char frac[12];
        put_digits(frac, nanoseconds, 9);
        std::memset(frac + 9, '0', 3);  // picoseconds: DB2 allows 12 digits, the CLI carries 9
        *p++ = '.';
        std::memcpy(p, frac, static_cast<std::size_t>(precision));
        p += precision;
    }
    out.assign(buffer, static_cast<std::size_t>(p - buffer));
    return true;
}

void split_timestamp(std::string_view text, int& year, int& month, int& day, int& hour, int& minute, int& second,
                     std::uint32_t& nanoseconds) {
    year = month = day = hour = minute = second = 0;
    nanoseconds = 0;
    auto num = [&](std::size_t at, std::size_t len) {
        int v = 0;
        for (std::size_t i = at; i < at + len && i < text.size(); ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    if (text.size() == 8 && text[2] == ':') {  // time
        hour = num(0, 2); minute = num(3, 2); second = num(6, 2);
        return;
    }
    year = num(0, 4); month = num(5, 2); day = num(8, 2);
    if (text.size() >= 19) {
        hour = num(11, 2); minute = num(14, 2); second = num(17, 2);
        if (text.size() > 20) {
            std::uint32_t n = 0;
            std::size_t count = 0;
            for (std::size_t i = 20; i < text.size() && count < 9; ++i, ++count) n = n * 10 + static_cast<std::uint32_t>(text[i] - '0');
            for (; count < 9; ++count) n *= 10;
            nanoseconds = n;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Assignment

namespace {

sim_error too_long(const value& v, bool from_host) {
    if (from_host)
        return sql_error(-302, "22001",
                         "The value of a host variable in the EXECUTE or OPEN statement is out of range for its "
                         "corresponding use.");
    return sql_error(-433, "22001", "Value \"" + first_chars(v.text) + "\" is too long.");
}

sim_error incompatible(const column_def& c) {
    return sql_error(-408, "42821",
                     "A value is not compatible with the data type of its assignment target.  Target name is \"" +
                         c.name + "\".");
}

void to_text_form(value& v, const column_def& c) {
    switch (v.k) {
        case value::kind::text: return;
        case value::kind::bytes:
            if (c.type == col_type::chr || c.type == col_type::varchar || c.type == col_type::clob) {
                v.k = value::kind::text;  // a binary string (X'..') assigned to a character column
                return;
            }
            throw incompatible(c);
        case value::kind::integer: v.set_text(std::to_string(v.i)); return;
        case value::kind::decimal: v.set_text(format_decimal(v.dec, v.scale)); return;
        case value::kind::dbl: v.set_text(shortest(v.d, false)); return;
        case value::kind::null: return;
    }
}

}  // namespace

void assign(value& v, const column_def& c, bool from_host) {
    if (v.is_null()) return;
    switch (c.type) {
        case col_type::smallint: case col_type::integer: case col_type::bigint: {
            std::int64_t lo = c.type == col_type::smallint ? INT16_MIN : c.type == col_type::integer ? INT32_MIN : INT64_MIN;
            std::int64_t hi = c.type == col_type::smallint ? INT16_MAX : c.type == col_type::integer ? INT32_MAX : INT64_MAX;
            if (v.k == value::kind::bytes) throw incompatible(c);
            if (v.k == value::kind::text) {
                value n;
                if (!parse_number(v.text, n)) throw bad_number();
                v = n;
            }
            std::int64_t result;
            if (v.k == value::kind::integer) {
                result = v.i;
            } else if (v.k == value::kind::decimal) {
                __int128 whole = v.dec / pow10(v.scale);
                if (whole < lo || whole > hi) throw overflow();
                result = static_cast<std::int64_t>(whole);
            } else {
                double t = std::trunc(v.d);
                if (!(t >= static_cast<double>(lo) && t <= static_cast<double>(hi)) || t == 9223372036854775808.0)
                    throw overflow();
                result = static_cast<std::int64_t>(t);
            }
            if (result < lo || result > hi) throw overflow();
            v.set_int(result);
            return;
        }
        case col_type::real: case col_type::dbl: {
            if (v.k == value::kind::bytes) throw incompatible(c);
            double d = as_double(v);
            if (!std::isfinite(d)) throw overflow();
            if (c.type == col_type::real) {
                if (std::fabs(d) > FLT_MAX) throw overflow();
                d = static_cast<double>(static_cast<float>(d));
            }
            v.set_double(d);
            return;
        }
        case col_type::decimal: case col_type::decfloat: {
            if (v.k == value::kind::bytes) throw incompatible(c);
            if (c.type == col_type::decimal) {
                __int128 out;
                if (!as_decimal(v, c.scale, out) || digit_count(out) > c.length) throw overflow();
                v.set_decimal(out, c.scale);
                return;
            }
            // DECFLOAT keeps the value's own scale; more significant digits than its precision
            // would need rounding, which the stand-in refuses rather than guesses.
            value n = v;
            if (n.k == value::kind::text && !parse_number(n.text, n)) throw bad_number();
            if (n.k == value::kind::dbl) {
                char buffer[64];
                auto r = std::to_chars(buffer, buffer + sizeof buffer, n.d, std::chars_format::fixed);
                __int128 u;
                int s;
                if (!parse_decimal(std::string_view(buffer, r.ptr - buffer), u, s)) throw overflow();
                n.set_decimal(u, s);
            }
            if (n.k == value::kind::integer) n.set_decimal(n.i, 0);
            while (n.scale > 0 && n.dec % 10 == 0) { n.dec /= 10; --n.scale; }
            if (digit_count(n.dec) > c.length) throw overflow();
            v = n;
            return;
        }
        case col_type::chr: case col_type::varchar: case col_type::graphic: case col_type::vargraphic:
        case col_type::clob: case col_type::dbclob: case col_type::xml: {
            if (v.k == value::kind::bytes && c.type != col_type::chr && c.type != col_type::varchar &&
                c.type != col_type::clob)
                throw incompatible(c);
            to_text_form(v, c);
            if (c.type == col_type::xml) return;
            bool graphic = c.type == col_type::graphic || c.type == col_type::vargraphic || c.type == col_type::dbclob;
            std::size_t units = graphic ? utf16_length(v.text) : v.text.size();
            if (units > static_cast<std::uint64_t>(c.length)) {
                // Trailing blanks may be cut to fit (DB2 "String assignments": storage assignment).
                std::size_t excess = units - static_cast<std::size_t>(c.length);
                std::size_t blanks = 0;
                while (blanks < v.text.size() && v.text[v.text.size() - 1 - blanks] == ' ') ++blanks;
                if (is_lob(c.type) || blanks < excess) throw too_long(v, from_host);
                v.text.resize(v.text.size() - excess);
                units = static_cast<std::size_t>(c.length);
            }
            if (c.type == col_type::chr || c.type == col_type::graphic)
                v.text.append(static_cast<std::size_t>(c.length) - units, ' ');
            return;
        }
        case col_type::binary: case col_type::varbinary: case col_type::blob: {
            if (v.k == value::kind::text && c.type != col_type::blob) v.k = value::kind::bytes;
            if (v.k != value::kind::bytes) throw incompatible(c);
            if (v.text.size() > static_cast<std::uint64_t>(c.length)) throw too_long(v, from_host);
            if (c.type == col_type::binary) v.text.append(static_cast<std::size_t>(c.length) - v.text.size(), ' ');
            return;
        }
        case col_type::date: case col_type::time: case col_type::timestamp: {
            if (v.k != value::kind::text) throw incompatible(c);
            // The canonical text is built in a scratch buffer that changes places with the value's,
            // so assigning a row of dates allocates nothing once the buffers have grown.
            thread_local std::string out;
            if (c.type == col_type::date) parse_date_text(v.text, out);
            else if (c.type == col_type::time) parse_time_text(v.text, out);
            else parse_timestamp_text(v.text, c.scale, out);
            v.text.swap(out);
            return;
        }
    }
}

int compare(const value& a, const value& b) {
    auto sign = [](auto x, auto y) { return x < y ? -1 : (x > y ? 1 : 0); };
    if (is_number_kind(a) || is_number_kind(b)) {
        if (a.k == value::kind::bytes || b.k == value::kind::bytes)
            throw sql_error(-401, "42818", "The data types of the operands for the operation \"=\" are not compatible or comparable.");
        if (a.k == value::kind::integer && b.k == value::kind::integer) return sign(a.i, b.i);
        if (a.k == value::kind::dbl || b.k == value::kind::dbl) return sign(as_double(a), as_double(b));
        // exact comparison: bring both to the larger scale when that fits, else compare as double
        int scale = std::max(a.k == value::kind::decimal ? a.scale : 0, b.k == value::kind::decimal ? b.scale : 0);
        __int128 x, y;
        if (as_decimal(a, scale, x) && as_decimal(b, scale, y)) return sign(x, y);
        return sign(as_double(a), as_double(b));
    }
    // Character and binary strings: the shorter is padded with blanks (DB2 "String comparisons").
    std::string_view x = a.text, y = b.text;
    std::size_t n = std::min(x.size(), y.size());
    int c = std::memcmp(x.data(), y.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
    std::string_view rest = x.size() > n ? x.substr(n) : y.substr(n);
    int direction = x.size() > n ? 1 : -1;
    for (unsigned char ch : rest)
        if (ch != ' ') return ch < ' ' ? -direction : direction;
    return 0;
}

std::string to_display(const value& v, col_type t) {
    switch (v.k) {
        case value::kind::null: return {};
        case value::kind::integer: return std::to_string(v.i);
        case value::kind::dbl: return shortest(v.d, t == col_type::real);
        case value::kind::decimal: return format_decimal(v.dec, v.scale);
        case value::kind::text: return v.text;
        case value::kind::bytes: return hex_upper(v.text);
    }
    return {};
}

}  // namespace db2sim
