#include "ui/Palette.h"

#include <QPalette>
#include <QWidget>

namespace Palette {

QColor darker(const QColor& colour) {
    const auto scale = [](int channel) { return std::max(static_cast<int>(channel * 0.7), 0); };
    return QColor(scale(colour.red()), scale(colour.green()), scale(colour.blue()));
}

QFont dialogFont(int pixelSize) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

QFont serifBoldFont(int pixelSize) {
    QFont font(QStringLiteral("Serif"));
    font.setStyleHint(QFont::Serif);
    font.setBold(true);
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace Palette

void setBackgroundColour(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}
