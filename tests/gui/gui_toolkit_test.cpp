// The wizard's toolkit and engine room: the saved settings, the progress computation, the error
// dialogs and the error handler across threads, clipboard and bug mail.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QPushButton>
#include <QThread>
#include <QUrlQuery>
#include <thread>

#include "gui/tk_regq.h"
#include "gui_harness.h"
#include "tk/tk_regk.h"

TEST_F(wizard_fixture, settings_survive_a_restart) {
    conv_->store_mysql_settings("db.example", "ann", "pässword", "3310");
    conv_->store_db2_settings(u"SAMPLE", u"db2inst1", u"secret");
    conv_->set_schema(u"shop");
    conv_->set_source_name(u"shop");
    conv_->set_skip_indexes(true);
    conv_->set_definitions_only(true);
    conv_->set_convert_views(false);
    restart_converter();
    EXPECT_EQ("db.example", conv_->mysql_host());
    EXPECT_EQ("ann", conv_->mysql_user());
    EXPECT_EQ("pässword", conv_->mysql_password());
    EXPECT_EQ("3310", conv_->mysql_port());
    EXPECT_EQ(u"SAMPLE", conv_->get_destination_name());
    EXPECT_EQ(u"db2inst1", conv_->db2_user());
    EXPECT_EQ(u"secret", conv_->db2_password());
    EXPECT_EQ(u"SHOP", conv_->schema());
    EXPECT_EQ(u"shop", conv_->source_name());
    EXPECT_TRUE(conv_->skip_indexes());
    EXPECT_TRUE(conv_->definitions_only());
    EXPECT_FALSE(conv_->convert_views());
}

TEST_F(wizard_fixture, empty_settings_load_the_defaults_and_report_failure) {
    // SetUp's converter found an empty settings file.
    EXPECT_TRUE(conv_->convert_views());
    EXPECT_FALSE(conv_->skip_indexes());
    EXPECT_FALSE(conv_->definitions_only());
    EXPECT_EQ("3306", conv_->mysql_port());
    EXPECT_FALSE(conv_->serialize(false));

    tk_reg_key key("Software\\Ferrovane\\Tarnbridge");
    ASSERT_EQ(tk_reg_ok, key.open(tk_reg_root::current_user, key.path()));
    bool flag = true;
    EXPECT_FALSE(key.transfer(false, flag, "missing"));
    EXPECT_TRUE(flag);
    std::u16string empty, text = u"kept";
    ASSERT_TRUE(key.transfer(true, empty, "empty"));
    EXPECT_FALSE(key.transfer(false, text, "empty"));
    EXPECT_EQ(u"kept", text);
    EXPECT_THROW(key.open(tk_reg_root::none, "x"), tk_mail_assertion);
    key.close();
    EXPECT_FALSE(key.transfer(true, flag, "convert_views"));
}

TEST(progress, bar_position_uses_whole_percent_steps) {
    struct progress_case {
        const char* name;
        uint32_t tables, done, records, current, position;
    };
    const progress_case cases[] = {
        {"four tables, two done, third half copied", 4, 2, 100, 50, 62},
        {"no tables", 0, 3, 10, 5, 0},
        {"empty current table", 3, 1, 0, 0, 33},
        {"last record of the last table", 2, 1, 7, 7, 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.position, progress_position(c.tables, c.done, c.records, c.current)) << c.name;
}

TEST_F(wizard_fixture, internal_error_dialog_copies_or_mails_the_text) {
    open_wizard();
    std::u16string text = u"Internal error: \ncode=746b5f73696e676c5c3539 & more";
    {
        dlg_error_ex dialog(text, &sheet());
        EXPECT_EQ("Tarnbridge 1.0  Error", dialog.windowTitle());
        EXPECT_TRUE(dialog.findChild<QPushButton*>("1112")->isDefault());
        dialog.findChild<QPushButton*>("1108")->click();
        EXPECT_EQ(dlg_error_ex::result_copy, dialog.result());
        EXPECT_EQ(QString::fromStdU16String(text), QApplication::clipboard()->text());
    }
    {
        dlg_error_ex dialog(text, &sheet());
        dialog.findChild<QPushButton*>("1112")->click();
        EXPECT_EQ(dlg_error_ex::result_send_bug, dialog.result());
        ASSERT_EQ(1u, urls_.urls.size());
        const QUrl& mail = urls_.urls[0];
        EXPECT_EQ("mailto", mail.scheme());
        EXPECT_EQ(tk_support_address, mail.path().toStdString());
        QUrlQuery query(mail);
        EXPECT_EQ("Bug report on Tarnbridge 1.0 ",
                  query.queryItemValue("subject", QUrl::FullyDecoded));
        // The text arrives whole: its "&" does not start another field of the mail.
        EXPECT_TRUE(query.queryItemValue("body", QUrl::FullyDecoded)
                        .startsWith(QString::fromStdU16String(text)));
    }
}

// The handler of a conversion thread: the dialog appears on the window thread while the worker
// waits for the answer.
TEST_F(wizard_fixture, continue_dialog_runs_on_the_window_thread_and_can_silence_the_rest) {
    open_wizard();
    QThread* dialog_thread = nullptr;
    QString caption;
    modal_script script({[&](QWidget* modal) {
        dialog_thread = modal->thread();
        caption = modal->windowTitle();
        modal->findChild<QCheckBox*>("1222")->click();
        modal->findChild<QPushButton*>("2")->click();
    }});
    bool returned = false;
    script.run([&] {
        std::thread worker([&] {
            handler_->set_context(u"orders", 5);
            handler_->handle(tk_exception("bad\nvalue", 0), 0);
            returned = true;
        });
        while (!returned) QApplication::processEvents(QEventLoop::AllEvents, 20);
        worker.join();
    });
    EXPECT_EQ(QApplication::instance()->thread(), dialog_thread);
    EXPECT_EQ("Tarnbridge 1.0  Error", caption);
    EXPECT_TRUE(handler_->silent());
    // Silenced: later errors show nothing but are still collected.
    handler_->set_context(std::string());
    handler_->handle(tk_exception("second", 0), 0);
    EXPECT_EQ((std::vector<std::string>{"orders, record #5: bad value", "second"}),
              shell_->errors());
}

TEST_F(wizard_fixture, abort_ends_the_run_and_the_error_list_stops_at_twenty) {
    open_wizard();
    modal_script script({[](QWidget* modal) { modal->findChild<QPushButton*>("1")->click(); }});
    script.run([&] {
        EXPECT_THROW(handler_->handle(tk_exception("refused", 0), 0), tk_final_exception);
    });
    EXPECT_FALSE(handler_->silent());

    seen_box level_one;
    modal_script error_box({answer_box(level_one)});
    error_box.run([&] {
        EXPECT_THROW(handler_->handle(tk_exception("connection lost", 1), 0), tk_final_exception);
    });
    EXPECT_EQ("connection lost", level_one.text);
    EXPECT_EQ("Tarnbridge 1.0  Error", level_one.title);

    handler_->set_silent(true);
    for (int error_idx = 0; error_idx < 30; ++error_idx)
        handler_->handle(tk_exception("e" + std::to_string(error_idx), 0), 1);
    std::vector<std::string> errors = shell_->errors();
    ASSERT_EQ(wizard_shell::max_errors, errors.size());
    EXPECT_EQ("refused", errors.front());
    EXPECT_EQ("e17", errors.back());
}
