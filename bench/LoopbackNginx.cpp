#include "LoopbackNginx.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <sched.h>

namespace {

quint16 freeLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool answers(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

LoopbackNginx::LoopbackNginx(int cpu) {
    // A port taken between the probe and nginx's bind is simply tried again.
    for (int attempt = 0; attempt < 5 && !start(cpu); ++attempt) {
    }
}

LoopbackNginx::~LoopbackNginx() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished();
    }
}

QString LoopbackNginx::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

bool LoopbackNginx::start(int cpu) {
    port = freeLoopbackPort();
    if (!folder.isValid() || port == 0)
        return false;
    const QString base = folder.path();
    QDir(base).mkpath(QStringLiteral("www"));
    QDir(base).mkpath(QStringLiteral("temp"));
    const QString config = QStringLiteral(
        "daemon off;\n"
        "master_process off;\n"
        "worker_processes 1;\n"
        "pid %1/nginx.pid;\n"
        "error_log %1/error.log;\n"
        "events { worker_connections 64; }\n"
        "http {\n"
        "  access_log off;\n"
        "  client_body_temp_path %1/temp/body;\n"
        "  proxy_temp_path %1/temp/proxy;\n"
        "  fastcgi_temp_path %1/temp/fastcgi;\n"
        "  uwsgi_temp_path %1/temp/uwsgi;\n"
        "  scgi_temp_path %1/temp/scgi;\n"
        "  keepalive_requests 1000000;\n"
        "  keepalive_timeout 300s;\n"
        "  server { listen 127.0.0.1:%2; root %1/www; }\n"
        "}\n")
                               .arg(base)
                               .arg(port);
    QFile file(base + QStringLiteral("/nginx.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return false;
    file.close();

    if (cpu >= 0) {
        process.setChildProcessModifier([cpu] {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(cpu, &set);
            sched_setaffinity(0, sizeof set, &set);
        });
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("nginx"),
                  {QStringLiteral("-p"), base, QStringLiteral("-c"), file.fileName(),
                   QStringLiteral("-e"), base + QStringLiteral("/error.log")});
    if (!process.waitForStarted(5000))
        return false;
    for (int wait = 0; wait < 100; ++wait) {
        if (process.state() != QProcess::Running)
            return false;
        if (answers(port))
            return true;
        QThread::msleep(20);
    }
    return false;
}
