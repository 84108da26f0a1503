#pragma once

#include "model/PageChecker.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

// Holds every request until aborted, like a server that never answers. The flag it raises on
// entering a request may live outside it, since the program creates its checker itself.
class SilentChecker final : public PageChecker {
public:
    explicit SilentChecker(std::atomic<bool>& entered) : entered(entered) {}

    qint64 checkEach(const QString&) override {
        std::unique_lock lock(mutex);
        entered = true;
        released.wait(lock, [this] { return aborted; });
        return -2;
    }
    void abort() override {
        {
            const std::lock_guard lock(mutex);
            aborted = true;
        }
        released.notify_all();
    }

private:
    std::atomic<bool>& entered;
    std::mutex mutex;
    std::condition_variable released;
    bool aborted = false;
};
