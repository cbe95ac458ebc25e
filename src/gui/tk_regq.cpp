#include "gui/tk_regq.h"

#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>

#include "tk/tk_log.h"
#include "tk/tk_regk.h"
#include "tk/tk_utils.h"

const char* const tk_support_address = "support@ferrovane.example";

namespace {
const QString k_wizard_key = "Software\\Ferrovane\\Tarnbridge";

class settings_store : public tk_reg_store {
public:
    explicit settings_store(QString group)
        : settings_(QSettings::NativeFormat, QSettings::UserScope, "Ferrovane", "Tarnbridge"),
          group_(std::move(group)) {}

    long query(const std::string& name, std::u16string& text) override {
        QString key = full_name(name);
        if (!settings_.contains(key)) return tk_reg_not_found;
        text = settings_.value(key).toString().toStdU16String();
        return tk_reg_ok;
    }

    long set(const std::string& name, const std::u16string& text) override {
        settings_.setValue(full_name(name), QString::fromStdU16String(text));
        settings_.sync();
        return settings_.status() == QSettings::NoError ? tk_reg_ok : tk_reg_access_denied;
    }

private:
    QString full_name(const std::string& name) const {
        QString value = QString::fromStdString(name);
        return group_.isEmpty() ? value : group_ + "/" + value;
    }
    QSettings settings_;
    QString group_;
};
}  // namespace

void tk_install_settings_store() {
    tk_set_reg_store([](tk_reg_root root, const std::string& path) -> std::unique_ptr<tk_reg_store> {
        QString key = QString::fromStdString(path);
        QString group;
        if (root != tk_reg_root::current_user || key.compare(k_wizard_key, Qt::CaseInsensitive) != 0)
            group = QString(root == tk_reg_root::current_user ? "user/" : "machine/") +
                    key.replace('\\', '/');
        auto store = std::make_unique<settings_store>(group);
        return store;
    });
}

void tk_copy_to_clipboard2(const std::u16string& text) {
    TK_TRACE(2, "tk_copy_to_clipboard2(%s)", TK_W(text));
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        TK_TRACE(2, "GetLastError() returns %08X", 0u);
        return;
    }
    clipboard->setText(QString::fromStdU16String(text));
    TK_TRACE(2, "OpenClipboard succeeded");
}

void tk_send_bug(const std::string& title, const std::string& text) {
    TK_TRACE(2, "tk_send_bug(%s|%s)", title.c_str(), text.c_str());
    QDateTime now = QDateTime::currentDateTime();
    QString received = QString::asprintf("%d/%d/%d %d:%d", now.date().year(), now.date().month(),
                                         now.date().day(), now.time().hour(), now.time().minute());
    QUrl url(QString("mailto:") + tk_support_address);
    QUrlQuery query;
    query.addQueryItem("subject",
                       "Bug report on " + QString::fromStdU16String(tk_from_ansi(title)));
    query.addQueryItem("body", QString::fromStdU16String(tk_from_ansi(text)) + "\n\n" + received);
    url.setQuery(query);
    QString here = QDir::currentPath();
    bool sent = QDesktopServices::openUrl(url);
    TK_TRACE(2, "lpfnMAPISendMail returns %d", sent ? 0 : 1);
    QDir::setCurrent(here);
}
