#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

// A small tmpfs mounted on a directory for one test, so that a test can fill a real file
// system to the last byte. Mounting needs root; where it is refused, failure() says why and
// the test skips.
class SmallFileSystem {
public:
    explicit SmallFileSystem(QString mountPoint) : mountPoint(std::move(mountPoint)) {
        QDir().mkpath(this->mountPoint);
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {"-t", "tmpfs", "-o", "size=256k,mode=0755", "tmpfs", this->mountPoint});
        if (!mount.waitForFinished() || mount.exitStatus() != QProcess::NormalExit ||
            mount.exitCode() != 0)
            why = "cannot mount a tmpfs here (it needs root): " +
                  QString::fromLocal8Bit(mount.readAllStandardError()).trimmed() +
                  mount.errorString();
    }
    ~SmallFileSystem() {
        // Lazy, so that a working directory still inside does not keep it mounted.
        if (why.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {"-l", mountPoint});
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    QString failure() const { return why; }

    // Writes a filler file until the file system takes no further byte.
    void fill() const {
        QFile filler(fillerPath());
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray page(4096, 'f');
        while (filler.write(page) == page.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
    }
    void makeRoom() const { QFile::remove(fillerPath()); }

private:
    QString fillerPath() const { return mountPoint + QStringLiteral("/filler"); }

    const QString mountPoint;
    QString why;
};
