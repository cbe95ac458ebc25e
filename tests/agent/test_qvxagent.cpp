#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

const char k_usage[] = R"(QVXAGENT v1.0
Usage: QVXAGENT.EXE OPTIONS

   --db2pswd=...   DB2 user password
   --db2schema=... DB2 schema name
   --db2user=...   DB2 user name
   --dest=...      DB2 database name
   --help          display this help message and exit
   --logfile=...   path to the file where execution trace will be written
   --loglevel=...  lowest level of the lines written to the trace
                   (1 - every detail, 2 - no per-record lines, 3 - errors and tables)
   --mode=...      how to process tables that already exist in DB2 database
                   (0 - overwrite, 1 - merge, 2 - skip)
   --mysqlh=...    MySQL server IP address or network name
   --mysqlu=...    MySQL user name
   --mysqlp=...    MySQL user password
   --port=...      MySQL port
   --profile=...   path to the file to load conversion settings from
   --silent        disable program output
   --skip_idx      skip converting indexes
   --src=...       MySQL database name
   --tab_def       convert table definitions only
   --tab_file=...  file containing the list of tables to convert
                   (one table name per line)

NOTES:
   1) If you specified a profile, there is no need to specify any other
      parameters
   2) The default mode is 'overwrite'. You can change it using '--mode'
      parameter
   3) You can omit 'mysqlh' parameter to connect local MySQL server
   4) It is necessary to specify 'port' parameter only if it deffers from
      the default MySQL port 3306
   5) If you omit 'tab_file' parameter, all database tables will be converted
   6) If you omit 'mode' parameter, default mode 'overwrite the entire
      database' will be used.
   7) Command line parameters that contain spaces should be enclosed in
      quotes (for example --dest="my database.mdb")
)";

// A parse that succeeds goes on to connect DB2; these tests give the agent no DB2 library, so it
// ends there, reported by the error handler.
const char k_no_db2[] =
    "Error:\nCannot find DB2 environment. Make sure you have valid DB2 installation on your "
    "system\n";

using qvx_test::outcome;
using qvx_test::read_text;
using qvx_test::write_text;

// Each test runs the agent in a fresh folder of its own, where its "debug.log" lands.
class qvxagent_test : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qvxagent_XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    outcome run(const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env = {}) const {
        // No DB2 library: a parse that succeeds ends at the DB2 connection.
        std::vector<std::pair<std::string, std::string>> variables{
            {"QVX_DB2_CLI", "/nonexistent/libdb2o.so"}};
        variables.insert(variables.end(), env.begin(), env.end());
        return qvx_test::run_child(QVXAGENT_PATH, args, folder_, variables);
    }

    std::string trace(const char* name = "debug.log") const { return read_text(folder_ / name); }
    std::string path(const char* name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

// Options that pass every check.
const std::vector<std::string> k_complete = {"--dest=SAMPLE", "--src=shop", "--db2schema=app"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

struct output_case {
    const char* name;
    std::vector<std::string> args;
    std::string err;  // standard output stays empty in all of these
};

void expect_fatal(const outcome& result, const std::string& err, const char* name) {
    EXPECT_EQ(255, result.status) << name;
    EXPECT_EQ("", result.out) << name;
    EXPECT_EQ(err, result.err) << name;
}

// The options were accepted: the agent went on to connect DB2.
void expect_parsed(const outcome& result, const char* name) {
    EXPECT_EQ(255, result.status) << name;
    EXPECT_EQ(k_no_db2, result.out) << name;
    EXPECT_EQ("", result.err) << name;
}

TEST_F(qvxagent_test, usage_text_for_help_and_unmatched_arguments) {
    const output_case cases[] = {
        {"no arguments", {}, k_usage},
        {"--help", {"--help"}, k_usage},
        {"prefix match --helpful", {"--helpful"}, k_usage},
        {"single dash -help", {"-help"}, k_usage},
        {"bare word help", {"help"}, k_usage},
        {"unmatched among complete options", with(k_complete, {"extra"}), k_usage},
        {"--help before other options", {"--help", "--mode=x"}, k_usage},
        {"--silent before --help", {"--silent", "--help"}, ""},
        {"--silent then unmatched", {"--silent", "help"}, ""},
        {"--help before --silent", {"--help", "--silent"}, k_usage},
    };
    for (const auto& c : cases) expect_fatal(run(c.args), c.err, c.name);
}

TEST_F(qvxagent_test, mode_accepts_only_plain_0_1_2) {
    for (const char* mode : {"0", "1", "2"})
        expect_parsed(run(with(k_complete, {std::string("--mode=") + mode})), mode);
    for (const char* mode : {"01", "+1", "3", "x", "", "-0", " 1"})
        expect_fatal(run(with(k_complete, {std::string("--mode=") + mode})),
                     "Invalid merge/overwrite mode\n", mode);
}

// The trace threshold takes effect where the option stands: "parameter #N" lines (level 1) come
// before it, "got src" (level 1) and "got mode" (level 2) after it.
TEST_F(qvxagent_test, loglevel_sets_the_trace_threshold_from_where_it_stands) {
    struct level_case {
        const char* level;
        bool details;  // level-1 lines after the option
        bool entries;  // level-2 lines after the option
    };
    const level_case cases[] = {{"1", true, true}, {"2", false, true}, {"3", false, false}};
    for (const auto& c : cases) {
        expect_parsed(run({std::string("--loglevel=") + c.level, "--dest=SAMPLE", "--src=shop",
                           "--db2schema=app", "--mode=1"}),
                      c.level);
        const std::string log = trace();
        EXPECT_NE(std::string::npos, log.find("parameter #1: --loglevel=")) << c.level;
        EXPECT_EQ(c.details, log.find("got src shop") != std::string::npos) << c.level;
        EXPECT_EQ(c.entries, log.find("got mode 1") != std::string::npos) << c.level;
        // Failures are level 3: always written.
        EXPECT_NE(std::string::npos, log.find("Cannot find DB2 environment")) << c.level;
    }
    for (const char* level : {"0", "4", "02", "+2", "x", "", " 2"})
        expect_fatal(run(with(k_complete, {std::string("--loglevel=") + level})),
                     "Invalid log level\n", level);
}

TEST_F(qvxagent_test, missing_names_are_fatal_in_order) {
    const output_case cases[] = {
        {"no --dest", {"--src=shop", "--db2schema=app"}, "You should enter DB2 database name\n"},
        {"no --dest nor --src", {"--db2schema=app"}, "You should enter DB2 database name\n"},
        {"no --src",
         {"--dest=SAMPLE", "--db2schema=app"},
         "You should enter MySQL database name\n"},
        {"--src without value",
         {"--dest=SAMPLE", "--src=", "--db2schema=app"},
         "You should enter MySQL database name\n"},
        {"no --db2schema", {"--dest=SAMPLE", "--src=shop"}, "You should enter DB2 schema name\n"},
        {"last occurrence wins (emptied)", with(k_complete, {"--dest="}),
         "You should enter DB2 database name\n"},
        {"silent", {"--silent", "--src=shop"}, ""},
    };
    for (const auto& c : cases) expect_fatal(run(c.args), c.err, c.name);
    expect_parsed(run({"--src=", "--dest=SAMPLE", "--db2schema=app", "--src=shop"}),
                  "last occurrence wins (given)");
}

TEST_F(qvxagent_test, missing_table_names_file_is_fatal) {
    const char message[] =
        "Table names file does not exist.\nPlease verify the correct path/name was given.\n";
    expect_fatal(run(with(k_complete, {"--tab_file=" + path("absent.txt")})), message, "absent");
    expect_fatal(run(with(k_complete, {"--tab_file=" + folder_.string()})), message, "folder");
}

// A byte order mark makes every line UTF-8; without one every line is in the locale charset,
// here Latin-1, even when it looks like UTF-8. The names read show in the trace (as UTF-8).
TEST_F(qvxagent_test, byte_order_mark_selects_utf8_for_every_line) {
    std::string locales = path("locales");
    fs::create_directory(locales);
    ASSERT_EQ(0, std::system(("localedef -i en_US -f ISO-8859-1 '" + locales +
                              "/en_US.ISO-8859-1' >/dev/null 2>&1")
                                 .c_str()))
        << "localedef failed (package locales)";
    const std::map<std::string, std::string> latin1 = {{"LOCPATH", locales},
                                                       {"LC_ALL", "en_US.ISO-8859-1"}};
    struct bom_case {
        const char* name;
        std::string file;
        std::map<std::string, std::string> env;
        std::vector<std::string> names;  // as UTF-8
    };
    const bom_case cases[] = {
        {"mark, UTF-8 locale",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9\r\n\r\n order s\n\xC3\xBC",
         {},
         {"caf\xC3\xA9", " order s", "\xC3\xBC"}},
        {"mark, Latin-1 locale",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9\n\xC3\xBC\n",
         latin1,
         {"caf\xC3\xA9", "\xC3\xBC"}},
        {"mark alone on the first line", "\n\xEF\xBB\xBF\ncaf\xC3\xA9\n", latin1, {"caf\xC3\xA9"}},
        {"no mark, Latin-1 locale",
         "caf\xE9\ncaf\xC3\xA9\n",
         latin1,
         {"caf\xC3\xA9", "caf\xC3\x83\xC2\xA9"}},
    };
    for (const auto& c : cases) {
        write_text(path("tables.txt"), c.file);
        expect_parsed(run(with(k_complete, {"--tab_file=tables.txt"}), c.env), c.name);
        std::string expected;
        for (const auto& name : c.names) expected += "process_tab_file - table '" + name + "'\r\n";
        std::string log = trace();
        size_t first = log.find("process_tab_file - table");
        size_t end = log.rfind("'\r\n");
        std::string read = first == std::string::npos ? "" : log.substr(first, end + 3 - first);
        EXPECT_EQ(expected, read) << c.name;
    }
}

TEST_F(qvxagent_test, passwords_never_reach_the_trace) {
    outcome result = run(with(k_complete, {"--mysqlp=s3cret", "--db2pswd=pa55", "--mysqlu=bob"}));
    expect_parsed(result, "passwords");
    std::string log = trace();
    EXPECT_EQ(std::string::npos, log.find("s3cret"));
    EXPECT_EQ(std::string::npos, log.find("pa55"));
    EXPECT_NE(std::string::npos, log.find("parameter #4: --mysqlp=***\r\n"));
    EXPECT_NE(std::string::npos, log.find("parameter #5: --db2pswd=***\r\n"));
    EXPECT_NE(std::string::npos, log.find("store_mysql_settings(, bob, ***, 3306)"));
}

TEST_F(qvxagent_test, logfile_switch_keeps_earlier_lines_and_appends_later_ones) {
    write_text(path("old.log"), "earlier run\r\n");
    outcome result = run({"--dest=SAMPLE", "--logfile=old.log", "--src=shop", "--db2schema=app"});
    expect_parsed(result, "switch");
    std::string first = trace(), second = trace("old.log");
    EXPECT_NE(std::string::npos, first.find("parse_cmd_line - got dest SAMPLE"));
    EXPECT_EQ(std::string::npos, first.find("got src"));
    EXPECT_EQ(0u, second.find("earlier run\r\n"));
    EXPECT_NE(std::string::npos, second.find("parse_cmd_line - got src shop"));

    // An empty value keeps tracing into debug.log.
    run({"--logfile=", "--dest=SAMPLE", "--src=shop", "--db2schema=app"});
    EXPECT_NE(std::string::npos, trace().find("got src shop"));
}

// Toolkit failures reach the error handler: "Error:" and the message as one line on standard
// output, status -1 (also for level 0: nothing was converted).
TEST_F(qvxagent_test, toolkit_failures_are_reported_by_the_error_handler) {
    write_text(path("saved.qvx"), "[Generic settings]\r\n");
    struct handler_case {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        std::string err;
    };
    const handler_case cases[] = {
        {"log folder missing", with(k_complete, {"--logfile=" + path("no/such/trace.log")}),
         "Error:\nLogfile path does not exist. Please verify the correct path was given.\n", ""},
        {"profile missing",
         {"--profile=" + path("absent.qvx")},
         "Error:\nProfile does not exist. Please verify the correct path/name was given.\n",
         ""},
        {"silent profile missing", {"--silent", "--profile=" + path("absent.qvx")}, "", ""},
        {"profile without names",
         {"--profile=" + path("saved.qvx")},
         "",
         "You should enter DB2 database name\n"},
        {"option not in the locale charset", with(k_complete, {"--src=\xff"}),
         "Error:\nCannot convert to UNICODE string: Invalid or incomplete multibyte or wide "
         "character\n",
         ""},
    };
    for (const auto& c : cases) {
        outcome result = run(c.args);
        EXPECT_EQ(255, result.status) << c.name;
        EXPECT_EQ(c.out, result.out) << c.name;
        EXPECT_EQ(c.err, result.err) << c.name;
    }
}

}  // namespace
