#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tk/tk_errco.h"
#include "tk/tk_utils.h"

namespace {

namespace fs = std::filesystem;

TEST(tk_utils, trims_remove_blanks_only) {
    struct trim_case {
        const char* name;
        const char* text;
        const char* left;
        const char* right;
        const char* both;
    };
    const trim_case cases[] = {
        {"blanks around", "  a b  ", "a b  ", "  a b", "a b"},
        {"blanks only", "   ", "", "", ""},
        {"tab stays", "\ta \t", "\ta \t", "\ta \t", "\ta \t"},
        {"empty", "", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.left, tk_trim_left(std::string(c.text))) << c.name;
        EXPECT_EQ(c.right, tk_trim_right(std::string(c.text))) << c.name;
        EXPECT_EQ(c.both, tk_trim(std::string(c.text))) << c.name;
        EXPECT_EQ(tk_u16(c.left), tk_trim_left(tk_u16(c.text))) << c.name;
        EXPECT_EQ(tk_u16(c.right), tk_trim_right(tk_u16(c.text))) << c.name;
        EXPECT_EQ(tk_u16(c.both), tk_trim(tk_u16(c.text))) << c.name;
    }
}

TEST(tk_utils, utf8_round_trip_keeps_every_character) {
    const std::u16string text = u"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", tk_to_utf8(text));
    EXPECT_EQ(text, tk_from_utf8(tk_to_utf8(text)));
}

TEST(tk_utils, invalid_text_raises_level_0_conversion_error) {
    struct bad_case {
        const char* name;
        void (*convert)();
        const char* prefix;
    };
    const bad_case cases[] = {
        {"truncated UTF-8 sequence", [] { tk_from_utf8("ab\xc3"); },
         "Cannot convert to UNICODE string: "},
        {"byte that never starts UTF-8", [] { tk_from_utf8("\xff"); },
         "Cannot convert to UNICODE string: "},
        {"lone surrogate", [] { tk_to_utf8(std::u16string(1, char16_t(0xD800))); },
         "Cannot convert to UTF8 string: "},
    };
    for (const auto& c : cases) {
        try {
            c.convert();
            ADD_FAILURE() << c.name << ": nothing raised";
        } catch (const tk_exception_ex& e) {
            EXPECT_EQ(0, e.level()) << c.name;
            EXPECT_EQ(0, std::string(e.what()).rfind(c.prefix, 0)) << c.name << ": " << e.what();
            EXPECT_GT(std::string(e.what()).size(), std::string(c.prefix).size()) << c.name;
        }
    }
}

// Runs the test under a Latin-1 locale compiled into a private folder (LOCPATH), so the locale
// charset differs from UTF-8.
class tk_latin1_locale : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = (fs::temp_directory_path() / "tk_locale_XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        folder_ = pattern;
        std::string command = "localedef -i en_US -f ISO-8859-1 '" + folder_ +
                              "/en_US.ISO-8859-1' >/dev/null 2>&1";
        ASSERT_EQ(0, std::system(command.c_str())) << "localedef failed (package locales)";
    }
    static void TearDownTestSuite() { fs::remove_all(folder_); }
    void SetUp() override {
        setenv("LOCPATH", folder_.c_str(), 1);
        ASSERT_NE(nullptr, std::setlocale(LC_ALL, "en_US.ISO-8859-1"));
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    static inline std::string folder_;
};

TEST_F(tk_latin1_locale, characters_outside_the_charset_become_question_marks) {
    EXPECT_EQ("caf\xe9 ? \xfc?", tk_to_ansi(u"caf\u00e9 \u20ac \u00fc\u4e2d"));
    std::string narrow;
    EXPECT_TRUE(tk_wide_to_ansi(u"\u20ac\u00e9", narrow));
    EXPECT_EQ("?\xe9", narrow);
    EXPECT_FALSE(tk_wide_to_ansi(nullptr, narrow));
}

TEST_F(tk_latin1_locale, narrow_text_is_read_in_the_locale_charset) {
    EXPECT_EQ(u"caf\u00e9", tk_from_ansi("caf\xe9"));
    // UTF-8 bytes are two Latin-1 characters each here.
    EXPECT_EQ(u"caf\u00c3\u00a9", tk_from_ansi("caf\xc3\xa9"));
    std::u16string wide;
    EXPECT_FALSE(tk_ansi_to_wide(nullptr, wide));
}

TEST_F(tk_latin1_locale, to_upper_follows_the_locale) {
    std::u16string schema = u"my\u00e9schema";
    EXPECT_EQ(u"MY\u00c9SCHEMA", tk_wstring::to_upper(schema));
    EXPECT_EQ(u"MY\u00c9SCHEMA", schema);
}

}  // namespace
