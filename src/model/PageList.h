#pragma once

#include "model/Page.h"

#include <atomic>
#include <memory>
#include <vector>

using PageVector = std::vector<std::shared_ptr<Page>>;

// A page list is never changed once installed; a rebuild installs a new one. Readers keep the
// list they loaded alive for as long as they use it, so a check cycle never sees a list
// change under it. A null list means "no page list yet", which differs from an empty one.
using PageList = std::shared_ptr<const PageVector>;

class PageListSlot {
public:
    PageList load() const { return current.load(); }
    void store(PageList list) { current.store(std::move(list)); }

private:
    std::atomic<PageList> current;
};
