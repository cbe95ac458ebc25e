// What the wizard tests share: a wizard of the test's own (settings file in a temporary folder,
// error handler, converter, sheet with its pages, shown but not modal) and a script that answers
// the modal windows an action opens, one step per window, in order.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "gui/g_conv.h"
#include "gui/g_wiz_sh.h"
#include "gui/qvx_shel.h"

// One box as the user saw it.
struct seen_box {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString default_button;
    QWidget* parent = nullptr;
};

class modal_script {
public:
    using step = std::function<void(QWidget*)>;
    explicit modal_script(std::vector<step> steps) : steps_(std::move(steps)) {}
    // Runs the action while answering its modal windows; fails the test when a window is left
    // unanswered for 20 s (it is then rejected so the test can end).
    void run(const std::function<void()>& action);
    size_t handled() const { return next_; }

private:
    std::vector<step> steps_;
    size_t next_ = 0;
};

// A step that records a message box and presses one of its buttons.
modal_script::step answer_box(seen_box& seen,
                              QMessageBox::StandardButton button = QMessageBox::Ok);
// Runs the action, answers the one box it shows and returns it.
seen_box box_of(const std::function<void()>& action,
                QMessageBox::StandardButton button = QMessageBox::Ok);

// Records the URLs the program hands to the desktop (help pages, mail) instead of opening them.
class url_recorder : public QObject {
    Q_OBJECT
public:
    url_recorder();
    ~url_recorder() override;
    std::vector<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

class wizard_fixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The wizard of the program (or of a quick launch), shown on its first page.
    void open_wizard(bool quick_launch = false);
    // Closes and destroys sheet, converter (which saves the settings) and handler.
    void close_wizard();
    // Creates a fresh converter, as a new start of the program does.
    void restart_converter();

    wizard_sheet& sheet() { return shell_->sheet(); }
    template <class T>
    T* page() {
        for (int id : sheet().pageIds())
            if (auto* found = dynamic_cast<T*>(sheet().page(id))) return found;
        return nullptr;
    }
    // Moves the sheet forward to the page of this type (pressing Next on each page before it).
    template <class T>
    void go_to() {
        for (int guard = 0; guard < 8 && dynamic_cast<T*>(sheet().currentPage()) == nullptr; ++guard)
            press_next();
    }
    void press_next();
    void press_back();
    void settle();

    QTemporaryDir settings_dir_;
    url_recorder urls_;
    std::unique_ptr<wizard_error_handler> handler_;
    std::unique_ptr<wizard_convertor> conv_;
    std::unique_ptr<wizard_shell> shell_;
};
