#pragma once

#include "model/PageList.h"
#include "ui/PageTile.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

// The page panel: one scrolling view that lays the tiles out in centred rows and paints only
// those on screen, so that its cost follows the visible tiles, not the length of the list. Its
// own vertical scroll bar holds the one scroll offset. Hit tests stand in for per-tile widgets:
// the pointer entering, leaving and moving over a tile and clicks on it come out as signals
// that carry the page, with positions in the tile's own coordinates. The keyboard reaches the
// tiles too: Tab and Shift+Tab go from tile to tile, Enter or Return opens one.
class PagePanel final : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit PagePanel(QWidget* parent);

    // The panel shrinks down to its scroll bar, no further.
    QSize minimumSizeHint() const override;

    // Shows a new list, laid out for the current width. A null list shows no tiles.
    void setPages(PageList list);
    qsizetype count() const;
    std::shared_ptr<Page> pageAt(qsizetype tile) const;
    // -1 when the page is not shown.
    qsizetype tileOf(const Page* page) const;

    // How far every tile stands above its place in the layout: the scroll bar's value.
    int scrollOffset() const;
    void setScrollOffset(int offset);
    // Fits the scroll bar to the tiles: disabled and at 0 when they all fit on screen, else the
    // offset stays as far as the new range allows.
    void fitScrollBar();

    // Tile places and hits are in the coordinates of the viewport, which shows the tiles.
    QRect tileRect(qsizetype tile) const;
    QRect tileOnScreen(qsizetype tile) const;
    // The tile under a point, -1 for none.
    qsizetype tileAt(QPoint position) const;

    // Repaints the tiles of these pages that are on screen.
    void repaintPages(const std::vector<std::weak_ptr<const Page>>& pages);

    // The tool tip shown over the tiles: the pointer moving onto it stays on its tile.
    void followToolTip(QWidget* tip);

    // The tile the keyboard is on, -1 until Tab is first pressed.
    qsizetype focusedTile() const { return focused; }

signals:
    void tileEntered(const std::shared_ptr<Page>& page, QPoint position);
    void tileLeft(const std::shared_ptr<Page>& page);
    // Only over a tile that takes clicks: not while its page's check runs.
    void tileMovedOver(const std::shared_ptr<Page>& page, QPoint position);
    // A left press and release on the same tile that takes clicks.
    void tileClicked(const std::shared_ptr<Page>& page, QPoint position);
    // Enter or Return on the focused tile, or an assistive tool's press.
    void tileActivated(const std::shared_ptr<Page>& page);

public slots:
    void activateTile(qsizetype tile);

protected:
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // Lays the tiles out again when the width or the list changed since the last time.
    void layOut() const;
    int contentBottom() const;
    // The tiles whose rows cross the rectangle, as a range of indexes.
    std::pair<qsizetype, qsizetype> tilesAcross(const QRect& area) const;
    void pointerAt(QPoint position, bool moved);
    void leaveTile();
    bool pointerOnTipOverItsTile() const;
    bool takesClicks(qsizetype tile) const;
    void focusTile(qsizetype tile);
    void repaintTile(qsizetype tile);

    PageList shown;
    QHash<const Page*, qsizetype> tiles;
    // Each tile's unscrolled place, as the centred flow puts it for the current width.
    mutable std::vector<QPoint> PageBasePosition;
    mutable int laidOutWidth = -1;
    qsizetype hovered = -1;
    // The tile the left button went down on, -1 for the background; only while it is down.
    bool buttonDown = false;
    qsizetype pressed = -1;
    qsizetype focused = -1;

    const PageTile tilePainter;
    QPointer<QWidget> toolTip;
};
