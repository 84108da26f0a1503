#include "NginxServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

constexpr int startAttempts = 5;
constexpr int startWaitMs = 10'000;

// A port that was free a moment ago. Another program may take it before nginx does; the
// start is then tried again with another one.
quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

QByteArray fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

NginxServer::NginxServer(const Options& options) : tls(options.tls.has_value()) {
    if (!directory.isValid()) {
        failure = QStringLiteral("no temporary directory");
        return;
    }
    if (executable().isEmpty()) {
        failure = QStringLiteral("nginx is not installed");
        return;
    }
    for (int attempt = 0; attempt < startAttempts; ++attempt)
        if (start(options))
            return;
}

NginxServer::~NginxServer() {
    if (process.state() == QProcess::NotRunning)
        return;
    // SIGTERM makes nginx close at once without waiting for open connections.
    process.terminate();
    if (!process.waitForFinished(startWaitMs)) {
        process.kill();
        process.waitForFinished(startWaitMs);
    }
}

QString NginxServer::executable() {
    // Debian installs it in sbin, which is not on every user's PATH.
    const QString inPath = QStandardPaths::findExecutable("nginx");
    return inPath.isEmpty() ? QStandardPaths::findExecutable("nginx", {"/usr/sbin"}) : inPath;
}

QString NginxServer::url(const QString& path) const {
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(tls ? "https" : "http")
        .arg(listenPort)
        .arg(path);
}

QStringList NginxServer::accessLog() const {
    const QString text = QString::fromUtf8(fileText(directory.filePath("access.log")));
    return text.split('\n', Qt::SkipEmptyParts);
}

bool NginxServer::start(const Options& options) {
    listenPort = freeLoopbackPort();
    QFile config(directory.filePath("nginx.conf"));
    if (listenPort == 0 || !config.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        config.write(configuration(options)) < 0 || !config.flush()) {
        failure = QStringLiteral("cannot write the configuration");
        return false;
    }
    config.close();
    QDir(directory.path()).mkpath("temp");

    // -e: the error log goes to our directory from the first line on, before the
    // configuration is read, instead of to the system's log directory.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(executable(), {"-p", directory.path() + '/', "-c", config.fileName(), "-e",
                                 directory.filePath("error.log")});
    const QDeadlineTimer deadline(startWaitMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        if (accepts(listenPort)) {
            failure.clear();
            return true;
        }
        process.waitForFinished(50);
    }
    failure = QString::fromUtf8(fileText(directory.filePath("error.log")));
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(startWaitMs);
    }
    return false;
}

QByteArray NginxServer::configuration(const Options& options) const {
    // One process, not a master with workers: nothing outlives a killed test, and no worker
    // drops to the unprivileged user when the tests run as root (that user could not read
    // the private temporary directories the files are served from).
    QByteArray text = R"(daemon off;
master_process off;
worker_processes 1;
pid nginx.pid;
error_log error.log warn;
events {
    worker_connections 1024;
}
http {
    log_format requests '$request_method $uri $server_protocol $status $http_if_modified_since';
    access_log access.log requests;
    client_body_temp_path temp/body;
    proxy_temp_path temp/proxy;
    fastcgi_temp_path temp/fastcgi;
    uwsgi_temp_path temp/uwsgi;
    scgi_temp_path temp/scgi;
    types {
        text/html html;
    }
    default_type application/octet-stream;
    server {
)";
    text += "        listen 127.0.0.1:" + QByteArray::number(listenPort);
    if (options.tls) {
        text += " ssl http2;\n";
        text += "        ssl_certificate " + options.tls->certificateFile.toUtf8() + ";\n";
        text += "        ssl_certificate_key " + options.tls->keyFile.toUtf8() + ";\n";
    } else {
        text += ";\n";
    }
    text += "        server_name localhost;\n";
    text += "        root " + options.root.toUtf8() + ";\n";
    text += options.serverDirectives;
    text += "\n    }\n}\n";
    return text;
}
