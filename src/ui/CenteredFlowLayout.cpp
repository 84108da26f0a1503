#include "ui/CenteredFlowLayout.h"

#include "ui/TileFlow.h"

CenteredFlowLayout::CenteredFlowLayout(QWidget* parent) : QLayout(parent) {
    setContentsMargins(0, 0, 0, 0);
}

CenteredFlowLayout::~CenteredFlowLayout() {
    qDeleteAll(items);
}

void CenteredFlowLayout::addItem(QLayoutItem* item) {
    items.append(item);
}

int CenteredFlowLayout::count() const {
    return static_cast<int>(items.size());
}

QLayoutItem* CenteredFlowLayout::itemAt(int index) const {
    return items.value(index);
}

QLayoutItem* CenteredFlowLayout::takeAt(int index) {
    return index >= 0 && index < items.size() ? items.takeAt(index) : nullptr;
}

// The panel's size comes from the window, never from its tiles; the scroll bar shows the rest.
QSize CenteredFlowLayout::sizeHint() const {
    return {0, 0};
}

QSize CenteredFlowLayout::minimumSize() const {
    return {0, 0};
}

void CenteredFlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const std::vector<QPoint> places = TileFlow::positions(rect.width(), count());
    for (int i = 0; i < count(); ++i) {
        const QPoint place = rect.topLeft() + places[static_cast<size_t>(i)];
        items[i]->setGeometry(QRect(place, QSize(TileFlow::tileSize, TileFlow::tileSize)));
    }
}
