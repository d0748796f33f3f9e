#include "work/QzLock.h"

#include <algorithm>
#include <limits>

namespace plyfold {

bool QzLockable::Lock(std::uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        m_mutex.lock();
        return true;
    }
    // The mutex takes its limit as an int: a longer one (over 24 days) is cut to that.
    constexpr auto kLongest = static_cast<std::uint32_t>(std::numeric_limits<int>::max());
    return m_mutex.tryLock(static_cast<int>(std::min(timeoutMs, kLongest)));
}

void QzLockable::Unlock() {
    m_mutex.unlock();
}

} // namespace plyfold
