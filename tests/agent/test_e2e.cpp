// End to end: qvxagent runs as a process from a MariaDB fixture into the DB2 stand-in, and what
// arrived is read back with the stand-in's own db2sim program and compared value by value with
// what MariaDB holds. The private MariaDB server must run (scripts/test starts it); without it
// every test fails.
#include <mysql.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

using cell = std::optional<std::string>;  // nullopt: NULL
using row = std::vector<cell>;
using rows = std::vector<row>;

// Every table the whole-database run converts, with the DB2 name it must get.
const std::map<std::string, std::string> k_db2_names = {
    {"risky", "risky"},
    {"customers", "customers"},
    {"paged", "paged"},
    {"order-lines", "order_lines"},
    {"1st_table", "A1st_table"},
    {"a_table_name_of_forty_characters_exactly", "a_table_name_of_forty_charact"},
    {"Mixed", "Mixed"},
    {"mixed", "mixed00000"},
};

const char k_fixture[] = R"sql(
CREATE TABLE risky (
    id INT AUTO_INCREMENT PRIMARY KEY,
    t_tiny TINYINT, t_utiny TINYINT UNSIGNED, t_small SMALLINT, t_usmall SMALLINT UNSIGNED,
    t_medium MEDIUMINT, t_int INT, t_uint INT UNSIGNED, t_big BIGINT, t_ubig BIGINT UNSIGNED,
    t_dec DECIMAL(20,6), t_dec0 DECIMAL(5,0), t_float FLOAT, t_double DOUBLE,
    t_bit BIT(1), t_bool BOOLEAN,
    t_date DATE, t_datetime DATETIME, t_timestamp TIMESTAMP NULL DEFAULT NULL, t_time TIME,
    t_year YEAR,
    t_char CHAR(10), t_varchar VARCHAR(200), t_text TEXT, t_longtext LONGTEXT,
    t_enum ENUM('a','b','c'), t_set SET('x','y'),
    t_blob BLOB, t_longblob LONGBLOB
);
INSERT INTO risky VALUES
 (1, -128, 255, -32768, 65535, -8388608, -2147483648, 4294967295, -9223372036854775808,
  18446744073709551615, -99999999999999.999999, 99999, 3.5, -1.5e300, b'1', TRUE,
  '1000-01-01', '9999-12-31 23:59:59', '2038-01-19 03:14:07', '23:59:59', 2155,
  'café', 'Zoë 🌻 "quoted" \'apos\' back\\slash\nnew line\ttab', 'text ✒️ 李雷',
  REPEAT('long🍵', 5000), 'b', 'x,y', X'89504E470D0A1A0A00FF', REPEAT(X'00FF10', 40000)),
 (2, 127, 0, 32767, 0, 8388607, 2147483647, 0, 9223372036854775807, 0,
  0.000001, -99999, -0.25, 2.5e-300, b'0', FALSE,
  '2024-02-29', '2024-02-29 12:34:56', '1970-01-01 00:00:01', '00:00:00', 1901,
  '', '', ' ', 'x', 'a', '', X'00', X'7F'),
 (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);

CREATE TABLE customers (
    id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    email VARCHAR(120) NOT NULL,
    name VARCHAR(80) NOT NULL,
    balance DECIMAL(10,2) NOT NULL DEFAULT 0,
    UNIQUE KEY uq_email (email)
);
INSERT INTO customers (email, name, balance) VALUES
    ('zoe@example.org', 'Zoë Faßbender', 12.50), ('jose@example.org', 'José Núñez', -3.05),
    ('li@example.org', '李雷 🐉', 0);

CREATE TABLE paged (id INT PRIMARY KEY, label VARCHAR(30) NOT NULL, amount DECIMAL(8,1));
INSERT INTO paged WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 301)
    SELECT n, CONCAT('row ', n, ' ✓'), n * 1.5 FROM s;

CREATE TABLE `order-lines` (id INT PRIMARY KEY, qty INT);
INSERT INTO `order-lines` VALUES (1, 5), (2, 7);
CREATE TABLE `1st_table` (id INT PRIMARY KEY, v VARCHAR(5));
INSERT INTO `1st_table` VALUES (1, 'one');
CREATE TABLE a_table_name_of_forty_characters_exactly (id INT);
INSERT INTO a_table_name_of_forty_characters_exactly VALUES (40);
CREATE TABLE `Mixed` (id INT);
CREATE TABLE `mixed` (id INT);
INSERT INTO `Mixed` VALUES (1);
INSERT INTO `mixed` VALUES (2);
CREATE VIEW customer_names AS SELECT name FROM customers;
)sql";

// A second database: a table with a value DB2 cannot hold.
const char k_refusing_fixture[] = R"sql(
CREATE TABLE big (id INT PRIMARY KEY, n DECIMAL(40,0));
INSERT INTO big VALUES (1, 5), (2, 1234567890123456789012345678901234567890), (3, 7);
)sql";

// A third database: values that must arrive as they are, or be refused, never changed or lost.
const char k_fidelity_fixture[] = R"sql(
CREATE TABLE nullable_defaults (
    id INT PRIMARY KEY, n INT DEFAULT 5, s VARCHAR(10) DEFAULT 'dflt', d DATE DEFAULT '2020-01-02',
    dt DATETIME DEFAULT '2021-01-01 10:00:00', nn INT NOT NULL DEFAULT 7);
INSERT INTO nullable_defaults VALUES
    (1, NULL, NULL, NULL, NULL, 1), (2, 3, 'x', '2021-03-04', '0000-00-00 00:00:00', 2);

CREATE TABLE bytes (
    id INT PRIMARY KEY, b BINARY(4), vb VARBINARY(8), tb TEXT COLLATE utf8mb4_bin,
    vcb VARCHAR(10) COLLATE utf8mb4_bin);
INSERT INTO bytes VALUES
    (1, X'00FF', X'C328FF0000', 'Bin ✓ 🌻', 'héllo'), (2, 'ab', '', 'x', ''),
    (3, NULL, NULL, NULL, NULL);

CREATE TABLE clock (id INT PRIMARY KEY, t TIME NOT NULL, d DATE);
INSERT INTO clock VALUES
    (1, '10:00:00', '2024-01-01'), (2, '100:00:00', '2024-01-01'), (3, '-01:00:00', NULL),
    (4, '24:00:00', '2024-00-15'), (5, '24:00:00', NULL);

CREATE TABLE early (
    id INT PRIMARY KEY, d DATE DEFAULT '0001-01-01', dt DATETIME DEFAULT '0049-03-04 05:06:07');
INSERT INTO early VALUES
    (1, '0001-01-01', '0099-12-31 23:59:59'), (2, '0050-06-15', '0001-01-01 00:00:00'),
    (3, '2024-05-06', '1999-12-31 12:00:00');
)sql";

using qvx_test::outcome;
using qvx_test::read_text;
using qvx_test::write_text;

// Runs a program in `folder` with the stand-in's environment; returns its output and status.
outcome run_program(const std::string& program, const std::vector<std::string>& args,
                    const fs::path& folder) {
    return qvx_test::run_child(program, args, folder,
                               {{"DB2SIM_HOME", (folder / "db2").string()},
                                {"QVX_DB2_CLI", QVX_TEST_DB2SIM_LIB}});
}

// RFC 4180 as db2sim --csv writes it: an empty unquoted field is NULL, "" the empty text.
std::vector<row> parse_csv(const std::string& text) {
    std::vector<row> lines;
    row current;
    size_t pos = 0;
    while (pos < text.size()) {
        cell field;
        if (text[pos] == '"') {
            std::string value;
            ++pos;
            while (pos < text.size()) {
                if (text[pos] == '"' && pos + 1 < text.size() && text[pos + 1] == '"') {
                    value += '"';
                    pos += 2;
                } else if (text[pos] == '"') {
                    ++pos;
                    break;
                } else {
                    value += text[pos++];
                }
            }
            field = value;
        } else {
            size_t end = text.find_first_of(",\r\n", pos);
            if (end == std::string::npos) end = text.size();
            if (end > pos) field = text.substr(pos, end - pos);
            pos = end;
        }
        current.push_back(field);
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
            continue;
        }
        if (pos < text.size() && text[pos] == '\r') ++pos;
        ++pos;  // the line feed
        lines.push_back(std::move(current));
        current.clear();
    }
    return lines;
}

std::string env_or_empty(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The suite's MariaDB connection and its two fixture databases.
class mariadb_fixture {
public:
    ~mariadb_fixture() {
        if (handle_ == nullptr) return;
        for (const auto& name : databases_) execute("DROP DATABASE IF EXISTS `" + name + "`");
        mysql_close(handle_);
    }

    // Connects and loads the fixture; the text of what failed, empty on success.
    std::string open() {
        host_ = env_or_empty("QVX_MYSQL_HOST");
        port_ = env_or_empty("QVX_MYSQL_PORT");
        user_ = env_or_empty("QVX_MYSQL_USER");
        password_ = env_or_empty("QVX_MYSQL_PASSWORD");
        if (host_.empty() || port_.empty() || user_.empty())
            return "QVX_MYSQL_HOST, QVX_MYSQL_PORT and QVX_MYSQL_USER must name the test server "
                   "(scripts/mariadb start)";
        handle_ = mysql_init(nullptr);
        mysql_options(handle_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        if (mysql_real_connect(handle_, host_.c_str(), user_.c_str(), password_.c_str(), nullptr,
                               static_cast<unsigned>(std::atoi(port_.c_str())), nullptr,
                               CLIENT_MULTI_STATEMENTS) == nullptr)
            return std::string("cannot connect to MariaDB: ") + mysql_error(handle_);
        const std::string suffix = std::to_string(getpid());
        main_ = "qvx_e2e_" + suffix;
        refusing_ = "qvx_e2e_refusing_" + suffix;
        fidelity_ = "qvx_e2e_fidelity_" + suffix;
        for (const auto& [name, script] :
             {std::pair{main_, k_fixture}, std::pair{refusing_, k_refusing_fixture},
              std::pair{fidelity_, k_fidelity_fixture}}) {
            databases_.push_back(name);
            std::string failure = load(name, script);
            if (!failure.empty()) return failure;
        }
        return std::string();
    }

    // The rows of a table or SELECT as text, binary values in upper-case hexadecimal and bits
    // as numbers, so that they read as the stand-in prints them.
    rows select(const std::string& database, const std::string& table) {
        mysql_select_db(handle_, database.c_str());
        rows types =
            query("SELECT DATA_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = '" +
                  database + "' AND TABLE_NAME = '" + table + "' ORDER BY ORDINAL_POSITION");
        rows names =
            query("SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = '" +
                  database + "' AND TABLE_NAME = '" + table + "' ORDER BY ORDINAL_POSITION");
        std::string list;
        for (size_t column_idx = 0; column_idx < types.size(); ++column_idx) {
            const std::string& type = *types[column_idx][0];
            std::string column = "`" + *names[column_idx][0] + "`";
            if (type.find("blob") != std::string::npos || type.find("binary") != std::string::npos)
                column = "HEX(" + column + ")";
            if (type == "bit") column += " + 0";
            list += (list.empty() ? "" : ", ") + column;
        }
        return query("SELECT " + list + " FROM `" + table + "`");
    }

    rows query(const std::string& statement) {
        rows result;
        if (mysql_query(handle_, statement.c_str()) != 0) {
            ADD_FAILURE() << statement << ": " << mysql_error(handle_);
            return result;
        }
        MYSQL_RES* answer = mysql_store_result(handle_);
        if (answer == nullptr) return result;
        unsigned columns = mysql_num_fields(answer);
        while (MYSQL_ROW values = mysql_fetch_row(answer)) {
            unsigned long* lengths = mysql_fetch_lengths(answer);
            row line;
            for (unsigned column_idx = 0; column_idx < columns; ++column_idx) {
                if (values[column_idx] == nullptr)
                    line.push_back(std::nullopt);
                else
                    line.push_back(std::string(values[column_idx], lengths[column_idx]));
            }
            result.push_back(std::move(line));
        }
        mysql_free_result(answer);
        return result;
    }

    // The agent's MySQL options.
    std::vector<std::string> options() const {
        return {"--mysqlh=" + host_, "--port=" + port_, "--mysqlu=" + user_,
                "--mysqlp=" + password_};
    }

    const std::string& main_database() const { return main_; }
    const std::string& refusing_database() const { return refusing_; }
    const std::string& fidelity_database() const { return fidelity_; }
    const std::string& host() const { return host_; }
    const std::string& port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }

private:
    std::string load(const std::string& name, const char* script) {
        std::string text = "DROP DATABASE IF EXISTS `" + name + "`; CREATE DATABASE `" + name +
                           "` CHARACTER SET utf8mb4; USE `" + name + "`;" + script;
        if (mysql_query(handle_, text.c_str()) != 0)
            return "loading " + name + ": " + mysql_error(handle_);
        do {
            if (MYSQL_RES* answer = mysql_store_result(handle_)) mysql_free_result(answer);
            if (mysql_errno(handle_) != 0) return "loading " + name + ": " + mysql_error(handle_);
        } while (mysql_next_result(handle_) == 0);
        if (mysql_errno(handle_) != 0) return "loading " + name + ": " + mysql_error(handle_);
        return std::string();
    }

    void execute(const std::string& statement) { mysql_query(handle_, statement.c_str()); }

    MYSQL* handle_ = nullptr;
    std::string host_, port_, user_, password_;
    std::string main_, refusing_, fidelity_;
    std::vector<std::string> databases_;
};

// Values compare as text after bringing the stand-in's forms to MariaDB's: timestamps
// "yyyy-mm-dd-hh.mm.ss.ffffff" to "yyyy-mm-dd hh:mm:ss", and numbers in exponent form by value.
cell normalize_db2(const cell& value, const cell& mysql_value) {
    if (!value || !mysql_value) return value;
    std::string text = *value;
    if (text.size() == 26 && text[10] == '-' && text[13] == '.' && text[19] == '.') {
        text[10] = ' ';
        text[13] = ':';
        text[16] = ':';
        if (text.substr(19) == ".000000") text.resize(19);
        return text;
    }
    const std::string& expected = *mysql_value;
    if (text != expected && text.find_first_of("eE") != std::string::npos) {
        char* end = nullptr;
        double db2_number = std::strtod(text.c_str(), &end);
        double mysql_number = std::strtod(expected.c_str(), nullptr);
        if (*end == '\0' && db2_number == mysql_number) return expected;
    }
    return text;
}

class e2e_test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mariadb_ = new mariadb_fixture;
        setup_failure_ = new std::string(mariadb_->open());
    }
    static void TearDownTestSuite() {
        delete mariadb_;
        delete setup_failure_;
    }

    void SetUp() override {
        ASSERT_EQ("", *setup_failure_);
        std::string pattern = (fs::temp_directory_path() / "qvx_e2e_XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        folder_ = pattern;
        fs::create_directory(folder_ / "db2");
        outcome created = db2sim({"create", "E2E"});
        ASSERT_EQ(0, created.status) << created.err;
    }
    void TearDown() override {
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    outcome agent(const std::vector<std::string>& args) const {
        return run_program(QVXAGENT_PATH, args, folder_);
    }
    outcome db2sim(const std::vector<std::string>& args) const {
        return run_program(DB2SIM_PATH, args, folder_);
    }
    // The agent's options for a run of the main database into schema APP of the stand-in.
    std::vector<std::string> options(std::vector<std::string> more,
                                     const std::string& database = std::string()) const {
        std::vector<std::string> args = mariadb_->options();
        args.push_back("--dest=E2E");
        args.push_back("--src=" + (database.empty() ? mariadb_->main_database() : database));
        args.push_back("--db2schema=app");
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    // Runs a statement in the stand-in; the rows of a SELECT (the header line removed).
    rows db2_sql(const std::string& statement) const {
        outcome result = db2sim({"sql", "E2E", "--csv", statement});
        EXPECT_EQ(0, result.status) << statement << "\n" << result.err;
        rows lines = parse_csv(result.out);
        if (!lines.empty()) lines.erase(lines.begin());
        return lines;
    }
    rows db2_table(const std::string& table) const {
        return db2_sql("SELECT * FROM APP.\"" + table + "\"");
    }
    std::set<std::string> db2_tables() const {
        std::set<std::string> names;
        for (const row& line : db2_sql("SELECT TABNAME FROM SYSCAT.TABLES WHERE TABSCHEMA = 'APP'"))
            names.insert(*line[0]);
        return names;
    }

    // Every row of the MariaDB table arrived in the DB2 table with equal values (in any order).
    void expect_same_rows(const std::string& mysql_table, const std::string& db2_name,
                          const std::string& database = std::string()) const {
        rows expected =
            mariadb_->select(database.empty() ? mariadb_->main_database() : database, mysql_table);
        expect_rows(expected, db2_name);
    }
    void expect_rows(rows expected, const std::string& db2_name) const {
        rows arrived = db2_table(db2_name);
        ASSERT_EQ(expected.size(), arrived.size()) << db2_name;
        // The first column is a key in every fixture table: both sides sorted by it pair up.
        auto by_key = [](const row& a, const row& b) {
            auto key = [](const row& r) {
                return std::pair(r[0] ? std::atof(r[0]->c_str()) : 0.0, r[0]);
            };
            return key(a) < key(b);
        };
        std::sort(expected.begin(), expected.end(), by_key);
        std::sort(arrived.begin(), arrived.end(), by_key);
        for (size_t row_idx = 0; row_idx < expected.size(); ++row_idx) {
            ASSERT_EQ(expected[row_idx].size(), arrived[row_idx].size()) << db2_name;
            for (size_t column_idx = 0; column_idx < expected[row_idx].size(); ++column_idx)
                EXPECT_EQ(
                    expected[row_idx][column_idx],
                    normalize_db2(arrived[row_idx][column_idx], expected[row_idx][column_idx]))
                    << db2_name << " row " << row_idx << " column " << column_idx;
        }
    }

    std::string path(const char* name) const { return (folder_ / name).string(); }

    static mariadb_fixture* mariadb_;
    static std::string* setup_failure_;
    fs::path folder_;
};

mariadb_fixture* e2e_test::mariadb_ = nullptr;
std::string* e2e_test::setup_failure_ = nullptr;

// The whole database without a table list: every table arrives under its DB2 name with equal
// values, the view is not converted, keys and indexes come along.
TEST_F(e2e_test, whole_database_arrives_with_equal_values) {
    outcome result = agent(options({}));
    EXPECT_EQ(0, result.status) << result.out << result.err;
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0u,
              result.out.find("Converting database " + mariadb_->main_database() + " (8 tables)\n"))
        << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Converting table paged (301 records)\n"));
    EXPECT_NE(std::string::npos,
              result.out.find("Summary: 8 tables converted, 0 skipped, 0 failed; 313 records "
                              "copied, 0 refused\n"))
        << result.out;

    std::set<std::string> expected_names;
    for (const auto& [mysql_name, db2_name] : k_db2_names) expected_names.insert(db2_name);
    EXPECT_EQ(expected_names, db2_tables());
    for (const auto& [mysql_name, db2_name] : k_db2_names) expect_same_rows(mysql_name, db2_name);

    rows indexes = db2_sql(
        "SELECT COLNAMES, UNIQUERULE FROM SYSCAT.INDEXES WHERE TABSCHEMA = 'APP' AND TABNAME = "
        "'customers'");
    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ((rows{{"+email", "U"}, {"+id", "P"}}), indexes);
}

TEST_F(e2e_test, modes_treat_existing_tables_as_chosen) {
    write_text(path("tables.txt"), "customers\n");
    ASSERT_EQ(0, agent(options({"--tab_file=tables.txt"})).status);
    const std::string extra = "INSERT INTO APP.\"customers\" VALUES (99, 'x@y.z', 'extra', 1.00)";
    rows source = mariadb_->select(mariadb_->main_database(), "customers");
    rows with_extra = source;
    with_extra.push_back({"99", "x@y.z", "extra", "1.00"});

    // Skip leaves the table as it is.
    db2_sql(extra);
    outcome skipped = agent(options({"--tab_file=tables.txt", "--mode=2"}));
    EXPECT_EQ(0, skipped.status);
    EXPECT_EQ(std::string::npos, skipped.out.find("Converting table customers"));
    EXPECT_NE(std::string::npos, skipped.out.find("0 tables converted, 1 skipped, 0 failed"));
    expect_rows(with_extra, "customers");

    // Merge appends after the structure check.
    db2_sql("DELETE FROM APP.\"customers\" WHERE \"id\" < 99");
    EXPECT_EQ(0, agent(options({"--tab_file=tables.txt", "--mode=1"})).status);
    expect_rows(with_extra, "customers");

    // Overwrite drops the old rows.
    EXPECT_EQ(0, agent(options({"--tab_file=tables.txt", "--mode=0"})).status);
    expect_rows(source, "customers");

    // Merge refuses a table of another structure and leaves it alone; the run goes on.
    db2_sql("DROP TABLE APP.\"customers\"");
    db2_sql("CREATE TABLE APP.\"customers\" (\"x\" INTEGER)");
    db2_sql("INSERT INTO APP.\"customers\" VALUES (1)");
    write_text(path("tables.txt"), "customers\n1st_table\n");
    outcome refused = agent(options({"--tab_file=tables.txt", "--mode=1"}));
    EXPECT_EQ(0, refused.status);
    EXPECT_NE(std::string::npos,
              refused.out.find("Error:\ncustomers: The structure of data source does not conform "
                               "to the destination table.\n"))
        << refused.out;
    expect_rows({{"1"}}, "customers");
    expect_same_rows("1st_table", "A1st_table");
}

TEST_F(e2e_test, definitions_only_and_skipped_indexes) {
    write_text(path("tables.txt"), "customers\nrisky\n");
    ASSERT_EQ(0, agent(options({"--tab_file=tables.txt", "--tab_def"})).status);
    EXPECT_EQ((std::set<std::string>{"customers", "risky"}), db2_tables());
    expect_rows({}, "customers");
    expect_rows({}, "risky");
    const std::string indexes = "SELECT INDNAME FROM SYSCAT.INDEXES WHERE TABSCHEMA = 'APP'";
    EXPECT_EQ(3u, db2_sql(indexes).size());

    // Overwritten without their indexes, and filled this time.
    ASSERT_EQ(0, agent(options({"--tab_file=tables.txt", "--skip_idx"})).status);
    EXPECT_TRUE(db2_sql(indexes).empty());
    expect_same_rows("customers", "customers");
}

TEST_F(e2e_test, a_listed_table_missing_in_mysql_is_reported_and_skipped) {
    write_text(path("tables.txt"), "customers\nnosuch\n1st_table\n");
    outcome result = agent(options({"--tab_file=tables.txt"}));
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("Table nosuch not exists\n", result.err);
    EXPECT_NE(std::string::npos, result.out.find("2 tables converted, 0 skipped, 1 failed"));
    expect_same_rows("customers", "customers");
    expect_same_rows("1st_table", "A1st_table");

    // --silent: not a line, not even the summary.
    outcome silent = agent(options({"--tab_file=tables.txt", "--silent"}));
    EXPECT_EQ(0, silent.status);
    EXPECT_EQ("", silent.out);
    EXPECT_EQ("", silent.err);
}

// A profile holds everything (a multi-line named query too); a table-names file adds to its
// selection in either order; options after the profile override it, the connection options of
// the command line are not used at all.
TEST_F(e2e_test, profiles_alone_with_a_table_file_and_with_options) {
    const std::string query = "SELECT id, name\\nFROM customers\\r\\nWHERE id > 1";
    write_text(path("run.qvx"),
               "[DB2 settings]\r\nschema=app\r\n\r\n"
               "[Generic settings]\r\nsrc=" +
                   mariadb_->main_database() +
                   "\r\ndest=E2E\r\n\r\n"
                   "[MySQL settings]\r\nhost=" +
                   mariadb_->host() + "\r\nport=" + mariadb_->port() +
                   "\r\nuser=" + mariadb_->user() + "\r\npassword=" + mariadb_->password() +
                   "\r\n\r\n"
                   "[Selected Tables]\r\ncustomers\r\nlater_customers={qvx-escaped}" +
                   query + "\r\n");
    outcome alone = agent({"--profile=run.qvx"});
    EXPECT_EQ(0, alone.status) << alone.out;
    EXPECT_EQ((std::set<std::string>{"customers", "later_customers"}), db2_tables());
    expect_same_rows("customers", "customers");
    expect_rows(mariadb_->query("SELECT id, name FROM `" + mariadb_->main_database() +
                                "`.customers WHERE id > 1"),
                "later_customers");

    write_text(path("tables.txt"), "1st_table\n");
    for (const auto& order :
         {std::vector<std::string>{"--profile=run.qvx", "--tab_file=tables.txt"},
          std::vector<std::string>{"--tab_file=tables.txt", "--profile=run.qvx"}}) {
        outcome both = agent(order);
        EXPECT_EQ(0, both.status) << both.out;
        EXPECT_NE(std::string::npos, both.out.find("3 tables converted"))
            << order[0] << both.out << both.err;
        expect_same_rows("1st_table", "A1st_table");
    }

    // Later options override the profile; its connection settings stand.
    ASSERT_EQ(0, db2sim({"create", "OTHER"}).status);
    outcome overridden = agent({"--src=nosuch", "--profile=run.qvx", "--dest=OTHER",
                                "--db2user=nobody", "--mysqlp=wrong", "--db2schema=elsewhere"});
    EXPECT_EQ(0, overridden.status) << overridden.out;
    outcome other = db2sim({"sql", "OTHER", "--csv", "SELECT COUNT(*) FROM APP.\"customers\""});
    EXPECT_EQ("1\r\n3\r\n", other.out) << other.err;
}

TEST_F(e2e_test, a_record_db2_refuses_is_reported_and_the_copy_goes_on) {
    outcome result = agent(options({}, mariadb_->refusing_database()));
    EXPECT_EQ(0, result.status);
    EXPECT_NE(std::string::npos, result.out.find("Error:\nbig, record #2: ")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Overflow")) << result.out;
    EXPECT_NE(std::string::npos,
              result.out.find("1 tables converted, 0 skipped, 0 failed; 2 records copied, 1 "
                              "refused\n"))
        << result.out;
    expect_rows({{"1", "5"}, {"3", "7"}}, "big");
}

// NULL stays NULL where the column has a default; binary columns arrive as their bytes while
// _bin collations stay text; a value DB2 cannot hold is refused for its record, never stored as
// NULL or as the default; years below 100 stay what they are, in values and in defaults.
TEST_F(e2e_test, values_arrive_unchanged_or_are_refused) {
    outcome result = agent(options({}, mariadb_->fidelity_database()));
    EXPECT_EQ(0, result.status);
    for (const char* refusal : {
             "clock, record #2: Value of column \"t\" cannot be stored: '100:00:00'.\n",
             "clock, record #3: Value of column \"t\" cannot be stored: '-01:00:00'.\n",
             "clock, record #4: Value of column \"d\" cannot be stored: '2024-00-15'.\n",
         })
        EXPECT_NE(std::string::npos, result.out.find(refusal)) << refusal << result.out;
    EXPECT_NE(std::string::npos,
              result.out.find("4 tables converted, 0 skipped, 0 failed; 10 records copied, 3 "
                              "refused\n"))
        << result.out;

    // NULL in a nullable column with a default, and the zero date, arrive as NULL.
    expect_rows({{"1", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "1"},
                 {"2", "3", "x", "2021-03-04", std::nullopt, "2"}},
                "nullable_defaults");

    expect_same_rows("bytes", "bytes", mariadb_->fidelity_database());
    const std::string columns =
        "FROM SYSCAT.COLUMNS WHERE TABSCHEMA = 'APP' AND TABNAME = 'bytes' AND COLNO > 0 ";
    EXPECT_EQ((rows{{"b", "VARCHAR", "0"}, {"vb", "VARCHAR", "0"}, {"tb", "CLOB", "1208"},
                    {"vcb", "VARGRAPHIC", "1200"}}),
              db2_sql("SELECT COLNAME, TYPENAME, CODEPAGE " + columns + "ORDER BY COLNO"))
        << "code page 0: FOR BIT DATA";
    EXPECT_EQ((rows{{"4"}, {"8"}}),
              db2_sql("SELECT LENGTH " + columns + "AND CODEPAGE = 0 ORDER BY COLNO"));

    expect_rows({{"1", "10:00:00", "2024-01-01"}, {"5", "24:00:00", std::nullopt}}, "clock");

    expect_same_rows("early", "early", mariadb_->fidelity_database());
    db2_sql("INSERT INTO APP.\"early\" (\"id\") VALUES (4)");
    EXPECT_EQ((rows{{"0001-01-01", "0049-03-04-05.06.07.000000"}}),
              db2_sql("SELECT \"d\", \"dt\" FROM APP.\"early\" WHERE \"id\" = 4"));
}

// Failures before the run: reported by the error handler, nothing converted, status -1.
TEST_F(e2e_test, connection_failures_end_the_agent) {
    std::vector<std::string> wrong_password = options({"--mysqlp=wrong-password"});
    outcome refused = agent(wrong_password);
    EXPECT_EQ(255, refused.status);
    EXPECT_EQ(
        "Error:\nAccess denied. Verify the user name and password are correct, and you have the "
        "necessary privileges to connect to the target MySQL server.\n",
        refused.out);
    EXPECT_TRUE(db2_tables().empty());

    outcome unknown = agent(options({"--dest=NOSUCH"}));
    EXPECT_EQ(255, unknown.status);
    EXPECT_EQ(0u, unknown.out.find("Error:\n")) << unknown.out;
    EXPECT_NE(std::string::npos, unknown.out.find("NOSUCH")) << unknown.out;
    EXPECT_EQ("", unknown.err);
}

}  // namespace
