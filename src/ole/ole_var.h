// Typed values: ole_variant is the one carrier of a single field value in the engine. Every value
// read from MySQL, every column default, every value bound into a DB2 insert and every value
// printed into SQL text travels as an ole_variant. It is a tagged value holding the OLE Automation
// type codes below; numbers and dates live inline (no allocation), wide text and byte arrays are
// owned by the value and deep-copied. Its text conversions fix the forms that the MySQL and DB2
// sides exchange. A value may be used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "ole/ole_date.h"
#include "tk/tk_errco.h"

// Type codes: the OLE Automation VARTYPE numbers. Column descriptors use the same numbers.
using VARTYPE = uint16_t;

inline constexpr VARTYPE VT_EMPTY = 0;        // no value at all
inline constexpr VARTYPE VT_NULL = 1;         // SQL NULL
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;           // currency: count of 1/10,000 units
inline constexpr VARTYPE VT_DATE = 7;         // serial number plus calendar fields
inline constexpr VARTYPE VT_BSTR = 8;         // wide (UTF-16) text
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;       // a value that did not convert (see make_error)
inline constexpr VARTYPE VT_BOOL = 11;        // -1 true, 0 false
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_DECIMAL = 14;     // exact decimal, up to 65 digits
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;         // machine-size integers: 32 bits here
inline constexpr VARTYPE VT_UINT = 23;
inline constexpr VARTYPE VT_SAFEARRAY = 27;   // source of copies only; a copy becomes VT_BYTE_ARRAY
inline constexpr VARTYPE VT_LPSTR = 30;
inline constexpr VARTYPE VT_LPWSTR = 31;
inline constexpr VARTYPE VT_BLOB = 65;        // target of from_string only; the result is 8209
inline constexpr VARTYPE VT_BLOB_OBJECT = 70;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYTE_ARRAY = VT_ARRAY | VT_UI1;   // 8209: binary data

// Currency: a signed count of units of 1/10,000.
struct CY {
    int64_t int64 = 0;
};

// Exact decimal: up to 65 significant digits (MySQL's DECIMAL maximum) with a scale of 0..65
// decimal places and a sign. Held inline as packed decimal digits; zero is never negative.
struct DECIMAL {
    static constexpr int max_digits = 65;

    // Parses a decimal number the way VarDecFromStr does in the English (United States) locale:
    // blanks around, an optional leading '+' or '-', digits with an optional '.' fraction (".5"
    // and "5." count), an optional exponent ("1.5e3"). Digits beyond 65 significant ones are
    // rounded off the fraction (half away from zero). Returns false, leaving `out` unchanged, for
    // a text that is not a number or whose integer part needs more than 65 digits.
    static bool from_string(std::string_view text, DECIMAL& out);
    // Reads only the plain notation MySQL sends: an optional '-', digits, and when there is a '.'
    // at least one digit after it, with at most 65 significant digits and 65 decimal places. Such
    // a text gives exactly the decimal from_string gives, without allocating, and returns true;
    // any other text returns false and leaves `out` unchanged.
    static bool from_plain_string(std::string_view text, DECIMAL& out);
    // A decimal of `unscaled` / 10^scale (scale 0..65).
    static DECIMAL from_int64(int64_t unscaled, uint8_t scale = 0);

    // Plain notation: a leading '-' for negatives, '.' before exactly `scale` fraction digits,
    // no grouping, no exponent ("-12.340", "0.05", "7").
    std::string to_string() const;
    // Nearest double (correctly rounded from the digits).
    double to_double() const;
    // Rounded to the nearest integer, halves to the even one; false when outside 32 bits.
    bool to_int32(int32_t& out) const;
    // Number of significant digits (1 for zero) and the digit at a position counted from the
    // least significant end.
    int precision() const { return digit_count == 0 ? 1 : digit_count; }
    int digit(int position) const;
    bool is_zero() const { return digit_count == 0; }

    uint8_t packed[33] = {};   // two digits a byte, least significant digit in the low nibble of [0]
    uint8_t digit_count = 0;   // significant digits held (0 for zero)
    uint8_t scale = 0;         // decimal places
    bool negative = false;
};

bool operator==(const DECIMAL& a, const DECIMAL& b) noexcept;   // same digits, scale and sign

// A one-dimensional array of bytes with its lower bound (always 0 for arrays made here).
struct SAFEARRAY {
    int32_t lower_bound = 0;
    std::vector<uint8_t> data;
};

// "The operating type is not supported yet": a text that cannot be converted to the requested
// type. Level 0, code 0.
class ole_type_exception : public tk_exception {
public:
    ole_type_exception();
};

// "Cannot cast from source type to destination type". Nothing raises it; the MySQL side's
// record count catches it. Level 0, code 0.
class ole_cast_exception : public tk_exception {
public:
    ole_cast_exception();
};

class ole_variant {
public:
    // VT_EMPTY.
    ole_variant() noexcept : vt_(VT_EMPTY) {}
    // VT_DATE from calendar fields; microseconds are the part below the milliseconds (0..999).
    // When the fields are not a date that SystemTimeToVariantTime takes (a pure time has year 0)
    // the value stays a VT_DATE with its calendar fields and a serial number of 0.
    explicit ole_variant(const SYSTEMTIME& st, uint16_t microseconds = 0);
    explicit ole_variant(const CY& cy);
    explicit ole_variant(const DECIMAL& dec);
    // VT_BSTR holding a copy of the text.
    explicit ole_variant(std::u16string text);
    explicit ole_variant(const char16_t* text);
    explicit ole_variant(bool value);                  // VT_BOOL, -1 or 0
    explicit ole_variant(char value);                  // VT_I1
    explicit ole_variant(signed char value);           // VT_I1
    explicit ole_variant(unsigned char value);         // VT_UI1
    explicit ole_variant(short value);                 // VT_I2
    explicit ole_variant(unsigned short value);        // VT_UI2
    explicit ole_variant(int value);                   // VT_I4
    explicit ole_variant(unsigned int value);          // VT_UI4
    explicit ole_variant(long value);                  // VT_I8 ("hyper")
    explicit ole_variant(long long value);             // VT_I8
    explicit ole_variant(unsigned long value);         // VT_UI8 ("uhyper")
    explicit ole_variant(unsigned long long value);    // VT_UI8
    explicit ole_variant(float value);                 // VT_R4
    explicit ole_variant(double value);                // VT_R8
    // VT_BSTR from narrow text in the conversion code page (attach_string).
    explicit ole_variant(std::string_view text);
    explicit ole_variant(const char* text);
    explicit ole_variant(const std::string& text);
    // VT_BYTE_ARRAY holding a copy of the bytes (attach_binary); a null pointer with a non-zero
    // length raises tk_mail_assertion (ole_var).
    ole_variant(size_t length, const uint8_t* bytes);
    explicit ole_variant(const std::vector<uint8_t>& bytes);
    // VT_ERROR carrying the text of a source value that could not become a value of its column's
    // type (a MySQL TIME of 100:00:00, a date with month 0). It prints as the empty text like any
    // VT_ERROR; a writer that meets one refuses the record and names the text (get_error_text).
    static ole_variant make_error(std::u16string source_text);

    // Copies deep-copy text and byte arrays; a VT_SAFEARRAY source gives VT_BYTE_ARRAY, a failed
    // array copy gives VT_ERROR. Moves leave the source VT_EMPTY.
    ole_variant(const ole_variant& other);
    ole_variant(ole_variant&& other) noexcept;
    ole_variant& operator=(const ole_variant& other);
    ole_variant& operator=(ole_variant&& other) noexcept {
        // Inline for the record path: values that own nothing move as their bytes.
        if (this == &other || owns_storage(vt_) || owns_storage(other.vt_)) return move_assign(other);
        std::memcpy(static_cast<void*>(&u_), static_cast<const void*>(&other.u_), sizeof u_);
        vt_ = other.vt_;
        other.vt_ = VT_EMPTY;
        other.u_.ui8 = 0;
        return *this;
    }
    virtual ~ole_variant() {
        if (owns_storage(vt_)) clear();
    }

    // The value as narrow text in the conversion code page: integers in decimal, VT_R4 as "%.6e",
    // VT_R8 as "%.15e", VT_BOOL as "1"/"0", currency and decimals in plain notation with '.'
    // whatever the locale, dates as ole_date prints them, byte arrays as "0x" and upper-case hex
    // digits (at most the first 10,000,000 bytes; an empty array gives the empty text), the
    // empty text for VT_EMPTY, VT_NULL, VT_ERROR and the types without a text form.
    virtual std::string to_string() const;
    // VT_BSTR gives the stored text itself; every other type to_string() widened.
    virtual std::u16string to_wstring() const;

    // The type code (traced at level 1).
    VARTYPE get_type() const;
    // The type code without a trace line, for the record path.
    VARTYPE vartype() const noexcept { return vt_; }
    bool is_empty_or_null() const noexcept { return vt_ == VT_EMPTY || vt_ == VT_NULL; }

    // The calendar fields of a VT_DATE; all zero for any other type.
    SYSTEMTIME get_systemtime() const;
    // The microseconds below the milliseconds of a VT_DATE (0..999); 0 for any other type.
    uint16_t get_microseconds() const;
    // The OLE date serial number of a VT_DATE; 0 for any other type or refused calendar fields.
    double get_date_serial() const;

    // Signed 32 bits: integers as they are (VT_I8/VT_UI8 their low 32 bits, VT_BOOL true -1),
    // floats truncated toward zero, decimals rounded to the nearest (0 when out of range), 0 for
    // VT_EMPTY/VT_NULL. Currency, dates, text and arrays raise tk_mail_assertion (ole_var).
    int32_t to_long() const;
    // Integers, floats, currency and decimals as double, 0.0 for VT_EMPTY/VT_NULL. Dates, text
    // and arrays raise tk_mail_assertion (ole_var).
    double to_double() const;
    // Non-zero integers and floats (a NaN too) are true; VT_BOOL only for -1; a decimal when
    // to_long() is not 0. Currency, dates, text and arrays raise tk_mail_assertion (ole_var).
    bool to_bool() const;

    // The 64-bit members: the value of a VT_I8 (resp. VT_UI8), 0 for any other type.
    int64_t get_i8() const noexcept;
    uint64_t get_ui8() const noexcept;
    // The currency of a VT_CY, zero for any other type.
    CY get_cy() const noexcept;
    // The decimal of a VT_DECIMAL, nullptr for any other type; valid while the value holds it.
    const DECIMAL* get_decimal() const noexcept;
    // The stored text of a VT_BSTR, nullptr for any other type; valid while the value holds it.
    const std::u16string* get_bstr() const noexcept;
    // The source text a VT_ERROR carries (empty after a failed array copy), nullptr for any
    // other type; valid while the value holds it.
    const std::u16string* get_error_text() const noexcept;

    // For VT_BYTE_ARRAY: the number of bytes, with `data` pointing at the first one (valid while
    // the value holds the array). VT_EMPTY and VT_NULL give 0 and nullptr. Any other type raises
    // tk_mail_assertion (ole_var).
    size_t get_bytes(const uint8_t*& data) const;
    // Element count of the array's first dimension.
    static size_t get_safe_array_size(const SAFEARRAY& array);
    // Makes the value a byte array of `size` elements: an existing byte array is resized keeping
    // its contents, anything else is released and replaced by a zero-filled array.
    void allocate_safe_array(size_t size);
    // Makes the value a byte array holding exactly these bytes. A null pointer with a non-zero
    // length raises tk_mail_assertion (ole_var).
    void attach_binary(size_t length, const uint8_t* bytes);
    void attach_binary(const std::vector<uint8_t>& bytes);
    // Makes the value a VT_BSTR of the narrow text converted from the conversion code page.
    void attach_string(std::string_view text);
    // Releases the content: VT_EMPTY.
    void clear() noexcept;
    // Makes the value SQL NULL (VT_NULL).
    void set_null() noexcept;

    // Builds a value of type `vt` from text. An empty text gives VT_EMPTY (but an empty VT_BSTR
    // for VT_BSTR). Integers take the leading number (none gives 0); VT_R4/VT_R8 read ',' as '.';
    // VT_CY and VT_DECIMAL read ',' as '.' and give VT_EMPTY for a text that is not a number;
    // VT_DATE gives VT_EMPTY for a text that is not a date; VT_BOOL takes "yes"/"true"/"no"/"false"
    // in any case, else the leading number; VT_BLOB and VT_BYTE_ARRAY read hexadecimal text with
    // an optional "0x" (an odd length gives VT_EMPTY). Any other type is converted from text and
    // raises ole_type_exception when the text cannot become that type.
    static ole_variant from_string(std::string_view text, VARTYPE vt);
    // VT_BSTR keeps the wide text as it is; any other type narrows it and calls from_string.
    static ole_variant from_wstring(std::u16string_view text, VARTYPE vt);
    // True for VT_BSTR and VT_DATE, the types written between apostrophes in SQL text.
    static bool is_quoted_type(VARTYPE vt) noexcept;

private:
    struct date_value {
        double serial;
        SYSTEMTIME st;
        uint16_t microseconds;
        bool year_as_written;   // ole_date::year_as_written of the text the value came from
    };
    union storage {
        storage() noexcept : ui8(0) {}
        ~storage() {}
        int8_t i1;
        uint8_t ui1;
        int16_t i2;     // also VT_BOOL
        uint16_t ui2;
        int32_t i4;     // also VT_INT
        uint32_t ui4;   // also VT_UINT
        int64_t i8;
        uint64_t ui8;
        float r4;
        double r8;
        CY cy;
        DECIMAL dec;
        date_value date;
        std::u16string text;   // VT_BSTR, VT_ERROR
        SAFEARRAY array;       // VT_BYTE_ARRAY, VT_SAFEARRAY
    };

    // True for the types whose value lives outside the object (text and byte arrays).
    static constexpr bool owns_storage(VARTYPE vt) noexcept {
        return vt == VT_BSTR || vt == VT_ERROR || vt == VT_SAFEARRAY || vt == VT_BYTE_ARRAY;
    }
    ole_variant& move_assign(ole_variant& other) noexcept;
    void copy_from(const ole_variant& other);
    void move_from(ole_variant& other) noexcept;
    void set_text(std::u16string text);
    void set_date(const SYSTEMTIME& st, uint16_t microseconds);
    static ole_variant from_date_text(std::string_view text);
    static ole_variant from_hex(std::string_view text);
    static ole_variant from_text_by_change_type(std::string_view text, VARTYPE vt);

    VARTYPE vt_;
    storage u_;
};

// Finds a GUID written inside a text: used by the text writers to recognise GUID values held as
// text. A text shorter than 45 characters, or one without "guid" or "GUID", holds none.
class ole_guid_extractor {
public:
    explicit ole_guid_extractor(std::u16string text);
    // The text is first widened in the conversion code page.
    explicit ole_guid_extractor(std::string_view text);

    bool is_found() const noexcept { return found_; }
    // Position of the opening brace, -1 when none was found.
    int position() const noexcept { return position_; }
    // The 38 characters starting at the brace ("{8-4-4-4-12}"); empty when none was found.
    std::u16string braced_guid() const;
    // The 32 hexadecimal digits without braces and dashes; empty when none was found. A text that
    // ends early gives only the digits present.
    std::u16string bare_guid() const;
    std::string bare_guid_narrow() const;

private:
    void locate();

    std::u16string text_;
    int position_ = -1;
    bool found_ = false;
};
