// Saves a text the way the program does, for tests that run it as another user:
//   stored_file_writer PATH TEXT [FAULT]
// exits 0 when the file was read (or found missing) and then saved, 1 otherwise. FAULT makes
// the disk fail once: "fsync" fails the first flush, "write" writes half of the first write's
// bytes and fails the second write.
#include "platform/DiskCalls.h"
#include "storage/StoredFile.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

int callCount = 0;

int failFirstSync(int fd) {
    if (++callCount > 1)
        return ::fsync(fd);
    errno = EIO;
    return -1;
}

ssize_t failSecondWrite(int fd, const void* data, size_t size, off_t offset) {
    switch (++callCount) {
    case 1:
        return ::pwrite(fd, data, std::max<size_t>(size / 2, 1), offset);
    case 2:
        errno = ENOSPC;
        return -1;
    default:
        return ::pwrite(fd, data, size, offset);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3 && argc != 4)
        return 2;
    if (argc == 4 && std::strcmp(argv[3], "fsync") == 0)
        diskCalls().fsync = failFirstSync;
    else if (argc == 4 && std::strcmp(argv[3], "write") == 0)
        diskCalls().pwrite = failSecondWrite;
    else if (argc == 4)
        return 2;
    StoredFile file(QString::fromLocal8Bit(argv[1]));
    file.read();
    return file.write(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
