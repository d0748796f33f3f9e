#pragma once

// Something that shows progress on the user-interface thread: the progress handler applies every
// update to its active display. The one display in the program is the progress dialog.

#include <QString>

#include <cstdint>

namespace plyfold {

class NewProgressDisplay {
public:
    NewProgressDisplay() = default;
    NewProgressDisplay(const NewProgressDisplay&) = delete;
    NewProgressDisplay& operator=(const NewProgressDisplay&) = delete;
    virtual ~NewProgressDisplay() = default;

    // A determinate bar from `min` to `max` at `pos`.
    virtual void SetRange(int min, int max, int pos) = 0;
    // An indeterminate (marquee) bar.
    virtual void SetMarquee() = 0;
    // The status text; `pos` -1 leaves the bar's position as it is.
    virtual void SetText(const QString& text, int pos) = 0;
    virtual void SetPos(int pos) = 0;
    // The work has ended. Returns true when this display keeps the result and stays the active
    // display; false when it has let go of it (the handler then offers it to the next display).
    virtual bool Finished(int code, std::intptr_t value) = 0;
    virtual void EnableCancel(bool enable) = 0;
};

} // namespace plyfold
