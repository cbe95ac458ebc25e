#include "tk/tk_utils.h"

#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwctype>
#include <memory>

#include <unicode/locid.h>
#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"

namespace {

const UChar* as_uchar(const char16_t* p) { return reinterpret_cast<const UChar*>(p); }
UChar* as_uchar(char16_t* p) { return reinterpret_cast<UChar*>(p); }

bool charset_is_utf8(const char* name) {
    return std::strcmp(name, "UTF-8") == 0;
}

// Each thread keeps its own converter for the locale charset (ICU converters are not shared).
struct converter_deleter {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

UConverter* locale_converter() {
    thread_local std::unique_ptr<UConverter, converter_deleter> converter;
    thread_local std::string converter_charset;
    const char* charset = tk_ansi_charset();
    if (!converter || converter_charset != charset) {
        UErrorCode status = U_ZERO_ERROR;
        converter.reset(ucnv_open(charset, &status));
        if (U_FAILURE(status)) converter.reset();
        // ICU's own substitute is often the control character SUB; text for people and
        // databases gets '?' as the platform's default character.
        if (converter) ucnv_setSubstChars(converter.get(), "?", 1, &status);
        converter_charset = charset;
    }
    return converter.get();
}

bool utf16_to_utf8(std::u16string_view text, std::string& out, bool substitute) {
    out.resize(text.size() * 3);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, as_uchar(text.data()),
                       static_cast<int32_t>(text.size()), substitute ? u'?' : U_SENTINEL,
                       nullptr, &status);
    if (U_FAILURE(status)) return false;
    out.resize(static_cast<size_t>(length));
    return true;
}

// Most values read from MySQL are plain ASCII: they are widened unit by unit; anything else goes
// through ICU, which refuses ill-formed UTF-8 (overlong forms, surrogates, cut sequences).
bool utf8_to_utf16(std::string_view text, std::u16string& out) {
    out.resize(text.size());
    size_t ascii = 0;
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) {
        out[ascii] = static_cast<char16_t>(text[ascii]);
        ++ascii;
    }
    if (ascii == text.size()) return true;
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(as_uchar(out.data() + ascii), static_cast<int32_t>(out.size() - ascii), &length,
                  text.data() + ascii, static_cast<int32_t>(text.size() - ascii), &status);
    if (U_FAILURE(status)) return false;
    out.resize(ascii + static_cast<size_t>(length));
    return true;
}

bool to_locale(std::u16string_view text, std::string& out) {
    if (charset_is_utf8(tk_ansi_charset())) return utf16_to_utf8(text, out, true);
    UConverter* converter = locale_converter();
    if (converter == nullptr) return false;
    // The default callback substitutes what the charset cannot hold.
    out.resize(static_cast<size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(text.size(),
                                                                 ucnv_getMaxCharSize(converter))));
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                                     as_uchar(text.data()), static_cast<int32_t>(text.size()),
                                     &status);
    if (U_FAILURE(status)) return false;
    out.resize(static_cast<size_t>(length));
    return true;
}

bool from_locale(std::string_view text, std::u16string& out) {
    if (charset_is_utf8(tk_ansi_charset())) return utf8_to_utf16(text, out);
    UConverter* converter = locale_converter();
    if (converter == nullptr) return false;
    out.resize(text.size() * 2 + 1);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(converter, as_uchar(out.data()), static_cast<int32_t>(out.size()),
                                   text.data(), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) return false;
    out.resize(static_cast<size_t>(length));
    return true;
}

}  // namespace

const char* tk_ansi_charset() {
    const char* codeset = nl_langinfo(CODESET);
    // The C/POSIX locale reports ASCII; its users get UTF-8 like everyone else.
    if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0)
        return "UTF-8";
    return codeset;
}

std::string tk_to_utf8(std::u16string_view text) {
    std::string out;
    if (!utf16_to_utf8(text, out, false))
        throw tk_exception_ex("Cannot convert to UTF8 string: ", 0, EILSEQ);
    return out;
}

std::u16string tk_from_utf8(std::string_view text) {
    std::u16string out;
    if (!utf8_to_utf16(text, out))
        throw tk_exception_ex("Cannot convert to UNICODE string: ", 0, EILSEQ);
    return out;
}

std::string tk_to_ansi(std::u16string_view text, int /*code_page*/) {
    std::string out;
    if (!to_locale(text, out)) throw tk_exception_ex("Cannot convert to ANSI string: ", 0, EILSEQ);
    return out;
}

std::u16string tk_from_ansi(std::string_view text) {
    std::u16string out;
    if (!from_locale(text, out))
        throw tk_exception_ex("Cannot convert to UNICODE string: ", 0, EILSEQ);
    return out;
}

bool tk_ansi_to_wide(const char* text, std::u16string& out) {
    if (text == nullptr) return false;
    return from_locale(text, out);
}

bool tk_wide_to_ansi(const char16_t* text, std::string& out) {
    if (text == nullptr) return false;
    return to_locale(std::u16string_view(text), out);
}

std::string tk_to_ansi_lenient(std::u16string_view text) noexcept {
    try {
        std::string out;
        if (to_locale(text, out)) return out;
        if (utf16_to_utf8(text, out, true)) return out;
    } catch (...) {
    }
    return std::string();
}

namespace {
template <class S>
S trim_left_impl(S text) {
    size_t first = 0;
    while (first < text.size() && text[first] == ' ') ++first;
    text.erase(0, first);
    return text;
}
}  // namespace

std::string tk_trim_left(std::string text) { return trim_left_impl(std::move(text)); }
std::u16string tk_trim_left(std::u16string text) { return trim_left_impl(std::move(text)); }

std::string tk_trim_right(std::string text) {
    size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ') --end;
    text.resize(end);
    return text;
}

std::u16string tk_trim_right(std::u16string text) {
    if (text.empty()) return text;
    size_t end = text.size();
    while (end > 0 && text[end - 1] == u' ') --end;
    if (end == 0) {
        TK_TRACE(1, "Special processing for all-spaces-string");
        return std::u16string();
    }
    text.resize(end);
    return text;
}

std::string tk_trim(std::string text) { return tk_trim_left(tk_trim_right(std::move(text))); }
std::u16string tk_trim(std::u16string text) {
    return tk_trim_left(tk_trim_right(std::move(text)));
}

std::u16string tk_wstring::to_upper(std::u16string& text) {
    TK_TRACE(1, "tk_wstring::to_upper(%s)", TK_W(text));
    for (char16_t& unit : text) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;  // halves of a pair stay as they are
        unit = static_cast<char16_t>(std::towupper(static_cast<wint_t>(unit)));
    }
    return text;
}

std::vector<std::string> tk_split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    size_t start = 0;
    for (;;) {
        size_t found = text.find(separator, start);
        if (found == std::string::npos) {
            parts.push_back(text.substr(start));
            break;
        }
        parts.push_back(text.substr(start, found - start));
        start = found + 1;
    }
    return parts;
}

std::string tk_bytes_to_hex(const unsigned char* data, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    if (data == nullptr && size != 0) throw tk_mail_assertion("tk_utils", 674);
    std::string hex(size * 2, '0');
    for (size_t i = 0; i < size; ++i) {
        hex[2 * i] = digits[data[i] >> 4];
        hex[2 * i + 1] = digits[data[i] & 0x0F];
    }
    return hex;
}

bool tk_is_file_exist(const std::string& path, int access) {
    TK_TRACE(1, "tk_is_file_exist(%s)", path.c_str());
    int fd = ::open(path.c_str(), (access == 1 ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        TK_TRACE(1, "File not exists!");
        return false;
    }
    ::close(fd);
    return true;
}

bool tk_is_file_exist(const std::u16string& path, int access) {
    std::string narrow;
    if (!to_locale(path, narrow)) return false;
    return tk_is_file_exist(narrow, access);
}

bool tk_is_path_exist(const std::string& folder) {
    TK_TRACE(1, "tk_is_path_exist(%s)", folder.c_str());
    std::string target = folder.empty() ? tk_get_module_folder() : folder;
    int here = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool changed = ::chdir(target.c_str()) == 0;
    if (here >= 0) {
        if (::fchdir(here) != 0) TK_TRACE(3, "tk_is_path_exist: cannot return to the folder");
        ::close(here);
    }
    return changed;
}

std::string tk_get_module_path() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) throw tk_mail_assertion("tk_utils", 113);
    return std::string(path, static_cast<size_t>(length));
}

std::u16string tk_get_module_wpath() {
    std::u16string wide;
    if (!from_locale(tk_get_module_path(), wide)) throw tk_mail_assertion("tk_utils", 126);
    return wide;
}

std::string tk_get_module_folder() {
    std::string path = tk_get_module_path();
    return path.substr(0, path.rfind('/') + 1);
}

namespace {
// One collator per thread for the user's locale; secondary strength ignores case only.
icu::Collator* name_collator() {
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // The C/POSIX locale maps to en_US_POSIX, whose collation orders letters by code point
        // and so tells cases apart at every strength; names then compare by the root rules.
        icu::Locale locale = icu::Locale::getDefault();
        if (std::string_view(locale.getName()) == "en_US_POSIX") locale = icu::Locale::getRoot();
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !c) {
            status = U_ZERO_ERROR;
            c.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        if (c) c->setStrength(icu::Collator::SECONDARY);
        return c;
    }();
    return collator.get();
}
}  // namespace

int tk_compare_nocase(std::u16string_view a, std::u16string_view b) {
    icu::Collator* collator = name_collator();
    if (collator != nullptr) {
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult result =
            collator->compare(as_uchar(a.data()), static_cast<int32_t>(a.size()),
                              as_uchar(b.data()), static_cast<int32_t>(b.size()), status);
        if (U_SUCCESS(status)) return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
    }
    return u_strCaseCompare(as_uchar(a.data()), static_cast<int32_t>(a.size()), as_uchar(b.data()),
                            static_cast<int32_t>(b.size()), U_FOLD_CASE_DEFAULT, nullptr);
}

bool tk_equal_nocase(std::u16string_view a, std::u16string_view b) {
    return tk_compare_nocase(a, b) == 0;
}

bool tk_is_alpha(char32_t c) { return u_isalpha(static_cast<UChar32>(c)); }
bool tk_is_alnum(char32_t c) { return u_isalnum(static_cast<UChar32>(c)); }
