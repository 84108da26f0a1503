#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct ProgramCall {
    QString program;
    QStringList arguments;

    friend bool operator==(const ProgramCall&, const ProgramCall&) = default;
};

// The browser command is split like a command line, without any shell: blanks separate
// words and double quotes group a path that holds blanks. The target always becomes the last
// argument as it stands, so a URL is never split or interpreted. No value for an empty
// command: the target itself is never started as a program.
std::optional<ProgramCall> browserCall(const QString& browserCommand, const QString& target);

// A program path as a command word: quoted when it holds blanks or quotes, so that splitting
// the command gives the path back whole.
QString commandWord(const QString& programPath);

// Starts the browser on the target without waiting for it; false when it could not start.
bool openInBrowser(const QString& browserCommand, const QString& target);
