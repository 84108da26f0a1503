#include "ui/PagePanel.h"

#include "ui/PagePanelAccessible.h"
#include "ui/Palette.h"
#include "ui/TileFlow.h"

#include <QAbstractSlider>
#include <QAccessible>
#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int rowStep = TileFlow::tileSize + TileFlow::gap;

void tellAssistiveTools(PagePanel* panel, QAccessible::Event type, qsizetype tile = -1) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(panel, type);
    if (tile >= 0)
        event.setChild(static_cast<int>(tile));
    QAccessible::updateAccessibility(&event);
}

} // namespace

PagePanel::PagePanel(QWidget* parent) : QWidget(parent) {
    // Assistive tools learn about the tiles through this factory, installed once per process.
    static const bool accessible = (QAccessible::installFactory(&accessibleForPagePanel), true);
    Q_UNUSED(accessible);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    // Only the keyboard gives the panel focus, so a mouse user never sees a focus mark.
    setFocusPolicy(Qt::TabFocus);
}

void PagePanel::setPages(PageList list) {
    shown = std::move(list);
    tiles.clear();
    tiles.reserve(count());
    for (qsizetype i = 0; i < count(); ++i)
        tiles.insert((*shown)[static_cast<size_t>(i)].get(), i);
    laidOutWidth = -1;
    hovered = -1;
    buttonDown = false;
    if (focused >= count())
        focused = -1;
    update();
    tellAssistiveTools(this, QAccessible::ObjectReorder);
}

qsizetype PagePanel::count() const {
    return shown ? static_cast<qsizetype>(shown->size()) : 0;
}

std::shared_ptr<Page> PagePanel::pageAt(qsizetype tile) const {
    if (tile < 0 || tile >= count())
        return nullptr;
    return (*shown)[static_cast<size_t>(tile)];
}

qsizetype PagePanel::tileOf(const Page* page) const {
    return tiles.value(page, -1);
}

void PagePanel::layOut() const {
    if (laidOutWidth == width() && PageBasePosition.size() == static_cast<size_t>(count()))
        return;
    PageBasePosition = TileFlow::positions(width(), static_cast<int>(count()));
    laidOutWidth = width();
    rowLength = 1;
    while (rowLength < count() &&
           PageBasePosition[static_cast<size_t>(rowLength)].y() == PageBasePosition.front().y())
        ++rowLength;
}

void PagePanel::setScrollOffset(int newOffset) {
    if (newOffset == offset)
        return;
    offset = newOffset;
    update();
    // The tiles moved under a pointer that stood still.
    if (underMouse())
        pointerAt(mapFromGlobal(QCursor::pos()), nullptr);
}

int PagePanel::contentBottom() const {
    layOut();
    return PageBasePosition.empty() ? 0 : PageBasePosition.back().y() + TileFlow::tileSize;
}

QRect PagePanel::tileRect(qsizetype tile) const {
    layOut();
    if (tile < 0 || tile >= count())
        return {};
    const QPoint base = PageBasePosition[static_cast<size_t>(tile)];
    return {base.x(), base.y() - offset, TileFlow::tileSize, TileFlow::tileSize};
}

qsizetype PagePanel::tileAt(QPoint position) const {
    layOut();
    const int y = position.y() + offset - TileFlow::gap;
    if (count() == 0 || y < 0 || y % rowStep >= TileFlow::tileSize)
        return -1;
    const qsizetype first = (y / rowStep) * rowLength;
    if (first >= count())
        return -1;
    const int x = position.x() - PageBasePosition[static_cast<size_t>(first)].x();
    if (x < 0 || x % rowStep >= TileFlow::tileSize || x / rowStep >= rowLength)
        return -1;
    const qsizetype tile = first + x / rowStep;
    return tile < count() ? tile : -1;
}

std::pair<qsizetype, qsizetype> PagePanel::tilesAcross(const QRect& area) const {
    layOut();
    const int top = area.top() + offset - TileFlow::gap;
    const int bottom = area.bottom() + offset - TileFlow::gap;
    if (count() == 0 || bottom < 0)
        return {0, 0};
    const qsizetype first = std::max(top, 0) / rowStep * rowLength;
    const qsizetype last = (bottom / rowStep + 1) * rowLength;
    return {std::min(first, count()), std::min(last, count())};
}

void PagePanel::repaintPages(const std::vector<std::weak_ptr<const Page>>& pages) {
    for (const auto& weak : pages) {
        const std::shared_ptr<const Page> page = weak.lock();
        const qsizetype tile = page ? tileOf(page.get()) : -1;
        if (tile < 0)
            continue;
        repaintTile(tile);
        tellAssistiveTools(this, QAccessible::DescriptionChanged, tile);
    }
}

void PagePanel::repaintTile(qsizetype tile) {
    const QRect area = tileRect(tile);
    if (area.intersects(rect()))
        update(area);
}

void PagePanel::attachScrollBar(QAbstractSlider* bar) {
    scrollBar = bar;
}

void PagePanel::followToolTip(QWidget* tip) {
    toolTip = tip;
    tip->setMouseTracking(true);
    tip->installEventFilter(this);
}

void PagePanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Palette::lightGray);
    const auto [first, last] = tilesAcross(event->rect());
    for (qsizetype tile = first; tile < last; ++tile) {
        const QRect area = tileRect(tile);
        if (!event->region().intersects(area))
            continue;
        painter.save();
        painter.translate(area.topLeft());
        tilePainter.paint(painter, *(*shown)[static_cast<size_t>(tile)]);
        if (tile == focused && hasFocus()) {
            painter.setPen(QPen(Palette::black, 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(3, 3, TileFlow::tileSize - 7, TileFlow::tileSize - 7);
        }
        painter.restore();
    }
}

void PagePanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void PagePanel::enterEvent(QEnterEvent* event) {
    pointerAt(event->position().toPoint(), nullptr);
}

void PagePanel::leaveEvent(QEvent*) {
    // The tip lies over the tile it belongs to; the pointer moving onto it has not left.
    if (!pointerOnTipOverItsTile())
        leaveTile();
}

void PagePanel::mouseMoveEvent(QMouseEvent* event) {
    // A drag is not a move over the tiles.
    if (event->buttons() == Qt::NoButton)
        pointerAt(event->position().toPoint(), event);
}

void PagePanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    buttonDown = true;
    pressed = tileAt(event->position().toPoint());
    // Back to the mouse: the keyboard's mark goes.
    if (focused >= 0) {
        repaintTile(focused);
        focused = -1;
    }
}

void PagePanel::mouseReleaseEvent(QMouseEvent* event) {
    release(event->position().toPoint(), *event);
}

void PagePanel::wheelEvent(QWheelEvent* event) {
    if (scrollBar && scrollBar->isEnabled())
        QCoreApplication::sendEvent(scrollBar, event);
    else
        event->ignore();
}

void PagePanel::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && focused >= 0)
        activateTile(focused);
    else
        QWidget::keyPressEvent(event);
}

void PagePanel::focusInEvent(QFocusEvent* event) {
    if (focused < 0 && count() > 0 && event->reason() == Qt::TabFocusReason)
        focusTile(0);
    else if (focused < 0 && count() > 0 && event->reason() == Qt::BacktabFocusReason)
        focusTile(count() - 1);
    else if (focused >= 0)
        repaintTile(focused);
}

void PagePanel::focusOutEvent(QFocusEvent*) {
    if (focused >= 0)
        repaintTile(focused);
}

bool PagePanel::focusNextPrevChild(bool next) {
    const qsizetype n = count();
    if (n == 0)
        return QWidget::focusNextPrevChild(next);
    focusTile(next ? (focused + 1) % n : (focused <= 0 ? n - 1 : focused - 1));
    return true;
}

void PagePanel::focusTile(qsizetype tile) {
    if (focused >= 0)
        repaintTile(focused);
    focused = tile;
    // Scroll just far enough to show the whole tile.
    const QRect area = tileRect(tile);
    if (scrollBar && scrollBar->isEnabled()) {
        if (area.top() < 0)
            scrollBar->setValue(offset + area.top() - TileFlow::gap);
        else if (area.bottom() >= height())
            scrollBar->setValue(offset + area.bottom() + 1 + TileFlow::gap - height());
    }
    repaintTile(tile);
    tellAssistiveTools(this, QAccessible::Focus, tile);
}

void PagePanel::activateTile(qsizetype tile) {
    if (tile >= 0 && tile < count() && takesClicks(tile))
        emit tileActivated(tile);
}

bool PagePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != toolTip)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // The pointer over the tip is still over the tile under it.
        const auto* over = static_cast<QMouseEvent*>(event);
        QMouseEvent here(over->type(), mapFromGlobal(over->globalPosition()), over->scenePosition(),
                         over->globalPosition(), over->button(), over->buttons(), over->modifiers(),
                         over->pointingDevice());
        if (event->type() == QEvent::MouseMove)
            mouseMoveEvent(&here);
        else if (event->type() == QEvent::MouseButtonPress)
            mousePressEvent(&here);
        else
            mouseReleaseEvent(&here);
        toolTip->setCursor(window()->cursor());
        return true;
    }
    case QEvent::Leave:
        if (!rect().contains(mapFromGlobal(QCursor::pos())))
            leaveTile();
        return false;
    default:
        return false;
    }
}

void PagePanel::pointerAt(QPoint position, const QMouseEvent* move) {
    const qsizetype under = tileAt(position);
    if (under != hovered) {
        leaveTile();
        if (under >= 0) {
            hovered = under;
            if (mouseListener)
                mouseListener->mouseEntered(under, position - tileRect(under).topLeft());
        }
    }
    if (move && hovered >= 0 && takesClicks(hovered) && mouseMoveListener)
        mouseMoveListener->mouseMoved(hovered, inTile(hovered, *move));
}

void PagePanel::leaveTile() {
    if (hovered < 0)
        return;
    const qsizetype left = std::exchange(hovered, -1);
    if (mouseListener)
        mouseListener->mouseExited(left);
}

bool PagePanel::pointerOnTipOverItsTile() const {
    if (!toolTip || !toolTip->isVisible() || hovered < 0)
        return false;
    const QPoint pointer = QCursor::pos();
    const QRect tile = tileRect(hovered);
    return toolTip->geometry().contains(pointer) &&
           QRect(mapToGlobal(tile.topLeft()), tile.size()).contains(pointer);
}

void PagePanel::release(QPoint position, const QMouseEvent& event) {
    // Like a widget under the pressed button, the pressed tile gets the release.
    const qsizetype target = buttonDown ? pressed : tileAt(position);
    buttonDown = false;
    if (event.button() == Qt::LeftButton && target >= 0 && takesClicks(target) && mouseListener)
        mouseListener->mouseClicked(target, inTile(target, event));
    pointerAt(position, nullptr);
}

bool PagePanel::takesClicks(qsizetype tile) const {
    const std::shared_ptr<Page> page = pageAt(tile);
    return page && !page->isCheckRunning();
}

QMouseEvent PagePanel::inTile(qsizetype tile, const QMouseEvent& event) const {
    const QPointF corner = tileRect(tile).topLeft();
    return QMouseEvent(event.type(), event.position() - corner, event.scenePosition(),
                       event.globalPosition(), event.button(), event.buttons(), event.modifiers(),
                       event.pointingDevice());
}
