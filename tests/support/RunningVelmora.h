#pragma once

// The real program on the X display, driven as a user would: keys and clicks from xdotool,
// screenshots kept as artifacts (VELMORA_BINARY and VELMORA_ARTIFACTS come from CMake).
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QtTest>

// A tool's output, trimmed; empty when it did not finish in time.
inline QString runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(15000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

class RunningVelmora {
public:
    explicit RunningVelmora(
        const QString& directory,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process.setWorkingDirectory(directory);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(VELMORA_BINARY), {});
    }
    ~RunningVelmora() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // The X id of the program's visible window with this title, once it is on screen.
    QString windowId(const QString& title = QStringLiteral("Velmora")) {
        const QString ids =
            runTool("xdotool", {"search", "--all", "--sync", "--onlyvisible", "--pid",
                                QString::number(process.processId()), "--name", "^" + title + "$"});
        return ids.section(u'\n', 0, 0);
    }

    // The X id of the program's window with this title once it is on screen, or empty when it
    // is not on screen now.
    QString visibleWindow(const QString& title, bool wait = false) {
        QStringList arguments{"search", "--all", "--onlyvisible"};
        if (wait)
            arguments << "--sync";
        arguments << "--pid" << QString::number(process.processId()) << "--name"
                  << "^" + title + "$";
        return runTool("xdotool", arguments).section(u'\n', 0, 0);
    }

    void focus(const QString& window) { runTool("xdotool", {"windowfocus", "--sync", window}); }

    // Presses the shortcut until its dialog shows: the first key may come while the main
    // window is still being mapped.
    QString openDialog(const QString& keys, const QString& title) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            typeKeys(keys);
            const QString dialog = runTool("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                                       QString::number(process.processId()),
                                                       "--name", "^" + title + "$"});
            if (!dialog.isEmpty()) {
                focus(dialog.section(u'\n', 0, 0));
                return dialog.section(u'\n', 0, 0);
            }
            QTest::qWait(500);
        }
        return {};
    }

    void typeKeys(const QString& keys, const QString& title = QStringLiteral("Velmora")) {
        const QString window = windowId(title);
        QVERIFY2(!window.isEmpty(), qPrintable(title + " never appeared"));
        focus(window);
        runTool("xdotool", {"key", "--clearmodifiers", "--delay", "50", keys});
    }

    void typeText(const QString& text) { runTool("xdotool", {"type", "--delay", "30", text}); }

    // The main window (or another one) as it is on screen, also saved under the artifacts
    // folder.
    QImage screenshot(const QString& name, const QString& window = {}) {
        QDir().mkpath(QStringLiteral(VELMORA_ARTIFACTS));
        const QString file = QStringLiteral(VELMORA_ARTIFACTS "/") + name + ".png";
        runTool("import", {"-window", window.isEmpty() ? windowId() : window, file});
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

    // The whole screen, tool tip included, also saved under the artifacts folder.
    QImage screenScreenshot(const QString& name) {
        QDir().mkpath(QStringLiteral(VELMORA_ARTIFACTS));
        const QString file = QStringLiteral(VELMORA_ARTIFACTS "/") + name + ".png";
        runTool("import", {"-window", "root", file});
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

    // Where the main window's content starts on the screen.
    QPoint windowOrigin() {
        const QString shell = runTool("xdotool", {"getwindowgeometry", "--shell", windowId()});
        QPoint origin;
        for (const QString& line : shell.split(u'\n')) {
            if (line.startsWith("X="))
                origin.setX(line.mid(2).toInt());
            else if (line.startsWith("Y="))
                origin.setY(line.mid(2).toInt());
        }
        return origin;
    }

    void clickAt(const QPoint& point) {
        runTool("xdotool", {"mousemove", "--window", windowId(), QString::number(point.x()),
                            QString::number(point.y()), "click", "1"});
        // Away from the tile, so the tool tip closes and covers nothing.
        runTool("xdotool", {"mousemove", "0", "0"});
    }

    void exitAndCheckStatus() {
        typeKeys("ctrl+x");
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    QProcess process;
};
