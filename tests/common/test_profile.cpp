// The converter's three profile readers and writers: what a saved profile brings back, and how
// hand-written profiles are read.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/quorvex_convertor.h"
#include "tk/tk_utils.h"

namespace {

namespace fs = std::filesystem;

class profile_test : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qvxprof_XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::u16string write(const std::string& text) {
        fs::path file = folder_ / "hand.qvx";
        std::ofstream(file, std::ios::binary) << text;
        return tk_from_utf8(file.string());
    }
    std::u16string path(const char* name) const { return tk_from_utf8((folder_ / name).string()); }
    std::string read(const char* name) const {
        std::ifstream in(folder_ / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path folder_;
};

TEST_F(profile_test, a_saved_profile_brings_back_every_setting) {
    const std::u16string query = u"SELECT id,\r\n       name\nFROM t -- \\n stays";
    const std::string log = (folder_ / "run.log").string();
    {
        quorvex_convertor saved;
        saved.set_source_name(u"shop");
        saved.set_destination_name(u"SAMPLE");
        saved.set_logfile(log);
        saved.set_skip_indexes(true);
        saved.set_stored_mode(2);
        saved.tables_and_queries() = {{u"orders", u""}, {u"big orders", query}};
        saved.available_queries() = {{u"spare", u"SELECT 1"}};
        saved.store_mysql_settings(" db.example ", "b\xC3\xB6" "b", "pw=1", "3307");
        saved.dump_options().line_break = true;
        saved.dump_options().create_table = false;
        saved.store_db2_settings(u"SAMPLE", u"db2inst1", u"secret");
        saved.set_schema(u"app");
        saved.store_profile(path("saved.qvx"));
    }
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write,
              fs::status(folder_ / "saved.qvx").permissions() & fs::perms::all);

    quorvex_convertor loaded;
    ASSERT_TRUE(loaded.load_profile(path("saved.qvx")));
    EXPECT_EQ(u"shop", loaded.source_name());
    EXPECT_EQ(u"SAMPLE", loaded.get_destination_name());
    EXPECT_EQ(log, loaded.log_file_name());
    EXPECT_TRUE(loaded.skip_indexes());
    EXPECT_FALSE(loaded.definitions_only());
    EXPECT_EQ(2, loaded.stored_mode());
    EXPECT_EQ((udb_converter::query_map{{u"orders", u""}, {u"big orders", query}}),
              loaded.tables_and_queries());
    EXPECT_EQ((std::vector<std::u16string>{u"orders"}), loaded.selected_tables());
    EXPECT_EQ((udb_converter::query_map{{u"spare", u"SELECT 1"}}), loaded.available_queries());
    EXPECT_EQ("db.example", loaded.mysql_host());
    EXPECT_EQ("b\xC3\xB6" "b", loaded.mysql_user());
    EXPECT_EQ("pw=1", loaded.mysql_password());
    EXPECT_EQ("3307", loaded.mysql_port());
    EXPECT_TRUE(loaded.dump_options().line_break);
    EXPECT_FALSE(loaded.dump_options().create_table);
    EXPECT_TRUE(loaded.dump_options().new_version);
    EXPECT_EQ(u"db2inst1", loaded.db2_user());
    EXPECT_EQ(u"secret", loaded.db2_password());
    EXPECT_EQ(u"APP", loaded.schema());
}

TEST_F(profile_test, empty_db2_settings_are_not_written) {
    quorvex_convertor converter;
    converter.store_profile(path("plain.qvx"));
    std::string text = read("plain.qvx");
    EXPECT_EQ(std::string::npos, text.find("[DB2 settings]"));
    EXPECT_EQ(0u, text.find("[Available Queries]\r\n\r\n[Generic settings]\r\n"));
}

// Hand-written profiles: each case loads one file into a fresh converter.
TEST_F(profile_test, hand_written_profiles_read_as_documented) {
    struct read_case {
        const char* name;
        std::string text;
        bool loaded;
        std::string host;
        bool definitions_only;
        int32_t stored_mode;
        std::u16string schema;
    };
    const read_case cases[] = {
        {"blanks around = belong to the value before, not after",
         "[MySQL settings]\nhost = db  \n", true, " db", false, 0, u""},
        {"any value but 0 switches a flag on", "[Generic settings]\nonly definitions=no\n", true,
         "", true, 0, u""},
        {"an empty value leaves a flag", "[Generic settings]\nonly definitions=\n", true, "", false,
         0, u""},
        {"a mode of two characters is ignored", "[Generic settings]\nmode=12\n", true, "", false, 0,
         u""},
        {"a mode that is no mode is ignored", "[Generic settings]\nmode=7\n", true, "", false, 0,
         u""},
        {"a mode of one digit", "[Generic settings]\nmode=1\n", true, "", false, 1, u""},
        {"a section seen twice is one section",
         "[Generic settings]\nmode=2\n[DB2 settings]\nschema=mine\n[Generic settings]\n"
         "only definitions=1\nmode=1\n",
         true, "", true, 2, u"mine"},
        {"a key before any section loads nothing",
         "mode=2\n[Generic settings]\nonly definitions=1\n", false, "", false, 0, u""},
    };
    for (const auto& c : cases) {
        quorvex_convertor converter;
        EXPECT_EQ(c.loaded, converter.load_profile(write(c.text))) << c.name;
        EXPECT_EQ(c.host, converter.mysql_host()) << c.name;
        EXPECT_EQ(c.definitions_only, converter.definitions_only()) << c.name;
        EXPECT_EQ(c.stored_mode, converter.stored_mode()) << c.name;
        EXPECT_EQ(c.schema, converter.schema()) << c.name;
    }
}

// Loading adds to the selection; a name with "=" comes back as a query named by its first part.
TEST_F(profile_test, loading_adds_to_the_selection) {
    quorvex_convertor converter;
    converter.set_selected_tables({u"customers"});
    ASSERT_TRUE(converter.load_profile(write("[Selected Tables]\norders\na=b\n")));
    ASSERT_TRUE(converter.load_profile(write("[Selected Tables]\nproducts\norders\n")));
    EXPECT_EQ((std::vector<std::u16string>{u"customers", u"orders", u"orders", u"products"}),
              converter.selected_tables());
    EXPECT_EQ((udb_converter::query_map{{u"a", u"b"}, {u"orders", u""}, {u"products", u""}}),
              converter.tables_and_queries());
}

TEST_F(profile_test, a_missing_profile_is_a_level_1_error) {
    quorvex_convertor converter;
    try {
        converter.load_profile(path("absent.qvx"));
        ADD_FAILURE() << "nothing raised";
    } catch (const tk_exception& e) {
        EXPECT_EQ(1, e.level());
        EXPECT_STREQ("Profile does not exist. Please verify the correct path/name was given.",
                     e.what());
    }
}

}  // namespace
