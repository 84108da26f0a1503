// Saves a text the way the program does, for tests that run it as another user:
//   stored_file_writer PATH TEXT [fsync|write|rename]
// exits 0 when the file was read (or found missing) and then saved, 1 otherwise. The last
// argument makes the disk fail once: the first flush, the second write after the first wrote
// half its bytes, or the rename that puts the new file in place.
#include "platform/DiskCalls.h"
#include "storage/StoredFile.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

int calls = 0;

int failFirstSync(int fd) {
    return ++calls == 1 ? (errno = EIO, -1) : ::fsync(fd);
}

ssize_t failSecondWrite(int fd, const void* data, size_t size, off_t offset) {
    if (++calls == 2)
        return errno = ENOSPC, -1;
    return ::pwrite(fd, data, calls == 1 ? std::max<size_t>(size / 2, 1) : size, offset);
}

int failRename(const char*, const char*) {
    return errno = EIO, -1;
}

} // namespace

int main(int argc, char* argv[]) {
    const QByteArray fault = argc == 4 ? argv[3] : "";
    if (argc < 3 || argc > 4 || !QByteArrayList{"", "fsync", "write", "rename"}.contains(fault))
        return 2;
    if (fault == "fsync")
        diskCalls().fsync = failFirstSync;
    else if (fault == "write")
        diskCalls().pwrite = failSecondWrite;
    else if (fault == "rename")
        diskCalls().rename = failRename;
    StoredFile file(QString::fromLocal8Bit(argv[1]));
    file.read();
    return file.write(QString::fromLocal8Bit(argv[2])) == StoredFile::WriteResult::Written ? 0 : 1;
}
