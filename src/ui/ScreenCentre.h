#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

// Where a window goes to stand in the middle of the screen: each half an integer division.
QPoint centredPosition(const QSize& screen, const QSize& window);

// Moves the window to the middle of the primary screen.
void centreOnScreen(QWidget& window);
