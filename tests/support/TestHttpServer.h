#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

// A small HTTP/1.1 server on 127.0.0.1 for tests. It runs an event loop on a thread of its own,
// because the code under test blocks its caller; every public member may be called from any
// thread. Its Qt objects never leave that thread and the other threads reach it only through
// a standard mutex, so ThreadSanitizer sees every hand-over.
class TestHttpServer {
public:
    struct Route {
        enum class Behaviour {
            Normal,          // the status, headers and body below
            NeverAnswer,     // read the request and stay silent
            ResetConnection, // answer the request with a TCP reset
            Garbage,         // write bytes that are not HTTP and close
            RefuseHead,      // HEAD gets refusedHeadStatus, GET is answered normally
            Trickle,         // the normal answer, one byte a second
            ResetMidHeader,  // half a status line and a field, then a TCP reset
            Http09,          // a bare body with no status line, as HTTP/0.9 answered
            HugeHeaders,     // a status line, then 10 MB of header fields
            EndlessBody,     // a chunked body that never ends (the headers alone to HEAD)
        };

        int status = 200;
        std::optional<qint64> lastModified; // ms since the epoch, sent as an HTTP date
        QByteArray rawLastModified;         // sent verbatim when not empty
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        Behaviour behaviour = Behaviour::Normal;
        int refusedHeadStatus = 405;
        // GET only: announce the whole body, send its first bytes and then fall silent, so a
        // client that reads past the headers waits for ever.
        bool stallBody = false;

        static Route modifiedAt(qint64 ms);
        static Route redirect(const QByteArray& location, int status = 301);
        static Route behaving(Behaviour behaviour);
    };

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Paths without a route get a plain 404.
    void setRoute(const QString& path, const Route& route);
    // Changes a page's date while the server runs; an unknown path becomes a dated page.
    void setLastModified(const QString& path, qint64 ms);

    quint16 port() const { return listenPort; }
    QString url(const QString& path) const;

    int requestCount() const;
    int requestCount(const QByteArray& method) const;
    int requestCountFor(const QString& path) const;
    int connectionCount() const;
    void resetCounters();

    // What the server thread shares with the callers.
    struct State {
        mutable std::mutex mutex;
        QHash<QString, Route> routes;
        QHash<QByteArray, int> requestsByMethod;
        QHash<QString, int> requestsByPath;
        int requests = 0;
        int connections = 0;
    };

private:
    void serve(std::promise<quint16>& ready);

    State state;
    std::atomic<bool> stopping{false};
    std::thread thread;
    quint16 listenPort = 0;
};
