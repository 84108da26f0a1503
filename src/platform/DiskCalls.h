#pragma once

#include <sys/types.h>

// The system calls by which a save puts its bytes on the disk. A test replaces one with a call
// that fails at an exact step, as a failing disk would; the program never changes them.
struct DiskCalls {
    ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t offset);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
};

// The calls every save goes through: the system's own unless a test put others in.
DiskCalls& diskCalls();
