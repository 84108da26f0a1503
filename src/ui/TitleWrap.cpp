#include "ui/TitleWrap.h"

#include <QChar>
#include <QList>
#include <QStringView>

namespace TitleWrap {

namespace {

constexpr int tileWidth = 100;
constexpr int firstBaselineBase = 50;
constexpr int breakWidth = 90;
constexpr int cutWidth = 80;
const QString ellipsis = QStringLiteral("...");

} // namespace

bool isWhiteSpace(char32_t c) {
    if (c == 0x00A0 || c == 0x2007 || c == 0x202F)
        return false;
    if ((c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F))
        return true;
    switch (QChar::category(c)) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

std::vector<Line> layout(const QString& title, const TextWidth& width, int lineAdvance) {
    std::vector<Line> lines;
    int baseline = firstBaselineBase;
    const auto emitLine = [&](const QString& text) {
        baseline += lineAdvance;
        lines.push_back({text, (tileWidth - width(text)) / 2, baseline});
    };
    // The cut applies once two lines stand above the current one.
    const int lastLineBaseline = 95 - 2 * lineAdvance;

    QString buffer;
    for (const char32_t c : QStringView(title).toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        const int w = width(buffer);
        if (!isWhiteSpace(c)) {
            if (baseline >= lastLineBaseline && w >= cutWidth) {
                emitLine(buffer + ellipsis);
                buffer.clear();
                break;
            }
            if (w < breakWidth) {
                buffer += character;
            } else {
                emitLine(buffer);
                buffer = character;
            }
        } else if (w >= breakWidth) {
            emitLine(buffer);
            buffer = character;
        } else {
            buffer += character;
        }
    }
    if (!buffer.isEmpty())
        emitLine(buffer);
    return lines;
}

} // namespace TitleWrap
