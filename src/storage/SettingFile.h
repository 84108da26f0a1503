#pragma once

#include <QString>
#include <optional>

// The settings file: the browser command and the update time in seconds, each followed by ",".
namespace SettingFile {

inline constexpr char fileName[] = "Setting.ini";

struct Settings {
    QString browser;
    qint32 updateSeconds = 2;

    friend bool operator==(const Settings&, const Settings&) = default;
};

QString format(const Settings& settings);

// No value when the update time is not a decimal number or is below 1: a hand-edited 0 would
// otherwise stop all checking without a word.
std::optional<Settings> parse(const QString& text);

// Reads and parses the file; no value when it is missing, unreadable or malformed.
std::optional<Settings> read(const QString& path);
bool write(const QString& path, const Settings& settings);

} // namespace SettingFile
