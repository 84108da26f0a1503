// The real program on a real X display: files in a scratch directory, pages on a local
// server, keys typed with xdotool.
#include "ScratchDirectory.h"
#include "TestHttpServer.h"

#include <QProcess>
#include <QtTest>

namespace {

// Whole seconds, as an HTTP date can carry them.
constexpr qint64 firstTime = 1'700'000'000'000;
constexpr qint64 raisedTime = 1'700'000'600'000;

QString runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(15000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

class RunningVelmora {
public:
    explicit RunningVelmora(const QString& directory) {
        process.setWorkingDirectory(directory);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(VELMORA_BINARY), {});
    }
    ~RunningVelmora() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // The main window's X id once it is on screen.
    QString windowId() {
        const QString ids = runTool("xdotool", {"search", "--sync", "--onlyvisible", "--pid",
                                                QString::number(process.processId()), "--name",
                                                "^Velmora$"});
        return ids.section(u'\n', 0, 0);
    }

    void typeKeys(const QString& keys) {
        const QString window = windowId();
        QVERIFY2(!window.isEmpty(), "the main window never appeared");
        runTool("xdotool", {"windowfocus", "--sync", window});
        runTool("xdotool", {"key", "--clearmodifiers", keys});
    }

    QProcess process;
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void raisedTimeReachesTheFileOnExit();
    void exitDoesNotWaitForASilentServer();
};

void TestEndToEnd::init() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (scripts/test.sh starts one)");
}

void TestEndToEnd::raisedTimeReachesTheFileOnExit() {
    TestHttpServer server;
    server.setRoute("/page", TestHttpServer::Route::modifiedAt(firstTime));
    ScratchDirectory scratch;
    const QByteArray url = server.url("/page").toUtf8();
    ScratchDirectory::write("Group.dat", "1,ページ," + url + "," + QByteArray::number(firstTime) + ",");
    ScratchDirectory::write("Setting.ini", "/bin/true,1,");

    RunningVelmora velmora(scratch.path());
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= 1, 20000);
    server.setLastModified("/page", raisedTime);
    const int before = server.requestCountFor("/page");
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/page") >= before + 2, 20000);

    velmora.typeKeys("ctrl+x");
    QVERIFY(velmora.process.waitForFinished(10000));
    QCOMPARE(velmora.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(velmora.process.exitCode(), 0);
    QCOMPARE(ScratchDirectory::read("Group.dat"),
             "1,ページ," + url + "," + QByteArray::number(raisedTime) + ",");
    QCOMPARE(ScratchDirectory::read("Setting.ini"), QByteArray("/bin/true,1,"));
}

void TestEndToEnd::exitDoesNotWaitForASilentServer() {
    TestHttpServer server;
    server.setRoute("/silent",
                    TestHttpServer::Route::behaving(TestHttpServer::Route::Behaviour::NeverAnswer));
    ScratchDirectory scratch;
    const QByteArray url = server.url("/silent").toUtf8();
    ScratchDirectory::write("Group.dat", "1,silent," + url + ",5000,");
    ScratchDirectory::write("Setting.ini", ",1,");

    RunningVelmora velmora(scratch.path());
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCountFor("/silent") >= 1, 20000);
    velmora.typeKeys("ctrl+x");
    // The request's own time-out is far longer than this bound.
    QVERIFY(velmora.process.waitForFinished(5000));
    QCOMPARE(velmora.process.exitCode(), 0);
    QCOMPARE(ScratchDirectory::read("Group.dat"), "1,silent," + url + ",5000,");
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
