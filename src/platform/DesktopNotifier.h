#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <thread>

// Shows one notice at a time through the desktop's notification service on the session bus,
// each replacing the one before; a click on it calls back. Without a bus or a service nothing
// shows and nothing complains. The GUI thread never waits on the bus: the connection is made
// on a thread of its own and every call is asynchronous.
class DesktopNotifier final : public QObject {
    Q_OBJECT

public:
    // Makes the session bus connection; run once, off the GUI thread. None: never any bus.
    using BusConnector = std::function<QDBusConnection()>;

    DesktopNotifier(BusConnector connectBus, std::function<void()> clicked);
    ~DesktopNotifier() override;

    // Any later notice before this one is out replaces it, so a slow service never piles up.
    void notify(const QString& summary, const QString& body);

private slots:
    void busConnected();
    void actionInvoked(uint id, const QString& action);

private:
    struct Notice {
        QString summary;
        QString body;
    };

    void sendWaiting();
    void askCapabilities();
    void sendNotice(const Notice& notice);

    enum class Bus { NotAsked, Connecting, Connected, Missing };

    const BusConnector connectBus;
    const std::function<void()> clicked;
    std::thread connecting;
    Bus bus = Bus::NotAsked;
    // Made by the connecting thread while the bus is Connecting; the GUI thread's alone after.
    std::optional<QDBusConnection> sessionBus;
    std::optional<Notice> waiting;
    bool callInFlight = false;
    // Asked once the service answers; a service that takes markup needs the titles escaped.
    std::optional<bool> takesMarkup;
    uint shownId = 0;
};
