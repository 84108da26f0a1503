#include "ui/TileFlow.h"

namespace TileFlow {

namespace {

constexpr int step = tileSize + gap;

int available(int panelWidth) {
    return panelWidth - 2 * gap;
}

} // namespace

std::vector<QPoint> positions(int panelWidth, int tileCount) {
    std::vector<QPoint> result;
    result.reserve(static_cast<size_t>(std::max(tileCount, 0)));
    const int room = available(panelWidth);
    int rowTop = gap;
    int index = 0;
    while (index < tileCount) {
        // The first tile always opens a row; the gap is not counted when testing for room.
        int rowCount = 1;
        int rowWidth = tileSize;
        while (index + rowCount < tileCount && rowWidth + tileSize <= room) {
            rowWidth += gap + tileSize;
            ++rowCount;
        }
        const int rowLeft = gap + (room - rowWidth) / 2;
        for (int i = 0; i < rowCount; ++i)
            result.emplace_back(rowLeft + i * step, rowTop);
        index += rowCount;
        rowTop += step;
    }
    return result;
}

int rowLength(int panelWidth) {
    // Each tile after the first needs room for itself beside the row so far, gap not counted.
    const int room = available(panelWidth);
    return room < 2 * tileSize ? 1 : 2 + (room - 2 * tileSize) / step;
}

int tileAt(int panelWidth, int tileCount, QPoint position) {
    const int y = position.y() - gap;
    if (y < 0 || y % step >= tileSize)
        return -1;
    const int fullRow = rowLength(panelWidth);
    const int first = y / step * fullRow;
    if (first >= tileCount)
        return -1;
    const int inRow = std::min(fullRow, tileCount - first);
    const int rowWidth = tileSize + (inRow - 1) * step;
    const int x = position.x() - (gap + (available(panelWidth) - rowWidth) / 2);
    if (x < 0 || x % step >= tileSize || x / step >= inRow)
        return -1;
    return first + x / step;
}

bool isInIconArea(QPoint positionInTile) {
    return iconArea.contains(positionInTile);
}

} // namespace TileFlow
