// The pages of the wizard: order, headers and buttons, the boxes and their captions, the
// connection page's Local/Remote switch, the checks of steps 3 and 4, moving tables between the
// lists, the Add Query dialog and the finish page.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "gui/g_finish.h"
#include "gui_harness.h"

namespace {
const QString k_caption = "Tarnbridge 1.0 ";

QStringList items(const QListWidget* list) {
    QStringList names;
    for (int row = 0; row < list->count(); ++row) names << list->item(row)->text();
    return names;
}

bool usable(QAbstractButton* button) { return button->isVisible() && button->isEnabled(); }
}  // namespace

TEST_F(wizard_fixture, pages_come_in_order_with_headers_and_buttons) {
    open_wizard();
    struct expected_page {
        int dialog;
        const char* title;
        const char* subtitle;
    };
    const expected_page expected[] = {
        {103, "", ""},
        {123, "Step 1 of 5", "Connect to MySQL server"},
        {131, "Step 2 of 5", "Connect to IBM DB2 server"},
        {106, "Step 3 of 5", "Conversion Settings"},
        {127, "Step 4 of 5", "Select tables to convert"},
        {107, "Step 5 of 5", "Database conversion is in progress"},
        {116, "", ""},
    };
    QList<int> ids = sheet().pageIds();
    ASSERT_EQ(7, ids.size());
    for (int index = 0; index < 7; ++index) {
        auto* page = dynamic_cast<wizard_page*>(sheet().page(ids[index]));
        ASSERT_NE(nullptr, page) << index;
        EXPECT_EQ(expected[index].dialog, page->dialog_id()) << index;
        EXPECT_EQ(expected[index].title, page->title()) << index;
        EXPECT_EQ(expected[index].subtitle, page->subTitle()) << index;
    }
    EXPECT_EQ(k_caption, sheet().windowTitle());

    // The welcome page offers only Next; step 1 Back and Next; Back returns.
    EXPECT_FALSE(usable(sheet().button(QWizard::BackButton)));
    EXPECT_TRUE(usable(sheet().button(QWizard::NextButton)));
    EXPECT_TRUE(usable(sheet().button(QWizard::CancelButton)));
    press_next();
    ASSERT_NE(nullptr, dynamic_cast<sql_settings_page2*>(sheet().currentPage()));
    EXPECT_TRUE(usable(sheet().button(QWizard::BackButton)));
    EXPECT_TRUE(usable(sheet().button(QWizard::NextButton)));
    press_back();
    EXPECT_NE(nullptr, dynamic_cast<welcome_page*>(sheet().currentPage()));
}

TEST_F(wizard_fixture, box_captions_follow_the_first_activation) {
    shell_ = std::make_unique<wizard_shell>(wizard_title(), 501, 311, 312);
    add_wizard_pages(*shell_, false);
    seen_box unset = box_of([this] { shell_->error(u"before the sheet"); });
    EXPECT_EQ("Error", unset.title);
    EXPECT_EQ(nullptr, unset.parent);
    EXPECT_EQ(QMessageBox::Critical, unset.icon);

    sheet().show();
    settle();
    struct caption_case {
        const char* name;
        std::function<void()> show;
        QString caption;
        QMessageBox::Icon icon;
    };
    const caption_case cases[] = {
        {"error", [this] { shell_->error(u"e"); }, k_caption + " Error", QMessageBox::Critical},
        {"message", [this] { shell_->message(u"m"); }, k_caption + " Message",
         QMessageBox::Information},
        {"question", [this] { shell_->question(u"q", true); }, k_caption + " Question",
         QMessageBox::Question},
    };
    for (const auto& c : cases) {
        seen_box seen = box_of(c.show, c.icon == QMessageBox::Question ? QMessageBox::No
                                                                        : QMessageBox::Ok);
        EXPECT_EQ(c.caption, seen.title) << c.name;
        EXPECT_EQ(c.icon, seen.icon) << c.name;
        EXPECT_EQ(&sheet(), seen.parent) << c.name;
    }
}

TEST_F(wizard_fixture, cancel_asks_and_no_keeps_the_page) {
    open_wizard();
    press_next();
    seen_box asked = box_of([this] { sheet().reject(); }, QMessageBox::No);
    EXPECT_EQ("Are you sure you want to exit the wizard?", asked.text);
    EXPECT_EQ("&No", asked.default_button);
    EXPECT_TRUE(sheet().isVisible());
    EXPECT_NE(nullptr, dynamic_cast<sql_settings_page2*>(sheet().currentPage()));

    box_of([this] { sheet().reject(); }, QMessageBox::Yes);
    EXPECT_FALSE(sheet().isVisible());
    EXPECT_EQ(QDialog::Rejected, sheet().result());
}

TEST_F(wizard_fixture, help_opens_the_topic_page_or_says_it_is_missing) {
    open_wizard();
    press_next();  // step 1: topic 1017
    QTemporaryDir help;
    QFile page(help.path() + "/1017.html");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    shell_->set_help_folder(help.path());
    emit sheet().helpRequested();
    ASSERT_EQ(1u, urls_.urls.size());
    EXPECT_EQ(QUrl::fromLocalFile(help.path() + "/1017.html"), urls_.urls[0]);

    shell_->set_help_folder(help.path() + "/missing");
    seen_box missing = box_of([this] { emit sheet().helpRequested(); });
    EXPECT_EQ("Help file does not exist. Reinstall the program.", missing.text);
    EXPECT_EQ(k_caption + " Error", missing.title);
    EXPECT_EQ(1u, urls_.urls.size());
}

TEST_F(wizard_fixture, every_help_topic_ships_beside_the_program) {
    open_wizard();
    for (int topic : {0, 1001, 1013, 1015, 1017, 1018, 1019, 1022}) {
        QString file = topic == 0 ? "index.html" : QString::number(topic) + ".html";
        EXPECT_TRUE(QFile::exists(shell_->help_folder() + "/" + file)) << topic;
    }
}

TEST_F(wizard_fixture, local_ignores_host_and_port_remote_uses_them) {
    open_wizard();
    press_next();
    auto* mysql = page<sql_settings_page2>();
    auto* local = mysql->control<QRadioButton>(1329);
    auto* remote = mysql->control<QRadioButton>(1330);
    auto* host = mysql->control<QLineEdit>(1014);
    auto* port = mysql->control<QLineEdit>(1015);
    EXPECT_TRUE(local->isChecked());  // no host saved: Local
    EXPECT_FALSE(host->isEnabled());
    EXPECT_FALSE(port->isEnabled());

    QTest::mouseClick(remote, Qt::LeftButton);
    EXPECT_TRUE(host->isEnabled());
    EXPECT_TRUE(port->isEnabled());
    host->setText(" db.example ");
    port->setText("3307");
    mysql->control<QLineEdit>(1012)->setText("ann");
    mysql->store_settings();
    EXPECT_EQ("db.example", conv_->mysql_host());
    EXPECT_EQ("3307", conv_->mysql_port());

    QTest::mouseClick(local, Qt::LeftButton);
    EXPECT_FALSE(host->isEnabled());
    mysql->store_settings();
    EXPECT_EQ("", conv_->mysql_host());
    EXPECT_EQ("3306", conv_->mysql_port());
    EXPECT_EQ("ann", conv_->mysql_user());

    // A saved host opens the page in Remote mode with the saved values.
    conv_->store_mysql_settings("db.example", "ann", "", "3310");
    mysql->page_init();
    EXPECT_TRUE(remote->isChecked());
    EXPECT_EQ("3310", port->text());
}

TEST_F(wizard_fixture, settings_page_asks_for_database_and_schema) {
    open_wizard();
    auto* settings = page<sel_file_page>();
    auto* database = settings->control<QComboBox>(1302);
    auto* schemas = settings->control<QListWidget>(1317);
    struct check_case {
        const char* name;
        QString database;
        bool schema_selected;
        QString message;
    };
    schemas->addItem("DB2INST1");
    const check_case cases[] = {
        {"no database", "", true, "You should enter MySQL database name"},
        {"no schema", "shop", false, "You should enter DB2 schema name"},
    };
    for (const auto& c : cases) {
        database->setEditText(c.database);
        schemas->setCurrentRow(c.schema_selected ? 0 : -1);
        schemas->item(0)->setSelected(c.schema_selected);
        seen_box seen = box_of([&] { EXPECT_EQ(-1, settings->on_next()) << c.name; });
        EXPECT_EQ(c.message, seen.text) << c.name;
        EXPECT_EQ(QMessageBox::Information, seen.icon) << c.name;
    }
    EXPECT_EQ(u"shop", conv_->source_name());
}

TEST_F(wizard_fixture, tables_move_between_the_lists_and_queries_keep_their_text) {
    open_wizard();
    auto* tables = page<sel_tables_page>();
    auto* available = tables->control<QListWidget>(1317);
    auto* selected = tables->control<QListWidget>(1318);
    conv_->tables_and_queries()[u"big_orders"] = u"SELECT * FROM orders WHERE total > 100";
    conv_->available_queries()[u"cheap"] = u"SELECT * FROM products WHERE price < 1";
    tables->show_names({u"orders", u"customers", u"products"});
    EXPECT_EQ(QStringList({"cheap", "customers", "orders", "products"}), items(available));
    EXPECT_EQ(QStringList({"big_orders"}), items(selected));
    EXPECT_TRUE(tables->control<QPushButton>(1114)->isVisibleTo(tables));

    available->setCurrentRow(0);  // cheap, a query
    tables->on_add();
    EXPECT_EQ(1u, tables->selected_queries().count(u"cheap"));
    EXPECT_EQ(0u, tables->unselected_queries().count(u"cheap"));
    EXPECT_EQ("customers", available->currentItem()->text());
    tables->on_add();  // customers
    EXPECT_EQ(QStringList({"big_orders", "cheap", "customers"}), items(selected));

    selected->setCurrentRow(1);  // cheap goes back to the available queries
    tables->on_delete();
    EXPECT_EQ(1u, tables->unselected_queries().count(u"cheap"));
    EXPECT_EQ("customers", selected->currentItem()->text());

    tables->on_add_all();
    EXPECT_EQ(0, available->count());
    EXPECT_EQ(0, selected->currentRow());
    ASSERT_EQ(0, tables->on_next());
    EXPECT_EQ((std::vector<std::u16string>{u"customers", u"orders", u"products"}),
              conv_->selected_tables());
    EXPECT_EQ(2u, conv_->tables_and_queries().size());
    EXPECT_TRUE(conv_->available_queries().empty());

    tables->on_del_all();
    EXPECT_EQ(0, selected->count());
    EXPECT_EQ(5, available->count());
}

TEST_F(wizard_fixture, nothing_selected_asks_unless_there_is_nothing_to_select) {
    open_wizard();
    auto* tables = page<sel_tables_page>();
    tables->show_names({u"orders"});
    seen_box asked = box_of([&] { EXPECT_EQ(-1, tables->on_next()); }, QMessageBox::No);
    EXPECT_EQ("There are no tables selected. Continue anyway?", asked.text);
    EXPECT_EQ("&No", asked.default_button);
    box_of([&] { EXPECT_EQ(0, tables->on_next()); }, QMessageBox::Yes);
    EXPECT_TRUE(conv_->selected_tables().empty());

    tables->show_names({});
    seen_box none = box_of([&] { EXPECT_EQ(0, tables->on_next()); });
    EXPECT_FALSE(none.shown);
}

TEST(select_check, accepts_select_after_blanks_only) {
    struct select_case {
        const char* query;
        bool passes;
    };
    const select_case cases[] = {
        {"   select * from t", true}, {"\t\r\nSELECT 1", true}, {"SELEC", false},
        {"", true},                   {"   ", false},          {"update t set a=1", false},
        {"selectx", true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.passes, is_select_query(c.query)) << c.query;
}

TEST_F(wizard_fixture, add_query_checks_its_fields_and_refuses_a_duplicate_name) {
    open_wizard();
    auto* tables = page<sel_tables_page>();
    tables->show_names({u"Orders"});

    // OK's checks, in order, each keeping the dialog open.
    struct ok_case {
        const char* name;
        const char* query;
        const char* message;
        QMessageBox::Icon icon;
    };
    const ok_case ok_cases[] = {
        {"", "SELECT 1", "Table name is empty!", QMessageBox::Information},
        {"q", "SELEC", "The query must start with SELECT.", QMessageBox::Critical},
        {"q", "", "Query is empty!", QMessageBox::Critical},
    };
    for (const auto& c : ok_cases) {
        set_query_dlg dialog(&sheet(), c.name, c.query);
        seen_box seen = box_of([&] { dialog.on_ok(); });
        EXPECT_EQ(c.message, seen.text) << c.message;
        EXPECT_EQ(c.icon, seen.icon) << c.message;
        EXPECT_NE(QDialog::Accepted, dialog.result()) << c.message;
    }

    // A name taken by a table, in another case: the box, then the dialog again with the values.
    seen_box duplicate;
    QString reopened_name, reopened_query;
    auto fill_and_ok = [](const QString& name, const QString& query) {
        return [name, query](QWidget* modal) {
            modal->findChild<QLineEdit*>("1019")->setText(name);
            modal->findChild<QPlainTextEdit*>("1020")->setPlainText(query);
            modal->findChild<QPushButton*>("1")->click();
        };
    };
    modal_script script({
        fill_and_ok("ORDERS", "SELECT * FROM orders"),
        answer_box(duplicate),
        [&](QWidget* modal) {
            reopened_name = modal->findChild<QLineEdit*>("1019")->text();
            reopened_query = modal->findChild<QPlainTextEdit*>("1020")->toPlainText();
            fill_and_ok("recent_orders", reopened_query)(modal);
        },
    });
    script.run([&] { tables->on_add_query(); });
    EXPECT_EQ("Duplicate table name. Try again.", duplicate.text);
    EXPECT_EQ("ORDERS", reopened_name);
    EXPECT_EQ("SELECT * FROM orders", reopened_query);
    EXPECT_EQ(u"SELECT * FROM orders", tables->selected_queries().at(u"recent_orders"));
    EXPECT_EQ(QStringList({"recent_orders"}), items(tables->control<QListWidget>(1318)));
}

TEST_F(wizard_fixture, finish_page_shows_success_or_the_errors_one_per_paragraph) {
    open_wizard();
    auto* finish = page<gui_finish_page>();
    auto* report = finish->control<QPlainTextEdit>(1016);
    finish->page_init();
    EXPECT_TRUE(finish->control<QLabel>(1314)->text().startsWith("Wizard has migrated"));
    EXPECT_FALSE(report->isVisibleTo(finish));

    shell_->append_error("orders, record #5: bad\nvalue");
    shell_->append_error("customers: gone");
    finish->page_init();
    EXPECT_TRUE(finish->control<QLabel>(1314)->text().startsWith("There were some errors"));
    EXPECT_TRUE(report->isVisibleTo(finish));
    EXPECT_TRUE(report->isReadOnly());
    EXPECT_EQ("orders, record #5: bad value\n\ncustomers: gone\n\n", report->toPlainText());
}

// Save Settings on the finish page writes a profile (the extension added to a bare name); Load
// profile on the welcome page of a later start brings its values into step 1.
TEST_F(wizard_fixture, a_saved_profile_loads_into_the_next_wizard) {
    QTemporaryDir folder;
    auto choose_file = [&](const QString& name) {
        return [&folder, name](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(nullptr, dialog);
            EXPECT_EQ("Select Profile File", dialog->windowTitle());
            // Typed into the name field, then confirmed once the dialog has taken it in.
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(folder.path() + "/" + name);
            QTimer::singleShot(50, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
        };
    };
    conv_->store_mysql_settings("db.example", "ann", "pw", "3310");
    open_wizard();
    modal_script save({choose_file("shop")});
    save.run([this] { page<gui_finish_page>()->on_save_settings(); });
    ASSERT_TRUE(QFile::exists(folder.path() + "/shop.qvx"));

    close_wizard();
    SetUp();
    EXPECT_EQ("db.example", conv_->mysql_host());  // the saved settings, not the profile yet
    conv_->store_mysql_settings("", "", "", "");
    open_wizard();
    modal_script load({choose_file("shop.qvx")});
    load.run([this] { page<welcome_page>()->on_load_profile(); });
    press_next();
    auto* mysql = page<sql_settings_page2>();
    EXPECT_TRUE(mysql->control<QRadioButton>(1330)->isChecked());
    EXPECT_EQ("db.example", mysql->control<QLineEdit>(1014)->text());
    EXPECT_EQ("3310", mysql->control<QLineEdit>(1015)->text());
    EXPECT_EQ("ann", mysql->control<QLineEdit>(1012)->text());
}

TEST(quick_launch, a_missing_profile_ends_the_program_after_its_message) {
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    seen_box seen;
    int result = -2;
    modal_script script({answer_box(seen)});
    script.run([&] { result = quorvex_main("\"/no/such/profile.qvx\""); });
    EXPECT_EQ(0, result);
    EXPECT_EQ("Error", seen.title);
    EXPECT_EQ("Profile does not exist. Please verify the correct path/name was given.", seen.text);
}
