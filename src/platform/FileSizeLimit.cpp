#include "platform/FileSizeLimit.h"

#include <csignal>

namespace plyfold {
namespace {

#ifdef SIGXFSZ
// Caught rather than ignored: the write still fails with EFBIG, and a program this process starts
// (a file opener, an installer) gets the default action back, as an ignored signal would stay
// ignored across the start.
extern "C" void ignoreFileSizeSignal(int /*signal*/) {}
#endif

} // namespace

void FailWritesPastFileSizeLimit() {
#ifdef SIGXFSZ
    struct sigaction action = {};
    action.sa_handler = ignoreFileSizeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, &action, nullptr);
#endif
}

} // namespace plyfold
