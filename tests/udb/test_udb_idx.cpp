#include <gtest/gtest.h>

#include "tk/tk_errco.h"
#include "udb/udb_idx.h"
#include "udb_test_locale.h"

TEST(udb_index, starts_with_fields_compares_a_prefix_ignoring_case) {
    const udb_index index(u"idx", false, false, {u"a", u"b", u"c"});
    struct prefix_case {
        const char* name;
        std::vector<std::u16string> prefix;
        bool starts;
    } cases[] = {
        {"two leading columns", {u"a", u"b"}, true},
        {"other letter case", {u"A"}, true},
        {"empty list", {}, true},
        {"second column alone", {u"b"}, false},
        {"longer than the index", {u"a", u"b", u"c", u"d"}, false},
        {"all columns", {u"a", u"b", u"c"}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.starts, index.starts_with_fields(c.prefix)) << c.name;
}

TEST(udb_indexes, lookups_over_the_list) {
    udb_indexes indexes;
    indexes.append(udb_index(u"PRIMARY", true, true, {u"a", u"b"}));
    indexes.append(udb_index(u"uk_code", true, false, {u"code"}));
    indexes.append(udb_index(u"idx_city", false, false, {u"city"}));

    EXPECT_TRUE(indexes.has_index_on_fields({u"a"}));
    EXPECT_FALSE(indexes.has_index_on_fields({u"b"}));

    EXPECT_TRUE(indexes.is_idx_field(u"b", true));
    EXPECT_FALSE(indexes.is_idx_field(u"code", true));
    EXPECT_TRUE(indexes.is_idx_field(u"code", false));
    EXPECT_FALSE(indexes.is_idx_field(u"CITY", false));

    EXPECT_FALSE(indexes.is_acceptable_name(u"primary"));
    EXPECT_TRUE(indexes.is_acceptable_name(u"idx_other"));
    EXPECT_EQ(u"city", indexes.get_index(u"IDX_CITY").fields.at(0));
    try {
        indexes.get_index(u"idx_other");
        ADD_FAILURE() << "no assertion";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ("Internal error: \ncode=" + tk_mail_assertion::encode_location("udb_idx", 134), e.what());
    }
}
