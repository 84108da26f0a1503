#include "app/CheckingThread.h"

CheckingThread::CheckingThread(std::unique_ptr<PageChecker> checker, const PageListSlot& page,
                               const std::atomic<qint32>& limit, CheckCycleObserver& observer,
                               CheckScheduler::TickWait wait)
    : checker(std::move(checker)),
      scheduler(page, limit, *this->checker, observer, std::move(wait)) {}

CheckingThread::~CheckingThread() {
    if (thread.joinable()) {
        scheduler.stop();
        thread.join();
    }
}

void CheckingThread::start() {
    if (thread.joinable())
        return;
    std::promise<void> done;
    finished = done.get_future();
    thread = std::thread([this, done = std::move(done)]() mutable {
        scheduler.run();
        done.set_value();
    });
}

bool CheckingThread::stop() {
    if (!thread.joinable())
        return true;
    scheduler.stop();
    if (finished.wait_for(stopGrace) != std::future_status::ready)
        return false;
    thread.join();
    return true;
}
