#include "gui/g_f_dlg.h"

#include <QDir>
#include <QFileDialog>

#include "tk/tk_errco.h"

QString profile_filter(const QString& extension) {
    return QString("Profile Files (.%1) (*.%1);;All Files (*.*) (*)").arg(extension);
}

file_dialog::file_dialog(QWidget* owner, QString filter, QString title, QString folder)
    : owner_(owner), filter_(std::move(filter)), title_(std::move(title)), folder_(std::move(folder)) {}

QString file_dialog::open() {
    QString here = QDir::currentPath();
    QString path = QFileDialog::getOpenFileName(owner_, title_, folder_, filter_, nullptr,
                                                QFileDialog::DontUseNativeDialog);
    QDir::setCurrent(here);
    return path;
}

QString file_dialog::save(const QString& default_extension) {
    if (default_extension.isEmpty()) throw tk_mail_assertion("g_f_dlg", 88);
    QString here = QDir::currentPath();
    QString path = QFileDialog::getSaveFileName(owner_, title_, folder_, filter_, nullptr,
                                                QFileDialog::DontUseNativeDialog);
    QDir::setCurrent(here);
    return path.isEmpty() ? path : with_extension(path, default_extension);
}

QString file_dialog::with_extension(const QString& path, const QString& default_extension) {
    if (default_extension.isEmpty()) throw tk_mail_assertion("g_f_dlg", 88);
    QString dotted = default_extension.startsWith('.') ? default_extension : "." + default_extension;
    return path.contains(dotted) ? path : path + dotted;
}
