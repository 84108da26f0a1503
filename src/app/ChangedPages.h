#pragma once

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
    };

    // Any thread. Each returns true when the caller must ask for a collection.
    bool markRepaint(const Page& page);
    bool markShowWindow();

    // The GUI thread: everything marked since the last collection.
    Batch collect();

private:
    bool askOnce();

    std::mutex mutex;
    Batch pending;
    bool collectionAsked = false;
};
