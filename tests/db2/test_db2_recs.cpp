// Appending in parameter arrays and reading back, through the stand-in.
#include <cstring>

#include "db2_fixture.h"

namespace {

ole_variant null_value() {
    ole_variant value;
    value.set_null();
    return value;
}

ole_variant clock_value(uint16_t hour, uint16_t minute, uint16_t second) {
    SYSTEMTIME st;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    return ole_variant(st);
}

ole_variant date_value(uint16_t year, uint16_t month, uint16_t day) {
    SYSTEMTIME st;
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    return ole_variant(st);
}

struct refused_record {
    std::u16string table;
    int32_t number;
    std::string message;
};

}  // namespace

class db2_append_test : public db2_test {
protected:
    void SetUp() override {
        db2_test::SetUp();
        engine_->set_record_error_handler([this](const std::u16string& table, int32_t number, const db2_exception& e) {
            refused_.push_back({table, number, e.what()});
        });
        db_ = std::make_unique<db2_database>(u"qvx");
    }
    void TearDown() override {
        db_.reset();
        db2_test::TearDown();
    }
    // Opens a table made by SQL for appending (the merge path).
    std::unique_ptr<udb_recordset> open_sql_table(const char* create, const char16_t* name, int32_t mode = 8) {
        run(create);
        db_ = std::make_unique<db2_database>(u"qvx");
        return db_->get_table(name, mode);
    }
    std::u16string count(const char* table) {
        return select_value(("SELECT COUNT(*) FROM \"" + std::string(table) + "\"").c_str());
    }

    std::unique_ptr<db2_database> db_;
    std::vector<refused_record> refused_;
};

TEST_F(db2_append_test, arrays_of_one_hundred_rows) {
    udb_schema fields;
    fields.add_field(make_field("n", VT_I4, 4));
    fields.add_field(make_field("s", VT_BSTR, 10));
    std::unique_ptr<udb_recordset> table = db_->create_table(u"t", fields, udb_indexes());
    for (int n = 1; n <= 250; ++n) {
        table->append_record(*make_record({ole_variant(n), ole_variant(tk_u16("v" + std::to_string(n)))}));
        if (n == 99) {
            EXPECT_EQ(u"0", count("t"));
        } else if (n == 100) {
            EXPECT_EQ(u"100", count("t")) << "a full array is sent at once";
        } else if (n == 249) {
            EXPECT_EQ(u"200", count("t"));
        }
    }
    EXPECT_EQ(u"200", count("t"));
    table->close();
    EXPECT_EQ(u"250", count("t")) << "close sends the last 50";

    std::unique_ptr<udb_recordset> reader = db_->get_table(u"t", 0);
    EXPECT_EQ(250, reader->get_record_count());
    int expected = 1;
    for (reader->reset(); !reader->is_eof(); reader->next()) {
        const udb_record* record = reader->get_item();
        EXPECT_EQ(expected, (*record)[0].to_long());
        EXPECT_EQ(tk_u16("v" + std::to_string(expected)), (*record)[1].to_wstring());
        ++expected;
    }
    EXPECT_EQ(251, expected) << "fetched in arrays of 100, 100 and 50";
    EXPECT_TRUE(refused_.empty());
}

TEST_F(db2_append_test, identity_continues_after_the_largest_value) {
    udb_schema fields;
    fields.add_field(make_field("id", VT_I4, 4, false, true));
    fields.add_field(make_field("s", VT_BSTR, 3));
    std::unique_ptr<udb_recordset> table = db_->create_table(u"ids", fields, udb_indexes());
    for (int id = 1; id <= 41; ++id) table->append_record(*make_record({ole_variant(id), ole_variant(u"x")}));
    table->close();
    run("INSERT INTO \"ids\" (\"s\") VALUES ('new')");
    EXPECT_EQ(u"42", select_value("SELECT \"id\" FROM \"ids\" WHERE \"s\" = 'new'"));
    run("INSERT INTO \"ids\" (\"id\", \"s\") VALUES (100, 'own')");  // BY DEFAULT takes an id of its own

    // An append that stored nothing leaves an empty table whose identity starts at 1.
    std::unique_ptr<udb_recordset> empty = db_->create_table(u"empty_ids", fields, udb_indexes());
    EXPECT_THROW(empty->append_record(*make_record({ole_variant(1), ole_variant(u"too long")})), db2_exception);
    empty->close();
    run("INSERT INTO \"empty_ids\" (\"s\") VALUES ('new')");
    EXPECT_EQ(u"1", select_value("SELECT \"id\" FROM \"empty_ids\""));
}

TEST_F(db2_append_test, released_without_appends_touches_nothing) {
    std::unique_ptr<udb_recordset> table = open_sql_table(
        "CREATE TABLE \"keep\" (\"id\" INTEGER NOT NULL GENERATED ALWAYS AS IDENTITY, \"s\" INTEGER)", u"keep",
        db2_recordset::mode_append);
    table->close();
    table.reset();
    EXPECT_EQ(u"0", count("keep"));
    EXPECT_EQ(u"A", select_value("SELECT GENERATED FROM SYSCAT.COLUMNS WHERE TABNAME = 'keep' AND COLNAME = 'id'"));
}

TEST_F(db2_append_test, nulls_defaults_and_empty_texts) {
    std::unique_ptr<udb_recordset> table = open_sql_table(
        "CREATE TABLE \"d\" (\"def\" INTEGER NOT NULL DEFAULT 7, \"nul\" INTEGER DEFAULT 5, \"c\" CLOB(1M), "
        "\"g\" VARGRAPHIC(10), \"t\" VARGRAPHIC(10) NOT NULL DEFAULT 'it''s')",
        u"d");
    table->append_record(*make_record({null_value(), null_value(), ole_variant(u""), ole_variant(u""), null_value()}));
    table->close();
    EXPECT_EQ((std::vector<std::vector<std::u16string>>{{u"7", u"<null>", u"<null>", u"", u"it's"}}),
              select("SELECT \"def\", \"nul\", \"c\", \"g\", \"t\" FROM \"d\""))
        << "NULL for NOT NULL takes the catalog default, an empty CLOB is NULL, an empty VARGRAPHIC empty";
}

// A value the column cannot hold is refused for its record, naming the column and the value; it
// is never stored as NULL or as the column's default, and the next records go on.
TEST_F(db2_append_test, values_the_column_cannot_hold_are_refused) {
    std::unique_ptr<udb_recordset> table = open_sql_table(
        "CREATE TABLE \"v\" (\"id\" INTEGER NOT NULL, \"t\" TIME NOT NULL DEFAULT '00:00:00', "
        "\"d\" DATE DEFAULT '2020-01-01', \"n\" INTEGER DEFAULT 5)",
        u"v");
    struct refusal_case {
        const char* name;
        ole_variant t, d, n;
        const char* message;
    };
    const refusal_case cases[] = {
        {"source value that did not convert", ole_variant::make_error(u"100:00:00"), null_value(), null_value(),
         "Value of column \"t\" cannot be stored: '100:00:00'."},
        {"hour beyond the day", clock_value(30, 0, 0), null_value(), null_value(),
         "Value of column \"t\" cannot be stored: '30:00:00'."},
        {"something after 24:00:00", clock_value(24, 0, 1), null_value(), null_value(),
         "Value of column \"t\" cannot be stored: '24:00:01'."},
        {"month 0", clock_value(1, 0, 0), date_value(2024, 0, 15), null_value(), "Value of column \"d\""},
        {"day beyond the month", clock_value(1, 0, 0), date_value(2023, 2, 29), null_value(), "Value of column \"d\""},
        {"text that is no date", clock_value(1, 0, 0), ole_variant(u"yesterday"), null_value(),
         "Value of column \"d\" cannot be stored: 'yesterday'."},
        {"error in a number column", clock_value(1, 0, 0), null_value(), ole_variant::make_error(u"12abc"),
         "Value of column \"n\" cannot be stored: '12abc'."},
    };
    int id = 0;
    for (const auto& c : cases) {
        try {
            table->append_record(*make_record({ole_variant(++id), c.t, c.d, c.n}));
            ADD_FAILURE() << c.name << ": stored";
        } catch (const db2_exception& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.message)) << c.name << ": " << e.what();
        }
    }
    table->append_record(*make_record({ole_variant(++id), clock_value(24, 0, 0), null_value(), null_value()}));
    table->close();
    EXPECT_EQ((std::vector<std::vector<std::u16string>>{{tk_u16(std::to_string(id)), u"0000-00-00 24:00:00", u"<null>", u"<null>"}}),
              select("SELECT \"id\", \"t\", \"d\", \"n\" FROM \"v\""))
        << "only the last record arrives; NULL stays NULL in nullable columns with a default";
}

TEST_F(db2_append_test, merge_numbers_and_unsigned_maxima) {
    std::unique_ptr<udb_recordset> table = open_sql_table(
        "CREATE TABLE \"m\" (\"r\" REAL, \"ui4\" BIGINT, \"ui8\" DECIMAL(20,0), \"big\" BIGINT, \"i\" INTEGER)", u"m");
    table->append_record(*make_record({ole_variant(16777216), ole_variant(4294967295u),
                                       ole_variant(18446744073709551615ULL), ole_variant(9223372036854775807ULL),
                                       ole_variant(static_cast<long long>(-5))}));
    // Values the column cannot hold are refused for their record, never wrapped or cut.
    EXPECT_THROW(table->append_record(*make_record({ole_variant(1), ole_variant(1u), ole_variant(1ULL),
                                                    ole_variant(9223372036854775808ULL), ole_variant(1)})),
                 db2_exception);
    EXPECT_THROW(table->append_record(*make_record({ole_variant(1), ole_variant(1u), ole_variant(1ULL),
                                                    ole_variant(1ULL), ole_variant(4294967296LL)})),
                 db2_exception);
    table->close();
    EXPECT_EQ((std::vector<std::vector<std::u16string>>{
                  {u"4294967295", u"18446744073709551615", u"9223372036854775807", u"-5"}}),
              select("SELECT \"ui4\", \"ui8\", \"big\", \"i\" FROM \"m\""));
    EXPECT_EQ(u"1", select_value("SELECT COUNT(*) FROM \"m\" WHERE \"r\" = 16777216"));
}

TEST_F(db2_append_test, timestamps_keep_microseconds) {
    udb_schema fields;
    fields.add_field(make_field("ts", VT_DATE, 26, false, false, ole_variant(), 1));
    std::unique_ptr<udb_recordset> table = db_->create_table(u"ts", fields, udb_indexes());
    SYSTEMTIME st;
    st.wYear = 2021;
    st.wMonth = 3;
    st.wDay = 4;
    st.wHour = 5;
    st.wMinute = 6;
    st.wSecond = 7;
    st.wMilliseconds = 123;
    table->append_record(*make_record({ole_variant(st, 456)}));
    table->close();
    EXPECT_EQ(u"1", select_value("SELECT COUNT(*) FROM \"ts\" WHERE \"ts\" = '2021-03-04-05.06.07.123456'"));
    std::unique_ptr<udb_recordset> reader = db_->get_table(u"ts", 0);
    EXPECT_EQ(1, reader->get_schema()[0].reserved) << "a TIMESTAMP keeps the date kind";
    reader->reset();
    EXPECT_EQ(st, reader->get_item()->at(0).get_systemtime());
    EXPECT_EQ(456, reader->get_item()->at(0).get_microseconds());
}

TEST_F(db2_append_test, large_objects) {
    udb_schema fields;
    fields.add_field(make_field("text", VT_BSTR, 0xFFFFFFFF));
    fields.add_field(make_field("bytes", VT_BLOB, 16777215));
    std::unique_ptr<udb_recordset> table = db_->create_table(u"lobs", fields, udb_indexes());
    std::u16string text(2 * 1024 * 1024, u'x');
    text[12345] = u'€';
    std::vector<uint8_t> bytes(1600 * 1024);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 251);
    table->append_record(*make_record({ole_variant(text), ole_variant(bytes)}));
    table->append_record(*make_record({ole_variant(u"short"), ole_variant(std::vector<uint8_t>{1, 2})}));
    table->close();
    std::unique_ptr<udb_recordset> reader = db_->get_table(u"lobs", 0);
    reader->reset();
    const udb_record* record = reader->get_item();
    EXPECT_TRUE(text == (*record)[0].to_wstring());
    const uint8_t* data = nullptr;
    ASSERT_EQ(bytes.size(), (*record)[1].get_bytes(data));
    EXPECT_EQ(0, std::memcmp(bytes.data(), data, bytes.size()));
    reader->next();
    EXPECT_EQ(u"short", reader->get_item()->at(0).to_wstring());
}

TEST_F(db2_append_test, refused_rows_are_reported_and_the_rest_stored) {
    udb_schema fields;
    fields.add_field(make_field("id", VT_I4, 4, true));
    udb_indexes indexes;
    indexes.append(udb_index(u"PRIMARY", true, true, {u"id"}));
    std::unique_ptr<udb_recordset> table = db_->create_table(u"k", fields, indexes);
    for (int n = 1; n <= 110; ++n) table->append_record(*make_record({ole_variant(n == 50 ? 10 : n)}));
    ASSERT_EQ(1u, refused_.size());
    EXPECT_EQ(u"k", refused_[0].table);
    EXPECT_EQ(50, refused_[0].number) << "the record's own number, not that of the record being appended";
    EXPECT_NE(std::string::npos, refused_[0].message.find("duplicate")) << refused_[0].message;
    table->close();
    EXPECT_EQ(u"109", count("k"));
    EXPECT_EQ(u"0", select_value("SELECT COUNT(*) FROM \"k\" WHERE \"id\" = 50"));

    // A value longer than its cell is refused by append_record itself, never cut.
    udb_schema texts;
    texts.add_field(make_field("s", VT_BSTR, 2));
    std::unique_ptr<udb_recordset> short_texts = db_->create_table(u"s", texts, udb_indexes());
    short_texts->append_record(*make_record({ole_variant(u"\U0001F600\U0001F600")}));
    EXPECT_THROW(short_texts->append_record(*make_record({ole_variant(u"abcde")})), db2_exception);
    short_texts->append_record(*make_record({ole_variant(u"ok")}));
    short_texts->close();
    EXPECT_EQ(u"2", count("s"));
}

TEST_F(db2_append_test, refused_rows_without_a_handler) {
    engine_->set_record_error_handler(nullptr);
    std::unique_ptr<udb_recordset> table = open_sql_table("CREATE TABLE \"u\" (\"id\" INTEGER NOT NULL PRIMARY KEY)", u"u");
    for (int n = 1; n <= 5; ++n) table->append_record(*make_record({ole_variant(n == 3 ? 1 : n)}));
    try {
        table->close();
        ADD_FAILURE() << "a refused row must not pass silently";
    } catch (const db2_exception& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("record #3")) << e.what();
    }
    EXPECT_EQ(u"4", count("u"));
}

TEST_F(db2_append_test, reading_describes_columns) {
    std::unique_ptr<udb_recordset> table = open_sql_table(
        "CREATE TABLE \"r\" (\"d\" DECIMAL(10,2), \"t\" VARGRAPHIC(10) DEFAULT 'it''s', \"x\" XML, "
        "\"g\" DBCLOB(1K))",
        u"r", 0);
    run("INSERT INTO \"r\" VALUES (12.5, NULL, '<a>ä</a>', 'wide ö')");
    table = db_->get_table(u"r", 0);
    const udb_schema& schema = table->get_schema();
    EXPECT_EQ(10 * 256 + 2, schema[0].reserved);
    EXPECT_EQ(VT_DECIMAL, schema[0].vartype);
    EXPECT_EQ(VT_BSTR, schema[1].vartype);
    EXPECT_EQ(u"it's", db2_default_value(&static_cast<db2_recordset&>(*table).get_column_info(1).default_text, VT_BSTR)
                           .to_wstring());
    table->reset();
    const udb_record* record = table->get_item();
    EXPECT_EQ(u"12.50", (*record)[0].to_wstring());
    EXPECT_EQ(VT_EMPTY, (*record)[1].vartype()) << "NULL reads as an empty value";
    EXPECT_EQ(u"<a>ä</a>", (*record)[2].to_wstring()) << "XML is read through XML2CLOB";
    EXPECT_EQ(u"wide ö", (*record)[3].to_wstring());
    table->next();
    EXPECT_TRUE(table->is_eof());
}
