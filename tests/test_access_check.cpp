#include "TestHttpServer.h"
#include "UtcTime.h"
#include "model/AccessCheck.h"
#include "platform/HttpDate.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <malloc.h>
#include <thread>

using namespace std::chrono_literals;
using Route = TestHttpServer::Route;
using Behaviour = Route::Behaviour;
Q_DECLARE_METATYPE(Route)

namespace {

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

// The sanitizers keep freed memory aside for a while, so only a plain build measures memory;
// their own leak check covers theirs.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool measuresMemory = false;
#else
constexpr bool measuresMemory = true;
#endif

// Heap bytes in use over all threads' arenas: what a check keeps after it ends.
qint64 heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

// One size from /proc/self/status, in bytes.
qint64 memoryStatus(const QByteArray& field) {
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Starts measuring the peak resident size afresh, so that an answer buffered whole shows even
// when it is freed again; the resident size now, or -1 when the kernel cannot do this.
qint64 restartPeakResident() {
    QFile reset("/proc/self/clear_refs");
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1 || !reset.flush())
        return -1;
    return memoryStatus("VmRSS:");
}

// Restores an environment variable however the test ends.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : name(name), had(qEnvironmentVariableIsSet(name)), previous(qgetenv(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnvironment() { had ? qputenv(name, previous) : qunsetenv(name); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name;
    bool had;
    QByteArray previous;
};

} // namespace

class TestAccessCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void readsHttpDates_data();
    void readsHttpDates();
    void reportsTheServersTime_data();
    void reportsTheServersTime();
    void refusedHeadFallsBackToGet_data();
    void refusedHeadFallsBackToGet();
    void unusableUrlSendsNoRequest_data();
    void unusableUrlSendsNoRequest();
    void transportFailure_data();
    void transportFailure();
    void redirectLoopEnds();
    void hostileServerEndsTheCheck_data();
    void hostileServerEndsTheCheck();
    void honoursProxyVariables_data();
    void honoursProxyVariables();
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
    Route asctimeDate;
    asctimeDate.rawLastModified = "Thu Mar  4 05:06:07 2021";
    server.setRoute("/asctime-date", asctimeDate);
    Route secondBeforeEpoch;
    secondBeforeEpoch.rawLastModified = "Wed, 31 Dec 1969 23:59:59 GMT";
    server.setRoute("/second-before-epoch", secondBeforeEpoch);
    Route epoch; // 0 ms is the time no check has recorded
    epoch.rawLastModified = "Thu, 01 Jan 1970 00:00:00 GMT";
    server.setRoute("/epoch", epoch);
    Route twoDates = asctimeDate;
    twoDates.headers = {{"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}};
    server.setRoute("/two-dates", twoDates);
    Route farFuture; // seconds x 1000 would not fit in 64 bits
    farFuture.rawLastModified = "Wed, 31 Dec 300000000 23:59:59 GMT";
    server.setRoute("/far-future", farFuture);

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

void TestAccessCheck::readsHttpDates_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("expected");
    const qint64 example = utc(1994, 11, 6, 8, 49, 37);
    const auto date = [](const char* name, const char* text, qint64 ms) {
        QTest::newRow(name) << QByteArray(text) << true << ms;
    };
    const auto noDate = [](const char* name, const char* text) {
        QTest::newRow(name) << QByteArray(text) << false << qint64(0);
    };

    date("IMF-fixdate", "Sun, 06 Nov 1994 08:49:37 GMT", example);
    date("RFC 850", "Sunday, 06-Nov-94 08:49:37 GMT", example);
    date("asctime, one-digit day", "Sun Nov  6 08:49:37 1994", example);
    date("asctime, two-digit day", "Wed Nov 16 08:49:37 1994", example + 10 * 86'400'000);
    date("one-digit day", "Sun, 6 Nov 1994 08:49:37 GMT", example);
    date("names in any case, UTC", "SUN, 06 nov 1994 08:49:37 utc", example);
    date("blanks around", " \tSun, 06 Nov 1994 08:49:37 GMT\r\n", example);
    date("weekday that does not match", "Mon, 06 Nov 1994 08:49:37 GMT", example);
    date("one second before 1970", "Wed, 31 Dec 1969 23:59:59 GMT", -1000);
    date("1970 begins", "Thu, 01 Jan 1970 00:00:00 GMT", 0);
    date("leap day", "Thu, 29 Feb 2024 12:00:00 GMT", utc(2024, 2, 29, 12, 0, 0));
    date("leap second", "Sat, 31 Dec 2016 23:59:60 GMT", utc(2017, 1, 1, 0, 0, 0));
    date("year 0", "Sat, 01 Jan 0000 00:00:00 GMT", -62'167'219'200'000);
    date("year 9999 ends", "Fri, 31 Dec 9999 23:59:59 GMT", 253'402'300'799'000);
    // Two-digit years: the latest that is at most 50 years after now, 2026-06-15 12:00:00.
    date("two-digit year, 49 years ahead", "Monday, 01-Jan-76 00:00:00 GMT",
         utc(2076, 1, 1, 0, 0, 0));
    date("two-digit year, 50 years ahead to the second", "Monday, 15-Jun-76 12:00:00 GMT",
         utc(2076, 6, 15, 12, 0, 0));
    date("two-digit year, a second beyond 50 years", "Monday, 15-Jun-76 12:00:01 GMT",
         utc(1976, 6, 15, 12, 0, 1));
    date("two-digit year, later in that year", "Friday, 31-Dec-76 23:59:59 GMT",
         utc(1976, 12, 31, 23, 59, 59));
    date("two-digit year, 51 years ahead", "Friday, 01-Jan-77 00:00:00 GMT",
         utc(1977, 1, 1, 0, 0, 0));
    date("two-digit year, this year", "Monday, 15-Jun-26 12:00:00 GMT", utc(2026, 6, 15, 12, 0, 0));

    noDate("empty", "");
    noDate("words", "sometime last week");
    noDate("nine-digit year", "Wed, 31 Dec 300000000 23:59:59 GMT");
    noDate("five-digit year", "Fri, 31 Dec 10000 23:59:59 GMT");
    noDate("twenty-digit day", "Wed, 99999999999999999999 Dec 2020 23:59:59 GMT");
    noDate("day 32", "Fri, 32 Dec 2020 23:59:59 GMT");
    noDate("29 February of a common year", "Wed, 29 Feb 2023 12:00:00 GMT");
    noDate("hour 24", "Thu, 31 Dec 2020 24:00:00 GMT");
    noDate("minute 60", "Thu, 31 Dec 2020 23:60:00 GMT");
    noDate("second 61", "Thu, 31 Dec 2020 23:59:61 GMT");
    noDate("month 13 by name", "Thu, 31 Dex 2020 23:59:59 GMT");
    noDate("no zone", "Thu, 31 Dec 2020 23:59:59");
    noDate("other zone", "Thu, 31 Dec 2020 23:59:59 +0100");
    noDate("zone by name", "Thu, 31 Dec 2020 23:59:59 EST");
    noDate("something after", "Thu, 31 Dec 2020 23:59:59 GMT x");
    noDate("long weekday in IMF", "Thursday, 31 Dec 2020 23:59:59 GMT");
    noDate("short weekday in RFC 850", "Thu, 31-Dec-20 23:59:59 GMT");
    noDate("four-digit year in RFC 850", "Thursday, 31-Dec-2020 23:59:59 GMT");
    noDate("ISO 8601", "2020-12-31T23:59:59Z");
    noDate("negative year", "Thu, 31 Dec -2020 23:59:59 GMT");
}

void TestAccessCheck::readsHttpDates() {
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(qint64, expected);
    const std::chrono::system_clock::time_point now(
        std::chrono::milliseconds(utc(2026, 6, 15, 12, 0, 0)));
    const std::optional<qint64> ms = parseHttpDate(text.toStdString(), now);
    QCOMPARE(ms.has_value(), valid);
    if (valid)
        QCOMPARE(*ms, expected);
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
    QTest::newRow("asctime date form") << server.url("/asctime-date") << pageTime;
    QTest::newRow("before 1970") << server.url("/before-epoch") << qint64(-60'000);
    QTest::newRow("one second before 1970") << server.url("/second-before-epoch") << qint64(-1000);
    QTest::newRow("year too far for milliseconds") << server.url("/far-future") << qint64(-1);
    QTest::newRow("1970 begins, no time") << server.url("/epoch") << qint64(-1);
    QTest::newRow("two dates, the first counts") << server.url("/two-dates") << pageTime;

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
    QTest::addColumn<int>("headStatus");
    QTest::addColumn<int>("getStatus");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("405 Method Not Allowed") << 405 << 200 << pageTime;
    QTest::newRow("501 Not Implemented") << 501 << 200 << pageTime;
    // Bot filters and some CDNs refuse HEAD with these.
    QTest::newRow("403 Forbidden") << 403 << 200 << pageTime;
    QTest::newRow("400 Bad Request") << 400 << 200 << pageTime;
    QTest::newRow("404 Not Found") << 404 << 200 << pageTime;
    QTest::newRow("200 without a date") << 200 << 200 << pageTime;
    QTest::newRow("GET refused too") << 403 << 403 << qint64(-1);
}

void TestAccessCheck::refusedHeadFallsBackToGet() {
    QFETCH(int, headStatus);
    QFETCH(int, getStatus);
    QFETCH(qint64, expected);
    TestHttpServer refusing;
    Route route = Route::modifiedAt(pageTime);
    route.status = getStatus;
    route.behaviour = Behaviour::RefuseHead;
    route.refusedHeadStatus = headStatus;
    // Only part of the body ever arrives: a GET that read past the headers would time out.
    route.body = largeBody();
    route.stallBody = true;
    refusing.setRoute("/page", route);

    AccessCheck check({.connect = 10s, .total = 20s});
    QCOMPARE(check.checkEach(refusing.url("/page")), expected);
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

void TestAccessCheck::hostileServerEndsTheCheck_data() {
    QTest::addColumn<Route>("route");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<int>("requests"); // what the first check sends
    const auto row = [](const char* name, Behaviour behaviour, qint64 expected, int requests) {
        Route route = Route::behaving(behaviour);
        route.lastModified = pageTime;
        QTest::newRow(name) << route << expected << requests;
    };
    // A failed transfer is not asked again with a GET.
    row("never answers", Behaviour::NeverAnswer, -2, 1);
    row("one byte a second", Behaviour::Trickle, -2, 1);
    row("reset mid-header", Behaviour::ResetMidHeader, -2, 1);
    row("garbage", Behaviour::Garbage, -2, 1);
    row("HTTP/0.9", Behaviour::Http09, -2, 1);
    row("10 MB of headers", Behaviour::HugeHeaders, -2, 1);
    // -1, not a time-out's -2: the GET stopped at the body's first byte.
    row("endless chunked body to the GET", Behaviour::EndlessBody, -1, 2);
    QTest::newRow("redirect loop") << Route::redirect("/hostile") << qint64(-2) << 1 + 10;
    QTest::newRow("redirect to file://")
        << Route::redirect("file:///etc/hostname") << qint64(-2) << 1;
}

void TestAccessCheck::hostileServerEndsTheCheck() {
    QFETCH(Route, route);
    QFETCH(qint64, expected);
    QFETCH(int, requests);
    TestHttpServer hostile;
    hostile.setRoute("/hostile", route);
    const QString url = hostile.url("/hostile");

    // Within shortened limits every case ends, and repeating it keeps no memory.
    AccessCheck check({.connect = 2s, .total = 2s});
    QCOMPARE(check.checkEach(url), expected);
    QCOMPARE(hostile.requestCount(), requests);
    const qint64 heapBefore = heapInUse();
    const qint64 residentBefore = restartPeakResident();
    for (int i = 0; i < 2; ++i)
        QCOMPARE(check.checkEach(url), expected);
    if (measuresMemory) {
        const qint64 kept = heapInUse() - heapBefore;
        QVERIFY2(kept < 256 * 1024, qPrintable(QString::number(kept)));
        const qint64 residentPeak = memoryStatus("VmHWM:");
        if (residentBefore > 0 && residentPeak > 0)
            QVERIFY2(residentPeak - residentBefore < 4 * 1024 * 1024,
                     qPrintable(QString::number(residentPeak - residentBefore)));
    }

    // With limits far away, abort() still ends the request at once.
    AccessCheck patient({.connect = 300s, .total = 300s});
    const int requestsBefore = hostile.requestCount();
    std::atomic<qint64> result{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = patient.checkEach(url);
        done = true;
    });
    const auto join = qScopeGuard([&] {
        patient.abort();
        worker.join();
    });
    QTRY_VERIFY_WITH_TIMEOUT(hostile.requestCount() > requestsBefore, 30'000);
    patient.abort();
    QTRY_VERIFY_WITH_TIMEOUT(done, 30'000);
    QVERIFY2(result == -1 || result == -2, qPrintable(QString::number(result)));
}

void TestAccessCheck::honoursProxyVariables_data() {
    QTest::addColumn<QByteArray>("proxy");
    QTest::addColumn<QByteArray>("noProxy");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("requestTarget");
    const QByteArray proxy = QStringLiteral("http://127.0.0.1:%1").arg(server.port()).toLatin1();
    const QByteArray deadProxy = QStringLiteral("http://127.0.0.1:%1").arg(closedPort()).toLatin1();
    // The proxy is our own server; the host behind it is never looked up.
    QTest::newRow("http_proxy carries the request")
        << proxy << QByteArray() << "http://velmora.invalid/via-proxy"
        << "http://velmora.invalid/via-proxy";
    QTest::newRow("no_proxy goes around it")
        << deadProxy << QByteArray("127.0.0.1") << server.url("/dated") << "/dated";
}

void TestAccessCheck::honoursProxyVariables() {
    QFETCH(QByteArray, proxy);
    QFETCH(QByteArray, noProxy);
    QFETCH(QString, url);
    QFETCH(QString, requestTarget);
    server.setRoute("http://velmora.invalid/via-proxy", Route::modifiedAt(pageTime));
    const ScopedEnvironment httpProxy("http_proxy", proxy);
    const ScopedEnvironment bypass("no_proxy", noProxy);
    const int before = server.requestCountFor(requestTarget);
    AccessCheck check;
    QCOMPARE(check.checkEach(url), pageTime);
    QCOMPARE(server.requestCountFor(requestTarget), before + 1);
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
    const QString url = QUrl::fromLocalFile(file.fileName()).toString();
    QCOMPARE(check.checkEach(url), pageTime);
    // An encoded NUL would end the name at the file above.
    QCOMPARE(check.checkEach(url + "%00.txt"), qint64(-1));
    // 1970 begins: no time, as from a server.
    QVERIFY(file.open(QIODevice::Append) &&
            file.setFileTime(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC),
                             QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(check.checkEach(url), qint64(-1));
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
    // The undated page is asked once more with a GET, never a third time.
    QCOMPARE(local.requestCount("GET"), 3);
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
