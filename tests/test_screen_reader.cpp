// The program as a screen reader meets it: what a reader says for each window, read over
// AT-SPI on a private session bus while the keyboard and the pointer go through the main
// window, the dialogs and an alert. Each transcript is kept under the artifacts folder.
#include "RunningVelmora.h"
#include "ScratchDirectory.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <csignal>
#include <memory>
#include <type_traits>
#include <unistd.h>

namespace {

const QStringList titles{"天気予報", "News", "Timetable", "Blog", "Shop", "Forum", "Wiki"};

// What a reader says on reaching a page's tile.
QString tileLine(int page) {
    return titles[page] + ", list item, http://127.0.0.1:9/" + QString::number(page) +
           (page == 0 ? ", unchanged, Tue Nov 14 22:13:20 UTC 2023"
                      : ", unchanged, Thu Jan 01 00:00:00 UTC 1970");
}

// Asks again until the answer is the one expected, or one that will do, or the time is up;
// gives the last answer.
template <typename Read, typename Wanted> auto readUntil(Read read, const Wanted& wanted) {
    const auto done = [&](const auto& answer) {
        if constexpr (std::is_invocable_v<Wanted, decltype(answer)>)
            return wanted(answer);
        else
            return answer == wanted;
    };
    const QDeadlineTimer deadline(30000);
    auto answer = read();
    while (!done(answer) && !deadline.hasExpired()) {
        QTest::qWait(50);
        answer = read();
    }
    return answer;
}

void key(const QString& keys) {
    runTool("xdotool", {"key", "--delay", "50", keys});
}

// A private session bus. It never sees the X display, so the accessibility bus it starts on
// demand cannot announce itself on the root window, where the user's desktop may keep its own;
// and it has a runtime folder of its own, where that bus puts its socket.
class SessionBus {
public:
    SessionBus() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        daemon.setProcessEnvironment(environment);
        // What the bus starts on demand stays in its process group, and so goes with it.
        daemon.setChildProcessModifier([] { ::setpgid(0, 0); });
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (daemon.waitForReadyRead(10000))
            address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~SessionBus() {
        if (daemon.processId() > 0)
            ::kill(-static_cast<pid_t>(daemon.processId()), SIGTERM);
        daemon.waitForFinished();
    }

    // Says that a screen reader runs, as one does when it starts: programs started from then
    // on put their tree on the accessibility bus.
    bool startScreenReader() const {
        QDBusConnection bus = QDBusConnection::connectToBus(address, "screen reader");
        QDBusMessage set = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                                          "org.freedesktop.DBus.Properties", "Set");
        set << "org.a11y.Status"
            << "ScreenReaderEnabled" << QVariant::fromValue(QDBusVariant(true));
        return bus.call(set).type() == QDBusMessage::ReplyMessage;
    }

    QString address;

private:
    QTemporaryDir runtime;
    QProcess daemon;
};

} // namespace

class TestScreenReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void mainWindowReadsAsMenusAndAListOfPagesBesideItsScrollBar();
    void keysMoveTheReaderFromPageToPage();
    void dialogsReadByTheirLabelsInTheOrderOfTheEye_data();
    void dialogsReadByTheirLabelsInTheOrderOfTheEye();
    void alertReadsAsAnAlertWithItsMessage();

private:
    QString reader(const QStringList& arguments) const;
    // What the reader says for the window, a line a part; empty while it is not on screen.
    QStringList heard(const QString& window) const;
    // The line of the window's innermost focused part, without its indentation.
    QString focusIn(const QString& window) const;
    void clickOn(const QString& part) const;
    void keep(const QString& name, const QStringList& transcript) const;

    std::unique_ptr<SessionBus> bus;
    std::unique_ptr<ScratchDirectory> scratch;
    std::unique_ptr<RunningVelmora> velmora;
};

void TestScreenReader::initTestCase() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (scripts/test.sh starts one)");
    bus = std::make_unique<SessionBus>();
    QVERIFY2(!bus->address.isEmpty(), "dbus-daemon did not start");
    QVERIFY2(bus->startScreenReader(), "the accessibility bus did not start");

    scratch = std::make_unique<ScratchDirectory>();
    QByteArray group = QByteArray::number(titles.size()) + ",";
    for (int i = 0; i < titles.size(); ++i)
        group += titles[i].toUtf8() + ",http://127.0.0.1:9/" + QByteArray::number(i) + "," +
                 (i == 0 ? "1700000000000" : "0") + ",";
    ScratchDirectory::write("Group.dat", group);
    // Never checked while the test runs; opening a page raises the browser alert.
    ScratchDirectory::write("Setting.ini", "/nonexistent/browser,9999,");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus->address);
    environment.insert("TZ", "UTC");
    velmora = std::make_unique<RunningVelmora>(scratch->path(), environment);
}

void TestScreenReader::cleanupTestCase() {
    if (velmora)
        velmora->exitAndCheckStatus();
}

QString TestScreenReader::reader(const QStringList& arguments) const {
    QProcess reader;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus->address);
    reader.setProcessEnvironment(environment);
    reader.start("/usr/bin/python3", QStringList{ACCESSIBLE_TREE_READER} + arguments);
    return reader.waitForFinished(15000) ? QString::fromUtf8(reader.readAllStandardOutput())
                                         : QString();
}

QStringList TestScreenReader::heard(const QString& window) const {
    const QString pid = QString::number(velmora->process.processId());
    return reader({pid, window}).split(u'\n', Qt::SkipEmptyParts);
}

QString TestScreenReader::focusIn(const QString& window) const {
    QString focused;
    for (const QString& line : heard(window))
        if (line.endsWith(", focused"))
            focused = line.trimmed();
    return focused;
}

void TestScreenReader::clickOn(const QString& part) const {
    const QString pid = QString::number(velmora->process.processId());
    const QStringList at = readUntil(
                               [&] {
                                   return reader({"--where", part, pid}).trimmed();
                               },
                               [](const QString& place) { return !place.isEmpty(); })
                               .split(u' ');
    QCOMPARE(at.size(), 2);
    runTool("xdotool", {"mousemove", at[0], at[1], "click", "1"});
}

void TestScreenReader::keep(const QString& name, const QStringList& transcript) const {
    QDir().mkpath(QStringLiteral(VELMORA_ARTIFACTS));
    QFile file(QStringLiteral(VELMORA_ARTIFACTS "/screen-reader-") + name + ".txt");
    if (file.open(QIODevice::WriteOnly))
        file.write(transcript.join(u'\n').toUtf8() + "\n");
}

void TestScreenReader::mainWindowReadsAsMenusAndAListOfPagesBesideItsScrollBar() {
    QStringList expected = QString(R"(Velmora, frame
  filler
    filler
    panel, focused
      Pages, list)")
                               .split(u'\n');
    for (int page = 0; page < titles.size(); ++page)
        expected << "        " + tileLine(page);
    // Rows of 3, 3 and 1: 315 px of tiles in a 298 px view.
    expected += QString(R"(      Scroll pages, scroll bar, 0 of 0 to 17
  menu bar
    ﾌｧｲﾙ, menu item
      popup menu
        ページを追加, menu item
        ページの設定の変更, menu item
        設定の変更, menu item
        終了, menu item
    ﾍﾙﾌﾟ, menu item
      popup menu
        ﾍﾙﾌﾟ, menu item
        ﾎｰﾑﾍﾟｰｼﾞ, menu item)")
                    .split(u'\n');
    // The program joins the bus once its start window is gone.
    const QStringList main = readUntil([&] { return heard("Velmora"); }, expected);
    keep("main-window", main);
    QCOMPARE(main, expected);
}

void TestScreenReader::keysMoveTheReaderFromPageToPage() {
    velmora->typeKeys("Tab");
    const QList<std::pair<QString, int>> moves{{"", 0},    {"Down", 3},    {"Right", 4},
                                               {"End", 6}, {"Page_Up", 1}, {"Home", 0}};
    for (const auto& [pressed, page] : moves) {
        if (!pressed.isEmpty())
            key(pressed);
        const QString expected = tileLine(page) + ", focused";
        QCOMPARE(readUntil([&] { return focusIn("Velmora"); }, expected), expected);
    }
}

void TestScreenReader::dialogsReadByTheirLabelsInTheOrderOfTheEye_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<QString>("keys");
    // The focused part's name before the first key and after each.
    QTest::addColumn<QStringList>("focus");

    QTest::newRow("Add page") << "ページを追加"
                              << R"(Add page, dialog
  Title:, label
  Title:, text, labelled by Title:, focused
  URL:, label
  URL:, text, labelled by URL:
  OK, push button
  Cancel, push button)"
                              << "Tab Tab Tab Tab"
                              << QStringList{"Title:", "URL:", "OK", "Cancel", "Title:"};
    // Until a page is chosen its fields stay closed.
    QTest::newRow("Change page settings")
        << "ページの設定の変更"
        << R"(Change page settings, dialog
  Pages, list, focused
    天気予報, list item
    News, list item
    Timetable, list item
    Blog, list item
    Shop, list item
    Forum, list item
    Wiki, list item
  Delete, push button, unavailable
  OK, push button
  Cancel, push button
  Title, label
  Title, text, labelled by Title, unavailable
  URL, label
  URL, text, labelled by URL, unavailable)"
        << "Down Tab Tab Tab Tab Tab Tab"
        << QStringList{"Pages", "天気予報", "Title", "URL", "Delete", "OK", "Cancel", "天気予報"};
    QTest::newRow("Change setting")
        << "設定の変更"
        << R"(Change setting, dialog
  ブラウザー, label
  ブラウザー, text, labelled by ブラウザー, focused
  Select browser, push button
  更新時間, label
  更新時間, text, 秒, labelled by 更新時間
  秒, label
  OK, push button
  Cancel, push button)"
        << "Tab Tab Tab Tab"
        << QStringList{"ブラウザー", "Select browser", "更新時間", "OK", "Cancel"};
}

// Each dialog opened from the menu by pointer, where the reader says the items are.
void TestScreenReader::dialogsReadByTheirLabelsInTheOrderOfTheEye() {
    QFETCH(QString, item);
    QFETCH(QString, transcript);
    QFETCH(QString, keys);
    QFETCH(QStringList, focus);
    const QString dialog = QTest::currentDataTag();

    clickOn("ﾌｧｲﾙ");
    clickOn(item);
    const QStringList opened = readUntil([&] { return heard(dialog); }, transcript.split(u'\n'));
    keep(dialog.toLower().replace(u' ', u'-'), opened);
    QCOMPARE(opened, transcript.split(u'\n'));
    const QStringList pressed = QStringList{""} + keys.split(u' ');
    for (qsizetype i = 0; i < focus.size(); ++i) {
        if (!pressed[i].isEmpty())
            key(pressed[i]);
        const auto reached = [&](const QString& line) { return line.startsWith(focus[i] + ", "); };
        QVERIFY2(reached(readUntil([&] { return focusIn(dialog); }, reached)),
                 qPrintable(focus[i] + " never took the focus"));
    }
    key("Escape");
    QCOMPARE(readUntil([&] { return heard(dialog); }, QStringList()), QStringList());
}

void TestScreenReader::alertReadsAsAnAlertWithItsMessage() {
    // Enter opens the page of the tile the keyboard is on, with a browser that cannot start.
    velmora->typeKeys("Return");
    const QString message = "ブラウザーの設定が間違っています。";
    const QStringList expected{"Alert, alert, " + message, "  " + message + ", label",
                               "  OK, push button, focused"};
    const QStringList alert = readUntil([&] { return heard("Alert"); }, expected);
    keep("alert", alert);
    QCOMPARE(alert, expected);
    key("Return");
    QCOMPARE(readUntil([&] { return heard("Alert"); }, QStringList()), QStringList());
}

QTEST_MAIN(TestScreenReader)
#include "test_screen_reader.moc"
