#include "ui/VelmoraStartWindow.h"

#include "platform/LoginName.h"
#include "storage/HelpFile.h"
#include "ui/Palette.h"
#include "ui/ScreenCentre.h"

#include <QDir>
#include <QPainter>

namespace {

constexpr int windowWidth = 400;
constexpr int windowHeight = 200;

} // namespace

VelmoraStartWindow::VelmoraStartWindow(QWidget* owner, qint32 version)
    // A splash window: undecorated, kept with the main window and never in a task bar.
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint),
      TitleImage(QStringLiteral(":/images/Title.gif")), UserName(loginName()) {
    setObjectName(QStringLiteral("StartWindow"));
    // Never shown by a frame, but it tells the window apart from the main window's "Velmora".
    setWindowTitle(QStringLiteral("Velmora start"));
    setBackgroundColour(*this, Palette::lightGray);
    setFixedSize(windowWidth, windowHeight);
    VersionString = QString::number(version) + QStringLiteral(".0");
    setCursor(Qt::WaitCursor);
    showTimer.setSingleShot(true);
    connect(&showTimer, &QTimer::timeout, this, &VelmoraStartWindow::finish);
}

void VelmoraStartWindow::showFor(std::chrono::milliseconds showTime) {
    centreOnScreen(*this);
    show();
    // The picture is compiled in and already loaded; the wait is the show itself.
    if (showTime.count() > 0)
        showTimer.start(showTime);
    else
        finish();
}

void VelmoraStartWindow::finish() {
    installHelpFile(QStringLiteral(":/help.html"), QDir::current().filePath("help.html"));
    hide();
    emit finished();
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
