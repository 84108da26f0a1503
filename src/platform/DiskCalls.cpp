#include "platform/DiskCalls.h"

#include <unistd.h>

DiskCalls& diskCalls() {
    static DiskCalls calls{::pwrite, ::fsync};
    return calls;
}
