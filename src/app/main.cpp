#include "app/Velmora.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // Lets the desktop match the windows to the installed menu entry and show its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(VELMORA_APP_ID)));
    Velmora velmora;
    return application.exec();
}
