// The real program on a real X display: files in a scratch directory, pages on a local
// server, keys and clicks from xdotool, screenshots kept as artifacts.
#include "RunningVelmora.h"
#include "ScratchDirectory.h"
#include "TestHttpServer.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QWindow>
#include <QtTest>
#include <optional>

namespace {

// Whole seconds, as an HTTP date can carry them.
constexpr qint64 firstTime = 1'700'000'000'000;
constexpr qint64 raisedTime = 1'700'000'600'000;

// Colours that only the unchanged icon's outline and the updated icon's arrow hold.
const QColor unchangedOutline(0x2c, 0x5a, 0xa0);
const QColor updatedArrow(0x1f, 0x9d, 0x3a);
// The dark grey of a tile's etched frame and the darkest line of the tool tip's frame.
const QColor tileDarkEdge(64, 64, 64);
const QColor tipOuterFrame(72, 72, 72);

// The bounding box of the pixels of one colour, if any.
std::optional<QRect> findColour(const QImage& image, const QColor& colour) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                box = box.united(QRect(x, y, 1, 1));
    if (box.isNull())
        return std::nullopt;
    return box;
}

// An X window id as xdotool prints it (decimal) or as xwininfo and xprop do (hex).
quint64 windowNumber(const QString& id) {
    return id.startsWith(u"0x") ? id.mid(2).toULongLong(nullptr, 16) : id.toULongLong();
}

// The top-level windows, topmost first: with no window manager they are the root's children.
QList<quint64> stackingOrder() {
    QList<quint64> order;
    for (const QString& line : runTool("xwininfo", {"-root", "-children"}).split(u'\n')) {
        const QString id = line.trimmed().section(u' ', 0, 0);
        if (id.startsWith(u"0x"))
            order << windowNumber(id);
    }
    return order;
}

bool stacksAbove(const QString& upper, const QString& lower) {
    const QList<quint64> order = stackingOrder();
    const qsizetype up = order.indexOf(windowNumber(upper));
    const qsizetype down = order.indexOf(windowNumber(lower));
    return up >= 0 && down >= 0 && up < down;
}

// The window this one is declared to belong to, 0 for none.
quint64 owner(const QString& window) {
    const QString property = runTool("xprop", {"-id", window, "WM_TRANSIENT_FOR"});
    return property.contains(u'#') ? windowNumber(property.section(u' ', -1)) : 0;
}

// A stand-in browser that writes each argument it gets on a line of its own.
QString writeRecorder(const QString& directory) {
    const QString path = directory + "/record-browser.sh";
    ScratchDirectory::write(path,
                            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"" +
                                directory.toUtf8() + "/opened.txt\"\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void raisedTimeReachesTheFileOnExit();
    void exitDoesNotWaitForASilentServer();
    void clickOpensThePageAndTheUpdatedIconComesAndGoes();
    void pageAddedAndUpdateTimeChangedFromTheKeyboard();
    void alertStaysOverTheWindowAndHandsBackTheKeyboard();
    void mainWindowShowsTheThreeIcons_data();
    void mainWindowShowsTheThreeIcons();
    void toolTipStaysWhileThePointerMovesInItsTile();
    void wheelOverThePagesScrolls();
    void secondStartInTheFolderBringsTheFirstForward();
};

void TestEndToEnd::init() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (scripts/test.sh starts one)");
}

void TestEndToEnd::raisedTimeReachesTheFileOnExit() {
    TestHttpServer server;
    server.setRoute("/page", TestHttpServer::Route::modifiedAt(firstTime));
    ScratchDirectory scratch;
    const QByteArray url = server.url("/page").toUtf8();
    ScratchDirectory::write("Group.dat",
                            "1,ページ," + url + "," + QByteArray::number(firstTime) + ",");
    ScratchDirectory::write("Setting.ini", "/bin/true,1,");

    RunningVelmora velmora(scratch.path());
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= 1, 20000);
    server.setLastModified("/page", raisedTime);
    const int before = server.requestCountFor("/page");
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= before + 2, 20000);

    velmora.exitAndCheckStatus();
    QCOMPARE(ScratchDirectory::read("Group.dat"),
             "1,ページ," + url + "," + QByteArray::number(raisedTime) + ",");
    QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray("/bin/true,1,"));
}

void TestEndToEnd::exitDoesNotWaitForASilentServer() {
    TestHttpServer server;
    server.setRoute("/silent",
                    TestHttpServer::Route::behaving(TestHttpServer::Route::Behaviour::NeverAnswer));
    ScratchDirectory scratch;
    const QByteArray url = server.url("/silent").toUtf8();
    ScratchDirectory::write("Group.dat", "1,silent," + url + ",5000,");
    ScratchDirectory::write("Setting.ini", ",1,");

    RunningVelmora velmora(scratch.path());
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/silent") >= 1, 20000);
    velmora.typeKeys("ctrl+x");
    // The request's own time-out is far longer than this bound.
    QVERIFY(velmora.process.waitForFinished(5000));
    QCOMPARE(velmora.process.exitCode(), 0);
    QCOMPARE(ScratchDirectory::read("Group.dat"), "1,silent," + url + ",5000,");
}

void TestEndToEnd::clickOpensThePageAndTheUpdatedIconComesAndGoes() {
    TestHttpServer server;
    server.setRoute("/page", TestHttpServer::Route::modifiedAt(firstTime));
    ScratchDirectory scratch;
    const QString recorder = writeRecorder(scratch.path());
    const QByteArray url = server.url("/page").toUtf8();
    ScratchDirectory::write("Group.dat",
                            "1,Watched page," + url + "," + QByteArray::number(firstTime) + ",");
    ScratchDirectory::write("Setting.ini", recorder.toUtf8() + ",1,");

    RunningVelmora velmora(scratch.path());
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= 1, 20000);
    std::optional<QRect> icon;
    QTRY_VERIFY_WITH_TIMEOUT(
        (icon = findColour(velmora.screenshot("e2e-unchanged"), unchangedOutline)), 10000);

    velmora.clickAt(icon->center());
    QTRY_COMPARE_WITH_TIMEOUT(ScratchDirectory::read("opened.txt"), url + "\n", 10000);

    server.setLastModified("/page", raisedTime);
    QTRY_VERIFY_WITH_TIMEOUT(findColour(velmora.screenshot("e2e-updated"), updatedArrow), 20000);
    // The mark falls back after about five seconds, while the server's time stays put.
    QTRY_VERIFY_WITH_TIMEOUT(!findColour(velmora.screenshot("e2e-back"), updatedArrow), 20000);
    QVERIFY(findColour(velmora.screenshot("e2e-back"), unchangedOutline));

    velmora.exitAndCheckStatus();
}

void TestEndToEnd::pageAddedAndUpdateTimeChangedFromTheKeyboard() {
    TestHttpServer server;
    server.setRoute("/added", TestHttpServer::Route::modifiedAt(firstTime));
    ScratchDirectory scratch;
    ScratchDirectory::write("Setting.ini", ",5,");
    const QString url = server.url("/added");

    RunningVelmora velmora(scratch.path());
    // The start window belongs to the main window, as a splash that no task bar lists.
    const QString start = velmora.visibleWindow("Velmora start", true);
    QVERIFY(!start.isEmpty());
    QVERIFY(runTool("xprop", {"-id", start, "_NET_WM_WINDOW_TYPE"})
                .contains("_NET_WM_WINDOW_TYPE_SPLASH"));
    const quint64 startOwner = owner(start);
    QVERIFY(!velmora.openDialog("ctrl+a", "Add page").isEmpty());
    velmora.typeText("Example");
    // Tab selects the URL field's "http://", so typing replaces it.
    runTool("xdotool", {"key", "Tab"});
    velmora.typeText(url);
    runTool("xdotool", {"key", "Return"});

    QTRY_COMPARE_WITH_TIMEOUT(ScratchDirectory::read("Group.dat"),
                              "1,Example," + url.toUtf8() + ",0,", 10000);
    QTRY_VERIFY_WITH_TIMEOUT(findColour(velmora.screenshot("e2e-added"), unchangedOutline) ||
                                 findColour(velmora.screenshot("e2e-added"), updatedArrow),
                             10000);
    const QString mainWindow = velmora.windowId();
    QCOMPARE(startOwner, windowNumber(mainWindow));

    // Shown again after the main window rose for its new tile: still on top, and owned by it.
    const QString again = velmora.openDialog("ctrl+a", "Add page");
    QVERIFY(!again.isEmpty());
    QVERIFY(stacksAbove(again, mainWindow));
    QCOMPARE(owner(again), windowNumber(mainWindow));
    // The buttons' faces in the dialog's own grey.
    const QImage dialog = velmora.screenshot("e2e-add-page-again", again);
    QCOMPARE(dialog.pixelColor(74, 137), QColor(192, 192, 192));
    runTool("xdotool", {"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(velmora.visibleWindow("Add page").isEmpty(), 10000);

    QVERIFY(!velmora.openDialog("ctrl+c", "Change setting").isEmpty());
    // From the browser field past the "..." button to the update time.
    runTool("xdotool", {"key", "--delay", "50", "Tab", "Tab"});
    velmora.typeText("3");
    runTool("xdotool", {"key", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(ScratchDirectory::read("Setting.ini"), QByteArray(",3,"), 10000);

    // The new page is checked: its first time is recorded and written at exit.
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/added") >= 1, 20000);
    velmora.exitAndCheckStatus();
    QCOMPARE(ScratchDirectory::read("Group.dat"),
             "1,Example," + url.toUtf8() + "," + QByteArray::number(firstTime) + ",");
}

// No window manager runs: what keeps an alert in sight and the keyboard usable is the
// program's own doing.
void TestEndToEnd::alertStaysOverTheWindowAndHandsBackTheKeyboard() {
    TestHttpServer server;
    server.setRoute("/page", TestHttpServer::Route::modifiedAt(firstTime));
    ScratchDirectory scratch;
    const QByteArray url = server.url("/page").toUtf8();
    ScratchDirectory::write("Group.dat",
                            "1,Watched page," + url + "," + QByteArray::number(firstTime) + ",");
    ScratchDirectory::write("Setting.ini", "/nonexistent/browser,1,");

    RunningVelmora velmora(scratch.path());
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= 1, 20000);
    std::optional<QRect> icon;
    QTRY_VERIFY_WITH_TIMEOUT(
        (icon = findColour(velmora.screenshot("e2e-before-alert"), unchangedOutline)), 10000);
    const QString mainWindow = velmora.windowId();
    velmora.clickAt(icon->center());
    const QString alert = velmora.visibleWindow("Alert", true);
    QVERIFY(!alert.isEmpty());
    QCOMPARE(owner(alert), windowNumber(mainWindow));

    // An update raises the main window while the alert is open.
    server.setLastModified("/page", raisedTime);
    const int before = server.requestCountFor("/page");
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= before + 2, 20000);
    QVERIFY(stacksAbove(alert, mainWindow));

    // OK by mouse, the pointer then off every window: the keys reach the program only if the
    // keyboard went back to its window.
    runTool("xdotool", {"mousemove", "--window", alert, "150", "82", "click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(velmora.visibleWindow("Alert").isEmpty(), 10000);
    runTool("xdotool", {"mousemove", "1279", "1023"});
    runTool("xdotool", {"key", "ctrl+x"});
    QVERIFY(velmora.process.waitForFinished(10000));
    QCOMPARE(velmora.process.exitCode(), 0);
}

void TestEndToEnd::mainWindowShowsTheThreeIcons_data() {
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("picture");

    QTest::newRow("scale 1") << ""
                             << "main-window";
    QTest::newRow("scale 1.5") << "1.5"
                               << "main-window@1.5x";
    QTest::newRow("scale 2") << "2"
                             << "main-window@2x";
}

// Also makes the README's picture of the main window, artifacts/main-window.png, and the same
// window on screens scaled by 1.5 and 2, drawn from the finer pictures.
void TestEndToEnd::mainWindowShowsTheThreeIcons() {
    QFETCH(QString, scale);
    QFETCH(QString, picture);
    const QColor notFoundCross(0xd0, 0x1c, 0x1c);
    TestHttpServer server;
    const QStringList dated = {"/news", "/weather", "/timetable"};
    for (const QString& path : dated)
        server.setRoute(path, TestHttpServer::Route::modifiedAt(firstTime));
    ScratchDirectory scratch;
    QByteArray list = "4,";
    const QList<std::pair<QByteArray, QString>> pages = {{"Project news", "/news"},
                                                         {"天気予報", "/weather"},
                                                         {"Timetable", "/timetable"},
                                                         {"Old blog", "/gone"}};
    for (const auto& [title, path] : pages)
        list += title + "," + server.url(path).toUtf8() + "," + QByteArray::number(firstTime) + ",";
    ScratchDirectory::write("Group.dat", list);
    ScratchDirectory::write("Setting.ini", "/bin/true,1,");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!scale.isEmpty())
        environment.insert("QT_SCALE_FACTOR", scale);
    RunningVelmora velmora(scratch.path(), environment);
    runTool("xdotool", {"mousemove", "1279", "1023"});
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/gone") >= 1, 20000);
    server.setLastModified("/news", raisedTime);
    QImage window;
    const auto showsAllThree = [&] {
        window = velmora.screenshot(picture);
        return findColour(window, updatedArrow) && findColour(window, unchangedOutline) &&
               findColour(window, notFoundCross);
    };
    QTRY_VERIFY_WITH_TIMEOUT(showsAllThree(), 20000);
    // The window is as wide as the program asks for, in pixels of the scaled screen.
    QCOMPARE(window.width(), qRound(400 * (scale.isEmpty() ? 1 : scale.toDouble())));
    velmora.exitAndCheckStatus();
}

// The pointer moving right and down inside a tile passes onto the tool tip; the tip neither
// hides nor hops, nor goes under the window when an update raises it, and leaving the tile
// hides it.
void TestEndToEnd::toolTipStaysWhileThePointerMovesInItsTile() {
    TestHttpServer server;
    server.setRoute("/page", TestHttpServer::Route::modifiedAt(firstTime));
    ScratchDirectory scratch;
    ScratchDirectory::write("Group.dat", "1,Tip page," + server.url("/page").toUtf8() + "," +
                                             QByteArray::number(firstTime) + ",");
    ScratchDirectory::write("Setting.ini", ",1,");

    RunningVelmora velmora(scratch.path());
    std::optional<QRect> frame;
    QTRY_VERIFY_WITH_TIMEOUT(
        (frame = findColour(velmora.screenshot("e2e-tip-before"), tileDarkEdge)), 10000);
    // The dark lines of the etched frame run from (1, 1) to (99, 99) of the tile.
    const QPoint tile = velmora.windowOrigin() + frame->topLeft() - QPoint(1, 1);
    const auto moveTo = [](const QPoint& point) {
        runTool("xdotool", {"mousemove", QString::number(point.x()), QString::number(point.y())});
        QTest::qWait(300);
    };
    const auto tipAt = [&](const QPoint& corner, const QString& name) {
        return velmora.screenScreenshot(name).pixelColor(corner) == tipOuterFrame;
    };

    moveTo(tile + QPoint(-20, 60));
    moveTo(tile + QPoint(5, 60));
    const QPoint tipCorner = tile + QPoint(25, 70);
    QTRY_VERIFY_WITH_TIMEOUT(tipAt(tipCorner, "e2e-tip-shown"), 10000);
    for (const QPoint inTile : {QPoint(35, 75), QPoint(65, 85), QPoint(95, 97)}) {
        moveTo(tile + inTile);
        QVERIFY2(tipAt(tipCorner, "e2e-tip-moved"),
                 qPrintable(QStringLiteral("tip gone at %1,%2").arg(inTile.x()).arg(inTile.y())));
    }
    // No window manager runs: only the program keeps the tip above the window it raises.
    server.setLastModified("/page", raisedTime);
    const int before = server.requestCountFor("/page");
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= before + 2, 20000);
    QVERIFY(tipAt(tipCorner, "e2e-tip-raised"));
    moveTo(tile + QPoint(-20, 95));
    QTRY_VERIFY_WITH_TIMEOUT(!tipAt(tipCorner, "e2e-tip-left"), 10000);

    velmora.exitAndCheckStatus();
}

// A wheel turn anywhere over the page panel scrolls the pages, as over the scroll bar, and
// so does one over the tool tip.
void TestEndToEnd::wheelOverThePagesScrolls() {
    ScratchDirectory scratch;
    QByteArray group = "40,";
    for (int i = 0; i < 40; ++i)
        group += "Page " + QByteArray::number(i) + ",http://127.0.0.1:9/,0,";
    ScratchDirectory::write("Group.dat", group);
    ScratchDirectory::write("Setting.ini", ",9999,");

    RunningVelmora velmora(scratch.path());
    QTRY_VERIFY_WITH_TIMEOUT(findColour(velmora.screenshot("e2e-wheel-top"), tileDarkEdge), 10000);
    // Beside the tiles, where no tool tip comes up.
    const QPoint besideTheTiles(10, 150);
    runTool("xdotool", {"mousemove", "--window", velmora.windowId(),
                        QString::number(besideTheTiles.x()), QString::number(besideTheTiles.y())});
    QTest::qWait(300);
    const QImage top = velmora.screenshot("e2e-wheel-top");

    runTool("xdotool", {"click", "5"});
    QTRY_VERIFY_WITH_TIMEOUT(velmora.screenshot("e2e-wheel-down") != top, 10000);
    runTool("xdotool", {"click", "4"});
    QTRY_VERIFY_WITH_TIMEOUT(velmora.screenshot("e2e-wheel-up") == top, 10000);

    // On the tool tip, inside the first tile: a turn of three 10 px lines scrolls the pages,
    // and the tile below, now under the still pointer, gets its own tip there.
    const QPoint tile =
        velmora.windowOrigin() + findColour(top, tileDarkEdge)->topLeft() - QPoint(1, 1);
    const auto tipAt = [&](const QPoint& corner) {
        return velmora.screenScreenshot("e2e-wheel-tip").pixelColor(corner) == tipOuterFrame;
    };
    const auto moveTo = [](const QPoint& point) {
        runTool("xdotool", {"mousemove", QString::number(point.x()), QString::number(point.y())});
    };
    moveTo(tile + QPoint(5, 60));
    QTRY_VERIFY_WITH_TIMEOUT(tipAt(tile + QPoint(25, 70)), 10000);
    moveTo(tile + QPoint(35, 75));
    runTool("xdotool", {"click", "5"});
    QTRY_VERIFY_WITH_TIMEOUT(tipAt(tile + QPoint(35, 75) + QPoint(20, 10)), 10000);

    velmora.exitAndCheckStatus();
}

// Every file in the folder, hidden ones included, with its bytes.
QMap<QString, QByteArray> folderContents(const QString& folder) {
    QMap<QString, QByteArray> contents;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        contents[name] = ScratchDirectory::read(folder + "/" + name);
    return contents;
}

// A second start in the folder brings the running copy to the front and ends at once with
// status 0, touching nothing there; a copy killed outright never blocks the next start.
void TestEndToEnd::secondStartInTheFolderBringsTheFirstForward() {
    ScratchDirectory scratch;
    // No page: a check that finds one missing raises the window, whenever its answer comes.
    ScratchDirectory::write("Group.dat", "0,");
    ScratchDirectory::write("Setting.ini", ",9999,");
    RunningVelmora first(scratch.path());
    const QString mainWindow = first.windowId();
    QVERIFY(!mainWindow.isEmpty());
    // Left by a save of the first copy; only a copy that owns the folder may take it away.
    ScratchDirectory::write("Group.dat.saving-AbC123", "in flight");
    const QMap<QString, QByteArray> before = folderContents(scratch.path());
    QWindow cover;
    cover.setGeometry(0, 0, 1280, 1024);
    cover.show();
    QTRY_VERIFY_WITH_TIMEOUT(stacksAbove(QString::number(cover.winId()), mainWindow), 10000);

    RunningVelmora second(scratch.path());
    QVERIFY(second.process.waitForFinished(10000));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(folderContents(scratch.path()), before);
    QTRY_VERIFY_WITH_TIMEOUT(stacksAbove(mainWindow, QString::number(cover.winId())), 10000);
    cover.hide();

    first.process.kill();
    QVERIFY(first.process.waitForFinished(10000));
    RunningVelmora third(scratch.path());
    QVERIFY(!third.windowId().isEmpty());
    third.exitAndCheckStatus();
}

QTEST_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
