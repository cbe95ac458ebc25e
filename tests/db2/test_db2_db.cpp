// Table creation, names, indexes and the destination schema, through the stand-in.
#include <algorithm>

#include "db2_fixture.h"

namespace {

SYSTEMTIME make_time(int year, int month, int day, int hour, int minute, int second, int ms) {
    SYSTEMTIME st;
    st.wYear = uint16_t(year);
    st.wMonth = uint16_t(month);
    st.wDay = uint16_t(day);
    st.wHour = uint16_t(hour);
    st.wMinute = uint16_t(minute);
    st.wSecond = uint16_t(second);
    st.wMilliseconds = uint16_t(ms);
    return st;
}

ole_variant decimal(const char* text) { return ole_variant::from_string(text, VT_DECIMAL); }

}  // namespace

// Every type code a neutral schema can carry goes into a new table and comes back equal.
TEST_F(db2_test, every_type_code_round_trips) {
    const std::u16string long_text(5000, u'ä');
    std::vector<uint8_t> blob_bytes(70000);
    for (size_t i = 0; i < blob_bytes.size(); ++i) blob_bytes[i] = uint8_t(i * 7);

    struct type_case {
        const char* name;
        VARTYPE vt;
        uint32_t size;
        int32_t reserved;
        ole_variant value;
    };
    const type_case cases[] = {
        {"c_i2", VT_I2, 2, 0, ole_variant(short(-123))},
        {"c_i4", VT_I4, 4, 0, ole_variant(2147483647)},
        {"c_r4", VT_R4, 4, 0, ole_variant(2.5f)},
        {"c_r8", VT_R8, 8, 0, ole_variant(1.25e300)},
        {"c_cy", VT_CY, 8, 0, ole_variant(CY{125000})},
        {"c_date", VT_DATE, 10, 2, ole_variant(make_time(2024, 1, 31, 0, 0, 0, 0))},
        {"c_time", VT_DATE, 8, 3, ole_variant(make_time(0, 0, 0, 12, 34, 56, 0))},
        {"c_ts", VT_DATE, 26, 1, ole_variant(make_time(2024, 1, 31, 12, 34, 56, 123), 456)},
        {"c_text", VT_BSTR, 20, 0, ole_variant(u"Grüße \U0001F600 it's")},
        {"c_bool", VT_BOOL, 1, 0, ole_variant(true)},
        {"c_dec", VT_DECIMAL, 33, (31 << 8) | 2, decimal("12345678901234567890123456789.12")},
        {"c_decfloat", VT_DECIMAL, 42, (40 << 8) | 5, decimal("1234.5")},
        {"c_i1", VT_I1, 1, 0, ole_variant(static_cast<signed char>(-100))},
        {"c_ui1", VT_UI1, 1, 0, ole_variant(static_cast<unsigned char>(255))},
        {"c_ui2", VT_UI2, 2, 0, ole_variant(static_cast<unsigned short>(65535))},
        {"c_ui4", VT_UI4, 4, 0, ole_variant(4294967295u)},
        {"c_i8", VT_I8, 8, 0, ole_variant(-9223372036854775807LL)},
        {"c_ui8", VT_UI8, 8, 2, ole_variant(18446744073709551615ULL)},
        {"c_int", VT_INT, 4, 0, ole_variant(42)},
        {"c_uint", VT_UINT, 4, 0, ole_variant(4000000000u)},
        {"c_wstr", VT_LPWSTR, 10, 0, ole_variant(u"wide")},
        {"c_clob", VT_BSTR, 0, 0, ole_variant(long_text)},
        {"c_bin", VT_BLOB, 16, 0, ole_variant(std::vector<uint8_t>{0, 255, 16})},
        {"c_blob", VT_BLOB, 0, 0, ole_variant(blob_bytes)},
    };
    udb_schema schema;
    std::vector<ole_variant> values;
    std::vector<ole_variant> nulls;
    for (const auto& c : cases) {
        schema.add_field(make_field(c.name, c.vt, c.size, false, false, ole_variant(), c.reserved));
        values.push_back(c.value);
        ole_variant null;
        null.set_null();
        nulls.push_back(null);
    }
    db2_database db(u"qvx");
    {
        std::unique_ptr<udb_recordset> table = db.create_table(u"all_types", schema, udb_indexes());
        table->append_record(*make_record(values));
        table->append_record(*make_record(nulls));
        table->close();
    }
    std::unique_ptr<udb_recordset> table = db.get_table(u"all_types", 0);
    ASSERT_EQ(2, table->get_record_count());
    table->reset();
    ASSERT_FALSE(table->is_eof());
    const udb_record* record = table->get_item();
    ASSERT_EQ(std::size(cases), record->size());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const type_case& c = cases[i];
        const udb_field& got = (*record)[i];
        switch (c.vt) {
        case VT_R4:
        case VT_R8:
        case VT_CY:
            EXPECT_EQ(c.value.to_double(), got.to_double()) << c.name;
            break;
        case VT_DATE:
            EXPECT_EQ(c.value.get_systemtime(), got.get_systemtime()) << c.name;
            EXPECT_EQ(c.value.get_microseconds(), got.get_microseconds()) << c.name;
            break;
        case VT_DECIMAL:
            EXPECT_EQ(*c.value.get_decimal(), *ole_variant::from_wstring(got.to_wstring(), VT_DECIMAL).get_decimal())
                << c.name << " read " << got.to_string();
            break;
        default:
            EXPECT_EQ(c.value.to_wstring(), got.to_wstring()) << c.name;
        }
    }
    table->next();
    ASSERT_FALSE(table->is_eof());
    record = table->get_item();
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(VT_EMPTY, (*record)[i].vartype()) << cases[i].name;
    table->next();
    EXPECT_TRUE(table->is_eof());
}

TEST_F(db2_test, create_table_statement) {
    udb_schema fields;
    fields.add_field(make_field("id", VT_I4, 4, false, true, ole_variant(5)));
    fields.add_field(make_field("name", VT_BSTR, 20, true, false, ole_variant(u"it's")));
    fields.add_field(make_field("body", VT_BSTR, 0, true, false, ole_variant(u"x")));
    fields.add_field(make_field("flag", VT_BOOL, 1, false, false, ole_variant(u"b'1'")));
    fields.add_field(make_field("order-no", VT_I4, 4));
    udb_indexes indexes;
    indexes.append(udb_index(u"PRIMARY", true, true, {u"order-no"}));
    db2_schema_initializer initializer(u"t", fields, indexes);
    EXPECT_EQ("CREATE TABLE \"t\" (\"id\" INTEGER NOT NULL GENERATED BY DEFAULT AS IDENTITY , "
              "\"name\" VARGRAPHIC(40)  DEFAULT 'it''s' NOT NULL, \"body\" CLOB(2147483647) NOT LOGGED, "
              "\"flag\" CHAR(1) DEFAULT '1', \"order_no\" INTEGER NOT NULL)",
              tk_to_utf8(initializer.make_create_text()));
    EXPECT_EQ(u"id", initializer.get_identity_column());
    EXPECT_EQ(u"order_no", initializer.get_validator().get_mapped_pairs().get_mapped_name(u"order-no", true));
    initializer.get_init_str();
    EXPECT_EQ((std::vector<std::vector<std::u16string>>{{u"Y", u"D"}}),
              select("SELECT IDENTITY, GENERATED FROM SYSCAT.COLUMNS WHERE TABNAME = 't' AND COLNAME = 'id'"));
}

TEST_F(db2_test, create_and_drop_tables) {
    db2_database db(u"qvx");
    udb_schema fields;
    fields.add_field(make_field("order-id", VT_I4, 4));
    fields.add_field(make_field("2nd", VT_BSTR, 10));
    udb_indexes indexes;
    indexes.append(udb_index(u"PRIMARY", true, true, {u"order-id"}));
    db.create_table(u"orders", fields, indexes)->close();
    EXPECT_TRUE(db.is_table_exist(u"orders"));
    EXPECT_FALSE(db.is_table_exist(u"ORDERS")) << "DB2 names compare exactly";
    const t_names_map& columns = db.get_names_map().get_fn_maps().at(u"orders");
    EXPECT_EQ(u"order_id", columns.get_mapped_name(u"order-id", true));
    EXPECT_EQ(u"A2nd", columns.get_mapped_name(u"2nd", true));
    EXPECT_EQ(u"+order_id", select_value("SELECT COLNAMES FROM SYSCAT.INDEXES WHERE TABNAME = 'orders'"));

    EXPECT_THROW(db.create_table(u"orders", fields, udb_indexes()), tk_mail_assertion);
    EXPECT_THROW(db.get_table(u"nothing", 2), tk_mail_assertion);

    udb_schema refused;
    refused.add_field(make_field("d", VT_DECIMAL, 10, false, false, ole_variant(), (5 << 8) | 9));
    EXPECT_THROW(db.create_table(u"bad", refused, udb_indexes()), db2_exception);
    EXPECT_FALSE(db.is_table_exist(u"bad"));

    EXPECT_TRUE(db.delete_tab(u"orders"));
    EXPECT_FALSE(db.is_table_exist(u"orders"));
    db.create_table(u"gone", fields, udb_indexes())->close();
    run("DROP TABLE \"gone\"");
    EXPECT_FALSE(db.delete_tab(u"gone")) << "a refused DROP keeps the name";
    EXPECT_TRUE(db.is_table_exist(u"gone"));
    EXPECT_TRUE(db.query(u"CREATE TABLE \"viaquery\" (X INTEGER)"));
    EXPECT_FALSE(db.query(u"CREATE TABLE \"viaquery\" (X INTEGER)"));
}

// Index selection and naming across tables, against the catalog.
TEST_F(db2_test, indexes_and_their_names) {
    run("CREATE TABLE OTHER (Z INTEGER)");
    run("CREATE INDEX \"idx_zip00000\" ON OTHER (Z)");
    db2_database db(u"qvx");
    udb_schema fields;
    for (const char* name : {"id", "city", "a", "b", "zip"}) fields.add_field(make_field(name, VT_I4, 4));
    fields.add_field(make_field("notes", VT_BSTR, 0));
    udb_indexes indexes;
    indexes.append(udb_index(u"PRIMARY", true, true, {u"id"}));
    indexes.append(udb_index(u"uniq_id", true, false, {u"ID"}));        // covered by the primary key
    indexes.append(udb_index(u"idx_city", false, false, {u"city"}));
    indexes.append(udb_index(u"idx_ab", false, false, {u"a", u"b"}));
    indexes.append(udb_index(u"idx_a", false, false, {u"a"}));          // a prefix of idx_ab
    indexes.append(udb_index(u"idx_b_a", false, false, {u"b", u"a"}));  // not a prefix
    indexes.append(udb_index(u"idx_notes", false, false, {u"notes"}));  // a CLOB cannot be indexed
    indexes.append(udb_index(u"idx_zip", false, false, {u"zip"}));      // its numbered name is taken
    db.create_table(u"t1", fields, indexes)->close();
    EXPECT_EQ((std::vector<std::vector<std::u16string>>{{u"idx_ab00000", u"+a+b"},
                                                         {u"idx_b_a00000", u"+b+a"},
                                                         {u"idx_city00000", u"+city"},
                                                         {u"idx_zip00001", u"+zip"}}),
              select("SELECT INDNAME, COLNAMES FROM SYSCAT.INDEXES WHERE TABNAME = 't1' AND UNIQUERULE = 'D' "
                     "ORDER BY INDNAME"));
    EXPECT_EQ((std::vector<std::vector<std::u16string>>{{u"+id"}}),
              select("SELECT COLNAMES FROM SYSCAT.INDEXES WHERE TABNAME = 't1' AND UNIQUERULE <> 'D'"));

    // The next table's primary key PRIMARY is numbered: index names are unique in the database.
    udb_schema columns;
    columns.add_field(make_field("id", VT_I4, 4));
    udb_indexes second;
    second.append(udb_index(u"PRIMARY", true, true, {u"id"}));
    db2_indexes_initializer next(u"t2", columns, second, t_names_map());
    ASSERT_EQ(1u, next.get_indexes().size());
    EXPECT_EQ(u"PRIMARY00000", next.get_indexes()[0].name);
}

// The schema comes from the user: it is quoted, and the catalog is read in the schema that SET
// SCHEMA makes current (upper case).
TEST_F(db2_test, user_schema_names) {
    udb_schema fields;
    fields.add_field(make_field("x", VT_I4, 4));
    for (const char16_t* schema : {u"mixedCase", u"we\"ird"}) {
        {
            db2_database db(schema);
            std::unique_ptr<udb_recordset> table = db.create_table(u"t", fields, udb_indexes());
            table->append_record(*make_record({ole_variant(7)}));
            table->close();
        }
        db2_database again(schema);
        EXPECT_EQ(std::vector<std::u16string>{u"t"}, again.get_table_names()) << tk_to_utf8(schema);
        std::unique_ptr<udb_recordset> table = again.get_table(u"t", 0);
        EXPECT_EQ(1, table->get_record_count()) << tk_to_utf8(schema);
    }
    EXPECT_EQ(u"1", select_value("SELECT COUNT(*) FROM \"MIXEDCASE\".\"t\""));
    EXPECT_EQ(u"1", select_value("SELECT COUNT(*) FROM \"WE\"\"IRD\".\"t\""));
    const std::vector<std::u16string> schemas = engine_->get_contents();
    EXPECT_EQ(1, std::count(schemas.begin(), schemas.end(), u"MIXEDCASE"));
}

// Schema and table names go to the catalog functions as names, not as search patterns.
TEST_F(db2_test, catalog_names_are_not_patterns) {
    run("CREATE TABLE \"MY_S\".\"a_b\" (\"one\" INTEGER)");
    run("CREATE TABLE \"MY_S\".\"axb\" (\"two\" INTEGER, \"three\" INTEGER)");
    run("CREATE TABLE \"MYXS\".\"other\" (\"four\" INTEGER)");
    db2_database db(u"my_s");
    EXPECT_EQ((std::vector<std::u16string>{u"a_b", u"axb"}), db.get_table_names());
    std::unique_ptr<udb_recordset> table = db.get_table(u"a_b", 0);
    ASSERT_EQ(1u, table->get_schema().size());
    EXPECT_EQ(u"one", table->get_schema()[0].name);
}
