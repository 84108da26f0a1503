#include "app/Velmora.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // Lets a Wayland desktop match the windows to the installed menu entry and its icon; on X11
    // the entry names the window class instead.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    Velmora velmora;
    return application.exec();
}
