// Reading a MySQL database against the private server: the table list, column descriptors and
// defaults, indexes, every value kind, streamed paging and named queries. The suite's database
// is created once per test process and dropped at its end.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "sql_fixture.h"
#include "sql/sql_recs.h"
#include "sql/sql_tab.h"

namespace {

const char* const fixture_statements[] = {
    "CREATE TABLE types ("
    " id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,"
    " t TINYINT, tu TINYINT UNSIGNED, s SMALLINT, su SMALLINT UNSIGNED, m MEDIUMINT,"
    " mu MEDIUMINT UNSIGNED, i INT, iu INT UNSIGNED, b BIGINT, bu BIGINT UNSIGNED,"
    " f FLOAT, f73 FLOAT(7,3), f70 FLOAT(7,0), d DOUBLE, dec102 DECIMAL(10,2),"
    " dec102u DECIMAL(10,2) UNSIGNED, dt DATE, tm TIME, dtm DATETIME, ts TIMESTAMP NULL DEFAULT NULL,"
    " y YEAR, bit1 BIT(1), bit16 BIT(16), c CHAR(20), vc VARCHAR(20), tt TINYTEXT, tx TEXT,"
    " bl BLOB, vb VARBINARY(10), e ENUM('red','green'), st SET('a','b'))",
    "INSERT INTO types VALUES (1, -5, 200, -300, 60000, -8000000, 16000000, -2000000000,"
    " 4000000000, -9000000000000000000, 18000000000000000000, 1.5, 12.375, 7, 2.25, -12.34,"
    " 99999999.99, '2024-02-29', '13:14:15', '2024-02-29 13:14:15', '2024-02-29 13:14:15',"
    " 2024, b'1', b'0000000000000001', 'abc', '', 'x\xF0\x9F\x98\x80y', CONCAT('A', CHAR(0), 'B'),"
    " x'00FF', 'k', 'green', 'a,b')",
    "INSERT INTO types (id) VALUES (2)",
    "INSERT INTO types (id, bit1, bit16, dtm) VALUES (3, b'0', b'0', '0000-00-00 00:00:00')",
    "CREATE VIEW v_types AS SELECT id, t FROM types",
    "CREATE TABLE defs (a INT NOT NULL, b INT DEFAULT 5, c VARCHAR(10) NOT NULL DEFAULT '',"
    " d VARCHAR(10) DEFAULT 'x''y', e DATETIME NOT NULL DEFAULT '0000-00-00 00:00:00',"
    " f DATE DEFAULT '2020-01-02', g BIT(1) DEFAULT b'0', h BIT(1) DEFAULT b'1',"
    " i DECIMAL(6,2) DEFAULT 1.50, j TEXT)",
    "CREATE TABLE keyed (a INT NOT NULL, b INT NOT NULL, c INT, d VARCHAR(10),"
    " PRIMARY KEY (b, a), UNIQUE KEY uq (d), KEY k_cd (c, d))",
    "CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB",
    "CREATE TABLE child (id INT PRIMARY KEY, parent_id INT,"
    " CONSTRAINT fk_parent FOREIGN KEY (parent_id) REFERENCES parent (id)) ENGINE=InnoDB",
    "CREATE TABLE big (id INT PRIMARY KEY, name VARCHAR(20))",
    "INSERT INTO big SELECT seq, CONCAT('row ', seq) FROM seq_1_to_600",
    "CREATE TABLE shrinking (id INT PRIMARY KEY)",
    "INSERT INTO shrinking VALUES (1), (2), (3), (4), (5)",
    "CREATE TABLE empty_t (id INT)",
    "CREATE TABLE bytes (b BINARY(4), vb VARBINARY(8), bl BLOB, tb TEXT COLLATE utf8mb4_bin,"
    " vcb VARCHAR(10) COLLATE utf8mb4_bin, j JSON)",
    "INSERT INTO bytes VALUES (x'00FF', x'C328FF00', x'FF', 'bin \xE2\x9C\x93', 'x', '[1]')",
    "CREATE TABLE odd_values (id INT PRIMARY KEY, t TIME, d DATE, dt DATETIME)",
    "INSERT INTO odd_values VALUES (1, '100:00:00', '2024-00-15', '2024-01-00 10:00:00'),"
    " (2, '-00:30:00', '0000-01-01', '0000-00-00 00:00:00'), (3, '24:00:00', '0001-01-01',"
    " '0049-03-04 05:06:07')",
    "CREATE TABLE `a``b` (id INT, `we``ird` VARCHAR(5))",
    "INSERT INTO `a``b` VALUES (1, 'one'), (2, 'two')",
};

class sql_read_test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try {
            engine_ = new sql_engine;
            connect_to_test_server(*engine_);
            database_ = new private_database(*engine_, "read");
            auto db = engine_->open_db(database_->wname(), 1);
            for (const char* statement : fixture_statements)
                if (!db->query(tk_u16(statement))) throw std::runtime_error(statement);
        } catch (const std::exception& e) {
            setup_error_ = new std::string(e.what());
        }
    }
    static void TearDownTestSuite() {
        delete database_;
        delete engine_;
        delete setup_error_;
        database_ = nullptr;
        engine_ = nullptr;
        setup_error_ = nullptr;
    }
    void SetUp() override {
        if (setup_error_ != nullptr) FAIL() << *setup_error_;
        db_ = engine_->open_db(database_->wname(), 1);
    }
    void TearDown() override { db_.reset(); }

    // Copies of every record of a reader, in reading order.
    static std::vector<std::vector<udb_field>> read_all(udb_recordset& reader) {
        std::vector<std::vector<udb_field>> rows;
        for (reader.reset(); !reader.is_eof(); reader.next()) {
            const udb_record* record = reader.get_item();
            EXPECT_NE(nullptr, record);
            if (record == nullptr) break;
            std::vector<udb_field> row;
            for (const auto& field : record->get_fields()) row.push_back(*field);
            rows.push_back(std::move(row));
        }
        return rows;
    }
    static size_t column_of(const udb_recordset& reader, std::u16string_view name) {
        const udb_schema& schema = reader.get_schema();
        for (size_t column_idx = 0; column_idx < schema.size(); ++column_idx)
            if (schema[column_idx].name == name) return column_idx;
        ADD_FAILURE() << "no column " << tk_to_utf8(name);
        return 0;
    }

    static inline sql_engine* engine_ = nullptr;
    static inline private_database* database_ = nullptr;
    static inline std::string* setup_error_ = nullptr;
    std::unique_ptr<udb_database> db_;
};

}  // namespace

TEST_F(sql_read_test, table_list_holds_base_tables_only) {
    const auto& names = db_->get_table_names();
    for (const char16_t* name : {u"types", u"defs", u"keyed", u"big", u"empty_t", u"a`b", u"child"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << tk_to_utf8(name);
    EXPECT_FALSE(db_->is_table_exist(u"v_types"));
    EXPECT_TRUE(db_->is_table_exist(u"TYPES"));
    EXPECT_EQ(3, db_->get_table(u"TYPES", 1)->get_record_count());
    try {
        db_->get_table(u"v_types", 1);
        ADD_FAILURE() << "a view was read";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ("Internal error: \ncode=" + tk_mail_assertion::encode_location("sql_db", 120), e.what());
    }
}

TEST_F(sql_read_test, column_descriptors_follow_the_mysql_types) {
    auto table = db_->get_table(u"types", 1);
    struct descriptor_case {
        const char16_t* column;
        VARTYPE vartype;
        int32_t reserved;
        int64_t size;   // -1: not checked
    };
    const descriptor_case cases[] = {
        {u"t", VT_I1, 0, -1}, {u"tu", VT_UI1, 0, -1}, {u"s", VT_I2, 0, -1},
        {u"su", VT_UI2, 0, -1}, {u"m", VT_I4, 0, -1}, {u"mu", VT_I4, 0, -1},
        {u"i", VT_I4, 0, -1}, {u"iu", VT_UI4, 0, -1}, {u"b", VT_I8, 1, -1},
        {u"bu", VT_UI8, 2, -1}, {u"f", VT_R4, 0, -1}, {u"f73", VT_DECIMAL, 0x0703, -1},
        {u"f70", VT_R4, 0, -1}, {u"d", VT_R8, 0, -1}, {u"dec102", VT_DECIMAL, 0x0A02, -1},
        {u"dec102u", VT_DECIMAL, 0x0A02, -1}, {u"dt", VT_DATE, 2, -1}, {u"tm", VT_DATE, 3, -1},
        {u"dtm", VT_DATE, 1, -1}, {u"ts", VT_DATE, 0, -1}, {u"y", VT_UI2, 0, -1},
        {u"bit1", VT_BOOL, 0, -1}, {u"bit16", VT_BOOL, 0, -1},
        {u"c", VT_BSTR, 0, 80},    // CHAR keeps the byte length (4 bytes a character)
        {u"vc", VT_BSTR, 0, 20},   // VARCHAR counts characters
        {u"tt", VT_BSTR, 0, -1}, {u"tx", VT_BSTR, 0, -1}, {u"bl", VT_BLOB, 0, 65535},
        {u"vb", VT_BLOB, 0, 10}, {u"e", VT_BSTR, 0, -1}, {u"st", VT_BSTR, 0, -1},
    };
    for (const auto& c : cases) {
        const t_ftd& ftd = table->get_schema()[column_of(*table, c.column)];
        const std::string name = tk_to_utf8(c.column);
        EXPECT_EQ(c.vartype, ftd.vartype) << name;
        EXPECT_EQ(c.reserved, ftd.reserved) << name;
        if (c.size >= 0) {
            EXPECT_EQ(c.size, ftd.size) << name;
        }
        EXPECT_FALSE(ftd.b_not_null) << name;
    }
    const t_ftd& id = table->get_schema()[0];
    EXPECT_TRUE(id.b_not_null);
    EXPECT_TRUE(id.b_auto_increment);
}

TEST_F(sql_read_test, defaults_come_typed_and_zero_dates_become_nullable) {
    auto table = db_->get_table(u"defs", 1);
    struct default_case {
        const char16_t* column;
        bool not_null;
        VARTYPE def_type;
        std::u16string def_text;
    };
    const default_case cases[] = {
        {u"a", true, VT_EMPTY, u""},          // NOT NULL number without default
        {u"b", false, VT_I4, u"5"},
        {u"c", true, VT_BSTR, u""},           // NOT NULL text: an empty text
        {u"d", false, VT_BSTR, u"x'y"},
        {u"e", false, VT_EMPTY, u""},         // zero date: no default, NULL allowed
        {u"f", false, VT_BSTR, u"2020-01-02"},
        {u"g", false, VT_BOOL, u"0"},         // b'0' is false
        {u"h", false, VT_BOOL, u"1"},
        {u"i", false, VT_DECIMAL, u"1.50"},
        {u"j", false, VT_EMPTY, u""},
    };
    for (const auto& c : cases) {
        const t_ftd& ftd = table->get_schema()[column_of(*table, c.column)];
        const std::string name = tk_to_utf8(c.column);
        EXPECT_EQ(c.not_null, ftd.b_not_null) << name;
        EXPECT_EQ(c.def_type, ftd.def_value.vartype()) << name;
        EXPECT_EQ(c.def_text, ftd.def_value.to_wstring()) << name;
    }
}

TEST_F(sql_read_test, indexes_keep_key_order_and_foreign_keys_stay_out) {
    auto keyed = db_->get_table(u"keyed", 1);
    const udb_indexes& indexes = keyed->get_indexes();
    ASSERT_EQ(3u, indexes.size());
    const udb_index& primary = indexes.get_index(u"PRIMARY");
    EXPECT_TRUE(primary.primary);
    EXPECT_TRUE(primary.unique);
    EXPECT_EQ((std::vector<std::u16string>{u"b", u"a"}), primary.fields);
    const udb_index& unique = indexes.get_index(u"uq");
    EXPECT_TRUE(unique.unique);
    EXPECT_FALSE(unique.primary);
    EXPECT_EQ((std::vector<std::u16string>{u"d"}), unique.fields);
    const udb_index& plain = indexes.get_index(u"k_cd");
    EXPECT_FALSE(plain.unique);
    EXPECT_FALSE(plain.primary);
    EXPECT_EQ((std::vector<std::u16string>{u"c", u"d"}), plain.fields);

    auto child = db_->get_table(u"child", 1);
    EXPECT_FALSE(child->get_indexes().is_acceptable_name(u"fk_parent"));   // its index is read
    EXPECT_TRUE(db_->get_relationships().empty());                          // the key itself not
}

TEST_F(sql_read_test, values_arrive_typed) {
    auto table = db_->get_table(u"types", 1);
    const auto rows = read_all(*table);
    ASSERT_EQ(3u, rows.size());
    struct value_case {
        int row;
        const char16_t* column;
        VARTYPE vartype;
        std::u16string text;   // to_wstring()
    };
    const value_case cases[] = {
        {0, u"t", VT_I1, u"-5"}, {0, u"tu", VT_UI1, u"200"}, {0, u"s", VT_I2, u"-300"},
        {0, u"su", VT_UI2, u"60000"}, {0, u"m", VT_I4, u"-8000000"}, {0, u"mu", VT_I4, u"16000000"},
        {0, u"iu", VT_UI4, u"4000000000"}, {0, u"b", VT_I8, u"-9000000000000000000"},
        {0, u"bu", VT_UI8, u"18000000000000000000"}, {0, u"f", VT_R4, u"1.500000e+00"},
        {0, u"d", VT_R8, u"2.250000000000000e+00"}, {0, u"dec102", VT_DECIMAL, u"-12.34"},
        {0, u"dec102u", VT_DECIMAL, u"99999999.99"}, {0, u"dt", VT_DATE, u"2024-02-29"},
        {0, u"tm", VT_DATE, u"0000-00-00 13:14:15"}, {0, u"dtm", VT_DATE, u"2024-02-29 13:14:15"},
        {0, u"ts", VT_DATE, u"2024-02-29 13:14:15"}, {0, u"y", VT_UI2, u"2024"},
        {0, u"bit1", VT_BOOL, u"1"},
        {0, u"bit16", VT_BOOL, u"1"},                // value 1: its first byte is 0
        {0, u"c", VT_BSTR, u"abc"}, {0, u"vc", VT_BSTR, u""},
        {0, u"tt", VT_BSTR, u"x\U0001F600y"},         // 4-byte UTF-8 arrives whole
        {0, u"tx", VT_BSTR, std::u16string(u"A\0B", 3)},   // a zero byte does not end a text
        {0, u"bl", VT_BYTE_ARRAY, u"0x00FF"}, {0, u"vb", VT_BYTE_ARRAY, u"0x6B"},
        {0, u"e", VT_BSTR, u"green"}, {0, u"st", VT_BSTR, u"a,b"},
        {2, u"bit1", VT_BOOL, u"0"}, {2, u"bit16", VT_BOOL, u"0"},
        {2, u"dtm", VT_NULL, u""},                    // the zero date is no date
    };
    for (const auto& c : cases) {
        const udb_field& field = rows[c.row][column_of(*table, c.column)];
        const std::string name = tk_to_utf8(c.column) + " of row " + std::to_string(c.row + 1);
        EXPECT_EQ(c.vartype, field.vartype()) << name;
        EXPECT_EQ(c.text, field.to_wstring()) << name;
        EXPECT_EQ(c.column, field.name) << name;
    }
    const uint8_t* bytes = nullptr;
    const udb_field& blob = rows[0][column_of(*table, u"bl")];
    ASSERT_EQ(2u, blob.get_bytes(bytes));
    EXPECT_EQ(2u, blob.size);   // the value's byte length
    EXPECT_EQ(0x00, bytes[0]);
    EXPECT_EQ(0xFF, bytes[1]);
    for (size_t column_idx = 1; column_idx < rows[1].size(); ++column_idx)
        EXPECT_EQ(VT_NULL, rows[1][column_idx].vartype()) << "NULL in " << tk_to_utf8(rows[1][column_idx].name);
}

// Columns of the binary character set hold bytes, taken as they are (BINARY's zero padding
// included); a _bin collation (JSON is one) leaves a column text, BLOB or not.
TEST_F(sql_read_test, binary_character_set_decides_bytes_or_text) {
    auto table = db_->get_table(u"bytes", 1);
    const auto rows = read_all(*table);
    ASSERT_EQ(1u, rows.size());
    struct column_case {
        const char16_t* column;
        VARTYPE column_type;
        int64_t size;   // -1: not checked
        VARTYPE value_type;
        std::u16string text;
    };
    const column_case cases[] = {
        {u"b", VT_BLOB, 4, VT_BYTE_ARRAY, u"0x00FF0000"},
        {u"vb", VT_BLOB, 8, VT_BYTE_ARRAY, u"0xC328FF00"},   // no UTF-8 text
        {u"bl", VT_BLOB, 65535, VT_BYTE_ARRAY, u"0xFF"},
        {u"tb", VT_BSTR, -1, VT_BSTR, u"bin \u2713"},
        {u"vcb", VT_BSTR, 10, VT_BSTR, u"x"},
        {u"j", VT_BSTR, -1, VT_BSTR, u"[1]"},
    };
    for (const auto& c : cases) {
        const size_t column_idx = column_of(*table, c.column);
        const t_ftd& ftd = table->get_schema()[column_idx];
        const std::string name = tk_to_utf8(c.column);
        EXPECT_EQ(c.column_type, ftd.vartype) << name;
        if (c.size >= 0) {
            EXPECT_EQ(c.size, ftd.size) << name;
        }
        EXPECT_EQ(c.value_type, rows[0][column_idx].vartype()) << name;
        EXPECT_EQ(c.text, rows[0][column_idx].to_wstring()) << name;
    }
}

// A value that is there but does not convert is an error value carrying the server's text, never
// an empty value that the destination would take for NULL or for its default. The zero date is
// NULL; years below 100 are the years written.
TEST_F(sql_read_test, values_that_do_not_convert_are_errors) {
    auto table = db_->get_table(u"odd_values", 1);
    const auto rows = read_all(*table);
    ASSERT_EQ(3u, rows.size());
    struct value_case {
        int row;
        const char16_t* column;
        VARTYPE vartype;
        std::u16string text;   // the error's source text, or to_wstring()
    };
    const value_case cases[] = {
        {0, u"t", VT_ERROR, u"100:00:00"}, {0, u"d", VT_ERROR, u"2024-00-15"},
        {0, u"dt", VT_ERROR, u"2024-01-00 10:00:00"},
        {1, u"t", VT_ERROR, u"-00:30:00"},   // not 00:30:00
        {1, u"d", VT_ERROR, u"0000-01-01"}, {1, u"dt", VT_NULL, u""},
        {2, u"t", VT_DATE, u"0000-00-00 24:00:00"}, {2, u"d", VT_DATE, u"0001-01-01"},
        {2, u"dt", VT_DATE, u"0049-03-04 05:06:07"},
    };
    for (const auto& c : cases) {
        const udb_field& field = rows[c.row][column_of(*table, c.column)];
        const std::string name = tk_to_utf8(c.column) + " of row " + std::to_string(c.row + 1);
        EXPECT_EQ(c.vartype, field.vartype()) << name;
        const std::u16string* source = field.get_error_text();
        EXPECT_EQ(c.text, source != nullptr ? *source : field.to_wstring()) << name;
    }
    EXPECT_EQ(1, rows[2][column_of(*table, u"d")].get_systemtime().wYear);
}

TEST_F(sql_read_test, a_table_is_one_stream_per_pass_in_pages_of_256) {
    auto table = db_->get_table(u"big", 1);
    ASSERT_EQ(600, table->get_record_count());
    captured_trace trace(1);
    for (int pass = 0; pass < 2; ++pass) {
        std::set<int32_t> ids;
        int32_t expected_id = 1;
        table->reset();
        for (int record_idx = 0; !table->is_eof(); ++record_idx, table->next()) {
            const int32_t id = table->get_item()->at(0).to_long();
            EXPECT_EQ(expected_id++, id);
            ids.insert(id);
            if (pass == 0 && record_idx == 299) break;   // the first pass stops half-way
        }
        EXPECT_EQ(pass == 0 ? 300u : 600u, ids.size());
    }
    EXPECT_EQ(2u, trace.count("sql_limited_query::sql_limited_query(SELECT * FROM `big`)"));
    EXPECT_EQ(0u, trace.count("LIMIT"));
    EXPECT_EQ(2u + 3u, trace.count("sql_limited_query::store_to"));   // 2 pages, then 3
    EXPECT_TRUE(table->is_eof());
    EXPECT_EQ(nullptr, table->get_item());
}

TEST_F(sql_read_test, the_connection_is_free_once_the_last_rows_are_in_memory) {
    {
        auto table = db_->get_table(u"big", 1);
        table->reset();
        for (int record_idx = 0; record_idx < 520; ++record_idx) table->next();   // last page
        EXPECT_EQ(1, db_->query_records(u"SELECT 1")->get_record_count());
        EXPECT_EQ(521, table->get_item()->at(0).to_long());
    }
    {
        auto table = db_->get_table(u"big", 1);
        table->reset();
        table->next();
    }   // released in the middle of its stream
    EXPECT_EQ(1, db_->query_records(u"SELECT 1")->get_record_count());
}

TEST_F(sql_read_test, rows_gone_since_the_count_end_the_table_early) {
    auto table = db_->get_table(u"shrinking", 1);
    ASSERT_EQ(5, table->get_record_count());
    run_sql(*db_, "DELETE FROM shrinking WHERE id > 3");
    EXPECT_EQ(3u, read_all(*table).size());
}

TEST_F(sql_read_test, empty_table_and_odd_names) {
    auto empty = db_->get_table(u"empty_t", 1);
    EXPECT_EQ(0, empty->get_record_count());
    empty->reset();
    EXPECT_TRUE(empty->is_eof());
    EXPECT_EQ(nullptr, empty->get_item());

    auto odd = db_->get_table(u"a`b", 1);
    EXPECT_EQ(u"we`ird", odd->get_schema()[1].name);
    const auto rows = read_all(*odd);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(u"two", rows[1][1].to_wstring());
}

TEST_F(sql_read_test, named_query_counts_and_reads_its_rows) {
    auto query = db_->get_query(u"q", u"SELECT id, name FROM big WHERE id <= 300 ORDER BY id DESC", 1);
    EXPECT_TRUE(query->is_query());
    EXPECT_EQ(300, query->get_record_count());
    ASSERT_EQ(2u, query->get_schema().size());
    EXPECT_EQ(VT_BSTR, query->get_schema()[1].vartype);
    const auto rows = read_all(*query);
    ASSERT_EQ(300u, rows.size());
    EXPECT_EQ(300, rows.front()[0].to_long());
    EXPECT_EQ(u"row 1", rows.back()[1].to_wstring());
}

TEST_F(sql_read_test, failing_statements) {
    EXPECT_FALSE(db_->query(u"SELEC nothing"));
    try {
        db_->query_records(u"SELEC nothing");
        ADD_FAILURE() << "no exception";
    } catch (const sql_exception& e) {
        EXPECT_EQ(0x400000 | 1064, e.code()) << e.what();
    }
    EXPECT_EQ(nullptr, db_->query_records(u"DO 1"));
    EXPECT_THROW(db_->get_query(u"bad", u"SELECT * FROM no_such_table", 1), sql_exception);
    EXPECT_THROW(db_->get_table(u"big", 1)->append_record(udb_record()), tk_mail_assertion);
}
