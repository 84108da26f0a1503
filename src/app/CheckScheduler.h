#pragma once

#include "model/PageChecker.h"
#include "model/PageList.h"
#include "platform/StopSignal.h"

#include <atomic>
#include <chrono>
#include <functional>

// What the main window shows of a check cycle: its start and end, nothing per page. Called on
// the checking thread; an implementation hands the work to the GUI thread.
class CheckCycleObserver {
public:
    virtual void cycleStarted() = 0;
    virtual void cycleFinished() = 0;

protected:
    ~CheckCycleObserver() = default;
};

// The checking thread's loop: a tick every 100 ms hands its number to every page, and every
// `limit` seconds of idle ticking a check cycle asks each page's server in turn. The ticks
// stand still while a cycle runs.
class CheckScheduler {
public:
    static constexpr auto tickLength = std::chrono::milliseconds(100);
    static constexpr qint32 ticksPerSecond = 10;

    // Waits one tick; the default sleeps tickLength and wakes early on stop().
    using TickWait = std::function<void()>;

    CheckScheduler(const PageListSlot& page, const std::atomic<qint32>& limit, PageChecker& checker,
                   CheckCycleObserver& observer, TickWait wait = {});

    // Runs ticks until stop().
    void run();
    // Any thread: ends run() promptly and cuts a request in flight short.
    void stop();

    // One pass of the loop after its wait: the tick's page work and, when due, a cycle.
    void tick();
    qint64 currentTick() const { return Time; }

private:
    void checkAll(const PageVector& pages);

    const PageListSlot& page;
    const std::atomic<qint32>& limit;
    PageChecker& checker;
    CheckCycleObserver& observer;
    TickWait wait;
    StopSignal stopSignal;

    qint64 Time = 0;
    bool canCheck = true;
};
