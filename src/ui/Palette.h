#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The fixed colours and fonts every window of the program uses.
namespace Palette {

inline const QColor white{255, 255, 255};
inline const QColor lightGray{192, 192, 192};
inline const QColor gray{128, 128, 128};
inline const QColor darkGray{64, 64, 64};
inline const QColor black{0, 0, 0};
inline const QColor tipBackground{212, 212, 212};

// Each channel times 0.7, truncated: (212, 212, 212) -> (148, 148, 148) -> (103, 103, 103).
QColor darker(const QColor& colour);

// The plain sans-serif dialog font at a pixel size, so widths come out as the layout expects.
QFont dialogFont(int pixelSize);
// The bold serif font of the start window.
QFont serifBoldFont(int pixelSize);

} // namespace Palette

void setBackgroundColour(QWidget& widget, const QColor& colour);
