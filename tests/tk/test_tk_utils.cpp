#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/ustring.h>

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

namespace {

// ICU's reading of the same bytes: the text, or nothing when ICU finds it ill-formed.
std::optional<std::u16string> icu_from_utf8(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                  bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<size_t>(length));
    return out;
}

void expect_read_as_icu_reads(std::string_view bytes) {
    const std::optional<std::u16string> expected = icu_from_utf8(bytes);
    std::optional<std::u16string> actual;
    try {
        actual = tk_from_utf8(bytes);
    } catch (const tk_exception&) {
    }
    if (expected != actual) ADD_FAILURE() << "bytes " << tk_bytes_to_hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace

// Every lead byte with every first trail byte and a choice of the bytes around the limits of
// the later ones, whole, cut short and between ASCII; then random mixtures.
TEST(tk_utils, utf8_reads_exactly_the_texts_icu_reads) {
    const std::vector<unsigned char> later = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xFF};
    const std::vector<unsigned char> continuation = {0x80};
    for (unsigned lead = 0; lead < 256; ++lead) {
        // Only the longer sequences look at the second and third bytes after the lead.
        const auto& seconds = lead >= 0xE0 ? later : continuation;
        const auto& thirds = lead >= 0xF0 && lead <= 0xF4 ? later : continuation;
        for (unsigned first = 0; first < 256; ++first) {
            for (unsigned char second : seconds) {
                for (unsigned char third : thirds) {
                    const char sequence[] = {char(lead), char(first), char(second), char(third)};
                    const std::string_view bytes(sequence, sizeof sequence);
                    expect_read_as_icu_reads(bytes);
                    if (third == 0x80) {
                        expect_read_as_icu_reads(bytes.substr(0, 2));
                        expect_read_as_icu_reads("a" + std::string(bytes.substr(0, 3)) + "z");
                    }
                }
            }
        }
    }
    std::mt19937 random(20240115);
    const std::string pieces[] = {"a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xed\x9f\xbf", "\xef\xbf\xbf",
                                  "\xf4\x8f\xbf\xbf", "\x80", "\xc3", "\xe2\x82", "\xf0\x9f\x98", std::string(1, '\0'), "abcdefghij"};
    for (int text_idx = 0; text_idx < 20000; ++text_idx) {
        std::string text;
        const size_t count = random() % 12;
        for (size_t piece_idx = 0; piece_idx < count; ++piece_idx) text += pieces[random() % std::size(pieces)];
        expect_read_as_icu_reads(text);
    }
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
