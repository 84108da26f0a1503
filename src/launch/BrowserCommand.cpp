#include "launch/BrowserCommand.h"

#include <QProcess>

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

bool openInBrowser(const QString& browserCommand, const QString& target) {
    const std::optional<ProgramCall> call = browserCall(browserCommand, target);
    return call && QProcess::startDetached(call->program, call->arguments);
}
