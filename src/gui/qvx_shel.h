// The wizard's own pages and dialogs: the welcome page, the two connection pages (steps 1 and
// 2), the conversion settings (step 3) with its wait dialog, the table selection (step 4) with
// the Add Query dialog, the progress page (step 5), the two error dialogs of a conversion and
// the wizard's error handler. Everything here lives on the window thread, except the tasks of
// the two worker threads and the error handler, which may be called from a worker.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <map>
#include <string>
#include <vector>

#include "common/error_handler.h"
#include "gui/g_wiz_pg.h"
#include "gui/tk_threa.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class wizard_convertor;
class wizard_shell;

using query_map = std::map<std::u16string, std::u16string>;

// The running program's converter.
wizard_convertor& wizard_conv();

// The wizard program: builds the pages and runs the sheet. An empty command line is the normal
// wizard; any other text is the path of a profile to convert at once. Returns the sheet's result,
// or 0 after a failure.
int quorvex_main(const std::string& command_line);
// "Tarnbridge 1.0 ": the window title, the start of every box caption.
std::u16string wizard_title();
// The seven pages in their order; at quick launch only the progress and the finish page.
void add_wizard_pages(wizard_shell& shell, bool quick_launch);

// -- welcome ----------------------------------------------------------------------------------

class welcome_page : public wizard_page {
    Q_OBJECT
public:
    explicit welcome_page(QString profile_extension);
    bool page_init() override;
    void on_load_profile();

private:
    QString extension_;
    QLabel* heading_;
};

// -- step 1 and 2 -----------------------------------------------------------------------------

class sql_settings_page2 : public wizard_page {
    Q_OBJECT
public:
    sql_settings_page2();
    bool page_init() override;
    void store_settings();
    int on_next() override;
    int on_back() override;

private:
    void set_remote(bool remote, bool focus);
    QRadioButton* local_;
    QRadioButton* remote_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* host_;
    QLineEdit* port_;
};

class db2_settings_page2 : public wizard_page {
    Q_OBJECT
public:
    db2_settings_page2();
    bool page_init() override;
    void store_settings();
    int on_next() override;
    int on_back() override;

private:
    QLineEdit* database_;
    QLineEdit* user_;
    QLineEdit* password_;
};

// -- step 3 -----------------------------------------------------------------------------------

// The editable combo box of the MySQL database: tells the page before its list drops down.
class database_combo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
signals:
    void dropping_down();
};

// "Connecting to MySQL server. Please wait..." with its animation (icons 502 to 509, 500 ms).
class wait_dialog : public QDialog {
    Q_OBJECT
public:
    explicit wait_dialog(QWidget* owner);
    void stop_timer();

private:
    QLabel* icon_;
    QTimer* timer_;
    int frame_ = 0;
};

class sel_file_page : public wizard_page {
    Q_OBJECT
public:
    sel_file_page();
    ~sel_file_page() override;
    bool page_init() override;
    void store_settings();
    int on_next() override;
    int on_back() override;
    void on_dropdown();
    void on_sel_change();

    bool databases_fetched() const { return fetched_; }

private:
    // Lists the MySQL databases on the page's worker, then closes the wait dialog.
    class animation : public tk_task {
    public:
        explicit animation(sel_file_page& page) : page_(page) {}
        void operator()() override;

    private:
        sel_file_page& page_;
    };
    class listing_thread : public tk_thread {
    public:
        explicit listing_thread(sel_file_page& page) : page_(page) {}

    protected:
        tk_task* make_task(bool& owns) override {
            owns = true;
            return new animation(page_);
        }

    private:
        sel_file_page& page_;
    };

    void select_source_entry();

    database_combo* database_;
    QListWidget* schemas_;
    QRadioButton* modes_[3];
    QCheckBox* definitions_only_;
    QCheckBox* skip_indexes_;
    listing_thread worker_;
    wait_dialog* wait_ = nullptr;
    std::vector<std::u16string> names_;
    bool listed_ = false;
    bool fetched_ = false;
};

// -- step 4 -----------------------------------------------------------------------------------

// Whether a query's text starts with SELECT after leading tabs, line feeds, carriage returns and
// blanks (without regard to case). The empty text passes.
bool is_select_query(const QString& query);

class set_query_dlg : public QDialog {
    Q_OBJECT
public:
    set_query_dlg(QWidget* owner, QString name, QString query);
    QString name() const { return name_; }
    QString query() const { return query_; }

    void on_test_query();
    void on_ok();
    void on_cancel();
    void on_help();

private:
    QString read_query() const;
    QLineEdit* name_edit_;
    QPlainTextEdit* query_edit_;
    QString name_;
    QString query_;
};

class sel_tables_page : public wizard_page {
    Q_OBJECT
public:
    explicit sel_tables_page(QString no_tables_question);
    bool page_init() override;
    // Fills both lists from the source database's table names and the converter's queries.
    void show_names(std::vector<std::u16string> names);
    int on_next() override;

    void on_add();
    void on_add_all();
    void on_delete();
    void on_del_all();
    void on_add_query();
    void on_edit_query(const QString& name);

    const query_map& selected_queries() const { return selected_queries_; }
    const query_map& unselected_queries() const { return unselected_queries_; }

private:
    void do_page_init();
    bool in_lists(const QString& name) const;
    // Moves one entry between the lists (and a query between the two maps).
    void move_entry(QListWidget* from, QListWidget* to, int row);
    QListWidget* available_;
    QListWidget* selected_;
    QPushButton* add_query_;
    QString question_;
    std::vector<std::u16string> tables_;
    std::vector<std::u16string> all_names_;
    query_map selected_queries_;
    query_map unselected_queries_;
};

// -- step 5 -----------------------------------------------------------------------------------

// The bar's position: tables done and the share of the current table, in whole percent, with
// unsigned division at every step.
uint32_t progress_position(uint32_t table_count, uint32_t tables_done, uint32_t records_in_table,
                           uint32_t current_record);

class progress_page : public wizard_page {
    Q_OBJECT
public:
    progress_page();
    ~progress_page() override;
    bool page_init() override;
    void on_timer() override;
    bool on_cancel() override;
    // A conversion runs once per wizard: there is no way back from here.
    bool back_allowed() const override { return false; }
    bool is_converting() const { return worker_.is_running(); }

private:
    class conversion_task : public tk_task {
    public:
        void operator()() override;
    };
    class conversion_thread : public tk_thread {
    protected:
        tk_task* make_task(bool& owns) override {
            owns = true;
            return new conversion_task;
        }
    };
    // Asks the run to stop and waits for it, still answering the window system.
    void stop_conversion();

    QLabel* status_;
    QProgressBar* bar_;
    conversion_thread worker_;
};

// -- error dialogs ----------------------------------------------------------------------------

// Internal error: "Send bug" (1112, default), "OK" (1), "Copy to clipboard" (1108).
class dlg_error_ex : public QDialog {
    Q_OBJECT
public:
    static constexpr int result_ok = 1;
    static constexpr int result_copy = 1108;
    static constexpr int result_send_bug = 1112;
    explicit dlg_error_ex(std::u16string text, QWidget* owner = nullptr);

private:
    std::u16string text_;
};

// A failure the run may go on after: "Continue" (2, default), "Abort" (1) and the check box
// "&Do not show this dialog box again".
class dlg_error_continue : public QDialog {
    Q_OBJECT
public:
    static constexpr int result_abort = 1;
    static constexpr int result_continue = 2;
    explicit dlg_error_continue(std::u16string text, QWidget* owner = nullptr);
    bool do_not_show() const { return do_not_show_; }

private:
    bool do_not_show_ = false;
};

// The wizard's error handler: collects the messages for the finish page and shows the dialogs
// above on the window thread while the reporting thread waits.
class wizard_error_handler : public error_handler {
public:
    wizard_error_handler();
    void handle(const tk_exception& e, int stop) override;
};
