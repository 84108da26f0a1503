#include "NginxServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>

namespace {

constexpr int startAttempts = 5;
constexpr int startWaitMs = 10'000;
// What nginx's access log holds after the If-Modified-Since header, whose date has blanks.
constexpr qsizetype trailingFields = 5;

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

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

// nginx writes seconds with three decimals.
qint64 milliseconds(const QString& seconds) {
    return qRound64(seconds.toDouble() * 1000);
}

QString hostAddress(int host) {
    return QStringLiteral("127.0.0.%1").arg(host + 1);
}

} // namespace

NginxServer::NginxServer(const Options& options)
    : tls(options.tls.has_value()), hosts(std::clamp(options.hosts, 1, 254)) {
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
    stop();
}

void NginxServer::stop() {
    if (process.state() == QProcess::NotRunning)
        return;
    // SIGTERM makes nginx close at once without waiting for open connections.
    process.terminate();
    if (!process.waitForFinished(startWaitMs)) {
        process.kill();
        process.waitForFinished(startWaitMs);
    }
}

bool NginxServer::restart() {
    stop();
    return run();
}

QString NginxServer::executable() {
    // Debian installs it in sbin, which is not on every user's PATH.
    const QString inPath = QStandardPaths::findExecutable("nginx");
    return inPath.isEmpty() ? QStandardPaths::findExecutable("nginx", {"/usr/sbin"}) : inPath;
}

QString NginxServer::url(const QString& path, int host) const {
    return QStringLiteral("%1://%2:%3%4")
        .arg(tls ? "https" : "http", hostAddress(host))
        .arg(listenPort)
        .arg(path);
}

QStringList NginxServer::accessLog() const {
    const QString text = QString::fromUtf8(fileText(directory.filePath("access.log")));
    return text.split('\n', Qt::SkipEmptyParts);
}

QList<NginxServer::Request> NginxServer::requests() const {
    QList<Request> requests;
    for (const QString& line : accessLog()) {
        const QStringList fields = line.split(' ');
        if (fields.size() < 5 + trailingFields)
            continue;
        const QStringList trailing = fields.mid(fields.size() - trailingFields);
        const qint64 endMs = milliseconds(trailing[3]);
        requests.append({fields[0], fields[1], fields[2], fields[3].toInt(), trailing[0],
                         trailing[1].toLongLong(), trailing[2] == "r",
                         endMs - milliseconds(trailing[4]), endMs});
    }
    return requests;
}

bool NginxServer::start(const Options& options) {
    listenPort = freeLoopbackPort();
    if (listenPort == 0 || !writeFile(directory.filePath("nginx.conf"), configuration(options))) {
        failure = QStringLiteral("cannot write the configuration");
        return false;
    }
    QDir(directory.path()).mkpath("temp");
    return run();
}

bool NginxServer::run() {
    // -e: the error log goes to our directory from the first line on, before the
    // configuration is read, instead of to the system's log directory.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(executable(),
                  {"-p", directory.path() + '/', "-c", directory.filePath("nginx.conf"), "-e",
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
    log_format requests '$request_method $uri $server_protocol $status $http_if_modified_since '
                        '$server_addr $connection $ssl_session_reused $msec $request_time';
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
)";
    text += options.httpDirectives;
    text += "\n    server {\n";
    for (int host = 0; host < hosts; ++host)
        text += "        listen " + hostAddress(host).toUtf8() + ':' +
                QByteArray::number(listenPort) +
                (!options.tls    ? ";\n"
                 : options.http2 ? " ssl http2;\n"
                                 : " ssl;\n");
    if (options.tls) {
        text += "        ssl_certificate " + options.tls->certificateFile.toUtf8() + ";\n";
        text += "        ssl_certificate_key " + options.tls->keyFile.toUtf8() + ";\n";
        // TLS 1.3 as well, as nginx offers it from 1.23.4 on. Its sessions are resumed from
        // tickets; libcurl asks for none with TLS 1.2, whose sessions only a server that stores
        // them resumes.
        text += "        ssl_protocols TLSv1.2 TLSv1.3;\n";
    }
    text += "        server_name localhost;\n";
    text += "        root " + options.root.toUtf8() + ";\n";
    text += options.serverDirectives;
    text += "\n    }\n}\n";
    return text;
}
