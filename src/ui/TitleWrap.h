#pragma once

#include <QString>
#include <functional>
#include <vector>

// How a page title is laid out on its tile: broken between characters once a line is 90 px
// wide, at most three visible lines, the third cut with "..." once it reaches 80 px.
namespace TitleWrap {

struct Line {
    QString text;
    int x = 0;        // left end of the baseline; negative for a line wider than the tile
    int baseline = 0; // 63, 76 and 89 for the visible lines with 13 px text

    friend bool operator==(const Line&, const Line&) = default;
};

using TextWidth = std::function<int(const QString&)>;

std::vector<Line> layout(const QString& title, const TextWidth& width, int lineAdvance);

// Blanks, tabs, line and paragraph separators and the ideographic space; not no-break spaces.
bool isWhiteSpace(char32_t character);

} // namespace TitleWrap
