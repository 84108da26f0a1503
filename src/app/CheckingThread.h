#pragma once

#include "app/CheckScheduler.h"
#include "model/PageChecker.h"
#include "model/PageList.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

// The checking thread's life: started once, it runs the scheduler's ticks until stopped. A
// stop cuts the request in flight short and waits a short grace for the thread to end; a
// request that will not let go even then is left running, and the caller ends the process
// without it rather than hang on a server.
class CheckingThread {
public:
    static constexpr auto stopGrace = std::chrono::seconds(1);

    CheckingThread(std::unique_ptr<PageChecker> checker, const PageListSlot& page,
                   const std::atomic<qint32>& limit, CheckCycleObserver& observer,
                   CheckScheduler::TickWait wait = {});
    // Stops the thread and waits for it, however long its request takes to let go.
    ~CheckingThread();
    CheckingThread(const CheckingThread&) = delete;
    CheckingThread& operator=(const CheckingThread&) = delete;

    // Starts the thread; one that runs already goes on alone.
    void start();
    // True when the thread has ended, or never ran; false when it still runs after the grace.
    bool stop();

private:
    // Declared before the scheduler, which uses it, and the thread, which uses both.
    const std::unique_ptr<PageChecker> checker;
    CheckScheduler scheduler;
    std::thread thread;
    // Ready when the thread's work is done: a join cannot wait for a limited time, this can.
    std::future<void> finished;
};
