// The wizard's last page: success, or the errors the conversion reported (at most 20, one per
// paragraph), and "&Save Settings" to keep the conversion as a profile.
#pragma once

#include <QString>

#include "gui/g_wiz_pg.h"

class QLabel;
class QPlainTextEdit;

class gui_finish_page : public wizard_page {
    Q_OBJECT
public:
    gui_finish_page(QString profile_extension, QString success_text, QString error_text);
    bool page_init() override;
    void on_save_settings();

private:
    QString extension_;
    QString success_text_;
    QString error_text_;
    QLabel* heading_;
    QLabel* result_;
    QPlainTextEdit* report_;
};
