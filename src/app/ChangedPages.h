#pragma once

#include "app/UpdateNotice.h"
#include "model/Page.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Everything the checking thread has for the GUI thread: cycles begun and ended, and pages
// whose state changed. Only the first mark after a collection asks for a collection, so a cycle
// that changes thousands of pages wakes the GUI thread once, not once per page. All of it
// crosses under one mutex, where ThreadSanitizer sees the hand-over; the call that asks for a
// collection carries nothing of its own.
class ChangedPages {
public:
    struct Batch {
        std::vector<std::weak_ptr<const Page>> repaint;
        bool showWindow = false;
        // Whether a cycle runs, as last marked; no value when none began or ended since.
        std::optional<bool> cycleRunning;
        // The pages that rose in each check cycle that ended since the last collection,
        // oldest cycle first; a cycle in which nothing rose is there too, empty.
        std::vector<std::vector<RisenPage>> finishedCycles;
    };

    // Any thread. Each returns true when the caller must ask for a collection.
    bool markRepaint(const Page& page);
    bool markShowWindow();
    // The checking thread: a rise belongs to the cycle running, and is handed over with the
    // cycle's end, so that a collection in the middle of a cycle never splits it.
    void markRise(const Page& page);
    bool markCycleStarted();
    bool markCycleFinished();

    // The GUI thread: everything marked since the last collection.
    Batch collect();

private:
    bool askOnce();

    std::mutex mutex;
    Batch pending;
    std::vector<RisenPage> risenThisCycle;
    bool collectionAsked = false;
};
