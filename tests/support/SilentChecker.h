#pragma once

#include "model/PageChecker.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

// Holds every request until aborted, like a server that never answers; one that does not hear
// the abort, like a transfer that cannot be cut short, holds until released. The flag it raises
// on entering a request may live outside it, since the program creates its checker itself.
class SilentChecker final : public PageChecker {
public:
    explicit SilentChecker(std::atomic<bool>& entered, bool hearsAbort = true)
        : entered(entered), hearsAbort(hearsAbort) {}

    qint64 checkEach(const QString&) override {
        std::unique_lock lock(mutex);
        entered = true;
        released.wait(lock, [this] { return letGo; });
        return -2;
    }
    void abort() override {
        if (hearsAbort)
            release();
    }
    void release() {
        {
            const std::lock_guard lock(mutex);
            letGo = true;
        }
        released.notify_all();
    }

private:
    std::atomic<bool>& entered;
    const bool hearsAbort;
    std::mutex mutex;
    std::condition_variable released;
    bool letGo = false;
};
