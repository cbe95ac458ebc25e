#include "gui/g_finish.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/g_conv.h"
#include "gui/g_f_dlg.h"
#include "gui/g_wiz_sh.h"
#include "gui/qvx_shel.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

gui_finish_page::gui_finish_page(QString profile_extension, QString success_text,
                                 QString error_text)
    : wizard_page(page_kind::last, 116, QString(), QString(), help_none),
      extension_(std::move(profile_extension)),
      success_text_(std::move(success_text)),
      error_text_(std::move(error_text)) {
    auto* layout = new QVBoxLayout(this);
    heading_ = tag(new QLabel("Conversion is Completed"), 1313);
    result_ = tag(new QLabel, 1314);
    result_->setWordWrap(true);
    report_ = tag(new QPlainTextEdit, 1016);
    report_->setVisible(false);
    auto* save = tag(new QPushButton("&Save Settings"), 1116);
    layout->addWidget(heading_);
    layout->addSpacing(12);
    layout->addWidget(result_);
    layout->addWidget(report_, 1);
    layout->addStretch();
    layout->addWidget(save, 0, Qt::AlignLeft);
    connect(save, &QPushButton::clicked, this, &gui_finish_page::on_save_settings);
}

bool gui_finish_page::page_init() {
    TK_TRACE(2, "gui_finish_page::page_init");
    set_title_font(heading_);
    QTimer::singleShot(0, this, [] {
        wizard_shell& shell = wizard_shell::get_instance();
        shell.enable_button(wizard_shell::button_cancel, false);
        shell.enable_button(wizard_shell::button_help, false);
    });
    std::vector<std::string> errors = wizard_shell::get_instance().errors();
    if (!errors.empty()) {
        TK_TRACE(2, "Display errors");
        result_->setText(error_text_);
        report_->setVisible(true);
        report_->setReadOnly(false);
        QString report;
        for (std::string message : errors) {
            std::replace(message.begin(), message.end(), '\n', ' ');
            report += QString::fromStdU16String(tk_from_ansi(message)) + "\n\n";
        }
        report_->setPlainText(report);
        report_->setReadOnly(true);
    } else {
        TK_TRACE(2, "Display success-message");
        result_->setText(success_text_);
        report_->setVisible(false);
    }
    return true;
}

void gui_finish_page::on_save_settings() {
    file_dialog dialog(wizard(), profile_filter(extension_), "Select Profile File", QString());
    QString path = dialog.save(extension_);
    if (path.isEmpty()) return;
    try {
        wizard_conv().store_profile(path.toStdU16String());
    } catch (const tk_exception& e) {
        wizard_shell::get_instance().error(std::string(e.what()));
    }
}
