#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// Debian's nginx as a real web server for tests and benchmarks: one process on a free
// loopback port, with a configuration, logs and temporary files of its own in a temporary
// directory. It is started by the constructor and stopped by the destructor. It can stand in
// for several hosts: Linux routes all of 127.0.0.0/8 to the loopback device, so host i listens
// on 127.0.0.(i + 1), all on the same port.
class NginxServer {
public:
    struct Tls {
        QString certificateFile; // PEM
        QString keyFile;         // PEM
    };
    struct Options {
        QString root{};                // the directory served
        std::optional<Tls> tls{};      // HTTPS when set, plain HTTP/1.1 otherwise
        QByteArray serverDirectives{}; // added to the server block as they are (locations, ...)
        int hosts = 1;                 // loopback addresses listened on
        QByteArray httpDirectives{};   // added to the http block as they are (zones, ...)
        bool http2 = true;             // HTTPS offers HTTP/2 besides HTTP/1.1
    };
    // One line of the access log.
    struct Request {
        QString method;
        QString path;
        QString protocol;
        int status = 0;
        QString address;     // the host's address the request came to
        qint64 connection;   // nginx's serial number of the connection
        bool sessionResumed; // over TLS: the connection's handshake resumed a session
        qint64 startMs;      // when nginx read the request, on its millisecond clock
        qint64 endMs;        // when it finished the answer
    };

    explicit NginxServer(const Options& options);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // The nginx program, or an empty text when it is not installed.
    static QString executable();

    bool isRunning() const { return process.state() == QProcess::Running; }
    // Why it is not running: nginx's own complaint, or what was missing.
    QString errorText() const { return failure; }

    quint16 port() const { return listenPort; }
    // For a benchmark that places the server on a CPU of its choosing.
    qint64 processId() const { return process.processId(); }
    QString url(const QString& path, int host = 0) const;
    // One line per request answered so far: method, path, protocol, status and the
    // If-Modified-Since the client sent ("-" for none), separated by blanks, and then the
    // fields of Request that follow its status.
    QStringList accessLog() const;
    QList<Request> requests() const;
    // Stops nginx, which closes every connection it holds, and starts it again with the same
    // configuration; the log goes on. Returns whether it runs again.
    bool restart();

private:
    bool start(const Options& options);
    bool run();
    void stop();
    QByteArray configuration(const Options& options) const;

    QTemporaryDir directory;
    QProcess process;
    quint16 listenPort = 0;
    bool tls = false;
    int hosts = 1;
    QString failure;
};
