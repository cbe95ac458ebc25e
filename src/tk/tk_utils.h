// Text and file utilities: conversions between UTF-16, UTF-8 and the locale's charset (the
// "ANSI" charset; the C/POSIX locale counts as UTF-8), blank trimming, upper-casing, file and
// folder checks, splitting, hexadecimal text, and the locale-aware name comparison and letter
// classes every layer uses. Stateless; safe on any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Conversions. Failures raise tk_exception_ex of level 0 with the texts
// "Cannot convert to UTF8 string: ", "Cannot convert to ANSI string: " and
// "Cannot convert to UNICODE string: " followed by the system's text. Embedded NUL characters are
// kept: a value is never cut short.
std::string tk_to_utf8(std::u16string_view text);
std::u16string tk_from_utf8(std::string_view text);
// To the locale's charset (code_page -1) or, for any other code_page, also the locale's charset;
// characters the charset cannot hold become its substitution character instead of failing.
std::string tk_to_ansi(std::u16string_view text, int code_page = -1);
std::u16string tk_from_ansi(std::string_view text);
// Result-flag forms: false instead of an exception; a null input gives false.
bool tk_ansi_to_wide(const char* text, std::u16string& out);
bool tk_wide_to_ansi(const char16_t* text, std::string& out);
// Never throws: lone surrogates become '?' (used for messages).
std::string tk_to_ansi_lenient(std::u16string_view text) noexcept;
// A literal or UTF-8 text as wide text (throws like tk_from_utf8).
inline std::u16string tk_u16(std::string_view utf8) { return tk_from_utf8(utf8); }
// The charset the locale uses for narrow text, as ICU names it ("UTF-8" for the C locale).
const char* tk_ansi_charset();

// Trimming removes blanks (code 32) only; tabs and other white space stay.
std::string tk_trim_left(std::string text);
std::string tk_trim_right(std::string text);
std::string tk_trim(std::string text);
std::u16string tk_trim_left(std::u16string text);
std::u16string tk_trim_right(std::u16string text);
std::u16string tk_trim(std::u16string text);

namespace tk_wstring {
// Upper-cases the text in place with the C library's rules for the current locale (in the "C"
// locale only a to z) and returns a copy.
std::u16string to_upper(std::u16string& text);
}

// Parts between separators, empty ones included; an empty text gives an empty list.
std::vector<std::string> tk_split(const std::string& text, char separator);
// Two upper-case hexadecimal digits per byte.
std::string tk_bytes_to_hex(const unsigned char* data, size_t size);

// Whether the file can be opened: for reading and writing when access is 1, for reading else.
bool tk_is_file_exist(const std::string& path, int access);
bool tk_is_file_exist(const std::u16string& path, int access);
// Whether the folder can be made the current one (the current folder is left unchanged). An
// empty folder stands for the program's own folder.
bool tk_is_path_exist(const std::string& folder);
// Full path of the running program and its folder (with a trailing '/').
std::string tk_get_module_path();
std::u16string tk_get_module_wpath();
std::string tk_get_module_folder();

// Locale-aware, case-insensitive comparison of names (<0, 0, >0), as the user's locale collates.
int tk_compare_nocase(std::u16string_view a, std::u16string_view b);
bool tk_equal_nocase(std::u16string_view a, std::u16string_view b);
// Letter and letter-or-digit classes of a code point.
bool tk_is_alpha(char32_t c);
bool tk_is_alnum(char32_t c);
