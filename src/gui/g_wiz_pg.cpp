#include "gui/g_wiz_pg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFont>
#include <QTimer>

#include "gui/g_wiz_sh.h"
#include "tk/tk_errco.h"
#include "tk/tk_log.h"

wizard_page::wizard_page(page_kind kind, int dialog_id, const QString& title,
                         const QString& subtitle, int help_topic)
    : kind_(kind), dialog_id_(dialog_id), help_topic_(help_topic) {
    setTitle(title);
    setSubTitle(subtitle);
    setObjectName(QString("page%1").arg(dialog_id));
}

wizard_page::~wizard_page() { TK_TRACE(2, "wizard_page::dtor"); }

void wizard_page::on_set_active() {
    TK_TRACE(2, "wizard_page::OnSetActive");
    wizard_shell& shell = wizard_shell::get_instance();
    // The sheet sets its own button states while it switches pages; ours follow once it is done.
    page_kind kind = kind_;
    QTimer::singleShot(0, this, [this, kind] {
        if (wizard() == nullptr || wizard()->currentPage() != this) return;
        wizard_shell& sheet_shell = wizard_shell::get_instance();
        sheet_shell.enable_button(wizard_shell::button_back, kind == page_kind::interior);
        if (kind != page_kind::last)
            sheet_shell.enable_button(wizard_shell::button_next, complete_);
        else
            sheet_shell.enable_button(wizard_shell::button_finish, complete_);
        sheet_shell.enable_button(wizard_shell::button_help, help_topic_ != help_none);
    });
    shell.first_activation();
    if (!page_init()) TK_TRACE(2, "wizard_page::OnSetActive: page refused the activation");
}

bool wizard_page::on_cancel() {
    TK_TRACE(2, "wizard_page::on_cancel");
    return wizard_shell::get_instance().question(u"Are you sure you want to exit the wizard?",
                                                 true);
}

void wizard_page::on_help() {
    if (help_topic_ == help_none) return;
    wizard_shell& shell = wizard_shell::get_instance();
    if (help_topic_ == help_default)
        shell.display_help();
    else
        shell.display_help(help_topic_);
}

bool wizard_page::invert_chbox(int id) {
    TK_TRACE(2, "wizard_page::invert_chbox(%d)", id);
    auto* box = control<QCheckBox>(id);
    if (box == nullptr) throw tk_mail_assertion("g_wiz_pg", 97);
    box->setChecked(!box->isChecked());
    return box->isChecked();
}

void wizard_page::enable_ctrl(int id, bool enable) {
    TK_TRACE(2, "wizard_page::enable_ctrl(%d=%d)", id, enable ? 1 : 0);
    auto* widget = control<QWidget>(id);
    if (widget == nullptr) throw tk_mail_assertion("g_wiz_pg", 112);
    widget->setEnabled(enable);
    if (enable) widget->setFocus();
}

void wizard_page::set_title_font(QWidget* control) {
    QFont font("Verdana");
    font.setPointSize(10);
    font.setBold(true);
    control->setFont(font);
}

bool wizard_page::validatePage() { return on_next() == 0; }

void wizard_page::set_complete(bool complete) {
    if (complete_ == complete) return;
    complete_ = complete;
    emit completeChanged();
}
