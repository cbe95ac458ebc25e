#include "ole/ole_var.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

// Result codes of the OLE Automation conversions, for the trace lines.
constexpr uint32_t S_OK = 0;
constexpr uint32_t DISP_E_TYPEMISMATCH = 0x80020005;
constexpr uint32_t DISP_E_OVERFLOW = 0x8002000A;

constexpr size_t max_printed_bytes = 10000000;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool ascii_equal_nocase(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (size_t pos = 0; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_word[pos]) return false;
    }
    return true;
}

std::string replace_commas(std::string_view text) {
    std::string copy(text);
    for (char& c : copy)
        if (c == ',') c = '.';
    return copy;
}

// The leading integer of a text as C's strtoll reads it: blanks, an optional sign, digits;
// saturated at the 64-bit limits; no digits give 0.
int64_t leading_int64(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    uint64_t magnitude = 0;
    bool saturated = false;
    // Nineteen digits always fit 64 bits: only longer numbers need the overflow test.
    const size_t digits_at = pos;
    for (; pos < text.size() && pos - digits_at < 19 && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        magnitude = magnitude * 10 + static_cast<unsigned>(text[pos] - '0');
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        unsigned digit = static_cast<unsigned>(text[pos] - '0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) saturated = true;
        else magnitude = magnitude * 10 + digit;
    }
    const uint64_t limit = negative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    if (saturated || magnitude > limit) magnitude = limit;
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

// The leading unsigned integer as C's "%u"/"%llu" scanning reads it: a '-' wraps around, an
// overflow saturates. No digits give 0.
uint64_t leading_uint64(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    uint64_t magnitude = 0;
    const size_t digits_at = pos;
    for (; pos < text.size() && pos - digits_at < 19 && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        magnitude = magnitude * 10 + static_cast<unsigned>(text[pos] - '0');
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        unsigned digit = static_cast<unsigned>(text[pos] - '0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10)
            return std::numeric_limits<uint64_t>::max();
        magnitude = magnitude * 10 + digit;
    }
    return negative ? 0 - magnitude : magnitude;
}

// C's atof without the locale: blanks, then the longest floating-point prefix ('.' as the
// separator); no number gives 0.0.
double leading_double(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return 0.0;
    double value = 0.0;
    auto result = std::from_chars(text.data() + pos, text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; C gives HUGE_VAL or 0.
        std::string rest(text.substr(pos, static_cast<size_t>(result.ptr - (text.data() + pos))));
        value = std::strtod(rest.c_str(), nullptr);
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

// A number read with ',' taken for '.'; the copy that replaces the commas is made only when
// there is one.
double read_double(std::string_view text) {
    return text.find(',') == std::string_view::npos ? leading_double(text) : leading_double(replace_commas(text));
}

// A decimal with ',' taken for '.': the plain notation directly, any other text through the
// general reading.
bool read_decimal(std::string_view text, DECIMAL& out) {
    return DECIMAL::from_plain_string(text, out) || DECIMAL::from_string(replace_commas(text), out);
}

std::string print_decimal_int(int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string print_decimal_uint(uint64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string print_scientific(double value, int precision) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, precision);
    return std::string(buffer, result.ptr);
}

// Toward zero, keeping the low 32 bits; a NaN or a number beyond 64 bits gives 0 rather than
// an undefined conversion.
int32_t truncate_to_int32(double value) {
    if (!(std::fabs(value) < 9.2e18)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(value)));
}

std::u16string widen_ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string print_currency(const CY& cy) {
    uint64_t magnitude = cy.int64 < 0 ? 0 - static_cast<uint64_t>(cy.int64) : static_cast<uint64_t>(cy.int64);
    std::string text = cy.int64 < 0 ? "-" : "";
    text += print_decimal_uint(magnitude / 10000);
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04u", fraction);
        std::string tail(digits);
        while (tail.back() == '0') tail.pop_back();
        text += '.';
        text += tail;
    }
    return text;
}

// A decimal rounded to four places (halves to the even one) as a currency count; false when it
// does not fit.
bool currency_from_decimal(const DECIMAL& dec, CY& out) {
    const int scale = dec.scale;
    const int count = dec.digit_count;
    // Unscaled digits at or above 10^-4.
    const int drop = scale > 4 ? scale - 4 : 0;
    const int keep = count - drop;
    if (keep > 19) return false;
    uint64_t magnitude = 0;
    for (int position = count - 1; position >= drop; --position)
        magnitude = magnitude * 10 + static_cast<unsigned>(dec.digit(position));
    for (int pad = scale; pad < 4; ++pad) {
        if (magnitude > std::numeric_limits<uint64_t>::max() / 10) return false;
        magnitude *= 10;
    }
    if (drop > 0) {
        int first = dec.digit(drop - 1);
        bool rest_zero = true;
        for (int position = 0; position < drop - 1; ++position)
            if (dec.digit(position) != 0) rest_zero = false;
        if (first > 5 || (first == 5 && (!rest_zero || (magnitude & 1)))) ++magnitude;
    }
    const uint64_t limit = dec.negative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    if (magnitude > limit) return false;
    out.int64 = dec.negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// DECIMAL

int DECIMAL::digit(int position) const {
    if (position < 0 || position >= digit_count) return 0;
    return (packed[position / 2] >> ((position % 2) * 4)) & 0x0F;
}

bool operator==(const DECIMAL& a, const DECIMAL& b) noexcept {
    return a.digit_count == b.digit_count && a.scale == b.scale && a.negative == b.negative &&
           std::memcmp(a.packed, b.packed, sizeof a.packed) == 0;
}

namespace {

// Builds a decimal from its significant digits, most significant first (no leading zeros).
DECIMAL make_decimal(const std::string& digits, int scale, bool negative) {
    DECIMAL dec;
    dec.digit_count = static_cast<uint8_t>(digits.size());
    dec.scale = static_cast<uint8_t>(scale);
    dec.negative = negative && !digits.empty();
    for (size_t position = 0; position < digits.size(); ++position) {
        unsigned value = static_cast<unsigned>(digits[digits.size() - 1 - position] - '0');
        dec.packed[position / 2] |= static_cast<uint8_t>(value << ((position % 2) * 4));
    }
    return dec;
}

}  // namespace

bool DECIMAL::from_string(std::string_view text, DECIMAL& out) {
    size_t pos = 0;
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    std::string digits;
    long scale = 0;
    bool any_digit = false;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        any_digit = true;
        if (!digits.empty() || text[pos] != '0') digits += text[pos];
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
            any_digit = true;
            if (!digits.empty() || text[pos] != '0') digits += text[pos];
            ++scale;
        }
    }
    if (!any_digit) return false;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool exponent_negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) exponent_negative = text[pos++] == '-';
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
        long exponent = 0;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
            if (exponent < 100000) exponent = exponent * 10 + (text[pos] - '0');
        scale += exponent_negative ? exponent : -exponent;
    }
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    if (pos != text.size()) return false;

    if (digits.empty()) {
        // Zero keeps its places (0.00), within the limit.
        out = make_decimal(std::string(), scale < 0 ? 0 : (scale > max_digits ? max_digits : scale), false);
        return true;
    }
    if (scale < 0) {
        if (static_cast<long>(digits.size()) - scale > max_digits) return false;
        digits.append(static_cast<size_t>(-scale), '0');
        scale = 0;
    }
    // Too many digits: round the excess off the fraction, halves away from zero.
    long excess = std::max(static_cast<long>(digits.size()) - max_digits, scale - max_digits);
    while (excess > 0) {
        if (excess > scale) return false;
        if (static_cast<size_t>(excess) >= digits.size()) {
            // Every digit falls below the last place: the value rounds to 0 or to one unit there.
            bool round_up = static_cast<size_t>(excess) == digits.size() && digits[0] >= '5';
            digits = round_up ? "1" : "";
            scale -= excess;
            break;
        }
        bool round_up = digits[digits.size() - static_cast<size_t>(excess)] >= '5';
        digits.erase(digits.size() - static_cast<size_t>(excess));
        scale -= excess;
        if (round_up) {
            size_t position = digits.size();
            while (position > 0 && digits[position - 1] == '9') digits[--position] = '0';
            if (position == 0) digits.insert(digits.begin(), '1');
            else ++digits[position - 1];
        }
        // A carry can add a digit in front; it then costs one more place of the fraction.
        excess = static_cast<long>(digits.size()) - max_digits;
        if (digits.empty()) break;
    }
    size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? std::string() : digits.substr(first);
    out = make_decimal(digits, static_cast<int>(scale), negative);
    return true;
}

bool DECIMAL::from_plain_string(std::string_view text, DECIMAL& out) {
    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++pos;
    const size_t whole_at = pos;
    while (pos < text.size() && is_digit(text[pos])) ++pos;
    const size_t whole_digits = pos - whole_at;
    if (whole_digits == 0) return false;
    size_t fraction_at = pos, fraction_digits = 0;
    if (pos < text.size() && text[pos] == '.') {
        fraction_at = ++pos;
        while (pos < text.size() && is_digit(text[pos])) ++pos;
        fraction_digits = pos - fraction_at;
        if (fraction_digits == 0) return false;
    }
    if (pos != text.size() || fraction_digits > static_cast<size_t>(max_digits)) return false;

    // The digits without the point, most significant first; leading zeros are not significant.
    const size_t total = whole_digits + fraction_digits;
    auto digit_at = [&](size_t digit_idx) {
        return digit_idx < whole_digits ? text[whole_at + digit_idx]
                                        : text[fraction_at + digit_idx - whole_digits];
    };
    size_t first = 0;
    while (first < total && digit_at(first) == '0') ++first;
    const size_t count = total - first;
    if (count > static_cast<size_t>(max_digits)) return false;

    DECIMAL dec;
    dec.digit_count = static_cast<uint8_t>(count);
    dec.scale = static_cast<uint8_t>(fraction_digits);
    dec.negative = negative && count != 0;
    for (size_t position = 0; position < count; ++position) {
        const unsigned value = static_cast<unsigned>(digit_at(total - 1 - position) - '0');
        dec.packed[position / 2] |= static_cast<uint8_t>(value << ((position % 2) * 4));
    }
    out = dec;
    return true;
}

DECIMAL DECIMAL::from_int64(int64_t unscaled, uint8_t scale) {
    uint64_t magnitude = unscaled < 0 ? 0 - static_cast<uint64_t>(unscaled) : static_cast<uint64_t>(unscaled);
    std::string digits = magnitude == 0 ? std::string() : print_decimal_uint(magnitude);
    return make_decimal(digits, scale > max_digits ? max_digits : scale, unscaled < 0);
}

std::string DECIMAL::to_string() const {
    std::string text;
    text.reserve(static_cast<size_t>(digit_count) + scale + 3);
    if (negative && digit_count != 0) text += '-';
    const int count = digit_count;
    if (count <= scale) {
        text += '0';
    } else {
        for (int position = count - 1; position >= scale; --position) text += static_cast<char>('0' + digit(position));
    }
    if (scale > 0) {
        text += '.';
        for (int position = scale - 1; position >= 0; --position) text += static_cast<char>('0' + digit(position));
    }
    return text;
}

double DECIMAL::to_double() const {
    std::string text = to_string();
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool DECIMAL::to_int32(int32_t& out) const {
    const int count = digit_count;
    if (count - scale > 10) return false;
    uint64_t magnitude = 0;
    for (int position = count - 1; position >= scale; --position)
        magnitude = magnitude * 10 + static_cast<unsigned>(digit(position));
    if (scale > 0) {
        int first = digit(scale - 1);
        bool rest_zero = true;
        for (int position = 0; position < scale - 1; ++position)
            if (digit(position) != 0) rest_zero = false;
        if (first > 5 || (first == 5 && (!rest_zero || (magnitude & 1)))) ++magnitude;
    }
    const uint64_t limit = negative ? uint64_t(1) << 31 : (uint64_t(1) << 31) - 1;
    if (magnitude > limit) return false;
    out = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Exceptions

ole_type_exception::ole_type_exception() : tk_exception("The operating type is not supported yet", 0) {}

ole_cast_exception::ole_cast_exception() : tk_exception("Cannot cast from source type to destination type", 0) {}

// ---------------------------------------------------------------------------------------------
// ole_variant: construction

ole_variant::ole_variant(const SYSTEMTIME& st, uint16_t microseconds) : vt_(VT_EMPTY) {
    set_date(st, microseconds);
}

void ole_variant::set_date(const SYSTEMTIME& st, uint16_t microseconds) {
    TK_TRACE(1, "Construct ole_variant from SYSTEMTIME");
    clear();
    vt_ = VT_DATE;
    u_.date.st = st;
    u_.date.microseconds = microseconds;
    u_.date.year_as_written = false;
    u_.date.serial = 0.0;
    if (!SystemTimeToVariantTime(st, &u_.date.serial)) {
        TK_TRACE(2, "Failed to convert SYSTEMTIME->VARIANT");
        u_.date.serial = 0.0;
    }
}

ole_variant::ole_variant(const CY& cy) : vt_(VT_CY) {
    TK_TRACE(1, "Construct ole_variant from CY");
    u_.cy = cy;
}

ole_variant::ole_variant(const DECIMAL& dec) : vt_(VT_DECIMAL) {
    TK_TRACE(1, "Construct ole_variant from DECIMAL");
    new (&u_.dec) DECIMAL(dec);
}

ole_variant::ole_variant(std::u16string text) : vt_(VT_EMPTY) {
    TK_TRACE(1, "Construct ole_variant from BSTR");
    set_text(std::move(text));
}

ole_variant::ole_variant(const char16_t* text) : vt_(VT_EMPTY) {
    TK_TRACE(1, "Construct ole_variant from BSTR");
    set_text(text == nullptr ? std::u16string() : std::u16string(text));
}

ole_variant::ole_variant(bool value) : vt_(VT_BOOL) {
    TK_TRACE(1, "ole_variant::ctor from bool (%d)", value ? 1 : 0);
    u_.i2 = value ? -1 : 0;
}

ole_variant::ole_variant(char value) : vt_(VT_I1) {
    TK_TRACE(1, "ole_variant::ctor from char(%d)", value);
    u_.i1 = static_cast<int8_t>(value);
}

ole_variant::ole_variant(signed char value) : vt_(VT_I1) {
    TK_TRACE(1, "ole_variant::ctor from char(%d)", value);
    u_.i1 = value;
}

ole_variant::ole_variant(unsigned char value) : vt_(VT_UI1) {
    TK_TRACE(1, "ole_variant::ctor from byte(%d)", value);
    u_.ui1 = value;
}

ole_variant::ole_variant(short value) : vt_(VT_I2) {
    TK_TRACE(1, "ole_variant::ctor from short(%d)", value);
    u_.i2 = value;
}

ole_variant::ole_variant(unsigned short value) : vt_(VT_UI2) {
    TK_TRACE(1, "ole_variant::ctor from ushort(%d)", value);
    u_.ui2 = value;
}

ole_variant::ole_variant(int value) : vt_(VT_I4) {
    TK_TRACE(1, "ole_variant::ctor from int(%d)", value);
    u_.i4 = value;
}

ole_variant::ole_variant(unsigned int value) : vt_(VT_UI4) {
    TK_TRACE(1, "ole_variant::ctor from uint(%u)", value);
    u_.ui4 = value;
}

ole_variant::ole_variant(long value) : vt_(VT_I8) {
    TK_TRACE(1, "ole_variant::ctor(hyper, %lld)", static_cast<long long>(value));
    u_.i8 = value;
}

ole_variant::ole_variant(long long value) : vt_(VT_I8) {
    TK_TRACE(1, "ole_variant::ctor(hyper, %lld)", value);
    u_.i8 = value;
}

ole_variant::ole_variant(unsigned long value) : vt_(VT_UI8) {
    TK_TRACE(1, "ole_variant::ctor(uhyper, %llu)", static_cast<unsigned long long>(value));
    u_.ui8 = value;
}

ole_variant::ole_variant(unsigned long long value) : vt_(VT_UI8) {
    TK_TRACE(1, "ole_variant::ctor(uhyper, %llu)", value);
    u_.ui8 = value;
}

ole_variant::ole_variant(float value) : vt_(VT_R4) {
    TK_TRACE(1, "ole_variant::ctor from float(%f)", static_cast<double>(value));
    u_.r4 = value;
}

ole_variant::ole_variant(double value) : vt_(VT_R8) {
    TK_TRACE(1, "ole_variant::ctor from double(%e)", value);
    u_.r8 = value;
}

ole_variant::ole_variant(std::string_view text) : vt_(VT_EMPTY) {
    TK_TRACE(1, "ole_variant::ctor from string(%.*s)", static_cast<int>(text.size()), text.data());
    attach_string(text);
}

ole_variant::ole_variant(const char* text) : ole_variant(std::string_view(text == nullptr ? "" : text)) {}

ole_variant::ole_variant(const std::string& text) : ole_variant(std::string_view(text)) {}

ole_variant::ole_variant(size_t length, const uint8_t* bytes) : vt_(VT_EMPTY) {
    attach_binary(length, bytes);
}

ole_variant::ole_variant(const std::vector<uint8_t>& bytes) : vt_(VT_EMPTY) {
    attach_binary(bytes);
}

ole_variant ole_variant::make_error(std::u16string source_text) {
    TK_TRACE(1, "ole_variant::make_error(%s)", TK_W(source_text));
    ole_variant result;
    new (&result.u_.text) std::u16string(std::move(source_text));
    result.vt_ = VT_ERROR;
    return result;
}

// ---------------------------------------------------------------------------------------------
// ole_variant: copy, move, destruction

void ole_variant::copy_from(const ole_variant& other) {
    switch (other.vt_) {
    case VT_BSTR:
    case VT_ERROR:
        new (&u_.text) std::u16string(other.u_.text);
        vt_ = other.vt_;
        break;
    case VT_DECIMAL:
        new (&u_.dec) DECIMAL(other.u_.dec);
        vt_ = VT_DECIMAL;
        break;
    case VT_DATE:
        TK_TRACE(1, "Special processing for VT_DATE");
        u_.date = other.u_.date;
        vt_ = VT_DATE;
        break;
    case VT_I8:
    case VT_UI8:
        TK_TRACE(1, "Special processing for VT_(U)I8 type");
        u_.ui8 = other.u_.ui8;
        vt_ = other.vt_;
        break;
    case VT_SAFEARRAY:
    case VT_BYTE_ARRAY:
        TK_TRACE(1, "Special processing for VT_SAFEARRAY");
        try {
            new (&u_.array) SAFEARRAY(other.u_.array);
            vt_ = VT_BYTE_ARRAY;
        } catch (const std::bad_alloc&) {
            new (&u_.text) std::u16string();
            vt_ = VT_ERROR;
        }
        break;
    default:
        u_.ui8 = other.u_.ui8;
        vt_ = other.vt_;
        break;
    }
}

void ole_variant::move_from(ole_variant& other) noexcept {
    const VARTYPE moved = other.vt_ == VT_SAFEARRAY ? VT_BYTE_ARRAY : other.vt_;
    switch (other.vt_) {
    case VT_BSTR:
    case VT_ERROR:
        new (&u_.text) std::u16string(std::move(other.u_.text));
        other.clear();
        break;
    case VT_SAFEARRAY:
    case VT_BYTE_ARRAY:
        new (&u_.array) SAFEARRAY(std::move(other.u_.array));
        other.clear();
        break;
    default:
        // Numbers, decimals and dates own nothing: their bytes are the value.
        static_assert(std::is_trivially_copyable_v<DECIMAL> && std::is_trivially_copyable_v<date_value>);
        std::memcpy(static_cast<void*>(&u_), static_cast<const void*>(&other.u_), sizeof u_);
        other.u_.ui8 = 0;
        other.vt_ = VT_EMPTY;
        break;
    }
    vt_ = moved;
}

ole_variant::ole_variant(const ole_variant& other) : vt_(VT_EMPTY) {
    TK_TRACE(1, "ole_variant::copy ctor");
    copy_from(other);
}

ole_variant::ole_variant(ole_variant&& other) noexcept : vt_(VT_EMPTY) { move_from(other); }

ole_variant& ole_variant::operator=(const ole_variant& other) {
    if (this == &other) return *this;
    if (other.vt_ == VT_DATE) {
        TK_TRACE(1, "%04d-%02d-%02d %02d:%02d:%02d", other.u_.date.st.wYear, other.u_.date.st.wMonth,
                 other.u_.date.st.wDay, other.u_.date.st.wHour, other.u_.date.st.wMinute,
                 other.u_.date.st.wSecond);
    }
    if (vt_ == VT_BSTR && other.vt_ == VT_BSTR) {
        u_.text = other.u_.text;   // reuses the buffer
        return *this;
    }
    clear();
    copy_from(other);
    return *this;
}

ole_variant& ole_variant::move_assign(ole_variant& other) noexcept {
    if (this == &other) return *this;
    clear();
    move_from(other);
    return *this;
}

void ole_variant::clear() noexcept {
    switch (vt_) {
    case VT_BSTR:
    case VT_ERROR:
        u_.text.~basic_string();
        break;
    case VT_SAFEARRAY:
    case VT_BYTE_ARRAY:
        u_.array.~SAFEARRAY();
        break;
    case VT_DECIMAL:
        u_.dec.~DECIMAL();
        break;
    default:
        break;
    }
    vt_ = VT_EMPTY;
    u_.ui8 = 0;
}

void ole_variant::set_null() noexcept {
    clear();
    vt_ = VT_NULL;
}

void ole_variant::set_text(std::u16string text) {
    clear();
    new (&u_.text) std::u16string(std::move(text));
    vt_ = VT_BSTR;
}

// ---------------------------------------------------------------------------------------------
// ole_variant: accessors

VARTYPE ole_variant::get_type() const {
    TK_TRACE(1, "ole_variant::get_type");
    return vt_;
}

SYSTEMTIME ole_variant::get_systemtime() const { return vt_ == VT_DATE ? u_.date.st : SYSTEMTIME{}; }

uint16_t ole_variant::get_microseconds() const { return vt_ == VT_DATE ? u_.date.microseconds : 0; }

double ole_variant::get_date_serial() const { return vt_ == VT_DATE ? u_.date.serial : 0.0; }

int64_t ole_variant::get_i8() const noexcept { return vt_ == VT_I8 ? u_.i8 : 0; }

uint64_t ole_variant::get_ui8() const noexcept { return vt_ == VT_UI8 ? u_.ui8 : 0; }

CY ole_variant::get_cy() const noexcept { return vt_ == VT_CY ? u_.cy : CY{}; }

const DECIMAL* ole_variant::get_decimal() const noexcept { return vt_ == VT_DECIMAL ? &u_.dec : nullptr; }

const std::u16string* ole_variant::get_bstr() const noexcept { return vt_ == VT_BSTR ? &u_.text : nullptr; }

const std::u16string* ole_variant::get_error_text() const noexcept { return vt_ == VT_ERROR ? &u_.text : nullptr; }

int32_t ole_variant::to_long() const {
    TK_TRACE(1, "ole_variant::to_long(vt=%08X)", vt_);
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: return 0;
    case VT_I2:
    case VT_BOOL: return u_.i2;
    case VT_I4:
    case VT_INT: return u_.i4;
    case VT_UI4:
    case VT_UINT: return static_cast<int32_t>(u_.ui4);
    case VT_R4: return truncate_to_int32(u_.r4);
    case VT_R8: return truncate_to_int32(u_.r8);
    case VT_DECIMAL: {
        int32_t result = 0;
        bool converted = u_.dec.to_int32(result);
        TK_TRACE(1, "from DECIMAL, hr=%08X", converted ? S_OK : DISP_E_OVERFLOW);
        return converted ? result : 0;
    }
    case VT_I1: return u_.i1;
    case VT_UI1: return u_.ui1;
    case VT_UI2: return u_.ui2;
    case VT_I8:
    case VT_UI8: return static_cast<int32_t>(static_cast<uint32_t>(u_.ui8));
    default: throw tk_mail_assertion("ole_var", __LINE__);
    }
}

double ole_variant::to_double() const {
    TK_TRACE(1, "ole_variant::to_double(%08X)", vt_);
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: return 0.0;
    case VT_I2:
    case VT_BOOL: return u_.i2;
    case VT_I4:
    case VT_INT: return u_.i4;
    case VT_I1: return u_.i1;
    case VT_UI1: return u_.ui1;
    case VT_UI2: return u_.ui2;
    case VT_UI4:
    case VT_UINT: return u_.ui4;
    case VT_R4: return u_.r4;
    case VT_R8: return u_.r8;
    case VT_CY: {
        double result = static_cast<double>(u_.cy.int64) / 10000.0;
        TK_TRACE(1, "from CURRECY: res=%lg, hr=%08X", result, S_OK);
        return result;
    }
    case VT_DECIMAL: {
        double result = u_.dec.to_double();
        TK_TRACE(1, "from DECIMAL: res=%lg, hr=%08X", result, S_OK);
        return result;
    }
    case VT_I8: return static_cast<double>(u_.i8);
    case VT_UI8: return static_cast<double>(u_.ui8);
    default: throw tk_mail_assertion("ole_var", __LINE__);
    }
}

bool ole_variant::to_bool() const {
    TK_TRACE(1, "ole_variant::to_bool(vt=%08X)", vt_);
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: return false;
    case VT_I1: return u_.i1 != 0;
    case VT_UI1: return u_.ui1 != 0;
    case VT_I2: return u_.i2 != 0;
    case VT_UI2: return u_.ui2 != 0;
    case VT_I4:
    case VT_INT: return u_.i4 != 0;
    case VT_UI4:
    case VT_UINT: return u_.ui4 != 0;
    case VT_I8:
    case VT_UI8: return u_.ui8 != 0;
    case VT_R4: return u_.r4 != 0.0f;   // a NaN is true
    case VT_R8: return u_.r8 != 0.0;
    case VT_BOOL: return u_.i2 == -1;
    case VT_DECIMAL: return to_long() != 0;
    default: throw tk_mail_assertion("ole_var", __LINE__);
    }
}

// ---------------------------------------------------------------------------------------------
// ole_variant: byte arrays and text

size_t ole_variant::get_bytes(const uint8_t*& data) const {
    if (vt_ == VT_BYTE_ARRAY) {
        data = u_.array.data.data();
        return get_safe_array_size(u_.array);
    }
    if (vt_ == VT_EMPTY || vt_ == VT_NULL) {
        data = nullptr;
        return 0;
    }
    throw tk_mail_assertion("ole_var", __LINE__);
}

size_t ole_variant::get_safe_array_size(const SAFEARRAY& array) {
    TK_TRACE(1, "get_safe_array_size");
    const int64_t lower = array.lower_bound;
    const int64_t upper = lower + static_cast<int64_t>(array.data.size()) - 1;
    TK_TRACE(1, "lower=%d, upper=%d", static_cast<int>(lower), static_cast<int>(upper));
    return upper < lower ? 0 : static_cast<size_t>(upper - lower + 1);
}

void ole_variant::allocate_safe_array(size_t size) {
    TK_TRACE(1, "ole_variant::allocate_safe_array (size=%d)", static_cast<int>(size));
    if (vt_ == VT_BYTE_ARRAY) {
        if (u_.array.data.size() != size) {
            TK_TRACE(1, "Redimension array");
            u_.array.data.resize(size);   // new elements are zero
        }
        return;
    }
    clear();
    new (&u_.array) SAFEARRAY();
    vt_ = VT_BYTE_ARRAY;
    u_.array.data.resize(size);
}

void ole_variant::attach_binary(size_t length, const uint8_t* bytes) {
    TK_TRACE(1, "ole_variant::attach_binary(2)");
    if (bytes == nullptr && length != 0) throw tk_mail_assertion("ole_var", __LINE__);
    allocate_safe_array(length);
    if (length != 0) std::memcpy(u_.array.data.data(), bytes, length);
}

void ole_variant::attach_binary(const std::vector<uint8_t>& bytes) {
    TK_TRACE(1, "ole_variant::attach_binary(1)");
    allocate_safe_array(bytes.size());
    if (!bytes.empty()) std::memcpy(u_.array.data.data(), bytes.data(), bytes.size());
}

void ole_variant::attach_string(std::string_view text) {
    TK_TRACE(1, "ole_variant::attach_string('%.*s')", static_cast<int>(text.size()), text.data());
    set_text(tk_from_ansi(text));
}

std::string ole_variant::to_string() const {
    TK_TRACE(1, "ole_variant::to_string (vt=%08X)", vt_);
    switch (vt_) {
    case VT_I1: return print_decimal_int(u_.i1);
    case VT_I2: return print_decimal_int(u_.i2);
    case VT_I4:
    case VT_INT: return print_decimal_int(u_.i4);
    case VT_UI1: return print_decimal_uint(u_.ui1);
    case VT_UI2: return print_decimal_uint(u_.ui2);
    case VT_UI4:
    case VT_UINT: return print_decimal_uint(u_.ui4);
    case VT_I8: return print_decimal_int(u_.i8);
    case VT_UI8: return print_decimal_uint(u_.ui8);
    case VT_R4: return print_scientific(static_cast<double>(u_.r4), 6);
    case VT_R8: return print_scientific(u_.r8, 15);
    case VT_BOOL:
        TK_TRACE(1, "to_string - bool: %d", u_.i2);
        TK_TRACE(1, "Mapping BOOL like ANSI!");
        return u_.i2 == -1 ? "1" : "0";
    case VT_CY:
        TK_TRACE(1, "Converting VT_CY");
        return print_currency(u_.cy);
    case VT_DECIMAL:
        TK_TRACE(1, "Converting VT_DECIMAL");
        return u_.dec.to_string();
    case VT_DATE: {
        TK_TRACE(1, "Converting VT_DATE");
        ole_date date(u_.date.st, u_.date.microseconds);
        date.year_as_written = u_.date.year_as_written;
        return date.to_string();
    }
    case VT_BSTR: return tk_to_ansi(u_.text);
    case VT_BYTE_ARRAY: {
        TK_TRACE(1, "Converting VT_ARRAY");
        const std::vector<uint8_t>& data = u_.array.data;
        if (data.empty()) return std::string();
        static const char hex[] = "0123456789ABCDEF";
        const size_t count = std::min(data.size(), max_printed_bytes);
        std::string text(2 + 2 * count, '\0');
        text[0] = '0';
        text[1] = 'x';
        for (size_t byte_idx = 0; byte_idx < count; ++byte_idx) {
            text[2 + 2 * byte_idx] = hex[data[byte_idx] >> 4];
            text[3 + 2 * byte_idx] = hex[data[byte_idx] & 0x0F];
        }
        return text;
    }
    default: return std::string();
    }
}

std::u16string ole_variant::to_wstring() const {
    if (vt_ == VT_BSTR) return u_.text;
    // Every other text form is plain ASCII, the same in every charset.
    return widen_ascii(to_string());
}

// ---------------------------------------------------------------------------------------------
// ole_variant: from text

ole_variant ole_variant::from_string(std::string_view text, VARTYPE vt) {
    TK_TRACE(1, "ole_variant::from_string('%.*s', 0x%08X)", static_cast<int>(text.size()), text.data(), vt);
    if (text.empty() && vt != VT_BSTR) return ole_variant();
    switch (vt) {
    case VT_I1: return ole_variant(static_cast<signed char>(leading_int64(text)));
    case VT_UI1: return ole_variant(static_cast<unsigned char>(leading_int64(text)));
    case VT_I2: return ole_variant(static_cast<short>(leading_int64(text)));
    case VT_UI2: return ole_variant(static_cast<unsigned short>(leading_int64(text)));
    case VT_I4: return ole_variant(static_cast<int>(leading_int64(text)));
    case VT_UI4: return ole_variant(static_cast<unsigned int>(leading_uint64(text)));
    case VT_I8: return ole_variant(static_cast<long long>(leading_int64(text)));
    case VT_UI8: return ole_variant(static_cast<unsigned long long>(leading_uint64(text)));
    case VT_R4: return ole_variant(static_cast<float>(read_double(text)));
    case VT_R8: return ole_variant(read_double(text));
    case VT_CY: {
        TK_TRACE(1, "GOT VT_CY");
        DECIMAL dec;
        CY cy;
        if (!read_decimal(text, dec)) {
            TK_TRACE(3, "VarCyFromStr failed: %08X", DISP_E_TYPEMISMATCH);
            return ole_variant();
        }
        if (!currency_from_decimal(dec, cy)) {
            TK_TRACE(3, "VarCyFromStr failed: %08X", DISP_E_OVERFLOW);
            return ole_variant();
        }
        return ole_variant(cy);
    }
    case VT_DECIMAL: {
        TK_TRACE(1, "GOT VT_DECIMAL");
        DECIMAL dec;
        if (!read_decimal(text, dec)) {
            TK_TRACE(3, "VarDecFromStr failed: %08X", DISP_E_TYPEMISMATCH);
            return ole_variant();
        }
        return ole_variant(dec);
    }
    case VT_DATE:
        TK_TRACE(1, "GOT VT_DATE");
        return from_date_text(text);
    case VT_BOOL: {
        if (text.size() >= 2 && text.size() <= 5) {
            // The English words compare the same in every locale; the locale's comparison is
            // asked only for other texts.
            if (ascii_equal_nocase(text, "yes") || ascii_equal_nocase(text, "true")) return ole_variant(true);
            if (ascii_equal_nocase(text, "no") || ascii_equal_nocase(text, "false")) return ole_variant(false);
            std::u16string wide;
            if (!is_ascii(text) && tk_ansi_to_wide(std::string(text).c_str(), wide)) {
                if (tk_equal_nocase(wide, u"yes") || tk_equal_nocase(wide, u"true")) return ole_variant(true);
                if (tk_equal_nocase(wide, u"no") || tk_equal_nocase(wide, u"false")) return ole_variant(false);
            }
        }
        return ole_variant(static_cast<int>(leading_int64(text)) != 0);
    }
    case VT_BLOB:
    case VT_BYTE_ARRAY: return from_hex(text);
    default: return from_text_by_change_type(text, vt);
    }
}

// One value built where the caller wants it (a single return): VT_DATE, or VT_EMPTY for a text
// that is no date.
ole_variant ole_variant::from_date_text(std::string_view text) {
    const ole_date date(text);
    ole_variant result;
    if (date.is_valid()) {
        result.set_date(date.st, date.microseconds);
        result.u_.date.year_as_written = date.year_as_written;
    }
    return result;
}

ole_variant ole_variant::from_hex(std::string_view text) {
    if (text.size() % 2 != 0) {
        TK_TRACE(2, "Incorrect BLOB (size is odd)");
        return ole_variant();
    }
    size_t pos = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) pos = 2;
    TK_TRACE(1, "Got BLOB size: %d", static_cast<int>(text.size()));
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    ole_variant result;
    result.allocate_safe_array((text.size() - pos) / 2);
    uint8_t* out = result.u_.array.data.data();
    for (size_t byte_idx = 0; pos < text.size(); pos += 2, ++byte_idx) {
        int high = nibble(text[pos]), low = nibble(text[pos + 1]);
        if (high >= 0 && low >= 0) out[byte_idx] = static_cast<uint8_t>(high << 4 | low);
    }
    return result;
}

// The remaining types go through the text value and a change of type, as the platform's
// VariantChangeType would: text stays text, VT_EMPTY clears, the machine-size integers read a
// number (rounded to the nearest, halves to even, within 32 bits); everything else cannot be made
// from text.
ole_variant ole_variant::from_text_by_change_type(std::string_view text, VARTYPE vt) {
    ole_variant result;
    result.attach_string(text);
    bool changed = false;
    switch (vt) {
    case VT_BSTR: changed = true; break;
    case VT_EMPTY:
        result.clear();
        changed = true;
        break;
    case VT_INT:
    case VT_UINT: {
        DECIMAL dec;
        int32_t value = 0;
        if (!DECIMAL::from_string(text, dec)) break;
        if (vt == VT_INT) {
            if (!dec.to_int32(value)) break;
            result.clear();
            result.vt_ = VT_INT;
            result.u_.i4 = value;
            changed = true;
        } else {
            // The unsigned range: read the rounded magnitude through the 64-bit currency path.
            CY cy;
            DECIMAL whole = dec;
            if (!currency_from_decimal(whole, cy)) break;
            int64_t rounded = cy.int64 / 10000;
            int64_t rest = cy.int64 % 10000;
            if (rest > 5000 || (rest == 5000 && (rounded & 1))) ++rounded;
            if (rounded < 0 || rounded > 0xFFFFFFFFLL) break;
            result.clear();
            result.vt_ = VT_UINT;
            result.u_.ui4 = static_cast<uint32_t>(rounded);
            changed = true;
        }
        break;
    }
    default: break;
    }
    if (!changed) throw ole_type_exception();
    TK_TRACE(1, "VariantChangeType succeeded");
    return result;
}

ole_variant ole_variant::from_wstring(std::u16string_view text, VARTYPE vt) {
    TK_TRACE(1, "ole_variant::from_wstring");
    if (vt == VT_BSTR) return ole_variant(std::u16string(text));
    return from_string(tk_to_ansi(text), vt);
}

bool ole_variant::is_quoted_type(VARTYPE vt) noexcept { return vt == VT_BSTR || vt == VT_DATE; }

// ---------------------------------------------------------------------------------------------
// ole_guid_extractor

ole_guid_extractor::ole_guid_extractor(std::u16string text) : text_(std::move(text)) {
    TK_TRACE(1, "ole_guid_extractor::ctor(%s)", TK_W(text_));
    locate();
}

ole_guid_extractor::ole_guid_extractor(std::string_view text) : text_(tk_from_ansi(text)) {
    TK_TRACE(1, "ole_guid_extractor::ctor(%s)", TK_W(text_));
    locate();
}

void ole_guid_extractor::locate() {
    if (text_.size() < 45) return;
    const size_t lower = text_.find(u"guid");
    const size_t upper = text_.find(u"GUID");
    TK_TRACE(1, "Locating 'guid' (%d : %d)", lower == std::u16string::npos ? -1 : static_cast<int>(lower),
             upper == std::u16string::npos ? -1 : static_cast<int>(upper));
    const size_t at = lower != std::u16string::npos ? lower : upper;
    if (at == std::u16string::npos) return;
    const size_t brace = text_.find(u'{', at + 4);
    if (brace == std::u16string::npos) return;
    position_ = static_cast<int>(brace);
    found_ = true;
}

std::u16string ole_guid_extractor::braced_guid() const {
    if (!found_) return std::u16string();
    return text_.substr(static_cast<size_t>(position_), 38);
}

std::u16string ole_guid_extractor::bare_guid() const {
    if (!found_) return std::u16string();
    std::u16string digits;
    const size_t brace = static_cast<size_t>(position_);
    for (auto [offset, count] : {std::pair<size_t, size_t>{1, 8}, {10, 4}, {15, 4}, {20, 4}, {25, 12}}) {
        if (brace + offset >= text_.size()) break;
        digits += text_.substr(brace + offset, count);
    }
    return digits;
}

std::string ole_guid_extractor::bare_guid_narrow() const { return tk_to_ansi(bare_guid()); }
