// The open and save file dialogs of the wizard. Each is given an owner, a filter, a title and an
// initial folder; the working folder is the same after the dialog as before it.
#pragma once

#include <QString>
#include <QWidget>

// The filter "Profile Files (.qvx)" / "All Files (*.*)" for an extension such as "qvx".
QString profile_filter(const QString& extension);

class file_dialog {
public:
    file_dialog(QWidget* owner, QString filter, QString title, QString folder);
    // The chosen path; empty when the user cancels.
    QString open();
    // The chosen path with "." and the default extension appended when it lacks them. An empty
    // default extension is an internal error.
    QString save(const QString& default_extension);

    // The path the save dialog returns for a typed name.
    static QString with_extension(const QString& path, const QString& default_extension);

private:
    QWidget* owner_;
    QString filter_;
    QString title_;
    QString folder_;
};
