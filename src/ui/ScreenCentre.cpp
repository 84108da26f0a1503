#include "ui/ScreenCentre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QPoint centredPosition(const QSize& screen, const QSize& window) {
    return {screen.width() / 2 - window.width() / 2, screen.height() / 2 - window.height() / 2};
}

void centreOnScreen(QWidget& window) {
    window.move(
        centredPosition(QGuiApplication::primaryScreen()->geometry().size(), window.size()));
}
