#include "ModalDriver.h"
#include "ScratchDirectory.h"
#include "SilentChecker.h"
#include "app/Velmora.h"
#include "model/AccessCheck.h"
#include "ui/PagePanel.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStringEncoder>
#include <QtTest>
#include <sys/stat.h>

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

QByteArray shiftJis(const char* text) {
    return QStringEncoder("Shift_JIS").encode(QString::fromUtf8(text));
}

QStringList titlesOf(const Velmora& window) {
    QStringList titles;
    if (const PageList pages = window.pageList()) {
        for (const auto& each : *pages)
            titles << each->getPageTitleString();
    }
    return titles;
}

// Where the page panel shows each tile now.
QList<QRect> tilesOf(const Velmora& window) {
    const auto* panel = window.findChild<PagePanel*>("MainPanel");
    QList<QRect> tiles;
    for (qsizetype i = 0; i < panel->count(); ++i)
        tiles << panel->tileRect(i);
    return tiles;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void menusCarryTheirLabelsAndShortcuts();
    void regionsHaveTheirFixedSizes();
    void firstStartWritesOnlyTheSettings();
    void startupReadsBothFiles();
    void unreadableFilesAreKeptAndReported_data();
    void unreadableFilesAreKeptAndReported();
    void specialFilesNeverHoldTheProgram_data();
    void specialFilesNeverHoldTheProgram();
    void filesReadInPartOrAsShiftJisAreKeptAndReported_data();
    void filesReadInPartOrAsShiftJisAreKeptAndReported();
    void closeBoxAndShortcutBothExit();
    void risingServerTimeMarksThePageAndReachesTheFile();
    void exitDoesNotWaitForASilentServer();
    void scrollBarFollowsTheContent();
    void offsetIsTheThumbsValueAfterAResize();
    void wheelOverThePanelTurnsTheBar();
    void tilesOnScreenShowTheirPagesNewState();
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
    const auto placeIn = [content](const QWidget* widget) {
        return QRect(widget->mapTo(content, QPoint()), widget->size());
    };
    QCOMPARE(placeIn(window.findChild<PagePanel*>("MainPanel")->viewport()), QRect(0, 2, 385, 298));
    QCOMPARE(placeIn(window.findChild<QWidget*>("VerticalScrollBar")), QRect(385, 2, 15, 298));
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
    // Saves cut short earlier left these; only the exact names a save uses are removed.
    const QStringList leftovers{"Group.dat.saving-AbC123", "Setting.ini.saving-x0Y9zz"};
    const QStringList others{"Group.dat.backup", "Group.dat.saving-old"};
    for (const QString& name : leftovers + others)
        ScratchDirectory::write(name, "x");
    Harness harness;
    // A check's first request holds until the exit, so no answer changes what is read here.
    harness.silentServer = true;
    Velmora window(harness.services());
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const QString& name : leftovers)
        QVERIFY2(!QFile::exists(name), qPrintable(name));
    for (const QString& name : others)
        QVERIFY2(QFile::exists(name), qPrintable(name));

    QCOMPARE(window.updateSeconds(), 7);
    QCOMPARE(window.browserCommand(), QStringLiteral("/usr/bin/browser --new-window"));
    const PageList pages = window.pageList();
    QVERIFY(pages);
    QCOMPARE(pages->size(), size_t(3));
    QCOMPARE((*pages)[1]->getPageTitleString(), QStringLiteral("二"));
    QCOMPARE((*pages)[2]->getLastModifiedDateLong(), qint64(30));

    const QList<QRect> tiles = tilesOf(window);
    QCOMPARE(tiles.size(), 3);
    QCOMPARE(tiles[0], QRect(37, 5, 100, 100));
    QCOMPARE(tiles[1], QRect(142, 5, 100, 100));
    QCOMPARE(tiles[2], QRect(247, 5, 100, 100));
}

void TestMainWindow::unreadableFilesAreKeptAndReported_data() {
    QTest::addColumn<QByteArray>("group");
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QByteArray>("settingRead");
    QTest::addColumn<bool>("settingUnreadable");

    // The settings file is read as far as its fields go; only one that cannot be decoded at
    // all counts as unreadable.
    const auto row = [](const char* name, const QByteArray& group, const QByteArray& setting,
                        const QByteArray& settingRead, bool settingUnreadable) {
        QTest::newRow(name) << group << setting << settingRead << settingUnreadable;
    };
    row("count is not a number", "x,a,http://a/,0,", "b,x,", "b,2,", false);
    row("negative count", "-1,", "firefox -P work,0,", "firefox -P work,2,", false);
    row("count larger than the records", "2,a,http://a/,0,", "b,-3,", "b,2,", false);
    row("text cut short", "1,a,http://a/,12", "firefox -P work,5", "firefox -P work,5,", false);
    row("blank beside a number", "1,a,http://a/, 5,", "firefox -P work, 5,", "firefox -P work,5,",
        false);
    row("empty files", "", "", ",2,", false);
    row("not UTF-8 nor Shift_JIS", "1,\xff\xfe,http://a/,0,", "\xff,5,", ",2,", true);
}

void TestMainWindow::unreadableFilesAreKeptAndReported() {
    QFETCH(QByteArray, group);
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, settingRead);
    QFETCH(bool, settingUnreadable);

    ScratchDirectory scratch;
    ScratchDirectory::write("Group.dat", group);
    ScratchDirectory::write("Setting.ini", setting);
    QStringList reported;
    if (settingUnreadable)
        reported << "Setting.ini を読めませんでした。\n原本は Setting.ini.1 に残しました。";
    reported << "Group.dat を読めませんでした。\n原本は Group.dat.1 に残しました。";
    Harness harness;
    ModalDriver driver;
    for (qsizetype i = 0; i < reported.size(); ++i)
        driver.then(ModalDriver::click("OKButton"));
    {
        Velmora window(harness.services());
        // Told once, at start, with the copies already beside the files.
        QCOMPARE(driver.messages(), reported);
        QCOMPARE(ScratchDirectory::read("Group.dat.1"), group);
        QCOMPARE(ScratchDirectory::read("Setting.ini.1"),
                 settingUnreadable ? setting : QByteArray());
        QVERIFY(!window.pageList());
        QVERIFY(tilesOf(window).isEmpty());
        QCOMPARE(window.browserCommand(), QString::fromUtf8(settingRead.split(',')[0]));
        QCOMPARE(window.updateSeconds(), settingRead.split(',')[1].toInt());

        // Without a page list the exit leaves the unreadable file as it is.
        window.exit();
        QCOMPARE(ScratchDirectory::read("Group.dat"), group);
        QCOMPARE(ScratchDirectory::read("Setting.ini"), settingRead);
    }
    QCOMPARE(harness.quitCalls, 1);

    // The next start says it again, and the copies made then stay the only ones.
    driver.then(ModalDriver::click("OKButton")).then([](QWidget& addDialog) {
        addDialog.findChild<QLineEdit*>("TitleTextField")->setText("New");
        addDialog.findChild<QLineEdit*>("URLTextField")->setText("http://new/");
        ModalDriver::click("OKButton")(addDialog);
    });
    Harness again;
    again.serverTime = 0; // the new page's time stays 0 whether or not a check comes first
    {
        Velmora window(again.services());
        window.findChild<QAction*>("AddPageMenuItem")->trigger();
        QCOMPARE(titlesOf(window), QStringList{"New"});
        window.exit();
    }
    QCOMPARE(again.quitCalls, 1);
    QCOMPARE(driver.messages().mid(reported.size(), 2),
             QStringList{reported.last()} + QStringList{QString()});
    QCOMPARE(driver.sightings().size(), reported.size() + 2);
    QCOMPARE(ScratchDirectory::read("Group.dat"), QByteArray("1,New,http://new/,0,"));
    QCOMPARE(ScratchDirectory::read("Group.dat.1"), group);
    QCOMPARE(ScratchDirectory::read("Setting.ini.1"), settingUnreadable ? setting : QByteArray());
    QStringList names{"Group.dat", "Group.dat.1", "Setting.ini", "help.html"};
    if (settingUnreadable)
        names << "Setting.ini.1";
    names.sort();
    QCOMPARE(QDir().entryList(QDir::Files, QDir::Name), names);
}

void TestMainWindow::specialFilesNeverHoldTheProgram_data() {
    QTest::addColumn<QString>("name"); // "special": the file a file:// page names
    QTest::addColumn<bool>("fifo");    // or else a link to a device
    QTest::addColumn<QStringList>("reported");

    const QString left = " を読めませんでした。\nファイルはそのまま残します。";
    // The first quit is turned down as the settings cannot be saved, the second ends.
    const QStringList setting{"Setting.ini" + left, "Setting.ini を保存できませんでした。",
                              "Setting.ini を保存できませんでした。"};
    QTest::newRow("Group.dat, FIFO") << "Group.dat" << true << QStringList{"Group.dat" + left};
    QTest::newRow("Setting.ini, FIFO") << "Setting.ini" << true << setting;
    QTest::newRow("Setting.ini, link to a device") << "Setting.ini" << false << setting;
    QTest::newRow("help.html, FIFO") << "help.html" << true << QStringList{};
    QTest::newRow("page, FIFO") << "special" << true << QStringList{};
    QTest::newRow("page, link to a device") << "special" << false << QStringList{};
}

// Nothing waits on a special file: a data file is refused like an unreadable one and left as
// it is, and a page naming one has no time while the next page is still checked.
void TestMainWindow::specialFilesNeverHoldTheProgram() {
    QFETCH(QString, name);
    QFETCH(bool, fifo);
    QFETCH(QStringList, reported);

    ScratchDirectory scratch;
    QVERIFY(fifo ? ::mkfifo(QFile::encodeName(name).constData(), 0600) == 0
                 : QFile::link("/dev/zero", name));
    ScratchDirectory::write("plain.html", "<html></html>");
    const qint64 plainTime = QFileInfo("plain.html").lastModified().toSecsSinceEpoch() * 1000;
    const QByteArray url = QUrl::fromLocalFile(scratch.path()).toEncoded();
    const QByteArray plain = "plain," + url + "/plain.html,0,";
    if (name == "special")
        ScratchDirectory::write("Group.dat", "2,special," + url + "/special,0," + plain);
    else if (name != "Group.dat")
        ScratchDirectory::write("Group.dat", "1," + plain);
    if (name != "Setting.ini")
        ScratchDirectory::write("Setting.ini", ",1,");
    Harness harness;
    VelmoraServices services = harness.services();
    services.makeChecker = [] { return std::make_unique<AccessCheck>(); };
    ModalDriver driver;

    Velmora window(services);
    if (const PageList pages = window.pageList()) {
        QTRY_COMPARE(pages->back()->getLastModifiedDateLong(), plainTime);
        QCOMPARE(pages->front()->getStatus() == Page::isNotFound, name == "special");
    }
    window.exit();
    if (harness.quitCalls == 0)
        window.exit();
    QCOMPARE(harness.quitCalls, 1);
    QCOMPARE(driver.messages(), reported);
    QVERIFY(!QFileInfo(name).isFile());
    QCOMPARE(QFileInfo(name).isSymLink(), !fifo);
}

void TestMainWindow::filesReadInPartOrAsShiftJisAreKeptAndReported_data() {
    QTest::addColumn<QByteArray>("group");
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QStringList>("reported");
    // At exit: what was read, in our own form; no check cycle comes in between.
    QTest::addColumn<QByteArray>("savedGroup");
    QTest::addColumn<QByteArray>("savedSetting");

    const auto told = [](const char* file, const char* found) {
        return QString::fromUtf8(file) + QString::fromUtf8(found) + "\n原本は " + file +
               ".1 に残しました。";
    };
    const char* shiftJisText = " を Shift_JIS で読みました。";
    const char* extraText = " に余分な部分がありました。";
    const QByteArray pages = "2,日本語のページ,http://a/,10,ｶﾅ①,http://b/,20,";
    QTest::newRow("both in Shift_JIS")
        << shiftJis(pages) << shiftJis("ブラウザ --new,9999,")
        << QStringList{told("Setting.ini", shiftJisText), told("Group.dat", shiftJisText)} << pages
        << QByteArray("ブラウザ --new,9999,");
    QTest::newRow("a page beyond the count")
        << QByteArray("1,A,http://a/,0,B,http://b/,0,") << QByteArray("b,9999,")
        << QStringList{told("Group.dat", extraText)} << QByteArray("1,A,http://a/,0,")
        << QByteArray("b,9999,");
    QTest::newRow("a field after the update time")
        << QByteArray("1,A,http://a/,0,") << QByteArray("firefox -P work,9999,extra field,")
        << QStringList{told("Setting.ini", extraText)} << QByteArray("1,A,http://a/,0,")
        << QByteArray("firefox -P work,9999,");
    // No pages: the list file is not saved at all.
    QTest::newRow("Shift_JIS with text after the pages")
        << shiftJis("0,余分") << QByteArray("b,9999,")
        << QStringList{told("Group.dat", shiftJisText), told("Group.dat", extraText)}
        << shiftJis("0,余分") << QByteArray("b,9999,");
}

// Told once at start, with the originals already beside the files; read as ever.
void TestMainWindow::filesReadInPartOrAsShiftJisAreKeptAndReported() {
    QFETCH(QByteArray, group);
    QFETCH(QByteArray, setting);
    QFETCH(QStringList, reported);
    QFETCH(QByteArray, savedGroup);
    QFETCH(QByteArray, savedSetting);

    ScratchDirectory scratch;
    ScratchDirectory::write("Group.dat", group);
    ScratchDirectory::write("Setting.ini", setting);
    Harness harness;
    ModalDriver driver;
    Velmora(harness.services()).exit();
    QCOMPARE(driver.messages(), reported);
    QCOMPARE(ScratchDirectory::read("Group.dat"), savedGroup);
    QCOMPARE(ScratchDirectory::read("Setting.ini"), savedSetting);
    for (const auto& [name, original] : {std::pair("Group.dat", group), {"Setting.ini", setting}}) {
        const bool kept = reported.join(u'\n').contains(QString(name) + ".1");
        QCOMPARE(ScratchDirectory::read(QString(name) + ".1"), kept ? original : QByteArray());
    }
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
    // The user put the window away; the update brings it back.
    window.showMinimized();

    harness.serverTime = 5000;
    QTRY_COMPARE(page->getLastModifiedDateLong(), qint64(5000));
    QTRY_VERIFY(!window.isMinimized());
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
    // The cycle under way shows as the wait cursor.
    QTRY_COMPARE(window.cursor().shape(), Qt::WaitCursor);
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
    QCOMPARE(tilesOf(window).last().topLeft(), QPoint(142, 215));

    bar->setValue(bar->maximum());
    QCOMPARE(tilesOf(window).first().topLeft(), QPoint(37, 5 - 17));

    // Once everything fits, the bar is disabled and the tiles stand unscrolled, as does the
    // thumb.
    window.resize(window.width(), window.height() + 100);
    QTRY_VERIFY(!bar->isEnabled());
    QCOMPARE(tilesOf(window).first().topLeft(), QPoint(37, 5));
    QCOMPARE(bar->value(), 0);
}

namespace {

void writePages(int count) {
    QByteArray group = QByteArray::number(count) + ",";
    for (int i = 0; i < count; ++i)
        group += "p" + QByteArray::number(i) + ",http://p/,0,";
    ScratchDirectory::write("Group.dat", group);
}

// The window's content, without the menu bar, at this size.
void resizeContent(Velmora& window, QSize size) {
    window.resize(size.width(), size.height() + window.menuBar()->height());
}

// A shown main window with 40 pages, more than fit, in a scratch directory of its own.
struct FortyPagesWindow {
    FortyPagesWindow() {
        writePages(40);
        window = std::make_unique<Velmora>(harness.services());
        bar = window->findChild<QScrollBar*>("VerticalScrollBar");
        panel = window->findChild<PagePanel*>("MainPanel");
    }

    ScratchDirectory scratch;
    Harness harness;
    std::unique_ptr<Velmora> window;
    QScrollBar* bar = nullptr;
    PagePanel* panel = nullptr;
};

} // namespace

// After every resize the tiles stand where the thumb says, so the arrows act at once.
void TestMainWindow::offsetIsTheThumbsValueAfterAResize() {
    FortyPagesWindow shown;
    Velmora& window = *shown.window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QScrollBar* bar = shown.bar;
    PagePanel* panel = shown.panel;
    const auto agree = [&] {
        return panel->scrollOffset() == bar->value() &&
               panel->tileRect(0).top() == 5 - bar->value();
    };

    // 585 px wide: 5 tiles a row, 8 rows, 840 px of content in 398 px.
    resizeContent(window, QSize(600, 400));
    QTRY_COMPARE(bar->maximum(), 840 - 398);
    bar->setValue(bar->maximum());
    QVERIFY(agree());

    // 785 px wide: 7 a row, 6 rows, 630 px in 498 px; the offset is limited with the thumb.
    resizeContent(window, QSize(800, 500));
    QTRY_COMPARE(bar->maximum(), 630 - 498);
    QCOMPARE(bar->value(), 630 - 498);
    QVERIFY(agree());
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(bar->value(), 630 - 498 - 10);
    QVERIFY(agree());

    resizeContent(window, QSize(600, 400));
    QTRY_COMPARE(bar->maximum(), 840 - 398);
    QCOMPARE(bar->value(), 630 - 498 - 10);
    QVERIFY(agree());
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(bar->value(), 630 - 498);
    QVERIFY(agree());
}

void TestMainWindow::wheelOverThePanelTurnsTheBar() {
    FortyPagesWindow shown;
    Velmora& window = *shown.window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QScrollBar* bar = shown.bar;
    PagePanel* panel = shown.panel;
    const auto turn = [](QWidget* widget, int delta) {
        const QPointF middle = QRectF(widget->rect()).center();
        QWheelEvent wheel(middle, widget->mapToGlobal(middle), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &wheel);
    };

    // One notch down over the panel goes as far as one over the bar, and the tiles follow.
    turn(bar, -120);
    const int overBar = bar->value();
    QVERIFY(overBar > 0);
    bar->setValue(0);
    turn(panel->viewport(), -120);
    QCOMPARE(bar->value(), overBar);
    QCOMPARE(panel->scrollOffset(), overBar);
    turn(panel->viewport(), 120);
    QCOMPARE(bar->value(), 0);

    // With everything in view there is nothing to scroll.
    resizeContent(window, QSize(1200, 1000));
    QTRY_VERIFY(!bar->isEnabled());
    turn(panel->viewport(), -120);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(panel->scrollOffset(), 0);
}

// Every page answers with the time the list holds for it, but the one the test names is lost.
class OnePageLostChecker final : public PageChecker {
public:
    explicit OnePageLostChecker(std::atomic<int>& lost) : lost(lost) {}
    qint64 checkEach(const QString& url) override {
        return url == "http://p/" + QString::number(lost) ? -1 : 1000;
    }
    void abort() override {}

private:
    std::atomic<int>& lost;
};

// What is on screen is what painting the panel anew gives, also once a check has changed the
// state of a page whose tile is only partly in view.
void TestMainWindow::tilesOnScreenShowTheirPagesNewState() {
    ScratchDirectory scratch;
    QByteArray group = "40,";
    for (int i = 0; i < 40; ++i)
        group += "p" + QByteArray::number(i) + ",http://p/" + QByteArray::number(i) + ",1000,";
    ScratchDirectory::write("Group.dat", group);
    std::atomic<int> lost{-1};
    Harness harness;
    VelmoraServices services = harness.services();
    services.makeChecker = [&lost] { return std::make_unique<OnePageLostChecker>(lost); };
    Velmora window(services);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The second row, 110 px down, stands 40 px above the top edge.
    window.findChild<QScrollBar*>("VerticalScrollBar")->setValue(150);
    QWidget* viewport = window.findChild<PagePanel*>("MainPanel")->viewport();
    const auto onScreen = [&] {
        const QPoint at = viewport->mapTo(&window, QPoint());
        return window.screen()
            ->grabWindow(window.winId(), at.x(), at.y(), viewport->width(), viewport->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto paintedAnew = [&] {
        return viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    QTRY_COMPARE(onScreen(), paintedAnew());
    const QImage before = onScreen();

    lost = 4;
    QTRY_COMPARE(window.pageList()->at(4)->getStatus(), Page::isNotFound);
    QVERIFY(paintedAnew() != before);
    QTRY_COMPARE(onScreen(), paintedAnew());
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
