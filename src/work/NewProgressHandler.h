#pragma once

// The user-interface side of progress reporting. A work item on a worker thread calls the
// NewProgressInterface operations of a NewProgressHandler; each call becomes one ProgressUpdate,
// posted to the handler's target window (normally the main window) under the registered message
// "QzMSG::NEWPROGRESSUPDATE". The handler sits on that window as a CSubclassWnd hook, receives
// the message on the user-interface thread, applies the update to its saved state and to its
// active display, and frees it.
//
// Ordering: every handler keeps the updates it has posted in its own first-in, first-out queue.
// The posted message only wakes the handler; it then applies the oldest update of its queue. So
// updates are applied strictly in the order they were posted, whether they arrive through their
// messages or through Flush, which applies every pending update at once. A message that arrives
// after its update was already flushed finds nothing left to do. Updates pending when the target
// window is destroyed stay queued (nothing is lost or freed twice) until the next Flush.

#include "work/CSubclassWnd.h"
#include "work/NewProgressInterface.h"

#include <QEvent>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

namespace plyfold {

class NewProgressDisplay;
class NewProgressHandler;

// One report of a worker, on its way to the user-interface thread.
struct ProgressUpdate {
    enum Kind : std::int32_t {
        Range = 0,        // SetRange: min, max, pos
        Text = 1,         // SetText: text, pos (-1 leaves the position unchanged)
        Marquee = 2,      // SetMarquee
        Pos = 3,          // SetPos: pos
        Finish = 4,       // Finished: code, value
        EnableCancel = 5, // EnableCancel: enable
    };

    explicit ProgressUpdate(std::int32_t updateKind) : kind(updateKind) {}
    virtual ~ProgressUpdate() = default;

    NewProgressHandler* handler = nullptr; // set by Post
    std::int32_t kind;
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::int32_t pos = 0;
    QString text;
    std::int32_t code = 0;
    std::intptr_t value = 0;
    bool enable = false;
};

class NewProgressHandler : public CSubclassWnd, public NewProgressInterface {
public:
    // The handler's saved state: what a display added now is brought up to date with.
    struct State {
        QString text;
        int min = 0;
        int max = 100;
        int pos = 0;
        bool marquee = true;
        bool cancelled = false;
        bool finished = true; // until Reset: a display added to an unused handler ends at once
        bool cancelEnabled = true;
    };

    // Registers "QzMSG::NEWPROGRESSUPDATE" (once per process). User-interface thread.
    NewProgressHandler();
    // Applies the updates still pending (to the displays still added), forgets the displays and
    // detaches from its window. Destroy the handler only when no worker reports to it any more.
    ~NewProgressHandler() override;

    // --- NewProgressInterface ---
    // User-interface thread: clears the saved state directly (see NewProgressInterface).
    void Reset() override;
    // Any thread: each posts one update and returns at once.
    void SetRange(int min, int max, int pos) override;
    void SetMarquee() override;
    void SetText(const QString& text, int pos) override;
    void SetPos(int pos) override;
    void Finished(int code, std::intptr_t value) override;
    void EnableCancel(bool enable) override;
    // The user's cancel flag, for worker threads.
    const std::atomic<bool>* CancelledFlag() override { return &m_cancelled; }
    // The active display (the last one added), or null.
    NewProgressDisplay* CurrentDisplay() override;

    // Makes `window` (normally the application's main window) the window whose event queue
    // carries the updates. When it differs from the current target, the updates pending for the
    // old one are applied first (Flush), the handler leaves the old window and hooks the new one.
    // Returns false when the window cannot be hooked (null, or of another thread); the handler
    // then has no target and discards what is reported until it is attached again.
    bool AttachToWindow(QObject* window);
    QObject* targetWindow() const;

    // The user pressed Cancel: sets the cancelled flag. A worker thread extends this to cancel
    // its running item.
    virtual void UserCancel();

    // Appends a display (not owned); it becomes the active display and is brought up to date.
    virtual void AddDisplay(NewProgressDisplay* display);
    // Removes a display; when it was the active one and another remains, the new active display is
    // brought up to date. Unknown displays are ignored.
    virtual void RemoveDisplay(NewProgressDisplay* display);
    bool HasDisplay(const NewProgressDisplay* display) const;

    // Applies one update to the saved state and the active display, then frees it.
    // User-interface thread.
    virtual void Dispatch(std::unique_ptr<ProgressUpdate> update);
    // Queues the update and posts the message that makes the target window's thread apply it.
    // Without a target window the update is discarded. Any thread.
    virtual void Post(std::unique_ptr<ProgressUpdate> update);

    // Applies every pending update now, in order. User-interface thread.
    void Flush();
    // Updates posted and not applied yet.
    std::size_t PendingCount() const;

    // A copy of the saved state. User-interface thread.
    State state() const;

protected:
    // Receives the registered message on the target window; every other event goes on.
    bool WindowProc(QObject* window, QEvent* event) override;
    // Also called when the target window is destroyed: the handler then has no target.
    bool Unsubclass(QObject* window) override;

private:
    // Takes the oldest pending update, or null.
    std::unique_ptr<ProgressUpdate> TakePending();
    void BringUpToDate(NewProgressDisplay* display);

    const QEvent::Type m_messageType;

    // Saved state (user-interface thread), apart from the cancelled flag that workers read.
    QString m_text;
    int m_min = 0;
    int m_max = 100;
    int m_pos = 0;
    bool m_marquee = true;
    std::atomic<bool> m_cancelled{false};
    bool m_finished = true;
    bool m_cancelEnabled = true;
    std::vector<NewProgressDisplay*> m_displays;

    // Guards the target window and the pending queue, which workers touch when they post.
    mutable std::mutex m_mutex;
    QObject* m_targetWindow = nullptr;
    std::deque<std::unique_ptr<ProgressUpdate>> m_pending;
};

} // namespace plyfold
