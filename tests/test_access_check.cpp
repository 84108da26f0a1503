#include "TestHttpServer.h"
#include "model/AccessCheck.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using Route = TestHttpServer::Route;
using Behaviour = Route::Behaviour;

namespace {

qint64 utc(int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC)
        .toMSecsSinceEpoch();
}

const qint64 pageTime = utc(2021, 3, 4, 5, 6, 7);
const qint64 otherTime = utc(2019, 11, 30, 23, 59, 58);

// A port that was free a moment ago, with nobody listening on it now.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A body far larger than any socket buffer, so reading it through would be noticed.
QByteArray largeBody() {
    return QByteArray(1024 * 1024, 'x');
}

} // namespace

class TestAccessCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void reportsTheServersTime_data();
    void reportsTheServersTime();
    void refusedHeadFallsBackToGet_data();
    void refusedHeadFallsBackToGet();
    void unusableUrlSendsNoRequest_data();
    void unusableUrlSendsNoRequest();
    void transportFailure_data();
    void transportFailure();
    void redirectLoopEnds();
    void fileUrl();
    void keepAliveCarriesTheCycle();
    void abortCutsARequestShort();

private:
    TestHttpServer server;
};

void TestAccessCheck::initTestCase() {
    server.setRoute("/dated", Route::modifiedAt(pageTime));
    server.setRoute("/other", Route::modifiedAt(otherTime));
    server.setRoute("/with%20blank", Route::modifiedAt(otherTime));
    server.setRoute("/undated", Route{});

    Route unparseable;
    unparseable.rawLastModified = "sometime last week";
    server.setRoute("/unparseable", unparseable);
    Route beforeEpoch;
    beforeEpoch.rawLastModified = "Wed, 31 Dec 1969 23:59:00 GMT";
    server.setRoute("/before-epoch", beforeEpoch);
    Route legacyDate; // the obsolete RFC 850 form servers may still send
    legacyDate.rawLastModified = "Thursday, 04-Mar-21 05:06:07 GMT";
    server.setRoute("/legacy-date", legacyDate);

    for (const int status : {404, 410, 500, 503}) {
        Route error = Route::modifiedAt(pageTime);
        error.status = status;
        error.body = "<html>error page</html>";
        server.setRoute(QStringLiteral("/error-%1").arg(status), error);
    }

    server.setRoute("/moved", Route::redirect("/other", 301));
    server.setRoute("/found", Route::redirect(server.url("/other").toLatin1(), 302));
    server.setRoute("/chain-1", Route::redirect("/chain-2"));
    server.setRoute("/chain-2", Route::redirect("/chain-3", 302));
    server.setRoute("/chain-3", Route::redirect("/dated"));
    server.setRoute("/moved-to-error", Route::redirect("/error-404"));
    // The redirect's own date says nothing about the page it points to.
    Route datedRedirect = Route::redirect("/undated");
    datedRedirect.lastModified = otherTime;
    server.setRoute("/dated-redirect", datedRedirect);

    server.setRoute("/loop-a", Route::redirect("/loop-b"));
    server.setRoute("/loop-b", Route::redirect("/loop-a", 302));
}

void TestAccessCheck::reportsTheServersTime_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("Last-Modified sent") << server.url("/dated") << pageTime;
    QTest::newRow("query string") << server.url("/dated?a=1&b=2") << pageTime;
    QTest::newRow("upper-case scheme")
        << server.url("/dated").replace("http://", "HTTP://") << pageTime;
    QTest::newRow("obsolete date form") << server.url("/legacy-date") << pageTime;
    // Typed as a browser accepts it; the request carries the blank encoded.
    QTest::newRow("blank in the path") << server.url("/with blank") << otherTime;
    QTest::newRow("before 1970") << server.url("/before-epoch") << qint64(-60'000);

    QTest::newRow("no Last-Modified") << server.url("/undated") << qint64(-1);
    QTest::newRow("unparseable date") << server.url("/unparseable") << qint64(-1);
    QTest::newRow("unknown page, plain 404") << server.url("/nowhere") << qint64(-1);
    for (const int status : {404, 410, 500, 503})
        QTest::addRow("%d with Last-Modified", status)
            << server.url(QStringLiteral("/error-%1").arg(status)) << qint64(-1);

    QTest::newRow("301, relative Location") << server.url("/moved") << otherTime;
    QTest::newRow("302, absolute Location") << server.url("/found") << otherTime;
    QTest::newRow("chain of three redirects") << server.url("/chain-1") << pageTime;
    QTest::newRow("redirect to an error page") << server.url("/moved-to-error") << qint64(-1);
    QTest::newRow("dated redirect to an undated page")
        << server.url("/dated-redirect") << qint64(-1);
}

void TestAccessCheck::reportsTheServersTime() {
    QFETCH(QString, url);
    QFETCH(qint64, expected);
    AccessCheck check;
    QCOMPARE(check.checkEach(url), expected);
}

void TestAccessCheck::refusedHeadFallsBackToGet_data() {
    QTest::addColumn<int>("refusal");
    QTest::newRow("405 Method Not Allowed") << 405;
    QTest::newRow("501 Not Implemented") << 501;
}

void TestAccessCheck::refusedHeadFallsBackToGet() {
    QFETCH(int, refusal);
    TestHttpServer refusing;
    Route route = Route::modifiedAt(pageTime);
    route.behaviour = Behaviour::RefuseHead;
    route.refusedHeadStatus = refusal;
    // Only part of the body ever arrives: a GET that read past the headers would time out.
    route.body = largeBody();
    route.stallBody = true;
    refusing.setRoute("/page", route);

    AccessCheck check({.connect = 10s, .total = 20s});
    QCOMPARE(check.checkEach(refusing.url("/page")), pageTime);
    QCOMPARE(refusing.requestCount("HEAD"), 1);
    QCOMPARE(refusing.requestCount("GET"), 1);

    // A GET that stopped after the headers leaves the handle fit for the next page.
    refusing.setRoute("/next", Route::modifiedAt(otherTime));
    QCOMPARE(check.checkEach(refusing.url("/next")), otherTime);
}

void TestAccessCheck::unusableUrlSendsNoRequest_data() {
    QTest::addColumn<QString>("url");
    const QString port = QString::number(server.port());

    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("   ");
    QTest::newRow("host name only") << QStringLiteral("example.com");
    QTest::newRow("address and port, no scheme") << "127.0.0.1:" + port + "/dated";
    QTest::newRow("host and port, no scheme") << "localhost:" + port + "/dated";
    QTest::newRow("scheme-relative") << "//127.0.0.1:" + port + "/dated";
    QTest::newRow("gopher") << "gopher://127.0.0.1:" + port + "/dated";
    QTest::newRow("unknown scheme") << "foo://127.0.0.1:" + port + "/dated";
    QTest::newRow("mail address") << QStringLiteral("mailto:someone@example.com");
    QTest::newRow("no host") << QStringLiteral("http://");
    QTest::newRow("space in host") << QStringLiteral("http://127.0. 0.1/");
    QTest::newRow("unclosed IPv6 bracket") << QStringLiteral("http://[::1/");
    QTest::newRow("port out of range") << QStringLiteral("http://127.0.0.1:70000/");
    QTest::newRow("line break injected") << server.url("/dated\r\nX-Injected: 1");
    QTest::newRow("NUL inside") << server.url("/dated") + QChar(0) + "/hidden";
}

void TestAccessCheck::unusableUrlSendsNoRequest() {
    QFETCH(QString, url);
    const int before = server.requestCount();
    AccessCheck check;
    QCOMPARE(check.checkEach(url), qint64(-1));
    QCOMPARE(server.requestCount(), before);
}

void TestAccessCheck::transportFailure_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("behaviour");
    QTest::newRow("never answers") << "/silent" << int(Behaviour::NeverAnswer);
    QTest::newRow("connection reset") << "/reset" << int(Behaviour::ResetConnection);
    QTest::newRow("garbage instead of HTTP") << "/garbage" << int(Behaviour::Garbage);
    QTest::newRow("connection refused") << QString() << 0;
}

void TestAccessCheck::transportFailure() {
    QFETCH(QString, path);
    QFETCH(int, behaviour);
    QString url = QStringLiteral("http://127.0.0.1:%1/page").arg(closedPort());
    if (!path.isEmpty()) {
        server.setRoute(path, Route::behaving(Behaviour(behaviour)));
        url = server.url(path);
    }
    AccessCheck check({.connect = 5s, .total = 1s});
    QCOMPARE(check.checkEach(url), qint64(-2));
}

void TestAccessCheck::redirectLoopEnds() {
    AccessCheck check({.connect = 5s, .total = 60s});
    const int before = server.requestCount();
    const qint64 result = check.checkEach(server.url("/loop-a"));
    // The loop is no page, let alone a time; following it must stop by itself.
    QVERIFY2(result == -1 || result == -2, qPrintable(QString::number(result)));
    QVERIFY(server.requestCount() - before <= 20);
}

void TestAccessCheck::fileUrl() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("page.html"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<html></html>");
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(QDateTime::fromMSecsSinceEpoch(pageTime, Qt::UTC),
                             QFileDevice::FileModificationTime));
    file.close();

    AccessCheck check;
    QCOMPARE(check.checkEach(QUrl::fromLocalFile(file.fileName()).toString()), pageTime);
}

void TestAccessCheck::keepAliveCarriesTheCycle() {
    TestHttpServer local;
    local.setRoute("/a", Route::modifiedAt(pageTime));
    local.setRoute("/b", Route::modifiedAt(otherTime));
    local.setRoute("/c", Route{});

    AccessCheck check;
    for (int cycle = 0; cycle < 3; ++cycle) {
        QCOMPARE(check.checkEach(local.url("/a")), pageTime + cycle * 1000);
        QCOMPARE(check.checkEach(local.url("/b")), otherTime);
        QCOMPARE(check.checkEach(local.url("/c")), qint64(-1));
        // Every check asks afresh: a raised time shows in the next cycle.
        local.setLastModified("/a", pageTime + (cycle + 1) * 1000);
    }
    QCOMPARE(local.requestCount("HEAD"), 9);
    QCOMPARE(local.connectionCount(), 1);
}

void TestAccessCheck::abortCutsARequestShort() {
    TestHttpServer local;
    local.setRoute("/silent", Route::behaving(Behaviour::NeverAnswer));
    local.setRoute("/dated", Route::modifiedAt(pageTime));

    // Time-outs far beyond the wait below: only abort() can end this request.
    AccessCheck check({.connect = 300s, .total = 300s});
    std::atomic<qint64> result{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = check.checkEach(local.url("/silent"));
        done = true;
    });
    const auto join = qScopeGuard([&] {
        check.abort();
        worker.join();
    });

    QTRY_COMPARE_WITH_TIMEOUT(local.requestCountFor("/silent"), 1, 30'000);
    QVERIFY(!done);
    check.abort();
    QTRY_VERIFY_WITH_TIMEOUT(done, 30'000);
    QCOMPARE(result.load(), qint64(-2));

    // Once aborted, the check stays down and contacts nobody.
    QCOMPARE(check.checkEach(local.url("/dated")), qint64(-2));
    QCOMPARE(local.requestCountFor("/dated"), 0);
}

QTEST_GUILESS_MAIN(TestAccessCheck)
#include "test_access_check.moc"
