// Whole conversions through the wizard: from a private MariaDB database into a fresh stand-in
// DB2 database, once driven page by page as a user would, once by quick launch with a profile.
// The MariaDB server comes from the test script (QVX_MYSQL_*); without it these tests fail.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <unistd.h>

#include "gui/g_finish.h"
#include "gui/tk_regq.h"
#include "gui_harness.h"
#include "tk/tk_utils.h"

namespace {
const char k_db2_user[] = "qvx";
const char k_db2_password[] = "secret";

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Runs a program; its standard output, or a failure of the test with its error output.
QString run_tool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString()
                      << ": " << process.readAllStandardError().toStdString();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

class server_fixture : public wizard_fixture {
protected:
    void SetUp() override {
        for (const char* name : {"QVX_MYSQL_HOST", "QVX_MYSQL_PORT", "QVX_MYSQL_USER"})
            ASSERT_FALSE(env(name).empty()) << name << " is not set: start scripts/mariadb";
        if (std::getenv("QVX_DB2_CLI") == nullptr) setenv("QVX_DB2_CLI", QVX_TEST_DB2SIM_LIB, 1);
        if (std::getenv("DB2SIM_HOME") == nullptr) {
            home_ = std::make_unique<QTemporaryDir>();
            setenv("DB2SIM_HOME", home_->path().toLocal8Bit().constData(), 1);
        }
        suffix_ = std::to_string(::getpid());
        database_ = "qvx_gui_" + suffix_;
        alias_ = "G" + suffix_;
        mysql("DROP DATABASE IF EXISTS " + database_ + "; CREATE DATABASE " + database_ +
              " CHARACTER SET utf8mb4; USE " + database_ +
              "; CREATE TABLE customers (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(40) "
              "NOT NULL, city VARCHAR(30)) ENGINE=InnoDB;"
              " INSERT INTO customers (name, city) VALUES ('Zoë Ørsted', 'Århus'), ('Ann', NULL);"
              " CREATE TABLE orders (id INT PRIMARY KEY, customer_id INT, total DECIMAL(10,2),"
              " placed DATETIME, INDEX by_customer (customer_id));"
              " INSERT INTO orders VALUES (1, 1, 12.50, '2024-02-29 13:45:00'),"
              " (2, 2, 7.25, '2023-12-31 23:59:59'), (3, 1, 100.00, NULL);");
        db2sim({"drop", alias_.c_str()}, true);
        db2sim({"create", alias_.c_str(), "--user", k_db2_user, "--password", k_db2_password});
        db2_sql("CREATE TABLE GUISHOP.MARKER (ID INTEGER)");
        wizard_fixture::SetUp();
    }

    void TearDown() override {
        wizard_fixture::TearDown();
        mysql("DROP DATABASE IF EXISTS " + database_);
        db2sim({"drop", alias_.c_str()}, true);
    }

    void mysql(const std::string& statements) {
        QStringList arguments = {"--no-defaults", "--batch", "-h", env("QVX_MYSQL_HOST").c_str(),
                                 "-P", env("QVX_MYSQL_PORT").c_str(),
                                 "-u", env("QVX_MYSQL_USER").c_str(),
                                 QString("-p") + env("QVX_MYSQL_PASSWORD").c_str(),
                                 "-e", QString::fromStdString(statements)};
        run_tool("mariadb", arguments);
    }

    void db2sim(const QStringList& arguments, bool may_fail = false) {
        QProcess process;
        process.start(QVX_TEST_DB2SIM_BIN, arguments);
        process.waitForFinished(60000);
        if (!may_fail) {
            EXPECT_EQ(0, process.exitCode()) << process.readAllStandardError().toStdString();
        }
    }

    // The rows of a DB2 query as CSV lines.
    QStringList db2_sql(const std::string& statement) {
        QString out = run_tool(QVX_TEST_DB2SIM_BIN,
                               {"sql", alias_.c_str(), "--user", k_db2_user, "--password",
                                k_db2_password, "--csv", statement.c_str()});
        QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        for (QString& line : lines)
            if (line.endsWith('\r')) line.chop(1);
        return lines;
    }

    // Keeps the event loop going until the finish page shows (at most a minute).
    bool wait_for_finish_page() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            if (dynamic_cast<gui_finish_page*>(sheet().currentPage()) != nullptr) return true;
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return false;
    }

    std::unique_ptr<QTemporaryDir> home_;
    std::string suffix_;
    std::string database_;
    std::string alias_;
};

// The rows of the converted tables, as the stand-in prints them.
void expect_converted_rows(const QStringList& customers, const QStringList& orders) {
    ASSERT_EQ(3, customers.size()) << customers.join('|').toStdString();
    EXPECT_TRUE(customers[1].contains("Zoë Ørsted") && customers[1].contains("Århus"))
        << customers[1].toStdString();
    EXPECT_TRUE(customers[2].startsWith("2,Ann,")) << customers[2].toStdString();
    ASSERT_EQ(4, orders.size()) << orders.join('|').toStdString();
    EXPECT_TRUE(orders[1].contains("12.5") && orders[1].contains("2024-02-29"))
        << orders[1].toStdString();
    EXPECT_TRUE(orders[3].startsWith("3,1,100")) << orders[3].toStdString();
}
}  // namespace

TEST_F(server_fixture, a_user_walks_all_five_steps_into_db2) {
    open_wizard();
    press_next();

    // Step 1: the server, remote with the test port.
    auto* mysql_page = page<sql_settings_page2>();
    mysql_page->control<QRadioButton>(1330)->click();
    mysql_page->control<QLineEdit>(1014)->setText(env("QVX_MYSQL_HOST").c_str());
    mysql_page->control<QLineEdit>(1015)->setText("abc");
    mysql_page->control<QLineEdit>(1012)->setText(env("QVX_MYSQL_USER").c_str());
    mysql_page->control<QLineEdit>(1013)->setText(env("QVX_MYSQL_PASSWORD").c_str());
    seen_box bad_port = box_of([this] { press_next(); });
    EXPECT_EQ("Invalid port number", bad_port.text);
    ASSERT_EQ(mysql_page, sheet().currentPage());
    mysql_page->control<QLineEdit>(1015)->setText(env("QVX_MYSQL_PORT").c_str());
    mysql_page->control<QLineEdit>(1013)->setText("wrong password");
    seen_box denied = box_of([this] { press_next(); });
    EXPECT_TRUE(denied.text.startsWith("Access denied. Verify the user name and password are "
                                       "correct, and you have\nthe necessary"))
        << denied.text.toStdString();
    ASSERT_EQ(mysql_page, sheet().currentPage());
    mysql_page->control<QLineEdit>(1013)->setText(env("QVX_MYSQL_PASSWORD").c_str());
    press_next();
    ASSERT_NE(nullptr, dynamic_cast<db2_settings_page2*>(sheet().currentPage()));

    // Step 2: the stand-in database.
    auto* db2_page = page<db2_settings_page2>();
    db2_page->control<QLineEdit>(1014)->setText(alias_.c_str());
    db2_page->control<QLineEdit>(1012)->setText(k_db2_user);
    db2_page->control<QLineEdit>(1013)->setText(k_db2_password);
    press_next();
    ASSERT_NE(nullptr, dynamic_cast<sel_file_page*>(sheet().currentPage()));

    // Step 3: the database list comes behind the wait dialog; an unknown name is refused.
    auto* settings = page<sel_file_page>();
    auto* databases = settings->control<QComboBox>(1302);
    databases->showPopup();
    databases->hidePopup();
    EXPECT_TRUE(settings->databases_fetched());
    EXPECT_GE(databases->findText(database_.c_str()), 0);
    auto* schemas = settings->control<QListWidget>(1317);
    QList<QListWidgetItem*> shop = schemas->findItems("GUISHOP", Qt::MatchExactly);
    ASSERT_EQ(1, shop.size());
    schemas->setCurrentItem(shop[0]);
    databases->setEditText("no_such_database_here");
    seen_box unknown = box_of([this] { press_next(); });
    EXPECT_EQ("MySQL database does not exist", unknown.text);
    databases->setEditText(database_.c_str());
    press_next();
    ASSERT_NE(nullptr, dynamic_cast<sel_tables_page*>(sheet().currentPage()));

    // Step 4: both tables and one query.
    auto* tables = page<sel_tables_page>();
    EXPECT_EQ(2, tables->control<QListWidget>(1317)->count());
    tables->on_add_all();
    // The dialog's Test Query runs the statement on the server first.
    QWidget* query_dialog = nullptr;
    seen_box tested;
    auto press_later = [](QWidget* dialog, const char* id) {
        QTimer::singleShot(0, dialog, [dialog, id] { dialog->findChild<QPushButton*>(id)->click(); });
    };
    modal_script query({
        [&](QWidget* modal) {
            query_dialog = modal;
            modal->findChild<QLineEdit*>("1019")->setText("big_orders");
            modal->findChild<QPlainTextEdit*>("1020")->setPlainText(
                "  SELECT id, total FROM orders WHERE total > 10");
            press_later(modal, "129");
        },
        [&](QWidget* modal) {
            answer_box(tested)(modal);
            press_later(query_dialog, "1");
        },
    });
    query.run([&] { tables->on_add_query(); });
    EXPECT_EQ("The query is correct.", tested.text);
    press_next();

    // Step 5 runs on its own and hands over to the finish page.
    ASSERT_TRUE(wait_for_finish_page());
    EXPECT_TRUE(shell_->errors().empty()) << shell_->errors().front();
    EXPECT_FALSE(page<gui_finish_page>()->control<QPlainTextEdit>(1016)->isVisibleTo(
        page<gui_finish_page>()));
    EXPECT_FALSE(sheet().button(QWizard::CancelButton)->isEnabled());

    expect_converted_rows(
        db2_sql("SELECT \"id\", \"name\", \"city\" FROM GUISHOP.\"customers\" ORDER BY \"id\""),
        db2_sql("SELECT \"id\", \"customer_id\", \"total\", \"placed\" FROM GUISHOP.\"orders\" "
                "ORDER BY \"id\""));
    QStringList big = db2_sql("SELECT \"id\" FROM GUISHOP.\"big_orders\" ORDER BY \"id\"");
    EXPECT_EQ(QStringList({"id", "1", "3"}), big);
}

// Quick launch: the program's own start-up with a profile converts without any input and opens
// on the progress page; the test only presses Finish.
TEST_F(server_fixture, quick_launch_converts_a_profile_without_input) {
    conv_->store_mysql_settings(env("QVX_MYSQL_HOST"), env("QVX_MYSQL_USER"),
                                env("QVX_MYSQL_PASSWORD"), env("QVX_MYSQL_PORT"));
    conv_->store_db2_settings(tk_u16(alias_), tk_u16(k_db2_user), tk_u16(k_db2_password));
    conv_->set_schema(u"guishop");
    conv_->set_source_name(tk_u16(database_));
    conv_->tables_and_queries() = {{u"customers", u""}, {u"orders", u""}};
    QTemporaryDir folder;
    std::string profile = folder.path().toStdString() + "/shop.qvx";
    conv_->store_profile(tk_u16(profile));
    close_wizard();  // quorvex_main makes its own handler, converter and sheet

    std::vector<int> visited;
    bool back_seen = false;
    QTimer finisher;
    QObject::connect(&finisher, &QTimer::timeout, [&] {
        if (!wizard_shell::has_instance()) return;
        wizard_sheet& sheet = wizard_shell::get_instance().sheet();
        auto* current = dynamic_cast<wizard_page*>(sheet.currentPage());
        if (current == nullptr) return;
        if (visited.empty() || visited.back() != current->dialog_id())
            visited.push_back(current->dialog_id());
        // Back must do nothing on either page, however the sheet shows it.
        sheet.button(QWizard::BackButton)->click();
        back_seen = back_seen || dynamic_cast<wizard_page*>(sheet.currentPage()) != current;
        if (current->dialog_id() == 116) sheet.button(QWizard::FinishButton)->click();
    });
    finisher.start(20);
    quorvex_main(profile);
    finisher.stop();

    EXPECT_EQ(std::vector<int>({107, 116}), visited);
    EXPECT_FALSE(back_seen);
    expect_converted_rows(
        db2_sql("SELECT \"id\", \"name\", \"city\" FROM GUISHOP.\"customers\" ORDER BY \"id\""),
        db2_sql("SELECT \"id\", \"customer_id\", \"total\", \"placed\" FROM GUISHOP.\"orders\" "
                "ORDER BY \"id\""));
}

TEST_F(server_fixture, stored_schema_selects_the_first_schema_it_begins) {
    db2_sql("CREATE TABLE DBADMIN.T (ID INTEGER)");
    db2_sql("CREATE TABLE DB2INST1.T (ID INTEGER)");
    conv_->store_db2_settings(tk_u16(alias_), tk_u16(k_db2_user), tk_u16(k_db2_password));
    conv_->connect_db2_server(tk_u16(alias_));
    open_wizard();
    auto* settings = page<sel_file_page>();
    auto* schemas = settings->control<QListWidget>(1317);
    struct schema_case {
        const char16_t* stored;
        const char* selected;
    };
    const schema_case cases[] = {{u"db", "DB2INST1"}, {u"DBA", "DBADMIN"}, {u"NONE", "DB2INST1"}};
    for (const auto& c : cases) {
        conv_->set_schema(c.stored);
        settings->page_init();
        ASSERT_NE(nullptr, schemas->currentItem()) << c.selected;
        EXPECT_EQ(c.selected, schemas->currentItem()->text()) << c.selected;
    }
    conv_->set_schema(u"");
    settings->page_init();
    EXPECT_EQ(nullptr, schemas->currentItem());
}

// Cancel while a table is half copied: the wizard closes at once and the run stops at the next
// record instead of copying the rest.
TEST_F(server_fixture, cancel_during_the_copy_closes_without_waiting_for_the_rest) {
    const int rows = 200000;
    mysql("USE " + database_ + "; CREATE TABLE numbers (n INT PRIMARY KEY, label VARCHAR(20));"
          " INSERT INTO numbers SELECT seq, CONCAT('row ', seq) FROM seq_1_to_" +
          std::to_string(rows) + ";");
    conv_->store_mysql_settings(env("QVX_MYSQL_HOST"), env("QVX_MYSQL_USER"),
                                env("QVX_MYSQL_PASSWORD"), env("QVX_MYSQL_PORT"));
    conv_->store_db2_settings(tk_u16(alias_), tk_u16(k_db2_user), tk_u16(k_db2_password));
    conv_->set_schema(u"GUISHOP");
    conv_->set_source_name(tk_u16(database_));
    conv_->set_selected_tables({u"numbers"});
    conv_->connect_mysql_server();
    conv_->connect_db2_server(tk_u16(alias_));
    open_wizard(true);
    auto* progress = page<progress_page>();
    ASSERT_EQ(progress, sheet().currentPage());

    QElapsedTimer clock;
    clock.start();
    auto* status = progress->control<QLabel>(1323);
    while ((conv_->current_record() < 1000 || status->text().isEmpty()) && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(conv_->finished()) << "the copy ended before it could be cancelled";
    EXPECT_EQ("Processing table 'numbers'", status->text());

    clock.restart();
    seen_box asked = box_of([this] { sheet().reject(); }, QMessageBox::Yes);
    EXPECT_EQ("Are you sure you want to exit the wizard?", asked.text);
    EXPECT_FALSE(sheet().isVisible());
    EXPECT_FALSE(progress->is_converting());
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(conv_->finished());
    QStringList copied = db2_sql("SELECT COUNT(*) FROM GUISHOP.\"numbers\"");
    ASSERT_EQ(2, copied.size());
    EXPECT_LT(copied[1].toInt(), rows);
}
