#include "model/Page.h"

#include <QtTest>
#include <memory>

namespace {

class RecordingObserver : public PageObserver {
public:
    void repaintRequested(const Page& page) override {
        ++repaints;
        lastPage = &page;
        statusAtRepaint = page.getStatus();
    }
    void showMainWindowRequested() override { ++shows; }
    void renewed(const Page&) override { ++renewals; }

    int repaints = 0;
    int shows = 0;
    int renewals = 0;
    const Page* lastPage = nullptr;
    qint32 statusAtRepaint = 99;
};

// One call on the page and what must hold afterwards; notification counts are running totals.
struct Step {
    enum Kind { Tick, Modified } kind;
    qint64 value;
    qint32 status;
    qint64 recorded;
    int shows;
    int repaints;
};

Step tick(qint64 t, qint32 status, qint64 recorded, int shows, int repaints) {
    return {Step::Tick, t, status, recorded, shows, repaints};
}
Step modified(qint64 v, qint32 status, qint64 recorded, int shows, int repaints) {
    return {Step::Modified, v, status, recorded, shows, repaints};
}

constexpr qint32 D = Page::isDefault;
constexpr qint32 R = Page::isRenew;
constexpr qint32 N = Page::isNotFound;

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestPage : public QObject {
    Q_OBJECT

private slots:
    void steps_data();
    void steps();
    void failureCodes_data();
    void failureCodes();
    void setStatusIsSilent();
    void noObserver();
};

void TestPage::steps_data() {
    QTest::addColumn<QList<Step>>("steps");

    QTest::newRow("first value after construction is only the baseline")
        << QList<Step>{modified(1000, D, 1000, 0, 0), tick(1, D, 1000, 0, 0)};
    QTest::newRow("stored zero then first real time is an update")
        << QList<Step>{modified(0, D, 0, 0, 0), modified(1000, R, 1000, 1, 1)};
    QTest::newRow("equal time stays unchanged")
        << QList<Step>{modified(1000, D, 1000, 0, 0), modified(1000, D, 1000, 0, 0),
                       modified(1000, D, 1000, 0, 0)};
    QTest::newRow("older time recorded silently, then newer is an update") << QList<Step>{
        modified(1000, D, 1000, 0, 0), modified(500, D, 500, 0, 0), modified(600, R, 600, 1, 1)};
    QTest::newRow("older time while updated keeps the mark") << QList<Step>{
        modified(0, D, 0, 0, 0), modified(1000, R, 1000, 1, 1), modified(900, R, 900, 1, 1)};
    QTest::newRow("stored -1 is not found at once with recorded 0")
        << QList<Step>{modified(-1, N, 0, 1, 1)};
    QTest::newRow("failure keeps the recorded time and the baseline")
        << QList<Step>{modified(1000, D, 1000, 0, 0), modified(-2, N, 1000, 1, 1),
                       modified(1000, N, 1000, 1, 1), modified(2000, R, 2000, 2, 2)};
    QTest::newRow("updated mark falls back after 50 ticks") << QList<Step>{
        tick(10, D, 0, 0, 0),    modified(0, D, 0, 0, 0), modified(1000, R, 1000, 1, 1),
        tick(59, R, 1000, 1, 1), tick(60, D, 1000, 1, 2), tick(61, D, 1000, 1, 2),
        tick(110, D, 1000, 1, 2)};
    QTest::newRow("second rise restarts the 50 ticks") << QList<Step>{
        tick(10, D, 0, 0, 0),    modified(0, D, 0, 0, 0),       modified(1000, R, 1000, 1, 1),
        tick(30, R, 1000, 1, 1), modified(2000, R, 2000, 2, 2), tick(60, R, 2000, 2, 2),
        tick(79, R, 2000, 2, 2), tick(80, D, 2000, 2, 3)};
    QTest::newRow("not found while a mark is pending shows default at its tick") << QList<Step>{
        tick(10, D, 0, 0, 0),    modified(0, D, 0, 0, 0),     modified(1000, R, 1000, 1, 1),
        tick(20, R, 1000, 1, 1), modified(-1, N, 1000, 2, 2), tick(59, N, 1000, 2, 2),
        tick(60, D, 1000, 2, 3)};
    QTest::newRow("times beyond 32 bits compare correctly")
        << QList<Step>{modified(1700000000000, D, 1700000000000, 0, 0),
                       modified(1700000000001, R, 1700000000001, 1, 1)};
}

void TestPage::steps() {
    QFETCH(QList<Step>, steps);

    RecordingObserver observer;
    const auto page = std::make_shared<Page>(&observer);
    int rises = 0;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        const int repaintsBefore = observer.repaints;
        // A rise is a result that turns the page updated and brings the window up.
        rises += step.kind == Step::Modified && step.status == R && step.shows > observer.shows;
        if (step.kind == Step::Tick)
            page->setTime(step.value);
        else
            page->setLastModifiedDateLong(step.value);

        const QByteArray where = "step " + QByteArray::number(i);
        QVERIFY2(page->getStatus() == step.status, where);
        QVERIFY2(page->getLastModifiedDateLong() == step.recorded, where);
        QVERIFY2(observer.shows == step.shows, where);
        QVERIFY2(observer.repaints == step.repaints, where);
        QVERIFY2(observer.renewals == rises, where);
        if (observer.repaints != repaintsBefore) {
            // The window repaints from the page, so the new state must already be in place.
            QVERIFY2(observer.lastPage == page.get(), where);
            QVERIFY2(observer.statusAtRepaint == step.status, where);
        }
    }
}

void TestPage::failureCodes_data() {
    QTest::addColumn<qint64>("code");
    QTest::newRow("-1") << qint64(-1);
    QTest::newRow("-2") << qint64(-2);
}

void TestPage::failureCodes() {
    QFETCH(qint64, code);

    RecordingObserver observer;
    const auto page = std::make_shared<Page>(&observer);
    QVERIFY(page->canAccess());
    page->setLastModifiedDateLong(5000);
    page->setLastModifiedDateLong(code);
    QCOMPARE(page->getStatus(), Page::isNotFound);
    QVERIFY(!page->canAccess());
    QCOMPARE(page->getLastModifiedDateLong(), qint64(5000));
    QCOMPARE(observer.shows, 1);
    QCOMPARE(observer.repaints, 1);

    // -3 is an ordinary (if odd) time: it is recorded, not treated as a failure.
    page->setLastModifiedDateLong(-3);
    QCOMPARE(page->getStatus(), Page::isNotFound);
    QCOMPARE(page->getLastModifiedDateLong(), qint64(-3));
    QCOMPARE(observer.repaints, 1);
}

void TestPage::setStatusIsSilent() {
    RecordingObserver observer;
    const auto page = std::make_shared<Page>(&observer);
    for (const qint32 status : {R, N, D, R}) {
        page->setStatus(status);
        QCOMPARE(page->getStatus(), status);
    }
    QCOMPARE(observer.shows, 0);
    QCOMPARE(observer.repaints, 0);
}

void TestPage::noObserver() {
    // A page without a window still follows its states.
    const auto page = std::make_shared<Page>(nullptr);
    page->setTime(10);
    page->setLastModifiedDateLong(0);
    page->setLastModifiedDateLong(1000);
    QCOMPARE(page->getStatus(), Page::isRenew);
    page->setTime(60);
    QCOMPARE(page->getStatus(), Page::isDefault);
    page->setLastModifiedDateLong(-1);
    QCOMPARE(page->getStatus(), Page::isNotFound);
}

QTEST_MAIN(TestPage)
#include "test_page.moc"
