#include "gui_harness.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "common/error_messages.h"
#include "gui/tk_regq.h"

void modal_script::run(const std::function<void()>& action) {
    QTimer poll;
    QElapsedTimer waiting;
    waiting.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal->property("qvx_answered").toBool()) {
            if (modal == nullptr) waiting.restart();
            if (modal != nullptr && waiting.elapsed() > 20000) {
                ADD_FAILURE() << "unanswered window: " << modal->windowTitle().toStdString();
                modal->setProperty("qvx_answered", true);
                if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            }
            return;
        }
        modal->setProperty("qvx_answered", true);
        waiting.restart();
        if (next_ < steps_.size()) {
            steps_[next_++](modal);
        } else {
            ADD_FAILURE() << "unexpected window: " << modal->windowTitle().toStdString();
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
    });
    poll.start(10);
    action();
    QApplication::processEvents();
}

modal_script::step answer_box(seen_box& seen, QMessageBox::StandardButton button) {
    return [&seen, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            ADD_FAILURE() << "expected a message box, got " << modal->metaObject()->className();
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            return;
        }
        seen.shown = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.default_button = box->defaultButton() ? box->defaultButton()->text() : QString();
        seen.parent = box->parentWidget();
        QAbstractButton* chosen = box->button(button);
        if (chosen == nullptr) {
            ADD_FAILURE() << "the box has not the button asked for: " << seen.text.toStdString();
            box->reject();
            return;
        }
        chosen->click();
    };
}

seen_box box_of(const std::function<void()>& action, QMessageBox::StandardButton button) {
    seen_box seen;
    modal_script script({answer_box(seen, button)});
    script.run(action);
    return seen;
}

url_recorder::url_recorder() {
    for (const char* scheme : {"file", "mailto"})
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

url_recorder::~url_recorder() {
    for (const char* scheme : {"file", "mailto"}) QDesktopServices::unsetUrlHandler(scheme);
}

void wizard_fixture::SetUp() {
    ASSERT_TRUE(settings_dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir_.path());
    tk_install_settings_store();
    handler_ = std::make_unique<wizard_error_handler>();
    handler_->load_err_map(qvx_error_message_count, qvx_error_messages);
    conv_ = std::make_unique<wizard_convertor>();
}

void wizard_fixture::TearDown() { close_wizard(); }

void wizard_fixture::open_wizard(bool quick_launch) {
    shell_ = std::make_unique<wizard_shell>(wizard_title(), 501, 311, 312);
    add_wizard_pages(*shell_, quick_launch);
    sheet().show();
    settle();
}

void wizard_fixture::close_wizard() {
    if (shell_) {
        sheet().hide();
        shell_.reset();
    }
    conv_.reset();
    handler_.reset();
}

void wizard_fixture::restart_converter() {
    conv_.reset();
    conv_ = std::make_unique<wizard_convertor>();
}

void wizard_fixture::press_next() {
    sheet().next();
    settle();
}

void wizard_fixture::press_back() {
    sheet().back();
    settle();
}

void wizard_fixture::settle() {
    for (int round = 0; round < 3; ++round) QApplication::processEvents();
}
