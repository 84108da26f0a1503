#include "ui/TileFlow.h"

#include <algorithm>

namespace TileFlow {

namespace {

constexpr int step = tileSize + gap;

int available(int panelWidth) {
    return panelWidth - 2 * gap;
}

// Where the first tile of a row of this many tiles stands.
int rowLeft(int panelWidth, int inRow) {
    return gap + (available(panelWidth) - (tileSize + (inRow - 1) * step)) / 2;
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
        const int left = rowLeft(panelWidth, rowCount);
        for (int i = 0; i < rowCount; ++i)
            result.emplace_back(left + i * step, rowTop);
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
    const int x = position.x() - rowLeft(panelWidth, inRow);
    if (x < 0 || x % step >= tileSize || x / step >= inRow)
        return -1;
    return first + x / step;
}

bool isInIconArea(QPoint positionInTile) {
    return iconArea.contains(positionInTile);
}

int tileAfterMove(int panelWidth, int tileCount, int tile, Move move, int pageRows) {
    if (tileCount <= 0)
        return -1;
    const int last = tileCount - 1;
    tile = std::clamp(tile, 0, last);
    int rows = 0;
    switch (move) {
    case Move::Left:
        return std::max(tile - 1, 0);
    case Move::Right:
        return std::min(tile + 1, last);
    case Move::First:
        return 0;
    case Move::Last:
        return last;
    case Move::Up:
        rows = -1;
        break;
    case Move::Down:
        rows = 1;
        break;
    case Move::PageUp:
        rows = -std::max(pageRows, 1);
        break;
    case Move::PageDown:
        rows = std::max(pageRows, 1);
        break;
    }
    const int fullRow = rowLength(panelWidth);
    const auto inRow = [&](int row) { return std::min(fullRow, tileCount - row * fullRow); };
    const int row = tile / fullRow;
    const int target = std::clamp(row + rows, 0, last / fullRow);
    // Rows are centred, so a short row's columns stand between those of a full one.
    const int x = rowLeft(panelWidth, inRow(row)) + (tile - row * fullRow) * step;
    const int column = (x - rowLeft(panelWidth, inRow(target)) + step / 2) / step;
    return target * fullRow + std::clamp(column, 0, inRow(target) - 1);
}

} // namespace TileFlow
