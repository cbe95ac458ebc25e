// Base of every wizard page. A page builds its controls in its constructor, fills them from the
// converter in page_init (on every activation, forward or back), stores them back in the
// converter when the user leaves it and checks them in on_next. The sheet (wizard_shell) calls
// the operations below on the window thread. Controls carry their dialog ids as object names
// ("1012"), so a page and its tests reach them with control<T>(id).
#pragma once

#include <QString>
#include <QWizardPage>

enum class page_kind { first, interior, last };

class wizard_page : public QWizardPage {
    Q_OBJECT
public:
    // No help topic: help_none; the help's front page: help_default.
    static constexpr int help_none = -1;
    static constexpr int help_default = 0;

    // Interior pages show title and subtitle in the header; exterior pages pass empty texts.
    wizard_page(page_kind kind, int dialog_id, const QString& title, const QString& subtitle,
                int help_topic);
    ~wizard_page() override;

    page_kind kind() const { return kind_; }
    int dialog_id() const { return dialog_id_; }

    // Called by the sheet on every activation: sets the page kind's buttons, sets the sheet up
    // the first time, then page_init.
    void on_set_active();

    virtual bool page_init() { return true; }
    // 0 moves on, -1 stays.
    virtual int on_next() { return 0; }
    // Called when the user goes back from this page (the move itself cannot be refused).
    virtual int on_back() { return 0; }
    // True lets the sheet close. The default asks "Are you sure you want to exit the wizard?".
    virtual bool on_cancel();
    virtual void on_help();
    virtual void on_timer() {}
    // Whether Back may leave this page: only interior pages allow it.
    virtual bool back_allowed() const { return kind_ == page_kind::interior; }

    // Toggles a check box and returns its new state.
    bool invert_chbox(int id);
    // Enabling also gives the control the keyboard focus.
    void enable_ctrl(int id, bool enable);
    // Gives the control the page's heading font (Verdana 10 points, bold).
    void set_title_font(QWidget* control);

    template <class T>
    T* control(int id) const {
        return findChild<T*>(QString::number(id));
    }

    bool validatePage() override;
    bool isComplete() const override { return complete_; }

protected:
    // Marks a control with its dialog id.
    template <class T>
    T* tag(T* widget, int id) {
        widget->setObjectName(QString::number(id));
        return widget;
    }
    void set_complete(bool complete);

private:
    page_kind kind_;
    int dialog_id_;
    int help_topic_;
    bool complete_ = true;
};
