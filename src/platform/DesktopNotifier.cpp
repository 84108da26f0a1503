#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
const QString programName = QStringLiteral("Velmora");
const QString defaultAction = QStringLiteral("default");
// What a service that draws the default action as a button writes on it: "show".
const QString defaultActionLabel = QStringLiteral("表示");
// The service decides how long a notice stays.
constexpr int serviceChosenTimeout = -1;

QDBusMessage callToService(const QString& method) {
    return QDBusMessage::createMethodCall(service, objectPath, service, method);
}

} // namespace

DesktopNotifier::DesktopNotifier(BusConnector connectBus, std::function<void()> clicked)
    : connectBus(std::move(connectBus)), clicked(std::move(clicked)) {}

DesktopNotifier::~DesktopNotifier() {
    if (connecting.joinable())
        connecting.join();
}

void DesktopNotifier::notify(const QString& summary, const QString& body) {
    if (bus == Bus::Missing)
        return;
    waiting = Notice{summary, body};
    if (bus != Bus::NotAsked) {
        sendWaiting();
        return;
    }
    if (!connectBus) {
        bus = Bus::Missing;
        waiting.reset();
        return;
    }
    bus = Bus::Connecting;
    // Connecting waits for the bus's answers; a bus that hangs must not hang the window.
    connecting = std::thread([this] {
        sessionBus.emplace(connectBus());
        // By name, so that the call carries nothing: the connection waits in sessionBus.
        QMetaObject::invokeMethod(this, "busConnected", Qt::QueuedConnection);
    });
}

void DesktopNotifier::busConnected() {
    // The thread ends once it has asked for this call. Joining it hands its connection over
    // where ThreadSanitizer sees it.
    connecting.join();
    if (!sessionBus->isConnected()) {
        bus = Bus::Missing;
        sessionBus.reset();
        waiting.reset();
        return;
    }
    bus = Bus::Connected;
    // From any sender: naming the service would have Qt look up its owner with a blocking
    // call. A stranger can only bring the window forward, by repeating the notice's number.
    sessionBus->connect(QString(), objectPath, service, QStringLiteral("ActionInvoked"), this,
                        SLOT(actionInvoked(uint, QString)));
    sendWaiting();
}

void DesktopNotifier::sendWaiting() {
    if (bus != Bus::Connected || callInFlight || !waiting)
        return;
    if (!takesMarkup) {
        askCapabilities();
        return;
    }
    sendNotice(*std::exchange(waiting, std::nullopt));
}

void DesktopNotifier::askCapabilities() {
    callInFlight = true;
    auto* call = new QDBusPendingCallWatcher(
        sessionBus->asyncCall(callToService(QStringLiteral("GetCapabilities"))), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        callInFlight = false;
        const QDBusPendingReply<QStringList> reply = *done;
        if (reply.isError()) {
            // No service now; the next notice asks again.
            waiting.reset();
            return;
        }
        takesMarkup = reply.value().contains(QStringLiteral("body-markup"));
        sendWaiting();
    });
}

void DesktopNotifier::sendNotice(const Notice& notice) {
    callInFlight = true;
    // The installed menu entry's id names the program's icon too.
    const QString entry = QGuiApplication::desktopFileName();
    QVariantMap hints;
    if (!entry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), entry);
    QDBusMessage message = callToService(QStringLiteral("Notify"));
    message << programName << shownId << entry << notice.summary
            << (*takesMarkup ? notice.body.toHtmlEscaped() : notice.body)
            << QStringList{defaultAction, defaultActionLabel} << hints << serviceChosenTimeout;
    auto* call = new QDBusPendingCallWatcher(sessionBus->asyncCall(message), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        callInFlight = false;
        const QDBusPendingReply<uint> reply = *done;
        if (!reply.isError())
            shownId = reply.value();
        sendWaiting();
    });
}

void DesktopNotifier::actionInvoked(uint id, const QString& action) {
    if (shownId != 0 && id == shownId && action == defaultAction)
        clicked();
}
