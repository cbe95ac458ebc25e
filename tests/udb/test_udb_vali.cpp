#include <gtest/gtest.h>

#include <string>

#include "tk/tk_errco.h"
#include "udb/udb_vali.h"
#include "udb_test_locale.h"

namespace {

// A validator with one illegal character and one reserved word, as the DB2 side fills them.
class sample_validator : public udb_validator {
public:
    explicit sample_validator(int32_t max_length) : udb_validator(max_length) {
        illegal_chars_.push_back(u'-');
        restricted_names_.push_back(u"SELECT");
    }
};

// Every name is taken.
class crowded_validator : public udb_validator {
public:
    crowded_validator() : udb_validator(30) {}
    bool is_duplicated(std::u16string_view) const override { return true; }
};

std::u16string letters(size_t count) {
    std::u16string name;
    for (size_t pos = 0; pos < count; ++pos) name += static_cast<char16_t>(u'a' + pos % 26);
    return name;
}

}  // namespace

TEST(udb_validator, get_safe_name_sequences) {
    sample_validator validator(30);
    validator.add_existing_name(u"City");
    validator.add_existing_name(u"city00000");
    validator.add_existing_name(letters(28));
    struct safe_case {
        const char* name;
        std::u16string source;
        std::u16string safe;
    } cases[] = {
        {"30 characters stay", letters(30), letters(30)},
        {"31 characters are cut to 29", letters(31), letters(29)},
        {"40 characters are cut to 29", letters(40), letters(29)},
        {"taken name and its first counter give the second", u"CITY", u"CITY00001"},
        {"taken 28 characters are cut to 24 before the counter", letters(28), letters(24) + u"00000"},
        {"illegal character becomes an underscore", u"order-date", u"order_date"},
        {"reserved word in any case", u"select", u"select00000"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.safe, validator.get_safe_name(c.source)) << c.name;

    udb_validator unlimited(0);
    EXPECT_EQ(letters(200), unlimited.get_safe_name(letters(200)));
    unlimited.add_existing_name(u"t");
    EXPECT_EQ(u"t00000", unlimited.get_safe_name(u"t"));
}

TEST(udb_validator, is_acceptable_checks_length_reserved_words_and_characters) {
    sample_validator validator(5);
    EXPECT_TRUE(validator.is_acceptable(u"abcde"));
    EXPECT_FALSE(validator.is_acceptable(u"abcdef"));
    EXPECT_FALSE(validator.is_acceptable(u"a-b"));
    EXPECT_FALSE(sample_validator(0).is_acceptable(u"Select"));
    EXPECT_FALSE(validator.is_duplicated(u"x"));
    validator.add_existing_name(u"X");
    EXPECT_TRUE(validator.is_duplicated(u"x"));
}

TEST(udb_validator, exhausted_counter_is_an_assertion) {
    crowded_validator validator;
    try {
        validator.get_safe_name(u"name");
        ADD_FAILURE() << "no assertion";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ("Internal error: \ncode=" + tk_mail_assertion::encode_location("udb_vali", 54), e.what());
    }
}

TEST(t_names_map, first_value_stays_and_the_first_key_in_order_answers) {
    udb_validator validator(0);
    validator.add_mapped_pair(u"abc", u"lower");
    validator.add_mapped_pair(u"ABC", u"upper");
    validator.add_mapped_pair(u"abc", u"again");
    const t_names_map& map = validator.get_mapped_pairs();
    EXPECT_EQ(2u, map.size());
    // "ABC" sorts before "abc" in code-unit order.
    EXPECT_EQ(u"upper", map.get_mapped_name(u"Abc", false));
    EXPECT_EQ(u"lower", map.get_mapped_name(u"abc", true));
    EXPECT_EQ(u"Abc", map.get_mapped_name(u"Abc", true));
    EXPECT_EQ(u"other", map.get_mapped_name(u"other", false));

    udb_names_map names;
    names.add_tn_mapping(u"src", u"SRC00000");
    names.add_fn_map(u"SRC00000", map);
    names.add_fn_map(u"SRC00000", t_names_map());
    EXPECT_EQ(u"SRC00000", names.get_tn_map().get_mapped_name(u"src", true));
    EXPECT_EQ(2u, names.get_fn_maps().at(u"SRC00000").size());
}
