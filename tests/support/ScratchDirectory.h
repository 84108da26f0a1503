#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Makes a fresh temporary directory the working directory for one test, so the program's
// files never touch a real Group.dat or Setting.ini.
class ScratchDirectory {
public:
    ScratchDirectory() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~ScratchDirectory() { QDir::setCurrent(previous); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    QString path() const { return dir.path(); }

    static void write(const QString& name, const QByteArray& bytes) {
        QFile file(name);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    // The file's bytes, or a null array when it does not exist.
    static QByteArray read(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir;
    QString previous;
};
