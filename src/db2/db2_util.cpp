#include "db2/db2_util.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "db2/db2_engi.h"
#include "ole/ole_date.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

// The code point at `pos` and the number of units it takes (a lone surrogate stands for itself).
char32_t code_point_at(std::u16string_view text, size_t pos, size_t& units) {
    const char16_t c = text[pos];
    if (c >= 0xD800 && c <= 0xDBFF && pos + 1 < text.size() && text[pos + 1] >= 0xDC00 && text[pos + 1] <= 0xDFFF) {
        units = 2;
        return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[pos + 1]) - 0xDC00);
    }
    units = 1;
    return c;
}

bool is_name_char(char32_t c) { return c == U'#' || c == U'$' || c == U'_' || tk_is_alnum(c); }

std::u16string ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Whole text read as a number (strtod), nothing left over; the value in `out`.
bool read_whole_double(const std::string& text, double& out) {
    if (text.empty()) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    out = std::strtod(begin, &end);
    return end != begin && *end == '\0';
}

// A MySQL BIT default as SHOW COLUMNS prints it (b'1') or a number: true when not 0.
bool read_bool_default(const std::u16string& wide) {
    const std::string text = tk_trim(tk_to_ansi(wide));
    if (text.size() >= 3 && (text[0] == 'b' || text[0] == 'B') && text[1] == '\'' && text.back() == '\'') {
        for (size_t pos = 2; pos + 1 < text.size(); ++pos) {
            if (text[pos] == '1') return true;
        }
        return false;
    }
    return std::atoi(text.c_str()) != 0;
}

}  // namespace

db2_validator::db2_validator() : udb_validator(max_name_length) { TK_TRACE(2, "db2_validator::ctor"); }

bool db2_validator::is_acceptable(std::u16string_view name) const {
    TK_TRACE(1, "db2_validator::is_acceptable(%s)", TK_W(name));
    if (name.empty() || name.size() > size_t(max_name_length)) return false;
    size_t units = 0;
    if (!tk_is_alpha(code_point_at(name, 0, units))) return false;
    for (size_t pos = 0; pos < name.size(); pos += units) {
        const char32_t c = code_point_at(name, pos, units);
        if (!is_name_char(c)) {
            TK_TRACE(2, "Name contains invalid symbol: '%s'", TK_W(name.substr(pos, units)));
            return false;
        }
    }
    for (const std::u16string& restricted : restricted_names_) {
        if (tk_equal_nocase(name, restricted)) return false;
    }
    return true;
}

std::u16string db2_validator::get_safe_name(std::u16string_view name) const {
    TK_TRACE(1, "db2_validator::get_safe_name(%s)", TK_W(name));
    std::u16string safe(name);
    size_t units = 0;
    if (safe.empty() || !tk_is_alpha(code_point_at(safe, 0, units))) safe.insert(safe.begin(), u'A');
    if (safe.size() > size_t(max_name_length)) safe.resize(max_name_length - 1);
    std::u16string replaced;
    replaced.reserve(safe.size());
    for (size_t pos = 0; pos < safe.size(); pos += units) {
        const char32_t c = code_point_at(safe, pos, units);
        if (is_name_char(c)) {
            replaced.append(safe, pos, units);
        } else {
            replaced += u'_';
        }
    }
    return udb_validator::get_safe_name(replaced);
}

void db2_validator::add_restricted_name(const std::u16string& name) { restricted_names_.push_back(name); }

db2_tn_validator::db2_tn_validator(const std::vector<std::u16string>& selected_tables,
                                   const std::vector<std::u16string>& schema_tables) {
    TK_TRACE(2, "db2_tn_validator::ctor");
    for (const std::u16string& name : selected_tables) add_existing_name(name);
    for (const std::u16string& name : schema_tables) add_existing_name(name);
}

db2_fn_validator::db2_fn_validator(const udb_schema& source_fields) {
    TK_TRACE(2, "db2_fn_validator::ctor");
    for (const t_ftd* field : source_fields.get_fields()) add_existing_name(field->name);
}

void db2_in_validator::add_index_names(const udb_indexes& indexes) {
    TK_TRACE(2, "db2_in_validator::ctor");
    for (const udb_index& index : indexes) validator_.add_existing_name(index.name);
}

namespace {

bool is_text_column(VARTYPE vt) { return vt == VT_BSTR || vt == VT_LPWSTR; }

// VARGRAPHIC length for a text column: a source of n characters may hold n characters outside the
// Basic Multilingual Plane, two UTF-16 units each. 0 when the column needs a CLOB.
uint64_t vargraphic_length(const t_ftd& column) {
    const uint64_t units = uint64_t(column.size) * 2;
    return column.size == 0 || units > db2_vargraphic_limit ? 0 : units;
}

// CLOB lengths count UTF-8 bytes: at most four per source character or byte.
uint64_t clob_length(const t_ftd& column) {
    const uint64_t bytes = column.size == 0 ? db2_lob_limit : uint64_t(column.size) * 4;
    return bytes > db2_lob_limit ? db2_lob_limit : bytes;
}

uint64_t blob_length(const t_ftd& column) {
    const uint64_t bytes = column.size == 0 ? db2_lob_limit : uint64_t(column.size);
    return bytes > db2_lob_limit ? db2_lob_limit : bytes;
}

// "CLOB(n)", with NOT LOGGED beyond the logged limit (DB2 refuses larger logged LOBs, SQL0355N).
std::u16string lob_type(const char* name, uint64_t length) {
    std::string text = std::string(name) + "(" + std::to_string(length) + ")";
    if (length > db2_logged_lob_limit) text += " NOT LOGGED";
    return ascii(text);
}

}  // namespace

bool is_db2_lob(const t_ftd& column) {
    if (is_text_column(column.vartype)) return vargraphic_length(column) == 0;
    if (column.vartype == VT_BLOB) return column.size == 0 || column.size > db2_varchar_limit;
    return false;
}

std::u16string make_db2_type(const t_ftd& column) {
    switch (column.vartype) {
    case VT_I2:
    case VT_UI1:
    case VT_I1:  // TINYINT holds -128..127: CHAR(1) would take a single character only
        return u"SMALLINT";
    case VT_I4:
    case VT_UI2:
    case VT_INT:
        return u"INTEGER";
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
        return u"BIGINT";
    case VT_UI8:  // BIGINT stops at 2^63 - 1
        return u"DECIMAL(20,0)";
    case VT_R4:
        return u"FLOAT";
    case VT_R8:
        return u"DOUBLE";
    case VT_CY:
        return u"DECIMAL(19, 4)";
    case VT_DATE:
        if (column.reserved == ole_date::kind_date) return u"DATE";
        if (column.reserved == ole_date::kind_time) return u"TIME";
        return u"TIMESTAMP";
    case VT_BSTR:
    case VT_LPWSTR: {
        TK_TRACE(1, "process as text");
        const uint64_t units = vargraphic_length(column);
        if (units != 0) return ascii("VARGRAPHIC(" + std::to_string(units) + ") ");
        return lob_type("CLOB", clob_length(column));
    }
    case VT_BOOL:
        return u"CHAR(1)";
    case VT_DECIMAL: {
        const int precision = (column.reserved >> 8) & 0xFF;
        const int scale = column.reserved & 0xFF;
        // Without a precision DECIMAL(0,0) would be refused; DECFLOAT(34) takes any value.
        if (precision > 31 || precision == 0) return u"DECFLOAT(34)";
        return ascii("DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")");
    }
    case VT_BLOB:
        TK_TRACE(1, "process as binary");
        if (!is_db2_lob(column)) return ascii("VARCHAR(" + std::to_string(column.size) + ") FOR BIT DATA");
        return lob_type("BLOB", blob_length(column));
    default:
        throw tk_mail_assertion("db2_util", 254);
    }
}

std::u16string make_db2_def_val(const t_ftd* column) {
    if (column == nullptr) throw tk_mail_assertion("db2_util", 114);
    std::u16string text = column->def_value.to_wstring();
    TK_TRACE(1, "make_db2_def_val(%s)", TK_W(text));
    if (text.empty()) {
        TK_TRACE(1, "Got empty def value");
        return {};
    }
    switch (column->vartype) {
    case VT_BSTR:
        TK_TRACE(1, "Got BSTR or DATE def value: %s", TK_W(text));
        if (column->size != 0 && text.size() > column->size) {
            text.resize(column->size);
            // A cut between the two halves of a surrogate pair would leave half a character.
            if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
        }
        return to_db2_str(text, VT_BSTR);
    case VT_BOOL:
        // The column receives "1" and "0" as text, so its default must be one of them.
        return read_bool_default(text) ? u"'1'" : u"'0'";
    case VT_I2:
    case VT_I4:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT: {
        const std::string narrow = tk_to_ansi(text);
        int32_t number = 0;
        const auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), number);
        (void)end;
        if (error != std::errc() || std::to_string(number) != narrow) return {};
        return text;
    }
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL: {
        const std::string narrow = tk_to_ansi(text);
        double number = 0;
        // Only a complete number goes into the statement.
        if (!read_whole_double(narrow, number)) return {};
        if (number != 0) return text;
        if (narrow == "0" || narrow.find_first_not_of("eE-+.,0") == std::string::npos) return text;
        return {};
    }
    case VT_DATE: {
        TK_TRACE(1, "Got DATE def value");
        const std::u16string canonical = ole_date(std::u16string_view(text)).to_wstring();
        TK_TRACE(1, "After canonization: %s", TK_W(canonical));
        if (canonical.empty()) return {};
        return to_db2_str(canonical, VT_DATE, column->reserved);
    }
    default:
        return {};
    }
}

namespace {

std::u16string quote_text(std::u16string_view text) { return db2_enclose(text, u'\''); }

}  // namespace

std::u16string to_db2_str(const std::u16string& text, VARTYPE vt, int32_t kind) {
    TK_TRACE(1, "to_db2_str(%s,%d)", TK_W(text), int(vt));
    if (text.empty()) return u"''";
    if (vt == VT_DATE) {
        ole_date date{std::u16string_view(text)};
        if (!date.is_valid()) return {};
        if (kind == ole_date::kind_time) {
            date.kind = ole_date::kind_time;
            std::u16string printed = date.to_wstring();
            const size_t null_date = printed.find(u"0000-00-00 ");
            if (null_date != std::u16string::npos) {
                TK_TRACE(2, "Null date has been found");
                printed.erase(null_date, 11);
            }
            return quote_text(printed);
        }
        if (kind == ole_date::kind_date) {
            date.kind = ole_date::kind_date;
        } else {
            date.kind = ole_date::kind_datetime;
            date.date_only_at_midnight = false;
        }
        return quote_text(date.to_wstring());
    }
    if (vt == VT_BSTR) {
        ole_guid_extractor guid(text);
        if (guid.is_found()) {
            TK_TRACE(1, "BSTR IS AN GUID");
            // The characters after the brace come from the text: doubled like any other.
            return quote_text(guid.braced_guid());
        }
    }
    return quote_text(text);
}
