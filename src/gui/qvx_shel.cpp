// Start-up of the wizard program and its welcome page.
#include "gui/qvx_shel.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "common/error_messages.h"
#include "gui/g_conv.h"
#include "gui/g_f_dlg.h"
#include "gui/g_finish.h"
#include "gui/g_wiz_sh.h"
#include "gui/tk_regq.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
constexpr int k_version_major = 1;
constexpr int k_version_minor = 0;
const char k_profile_extension[] = "qvx";

void show_plain_error(const QString& text) {
    if (wizard_shell::has_instance()) {
        wizard_shell::get_instance().error(text.toStdU16String());
        return;
    }
    QMessageBox box(QMessageBox::Critical, "Error", text, QMessageBox::Ok);
    box.exec();
}
}  // namespace

wizard_convertor& wizard_conv() {
    return static_cast<wizard_convertor&>(quorvex_convertor::get_instance());
}

void add_wizard_pages(wizard_shell& shell, bool quick_launch) {
    if (!quick_launch) {
        shell.add_page(new welcome_page(k_profile_extension));
        shell.add_page(new sql_settings_page2);
        shell.add_page(new db2_settings_page2);
        shell.add_page(new sel_file_page);
        shell.add_page(new sel_tables_page("There are no tables selected. Continue anyway?"));
    }
    shell.add_page(new progress_page);
    shell.add_page(new gui_finish_page(
        k_profile_extension,
        "Wizard has migrated your MySQL database to\nIBM DB2 server successfully.\n\nClick "
        "'Finish' to exit the wizard.",
        "There were some errors while converting the database.\nClick 'Finish' to exit the "
        "wizard."));
}

std::u16string wizard_title() {
    char title[64];
    std::snprintf(title, sizeof title, "Tarnbridge %d.%d %s", k_version_major, k_version_minor,
                  "");
    return tk_u16(title);
}

int quorvex_main(const std::string& command_line) {
    tk_install_settings_store();
    wizard_error_handler handler;
    handler.load_err_map(qvx_error_message_count, qvx_error_messages);
    // The check of the window system's version that the original platform needed has no
    // counterpart here: Qt refuses to start on a platform it cannot serve.
    int result = 0;
    std::unique_ptr<wizard_convertor> converter;
    try {
        converter = std::make_unique<wizard_convertor>();
        std::u16string profile;
        bool quick_launch = !command_line.empty() && tk_ansi_to_wide(command_line.c_str(), profile);
        if (quick_launch) {
            TK_TRACE(2, "QUICK LAUNCH: profile=%s", command_line.c_str());
            if (!converter->load_profile(profile))
                throw tk_exception("The profile " + command_line + " could not be read.", 1);
        }

        wizard_shell shell(wizard_title(), 501, 311, 312);
        if (quick_launch) {
            converter->connect_mysql_server();
            converter->connect_db2_server(converter->get_destination_name());
        }
        add_wizard_pages(shell, quick_launch);
        result = shell.run();
    } catch (const tk_exception& e) {
        try {
            handler.handle(e, 1);
        } catch (const tk_final_exception&) {
        }
        result = 0;
    } catch (const tk_final_exception&) {
        result = 0;
    } catch (const std::exception& e) {
        show_plain_error(QString::fromLocal8Bit(e.what()));
        result = 0;
    }
    converter.reset();
    return result;
}

// ---------------------------------------------------------------------------------------------

welcome_page::welcome_page(QString profile_extension)
    : wizard_page(page_kind::first, 103, QString(), QString(), 1018),
      extension_(std::move(profile_extension)) {
    auto* layout = new QVBoxLayout(this);
    heading_ = tag(new QLabel("Welcome to the Database\nConversion Wizard\n"), 1337);
    layout->addWidget(heading_);
    for (const char* line :
         {"This wizard helps you move MySQL database to IBM DB2",
          "server. Click 'Next' to continue.", "", "WARNING: conversion productivity strongly depends",
          "on amount of available memory. It is recommended that",
          "you exit all programs before continue with the wizard."})
        layout->addWidget(new QLabel(line));
    layout->addStretch();
    auto* load = tag(new QPushButton("Load profile"), 1115);
    layout->addWidget(load, 0, Qt::AlignLeft);
    connect(load, &QPushButton::clicked, this, &welcome_page::on_load_profile);
}

bool welcome_page::page_init() {
    TK_TRACE(2, "welcome_page::page_init");
    set_title_font(heading_);
    return true;
}

void welcome_page::on_load_profile() {
    file_dialog dialog(wizard(), profile_filter(extension_), "Select Profile File", QString());
    QString path = dialog.open();
    if (path.isEmpty()) return;
    try {
        if (!wizard_conv().load_profile(path.toStdU16String()))
            wizard_shell::get_instance().error(u"The profile could not be read: a setting comes "
                                               u"before the first section.");
    } catch (const tk_exception& e) {
        wizard_shell::get_instance().error(std::string(e.what()));
    }
}
