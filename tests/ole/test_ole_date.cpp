#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ole/ole_date.h"
#include "tk/tk_errco.h"

TEST(ole_date, recognises_and_prints_the_text_forms) {
    struct date_case {
        const char* name;
        const char* text;
        int kind;
        const char* printed;
        int milliseconds;
    } cases[] = {
        {"fourteen digits", "20051231102030", ole_date::kind_datetime, "2005-12-31 10:20:30", 0},
        {"fourteen digits at midnight", "20051231000000", ole_date::kind_datetime, "2005-12-31", 0},
        {"eight digits", "20051231", ole_date::kind_date, "2005-12-31", 0},
        {"pure time with a fraction", "10:20:30.25", ole_date::kind_time, "0000-00-00 10:20:30", 250},
        {"fraction read digit by digit", "10:20:30.123", ole_date::kind_time, "0000-00-00 10:20:30", 123},
        {"hours and minutes only", "10:20", ole_date::kind_none, "", 0},
        {"datetime with a fraction", "2005-12-31 10:20:30.5", ole_date::kind_datetime, "2005-12-31 10:20:30", 500},
        {"day first with dots", "31.12.2005", ole_date::kind_date, "2005-12-31", 0},
        {"year first with dots", "2005.12.31", ole_date::kind_date, "2005-12-31", 0},
        {"PM adds twelve hours", "2005-12-31 10:20:30 PM", ole_date::kind_datetime, "2005-12-31 22:20:30", 0},
        {"12 PM stays 12", "12:30:00 PM", ole_date::kind_time, "0000-00-00 12:30:00", 0},
        {"12 AM stays 12", "12:30:00 AM", ole_date::kind_time, "0000-00-00 12:30:00", 0},
        {"US date", "12/31/2005", ole_date::kind_date, "2005-12-31", 0},
        {"US date, two-digit year, PM", "12/31/05 1:05 pm", ole_date::kind_datetime, "2005-12-31 13:05:00", 0},
        {"four characters", "2005", ole_date::kind_none, "", 0},
        {"two-digit year 49", "49-01-02", ole_date::kind_date, "2049-01-02", 0},
        {"two-digit year 50", "50-01-02", ole_date::kind_date, "1950-01-02", 0},
        {"four-digit year 1", "0001-01-01", ole_date::kind_date, "0001-01-01", 0},
        {"four-digit year 99 with a time", "0099-12-31 23:59:59", ole_date::kind_datetime, "0099-12-31 23:59:59", 0},
        {"eight digits of year 49", "00490304", ole_date::kind_date, "0049-03-04", 0},
        {"day first, four-digit year 45", "31.12.0045", ole_date::kind_date, "0045-12-31", 0},
        {"zero datetime", "0000-00-00 00:00:00", ole_date::kind_time, "0000-00-00 00:00:00", 0},
        {"hour 60", "60:00:00", ole_date::kind_time, "0000-00-00 60:00:00", 0},
        {"hour 61", "61:00:00", ole_date::kind_none, "", 0},
        {"second 61", "10:20:61", ole_date::kind_none, "", 0},
        {"month 13", "2005-13-01", ole_date::kind_none, "", 0},
        {"no date at all", "hello world", ole_date::kind_none, "", 0},
    };
    for (const auto& c : cases) {
        ole_date date{std::string_view(c.text)};
        EXPECT_EQ(c.kind, date.kind) << c.name;
        EXPECT_EQ(c.kind != ole_date::kind_none, date.is_valid()) << c.name;
        EXPECT_EQ(c.printed, date.to_string()) << c.name;
        EXPECT_EQ(c.milliseconds, date.st.wMilliseconds) << c.name;
    }
}

TEST(ole_date, keeps_microseconds_beside_the_milliseconds) {
    ole_date date{std::string_view("2005-12-31 10:20:30.123456")};
    EXPECT_EQ(123, date.st.wMilliseconds);
    EXPECT_EQ(456, date.microseconds);
    EXPECT_EQ(123456u, date.fraction_microseconds());
    EXPECT_EQ("2005-12-31 10:20:30", date.to_string());
    EXPECT_EQ(u"2005-12-31 10:20:30", ole_date(u"2005-12-31 10:20:30.123456").to_wstring());
}

TEST(ole_date, midnight_from_calendar_fields_prints_as_a_date_unless_forced) {
    SYSTEMTIME st;
    st.wYear = 2005, st.wMonth = 12, st.wDay = 31;
    ole_date date(st);
    EXPECT_EQ(ole_date::kind_date, date.kind);
    EXPECT_EQ("2005-12-31", date.to_string());
    date.kind = ole_date::kind_datetime;
    date.date_only_at_midnight = false;
    EXPECT_EQ("2005-12-31 00:00:00", date.to_string());
    date.kind = ole_date::kind_time;
    EXPECT_EQ("0000-00-00 00:00:00", date.to_string());
}

TEST(ole_date, missing_seconds_text_is_an_assertion) {
    ole_date date{std::string_view("")};
    EXPECT_THROW(date.process_milliseconds(nullptr), tk_mail_assertion);
}

namespace {

// Everything a reading leaves in a date, in one line that shows where two readings differ.
std::string describe(const ole_date& date) {
    char line[160];
    std::snprintf(line, sizeof line, "kind %d %04u-%02u-%02u (weekday %u) %02u:%02u:%02u.%03u+%03u written %d valid %d",
                  date.kind, date.st.wYear, date.st.wMonth, date.st.wDay, date.st.wDayOfWeek, date.st.wHour,
                  date.st.wMinute, date.st.wSecond, date.st.wMilliseconds, date.microseconds,
                  date.year_as_written ? 1 : 0, date.is_valid() ? 1 : 0);
    return line;
}

// A date whose every field differs from what a reading sets, to see what a reading leaves alone.
ole_date untouched_date() {
    ole_date date{SYSTEMTIME{1, 2, 3, 4, 5, 6, 7, 8}, 9};
    date.kind = 77;
    date.year_as_written = true;
    return date;
}

// Reads the text both ways: the shortcut must take exactly the texts expected of it and give the
// general reading's date for them, leave the date alone otherwise; the constructor, whichever
// way it goes, gives the general reading.
void expect_canonical_reading(const std::string& text, bool canonical) {
    ole_date general = untouched_date();
    general.import_text(text);
    ole_date fast = untouched_date();
    EXPECT_EQ(canonical, fast.import_canonical(text)) << text;
    EXPECT_EQ(canonical ? describe(general) : describe(untouched_date()), describe(fast)) << text;
    EXPECT_EQ(describe(general), describe(ole_date{std::string_view(text)})) << text;
}

}  // namespace

TEST(ole_date, canonical_texts_read_as_the_general_reading_reads_them) {
    struct canonical_case {
        const char* text;
        bool canonical;
    } cases[] = {
        {"2024-01-15", true},
        {"2024-01-15 10:20:30", true},
        {"2024-01-15 00:00:00", true},             // midnight makes a date
        {"2024-01-15 00:00:00.5", true},           // still a date, the fraction kept
        {"2024-02-29 23:59:59", true},
        {"1899-12-29 06:00:00", true},             // before the serial epoch
        {"0100-01-01 00:00:01", true},             // the first year checked against the calendar
        {"0099-12-31 23:59:59", true},             // read field by field
        {"0001-01-01", true},
        {"0049-01-02 10:00:00", true},
        {"9999-12-31 23:59:59.999999", true},
        {"2024-01-15 10:20:30.1", true},
        {"2024-01-15 10:20:30.12", true},
        {"2024-01-15 10:20:30.123", true},
        {"2024-01-15 10:20:30.1234", true},
        {"2024-01-15 10:20:30.12345", true},
        {"2024-01-15 10:20:30.123456", true},
        {"2024-01-15 10:20:30.000001", true},
        {"10:20:30", true},
        {"00:00:00", true},
        {"23:59:59.5", true},
        {"24:00:00", true},
        {"60:60:60.999999", true},
        {"2024-02-30", false},                     // not in the calendar, yet read as written
        {"2023-02-29 10:00:00", false},
        {"0001-02-29", false},
        {"0000-00-00", false},
        {"0000-00-00 00:00:00", false},
        {"0000-01-01", false},
        {"2024-00-10", false},
        {"2024-13-01", false},
        {"2024-01-00", false},
        {"2024-01-15 24:00:00", false},
        {"2024-01-15 10:60:00", false},
        {"2024-01-15 10:20:60", false},
        {"2024-01-15 10:20:30.", false},
        {"2024-01-15 10:20:30.1234567", false},
        {"2024-01-15 10:20:30 PM", false},
        {"2024-01-15T10:20:30", false},
        {" 2024-01-15", false},
        {"2024-1-15", false},
        {"2024/01/15", false},
        {"15.01.2024", false},
        {"20240115102030", false},
        {"20240115", false},
        {"61:00:00", false},
        {"100:00:00", false},
        {"838:59:59", false},
        {"-01:00:00", false},
        {"10:20", false},
        {"10:2x:30", false},
        {"12:30:00 PM", false},
        {"", false},
    };
    for (const auto& c : cases) expect_canonical_reading(c.text, c.canonical);
}

TEST(ole_date, canonical_dates_across_the_calendar_read_as_the_general_reading_reads_them) {
    auto last_day = [](unsigned year, unsigned month) {
        static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return month == 2 && leap ? 29u : days[month - 1];
    };
    unsigned case_idx = 0;
    for (unsigned year = 1; year <= 9999; year += year < 2100 ? 13 : 97) {
        for (unsigned month = 1; month <= 12; ++month) {
            for (unsigned day : {1u, 28u, last_day(year, month)}) {
                const unsigned second_of_day = (case_idx++ * 7919u) % 86400u;
                char text[40];
                std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", year, month, day,
                              second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60);
                expect_canonical_reading(text, true);
                // The same with a fraction of 1 to 6 digits.
                const std::string fraction = std::to_string(100000 + case_idx * 37 % 900000);
                expect_canonical_reading(std::string(text) + "." + fraction.substr(0, 1 + case_idx % 6), true);
            }
        }
    }
}
