#include "ui/VelmoraStartWindow.h"

#include "app/Velmora.h"
#include "platform/LoginName.h"
#include "storage/HelpFile.h"
#include "ui/Palette.h"
#include "ui/ScreenCentre.h"

#include <QDir>
#include <QEventLoop>
#include <QPainter>
#include <QTimer>

namespace {

constexpr int windowWidth = 400;
constexpr int windowHeight = 200;

} // namespace

VelmoraStartWindow::VelmoraStartWindow(Velmora* parent, std::chrono::milliseconds showTime)
    // A splash window: undecorated, kept with the main window and never in a task bar.
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), Parent(parent),
      TitleImage(QStringLiteral(":/images/Title.gif")), UserName(loginName()) {
    setObjectName(QStringLiteral("StartWindow"));
    // Never shown by a frame, but it tells the window apart from the main window's "Velmora".
    setWindowTitle(QStringLiteral("Velmora start"));
    setBackgroundColour(*this, Palette::lightGray);
    setFixedSize(windowWidth, windowHeight);
    VersionString = QString::number(Velmora::VERSION) + QStringLiteral(".0");
    setCursor(Qt::WaitCursor);

    centreOnScreen(*this);
    show();

    // The picture is compiled in and already loaded; the wait is the show itself.
    waitWhilePainting(showTime);
    installHelpFile(QStringLiteral(":/help.html"), QDir::current().filePath("help.html"));
    hide();
    Parent->startVelmora();
}

void VelmoraStartWindow::waitWhilePainting(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    // The window keeps painting while it waits.
    loop.exec();
}

void VelmoraStartWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!TitleImage.isNull())
        painter.drawPixmap(0, 0, TitleImage);
    painter.setFont(Palette::serifBoldFont(13));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(20, 140, QStringLiteral("Version : ") + VersionString);
    painter.drawText(20, 160, QStringLiteral("User : ") + UserName);
    painter.setPen(Palette::lightGray);
    painter.drawRect(0, 0, 399, 199);
    painter.setPen(Palette::gray);
    painter.drawRect(1, 1, 397, 197);
}
