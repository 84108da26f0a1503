#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's nginx serving a folder of files on a free loopback port, with a configuration of
// its own in a temporary folder; one process, ended with the object.
class LoopbackNginx {
public:
    // The server runs on the given CPU when cpu >= 0, so that its work counts on one core.
    explicit LoopbackNginx(int cpu = -1);
    ~LoopbackNginx();
    LoopbackNginx(const LoopbackNginx&) = delete;
    LoopbackNginx& operator=(const LoopbackNginx&) = delete;

    bool isRunning() const { return process.state() == QProcess::Running && port > 0; }
    QString documentRoot() const { return folder.path() + QStringLiteral("/www"); }
    QString url(const QString& path) const;

private:
    bool start(int cpu);

    QTemporaryDir folder;
    QProcess process;
    quint16 port = 0;
};
