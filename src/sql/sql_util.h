// Helpers of the MySQL side: the server version number, name quoting, the MySQL-type to
// column-type rules, the conversion of one column value from the server's text form into a typed
// value, and the foreign-key parser of SHOW CREATE TABLE. Stateless functions; the parser is a
// plain object. Safe on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ole/ole_var.h"

struct st_mysql_field;
class t_ftd;
class udb_relationships;

// Reads "major.minor.patch" at the start of a version text ("5.1.73-log", "10.11.19-MariaDB").
// False when fewer than three numbers are there.
bool sql_parse_version(const char* text, uint32_t& version);

// The name between backticks with every backtick inside doubled, from server 4.1.0 on; below
// that the name unchanged.
std::u16string sql_quote_name(std::u16string_view name, uint32_t version);

// MySQL result types 249 to 252 (TINY, MEDIUM, LONG and plain BLOB; TEXT columns too).
bool sql_is_blob_type(unsigned mysql_type);
// The character set number of the server's "binary" character set: bytes, not text.
inline constexpr unsigned sql_binary_charset = 63;
// True for a string or BLOB-kind column in the binary character set (BINARY, VARBINARY, BLOB):
// its values are bytes. A text column of a _bin collation is text, although the server marks it
// with BINARY_FLAG as well.
bool sql_is_binary_string(const st_mysql_field& field);
// The column type (VARTYPE) of a result column of this MySQL type and flags, before the BLOB to
// TEXT correction: integers by width and sign, dates and times 7, BIT 11, BLOB kinds 65, text and
// everything else 8.
VARTYPE sql_vartype_of(unsigned mysql_type, unsigned flags);
// The descriptor of result column `column_number` (1-based): size as reported, name, vartype
// (TEXT-kind BLOBs become 8, BINARY(n) and VARBINARY(n) 65 with size n), not-null and
// auto-increment flags, no default, and the reserved number (date kind, 64-bit sign, decimal
// precision << 8 | scale).
std::unique_ptr<t_ftd> sql_make_ftd(const st_mysql_field& field, size_t column_number);

// Value conversions of one column value. SQL NULL (`value` null) and the zero date give VT_NULL.
// A value that does not convert to its column's type (a TIME beyond the hours of a day or below
// zero, a date with month 0) gives VT_ERROR carrying the server's text, never an empty value.
// Narrow path: every column that does not carry text, and binary columns (a byte array of
// exactly `length` bytes, zero bytes and BINARY's padding included).
ole_variant sql_get_variant(const char* value, unsigned long length, const st_mysql_field& field);
// Wide path: text columns, the value already converted from UTF-8.
ole_variant sql_get_variant(std::u16string&& value, unsigned long length,
                            const st_mysql_field& field);
// The text as a value of column type `vartype`: BOOL is true for a non-zero value (a BIT value's
// bytes, or a b'...' literal); every other type through ole_variant::from_wstring.
ole_variant sql_get_variant(std::u16string_view text, VARTYPE vartype);
ole_variant sql_get_variant(std::string_view text, VARTYPE vartype);

// Reads the foreign keys of a CREATE TABLE text. MySQL tables contribute none: the text is only
// split into its lines and traced, and `relationships` stays unchanged.
class sql_fk_parser {
public:
    sql_fk_parser(const std::string& create_text, const std::u16string& table_name,
                  udb_relationships& relationships);
    void do_parse();
    const std::vector<std::string>& chunks() const noexcept { return chunks_; }

private:
    std::u16string table_name_;
    udb_relationships& relationships_;
    std::vector<std::string> chunks_;
};
