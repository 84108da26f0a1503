#pragma once

#include "model/PageList.h"
#include "ui/PageTile.h"

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <utility>
#include <vector>

class QAbstractSlider;
class QMouseEvent;

// Told when the pointer enters or leaves a tile and when a tile is clicked; positions are in
// the tile's own coordinates.
class TileMouseListener {
public:
    virtual void mouseEntered(qsizetype tile, QPoint position) = 0;
    virtual void mouseExited(qsizetype tile) = 0;
    virtual void mouseClicked(qsizetype tile, const QMouseEvent& event) = 0;

protected:
    ~TileMouseListener() = default;
};

// Told when the pointer moves over a tile, in the tile's own coordinates.
class TileMouseMoveListener {
public:
    virtual void mouseMoved(qsizetype tile, const QMouseEvent& event) = 0;

protected:
    ~TileMouseMoveListener() = default;
};

// The page panel: one widget that lays the tiles out in centred rows and paints only those on
// screen, so that its cost follows the visible tiles, not the length of the list. Hit tests
// stand in for per-tile widgets: the pointer entering and leaving tiles, moves and clicks go
// to the listeners. The keyboard reaches the tiles too: Tab and Shift+Tab go from tile to
// tile, Enter or Return opens one.
class PagePanel final : public QWidget {
    Q_OBJECT

public:
    explicit PagePanel(QWidget* parent);

    // Shows a new list, laid out for the current width. A null list shows no tiles.
    void setPages(PageList list);
    const PageList& pages() const { return shown; }
    qsizetype count() const;
    std::shared_ptr<Page> pageAt(qsizetype tile) const;
    // -1 when the page is not shown.
    qsizetype tileOf(const Page* page) const;

    // Every tile moves up by this many pixels from its place in the layout.
    void setScrollOffset(int offset);
    int scrollOffset() const { return offset; }
    // The lower edge of the last row, unscrolled; 0 without tiles.
    int contentBottom() const;
    QRect tileRect(qsizetype tile) const;
    // The tile under a point of the panel, -1 for none.
    qsizetype tileAt(QPoint position) const;

    // Repaints the tiles of these pages that are on screen.
    void repaintPages(const std::vector<std::weak_ptr<const Page>>& pages);

    void setMouseListener(TileMouseListener* listener) { mouseListener = listener; }
    void setMouseMoveListener(TileMouseMoveListener* listener) { mouseMoveListener = listener; }
    // The scroll bar beside the panel: the wheel over the panel turns it, and the keyboard
    // scrolls it to bring the focused tile into view.
    void attachScrollBar(QAbstractSlider* bar);
    // The tool tip shown over the tiles: the pointer moving onto it stays on its tile.
    void followToolTip(QWidget* tip);

    // The tile the keyboard is on, -1 until Tab is first pressed.
    qsizetype focusedTile() const { return focused; }

signals:
    // Enter or Return on the focused tile, or an assistive tool's press.
    void tileActivated(qsizetype tile);

public slots:
    void activateTile(qsizetype tile);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // Lays the tiles out again when the width or the list changed since the last time.
    void layOut() const;
    // The tiles whose rows cross the rectangle, as a range of indexes.
    std::pair<qsizetype, qsizetype> tilesAcross(const QRect& area) const;
    void pointerAt(QPoint position, const QMouseEvent* move);
    void leaveTile();
    bool pointerOnTipOverItsTile() const;
    void release(QPoint position, const QMouseEvent& event);
    bool takesClicks(qsizetype tile) const;
    void focusTile(qsizetype tile);
    void repaintTile(qsizetype tile);
    QMouseEvent inTile(qsizetype tile, const QMouseEvent& event) const;

    PageList shown;
    QHash<const Page*, qsizetype> tiles;
    // Each tile's unscrolled place, as the centred flow puts it for the current width.
    mutable std::vector<QPoint> PageBasePosition;
    mutable int laidOutWidth = -1;
    mutable qsizetype rowLength = 1;
    int offset = 0;
    qsizetype hovered = -1;
    // The tile the left button went down on, -1 for the background; only while it is down.
    bool buttonDown = false;
    qsizetype pressed = -1;
    qsizetype focused = -1;

    const PageTile tilePainter;
    TileMouseListener* mouseListener = nullptr;
    TileMouseMoveListener* mouseMoveListener = nullptr;
    QPointer<QAbstractSlider> scrollBar;
    QPointer<QWidget> toolTip;
};
