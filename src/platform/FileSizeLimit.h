#pragma once

// Writing under a limit on the size of files (RLIMIT_FSIZE, what `ulimit -f` sets): by default the
// system ends a process whose write goes past the limit (SIGXFSZ), which leaves its temporary
// files behind and tells the person nothing.

namespace plyfold {

// Makes a write past the limit fail with an error ("File too large") that the writer reports and
// cleans up after, as after any failed write, instead of ending the process. For the whole
// process; called at start-up, before any thread is started. Does nothing where the system has no
// such signal.
void FailWritesPastFileSizeLimit();

} // namespace plyfold
