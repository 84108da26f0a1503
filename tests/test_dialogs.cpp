#include "ModalDriver.h"
#include "ScratchDirectory.h"
#include "SmallFileSystem.h"
#include "app/Velmora.h"
#include "dialogs/AlertDialog.h"
#include "ui/PagePanel.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <map>
#include <mutex>

namespace {

const QString titleCommaAlert = QStringLiteral("カンマ「,」は使用しないでください。 ");
const QString urlCommaAlert = QStringLiteral("カンマ「,」は使用しないでください。");
const QString notANumberAlert = QStringLiteral("更新時間が間違っています。");
const QString notPositiveAlert = QStringLiteral("更新時間が間違っています");
const QString groupNotSaved = QStringLiteral("Group.dat を保存できませんでした。");
const QString settingNotSaved = QStringLiteral("Setting.ini を保存できませんでした。");

// Stands in for the network: a URL the test gave a time answers with it; any other URL is
// "not found", which leaves a page's recorded time alone.
struct ServerTimes {
    std::mutex mutex;
    std::map<QString, qint64> times;
};

class ServerChecker final : public PageChecker {
public:
    explicit ServerChecker(ServerTimes& server) : server(server) {}
    qint64 checkEach(const QString& url) override {
        const std::lock_guard lock(server.mutex);
        const auto found = server.times.find(url);
        return found == server.times.end() ? -1 : found->second;
    }
    void abort() override {}

private:
    ServerTimes& server;
};

struct Harness {
    ServerTimes server;
    int quitCalls = 0;

    void setServerTime(const QString& url, qint64 time) {
        const std::lock_guard lock(server.mutex);
        server.times[url] = time;
    }

    VelmoraServices services() {
        VelmoraServices services;
        services.makeChecker = [this] { return std::make_unique<ServerChecker>(server); };
        services.tickWait = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
        services.quit = [this] { ++quitCalls; };
        services.startWindowTime = std::chrono::milliseconds(0);
        return services;
    }
};

template <typename Widget> Widget* child(const QWidget& window, const char* name) {
    auto* found = window.findChild<Widget*>(QString::fromLatin1(name));
    if (!found)
        qFatal("%s has no %s", qPrintable(window.objectName()), name);
    return found;
}

void click(const QWidget& window, const char* button) {
    child<QPushButton>(window, button)->click();
}

// Replaces a field's text the way a user would: select it all and type over it. QTest types
// Latin-1 only; anything else goes in as one input.
void retype(const QWidget& window, const char* field, const QString& text) {
    auto* edit = child<QLineEdit>(window, field);
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else if (QString::fromLatin1(text.toLatin1()) == text)
        QTest::keyClicks(edit, text);
    else
        edit->insert(text);
}

QString text(const QWidget& window, const char* field) {
    return child<QLineEdit>(window, field)->text();
}

void selectRow(const QWidget& window, int row) {
    auto* list = child<QListWidget>(window, "PageList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

// What the change dialog shows, in one line that reads well in a failure message.
QString describe(const QWidget& dialog) {
    const auto* list = child<QListWidget>(dialog, "PageList");
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return QStringLiteral("rows %1; selected %2; title '%3'; URL '%4'; Delete %5")
        .arg(rows.join(u'|'), selected.isEmpty() ? QStringLiteral("none") : selected[0]->text(),
             text(dialog, "TitleTextField"), text(dialog, "URLTextField"),
             child<QPushButton>(dialog, "DeleteButton")->isEnabled() ? QStringLiteral("on")
                                                                     : QStringLiteral("off"));
}

// Carries out a user's moves in an open dialog: "title TEXT" (or url, browser, time) types
// over that field, "select N" clicks row N of the page list, "ok", "cancel" and "delete" press
// those buttons, "close" is the close box and "escape" the Escape key. "open?" and "rows?"
// note whether the dialog is still open and what its page list shows.
QStringList play(QWidget& dialog, const QStringList& moves) {
    static const QHash<QString, const char*> fields{{"title", "TitleTextField"},
                                                    {"url", "URLTextField"},
                                                    {"browser", "BrowserTextField"},
                                                    {"time", "TimeTextField"}};
    static const QHash<QString, const char*> buttons{
        {"ok", "OKButton"}, {"cancel", "CancelButton"}, {"delete", "DeleteButton"}};
    QStringList notes;
    for (const QString& move : moves) {
        const QString verb = move.section(u' ', 0, 0);
        const QString argument = move.section(u' ', 1);
        if (fields.contains(verb))
            retype(dialog, fields[verb], argument);
        else if (buttons.contains(verb))
            click(dialog, buttons[verb]);
        else if (verb == "select")
            selectRow(dialog, argument.toInt());
        else if (verb == "close")
            dialog.close();
        else if (verb == "escape")
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (verb == "open?")
            notes << (dialog.isVisible() ? "open" : "closed");
        else if (verb == "rows?")
            notes << describe(dialog).section(u';', 0, 0);
        else
            qFatal("unknown move %s", qPrintable(move));
    }
    return notes;
}

// Opens a dialog through its menu command, as the user does.
void open(Velmora& window, const QString& dialog) {
    const QString item = dialog == "addPageDialog"      ? QStringLiteral("AddPageMenuItem")
                         : dialog == "changePageDialog" ? QStringLiteral("ChangePageMenuItem")
                                                        : QStringLiteral("ChangeSettingMenuItem");
    window.findChild<QAction*>(item)->trigger();
}

QStringList titlesOf(const PageList& pages) {
    QStringList titles;
    if (pages) {
        for (const auto& each : *pages)
            titles << each->getPageTitleString();
    }
    return titles;
}

// The titles the main panel shows, tile by tile, and whether each tile shows a page of the
// controller's current list in list order.
QStringList tileTitles(const Velmora& window) {
    QStringList titles;
    const PageList pages = window.pageList();
    const auto* panel = window.findChild<PagePanel*>("MainPanel");
    for (qsizetype i = 0; i < panel->count(); ++i) {
        const bool current =
            pages && size_t(i) < pages->size() && (*pages)[size_t(i)] == panel->pageAt(i);
        titles << (current ? panel->pageAt(i)->getPageTitleString()
                           : QStringLiteral("<stale tile>"));
    }
    return titles;
}

void prepare(const char* name, const QByteArray& bytes) {
    if (!bytes.isNull())
        ScratchDirectory::write(QString::fromLatin1(name), bytes);
}

// The titles a page list file holds, in order.
QStringList titlesIn(QByteArray file) {
    const QList<QByteArray> fields = file.replace('\r', "").replace('\n', "").split(',');
    QStringList titles;
    for (qsizetype i = 1; i + 2 < fields.size(); i += 3)
        titles << QString::fromUtf8(fields[i]);
    return titles;
}

// Four pages split over lines: any rewrite of the file shows as the single-line form.
const QByteArray fourPages =
    "4,A,http://a/,10,\r\nB,http://b/,20,\r\nC,http://c/,30,\r\nD,http://d/,40,\r\n";
const QByteArray fourPagesSaved = "4,A,http://a/,10,B,http://b/,20,C,http://c/,30,D,http://d/,40,";

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void menuDialogsOpenCentred_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("fixedSize");
        QTest::addColumn<QString>("title");

        QTest::newRow("add") << "addPageDialog" << QSize(300, 160) << false << "Add page";
        QTest::newRow("change") << "changePageDialog" << QSize(400, 250) << true
                                << "Change page settings";
        QTest::newRow("settings") << "changeSettingDialog" << QSize(400, 160) << true
                                  << "Change setting";
    }

    void menuDialogsOpenCentred() {
        QFETCH(QString, dialog);
        QFETCH(QSize, size);
        QFETCH(bool, fixedSize);
        QFETCH(QString, title);

        ScratchDirectory scratch;
        prepare("Group.dat", "1,A,http://a/,10,");
        Harness harness;
        Velmora window(harness.services());

        QRect geometry;
        bool resizable = true;
        QString shownTitle;
        ModalDriver driver;
        driver.on(dialog, [&](QWidget& shown) {
            geometry = QRect(shown.pos(), shown.size());
            resizable = shown.minimumSize() != shown.maximumSize();
            shownTitle = shown.windowTitle();
            click(shown, "CancelButton");
        });
        open(window, dialog);
        QVERIFY(driver.ranToTheEnd());

        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        const QPoint centred(screen.width() / 2 - size.width() / 2,
                             screen.height() / 2 - size.height() / 2);
        QCOMPARE(geometry, QRect(centred, size));
        QCOMPARE(resizable, !fixedSize);
        QCOMPARE(shownTitle, title);
    }

    void addPage_data() {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QString>("next");

        // "saved" null: the file is left as it was; "next": title and URL of the next showing.
        const auto row = [](const char* name, const QByteArray& group, const QStringList& moves,
                            const QByteArray& saved, const char* next) {
            QTest::newRow(name) << group << moves << saved << QString(next);
        };
        row("Cancel, no page list yet", {}, {"title T", "url http://t/", "cancel"}, {}, "|http://");
        row("Cancel", fourPages, {"title T", "url http://t/", "cancel"}, {}, "|http://");
        row("close box", fourPages, {"title T", "url http://t/", "close"}, {}, "|http://");
        row("Escape", {}, {"title T", "url http://t/", "escape"}, {}, "|http://");
        // OK keeps the typed texts; only the URL still being "http://" stops the addition.
        row("OK with the URL left at http://", fourPages, {"title T", "ok"}, {}, "T|http://");
        row("OK with an empty URL keeps the dialog open", fourPages,
            {"title T", "url ", "ok", "open?", "cancel"}, {}, "|http://");
        row("first page ever", {}, {"title First", "url http://first/", "ok"},
            "1,First,http://first/,0,", "First|http://first/");
        row("appended after the others", "2,A,http://a/,10,\nB,http://b/,20,\n",
            {"title C", "url http://c/", "ok"}, "3,A,http://a/,10,B,http://b/,20,C,http://c/,0,",
            "C|http://c/");
        row("URL with a trailing blank is taken as typed", {}, {"title T", "url http:// ", "ok"},
            "1,T,http:// ,0,", "T|http:// ");
        row("empty title", "1,A,http://a/,10,", {"title ", "url http://x/", "ok"},
            "2,A,http://a/,10,,http://x/,0,", "|http://x/");
    }

    void addPage() {
        QFETCH(QByteArray, group);
        QFETCH(QStringList, moves);
        QFETCH(QByteArray, saved);
        QFETCH(QString, next);
        const QStringList titles = titlesIn(saved.isNull() ? group : saved);

        ScratchDirectory scratch;
        prepare("Group.dat", group);
        Harness harness;
        Velmora window(harness.services());
        const PageList before = window.pageList();

        QStringList notes;
        QString shownNext;
        ModalDriver driver;
        driver.on("addPageDialog", [&](QWidget& dialog) { notes = play(dialog, moves); });
        // The next showing; OK at once adds the same page again, there is no duplicate check.
        driver.on("addPageDialog", [&](QWidget& dialog) {
            shownNext = text(dialog, "TitleTextField") + '|' + text(dialog, "URLTextField");
            click(dialog, saved.isNull() ? "CancelButton" : "OKButton");
        });
        open(window, "addPageDialog");
        QCOMPARE(titlesOf(window.pageList()), titles);
        if (saved.isNull()) {
            QCOMPARE(window.pageList(), before);
            QCOMPARE(ScratchDirectory::read("Group.dat"), group);
            QCOMPARE(QFile::exists("Group.dat"), !group.isNull());
        } else {
            QCOMPARE(ScratchDirectory::read("Group.dat"), saved);
            QCOMPARE(tileTitles(window), titles);
        }
        QCOMPARE(notes, moves.contains("open?") ? QStringList{"open"} : QStringList{});

        open(window, "addPageDialog");
        QVERIFY(driver.ranToTheEnd());
        QVERIFY(driver.alerts().isEmpty());
        QCOMPARE(shownNext, next);
        if (!saved.isNull()) {
            const QByteArray again =
                next.section(u'|', 0, 0).toUtf8() + ',' + next.section(u'|', 1).toUtf8() + ",0,";
            QCOMPARE(ScratchDirectory::read("Group.dat"),
                     QByteArray::number(titles.size() + 1) + saved.mid(saved.indexOf(',')) + again);
            QCOMPARE(tileTitles(window), titles + titles.mid(titles.size() - 1));
        }
    }

    void commasAreRefusedAtOnce_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("alerts");

        // The input goes in between "a" and "c", typed key by key or pasted in one piece; what
        // follows a comma lands where the comma stood.
        const auto row = [](const char* name, const char* dialog, const char* field,
                            const char* input, const char* result, const QStringList& alerts) {
            QTest::newRow(name) << QString(dialog) << QString(field) << QString::fromUtf8(input)
                                << QString(result) << alerts;
        };
        const QString title = titleCommaAlert;
        const QString url = urlCommaAlert;
        row("add, title typed", "addPageDialog", "TitleTextField", "type ,b", "abc", {title});
        row("add, URL typed", "addPageDialog", "URLTextField", "type ,b", "abc", {url});
        row("add, title pasted with three commas", "addPageDialog", "TitleTextField",
            "paste x,y,,z", "axyzc", {title, title, title});
        row("add, URL pasted with two commas", "addPageDialog", "URLTextField", "paste ,x,", "axc",
            {url, url});
        row("change, title typed", "changePageDialog", "TitleTextField", "type ,b", "abc", {title});
        row("change, URL pasted with two commas", "changePageDialog", "URLTextField", "paste x,,y",
            "axyc", {url, url});
        row("settings, browser typed", "changeSettingDialog", "BrowserTextField", "type ,b", "abc",
            {url});
        row("settings, browser pasted", "changeSettingDialog", "BrowserTextField", "paste b,",
            "abc", {url});
    }

    void commasAreRefusedAtOnce() {
        QFETCH(QString, dialog);
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, result);
        QFETCH(QStringList, alerts);

        ScratchDirectory scratch;
        prepare("Group.dat", "1,A,http://a/,10,");
        Harness harness;
        Velmora window(harness.services());

        QString shown;
        ModalDriver driver;
        driver.on(dialog, [&](QWidget& opened) {
            // The change dialog's fields take typing once a page is selected.
            if (dialog == "changePageDialog")
                selectRow(opened, 0);
            auto* edit = child<QLineEdit>(opened, field.toLatin1());
            edit->setFocus();
            edit->setText("ac");
            edit->setCursorPosition(1);
            const QString keys = input.section(u' ', 1);
            if (input.startsWith("type")) {
                QTest::keyClicks(edit, keys);
            } else {
                QGuiApplication::clipboard()->setText(keys);
                edit->paste();
            }
            shown = edit->text();
            click(opened, "CancelButton");
        });
        open(window, dialog);
        QVERIFY(driver.ranToTheEnd());

        QCOMPARE(shown, result);
        QCOMPARE(driver.alerts(), alerts);
        for (const ModalDriver::Sighting& each : driver.sightings()) {
            if (each.alert)
                QCOMPARE(each.position, QPoint(200, 200));
        }
        QCOMPARE(ScratchDirectory::read("Group.dat"), QByteArray("1,A,http://a/,10,"));
        QVERIFY(!QFile::exists("Setting.ini"));
    }

    void changeDialogCancelUndoesWrittenBackEdits() {
        ScratchDirectory scratch;
        prepare("Group.dat", fourPages);
        Harness harness;
        Velmora window(harness.services());
        const PageList before = window.pageList();

        QString opened, editing, reopened;
        const auto editAThenSelectB = [](QWidget& dialog) {
            selectRow(dialog, 0);
            retype(dialog, "TitleTextField", "A2");
            retype(dialog, "URLTextField", "http://a2/");
            selectRow(dialog, 1);
        };
        ModalDriver driver;
        driver.on("changePageDialog", [&](QWidget& dialog) {
            opened = describe(dialog);
            editAThenSelectB(dialog);
            editing = describe(dialog);
            click(dialog, "CancelButton");
        });
        driver.on("changePageDialog", [&](QWidget& dialog) {
            reopened = describe(dialog);
            editAThenSelectB(dialog);
            click(dialog, "OKButton");
        });

        open(window, "changePageDialog");
        QCOMPARE(opened, "rows A|B|C|D; selected none; title ''; URL 'http://'; Delete off");
        // A's new title shows in the list as soon as another row is selected.
        QCOMPARE(editing, "rows A2|B|C|D; selected B; title 'B'; URL 'http://b/'; Delete on");
        // Cancel keeps the controller's pages as they were, texts written back included.
        QCOMPARE(window.pageList(), before);
        QCOMPARE(titlesOf(before), (QStringList{"A", "B", "C", "D"}));
        QCOMPARE(before->front()->getPageURLString(), QStringLiteral("http://a/"));
        QCOMPARE(ScratchDirectory::read("Group.dat"), fourPages);

        open(window, "changePageDialog");
        QVERIFY(driver.ranToTheEnd());
        QCOMPARE(reopened, "rows A|B|C|D; selected none; title ''; URL 'http://'; Delete on");
        QCOMPARE(ScratchDirectory::read("Group.dat"),
                 QByteArray("4,A2,http://a2/,10,B,http://b/,20,C,http://c/,30,D,http://d/,40,"));
        QCOMPARE(tileTitles(window), (QStringList{"A2", "B", "C", "D"}));
    }

    void changeDialogEdits_data() {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QByteArray>("saved");

        // "rows": what the page list shows at "rows?"; "saved" null: the file is left as it was.
        const auto row = [](const char* name, const QByteArray& group, const QStringList& moves,
                            const char* rows, const QByteArray& saved) {
            QTest::newRow(name) << group << moves << QString(rows) << saved;
        };
        row("OK without a change rewrites the file", fourPages, {"rows?", "ok"}, "A|B|C|D",
            fourPagesSaved);
        row("edit the selected page, OK", fourPages,
            {"select 2", "title C2", "url http://c2/", "rows?", "ok"}, "A|B|C|D",
            "4,A,http://a/,10,B,http://b/,20,C2,http://c2/,30,D,http://d/,40,");
        row("edit two pages, OK", fourPages,
            {"select 0", "title A2", "select 3", "url http://d2/", "rows?", "ok"}, "A2|B|C|D",
            "4,A2,http://a/,10,B,http://b/,20,C,http://c/,30,D,http://d2/,40,");
        row("edit, select another, close box", fourPages,
            {"select 0", "title A2", "select 1", "rows?", "close"}, "A2|B|C|D", {});
        row("edit, select another, Escape", fourPages,
            {"select 0", "title A2", "select 1", "rows?", "escape"}, "A2|B|C|D", {});
        row("delete page 2 of 4, OK", fourPages, {"select 1", "delete", "rows?", "ok"}, "A|C|D",
            "3,A,http://a/,10,C,http://c/,30,D,http://d/,40,");
        row("delete, then Cancel", fourPages, {"select 1", "delete", "rows?", "cancel"}, "A|C|D",
            {});
        row("edit one page, delete another, OK", fourPages,
            {"select 3", "title D2", "select 0", "delete", "rows?", "ok"}, "B|C|D2",
            "3,B,http://b/,20,C,http://c/,30,D2,http://d/,40,");
        // After a deletion nothing is selected: a second Delete does nothing, and texts typed
        // then belong to no page, not even once another row is selected.
        row("Delete again and typing after a deletion change nothing", fourPages,
            {"select 0", "delete", "delete", "title X", "url http://x/", "select 1", "rows?", "ok"},
            "B|C|D", "3,B,http://b/,20,C,http://c/,30,D,http://d/,40,");
        row("delete the only page, OK", "1,A,http://a/,10,\n",
            {"select 0", "delete", "rows?", "ok"}, "", "0,");
    }

    void changeDialogEdits() {
        QFETCH(QByteArray, group);
        QFETCH(QStringList, moves);
        QFETCH(QString, rows);
        QFETCH(QByteArray, saved);

        ScratchDirectory scratch;
        prepare("Group.dat", group);
        Harness harness;
        Velmora window(harness.services());
        const PageList before = window.pageList();

        QStringList notes;
        ModalDriver driver;
        driver.on("changePageDialog", [&](QWidget& dialog) { notes = play(dialog, moves); });
        open(window, "changePageDialog");
        QVERIFY(driver.ranToTheEnd());
        QVERIFY(driver.alerts().isEmpty());

        QCOMPARE(notes, QStringList{"rows " + rows});
        if (saved.isNull()) {
            QCOMPARE(window.pageList(), before);
            QCOMPARE(titlesOf(before), titlesIn(group));
            QCOMPARE(ScratchDirectory::read("Group.dat"), group);
            return;
        }
        QCOMPARE(ScratchDirectory::read("Group.dat"), saved);
        // The list was read back from the file: new pages, one tile each, in file order. An
        // emptied list is still a list.
        QVERIFY(window.pageList());
        QCOMPARE(titlesOf(window.pageList()), titlesIn(saved));
        for (const auto& each : *window.pageList())
            QVERIFY(std::find(before->begin(), before->end(), each) == before->end());
        QCOMPARE(tileTitles(window), titlesIn(saved));
    }

    void changeDialogNeedsAPageList_data() {
        QTest::addColumn<QByteArray>("group");

        QTest::newRow("no page list file") << QByteArray();
        QTest::newRow("a file holding no page") << QByteArray("0,");
    }

    void changeDialogNeedsAPageList() {
        QFETCH(QByteArray, group);

        ScratchDirectory scratch;
        prepare("Group.dat", group);
        Harness harness;
        Velmora window(harness.services());

        bool shown = false;
        ModalDriver driver;
        driver.on("changePageDialog", [&](QWidget& dialog) {
            shown = true;
            click(dialog, "OKButton");
        });
        open(window, "changePageDialog");
        QVERIFY(!shown);
        QVERIFY(!window.findChild<QDialog*>("changePageDialog")->isVisible());
        QVERIFY(!window.pageList());
        QCOMPARE(ScratchDirectory::read("Group.dat"), group);
    }

    void editKeepsTheTimeACheckRecordedMeanwhile() {
        ScratchDirectory scratch;
        prepare("Setting.ini", ",1,");
        prepare("Group.dat", "2,A,http://a/,10,B,http://b/,20,");
        Harness harness;
        harness.setServerTime("http://a/", 10);
        harness.setServerTime("http://b/", 20);
        Velmora window(harness.services());
        const std::shared_ptr<Page> pageB = window.pageList()->back();

        ModalDriver driver;
        driver.on("changePageDialog", [&](QWidget& dialog) {
            harness.setServerTime("http://b/", 5000);
            QTRY_COMPARE(pageB->getLastModifiedDateLong(), qint64(5000));
            selectRow(dialog, 1);
            retype(dialog, "TitleTextField", "B2");
            selectRow(dialog, 0);
            click(dialog, "OKButton");
        });
        open(window, "changePageDialog");
        QVERIFY(driver.ranToTheEnd());

        QCOMPARE(ScratchDirectory::read("Group.dat"),
                 QByteArray("2,A,http://a/,10,B2,http://b/,5000,"));
    }

    void changeSetting_data() {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QStringList>("alerts");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QString>("shown");

        // "saved" null: the file is left as it was; "shown": browser and time as the dialog opens.
        const auto row = [](const char* name, const QByteArray& setting, const QStringList& moves,
                            const QStringList& alerts, const QByteArray& saved, const char* shown) {
            QTest::newRow(name) << setting << moves << alerts << saved << QString(shown);
        };
        row("update time 10", "/usr/bin/b --new,2,", {"time 10", "ok"}, {}, "/usr/bin/b --new,10,",
            "/usr/bin/b --new|2");
        row("no file, OK at once", {}, {"ok"}, {}, ",2,", "|2");
        row("OK without a change rewrites the file", "b,3,\r\n", {"ok"}, {}, "b,3,", "b|3");
        row("empty browser", "b,3,", {"browser ", "time 5", "ok"}, {}, ",5,", "b|3");
        row("largest time", ",3,", {"browser /x", "time 2147483647", "ok"}, {}, "/x,2147483647,",
            "|3");
        row("refused, then a good time", "b,3,", {"time 0", "ok", "time 7", "ok"},
            {notPositiveAlert}, "b,7,", "b|3");
        row("edited, then Cancel", "b,3,", {"browser /else", "time 9", "cancel"}, {}, {}, "b|3");
        row("empty time: OK does nothing", "b,3,", {"time ", "ok", "open?", "cancel"}, {}, {},
            "b|3");

        // Each refused time keeps the dialog open; Cancel or the close box then change nothing.
        const auto refused = [&row](const char* name, const QByteArray& setting, const char* time,
                                    const QString& alert, const char* ending) {
            row(name, setting,
                {"browser /new", QStringLiteral("time ") + QString::fromUtf8(time), "ok", "open?",
                 ending},
                {alert}, {}, setting.isNull() ? "|2" : "b|3");
        };
        refused("0", "b,3,", "0", notPositiveAlert, "cancel");
        refused("-3, no file", {}, "-3", notPositiveAlert, "cancel");
        refused("-0, close box", "b,3,", "-0", notPositiveAlert, "close");
        refused("smallest int", "b,3,", "-2147483648", notPositiveAlert, "cancel");
        refused("letters, no file", {}, "abc", notANumberAlert, "cancel");
        refused("leading blank", "b,3,", " 5", notANumberAlert, "cancel");
        refused("trailing blank, close box", "b,3,", "5 ", notANumberAlert, "close");
        refused("plus sign", "b,3,", "+5", notANumberAlert, "cancel");
        refused("decimal point", "b,3,", "5.0", notANumberAlert, "cancel");
        refused("beyond 32 bits", "b,3,", "2147483648", notANumberAlert, "cancel");
        refused("below 32 bits", "b,3,", "-2147483649", notANumberAlert, "cancel");
        refused("minus alone", "b,3,", "-", notANumberAlert, "cancel");
        refused("full-width digit", "b,3,", "５", notANumberAlert, "cancel");
        refused("Arabic-Indic digit, close box", "b,3,", "٥", notANumberAlert, "close");
    }

    void changeSetting() {
        QFETCH(QByteArray, setting);
        QFETCH(QStringList, moves);
        QFETCH(QStringList, alerts);
        QFETCH(QByteArray, saved);
        QFETCH(QString, shown);

        ScratchDirectory scratch;
        prepare("Setting.ini", setting);
        Harness harness;
        Velmora window(harness.services());
        const qint32 seconds = window.updateSeconds();
        const QString browser = window.browserCommand();

        const auto current = [](const QWidget& dialog) {
            return text(dialog, "BrowserTextField") + '|' + text(dialog, "TimeTextField");
        };
        QString shownFirst, shownAgain;
        QStringList notes;
        ModalDriver driver;
        driver.on("changeSettingDialog", [&](QWidget& dialog) {
            shownFirst = current(dialog);
            notes = play(dialog, moves);
        });
        // The next showing starts from the controller's values, whatever the fields held.
        driver.on("changeSettingDialog", [&](QWidget& dialog) {
            shownAgain = current(dialog);
            click(dialog, "CancelButton");
        });
        open(window, "changeSettingDialog");
        QCOMPARE(shownFirst, shown);
        QCOMPARE(driver.alerts(), alerts);
        QCOMPARE(notes, QStringList(moves.count("open?"), QStringLiteral("open")));
        if (saved.isNull()) {
            QCOMPARE(ScratchDirectory::read("Setting.ini"), setting);
            QCOMPARE(QFile::exists("Setting.ini"), !setting.isNull());
            QCOMPARE(window.updateSeconds(), seconds);
            QCOMPARE(window.browserCommand(), browser);
        } else {
            QCOMPARE(ScratchDirectory::read("Setting.ini"), saved);
            QCOMPARE(window.updateSeconds(), saved.split(',').at(1).toInt());
            QCOMPARE(window.browserCommand(), QString::fromUtf8(saved.split(',').at(0)));
        }

        open(window, "changeSettingDialog");
        QVERIFY(driver.ranToTheEnd());
        QCOMPARE(shownAgain,
                 window.browserCommand() + '|' + QString::number(window.updateSeconds()));
    }

    void browserButtonPicksAFile_data() {
        QTest::addColumn<bool>("choose");

        QTest::newRow("a file chosen") << true;
        QTest::newRow("file dialog cancelled") << false;
    }

    void browserButtonPicksAFile() {
        QFETCH(bool, choose);

        ScratchDirectory scratch;
        prepare("Setting.ini", "/usr/bin/old,3,");
        prepare("my browser", "#!/bin/sh\n");
        const QString chosenPath = QFileInfo(QDir(scratch.path()), "my browser").absoluteFilePath();
        Harness harness;
        Velmora window(harness.services());

        QString fieldAfter;
        ModalDriver driver;
        driver.on("changeSettingDialog", [](QWidget& dialog) { click(dialog, "BrowserButton"); });
        driver.on("OpenBrowserDialog", [&](QWidget& files) {
            // The name typed into the dialog's own field, as a user would.
            if (choose) {
                child<QLineEdit>(files, "fileNameEdit")->setText(chosenPath);
                static_cast<QDialog&>(files).accept();
            } else {
                static_cast<QDialog&>(files).reject();
            }
        });
        driver.on("changeSettingDialog", [&](QWidget& dialog) {
            fieldAfter = text(dialog, "BrowserTextField");
            click(dialog, "OKButton");
        });
        open(window, "changeSettingDialog");
        QVERIFY(driver.ranToTheEnd());

        // Quoted, so the blank does not split the command.
        const QString expected = choose ? '"' + chosenPath + '"' : QStringLiteral("/usr/bin/old");
        QCOMPARE(fieldAfter, expected);
        QCOMPARE(window.browserCommand(), expected);
        QCOMPARE(ScratchDirectory::read("Setting.ini"), expected.toUtf8() + ",3,");
    }

    void everyShowingStartsInTheFirstField_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QStringList>("moves"); // the first showing, up to its last button
        QTest::addColumn<QString>("button");    // ends the first showing, clicked with the mouse
        QTest::addColumn<QString>("field");

        const QStringList addAPage{"title T", "url http://t/"};
        QTest::newRow("add, after OK") << "addPageDialog" << addAPage << "OKButton"
                                       << "TitleTextField";
        QTest::newRow("add, after Cancel") << "addPageDialog" << addAPage << "CancelButton"
                                           << "TitleTextField";
        QTest::newRow("change, after OK")
            << "changePageDialog" << QStringList{"select 1"} << "OKButton"
            << "PageList";
        QTest::newRow("change, after Cancel")
            << "changePageDialog" << QStringList{"select 1"} << "CancelButton"
            << "PageList";
        QTest::newRow("settings, after OK")
            << "changeSettingDialog" << QStringList{"time 4"} << "OKButton"
            << "BrowserTextField";
        QTest::newRow("settings, after Cancel")
            << "changeSettingDialog" << QStringList{"time 4"} << "CancelButton"
            << "BrowserTextField";
    }

    // A button clicked to end one showing must not keep the keyboard into the next, where a
    // Space would press it again.
    void everyShowingStartsInTheFirstField() {
        QFETCH(QString, dialog);
        QFETCH(QStringList, moves);
        QFETCH(QString, button);
        QFETCH(QString, field);

        ScratchDirectory scratch;
        prepare("Group.dat", fourPages);
        prepare("Setting.ini", "b,3,");
        Harness harness;
        Velmora window(harness.services());

        QString focused, afterKeys;
        ModalDriver driver;
        driver.on(dialog, [&](QWidget& shown) {
            play(shown, moves);
            QTest::mouseClick(child<QPushButton>(shown, button.toLatin1()), Qt::LeftButton);
        });
        driver.on(dialog, [&](QWidget& shown) {
            QWidget* keyboard = shown.focusWidget();
            focused = keyboard ? keyboard->objectName() : QString();
            QTest::keyClick(keyboard, Qt::Key_Space);
            afterKeys = shown.isVisible() ? QStringLiteral("open") : QStringLiteral("closed");
            if (dialog == "changePageDialog") {
                // No row is marked, so Down goes to the first.
                QTest::keyClick(keyboard, Qt::Key_Down);
                afterKeys += "; " + describe(shown);
            }
            if (shown.isVisible())
                click(shown, "CancelButton");
        });
        open(window, dialog);
        const QByteArray group = ScratchDirectory::read("Group.dat");
        const QByteArray setting = ScratchDirectory::read("Setting.ini");
        open(window, dialog);
        QVERIFY(driver.ranToTheEnd());

        QCOMPARE(focused, field);
        QCOMPARE(afterKeys,
                 dialog == "changePageDialog"
                     ? "open; rows A|B|C|D; selected A; title 'A'; URL 'http://a/'; Delete on"
                     : "open");
        QCOMPARE(ScratchDirectory::read("Group.dat"), group);
        QCOMPARE(ScratchDirectory::read("Setting.ini"), setting);
    }

    void buttonFacesAreTheDialogGrey_data() {
        QTest::addColumn<QString>("dialog");

        QTest::newRow("add") << "addPageDialog";
        QTest::newRow("change") << "changePageDialog";
        QTest::newRow("settings") << "changeSettingDialog";
        QTest::newRow("alert") << "alert";
    }

    void buttonFacesAreTheDialogGrey() {
        QFETCH(QString, dialog);

        ScratchDirectory scratch;
        Harness harness;
        Velmora window(harness.services());
        AlertDialog alert(&window);
        const QWidget* shown = dialog == "alert" ? &alert : window.findChild<QDialog*>(dialog);
        const QList<QPushButton*> buttons = shown->findChildren<QPushButton*>();
        QVERIFY(!buttons.isEmpty());
        for (QPushButton* each : buttons) {
            const QImage face = each->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const int w = face.width(), h = face.height();
            // Inside the bevel, clear of the label: the left and right ends, top and bottom.
            for (const QPoint inside :
                 {QPoint(4, h / 2), QPoint(w - 5, h / 2), QPoint(4, 4), QPoint(w - 5, h - 5)})
                QVERIFY2(face.pixelColor(inside) == QColor(192, 192, 192),
                         qPrintable(QStringLiteral("%1 at (%2, %3): %4")
                                        .arg(each->objectName())
                                        .arg(inside.x())
                                        .arg(inside.y())
                                        .arg(face.pixelColor(inside).name())));
        }
    }

    // Each row names a dialog and one of its parts; "alert" is an alert dialog itself.
    void dialogsReadWellToAScreenReader_data() {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");

        const int field = QAccessible::EditableText;
        QTest::newRow("addPageDialog TitleTextField") << field << "Title:"
                                                      << "";
        QTest::newRow("addPageDialog URLTextField") << field << "URL:"
                                                    << "";
        QTest::newRow("changePageDialog PageList") << int(QAccessible::List) << "Pages"
                                                   << "";
        QTest::newRow("changePageDialog TitleTextField") << field << "Title"
                                                         << "";
        QTest::newRow("changePageDialog URLTextField") << field << "URL"
                                                       << "";
        QTest::newRow("changeSettingDialog BrowserTextField") << field << "ブラウザー"
                                                              << "";
        QTest::newRow("changeSettingDialog BrowserButton")
            << int(QAccessible::Button) << "Select browser"
            << "";
        QTest::newRow("changeSettingDialog TimeTextField") << field << "更新時間"
                                                           << "秒";
        QTest::newRow("alert") << int(QAccessible::AlertMessage) << "Alert" << notANumberAlert;
    }

    void dialogsReadWellToAScreenReader() {
        QFETCH(int, role);
        QFETCH(QString, name);
        QFETCH(QString, description);

        ScratchDirectory scratch;
        Harness harness;
        Velmora window(harness.services());
        AlertDialog alert(&window);
        alert.setAlertMessage(notANumberAlert);
        const QStringList path = QString(QTest::currentDataTag()).split(u' ');
        QWidget* read = path[0] == "alert" ? &alert : window.findChild<QDialog*>(path[0]);
        if (path.size() > 1)
            read = child<QWidget>(*read, path[1].toLatin1());
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(read);
        QCOMPARE(int(reader->role()), role);
        QCOMPARE(reader->text(QAccessible::Name), name);
        QCOMPARE(reader->text(QAccessible::Description), description);
    }

    // The list, the fields beside it, then the buttons from left to right, and round again.
    void changeDialogTabFollowsTheEye() {
        ScratchDirectory scratch;
        Harness harness;
        Velmora window(harness.services());
        auto* list =
            window.findChild<QDialog*>("changePageDialog")->findChild<QWidget*>("PageList");
        QStringList visited{list->objectName()};
        for (QWidget* next = list->nextInFocusChain(); next != list;
             next = next->nextInFocusChain())
            if (next->focusPolicy() & Qt::TabFocus)
                visited << next->objectName();
        QCOMPARE(visited, (QStringList{"PageList", "TitleTextField", "URLTextField", "DeleteButton",
                                       "OKButton", "CancelButton"}));
    }

    // Typing goes only into fields that belong to a selected page: a click beside the rows
    // hands the texts to their page and closes the fields, and so does a deletion.
    void changeDialogFieldsFollowTheSelection() {
        ScratchDirectory scratch;
        prepare("Group.dat", fourPages);
        Harness harness;
        Velmora window(harness.services());

        QStringList seen;
        ModalDriver driver;
        driver.on("changePageDialog", [&](QWidget& dialog) {
            const auto fields = [&] {
                const bool title = child<QLineEdit>(dialog, "TitleTextField")->isEnabled();
                const bool url = child<QLineEdit>(dialog, "URLTextField")->isEnabled();
                seen << describe(dialog) + (title && url     ? "; fields on"
                                            : !title && !url ? "; fields off"
                                                             : "; fields mixed");
            };
            fields();
            selectRow(dialog, 1);
            retype(dialog, "TitleTextField", "B2");
            auto* list = child<QListWidget>(dialog, "PageList");
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              QPoint(10, list->viewport()->height() - 5));
            fields();
            retype(dialog, "TitleTextField", "lost?");
            selectRow(dialog, 2);
            fields();
            click(dialog, "DeleteButton");
            fields();
            click(dialog, "OKButton");
        });
        open(window, "changePageDialog");
        QVERIFY(driver.ranToTheEnd());

        QCOMPARE(seen,
                 (QStringList{
                     "rows A|B|C|D; selected none; title ''; URL 'http://'; Delete off; fields off",
                     "rows A|B2|C|D; selected none; title ''; URL ''; Delete on; fields off",
                     "rows A|B2|C|D; selected C; title 'C'; URL 'http://c/'; Delete on; fields on",
                     "rows A|B2|D; selected none; title ''; URL ''; Delete on; fields off"}));
        QCOMPARE(ScratchDirectory::read("Group.dat"),
                 QByteArray("3,A,http://a/,10,B2,http://b/,20,D,http://d/,40,"));
    }

    // A directory in the way of the list file: the user hears of it at start and at every
    // save; the new page stays in the list and on screen, and the quit that cannot save it
    // is turned down once, and again after each save that worked in between.
    void listFileThatCannotBeWrittenKeepsTheEdit() {
        ScratchDirectory scratch;
        QVERIFY(QDir().mkdir("Group.dat"));
        // No check cycle comes while the alerts wait.
        prepare("Setting.ini", ",9999,");
        Harness harness;
        ModalDriver driver;
        Velmora window(harness.services());
        QCOMPARE(driver.alerts(),
                 QStringList{"Group.dat を読めませんでした。\nファイルはそのまま残します。"});
        QVERIFY(!window.pageList());

        driver.on("addPageDialog", [](QWidget& dialog) {
            retype(dialog, "TitleTextField", "Kept");
            retype(dialog, "URLTextField", "http://kept/");
            click(dialog, "OKButton");
        });
        open(window, "addPageDialog");
        QVERIFY(driver.ranToTheEnd());
        QCOMPARE(driver.alerts().mid(1), QStringList{groupNotSaved});
        QCOMPARE(titlesOf(window.pageList()), QStringList{"Kept"});
        QCOMPARE(tileTitles(window), QStringList{"Kept"});
        QVERIFY(QFileInfo("Group.dat").isDir());

        window.exit();
        QCOMPARE(driver.alerts().mid(2), QStringList{groupNotSaved});
        QCOMPARE(harness.quitCalls, 0);
        QVERIFY(window.isVisible());
        QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray(",9999,"));

        // Room made, a page saved, the way blocked again: the next quit is turned down too.
        const auto addPage = [&](const char* title) {
            driver.on("addPageDialog", [title](QWidget& dialog) {
                retype(dialog, "TitleTextField", title);
                retype(dialog, "URLTextField", "http://more/");
                click(dialog, "OKButton");
            });
            open(window, "addPageDialog");
        };
        QVERIFY(QDir().rmdir("Group.dat"));
        addPage("Saved");
        QCOMPARE(titlesIn(ScratchDirectory::read("Group.dat")), (QStringList{"Kept", "Saved"}));
        QVERIFY(QFile::remove("Group.dat") && QDir().mkdir("Group.dat"));
        addPage("Unsaved");
        QVERIFY(driver.ranToTheEnd());
        QCOMPARE(driver.alerts().mid(3), QStringList{groupNotSaved});
        window.exit();
        QCOMPARE(driver.alerts().mid(4), QStringList{groupNotSaved});
        QCOMPARE(harness.quitCalls, 0);

        window.close();
        QCOMPARE(driver.alerts().mid(5), QStringList{groupNotSaved});
        QCOMPARE(harness.quitCalls, 1);
        QVERIFY(QFileInfo("Group.dat").isDir());
    }

    void fullDiskKeepsTheFilesAndTheEdits_data() {
        QTest::addColumn<bool>("roomMade");

        QTest::newRow("room made before the second quit") << true;
        QTest::newRow("still full at the second quit") << false;
    }

    // A real full file system: every save fails with the alert and leaves both files as they
    // were, while the edits stay in the list and on screen.
    void fullDiskKeepsTheFilesAndTheEdits() {
        QFETCH(bool, roomMade);

        ScratchDirectory scratch;
        SmallFileSystem fileSystem(scratch.path() + "/full");
        if (!fileSystem.failure().isEmpty())
            QSKIP(qPrintable(fileSystem.failure()));
        QVERIFY(QDir::setCurrent(scratch.path() + "/full"));
        prepare("Group.dat", fourPagesSaved);
        // No check cycle comes while the alerts wait.
        prepare("Setting.ini", "b,9999,");
        prepare("help.html", "mine");
        fileSystem.fill();
        Harness harness;
        ModalDriver driver;
        Velmora window(harness.services());

        driver.on("addPageDialog", [](QWidget& dialog) {
            retype(dialog, "TitleTextField", "T");
            retype(dialog, "URLTextField", "http://t/");
            click(dialog, "OKButton");
        });
        open(window, "addPageDialog");
        driver.on("changePageDialog", [](QWidget& dialog) {
            selectRow(dialog, 0);
            retype(dialog, "TitleTextField", "A2");
            click(dialog, "OKButton");
        });
        open(window, "changePageDialog");
        QVERIFY(driver.ranToTheEnd());
        QCOMPARE(driver.alerts(), (QStringList{groupNotSaved, groupNotSaved}));
        QCOMPARE(tileTitles(window), (QStringList{"A2", "B", "C", "D", "T"}));
        QCOMPARE(ScratchDirectory::read("Group.dat"), fourPagesSaved);

        window.exit();
        QCOMPARE(driver.alerts().mid(2), (QStringList{settingNotSaved, groupNotSaved}));
        QCOMPARE(harness.quitCalls, 0);
        QVERIFY(window.isVisible());
        QCOMPARE(ScratchDirectory::read("Group.dat"), fourPagesSaved);
        QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray("b,9999,"));

        if (roomMade)
            fileSystem.makeRoom();
        window.exit();
        QCOMPARE(harness.quitCalls, 1);
        const QByteArray edited =
            "5,A2,http://a/,10,B,http://b/,20,C,http://c/,30,D,http://d/,40,T,http://t/,0,";
        QCOMPARE(ScratchDirectory::read("Group.dat"), roomMade ? edited : fourPagesSaved);
        QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray("b,9999,"));
        const QStringList secondQuitAlerts =
            roomMade ? QStringList() : QStringList{settingNotSaved, groupNotSaved};
        QCOMPARE(driver.alerts().mid(4), secondQuitAlerts);
        QStringList names{"Group.dat", "Setting.ini", "help.html"};
        if (!roomMade)
            names.insert(2, "filler");
        QCOMPARE(QDir().entryList(QDir::Files, QDir::Name), names);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
