#include "work/QzLock.h"

namespace plyfold {

bool QzLockable::Lock(std::uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        mutex_.lock();
        return true;
    }
    if (timeoutMs == 0) {
        return mutex_.try_lock();
    }
    return mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
}

void QzLockable::Unlock() {
    mutex_.unlock();
}

} // namespace plyfold
