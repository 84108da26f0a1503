#include "ui/PageTile.h"

#include "ui/Palette.h"
#include "ui/TileFlow.h"

#include <QPainter>

PageTile::PageTile(std::shared_ptr<Page> page, QWidget* parent)
    : QWidget(parent), shownPage(std::move(page)) {
    setFixedSize(TileFlow::tileSize, TileFlow::tileSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PageTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Palette::white);
    painter.setPen(Palette::gray);
    painter.drawRect(0, 0, 98, 98);
    painter.setPen(Palette::darkGray);
    painter.drawRect(1, 1, 98, 98);
}
