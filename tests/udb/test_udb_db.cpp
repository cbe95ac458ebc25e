#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "udb/udb_db.h"
#include "udb_test_locale.h"

namespace fs = std::filesystem;

namespace {

class sample_recordset : public udb_recordset {
public:
    using udb_recordset::udb_recordset;
    void append_record(const udb_record&) override { ++appended; }
    int appended = 0;
};

class sample_database : public udb_database {
public:
    sample_database(bool case_sensitive, std::vector<std::u16string> tables)
        : udb_database(u"db", 1, case_sensitive) {
        table_names_ = std::move(tables);
    }
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema&,
                                                const udb_indexes&) override {
        return std::make_unique<sample_recordset>(name, true);
    }
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t) override {
        return std::make_unique<sample_recordset>(name, true);
    }
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& text,
                                             int32_t) override {
        return std::make_unique<sample_recordset>(name, text, true);
    }
    bool query(const std::u16string&) override { return true; }
};

std::string assertion_text(const char* module, int line) {
    return "Internal error: \ncode=" + tk_mail_assertion::encode_location(module, line);
}

}  // namespace

TEST(udb_database, table_names_compare_by_the_case_rule) {
    sample_database mysql(false, {u"Orders", u"items"});
    sample_database db2(true, {u"Orders", u"items"});
    EXPECT_TRUE(mysql.is_table_exist(u"ORDERS"));
    EXPECT_FALSE(db2.is_table_exist(u"ORDERS"));
    EXPECT_TRUE(db2.is_table_exist(u"Orders"));
    EXPECT_FALSE(mysql.is_table_exist(u"order"));
}

TEST(udb_database, delete_tab_keeps_the_order_and_asserts_on_unknown_names) {
    sample_database mysql(false, {u"a", u"B", u"c", u"b"});
    EXPECT_TRUE(mysql.delete_tab(u"b"));
    EXPECT_EQ((std::vector<std::u16string>{u"a", u"c", u"b"}), mysql.get_table_names());
    try {
        sample_database(true, {u"a"}).delete_tab(u"A");
        ADD_FAILURE() << "no assertion";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(assertion_text("udb_db", 44), e.what());
    }
    try {
        mysql.query_records(u"SELECT 1");
        ADD_FAILURE() << "no assertion";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(assertion_text("udb_db", 70), e.what());
    }
    EXPECT_NO_THROW(mysql.create_views({{u"q", u"SELECT 1"}}));
    EXPECT_NO_THROW(mysql.create_relationships(mysql.get_relationships()));
}

TEST(udb_recordset, base_behaviour) {
    sample_recordset table(u"t", true);
    sample_recordset query(u"q", u"SELECT 1", true);
    EXPECT_FALSE(table.is_query());
    EXPECT_TRUE(query.is_query());
    EXPECT_TRUE(table.is_eof());
    EXPECT_EQ(nullptr, table.get_item());
    EXPECT_EQ(0, table.get_record_count());
    EXPECT_TRUE(table.get_schema().owns());
}

// Only the first primary or unique key announces itself; a name already present in any letter
// case is not added again.
TEST(udb_recordset, add_index_skips_known_names_and_marks_the_first_key) {
    const fs::path folder = fs::temp_directory_path() / ("udb_trace_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string trace_file = (folder / "debug.log").string();
    sample_recordset table(u"t", true);
    {
        tk_log log(trace_file, true, 1, false);
        table.add_index(udb_index(u"idx_city", false, false, {u"city"}));
        table.add_index(udb_index(u"PRIMARY", true, true, {u"id"}));
        table.add_index(udb_index(u"uk_code", true, false, {u"code"}));
        table.add_index(udb_index(u"Primary", true, true, {u"other"}));
    }
    std::ifstream in(trace_file);
    std::stringstream content;
    content << in.rdbuf();
    const std::string trace = content.str();
    size_t marks = 0;
    for (size_t pos = trace.find("Store primary/unique key"); pos != std::string::npos;
         pos = trace.find("Store primary/unique key", pos + 1))
        ++marks;
    EXPECT_EQ(1u, marks);
    ASSERT_EQ(3u, table.get_indexes().size());
    EXPECT_EQ(u"id", table.get_indexes().get_index(u"primary").fields.at(0));
    fs::remove_all(folder);
}
