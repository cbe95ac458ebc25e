// Steps 1 and 2: the MySQL and DB2 connection settings, proven by connecting on Next.
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/g_conv.h"
#include "gui/g_wiz_sh.h"
#include "gui/qvx_shel.h"
#include "sql/sql_engi.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
// Every edit field is read with this limit.
constexpr int k_field_limit = 259;
constexpr int k_help_troubleshooting = 1022;

QLineEdit* limited_edit(bool password = false) {
    auto* edit = new QLineEdit;
    edit->setMaxLength(k_field_limit);
    if (password) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

std::string read_narrow(const QLineEdit* edit) {
    return edit->text().left(k_field_limit).toUtf8().toStdString();
}

std::u16string read_wide(const QLineEdit* edit) {
    return edit->text().left(k_field_limit).toStdU16String();
}

QString from_utf8(const std::string& text) { return QString::fromUtf8(text); }
}  // namespace

// -- MySQL ------------------------------------------------------------------------------------

sql_settings_page2::sql_settings_page2()
    : wizard_page(page_kind::interior, 123, "Step 1 of 5", "Connect to MySQL server", 1017) {
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel("Provide necessary information to establish connection with MySQL server.");
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* access = new QGroupBox(" Access mode ");
    auto* access_layout = new QHBoxLayout(access);
    local_ = tag(new QRadioButton("&Local"), 1329);
    remote_ = tag(new QRadioButton("&Remote"), 1330);
    access_layout->addWidget(local_);
    access_layout->addWidget(remote_);
    access_layout->addStretch();
    layout->addWidget(access);

    auto* authorization = new QGroupBox(" Authorization settings ");
    auto* auth_layout = new QGridLayout(authorization);
    user_ = tag(limited_edit(), 1012);
    password_ = tag(limited_edit(true), 1013);
    auto* user_label = new QLabel("&User name:");
    user_label->setBuddy(user_);
    auto* password_label = new QLabel("User pa&ssword:");
    password_label->setBuddy(password_);
    auth_layout->addWidget(user_label, 0, 0);
    auth_layout->addWidget(user_, 0, 1);
    auth_layout->addWidget(password_label, 1, 0);
    auth_layout->addWidget(password_, 1, 1);
    layout->addWidget(authorization);

    auto* remote = new QGroupBox(" Remote settings ");
    auto* remote_layout = new QGridLayout(remote);
    host_ = tag(limited_edit(), 1014);
    port_ = tag(limited_edit(), 1015);
    auto* host_label = new QLabel("H&ost:");
    host_label->setBuddy(host_);
    auto* port_label = new QLabel("&Port number:");
    port_label->setBuddy(port_);
    remote_layout->addWidget(host_label, 0, 0);
    remote_layout->addWidget(host_, 0, 1);
    remote_layout->addWidget(new QLabel("(it could be network name or IP address)"), 0, 2);
    remote_layout->addWidget(port_label, 1, 0);
    remote_layout->addWidget(port_, 1, 1);
    remote_layout->addWidget(new QLabel("(default MySQL port is 3306)"), 1, 2);
    layout->addWidget(remote);
    layout->addStretch();

    connect(local_, &QRadioButton::clicked, this, [this] { set_remote(false, false); });
    connect(remote_, &QRadioButton::clicked, this, [this] { set_remote(true, true); });
}

void sql_settings_page2::set_remote(bool remote, bool focus) {
    if (focus) {
        enable_ctrl(1015, remote);
        enable_ctrl(1014, remote);
    } else {
        host_->setEnabled(remote);
        port_->setEnabled(remote);
    }
}

bool sql_settings_page2::page_init() {
    TK_TRACE(2, "sql_settings_page2::page_init");
    TK_TRACE(2, "Step #1");
    wizard_convertor& conv = wizard_conv();
    user_->setText(from_utf8(conv.mysql_user()));
    password_->setText(from_utf8(conv.mysql_password()));
    if (conv.mysql_host().empty()) {
        TK_TRACE(2, "Step #2.2");
        local_->setChecked(true);
        set_remote(false, false);
    } else {
        TK_TRACE(2, "Step #2.1");
        remote_->setChecked(true);
        set_remote(true, false);
        host_->setText(from_utf8(conv.mysql_host()));
        port_->setText(from_utf8(conv.mysql_port()));
    }
    return true;
}

void sql_settings_page2::store_settings() {
    TK_TRACE(2, "sql_settings_page2::store_settings");
    std::string host;
    std::string port = "3306";
    if (remote_->isChecked()) {
        host = read_narrow(host_);
        port = read_narrow(port_);
    }
    wizard_conv().store_mysql_settings(host, read_narrow(user_), read_narrow(password_), port);
}

int sql_settings_page2::on_back() {
    store_settings();
    return 0;
}

int sql_settings_page2::on_next() {
    TK_TRACE(2, "sql_settings_page2::on_next");
    store_settings();
    wizard_shell& shell = wizard_shell::get_instance();
    try {
        wizard_conv().connect_mysql_server();
        return 0;
    } catch (const sql_auth_not_supported_exception& e) {
        shell.error(std::string(e.what()));
        shell.display_help(k_help_troubleshooting);
    } catch (const tk_exception& e) {
        shell.error(error_handler::get_instance().build_message(e));
        int low_code = e.code() & 0xFFFF;
        if (low_code == 1249 || low_code == 1250) shell.display_help(k_help_troubleshooting);
    }
    return -1;
}

// -- DB2 --------------------------------------------------------------------------------------

db2_settings_page2::db2_settings_page2()
    : wizard_page(page_kind::interior, 131, "Step 2 of 5", "Connect to IBM DB2 server", 1001) {
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel("Provide necessary information to establish connection with DB2 server.");
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* grid = new QGridLayout;
    database_ = tag(limited_edit(), 1014);
    user_ = tag(limited_edit(), 1012);
    password_ = tag(limited_edit(true), 1013);
    const std::pair<const char*, QLineEdit*> rows[] = {
        {"&Database:", database_}, {"&Username:", user_}, {"&Password:", password_}};
    int row = 0;
    for (const auto& [text, edit] : rows) {
        auto* label = new QLabel(text);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
    }
    layout->addLayout(grid);
    layout->addStretch();
}

bool db2_settings_page2::page_init() {
    TK_TRACE(2, "db2_settings_page2::page_init");
    wizard_convertor& conv = wizard_conv();
    database_->setText(QString::fromStdU16String(conv.get_destination_name()));
    user_->setText(QString::fromStdU16String(conv.db2_user()));
    password_->setText(QString::fromStdU16String(conv.db2_password()));
    return true;
}

void db2_settings_page2::store_settings() {
    TK_TRACE(2, "db2_settings_page2::store_settings");
    wizard_conv().store_db2_settings(read_wide(database_), read_wide(user_), read_wide(password_));
}

int db2_settings_page2::on_back() {
    store_settings();
    return 0;
}

int db2_settings_page2::on_next() {
    TK_TRACE(2, "db2_settings_page2::on_next");
    store_settings();
    wizard_convertor& conv = wizard_conv();
    try {
        conv.connect_db2_server(conv.get_destination_name());
        return 0;
    } catch (const tk_exception& e) {
        wizard_shell::get_instance().error(std::string(e.what()));
    }
    return -1;
}
