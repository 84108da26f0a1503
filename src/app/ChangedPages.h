#pragma once

#include "app/UpdateNotice.h"
#include "model/Page.h"

#include <memory>
#include <mutex>
#include <vector>

// Pages whose state changed on the checking thread, gathered for the GUI thread. Only the
// first mark after a collection asks for a collection, so a cycle that changes thousands of
// pages wakes the GUI thread once, not once per page.
class ChangedPages {
public:
    struct Batch {
        std::vector<std::weak_ptr<const Page>> repaint;
        bool showWindow = false;
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
