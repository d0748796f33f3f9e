// Waiting for a call on a helper thread without freezing the window: the event loop turns while
// it runs (timers, posted events, painting), a request to close the window waits until it has
// returned, and the result comes back to the caller.

#include "work/BackgroundCall.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace plyfold {
namespace {

// Holds the helper thread until the user-interface thread lets it go (or a minute has passed).
struct Gate {
    std::atomic<bool> open{false};
    bool WaitOpen() const {
        const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!open.load()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

class ClosableWindow : public QWidget {
public:
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++closeRequests;
        event->accept();
    }
};

TEST(BackgroundCall, TheEventLoopTurnsWhileTheCallRunsAndClosingWaits) {
    ClosableWindow window;
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // The helper's call returns only once a timer of this thread has run, so the wait can end
    // only when the event loop turns meanwhile.
    Gate gate;
    bool openDuring = false;
    QTimer::singleShot(20, [&] {
        window.close();
        openDuring = window.isVisible();
        gate.open = true;
    });
    const bool released = RunInBackground<bool>([&gate] { return gate.WaitOpen(); });
    EXPECT_TRUE(released) << "the event loop did not turn during the wait";
    EXPECT_TRUE(openDuring) << "the window closed during the wait";

    // Afterwards the close request is carried out once.
    QApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.closeRequests, 1);
}

TEST(BackgroundCall, WaitingOffTheWindowThreadBlocksAndLaterWaitsReturnAtOnce) {
    std::atomic<int> ran{0};
    std::thread other([&ran] {
        BackgroundCall call([&ran] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++ran;
        });
        call.Wait();
        EXPECT_TRUE(call.done());
        EXPECT_EQ(ran.load(), 1);
        call.Wait();
    });
    other.join();
    EXPECT_EQ(ran.load(), 1);

    // Destroyed without a wait: it still waits for the task, which sees its captures alive.
    int value = 0;
    {
        BackgroundCall call([&value] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            value = 7;
        });
    }
    EXPECT_EQ(value, 7);
}

} // namespace
} // namespace plyfold
