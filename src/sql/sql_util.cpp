#include "sql/sql_util.h"

#include <mysql.h>

#include <cstdio>

#include "tk/tk_log.h"
#include "tk/tk_utils.h"
#include "udb/udb_rel.h"
#include "udb/udb_sche.h"

bool sql_parse_version(const char* text, uint32_t& version) {
    if (text == nullptr) return false;
    int major = 0;
    int minor = 0;
    int patch = 0;
    if (std::sscanf(text, "%d.%d.%d", &major, &minor, &patch) < 3) return false;
    version = static_cast<uint32_t>(major) << 16 | static_cast<uint32_t>(minor) << 8 |
              static_cast<uint32_t>(patch);
    return true;
}

std::u16string sql_quote_name(std::u16string_view name, uint32_t version) {
    if (version < 0x040100) return std::u16string(name);
    std::u16string quoted;
    quoted.reserve(name.size() + 2);
    quoted += u'`';
    for (char16_t c : name) {
        // A backtick inside the name is doubled, so the name can neither end the quoting early
        // nor carry statement text.
        if (c == u'`') quoted += u'`';
        quoted += c;
    }
    quoted += u'`';
    return quoted;
}

bool sql_is_blob_type(unsigned mysql_type) {
    return mysql_type >= MYSQL_TYPE_TINY_BLOB && mysql_type <= MYSQL_TYPE_BLOB;
}

bool sql_is_binary_string(const MYSQL_FIELD& field) {
    // BINARY_FLAG alone does not tell: the server sets it on text of a _bin collation as well.
    const bool string_kind = field.type == MYSQL_TYPE_STRING || field.type == MYSQL_TYPE_VAR_STRING ||
                             field.type == MYSQL_TYPE_VARCHAR || sql_is_blob_type(field.type);
    return string_kind && field.charsetnr == sql_binary_charset;
}

VARTYPE sql_vartype_of(unsigned mysql_type, unsigned flags) {
    const bool is_unsigned = (flags & UNSIGNED_FLAG) != 0;
    switch (mysql_type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: return VT_DECIMAL;
    case MYSQL_TYPE_TINY: return is_unsigned ? VT_UI1 : VT_I1;
    case MYSQL_TYPE_SHORT: return is_unsigned ? VT_UI2 : VT_I2;
    case MYSQL_TYPE_LONG: return is_unsigned ? VT_UI4 : VT_I4;
    case MYSQL_TYPE_FLOAT: return VT_R4;
    case MYSQL_TYPE_DOUBLE: return VT_R8;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME: return VT_DATE;
    case MYSQL_TYPE_LONGLONG: return is_unsigned ? VT_UI8 : VT_I8;
    case MYSQL_TYPE_INT24: return VT_I4;
    case MYSQL_TYPE_YEAR: return VT_UI2;
    case MYSQL_TYPE_BIT: return VT_BOOL;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: return VT_BLOB;
    default: return VT_BSTR;
    }
}

std::unique_ptr<t_ftd> sql_make_ftd(const MYSQL_FIELD& field, size_t column_number) {
    TK_TRACE(1, "Processing field #%d", static_cast<int>(column_number));
    TK_TRACE(2, "GOT FIELD: name=%s, type=%d, size=%d", field.name, static_cast<int>(field.type),
             static_cast<int>(field.length));
    VARTYPE vartype = sql_vartype_of(field.type, field.flags);
    if (vartype == VT_BLOB && !sql_is_binary_string(field)) {
        TK_TRACE(2, "Change type from BLOB to TEXT");
        vartype = VT_BSTR;
    } else if (vartype == VT_BSTR && sql_is_binary_string(field)) {
        // BINARY(n) and VARBINARY(n): n bytes, reported as the length.
        TK_TRACE(2, "Change type from TEXT to BLOB");
        vartype = VT_BLOB;
    }
    int32_t reserved = 0;
    switch (field.type) {
    case MYSQL_TYPE_DATETIME: reserved = 1; break;
    case MYSQL_TYPE_DATE: reserved = 2; break;
    case MYSQL_TYPE_TIME: reserved = 3; break;
    case MYSQL_TYPE_LONGLONG: reserved = (field.flags & UNSIGNED_FLAG) != 0 ? 2 : 1; break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: {
        TK_TRACE(1, "Scale/precision: (%d,%d)", static_cast<int>(field.decimals),
                 static_cast<int>(field.length));
        // The reported length counts the digits, a decimal point when there is a fraction and
        // a sign position, which unsigned columns do not have: DECIMAL(10,2) is 12 long,
        // DECIMAL(10,2) UNSIGNED 11.
        long precision = static_cast<long>(field.length);
        if (field.decimals != 0) --precision;
        if ((field.flags & UNSIGNED_FLAG) == 0) --precision;
        if (precision < 0) precision = 0;
        reserved = static_cast<int32_t>(precision << 8 | field.decimals);
        break;
    }
    default: break;
    }
    return std::make_unique<t_ftd>(static_cast<uint32_t>(field.length),
                                   tk_from_utf8(std::string_view(field.name, field.name_length)),
                                   vartype, (field.flags & NOT_NULL_FLAG) != 0,
                                   (field.flags & AUTO_INCREMENT_FLAG) != 0, ole_variant(),
                                   reserved);
}

namespace {

// A b'0101' literal, as SHOW COLUMNS writes the default of a BIT column: true when it holds a 1.
template <class Char>
bool read_bit_literal(std::basic_string_view<Char> text, bool& value) {
    if (text.size() < 3 || (text[0] != 'b' && text[0] != 'B') || text[1] != '\'' ||
        text.back() != '\'')
        return false;
    value = false;
    for (size_t digit_idx = 2; digit_idx + 1 < text.size(); ++digit_idx) {
        if (text[digit_idx] == '1') value = true;
        else if (text[digit_idx] != '0') return false;
    }
    return true;
}

// A BIT value arrives as its bytes, most significant first: any bit set makes it true.
template <class Char>
bool to_bit_value(std::basic_string_view<Char> text) {
    bool value = false;
    if (read_bit_literal(text, value)) return value;
    for (Char c : text)
        if (c != 0) return true;
    return false;
}

bool is_zero_date(unsigned mysql_type, std::string_view text) {
    const bool has_date = mysql_type == MYSQL_TYPE_DATE || mysql_type == MYSQL_TYPE_DATETIME ||
                          mysql_type == MYSQL_TYPE_TIMESTAMP || mysql_type == MYSQL_TYPE_NEWDATE;
    return has_date && text.substr(0, 10) == "0000-00-00";
}

ole_variant null_value() {
    ole_variant value;
    value.set_null();
    return value;
}

// A value that is there but did not become a value of its column's type must not pass for a NULL
// (nor for the column's default): it travels as VT_ERROR with its text, and the writer refuses
// the record.
void refuse_unconverted(ole_variant& converted, std::string_view text) {
    if (converted.vartype() != VT_EMPTY) return;
    TK_TRACE(2, "Value '%.*s' does not convert", static_cast<int>(text.size()), text.data());
    converted = ole_variant::make_error(tk_from_ansi(text));
}

// The value of a column that is neither binary nor a LOB, built where the caller wants it (a
// single return): the record path moves no value on its way out.
ole_variant convert_or_refuse(std::string_view text, const MYSQL_FIELD& field) {
    // A negative TIME has no counterpart either, and must not lose its sign ("-00:30:00").
    const bool negative_time = field.type == MYSQL_TYPE_TIME && text.find('-') != std::string_view::npos;
    ole_variant converted =
        negative_time ? ole_variant() : sql_get_variant(text, sql_vartype_of(field.type, field.flags));
    refuse_unconverted(converted, text);
    return converted;
}

}  // namespace

ole_variant sql_get_variant(std::string_view text, VARTYPE vartype) {
    TK_TRACE(1, "Type=%d, src=%.*s", static_cast<int>(vartype), static_cast<int>(text.size()),
             text.data());
    if (vartype == VT_BOOL) return ole_variant(to_bit_value(text));
    return ole_variant::from_string(text, vartype);
}

ole_variant sql_get_variant(std::u16string_view text, VARTYPE vartype) {
    TK_TRACE(1, "Type=%d, src=%s", static_cast<int>(vartype), TK_W(text));
    if (vartype == VT_BOOL) return ole_variant(to_bit_value(text));
    return ole_variant::from_wstring(text, vartype);
}

ole_variant sql_get_variant(const char* value, unsigned long length, const MYSQL_FIELD& field) {
    TK_TRACE(1, "get_variant(char)");
    TK_TRACE(1, "get_variant(2), type=%d, lenght=%d", static_cast<int>(field.type),
             static_cast<int>(length));
    if (value == nullptr) {
        TK_TRACE(1, "process NULL-values");
        return null_value();
    }
    const std::string_view text(value, length);
    if (is_zero_date(field.type, text)) {
        // MySQL's "no date" has no calendar counterpart (it would read as the time 00:00:00): the
        // value is NULL, as the column's zero default is.
        TK_TRACE(1, "Zero date taken as NULL");
        return null_value();
    }
    if (sql_is_binary_string(field)) {
        TK_TRACE(1, "Extract BINARY value");
        return ole_variant(static_cast<size_t>(length), reinterpret_cast<const uint8_t*>(value));
    }
    if (sql_is_blob_type(field.type)) {
        TK_TRACE(1, "Extract TEXT value");
        return ole_variant::from_string(text, VT_BSTR);
    }
    return convert_or_refuse(text, field);
}

ole_variant sql_get_variant(std::u16string&& value, unsigned long length, const MYSQL_FIELD& field) {
    TK_TRACE(1, "get_variant(wchar_t)");
    TK_TRACE(1, "get_variant(2), type=%d, lenght=%d", static_cast<int>(field.type),
             static_cast<int>(length));
    if (sql_is_binary_string(field)) {
        // The wide path never carries binary columns; kept whole should a caller pass one.
        TK_TRACE(1, "Extract BINARY value");
        const std::string bytes = tk_to_utf8(value);
        return ole_variant(bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
    }
    if (sql_is_blob_type(field.type)) {
        TK_TRACE(1, "Extract TEXT value");
        return ole_variant(std::move(value));
    }
    const VARTYPE vartype = sql_vartype_of(field.type, field.flags);
    if (vartype == VT_BSTR) {
        TK_TRACE(1, "Type=%d, src=%s", static_cast<int>(vartype), TK_W(value));
        return ole_variant(std::move(value));
    }
    ole_variant converted = sql_get_variant(std::u16string_view(value), vartype);
    if (converted.vartype() != VT_EMPTY) return converted;
    return ole_variant::make_error(std::move(value));
}

sql_fk_parser::sql_fk_parser(const std::string& create_text, const std::u16string& table_name,
                             udb_relationships& relationships)
    : table_name_(table_name), relationships_(relationships) {
    TK_TRACE(2, "sql_fk_parser::ctor(%s)", create_text.c_str());
    chunks_ = tk_split(create_text, '\n');
}

void sql_fk_parser::do_parse() {
    TK_TRACE(2, "sql_fk_parser::do_parse");
    TK_TRACE(1, "Got %d chunks", static_cast<int>(chunks_.size()));
    // MySQL tables give the destination no foreign keys: nothing is added to relationships_.
}
