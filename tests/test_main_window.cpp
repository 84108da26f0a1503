#include "app/Velmora.h"
#include "ScratchDirectory.h"
#include "SilentChecker.h"

#include <QAction>
#include <QMenuBar>
#include <QScrollBar>
#include <QtTest>


namespace {

// Answers every URL with one time, which the test may raise while the program runs.
class FixedTimeChecker final : public PageChecker {
public:
    explicit FixedTimeChecker(std::atomic<qint64>& time) : time(time) {}
    qint64 checkEach(const QString&) override { return time; }
    void abort() override {}

private:
    std::atomic<qint64>& time;
};

struct Harness {
    std::atomic<qint64> serverTime{1000};
    std::atomic<bool> requestEntered{false};
    bool silentServer = false;
    int quitCalls = 0;

    VelmoraServices services() {
        VelmoraServices services;
        services.makeChecker = [this]() -> std::unique_ptr<PageChecker> {
            if (silentServer)
                return std::make_unique<SilentChecker>(requestEntered);
            return std::make_unique<FixedTimeChecker>(serverTime);
        };
        // Ticks a hundred times faster than real time.
        services.tickWait = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
        services.quit = [this] { ++quitCalls; };
        services.startWindowTime = std::chrono::milliseconds(0);
        return services;
    }
};

QStringList actionLabels(const QMenu* menu) {
    QStringList labels;
    for (const QAction* action : menu->actions())
        labels << action->text();
    return labels;
}

QList<QWidget*> tilesOf(const Velmora& window) {
    return window.findChild<QWidget*>("MainPanel")
        ->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void menusCarryTheirLabelsAndShortcuts();
    void regionsHaveTheirFixedSizes();
    void firstStartWritesOnlyTheSettings();
    void startupReadsBothFiles();
    void malformedFilesChangeNothing_data();
    void malformedFilesChangeNothing();
    void closeBoxAndShortcutBothExit();
    void risingServerTimeMarksThePageAndReachesTheFile();
    void exitDoesNotWaitForASilentServer();
    void scrollBarFollowsTheContent();
};

void TestMainWindow::menusCarryTheirLabelsAndShortcuts() {
    ScratchDirectory scratch;
    Harness harness;
    Velmora window(harness.services());

    const QList<QAction*> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("ﾌｧｲﾙ"));
    QCOMPARE(menus[1]->text(), QStringLiteral("ﾍﾙﾌﾟ"));
    QCOMPARE(actionLabels(menus[0]->menu()),
             (QStringList{"ページを追加", "ページの設定の変更", "設定の変更", "終了"}));
    QCOMPARE(actionLabels(menus[1]->menu()), (QStringList{"ﾍﾙﾌﾟ", "ﾎｰﾑﾍﾟｰｼﾞ"}));

    const auto shortcut = [&](const char* name) {
        return window.findChild<QAction*>(name)->shortcut();
    };
    QCOMPARE(shortcut("AddPageMenuItem"), QKeySequence(Qt::CTRL | Qt::Key_A));
    QCOMPARE(shortcut("ChangePageMenuItem"), QKeySequence());
    QCOMPARE(shortcut("ChangeSettingMenuItem"), QKeySequence(Qt::CTRL | Qt::Key_C));
    QCOMPARE(shortcut("ExitMenuItem"), QKeySequence(Qt::CTRL | Qt::Key_X));
    QCOMPARE(shortcut("HelpMenuItem"), QKeySequence());
    QCOMPARE(shortcut("WebMenuItem"), QKeySequence());
}

void TestMainWindow::regionsHaveTheirFixedSizes() {
    ScratchDirectory scratch;
    Harness harness;
    Velmora window(harness.services());
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QWidget* content = window.centralWidget();
    QCOMPARE(content->size(), QSize(400, 300));
    QCOMPARE(window.findChild<QWidget*>("Line")->geometry(), QRect(0, 0, 400, 2));
    QCOMPARE(window.findChild<QWidget*>("MainPanel")->geometry(), QRect(0, 2, 385, 298));
    QCOMPARE(window.findChild<QWidget*>("VerticalScrollBar")->geometry(), QRect(385, 2, 15, 298));
    QCOMPARE(window.windowTitle(), QStringLiteral("Velmora"));
}

void TestMainWindow::firstStartWritesOnlyTheSettings() {
    ScratchDirectory scratch;
    Harness harness;
    {
        Velmora window(harness.services());
        QVERIFY(window.isVisible());
        QVERIFY(!window.pageList());
        QVERIFY(tilesOf(window).isEmpty());
        QVERIFY(!window.findChild<QScrollBar*>("VerticalScrollBar")->isEnabled());
        window.exit();
    }
    QCOMPARE(harness.quitCalls, 1);
    QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray(",2,"));
    QVERIFY(!QFile::exists("Group.dat"));
}

void TestMainWindow::startupReadsBothFiles() {
    ScratchDirectory scratch;
    ScratchDirectory::write("Setting.ini", "/usr/bin/browser --new-window,7,");
    ScratchDirectory::write("Group.dat", "3,一,http://a/,10,二,http://b/,20,三,http://c/,30,");
    Harness harness;
    Velmora window(harness.services());
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.updateSeconds(), 7);
    QCOMPARE(window.browserCommand(), QStringLiteral("/usr/bin/browser --new-window"));
    const PageList pages = window.pageList();
    QVERIFY(pages);
    QCOMPARE(pages->size(), size_t(3));
    QCOMPARE((*pages)[1]->getPageTitleString(), QStringLiteral("二"));
    QCOMPARE((*pages)[2]->getLastModifiedDateLong(), qint64(30));

    const QList<QWidget*> tiles = tilesOf(window);
    QCOMPARE(tiles.size(), 3);
    QCOMPARE(tiles[0]->geometry(), QRect(37, 5, 100, 100));
    QCOMPARE(tiles[1]->geometry(), QRect(142, 5, 100, 100));
    QCOMPARE(tiles[2]->geometry(), QRect(247, 5, 100, 100));
}

void TestMainWindow::malformedFilesChangeNothing_data() {
    QTest::addColumn<QByteArray>("group");
    QTest::addColumn<QByteArray>("setting");

    QTest::newRow("count is not a number") << QByteArray("x,a,http://a/,0,") << QByteArray("b,x,");
    QTest::newRow("negative count") << QByteArray("-1,") << QByteArray("b,0,");
    QTest::newRow("count larger than the records")
        << QByteArray("2,a,http://a/,0,") << QByteArray("b,-3,");
    QTest::newRow("text cut short") << QByteArray("1,a,http://a/,12") << QByteArray("b,5");
    QTest::newRow("blank beside a number") << QByteArray("1,a,http://a/, 5,") << QByteArray("b, 5,");
    QTest::newRow("empty files") << QByteArray("") << QByteArray("");
    QTest::newRow("not UTF-8") << QByteArray("1,\xff\xfe,http://a/,0,") << QByteArray("\xff,5,");
}

void TestMainWindow::malformedFilesChangeNothing() {
    QFETCH(QByteArray, group);
    QFETCH(QByteArray, setting);

    ScratchDirectory scratch;
    ScratchDirectory::write("Group.dat", group);
    ScratchDirectory::write("Setting.ini", setting);
    Harness harness;
    {
        Velmora window(harness.services());
        QVERIFY(!window.pageList());
        QVERIFY(tilesOf(window).isEmpty());
        QCOMPARE(window.updateSeconds(), 2);
        QCOMPARE(window.browserCommand(), QString());
        window.exit();
    }
    // Without a page list the file the user may want to mend is left alone.
    QCOMPARE(ScratchDirectory::read("Group.dat"), group);
    QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray(",2,"));
}

void TestMainWindow::closeBoxAndShortcutBothExit() {
    ScratchDirectory scratch;
    ScratchDirectory::write("Group.dat", "1,a,http://a/,1000,");
    ScratchDirectory::write("Setting.ini", "b,3,");
    {
        Harness harness;
        Velmora window(harness.services());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QCOMPARE(harness.quitCalls, 1);
    }
    QCOMPARE(ScratchDirectory::read("Group.dat"), QByteArray("1,a,http://a/,1000,"));
    QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray("b,3,"));

    QFile::remove("Setting.ini");
    {
        Harness harness;
        Velmora window(harness.services());
        QTRY_VERIFY(window.isActiveWindow());
        QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(harness.quitCalls, 1);
    }
    QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray(",2,"));
}

void TestMainWindow::risingServerTimeMarksThePageAndReachesTheFile() {
    ScratchDirectory scratch;
    ScratchDirectory::write("Setting.ini", ",1,");
    ScratchDirectory::write("Group.dat", "1,a,http://a/,1000,");
    Harness harness;
    Velmora window(harness.services());
    const std::shared_ptr<Page> page = window.pageList()->front();

    harness.serverTime = 5000;
    QTRY_COMPARE(page->getLastModifiedDateLong(), qint64(5000));
    QTRY_COMPARE(page->getStatus(), Page::isDefault);
    window.exit();
    QCOMPARE(ScratchDirectory::read("Group.dat"), QByteArray("1,a,http://a/,5000,"));
}

void TestMainWindow::exitDoesNotWaitForASilentServer() {
    ScratchDirectory scratch;
    ScratchDirectory::write("Setting.ini", ",1,");
    ScratchDirectory::write("Group.dat", "1,a,http://silent/,1000,");
    Harness harness;
    harness.silentServer = true;
    Velmora window(harness.services());

    QTRY_VERIFY(harness.requestEntered.load());
    window.exit();
    QCOMPARE(harness.quitCalls, 1);
    // The cut-short request did not mark the page.
    QCOMPARE(window.pageList()->front()->getStatus(), Page::isDefault);
    QCOMPARE(ScratchDirectory::read("Group.dat"), QByteArray("1,a,http://silent/,1000,"));
}

void TestMainWindow::scrollBarFollowsTheContent() {
    ScratchDirectory scratch;
    QByteArray group = "7,";
    for (int i = 0; i < 7; ++i)
        group += "p" + QByteArray::number(i) + ",http://p/,0,";
    ScratchDirectory::write("Group.dat", group);
    Harness harness;
    Velmora window(harness.services());
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Rows of 3, 3 and 1 tiles: the content is 315 px high in a 298 px panel.
    auto* bar = window.findChild<QScrollBar*>("VerticalScrollBar");
    QVERIFY(bar->isEnabled());
    QCOMPARE(bar->maximum(), 315 - 298);
    QCOMPARE(tilesOf(window).last()->pos(), QPoint(142, 215));

    bar->setValue(bar->maximum());
    QCOMPARE(tilesOf(window).first()->pos(), QPoint(37, 5 - 17));

    // Once everything fits, the bar is disabled and the tiles stand unscrolled.
    window.resize(window.width(), window.height() + 100);
    QTRY_VERIFY(!bar->isEnabled());
    QCOMPARE(tilesOf(window).first()->pos(), QPoint(37, 5));
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
