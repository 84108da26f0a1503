#pragma once

#include "model/KnownHosts.h"
#include "model/PageChecker.h"

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <curl/curl.h>

// The access check over libcurl. One handle is set up once and reused, so a request only sets
// its method; every check is still a fresh request. What makes a request cost one round trip
// is kept from one cycle to the next: an idle connection to every host met, the TLS session of
// each host, and the certificate store. Only HTTP(S), FTP and file URLs are checked; time-outs
// keep a silent server from holding the cycle for ever.
class AccessCheck final : public PageChecker {
public:
    struct Timeouts {
        std::chrono::milliseconds connect{10'000};
        std::chrono::milliseconds total{30'000};
    };

    AccessCheck();
    // certificateAuthorities: a PEM file trusted instead of the system's store (tests use it
    // for a private CA); empty for the system's store.
    explicit AccessCheck(Timeouts timeouts, const QString& certificateAuthorities = {});
    ~AccessCheck() override;
    AccessCheck(const AccessCheck&) = delete;
    AccessCheck& operator=(const AccessCheck&) = delete;

    qint64 checkEach(const QString& url) override;
    void abort() override;

private:
    enum class Method { Head, Get };
    // The final response's Last-Modified text, as the header callback finds it.
    struct LastModifiedField {
        std::array<char, 64> text{}; // no date in any form is longer
        size_t length = 0;
        bool sent = false;
        bool tooLong = false;
    };
    struct Answer {
        CURLcode code = CURLE_OK;
        qint64 time = -1; // -1 when the answer carries no usable time
    };

    void prepareConnectionFor(CURLU* address);
    void meetRedirectTarget();
    Answer request(Method method, bool http);
    static size_t keepLastModified(char* line, size_t size, size_t count, void* field);
    qint64 httpTime() const;
    qint64 fileTime() const;
    CURLcode perform();

    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    CURLU* url = nullptr;
    CURLU* redirectTarget = nullptr;
    KnownHosts hosts;
    qsizetype hostsInCacheSize = 0;
    LastModifiedField lastModified;
    std::atomic<bool> aborted{false};
};
