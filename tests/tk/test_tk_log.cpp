#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tk/tk_log.h"

namespace {

namespace fs = std::filesystem;

class tk_log_test : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tk_log_XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const char* name) const { return (folder_ / name).string(); }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void write(const std::string& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }

    fs::path folder_;
};

TEST_F(tk_log_test, threshold_drops_lower_levels_before_arguments_are_evaluated) {
    tk_log log(path("t.log"), true, 2, false);
    int evaluated = 0;
    TK_TRACE(1, "one %d", ++evaluated);
    TK_TRACE(2, "two %d", ++evaluated);
    TK_TRACE(3, "three %s", TK_W(u"\u00e9\u20ac"));
    EXPECT_EQ(1, evaluated);
    EXPECT_EQ("two 1\r\nthree \xc3\xa9\xe2\x82\xac\r\n", read(path("t.log")));
}

TEST_F(tk_log_test, enabled_log_empties_its_file_at_construction) {
    write(path("t.log"), "old run\r\n");
    tk_log log(path("t.log"), true, 1, false);
    EXPECT_EQ("", read(path("t.log")));
}

TEST_F(tk_log_test, disabled_log_neither_empties_nor_writes) {
    write(path("t.log"), "old run\r\n");
    tk_log log(path("t.log"), false, 1, false);
    TK_TRACE(3, "line");
    EXPECT_EQ("old run\r\n", read(path("t.log")));
}

TEST_F(tk_log_test, switched_file_is_appended_to_and_earlier_lines_stay) {
    write(path("second.log"), "kept\r\n");
    tk_log log(path("first.log"), true, 1, false);
    TK_TRACE(1, "before");
    log.set_file_name(path("second.log").c_str());
    TK_TRACE(1, "after");
    EXPECT_EQ("before\r\n", read(path("first.log")));
    EXPECT_EQ("kept\r\nafter\r\n", read(path("second.log")));
}

TEST_F(tk_log_test, no_log_means_no_trace_and_null_name_is_internal_error) {
    int evaluated = 0;
    TK_TRACE(3, "%d", ++evaluated);
    EXPECT_EQ(0, evaluated);
    tk_log log(path("t.log"), true, 1, false);
    EXPECT_THROW(log.set_file_name(nullptr), tk_mail_assertion);
}

}  // namespace
