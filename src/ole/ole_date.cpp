#include "ole/ole_date.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil-days algorithm).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

bool is_leap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(unsigned y, unsigned m) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

const int64_t ole_epoch_days = days_from_civil(1899, 12, 30);
constexpr double ms_per_day = 86400000.0;

int year_for_print(int year) {
    if (year < 50) return year + 2000;
    if (year < 100) return year + 1900;
    return year;
}

// Reads 1..max_digits decimal digits at `pos`; false when there are none.
bool read_number(const std::string& text, size_t& pos, size_t max_digits, int& value) {
    size_t start = pos;
    value = 0;
    while (pos < text.size() && pos - start < max_digits && text[pos] >= '0' && text[pos] <= '9')
        value = value * 10 + (text[pos++] - '0');
    return pos > start;
}

// The `count` characters at `pos` as a decimal number; false when one of them is not a digit.
bool read_fixed(std::string_view text, size_t pos, size_t count, unsigned& value) {
    value = 0;
    for (const size_t end = pos + count; pos < end; ++pos) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(text[pos])) - '0';
        if (digit > 9) return false;
        value = value * 10 + digit;
    }
    return true;
}

// Digits of the number at `field_idx` (0-based) among the runs of digits of the text.
size_t digits_of_number(const std::string& text, size_t field_idx) {
    size_t pos = 0;
    for (size_t field = 0;; ++field) {
        while (pos < text.size() && (text[pos] < '0' || text[pos] > '9')) ++pos;
        const size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
        if (pos == start) return 0;
        if (field == field_idx) return pos - start;
    }
}

}  // namespace

bool operator==(const SYSTEMTIME& a, const SYSTEMTIME& b) noexcept {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek &&
           a.wDay == b.wDay && a.wHour == b.wHour && a.wMinute == b.wMinute &&
           a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

bool SystemTimeToVariantTime(const SYSTEMTIME& st, double* serial) {
    if (serial == nullptr) return false;
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > days_in_month(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    const int64_t days = days_from_civil(st.wYear, st.wMonth, st.wDay) - ole_epoch_days;
    const double time_ms =
        ((st.wHour * 60.0 + st.wMinute) * 60.0 + st.wSecond) * 1000.0 + st.wMilliseconds;
    const double fraction = time_ms / ms_per_day;
    // Before the epoch the whole days count down while the time of day still counts up:
    // -1.25 is 1899-12-29 06:00.
    *serial = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
    return true;
}

bool VariantTimeToSystemTime(double serial, SYSTEMTIME* st) {
    if (st == nullptr || !std::isfinite(serial)) return false;
    double whole = std::trunc(serial);
    int64_t days = static_cast<int64_t>(whole);
    int64_t time_ms = std::llround(std::fabs(serial - whole) * ms_per_day);
    if (time_ms >= 86400000) {
        time_ms -= 86400000;
        days += serial < 0 ? -1 : 1;
    }
    int64_t year;
    unsigned month, day;
    civil_from_days(days + ole_epoch_days, year, month, day);
    if (year < 100 || year > 9999) return false;
    st->wYear = static_cast<uint16_t>(year);
    st->wMonth = static_cast<uint16_t>(month);
    st->wDay = static_cast<uint16_t>(day);
    // 1899-12-30 was a Saturday (6).
    st->wDayOfWeek = static_cast<uint16_t>(((days % 7) + 7 + 6) % 7);
    st->wHour = static_cast<uint16_t>(time_ms / 3600000);
    st->wMinute = static_cast<uint16_t>(time_ms / 60000 % 60);
    st->wSecond = static_cast<uint16_t>(time_ms / 1000 % 60);
    st->wMilliseconds = static_cast<uint16_t>(time_ms % 1000);
    return true;
}

ole_date::ole_date(const SYSTEMTIME& fields, uint16_t micro) : kind(kind_datetime), st(fields), microseconds(micro) {
    TK_TRACE(1, "ole_date::ole_date(SYSTEMTIME)");
    refine_type();
}

ole_date::ole_date(std::string_view text) {
    TK_TRACE(1, "ole_date::ole_date('%.*s')", static_cast<int>(text.size()), text.data());
    if (!import_canonical(text)) import_text(std::string(text));
}

ole_date::ole_date(std::u16string_view text) {
    TK_TRACE(1, "ole_date::ole_date('%s')", TK_W(text));
    const std::string narrow = tk_to_ansi(text);
    if (!import_canonical(narrow)) import_text(narrow);
}

void ole_date::reset_fields() {
    st = SYSTEMTIME{};
    microseconds = 0;
}

// The general reading takes these texts in two ways, and the result shows which: a date and time
// in whole seconds from year 100 on is checked against the calendar and comes back with its day
// of the week; with a fraction of a second, or before year 100, it is read field by field and the
// day of the week stays 0. Both end with the same refinement of the kind, and a year of four
// digits is always the year as written.
bool ole_date::import_canonical(std::string_view text) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    size_t time_at = 0;
    bool has_date = false, has_time = true;
    if (text.size() >= 10 && text[4] == '-') {
        if (text[7] != '-' || !read_fixed(text, 0, 4, year) || !read_fixed(text, 5, 2, month) ||
            !read_fixed(text, 8, 2, day))
            return false;
        if (year == 0 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month))
            return false;
        has_date = true;
        if (text.size() == 10) {
            has_time = false;
        } else {
            if (text[10] != ' ') return false;
            time_at = 11;
        }
    }
    unsigned fraction_us = 0;
    bool has_fraction = false;
    if (has_time) {
        if (text.size() < time_at + 8 || text[time_at + 2] != ':' || text[time_at + 5] != ':' ||
            !read_fixed(text, time_at, 2, hour) || !read_fixed(text, time_at + 3, 2, minute) ||
            !read_fixed(text, time_at + 6, 2, second))
            return false;
        const size_t fraction_at = time_at + 8;
        if (text.size() > fraction_at) {
            const size_t fraction_digits = text.size() - fraction_at - 1;
            unsigned fraction = 0;
            if (text[fraction_at] != '.' || fraction_digits < 1 || fraction_digits > 6 ||
                !read_fixed(text, fraction_at + 1, fraction_digits, fraction))
                return false;
            for (size_t digit_idx = fraction_digits; digit_idx < 6; ++digit_idx) fraction *= 10;
            fraction_us = fraction;
            has_fraction = true;
        }
        const unsigned limit_hour = has_date ? 23 : 60, limit_minute = has_date ? 59 : 60;
        if (hour > limit_hour || minute > limit_minute || second > limit_minute) return false;
    }

    st = SYSTEMTIME{};
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(day);
    st.wHour = static_cast<uint16_t>(hour);
    st.wMinute = static_cast<uint16_t>(minute);
    st.wSecond = static_cast<uint16_t>(second);
    st.wMilliseconds = static_cast<uint16_t>(fraction_us / 1000);
    microseconds = static_cast<uint16_t>(fraction_us % 1000);
    year_as_written = has_date;
    if (!has_date) {
        kind = kind_time;
        return true;
    }
    if (!has_fraction && year >= 100) {
        // 1899-12-30 was a Saturday (6).
        const int64_t days = days_from_civil(year, month, day) - ole_epoch_days;
        st.wDayOfWeek = static_cast<uint16_t>(((days % 7) + 7 + 6) % 7);
    }
    kind = has_time ? kind_datetime : kind_date;
    refine_type();
    return true;
}

void ole_date::import_text(const std::string& original) {
    reset_fields();
    year_as_written = false;
    std::string text = tk_trim(original);
    TK_TRACE(1, "After tk_trim: %s", text.c_str());
    for (const char* marker : {"AM", "PM", "am", "pm"}) {
        size_t pos = text.find(marker);
        if (pos != std::string::npos) {
            text = tk_trim(text.substr(0, pos));
            break;
        }
    }
    TK_TRACE(1, "Again buf1=%s", text.c_str());
    if (text.size() <= 4) {
        TK_TRACE(2, "Invalid date/time format: '%s'", text.c_str());
        kind = kind_none;
        return;
    }
    import_from_string(text);
    // A day-first text (31.12.2005) is read as year 31, day 2005.
    size_t year_field = 0;
    if ((kind == kind_datetime || kind == kind_date) && st.wDay > 31 && st.wYear < 32) {
        uint16_t year = st.wYear;
        st.wYear = st.wDay;
        st.wDay = year;
        year_field = 2;
    }
    year_as_written = (kind == kind_datetime || kind == kind_date) && digits_of_number(text, year_field) > 2;
    // 12 PM stays 12; AM changes nothing, so 12 AM stays 12 as well.
    if ((original.find("PM") != std::string::npos || original.find("pm") != std::string::npos) &&
        st.wHour <= 11)
        st.wHour += 12;
}

bool ole_date::is_valid() const {
    TK_TRACE(1, "ole_date::is_valid");
    if (kind == kind_none) return false;
    if (st.wYear == 0 && st.wMonth == 0 && st.wDay == 0) {
        TK_TRACE(1, "DATETIME is a pute time");
    } else {
        if (st.wMonth == 0 || st.wMonth > 12) {
            TK_TRACE(1, "Invalid month");
            return false;
        }
        if (st.wDay == 0 || st.wYear == 0 || (st.wYear > 31 && st.wDay > 31)) {
            TK_TRACE(1, "Invalid day and/or year");
            return false;
        }
    }
    if (st.wHour > 60 || st.wMinute > 60 || st.wSecond > 60) {
        TK_TRACE(1, "Invalid time");
        return false;
    }
    return true;
}

void ole_date::refine_type() {
    TK_TRACE(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, st.wSecond);
    if (st.wYear == 0 && st.wMonth == 0 && st.wDay == 0)
        kind = kind_time;
    else if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0 && st.wYear != 0 &&
             st.wMonth != 0 && st.wDay != 0)
        kind = kind_date;
}

// The forms taken where a platform would ask its locale's date parser (English, United States),
// each as the whole text:
//   yyyy-m-d, yyyy/m/d          (four-digit year)
//   m/d/yy, m/d/yyyy            (two-digit years: 00..29 are 2000..2029, 30..99 are 1930..1999)
// optionally followed by blanks and a time h:mm or h:mm:ss (whole seconds, 24-hour clock; the
// AM/PM marker is removed by the constructor before this point). The date must exist in the
// calendar, years 100..9999, hours 0..23, minutes and seconds 0..59. A fraction of a second,
// dots as separators or a day-first text are refused here and left to the formats that follow.
bool ole_date::parse_platform_form(const std::string& text) {
    size_t pos = 0;
    int first, second, third;
    size_t first_start = pos;
    if (!read_number(text, pos, 4, first)) return false;
    size_t first_len = pos - first_start;
    if (pos >= text.size() || (text[pos] != '-' && text[pos] != '/')) return false;
    const char separator = text[pos++];
    if (!read_number(text, pos, 2, second)) return false;
    if (pos >= text.size() || text[pos] != separator) return false;
    ++pos;
    size_t third_start = pos;
    if (!read_number(text, pos, 4, third)) return false;
    size_t third_len = pos - third_start;

    int year, month, day;
    if (first_len == 4) {
        year = first, month = second, day = third;
        if (third_len > 2) return false;
    } else if (separator == '/' && first_len <= 2 && (third_len == 2 || third_len == 4)) {
        month = first, day = second, year = third;
        if (third_len == 2) year += year < 30 ? 2000 : 1900;
    } else {
        return false;
    }

    int hour = 0, minute = 0, sec = 0;
    if (pos < text.size()) {
        size_t blanks = pos;
        while (pos < text.size() && text[pos] == ' ') ++pos;
        if (pos == blanks) return false;
        if (!read_number(text, pos, 2, hour)) return false;
        if (pos >= text.size() || text[pos] != ':') return false;
        ++pos;
        size_t minute_start = pos;
        if (!read_number(text, pos, 2, minute) || pos - minute_start != 2) return false;
        if (pos < text.size() && text[pos] == ':') {
            ++pos;
            size_t sec_start = pos;
            if (!read_number(text, pos, 2, sec) || pos - sec_start != 2) return false;
        }
        if (pos != text.size()) return false;
    }

    SYSTEMTIME candidate;
    candidate.wYear = static_cast<uint16_t>(year);
    candidate.wMonth = static_cast<uint16_t>(month);
    candidate.wDay = static_cast<uint16_t>(day);
    candidate.wHour = static_cast<uint16_t>(hour);
    candidate.wMinute = static_cast<uint16_t>(minute);
    candidate.wSecond = static_cast<uint16_t>(sec);
    double serial;
    if (!SystemTimeToVariantTime(candidate, &serial)) return false;
    return VariantTimeToSystemTime(serial, &st);
}

bool ole_date::import_from_string(const std::string& text) {
    TK_TRACE(1, "ole_date::import_from_string");
    const char* c_text = text.c_str();
    // "%s" never writes more than the text holds.
    std::vector<char> seconds(text.size() + 1, '\0');

    if (text.size() == 14) {
        TK_TRACE(1, "Trying timestamp format (1)...");
        int y, mo, d, h, mi, s;
        if (std::sscanf(c_text, "%4d%02d%02d%02d%02d%02d", &y, &mo, &d, &h, &mi, &s) == 6) {
            st.wYear = static_cast<uint16_t>(y);
            st.wMonth = static_cast<uint16_t>(mo);
            st.wDay = static_cast<uint16_t>(d);
            st.wHour = static_cast<uint16_t>(h);
            st.wMinute = static_cast<uint16_t>(mi);
            st.wSecond = static_cast<uint16_t>(s);
            kind = kind_datetime;
            if (is_valid()) return true;
        }
        reset_fields();
    } else if (text.size() == 8) {
        TK_TRACE(1, "Trying timestamp format (2)...");
        int y, mo, d;
        if (std::sscanf(c_text, "%4d%02d%02d", &y, &mo, &d) == 3) {
            st.wYear = static_cast<uint16_t>(y);
            st.wMonth = static_cast<uint16_t>(mo);
            st.wDay = static_cast<uint16_t>(d);
            kind = kind_date;
            if (is_valid()) return true;
        }
        reset_fields();
    }

    TK_TRACE(1, "Trying pure time format...");
    short hour = 0, minute = 0;
    if (std::sscanf(c_text, "%hd:%hd:%s", &hour, &minute, seconds.data()) == 3) {
        st.wHour = static_cast<uint16_t>(hour);
        st.wMinute = static_cast<uint16_t>(minute);
        kind = kind_time;
        if (is_valid()) {
            process_milliseconds(seconds.data());
            // The seconds are known only now: hold them to the same limit as hours and minutes.
            if (st.wSecond <= 60) return true;
            TK_TRACE(1, "Invalid time");
        }
    }

    reset_fields();
    if (parse_platform_form(text)) {
        TK_TRACE(1, "Got datetime using Microsoft API");
        kind = kind_datetime;
        refine_type();
        return true;
    }

    static const char* const formats[] = {
        "%hd-%hd-%hd %hd:%hd:%s",
        "%hd/%hd/%hd %hd:%hd:%s",
        "%hd.%hd.%hd %hd:%hd:%s",
    };
    for (int format_idx = 0; format_idx < 3; ++format_idx) {
        TK_TRACE(1, "Trying datetime format #%d", format_idx);
        // What one format read stays until the next one overwrites it.
        short y = static_cast<short>(st.wYear), mo = static_cast<short>(st.wMonth),
              d = static_cast<short>(st.wDay), h = static_cast<short>(st.wHour),
              mi = static_cast<short>(st.wMinute);
        seconds[0] = '\0';
        int items = std::sscanf(c_text, formats[format_idx], &y, &mo, &d, &h, &mi, seconds.data());
        st.wYear = static_cast<uint16_t>(y);
        st.wMonth = static_cast<uint16_t>(mo);
        st.wDay = static_cast<uint16_t>(d);
        st.wHour = static_cast<uint16_t>(h);
        st.wMinute = static_cast<uint16_t>(mi);
        if (items == 3) {
            TK_TRACE(1, "Format #%d succeeded (3 items)", format_idx);
            kind = kind_date;
            if (is_valid()) return true;
        } else if (items == 6) {
            TK_TRACE(1, "Format #%d succeeded (6 items)", format_idx);
            kind = kind_datetime;
            if (is_valid()) {
                process_milliseconds(seconds.data());
                if (st.wSecond <= 60) {
                    refine_type();
                    return true;
                }
                TK_TRACE(1, "Invalid time");
            }
        }
    }

    kind = kind_none;
    TK_TRACE(2, "Invalid date/time format: '%s'", c_text);
    return false;
}

void ole_date::process_milliseconds(const char* seconds) {
    TK_TRACE(1, "ole_date::process_milliseconds");
    if (seconds == nullptr) throw tk_mail_assertion("ole_date", __LINE__);
    TK_TRACE(1, "Got row sec: '%s'", seconds);
    // A plain "ss.ffffff" is read digit by digit: through a double, 30.123 would come out as
    // 30 s 122 ms. Any other text is read as C reads a floating-point number.
    const char* p = seconds;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '+') ++p;
    const char* digits = p;
    long whole = 0;
    while (*p >= '0' && *p <= '9' && p - digits < 9) whole = whole * 10 + (*p++ - '0');
    bool plain = p > digits && (*p == '\0' || *p == '.');
    unsigned fraction_us = 0;
    if (plain && *p == '.') {
        ++p;
        unsigned scale = 100000;
        for (; *p >= '0' && *p <= '9'; ++p) {
            fraction_us += static_cast<unsigned>(*p - '0') * scale;
            scale /= 10;
        }
        plain = *p == '\0';
    }
    if (plain) {
        st.wSecond = static_cast<uint16_t>(whole);
        st.wMilliseconds = static_cast<uint16_t>(fraction_us / 1000);
        microseconds = static_cast<uint16_t>(fraction_us % 1000);
    } else {
        double value = std::atof(seconds);
        double whole_part = std::trunc(value);
        st.wSecond = static_cast<uint16_t>(static_cast<long>(whole_part));
        long fraction_ms = static_cast<long>((value - whole_part) * 1000.0);
        st.wMilliseconds = static_cast<uint16_t>(fraction_ms);
        microseconds = 0;
    }
    TK_TRACE(1, "Got sec: %d", st.wSecond);
    TK_TRACE(1, "Got msec: %d", st.wMilliseconds);
}

std::string ole_date::to_string() const {
    TK_TRACE(1, "ole_date::to_string");
    return print();
}

std::u16string ole_date::to_wstring() const {
    TK_TRACE(1, "ole_date::to_wstring");
    std::string narrow = print();
    return std::u16string(narrow.begin(), narrow.end());
}

// Two-digit years below 100 print as four-digit years; the fields themselves stay as they are.
std::string ole_date::print() const {
    char buffer[64];
    const int year = year_as_written ? st.wYear : year_for_print(st.wYear);
    switch (kind) {
    case kind_datetime:
        TK_TRACE(1, "printing datetime...");
        if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0 && date_only_at_midnight)
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, st.wMonth, st.wDay);
        else
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, st.wMonth,
                          st.wDay, st.wHour, st.wMinute, st.wSecond);
        return buffer;
    case kind_date:
        TK_TRACE(1, "printing date...");
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, st.wMonth, st.wDay);
        return buffer;
    case kind_time:
        TK_TRACE(1, "printing time...");
        std::snprintf(buffer, sizeof buffer, "0000-00-00 %02d:%02d:%02d", st.wHour, st.wMinute,
                      st.wSecond);
        return buffer;
    default:
        return std::string();
    }
}

