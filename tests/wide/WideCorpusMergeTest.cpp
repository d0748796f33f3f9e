// Every file of the wide corpus (real-world PDFs, tests/data/wide) merged whole with a small sound
// file through both merges a user has: the plyfold-merge command and the window's Save Merged path
// (a document list with the two files added, written by WriteMergedFile), each in a child process
// under a time limit and a memory bound.
//
// A file that qpdf's own command-line merge handles (the manifest's qpdf_merges) must merge into a
// file that passes qpdf's check with as many pages as qpdf's merge gives. Any other file merges
// into a file whose only damage is the input's own, or is refused with a message and leaves
// nothing behind in the output folder. No input changes. A file with form fields keeps the fields
// of qpdf's merge (full names and values), and its pages with fields look as they did.
//
// The corpus is split into interleaved chunks, each a test of its own, so that CTest spreads them
// over the machine's cores.

#include "app/DialogPrompts.h"
#include "app/MergeCommand.h"
#include "app/MergeDocuments.h"
#include "app/MergeTestSupport.h"
#include "controls/CStringDlg.h"
#include "controls/MessageBox.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "platform/splice/XpdfSplice.h"
#include "platform/viewer/XpdfViewer.h"
#include "support/BoundedChild.h"
#include "support/TestData.h"
#include "support/WideCorpus.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace plyfold {
namespace {

constexpr int kChunks = 24;
constexpr int kGoodPages = 8; // boxes.pdf
constexpr long kPeakBoundKb = 2048L * 1024;
// Pages with fields compared by rendering, per file: the first few.
constexpr int kRenderedFormPages = 3;
constexpr double kRenderDpi = 50.0;

// Files whose merged page count rightly differs from what qpdf's merge gives: the count Plyfold
// gives, and why qpdf's is not the one a user expects.
struct AllowedCount {
    const char* file;
    int pages; // of the file itself; the merged file adds boxes.pdf's pages
    const char* reason;
};
const AllowedCount kAllowedCounts[] = {
    {nullptr, 0, nullptr}, // (end)
};

// Files that qpdf merges but Plyfold rightly refuses without a password: their owner forbids
// copying their content (permission bit 0x10 clear, with an empty user password), and Plyfold,
// unlike qpdf, which ignores permissions, asks for the owner password before it copies a page out
// of such a file; no password is given here, so the file cannot be opened for the merge. The test
// checks that qpdf reads the same restriction.
const char* const kCopyForbidden[] = {
    "pdfjs/empty_protected.pdf",
    "pdfjs/issue9972-3.pdf",
    "qpdf/enc-R2,V1.pdf",
};

bool Listed(const test::WideCase& c, const char* const* first, const char* const* last) {
    return std::any_of(first, last,
                       [&](const char* file) { return c.file == QLatin1String(file); });
}

bool CopyForbidden(const test::WideCase& c) {
    return Listed(c, std::begin(kCopyForbidden), std::end(kCopyForbidden));
}

// Files that qpdf merges but the window refuses as they are added ("Cannot open file"): the
// viewer layer, which the window reads every added file with, cannot read them (damage beyond
// what its repair reads, encryption dictionaries it rejects), while plyfold-merge, which reads
// only with the splicing layer, merges them. Known differences, refused cleanly, until the window
// can fall back on the splicing layer's reading.
const char* const kWindowCannotRead[] = {
    "pdfjs/GHOSTSCRIPT-698804-1-fuzzed.pdf",
    "pdfjs/issue15893_reduced.pdf",
    "pdfjs/pr6531_2.pdf",
    "qpdf/bad-direct-root.pdf",
    "qpdf/bad-encryption-length.pdf",
    "qpdf/bad11.pdf",
    "qpdf/bad40.pdf",
    "qpdf/fuzz-16214.pdf",
};

// Files whose pages the window counts otherwise, with the viewer layer's repair: the pages it
// takes, and why.
const AllowedCount kWindowCounts[] = {
    {"qpdf/xref-compressed-in-compressed.pdf", 29,
     "the viewer layer's repair finds 29 pages where the splicing layer's finds 30"},
};

// Page count as qpdf reads it, warnings or not; -1 when it cannot.
int QpdfPageCount(const QString& path) {
    const test::ToolRun run = test::RunTool(QStringLiteral("qpdf"), {"--show-npages", path});
    bool ok = false;
    const int pages = run.out.trimmed().toInt(&ok);
    return (run.exitCode == 0 || run.exitCode == 3) && ok ? pages : -1;
}

// The pages the merged file must hold: those of qpdf's own merge (the manifest's count is the
// file's /Count, which may lie), unless the table above says otherwise.
int ExpectedPages(const test::WideCase& c, int qpdfMergePages, bool window) {
    if (window) {
        for (const AllowedCount& allowed : kWindowCounts)
            if (c.file == QLatin1String(allowed.file))
                return allowed.pages + kGoodPages;
    }
    for (const AllowedCount& allowed : kAllowedCounts)
        if (allowed.file != nullptr && c.file == QLatin1String(allowed.file))
            return allowed.pages + kGoodPages;
    return qpdfMergePages;
}

QByteArray Sha256(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// qpdf --check's exit status by severity: 0 clean, 1 warnings, 2 errors, 3 no answer.
int Severity(int exitCode) {
    switch (exitCode) {
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

// The form of a file as qpdf reads it: one "full name = value" entry per field widget, sorted,
// and the pages (1-based) that hold a field.
struct FormFacts {
    bool read = false;
    std::multiset<std::string> fields;
    std::set<int> pages;
};

FormFacts FormOf(const QString& path) {
    FormFacts facts;
    const test::ToolRun run =
        test::RunTool(QStringLiteral("qpdf"), {"--json", "--json-key=acroform", path});
    const QJsonDocument json = QJsonDocument::fromJson(run.out.toUtf8());
    if (!json.isObject())
        return facts;
    facts.read = true;
    for (const QJsonValue& field : json.object()["acroform"].toObject()["fields"].toArray()) {
        const QJsonObject f = field.toObject();
        // A value that is an object of its own (a signature) is compared as being one: its
        // number is the writer's choice.
        static const QRegularExpression reference(QStringLiteral("^\\d+ \\d+ R$"));
        const QJsonValue v = f["value"];
        const QByteArray value = v.isString() && reference.match(v.toString()).hasMatch()
                                     ? QByteArray("(an object)")
                                     : QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        facts.fields.insert(f["fullname"].toString().toStdString() + " = " + value.toStdString());
        facts.pages.insert(f["pageposfrom1"].toInt());
    }
    return facts;
}

// The window's merge in this process: the input and the sound file added to a document list as
// Add File adds them, with the window's prompts (a password prompt is cancelled), then written as
// Save Merged writes them. The report: "added N", the result of WriteMergedFile, and each message
// shown, one a line.
std::string MergeThroughWindow(const QString& input, const QString& good, const QString& target) {
    xpdfSpliceInit();
    std::string messages;
    SetMessageBoxAnswerer([&messages](const MessageBoxRequest& request) {
        if (request.buttons.testFlag(QMessageBox::Yes))
            return int(QMessageBox::Yes);
        messages += "message " + request.text.toStdString() + "\n";
        return int(QMessageBox::Ok);
    });
    SetStringDlgAnswerer([](const StringDlgRequest&) -> std::optional<QString> { return {}; });
    InstallDialogPrompts();
    PDFInstanceManager manager;
    DocumentList list{nullptr, &manager};
    int added = 0;
    for (const QString& path : {input, good})
        added += list.AddDocument(path) != nullptr ? 1 : 0;
    std::string report = "added " + std::to_string(added) + "\n";
    if (added == 2) {
        const MergeResult result = WriteMergedFile(list, target, nullptr, nullptr);
        report += "result " + std::to_string(static_cast<int>(result)) + "\n";
    }
    return report + messages;
}

// Renders the given pages of two files with the viewer layer and reports, one line per page,
// "page P differs F" with the share of pixels (per thousand) that differ noticeably, or why the
// page could not be compared.
std::string CompareRenders(const QString& input, const QString& merged,
                           const std::set<int>& pages) {
    pdfInitLibrary(nullptr);
    PdfViewerHandle a = 0;
    PdfViewerHandle b = 0;
    if (pdfCreateViewer(&a, nullptr) != kPdfOk || pdfCreateViewer(&b, nullptr) != kPdfOk)
        return "no viewer\n";
    if (pdfLoadFileW(a, reinterpret_cast<const char16_t*>(input.utf16())) != kPdfOk ||
        pdfLoadFileW(b, reinterpret_cast<const char16_t*>(merged.utf16())) != kPdfOk)
        return "load failed\n";
    std::string report;
    for (int page : pages) {
        PdfBitmap one{};
        PdfBitmap two{};
        const std::int32_t r1 =
            pdfConvertPageToBitmap2(a, page, kRenderDpi, kPdfBitmapModeRgb24, &one);
        const std::int32_t r2 =
            pdfConvertPageToBitmap2(b, page, kRenderDpi, kPdfBitmapModeRgb24, &two);
        if (r1 != kPdfOk || r2 != kPdfOk) {
            report += "page " + std::to_string(page) + " renders " + std::to_string(r1) + " " +
                      std::to_string(r2) + "\n";
        } else if (one.width != two.width || one.height != two.height) {
            report += "page " + std::to_string(page) + " size " + std::to_string(one.width) + "x" +
                      std::to_string(one.height) + " against " + std::to_string(two.width) + "x" +
                      std::to_string(two.height) + "\n";
        } else {
            long differing = 0;
            for (int y = 0; y < one.height; ++y) {
                const unsigned char* p = one.pixels + static_cast<std::ptrdiff_t>(y) * one.stride;
                const unsigned char* q = two.pixels + static_cast<std::ptrdiff_t>(y) * two.stride;
                for (int x = 0; x < one.width * 3; x += 3)
                    if (std::abs(p[x] - q[x]) > 48 || std::abs(p[x + 1] - q[x + 1]) > 48 ||
                        std::abs(p[x + 2] - q[x + 2]) > 48)
                        ++differing;
            }
            const long total = static_cast<long>(one.width) * one.height;
            report += "page " + std::to_string(page) + " differs " +
                      std::to_string(total > 0 ? differing * 1000 / total : 0) + "\n";
        }
        pdfFreeMemory(one.pixels);
        pdfFreeMemory(two.pixels);
    }
    pdfDestroyViewer(a);
    pdfDestroyViewer(b);
    return report;
}

// One merge's outcome, whichever path made it.
struct MergeRun {
    const char* how = "";
    bool written = false;
    bool refusedWithMessage = false;
    QString output;
    QString folder;
    QString text; // messages, for failure reports
};

class WideCorpusMerge : public ::testing::TestWithParam<int> {};

TEST_P(WideCorpusMerge, MergesAsQpdfDoesOrRefusesCleanly) {
    const std::vector<test::WideCase> corpus = test::readWideCorpus();
    ASSERT_FALSE(corpus.empty()) << "no corpus in " << test::wideCorpusDir().toStdString();
    const QString good = test::pdfPath(QStringLiteral("boxes.pdf"));
    const QByteArray goodBefore = Sha256(good);
    test::ChildLimits limits;
    limits.seconds = test::UnderAddressSanitizer() ? 180 : 60;
    limits.addressSpace = std::size_t{3} << 30; // the peak resident memory is checked against 2 GiB
    const int stride = test::wideCorpusStride();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());

    // The sample the stride takes, dealt out over the chunks in turn.
    std::vector<std::size_t> sample;
    for (std::size_t i = 0; i < corpus.size(); i += static_cast<std::size_t>(stride))
        sample.push_back(i);
    for (std::size_t k = static_cast<std::size_t>(GetParam()); k < sample.size(); k += kChunks) {
        const std::size_t i = sample[k];
        const test::WideCase& c = corpus[i];
        SCOPED_TRACE(c.file.toStdString() + (c.qpdfMerges ? " (qpdf merges it)" : ""));
        const QByteArray before = Sha256(c.path);
        const QString base = QDir(work.path()).filePath(QString::number(i));

        std::vector<MergeRun> runs;
        {
            MergeRun run;
            run.how = "plyfold-merge";
            run.folder = base + QStringLiteral("-command");
            ASSERT_TRUE(QDir().mkpath(run.folder));
            run.output = QDir(run.folder).filePath(QStringLiteral("merged.pdf"));
            const QString messages = base + QStringLiteral("-command.err");
            const test::ChildOutcome outcome =
                test::RunBoundedProgram({PLYFOLD_MERGE_EXE, "-o", run.output.toStdString(),
                                         c.path.toStdString(), good.toStdString()},
                                        limits, messages.toStdString());
            run.text = QString::fromLocal8Bit(test::ReadAll(messages));
            if (!outcome.exited) {
                ADD_FAILURE() << run.how << ": " << outcome.describe() << "\n"
                              << run.text.toStdString();
                continue;
            }
            EXPECT_LE(outcome.peakResidentKb, kPeakBoundKb)
                << run.how << ": " << outcome.describe();
            EXPECT_TRUE(outcome.exitCode == kMergeExitOk || outcome.exitCode == kMergeExitFailed)
                << run.how << ": " << outcome.describe() << "\n"
                << run.text.toStdString();
            run.written = outcome.exitCode == kMergeExitOk;
            run.refusedWithMessage =
                outcome.exitCode == kMergeExitFailed && !run.text.trimmed().isEmpty();
            runs.push_back(run);
        }
        {
            MergeRun run;
            run.how = "window";
            run.folder = base + QStringLiteral("-window");
            ASSERT_TRUE(QDir().mkpath(run.folder));
            run.output = QDir(run.folder).filePath(QStringLiteral("merged.pdf"));
            const test::ChildOutcome outcome = test::RunBounded(
                [&] { return MergeThroughWindow(c.path, good, run.output); }, limits);
            run.text = QString::fromStdString(outcome.report);
            if (!outcome.exited || outcome.exitCode != 0) {
                ADD_FAILURE() << run.how << ": " << outcome.describe() << "\n" << outcome.report;
                continue;
            }
            EXPECT_LE(outcome.peakResidentKb, kPeakBoundKb)
                << run.how << ": " << outcome.describe();
            const bool hasMessage = run.text.contains(QStringLiteral("message "));
            run.written = run.text.contains(QStringLiteral("result 0\n"));
            run.refusedWithMessage = !run.written && hasMessage;
            runs.push_back(run);
        }

        EXPECT_EQ(Sha256(c.path), before) << "the input changed";
        EXPECT_EQ(Sha256(good), goodBefore) << "boxes.pdf changed";

        // qpdf's own merge of the same files: the page count and the form to match.
        const QString reference = base + QStringLiteral("-qpdf.pdf");
        int qpdfPages = -1;
        if (c.qpdfMerges) {
            const test::ToolRun qpdfMerge =
                test::RunTool(QStringLiteral("qpdf"),
                              {"--empty", "--pages", c.path, "1-z", good, "1-z", "--", reference});
            qpdfPages = QpdfPageCount(reference);
            EXPECT_GT(qpdfPages, 0) << "qpdf's merge: exit " << qpdfMerge.exitCode;
        }

        if (CopyForbidden(c)) {
            const test::ToolRun encryption =
                test::RunTool(QStringLiteral("qpdf"), {"--show-encryption", c.path});
            EXPECT_TRUE(
                encryption.out.contains(QStringLiteral("extract for any purpose: not allowed")))
                << encryption.out.toStdString();
        }

        int inputSeverity = -1; // qpdf's check of the input, read when first needed
        for (const MergeRun& run : runs) {
            SCOPED_TRACE(run.how);
            const bool window = std::string_view(run.how) == "window";
            if (!run.written) {
                EXPECT_TRUE(!c.qpdfMerges || CopyForbidden(c) ||
                            (window &&
                             Listed(c, std::begin(kWindowCannotRead), std::end(kWindowCannotRead))))
                    << "refused: " << run.text.toStdString();
                EXPECT_TRUE(run.refusedWithMessage) << "no message: " << run.text.toStdString();
                EXPECT_EQ(test::Entries(run.folder), QStringList{}) << "left behind";
                continue;
            }
            EXPECT_FALSE(CopyForbidden(c)) << "copied without the owner password";
            EXPECT_EQ(test::Entries(run.folder), QStringList{"merged.pdf"});
            const test::ToolRun check =
                test::RunTool(QStringLiteral("qpdf"), {"--check", run.output});
            const QString findings = check.out + check.err;
            if (c.qpdfMerges) {
                EXPECT_LE(Severity(check.exitCode), 1) << findings.toStdString();
                EXPECT_EQ(QpdfPageCount(run.output), ExpectedPages(c, qpdfPages, window));
            } else {
                // The output may carry the input's own damage, copied as it is, but no worse.
                if (inputSeverity < 0)
                    inputSeverity = Severity(
                        test::RunTool(QStringLiteral("qpdf"), {"--check", c.path}).exitCode);
                EXPECT_TRUE(check.exitCode == 0 ||
                            (inputSeverity > 0 && Severity(check.exitCode) <= inputSeverity &&
                             !findings.contains(QStringLiteral("should be /Page but is not"))))
                    << "input's check: " << inputSeverity << "\n"
                    << findings.toStdString();
            }
        }

        // Forms: the fields of qpdf's own merge, and the pages with fields looking as they did.
        const bool anyWritten =
            std::any_of(runs.begin(), runs.end(), [](const MergeRun& run) { return run.written; });
        if (!anyWritten)
            continue;
        const FormFacts input = FormOf(c.path);
        if (input.fields.empty())
            continue;
        const FormFacts expected = c.qpdfMerges ? FormOf(reference) : FormFacts{};
        std::set<int> rendered;
        for (int page : input.pages)
            if (page >= 1 && static_cast<int>(rendered.size()) < kRenderedFormPages)
                rendered.insert(page);
        for (const MergeRun& run : runs) {
            if (!run.written)
                continue;
            SCOPED_TRACE(run.how);
            if (expected.read) {
                const FormFacts merged = FormOf(run.output);
                EXPECT_EQ(merged.fields, expected.fields) << "against qpdf's merge";
            }
            const test::ChildOutcome renders = test::RunBounded(
                [&] { return CompareRenders(c.path, run.output, rendered); }, limits);
            ASSERT_TRUE(renders.exited && renders.exitCode == 0) << renders.describe();
            for (const QString& line :
                 QString::fromStdString(renders.report).split('\n', Qt::SkipEmptyParts)) {
                const QStringList words = line.split(' ');
                EXPECT_TRUE(words.size() == 4 && words[2] == QStringLiteral("differs") &&
                            words[3].toInt() <= 20)
                    << line.toStdString();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Chunk, WideCorpusMerge, ::testing::Range(0, kChunks));

} // namespace
} // namespace plyfold
