#pragma once

#include <QString>

// The settings file: the browser command and the update time in seconds, each followed by ",".
namespace SettingFile {

inline constexpr char fileName[] = "Setting.ini";
inline constexpr qint32 defaultUpdateSeconds = 2;

struct Settings {
    QString browser;
    qint32 updateSeconds = defaultUpdateSeconds;

    friend bool operator==(const Settings&, const Settings&) = default;
};

QString format(const Settings& settings);

// Reads each field as far as it can be read, so that one slip never costs the other field.
// The browser command runs to the first ","; without one it is the whole text. The update
// time runs from there to the next "," or the end; blanks around it are dropped, and a value
// that is not a whole number of 1 or more gives the default: a hand-edited 0 would otherwise
// stop all checking without a word. Text after the update time's "," is not read; extraText,
// when given, tells whether there was any.
Settings parse(const QString& text, bool* extraText = nullptr);

} // namespace SettingFile
