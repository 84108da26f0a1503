#pragma once

#include <QPoint>
#include <QRect>
#include <vector>

// The geometry of the page tiles: where a centred flow layout puts the square tiles in a panel
// of the given width (rows filled left to right, each row centred, gaps of 5 px around and
// between the tiles), which tile a point of the panel hits, and where a tile takes clicks.
namespace TileFlow {

inline constexpr int tileSize = 100;
inline constexpr int gap = 5;
// Where a tile's icon is drawn; the square, bounds included, shows the hand and takes clicks.
inline constexpr QRect iconArea(25, 3, 51, 51);

std::vector<QPoint> positions(int panelWidth, int tileCount);

// How many tiles a full row holds.
int rowLength(int panelWidth);

// The tile whose square holds the point of the unscrolled panel; -1 in the gaps and beyond.
int tileAt(int panelWidth, int tileCount, QPoint position);

bool isInIconArea(QPoint positionInTile);

} // namespace TileFlow
