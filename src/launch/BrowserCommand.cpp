#include "launch/BrowserCommand.h"

#include <QProcess>
#include <algorithm>

std::optional<ProgramCall> browserCall(const QString& browserCommand, const QString& target) {
    QStringList words = QProcess::splitCommand(browserCommand);
    if (words.isEmpty())
        return std::nullopt;
    ProgramCall call;
    call.program = words.takeFirst();
    call.arguments = std::move(words);
    call.arguments.append(target);
    return call;
}

QString commandWord(const QString& programPath) {
    const bool plain = std::none_of(programPath.begin(), programPath.end(),
                                    [](QChar c) { return c.isSpace() || c == u'"'; });
    if (plain && !programPath.isEmpty())
        return programPath;
    // Inside quotes, three quotes in a row stand for one.
    QString escaped = programPath;
    escaped.replace(u'"', QStringLiteral("\"\"\""));
    return u'"' + escaped + u'"';
}

bool openInBrowser(const QString& browserCommand, const QString& target) {
    const std::optional<ProgramCall> call = browserCall(browserCommand, target);
    return call && QProcess::startDetached(call->program, call->arguments);
}
