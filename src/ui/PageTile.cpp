#include "ui/PageTile.h"

#include "ui/Palette.h"
#include "ui/TileFlow.h"
#include "ui/TitleWrap.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr int titlePixelSize = 13;
constexpr QRect tileArea(0, 0, TileFlow::tileSize, TileFlow::tileSize);
// Inside the two-pixel etched frame: a line too wide or too low is cut here, not on the frame.
constexpr QRect textArea(2, 2, TileFlow::tileSize - 4, TileFlow::tileSize - 4);

// Loaded once; a picture that fails to load stays null and is not drawn. Images, unlike
// pixmaps, may outlive the application object at exit.
const QImage& iconFor(qint32 status) {
    static const QImage defaultImage(QStringLiteral(":/images/DefaultIcon.gif"));
    static const QImage notFoundImage(QStringLiteral(":/images/NotFoundIcon.gif"));
    static const QImage renewImage(QStringLiteral(":/images/UpIcon.gif"));
    static const QImage none;
    switch (status) {
    case Page::isDefault:
        return defaultImage;
    case Page::isNotFound:
        return notFoundImage;
    case Page::isRenew:
        return renewImage;
    default:
        return none;
    }
}

} // namespace

PageTile::PageTile() : DefaultFont(Palette::dialogFont(titlePixelSize)), metrics(DefaultFont) {}

void PageTile::paint(QPainter& painter, const Page& page) const {
    painter.setClipRect(tileArea, Qt::IntersectClip);
    painter.fillRect(tileArea, Palette::white);
    painter.setPen(Palette::gray);
    painter.drawRect(0, 0, 98, 98);
    painter.setPen(Palette::darkGray);
    painter.drawRect(1, 1, 98, 98);

    painter.save();
    painter.setClipRect(textArea, Qt::IntersectClip);
    painter.setPen(Palette::black);
    painter.setFont(DefaultFont);
    const auto width = [this](const QString& text) { return metrics.horizontalAdvance(text); };
    for (const TitleWrap::Line& line :
         TitleWrap::layout(page.getPageTitleString(), width, titlePixelSize))
        painter.drawText(line.x, line.baseline, line.text);
    painter.restore();

    // The icon comes last and covers the text where they meet.
    const QImage& icon = iconFor(page.getStatus());
    if (!icon.isNull())
        painter.drawImage(TileFlow::iconArea.topLeft(), icon);
}
