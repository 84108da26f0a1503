#include "NginxServer.h"
#include "UtcTime.h"
#include "model/AccessCheck.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// The access check against a real web server: Debian's nginx serving files whose times the
// test sets, over plain HTTP and over TLS with HTTP/2 and a private CA.
namespace {

const qint64 firstTime = utc(2021, 3, 4, 5, 6, 7);
const qint64 laterTime = utc(2024, 2, 29, 23, 59, 59);

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

bool openssl(const QString& directory, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start("openssl", arguments);
    return process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool makeAuthority(const QString& directory, const QString& name) {
    return openssl(directory,
                   {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-days", "2", "-keyout", name + ".key", "-out", name + ".pem",
                    "-subj", "/CN=" + name, "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign"});
}

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

private:
    void addServerColumn();
    NginxServer& server(bool tls) { return tls ? *secure : *plain; }
    // The requests nginx logged since the given count.
    QStringList requestsSince(bool tls, qsizetype count) {
        return server(tls).accessLog().mid(count);
    }

    QTemporaryDir keys;
    QTemporaryDir root;
    std::unique_ptr<NginxServer> plain;
    std::unique_ptr<NginxServer> secure;
};

void TestAccessCheckNginx::initTestCase() {
    QVERIFY2(!NginxServer::executable().isEmpty(),
             "nginx is missing: scripts/install-deps.sh --test installs it");
    QVERIFY(keys.isValid() && root.isValid());

    const QString k = keys.path();
    QVERIFY(makeAuthority(k, "authority"));
    QVERIFY(makeAuthority(k, "stranger"));
    QVERIFY(write(keys.filePath("server.ext"), "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                                               "basicConstraints=CA:FALSE\n"
                                               "extendedKeyUsage=serverAuth\n"));
    QVERIFY(
        openssl(k, {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"}));
    QVERIFY(openssl(k, {"x509", "-req", "-in", "server.csr", "-CA", "authority.pem", "-CAkey",
                        "authority.key", "-CAcreateserial", "-days", "2", "-extfile", "server.ext",
                        "-out", "server.pem"}));

    for (const QString folder : {"head-refused", "head-undated"})
        QVERIFY(QDir(root.path()).mkpath(folder));
    for (const QString page : {"page.html", "head-refused/page.html", "head-undated/page.html"}) {
        QVERIFY(write(root.filePath(page), "<html><body>a page</body></html>\n"));
        QVERIFY(setModified(root.filePath(page), firstTime));
    }

    plain = std::make_unique<NginxServer>(
        NginxServer::Options{.root = root.path(), .tls = {}, .serverDirectives = headQuirks});
    QVERIFY2(plain->isRunning(), qPrintable(plain->errorText()));
    secure = std::make_unique<NginxServer>(NginxServer::Options{
        .root = root.path(),
        .tls = NginxServer::Tls{keys.filePath("server.pem"), keys.filePath("server.key")},
        .serverDirectives = headQuirks});
    QVERIFY2(secure->isRunning(), qPrintable(secure->errorText()));
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
    AccessCheck check({}, keys.filePath("authority.pem"));
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

    AccessCheck check({}, keys.filePath("authority.pem"));
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
    QTest::newRow("another private CA") << keys.filePath("stranger.pem");
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

QTEST_GUILESS_MAIN(TestAccessCheckNginx)
#include "test_access_check_nginx.moc"
