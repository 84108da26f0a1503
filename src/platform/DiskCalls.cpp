#include "platform/DiskCalls.h"

#include <cstdio>
#include <unistd.h>

DiskCalls& diskCalls() {
    static DiskCalls calls{::pwrite, ::fsync, std::rename};
    return calls;
}
