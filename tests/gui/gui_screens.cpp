// quorvex_screens FOLDER: walks the real wizard through its seven pages into the DB2 stand-in
// and saves a picture of each page as FOLDER/NN-name.png (for the README). The servers come from
// the environment: QVX_MYSQL_HOST/PORT/USER/PASSWORD, QVX_SCREENS_DATABASE (MySQL database),
// QVX_SCREENS_ALIAS, QVX_SCREENS_DB2USER, QVX_SCREENS_DB2PASSWORD and QVX_SCREENS_SCHEMA.
// Run by scripts/screenshots under Xvfb.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QAbstractButton>
#include <cstdio>

#include "common/error_messages.h"
#include "gui/g_conv.h"
#include "gui/g_finish.h"
#include "gui/g_wiz_sh.h"
#include "gui/qvx_shel.h"
#include "gui/tk_regq.h"

namespace {
QString env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

void settle(int ms = 300) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}
}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvex_screens FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(".");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    tk_install_settings_store();
    wizard_error_handler handler;
    handler.load_err_map(qvx_error_message_count, qvx_error_messages);
    wizard_convertor conv;
    wizard_shell shell(wizard_title(), 501, 311, 312);
    add_wizard_pages(shell, false);
    wizard_sheet& sheet = shell.sheet();
    sheet.resize(640, 480);
    sheet.show();

    int number = 0;
    auto shoot = [&](const char* name) {
        settle();
        QString file = folder.filePath(QString("%1-%2.png").arg(++number, 2, 10, QChar('0')).arg(name));
        bool saved = sheet.grab().save(file);
        std::printf("%s %s\n", saved ? "saved" : "FAILED", file.toLocal8Bit().constData());
        return saved;
    };
    auto page_is = [&](int dialog) {
        auto* current = dynamic_cast<wizard_page*>(sheet.currentPage());
        return current != nullptr && current->dialog_id() == dialog;
    };
    auto next = [&](int expected_dialog) {
        sheet.next();
        settle(100);
        if (!page_is(expected_dialog)) {
            std::fprintf(stderr, "the wizard did not reach dialog %d\n", expected_dialog);
            std::exit(1);
        }
    };
    bool ok = shoot("welcome");
    next(123);
    auto* mysql = dynamic_cast<wizard_page*>(sheet.currentPage());
    mysql->control<QRadioButton>(1330)->click();
    mysql->control<QLineEdit>(1014)->setText(env("QVX_MYSQL_HOST"));
    mysql->control<QLineEdit>(1015)->setText(env("QVX_MYSQL_PORT"));
    mysql->control<QLineEdit>(1012)->setText(env("QVX_MYSQL_USER"));
    mysql->control<QLineEdit>(1013)->setText(env("QVX_MYSQL_PASSWORD"));
    ok &= shoot("mysql-connection");
    next(131);
    auto* db2 = dynamic_cast<wizard_page*>(sheet.currentPage());
    db2->control<QLineEdit>(1014)->setText(env("QVX_SCREENS_ALIAS"));
    db2->control<QLineEdit>(1012)->setText(env("QVX_SCREENS_DB2USER"));
    db2->control<QLineEdit>(1013)->setText(env("QVX_SCREENS_DB2PASSWORD"));
    ok &= shoot("db2-connection");
    next(106);
    auto* settings_page = dynamic_cast<wizard_page*>(sheet.currentPage());
    settings_page->control<QComboBox>(1302)->setEditText(env("QVX_SCREENS_DATABASE"));
    auto* schemas = settings_page->control<QListWidget>(1317);
    QList<QListWidgetItem*> schema = schemas->findItems(env("QVX_SCREENS_SCHEMA"), Qt::MatchExactly);
    if (!schema.isEmpty()) schemas->setCurrentItem(schema[0]);
    ok &= shoot("conversion-settings");
    next(127);
    auto* tables = dynamic_cast<sel_tables_page*>(sheet.currentPage());
    tables->on_add_all();
    tables->control<QListWidget>(1318)->setCurrentRow(0);
    tables->on_delete();
    ok &= shoot("table-selection");
    tables->on_add_all();
    next(107);
    ok &= shoot("progress");
    QElapsedTimer clock;
    clock.start();
    while (!page_is(116) && clock.elapsed() < 120000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    ok &= page_is(116) && shoot("finish");
    sheet.button(QWizard::FinishButton)->click();
    settle(100);
    return ok ? 0 : 1;
}
