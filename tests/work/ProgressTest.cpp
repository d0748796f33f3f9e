// Progress reporting: updates posted from worker threads reach the user-interface thread in the
// order posted, Flush delivers what is pending, displays are brought up to date, and the worker
// thread's cancel reaches the running item.

#include "work/NewProgressDisplay.h"
#include "work/NewProgressHandler.h"
#include "work/ProgressTestSupport.h"
#include "work/WorkThreadWithProgress.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace plyfold {
namespace {

using test::BlockingItem;
using test::PumpUntil;

// A display that writes down every call, and on which thread it came.
class RecordingDisplay : public NewProgressDisplay {
public:
    explicit RecordingDisplay(NewProgressHandler* handler = nullptr) : m_handler(handler) {}

    void SetRange(int min, int max, int pos) override {
        Note("range " + std::to_string(min) + " " + std::to_string(max) + " " +
             std::to_string(pos));
    }
    void SetMarquee() override { Note("marquee"); }
    void SetText(const QString& text, int pos) override {
        Note("text '" + text.toStdString() + "' " + std::to_string(pos));
    }
    void SetPos(int pos) override { Note("pos " + std::to_string(pos)); }
    bool Finished(int code, std::intptr_t value) override {
        Note("finished " + std::to_string(code) + " " + std::to_string(value));
        // Like the dialog: lets go of the result unless told to keep it.
        if (!keep && m_handler != nullptr) {
            m_handler->RemoveDisplay(this);
        }
        return keep;
    }
    void EnableCancel(bool enable) override { Note(enable ? "cancel on" : "cancel off"); }

    std::vector<std::string> calls;
    bool offUiThread = false;
    bool keep = false;

private:
    void Note(const std::string& call) {
        if (QThread::currentThread() != qApp->thread()) {
            offUiThread = true;
        }
        calls.push_back(call);
    }
    NewProgressHandler* m_handler;
};

using Calls = std::vector<std::string>;

TEST(NewProgressHandler, UpdatesFromAWorkerArriveInOrderOnTheUserInterfaceThread) {
    QWidget window;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&window));
    handler.Reset();
    RecordingDisplay display(&handler);
    handler.AddDisplay(&display);
    display.calls.clear();

    // Many reports from two threads one after the other, then the end: each thread's reports
    // must keep their order, and the reports must not be applied on the worker.
    std::thread worker([&handler] {
        handler.SetRange(0, 200, 0);
        for (int i = 1; i <= 200; ++i) {
            handler.SetPos(i);
        }
        handler.SetText(QStringLiteral("half"), -1);
        handler.SetMarquee();
        handler.EnableCancel(false);
        handler.Finished(12, 77);
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return handler.PendingCount() == 0; }));

    Calls expected{"range 0 200 0"};
    for (int i = 1; i <= 200; ++i) {
        expected.push_back("pos " + std::to_string(i));
    }
    // The text goes out with the stored position when the report leaves it unchanged.
    expected.insert(expected.end(), {"text 'half' 200", "marquee", "cancel off", "finished 12 77"});
    EXPECT_EQ(display.calls, expected);
    EXPECT_FALSE(display.offUiThread);

    const NewProgressHandler::State s = handler.state();
    EXPECT_EQ(s.text, QStringLiteral("half"));
    EXPECT_EQ(s.pos, 200);
    EXPECT_TRUE(s.marquee);
    EXPECT_FALSE(s.cancelEnabled);
    EXPECT_TRUE(s.finished);
    EXPECT_EQ(handler.CurrentDisplay(), nullptr); // the display let go and removed itself
}

TEST(NewProgressHandler, FlushDeliversPendingUpdatesAtOnceAndOnlyOnce) {
    QWidget window;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&window));
    handler.Reset();
    RecordingDisplay display(&handler);
    handler.AddDisplay(&display);
    display.calls.clear();

    handler.SetRange(0, 4, 1);
    handler.SetText(QStringLiteral("a"), 2);
    handler.SetPos(3);
    EXPECT_TRUE(display.calls.empty()) << "posted, not applied on the spot";
    EXPECT_EQ(handler.PendingCount(), 3u);

    handler.Flush();
    EXPECT_EQ(display.calls, (Calls{"range 0 4 1", "text 'a' 2", "pos 3"}));
    EXPECT_EQ(handler.PendingCount(), 0u);

    // The messages of the flushed updates still arrive; they must not apply anything again, and
    // an update posted after the flush is applied once, in its turn.
    handler.SetPos(4);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(display.calls, (Calls{"range 0 4 1", "text 'a' 2", "pos 3", "pos 4"}));
}

TEST(NewProgressHandler, SavedStateFollowsEachKindOfUpdate) {
    struct Case {
        const char* name;
        std::function<void(NewProgressHandler&)> report;
        Calls expectedCalls;
        std::function<void(const NewProgressHandler::State&)> check;
    };
    const Case cases[] = {
        {"text with position -1 keeps the position",
         [](NewProgressHandler& h) {
             h.SetRange(0, 10, 6);
             h.SetText(QStringLiteral("x"), -1);
         },
         {"range 0 10 6", "text 'x' 6"},
         [](const NewProgressHandler::State& s) {
             EXPECT_EQ(s.pos, 6);
             EXPECT_EQ(s.text, QStringLiteral("x"));
         }},
        {"text with a position moves it",
         [](NewProgressHandler& h) { h.SetText(QStringLiteral("y"), 3); },
         {"text 'y' 3"},
         [](const NewProgressHandler::State& s) { EXPECT_EQ(s.pos, 3); }},
        {"range after marquee turns the marquee off",
         [](NewProgressHandler& h) {
             h.SetMarquee();
             h.SetRange(1, 5, 2);
         },
         {"marquee", "range 1 5 2"},
         [](const NewProgressHandler::State& s) {
             EXPECT_FALSE(s.marquee);
             EXPECT_EQ(s.min, 1);
             EXPECT_EQ(s.max, 5);
         }},
        {"marquee after range turns it on",
         [](NewProgressHandler& h) {
             h.SetRange(1, 5, 2);
             h.SetMarquee();
         },
         {"range 1 5 2", "marquee"},
         [](const NewProgressHandler::State& s) { EXPECT_TRUE(s.marquee); }},
        {"cancel enabling",
         [](NewProgressHandler& h) {
             h.EnableCancel(false);
             h.EnableCancel(true);
         },
         {"cancel off", "cancel on"},
         [](const NewProgressHandler::State& s) { EXPECT_TRUE(s.cancelEnabled); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        NewProgressHandler handler;
        ASSERT_TRUE(handler.AttachToWindow(&window));
        handler.Reset();
        RecordingDisplay display(&handler);
        handler.AddDisplay(&display);
        display.calls.clear();
        c.report(handler);
        handler.Flush();
        EXPECT_EQ(display.calls, c.expectedCalls);
        c.check(handler.state());
    }
}

TEST(NewProgressHandler, ResetAndBringingDisplaysUpToDate) {
    QWidget window;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&window));

    // A handler that was never reset counts as finished: a display added to it ends at once.
    {
        RecordingDisplay early(&handler);
        handler.AddDisplay(&early);
        EXPECT_EQ(early.calls, (Calls{"finished 0 0"}));
        EXPECT_FALSE(handler.HasDisplay(&early));
    }

    handler.EnableCancel(false);
    handler.Flush();
    handler.Reset();
    NewProgressHandler::State s = handler.state();
    EXPECT_EQ(s.min, 0);
    EXPECT_EQ(s.max, 10);
    EXPECT_EQ(s.pos, 0);
    EXPECT_TRUE(s.text.isEmpty());
    EXPECT_FALSE(s.marquee);
    EXPECT_FALSE(s.cancelled);
    EXPECT_FALSE(s.finished);
    EXPECT_FALSE(s.cancelEnabled) << "Reset leaves the cancel-enabled flag alone";

    // Updates without a display change only the saved state; a display added later gets it.
    handler.SetRange(0, 8, 5);
    handler.SetText(QStringLiteral("later"), -1);
    handler.Flush();
    RecordingDisplay first(&handler);
    handler.AddDisplay(&first);
    EXPECT_EQ(first.calls, (Calls{"cancel off", "range 0 8 5", "text 'later' 5"}));

    // In marquee mode the text goes with position -1.
    handler.SetMarquee();
    handler.Flush();
    RecordingDisplay second(&handler);
    handler.AddDisplay(&second);
    EXPECT_EQ(second.calls, (Calls{"cancel off", "marquee", "text 'later' -1"}));
    EXPECT_EQ(handler.CurrentDisplay(), &second);

    // Only the active display gets updates; removing it brings the previous one up to date.
    first.calls.clear();
    handler.SetPos(7);
    handler.Flush();
    EXPECT_TRUE(first.calls.empty());
    handler.RemoveDisplay(&second);
    EXPECT_EQ(handler.CurrentDisplay(), &first);
    EXPECT_EQ(first.calls, (Calls{"cancel off", "marquee", "text 'later' -1"}));

    // Removing a display that is not the active one changes nothing else.
    RecordingDisplay third(&handler);
    handler.AddDisplay(&third);
    first.calls.clear();
    third.calls.clear();
    handler.RemoveDisplay(&first);
    EXPECT_TRUE(first.calls.empty());
    EXPECT_TRUE(third.calls.empty());
    handler.RemoveDisplay(&third);
}

TEST(NewProgressHandler, FinishedIsOfferedToDisplaysUntilOneKeepsIt) {
    QWidget window;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&window));
    handler.Reset();
    RecordingDisplay keeper(&handler);
    keeper.keep = true;
    RecordingDisplay top(&handler);
    handler.AddDisplay(&keeper);
    handler.AddDisplay(&top);
    keeper.calls.clear();
    top.calls.clear();

    handler.Finished(13, 5);
    handler.Flush();
    EXPECT_EQ(top.calls, (Calls{"finished 13 5"}));
    // The lower display became active when the top one let go; being brought up to date after
    // the end, it hears of it at once, and then gets the result itself.
    EXPECT_EQ(keeper.calls, (Calls{"finished 0 0", "finished 13 5"}));
    EXPECT_EQ(handler.CurrentDisplay(), &keeper);

    // A display that declines the result but stays is not asked for ever.
    RecordingDisplay stubborn(nullptr);
    handler.AddDisplay(&stubborn);
    stubborn.calls.clear();
    handler.Finished(1, 2);
    handler.Flush();
    EXPECT_EQ(stubborn.calls, (Calls{"finished 1 2"}));
    handler.RemoveDisplay(&stubborn);
    handler.RemoveDisplay(&keeper);
}

TEST(NewProgressHandler, WithoutATargetWindowReportsAreDiscarded) {
    NewProgressHandler handler;
    handler.Reset();
    handler.SetText(QStringLiteral("lost"), 4);
    EXPECT_EQ(handler.PendingCount(), 0u);
    handler.Flush();
    EXPECT_TRUE(handler.state().text.isEmpty());
    EXPECT_FALSE(handler.AttachToWindow(nullptr));
}

TEST(NewProgressHandler, UpdatesPendingWhenTheWindowGoesAreKeptForFlush) {
    NewProgressHandler handler;
    handler.Reset();
    {
        QWidget window;
        ASSERT_TRUE(handler.AttachToWindow(&window));
        handler.SetText(QStringLiteral("kept"), 2);
    }
    EXPECT_EQ(handler.targetWindow(), nullptr);
    EXPECT_EQ(handler.PendingCount(), 1u);
    QCoreApplication::processEvents();
    handler.Flush();
    EXPECT_EQ(handler.state().text, QStringLiteral("kept"));
    EXPECT_EQ(handler.state().pos, 2);
    // Reports made now have nowhere to go.
    handler.SetPos(9);
    handler.Flush();
    EXPECT_EQ(handler.state().pos, 2);
}

TEST(NewProgressHandler, MovingToAnotherWindowDeliversWhatWasPostedToTheOldOne) {
    QWidget oldWindow;
    QWidget newWindow;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&oldWindow));
    handler.Reset();
    RecordingDisplay display(&handler);
    handler.AddDisplay(&display);
    display.calls.clear();

    handler.SetPos(1);
    ASSERT_TRUE(handler.AttachToWindow(&newWindow));
    EXPECT_EQ(display.calls, (Calls{"pos 1"}));
    EXPECT_EQ(handler.targetWindow(), &newWindow);

    handler.SetPos(2);
    ASSERT_TRUE(PumpUntil([&] { return display.calls.size() == 2; }));
    EXPECT_EQ(display.calls, (Calls{"pos 1", "pos 2"}));
    handler.RemoveDisplay(&display);
}

TEST(NewProgressHandler, OtherEventsOfTheWindowPassThrough) {
    // The hook takes only its own message: the window still sees everything else.
    class CountingWindow : public QWidget {
    public:
        int resizes = 0;

    protected:
        void resizeEvent(QResizeEvent*) override { ++resizes; }
    };
    CountingWindow window;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&window));
    window.resize(120, 80);
    window.show();
    QCoreApplication::processEvents();
    EXPECT_GE(window.resizes, 1);
}

TEST(WorkThreadWithProgress, UserCancelReachesTheRunningItemAndOnlySetsTheFlagWhenIdle) {
    QWidget mainWindow;
    {
        // Idle: only the flag.
        WorkThreadWithProgress thread;
        ASSERT_TRUE(thread.Start());
        thread.Reset();
        thread.UserCancel();
        EXPECT_TRUE(thread.CancelledFlag()->load());
    }
    WorkThreadWithProgress thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
    thread.Reset();
    auto log = std::make_shared<BlockingItem::Log>();
    ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, log, 0ms)));
    {
        std::unique_lock<std::mutex> lock(log->mutex);
        ASSERT_TRUE(log->cv.wait_for(lock, 5s, [&] { return log->started; }));
    }
    thread.UserCancel();
    ASSERT_TRUE(PumpUntil([&] { return log->returned.load(); }));
    std::lock_guard<std::mutex> lock(log->mutex);
    EXPECT_TRUE(log->cancelCalled);
    EXPECT_TRUE(log->flagReadTrueAfterCancel);
    EXPECT_TRUE(log->flagIsAlwaysCancelled);
}

TEST(WorkThreadWithProgress, DestructionWaitsForTheRunningItemAndDeliversItsReports) {
    QWidget mainWindow;
    auto log = std::make_shared<BlockingItem::Log>();
    RecordingDisplay display(nullptr);
    {
        WorkThreadWithProgress thread;
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
        thread.Reset();
        thread.AddDisplay(&display);
        // The item keeps reporting for a while after it is cancelled, longer than the usual
        // 500 ms stop time-out: it must never report to a destroyed object.
        ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, log, 700ms)));
        std::unique_lock<std::mutex> lock(log->mutex);
        ASSERT_TRUE(log->cv.wait_for(lock, 5s, [&] { return log->started; }));
    }
    EXPECT_TRUE(log->returned);
    ASSERT_FALSE(display.calls.empty());
    EXPECT_EQ(display.calls.back(), "finished 12 4242");
}

} // namespace
} // namespace plyfold
