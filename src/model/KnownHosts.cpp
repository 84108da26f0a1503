#include "model/KnownHosts.h"

#include <algorithm>

namespace {

// libcurl keeps eight sessions per share; half of them are left for the hosts that the pages
// of these hosts redirect to.
constexpr qsizetype hostsPerShare = 4;

} // namespace

KnownHosts::KnownHosts() {
    if (Share first = makeShare())
        shares.push_back(std::move(first));
}

CURLSH* KnownHosts::sessionsOf(const QByteArray& origin) {
    if (shares.empty())
        return nullptr;
    const auto wanted = static_cast<size_t>(indexOf(origin) / hostsPerShare);
    while (shares.size() <= wanted) {
        Share next = makeShare();
        if (!next)
            break; // out of memory: the host shares the last place made
        shares.push_back(std::move(next));
    }
    return shares[std::min(wanted, shares.size() - 1)].get();
}

void KnownHosts::meet(const QByteArray& origin) {
    indexOf(origin);
}

qsizetype KnownHosts::indexOf(const QByteArray& origin) {
    const auto found = order.constFind(origin);
    if (found != order.cend())
        return *found;
    const qsizetype index = order.size();
    order.insert(origin, index);
    return index;
}

KnownHosts::Share KnownHosts::makeShare() {
    Share share(curl_share_init());
    if (share &&
        curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK)
        share.reset();
    return share;
}
