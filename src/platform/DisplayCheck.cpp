#include "platform/DisplayCheck.h"

#include <QStringList>
#include <algorithm>

bool hasDisplay(const QProcessEnvironment& environment) {
    if (!environment.value(QStringLiteral("DISPLAY")).isEmpty() ||
        !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return true;
    // Qt tries the platforms in turn; each may carry options after a colon ("xcb:...").
    const QStringList platforms =
        environment.value(QStringLiteral("QT_QPA_PLATFORM")).split(u';', Qt::SkipEmptyParts);
    return std::any_of(platforms.begin(), platforms.end(), [](const QString& platform) {
        const QString name = platform.section(u':', 0, 0).trimmed();
        return !name.isEmpty() && name != QLatin1String("xcb");
    });
}
