// Name rules, the type mapping and the DEFAULT literals: pure functions, no database.
#include <gtest/gtest.h>

#include "db2/db2_util.h"
#include "tk/tk_utils.h"

namespace {

std::string narrow(const std::u16string& text) { return tk_to_utf8(text); }

}  // namespace

TEST(db2_validator, safe_names) {
    struct name_case {
        const char* name;
        const char* source;
        const char* expected;
    };
    const std::string forty(40, 'x');
    const std::string thirty(30, 'y');
    const std::string twenty_nine(29, 'x');
    const name_case cases[] = {
        {"hyphen becomes underscore", "order-lines", "order_lines"},
        {"digit first gets an A", "2nd_table", "A2nd_table"},
        {"40 characters cut to 29", forty.c_str(), twenty_nine.c_str()},
        {"blank and dot replaced", "my table.v2", "my_table_v2"},
    };
    for (const auto& c : cases) {
        db2_validator validator;
        EXPECT_EQ(c.expected, narrow(validator.get_safe_name(tk_u16(c.source)))) << c.name;
    }

    db2_validator validator;
    EXPECT_TRUE(validator.is_acceptable(tk_u16(thirty))) << "30 letters are acceptable unchanged";
    EXPECT_FALSE(validator.is_acceptable(tk_u16(thirty + "y")));
    EXPECT_TRUE(validator.is_acceptable(u"Größe_Ω#$")) << "letters of any script, '#' and '$'";
    EXPECT_FALSE(validator.is_acceptable(u"_lead"));
    EXPECT_FALSE(validator.is_acceptable(u""));

    validator.add_restricted_name(u"Orders");
    EXPECT_FALSE(validator.is_acceptable(u"ORDERS")) << "restricted names compare without case";
    validator.add_existing_name(u"orders");
    EXPECT_EQ("ORDERS00000", narrow(validator.get_safe_name(u"ORDERS")));

    validator.add_existing_name(tk_u16(std::string(29, 'x')));
    EXPECT_EQ(std::string(24, 'x') + "00000", narrow(validator.get_safe_name(tk_u16(forty))))
        << "a clash of the cut name goes to 24 characters and a number";
}

TEST(db2_validator, starting_names) {
    db2_tn_validator tables({u"a", u"b"}, {u"C"});
    EXPECT_EQ((std::vector<std::u16string>{u"a", u"b", u"C"}), tables.get_existing_names());
    udb_schema schema;
    schema.add_field(std::make_unique<t_ftd>(0, u"id", VT_I4, false, false));
    schema.add_field(std::make_unique<t_ftd>(0, u"name", VT_BSTR, false, false));
    db2_fn_validator fields(schema);
    EXPECT_EQ((std::vector<std::u16string>{u"id", u"name"}), fields.get_existing_names());
}

TEST(db2_type_mapping, type_texts) {
    struct type_case {
        VARTYPE vt;
        uint32_t size;
        int32_t reserved;
        const char* expected;
    };
    const type_case cases[] = {
        {VT_I2, 2, 0, "SMALLINT"},
        {VT_UI1, 1, 0, "SMALLINT"},
        {VT_I1, 1, 0, "SMALLINT"},  // TINYINT -128..127 does not fit CHAR(1)
        {VT_I4, 4, 0, "INTEGER"},
        {VT_UI2, 2, 0, "INTEGER"},
        {VT_INT, 4, 0, "INTEGER"},
        {VT_UI4, 4, 0, "BIGINT"},
        {VT_I8, 8, 0, "BIGINT"},
        {VT_UINT, 4, 0, "BIGINT"},
        {VT_UI8, 8, 2, "DECIMAL(20,0)"},  // 2^64 - 1 does not fit BIGINT
        {VT_R4, 4, 0, "FLOAT"},
        {VT_R8, 8, 0, "DOUBLE"},
        {VT_CY, 8, 0, "DECIMAL(19, 4)"},
        {VT_DATE, 10, 2, "DATE"},
        {VT_DATE, 8, 3, "TIME"},
        {VT_DATE, 19, 1, "TIMESTAMP"},
        {VT_DATE, 19, 0, "TIMESTAMP"},
        {VT_BSTR, 255, 0, "VARGRAPHIC(510) "},     // room for 255 characters outside the BMP
        {VT_BSTR, 8168, 0, "VARGRAPHIC(16336) "},  // the largest VARGRAPHIC
        {VT_BSTR, 8169, 0, "CLOB(32676)"},
        {VT_LPWSTR, 20, 0, "VARGRAPHIC(40) "},
        {VT_BSTR, 65535, 0, "CLOB(262140)"},                          // TEXT
        {VT_BSTR, 67108860, 0, "CLOB(268435440)"},                    // utf8mb4 MEDIUMTEXT
        {VT_BSTR, 0xFFFFFFFF, 0, "CLOB(2147483647) NOT LOGGED"},    // LONGTEXT
        {VT_BSTR, 0, 0, "CLOB(2147483647) NOT LOGGED"},             // no limit
        {VT_BOOL, 1, 0, "CHAR(1)"},
        {VT_DECIMAL, 12, (10 << 8) | 2, "DECIMAL(10,2)"},
        {VT_DECIMAL, 33, (31 << 8) | 2, "DECIMAL(31,2)"},
        {VT_DECIMAL, 42, (40 << 8) | 5, "DECFLOAT(34)"},
        {VT_DECIMAL, 0, 0, "DECFLOAT(34)"},  // DECIMAL(0,0) is refused by DB2
        {VT_BLOB, 255, 0, "VARCHAR(255) FOR BIT DATA"},
        {VT_BLOB, 32672, 0, "VARCHAR(32672) FOR BIT DATA"},
        {VT_BLOB, 65535, 0, "BLOB(65535)"},
        {VT_BLOB, 16777215, 0, "BLOB(16777215)"},
        {VT_BLOB, 0xFFFFFFFF, 0, "BLOB(2147483647) NOT LOGGED"},
        {VT_BLOB, 0, 0, "BLOB(2147483647) NOT LOGGED"},
    };
    for (const auto& c : cases) {
        const t_ftd column(c.size, u"c", c.vt, false, false, ole_variant(), c.reserved);
        EXPECT_EQ(c.expected, narrow(make_db2_type(column))) << "vt " << c.vt << " size " << c.size;
    }
    const t_ftd unmapped(0, u"c", VT_ARRAY, false, false);
    EXPECT_THROW(make_db2_type(unmapped), tk_mail_assertion);
}

TEST(db2_type_mapping, default_literals) {
    struct default_case {
        const char* name;
        VARTYPE vt;
        uint32_t size;
        ole_variant def_value;
        int32_t reserved;
        const char* expected;
    };
    const default_case cases[] = {
        {"apostrophe doubled", VT_BSTR, 20, ole_variant(u"it's"), 0, "'it''s'"},
        {"text cut to its column", VT_BSTR, 5, ole_variant(u"abcdefgh"), 0, "'abcde'"},
        {"empty text default", VT_BSTR, 5, ole_variant(u""), 0, ""},
        {"integer 0", VT_I4, 4, ole_variant(0), 0, "0"},
        {"integer text 0", VT_I4, 4, ole_variant(u"0"), 0, "0"},
        {"leading zeros are no integer literal", VT_I4, 4, ole_variant(u"007"), 0, ""},
        {"exponent is no integer literal", VT_I2, 2, ole_variant(u"1e3"), 0, ""},
        {"exponent is a double literal", VT_R8, 8, ole_variant(u"1e3"), 0, "1e3"},
        {"double zero", VT_R8, 8, ole_variant(u"0.0"), 0, "0.0"},
        {"not a number", VT_R8, 8, ole_variant(u"12; DROP TABLE x"), 0, ""},
        {"decimal", VT_DECIMAL, 12, ole_variant(u"12.50"), (10 << 8) | 2, "12.50"},
        {"BIGINT gets no default", VT_I8, 8, ole_variant(5LL), 0, ""},
        {"BOOL true", VT_BOOL, 1, ole_variant(true), 0, "'1'"},
        {"BOOL false", VT_BOOL, 1, ole_variant(false), 0, "'0'"},
        {"MySQL BIT b'1'", VT_BOOL, 1, ole_variant(u"b'1'"), 0, "'1'"},
        {"MySQL BIT b'0'", VT_BOOL, 1, ole_variant(u"b'0'"), 0, "'0'"},
        {"date", VT_DATE, 10, ole_variant(u"2024-01-31"), 2, "'2024-01-31'"},
        {"time", VT_DATE, 8, ole_variant(u"12:34:56"), 3, "'12:34:56'"},
        {"timestamp at midnight keeps its time", VT_DATE, 19, ole_variant(u"2024-01-31 00:00:00"), 1,
         "'2024-01-31 00:00:00'"},
        {"timestamp", VT_DATE, 19, ole_variant(u"2024-01-31 12:00:05"), 0, "'2024-01-31 12:00:05'"},
        {"date of year 1", VT_DATE, 10, ole_variant(u"0001-01-01"), 2, "'0001-01-01'"},
        {"timestamp of year 49", VT_DATE, 19, ole_variant(u"0049-03-04 05:06:07"), 1, "'0049-03-04 05:06:07'"},
        {"no date", VT_DATE, 19, ole_variant(u"CURRENT_TIMESTAMP"), 0, ""},
        {"GUID inside a text", VT_BSTR, 100,
         ole_variant(u"the guid is {6F9619FF-8B86-D011-B42D-00C04FC964FF} here"), 0,
         "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'"},
    };
    for (const auto& c : cases) {
        const t_ftd column(c.size, u"c", c.vt, false, false, c.def_value, c.reserved);
        EXPECT_EQ(c.expected, narrow(make_db2_def_val(&column))) << c.name;
    }
    EXPECT_THROW(make_db2_def_val(nullptr), tk_mail_assertion);
}

TEST(db2_type_mapping, sql_literals) {
    EXPECT_EQ("''", narrow(to_db2_str(u"", VT_BSTR)));
    EXPECT_EQ("'a''''b'", narrow(to_db2_str(u"a''b", VT_BSTR)));
    EXPECT_EQ("", narrow(to_db2_str(u"no date", VT_DATE, 1)));
    // A GUID whose text after the brace holds an apostrophe must still give a closed literal.
    EXPECT_EQ("'{6F9619FF-8B86-D011-B42D-00C04FC9''4FF}'",
              narrow(to_db2_str(u"the guid column holds {6F9619FF-8B86-D011-B42D-00C04FC9'4FF}", VT_BSTR)));
}
