// The desktop notice, sent to a stand-in notification service on a private session bus.
#include "ScratchDirectory.h"
#include "app/Velmora.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryFile>
#include <QtTest>

namespace {

const QString servicePath = QStringLiteral("/org/freedesktop/Notifications");
const QString serviceName = QStringLiteral("org.freedesktop.Notifications");

// Keeps each notice as "replaced id, summary: body [first action]" and numbers it 7.
class NotificationService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList notices;

public slots:
    QStringList GetCapabilities() { return {"body", "body-markup"}; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        notices
            << QStringLiteral("%1, %2: %3 [%4]").arg(replaces).arg(summary, body, actions.value(0));
        return 7;
    }
};

// Once live, "now" stamps every answer with a later time and "news" answers newsTime; before,
// both answer the stored time, so nothing rises until the test is ready.
class ServerChecker final : public PageChecker {
public:
    std::atomic<bool> live{false};
    std::atomic<qint64> newsTime{1000};
    std::atomic<int> nowRequests{0};

    qint64 checkEach(const QString& url) override {
        if (!live)
            return 1000;
        return url.contains(u"now") ? 2000 + nowRequests++ : newsTime.load();
    }
    void abort() override {}

    // Lets a few cycles pass.
    void cycles() {
        const int from = nowRequests;
        QTRY_VERIFY(nowRequests >= from + 5);
    }
};

} // namespace

class TestNotifications : public QObject {
    Q_OBJECT

private slots:
    void updatesAreNoticedOnceAndAClickBringsTheWindow() {
        QTemporaryFile config;
        QVERIFY(config.open());
        // The policy of Debian's session bus, without the folders of services it could start.
        config.write("<busconfig><listen>unix:tmpdir=/tmp</listen><policy context='default'>"
                     "<allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/>"
                     "<allow own='*'/></policy></busconfig>");
        config.flush();
        QProcess bus;
        bus.start("dbus-daemon",
                  {"--nofork", "--print-address", "--config-file", config.fileName()});
        const auto stopBus = qScopeGuard([&] { bus.kill(), bus.waitForFinished(); });
        QVERIFY2(bus.waitForReadyRead(10000), "dbus-daemon did not start");
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        QDBusConnection serviceSide = QDBusConnection::connectToBus(address, "service");
        NotificationService service;
        serviceSide.registerObject(servicePath, &service, QDBusConnection::ExportAllSlots);
        serviceSide.registerService(serviceName);

        ScratchDirectory scratch;
        ScratchDirectory::write("Setting.ini", ",1,");
        ScratchDirectory::write("Group.dat", "2,Now,http://now/,1000,R&D news,http://news/,1000,");
        auto* checker = new ServerChecker;
        VelmoraServices services;
        services.makeChecker = [checker] { return std::unique_ptr<PageChecker>(checker); };
        services.tickWait = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
        services.startWindowTime = std::chrono::milliseconds(0);
        services.notificationBus = [address] {
            return QDBusConnection::connectToBus(address, "program");
        };
        Velmora window(services);
        QTRY_VERIFY(window.isActiveWindow());
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QTRY_VERIFY(elsewhere.isActiveWindow());

        // Named once, however many cycles it keeps rising in.
        checker->live = true;
        const QString now = "0, ページが更新されました: Now [default]";
        QTRY_COMPARE(service.notices, QStringList{now});
        checker->cycles();
        QCOMPARE(service.notices, QStringList{now});

        // With the service gone the notice goes nowhere; once it is back, the next one shows,
        // in place of the last one shown.
        serviceSide.unregisterService(serviceName);
        checker->newsTime = 2000;
        checker->cycles();
        serviceSide.registerService(serviceName);
        checker->newsTime = 3000;
        checker->cycles();
        const QString news = "7, ページが更新されました: R&amp;D news [default]";
        QTRY_COMPARE(service.notices, (QStringList{now, news}));

        // Only the default action of the notice shown now brings the window.
        const auto click = [&](uint id, const QString& action) {
            serviceSide.send(QDBusMessage::createSignal(servicePath, serviceName, "ActionInvoked")
                             << id << action);
        };
        click(8, "default");
        click(7, "other");
        QTest::qWait(500);
        QVERIFY(!window.isActiveWindow());
        click(7, "default");
        QTRY_VERIFY(window.isActiveWindow());
        // The user looking at the window needs no notice.
        checker->newsTime = 4000;
        checker->cycles();
        QCOMPARE(service.notices, (QStringList{now, news}));
    }
};

QTEST_MAIN(TestNotifications)
#include "test_notifications.moc"
