#include "app/CommandLine.h"

#include "platform/DisplayCheck.h"

#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler qtMessages = nullptr;

void endWithoutWindow(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg)
        return qtMessages(type, context, message);
    // Qt's warnings above say what failed; its closing advice to reinstall does not fit.
    std::fputs("velmora: cannot open a window (see the lines above): start it in a desktop "
               "session, or over ssh with -X\n",
               stderr);
    std::_Exit(1);
}

constexpr char usage[] =
    R"(Usage: velmora [--help | --version]

Watches a list of web pages and shows which ones have changed, as tiles in one window.
The page list Group.dat and the settings Setting.ini are kept in the directory velmora is
started in; started from the application menu, in $XDG_DATA_HOME/velmora (by default
~/.local/share/velmora).

  --help     print this and exit
  --version  print the version and exit

Environment:
  DISPLAY, WAYLAND_DISPLAY    the desktop the window opens on
  DBUS_SESSION_BUS_ADDRESS    the session bus the desktop notices go through
  http_proxy, https_proxy, all_proxy, no_proxy
                              proxies for the page checks (as libcurl reads them)
  QT_SCALE_FACTOR, QT_QPA_PLATFORM and Qt's other variables
  XDG_DATA_HOME               where the menu entry keeps the files
)";

} // namespace

std::optional<EarlyExit> answerBeforeStart(const QStringList& arguments,
                                           const QProcessEnvironment& environment) {
    if (arguments == QStringList{QStringLiteral("--help")})
        return EarlyExit{0, usage, {}};
    if (arguments == QStringList{QStringLiteral("--version")})
        return EarlyExit{0, "velmora " VELMORA_VERSION "\n", {}};
    if (!arguments.isEmpty()) {
        // Past a first --help or --version, the argument that does not belong is the second.
        const bool answerFirst = arguments.first() == QLatin1String("--help") ||
                                 arguments.first() == QLatin1String("--version");
        const QString wrong = arguments.at(answerFirst ? 1 : 0);
        return EarlyExit{
            2, {}, "velmora: unexpected argument: " + wrong.toLocal8Bit() + "\n\n" + usage};
    }
    if (!hasDisplay(environment))
        return EarlyExit{1,
                         {},
                         "velmora: no display to open a window on (DISPLAY is not set): start it "
                         "in a desktop session, or over ssh with -X\n"};
    return std::nullopt;
}

std::optional<EarlyExit> answerBeforeStart(int argc, const char* const argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return answerBeforeStart(arguments, QProcessEnvironment::systemEnvironment());
}

int deliver(const EarlyExit& early) {
    std::fwrite(early.standardOutput.constData(), 1, size_t(early.standardOutput.size()), stdout);
    std::fwrite(early.standardError.constData(), 1, size_t(early.standardError.size()), stderr);
    // An answer that never reached its reader (written to a full disk, say) is no success.
    const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    return early.status == 0 && !written ? 1 : early.status;
}

WindowSystemStart::WindowSystemStart() {
    qtMessages = qInstallMessageHandler(endWithoutWindow);
}

WindowSystemStart::~WindowSystemStart() {
    qInstallMessageHandler(qtMessages);
}
