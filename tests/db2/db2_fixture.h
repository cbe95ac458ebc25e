// Shared pieces of the DB2-side tests: every test gets a fresh stand-in database of its own
// (created with the db2sim program, dropped afterwards) and a connected db2_engine; the CLI
// library is the stand-in unless QVX_DB2_CLI names another one.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "db2/db2_db.h"
#include "db2/db2_engi.h"
#include "db2/db2_recs.h"
#include "tk/tk_utils.h"

inline constexpr const char* test_user = "qvx";
inline constexpr const char* test_password = "secret";

// The stand-in's home and library for this test process, when the environment names none.
inline void prepare_db2_environment() {
    if (std::getenv("QVX_DB2_CLI") == nullptr) setenv("QVX_DB2_CLI", QVX_TEST_DB2SIM_LIB, 1);
    if (std::getenv("DB2SIM_HOME") == nullptr) {
        static std::string home = "/tmp/qvx_test_db2_" + std::to_string(::getpid());
        mkdir(home.c_str(), 0700);
        setenv("DB2SIM_HOME", home.c_str(), 1);
    }
}

// Runs the db2sim program; its exit status.
inline int run_db2sim(const std::string& arguments) {
    const std::string command = std::string(QVX_TEST_DB2SIM_BIN) + " " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

inline std::string base36(long number, size_t digits) {
    std::string text(digits, '0');
    for (size_t pos = digits; pos-- > 0; number /= 36) text[pos] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[number % 36];
    return text;
}

class db2_test : public ::testing::Test {
protected:
    void SetUp() override {
        prepare_db2_environment();
        // Database aliases have at most 8 characters: the process and a counter, both in base 36.
        static int counter = 0;
        alias_ = "T" + base36(::getpid(), 4) + base36(++counter, 2);
        run_db2sim("drop " + alias_);
        ASSERT_EQ(0, run_db2sim("create " + alias_ + " --user " + test_user + " --password " + test_password));
        engine_ = std::make_unique<db2_engine>();
        engine_->connect(tk_u16(alias_), tk_u16(test_user), tk_u16(test_password));
    }
    void TearDown() override {
        engine_.reset();
        run_db2sim("drop " + alias_);
    }

    // Runs a statement that must succeed.
    void run(const std::u16string& statement) { engine_->execute(statement); }
    void run(const char* statement) { engine_->execute(tk_u16(statement)); }

    // Every row of a SELECT, each value as text (NULL as "<null>").
    std::vector<std::vector<std::u16string>> select(const char* statement) {
        db2_recordset rows(u"q", tk_u16(statement));
        std::vector<std::vector<std::u16string>> result;
        for (rows.reset(); !rows.is_eof(); rows.next()) {
            const udb_record* record = rows.get_item();
            std::vector<std::u16string> values;
            for (const auto& field : record->get_fields())
                values.push_back(field->vartype() == VT_EMPTY ? u"<null>" : field->to_wstring());
            result.push_back(std::move(values));
        }
        return result;
    }
    // The single value of a one-row, one-column SELECT.
    std::u16string select_value(const char* statement) {
        const auto rows = select(statement);
        if (rows.size() != 1 || rows[0].size() != 1) return u"<not one value>";
        return rows[0][0];
    }

    std::string alias_;
    std::unique_ptr<db2_engine> engine_;
};

// A neutral column descriptor.
inline std::unique_ptr<t_ftd> make_field(const char* name, VARTYPE vt, uint32_t size = 0, bool not_null = false,
                                         bool auto_increment = false, ole_variant def_value = ole_variant(),
                                         int32_t reserved = 0) {
    return std::make_unique<t_ftd>(size, tk_u16(name), vt, not_null, auto_increment, def_value, reserved);
}

// A record of values in column order.
inline std::unique_ptr<udb_record> make_record(std::vector<ole_variant> values) {
    auto record = std::make_unique<udb_record>();
    for (auto& value : values) record->add_field(std::make_unique<udb_field>(u"", 0, std::move(value)));
    return record;
}
