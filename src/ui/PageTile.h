#pragma once

#include "model/Page.h"

#include <QFont>
#include <QFontMetrics>

class QPainter;

// How one page's 100 x 100 tile looks: an etched frame, the title over up to three lines and
// the icon of the page's state over it. The page panel paints every tile on screen with it.
class PageTile final {
public:
    PageTile();

    // Paints the tile with its top-left corner at the painter's origin, clipped to the tile.
    void paint(QPainter& painter, const Page& page) const;

private:
    const QFont DefaultFont;
    const QFontMetrics metrics;
};
