#pragma once

#include "model/Page.h"

#include <memory>
#include <mutex>
#include <vector>

using PageVector = std::vector<std::shared_ptr<Page>>;

// A page list is never changed once installed; a rebuild installs a new one. Readers keep the
// list they loaded alive for as long as they use it, so a check cycle never sees a list
// change under it. A null list means "no page list yet", which differs from an empty one.
using PageList = std::shared_ptr<const PageVector>;

// The installed list, swapped whole. The lock guards only the pointer, never the pages.
class PageListSlot {
public:
    PageList load() const {
        const std::lock_guard lock(mutex);
        return current;
    }
    void store(PageList list) {
        const std::lock_guard lock(mutex);
        current.swap(list);
    }

private:
    mutable std::mutex mutex;
    PageList current;
};
