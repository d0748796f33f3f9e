#pragma once

// Shared by the progress tests of the work layer and of the progress dialog: a wait that keeps
// the event loop turning, and a work item that blocks until it is cancelled.

#include "work/NewProgressInterface.h"
#include "work/WorkThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace plyfold::test {

using namespace std::chrono_literals;

// Processes events until the condition holds or the limit passes; returns the condition.
inline bool PumpUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// An item that blocks until its Cancel is called, then takes a while before it ends, and reports
// through the worker thread's progress interface.
class BlockingItem : public WorkItem {
public:
    struct Log {
        std::mutex mutex;
        std::condition_variable cv;
        bool started = false;
        bool cancelCalled = false;
        bool flagReadTrueAfterCancel = false;
        bool flagIsAlwaysCancelled = false;
        std::atomic<bool> userCancelSeen{false};
        std::atomic<bool> returned{false};
    };

    BlockingItem(NewProgressInterface* progress, std::shared_ptr<Log> log,
                 std::chrono::milliseconds lingerAfterCancel)
        : progress_(progress), log_(std::move(log)), linger_(lingerAfterCancel) {}

    void Run() override {
        progress_->SetRange(0, 4, 1);
        progress_->SetText(QStringLiteral("Checking for Updates"), -1);
        progress_->SetMarquee();
        {
            std::unique_lock<std::mutex> lock(log_->mutex);
            log_->started = true;
            log_->cv.notify_all();
            log_->cv.wait_for(lock, 10s, [this] { return log_->cancelCalled; });
            log_->flagReadTrueAfterCancel = IsCancelled();
            log_->flagIsAlwaysCancelled = cancelFlag.load() == &alwaysCancelled;
        }
        log_->userCancelSeen = progress_->CancelledFlag()->load();
        // Still busy for a moment after the cancel, like a transfer that takes time to close.
        std::this_thread::sleep_for(linger_);
        // A cancelled item may try to enable Cancel again; the dialog must stay greyed out.
        progress_->EnableCancel(true);
        log_->returned = true;
        progress_->Finished(12, 4242);
    }

    void Cancel() override {
        std::lock_guard<std::mutex> lock(log_->mutex);
        log_->cancelCalled = true;
        log_->cv.notify_all();
    }

private:
    NewProgressInterface* progress_;
    std::shared_ptr<Log> log_;
    std::chrono::milliseconds linger_;
};

} // namespace plyfold::test
