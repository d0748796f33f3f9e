#pragma once

// What a work item on a worker thread calls to report its progress. The reporting side never
// touches a window: each call (except Reset and CancelledFlag) becomes one update applied, in the
// order posted, on the user-interface thread by whatever implements this interface.

#include <QString>

#include <atomic>
#include <cstdint>

namespace plyfold {

class NewProgressDisplay;

// Codes passed to Finished by the update run's work items.
namespace FinishedCode {
// The update query's result: `value` is an UpdateInfo* (or 0) whose ownership passes to the
// receiver.
inline constexpr int UpdateQuery = 12;
// The installer download has ended; `value` is 0.
inline constexpr int InstallerDownload = 13;
// The merge of Save Merged has ended; `value` is 0 (its outcome stays with the save).
inline constexpr int MergeWritten = 14;
} // namespace FinishedCode

class NewProgressInterface {
public:
    NewProgressInterface() = default;
    NewProgressInterface(const NewProgressInterface&) = delete;
    NewProgressInterface& operator=(const NewProgressInterface&) = delete;
    virtual ~NewProgressInterface() = default;

    // Clears the saved state directly, posting nothing: range 0 to 10, position 0, empty text,
    // marquee, cancelled and finished off. The cancel-enabled flag is left unchanged. Called on the
    // user-interface thread before work is queued.
    virtual void Reset() = 0;
    // A determinate bar from `min` to `max` at `pos` (marquee off).
    virtual void SetRange(int min, int max, int pos) = 0;
    // An indeterminate (marquee) bar.
    virtual void SetMarquee() = 0;
    // The status text; `pos` -1 leaves the position unchanged. The text is copied.
    virtual void SetText(const QString& text, int pos) = 0;
    virtual void SetPos(int pos) = 0;
    // The work has ended with a result: `code` says what `value` carries; a pointer carried in
    // `value` belongs to the receiver from then on.
    virtual void Finished(int code, std::intptr_t value) = 0;
    // The user's cancel flag: written on the user-interface thread, read by worker threads between
    // their steps. Never null.
    virtual const std::atomic<bool>* CancelledFlag() = 0;
    // Whether the Cancel button may be pressed.
    virtual void EnableCancel(bool enable) = 0;
    // The display the updates go to, or null when there is none.
    virtual NewProgressDisplay* CurrentDisplay() = 0;
};

} // namespace plyfold
