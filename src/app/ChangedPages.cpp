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

ChangedPages::Batch ChangedPages::collect() {
    const std::lock_guard lock(mutex);
    collectionAsked = false;
    return std::exchange(pending, {});
}

bool ChangedPages::askOnce() {
    return !std::exchange(collectionAsked, true);
}
