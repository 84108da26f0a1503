#include "ui/PagePanel.h"

#include "ui/PagePanelAccessible.h"
#include "ui/Palette.h"
#include "ui/TileFlow.h"

#include <QAccessible>
#include <QCursor>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

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

void tellAssistiveTools(PagePanel* panel, QAccessible::Event type, qsizetype tile = -1) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(panel, type);
    if (tile >= 0)
        event.setChild(static_cast<int>(tile));
    QAccessible::updateAccessibility(&event);
}

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
        tellAssistiveTools(this, QAccessible::DescriptionChanged, tile);
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
    // The tiles moved under a pointer that stood still.
    if (viewport()->underMouse())
        pointerAt(viewport()->mapFromGlobal(QCursor::pos()), false);
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
    // Other keys go on to the window; only the mouse and the focus scroll the view.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && focused >= 0)
        activateTile(focused);
    else
        event->ignore();
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
        return QAbstractScrollArea::focusNextPrevChild(next);
    focusTile(next ? (focused + 1) % n : (focused <= 0 ? n - 1 : focused - 1));
    return true;
}

void PagePanel::focusTile(qsizetype tile) {
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
    tellAssistiveTools(this, QAccessible::Focus, tile);
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
    case QEvent::Leave:
        if (!viewport()->rect().contains(viewport()->mapFromGlobal(QCursor::pos())))
            leaveTile();
        return false;
    default:
        return false;
    }
}

void PagePanel::pointerAt(QPoint position, bool moved) {
    const qsizetype under = tileAt(position);
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

bool PagePanel::takesClicks(qsizetype tile) const {
    const std::shared_ptr<Page> page = pageAt(tile);
    return page && !page->isCheckRunning();
}
