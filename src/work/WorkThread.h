#pragma once

// Background work: a WorkThread is one worker thread with a first-in, first-out queue of WorkItem
// objects. It runs them one after another, disposes of each when it is done, and can be stopped
// with a time-out that cancels the running item.

#include "work/QzLock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace plyfold {

// A flag that reads true for the whole life of the process. CancelCurrent points an item's
// cancelFlag at it, so that the item stays cancelled whatever later happens to its thread
// (restarted, stopped, destroyed).
extern const std::atomic<bool> alwaysCancelled;

// One unit of background work. Created by whoever queues it; once queued, the WorkThread owns it
// and destroys it (through the virtual destructor) after running it, or unrun when the queue is
// discarded.
class WorkItem {
public:
    WorkItem() = default;
    WorkItem(const WorkItem&) = delete;
    WorkItem& operator=(const WorkItem&) = delete;
    virtual ~WorkItem() = default;

    // The work itself, called once on the worker thread. A long item checks IsCancelled() between
    // its steps and returns early when it reads true.
    virtual void Run() = 0;

    // Called on another thread while Run is in progress, to break off a blocking call inside Run
    // (for example by aborting a network transfer). Called with the thread's lock held, so it
    // must not take that lock. Run still returns normally afterwards. The base does nothing.
    virtual void Cancel() {}

    // True when the item must give up: its cancelFlag is set and reads true.
    bool IsCancelled() const {
        const std::atomic<bool>* flag = cancelFlag.load();
        return flag != nullptr && flag->load();
    }

    // Where the item reads whether it must give up; null until a worker thread hands the item out.
    // The flag it points at outlives the item, even when the item's thread is destroyed while the
    // item is still running.
    std::atomic<const std::atomic<bool>*> cancelFlag{nullptr};
};

// A worker thread with its queue. The lock inherited from QzLockable guards the queue, the current
// item and the completed count; it is never held while an item's Run executes.
//
// Calling order: construct, Start, then AddItem from any thread as often as needed; Stop (or
// destroy) when done. Start, Stop and destruction may be called from any thread except the worker
// itself; a stopped thread can be started again.
//
// Stopping with a time-out: Stop asks the thread to finish, cancels the current item and waits.
// A worker whose item ignores cancellation past the time-out is abandoned (left to finish on its
// own), never killed, and Stop returns. An abandoned item is disposed of exactly once, and only
// after its Run has returned: the abandoned worker deletes it itself at that moment, touching only
// the per-start state it shares with this object through a shared pointer (flags, the item's
// cancel flag), never the WorkThread, which may meanwhile have been destroyed or started again.
// Such an item therefore reaches its virtual destructor but not ItemDone.
//
// A class that overrides ItemDone or PopNext must call Stop in its own destructor: the base
// destructor can only reach the base versions.
class WorkThread : public QzLockable {
public:
    // The interval at which a thread without a wake event looks at its queue when it is idle.
    static constexpr std::chrono::milliseconds kPollInterval{250};

    // useWakeEvent true: AddItem wakes the idle worker at once. False: the idle worker polls its
    // queue every kPollInterval.
    explicit WorkThread(bool useWakeEvent);
    // Stops a running thread with Stop(500), then destroys every item still queued, unrun.
    ~WorkThread() override;

    // Starts the worker thread; items queued before are run first, in order. Resets
    // completedCount. Returns false if a thread was already started (nothing is created then) or
    // the thread cannot be created.
    bool Start();

    // Appends an item to the queue and takes ownership of it; wakes the worker when there is a
    // wake event. May be called from any thread, also before Start. Returns false (and does
    // nothing) for a null item, true otherwise.
    bool AddItem(WorkItem* item);
    bool AddItem(std::unique_ptr<WorkItem> item);

    // Stops the worker: it leaves its loop after the current item, which is cancelled (its
    // cancelFlag reads true and its Cancel is called). Waits up to timeoutMs (kInfinite: for ever)
    // for the worker to finish; past that the worker is abandoned (see the class comment). Then
    // destroys every queued item unrun. Returns false when no thread was started (or when called
    // from the worker itself), true once the thread has stopped or been abandoned.
    bool Stop(std::uint32_t timeoutMs);

    // Cancels the current item: points its cancelFlag at alwaysCancelled and calls its Cancel.
    // The caller must hold the lock (Lock); it is released before this returns, also when there is
    // no current item. With wait, then waits, without holding the lock, until that item is no
    // longer current (its Run returned, or Stop abandoned it) and returns as soon as it is not;
    // the caller holds no lock on return. From inside an item's own Run, wait is ignored (the
    // item could never stop being current).
    void CancelCurrent(bool wait);
    // The same, but takes the lock itself: for callers that do not hold it.
    void LockAndCancelCurrent(bool wait);

    // Passes every queued item to ItemDone in queue order and empties the queue.
    void DiscardQueue();

    // Runs the first queued item on the calling thread and disposes of it through ItemDone, as the
    // worker would. Only for a thread that is not started (items of one WorkThread never run
    // concurrently): returns false then and when the queue is empty, true if an item was run.
    bool ProcessOne();

    // True from Start until the worker leaves its loop or is abandoned by Stop.
    bool IsRunning();
    // Items run to completion since Start (abandoned items are not counted).
    std::uint32_t completedCount();
    bool useWakeEvent() const { return m_useWakeEvent; }

protected:
    // Removes and returns the first queued item, null when the queue is empty. The caller holds
    // the lock and owns the returned item.
    virtual WorkItem* PopNext();
    // Disposes of an item after its Run (or unrun, from DiscardQueue); the base destroys it, a
    // null item is ignored. A derived thread may override it to hand results on; it runs on the
    // worker thread (or the thread discarding the queue) without the lock held.
    virtual void ItemDone(WorkItem* item);
    // The item being run, or null. The caller holds the lock.
    WorkItem* CurrentItem() const { return m_current; }

private:
    struct Session;
    enum class RunResult { None, Ran, Abandoned };

    static void ThreadMain(WorkThread* self, std::shared_ptr<Session> session);
    RunResult RunOne(Session& session, std::unique_lock<std::mutex>& gate);
    // Makes no item current and wakes CancelCurrent's waiters. The caller holds the lock.
    void ClearCurrentLocked();
    void WaitForWork();
    bool StopLocked(std::uint32_t timeoutMs);

    const bool m_useWakeEvent;
    // Serialises Start, Stop, ProcessOne and destruction.
    std::mutex m_controlMutex;
    std::thread m_thread;
    std::atomic<std::thread::id> m_workerId{};
    // State shared with the worker started last; null when idle. Guarded by the lock.
    std::shared_ptr<Session> m_session;
    // Guarded by the lock.
    WorkItem* m_current = nullptr;
    std::uint64_t m_currentSerial = 0;
    std::thread::id m_currentThread{};
    // Signalled (under the lock) whenever the current item stops being current; CancelCurrent
    // waits on it with the lock.
    std::condition_variable_any m_currentEnded;
    std::uint32_t m_completedCount = 0;
    std::deque<WorkItem*> m_queue;
};

} // namespace plyfold
