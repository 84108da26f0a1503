#pragma once

#include <sys/types.h>

// One copy of the program per folder: a lock on a small file in the working directory. The
// kernel drops the lock with the process that held it, so a killed copy never blocks the next
// start, and it names the process that holds it.
class FolderLock {
public:
    static constexpr char fileName[] = ".velmora.lock";

    // Takes the lock, or learns who holds it. A folder where no lock can be had at all (no
    // room for the file, a file system without locks) is used without one.
    FolderLock();
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Another copy runs in this folder.
    bool heldElsewhere() const { return otherCopy; }
    // That copy's process, 0 when the kernel cannot name it (another PID namespace).
    pid_t holder() const { return holderId; }

private:
    int fd = -1;
    bool otherCopy = false;
    pid_t holderId = 0;
};
