#include "platform/TextFile.h"

#include "platform/DiskCalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A save writes "<name>.saving-" and six letters or digits, then renames it over the file.
constexpr char savingInfix[] = ".saving-";
constexpr int savingSuffixLength = 6;
constexpr char savingSuffixCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::optional<QString> decodeStrictly(QStringDecoder decoder, const QByteArray& bytes) {
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    off_t offset = 0;
    while (left > 0) {
        const ssize_t written = diskCalls().pwrite(fd, data, size_t(left), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
        offset += written;
    }
    return true;
}

// Both checked: some file systems report a failed buffered write only here.
bool syncAndClose(int fd) {
    const bool synced = diskCalls().fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    return synced && closed;
}

std::optional<QByteArray> readAll(int fd) {
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

// A new file beside the target under a name no other file has; -1 with errno set on failure.
int createTemporary(const QByteArray& target, QByteArray& name) {
    constexpr int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        name = target + savingInfix;
        for (int i = 0; i < savingSuffixLength; ++i)
            name += savingSuffixCharacters[QRandomGenerator::global()->bounded(
                int(sizeof savingSuffixCharacters) - 1)];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The directory of a path as the kernel resolves it.
QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Where a link leads, read relative to the link's own directory.
std::optional<QByteArray> linkTarget(const QByteArray& link) {
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink(link.constData(), target.data(), size_t(target.size()));
    // A length that fills the buffer may have been cut short.
    if (length <= 0 || length >= target.size())
        return std::nullopt;
    target.truncate(length);
    return target.startsWith('/') ? target : folderOf(link) + '/' + target;
}

// The file that a save of this name replaces: the name itself, or where its links lead. A link
// is followed only where the kernel's protection of shared folders would follow it: in a sticky
// folder that everyone may write, only a link that belongs to the user or to the folder's owner.
// Checked here because the save renames over the target and so never opens through the link.
std::optional<QByteArray> saveTarget(QByteArray name) {
    constexpr int maxLinks = 40; // the kernel's own limit
    for (int followed = 0; followed <= maxLinks; ++followed) {
        struct stat link {};
        if (::lstat(name.constData(), &link) != 0)
            return errno == ENOENT ? std::optional(name) : std::nullopt;
        if (!S_ISLNK(link.st_mode))
            return name;
        struct stat folder {};
        if (::stat(folderOf(name).constData(), &folder) != 0)
            return std::nullopt;
        const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
        if (shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid)
            return std::nullopt;
        const std::optional<QByteArray> next = linkTarget(name);
        if (!next)
            return std::nullopt;
        name = *next;
    }
    return std::nullopt;
}

// The new file takes the old one's owner and group as far as the user may give them, then its
// permission bits (after the owner, whose change would clear the set-id bits).
bool inheritOwnerAndMode(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, uid_t(-1), old.st_gid) != 0 &&
        errno != EPERM)
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Puts the old bytes back after a failed rewrite in place, and flushes them once they are
// all back. A file that cannot be put back holds neither text and nothing here can mend it;
// the save has failed either way, and the program keeps the text for its next save.
void putBack(int fd, const QByteArray& old) {
    if (writeAll(fd, old) && ::ftruncate(fd, off_t(old.size())) == 0)
        diskCalls().fsync(fd);
}

// "checked" is what the caller found under the name; the file opened must still be that one.
bool writeInPlace(const QByteArray& target, const struct stat& checked, const QByteArray& bytes) {
    const int fd = ::open(target.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != checked.st_dev ||
        opened.st_ino != checked.st_ino) {
        ::close(fd);
        return false;
    }
    const std::optional<QByteArray> old = readAll(fd);
    // Room for the longer text first, so that a full disk fails before a byte has changed.
    const bool roomReserved =
        old &&
        (bytes.size() <= old->size() ||
         ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) == 0 || errno == EOPNOTSUPP);
    const bool written = roomReserved && writeAll(fd, bytes) &&
                         ::ftruncate(fd, off_t(bytes.size())) == 0 && diskCalls().fsync(fd) == 0;
    if (roomReserved && !written)
        putBack(fd, *old);
    return ::close(fd) == 0 && written;
}

} // namespace

std::optional<DecodedText> decodeJoinedLines(const QByteArray& bytes) {
    DecodedText decoded;
    if (auto text = decodeStrictly(
            QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless), bytes)) {
        decoded.text = std::move(*text);
    } else if (auto legacy = decodeStrictly(
                   QStringDecoder("Shift_JIS", QStringDecoder::Flag::Stateless), bytes)) {
        decoded.text = std::move(*legacy);
        decoded.legacy = true;
    } else {
        return std::nullopt;
    }
    decoded.text.remove(u'\r');
    decoded.text.remove(u'\n');
    // Byte-order marks in front, as some editors write them, are no part of the first field.
    qsizetype marks = 0;
    while (marks < decoded.text.size() && decoded.text[marks] == QChar(0xfeff))
        ++marks;
    decoded.text.remove(0, marks);
    return decoded;
}

FileBytes readFileBytes(const QString& path) {
    FileBytes result;
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        const bool absent = errno == ENOENT || errno == ENOTDIR;
        // A link to nowhere is something the user put there, not a missing file.
        result.status = absent && ::lstat(name.constData(), &status) != 0
                            ? FileBytes::Status::Missing
                            : FileBytes::Status::Unreadable;
        return result;
    }
    result.status = FileBytes::Status::Unreadable;
    // A FIFO or a device could hold the open or the read for ever: only a regular file is
    // opened, without waiting, and the descriptor is checked again in case the name was swapped.
    if (!S_ISREG(status.st_mode))
        return result;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return result;
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        bytes = readAll(fd);
    ::close(fd);
    if (bytes) {
        result.status = FileBytes::Status::Read;
        result.bytes = std::move(*bytes);
    }
    return result;
}

bool writeWholeFile(const QString& path, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    // A link stays a link: the file it leads to is the one replaced.
    const std::optional<QByteArray> target = saveTarget(QFile::encodeName(path));
    if (!target)
        return false;
    struct stat existing {};
    const bool exists = ::lstat(target->constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return false;
    // The folder may let the user replace a file that the user may not write; it stays.
    if (exists && ::faccessat(AT_FDCWD, target->constData(), W_OK, AT_EACCESS) != 0)
        return false;

    QByteArray temporary;
    const int fd = createTemporary(*target, temporary);
    if (fd < 0)
        return (errno == EACCES || errno == EPERM) && exists &&
               writeInPlace(*target, existing, bytes);
    bool saved = (!exists || inheritOwnerAndMode(fd, existing)) && writeAll(fd, bytes);
    saved = syncAndClose(fd) && saved;
    saved = saved && diskCalls().rename(temporary.constData(), target->constData()) == 0;
    if (!saved)
        ::unlink(temporary.constData());
    return saved;
}

int filePermissions(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 0600;
    return int(status.st_mode & 07777);
}

bool writeNewFile(const QString& path, const QByteArray& bytes, int permissions) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          mode_t(permissions & 07777));
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes);
    if (syncAndClose(fd) && written)
        return true;
    ::unlink(name.constData());
    return false;
}

void removeInterruptedSaves(const QString& path) {
    const QFileInfo info(path);
    const QString prefix = info.fileName() + QLatin1String(savingInfix);
    const QDir dir = info.dir();
    for (const QString& name : dir.entryList({prefix + u'*'}, QDir::Files | QDir::NoSymLinks)) {
        const QStringView suffix = QStringView(name).mid(prefix.size());
        const bool ours = name.startsWith(prefix) && suffix.size() == savingSuffixLength &&
                          std::all_of(suffix.begin(), suffix.end(), [](QChar c) {
                              return c.unicode() < 128 && c.isLetterOrNumber();
                          });
        if (ours)
            QFile::remove(dir.filePath(name));
    }
}
