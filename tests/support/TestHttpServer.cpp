#include "TestHttpServer.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLocale>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <sys/socket.h>

using Route = TestHttpServer::Route;
using Behaviour = Route::Behaviour;

namespace {

QByteArray httpDate(qint64 ms) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    return QLocale::c().toString(time, u"ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1();
}

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    default:
        return "Status";
    }
}

// A close with a zero linger time makes the kernel send RST instead of FIN.
void resetSocket(QTcpSocket* socket) {
    const linger immediate{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediate,
                 sizeof immediate);
    socket->abort();
}

// Reads the requests of one connection one after another and answers each in turn; it is a
// child of its socket, so both go together.
class Connection : public QObject {
public:
    Connection(QTcpSocket* socket, TestHttpServer::State& state)
        : QObject(socket), socket(socket), state(state) {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readRequests);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::bytesWritten, this, &Connection::feed);
    }

private:
    void readRequests() {
        if (silent) {
            socket->readAll();
            return;
        }
        buffer += socket->readAll();
        // Clients here send no request bodies, so a blank line ends every request.
        for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0 && !silent;
             end = buffer.indexOf("\r\n\r\n")) {
            const QByteArray head = buffer.left(end);
            buffer.remove(0, end + 4);
            answer(head);
        }
    }

    void answer(const QByteArray& head) {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        const QByteArray method = requestLine.value(0);
        const QByteArray target = requestLine.value(1);
        const QString path = QString::fromLatin1(target.split('?').value(0));
        bool close = false;
        for (const QByteArray& line : lines.mid(1))
            close |= line.trimmed().toLower() == "connection: close";

        Route route;
        {
            const std::lock_guard lock(state.mutex);
            ++state.requests;
            ++state.requestsByMethod[method];
            ++state.requestsByPath[path];
            const auto found = state.routes.constFind(path);
            if (found == state.routes.cend())
                route.status = 404;
            else
                route = *found;
        }

        switch (route.behaviour) {
        case Behaviour::NeverAnswer:
            silent = true;
            return;
        case Behaviour::ResetConnection:
            silent = true;
            resetSocket(socket);
            return;
        case Behaviour::Garbage:
            silent = true;
            static constexpr char garbage[] = "\x16\x03\x01 this is no answer \xff\xfe\r\n\r\n";
            socket->write(garbage, sizeof garbage - 1);
            socket->disconnectFromHost();
            return;
        case Behaviour::ResetMidHeader:
            silent = true;
            socket->write("HTTP/1.1 200 OK\r\nLast-Modified: Thu, 04 Ma");
            socket->flush();
            resetSocket(socket);
            return;
        case Behaviour::Http09:
            silent = true;
            socket->write("<html><body>a page from long ago</body></html>\n");
            socket->disconnectFromHost();
            return;
        case Behaviour::HugeHeaders:
            silent = true;
            streamHugeHeaders();
            return;
        case Behaviour::EndlessBody:
            silent = method != "HEAD";
            streamEndlessBody(method);
            return;
        case Behaviour::Trickle:
            silent = true;
            trickle(method, route);
            return;
        case Behaviour::RefuseHead:
            if (method == "HEAD") {
                Route refusal;
                refusal.status = route.refusedHeadStatus;
                refusal.headers = {{"Allow", "GET"}};
                route = refusal;
            }
            break;
        case Behaviour::Normal:
            break;
        }
        respond(method, route, close);
    }

    void respond(const QByteArray& method, const Route& route, bool close) {
        socket->write(response(method, route, close));
        if (close)
            socket->disconnectFromHost();
    }

    QByteArray response(const QByteArray& method, const Route& route, bool close) {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' +
                         reasonPhrase(route.status) + "\r\n";
        if (!route.rawLastModified.isEmpty())
            out += "Last-Modified: " + route.rawLastModified + "\r\n";
        else if (route.lastModified)
            out += "Last-Modified: " + httpDate(*route.lastModified) + "\r\n";
        for (const auto& [name, value] : route.headers)
            out += name + ": " + value + "\r\n";
        out += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
        if (close)
            out += "Connection: close\r\n";
        out += "\r\n";
        if (method != "HEAD" && route.stallBody) {
            silent = true;
            out += route.body.left(qMax<qsizetype>(1, route.body.size() / 2));
        } else if (method != "HEAD") {
            out += route.body;
        }
        return out;
    }

    // Hostile answers far larger than memory should hold are made piece by piece as the
    // client reads, so the server's own memory stays small whatever the client does.
    void stream(std::function<QByteArray()> pieces) {
        nextPiece = std::move(pieces);
        feed();
    }

    void feed() {
        constexpr qint64 queueLimit = 64 * 1024;
        while (nextPiece && socket->bytesToWrite() < queueLimit) {
            const QByteArray piece = nextPiece();
            if (piece.isEmpty())
                nextPiece = nullptr;
            else
                socket->write(piece);
        }
    }

    void streamHugeHeaders() {
        constexpr int fieldCount = 10 * 1024;
        const QByteArray filler(1000, 'f');
        socket->write("HTTP/1.1 200 OK\r\n");
        stream([filler, sent = 0]() mutable -> QByteArray {
            if (sent > fieldCount)
                return {};
            if (sent++ == fieldCount)
                return "Content-Length: 0\r\n\r\n";
            return "X-Filler-" + QByteArray::number(sent) + ": " + filler + "\r\n";
        });
    }

    void streamEndlessBody(const QByteArray& method) {
        socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        if (method == "HEAD")
            return;
        const QByteArray chunk = "1000\r\n" + QByteArray(0x1000, 'x') + "\r\n";
        stream([chunk] { return chunk; });
    }

    void trickle(const QByteArray& method, const Route& route) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this,
                [this, timer, rest = response(method, route, false)]() mutable {
                    socket->write(rest.left(1));
                    rest.remove(0, 1);
                    if (rest.isEmpty())
                        timer->stop();
                });
        timer->start(1000);
    }

    QTcpSocket* socket;
    TestHttpServer::State& state;
    QByteArray buffer;
    // The rest of a streamed answer, piece by piece; empty when it is all sent.
    std::function<QByteArray()> nextPiece;
    bool silent = false; // once set, whatever else arrives is dropped unanswered
};

} // namespace

Route Route::modifiedAt(qint64 ms) {
    Route route;
    route.lastModified = ms;
    return route;
}

Route Route::redirect(const QByteArray& location, int status) {
    Route route;
    route.status = status;
    route.headers = {{"Location", location}};
    return route;
}

Route Route::behaving(Behaviour behaviour) {
    Route route;
    route.behaviour = behaviour;
    return route;
}

TestHttpServer::TestHttpServer() {
    std::promise<quint16> ready;
    std::future<quint16> port = ready.get_future();
    thread = std::thread([this, ready = std::move(ready)]() mutable { serve(ready); });
    listenPort = port.get();
    if (listenPort == 0) {
        thread.join();
        qFatal("TestHttpServer: cannot listen on 127.0.0.1");
    }
}

TestHttpServer::~TestHttpServer() {
    stopping = true;
    thread.join();
}

void TestHttpServer::serve(std::promise<quint16>& ready) {
    QEventLoop loop;
    // Connections are children of the listener and go with it when this function returns.
    QTcpServer listener;
    QObject::connect(&listener, &QTcpServer::newConnection, &listener, [&] {
        while (QTcpSocket* socket = listener.nextPendingConnection()) {
            {
                const std::lock_guard lock(state.mutex);
                ++state.connections;
            }
            new Connection(socket, state);
        }
    });
    if (!listener.listen(QHostAddress::LocalHost, 0)) {
        ready.set_value(0);
        return;
    }
    ready.set_value(listener.serverPort());
    // Polling a flag keeps the owner off this thread's Qt objects altogether.
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &loop, [&] {
        if (stopping)
            loop.quit();
    });
    stopCheck.start(10);
    loop.exec();
}

void TestHttpServer::setRoute(const QString& path, const Route& route) {
    const std::lock_guard lock(state.mutex);
    state.routes.insert(path, route);
}

void TestHttpServer::setLastModified(const QString& path, qint64 ms) {
    const std::lock_guard lock(state.mutex);
    Route& route = state.routes[path];
    route.lastModified = ms;
    route.rawLastModified.clear();
}

QString TestHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(listenPort).arg(path);
}

int TestHttpServer::requestCount() const {
    const std::lock_guard lock(state.mutex);
    return state.requests;
}

int TestHttpServer::requestCount(const QByteArray& method) const {
    const std::lock_guard lock(state.mutex);
    return state.requestsByMethod.value(method);
}

int TestHttpServer::requestCountFor(const QString& path) const {
    const std::lock_guard lock(state.mutex);
    return state.requestsByPath.value(path);
}

int TestHttpServer::connectionCount() const {
    const std::lock_guard lock(state.mutex);
    return state.connections;
}

void TestHttpServer::resetCounters() {
    const std::lock_guard lock(state.mutex);
    state.requestsByMethod.clear();
    state.requestsByPath.clear();
    state.requests = 0;
    state.connections = 0;
}
