#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ole/ole_var.h"
#include "tk/tk_utils.h"

namespace fs = std::filesystem;

namespace {

// The assertion names its module: the location is the hex of "module\line".
void expect_assertion(const std::function<void()>& call, const char* module, const char* what) {
    try {
        call();
        ADD_FAILURE() << what << ": no assertion";
    } catch (const tk_mail_assertion& e) {
        std::string prefix = tk_mail_assertion::encode_location(module, 0);
        prefix.resize(prefix.size() - 2);   // drop the encoded line "0"
        EXPECT_NE(std::string::npos, std::string(e.what()).find(prefix)) << what;
        EXPECT_EQ(2, e.level()) << what;
    }
}

ole_variant decimal(const char* text) { return ole_variant::from_string(text, VT_DECIMAL); }

ole_variant bytes(std::vector<uint8_t> data) { return ole_variant(data); }

}  // namespace

TEST(ole_variant, from_string_builds_each_type_from_its_text) {
    const std::string digits31 = "1234567890123456789012345678901";
    const std::string digits65 = "-" + std::string(64, '9') + "8";
    struct from_case {
        const char* name;
        std::string text;
        VARTYPE vt;
        VARTYPE type;
        std::string printed;
    } cases[] = {
        {"empty text is no value", "", VT_I4, VT_EMPTY, ""},
        {"empty text stays text", "", VT_BSTR, VT_BSTR, ""},
        {"leading number of an int", " 42abc", VT_I4, VT_I4, "42"},
        {"no digits give 0", "abc", VT_I2, VT_I2, "0"},
        {"byte keeps the low 8 bits", "300", VT_UI1, VT_UI1, "44"},
        {"uint maximum", "4294967295", VT_UI4, VT_UI4, "4294967295"},
        {"hyper minimum", "-9223372036854775808", VT_I8, VT_I8, "-9223372036854775808"},
        {"uhyper maximum", "18446744073709551615", VT_UI8, VT_UI8, "18446744073709551615"},
        {"uhyper saturates", "18446744073709551616", VT_UI8, VT_UI8, "18446744073709551615"},
        {"hyper saturates", "-000009223372036854775809", VT_I8, VT_I8, "-9223372036854775808"},
        {"comma is the decimal point of a double", "1,5", VT_R8, VT_R8, "1.500000000000000e+00"},
        {"grouped number reads up to its second point", "1,234.5", VT_R8, VT_R8, "1.234000000000000e+00"},
        {"float", "0.25", VT_R4, VT_R4, "2.500000e-01"},
        {"currency with a comma", "12,5", VT_CY, VT_CY, "12.5"},
        {"currency rounds to four places", "-0.00005", VT_CY, VT_CY, "0"},
        {"currency that is not a number", "12x", VT_CY, VT_EMPTY, ""},
        {"currency beyond its range", "922337203685478", VT_CY, VT_EMPTY, ""},
        {"decimal that is not a number", "abc", VT_DECIMAL, VT_EMPTY, ""},
        {"decimal with two points", "1,234.5", VT_DECIMAL, VT_EMPTY, ""},
        {"decimal keeps its places", " -12.340 ", VT_DECIMAL, VT_DECIMAL, "-12.340"},
        {"decimal exponent", "1.5e3", VT_DECIMAL, VT_DECIMAL, "1500"},
        {"decimal of 31 digits", digits31.substr(0, 29) + "." + digits31.substr(29), VT_DECIMAL,
         VT_DECIMAL, digits31.substr(0, 29) + "." + digits31.substr(29)},
        {"decimal of 65 digits", digits65, VT_DECIMAL, VT_DECIMAL, digits65},
        {"decimal of 66 integer digits", std::string(66, '9'), VT_DECIMAL, VT_EMPTY, ""},
        {"decimal beyond 65 digits rounds its fraction", "1." + std::string(64, '4') + "6", VT_DECIMAL,
         VT_DECIMAL, "1." + std::string(63, '4') + "5"},
        {"decimal far below the last place", "1e-70", VT_DECIMAL, VT_DECIMAL, "0." + std::string(65, '0')},
        {"decimal rounding up to the last place", "-5e-66", VT_DECIMAL, VT_DECIMAL,
         "-0." + std::string(64, '0') + "1"},
        {"bool word in capitals", "TRUE", VT_BOOL, VT_BOOL, "1"},
        {"bool yes", "Yes", VT_BOOL, VT_BOOL, "1"},
        {"bool no", "No", VT_BOOL, VT_BOOL, "0"},
        {"bool number", "2", VT_BOOL, VT_BOOL, "1"},
        {"bool other word", "abc", VT_BOOL, VT_BOOL, "0"},
        {"hexadecimal blob", "0x0A0b", VT_BLOB, VT_BYTE_ARRAY, "0x0A0B"},
        {"hexadecimal without prefix", "ff00", VT_BYTE_ARRAY, VT_BYTE_ARRAY, "0xFF00"},
        {"pair that is not hexadecimal", "0xzz01", VT_BLOB, VT_BYTE_ARRAY, "0x0001"},
        {"odd hexadecimal length", "ABC", VT_BLOB, VT_EMPTY, ""},
        {"prefix alone is an empty array", "0x", VT_BLOB, VT_BYTE_ARRAY, ""},
        {"datetime", "2005-12-31 10:20:30", VT_DATE, VT_DATE, "2005-12-31 10:20:30"},
        {"text that is not a date", "yesterday", VT_DATE, VT_EMPTY, ""},
        {"date of year 1 written in four digits", "0001-01-01", VT_DATE, VT_DATE, "0001-01-01"},
        {"two-digit year", "49-01-02", VT_DATE, VT_DATE, "2049-01-02"},
        {"machine integer through a change of type", " 12 ", VT_INT, VT_INT, "12"},
    };
    for (const auto& c : cases) {
        ole_variant value = ole_variant::from_string(c.text, c.vt);
        EXPECT_EQ(c.type, value.get_type()) << c.name;
        EXPECT_EQ(c.printed, value.to_string()) << c.name;
    }
    EXPECT_EQ(125000, ole_variant::from_string("12,5", VT_CY).get_cy().int64);
}

TEST(ole_variant, text_that_cannot_become_the_type_raises_type_exception) {
    for (VARTYPE vt : {VT_NULL, VT_ERROR, VT_LPSTR, VT_BLOB_OBJECT}) {
        EXPECT_THROW(ole_variant::from_string("1", vt), ole_type_exception) << vt;
    }
    EXPECT_THROW(ole_variant::from_string("12x", VT_INT), ole_type_exception);
    try {
        ole_variant::from_string("x", VT_NULL);
    } catch (const ole_type_exception& e) {
        EXPECT_STREQ("The operating type is not supported yet", e.what());
    }
}

TEST(ole_variant, wide_text_is_kept_without_narrowing) {
    const std::u16string text = u"\u4e2d\u6587 \U0001F600";
    ole_variant value = ole_variant::from_wstring(text, VT_BSTR);
    EXPECT_EQ(VT_BSTR, value.get_type());
    EXPECT_EQ(text, value.to_wstring());
    ASSERT_NE(nullptr, value.get_bstr());
    EXPECT_EQ(text, *value.get_bstr());
    EXPECT_EQ(u"-12.5", ole_variant::from_wstring(u"-12.50", VT_CY).to_wstring());
    EXPECT_EQ(VT_EMPTY, ole_variant::from_wstring(u"", VT_DECIMAL).get_type());
}

TEST(ole_variant, numeric_reads_follow_the_type) {
    struct read_case {
        const char* name;
        ole_variant value;
        int32_t as_long;
        double as_double;
        bool as_bool;
    } cases[] = {
        {"empty", ole_variant(), 0, 0.0, false},
        {"bool true is -1", ole_variant(true), -1, -1.0, true},
        {"bool false", ole_variant(false), 0, 0.0, false},
        {"uint maximum", ole_variant(4294967295u), -1, 4294967295.0, true},
        {"hyper 2^40", ole_variant(int64_t(1) << 40), 0, 1099511627776.0, true},
        {"uhyper high bit only", ole_variant(uint64_t(1) << 63), 0, 9223372036854775808.0, true},
        {"signed char", ole_variant(static_cast<signed char>(-5)), -5, -5.0, true},
        {"byte", ole_variant(static_cast<unsigned char>(200)), 200, 200.0, true},
        {"double truncates", ole_variant(-2.7), -2, -2.7, true},
        {"NaN is true", ole_variant(std::numeric_limits<double>::quiet_NaN()), 0,
         std::numeric_limits<double>::quiet_NaN(), true},
        {"decimal half to even down", decimal("2.5"), 2, 2.5, true},
        {"decimal half to even up", decimal("3.5"), 4, 3.5, true},
        {"negative decimal half", decimal("-2.5"), -2, -2.5, true},
        {"small decimal rounds to zero", decimal("0.4"), 0, 0.4, false},
        {"decimal outside 32 bits", decimal("3000000000"), 0, 3e9, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.as_long, c.value.to_long()) << c.name;
        if (std::isnan(c.as_double))
            EXPECT_TRUE(std::isnan(c.value.to_double())) << c.name;
        else
            EXPECT_DOUBLE_EQ(c.as_double, c.value.to_double()) << c.name;
        EXPECT_EQ(c.as_bool, c.value.to_bool()) << c.name;
    }
    EXPECT_DOUBLE_EQ(12.5, ole_variant::from_string("12.5", VT_CY).to_double());
}

TEST(ole_variant, numeric_reads_of_other_types_are_assertions) {
    const ole_variant currency = ole_variant::from_string("1", VT_CY);
    const ole_variant date = ole_variant::from_string("2005-12-31", VT_DATE);
    const ole_variant text(u"1");
    const ole_variant array = bytes({1});
    for (const ole_variant* value : {&currency, &date, &text, &array}) {
        expect_assertion([&] { value->to_long(); }, "ole_var", "to_long");
        expect_assertion([&] { value->to_bool(); }, "ole_var", "to_bool");
    }
    for (const ole_variant* value : {&date, &text, &array})
        expect_assertion([&] { value->to_double(); }, "ole_var", "to_double");
    const uint8_t* data = nullptr;
    expect_assertion([&] { text.get_bytes(data); }, "ole_var", "get_bytes of text");
    expect_assertion([] { ole_variant().attach_binary(3, nullptr); }, "ole_var", "attach_binary without data");
}

TEST(ole_variant, to_string_forms) {
    struct print_case {
        const char* name;
        ole_variant value;
        std::string printed;
    } cases[] = {
        {"empty", ole_variant(), ""},
        {"null", [] { ole_variant v; v.set_null(); return v; }(), ""},
        {"short", ole_variant(static_cast<short>(-7)), "-7"},
        {"hyper", ole_variant(int64_t(1) << 40), "1099511627776"},
        {"float", ole_variant(1.5f), "1.500000e+00"},
        {"double", ole_variant(-0.1), "-1.000000000000000e-01"},
        {"bool true", ole_variant(true), "1"},
        {"negative currency", ole_variant(CY{-1}), "-0.0001"},
        {"decimal", decimal("-12.34"), "-12.34"},
        {"negative zero decimal", decimal("-0.00"), "0.00"},
        {"bytes", bytes({0, 255, 16}), "0x00FF10"},
        {"no bytes", bytes({}), ""},
        {"narrow text", ole_variant("abc"), "abc"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.printed, c.value.to_string()) << c.name;
}

TEST(ole_variant, byte_array_text_is_capped_at_ten_million_bytes) {
    ole_variant value;
    value.allocate_safe_array(10000001);
    const std::string text = value.to_string();
    EXPECT_EQ(20000002u, text.size());
    EXPECT_EQ("0x0000", text.substr(0, 6));
}

// Numbers print with '.' whatever the locale's decimal separator.
TEST(ole_variant, numbers_print_with_a_point_under_a_comma_locale) {
    std::string pattern = (fs::temp_directory_path() / "ole_locale_XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    const std::string command = "localedef -i de_DE -f UTF-8 '" + pattern + "/de_DE.UTF-8' >/dev/null 2>&1";
    ASSERT_EQ(0, std::system(command.c_str())) << "localedef failed (package locales)";
    setenv("LOCPATH", pattern.c_str(), 1);
    ASSERT_NE(nullptr, std::setlocale(LC_ALL, "de_DE.UTF-8"));
    ASSERT_EQ(',', *std::localeconv()->decimal_point);

    EXPECT_EQ("-12.34", decimal("-12.34").to_string());
    EXPECT_EQ("-12.34", decimal("-12,34").to_string());
    EXPECT_EQ("12.5", ole_variant::from_string("12,5", VT_CY).to_string());
    EXPECT_EQ("1.500000000000000e+00", ole_variant::from_string("1.5", VT_R8).to_string());

    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    fs::remove_all(pattern);
}

TEST(ole_variant, copies_own_their_bytes_and_text) {
    auto source = std::make_unique<ole_variant>(bytes({1, 2, 3}));
    ole_variant copy(*source);
    ole_variant assigned;
    assigned = *source;
    source.reset();
    for (const ole_variant* value : {&copy, &assigned}) {
        const uint8_t* data = nullptr;
        ASSERT_EQ(3u, value->get_bytes(data));
        EXPECT_EQ(3, data[2]);
    }

    ole_variant text(u"text");
    ole_variant& same = text;
    text = same;
    EXPECT_EQ(u"text", text.to_wstring());
    ole_variant moved(std::move(text));
    EXPECT_EQ(VT_EMPTY, text.get_type());
    EXPECT_EQ(u"text", moved.to_wstring());
    moved = ole_variant(7);
    EXPECT_EQ(7, moved.to_long());
}

// A value that did not convert carries its source text through copies and moves; it is no text
// itself and no number.
// Every kind moved onto every kind: the target takes the value whole, the source is left empty.
TEST(ole_variant, move_assignment_between_every_kind_of_value) {
    SYSTEMTIME st;
    st.wYear = 2024, st.wMonth = 1, st.wDay = 15, st.wHour = 10, st.wMilliseconds = 123;
    ole_variant null_value;
    null_value.set_null();
    const ole_variant values[] = {ole_variant(), null_value, ole_variant(7), ole_variant(-5LL),
                                  decimal("-12.340"), ole_variant(st, 456), ole_variant(u"text"),
                                  bytes({1, 2, 3}), ole_variant::make_error(u"100:00:00")};
    auto describe = [](const ole_variant& value) {
        const std::u16string* error = value.get_error_text();
        return std::to_string(value.vartype()) + " " + value.to_string() + " " +
               std::to_string(value.get_microseconds()) + (error ? tk_to_utf8(*error) : "");
    };
    for (const ole_variant& target_value : values) {
        for (const ole_variant& source_value : values) {
            ole_variant target(target_value), source(source_value);
            target = std::move(source);
            EXPECT_EQ(describe(source_value), describe(target)) << describe(target_value);
            EXPECT_EQ(VT_EMPTY, source.vartype()) << describe(source_value);
        }
        ole_variant same(target_value);
        ole_variant& alias = same;
        same = std::move(alias);
        EXPECT_EQ(describe(target_value), describe(same));
    }
}

TEST(ole_variant, error_values_carry_their_source_text) {
    ole_variant error = ole_variant::make_error(u"100:00:00");
    EXPECT_EQ(VT_ERROR, error.get_type());
    EXPECT_EQ("", error.to_string());
    EXPECT_EQ(nullptr, error.get_bstr());
    ole_variant copy(error);
    ole_variant assigned(u"text");
    assigned = error;
    ole_variant moved(std::move(error));
    for (const ole_variant* value : {&copy, &assigned, &moved}) {
        ASSERT_NE(nullptr, value->get_error_text());
        EXPECT_EQ(u"100:00:00", *value->get_error_text());
    }
    EXPECT_EQ(nullptr, error.get_error_text());
    EXPECT_EQ(nullptr, ole_variant(u"100:00:00").get_error_text());
    expect_assertion([&] { copy.to_long(); }, "ole_var", "to_long of an error");
}

TEST(ole_variant, allocate_safe_array_resizes_keeping_contents) {
    ole_variant value = bytes({9, 8});
    value.allocate_safe_array(4);
    const uint8_t* data = nullptr;
    ASSERT_EQ(4u, value.get_bytes(data));
    EXPECT_EQ((std::vector<uint8_t>{9, 8, 0, 0}), std::vector<uint8_t>(data, data + 4));
    value = ole_variant(u"x");
    value.allocate_safe_array(2);
    ASSERT_EQ(2u, value.get_bytes(data));
    EXPECT_EQ(0, data[0] | data[1]);
    EXPECT_EQ(0u, ole_variant().get_bytes(data));
    EXPECT_EQ(nullptr, data);
}

// A DATETIME(6) value keeps its microseconds through the value, printed without a fraction.
TEST(ole_variant, datetime_with_microseconds_round_trips) {
    ole_variant value = ole_variant::from_string("2024-02-29 23:59:59.123456", VT_DATE);
    ASSERT_EQ(VT_DATE, value.get_type());
    EXPECT_EQ(123, value.get_systemtime().wMilliseconds);
    EXPECT_EQ(456, value.get_microseconds());
    EXPECT_EQ("2024-02-29 23:59:59", value.to_string());
    ole_variant copy = value;
    EXPECT_EQ(456, copy.get_microseconds());
    ole_date back(copy.get_systemtime(), copy.get_microseconds());
    EXPECT_EQ(123456000u, back.fraction_nanoseconds());
    EXPECT_EQ(0, ole_variant(7).get_systemtime().wYear);
}

TEST(ole_variant, date_serial_numbers) {
    struct serial_case {
        const char* name;
        SYSTEMTIME st;
        bool accepted;
        double serial;
    } cases[] = {
        {"epoch", {1899, 12, 0, 30, 0, 0, 0, 0}, true, 0.0},
        {"first of 1900", {1900, 1, 0, 1, 0, 0, 0, 0}, true, 2.0},
        {"noon of 2000", {2000, 1, 0, 1, 12, 0, 0, 0}, true, 36526.5},
        {"before the epoch", {1899, 12, 0, 29, 6, 0, 0, 0}, true, -1.25},
        {"pure time", {0, 0, 0, 0, 10, 20, 30, 0}, false, 0},
        {"no such day", {2005, 2, 0, 29, 0, 0, 0, 0}, false, 0},
        {"hour 24", {2005, 1, 0, 1, 24, 0, 0, 0}, false, 0},
    };
    for (const auto& c : cases) {
        double serial = 99;
        ASSERT_EQ(c.accepted, SystemTimeToVariantTime(c.st, &serial)) << c.name;
        if (!c.accepted) continue;
        EXPECT_DOUBLE_EQ(c.serial, serial) << c.name;
        SYSTEMTIME back;
        ASSERT_TRUE(VariantTimeToSystemTime(serial, &back)) << c.name;
        SYSTEMTIME expected = c.st;
        expected.wDayOfWeek = back.wDayOfWeek;
        EXPECT_EQ(expected, back) << c.name;
    }
    ole_variant pure_time(SYSTEMTIME{0, 0, 0, 0, 10, 20, 30, 0});
    EXPECT_EQ(VT_DATE, pure_time.get_type());
    EXPECT_EQ("0000-00-00 10:20:30", pure_time.to_string());
}

TEST(ole_guid_extractor, finds_the_braced_guid_after_the_marker) {
    const std::string guid = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
    ole_guid_extractor found("value guid: " + guid);
    ASSERT_TRUE(found.is_found());
    EXPECT_EQ(tk_u16(guid), found.braced_guid());
    EXPECT_EQ(u"6F9619FF8B86D011B42D00C04FC964FF", found.bare_guid());
    EXPECT_EQ("6F9619FF8B86D011B42D00C04FC964FF", found.bare_guid_narrow());

    struct missing_case { const char* name; std::string text; } missing[] = {
        {"shorter than 45", "guid " + guid.substr(0, 30)},
        {"no marker", "value uuid: " + guid},
        {"no brace after the marker", guid + " guid ......................................"},
    };
    for (const auto& c : missing) {
        ole_guid_extractor extractor(c.text);
        EXPECT_FALSE(extractor.is_found()) << c.name;
        EXPECT_EQ(u"", extractor.braced_guid()) << c.name;
        EXPECT_EQ(u"", extractor.bare_guid()) << c.name;
    }
}

TEST(DECIMAL, plain_notation_reads_as_the_general_reading_reads_it) {
    const std::string nines65(65, '9');
    struct plain_case {
        std::string text;
        bool plain;
    } cases[] = {
        {"0", true},
        {"-0", true},
        {"-0.00", true},                           // zero keeps its places, never negative
        {"12.34", true},
        {"-12.34", true},
        {"0.050", true},
        {"00012.3400", true},
        {"-9999999999.99", true},
        {nines65, true},
        {"-" + nines65, true},
        {"0." + nines65, true},
        {"000" + nines65 + ".000", false},         // 68 places in all: the general reading rounds
        {nines65 + "9", false},
        {"0." + nines65 + "5", false},
        {"1e5", false},
        {".5", false},
        {"5.", false},
        {"+5", false},
        {" 5", false},
        {"5 ", false},
        {"1,5", false},
        {"12.3.4", false},
        {"-", false},
        {"", false},
        {"abc", false},
    };
    for (const auto& c : cases) {
        DECIMAL general, fast;
        general.scale = fast.scale = 99;   // shows whether a reading left the value alone
        const bool general_read = DECIMAL::from_string(c.text, general);
        EXPECT_EQ(c.plain, DECIMAL::from_plain_string(c.text, fast)) << c.text;
        if (c.plain) {
            EXPECT_TRUE(general_read) << c.text;
            EXPECT_TRUE(general == fast) << c.text << ": " << general.to_string() << " against " << fast.to_string();
        } else {
            EXPECT_EQ(99, fast.scale) << c.text;
        }
    }
}
