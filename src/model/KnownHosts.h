#pragma once

#include <QByteArray>
#include <QHash>
#include <curl/curl.h>
#include <memory>
#include <vector>

// The hosts the access check has met, each with the place where its TLS session is kept for a
// later connection. libcurl keeps a handful of sessions per handle or share and drops the least
// recently used one, so a cycle over more hosts than that would never resume a session; each
// share here serves a few hosts only.
class KnownHosts {
public:
    KnownHosts();

    // Whether the first share could be made; without it sessions have no place.
    bool isUsable() const { return !shares.empty(); }
    // The share for the sessions of an origin ("scheme://host:port"), met from now on.
    CURLSH* sessionsOf(const QByteArray& origin);
    void meet(const QByteArray& origin);
    qsizetype count() const { return order.size(); }

private:
    struct ShareDeleter {
        void operator()(CURLSH* share) const { curl_share_cleanup(share); }
    };
    using Share = std::unique_ptr<CURLSH, ShareDeleter>;

    static Share makeShare();
    qsizetype indexOf(const QByteArray& origin);

    QHash<QByteArray, qsizetype> order; // origin -> how many were met before it
    std::vector<Share> shares;
};
