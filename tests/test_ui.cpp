#include "ModalDriver.h"
#include "ScratchDirectory.h"
#include "app/Velmora.h"
#include "dialogs/AlertDialog.h"
#include "storage/HelpFile.h"
#include "ui/PagePanel.h"
#include "ui/PageTile.h"
#include "ui/PageToolTip.h"
#include "ui/Palette.h"
#include "ui/ScreenCentre.h"
#include "ui/TileFlow.h"
#include "ui/TitleWrap.h"

#include <QAccessible>
#include <QAction>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QWindow>
#include <QtTest>
#include <ctime>
#include <thread>

namespace {

// Never asked: the update time of the test settings is far beyond any test's run.
class UnusedChecker final : public PageChecker {
public:
    qint64 checkEach(const QString&) override { return 0; }
    void abort() override {}
};

VelmoraServices testServices() {
    VelmoraServices services;
    services.makeChecker = [] { return std::make_unique<UnusedChecker>(); };
    services.tickWait = [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); };
    services.quit = [] {};
    services.startWindowTime = std::chrono::milliseconds(0);
    return services;
}

void writeSetting(const QString& browser) {
    ScratchDirectory::write("Setting.ini", (browser + ",9999,").toUtf8());
}

// One tile of the window's page panel; positions are in the tile's own coordinates.
struct Tile {
    PagePanel* panel = nullptr;
    qsizetype index = -1;

    QPoint inPanel(QPoint at) const { return panel->tileRect(index).topLeft() + at; }
    QPoint onScreen(QPoint at) const { return panel->mapToGlobal(inPanel(at)); }
};

PagePanel* panelOf(const Velmora& window) {
    return window.findChild<PagePanel*>("MainPanel");
}

QList<Tile> tilesOf(const Velmora& window) {
    QList<Tile> tiles;
    PagePanel* panel = panelOf(window);
    for (qsizetype i = 0; i < panel->count(); ++i)
        tiles << Tile{panel, i};
    return tiles;
}

// The pointer somewhere the tool tip is not, so that a leave is a real one.
void pointerAway() {
    QCursor::setPos(5000, 5000);
}

void enter(const Tile& tile, QPoint at) {
    QEnterEvent event(tile.inPanel(at), tile.inPanel(at), tile.onScreen(at));
    QApplication::sendEvent(tile.panel->viewport(), &event);
}

void leave(const Tile& tile) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(tile.panel->viewport(), &event);
}

void mouseAt(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button,
                      type == QEvent::MouseButtonPress ? button : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void mouse(const Tile& tile, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton) {
    mouseAt(tile.panel->viewport(), type, tile.inPanel(at), button);
}

// Where a widget stands within an area of the window, whoever its parent is.
QRect placeIn(const QWidget& area, const QWidget& widget) {
    return {widget.mapTo(&area, QPoint()), widget.size()};
}

QImage picture(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The tile as a screen of this device pixel ratio shows it, in device pixels, with a red
// margin around it.
QImage tilePicture(const Page& page, qreal scale = 1, int margin = 0) {
    const int side = qRound((100 + 2 * margin) * scale);
    QImage image(side, side, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::red);
    QPainter painter(&image);
    painter.translate(margin, margin);
    PageTile().paint(painter, page);
    return image;
}

QImage tipShowing(const QString& title, const QString& url, qint64 time) {
    PageToolTip tip(nullptr);
    tip.setPageTitle(title);
    tip.setPageURL(url);
    tip.setLastModifiedDateLong(time);
    return picture(tip);
}

// A stand-in browser that writes its arguments one a line; the file appears whole or not at all.
QString installRecorder(const QString& directory, const QString& output) {
    QDir().mkpath(directory);
    const QString path = directory + "/rec.sh";
    ScratchDirectory::write(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                      output.toUtf8() + ".part'\nmv '" + output.toUtf8() +
                                      ".part' '" + output.toUtf8() + "'\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A menu item by name, or a click on the first page's icon.
void openTarget(const Velmora& window, const QString& trigger) {
    if (trigger != "tile") {
        window.findChild<QAction*>(trigger)->trigger();
        return;
    }
    const Tile tile = tilesOf(window).value(0);
    enter(tile, QPoint(50, 28));
    mouse(tile, QEvent::MouseButtonRelease, QPoint(50, 28), Qt::LeftButton);
}

constexpr auto browserAlert = "ブラウザーの設定が間違っています。";
constexpr auto addressAlert = "ページのアドレスが間違っています。";

} // namespace

class TestUi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The date text reads the zone once per process, so it is fixed before any date is shown.
        qputenv("TZ", "Asia/Tokyo");
        tzset();
    }

    void darker_data() {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QColor>("darkened");

        QTest::newRow("tip background") << QColor(212, 212, 212) << QColor(148, 148, 148);
        QTest::newRow("twice") << QColor(148, 148, 148) << QColor(103, 103, 103);
        QTest::newRow("three times") << QColor(103, 103, 103) << QColor(72, 72, 72);
        QTest::newRow("black stays black") << QColor(0, 0, 0) << QColor(0, 0, 0);
        QTest::newRow("white truncates") << QColor(255, 255, 255) << QColor(178, 178, 178);
        QTest::newRow("channels apart") << QColor(1, 10, 200) << QColor(0, 7, 140);
    }

    void darker() {
        QFETCH(QColor, colour);
        QFETCH(QColor, darkened);
        QCOMPARE(Palette::darker(colour), darkened);
    }

    void centredPosition_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("position");

        QTest::newRow("even sizes") << QSize(1024, 768) << QSize(300, 160) << QPoint(362, 304);
        QTest::newRow("odd window halves truncate apart")
            << QSize(1024, 768) << QSize(301, 161) << QPoint(362, 304);
        QTest::newRow("odd screen") << QSize(1025, 769) << QSize(300, 160) << QPoint(362, 304);
        QTest::newRow("window larger than the screen")
            << QSize(800, 600) << QSize(1001, 700) << QPoint(-100, -50);
    }

    void centredPosition() {
        QFETCH(QSize, screen);
        QFETCH(QSize, window);
        QFETCH(QPoint, position);
        QCOMPARE(::centredPosition(screen, window), position);
    }

    // The tile where the panel puts its first one, on half a device pixel at 1.5. From each
    // edge inwards (a fifth of the way along it) and from each corner along the diagonal: the
    // etched frame whole, then the white inside. The picture made for the scale is drawn pixel
    // for pixel on the nearest device pixel.
    void tileAtEveryScale_data() {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QList<int>>("greyOutside"); // from the top and the left
        QTest::addColumn<QList<int>>("darkOutside"); // from the bottom and the right
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QPoint>("iconCorner");

        QTest::newRow("1x") << 1.0 << QList<int>{128, 64, 255} << QList<int>{64, 128, 255}
                            << ":/images/UpIcon.gif" << QPoint(25, 3);
        QTest::newRow("1.5x") << 1.5 << QList<int>{128, 128, 64, 255}
                              << QList<int>{64, 64, 128, 255} << ":/images/UpIcon@1.5x.gif"
                              << QPoint(38, 5);
        QTest::newRow("2x") << 2.0 << QList<int>{128, 128, 64, 64, 255}
                            << QList<int>{64, 64, 128, 128, 255} << ":/images/UpIcon@2x.gif"
                            << QPoint(50, 6);
    }

    void tileAtEveryScale() {
        QFETCH(qreal, scale);
        QFETCH(QList<int>, greyOutside);
        QFETCH(QList<int>, darkOutside);
        QFETCH(QString, picture);
        QFETCH(QPoint, iconCorner);

        Page page(nullptr);
        page.setStatus(Page::isRenew);
        const QImage image = tilePicture(page, scale, TileFlow::gap);
        // Half a device pixel rounds up, so the tile covers [first, last].
        const int first = qRound(TileFlow::gap * scale);
        const int last = qRound((TileFlow::gap + 100) * scale) - 1;
        const int along = first + (last - first) / 5;
        const QList<std::tuple<QPoint, QPoint, QList<int>>> walks{
            {{along, first}, {0, 1}, greyOutside}, {{first, along}, {1, 0}, greyOutside},
            {{first, first}, {1, 1}, greyOutside}, {{along, last}, {0, -1}, darkOutside},
            {{last, along}, {-1, 0}, darkOutside}, {{last, last}, {-1, -1}, darkOutside}};
        for (const auto& [start, step, greys] : walks) {
            QCOMPARE(image.pixelColor(start - step), QColor(Qt::red));
            for (int i = 0; i < greys.size(); ++i)
                QCOMPARE(image.pixelColor(start + i * step), QColor(greys[i], greys[i], greys[i]));
        }

        const QImage drawing(picture);
        QImage onWhite(drawing.size(), QImage::Format_RGB32);
        onWhite.fill(Qt::white);
        QPainter(&onWhite).drawImage(onWhite.rect(), drawing);
        onWhite.setDevicePixelRatio(scale);
        QCOMPARE(image.copy(QRect(QPoint(first, first) + iconCorner, onWhite.size())), onWhite);
    }

    void tileIconFollowsState() {
        const auto page = std::make_shared<Page>(nullptr);
        const QRect iconArea(25, 3, 51, 51);
        const auto pictureIn = [&](qint32 status) {
            page->setStatus(status);
            return tilePicture(*page);
        };
        const QImage unchanged = pictureIn(Page::isDefault);
        const QImage notFound = pictureIn(Page::isNotFound);
        const QImage updated = pictureIn(Page::isRenew);
        const QImage unknown = pictureIn(7);

        QVERIFY(unchanged.copy(iconArea) != notFound.copy(iconArea));
        QVERIFY(unchanged.copy(iconArea) != updated.copy(iconArea));
        QVERIFY(notFound.copy(iconArea) != updated.copy(iconArea));
        // An unknown state draws no icon: the empty title leaves the area white.
        QImage white(iconArea.size(), QImage::Format_RGB32);
        white.fill(Qt::white);
        QCOMPARE(unknown.copy(iconArea), white);
        QVERIFY(unchanged.copy(iconArea) != white);

        // The state changes the icon and nothing else.
        const auto outsideIcon = [&](QImage image) {
            QPainter(&image).fillRect(iconArea, Qt::black);
            return image;
        };
        QCOMPARE(outsideIcon(notFound), outsideIcon(unchanged));
        QCOMPARE(outsideIcon(updated), outsideIcon(unchanged));
        QCOMPARE(outsideIcon(unknown), outsideIcon(unchanged));

        // The title is drawn under the icon.
        page->setPageTitleString("Title");
        QVERIFY(outsideIcon(pictureIn(7)) != outsideIcon(unknown));
    }

    void toolTipFollowsTheEnteredTile() {
        ScratchDirectory scratch;
        writeSetting("");
        ScratchDirectory::write("Group.dat",
                                "2,一つ目,http://a.example/one,0,Second page,http://b.example/two,"
                                "1700000000000,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<Tile> tiles = tilesOf(window);
        QCOMPARE(tiles.size(), 2);
        auto* tip = window.findChild<QWidget*>("ToolTip");
        QVERIFY(tip);
        QVERIFY(!tip->isVisible());
        pointerAway();

        enter(tiles[0], QPoint(30, 40));
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->pos(), tiles[0].onScreen(QPoint(50, 50)));
        QCOMPARE(tip->size(), QSize(400, 50));
        const QImage first = picture(*tip);
        QCOMPARE(first, tipShowing("一つ目", "http://a.example/one", 0));
        // A three-pixel frame, darkest outside, around the tip's own background.
        const int greys[] = {72, 103, 148, 212};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(first.pixelColor(i, i), QColor(greys[i], greys[i], greys[i]));
            QCOMPARE(first.pixelColor(399 - i, 49 - i), QColor(greys[i], greys[i], greys[i]));
        }

        // The tip stays where the pointer came in.
        mouse(tiles[0], QEvent::MouseMove, QPoint(70, 80));
        QCOMPARE(tip->pos(), tiles[0].onScreen(QPoint(50, 50)));

        leave(tiles[0]);
        QVERIFY(!tip->isVisible());

        enter(tiles[1], QPoint(5, 95));
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->pos(), tiles[1].onScreen(QPoint(25, 105)));
        const QImage second = picture(*tip);
        QCOMPARE(second, tipShowing("Second page", "http://b.example/two", 1700000000000));
        QVERIFY(second != first);
        leave(tiles[1]);
        QVERIFY(!tip->isVisible());
    }

    // The tip lies over the lower right of the tile; the pointer moving onto it stays on the
    // tile, and clicks through it reach the tile. Only leaving the tile hides the tip.
    void toolTipNeverTakesThePointerFromItsTile() {
        ScratchDirectory scratch;
        writeSetting("/nonexistent/browser");
        ScratchDirectory::write("Group.dat", "2,a,http://a.example/,0,b,http://b.example/,0,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<Tile> tiles = tilesOf(window);
        auto* tip = window.findChild<QWidget*>("ToolTip");
        pointerAway();
        enter(tiles[0], QPoint(10, 10));
        const QPoint shownAt = tip->pos();
        QCOMPARE(shownAt, tiles[0].onScreen(QPoint(30, 20)));

        // Onto the tip, still inside the tile: the panel sees the pointer go, the tile keeps it.
        QCursor::setPos(tiles[0].onScreen(QPoint(40, 30)));
        leave(tiles[0]);
        QVERIFY(tip->isVisible());
        for (const QPoint inTile : {QPoint(45, 35), QPoint(70, 60), QPoint(99, 99)}) {
            mouseAt(tip, QEvent::MouseMove, tip->mapFromGlobal(tiles[0].onScreen(inTile)));
            QVERIFY(tip->isVisible());
            QCOMPARE(tip->pos(), shownAt);
        }
        // A click on the tip where it covers the icon opens the page, as on the tile.
        ModalDriver driver;
        driver.then(ModalDriver::click("OKButton"));
        const QPoint overIcon = tip->mapFromGlobal(tiles[0].onScreen(QPoint(60, 40)));
        mouseAt(tip, QEvent::MouseMove, overIcon);
        QCOMPARE(window.cursor().shape(), Qt::PointingHandCursor);
        mouseAt(tip, QEvent::MouseButtonPress, overIcon, Qt::LeftButton);
        mouseAt(tip, QEvent::MouseButtonRelease, overIcon, Qt::LeftButton);
        QCOMPARE(driver.messages(), QStringList{browserAlert});

        // Over the tip onto the next tile: a leave and an entry, as between two tiles.
        mouseAt(tip, QEvent::MouseMove, tip->mapFromGlobal(tiles[1].onScreen(QPoint(5, 50))));
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->pos(), tiles[1].onScreen(QPoint(25, 60)));

        // Leaving the tile for anywhere else hides the tip.
        pointerAway();
        leave(tiles[1]);
        QVERIFY(!tip->isVisible());
    }

    // Neither the tile's title nor the tip's lines ever paint over their frames.
    void textNeverPaintsOverAFrame() {
        const QFontMetrics metrics(Palette::dialogFont(13));
        const auto filled = [&](QString line, QChar c, int width) {
            while (metrics.horizontalAdvance(line) < width)
                line += c;
            return line;
        };
        // Two full lines, a third that reaches 90 px with blanks only, then a fourth line.
        const QString belowTheTile = filled("", 'm', 90) + filled("", 'm', 90) +
                                     filled(filled("", 'm', 75), ' ', 90) + " MMMMMM";
        const auto width = [&](const QString& text) { return metrics.horizontalAdvance(text); };
        QCOMPARE(TitleWrap::layout(belowTheTile, width, 13).size(), size_t(4));
        const QString widerThanTheTile = filled("", QChar(0x3042), 96);
        QVERIFY((100 - width(widerThanTheTile)) / 2 < 0);

        const QImage empty = tilePicture(Page(nullptr));
        for (const QString& title : {belowTheTile, widerThanTheTile}) {
            Page page(nullptr);
            page.setPageTitleString(title);
            const QImage image = tilePicture(page);
            for (const int edge : {0, 1, 98, 99}) {
                QCOMPARE(image.copy(0, edge, 100, 1), empty.copy(0, edge, 100, 1));
                QCOMPARE(image.copy(edge, 0, 1, 100), empty.copy(edge, 0, 1, 100));
            }
        }

        const QImage plainTip = tipShowing("", "", 0);
        const QImage longTip = tipShowing(QString(200, 'W'), QString(200, 'M'), 0);
        QVERIFY(longTip != plainTip);
        for (const int edge : {397, 398, 399})
            QCOMPARE(longTip.copy(edge, 0, 1, 50), plainTip.copy(edge, 0, 1, 50));
    }

    // The panel paints each tile on screen as the tile itself looks, scrolled and cut at the
    // panel's edge, on the window's light grey.
    void panelShowsTheTilesAsTheyLook() {
        ScratchDirectory scratch;
        writeSetting("");
        QByteArray group = "7,";
        for (int i = 0; i < 7; ++i)
            group += "Page number " + QByteArray::number(i) + ",http://p/,0,";
        ScratchDirectory::write("Group.dat", group);
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PagePanel* panel = panelOf(window);
        panel->pageAt(4)->setStatus(Page::isRenew);
        panel->setScrollOffset(17);

        const QImage shown = picture(*panel);
        for (qsizetype i = 0; i < panel->count(); ++i) {
            const QRect area = panel->tileRect(i);
            const QRect visible = area.intersected(panel->rect());
            QCOMPARE(shown.copy(visible),
                     tilePicture(*panel->pageAt(i)).copy(visible.translated(-area.topLeft())));
        }
        QCOMPARE(shown.pixelColor(2, 100), QColor(192, 192, 192));
        QCOMPARE(shown.pixelColor(140, 90), QColor(192, 192, 192));
    }

    // Tab goes from tile to tile and Enter opens the page as a click on its icon would; a
    // mouse user never sees a focus mark.
    void keyboardReachesAndOpensThePages() {
        ScratchDirectory scratch;
        writeSetting("/nonexistent/browser");
        QByteArray group = "12,";
        for (int i = 0; i < 12; ++i)
            group += "p" + QByteArray::number(i) + ",http://p" + QByteArray::number(i) + "/,0,";
        ScratchDirectory::write("Group.dat", group);
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.isActiveWindow());
        PagePanel* panel = panelOf(window);
        const QImage untouched = picture(*panel);
        QTRY_VERIFY(panel->hasFocus());
        QCOMPARE(panel->focusedTile(), -1);
        QCOMPARE(picture(*panel), untouched);
        // Keys go where the window's keyboard focus is.
        const auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };

        press(Qt::Key_Tab);
        QCOMPARE(panel->focusedTile(), 0);
        QVERIFY(picture(*panel).copy(panel->tileRect(0)) != untouched.copy(panel->tileRect(0)));
        press(Qt::Key_Tab);
        QCOMPARE(panel->focusedTile(), 1);
        press(Qt::Key_Backtab);
        press(Qt::Key_Backtab);
        QCOMPARE(panel->focusedTile(), 11);
        // The last row is scrolled into view.
        QVERIFY(panel->rect().contains(panel->tileRect(11)));
        press(Qt::Key_Tab);
        QCOMPARE(panel->focusedTile(), 0);
        QVERIFY(panel->rect().contains(panel->tileRect(0)));

        ModalDriver driver;
        driver.then(ModalDriver::click("OKButton")).then(ModalDriver::click("OKButton"));
        press(Qt::Key_Return);
        QCOMPARE(driver.messages(), QStringList{browserAlert});
        // A tile whose check runs opens nothing, from the keyboard as from the mouse.
        // (Straight to the panel: where focus goes after an alert is not this test's matter.)
        panel->pageAt(0)->setCheckRunning(true);
        QTest::keyClick(panel, Qt::Key_Enter);
        QCOMPARE(driver.sightings().size(), 1);
        panel->pageAt(0)->setCheckRunning(false);
        QTest::keyClick(panel, Qt::Key_Enter);
        QCOMPARE(driver.sightings().size(), 2);
    }

    // Assistive tools see every tile: its title, its URL and state, where it is, and a press
    // that opens it.
    void tilesAreAccessible() {
        ScratchDirectory scratch;
        writeSetting("/nonexistent/browser");
        ScratchDirectory::write("Group.dat",
                                "3,一つ目,http://a.example/,0,Second,http://b.example/,0,"
                                "Third,http://c.example/,0,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PagePanel* panel = panelOf(window);
        panel->pageAt(1)->setStatus(Page::isRenew);
        panel->pageAt(2)->setStatus(Page::isNotFound);

        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(panel);
        QVERIFY(list);
        QCOMPARE(list->childCount(), 3);
        const QStringList names{"一つ目", "Second", "Third"};
        const QStringList descriptions{"http://a.example/, unchanged", "http://b.example/, updated",
                                       "http://c.example/, not found"};
        for (int i = 0; i < 3; ++i) {
            QAccessibleInterface* tile = list->child(i);
            QVERIFY(tile);
            QCOMPARE(list->child(i), tile);
            QCOMPARE(list->indexOfChild(tile), i);
            QCOMPARE(tile->parent(), list);
            QCOMPARE(tile->role(), QAccessible::ListItem);
            QCOMPARE(tile->text(QAccessible::Name), names[i]);
            QCOMPARE(tile->text(QAccessible::Description), descriptions[i]);
            const QRect onScreen(panel->mapToGlobal(panel->tileRect(i).topLeft()), QSize(100, 100));
            QCOMPARE(tile->rect(), onScreen);
            QCOMPARE(list->childAt(onScreen.center().x(), onScreen.center().y()), tile);
            QVERIFY(tile->state().focusable);
        }

        ModalDriver driver;
        driver.then(ModalDriver::click("OKButton"));
        QAccessibleActionInterface* press = list->child(1)->actionInterface();
        QVERIFY(press);
        QCOMPARE(press->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
        press->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(driver.messages(), QStringList{browserAlert});

        // After a rebuild with fewer pages the list shrinks and a dropped tile is no more.
        QAccessibleInterface* third = list->child(2);
        ScratchDirectory::write("Group.dat", "1,Only,http://o.example/,0,");
        window.readGroup();
        QCOMPARE(list->childCount(), 1);
        QCOMPARE(list->child(0)->text(QAccessible::Name), QStringLiteral("Only"));
        QVERIFY(!third->isValid());
    }

    // The corners of the icon's square and the pixels just beside them.
    void pointerOverTile_data() {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<bool>("inside");

        QTest::newRow("top-left corner") << QPoint(25, 3) << true;
        QTest::newRow("bottom-right corner") << QPoint(75, 53) << true;
        QTest::newRow("left of it") << QPoint(24, 3) << false;
        QTest::newRow("below it") << QPoint(75, 54) << false;
    }

    // The browser cannot start here, so every launch shows at once as an alert.
    void pointerOverTile() {
        QFETCH(QPoint, position);
        QFETCH(bool, inside);

        ScratchDirectory scratch;
        writeSetting("/nonexistent/browser");
        ScratchDirectory::write("Group.dat", "1,a,http://a.example/,0,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(tilesOf(window).size(), 1);
        const Tile tile = tilesOf(window).value(0);
        pointerAway();
        const Qt::CursorShape expected = inside ? Qt::PointingHandCursor : Qt::ArrowCursor;

        window.setCursor(inside ? Qt::ArrowCursor : Qt::PointingHandCursor);
        enter(tile, QPoint(0, 50));
        mouse(tile, QEvent::MouseMove, position);
        QCOMPARE(window.cursor().shape(), expected);

        ModalDriver driver;
        mouse(tile, QEvent::MouseButtonRelease, position, Qt::LeftButton);
        QCOMPARE(driver.sightings().size(), inside ? 1 : 0);

        // Leaving keeps the cursor the last move gave.
        leave(tile);
        QCOMPARE(window.cursor().shape(), expected);
    }

    void pointerEntersTheTileUnderIt_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QPoint>("position"); // in the panel
        QTest::addColumn<QString>("entered"); // the page's title, empty for none

        // Seven tiles in rows of 3, 3 and 1; scrolled, every tile stands 17 px higher.
        const auto row = [](const char* name, int offset, QPoint position, const char* entered) {
            QTest::newRow(name) << offset << position << QString(entered);
        };
        row("first tile's top-left pixel", 0, {37, 5}, "p0");
        row("left of the first tile", 0, {36, 5}, "");
        row("first tile's bottom-right pixel", 0, {136, 104}, "p0");
        row("gap between two tiles", 0, {137, 104}, "");
        row("middle of the second row", 0, {192, 160}, "p4");
        row("beside the last row's only tile", 0, {247, 215}, "");
        row("scrolled, top-left of the second row", 17, {37, 93}, "p3");
        row("scrolled, the gap above it", 17, {37, 92}, "");
        row("scrolled, bottom-right of the last tile", 17, {241, 297}, "p6");
    }

    void pointerEntersTheTileUnderIt() {
        QFETCH(int, offset);
        QFETCH(QPoint, position);
        QFETCH(QString, entered);

        ScratchDirectory scratch;
        writeSetting("");
        QByteArray group = "7,";
        for (int i = 0; i < 7; ++i)
            group += "p" + QByteArray::number(i) + ",http://p/,0,";
        ScratchDirectory::write("Group.dat", group);
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PagePanel* panel = panelOf(window);
        panel->setScrollOffset(offset);
        QCOMPARE(window.PageGap(), offset);
        QStringList seen;
        connect(panel, &PagePanel::tileEntered, this,
                [&](const std::shared_ptr<Page>& page) { seen << page->getPageTitleString(); });
        pointerAway();

        mouseAt(panel->viewport(), QEvent::MouseMove, position);
        QCOMPARE(seen, entered.isEmpty() ? QStringList() : QStringList{entered});
    }

    void clickIsAPressAndAReleaseOnOneTile_data() {
        QTest::addColumn<int>("pressedTile"); // -1: beside the tiles
        QTest::addColumn<int>("releasedTile");
        QTest::addColumn<QString>("clicked"); // title and the release's place in the tile

        QTest::newRow("both on the first tile") << 0 << 0 << "a at 50,28";
        QTest::newRow("both on the second tile") << 1 << 1 << "b at 50,28";
        QTest::newRow("pressed on the first, released on the second") << 0 << 1 << "";
        QTest::newRow("pressed on the second, released on the first") << 1 << 0 << "";
        QTest::newRow("pressed beside the tiles") << -1 << 0 << "";
    }

    void clickIsAPressAndAReleaseOnOneTile() {
        QFETCH(int, pressedTile);
        QFETCH(int, releasedTile);
        QFETCH(QString, clicked);

        ScratchDirectory scratch;
        writeSetting("");
        ScratchDirectory::write("Group.dat", "2,a,http://a.example/,0,b,http://b.example/,0,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<Tile> tiles = tilesOf(window);
        QStringList seen;
        connect(tiles[0].panel, &PagePanel::tileClicked, this,
                [&](const std::shared_ptr<Page>& page, QPoint at) {
                    seen << QStringLiteral("%1 at %2,%3")
                                .arg(page->getPageTitleString())
                                .arg(at.x())
                                .arg(at.y());
                });
        // A click on an icon goes on to the browser, whose empty command raises an alert.
        ModalDriver driver;
        const QPoint icon(50, 28);

        const QPoint pressAt = pressedTile < 0 ? QPoint(2, 100) : tiles[pressedTile].inPanel(icon);
        mouseAt(tiles[0].panel->viewport(), QEvent::MouseButtonPress, pressAt, Qt::LeftButton);
        mouse(tiles[releasedTile], QEvent::MouseButtonRelease, icon, Qt::LeftButton);
        QCOMPARE(seen, clicked.isEmpty() ? QStringList() : QStringList{clicked});
    }

    // A tile whose check is running takes no clicks and shows no hand; an address that
    // starts with "-" is never handed to the browser, which would take it for an option, and
    // the user hears that the address is wrong.
    void busyTileAndOptionLikeAddressOpenNothing() {
        ScratchDirectory scratch;
        writeSetting("/nonexistent/browser");
        ScratchDirectory::write("Group.dat",
                                "2,a,http://a.example/,0,opt,--renderer-cmd-prefix=/tmp/x,0,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<Tile> tiles = tilesOf(window);
        const QPoint icon(50, 28);
        ModalDriver driver;

        panelOf(window)->pageAt(0)->setCheckRunning(true);
        window.setCursor(Qt::ArrowCursor);
        enter(tiles[0], icon);
        mouse(tiles[0], QEvent::MouseMove, icon);
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
        mouse(tiles[0], QEvent::MouseButtonRelease, icon, Qt::LeftButton);
        QCOMPARE(driver.sightings().size(), 0);

        enter(tiles[1], icon);
        mouse(tiles[1], QEvent::MouseButtonRelease, icon, Qt::LeftButton);
        QCOMPARE(driver.messages(), QStringList{addressAlert});
    }

    // Rebuilding the tiles under the pointer takes the tip away with them, and an emptied
    // panel keeps its room so the scroll bar stays at the right edge.
    void rebuildHidesTheTipAndKeepsTheLayout() {
        ScratchDirectory scratch;
        ScratchDirectory::write("Group.dat", "1,a,http://a.example/,0,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* tip = window.findChild<QWidget*>("ToolTip");
        enter(tilesOf(window).value(0), QPoint(50, 70));
        QVERIFY(tip->isVisible());

        ScratchDirectory::write("Group.dat", "0,");
        window.readGroup();
        QVERIFY(!tip->isVisible());
        QVERIFY(tilesOf(window).isEmpty());
        QCOMPARE(placeIn(*window.centralWidget(), *window.findChild<QWidget*>("VerticalScrollBar")),
                 QRect(385, 2, 15, 298));
    }

    void clickWithoutAPageToOpenStartsNothing() {
        ScratchDirectory scratch;
        writeSetting("/nonexistent/browser");
        ScratchDirectory::write("Group.dat", "2,no address,,0,b,http://b.example/,0,");
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<Tile> tiles = tilesOf(window);
        QCOMPARE(tiles.size(), 2);
        const QPoint icon(50, 28);
        ModalDriver driver;
        pointerAway();

        // Before the pointer has entered any tile there is no page to open.
        mouse(tiles[1], QEvent::MouseButtonRelease, icon, Qt::LeftButton);
        QCOMPARE(driver.sightings().size(), 0);

        enter(tiles[0], icon);
        mouse(tiles[0], QEvent::MouseButtonRelease, icon, Qt::LeftButton);
        QCOMPARE(driver.sightings().size(), 0);

        // The same click on a page with an address does try to open it.
        leave(tiles[0]);
        enter(tiles[1], icon);
        mouse(tiles[1], QEvent::MouseButtonRelease, icon, Qt::LeftButton);
        QCOMPARE(driver.messages(), QStringList{browserAlert});
    }

    void alertShowsAndReturns_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("pressOK");

        QTest::newRow("OK button") << "更新時間が間違っています。" << true;
        QTest::newRow("close box") << "カンマ「,」は使用しないでください。 " << false;
        QTest::newRow("empty message") << "" << true;
    }

    void alertShowsAndReturns() {
        QFETCH(QString, message);
        QFETCH(bool, pressOK);

        QWidget owner;
        owner.show();
        QString buttonText;
        bool modal = false;
        QWidget* parent = nullptr;
        ModalDriver driver;
        driver.then([&](QWidget& dialog) {
            buttonText = dialog.findChild<QPushButton*>("OKButton")->text();
            modal = dialog.isModal();
            parent = dialog.parentWidget();
            (pressOK ? ModalDriver::click("OKButton") : ModalDriver::closeWindow())(dialog);
        });

        raiseAlert(&owner, message);

        QCOMPARE(driver.sightings().size(), 1);
        const ModalDriver::Sighting& alert = driver.sightings().front();
        QVERIFY(alert.expected);
        QCOMPARE(alert.title, QStringLiteral("Alert"));
        QCOMPARE(alert.message, message);
        QCOMPARE(alert.position, QPoint(200, 200));
        QCOMPARE(alert.size, QSize(300, 100));
        QCOMPARE(buttonText, QStringLiteral("OK"));
        QVERIFY(modal);
        QCOMPARE(parent, &owner);
        // Not kept for a later message.
        QVERIFY(!alert.dialog);
    }

    void twoAlertsAreTwoDialogs() {
        QWidget owner;
        owner.show();
        ModalDriver driver;
        driver.then(ModalDriver::click("OKButton")).then(ModalDriver::closeWindow());

        raiseAlert(&owner, "first");
        QCOMPARE(driver.sightings().size(), 1);
        raiseAlert(&owner, "second");

        QCOMPARE(driver.messages(), (QStringList{"first", "second"}));
        for (const ModalDriver::Sighting& each : driver.sightings()) {
            QVERIFY(each.expected);
            QCOMPARE(each.position, QPoint(200, 200));
            QVERIFY(!each.dialog);
        }
    }

    void helpFileCopy_data() {
        QTest::addColumn<QByteArray>("source");  // null: missing
        QTest::addColumn<QByteArray>("present"); // null: no help file yet
        QTest::addColumn<QByteArray>("after");   // null: still none

        const QByteArray none;
        QTest::newRow("line feeds kept") << QByteArray("a\nb\n") << none << QByteArray("a\nb\n");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << none << QByteArray("a\nb\n");
        QTest::newRow("CR") << QByteArray("a\rb\r") << none << QByteArray("a\nb\n");
        QTest::newRow("LF CR is two line ends")
            << QByteArray("a\n\rb\n") << none << QByteArray("a\n\nb\n");
        QTest::newRow("empty lines kept")
            << QByteArray("a\r\n\r\n\rb\n") << none << QByteArray("a\n\n\nb\n");
        QTest::newRow("final line end added") << QByteArray("a\nb") << none << QByteArray("a\nb\n");
        QTest::newRow("Japanese kept")
            << QByteArray("ヘルプ\r\nHelp 説明") << none << QByteArray("ヘルプ\nHelp 説明\n");
        QTest::newRow("empty source") << QByteArray("") << none << QByteArray("");
        QTest::newRow("help file present untouched")
            << QByteArray("new\n") << QByteArray("mine\r\nno end") << QByteArray("mine\r\nno end");
        QTest::newRow("empty help file present untouched")
            << QByteArray("new\n") << QByteArray("") << QByteArray("");
        QTest::newRow("no source, nothing created") << none << none << none;
    }

    void helpFileCopy() {
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, present);
        QFETCH(QByteArray, after);

        ScratchDirectory scratch;
        if (!source.isNull())
            ScratchDirectory::write("source.html", source);
        if (!present.isNull())
            ScratchDirectory::write("help.html", present);
        QCOMPARE(installHelpFile("source.html", "help.html"), present.isNull() && !after.isNull());
        QCOMPARE(QFile::exists("help.html"), !after.isNull());
        QCOMPARE(ScratchDirectory::read("help.html"), after);
    }

    void helpResourceIsBilingual() {
        const QByteArray bytes = ScratchDirectory::read(":/help.html");
        QVERIFY(!bytes.isEmpty());
        const QString text = QString::fromUtf8(bytes);
        QCOMPARE(text.toUtf8(), bytes);
        QString prose = text;
        prose.remove(QRegularExpression("<[^>]*>"));
        QVERIFY(prose.contains(QRegularExpression("[\\x{3040}-\\x{30FF}\\x{4E00}-\\x{9FFF}]{4}")));
        QVERIFY(prose.contains(QRegularExpression("[A-Za-z]+ [A-Za-z]+ [A-Za-z]+ [A-Za-z]+")));
    }

    void startWindowInstallsHelpAndHides_data() {
        QTest::addColumn<QByteArray>("present"); // null: no help file yet

        QTest::newRow("no help file") << QByteArray();
        QTest::newRow("help file of the user's") << QByteArray("mine\r\nno final end");
    }

    void startWindowInstallsHelpAndHides() {
        QFETCH(QByteArray, present);

        ScratchDirectory scratch;
        writeSetting("");
        if (!present.isNull())
            ScratchDirectory::write("help.html", present);
        Velmora window(testServices());

        const QByteArray help = ScratchDirectory::read("help.html");
        if (present.isNull()) {
            QByteArray expected = ScratchDirectory::read(":/help.html");
            expected.replace("\r\n", "\n").replace('\r', '\n');
            if (!expected.endsWith('\n'))
                expected += '\n';
            QCOMPARE(help, expected);
        } else {
            QCOMPARE(help, present);
        }

        auto* start = window.findChild<QWidget*>("StartWindow");
        QVERIFY(start);
        QVERIFY(!start->isVisible());
        QVERIFY(window.isVisible());
        QCOMPARE(start->size(), QSize(400, 200));
        // Undecorated, owned by the main window, and a splash, which no task bar lists.
        QCOMPARE(start->windowType(), Qt::SplashScreen);
        QVERIFY(start->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(start->windowHandle()->transientParent(), window.windowHandle());
        const QImage image = picture(*start);
        for (const QPoint outer : {QPoint(0, 0), QPoint(200, 0), QPoint(0, 100), QPoint(399, 199)})
            QCOMPARE(image.pixelColor(outer), QColor(192, 192, 192));
        for (const QPoint inner : {QPoint(1, 1), QPoint(200, 1), QPoint(1, 100), QPoint(398, 198)})
            QCOMPARE(image.pixelColor(inner), QColor(128, 128, 128));
    }

    // The constructor returns with the start window on screen; the rest of the start runs from
    // the event loop once the show has ended.
    void startGoesOnWhenTheShowEnds() {
        ScratchDirectory scratch;
        writeSetting("");
        ScratchDirectory::write("Group.dat", "1,a,http://a.example/,0,");
        VelmoraServices services = testServices();
        services.startWindowTime = std::chrono::milliseconds(1);
        Velmora window(services);
        auto* start = window.findChild<QWidget*>("StartWindow");
        QVERIFY(start->isVisible());
        QVERIFY(!window.isVisible());
        QVERIFY(!window.pageList());
        QVERIFY(!QFile::exists("help.html"));
        // A second copy asking this one forward now gets no half-built window.
        window.startVelmora();
        QVERIFY(!window.isVisible());

        QTRY_VERIFY(window.isVisible());
        QVERIFY(!start->isVisible());
        QVERIFY(QFile::exists("help.html"));
        QCOMPARE(tilesOf(window).size(), 1);
    }

    void browserGetsTargetAsOneArgument_data() {
        QTest::addColumn<QString>("trigger"); // a menu item's name, or "tile" for the page's icon
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("target"); // "{help}": the help file; "https://...": a prefix

        const auto row = [](const char* name, const char* trigger, const char* url,
                            const char* target) {
            QTest::newRow(name) << QString(trigger) << QString(url) << QString(target);
        };
        row("help item", "HelpMenuItem", "http://a/", "{help}");
        row("home page item", "WebMenuItem", "http://a/", "https://...");
        row("plain page", "tile", "http://a.example/x?y=1&z=2", "http://a.example/x?y=1&z=2");
        row("page with shell characters", "tile", "http://a/;touch%20pwned;$(id)&x='r'",
            "http://a/;touch%20pwned;$(id)&x='r'");
        // The browser gets the address fully encoded, the name of its host included.
        row("capitals in scheme and host", "tile", "HTTP://A.Example/X", "http://a.example/X");
        row("international address", "tile", "https://例え.jp/ページ?q=日本",
            "https://xn--r8jz45g.jp/%E3%83%9A%E3%83%BC%E3%82%B8?q=%E6%97%A5%E6%9C%AC");
        row("local file", "tile", "file:///tmp/a%20b.html", "file:///tmp/a%20b.html");
    }

    void browserGetsTargetAsOneArgument() {
        QFETCH(QString, trigger);
        QFETCH(QString, url);
        QFETCH(QString, target);

        ScratchDirectory scratch;
        const QString output = scratch.path() + "/arguments.txt";
        const QString recorder = installRecorder(scratch.path() + "/browser dir", output);
        writeSetting("\"" + recorder + "\" --new-window");
        ScratchDirectory::write("Group.dat", ("1,page," + url + ",0,").toUtf8());
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.pageList()->front()->getPageURLString(), url);
        ModalDriver driver;

        openTarget(window, trigger);

        QVERIFY(driver.sightings().isEmpty());
        // The recorder runs detached; its file appears once it has finished.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 30000);
        QStringList arguments = QString::fromUtf8(ScratchDirectory::read(output)).split('\n');
        QCOMPARE(arguments.takeLast(), QString());
        QCOMPARE(arguments.size(), 2);
        QCOMPARE(arguments[0], QStringLiteral("--new-window"));
        if (target == "{help}")
            QCOMPARE(arguments[1], QDir::currentPath() + "/help.html");
        else if (target == "https://...")
            QVERIFY2(arguments[1].startsWith("https://"), qPrintable(arguments[1]));
        else
            QCOMPARE(arguments[1], target);
    }

    void targetThatCannotOpenRaisesAlert_data() {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("url"); // "{recorder}" stands for a working program's path

        const auto row = [](const char* name, const char* browser, const char* trigger,
                            const char* url) {
            QTest::newRow(name) << QString(browser) << QString(trigger) << QString(url);
        };
        row("empty command, help item", "", "HelpMenuItem", "http://a/");
        row("empty command, home page item", "", "WebMenuItem", "http://a/");
        // Were the target started in the browser's place, this would succeed without a word.
        row("empty command never starts the target", "", "tile", "file://{recorder}");
        row("missing program, page click", "/nonexistent/browser", "tile", "http://a/");
        row("missing program with blanks, help item", "\"/no such dir/browser\" --new-window",
            "HelpMenuItem", "http://a/");
        row("directory as program, home page item", "/", "WebMenuItem", "http://a/");
        // A working browser, but only a well-formed address may reach it: it would take
        // anything else, even after blanks, for one of its options.
        const char* browser = "{recorder}";
        row("option after blanks", browser, "tile", "  --renderer-cmd-prefix=/tmp/evil.sh");
        row("option after a tab", browser, "tile", "\t--utility-cmd-prefix=/tmp/evil.sh");
        row("relative path", browser, "tile", "evil.sh");
        row("blanks around and inside", browser, "tile", " http://a/x y  z ");
        row("quotes", browser, "tile", "http://a/\"q\"");
        row("bad percent sign", browser, "tile", "http://a/%zz");
        row("other scheme", browser, "tile", "javascript:alert(1)");
        row("web address without a host", browser, "tile", "http:evil");
        row("file address with a relative path", browser, "tile", "file:evil.sh");
    }

    void targetThatCannotOpenRaisesAlert() {
        QFETCH(QString, browser);
        QFETCH(QString, trigger);
        QFETCH(QString, url);

        ScratchDirectory scratch;
        const QString recorder = installRecorder(scratch.path(), scratch.path() + "/arguments.txt");
        writeSetting(QString(browser).replace("{recorder}", recorder));
        ScratchDirectory::write(
            "Group.dat",
            ("1,page," + QString(url).replace("{recorder}", recorder) + ",0,").toUtf8());
        Velmora window(testServices());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ModalDriver driver;
        driver.then(ModalDriver::click("OKButton"));

        openTarget(window, trigger);

        QCOMPARE(driver.messages(),
                 QStringList{browser == "{recorder}" ? addressAlert : browserAlert});
        const ModalDriver::Sighting& alert = driver.sightings().front();
        QVERIFY(alert.expected);
        QCOMPARE(alert.title, QStringLiteral("Alert"));
        QCOMPARE(alert.position, QPoint(200, 200));
        QVERIFY(!alert.dialog);
    }
};

QTEST_MAIN(TestUi)
#include "test_ui.moc"
