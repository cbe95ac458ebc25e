#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tk/tk_errco.h"
#include "udb/udb_sche.h"
#include "udb_test_locale.h"

namespace {

t_ftd make(VARTYPE vt, uint32_t size) { return t_ftd(size, u"c", vt, false, false); }

std::unique_ptr<t_ftd> column(const char16_t* name, VARTYPE vt, uint32_t size = 0) {
    return std::make_unique<t_ftd>(size, name, vt, false, false);
}

}  // namespace

TEST(t_ftd, conform_to_rules) {
    struct conform_case {
        const char* name;
        VARTYPE src;
        uint32_t src_size;
        VARTYPE dst;
        uint32_t dst_size;
        bool conforms;
    } cases[] = {
        {"decimal into currency", VT_DECIMAL, 8, VT_CY, 8, true},
        {"currency into decimal", VT_CY, 8, VT_DECIMAL, 8, true},
        {"int into double", VT_I4, 4, VT_R8, 8, true},
        {"bool into smallint", VT_BOOL, 1, VT_I2, 2, true},
        {"machine int into int", VT_INT, 4, VT_I4, 4, false},
        {"int into machine uint", VT_I4, 4, VT_UINT, 4, true},
        {"text into int", VT_BSTR, 10, VT_I4, 4, false},
        {"date into date", VT_DATE, 8, VT_DATE, 16, true},
        {"19-character text into a date", VT_BSTR, 19, VT_DATE, 0, true},
        {"20-character text into a date", VT_BSTR, 20, VT_DATE, 0, false},
        {"int into a date", VT_I4, 4, VT_DATE, 0, false},
        {"text into shorter text", VT_BSTR, 50, VT_BSTR, 40, false},
        {"text into unlimited text", VT_BSTR, 50, VT_BSTR, 0, true},
        {"text into longer wide text", VT_BSTR, 50, VT_LPWSTR, 60, true},
        {"any-length text into short text", VT_LPSTR, 0xFFFFFFFF, VT_BSTR, 5, true},
        {"int into text", VT_I4, 4, VT_BSTR, 1, true},
        {"blob into text", VT_BLOB, 10, VT_BSTR, 0, false},
        {"int into blob", VT_I4, 4, VT_BLOB, 1, true},
        {"text into shorter binary", VT_BSTR, 10, VT_BYTE_ARRAY, 5, false},
        {"binary into unlimited blob", VT_BYTE_ARRAY, 10, VT_BLOB_OBJECT, 0, true},
        {"int into empty", VT_I4, 4, VT_EMPTY, 0, false},
        {"same unnamed type", VT_ERROR, 0, VT_ERROR, 0, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.conforms, make(c.src, c.src_size).conform_to(make(c.dst, c.dst_size))) << c.name;
}

TEST(t_ftd, equality_compares_types_and_text_sizes_only) {
    EXPECT_FALSE(make(VT_BSTR, 10) == make(VT_BSTR, 20));
    EXPECT_TRUE(make(VT_I4, 4) == make(VT_I4, 8));
    t_ftd named(4, u"a", VT_I4, true, true, ole_variant(1), 7);
    EXPECT_TRUE(named == make(VT_I4, 4));
    EXPECT_EQ(1, named.def_value.to_long());
    EXPECT_TRUE(named.comment.empty());
}

TEST(udb_schema, conform_to_compares_column_by_column) {
    auto schema_of = [](std::initializer_list<std::pair<VARTYPE, uint32_t>> columns) {
        auto schema = std::make_unique<udb_schema>();
        for (auto [vt, size] : columns) schema->add_field(column(u"x", vt, size));
        return schema;
    };
    auto five = schema_of({{VT_I4, 4}, {VT_I4, 4}, {VT_I4, 4}, {VT_I4, 4}, {VT_I4, 4}});
    auto six = schema_of({{VT_I4, 4}, {VT_I4, 4}, {VT_I4, 4}, {VT_I4, 4}, {VT_I4, 4}, {VT_I4, 4}});
    EXPECT_FALSE(five->conform_to(*six));

    udb_schema renamed;
    renamed.add_field(column(u"other", VT_I4, 4));
    renamed.add_field(column(u"name", VT_BSTR, 40));
    EXPECT_TRUE(schema_of({{VT_I2, 2}, {VT_BSTR, 40}})->conform_to(renamed));
    EXPECT_FALSE(schema_of({{VT_I2, 2}, {VT_BSTR, 50}})->conform_to(renamed));
}

TEST(udb_schema, lookups_ignore_case_and_assert_on_missing_names) {
    udb_schema schema;
    schema.add_field(column(u"Id", VT_I4));
    t_ftd borrowed(0, u"Name", VT_BSTR, false, false);
    udb_schema view(false);
    view.add_field(&borrowed);
    EXPECT_TRUE(schema.find_field(u"ID"));
    EXPECT_FALSE(schema.find_field(u"name"));
    EXPECT_EQ(VT_I4, schema.get_field(u"id").vartype);
    EXPECT_EQ(&borrowed, &view.get_index_field(u"NAME"));

    struct missing_case { const char* name; std::function<void()> call; int line; } cases[] = {
        {"descriptor", [&] { schema.get_field(u"nope"); }, 312},
        {"index builder's descriptor", [&] { schema.get_index_field(u"nope"); }, 327},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.name;
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ("Internal error: \ncode=" + tk_mail_assertion::encode_location("udb_sche", c.line), e.what())
                << c.name;
        }
    }
}

TEST(udb_record, find_field_ignores_case_and_gives_an_empty_field_for_missing_names) {
    udb_record record;
    record.add_field(std::make_unique<udb_field>(u"City", 5, ole_variant(u"Paris"), true, false));
    const udb_field& city = record.find_field(u"CITY");
    EXPECT_EQ(u"Paris", city.to_wstring());
    EXPECT_EQ(5u, city.size);
    EXPECT_TRUE(city.b_not_null);

    const udb_field& missing = record.find_field(u"country");
    EXPECT_EQ(VT_EMPTY, missing.get_type());
    EXPECT_TRUE(missing.name.empty());
    EXPECT_EQ(0u, missing.size);

    // The virtual type read answers through the base value as well.
    const ole_variant& as_value = city;
    EXPECT_EQ(VT_BSTR, as_value.get_type());
}
