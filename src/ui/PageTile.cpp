#include "ui/PageTile.h"

#include "ui/Palette.h"
#include "ui/TileFlow.h"
#include "ui/TitleWrap.h"

#include <QImage>
#include <QPainter>
#include <array>

namespace {

constexpr int tileSize = TileFlow::tileSize;
constexpr int titlePixelSize = 13;
// The pictures come drawn for these device pixel ratios.
constexpr std::array<qreal, 3> pictureScales{1.0, 1.5, 2.0};

std::array<QImage, pictureScales.size()> loadIcon(const QString& name) {
    std::array<QImage, pictureScales.size()> drawings;
    for (size_t i = 0; i < pictureScales.size(); ++i) {
        const qreal scale = pictureScales[i];
        const QString suffix = i == 0 ? QString() : QStringLiteral("@%1x").arg(scale);
        drawings[i] = QImage(QStringLiteral(":/images/%1%2.gif").arg(name, suffix));
        drawings[i].setDevicePixelRatio(scale);
    }
    return drawings;
}

// Loaded once; a picture that fails to load stays null and is not drawn. Images, unlike
// pixmaps, may outlive the application object at exit. A device between the drawn scales
// gets the next finer drawing.
const QImage& iconFor(qint32 status, qreal deviceScale) {
    static const auto defaultImage = loadIcon(QStringLiteral("DefaultIcon"));
    static const auto notFoundImage = loadIcon(QStringLiteral("NotFoundIcon"));
    static const auto renewImage = loadIcon(QStringLiteral("UpIcon"));
    static const QImage none;
    size_t finer = 0;
    while (finer + 1 < pictureScales.size() && pictureScales[finer] < deviceScale)
        ++finer;
    switch (status) {
    case Page::isDefault:
        return defaultImage[finer];
    case Page::isNotFound:
        return notFoundImage[finer];
    case Page::isRenew:
        return renewImage[finer];
    default:
        return none;
    }
}

// The tile's coordinates on the device's pixel grid, so that at any scale each line of the
// frame covers whole device pixels. The tile's edges are rounded to device pixels, and a
// coordinate is measured from the nearer edge, so opposite lines come out equally wide.
class DeviceGrid {
public:
    explicit DeviceGrid(const QPainter& painter)
        : toDevice(painter.deviceTransform()), toLogical(toDevice.inverted()) {
        const QRectF tile = toDevice.mapRect(QRectF(0, 0, tileSize, tileSize));
        scale = tile.width() / tileSize;
        left = qRound(tile.left());
        top = qRound(tile.top());
        right = qRound(tile.right());
        bottom = qRound(tile.bottom());
    }

    qreal deviceScale() const { return scale; }

    // The painter's rectangle that covers the device pixels of tile coordinates [x0, x1) and
    // [y0, y1).
    QRectF cover(int x0, int y0, int x1, int y1) const {
        return toLogical.mapRect(QRectF(QPointF(along(x0, left, right), along(y0, top, bottom)),
                                        QPointF(along(x1, left, right), along(y1, top, bottom))));
    }

    // The painter's rectangle where a picture drawn for this scale shows pixel for pixel, its
    // top-left corner on the device pixel nearest to the tile's point.
    QRectF place(QPoint at, const QImage& picture) const {
        const QPointF corner(left + qRound(at.x() * scale), top + qRound(at.y() * scale));
        return toLogical.mapRect(QRectF(corner, picture.deviceIndependentSize() * scale));
    }

private:
    int along(int coordinate, int start, int end) const {
        return coordinate <= tileSize / 2 ? start + qRound(coordinate * scale)
                                          : end - qRound((tileSize - coordinate) * scale);
    }

    const QTransform toDevice;
    const QTransform toLogical;
    qreal scale = 1;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The four one-pixel sides of the tile's rectangle [x0, x1) x [y0, y1).
void outline(QPainter& painter, const DeviceGrid& grid, const QColor& colour, int x0, int y0,
             int x1, int y1) {
    painter.fillRect(grid.cover(x0, y0, x1, y0 + 1), colour);
    painter.fillRect(grid.cover(x0, y1 - 1, x1, y1), colour);
    painter.fillRect(grid.cover(x0, y0, x0 + 1, y1), colour);
    painter.fillRect(grid.cover(x1 - 1, y0, x1, y1), colour);
}

} // namespace

PageTile::PageTile() : DefaultFont(Palette::dialogFont(titlePixelSize)), metrics(DefaultFont) {}

void PageTile::paint(QPainter& painter, const Page& page) const {
    const DeviceGrid grid(painter);
    const QRectF tileArea = grid.cover(0, 0, tileSize, tileSize);
    painter.setClipRect(tileArea, Qt::IntersectClip);
    painter.fillRect(tileArea, Palette::white);
    // Two overlapping outlines make the etched frame: (0, 0)-(98, 98), then (1, 1)-(99, 99).
    outline(painter, grid, Palette::gray, 0, 0, tileSize - 1, tileSize - 1);
    outline(painter, grid, Palette::darkGray, 1, 1, tileSize, tileSize);

    painter.save();
    // Inside the two-pixel etched frame: a line too wide or too low is cut here, not on the frame.
    painter.setClipRect(grid.cover(2, 2, tileSize - 2, tileSize - 2), Qt::IntersectClip);
    painter.setPen(Palette::black);
    painter.setFont(DefaultFont);
    const auto width = [this](const QString& text) { return metrics.horizontalAdvance(text); };
    for (const TitleWrap::Line& line :
         TitleWrap::layout(page.getPageTitleString(), width, titlePixelSize))
        painter.drawText(line.x, line.baseline, line.text);
    painter.restore();

    // The icon comes last and covers the text where they meet.
    const QImage& icon = iconFor(page.getStatus(), grid.deviceScale());
    if (icon.isNull())
        return;
    painter.save();
    // Only a scale without a drawing of its own resamples the picture.
    painter.setRenderHint(QPainter::SmoothPixmapTransform,
                          !qFuzzyCompare(icon.devicePixelRatio(), grid.deviceScale()));
    painter.drawImage(grid.place(TileFlow::iconArea.topLeft(), icon), icon);
    painter.restore();
}
