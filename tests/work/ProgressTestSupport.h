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
        : m_progress(progress), m_log(std::move(log)), m_linger(lingerAfterCancel) {}

    void Run() override {
        m_progress->SetRange(0, 4, 1);
        m_progress->SetText(QStringLiteral("Checking for Updates"), -1);
        m_progress->SetMarquee();
        {
            std::unique_lock<std::mutex> lock(m_log->mutex);
            m_log->started = true;
            m_log->cv.notify_all();
            m_log->cv.wait_for(lock, 10s, [this] { return m_log->cancelCalled; });
            m_log->flagReadTrueAfterCancel = IsCancelled();
            m_log->flagIsAlwaysCancelled = cancelFlag.load() == &alwaysCancelled;
        }
        m_log->userCancelSeen = m_progress->CancelledFlag()->load();
        // Still busy for a moment after the cancel, like a transfer that takes time to close.
        std::this_thread::sleep_for(m_linger);
        // A cancelled item may try to enable Cancel again; the dialog must stay greyed out.
        m_progress->EnableCancel(true);
        m_log->returned = true;
        m_progress->Finished(12, 4242);
    }

    void Cancel() override {
        std::lock_guard<std::mutex> lock(m_log->mutex);
        m_log->cancelCalled = true;
        m_log->cv.notify_all();
    }

private:
    NewProgressInterface* m_progress;
    std::shared_ptr<Log> m_log;
    std::chrono::milliseconds m_linger;
};

} // namespace plyfold::test
