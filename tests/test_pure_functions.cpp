// The pure functions: tile and title geometry, date text, browser command lines, the comma rule.
#include "dialogs/CommaRule.h"
#include "launch/BrowserCommand.h"
#include "platform/LocalDateText.h"
#include "ui/TileFlow.h"
#include "ui/TitleWrap.h"

#include <QtTest>
#include <ctime>

class TestPureFunctions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The date text reads the zone once per process, so it is fixed before any date is shown.
        qputenv("TZ", "Asia/Tokyo");
        tzset();
    }

    // Every character 10 px wide except 'i' (3 px) and 'W' (25 px), so "..." is 30 px.
    void titleLayout_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("lineAdvance");
        QTest::addColumn<QStringList>("lines"); // "x,baseline:text"

        const QString a9(9, 'a'), b9(9, 'b'), c8(8, 'c');
        QTest::newRow("empty title draws no line") << QString() << 13 << QStringList();
        QTest::newRow("short title centred on the first baseline")
            << "abc" << 13 << QStringList{"35,63:abc"};
        QTest::newRow("odd width centres toward the left")
            << "abci" << 13 << QStringList{"33,63:abci"};
        QTest::newRow("blank below 90 px stays on the line")
            << "abc def" << 13 << QStringList{"15,63:abc def"};
        QTest::newRow("90 px fits one line") << a9 << 13 << QStringList{"5,63:" + a9};
        QTest::newRow("character arriving at 90 px starts the next line")
            << a9 + "j" << 13 << QStringList{"5,63:" + a9, "45,76:j"};
        QTest::newRow("blank arriving at 90 px starts the next line")
            << a9 + " b" << 13 << QStringList{"5,63:" + a9, "40,76: b"};
        QTest::newRow("line wider than the tile has a negative x, truncated toward zero")
            << "aaaaaaaaW" << 13 << QStringList{"-2,63:aaaaaaaaW"};
        QTest::newRow("wide line breaks at the next character")
            << "aaaaaaaaWb" << 13 << QStringList{"-2,63:aaaaaaaaW", "45,76:b"};
        QTest::newRow("third line cut at 80 px, rest not drawn")
            << a9 + b9 + "ccccccccc" + "ddd" << 13
            << QStringList{"5,63:" + a9, "5,76:" + b9, "-5,89:cccccccc..."};
        QTest::newRow("cut line wider than the tile")
            << a9 + b9 + "ccccccWd" << 13
            << QStringList{"5,63:" + a9, "5,76:" + b9, "-7,89:ccccccW..."};
        QTest::newRow("third line reaching 80 px on its last character is whole")
            << a9 + b9 + c8 << 13 << QStringList{"5,63:" + a9, "5,76:" + b9, "10,89:" + c8};
        QTest::newRow("blank at 90 px on the third line goes on to a fourth line")
            << a9 + b9 + c8 + "  d" << 13
            << QStringList{"5,63:" + a9, "5,76:" + b9, "5,89:" + c8 + " ", "40,102: d"};
        QTest::newRow("ideographic space counts as white space")
            << a9 + b9 + c8 + QChar(0x3000) + QChar(0x3000) + "d" << 13
            << QStringList{"5,63:" + a9, "5,76:" + b9, "5,89:" + c8 + QChar(0x3000),
                           "40,102:" + QString(QChar(0x3000)) + "d"};
        QTest::newRow("no-break space is cut like a letter")
            << a9 + b9 + c8 + QChar(0x00A0) + "d" << 13
            << QStringList{"5,63:" + a9, "5,76:" + b9, "-5,89:" + c8 + "..."};
        QTest::newRow("larger line advance cuts the second line")
            << a9 + b9 + "c" << 20 << QStringList{"5,70:" + a9, "-5,90:bbbbbbbb..."};
    }

    void titleLayout() {
        QFETCH(QString, title);
        QFETCH(int, lineAdvance);
        QFETCH(QStringList, lines);

        const auto width = [](const QString& text) {
            int sum = 0;
            for (const char32_t c : text.toUcs4())
                sum += c == U'i' ? 3 : c == U'W' ? 25 : 10;
            return sum;
        };
        QStringList laidOut;
        for (const TitleWrap::Line& line : TitleWrap::layout(title, width, lineAdvance))
            laidOut << QStringLiteral("%1,%2:%3").arg(line.x).arg(line.baseline).arg(line.text);
        QCOMPARE(laidOut, lines);
    }

    void whiteSpace_data() {
        QTest::addColumn<uint>("character");
        QTest::addColumn<bool>("white");

        // Tab to CR, U+001C to U+001F, blank, em space, line and paragraph separators,
        // ideographic space.
        for (const uint c :
             {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x1C, 0x1F, 0x20, 0x2003, 0x2028, 0x2029, 0x3000})
            QTest::addRow("U+%04X", c) << c << true;
        // Letter, U+001B, '!', next line, the three no-break spaces, zero width space.
        for (const uint c : {0x61, 0x1B, 0x21, 0x85, 0xA0, 0x2007, 0x202F, 0x200B})
            QTest::addRow("U+%04X", c) << c << false;
    }

    void whiteSpace() {
        QFETCH(uint, character);
        QFETCH(bool, white);
        QCOMPARE(TitleWrap::isWhiteSpace(character), white);
    }

    void tileFlow_data() {
        QTest::addColumn<int>("panelWidth");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<QPoint>>("positions");

        QTest::newRow("no tiles") << 385 << 0 << QList<QPoint>();
        QTest::newRow("negative count") << 385 << -1 << QList<QPoint>();
        QTest::newRow("one tile centred") << 385 << 1 << QList<QPoint>{{142, 5}};
        QTest::newRow("three in a row") << 385 << 3 << QList<QPoint>{{37, 5}, {142, 5}, {247, 5}};
        QTest::newRow("seven tiles end with one centred")
            << 385 << 7 << QList<QPoint>{{37, 5},    {142, 5},   {247, 5},  {37, 110},
                                         {142, 110}, {247, 110}, {142, 215}};
        QTest::newRow("gap not counted when testing for room")
            << 210 << 2 << QList<QPoint>{{3, 5}, {108, 5}};
        QTest::newRow("one pixel short of room for two")
            << 209 << 2 << QList<QPoint>{{54, 5}, {54, 110}};
        QTest::newRow("narrower than a tile truncates toward zero")
            << 101 << 2 << QList<QPoint>{{1, 5}, {1, 110}};
    }

    void tileFlow() {
        QFETCH(int, panelWidth);
        QFETCH(int, count);
        QFETCH(QList<QPoint>, positions);
        const std::vector<QPoint> placed = TileFlow::positions(panelWidth, count);
        QCOMPARE(QList<QPoint>(placed.begin(), placed.end()), positions);
    }

    void tileHits_data() {
        QTest::addColumn<int>("panelWidth");
        QTest::addColumn<int>("count");

        // Room for one, two and three tiles a row and either side of it; rows that end full,
        // short and with a single tile.
        for (const int width : {101, 209, 210, 314, 315, 385, 1000}) {
            for (const int count : {1, 2, 7, 12})
                QTest::addRow("%d px, %d tiles", width, count) << width << count;
        }
    }

    // A tile is hit on its whole square, edges included, and not a pixel beside it: the gaps,
    // the place after the last tile and the rows below belong to no tile.
    void tileHits() {
        QFETCH(int, panelWidth);
        QFETCH(int, count);

        const std::vector<QPoint> places = TileFlow::positions(panelWidth, count);
        const auto hit = [&](QPoint at) { return TileFlow::tileAt(panelWidth, count, at); };
        for (int tile = 0; tile < count; ++tile) {
            const QRect square(places[size_t(tile)], QSize(100, 100));
            for (const QPoint on : {square.topLeft(), square.topRight(), square.bottomLeft(),
                                    square.bottomRight(), square.center()})
                QCOMPARE(hit(on), tile);
            for (const QPoint beside :
                 {square.topLeft() - QPoint(1, 0), square.topLeft() - QPoint(0, 1),
                  square.bottomRight() + QPoint(1, 0), square.bottomRight() + QPoint(0, 1)})
                QCOMPARE(hit(beside), -1);
        }
        QCOMPARE(hit(places.back() + QPoint(105, 0)), -1);
        QCOMPARE(hit(places.back() + QPoint(0, 105)), -1);
    }

    void iconArea_data() {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<bool>("inside");

        QTest::newRow("top-left corner") << QPoint(25, 3) << true;
        QTest::newRow("bottom-right corner") << QPoint(75, 53) << true;
        QTest::newRow("top-right corner") << QPoint(75, 3) << true;
        QTest::newRow("middle") << QPoint(50, 28) << true;
        QTest::newRow("left of it") << QPoint(24, 3) << false;
        QTest::newRow("right of it") << QPoint(76, 53) << false;
        QTest::newRow("above it") << QPoint(25, 2) << false;
        QTest::newRow("below it") << QPoint(75, 54) << false;
    }

    void iconArea() {
        QFETCH(QPoint, position);
        QFETCH(bool, inside);
        QCOMPARE(TileFlow::isInIconArea(position), inside);
    }

    void localDate_data() {
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("text");

        QTest::newRow("epoch") << qint64(0) << "Thu Jan 01 09:00:00 JST 1970";
        QTest::newRow("within the first second") << qint64(999) << "Thu Jan 01 09:00:00 JST 1970";
        QTest::newRow("one ms before the epoch") << qint64(-1) << "Thu Jan 01 08:59:59 JST 1970";
        QTest::newRow("one second before") << qint64(-1000) << "Thu Jan 01 08:59:59 JST 1970";
        QTest::newRow("just over one second before")
            << qint64(-1001) << "Thu Jan 01 08:59:58 JST 1970";
        QTest::newRow("next local day")
            << qint64(15 * 3600 * 1000) << "Fri Jan 02 00:00:00 JST 1970";
        QTest::newRow("leap day") << qint64(951782400000) << "Tue Feb 29 09:00:00 JST 2000";
        QTest::newRow("recent") << qint64(1700000000000) << "Wed Nov 15 07:13:20 JST 2023";
    }

    void localDate() {
        QFETCH(qint64, time);
        QFETCH(QString, text);
        QCOMPARE(localDateText(time), text);
    }

    void browserSplit_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("call"); // program, then its arguments; empty: none

        const auto row = [](const char* name, const char* command, const char* target,
                            const QStringList& call) {
            QTest::newRow(name) << QString(command) << QString(target) << call;
        };
        const char* url = "http://a.example/";
        row("program alone", "firefox", url, {"firefox", url});
        row("program with an option", "firefox --new-window", url,
            {"firefox", "--new-window", url});
        row("extra blanks and a tab", "  firefox \t -a   ", url, {"firefox", "-a", url});
        row("quoted path with blanks", "\"/opt/my browser/run\" -p", url,
            {"/opt/my browser/run", "-p", url});
        row("target with blanks stays one argument", "b", "http://a/x y  z",
            {"b", "http://a/x y  z"});
        row("target with quotes unchanged", "b", "http://a/\"q\" 'r'", {"b", "http://a/\"q\" 'r'"});
        row("target with shell characters unchanged", "b", "http://a/;rm x;$(id)`id`|&>",
            {"b", "http://a/;rm x;$(id)`id`|&>"});
        row("empty target is still an argument", "b", "", {"b", ""});
        row("empty command starts nothing", "", url, {});
        row("blank command starts nothing", "  \t", url, {});
    }

    void browserSplit() {
        QFETCH(QString, command);
        QFETCH(QString, target);
        QFETCH(QStringList, call);

        const std::optional<ProgramCall> split = browserCall(command, target);
        QCOMPARE(split ? QStringList{split->program} + split->arguments : QStringList(), call);
    }

    void chosenProgramBecomesOneCommandWord_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("word");
        QTest::newRow("plain") << "/usr/bin/browser"
                               << "/usr/bin/browser";
        QTest::newRow("blank") << "/opt/My Browser/run"
                               << "\"/opt/My Browser/run\"";
        QTest::newRow("quote") << "/opt/a\"b"
                               << "\"/opt/a\"\"\"b\"";
    }

    void chosenProgramBecomesOneCommandWord() {
        QFETCH(QString, path);
        QFETCH(QString, word);
        QCOMPARE(commandWord(path), word);
        const std::optional<ProgramCall> call = browserCall(commandWord(path), "http://x/");
        QVERIFY(call);
        QCOMPARE(call->program, path);
        QCOMPARE(call->arguments, QStringList{"http://x/"});
    }

    void firstCommaRemoved_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("removed"); // null: nothing to remove
        QTest::addColumn<int>("position");

        QTest::newRow("no comma") << "abc" << QString() << -1;
        QTest::newRow("between two letters") << "a,c"
                                             << "ac" << 1;
        QTest::newRow("only the first of several") << "x,y,,z"
                                                   << "xy,,z" << 1;
        QTest::newRow("first character") << ",a"
                                         << "a" << 0;
        QTest::newRow("last character") << "a,"
                                        << "a" << 1;
        QTest::newRow("Japanese commas are no commas") << "a、b，c" << QString() << -1;
    }

    void firstCommaRemoved() {
        QFETCH(QString, text);
        QFETCH(QString, removed);
        QFETCH(int, position);

        const std::optional<CommaRemoved> result = removeFirstComma(text);
        QCOMPARE(result ? result->text : QString(), removed);
        QCOMPARE(result ? result->position : -1, position);
    }
};

QTEST_MAIN(TestPureFunctions)
#include "test_pure_functions.moc"
