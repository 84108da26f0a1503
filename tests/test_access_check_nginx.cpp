#include "NginxServer.h"
#include "PrivateAuthority.h"
#include "UtcTime.h"
#include "model/AccessCheck.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// The access check against a real web server: Debian's nginx serving files whose times the
// test sets, over plain HTTP and over TLS with HTTP/2 and a private CA, as several hosts.
namespace {

const qint64 firstTime = utc(2021, 3, 4, 5, 6, 7);
const qint64 laterTime = utc(2024, 2, 29, 23, 59, 59);

// More hosts than libcurl keeps connections (4) or TLS sessions (5, or 8 in a share) for by
// default, so a cycle over them in turn would reuse none.
constexpr int hostCount = 10;
// nginx holds each request until 10 ms after the one before, so two requests sent together
// would overlap in its log.
const QByteArray pacing = "limit_req_zone $server_port zone=pace:1m rate=100r/s;";
const QByteArray paced = "limit_req zone=pace burst=1000;";

// /moved.html on each host of the first half sends its client to the same page on a host of
// the second half.
QByteArray redirectsToTheOtherHalf() {
    QByteArray map = "map $server_addr $other_half {\n";
    for (int host = 1; host <= hostCount / 2; ++host)
        map += "    127.0.0." + QByteArray::number(host) + " 127.0.0." +
               QByteArray::number(host + hostCount / 2) + ";\n";
    return map + "}\n";
}
const QByteArray redirect = R"(
        location = /moved.html {
            return 301 $scheme://$other_half:$server_port/page.html;
        }
)";

// Locations that answer HEAD the way some CDNs and bot filters do; their GET is served
// normally, with the file's Last-Modified.
const QByteArray headQuirks = R"(
        location /head-refused/ {
            if ($request_method = HEAD) {
                return 403;
            }
        }
        location /head-undated/ {
            if ($request_method = HEAD) {
                return 200;
            }
        }
)";

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool setModified(const QString& path, qint64 ms) {
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC),
                            QFileDevice::FileModificationTime);
}

} // namespace

class TestAccessCheckNginx : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void reportsTheFileTime_data();
    void reportsTheFileTime();
    void followsTheFile_data();
    void followsTheFile();
    void refusesACertificateTheAuthorityDidNotSign_data();
    void refusesACertificateTheAuthorityDidNotSign();
    void keepsAConnectionToEveryHostAcrossCycles_data();
    void keepsAConnectionToEveryHostAcrossCycles();
    void reconnectsWhereTheServerClosed_data();
    void reconnectsWhereTheServerClosed();
    void resumesTheSessionOfEveryHost();
    void keepsAConnectionWhereThePagesRedirect();

private:
    void addServerColumn();
    NginxServer& server(bool tls) const { return tls ? *secure : *plain; }
    // The requests nginx logged since the given count.
    QStringList requestsSince(bool tls, qsizetype count) {
        return server(tls).accessLog().mid(count);
    }
    // A cycle over one page on each host, in turn: its requests, once nginx has logged them
    // all; none when a page was not dated.
    QList<NginxServer::Request> cycle(AccessCheck& check, NginxServer& server);

    PrivateAuthority authority{hostCount};
    QTemporaryDir root;
    std::unique_ptr<NginxServer> plain;
    std::unique_ptr<NginxServer> secure;
    // HTTPS over HTTP/1.1 that closes each connection after its answer.
    std::unique_ptr<NginxServer> closing;
};

void TestAccessCheckNginx::initTestCase() {
    QVERIFY2(!NginxServer::executable().isEmpty(),
             "nginx is missing: scripts/install-deps.sh --test installs it");
    QVERIFY(authority.isValid() && root.isValid());

    for (const QString folder : {"head-refused", "head-undated"})
        QVERIFY(QDir(root.path()).mkpath(folder));
    for (const QString page : {"page.html", "head-refused/page.html", "head-undated/page.html"}) {
        QVERIFY(write(root.filePath(page), "<html><body>a page</body></html>\n"));
        QVERIFY(setModified(root.filePath(page), firstTime));
    }

    for (const bool tls : {false, true}) {
        auto& made = tls ? secure : plain;
        made = std::make_unique<NginxServer>(
            NginxServer::Options{.root = root.path(),
                                 .tls = tls ? std::optional(authority.server()) : std::nullopt,
                                 .serverDirectives = headQuirks + paced + redirect,
                                 .hosts = hostCount,
                                 .httpDirectives = pacing + redirectsToTheOtherHalf()});
        QVERIFY2(made->isRunning(), qPrintable(made->errorText()));
    }
    closing = std::make_unique<NginxServer>(
        NginxServer::Options{.root = root.path(),
                             .tls = authority.server(),
                             .serverDirectives = paced + "keepalive_timeout 0;",
                             .hosts = hostCount,
                             .httpDirectives = pacing,
                             .http2 = false});
    QVERIFY2(closing->isRunning(), qPrintable(closing->errorText()));
}

void TestAccessCheckNginx::addServerColumn() {
    QTest::addColumn<bool>("tls");
}

void TestAccessCheckNginx::reportsTheFileTime_data() {
    addServerColumn();
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("methods");
    for (const bool tls : {false, true}) {
        const char* over = tls ? "HTTP/2 over TLS" : "HTTP/1.1";
        QTest::addRow("%s, HEAD answers", over) << tls << "/page.html" << QStringList{"HEAD"};
        QTest::addRow("%s, HEAD refused", over)
            << tls << "/head-refused/page.html" << QStringList{"HEAD", "GET"};
        QTest::addRow("%s, HEAD undated", over)
            << tls << "/head-undated/page.html" << QStringList{"HEAD", "GET"};
    }
}

void TestAccessCheckNginx::reportsTheFileTime() {
    QFETCH(bool, tls);
    QFETCH(QString, path);
    QFETCH(QStringList, methods);
    const qsizetype logged = server(tls).accessLog().size();
    AccessCheck check({}, authority.certificateFile());
    QCOMPARE(check.checkEach(server(tls).url(path)), firstTime);

    // nginx logs a request just after it answered it.
    QTRY_COMPARE(requestsSince(tls, logged).size(), methods.size());
    const QStringList requests = requestsSince(tls, logged);
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const QStringList fields = requests[i].split(' ');
        QCOMPARE(fields.value(0), methods[i]);
        QCOMPARE(fields.value(2), tls ? "HTTP/2.0" : "HTTP/1.1");
    }
}

void TestAccessCheckNginx::followsTheFile_data() {
    addServerColumn();
    QTest::newRow("HTTP/1.1") << false;
    QTest::newRow("HTTP/2 over TLS") << true;
}

void TestAccessCheckNginx::followsTheFile() {
    QFETCH(bool, tls);
    const QString name = tls ? "followed-tls.html" : "followed.html";
    const QString file = root.filePath(name);
    const QString url = server(tls).url('/' + name);
    QVERIFY(write(file, "<html></html>"));
    QVERIFY(setModified(file, firstTime));
    const qsizetype logged = server(tls).accessLog().size();

    AccessCheck check({}, authority.certificateFile());
    QCOMPARE(check.checkEach(url), firstTime);
    QCOMPARE(check.checkEach(url), firstTime); // unchanged
    QVERIFY(setModified(file, laterTime));
    QCOMPARE(check.checkEach(url), laterTime); // touched
    QVERIFY(QFile::remove(file));
    QCOMPARE(check.checkEach(url), qint64(-1)); // removed

    // Nothing conditional is asked, so no answer is a 304 that would hide the time.
    QTRY_COMPARE(requestsSince(tls, logged).size(), 3 + 2);
    const QStringList requests = requestsSince(tls, logged);
    for (const QString& request : requests) {
        const QStringList fields = request.split(' ');
        QVERIFY2(fields.value(3) != "304", qPrintable(request));
        QVERIFY2(fields.value(4) == "-", qPrintable(request));
    }
    QVERIFY(requests.last().startsWith("GET ") && requests.last().contains(" 404 "));
}

void TestAccessCheckNginx::refusesACertificateTheAuthorityDidNotSign_data() {
    QTest::addColumn<QString>("authorities");
    QTest::newRow("another private CA") << authority.makeStranger("stranger");
    QTest::newRow("the system's store") << QString();
}

void TestAccessCheckNginx::refusesACertificateTheAuthorityDidNotSign() {
    QFETCH(QString, authorities);
    const qsizetype logged = secure->accessLog().size();
    AccessCheck check({}, authorities);
    const qint64 result = check.checkEach(secure->url("/page.html"));
    QVERIFY2(result == -1 || result == -2, qPrintable(QString::number(result)));
    // The handshake failed, so no request reached the server.
    QCOMPARE(requestsSince(true, logged).size(), 0);
}

QList<NginxServer::Request> TestAccessCheckNginx::cycle(AccessCheck& check, NginxServer& server) {
    const qsizetype logged = server.requests().size();
    for (int host = 0; host < hostCount; ++host)
        if (check.checkEach(server.url("/page.html", host)) != firstTime)
            return {};
    const auto requests = [&] { return server.requests().mid(logged); };
    if (!QTest::qWaitFor([&] { return requests().size() >= hostCount; }))
        return {};
    return requests();
}

namespace {

QSet<qint64> connectionsOf(const QList<NginxServer::Request>& requests) {
    QSet<qint64> connections;
    for (const auto& request : requests)
        connections.insert(request.connection);
    return connections;
}

} // namespace

void TestAccessCheckNginx::keepsAConnectionToEveryHostAcrossCycles_data() {
    followsTheFile_data();
}

void TestAccessCheckNginx::keepsAConnectionToEveryHostAcrossCycles() {
    QFETCH(bool, tls);
    AccessCheck check({}, authority.certificateFile());
    const auto first = cycle(check, server(tls));
    const auto second = cycle(check, server(tls));
    QCOMPARE(first.size(), hostCount);
    QCOMPARE(second.size(), hostCount);

    // One connection to each host, opened in the first cycle and used again by the second.
    QCOMPARE(connectionsOf(first).size(), hostCount);
    QCOMPARE(connectionsOf(second), connectionsOf(first));
    const auto all = first + second;
    for (qsizetype i = 0; i < all.size(); ++i) {
        QCOMPARE(all[i].address, QStringLiteral("127.0.0.%1").arg(i % hostCount + 1));
        if (i > 0)
            QVERIFY2(all[i].startMs >= all[i - 1].endMs, "two requests overlapped");
    }
}

void TestAccessCheckNginx::reconnectsWhereTheServerClosed_data() {
    followsTheFile_data();
}

void TestAccessCheckNginx::reconnectsWhereTheServerClosed() {
    QFETCH(bool, tls);
    AccessCheck check({}, authority.certificateFile());
    QCOMPARE(cycle(check, server(tls)).size(), hostCount);
    QVERIFY(server(tls).restart());

    // Every page is dated as before, over one new connection per host.
    const auto again = cycle(check, server(tls));
    QCOMPARE(again.size(), hostCount);
    QCOMPARE(connectionsOf(again).size(), hostCount);
}

void TestAccessCheckNginx::resumesTheSessionOfEveryHost() {
    AccessCheck check({}, authority.certificateFile());
    const auto first = cycle(check, *closing);
    const auto second = cycle(check, *closing);
    QCOMPARE(first.size(), hostCount);
    QCOMPARE(second.size(), hostCount);
    // Every request needs a connection of its own; from the second cycle on, each handshake
    // resumes the session of the host's connection before.
    QCOMPARE(connectionsOf(first + second).size(), 2 * hostCount);
    for (const auto& request : first)
        QVERIFY(!request.sessionResumed);
    for (const auto& request : second)
        QVERIFY2(request.sessionResumed, qPrintable(request.address));
}

void TestAccessCheckNginx::keepsAConnectionWhereThePagesRedirect() {
    AccessCheck check;
    const qsizetype logged = plain->requests().size();
    for (int cycle = 0; cycle < 2; ++cycle)
        for (int host = 0; host < hostCount / 2; ++host)
            QCOMPARE(check.checkEach(plain->url("/moved.html", host)), firstTime);

    // Each page is asked on its host and then on the host it redirects to, each over the
    // connection the first cycle opened.
    QTRY_COMPARE(plain->requests().size(), logged + 2 * hostCount);
    const auto requests = plain->requests().mid(logged);
    QCOMPARE(connectionsOf(requests.mid(0, hostCount)).size(), hostCount);
    QCOMPARE(connectionsOf(requests.mid(hostCount)), connectionsOf(requests.mid(0, hostCount)));
}

QTEST_GUILESS_MAIN(TestAccessCheckNginx)
#include "test_access_check_nginx.moc"
