// The wizard's one sheet: wizard_shell owns the window (a QWizard in its modern style), its title,
// icon and pictures, shows the program's message boxes with captions derived from the title,
// runs the sheet's timer, opens the help pages and enables or disables the sheet's buttons. It
// also keeps the list of errors reported during a conversion for the finish page.
//
// Threads: the shell lives on the window thread. error, message, question, start_timer and
// stop_timer may be called from any thread: they run on the window thread and the caller waits
// for them. The error list is guarded and may be appended to from the conversion thread.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWizard>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tk/tk_singl.h"

class wizard_page;
class wizard_shell;

// Runs the function on the window thread and waits for it (directly when already there).
void gui_invoke(const std::function<void()>& function);

// Runs a worker thread's work and reports what escapes it: a tk_exception goes to the error
// handler with the stop flag 1 (a tk_final_exception ends the work quietly); any other exception
// is shown in the wizard's error box on the window thread and ends the process.
void run_worker_reported(const std::function<void()>& work);

// The sheet window: forwards Cancel, Help and the timer to the current page.
class wizard_sheet : public QWizard {
    Q_OBJECT
public:
    explicit wizard_sheet(wizard_shell& shell);
    // Cancel, Escape and the window's close box: the current page decides.
    void reject() override;

private:
    void on_page_changed(int id);
    wizard_shell& shell_;
    int previous_id_ = -1;
};

class wizard_shell : public tk_single_instance<wizard_shell> {
public:
    // Sheet buttons as enable_button knows them.
    static constexpr int button_cancel = 2;
    static constexpr int button_help = 9;
    static constexpr int button_back = 12323;
    static constexpr int button_next = 12324;
    static constexpr int button_finish = 12325;

    // The largest number of errors kept for the finish page.
    static constexpr size_t max_errors = 20;

    // Builds the sheet and its pictures (ids 0: none).
    wizard_shell(std::u16string title, int icon_id, int watermark_id, int header_id);
    ~wizard_shell();

    // The sheet takes the page over; pages appear in the order they are added.
    void add_page(wizard_page* page);
    // Shows the sheet modally (owned by the active window) and returns its result.
    int run();

    wizard_sheet& sheet() { return *sheet_; }
    const std::u16string& title() const { return title_; }

    // Sets the window title and icon and centres the sheet; acts on the first call only.
    void first_activation();
    // Whether the shell exists and its sheet has been set up.
    static bool is_initialized();

    void error(const std::u16string& text);
    void error(const std::string& text);
    void message(const std::u16string& text);
    // A Yes/No question; true on Yes. With no_is_default the second button is the default.
    bool question(const std::u16string& text, bool no_is_default);

    void enable_button(int id, bool enable);

    // The timer ticks reach the current page's on_timer. Starting it while it runs is an
    // internal error.
    void start_timer(int interval_ms);
    void stop_timer();
    bool timer_active() const { return timer_active_; }

    // Opens the help's front page, or the page of one topic, in the user's browser. A missing
    // page is reported as "Help file does not exist. Reinstall the program.".
    void display_help();
    void display_help(int topic_id);
    // The folder that holds the help pages (by default "help" beside the program).
    void set_help_folder(QString folder) { help_folder_ = std::move(folder); }
    const QString& help_folder() const { return help_folder_; }

    // Appends while fewer than max_errors are kept.
    void append_error(std::string text);
    std::vector<std::string> errors() const;
    void clear_errors();

    // Once the user has chosen to leave during a conversion, no more boxes are shown.
    void set_closing(bool closing) { closing_ = closing; }
    bool closing() const { return closing_; }

private:
    void show_box(int icon, const char* caption_word, const std::u16string& text);
    void open_help_page(const QString& file);
    QWidget* owner() const;

    std::u16string title_;
    int icon_id_;
    QPixmap watermark_;
    QPointer<wizard_sheet> sheet_;
    QTimer timer_;
    bool timer_active_ = false;
    bool initialized_ = false;
    QString help_folder_;
    mutable std::mutex errors_mutex_;
    std::vector<std::string> errors_;
    std::atomic<bool> closing_{false};
};

// The pictures the sheet and its dialogs use, drawn once per process (resource ids: icon 501,
// watermark 311, header 312, the wait animation 502 to 509).
QPixmap wizard_picture(int id);
