#pragma once

// The lock used for every piece of data shared between threads: an object that owns its own mutex
// (QzLockable) and a scoped holder that keeps it locked for one block (QzLock).

#include <QMutex>

#include <cstdint>

namespace plyfold {

// An object with its own (non-recursive) mutex. Derive from it to guard the derived object's
// shared state, or hold one as a member.
class QzLockable {
public:
    // Passed to Lock to wait without limit.
    static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

    QzLockable() = default;
    QzLockable(const QzLockable&) = delete;
    QzLockable& operator=(const QzLockable&) = delete;
    virtual ~QzLockable() = default;

    // Waits up to timeoutMs milliseconds (kInfinite: for ever) for the mutex. Returns true when the
    // calling thread now holds it, false on time-out. Lock(0) only tries. The mutex is not
    // recursive: a thread that already holds it must not lock it again.
    virtual bool Lock(std::uint32_t timeoutMs);
    // Releases the mutex; only the thread that holds it may call this.
    virtual void Unlock();

private:
    // Uncontended it costs an atomic operation; it waits with a limit only when asked to.
    QMutex m_mutex;
};

// Locks a QzLockable (waiting without limit) for the lifetime of the holder.
class QzLock {
public:
    explicit QzLock(QzLockable* lockable) : m_lockable(lockable) {
        m_lockable->Lock(QzLockable::kInfinite);
    }
    explicit QzLock(QzLockable& lockable) : QzLock(&lockable) {}
    QzLock(const QzLock&) = delete;
    QzLock& operator=(const QzLock&) = delete;
    virtual ~QzLock() { m_lockable->Unlock(); }

private:
    QzLockable* m_lockable;
};

} // namespace plyfold
