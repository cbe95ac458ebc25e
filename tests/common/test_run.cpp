// The conversion run against small in-memory databases: what the loop itself decides (modes,
// names, the per-record and per-entry handlers, closing the destination, counters, the summary).
// The real MySQL and DB2 sides are exercised end to end by the agent tests.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/console_progress.h"
#include "common/error_handler.h"
#include "common/error_messages.h"
#include "common/quorvex_convertor.h"
#include "db2/db2_engi.h"
#include "udb/udb_db.h"

namespace {

// One table of an in-memory server: integer columns, rows of integers, and the failures its
// destination record-sets should produce.
struct mem_table {
    std::vector<std::u16string> columns;
    std::vector<std::vector<int>> rows;
    size_t index_count = 0;
    // Appends (counted from 1) that throw at once, like a value DB2 cannot take.
    std::set<int> refuse_at_append;
    // Appends (counted from 1) that the DB2 side refuses when it sends the last array at close().
    std::set<int> refuse_at_close;
    bool close_fails = false;
    int appended = 0;
    bool closed = false;
};

struct mem_server {
    std::map<std::u16string, mem_table> tables;
    // SELECT text -> the table its rows come from.
    std::map<std::u16string, std::u16string> queries;
};

class mem_recordset : public udb_recordset {
public:
    mem_recordset(const std::u16string& name, mem_table& table, const std::u16string& query = {})
        : udb_recordset(name, query, true), table_(table) {
        for (const auto& column : table.columns)
            schema_.add_field(std::make_unique<t_ftd>(4, column, VT_I4, false, false));
        for (size_t index_idx = 0; index_idx < table.index_count; ++index_idx) {
            udb_index index;
            index.name = u"ix" + std::u16string(1, u'0' + index_idx);
            indexes_.append(index);
        }
        record_count_ = static_cast<int32_t>(table.rows.size());
    }

    void append_record(const udb_record& record) override {
        int number = ++table_.appended;
        if (table_.refuse_at_append.count(number)) throw db2_exception(SQL_ERROR, "value refused");
        std::vector<int> row;
        for (const auto& field : record.get_fields()) row.push_back(field->to_long());
        table_.rows.push_back(row);
    }
    void reset() override { load(0); }
    bool is_eof() override { return position_ >= table_.rows.size(); }
    udb_record* get_item() override { return is_eof() ? nullptr : record_.get(); }
    void next() override { load(position_ + 1); }
    void close() override {
        table_.closed = true;
        for (int number : table_.refuse_at_close)
            db2_engine::get_instance().get_record_error_handler()(name_, number,
                                                                  db2_exception(SQL_ERROR, "late"));
        if (table_.close_fails) throw db2_exception(SQL_ERROR, "last array lost");
    }

private:
    void load(size_t position) {
        position_ = position;
        record_ = std::make_unique<udb_record>();
        if (is_eof()) return;
        for (size_t column_idx = 0; column_idx < table_.columns.size(); ++column_idx)
            record_->add_field(std::make_unique<udb_field>(
                table_.columns[column_idx], 4, ole_variant(table_.rows[position][column_idx])));
    }

    mem_table& table_;
    size_t position_ = 0;
    std::unique_ptr<udb_record> record_;
};

class mem_database : public udb_database {
public:
    mem_database(mem_server& server, bool case_sensitive)
        : udb_database(u"mem", 1, case_sensitive), server_(server) {
        for (const auto& table : server.tables) table_names_.push_back(table.first);
    }
    std::unique_ptr<udb_recordset> create_table(const std::u16string& name,
                                                const udb_schema& schema,
                                                const udb_indexes& indexes) override {
        mem_table& table = server_.tables[name];
        for (const t_ftd* field : schema.get_fields()) table.columns.push_back(field->name);
        table.index_count = indexes.size();
        table_names_.push_back(name);
        return std::make_unique<mem_recordset>(name, table);
    }
    bool delete_tab(const std::u16string& name) override {
        server_.tables.erase(name);
        return udb_database::delete_tab(name);
    }
    std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t) override {
        if (server_.tables.count(name) == 0) throw tk_exception("no such table", 0);
        return std::make_unique<mem_recordset>(name, server_.tables.at(name));
    }
    std::unique_ptr<udb_recordset> get_query(const std::u16string& name, const std::u16string& text,
                                             int32_t) override {
        return std::make_unique<mem_recordset>(name, server_.tables.at(server_.queries.at(text)),
                                               text);
    }
    bool query(const std::u16string&) override { return true; }

private:
    mem_server& server_;
};

class test_convertor : public quorvex_convertor {
public:
    mem_server mysql;
    mem_server db2;
    bool console = true;

protected:
    bool is_console() const override { return console; }
    std::unique_ptr<udb_database> open_source_database() override {
        return std::make_unique<mem_database>(mysql, false);
    }
    std::unique_ptr<udb_database> open_destination_database() override {
        return std::make_unique<mem_database>(db2, true);
    }
};

mem_table table_of(std::vector<std::vector<int>> rows, size_t index_count = 0) {
    mem_table table;
    table.columns = {u"id", u"qty"};
    table.rows = std::move(rows);
    table.index_count = index_count;
    return table;
}

const std::vector<std::vector<int>> k_three_rows = {{1, 10}, {2, 20}, {3, 30}};

class conversion_run : public ::testing::Test {
protected:
    // Runs the conversion and returns what it printed on standard output.
    std::string run() {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        converter.run();
        err = testing::internal::GetCapturedStderr();
        return testing::internal::GetCapturedStdout();
    }

    error_handler handler{qvx_error_message_count, qvx_error_messages};
    test_convertor converter;
    std::string err;
};

TEST_F(conversion_run, modes_treat_an_existing_table_as_chosen) {
    struct mode_case {
        const char* name;
        int32_t mode;
        std::vector<std::vector<int>> existing;
        std::vector<std::u16string> existing_columns;
        std::vector<std::vector<int>> expected;
        std::string report;
    };
    const mode_case cases[] = {
        {"overwrite drops the old rows",
         quorvex_convertor::mode_overwrite,
         {{9, 90}},
         {u"id", u"qty"},
         k_three_rows,
         ""},
        {"skip leaves the table alone",
         quorvex_convertor::mode_skip,
         {{9, 90}},
         {u"id", u"qty"},
         {{9, 90}},
         ""},
        {"merge appends",
         quorvex_convertor::mode_merge,
         {{9, 90}},
         {u"id", u"qty"},
         {{9, 90}, {1, 10}, {2, 20}, {3, 30}},
         ""},
        {"merge refuses another structure",
         quorvex_convertor::mode_merge,
         {{9}},
         {u"id"},
         {{9}},
         "Error:\norders: The structure of data source does not conform to the destination "
         "table.\n"},
    };
    for (const auto& c : cases) {
        converter.mysql.tables = {{u"orders", table_of(k_three_rows)}};
        mem_table existing = table_of(c.existing);
        existing.columns = c.existing_columns;
        converter.db2.tables = {{u"orders", existing}};
        converter.set_run_mode(c.mode);
        converter.set_selected_tables({u"orders"});
        std::string out = run();
        EXPECT_EQ(c.expected, converter.db2.tables.at(u"orders").rows) << c.name;
        EXPECT_NE(std::string::npos, out.find(c.report)) << c.name << "\n" << out;
        converter.tables_and_queries().clear();
    }
}

// A record refused at once and one refused when the last array goes are both reported with the
// table and their number; the copy goes on, and the summary says what happened.
TEST_F(conversion_run, refused_records_are_reported_and_the_copy_goes_on) {
    mem_table source = table_of({{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}});
    converter.mysql.tables = {{u"orders", source}};
    converter.db2.tables = {{u"orders", table_of({})}};
    converter.db2.tables[u"orders"].refuse_at_append = {2};
    converter.db2.tables[u"orders"].refuse_at_close = {5};
    converter.set_run_mode(quorvex_convertor::mode_merge);
    std::string out = run();

    EXPECT_EQ(
        "Converting database  (1 tables)\n"
        "Converting table orders (5 records)\n"
        "Error:\norders, record #2: value refused\n"
        "Error:\norders, record #5: late\n"
        "Summary: 1 tables converted, 0 skipped, 0 failed; 3 records copied, 2 refused\n",
        out);
    EXPECT_EQ(4u, converter.db2.tables.at(u"orders").rows.size());
    EXPECT_EQ(5, converter.db2.tables.at(u"orders").appended);
}

// A failure of one entry (here the last array, sent by close()) is reported with the entry's
// name and the next entry is converted; the counters end at 0 and the finished flag is set.
TEST_F(conversion_run, a_failed_entry_is_reported_and_the_run_goes_on) {
    converter.mysql.tables = {{u"a", table_of(k_three_rows)}, {u"b", table_of(k_three_rows)}};
    converter.db2.tables = {{u"a", table_of({})}};
    converter.db2.tables[u"a"].close_fails = true;
    converter.set_run_mode(quorvex_convertor::mode_merge);
    converter.set_selected_tables({u"a", u"b", u"gone"});
    std::string out = run();

    EXPECT_TRUE(converter.db2.tables.at(u"a").closed);
    EXPECT_NE(std::string::npos, out.find("Error:\na: last array lost\n")) << out;
    EXPECT_EQ(k_three_rows, converter.db2.tables.at(u"b").rows);
    EXPECT_TRUE(converter.db2.tables.at(u"b").closed);
    EXPECT_EQ("Table gone not exists\n", err);
    EXPECT_NE(std::string::npos,
              out.find("Summary: 1 tables converted, 0 skipped, 2 failed; 6 records copied, 0 "
                       "refused\n"))
        << out;
    EXPECT_EQ(0, converter.tables_done());
    EXPECT_EQ(0, converter.table_count());
    EXPECT_TRUE(converter.finished());
}

// Names DB2 cannot take get generated ones, recorded in the destination's name map; names that
// differ only in letter case end in different tables; queries are converted but not counted as
// tables.
TEST_F(conversion_run, names_are_made_safe_and_kept_apart) {
    converter.mysql.tables = {{u"order-lines", table_of(k_three_rows)},
                              {u"Items", table_of({{1, 1}})},
                              {u"items", table_of({{2, 2}})},
                              {u"src", table_of({{7, 7}})}};
    converter.mysql.queries = {{u"SELECT 7", u"src"}};
    converter.tables_and_queries()[u"big-orders"] = u"SELECT 7";
    converter.set_selected_tables({u"order-lines", u"Items", u"items"});
    std::string out = run();

    std::map<std::u16string, std::vector<std::vector<int>>> created;
    for (const auto& [name, table] : converter.db2.tables) created[name] = table.rows;
    ASSERT_EQ(4u, created.size()) << out;
    EXPECT_EQ(k_three_rows, created[u"order_lines"]);
    EXPECT_EQ((std::vector<std::vector<int>>{{7, 7}}), created[u"big_orders"]);
    EXPECT_EQ((std::vector<std::vector<int>>{{1, 1}}), created[u"Items"]);
    created.erase(u"order_lines");
    created.erase(u"big_orders");
    created.erase(u"Items");
    // The second of the two gets a name of its own, not the first one's in another case.
    ASSERT_EQ(1u, created.size());
    EXPECT_NE(u"items", created.begin()->first);
    EXPECT_EQ((std::vector<std::vector<int>>{{2, 2}}), created.begin()->second);
    EXPECT_NE(std::string::npos, out.find("(3 tables)")) << out;
    EXPECT_NE(std::string::npos, out.find("4 tables converted")) << out;
}

// Definitions only and skip indexes: tables are created empty, without their indexes.
TEST_F(conversion_run, options_shape_what_is_created) {
    converter.mysql.tables = {{u"orders", table_of(k_three_rows, 2)}};
    converter.set_definitions_only(true);
    converter.set_skip_indexes(true);
    run();
    const mem_table& created = converter.db2.tables.at(u"orders");
    EXPECT_TRUE(created.rows.empty());
    EXPECT_EQ(0u, created.index_count);

    converter.set_definitions_only(false);
    converter.set_skip_indexes(false);
    run();
    EXPECT_EQ(k_three_rows, converter.db2.tables.at(u"orders").rows);
    EXPECT_EQ(2u, converter.db2.tables.at(u"orders").index_count);
}

// The wizard's converter converts nothing for an empty selection and prints nothing; a stop
// request ends the run quietly before the next record.
TEST_F(conversion_run, wizard_runs_print_nothing_and_stop_on_request) {
    converter.console = false;
    converter.mysql.tables = {{u"orders", table_of(k_three_rows)}};
    EXPECT_EQ("", run());
    EXPECT_TRUE(converter.db2.tables.empty());

    converter.set_selected_tables({u"orders"});
    converter.request_stop();
    EXPECT_EQ("", run());
    EXPECT_TRUE(converter.db2.tables.empty() || converter.db2.tables.at(u"orders").rows.empty());
    EXPECT_TRUE(converter.finished());
    converter.clear_stop_request();
}

TEST(conversion_summary, reads_as_one_line) {
    conversion_summary summary{5, 1, 2, 1234567, 3};
    EXPECT_EQ("Summary: 5 tables converted, 1 skipped, 2 failed; 1234567 records copied, 3 refused",
              quorvex_convertor::format_summary(summary));
}

TEST(console_progress, line_fits_the_terminal) {
    struct line_case {
        const char* name;
        const char* table;
        int32_t done, total;
        double seconds;
        size_t width;
        std::string line;
    };
    const line_case cases[] = {
        {"rate and time left", "orders", 1200, 5000, 3.0, 79,
         "orders: 1200 of 5000 records, 400 records/s, 0:10 left"},
        {"nothing done yet", "orders", 0, 5000, 0.5, 79, "orders: 0 of 5000 records"},
        {"hours left", "t", 3, 12000, 1.0, 79, "t: 3 of 12000 records, 3 records/s, 1:06:39 left"},
        {"all done", "t", 10, 10, 2.0, 79, "t: 10 of 10 records, 5 records/s"},
        {"long name cut", "caf\xC3\xA9_with_a_very_long_name", 1, 2, 0, 30,
         "caf\xC3\xA9_with_a...: 1 of 2 records"},
        {"narrow terminal", "orders", 1, 2, 0, 10, ": 1 of 2 r"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.line,
                  console_progress::format_line(c.table, c.done, c.total, c.seconds, c.width))
            << c.name;
}

}  // namespace
