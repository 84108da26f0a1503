// The Debian package as a user gets it: its files pass Debian's and freedesktop's checks, and
// the menu entry, unpacked into a scratch root, runs the program inside its data folder.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString appId = QStringLiteral(VELMORA_APP_ID);

struct ToolResult {
    int exitCode = -1;
    QString output;
};

ToolResult runTool(const QString& program, const QStringList& arguments, int timeout = 30000) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForStarted())
        return {-1, program + " cannot be started: scripts/install-deps.sh --test installs it"};
    if (!tool.waitForFinished(timeout) || tool.exitStatus() != QProcess::NormalExit)
        return {-1, program + " did not finish: " + tool.readAll()};
    return {tool.exitCode(), QString::fromUtf8(tool.readAll()).trimmed()};
}

// Files and folders directly inside a folder, hidden ones included.
QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void controlFields_data();
    void controlFields();
    void installedFiles_data();
    void installedFiles();
    void validatorsAccept_data();
    void validatorsAccept();
    void menuEntryRunsTheProgramInItsDataFolder_data();
    void menuEntryRunsTheProgramInItsDataFolder();
    void unusableDataFolderStartsNothing_data();
    void unusableDataFolderStartsNothing();
    void menuBarTextIsDrawn();

private:
    QString desktopEntryValue(const QString& key) const;
    // The launcher that the unpacked menu entry names, inside the scratch root.
    QString launcher() const;
    QProcessEnvironment launchEnvironment(const QString& home) const;
    // Starts the menu entry in the home folder, as the menu does; the X id of its main window
    // once that shows, empty when it never does.
    QString startFromMenu(QProcess& velmora, const QProcessEnvironment& environment,
                          const QString& home) const;
    // The main window as the menu entry shows it in this environment, once painted.
    QImage mainWindowPicture(const QProcessEnvironment& environment) const;

    QString package;
    QTemporaryDir root;
};

void TestPackage::initTestCase() {
    const QStringList found =
        QDir(QStringLiteral(VELMORA_PACKAGE_DIR))
            .entryList({QStringLiteral("velmora_" VELMORA_VERSION "_*.deb")}, QDir::Files);
    QVERIFY2(found.size() == 1, "build the package with scripts/package.sh first");
    package = QStringLiteral(VELMORA_PACKAGE_DIR "/") + found.first();
    const ToolResult unpacked = runTool("dpkg-deb", {"-x", package, root.path()});
    QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.output));
}

void TestPackage::controlFields_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("package") << "Package"
                             << "^velmora$";
    QTest::newRow("version of the project") << "Version"
                                            << "^" VELMORA_VERSION "$";
    QTest::newRow("section") << "Section"
                             << "^web$";
    // Computed from the libraries the program links, not written by hand.
    QTest::newRow("dependencies") << "Depends"
                                  << "libqt6widgets6 \\(>= [^)]+\\).*libcurl4|"
                                     "libcurl4.*libqt6widgets6 \\(>= [^)]+\\)";
    QTest::newRow("D-Bus for the desktop notices") << "Depends"
                                                   << "libqt6dbus6 \\(>= [^)]+\\)";
    // What no library brings: a font for the Japanese menus, certificates for https pages.
    QTest::newRow("font and certificates")
        << "Depends"
        << "^fonts-ipafont-gothic \\| fonts-japanese-gothic, ca-certificates, ";
    QTest::newRow("description") << "Description"
                                 << "^watch web pages.*\n .*Velmora keeps";
}

void TestPackage::controlFields() {
    QFETCH(QString, field);
    QFETCH(QString, pattern);
    const ToolResult value = runTool("dpkg-deb", {"--field", package, field});
    QCOMPARE(value.exitCode, 0);
    QVERIFY2(QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption)
                 .match(value.output)
                 .hasMatch(),
             qPrintable(field + ": " + value.output));
}

void TestPackage::installedFiles_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("program") << "usr/bin/velmora";
    QTest::newRow("menu entry") << "usr/share/applications/" + appId + ".desktop";
    QTest::newRow("AppStream data") << "usr/share/metainfo/" + appId + ".metainfo.xml";
    QTest::newRow("scalable icon") << "usr/share/icons/hicolor/scalable/apps/" + appId + ".svg";
    for (const char* size : {"48x48", "64x64", "128x128", "256x256"})
        QTest::newRow(size) << "usr/share/icons/hicolor/" + QString(size) + "/apps/" + appId +
                                   ".png";
    QTest::newRow("manual page") << "usr/share/man/man1/velmora.1.gz";
    QTest::newRow("copyright") << "usr/share/doc/velmora/copyright";
    QTest::newRow("changelog") << "usr/share/doc/velmora/changelog.gz";
}

void TestPackage::installedFiles() {
    QFETCH(QString, path);
    QVERIFY2(QFileInfo(root.filePath(path)).isFile(), qPrintable(path + " is missing"));
}

void TestPackage::validatorsAccept_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("menu entry") << "desktop-file-validate"
                                << QStringList{root.filePath("usr/share/applications/" + appId +
                                                             ".desktop")};
    QTest::newRow("AppStream data")
        << "appstreamcli"
        << QStringList{"validate", "--no-net",
                       root.filePath("usr/share/metainfo/" + appId + ".metainfo.xml")};
    // Warnings fail too: the few accepted ones are listed in the README.
    QTest::newRow("package") << "lintian" << QStringList{"--fail-on", "error,warning", package};
}

void TestPackage::validatorsAccept() {
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const ToolResult result = runTool(program, arguments, 240000);
    QVERIFY2(result.exitCode == 0, qPrintable(result.output));
    // desktop-file-validate exits 0 on some complaints; it prints nothing when all is well.
    if (program == "desktop-file-validate")
        QVERIFY2(result.output.isEmpty(), qPrintable(result.output));
}

QString TestPackage::desktopEntryValue(const QString& key) const {
    QFile entry(root.filePath("usr/share/applications/" + appId + ".desktop"));
    if (!entry.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpressionMatch line =
        QRegularExpression("^" + key + "=(.+)$", QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(entry.readAll()));
    return line.captured(1);
}

QString TestPackage::launcher() const {
    return root.path() + desktopEntryValue("Exec");
}

QProcessEnvironment TestPackage::launchEnvironment(const QString& home) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("XDG_DATA_HOME");
    environment.insert("HOME", home);
    return environment;
}

QString TestPackage::startFromMenu(QProcess& velmora, const QProcessEnvironment& environment,
                                   const QString& home) const {
    velmora.setProcessEnvironment(environment);
    velmora.setWorkingDirectory(home);
    velmora.setProcessChannelMode(QProcess::ForwardedChannels);
    velmora.start(launcher(), {});
    if (!velmora.waitForStarted())
        return {};
    // The launcher replaces itself with the program, so the window belongs to its process.
    const ToolResult window =
        runTool("xdotool", {"search", "--all", "--sync", "--onlyvisible", "--pid",
                            QString::number(velmora.processId()), "--name", "^Velmora$"});
    return window.exitCode == 0 ? window.output.section(u'\n', 0, 0) : QString();
}

QImage TestPackage::mainWindowPicture(const QProcessEnvironment& environment) const {
    QTemporaryDir home;
    QProcess velmora;
    // The main window shows once the start window has gone.
    const QString id = startFromMenu(velmora, environment, home.path());
    // Until two pictures agree: a window still being painted is not the one to compare.
    QImage before, latest;
    for (int attempt = 0; !id.isEmpty() && attempt < 50 && (latest.isNull() || latest != before);
         ++attempt) {
        before = latest;
        QTest::qWait(200);
        runTool("import", {"-window", id, home.filePath("window.png")});
        latest = QImage(home.filePath("window.png"));
    }
    velmora.terminate();
    velmora.waitForFinished();
    return latest;
}

void TestPackage::menuEntryRunsTheProgramInItsDataFolder_data() {
    // XDG_DATA_HOME as given ("" for none, "~" for the scratch folder); the data folder
    // expected and what the home folder, where the menu starts programs, holds afterwards.
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("dataFolder");
    QTest::addColumn<QStringList>("homeHolds");
    QTest::newRow("XDG_DATA_HOME set") << "~/data"
                                       << "data/velmora" << QStringList{};
    QTest::newRow("default under the home folder")
        << ""
        << "home/.local/share/velmora" << QStringList{".local"};
    QTest::newRow("relative XDG_DATA_HOME ignored")
        << "data"
        << "home/.local/share/velmora" << QStringList{".local"};
}

void TestPackage::menuEntryRunsTheProgramInItsDataFolder() {
    QFETCH(QString, dataHome);
    QFETCH(QString, dataFolder);
    QFETCH(QStringList, homeHolds);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (scripts/test.sh starts one)");
    QTemporaryDir scratch;
    QVERIFY(QDir(scratch.path()).mkdir("home"));
    const QString home = scratch.filePath("home");
    QProcessEnvironment environment = launchEnvironment(home);
    if (!dataHome.isEmpty())
        environment.insert("XDG_DATA_HOME", dataHome.replace(u'~', scratch.path()));

    QProcess velmora;
    const QString id = startFromMenu(velmora, environment, home);
    QVERIFY2(!id.isEmpty(), "the main window never showed");
    // X11 desktops tell the menu entry's windows by their class.
    QVERIFY(runTool("xprop", {"-id", id, "WM_CLASS"})
                .output.endsWith(", \"" + desktopEntryValue("StartupWMClass") + '"'));
    // The first key may come while the window is still being mapped: press it again until
    // the program ends.
    for (int attempt = 0; attempt < 20 && velmora.state() != QProcess::NotRunning; ++attempt) {
        runTool("xdotool", {"windowfocus", "--sync", id});
        runTool("xdotool", {"key", "--clearmodifiers", "ctrl+x"});
        velmora.waitForFinished(500);
    }
    QCOMPARE(velmora.state(), QProcess::NotRunning);
    QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
    QCOMPARE(velmora.exitCode(), 0);

    const QString folder = scratch.filePath(dataFolder);
    QVERIFY(QFileInfo::exists(folder + "/Setting.ini"));
    QVERIFY(QFileInfo::exists(folder + "/help.html"));
    QCOMPARE(entriesOf(home), homeHolds);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(folder).permissions() & others, QFileDevice::Permissions());
}

void TestPackage::unusableDataFolderStartsNothing_data() {
    QTest::addColumn<int>("mode"); // of the data folder; -1: a file in its place
    QTest::addColumn<int>("owner");
    QTest::addColumn<QString>("fix"); // what the message tells the user to do

    QTest::newRow("a file in the way") << -1 << int(geteuid()) << QString();
    // A click on a page runs the browser command kept there: nobody else may change it.
    QTest::newRow("the group may write") << 0770 << int(geteuid()) << "chmod go-w";
    QTest::newRow("someone else's folder") << 0700 << 4242 << "chown";
}

void TestPackage::unusableDataFolderStartsNothing() {
    QFETCH(int, mode);
    QFETCH(int, owner);
    QFETCH(QString, fix);

    if (owner != int(geteuid()) && geteuid() != 0)
        QSKIP("needs root to give the folder to someone else");
    QTemporaryDir scratch;
    QVERIFY(QDir(scratch.path()).mkpath("home"));
    QVERIFY(QDir(scratch.path()).mkpath("data"));
    const QString folder = scratch.filePath("data/velmora");
    const QByteArray path = QFile::encodeName(folder);
    // Nothing may land in the home folder instead.
    QFile blocker(folder);
    QVERIFY(mode < 0 ? blocker.open(QIODevice::WriteOnly)
                     : QDir().mkdir(folder) && ::chmod(path.constData(), mode_t(mode)) == 0 &&
                           ::chown(path.constData(), uid_t(owner), gid_t(-1)) == 0);
    QProcessEnvironment environment = launchEnvironment(scratch.filePath("home"));
    environment.insert("XDG_DATA_HOME", scratch.filePath("data"));

    QProcess velmora;
    velmora.setProcessEnvironment(environment);
    velmora.setWorkingDirectory(scratch.filePath("home"));
    velmora.start(launcher(), {});
    QVERIFY(velmora.waitForFinished(10000));
    QVERIFY(velmora.exitCode() != 0);
    QCOMPARE(entriesOf(scratch.filePath("home")), QStringList());
    if (mode < 0)
        return;
    // The message names the folder and the fix, and the folder stays as the user left it.
    const QString message = QString::fromLocal8Bit(velmora.readAllStandardError());
    QVERIFY2(message.contains(folder) && message.contains(fix), qPrintable(message));
    struct stat status {};
    QCOMPARE(::stat(path.constData(), &status), 0);
    QCOMPARE(QList<int>({int(status.st_mode & 07777), int(status.st_uid)}),
             QList<int>({mode, owner}));
}

// The menus are Japanese. The window as it shows here is compared with the same window under
// a font configuration without the fonts that draw the menu titles, where they can only be
// boxes. ﾌ stands for the half-width katakana of both titles, which a font has all of or none.
void TestPackage::menuBarTextIsDrawn() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (scripts/test.sh starts one)");
    const ToolResult fonts =
        runTool("fc-list", {"--format", "<glob>%{file|xmlescape}</glob>", ":charset=ff8c"});
    QVERIFY2(fonts.exitCode == 0 && !fonts.output.isEmpty(), "no font here draws the menus");
    QTemporaryDir scratch;
    QFile withoutThem(scratch.filePath("fonts.conf"));
    QVERIFY(withoutThem.open(QIODevice::WriteOnly));
    withoutThem.write(
        "<fontconfig><include>/etc/fonts/fonts.conf</include><selectfont><rejectfont>" +
        fonts.output.toUtf8() + "</rejectfont></selectfont></fontconfig>\n");
    withoutThem.close();
    QProcessEnvironment environment = launchEnvironment(scratch.path());
    const QImage drawn = mainWindowPicture(environment);
    environment.insert("FONTCONFIG_FILE", withoutThem.fileName());
    const QImage boxes = mainWindowPicture(environment);
    QVERIFY(!drawn.isNull() && !boxes.isNull());
    // Only the menu titles carry text in a window without pages.
    QVERIFY2(drawn != boxes, "the menu titles are drawn as boxes");
}

// Pictures are only read and compared: no window of its own, so no display needed.
QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
