#include "ui/PagePanel.h"

#include "ui/PagePanelAccessible.h"
#include "ui/Palette.h"
#include "ui/TileFlow.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

constexpr int rowStep = TileFlow::tileSize + TileFlow::gap;
constexpr int scrollBarWidth = 15;
constexpr int scrollUnit = 10;
constexpr int scrollBlock = 100;

// The panel's bar is 15 px wide, whatever width the style would give it.
class PanelScrollBar final : public QScrollBar {
public:
    PanelScrollBar() : QScrollBar(Qt::Vertical) {}
    QSize sizeHint() const override { return {scrollBarWidth, QScrollBar::sizeHint().height()}; }
};

} // namespace

PagePanel::PagePanel(QWidget* parent) : QAbstractScrollArea(parent) {
    // Assistive tools learn about the tiles through this factory, installed once per process.
    static const bool accessible = (QAccessible::installFactory(&accessibleForPagePanel), true);
    Q_UNUSED(accessible);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBar(new PanelScrollBar);
    QScrollBar* bar = verticalScrollBar();
    // Before the first fit: a thumb a tenth of the trough.
    bar->setRange(0, 90);
    bar->setPageStep(10);
    bar->setSingleStep(scrollUnit);
    bar->setAccessibleName(QStringLiteral("Scroll pages"));
    // The slider's length shows the visible share, but a click in the trough moves a fixed
    // block of 100 px.
    connect(bar, &QScrollBar::actionTriggered, this, [bar](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd)
            bar->setSliderPosition(bar->value() + scrollBlock);
        else if (action == QAbstractSlider::SliderPageStepSub)
            bar->setSliderPosition(bar->value() - scrollBlock);
    });
    // The whole viewport is painted every time.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    // Only the keyboard gives the panel focus, so a mouse user never sees a focus mark.
    setFocusPolicy(Qt::TabFocus);
}

QSize PagePanel::minimumSizeHint() const {
    return verticalScrollBar()->sizeHint();
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
    viewport()->update();
    tellAssistiveTools(*this, QAccessible::ObjectReorder);
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
    const int width = viewport()->width();
    if (laidOutWidth == width && PageBasePosition.size() == static_cast<size_t>(count()))
        return;
    PageBasePosition = TileFlow::positions(width, static_cast<int>(count()));
    laidOutWidth = width;
}

int PagePanel::scrollOffset() const {
    return verticalScrollBar()->value();
}

void PagePanel::setScrollOffset(int offset) {
    verticalScrollBar()->setValue(offset);
}

void PagePanel::fitScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    const int bottom = contentBottom();
    const int visible = viewport()->height();
    if (visible > bottom) {
        // Everything fits: the tiles stand unscrolled, and so does the thumb.
        bar->setValue(0);
        bar->setEnabled(false);
        return;
    }
    bar->setRange(0, bottom - visible);
    bar->setPageStep(visible);
    bar->setEnabled(true);
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
    return {base.x(), base.y() - scrollOffset(), TileFlow::tileSize, TileFlow::tileSize};
}

QRect PagePanel::tileOnScreen(qsizetype tile) const {
    const QRect area = tileRect(tile);
    return area.isNull() ? area : QRect(viewport()->mapToGlobal(area.topLeft()), area.size());
}

qsizetype PagePanel::tileAt(QPoint position) const {
    return TileFlow::tileAt(viewport()->width(), static_cast<int>(count()),
                            position + QPoint(0, scrollOffset()));
}

std::pair<qsizetype, qsizetype> PagePanel::tilesAcross(const QRect& area) const {
    const int top = area.top() + scrollOffset() - TileFlow::gap;
    const int bottom = area.bottom() + scrollOffset() - TileFlow::gap;
    if (count() == 0 || bottom < 0)
        return {0, 0};
    const qsizetype rowLength = TileFlow::rowLength(viewport()->width());
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
        tellAssistiveTools(*this, QAccessible::DescriptionChanged, tile);
    }
}

void PagePanel::repaintTile(qsizetype tile) {
    const QRect area = tileRect(tile);
    if (area.intersects(viewport()->rect()))
        viewport()->update(area);
}

void PagePanel::followToolTip(QWidget* tip) {
    toolTip = tip;
    tip->setMouseTracking(true);
    tip->installEventFilter(this);
}

void PagePanel::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
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

void PagePanel::scrollContentsBy(int, int) {
    viewport()->update();
    // The tiles moved under a pointer that stood still, on them or on the tip: the tip and the
    // cursor follow what is under it now, as if it had moved there.
    if (!pointerOverTilesOrTip())
        return;
    pointerAt(viewport()->mapFromGlobal(QCursor::pos()), true);
    if (hovered < 0 || !takesClicks(hovered))
        emit nothingToClickUnderPointer();
    if (toolTip)
        toolTip->setCursor(window()->cursor());
}

bool PagePanel::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Enter)
        pointerAt(static_cast<QEnterEvent*>(event)->position().toPoint(), false);
    // The tip lies over the tile it belongs to; the pointer moving onto it has not left.
    else if (event->type() == QEvent::Leave && !pointerOnTipOverItsTile())
        leaveTile();
    return QAbstractScrollArea::viewportEvent(event);
}

void PagePanel::mouseMoveEvent(QMouseEvent* event) {
    // A drag is not a move over the tiles.
    if (event->buttons() == Qt::NoButton)
        pointerAt(event->position().toPoint(), true);
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
    const QPoint position = event->position().toPoint();
    const qsizetype under = tileAt(position);
    // Like a button, a tile is clicked when the left button goes down and up on it.
    const qsizetype clicked = !buttonDown || pressed == under ? under : -1;
    buttonDown = false;
    if (event->button() == Qt::LeftButton && clicked >= 0 && takesClicks(clicked))
        emit tileClicked(pageAt(clicked), position - tileRect(clicked).topLeft());
    pointerAt(position, false);
}

void PagePanel::keyPressEvent(QKeyEvent* event) {
    const std::optional<TileFlow::Move> move = moveOfKey(*event);
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && focused >= 0) {
        activateTile(focused);
    } else if (move && count() > 0) {
        // Before any tile has the mark, a step only shows it on the first tile in view.
        const bool toAnEnd = *move == TileFlow::Move::First || *move == TileFlow::Move::Last;
        const qsizetype to = focused >= 0 || toAnEnd
                                 ? tileAfter(std::max<qsizetype>(focused, 0), *move)
                                 : firstTileInView();
        if (to != focused)
            focusTile(to);
    } else {
        // Other keys go on to the window.
        event->ignore();
    }
}

std::optional<TileFlow::Move> PagePanel::moveOfKey(const QKeyEvent& event) {
    // With Ctrl or Alt a key belongs to the window's shortcuts.
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return std::nullopt;
    switch (event.key()) {
    case Qt::Key_Left:
        return TileFlow::Move::Left;
    case Qt::Key_Right:
        return TileFlow::Move::Right;
    case Qt::Key_Up:
        return TileFlow::Move::Up;
    case Qt::Key_Down:
        return TileFlow::Move::Down;
    case Qt::Key_PageUp:
        return TileFlow::Move::PageUp;
    case Qt::Key_PageDown:
        return TileFlow::Move::PageDown;
    case Qt::Key_Home:
        return TileFlow::Move::First;
    case Qt::Key_End:
        return TileFlow::Move::Last;
    default:
        return std::nullopt;
    }
}

qsizetype PagePanel::tileAfter(qsizetype tile, TileFlow::Move move) const {
    // Page Up and Down move by as many whole rows as the view shows.
    return TileFlow::tileAfterMove(viewport()->width(), static_cast<int>(count()),
                                   static_cast<int>(tile), move, viewport()->height() / rowStep);
}

qsizetype PagePanel::firstTileInView() const {
    return tilesAcross(viewport()->rect()).first;
}

void PagePanel::focusInEvent(QFocusEvent* event) {
    if (focused < 0 && count() > 0 && event->reason() == Qt::TabFocusReason)
        showFocusOn(0);
    else if (focused < 0 && count() > 0 && event->reason() == Qt::BacktabFocusReason)
        showFocusOn(count() - 1);
    else if (focused >= 0)
        repaintTile(focused);
    // Assistive tools hear of the panel's focus after this event; the tile's must follow it.
    QMetaObject::invokeMethod(this, &PagePanel::tellFocusedTile, Qt::QueuedConnection);
}

void PagePanel::focusOutEvent(QFocusEvent*) {
    if (focused >= 0)
        repaintTile(focused);
}

bool PagePanel::focusNextPrevChild(bool next) {
    const qsizetype n = count();
    if (n == 0)
        return QAbstractScrollArea::focusNextPrevChild(next);
    focusTile(next ? (focused + 1) % n : (focused <= 0 ? n - 1 : focused - 1));
    return true;
}

void PagePanel::focusTile(qsizetype tile) {
    showFocusOn(tile);
    tellFocusedTile();
}

void PagePanel::showFocusOn(qsizetype tile) {
    if (focused >= 0)
        repaintTile(focused);
    focused = tile;
    // Scroll just far enough to show the whole tile.
    const QRect area = tileRect(tile);
    const int height = viewport()->height();
    if (verticalScrollBar()->isEnabled()) {
        if (area.top() < 0)
            setScrollOffset(scrollOffset() + area.top() - TileFlow::gap);
        else if (area.bottom() >= height)
            setScrollOffset(scrollOffset() + area.bottom() + 1 + TileFlow::gap - height);
    }
    repaintTile(tile);
}

void PagePanel::tellFocusedTile() {
    if (hasFocus() && focused >= 0)
        tellAssistiveTools(*this, QAccessible::Focus, focused);
}

void PagePanel::activateTile(qsizetype tile) {
    if (tile >= 0 && tile < count() && takesClicks(tile))
        emit tileActivated(pageAt(tile));
}

bool PagePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != toolTip)
        return QAbstractScrollArea::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // The pointer over the tip is still over the tile under it.
        const auto* over = static_cast<QMouseEvent*>(event);
        QMouseEvent here(over->type(), viewport()->mapFromGlobal(over->globalPosition()),
                         over->scenePosition(), over->globalPosition(), over->button(),
                         over->buttons(), over->modifiers(), over->pointingDevice());
        if (event->type() == QEvent::MouseMove)
            mouseMoveEvent(&here);
        else if (event->type() == QEvent::MouseButtonPress)
            mousePressEvent(&here);
        else
            mouseReleaseEvent(&here);
        toolTip->setCursor(window()->cursor());
        return true;
    }
    case QEvent::Wheel: {
        // A wheel turn over the tip scrolls the pages under it.
        const auto* turn = static_cast<QWheelEvent*>(event);
        QWheelEvent here(viewport()->mapFromGlobal(turn->globalPosition()), turn->globalPosition(),
                         turn->pixelDelta(), turn->angleDelta(), turn->buttons(), turn->modifiers(),
                         turn->phase(), turn->inverted(), turn->source(), turn->pointingDevice());
        wheelEvent(&here);
        return true;
    }
    case QEvent::Leave:
        if (!viewport()->rect().contains(viewport()->mapFromGlobal(QCursor::pos())))
            leaveTile();
        return false;
    default:
        return false;
    }
}

void PagePanel::pointerAt(QPoint position, bool moved) {
    // A tile cut off at the panel's edge is not under a pointer beyond that edge.
    const qsizetype under = viewport()->rect().contains(position) ? tileAt(position) : -1;
    if (under != hovered) {
        leaveTile();
        if (under >= 0) {
            hovered = under;
            emit tileEntered(pageAt(under), position - tileRect(under).topLeft());
        }
    }
    if (moved && hovered >= 0 && takesClicks(hovered))
        emit tileMovedOver(pageAt(hovered), position - tileRect(hovered).topLeft());
}

void PagePanel::leaveTile() {
    if (hovered < 0)
        return;
    const qsizetype left = std::exchange(hovered, -1);
    emit tileLeft(pageAt(left));
}

bool PagePanel::pointerOnTipOverItsTile() const {
    if (!toolTip || !toolTip->isVisible() || hovered < 0)
        return false;
    const QPoint pointer = QCursor::pos();
    return toolTip->geometry().contains(pointer) && tileOnScreen(hovered).contains(pointer);
}

bool PagePanel::pointerOverTilesOrTip() const {
    const QWidget* under = QApplication::widgetAt(QCursor::pos());
    return under && (under == viewport() || under == toolTip);
}

bool PagePanel::takesClicks(qsizetype tile) const {
    const std::shared_ptr<Page> page = pageAt(tile);
    return page && !page->isCheckRunning();
}
