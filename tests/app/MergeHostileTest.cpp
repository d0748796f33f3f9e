// Every file of the hostile-input corpus merged with a sound test PDF by plyfold-merge, each run
// under a time limit and a memory bound: the command ends with success or its failure status and
// a message, a written file passes qpdf's check with every page of both inputs, no input changes,
// and nothing but the output is left in the output folder.

#include "MergeTestSupport.h"
#include "app/MergeCommand.h"
#include "support/BoundedChild.h"
#include "support/HostileCorpus.h"
#include "support/TestData.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

QByteArray Sha256(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// qpdf --check's exit status by severity: 0 clean, 1 warnings, 2 errors, 3 no answer.
int Severity(const test::ToolRun& check) {
    switch (check.exitCode) {
    case 0:
        return 0;
    case 3:
        return 1;
    case 2:
        return 2;
    default:
        return 3;
    }
}

TEST(MergeHostile, EveryCorpusFileMergesOrFailsCleanly) {
    const std::vector<test::HostileCase> corpus = test::readHostileCorpus();
    ASSERT_FALSE(corpus.empty()) << "no corpus in " << test::hostileCorpusDir().toStdString();
    const QString good = test::pdfPath(QStringLiteral("boxes.pdf"));
    const int goodPages = 8;
    test::ChildLimits limits;
    limits.seconds = test::UnderAddressSanitizer() ? 180 : 60;
    constexpr long kPeakBoundKb = 1536L * 1024;
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());

    for (const test::HostileCase& c : corpus) {
        SCOPED_TRACE(c.name.toStdString() + ": " + c.what.toStdString());
        const QString folder = QDir(work.path()).filePath(c.name);
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString output = QDir(folder).filePath(QStringLiteral("merged.pdf"));
        const QString messages = QDir(work.path()).filePath(c.name + QStringLiteral(".err"));
        const QByteArray before = Sha256(c.path);
        const QByteArray goodBefore = Sha256(good);

        const test::ChildOutcome outcome =
            test::RunBoundedProgram({PLYFOLD_MERGE_EXE, "-o", output.toStdString(),
                                     c.path.toStdString(), good.toStdString()},
                                    limits, messages.toStdString());
        QFile errFile(messages);
        const QString err =
            errFile.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(errFile.readAll()) : "";
        if (!outcome.exited) {
            ADD_FAILURE() << outcome.describe() << "\n" << err.toStdString();
            continue;
        }
        EXPECT_LE(outcome.peakResidentKb, kPeakBoundKb) << outcome.describe();
        EXPECT_TRUE(outcome.exitCode == kMergeExitOk || outcome.exitCode == kMergeExitFailed)
            << outcome.describe() << "\n"
            << err.toStdString();

        EXPECT_EQ(Sha256(c.path), before);
        EXPECT_EQ(Sha256(good), goodBefore);
        if (outcome.exitCode == kMergeExitOk) {
            EXPECT_EQ(test::Entries(folder), QStringList{"merged.pdf"});
            // The output passes qpdf's check. Where the input itself fails it (a stream that
            // cannot be decoded is copied as it is), the output may carry the same findings but
            // no worse ones, and never a page that is not a page.
            const test::ToolRun check = test::RunTool(QStringLiteral("qpdf"), {"--check", output});
            const QString findings = check.out + check.err;
            const int input = Severity(test::RunTool(QStringLiteral("qpdf"), {"--check", c.path}));
            EXPECT_TRUE(check.exitCode == 0 ||
                        (input > 0 && Severity(check) <= input &&
                         !findings.contains(QStringLiteral("should be /Page but is not"))))
                << "input's check: " << input << "\n"
                << findings.toStdString();
            if (c.pages >= 0) {
                EXPECT_EQ(test::PageCountOf(output), c.pages + goodPages);
            }
        } else {
            EXPECT_EQ(test::Entries(folder), QStringList{});
            EXPECT_FALSE(err.trimmed().isEmpty());
        }
    }
}

} // namespace
} // namespace plyfold
