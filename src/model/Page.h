#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

class Page;

// What a page asks of the window that owns it. Called on the checking thread; an
// implementation hands the work to the GUI thread, in batches.
class PageObserver {
public:
    virtual void repaintRequested(const Page& page) = 0;
    virtual void showMainWindowRequested() = 0;
    // The page's time rose: it turned updated.
    virtual void renewed(const Page& page) = 0;

protected:
    ~PageObserver() = default;
};

// One watched page: title, URL, the last-modification time its server reported last, and
// whether it is unchanged, updated or not found. The checking thread drives the state through
// setTime and setLastModifiedDateLong; the GUI thread reads it to paint the tile.
class Page : public std::enable_shared_from_this<Page> {
public:
    static constexpr qint32 isDefault = 0;
    static constexpr qint32 isRenew = 1;
    static constexpr qint32 isNotFound = -1;

    // An updated mark lasts this many 100 ms ticks.
    static constexpr qint64 renewTicks = 50;

    explicit Page(PageObserver* parent);

    void setPageTitleString(const QString& title);
    QString getPageTitleString() const;
    void setPageURLString(const QString& url);
    QString getPageURLString() const;

    void setStatus(qint32 status);
    qint32 getStatus() const;

    qint64 getLastModifiedDateLong() const;
    bool canAccess() const;

    // Set by the checking thread while the page's request runs; the tile takes no click then.
    void setCheckRunning(bool running);
    bool isCheckRunning() const;

    // Hands the page the scheduler's tick; an updated mark falls back on its last tick.
    void setTime(qint64 tick);
    // Takes an access-check result: a time in ms since the epoch, or -1 / -2 for a failure.
    void setLastModifiedDateLong(qint64 value);

private:
    void notifyRepaint();
    void notifyShowMainWindow();
    void notifyRenewed();

    PageObserver* const Parent;

    // Read by the GUI thread while the checking thread writes them.
    std::atomic<bool> canAccessFlag{true};
    std::atomic<bool> checkRunning{false};
    std::atomic<qint64> LastModifiedDateLong{0};
    std::atomic<qint32> Status{isDefault};

    // Touched only by the checking thread once the page is in the installed list.
    qint64 Time = 0;
    qint64 limitTime = 0;
    bool isFirst = false;

    mutable std::mutex textMutex;
    QString PageTitleString;
    QString PageURLString;
};
