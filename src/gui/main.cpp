// quorvex: the desktop wizard. Everything after the program name is one profile path.
#include <QApplication>
#include <string>

#include "gui/qvx_shel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Ferrovane");
    QApplication::setApplicationName("Tarnbridge");
    std::string command_line;
    QStringList arguments = QApplication::arguments();
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        if (index > 1) command_line += ' ';
        command_line += arguments[index].toLocal8Bit().toStdString();
    }
    return quorvex_main(command_line);
}
