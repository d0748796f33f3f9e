#pragma once

// A call that runs on a helper thread while the user-interface thread waits for it without
// freezing: its event loop keeps turning, so windows repaint, timers fire and posted events
// (finished thumbnails, progress) are handled. User input is held back meanwhile and delivered
// once the wait is over, and a request to close a window is carried out only then, so nothing the
// waiting code relies on can be pulled away under it.
//
// Off the user-interface thread (or without an application object) the wait simply blocks.

#include <functional>
#include <memory>

namespace plyfold {

class BackgroundCall {
public:
    // Starts `task` on a helper thread at once. The task must not touch windows.
    explicit BackgroundCall(std::function<void()> task);
    // Waits for the task (see Wait) if nobody has.
    ~BackgroundCall();
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    // Returns once the task has returned; on the user-interface thread the event loop keeps
    // turning meanwhile.
    void Wait();
    // True once the task has returned.
    bool done() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Runs `task` on a helper thread, waits for it as BackgroundCall::Wait does and returns its
// result.
template <typename T> T RunInBackground(const std::function<T()>& task) {
    T result{};
    BackgroundCall call([&result, &task] { result = task(); });
    call.Wait();
    return result;
}

} // namespace plyfold
