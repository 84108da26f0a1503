#include "storage/SettingFile.h"

#include "platform/DecimalNumber.h"
#include "platform/TextFile.h"
#include "storage/Tokenizer.h"

namespace SettingFile {

QString format(const Settings& settings) {
    return settings.browser + u',' + QString::number(settings.updateSeconds) + u',';
}

std::optional<Settings> parse(const QString& text) {
    Tokenizer tokenizer(text);
    Settings settings;
    settings.browser = tokenizer.nextToken();
    const std::optional<qint32> seconds = parseInt32(tokenizer.nextToken());
    if (!seconds || *seconds < 1)
        return std::nullopt;
    settings.updateSeconds = *seconds;
    return settings;
}

std::optional<Settings> read(const QString& path) {
    const std::optional<QString> text = readJoinedLines(path);
    if (!text)
        return std::nullopt;
    return parse(*text);
}

bool write(const QString& path, const Settings& settings) {
    return writeWholeFile(path, format(settings));
}

} // namespace SettingFile
