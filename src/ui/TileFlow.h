#pragma once

#include <QPoint>
#include <vector>

// Where a centred flow layout puts square page tiles in a panel of the given width: rows
// filled left to right, each row centred, gaps of 5 px around and between the tiles.
namespace TileFlow {

inline constexpr int tileSize = 100;
inline constexpr int gap = 5;

std::vector<QPoint> positions(int panelWidth, int tileCount);

} // namespace TileFlow
