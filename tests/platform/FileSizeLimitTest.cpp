// A write past the file-size limit: without the start-up call the system ends the process with
// SIGXFSZ; with it the write fails with EFBIG, which a writer can report. Each run is a child
// process, since the limit and the signal's disposition belong to the whole process.

#include "platform/FileSizeLimit.h"

#include "support/BoundedChild.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plyfold {
namespace {

// Writes twice the limit into a new file; "written" or the name of the error.
std::string WritePastTheLimit(const std::string& path, bool failWrites) {
    if (failWrites) {
        FailWritesPastFileSizeLimit();
    }
    constexpr rlim_t kLimit = 4096;
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = kLimit;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return "no limit";
    }
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (file < 0) {
        return "no file";
    }
    const std::vector<char> data(2 * kLimit, 'x');
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t wrote = ::write(file, data.data() + done, data.size() - done);
        if (wrote < 0) {
            const int error = errno;
            ::close(file);
            return error == EFBIG ? "EFBIG" : "errno " + std::to_string(error);
        }
        done += static_cast<std::size_t>(wrote);
    }
    ::close(file);
    return "written";
}

TEST(FileSizeLimit, AWritePastTheLimitFailsInsteadOfEndingTheProcess) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("big")).toStdString();
    const test::ChildLimits limits;

    const test::ChildOutcome failing =
        test::RunBounded([&] { return WritePastTheLimit(path, true); }, limits);
    EXPECT_TRUE(failing.exited) << failing.describe();
    EXPECT_EQ(failing.report, "EFBIG") << failing.describe();

    // What the call prevents: the process ends by the signal.
    const test::ChildOutcome ended =
        test::RunBounded([&] { return WritePastTheLimit(path, false); }, limits);
    EXPECT_FALSE(ended.exited) << ended.describe();
    EXPECT_EQ(ended.signal, SIGXFSZ) << ended.describe();
}

// A program started after the call writes under the system's default again: the call changes
// this process only (an ignored signal would stay ignored in every program it starts).
TEST(FileSizeLimit, ProgramsStartedAfterwardsKeepTheDefault) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("big")).toStdString();
    const test::ChildOutcome started = test::RunBounded(
        [&] {
            FailWritesPastFileSizeLimit();
            const std::string command =
                "ulimit -f 8; head -c 65536 /dev/zero > '" + path + "' 2>/dev/null";
            const int status = std::system(command.c_str());
            // The shell reports a command ended by a signal as 128 and the signal's number.
            return WIFEXITED(status) ? std::to_string(WEXITSTATUS(status)) : "no exit";
        },
        test::ChildLimits{});
    EXPECT_EQ(started.report, std::to_string(128 + SIGXFSZ)) << started.describe();
}

} // namespace
} // namespace plyfold
