#include "app/ChangedPages.h"

#include <utility>

bool ChangedPages::markRepaint(const Page& page) {
    const std::lock_guard lock(mutex);
    pending.repaint.push_back(page.weak_from_this());
    return askOnce();
}

bool ChangedPages::markShowWindow() {
    const std::lock_guard lock(mutex);
    pending.showWindow = true;
    return askOnce();
}

void ChangedPages::markRise(const Page& page) {
    RisenPage risen{page.getPageURLString(), page.getPageTitleString()};
    const std::lock_guard lock(mutex);
    risenThisCycle.push_back(std::move(risen));
}

bool ChangedPages::markCycleStarted() {
    const std::lock_guard lock(mutex);
    pending.cycleRunning = true;
    return askOnce();
}

bool ChangedPages::markCycleFinished() {
    const std::lock_guard lock(mutex);
    pending.cycleRunning = false;
    pending.finishedCycles.push_back(std::exchange(risenThisCycle, {}));
    return askOnce();
}

ChangedPages::Batch ChangedPages::collect() {
    const std::lock_guard lock(mutex);
    collectionAsked = false;
    return std::exchange(pending, {});
}

bool ChangedPages::askOnce() {
    return !std::exchange(collectionAsked, true);
}
