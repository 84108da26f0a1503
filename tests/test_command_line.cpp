// The real program's answers before any window: --help, --version, a refused argument and a
// start without a display, none of which may need a window or touch the folder; and the
// folder's lock, taken before the window.
#include "platform/DisplayCheck.h"
#include "platform/FolderLock.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void answersWithoutAWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // patterns; "/dev/full" sends the output there
        QTest::addColumn<QString>("errors");
        const QString usage = "Usage: velmora \\[--help \\| --version\\]\n.*Group\\.dat.*"
                              "XDG_DATA_HOME.*http_proxy.*QT_SCALE_FACTOR";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "^" + usage << "^$";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "^velmora 1\\.0\n$"
                                 << "^$";
        QTest::newRow("version to a full disk") << QStringList{"--version"} << 1 << "/dev/full"
                                                << "^$";
        QTest::newRow("unknown") << QStringList{"-platform", "offscreen"} << 2 << "^$"
                                 << "^velmora: unexpected argument: -platform\n\n" + usage;
        QTest::newRow("help and more") << QStringList{"--help", "--version"} << 2 << "^$"
                                       << "^velmora: unexpected argument: --version\n";
        QTest::newRow("no display") << QStringList{} << 1 << "^$"
                                    << "^velmora: no display [^\n]*\n$";
    }

    // No display in the environment: a program that tried to open a window would abort.
    void answersWithoutAWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(QString, errors);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        QTemporaryDir folder;
        QProcess velmora;
        velmora.setProcessEnvironment(environment);
        velmora.setWorkingDirectory(folder.path());
        if (output == "/dev/full")
            velmora.setStandardOutputFile(output);
        velmora.start(QStringLiteral(VELMORA_BINARY), arguments);
        QVERIFY(velmora.waitForFinished(30000));
        QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
        QCOMPARE(velmora.exitCode(), status);
        const auto dotAll = QRegularExpression::DotMatchesEverythingOption;
        // Output sent to /dev/full is not read back; the pattern then stands for itself.
        const QString printed = output == "/dev/full" ? output : velmora.readAllStandardOutput();
        QVERIFY2(QRegularExpression(output, dotAll).match(printed).hasMatch(), qPrintable(printed));
        const QString complained = velmora.readAllStandardError();
        QVERIFY2(QRegularExpression(errors, dotAll).match(complained).hasMatch(),
                 qPrintable(complained));
        // Answered before the folder lock: not even the lock file was made.
        QVERIFY(
            QDir(folder.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    // A DISPLAY left over from a session that ended: Qt's abort becomes one line and status 1.
    void displayThatIsGoneEndsPlainly() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", ":32767");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        QTemporaryDir folder;
        QProcess velmora;
        velmora.setProcessEnvironment(environment);
        velmora.setWorkingDirectory(folder.path());
        velmora.start(QStringLiteral(VELMORA_BINARY));
        QVERIFY(velmora.waitForFinished(30000));
        QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
        QCOMPARE(velmora.exitCode(), 1);
        const QString complained = velmora.readAllStandardError();
        QVERIFY2(
            complained.endsWith("velmora: cannot open a window (see the lines above): start it "
                                "in a desktop session, or over ssh with -X\n"),
            qPrintable(complained));
    }

    // A link planted in the lock file's place is not followed: nothing is made where it leads.
    void lockFileIsNeverReachedThroughALink() {
        QTemporaryDir folder;
        // Back where it was even when a check below fails, for the tests that follow.
        const auto back = qScopeGuard([before = QDir::currentPath()] { QDir::setCurrent(before); });
        QVERIFY(QDir::setCurrent(folder.path()));
        QVERIFY(QFile::link(folder.filePath("planted"), FolderLock::fileName));
        QVERIFY(!FolderLock().heldElsewhere());
        QVERIFY(!QFileInfo::exists(folder.filePath("planted")));
    }

    // DISPLAY is the end-to-end test's own way in.
    void displayFoundInEnvironment_data() {
        QTest::addColumn<QString>("variable"); // NAME=value
        QTest::addColumn<bool>("found");
        QTest::newRow("Wayland") << "WAYLAND_DISPLAY=wayland-0" << true;
        QTest::newRow("offscreen, as for tests") << "QT_QPA_PLATFORM=offscreen" << true;
        QTest::newRow("only X11, with options") << "QT_QPA_PLATFORM= xcb:dpi=96 ;" << false;
    }

    void displayFoundInEnvironment() {
        QFETCH(QString, variable);
        QFETCH(bool, found);
        QProcessEnvironment environment;
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        QCOMPARE(hasDisplay(environment), found);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
