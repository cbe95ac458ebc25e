#include <gtest/gtest.h>

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
