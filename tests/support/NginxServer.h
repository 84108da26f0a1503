#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// Debian's nginx as a real web server for tests and benchmarks: one process on a free
// loopback port, with a configuration, logs and temporary files of its own in a temporary
// directory. It is started by the constructor and stopped by the destructor.
class NginxServer {
public:
    struct Tls {
        QString certificateFile; // PEM
        QString keyFile;         // PEM
    };
    struct Options {
        QString root;                // the directory served
        std::optional<Tls> tls;      // HTTPS with HTTP/2 when set, plain HTTP/1.1 otherwise
        QByteArray serverDirectives; // added to the server block as they are (locations, ...)
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
    QString url(const QString& path) const;
    // One line per request answered so far: method, path, protocol, status and the
    // If-Modified-Since the client sent ("-" for none), separated by blanks.
    QStringList accessLog() const;

private:
    bool start(const Options& options);
    QByteArray configuration(const Options& options) const;

    QTemporaryDir directory;
    QProcess process;
    quint16 listenPort = 0;
    bool tls = false;
    QString failure;
};
