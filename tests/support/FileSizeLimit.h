#pragma once

// A lower limit on the size of the files this process writes (RLIMIT_FSIZE, as `ulimit -f` sets
// it) for as long as the object lives: a write past it fails with EFBIG. The signal that would
// otherwise end the process is ignored meanwhile, as the programs ignore it from their start.
// Both are restored afterwards (the soft limit may always be raised back to the hard one).

#include <csignal>

#include <sys/resource.h>

namespace plyfold::test {

class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        m_held = getrlimit(RLIMIT_FSIZE, &m_before) == 0;
        if (!m_held) {
            return;
        }
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = m_before;
        lower.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~ScopedFileSizeLimit() {
        if (m_held) {
            setrlimit(RLIMIT_FSIZE, &m_before);
            std::signal(SIGXFSZ, m_handler);
        }
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

    // Whether the limit is in force.
    bool active() const { return m_active; }

private:
    rlimit m_before{};
    void (*m_handler)(int) = SIG_DFL;
    bool m_held = false;
    bool m_active = false;
};

} // namespace plyfold::test
