#include "ui/PageToolTip.h"

#include "platform/LocalDateText.h"
#include "ui/Palette.h"

#include <QPainter>

PageToolTip::PageToolTip(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), DefaultFont(Palette::dialogFont(12)) {
    setObjectName(QStringLiteral("ToolTip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setBackgroundColour(*this, Palette::tipBackground);
    resize(400, 50);
}

void PageToolTip::setPageTitle(const QString& title) {
    PageTitle = title;
}

void PageToolTip::setPageURL(const QString& url) {
    PageURL = url;
}

void PageToolTip::setLastModifiedDateLong(qint64 time) {
    LastModifiedDateLong = time;
}

void PageToolTip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    // A three-pixel frame, darkest outside.
    const QColor once = Palette::darker(Palette::tipBackground);
    const QColor twice = Palette::darker(once);
    painter.setPen(Palette::darker(twice));
    painter.drawRect(0, 0, w - 1, h - 1);
    painter.setPen(twice);
    painter.drawRect(1, 1, w - 3, h - 3);
    painter.setPen(once);
    painter.drawRect(2, 2, w - 5, h - 5);

    // A line too long for the window is cut inside the frame, not on it.
    painter.setClipRect(3, 3, w - 6, h - 6);
    painter.setPen(Palette::black);
    painter.setFont(DefaultFont);
    painter.drawText(5, 15, PageTitle);
    painter.drawText(5, 27, PageURL);
    painter.drawText(5, 39, localDateText(LastModifiedDateLong));
}
