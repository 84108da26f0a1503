#include "platform/StopSignal.h"

void StopSignal::requestStop() {
    {
        const std::lock_guard lock(mutex);
        stopped = true;
    }
    woken.notify_all();
}

bool StopSignal::stopRequested() const {
    const std::lock_guard lock(mutex);
    return stopped;
}

bool StopSignal::waitFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex);
    return woken.wait_for(lock, duration, [this] { return stopped; });
}
