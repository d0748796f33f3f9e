#pragma once

// Runs a piece of the test, or a program, in a child process under a time limit and a memory
// bound, so a crash, a hang or a runaway allocation on hostile input is a failed row of a table
// rather than the end of the test run.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace plyfold::test {

struct ChildLimits {
    int seconds = 30;                                // killed after this long
    std::size_t addressSpace = std::size_t{4} << 30; // RLIMIT_AS of the child (not under ASan)
};

struct ChildOutcome {
    bool timedOut = false;
    bool exited = false; // ended by exit() rather than by a signal
    int exitCode = -1;
    int signal = 0;
    long peakResidentKb = 0; // the child's largest resident set
    std::string report;      // what the child function returned (RunBounded only)

    // "exit 0", "signal 11", "timed out" and the peak memory, for failure messages.
    std::string describe() const;
};

// Runs fn in a forked child; its result is passed back as the report and the child exits 0.
ChildOutcome RunBounded(const std::function<std::string()>& fn, const ChildLimits& limits);

// Runs argv[0] with the arguments; standard output and error go to errorFile (empty: discarded).
ChildOutcome RunBoundedProgram(const std::vector<std::string>& argv, const ChildLimits& limits,
                               const std::string& errorFile = {});

// True in a build with AddressSanitizer, where an address-space limit cannot be set (its shadow
// memory needs terabytes of address space) and only the peak resident memory is checked.
bool UnderAddressSanitizer();

} // namespace plyfold::test
