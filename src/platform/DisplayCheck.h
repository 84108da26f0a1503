#pragma once

#include <QProcessEnvironment>

// Whether Qt can be expected to find a display in this environment: a platform other than X11
// is named in QT_QPA_PLATFORM (offscreen, Wayland, ...), or DISPLAY or WAYLAND_DISPLAY is set.
// Whether that display answers stays Qt's to find out.
bool hasDisplay(const QProcessEnvironment& environment);
