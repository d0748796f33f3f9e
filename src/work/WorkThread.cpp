#include "work/WorkThread.h"

#include <condition_variable>
#include <exception>

namespace plyfold {

const std::atomic<bool> alwaysCancelled{true};

namespace {

// A QzLockable seen as a BasicLockable, so that a condition variable can release and take it again.
class LockableRef {
public:
    explicit LockableRef(QzLockable& lockable) : m_lockable(lockable) {}
    void lock() { m_lockable.Lock(QzLockable::kInfinite); }
    void unlock() { m_lockable.Unlock(); }

private:
    QzLockable& m_lockable;
};

} // namespace

// State of one started worker, shared by the WorkThread and its worker thread. It outlives the
// WorkThread when the worker is abandoned, so that the abandoned worker and its item only ever
// touch this, never the WorkThread.
struct WorkThread::Session {
    explicit Session(bool wakeEvent) : hasWakeEvent(wakeEvent) {}

    // Wakes the idle worker (the auto-reset wake event).
    void Wake() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            wakeSignalled = true;
        }
        cv.notify_all();
    }

    const bool hasWakeEvent;
    // Every running item's cancelFlag points here (unless CancelCurrent pointed it at
    // alwaysCancelled). Once set it stays set: a restart makes a new Session.
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> keepWaiting{true};
    std::atomic<bool> keepRunning{true};
    std::atomic<bool> running{true};

    // Held by the worker whenever it touches the WorkThread, that is always except inside an
    // item's Run. Stop takes it to abandon the worker, so a worker never finds itself abandoned
    // half-way through touching the WorkThread.
    std::mutex gate;
    bool abandoned = false; // guarded by gate

    // Wake event, and the end of the worker's loop for Stop.
    std::mutex mutex;
    std::condition_variable cv;
    bool wakeSignalled = false; // guarded by mutex
};

WorkThread::WorkThread(bool useWakeEvent) : m_useWakeEvent(useWakeEvent) {}

WorkThread::~WorkThread() {
    std::lock_guard<std::mutex> control(m_controlMutex);
    if (m_thread.joinable()) {
        StopLocked(500);
        // Only left joinable when destroyed from its own worker: nothing can wait for it then.
        if (m_thread.joinable()) {
            m_thread.detach();
        }
    }
    DiscardQueue();
}

bool WorkThread::Start() {
    std::lock_guard<std::mutex> control(m_controlMutex);
    if (m_thread.joinable()) {
        return false;
    }
    auto session = std::make_shared<Session>(m_useWakeEvent);
    {
        QzLock lock(this);
        m_session = session;
        m_completedCount = 0;
        ClearCurrentLocked();
    }
    try {
        m_thread = std::thread(&WorkThread::ThreadMain, this, session);
    } catch (const std::exception&) {
        QzLock lock(this);
        m_session.reset();
        return false;
    }
    m_workerId = m_thread.get_id();
    return true;
}

bool WorkThread::AddItem(WorkItem* item) {
    if (item == nullptr) {
        return false;
    }
    std::shared_ptr<Session> session;
    {
        QzLock lock(this);
        m_queue.push_back(item);
        session = m_session;
    }
    // A new item wakes a waiting worker at once, with or without a wake event: a polling worker
    // would otherwise leave it queued for up to a whole poll interval.
    if (session) {
        session->Wake();
    }
    return true;
}

bool WorkThread::AddItem(std::unique_ptr<WorkItem> item) {
    return AddItem(item.release());
}

bool WorkThread::Stop(std::uint32_t timeoutMs) {
    if (std::this_thread::get_id() == m_workerId.load()) {
        return false; // the worker cannot wait for itself
    }
    std::lock_guard<std::mutex> control(m_controlMutex);
    return StopLocked(timeoutMs);
}

bool WorkThread::StopLocked(std::uint32_t timeoutMs) {
    if (!m_thread.joinable() || std::this_thread::get_id() == m_thread.get_id()) {
        return false;
    }
    std::shared_ptr<Session> session;
    {
        QzLock lock(this);
        session = m_session;
    }
    const auto clear = [this] {
        m_workerId = std::thread::id();
        QzLock lock(this);
        m_session.reset();
    };
    if (!session->running) {
        // The worker left its loop on its own: release it, but nothing was running to stop.
        m_thread.join();
        clear();
        return false;
    }

    const auto started = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(session->mutex);
        session->keepWaiting = false;
        session->keepRunning = false;
        session->stopRequested = true;
    }
    {
        QzLock lock(this);
        if (m_current != nullptr) {
            if (m_current->cancelFlag.load() != &alwaysCancelled) {
                m_current->cancelFlag = &session->stopRequested;
            }
            m_current->Cancel();
        }
    }
    session->cv.notify_all();

    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(session->mutex);
        const auto done = [&] { return !session->running.load(); };
        if (timeoutMs == kInfinite) {
            session->cv.wait(lock, done);
            finished = true;
        } else {
            finished =
                session->cv.wait_until(lock, started + std::chrono::milliseconds(timeoutMs), done);
        }
    }
    if (!finished) {
        // Outside an item's Run the worker holds the gate and is on its way out (it was woken and
        // told to stop), so this waits only for bookkeeping, never for an item.
        std::lock_guard<std::mutex> gate(session->gate);
        if (session->running) {
            session->abandoned = true;
        } else {
            finished = true;
        }
    }
    if (finished) {
        m_thread.join();
    } else {
        // The abandoned worker now owns its item and deletes it when Run returns.
        {
            QzLock lock(this);
            ClearCurrentLocked();
        }
        m_thread.detach();
    }
    clear();
    DiscardQueue();
    return true;
}

void WorkThread::CancelCurrent(bool wait) {
    WorkItem* item = m_current;
    if (item == nullptr) {
        Unlock();
        return;
    }
    const std::uint64_t serial = m_currentSerial;
    const bool fromOwnItem = m_currentThread == std::this_thread::get_id();
    item->cancelFlag = &alwaysCancelled;
    item->Cancel();
    if (wait && !fromOwnItem) {
        // The wait releases the lock and takes it again to look; the item's end is signalled
        // under the lock, so it cannot pass unseen between a look and the wait.
        LockableRef held(*this);
        m_currentEnded.wait(held,
                            [&] { return m_current == nullptr || m_currentSerial != serial; });
    }
    Unlock();
}

void WorkThread::LockAndCancelCurrent(bool wait) {
    Lock(kInfinite);
    CancelCurrent(wait);
}

void WorkThread::DiscardQueue() {
    std::deque<WorkItem*> items;
    {
        QzLock lock(this);
        items.swap(m_queue);
    }
    for (WorkItem* item : items) {
        ItemDone(item);
    }
}

bool WorkThread::ProcessOne() {
    std::lock_guard<std::mutex> control(m_controlMutex);
    if (m_thread.joinable()) {
        return false;
    }
    Session session(false);
    std::unique_lock<std::mutex> gate(session.gate);
    return RunOne(session, gate) == RunResult::Ran;
}

bool WorkThread::IsRunning() {
    QzLock lock(this);
    return m_session && m_session->running;
}

std::uint32_t WorkThread::completedCount() {
    QzLock lock(this);
    return m_completedCount;
}

void WorkThread::ClearCurrentLocked() {
    m_current = nullptr;
    m_currentThread = std::thread::id();
    m_currentEnded.notify_all();
}

WorkItem* WorkThread::PopNext() {
    if (m_queue.empty()) {
        return nullptr;
    }
    WorkItem* item = m_queue.front();
    m_queue.pop_front();
    return item;
}

void WorkThread::ItemDone(WorkItem* item) {
    delete item;
}

void WorkThread::ThreadMain(WorkThread* self, std::shared_ptr<Session> session) {
    std::unique_lock<std::mutex> gate(session->gate);
    while (session->keepRunning && !session->stopRequested) {
        const RunResult result = self->RunOne(*session, gate);
        if (result == RunResult::Abandoned) {
            return; // `self` may be gone: touch nothing but the session
        }
        if (result == RunResult::None) {
            if (!session->keepWaiting) {
                break;
            }
            self->WaitForWork();
        }
    }
    {
        std::lock_guard<std::mutex> lock(session->mutex);
        session->running = false;
    }
    session->cv.notify_all();
}

WorkThread::RunResult WorkThread::RunOne(Session& session, std::unique_lock<std::mutex>& gate) {
    WorkItem* item = nullptr;
    {
        QzLock lock(this);
        // A stop requested meanwhile leaves the rest of the queue to be discarded unrun.
        if (session.stopRequested) {
            return RunResult::None;
        }
        item = PopNext();
        if (item == nullptr) {
            return RunResult::None;
        }
        // Set before the item becomes current, so that a CancelCurrent right after is not undone.
        item->cancelFlag = &session.stopRequested;
        m_current = item;
        ++m_currentSerial;
        m_currentThread = std::this_thread::get_id();
    }

    gate.unlock();
    item->Run();
    gate.lock();

    if (session.abandoned) {
        // Stop gave up on this worker and forgot the item; it is ours alone to dispose of.
        delete item;
        return RunResult::Abandoned;
    }
    {
        QzLock lock(this);
        ++m_completedCount;
        ClearCurrentLocked();
    }
    // The session's flag dies with this run of the thread, but ItemDone may hand the item on:
    // leave it a flag that lives as long as the process and keeps the answer.
    if (item->cancelFlag.load() == &session.stopRequested) {
        item->cancelFlag = session.stopRequested ? &alwaysCancelled : nullptr;
    }
    ItemDone(item);
    return RunResult::Ran;
}

void WorkThread::WaitForWork() {
    std::shared_ptr<Session> session;
    {
        QzLock lock(this);
        session = m_session;
    }
    if (!session) {
        std::this_thread::sleep_for(kPollInterval);
        return;
    }
    std::unique_lock<std::mutex> lock(session->mutex);
    if (session->hasWakeEvent) {
        session->cv.wait(lock,
                         [&] { return session->wakeSignalled || session->stopRequested.load(); });
        session->wakeSignalled = false;
    } else {
        // Polling: the queue is looked at again after the interval, or as soon as an item is added
        // or a stop is requested.
        session->cv.wait_for(lock, kPollInterval, [&] {
            return session->wakeSignalled || session->stopRequested.load();
        });
        session->wakeSignalled = false;
    }
}

} // namespace plyfold
