// Date and time values: the one place that decides whether a text is a date, a time or both, and
// how each kind is printed. MySQL delivers dates, times, datetimes and timestamps as text (also in
// its 14- and 8-digit forms and as the zero date); DB2 receives them as text in SQL and as calendar
// fields in bound parameters. An ole_date is a plain value: copy it freely, use it from one thread
// at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Calendar form of a date and time: the OLE Automation SYSTEMTIME layout, eight unsigned 16-bit
// fields. The day of week is carried but never used.
struct SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

bool operator==(const SYSTEMTIME& a, const SYSTEMTIME& b) noexcept;

// Date serial numbers of OLE Automation: whole days since 1899-12-30, the fraction being the time
// of day. Refuses (returns false, *serial untouched) calendar fields outside year 100..9999, month
// 1..12, day 1..last day of the month, hour 0..23, minute 0..59, second 0..59, milliseconds 0..999;
// a pure time (year 0) is therefore refused.
bool SystemTimeToVariantTime(const SYSTEMTIME& st, double* serial);
// The inverse, rounded to the nearest millisecond; false for serials outside years 100..9999.
bool VariantTimeToSystemTime(double serial, SYSTEMTIME* st);

class ole_date {
public:
    // Values of `kind`.
    enum : int { kind_none = 0, kind_datetime = 1, kind_date = 2, kind_time = 3 };

    // Copies the calendar fields (kind 1, then refine_type). `microseconds` is the part of the
    // second below the milliseconds, 0..999 (see the member below).
    explicit ole_date(const SYSTEMTIME& st, uint16_t microseconds = 0);
    // Parses a date and/or time text. A text that is not recognised leaves kind 0 (is_valid false,
    // prints as the empty text) and is no error; traces "Invalid date/time format: '%s'" (level 2).
    explicit ole_date(std::string_view text);
    // The same after narrowing the text in the conversion code page (the locale's charset).
    explicit ole_date(std::u16string_view text);

    // False for kind 0, an impossible month, day or year, or an hour, minute or second above 60.
    // A day above 31 is accepted while the year is 31 or less (a day-first text, exchanged later).
    bool is_valid() const;
    // Makes an all-zero date a pure time (kind 3) and a complete date at midnight a date (kind 2).
    void refine_type();
    // Reads only the forms MySQL sends for its temporal types, each field with exactly these
    // digits: "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss" and "hh:mm:ss", the seconds optionally followed
    // by a fraction of 1 to 6 digits, with a year above 0, a day that exists in its month and a
    // time of day below 24:00:00 (a pure time: each field up to 60). Such a text gives exactly
    // the date import_text gives, without its allocations and attempts, and returns true; any
    // other text returns false and leaves the date as it was.
    bool import_canonical(std::string_view text);
    // The general reading the text constructors fall back on: trims, takes an AM/PM marker, tries
    // every form (import_from_string), exchanges a day-first date and notes how the year was
    // written. Every field is set anew.
    void import_text(const std::string& text);
    // The parser proper: tries the 14- and 8-digit forms, a pure time, the platform date forms and
    // "y-m-d h:m:s", "y/m/d h:m:s", "y.m.d h:m:s" in this order; true at the first success, false
    // (kind 0) when none fits. Fields are left as the failing formats left them.
    bool import_from_string(const std::string& text);
    // Sets the second and the milliseconds (and microseconds) from a seconds text such as "30.5".
    // A null text raises tk_mail_assertion (ole_date).
    void process_milliseconds(const char* seconds);

    // "%04d-%02d-%02d %02d:%02d:%02d" for kind 1 ("%04d-%02d-%02d" at midnight while
    // date_only_at_midnight is set), "%04d-%02d-%02d" for kind 2, "0000-00-00 %02d:%02d:%02d" for
    // kind 3, the empty text otherwise. Years 0..49 print as 2000..2049, 50..99 as 1950..1999,
    // unless year_as_written is set. Fractions of a second are never printed.
    std::string to_string() const;
    std::u16string to_wstring() const;

    // Total fraction of the second: milliseconds * 1000 + microseconds (0..999,999).
    uint32_t fraction_microseconds() const { return st.wMilliseconds * 1000u + microseconds; }
    // The same in nanoseconds, as a DB2 timestamp structure carries it.
    uint32_t fraction_nanoseconds() const { return fraction_microseconds() * 1000u; }

    // Open to users: the DB2 text writer sets kind 2 or 3 to print a date or a time, and clears
    // date_only_at_midnight (with kind 1) to force the full date-and-time form.
    bool date_only_at_midnight = true;
    int kind = kind_none;
    SYSTEMTIME st{};
    // Microseconds beyond st.wMilliseconds (0..999): a DATETIME(6) text "...:30.123456" keeps
    // 123 ms here in st and 456 in this member.
    uint16_t microseconds = 0;
    // Set by the text constructor when the year was written with three or more digits: such a
    // year is the real one ("0001-01-01" is the year 1), and no century is added when printing.
    // Only a two-digit year ("49-01-02") takes the 2000/1900 rule.
    bool year_as_written = false;

private:
    std::string print() const;
    void reset_fields();
    bool parse_platform_form(const std::string& text);
};
