#include "app/CheckScheduler.h"

#include <exception>

namespace {

// Whatever way a cycle ends, checking must be able to start again and the cursor come back.
class CycleScope {
public:
    CycleScope(bool& canCheck, CheckCycleObserver& observer)
        : canCheck(canCheck), observer(observer) {
        observer.cycleStarted();
        canCheck = false;
    }
    ~CycleScope() {
        canCheck = true;
        observer.cycleFinished();
    }
    CycleScope(const CycleScope&) = delete;
    CycleScope& operator=(const CycleScope&) = delete;

private:
    bool& canCheck;
    CheckCycleObserver& observer;
};

// The page's tile takes no clicks while its check runs, and always takes them again. A flag
// the mouse handling reads, so nothing per page crosses to the GUI thread.
class PageCheckScope {
public:
    explicit PageCheckScope(Page& page) : page(page) { page.setCheckRunning(true); }
    ~PageCheckScope() { page.setCheckRunning(false); }
    PageCheckScope(const PageCheckScope&) = delete;
    PageCheckScope& operator=(const PageCheckScope&) = delete;

private:
    Page& page;
};

} // namespace

CheckScheduler::CheckScheduler(const PageListSlot& page, const std::atomic<qint32>& limit,
                               PageChecker& checker, CheckCycleObserver& observer, TickWait wait)
    : page(page), limit(limit), checker(checker), observer(observer), wait(std::move(wait)) {
    if (!this->wait)
        this->wait = [this] { stopSignal.waitFor(tickLength); };
}

void CheckScheduler::run() {
    while (!stopSignal.stopRequested()) {
        wait();
        if (stopSignal.stopRequested())
            break;
        tick();
    }
}

void CheckScheduler::stop() {
    stopSignal.requestStop();
    checker.abort();
}

void CheckScheduler::tick() {
    ++Time;
    // One snapshot serves the whole tick: every page a cycle checks has had this tick, and
    // the pages stay alive until the cycle ends even if the list is rebuilt meanwhile.
    const PageList pages = page.load();
    if (!pages)
        return;
    try {
        for (const auto& each : *pages)
            each->setTime(Time);
        // A stored interval of 0 has no multiple to reach; the remainder test is skipped.
        const qint64 interval = static_cast<qint64>(limit.load()) * ticksPerSecond;
        if (interval != 0 && Time % interval == 0 && canCheck)
            checkAll(*pages);
    } catch (const std::exception&) {
        // A failed tick ends quietly; the next tick comes as usual.
    }
}

void CheckScheduler::checkAll(const PageVector& pages) {
    const CycleScope cycle(canCheck, observer);
    for (const auto& each : pages) {
        if (stopSignal.stopRequested())
            return;
        if (!each->canAccess())
            continue;
        const PageCheckScope check(*each);
        const qint64 result = checker.checkEach(each->getPageURLString());
        // A request cut short by shutdown says nothing about the page.
        if (!stopSignal.stopRequested())
            each->setLastModifiedDateLong(result);
    }
}
