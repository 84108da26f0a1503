#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A one-way flag that a thread can sleep on: a request to stop wakes every sleeper at once.
class StopSignal {
public:
    void requestStop();
    bool stopRequested() const;
    // Sleeps for the duration or until a stop is requested; true when a stop was requested.
    bool waitFor(std::chrono::milliseconds duration);

private:
    mutable std::mutex mutex;
    std::condition_variable woken;
    bool stopped = false;
};
