#include "SilentChecker.h"
#include "app/ChangedPages.h"
#include "app/CheckScheduler.h"
#include "app/CheckingThread.h"

#include <QtTest>
#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

// Answers each URL from a table and notes on which tick each request was made, and whether
// the page asked for was marked as being checked meanwhile.
class ScriptedChecker final : public PageChecker {
public:
    std::map<QString, qint64> answers;
    std::vector<std::pair<qint64, QString>> requests;
    std::vector<bool> markedWhileAsked;
    const CheckScheduler* scheduler = nullptr;
    const PageListSlot* slot = nullptr;
    bool failNext = false;

    qint64 checkEach(const QString& url) override {
        requests.emplace_back(scheduler ? scheduler->currentTick() : 0, url);
        if (const PageList pages = slot ? slot->load() : nullptr)
            for (const auto& page : *pages)
                if (page->getPageURLString() == url)
                    markedWhileAsked.push_back(page->isCheckRunning());
        if (failNext) {
            failNext = false;
            throw std::runtime_error("checker failed");
        }
        const auto found = answers.find(url);
        return found == answers.end() ? -1 : found->second;
    }
    void abort() override {}

    std::vector<qint64> requestTicks() const {
        std::vector<qint64> ticks;
        for (const auto& request : requests)
            ticks.push_back(request.first);
        return ticks;
    }
};

class CountingObserver final : public CheckCycleObserver {
public:
    std::atomic<int> started{0};
    std::atomic<int> finished{0};

    void cycleStarted() override { ++started; }
    void cycleFinished() override { ++finished; }
};

std::shared_ptr<Page> makePage(const QString& url, qint64 storedTime) {
    auto page = std::make_shared<Page>(nullptr);
    page->setPageURLString(url);
    page->setLastModifiedDateLong(storedTime);
    return page;
}

PageList listOf(std::initializer_list<std::shared_ptr<Page>> pages) {
    return std::make_shared<const PageVector>(pages);
}

// A scheduler driven tick by tick, without sleeping and without a network.
struct Rig {
    PageListSlot slot;
    std::atomic<qint32> limit{2};
    ScriptedChecker checker;
    CountingObserver observer;
    CheckScheduler scheduler{slot, limit, checker, observer, [] {}};

    Rig() {
        checker.scheduler = &scheduler;
        checker.slot = &slot;
    }

    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            scheduler.tick();
    }
    void tickUntil(qint64 tick) {
        while (scheduler.currentTick() < tick)
            scheduler.tick();
    }
};

} // namespace

class TestScheduler : public QObject {
    Q_OBJECT

private slots:
    void cyclesStartOnMultiplesOfTheInterval_data();
    void cyclesStartOnMultiplesOfTheInterval();
    void intervalChangeTakesTheNextMultiple();
    void updatedMarkLastsFiftyTicksAfterTheCycle();
    void noListMeansTicksOnly();
    void emptyListStillRunsCycles();
    void notFoundPageIsNeverAskedAgain();
    void failingCheckEndsTheTickButNotTheChecking();
    void stopCutsACycleShortWithoutMarkingThePage();
    void listRebuildRacingACycle();
    void checkingThreadLife_data();
    void checkingThreadLife();
    void changesReachTheGuiInOneCollection();
    void noticeNamesARisingPageOncePerRun_data();
    void noticeNamesARisingPageOncePerRun();
};

void TestScheduler::cyclesStartOnMultiplesOfTheInterval_data() {
    QTest::addColumn<qint32>("interval");
    QTest::addColumn<std::vector<qint64>>("expected");

    QTest::newRow("default 2 s") << 2 << std::vector<qint64>{20, 40, 60, 80, 100};
    QTest::newRow("3 s") << 3 << std::vector<qint64>{30, 60, 90};
    QTest::newRow("negative -2 s from a hand-edited file")
        << -2 << std::vector<qint64>{20, 40, 60, 80, 100};
    QTest::newRow("0 s never checks") << 0 << std::vector<qint64>{};
}

void TestScheduler::cyclesStartOnMultiplesOfTheInterval() {
    QFETCH(qint32, interval);
    QFETCH(std::vector<qint64>, expected);

    Rig rig;
    rig.limit = interval;
    rig.slot.store(listOf({makePage("http://a/", 1000)}));
    rig.checker.answers["http://a/"] = 1000;
    rig.ticks(100);

    QCOMPARE(rig.checker.requestTicks(), expected);
    QCOMPARE(rig.observer.started.load(), static_cast<int>(expected.size()));
    QCOMPARE(rig.observer.finished.load(), rig.observer.started.load());
    QCOMPARE(rig.scheduler.currentTick(), qint64(100));
}

void TestScheduler::intervalChangeTakesTheNextMultiple() {
    Rig rig;
    rig.limit = 10;
    rig.slot.store(listOf({makePage("http://a/", 1000)}));
    rig.checker.answers["http://a/"] = 1000;
    rig.tickUntil(25);
    QVERIFY(rig.checker.requests.empty());

    rig.limit = 3;
    rig.tickUntil(60);
    QCOMPARE(rig.checker.requestTicks(), (std::vector<qint64>{30, 60}));
}

void TestScheduler::updatedMarkLastsFiftyTicksAfterTheCycle() {
    Rig rig;
    rig.limit = 4;
    const auto page = makePage("http://a/", 1000);
    rig.slot.store(listOf({page}));
    rig.checker.answers["http://a/"] = 2000;

    rig.tickUntil(39);
    QCOMPARE(page->getStatus(), Page::isDefault);
    rig.tickUntil(40);
    QCOMPARE(page->getStatus(), Page::isRenew);
    // The cycle on tick 80 sees the same time again and leaves the mark alone.
    rig.tickUntil(89);
    QCOMPARE(page->getStatus(), Page::isRenew);
    rig.tickUntil(90);
    QCOMPARE(page->getStatus(), Page::isDefault);
    QCOMPARE(page->getLastModifiedDateLong(), qint64(2000));
}

void TestScheduler::noListMeansTicksOnly() {
    Rig rig;
    rig.ticks(60);
    QCOMPARE(rig.scheduler.currentTick(), qint64(60));
    QCOMPARE(rig.observer.started.load(), 0);
    QVERIFY(rig.checker.requests.empty());
}

void TestScheduler::emptyListStillRunsCycles() {
    Rig rig;
    rig.slot.store(std::make_shared<const PageVector>());
    rig.ticks(60);
    QCOMPARE(rig.observer.started.load(), 3);
    QCOMPARE(rig.observer.finished.load(), 3);
    QVERIFY(rig.checker.requests.empty());
}

void TestScheduler::notFoundPageIsNeverAskedAgain() {
    Rig rig;
    const auto missing = makePage("http://missing/", 0);
    const auto present = makePage("http://present/", 1000);
    rig.slot.store(listOf({missing, present}));
    rig.checker.answers["http://present/"] = 1000;

    rig.ticks(60);
    QCOMPARE(missing->getStatus(), Page::isNotFound);
    QCOMPARE(present->getStatus(), Page::isDefault);
    const auto askedForMissing =
        std::count_if(rig.checker.requests.begin(), rig.checker.requests.end(),
                      [](const auto& request) { return request.second == "http://missing/"; });
    QCOMPARE(askedForMissing, 1);
    QCOMPARE(rig.checker.requests.size(), size_t(4));
    // Each page is marked as being checked exactly while its request runs.
    QCOMPARE(rig.checker.markedWhileAsked, std::vector<bool>(4, true));
    QVERIFY(!missing->isCheckRunning());
    QVERIFY(!present->isCheckRunning());
}

void TestScheduler::failingCheckEndsTheTickButNotTheChecking() {
    Rig rig;
    const auto first = makePage("http://first/", 1000);
    const auto second = makePage("http://second/", 1000);
    rig.slot.store(listOf({first, second}));
    rig.checker.answers["http://first/"] = 1000;
    rig.checker.answers["http://second/"] = 1000;
    rig.checker.failNext = true;

    rig.tickUntil(20);
    // The failure ended the cycle before the second page, but the cursor and the tile's
    // input came back.
    QCOMPARE(rig.checker.requests.size(), size_t(1));
    QCOMPARE(rig.observer.finished.load(), 1);
    QCOMPARE(rig.checker.markedWhileAsked, std::vector<bool>{true});
    QVERIFY(!first->isCheckRunning());

    rig.tickUntil(40);
    QCOMPARE(rig.checker.requests.size(), size_t(3));
    QCOMPARE(first->getStatus(), Page::isDefault);
    QCOMPARE(second->getStatus(), Page::isDefault);
}

void TestScheduler::stopCutsACycleShortWithoutMarkingThePage() {
    PageListSlot slot;
    std::atomic<qint32> limit{1};
    std::atomic<bool> entered{false};
    SilentChecker checker(entered);
    CountingObserver observer;
    CheckScheduler scheduler(slot, limit, checker, observer, [] {});
    const auto page = makePage("http://silent/", 1000);
    slot.store(listOf({page}));

    std::thread checking([&] { scheduler.run(); });
    QTRY_VERIFY(entered.load());
    scheduler.stop();
    checking.join();

    QCOMPARE(page->getStatus(), Page::isDefault);
    QVERIFY(page->canAccess());
    QVERIFY(!page->isCheckRunning());
    QCOMPARE(observer.finished.load(), observer.started.load());
}

namespace {

// While rising, every answer is later than the last; afterwards the time stays put.
class RisingChecker final : public PageChecker {
public:
    std::atomic<int> requests{0};
    std::atomic<bool> rising{true};
    static constexpr qint64 settledTime = 1'000'000;

    qint64 checkEach(const QString&) override {
        const int count = ++requests;
        return rising ? 1000 + count : settledTime;
    }
    void abort() override {}
};

} // namespace

void TestScheduler::listRebuildRacingACycle() {
    PageListSlot slot;
    std::atomic<qint32> limit{1};
    RisingChecker checker;
    CountingObserver observer;
    CheckScheduler scheduler(slot, limit, checker, observer, [] {});

    std::thread checking([&] { scheduler.run(); });
    PageList last;
    for (int rebuild = 0; rebuild < 300; ++rebuild) {
        auto pages = std::make_shared<PageVector>();
        for (int i = 0; i < 5; ++i)
            pages->push_back(makePage(QStringLiteral("http://page/%1").arg(i), 1000));
        last = pages;
        slot.store(rebuild % 50 == 0 ? nullptr : last);
        std::this_thread::yield();
    }
    checker.rising = false;
    slot.store(last);

    // Each page of the final list is found updated once and its mark falls back fifty ticks
    // later, which only happens when the cycle checks pages that had their ticks.
    const auto settled = [&] {
        return std::all_of(last->begin(), last->end(), [](const auto& page) {
            return page->getLastModifiedDateLong() == RisingChecker::settledTime &&
                   page->getStatus() == Page::isDefault;
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(settled(), 20000);
    scheduler.stop();
    checking.join();

    QVERIFY(checker.requests.load() > 0);
    QCOMPARE(observer.finished.load(), observer.started.load());
    QVERIFY(std::none_of(last->begin(), last->end(),
                         [](const auto& page) { return page->isCheckRunning(); }));
}

void TestScheduler::checkingThreadLife_data() {
    QTest::addColumn<int>("starts");
    QTest::addColumn<QString>("request"); // none, or one held until aborted, or stuck
    QTest::addColumn<bool>("endsInGrace");

    QTest::newRow("never started") << 0 << "none" << true;
    QTest::newRow("ticking, started twice") << 2 << "none" << true;
    QTest::newRow("a request the stop cuts short") << 1 << "held" << true;
    QTest::newRow("a request that will not let go") << 1 << "stuck" << false;
}

// A second start leaves the running thread alone. A stop ends the thread, its cycle ended too,
// or gives up after the grace on a request that holds on; that thread is waited for at the end.
void TestScheduler::checkingThreadLife() {
    QFETCH(int, starts);
    QFETCH(QString, request);
    QFETCH(bool, endsInGrace);

    PageListSlot slot;
    std::atomic<qint32> limit{1};
    std::atomic<bool> entered{false};
    auto checker = std::make_unique<SilentChecker>(entered, request != "stuck");
    SilentChecker& held = *checker;
    if (request != "none")
        slot.store(listOf({makePage("http://held/", 1000)}));
    CountingObserver observer;
    std::atomic<int> ticks{0};
    {
        CheckingThread thread(std::move(checker), slot, limit, observer, [&] { ++ticks; });
        // Before the thread is waited for, however the test ends.
        const auto letGo = qScopeGuard([&] { held.release(); });
        for (int i = 0; i < starts; ++i)
            thread.start();
        if (request != "none")
            QTRY_VERIFY(entered.load());
        else if (starts > 0)
            QTRY_VERIFY(ticks.load() > 20);

        QCOMPARE(thread.stop(), endsInGrace);
        if (endsInGrace)
            QCOMPARE(observer.finished.load(), observer.started.load());
    }
    QCOMPARE(ticks.load() > 0, starts > 0);
}

// However many pages change, one collection is asked for until it runs; it takes every mark,
// and a page gone by then is simply no longer there.
void TestScheduler::changesReachTheGuiInOneCollection() {
    ChangedPages changed;
    const auto kept = makePage("http://kept/", 0);
    auto dropped = makePage("http://dropped/", 0);
    QVERIFY(changed.markRepaint(*kept));
    QVERIFY(!changed.markShowWindow());
    QVERIFY(!changed.markRepaint(*dropped));
    dropped.reset();

    ChangedPages::Batch batch = changed.collect();
    QVERIFY(batch.showWindow);
    QCOMPARE(batch.repaint.size(), size_t(2));
    QCOMPARE(batch.repaint[0].lock(), std::shared_ptr<const Page>(kept));
    QVERIFY(batch.repaint[1].expired());

    // The next change asks again; an empty collection shows nothing.
    QVERIFY(changed.markRepaint(*kept));
    QVERIFY(!changed.collect().showWindow);
    batch = changed.collect();
    QVERIFY(batch.repaint.empty());
    QVERIFY(!batch.cycleRunning);

    // Rises travel with the end of their cycle, so a collection in mid-cycle holds none.
    QVERIFY(changed.markCycleStarted());
    changed.markRise(*kept);
    batch = changed.collect();
    QCOMPARE(batch.cycleRunning, std::optional(true));
    QVERIFY(batch.finishedCycles.empty());
    QVERIFY(changed.markCycleFinished());
    QVERIFY(!changed.markCycleFinished());
    batch = changed.collect();
    QCOMPARE(batch.cycleRunning, std::optional(false));
    QCOMPARE(batch.finishedCycles.size(), size_t(2));
    QCOMPARE(batch.finishedCycles[0].size(), size_t(1));
    QCOMPARE(batch.finishedCycles[0][0].url, QStringLiteral("http://kept/"));
    QVERIFY(batch.finishedCycles[1].empty());

    // Marks from the checking thread while the GUI thread collects: none is lost, and every
    // mark made after a collection started asks for another one.
    constexpr int marks = 20000;
    std::atomic<int> asked{0};
    std::thread checking([&] {
        for (int i = 0; i < marks; ++i)
            asked += changed.markRepaint(*kept);
    });
    size_t collected = 0;
    int collections = 0;
    while (collected < size_t(marks)) {
        const size_t got = changed.collect().repaint.size();
        collected += got;
        collections += got > 0;
    }
    checking.join();
    QCOMPARE(collected, size_t(marks));
    QVERIFY(collections <= asked.load());
}

// Each cycle is the pages that rose in it: "a" is http://a/ titled "A", "a=T" titles it T.
// Each cycle's notice is empty when it names nobody.
void TestScheduler::noticeNamesARisingPageOncePerRun_data() {
    QTest::addColumn<QList<QStringList>>("cycles");
    QTest::addColumn<QStringList>("notices");

    QTest::newRow("a page rising in every cycle is named once")
        << QList<QStringList>{{"a"}, {"a"}, {"a"}} << QStringList{"A", "", ""};
    QTest::newRow("a page that rested is named again")
        << QList<QStringList>{{"a"}, {}, {"a"}} << QStringList{"A", "", "A"};
    QTest::newRow("a steady page leaves the others named")
        << QList<QStringList>{{"a"}, {"a", "b"}, {"c", "a", "b"}} << QStringList{"A", "B", "C"};
    QTest::newRow("the address, not the title, is the page")
        << QList<QStringList>{{"a=Old"}, {"a=New"}} << QStringList{"Old", ""};
    QTest::newRow("a page without a title is named by its address")
        << QList<QStringList>{{"a="}} << QStringList{"http://a/"};
    QTest::newRow("three names") << QList<QStringList>{{"a", "b", "c"}} << QStringList{"A\nB\nC"};
    QTest::newRow("more than three are counted")
        << QList<QStringList>{{"a", "b", "c", "d", "e"}} << QStringList{"A\nB\nC\nほか 2 件"};
}

void TestScheduler::noticeNamesARisingPageOncePerRun() {
    QFETCH(QList<QStringList>, cycles);
    QFETCH(QStringList, notices);

    UpdateNoticeRule rule;
    QStringList bodies;
    for (const QStringList& cycle : cycles) {
        std::vector<RisenPage> risen;
        for (const QString& page : cycle) {
            const QString id = page.section(u'=', 0, 0);
            risen.push_back(
                {"http://" + id + "/", page.contains(u'=') ? page.section(u'=', 1) : id.toUpper()});
        }
        bodies << UpdateNotice::body(rule.namesFor(risen));
    }
    QCOMPARE(bodies, notices);
}

QTEST_GUILESS_MAIN(TestScheduler)
#include "test_scheduler.moc"
