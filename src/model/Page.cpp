#include "model/Page.h"

Page::Page(PageObserver* parent) : Parent(parent) {}

void Page::setPageTitleString(const QString& title) {
    const std::lock_guard lock(textMutex);
    PageTitleString = title;
}

QString Page::getPageTitleString() const {
    const std::lock_guard lock(textMutex);
    return PageTitleString;
}

void Page::setPageURLString(const QString& url) {
    const std::lock_guard lock(textMutex);
    PageURLString = url;
}

QString Page::getPageURLString() const {
    const std::lock_guard lock(textMutex);
    return PageURLString;
}

void Page::setStatus(qint32 status) {
    Status = status;
}

qint32 Page::getStatus() const {
    return Status;
}

qint64 Page::getLastModifiedDateLong() const {
    return LastModifiedDateLong;
}

bool Page::canAccess() const {
    return canAccessFlag;
}

void Page::setCheckRunning(bool running) {
    checkRunning.store(running, std::memory_order_relaxed);
}

bool Page::isCheckRunning() const {
    return checkRunning.load(std::memory_order_relaxed);
}

void Page::setTime(qint64 tick) {
    Time = tick;
    if (tick == limitTime) {
        Status = isDefault;
        notifyRepaint();
        limitTime = 0;
    }
}

void Page::setLastModifiedDateLong(qint64 value) {
    if (value == -1 || value == -2) {
        Status = isNotFound;
        canAccessFlag = false;
        notifyShowMainWindow();
        notifyRepaint();
        return;
    }
    if (isFirst && LastModifiedDateLong < value) {
        Status = isRenew;
        notifyRenewed();
        notifyShowMainWindow();
        notifyRepaint();
        limitTime = Time + renewTicks;
    } else if (!isFirst) {
        isFirst = true;
    }
    LastModifiedDateLong = value;
}

void Page::notifyRepaint() {
    if (Parent)
        Parent->repaintRequested(*this);
}

void Page::notifyShowMainWindow() {
    if (Parent)
        Parent->showMainWindowRequested();
}

void Page::notifyRenewed() {
    if (Parent)
        Parent->renewed(*this);
}
