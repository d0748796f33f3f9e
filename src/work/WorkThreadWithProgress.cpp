#include "work/WorkThreadWithProgress.h"

namespace plyfold {

WorkThreadWithProgress::WorkThreadWithProgress() : WorkThread(true) {}

WorkThreadWithProgress::~WorkThreadWithProgress() {
    // The items hold this object as their progress interface; none may still run once its
    // handler part is gone. They are cancelled, and they return once their blocking call is
    // broken off, so the wait is short.
    Stop(QzLockable::kInfinite);
}

void WorkThreadWithProgress::UserCancel() {
    NewProgressHandler::UserCancel();
    Lock(QzLockable::kInfinite);
    CancelCurrent(false); // releases the lock
}

} // namespace plyfold
