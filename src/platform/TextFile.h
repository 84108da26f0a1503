#pragma once

#include <QString>
#include <optional>

// The data files are UTF-8 whatever the locale, so a title survives a run under LANG=C.

// Reads a whole text file and joins its lines with nothing in between (CR, LF and CR LF are
// all removed). No value when the file cannot be read or is not valid UTF-8: a file we cannot
// decode is left alone rather than rewritten with replacement characters.
std::optional<QString> readJoinedLines(const QString& path);

// Replaces the file with the text, whole or not at all: a failed or interrupted write leaves
// the previous file as it was.
bool writeWholeFile(const QString& path, const QString& text);
