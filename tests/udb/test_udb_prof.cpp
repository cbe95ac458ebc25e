#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tk/tk_errco.h"
#include "udb/udb_prof.h"

namespace {

class profile_file : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qvx-prof-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::u16string path(const char* name) const {
        std::string p = (dir_ / name).string();
        return std::u16string(p.begin(), p.end());
    }
    void write(const char* name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string read(const char* name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path dir_;
};

TEST_F(profile_file, writes_sections_in_order_with_bare_table_keys) {
    udb_profile profile;
    profile.set(u"Selected Tables", u"orders", u"");
    profile.set(u"Selected Tables", u"big", u"SELECT * FROM orders");
    profile.set(u"Generic settings", u"src", u"shop");
    profile.set(u"DB2 settings", u"user", u"db2inst1");
    profile.store(path("a.qvx"));
    EXPECT_EQ(read("a.qvx"),
              "[Available Queries]\r\n\r\n"
              "[DB2 settings]\r\nuser=db2inst1\r\n\r\n"
              "[Generic settings]\r\nsrc=shop\r\n\r\n"
              "[Selected Tables]\r\nbig=SELECT * FROM orders\r\norders\r\n\r\n");
    struct stat info {};
    ASSERT_EQ(0, ::stat((dir_ / "a.qvx").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777u) << "a profile holds passwords";
}

TEST_F(profile_file, reads_hand_written_forms) {
    write("h.qvx",
          "[Generic settings]\n"
          "src=shop   \r\n"
          "mode=1\n"
          "[MySQL settings]\n"
          "  host = db.local  \n"
          "\n"
          "[Generic settings]\n"
          "src=other\n"
          "dest=SAMPLE\n"
          "[Selected Tables]\n"
          "a=b=c\n"
          "plain\n");
    udb_profile profile;
    ASSERT_TRUE(profile.load(path("h.qvx")));
    EXPECT_EQ(u"shop", profile.get(u"Generic settings", u"src")) << "first value wins";
    EXPECT_EQ(u"SAMPLE", profile.get(u"Generic settings", u"dest")) << "sections merge";
    EXPECT_EQ(u" db.local", profile.get(u"MySQL settings", u"host"));
    EXPECT_EQ(u"b=c", profile.get(u"Selected Tables", u"a"));
    EXPECT_EQ(u"", profile.get(u"Selected Tables", u"plain"));
    EXPECT_EQ(u"", profile.get(u"Missing", u"key"));
}

TEST_F(profile_file, key_before_section_fails_and_keeps_nothing_after_it) {
    write("k.qvx", "src=shop\n[Generic settings]\ndest=X\n");
    udb_profile profile;
    EXPECT_FALSE(profile.load(path("k.qvx")));
    EXPECT_EQ(u"", profile.get(u"Generic settings", u"dest"));
}

TEST_F(profile_file, multi_line_values_round_trip_and_old_values_read_unchanged) {
    const std::u16string select = u"SELECT a,\r\n  b\nFROM t -- \\n is not a break";
    const std::u16string looks_escaped = u"{qvx-escaped}x\\n";
    udb_profile profile;
    profile.set(u"Selected Tables", u"q", select);
    profile.set(u"Selected Tables", u"odd", looks_escaped);
    profile.set(u"Generic settings", u"logfile", u"C:\\new\\trace.log");
    profile.store(path("m.qvx"));

    udb_profile back;
    ASSERT_TRUE(back.load(path("m.qvx")));
    EXPECT_EQ(select, back.get(u"Selected Tables", u"q"));
    EXPECT_EQ(looks_escaped, back.get(u"Selected Tables", u"odd"));
    EXPECT_EQ(u"C:\\new\\trace.log", back.get(u"Generic settings", u"logfile"));
}

TEST_F(profile_file, failures) {
    udb_profile profile;
    try {
        profile.load(path("missing.qvx"));
        FAIL() << "a missing profile must be refused";
    } catch (const tk_exception& e) {
        EXPECT_STREQ("Profile does not exist. Please verify the correct path/name was given.",
                     e.what());
        EXPECT_EQ(1, e.level());
    }
    write("long.qvx", "[Selected Tables]\nq=SELECT " + std::string(5000, 'x') + "\n");
    try {
        profile.load(path("long.qvx"));
        FAIL() << "a long line must not be cut silently";
    } catch (const tk_exception& e) {
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
    }
}

}  // namespace
