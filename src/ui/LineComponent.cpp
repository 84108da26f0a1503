#include "ui/LineComponent.h"

#include "ui/Palette.h"

#include <QPainter>

LineComponent::LineComponent(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundColour(*this, Palette::lightGray);
    setFixedHeight(2);
}

void LineComponent::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    painter.setPen(Palette::gray);
    painter.drawLine(0, 0, w - 1, 0);
    painter.setPen(Palette::white);
    painter.drawLine(0, 1, w - 1, 1);
}
