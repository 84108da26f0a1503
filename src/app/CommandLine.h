#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>
#include <optional>

// What the program says and its exit status when it ends before opening a window.
struct EarlyExit {
    int status = 0;
    QByteArray standardOutput;
    QByteArray standardError;
};

// Answers --help and --version, refuses every other argument and stops a start without a
// display, all before Qt is asked for a window (it would abort with a misleading message).
// Nothing when the program may start.
std::optional<EarlyExit> answerBeforeStart(const QStringList& arguments,
                                           const QProcessEnvironment& environment);
// The same for the program's own arguments and environment.
std::optional<EarlyExit> answerBeforeStart(int argc, const char* const argv[]);

// Writes the early exit's texts to the standard streams and returns its status.
int deliver(const EarlyExit& early);

// Held while the application starts. Qt ends the process when no window system can be reached
// (DISPLAY names a server that is gone), advising a reinstall; this says in one line what is
// wrong instead and exits with status 1. Qt's own warnings before it still say why.
class WindowSystemStart {
public:
    WindowSystemStart();
    ~WindowSystemStart();
    WindowSystemStart(const WindowSystemStart&) = delete;
    WindowSystemStart& operator=(const WindowSystemStart&) = delete;
};
