// Progress reporting: updates posted from worker threads reach the user-interface thread in the
// order posted, Flush delivers what is pending, displays are brought up to date, the progress
// dialog's Cancel greys out and waits for the item, and the worker thread's cancel reaches the
// running item.

#include "work/CNewProgressDlg.h"
#include "work/NewProgressHandler.h"
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

// Processes events until the condition holds or the limit passes; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, int limitMs = 5000) {
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

// A display that writes down every call, and on which thread it came.
class RecordingDisplay : public NewProgressDisplay {
public:
    explicit RecordingDisplay(NewProgressHandler* handler = nullptr) : handler_(handler) {}

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
        if (!keep && handler_ != nullptr) {
            handler_->RemoveDisplay(this);
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
    NewProgressHandler* handler_;
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

TEST(CNewProgressDlg, CancelGreysOutAndTheDialogStaysUntilTheItemFinishes) {
    QWidget mainWindow;
    WorkThreadWithProgress thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
    thread.Reset();

    CNewProgressDlg dialog(&mainWindow, &thread);
    dialog.storeResult = true;
    auto log = std::make_shared<BlockingItem::Log>();
    ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, log, 400ms)));

    bool buttonGreyedAtOnce = false;
    bool stayedWhileItemRan = false;
    bool sawMarquee = false;
    QString textShown;
    QTimer::singleShot(0, &dialog, [&] {
        ASSERT_TRUE(PumpUntil([&] {
            std::lock_guard<std::mutex> lock(log->mutex);
            return log->started;
        }));
        // Let the item's first reports arrive.
        PumpUntil([&] { return dialog.isMarquee(); }, 2000);
        sawMarquee = dialog.isMarquee();
        textShown = dialog.textLabel()->text();
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        buttonGreyedAtOnce = !dialog.cancelButton()->isEnabled() && dialog.cancelled;
        // The item lingers after its Cancel: the dialog must still be up.
        QTest::qWait(150);
        stayedWhileItemRan = dialog.isVisible() && !log->returned;
    });
    const int result = dialog.DoModal();

    EXPECT_EQ(result, 1);
    EXPECT_TRUE(sawMarquee);
    EXPECT_EQ(textShown, QStringLiteral("Checking for Updates"));
    EXPECT_TRUE(buttonGreyedAtOnce);
    EXPECT_TRUE(stayedWhileItemRan);
    EXPECT_TRUE(log->returned);
    EXPECT_TRUE(dialog.cancelled);
    EXPECT_EQ(dialog.finishedCode, 12);
    EXPECT_EQ(dialog.finishedValue, 4242);
    EXPECT_FALSE(dialog.cancelButton()->isEnabled()) << "EnableCancel(true) after the cancel";
    {
        std::lock_guard<std::mutex> lock(log->mutex);
        EXPECT_TRUE(log->cancelCalled);
        EXPECT_TRUE(log->flagReadTrueAfterCancel);
        EXPECT_TRUE(log->flagIsAlwaysCancelled);
    }
    EXPECT_TRUE(log->userCancelSeen);
    EXPECT_TRUE(thread.state().cancelled);
    EXPECT_FALSE(thread.HasDisplay(&dialog));
}

TEST(CNewProgressDlg, EscapeAndClosingCountAsCancelAndDoNotCloseIt) {
    for (const bool useEscape : {true, false}) {
        SCOPED_TRACE(useEscape ? "Escape" : "close");
        QWidget mainWindow;
        WorkThreadWithProgress thread;
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
        thread.Reset();
        CNewProgressDlg dialog(&mainWindow, &thread);
        dialog.storeResult = true;
        auto log = std::make_shared<BlockingItem::Log>();
        ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, log, 200ms)));

        bool visibleAfterCancel = false;
        QTimer::singleShot(0, &dialog, [&] {
            PumpUntil([&] {
                std::lock_guard<std::mutex> lock(log->mutex);
                return log->started;
            });
            if (useEscape) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                dialog.close();
            }
            QCoreApplication::processEvents();
            visibleAfterCancel = dialog.isVisible() && dialog.cancelled;
        });
        EXPECT_EQ(dialog.DoModal(), 1);
        EXPECT_TRUE(visibleAfterCancel);
        EXPECT_TRUE(log->returned);
        EXPECT_EQ(dialog.finishedCode, 12);
    }
}

TEST(CNewProgressDlg, ShowsTheBarAsTheReportsSay) {
    QWidget mainWindow;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&mainWindow));
    handler.Reset();
    CNewProgressDlg dialog(&mainWindow, &handler);
    dialog.storeResult = true;

    struct Seen {
        bool marquee;
        int min, max, value;
        QString text;
        bool cancelEnabled;
    };
    std::vector<Seen> seen;
    auto look = [&] {
        QProgressBar* bar = dialog.progressBar();
        seen.push_back({dialog.isMarquee(), bar->minimum(), bar->maximum(), bar->value(),
                        dialog.textLabel()->text(), dialog.cancelButton()->isEnabled()});
    };
    QTimer::singleShot(0, &dialog, [&] {
        look(); // as opened after Reset: a 0..10 bar at 0
        handler.SetMarquee();
        handler.SetText(QStringLiteral("Collecting Update Data"), -1);
        handler.Flush();
        look();
        handler.SetRange(0, 4, 3);
        handler.SetText(QStringLiteral("Retriving Results"), -1);
        handler.Flush();
        look();
        handler.SetText(QStringLiteral("Downloading Update\n1Kb of 2Kb"), 2);
        handler.EnableCancel(false);
        handler.Flush();
        look();
        handler.SetPos(4);
        handler.EnableCancel(true);
        handler.Finished(13, 0);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_FALSE(seen[0].marquee);
    EXPECT_EQ(seen[0].max, 10);
    EXPECT_EQ(seen[0].value, 0);
    EXPECT_TRUE(seen[0].text.isEmpty());
    EXPECT_TRUE(seen[1].marquee);
    EXPECT_EQ(seen[1].text, QStringLiteral("Collecting Update Data"));
    EXPECT_FALSE(seen[2].marquee);
    EXPECT_EQ(seen[2].min, 0);
    EXPECT_EQ(seen[2].max, 4);
    EXPECT_EQ(seen[2].value, 3) << "text with -1 leaves the bar";
    EXPECT_EQ(seen[3].value, 2);
    EXPECT_EQ(seen[3].text, QStringLiteral("Downloading Update\n1Kb of 2Kb"));
    EXPECT_FALSE(seen[3].cancelEnabled);
    EXPECT_EQ(dialog.finishedCode, 13);
    EXPECT_FALSE(dialog.cancelled);

    // Reports after the dialog has ended change the saved state only.
    handler.SetText(QStringLiteral("after"), 1);
    handler.Flush();
    EXPECT_EQ(handler.state().text, QStringLiteral("after"));
    EXPECT_EQ(dialog.textLabel()->text(), QStringLiteral("Downloading Update\n1Kb of 2Kb"));
}

TEST(CNewProgressDlg, RunsAgainForTheNextItemAfterAReset) {
    // The update run shows one dialog for the query and again for the download.
    QWidget mainWindow;
    WorkThreadWithProgress thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
    CNewProgressDlg dialog(&mainWindow, &thread);
    dialog.storeResult = true;

    thread.Reset();
    auto first = std::make_shared<BlockingItem::Log>();
    ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, first, 0ms)));
    QTimer::singleShot(0, &dialog, [&] {
        PumpUntil([&] {
            std::lock_guard<std::mutex> lock(first->mutex);
            return first->started;
        });
        dialog.reject();
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_TRUE(dialog.cancelled);

    thread.Reset();
    bool cancelEnabledOnReopen = false;
    QTimer::singleShot(0, &dialog, [&] {
        cancelEnabledOnReopen = dialog.cancelButton()->isEnabled() && !dialog.cancelled;
        thread.Finished(13, 0);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_TRUE(cancelEnabledOnReopen);
    EXPECT_FALSE(dialog.cancelled);
    EXPECT_EQ(dialog.finishedCode, 13);
    EXPECT_FALSE(thread.state().cancelled);
}

TEST(CNewProgressDlg, OpenedAfterTheWorkFinishedEndsAtOnceWithNoResult) {
    QWidget mainWindow;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&mainWindow));
    handler.Reset();
    handler.Finished(12, 99);
    handler.Flush();
    CNewProgressDlg dialog(&mainWindow, &handler);
    dialog.storeResult = true;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.finishedCode, 0);
    EXPECT_EQ(dialog.finishedValue, 0);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(CNewProgressDlg, LayoutHasOnlyACentredCancelAndNoTitle) {
    QWidget mainWindow;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&mainWindow));
    handler.Reset();
    CNewProgressDlg dialog(&mainWindow, &handler);
    bool checked = false;
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(dialog.windowTitle().isEmpty());
        EXPECT_FALSE(dialog.Control(ids::IDC_WORK_IN_BACKGROUND)->isVisible());
        QWidget* cancel = dialog.Control(ids::IDC_PROGRESS_CANCEL);
        ASSERT_NE(cancel, nullptr);
        EXPECT_TRUE(cancel->isVisible());
        EXPECT_EQ(cancel->x(), (dialog.width() - cancel->width()) / 2);
        EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint);
        EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
        // Text above bar above button, all inside the dialog.
        QWidget* text = dialog.Control(ids::IDC_PROGRESS_TEXT);
        QWidget* bar = dialog.Control(ids::IDC_PROGRESS_BAR);
        EXPECT_LT(text->geometry().bottom(), bar->geometry().top());
        EXPECT_LT(bar->geometry().bottom(), cancel->geometry().top());
        EXPECT_TRUE(dialog.rect().contains(cancel->geometry()));
        if (!qEnvironmentVariableIsEmpty("PLYFOLD_SCREENSHOT_DIR")) {
            dialog.grab().save(qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR") +
                               QStringLiteral("/progress-dialog.png"));
        }
        checked = true;
        handler.Finished(0, 0);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_TRUE(checked);
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
