#pragma once

// A worker thread and a progress handler in one object: the items it runs report their progress
// through it (it is their NewProgressInterface), and the user's Cancel in the progress dialog
// cancels the running item.
//
// Calling order (user-interface thread): construct, Start, AttachToWindow(main window); then for
// each item: Reset, create a CNewProgressDlg on this handler with storeResult set, AddItem, run
// the dialog with DoModal; finally destroy the object.

#include "work/NewProgressHandler.h"
#include "work/WorkThread.h"

namespace plyfold {

class WorkThreadWithProgress : public WorkThread, public NewProgressHandler {
public:
    // A thread with a wake event, not started, and a handler with no window.
    WorkThreadWithProgress();
    // Stops the worker before the handler goes: the running item is cancelled and waited for,
    // since it reports to this very object. Then the reports still pending are delivered, and
    // the items still queued are destroyed unrun.
    ~WorkThreadWithProgress() override;

    // Sets the cancelled flag, then, under the thread's lock, points the current item's cancelFlag
    // at alwaysCancelled and calls its Cancel, which breaks off a blocking call.
    void UserCancel() override;
};

} // namespace plyfold
