#include "platform/FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct flock wholeFile(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

} // namespace

FolderLock::FolderLock() {
    // Never through a link, never blocking on a FIFO someone put there.
    fd = ::open(fileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0)
        return;
    // The holder may end between the two calls; then the lock is free to take again.
    constexpr int attempts = 10;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        struct flock lock = wholeFile(F_WRLCK);
        if (::fcntl(fd, F_SETLK, &lock) == 0)
            return;
        if (errno != EAGAIN && errno != EACCES)
            return;
        lock = wholeFile(F_WRLCK);
        if (::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) {
            otherCopy = true;
            holderId = lock.l_pid;
            return;
        }
    }
}

FolderLock::~FolderLock() {
    if (fd >= 0)
        ::close(fd);
}
