#pragma once

#include <QString>

// Asks a page's server for its last-modification time. The result is a time in ms since the
// epoch, -1 when the URL is unusable or no time is available, -2 when the transfer failed.
class PageChecker {
public:
    virtual ~PageChecker() = default;
    virtual qint64 checkEach(const QString& url) = 0;
    // Any thread: ends a request in flight at once (it then reports -2).
    virtual void abort() = 0;
};
