#include "ui/TileFlow.h"

namespace TileFlow {

std::vector<QPoint> positions(int panelWidth, int tileCount) {
    std::vector<QPoint> result;
    result.reserve(static_cast<size_t>(std::max(tileCount, 0)));
    const int available = panelWidth - 2 * gap;
    int rowTop = gap;
    int index = 0;
    while (index < tileCount) {
        // The first tile always opens a row; the gap is not counted when testing for room.
        int rowCount = 1;
        int rowWidth = tileSize;
        while (index + rowCount < tileCount && rowWidth + tileSize <= available) {
            rowWidth += gap + tileSize;
            ++rowCount;
        }
        const int rowLeft = gap + (available - rowWidth) / 2;
        for (int i = 0; i < rowCount; ++i)
            result.emplace_back(rowLeft + i * (tileSize + gap), rowTop);
        index += rowCount;
        rowTop += tileSize + gap;
    }
    return result;
}

} // namespace TileFlow
