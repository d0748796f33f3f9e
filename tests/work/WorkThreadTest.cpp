// Work threads: queue order, start and stop, the stop time-out that abandons a worker whose item
// ignores cancellation, and cancelling the current item.

#include "work/WorkThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace plyfold {
namespace {

using Clock = std::chrono::steady_clock;

// Polls until the condition holds or a generous limit passes; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// What the items of a test did. Shared with the items, so that an item that outlives its thread
// (or the test's expectations) still writes into live memory.
class Journal {
public:
    void Ran(int id) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_order.push_back(id);
        ++m_ran[id];
    }
    void Destroyed(int id) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_destroyed[id];
    }
    void Note(int id, const char* what, bool value) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notes[{id, what}] = value;
    }
    std::vector<int> Order() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_order;
    }
    int RanCount(int id) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_ran.find(id);
        return it == m_ran.end() ? 0 : it->second;
    }
    int DestroyedCount(int id) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_destroyed.find(id);
        return it == m_destroyed.end() ? 0 : it->second;
    }
    // -1 when never noted.
    int NoteOf(int id, const char* what) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_notes.find({id, what});
        return it == m_notes.end() ? -1 : int(it->second);
    }

private:
    mutable std::mutex m_mutex;
    std::vector<int> m_order;
    std::map<int, int> m_ran;
    std::map<int, int> m_destroyed;
    std::map<std::pair<int, std::string>, bool> m_notes;
};

// A one-way switch a test flips to let an item go on.
class Latch {
public:
    void Open() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_cv.notify_all();
    }
    bool IsOpen() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_open;
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_open; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

class RecordingItem : public WorkItem {
public:
    RecordingItem(int id, std::shared_ptr<Journal> journal)
        : m_id(id), m_journal(std::move(journal)) {}
    ~RecordingItem() override { m_journal->Destroyed(m_id); }
    void Run() override { m_journal->Ran(m_id); }
    int id() const { return m_id; }

protected:
    int m_id;
    std::shared_ptr<Journal> m_journal;
};

// Ignores cancellation: runs until the test opens its latch, then notes whether it was cancelled
// and whether its flag is the process-wide one.
class StubbornItem : public RecordingItem {
public:
    StubbornItem(int id, std::shared_ptr<Journal> journal, std::shared_ptr<Latch> started,
                 std::shared_ptr<Latch> release)
        : RecordingItem(id, std::move(journal)), m_started(std::move(started)),
          m_release(std::move(release)) {}
    void Run() override {
        m_journal->Ran(m_id);
        m_started->Open();
        m_release->Wait();
        m_journal->Note(m_id, "cancelled", IsCancelled());
        m_journal->Note(m_id, "alwaysCancelled", cancelFlag.load() == &alwaysCancelled);
        m_journal->Note(m_id, "returned", true);
    }
    void Cancel() override { m_journal->Note(m_id, "cancelCalled", true); }

private:
    std::shared_ptr<Latch> m_started;
    std::shared_ptr<Latch> m_release;
};

// A StubbornItem that also opens a latch when Cancel reaches it.
class WatchedStubbornItem : public StubbornItem {
public:
    WatchedStubbornItem(int id, std::shared_ptr<Journal> journal, std::shared_ptr<Latch> started,
                        std::shared_ptr<Latch> release, std::shared_ptr<Latch> cancelCalled)
        : StubbornItem(id, std::move(journal), std::move(started), std::move(release)),
          m_cancelCalled(std::move(cancelCalled)) {}
    void Cancel() override {
        StubbornItem::Cancel();
        m_cancelCalled->Open();
    }

private:
    std::shared_ptr<Latch> m_cancelCalled;
};

// Blocks until cancelled, either by its flag or through Cancel breaking off the "blocking call".
class CooperativeItem : public RecordingItem {
public:
    CooperativeItem(int id, std::shared_ptr<Journal> journal, std::shared_ptr<Latch> started)
        : RecordingItem(id, std::move(journal)), m_started(std::move(started)) {}
    void Run() override {
        m_journal->Ran(m_id);
        m_started->Open();
        while (!IsCancelled() && !m_broken.IsOpen()) {
            std::this_thread::sleep_for(1ms);
        }
        m_journal->Note(m_id, "cancelled", IsCancelled());
        m_journal->Note(m_id, "returned", true);
    }
    void Cancel() override { m_broken.Open(); }

private:
    std::shared_ptr<Latch> m_started;
    Latch m_broken;
};

// Counts what reaches ItemDone, in order.
class CountingThread : public WorkThread {
public:
    explicit CountingThread(bool useWakeEvent, std::shared_ptr<std::vector<int>> done)
        : WorkThread(useWakeEvent), m_done(std::move(done)) {}
    ~CountingThread() override {
        Stop(500);
        DiscardQueue();
    }

protected:
    void ItemDone(WorkItem* item) override {
        if (auto* recording = dynamic_cast<RecordingItem*>(item)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done->push_back(recording->id());
        }
        WorkThread::ItemDone(item);
    }

private:
    std::mutex m_mutex;
    std::shared_ptr<std::vector<int>> m_done;
};

TEST(QzLockTest, LockWaitsForTheHolderAndTimesOut) {
    QzLockable lockable;
    Latch held;
    Latch release;
    std::thread holder([&] {
        QzLock lock(lockable);
        held.Open();
        release.Wait();
    });
    held.Wait();
    EXPECT_FALSE(lockable.Lock(0));
    const auto before = Clock::now();
    EXPECT_FALSE(lockable.Lock(50));
    EXPECT_GE(Clock::now() - before, 45ms);

    // An infinite wait returns once the holder lets go.
    std::thread opener([&] {
        std::this_thread::sleep_for(50ms);
        release.Open();
    });
    EXPECT_TRUE(lockable.Lock(QzLockable::kInfinite));
    lockable.Unlock();
    holder.join();
    opener.join();
    EXPECT_TRUE(lockable.Lock(0));
    lockable.Unlock();
}

// Items added before Start wait and run first; the ones added later follow, in order, whether
// the idle worker is woken or polls its queue.
TEST(WorkThreadTest, RunsItemsInQueueOrderWithAndWithoutWakeEvent) {
    for (const bool useWakeEvent : {true, false}) {
        SCOPED_TRACE(useWakeEvent ? "wake event" : "polling");
        auto journal = std::make_shared<Journal>();
        WorkThread thread(useWakeEvent);
        for (int id = 1; id <= 3; ++id) {
            EXPECT_TRUE(thread.AddItem(new RecordingItem(id, journal)));
        }
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(WaitUntil([&] { return thread.completedCount() == 3; }));
        // Added while the worker is idle (waiting or polling).
        for (int id = 4; id <= 6; ++id) {
            EXPECT_TRUE(thread.AddItem(std::make_unique<RecordingItem>(id, journal)));
        }
        ASSERT_TRUE(WaitUntil([&] { return thread.completedCount() == 6; }));
        EXPECT_TRUE(thread.IsRunning());
        EXPECT_TRUE(thread.Stop(QzLockable::kInfinite));
        EXPECT_FALSE(thread.IsRunning());
        EXPECT_EQ(journal->Order(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
        for (int id = 1; id <= 6; ++id) {
            EXPECT_EQ(journal->DestroyedCount(id), 1) << "item " << id;
        }
    }
}

TEST(WorkThreadTest, StartTwiceFailsAndStopOnlyStopsAStartedThread) {
    auto journal = std::make_shared<Journal>();
    WorkThread thread(true);
    EXPECT_FALSE(thread.Stop(500)); // idle: never started
    EXPECT_FALSE(thread.AddItem(nullptr));

    ASSERT_TRUE(thread.Start());
    EXPECT_FALSE(thread.Start()); // a second worker would run items concurrently
    thread.AddItem(new RecordingItem(1, journal));
    ASSERT_TRUE(WaitUntil([&] { return thread.completedCount() == 1; }));
    EXPECT_TRUE(thread.Stop(500));
    EXPECT_FALSE(thread.Stop(500)); // idle again

    // Restartable: the count starts again from zero.
    thread.AddItem(new RecordingItem(2, journal));
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return journal->RanCount(2) == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return thread.completedCount() == 1; }));
    EXPECT_TRUE(thread.Stop(500));
    EXPECT_EQ(journal->Order(), (std::vector<int>{1, 2}));
    EXPECT_EQ(journal->DestroyedCount(1), 1);
    EXPECT_EQ(journal->DestroyedCount(2), 1);
}

// An item that reacts to cancellation ends the stop early: Stop cancels it (flag and Cancel), it
// returns, and it is disposed of through ItemDone like any finished item.
TEST(WorkThreadTest, StopCancelsACooperativeItemAndWaitsForIt) {
    for (const bool useWakeEvent : {true, false}) {
        SCOPED_TRACE(useWakeEvent ? "wake event" : "polling");
        auto journal = std::make_shared<Journal>();
        auto done = std::make_shared<std::vector<int>>();
        auto started = std::make_shared<Latch>();
        CountingThread thread(useWakeEvent, done);
        thread.AddItem(new CooperativeItem(1, journal, started));
        thread.AddItem(new RecordingItem(2, journal));
        ASSERT_TRUE(thread.Start());
        started->Wait();
        EXPECT_TRUE(thread.Stop(QzLockable::kInfinite));
        EXPECT_EQ(journal->NoteOf(1, "returned"), 1);
        EXPECT_EQ(journal->NoteOf(1, "cancelled"), 1);
        EXPECT_EQ(thread.completedCount(), 1u);
        EXPECT_EQ(journal->RanCount(2), 0); // queued behind a stop: destroyed unrun
        EXPECT_EQ(*done, (std::vector<int>{1, 2}));
        EXPECT_EQ(journal->DestroyedCount(1), 1);
        EXPECT_EQ(journal->DestroyedCount(2), 1);
    }
}

// Stop(500) against an item that ignores cancellation: Stop returns after no less than 500 ms, the
// worker is abandoned, queued items are destroyed unrun, and the stubborn item is destroyed
// exactly once, only after its Run returns, even when the WorkThread is gone or running again by
// then.
TEST(WorkThreadTest, StopAbandonsAnItemThatIgnoresCancellation) {
    enum class Then { DestroyThread, RestartThread, KeepThread };
    for (const Then then : {Then::DestroyThread, Then::RestartThread, Then::KeepThread}) {
        SCOPED_TRACE(int(then));
        auto journal = std::make_shared<Journal>();
        auto done = std::make_shared<std::vector<int>>();
        auto started = std::make_shared<Latch>();
        auto release = std::make_shared<Latch>();
        auto thread = std::make_unique<CountingThread>(true, done);
        thread->AddItem(new StubbornItem(1, journal, started, release));
        thread->AddItem(new RecordingItem(2, journal));
        thread->AddItem(new RecordingItem(3, journal));
        ASSERT_TRUE(thread->Start());
        started->Wait();

        // Stop waits out its time before it abandons the item (how much longer it takes on a
        // loaded machine is not this test's business).
        const auto before = Clock::now();
        EXPECT_TRUE(thread->Stop(500));
        EXPECT_GE(Clock::now() - before, 450ms);

        EXPECT_FALSE(thread->IsRunning());
        EXPECT_EQ(journal->NoteOf(1, "cancelCalled"), 1);
        EXPECT_EQ(journal->DestroyedCount(1), 0); // still inside Run
        EXPECT_EQ(journal->RanCount(2), 0);
        EXPECT_EQ(journal->RanCount(3), 0);
        EXPECT_EQ(journal->DestroyedCount(2), 1);
        EXPECT_EQ(journal->DestroyedCount(3), 1);
        EXPECT_EQ(*done, (std::vector<int>{2, 3}));
        EXPECT_EQ(thread->completedCount(), 0u);

        if (then == Then::DestroyThread) {
            thread.reset();
        } else if (then == Then::RestartThread) {
            ASSERT_TRUE(thread->Start());
            thread->AddItem(new RecordingItem(4, journal));
            ASSERT_TRUE(WaitUntil([&] { return journal->DestroyedCount(4) == 1; }));
        }

        release->Open();
        ASSERT_TRUE(WaitUntil([&] { return journal->DestroyedCount(1) == 1; }));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(journal->DestroyedCount(1), 1);
        EXPECT_EQ(journal->RanCount(1), 1);
        // Its flag still reads true though its thread stopped (and perhaps started again).
        EXPECT_EQ(journal->NoteOf(1, "cancelled"), 1);
        if (thread) {
            EXPECT_TRUE(WaitUntil([&] {
                return thread->completedCount() == (then == Then::RestartThread ? 1u : 0u);
            }));
            thread.reset();
        }
        // The abandoned item never came back to ItemDone.
        EXPECT_EQ(std::count(done->begin(), done->end(), 1), 0);
    }
}

TEST(WorkThreadTest, CancelCurrentWithoutAnItemReleasesTheLock) {
    for (const bool started : {false, true}) {
        SCOPED_TRACE(started ? "started" : "not started");
        WorkThread thread(true);
        if (started) {
            ASSERT_TRUE(thread.Start());
        }
        ASSERT_TRUE(thread.Lock(QzLockable::kInfinite));
        thread.CancelCurrent(true);
        // Another thread can take the lock (the worker itself may hold it for a moment).
        EXPECT_TRUE(std::async(std::launch::async, [&] {
                        const bool locked = thread.Lock(1000);
                        if (locked) {
                            thread.Unlock();
                        }
                        return locked;
                    }).get());
    }
}

// CancelCurrent(true) returns once the cancelled item is no longer current, and it has run to its
// end by then; the worker goes on with the next item.
TEST(WorkThreadTest, CancelCurrentWaitsForTheCancelledItem) {
    auto journal = std::make_shared<Journal>();
    auto started = std::make_shared<Latch>();
    WorkThread thread(true);
    thread.AddItem(new CooperativeItem(1, journal, started));
    thread.AddItem(new RecordingItem(2, journal));
    ASSERT_TRUE(thread.Start());
    started->Wait();
    thread.LockAndCancelCurrent(true);
    EXPECT_EQ(journal->NoteOf(1, "returned"), 1);
    EXPECT_EQ(journal->NoteOf(1, "cancelled"), 1);
    EXPECT_TRUE(WaitUntil([&] { return journal->RanCount(2) == 1; }));
    EXPECT_TRUE(thread.Stop(500));
    EXPECT_EQ(journal->DestroyedCount(1), 1);
    EXPECT_EQ(journal->DestroyedCount(2), 1);
}

// CancelCurrent(true) on an item that ignores cancellation (a render that cannot be broken off)
// returns once that item has ended, not before, and without waiting for the item after it.
TEST(WorkThreadTest, CancelCurrentReturnsWhenAHeldItemEnds) {
    auto journal = std::make_shared<Journal>();
    auto started = std::make_shared<Latch>();
    auto release = std::make_shared<Latch>();
    auto cancelCalled = std::make_shared<Latch>();
    auto nextStarted = std::make_shared<Latch>();
    auto nextRelease = std::make_shared<Latch>();
    WorkThread thread(true);
    thread.AddItem(new WatchedStubbornItem(1, journal, started, release, cancelCalled));
    thread.AddItem(new StubbornItem(2, journal, nextStarted, nextRelease));
    ASSERT_TRUE(thread.Start());
    started->Wait();
    auto waiter = std::async(std::launch::async, [&] {
        thread.LockAndCancelCurrent(true);
        // What had happened when the wait ended.
        return std::make_pair(journal->NoteOf(1, "returned"), nextRelease->IsOpen());
    });
    // The cancel has reached the item, which goes on regardless until it is let go.
    cancelCalled->Wait();
    release->Open();
    const auto [firstReturned, nextReleased] = waiter.get();
    EXPECT_EQ(firstReturned, 1);
    EXPECT_FALSE(nextReleased);
    EXPECT_EQ(journal->NoteOf(1, "cancelled"), 1);
    nextStarted->Wait();
    nextRelease->Open();
    EXPECT_TRUE(thread.Stop(500));
    EXPECT_EQ(journal->DestroyedCount(1), 1);
    EXPECT_EQ(journal->DestroyedCount(2), 1);
}

// An item cancelled with CancelCurrent stays cancelled after its thread was stopped and started
// again: its flag is the process-wide one.
TEST(WorkThreadTest, CancelledFlagReadsTrueAfterRestart) {
    auto journal = std::make_shared<Journal>();
    auto started = std::make_shared<Latch>();
    auto release = std::make_shared<Latch>();
    WorkThread thread(true);
    thread.AddItem(new StubbornItem(1, journal, started, release));
    ASSERT_TRUE(thread.Start());
    started->Wait();
    ASSERT_TRUE(thread.Lock(QzLockable::kInfinite));
    thread.CancelCurrent(false);
    EXPECT_TRUE(thread.Stop(100)); // the item ignores it: abandoned
    ASSERT_TRUE(thread.Start());
    release->Open();
    ASSERT_TRUE(WaitUntil([&] { return journal->DestroyedCount(1) == 1; }));
    EXPECT_EQ(journal->NoteOf(1, "cancelled"), 1);
    EXPECT_EQ(journal->NoteOf(1, "alwaysCancelled"), 1);
    EXPECT_TRUE(thread.Stop(500));
}

// Items that never run are still disposed of once: by DiscardQueue through ItemDone, in order,
// and by the destructor of a thread that was never started.
TEST(WorkThreadTest, QueuedItemsAreDestroyedUnrun) {
    auto journal = std::make_shared<Journal>();
    auto done = std::make_shared<std::vector<int>>();
    {
        CountingThread thread(false, done);
        for (int id = 1; id <= 3; ++id) {
            thread.AddItem(new RecordingItem(id, journal));
        }
        thread.DiscardQueue();
        EXPECT_EQ(*done, (std::vector<int>{1, 2, 3}));
        thread.AddItem(new RecordingItem(4, journal));
        thread.AddItem(new RecordingItem(5, journal));
    }
    {
        WorkThread plain(true);
        plain.AddItem(new RecordingItem(6, journal));
    }
    EXPECT_TRUE(journal->Order().empty());
    for (int id = 1; id <= 6; ++id) {
        EXPECT_EQ(journal->DestroyedCount(id), 1) << "item " << id;
    }
}

// Destroying a running thread stops it (cancelling its item) and disposes of everything.
TEST(WorkThreadTest, DestroyingARunningThreadStopsIt) {
    auto journal = std::make_shared<Journal>();
    auto started = std::make_shared<Latch>();
    {
        WorkThread thread(false);
        thread.AddItem(new CooperativeItem(1, journal, started));
        thread.AddItem(new RecordingItem(2, journal));
        ASSERT_TRUE(thread.Start());
        started->Wait();
    }
    EXPECT_EQ(journal->NoteOf(1, "cancelled"), 1);
    EXPECT_EQ(journal->DestroyedCount(1), 1);
    EXPECT_EQ(journal->RanCount(2), 0);
    EXPECT_EQ(journal->DestroyedCount(2), 1);
}

TEST(WorkThreadTest, ProcessOneRunsQueuedItemsOnlyWhileNotStarted) {
    auto journal = std::make_shared<Journal>();
    WorkThread thread(true);
    EXPECT_FALSE(thread.ProcessOne());
    thread.AddItem(new RecordingItem(1, journal));
    thread.AddItem(new RecordingItem(2, journal));
    EXPECT_TRUE(thread.ProcessOne());
    EXPECT_EQ(journal->Order(), (std::vector<int>{1}));
    EXPECT_EQ(journal->DestroyedCount(1), 1);
    EXPECT_EQ(thread.completedCount(), 1u);

    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return journal->DestroyedCount(2) == 1; }));
    thread.AddItem(new RecordingItem(3, journal));
    EXPECT_FALSE(thread.ProcessOne()); // never a second runner beside the worker
    ASSERT_TRUE(WaitUntil([&] { return journal->DestroyedCount(3) == 1; }));
    EXPECT_TRUE(thread.Stop(500));
    EXPECT_EQ(journal->Order(), (std::vector<int>{1, 2, 3}));
}

} // namespace
} // namespace plyfold
