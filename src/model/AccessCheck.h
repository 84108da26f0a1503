#pragma once

#include "model/PageChecker.h"

#include <atomic>
#include <chrono>
#include <curl/curl.h>

// The access check over libcurl. One handle is kept and reused, so the requests of a cycle
// share keep-alive connections; every check is still a fresh request. Only HTTP(S), FTP and
// file URLs are checked; time-outs keep a silent server from holding the cycle for ever.
class AccessCheck final : public PageChecker {
public:
    struct Timeouts {
        std::chrono::milliseconds connect{10'000};
        std::chrono::milliseconds total{30'000};
    };

    AccessCheck();
    explicit AccessCheck(Timeouts timeouts);
    ~AccessCheck() override;
    AccessCheck(const AccessCheck&) = delete;
    AccessCheck& operator=(const AccessCheck&) = delete;

    qint64 checkEach(const QString& url) override;
    void abort() override;

private:
    enum class Method { Head, Get };
    struct Response {
        CURLcode code = CURLE_OK;
        long status = 0;
        curl_off_t fileTime = -1;
        bool lastModifiedSent = false;
    };

    Response request(CURLU* url, Method method);
    CURLcode perform();

    const Timeouts timeouts;
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    std::atomic<bool> aborted{false};
};
