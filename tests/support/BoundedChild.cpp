#include "support/BoundedChild.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace plyfold::test {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif
#else
constexpr bool kAsan = false;
#endif

void limitChild(const ChildLimits& limits) {
    if (!kAsan) {
        const rlimit as{limits.addressSpace, limits.addressSpace};
        setrlimit(RLIMIT_AS, &as);
    }
    // A crash in the child is an expected finding, not a core file.
    const rlimit core{0, 0};
    setrlimit(RLIMIT_CORE, &core);
}

// Waits for the child until the deadline, then kills it.
ChildOutcome waitFor(pid_t pid, const ChildLimits& limits) {
    ChildOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.seconds);
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return outcome;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
            }
            outcome.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    outcome.peakResidentKb = usage.ru_maxrss;
    if (!outcome.timedOut && WIFEXITED(status)) {
        outcome.exited = true;
        outcome.exitCode = WEXITSTATUS(status);
    } else if (!outcome.timedOut && WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}

} // namespace

bool UnderAddressSanitizer() {
    return kAsan;
}

std::string ChildOutcome::describe() const {
    std::string text = timedOut ? "timed out"
                       : exited ? "exit " + std::to_string(exitCode)
                                : "signal " + std::to_string(signal);
    return text + ", peak " + std::to_string(peakResidentKb / 1024) + " MiB";
}

ChildOutcome RunBounded(const std::function<std::string()>& fn, const ChildLimits& limits) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return {};
    }
    if (pid == 0) {
        close(fds[0]);
        limitChild(limits);
        const std::string report = fn();
        const char* p = report.data();
        std::size_t left = report.size();
        while (left > 0) {
            const ssize_t n = write(fds[1], p, left);
            if (n <= 0)
                _exit(3);
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        close(fds[1]);
        // Skip the parent's exit handlers and static destructors: they belong to the test run.
        _exit(0);
    }
    close(fds[1]);
    // The report is read while the child runs, so a long one never blocks it on a full pipe; the
    // read ends when the child's end closes, whether it finished, crashed or was killed.
    std::string report;
    std::thread reader([&] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n > 0)
                report.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                return;
        }
    });
    ChildOutcome outcome = waitFor(pid, limits);
    reader.join();
    close(fds[0]);
    outcome.report = report;
    return outcome;
}

ChildOutcome RunBoundedProgram(const std::vector<std::string>& argv, const ChildLimits& limits,
                               const std::string& errorFile) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        limitChild(limits);
        const int out = errorFile.empty()
                            ? open("/dev/null", O_WRONLY)
                            : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    return waitFor(pid, limits);
}

} // namespace plyfold::test
