// Step 5: the conversion on a worker thread, its progress on a 200 ms timer, and the error
// dialogs the conversion shows through the wizard's error handler.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/error_messages.h"
#include "gui/g_conv.h"
#include "gui/g_wiz_sh.h"
#include "gui/qvx_shel.h"
#include "gui/tk_regq.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
constexpr int k_progress_interval_ms = 200;

// Message text and error icon side by side, as both error dialogs show them.
void add_message(QDialog& dialog, QVBoxLayout* layout, const std::u16string& text) {
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    auto* message = new QLabel(QString::fromStdU16String(text));
    message->setObjectName("1320");
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(message, 1);
    layout->addLayout(row);
}

QString error_caption() {
    return wizard_shell::is_initialized()
               ? QString::fromStdU16String(wizard_shell::get_instance().title()) + " Error"
               : QString("Error");
}

QPushButton* add_button(QDialogButtonBox* box, const QString& text, int id) {
    auto* button = box->addButton(text, QDialogButtonBox::ActionRole);
    button->setObjectName(QString::number(id));
    return button;
}

QWidget* dialog_owner() {
    return wizard_shell::is_initialized() ? &wizard_shell::get_instance().sheet() : nullptr;
}
}  // namespace

uint32_t progress_position(uint32_t table_count, uint32_t tables_done, uint32_t records_in_table,
                           uint32_t current_record) {
    if (table_count == 0) return 0;
    uint32_t position = tables_done * 100 / table_count;
    if (records_in_table != 0) position += current_record * 100 / records_in_table / table_count;
    return position;
}

// -- progress page ----------------------------------------------------------------------------

progress_page::progress_page()
    : wizard_page(page_kind::interior, 107, "Step 5 of 5", "Database conversion is in progress",
                  help_default) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel("Database conversion is in progress. Please wait until wizard completes"));
    layout->addWidget(new QLabel("moving your MySQL database to IBM DB2 server."));
    layout->addSpacing(16);
    status_ = tag(new QLabel, 1323);
    bar_ = tag(new QProgressBar, 1321);
    bar_->setRange(0, 100);
    layout->addWidget(status_);
    layout->addWidget(bar_);
    layout->addStretch();
    set_complete(false);
}

progress_page::~progress_page() {
    if (worker_.is_running()) stop_conversion();
}

bool progress_page::page_init() {
    TK_TRACE(2, "progress_page::page_init");
    QTimer::singleShot(0, this, [] {
        wizard_shell& shell = wizard_shell::get_instance();
        for (int id : {wizard_shell::button_back, wizard_shell::button_next,
                       wizard_shell::button_finish})
            shell.enable_button(id, false);
    });
    bar_->setValue(0);
    wizard_convertor& conv = wizard_conv();
    conv.set_finished(false);
    conv.clear_stop_request();
    wizard_shell& shell = wizard_shell::get_instance();
    if (!shell.timer_active()) shell.start_timer(k_progress_interval_ms);
    worker_.start();
    return true;
}

void progress_page::conversion_task::operator()() {
    wizard_convertor& conv = wizard_conv();
    run_worker_reported([&] { conv.run(); });
    // Whatever way the run ended, the page must leave step 5.
    conv.set_finished(true);
}

void progress_page::on_timer() {
    TK_TRACE(2, "progress_page::on_timer");
    wizard_convertor& conv = wizard_conv();
    uint32_t position = progress_position(
        static_cast<uint32_t>(conv.table_count()), static_cast<uint32_t>(conv.tables_done()),
        static_cast<uint32_t>(conv.records_in_table()), static_cast<uint32_t>(conv.current_record()));
    bar_->setValue(static_cast<int>(std::min<uint32_t>(position, 100)));
    if (conv.finished()) {
        wizard_shell::get_instance().stop_timer();
        if (worker_.is_running()) worker_.terminate();
        worker_.clean_up();
        if (wizard() != nullptr && wizard()->currentPage() == this) wizard()->next();
        return;
    }
    std::u16string table = conv.current_table_name();
    status_->setText(table.empty() ? QString()
                                   : QString("Processing table '%1'").arg(
                                         QString::fromStdU16String(table)));
}

bool progress_page::on_cancel() {
    if (!worker_.is_running()) return wizard_page::on_cancel();
    if (!wizard_page::on_cancel()) return false;
    stop_conversion();
    return true;
}

void progress_page::stop_conversion() {
    wizard_shell& shell = wizard_shell::get_instance();
    shell.set_closing(true);
    shell.stop_timer();
    wizard_conv().request_stop();
    // The worker may be waiting for a dialog on this thread; keep answering until it ends.
    while (worker_.is_running()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker_.clean_up();
}

// -- error dialogs ----------------------------------------------------------------------------

dlg_error_ex::dlg_error_ex(std::u16string text, QWidget* owner)
    : QDialog(owner), text_(std::move(text)) {
    TK_TRACE(2, "dlg_error_ex::ctor");
    setObjectName("dialog114");
    TK_TRACE(2, "dlg_error_ex::on_init");
    setWindowTitle(error_caption());
    auto* layout = new QVBoxLayout(this);
    add_message(*this, layout, text_);
    auto* buttons = new QDialogButtonBox;
    auto* send = add_button(buttons, "Send bug", result_send_bug);
    auto* ok = add_button(buttons, "OK", result_ok);
    auto* copy = add_button(buttons, "Copy to clipboard", result_copy);
    send->setDefault(true);
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { done(result_ok); });
    connect(copy, &QPushButton::clicked, this, [this] {
        tk_copy_to_clipboard2(text_);
        done(result_copy);
    });
    connect(send, &QPushButton::clicked, this, [this] {
        std::string title = wizard_shell::is_initialized()
                                ? tk_to_ansi(wizard_shell::get_instance().title())
                                : std::string();
        tk_send_bug(title, tk_to_ansi(text_));
        done(result_send_bug);
    });
}

dlg_error_continue::dlg_error_continue(std::u16string text, QWidget* owner) : QDialog(owner) {
    TK_TRACE(2, "dlg_error_continue::ctor");
    setObjectName("dialog115");
    TK_TRACE(2, "dlg_error_continue::on_init");
    setWindowTitle(error_caption());
    auto* layout = new QVBoxLayout(this);
    add_message(*this, layout, text);
    auto* check = new QCheckBox("&Do not show this dialog box again");
    check->setObjectName("1222");
    layout->addWidget(check);
    auto* buttons = new QDialogButtonBox;
    auto* go_on = add_button(buttons, "Continue", result_continue);
    auto* abort = add_button(buttons, "Abort", result_abort);
    go_on->setDefault(true);
    layout->addWidget(buttons);
    connect(go_on, &QPushButton::clicked, this, [this] { done(result_continue); });
    connect(abort, &QPushButton::clicked, this, [this] { done(result_abort); });
    connect(check, &QCheckBox::toggled, this, [this](bool on) { do_not_show_ = on; });
}

// -- error handler ----------------------------------------------------------------------------

wizard_error_handler::wizard_error_handler() : error_handler(0, qvx_error_messages) {}

void wizard_error_handler::handle(const tk_exception& e, int stop) {
    TK_TRACE(2, "error_handler::handle");
    if (e.level() == 2) {
        TK_TRACE(3, "Internal error:\n%s", e.what());
        std::u16string text = tk_from_ansi(e.what());
        gui_invoke([&] {
            dlg_error_ex dialog(text, dialog_owner());
            dialog.exec();
        });
        std::_Exit(-1);
    }
    std::string message = build_message(e);
    TK_TRACE(3, "Error:\n%s", message.c_str());
    std::replace(message.begin(), message.end(), '\n', ' ');
    if (wizard_shell::is_initialized()) wizard_shell::get_instance().append_error(message);
    bool closing = wizard_shell::has_instance() && wizard_shell::get_instance().closing();

    if (e.level() == 1) {
        TK_TRACE(1, "Got 1-level error");
        if (!silent() && !closing) {
            TK_TRACE(1, "Step 1");
            if (wizard_shell::has_instance())
                wizard_shell::get_instance().error(message);
            else
                gui_invoke([&] {
                    QMessageBox box(QMessageBox::Critical, "Error", QString::fromLocal8Bit(message.c_str()));
                    box.exec();
                });
            TK_TRACE(1, "Step 2");
        }
        if (stop == 0) throw tk_final_exception();
        return;
    }
    TK_TRACE(1, "Got 0-level error");
    if (silent() || closing) return;
    int answer = dlg_error_continue::result_continue;
    bool do_not_show = false;
    std::u16string text = tk_from_ansi(message);
    gui_invoke([&] {
        dlg_error_continue dialog(text, dialog_owner());
        answer = dialog.exec();
        do_not_show = dialog.do_not_show();
    });
    if (answer == dlg_error_continue::result_abort && stop == 0) throw tk_final_exception();
    set_silent(do_not_show);
}
