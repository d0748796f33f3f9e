// plyfold-merge: its argument forms, and the command end to end as a process (exit statuses,
// messages on standard error, page order, encrypted output, inputs with passwords, and an existing
// output kept intact after a failure).

#include "app/MergeCommand.h"
#include "MergeTestSupport.h"
#include "res/Strings.h"
#include "support/TestData.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

namespace plyfold {
namespace {

TEST(MergeCommandArguments, InputsWithAndWithoutRanges) {
    struct Case {
        QString argument;
        QString path;
        std::optional<QString> range;
        PageRangeList ranges;
    };
    const Case cases[] = {
        {"report.pdf", "report.pdf", std::nullopt, {}},
        {"report.pdf:1-3, 5", "report.pdf", "1-3, 5", {{1, 4}, {5, 6}}},
        {"report.pdf:5-3", "report.pdf", "5-3", {{3, 6}}},
        {"/a:b/report.pdf", "/a:b/report.pdf", std::nullopt, {}},
        {"C:\\docs\\report.pdf", "C:\\docs\\report.pdf", std::nullopt, {}},
        {"report.pdf:", "report.pdf:", std::nullopt, {}},
        {"report.pdf:1,,2", "report.pdf:1,,2", std::nullopt, {}},
        {"scan:2:1-4", "scan:2", "1-4", {{1, 5}}},
        {":3", ":3", std::nullopt, {}},
    };
    for (const Case& c : cases) {
        const MergeInput input = ParseMergeInput(c.argument);
        EXPECT_EQ(input.path, c.path) << c.argument.toStdString();
        EXPECT_EQ(input.rangeText, c.range) << c.argument.toStdString();
        EXPECT_EQ(input.ranges, c.ranges) << c.argument.toStdString();
    }
}

TEST(MergeCommandArguments, RequiredActions) {
    const auto all = ParseRequiredActions(QStringLiteral("view,print,copy,annotate,forms"));
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->viewing && all->printing && all->copying && all->annotation &&
                all->fillingForms);
    const auto some = ParseRequiredActions(QStringLiteral("Print, copy"));
    ASSERT_TRUE(some);
    EXPECT_TRUE(some->printing && some->copying);
    EXPECT_FALSE(some->viewing || some->annotation || some->fillingForms);
    EXPECT_FALSE(ParseRequiredActions(QStringLiteral("view,edit")));
    EXPECT_FALSE(ParseRequiredActions(QString()));
    EXPECT_FALSE(ParseRequiredActions(QStringLiteral("view,")));
}

class MergeCommandProcess : public ::testing::Test {
protected:
    static QString pdf(const char* name) { return test::pdfPath(QString::fromUtf8(name)); }
    QString out(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    test::ToolRun merge(const QStringList& arguments) {
        return test::RunTool(QStringLiteral(PLYFOLD_MERGE_EXE), arguments);
    }

    static QString Msg(int id, const QStringList& args = {}) {
        return FormatText(LoadResString(id), args);
    }

    QTemporaryDir dir;
};

TEST_F(MergeCommandProcess, MergesTheChosenPagesInArgumentOrder) {
    const test::ToolRun run = merge(
        {"-o", out("merged.pdf"), pdf("R-intro.pdf") + ":4, 2-3", pdf("refcard-nf.pdf") + ":1"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(test::PageCountOf(out("merged.pdf")), 4);
    const QString expected[] = {
        test::PageText(pdf("R-intro.pdf"), 2), test::PageText(pdf("R-intro.pdf"), 3),
        test::PageText(pdf("R-intro.pdf"), 4), test::PageText(pdf("refcard-nf.pdf"), 1)};
    for (int page = 1; page <= 4; ++page) {
        EXPECT_EQ(test::PageText(out("merged.pdf"), page), expected[page - 1]) << page;
    }
    const test::ToolRun check =
        test::RunTool(QStringLiteral("qpdf"), {"--check", out("merged.pdf")});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_TRUE(check.out.contains(QStringLiteral("PDF Version: 1.6")));
    EXPECT_EQ(test::Entries(dir.path()), QStringList{"merged.pdf"});
}

TEST_F(MergeCommandProcess, ProtectedOutputAndInputsWithPasswords) {
    // c-r2 needs its user password; the same --input-password is used for every input that asks.
    const test::ToolRun run =
        merge({"-o", out("locked.pdf"), "--password", "s3cret", "--require", "view,copy",
               "--input-password", "user1", pdf("c-r2.pdf") + ":3", pdf("refcard-nf.pdf") + ":2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(test::PageCountOf(out("locked.pdf")), -1);
    EXPECT_EQ(test::PageCountOf(out("locked.pdf"), "s3cret"), 2);
    const test::ToolRun show = test::RunTool(
        QStringLiteral("qpdf"), {"--show-encryption", "--password=s3cret", out("locked.pdf")});
    EXPECT_TRUE(show.out.contains(QStringLiteral("R = 4")));
    EXPECT_TRUE(show.out.contains(QStringLiteral("User password = s3cret")));
    // Copying cleared: 0xFFFFFFEC as qpdf writes it (reserved bits 1 and 2 clear), accessibility
    // kept at revision 4.
    EXPECT_TRUE(show.out.contains(QStringLiteral("P = -20"))) << show.out.toStdString();
    EXPECT_EQ(test::PageText(out("locked.pdf"), 1, "s3cret"),
              test::PageText(pdf("c-r2.pdf"), 3, "user1"));

    // A copy-forbidding input needs its owner password.
    const test::ToolRun owner =
        merge({"-o", out("owner.pdf"), "--input-password", "master",
               pdf("enc-R2,V1,O=master.pdf") + ":1-2", pdf("boxes.pdf") + ":1"});
    EXPECT_EQ(owner.exitCode, 0) << owner.err.toStdString();
    EXPECT_EQ(test::PageCountOf(out("owner.pdf")), 3);
}

TEST_F(MergeCommandProcess, FailuresReportTheWindowsMessagesAndKeepAnExistingOutput) {
    const QString target = out("existing.pdf");
    const auto writeOld = [&] {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
    };
    writeOld();
    const QString twice = pdf("refcard-nf.pdf");
    struct Case {
        const char* name;
        QStringList arguments;
        int exitCode;
        QString message;     // expected on standard error (empty: a usage text)
        QString reason = {}; // expected on the line after the message, when given
    };
    const Case cases[] = {
        {"password without requirements",
         {"-o", target, "--password", "x", twice, pdf("boxes.pdf")},
         1,
         Msg(ids::IDS_PASSWORD_WITHOUT_PERMISSIONS)},
        {"requirements without password",
         {"-o", target, "--require", "print", twice, pdf("boxes.pdf")},
         1,
         Msg(ids::IDS_EMPTY_PASSWORD)},
        {"no inputs", {"-o", target}, 1, Msg(ids::IDS_NO_DOCUMENTS)},
        {"one file twice",
         {"-o", target, twice + ":1", twice + ":2"},
         1,
         Msg(ids::IDS_TOO_FEW_SOURCES)},
        {"unreadable input",
         {"-o", target, pdf("not-a-pdf.pdf"), twice},
         1,
         Msg(ids::IDS_OPEN_FAILED, {pdf("not-a-pdf.pdf")}),
         pdf("not-a-pdf.pdf") +
             ": unable to find trailer dictionary while recovering damaged file"},
        // No terminal and no --input-password: the prompt is cancelled.
        {"password needed",
         {"-o", target, pdf("c-r2.pdf"), twice},
         1,
         Msg(ids::IDS_OPEN_FAILED, {pdf("c-r2.pdf")}),
         "the file needs a password to open"},
        {"copying forbidden",
         {"-o", target, pdf("enc-R2,V1,O=master.pdf"), twice},
         1,
         Msg(ids::IDS_OPEN_FAILED, {pdf("enc-R2,V1,O=master.pdf")}),
         "the file forbids copying; its owner password is needed"},
        {"wrong input password",
         {"-o", target, "--input-password", "nope", pdf("c-r2.pdf"), twice},
         1,
         Msg(ids::IDS_OPEN_FAILED, {pdf("c-r2.pdf")}),
         pdf("c-r2.pdf") + ": invalid password"},
        {"output is an input",
         {"-o", twice, twice, pdf("boxes.pdf")},
         1,
         Msg(ids::IDS_OUTPUT_IS_INPUT)},
        {"output folder missing",
         {"-o", out("none/x.pdf"), twice, pdf("boxes.pdf")},
         1,
         Msg(ids::IDS_SAVE_FAILED),
         "cannot create a file in the output folder: " +
             QString::fromStdString(std::generic_category().message(ENOENT))},
        {"pages beyond the document",
         {"-o", target, twice + ":2-9", pdf("boxes.pdf")},
         1,
         QStringLiteral("2-9")},
        {"unknown option", {"-o", target, "--frobnicate", twice}, 2, {}},
        {"missing output", {twice, pdf("boxes.pdf")}, 2, {}},
        {"unknown requirement",
         {"-o", target, "--password", "x", "--require", "edit", twice},
         2,
         {}},
    };
    for (const Case& c : cases) {
        const test::ToolRun run = merge(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << "\n" << run.err.toStdString();
        if (c.message.isEmpty()) {
            EXPECT_TRUE(run.err.contains(QStringLiteral("--help"))) << c.name;
        } else {
            EXPECT_TRUE(run.err.contains(c.message)) << c.name << "\n" << run.err.toStdString();
        }
        if (!c.reason.isEmpty()) {
            EXPECT_TRUE(run.err.contains(c.message + "\nplyfold-merge: " + c.reason + "\n"))
                << c.name << "\n"
                << run.err.toStdString();
        }
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly)) << c.name;
        EXPECT_EQ(old.readAll(), QByteArray("old content")) << c.name;
        EXPECT_EQ(test::Entries(dir.path()), QStringList{"existing.pdf"}) << c.name;
    }
    // The input named as output is untouched too.
    EXPECT_GT(test::PageCountOf(twice), 0);

    // And a successful run replaces it.
    const test::ToolRun ok = merge({"-o", target, twice + ":1", pdf("boxes.pdf") + ":1"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_EQ(test::PageCountOf(target), 2);
}

TEST_F(MergeCommandProcess, HelpExplainsTheCommand) {
    const test::ToolRun run = merge({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* word : {"-o", "--password", "--require", "--input-password", "view", "print",
                             "copy", "annotate", "forms", "Exit status"}) {
        EXPECT_TRUE(run.out.contains(QString::fromUtf8(word))) << word;
    }
}

// An output that is one of the inputs is refused however either is named: through a symbolic
// link, a hard link or a linked folder. Nothing is written and no input changes.
TEST_F(MergeCommandProcess, AnInputReachedAnotherWayIsNeverTheOutput) {
    const QString input = out("in.pdf");
    ASSERT_TRUE(QFile::copy(pdf("refcard-nf.pdf"), input));
    const QByteArray before = test::ReadAll(input);
    ASSERT_TRUE(QFile::link(input, out("link.pdf")));
    ASSERT_EQ(::link(QFile::encodeName(input).constData(),
                     QFile::encodeName(out("hard.pdf")).constData()),
              0);
    ASSERT_TRUE(QFile::link(dir.path(), out("folder")));
    const QStringList entries = test::Entries(dir.path());
    struct Case {
        const char* name;
        QString output;
        QString input;
    };
    const Case cases[] = {
        {"output is a link to the input", out("link.pdf"), input},
        {"input named through a link", input, out("link.pdf")},
        {"output is a hard link to the input", out("hard.pdf"), input},
        {"output inside a linked folder", out("folder/in.pdf"), input},
        {"output with a dot folder", dir.path() + "/./in.pdf", input},
    };
    for (const Case& c : cases) {
        const test::ToolRun run = merge({"-o", c.output, c.input, pdf("boxes.pdf") + ":1"});
        EXPECT_EQ(run.exitCode, 1) << c.name << "\n" << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(Msg(ids::IDS_OUTPUT_IS_INPUT))) << c.name << "\n"
                                                                     << run.err.toStdString();
        EXPECT_EQ(test::ReadAll(input), before) << c.name;
        EXPECT_EQ(test::Entries(dir.path()), entries) << c.name;
    }
}

// Temporary files: names within the file-name limit whatever the target's length, leftovers of a
// killed run removed by the next merge into the folder once they are old, and nothing left when
// the command is interrupted.
TEST_F(MergeCommandProcess, TemporaryFilesNeverOutliveTheCommand) {
    const QString longName = QString(251, QLatin1Char('n')) + QStringLiteral(".pdf");
    const test::ToolRun longRun = merge({"-o", dir.path() + QLatin1Char('/') + longName,
                                         pdf("refcard-nf.pdf") + ":1", pdf("boxes.pdf") + ":1"});
    EXPECT_EQ(longRun.exitCode, 0) << longRun.err.toStdString();
    EXPECT_EQ(test::Entries(dir.path()), QStringList{longName});

    const auto touch = [&](const QString& name, int daysOld) {
        QFile file(dir.path() + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-");
        file.flush(); // a later flush would make it new again
        file.setFileTime(QDateTime::currentDateTime().addDays(-daysOld),
                         QFileDevice::FileModificationTime);
    };
    touch(QStringLiteral(".old.pdf.plyfold-0123abcd.part"), 2); // ours and old: removed
    touch(QStringLiteral("..old.pdf.plyfold-0123abcd.plyfold-89abcdef.tmp"), 3); // removed
    touch(QStringLiteral(".new.pdf.plyfold-0123abcd.part"), 0); // may still be in use
    touch(QStringLiteral(".notes.pdf.0123abcd.part"), 5);       // not ours
    const test::ToolRun next =
        merge({"-o", out("next.pdf"), pdf("refcard-nf.pdf") + ":1", pdf("boxes.pdf") + ":1"});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_EQ(test::Entries(dir.path()).join('\n').toStdString(),
              (QStringList{".new.pdf.plyfold-0123abcd.part", ".notes.pdf.0123abcd.part", "next.pdf",
                           longName})
                  .join('\n')
                  .toStdString());

    // A long merge interrupted while it writes: the command ends by the signal and leaves neither
    // temporary file nor output.
    QTemporaryDir quiet;
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        QStringList arguments{"-o", quiet.filePath("big.pdf")};
        for (int i = 0; i < 120; ++i) {
            arguments << pdf("R-intro.pdf") << pdf("refcard-nf.pdf");
        }
        QProcess process;
        process.start(QStringLiteral(PLYFOLD_MERGE_EXE), arguments);
        ASSERT_TRUE(process.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (test::Entries(quiet.path()).isEmpty() && waited.elapsed() < 60000 &&
               process.state() == QProcess::Running) {
            QThread::msleep(5);
        }
        ASSERT_FALSE(test::Entries(quiet.path()).isEmpty()) << "no temporary file appeared";
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit) << "finished before the signal";
        EXPECT_EQ(test::Entries(quiet.path()), QStringList{}) << signalNumber;
    }
}

// A write that fails for want of room or past the file-size limit: the window's message with the
// system's reason on the next line, a failure status, and neither the output nor a temporary file
// left behind.
TEST_F(MergeCommandProcess, AFailedWriteSaysWhyAndLeavesNothing) {
    const QString target = out("existing.pdf");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
    }
    QProcess process;
    // In the child only: the merged file is far larger than 64 KiB; the inputs are only read.
    process.setChildProcessModifier([] {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QStringLiteral(PLYFOLD_MERGE_EXE),
                  {"-o", target, pdf("R-intro.pdf"), pdf("refcard-nf.pdf")});
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << "ended by a signal";
    EXPECT_EQ(process.exitCode(), kMergeExitFailed);
    EXPECT_EQ(err, "plyfold-merge: " + Msg(ids::IDS_MERGE_FAILED) +
                       "\nplyfold-merge: cannot write the output file: " +
                       QString::fromStdString(std::generic_category().message(EFBIG)) + "\n");
    EXPECT_EQ(test::ReadAll(target), QByteArray("old content"));
    EXPECT_EQ(test::Entries(dir.path()), QStringList{"existing.pdf"});
}

// A full disk, made as a small memory file system mounted in a mount namespace of the run's own,
// which goes with it. Needs the right to make one (root, or unprivileged user namespaces).
TEST_F(MergeCommandProcess, AFullDiskSaysWhyAndLeavesNothing) {
    const QString folder = out("small");
    ASSERT_TRUE(QDir().mkpath(folder));
    // In the namespace: mount (and say so), merge into it, list what is left there, end with the
    // merge's status.
    const QString script = QStringLiteral("folder=$1; shift; mount -t tmpfs -o size=128k "
                                          "plyfold-test \"$folder\" || exit 125; echo mounted; "
                                          "\"$@\"; status=$?; ls -A \"$folder\"; exit $status");
    const test::ToolRun run = test::RunTool(
        QStringLiteral("unshare"),
        {"--mount", "--map-root-user", "sh", "-c", script, "sh", folder, PLYFOLD_MERGE_EXE, "-o",
         folder + "/merged.pdf", pdf("R-intro.pdf"), pdf("refcard-nf.pdf")});
    if (!run.out.startsWith(QStringLiteral("mounted\n"))) {
        GTEST_SKIP() << "no small file system can be mounted here (exit " << run.exitCode
                     << "): " << run.err.toStdString();
    }
    EXPECT_EQ(run.exitCode, kMergeExitFailed);
    EXPECT_EQ(run.err, "plyfold-merge: " + Msg(ids::IDS_MERGE_FAILED) +
                           "\nplyfold-merge: cannot write the output file: " +
                           QString::fromStdString(std::generic_category().message(ENOSPC)) + "\n");
    EXPECT_EQ(run.out, QStringLiteral("mounted\n")) << "left in the full folder";
}

// At a terminal the merge shows how far it is on one line that it rewrites and wipes at the end;
// into a pipe or a log nothing of it is written.
TEST_F(MergeCommandProcess, ProgressLineOnlyAtATerminal) {
    const QStringList inputs{pdf("pari-users.pdf"), pdf("R-intro.pdf")}; // 675 + 113 pages
    const test::TerminalRun shown = test::RunAtTerminal(
        QStringLiteral(PLYFOLD_MERGE_EXE), QStringList{"-o", out("shown.pdf")} + inputs, {});
    ASSERT_EQ(shown.exitCode, 0) << shown.screen.toStdString();
    const QByteArray& screen = shown.screen;
    EXPECT_TRUE(screen.startsWith("\rplyfold-merge: copying pages: ")) << screen.left(80).data();
    EXPECT_TRUE(screen.contains("\rplyfold-merge: copying pages: 788 of 788"));
    EXPECT_TRUE(screen.contains("\rplyfold-merge: writing the merged file: 100%"));
    EXPECT_FALSE(screen.contains('\n')) << "the line is rewritten, never ended";
    // Wiped: blanks over the last text, and the cursor back at the start of the line.
    EXPECT_TRUE(screen.endsWith("        \r")) << screen.right(40).data();
    EXPECT_EQ(test::PageCountOf(out("shown.pdf")), 788);

    const test::ToolRun piped = merge(QStringList{"-o", out("piped.pdf")} + inputs);
    ASSERT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    EXPECT_EQ(piped.err, QString());
    EXPECT_EQ(test::PageCountOf(out("piped.pdf")), 788);
}

// Opening the inputs: a file that cannot be read is refused without a question, a file that needs
// a password asks for it once (however often it is named) and refuses a wrong one, and a file
// that forbids copying asks for the password that allows it. Page ranges are checked against the
// page count of the file as it opened.
TEST_F(MergeCommandProcess, InputsAskForPasswordsOnlyWhenOneWouldHelp) {
    const QByteArray openPrompt = Msg(ids::IDS_ENTER_PASSWORD, {"c-r2.pdf"}).toLocal8Bit();
    const QByteArray copyPrompt =
        Msg(ids::IDS_COPY_PASSWORD, {"enc-R2,V1,O=master.pdf"}).toLocal8Bit();
    const QString good = pdf("boxes.pdf") + ":1";
    struct Case {
        const char* name;
        QStringList inputs;
        std::vector<test::TerminalExchange> answers; // every prompt expected, in order
        QString failure; // the message of a failed run; empty when the merge succeeds
        int pages;       // of the merged file
    };
    const Case cases[] = {
        {"unreadable",
         {pdf("not-a-pdf.pdf"), good},
         {},
         Msg(ids::IDS_OPEN_FAILED, {pdf("not-a-pdf.pdf")}),
         0},
        {"damaged beyond repair",
         {pdf("issue-99.pdf"), good},
         {},
         Msg(ids::IDS_OPEN_FAILED, {pdf("issue-99.pdf")}),
         0},
        {"damaged but repaired", {pdf("scan-bad.pdf"), good}, {}, {}, 2},
        {"wrong open password",
         {pdf("c-r2.pdf"), good},
         {{openPrompt, "nope\n"}},
         Msg(ids::IDS_OPEN_FAILED, {pdf("c-r2.pdf")}),
         0},
        {"named twice, asked once",
         {pdf("c-r2.pdf") + ":30", pdf("c-r2.pdf") + ":1-2", good},
         {{openPrompt, "user1\n"}},
         {},
         4},
        {"range beyond the pages",
         {pdf("c-r2.pdf") + ":29-31", good},
         {{openPrompt, "user1\n"}},
         QStringLiteral("pages '29-31' are not within the 30 pages of '%1'").arg(pdf("c-r2.pdf")),
         0},
        {"wrong copying password",
         {pdf("enc-R2,V1,O=master.pdf"), good},
         {{copyPrompt, "nope\n"}},
         Msg(ids::IDS_OPEN_FAILED, {pdf("enc-R2,V1,O=master.pdf")}),
         0},
        {"copying password",
         {pdf("enc-R2,V1,O=master.pdf") + ":2-3", good},
         {{copyPrompt, "master\n"}},
         {},
         3},
        {"copying allowed without a password", {pdf("issue7665.pdf"), good}, {}, {}, 2},
        // After the pages of the first file were copied: the prompt still comes, and a file that
        // fails still leaves nothing written.
        {"a later file's password",
         {good, pdf("c-r2.pdf") + ":1"},
         {{openPrompt, "user1\n"}},
         {},
         2},
        {"a later file unreadable",
         {pdf("R-intro.pdf"), pdf("not-a-pdf.pdf")},
         {},
         Msg(ids::IDS_OPEN_FAILED, {pdf("not-a-pdf.pdf")}),
         0},
        {"a later range beyond the pages",
         {pdf("R-intro.pdf"), good, pdf("c-r2.pdf") + ":29-31"},
         {{openPrompt, "user1\n"}},
         QStringLiteral("pages '29-31' are not within the 30 pages of '%1'").arg(pdf("c-r2.pdf")),
         0},
    };
    for (const Case& c : cases) {
        const QString target = out("asked.pdf");
        QFile::remove(target);
        const test::TerminalRun run = test::RunAtTerminal(
            QStringLiteral(PLYFOLD_MERGE_EXE), QStringList{"-o", target} + c.inputs, c.answers);
        const QString screen = QString::fromLocal8Bit(run.screen);
        EXPECT_EQ(run.exitCode, c.failure.isEmpty() ? 0 : 1) << c.name << "\n"
                                                             << screen.toStdString();
        // Both prompts begin so; none is shown but those answered.
        EXPECT_EQ(screen.count(QStringLiteral("Enter ")), qsizetype(c.answers.size()))
            << c.name << "\n"
            << screen.toStdString();
        EXPECT_TRUE(screen.contains(c.failure)) << c.name << "\n" << screen.toStdString();
        // A progress line is wiped before anything else is written to the terminal.
        EXPECT_FALSE(
            screen.contains(QRegularExpression("copying pages: \\d+(?: of \\d+)?[^ \\r\\d]")))
            << c.name << "\n"
            << screen.toStdString();
        EXPECT_EQ(test::PageCountOf(target), c.failure.isEmpty() ? c.pages : -1) << c.name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).join(' '),
                  c.failure.isEmpty() ? QStringLiteral("asked.pdf") : QString())
            << c.name << ": nothing else is left in the folder";
    }
}

// Passwords that never appear in the list of processes: from the first line of a file, or typed
// at a terminal prompt (twice for the merged file's password).
TEST_F(MergeCommandProcess, PasswordsFromAFileOrTheTerminal) {
    const auto writeFile = [&](const char* name, const QByteArray& text) {
        QFile file(out(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return out(name);
    };
    const QString outputPassword = writeFile("output.txt", "s3cret\nsecond line\n");
    const QString inputPassword = writeFile("input.txt", "user1\r\n");
    const test::ToolRun files = merge({"-o", out("files.pdf"), "--password-file", outputPassword,
                                       "--require", "view", "--input-password-file", inputPassword,
                                       pdf("c-r2.pdf") + ":1", pdf("boxes.pdf") + ":1"});
    ASSERT_EQ(files.exitCode, 0) << files.err.toStdString();
    EXPECT_EQ(test::PageCountOf(out("files.pdf")), -1);
    EXPECT_EQ(test::PageCountOf(out("files.pdf"), "s3cret"), 2);

    // Without a terminal a prompt cannot be shown: a usage error, nothing written.
    for (const QStringList& asks :
         {QStringList{"--password", "--require", "view"},
          QStringList{"--password=-", "--require", "view"},
          QStringList{"--require", "view", "--password-file", out("missing.txt")}}) {
        const test::ToolRun run =
            merge(QStringList{"-o", out("none.pdf")} + asks +
                  QStringList{pdf("refcard-nf.pdf") + ":1", pdf("boxes.pdf") + ":1"});
        EXPECT_EQ(run.exitCode, 2) << asks.join(' ').toStdString() << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out("none.pdf")));
    }

    // At a terminal: the output password typed twice, then the input's password when its file is
    // reached; nothing typed is echoed.
    const test::TerminalRun typed =
        test::RunAtTerminal(QStringLiteral(PLYFOLD_MERGE_EXE),
                            {"-o", out("typed.pdf"), "--password", "--require", "view",
                             pdf("c-r2.pdf") + ":1", pdf("boxes.pdf") + ":1"},
                            {{"Password for the merged file: ", "typed-pw\n"},
                             {"Type the password again: ", "typed-pw\n"},
                             {"c-r2.pdf", "user1\n"}});
    EXPECT_EQ(typed.exitCode, 0) << typed.screen.toStdString();
    EXPECT_FALSE(typed.screen.contains("typed-pw")) << typed.screen.toStdString();
    EXPECT_EQ(test::PageCountOf(out("typed.pdf"), "typed-pw"), 2);
}

} // namespace
} // namespace plyfold
