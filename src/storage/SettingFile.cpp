#include "storage/SettingFile.h"

#include "platform/DecimalNumber.h"

namespace SettingFile {

QString format(const Settings& settings) {
    return settings.browser + u',' + QString::number(settings.updateSeconds) + u',';
}

Settings parse(const QString& text, bool* extraText) {
    if (extraText)
        *extraText = false;
    const QStringView whole(text);
    const qsizetype browserEnd = whole.indexOf(u',');
    Settings settings;
    settings.browser = whole.left(browserEnd < 0 ? whole.size() : browserEnd).toString();
    if (browserEnd < 0)
        return settings;
    const QStringView rest = whole.mid(browserEnd + 1);
    const qsizetype timeEnd = rest.indexOf(u',');
    const std::optional<qint32> seconds =
        parseInt32(rest.left(timeEnd < 0 ? rest.size() : timeEnd).trimmed());
    if (seconds && *seconds >= 1)
        settings.updateSeconds = *seconds;
    if (extraText)
        *extraText = timeEnd >= 0 && timeEnd + 1 < rest.size();
    return settings;
}

} // namespace SettingFile
