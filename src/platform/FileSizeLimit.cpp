#include "platform/FileSizeLimit.h"

#include <csignal>

namespace plyfold {

void FailWritesPastFileSizeLimit() {
#ifdef SIGXFSZ
    // Ignored, the signal is not sent, and the write fails with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace plyfold
