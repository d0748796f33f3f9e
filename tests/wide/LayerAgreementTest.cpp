// The viewer layer (what the window shows) and the splice layer (what Save Merged and
// plyfold-merge copy) must agree on what a file holds: every file of the hostile corpus and of the
// wide corpus is opened by both, without a password, in a child process under a time limit and a
// memory bound, and both find the same number of pages, or both refuse it for the same reason (a
// password is needed, or the file cannot be read).

#include "platform/splice/XpdfSplice.h"
#include "platform/viewer/XpdfViewer.h"
#include "support/BoundedChild.h"
#include "support/HostileCorpus.h"
#include "support/WideCorpus.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace plyfold {
namespace {

constexpr int kChunks = 6;
constexpr long kPeakBoundKb = 2048L * 1024;

// Files on which the two layers still part, each with what the viewer and the splice layer make of
// it, exactly, and why. None of them is a matter of the page tree or of a password's spelling,
// which both layers share: the two PDF libraries repair damaged files differently, and read some
// malformed encryption dictionaries differently. A row that no longer holds fails, so the table
// shrinks as the layers come closer.
struct KnownDifference {
    const char* name;
    const char* viewer;
    const char* splice;
    const char* reason;
};
constexpr const char* kMuPdfRepairs =
    "damaged or truncated cross-references: MuPDF's repair finds the pages, qpdf's does not";
constexpr const char* kQpdfRepairs =
    "damaged file: qpdf's repair finds the pages, MuPDF's does not";
constexpr const char* kQpdfCannotParse =
    "an object qpdf cannot parse (a number beyond 64 bits) is the tree's root or one of its pages";
constexpr const char* kEncryption =
    "malformed encryption: qpdf opens it with the empty user password, MuPDF asks for a password";
const KnownDifference kKnownDifferences[] = {
    {"hostile/boxes-odd-rotate", "open:20", "unreadable", kQpdfCannotParse},
    {"hostile/byte-flips-outlined", "unreadable", "open:29", kQpdfRepairs},
    {"hostile/pages-root-count-huge", "open:30", "unreadable", kQpdfCannotParse},
    {"hostile/truncated-boxes-60", "open:8", "unreadable", kMuPdfRepairs},
    {"hostile/truncated-boxes-97", "open:8", "unreadable", kMuPdfRepairs},
    {"hostile/truncated-fonts-25", "open:1", "unreadable", kMuPdfRepairs},
    {"hostile/truncated-fonts-60", "open:1", "unreadable", kMuPdfRepairs},
    {"hostile/truncated-fonts-97", "open:1", "unreadable", kMuPdfRepairs},
    {"hostile/truncated-outlined-60", "open:30", "unreadable", kMuPdfRepairs},
    {"hostile/truncated-outlined-97", "open:30", "unreadable", kMuPdfRepairs},
    {"hostile/xref-missing", "open:1", "unreadable", kMuPdfRepairs},
    {"hostile/xref-stream-lies", "open:1", "unreadable", kMuPdfRepairs},
    {"wide/pdfjs/GHOSTSCRIPT-698804-1-fuzzed.pdf", "unreadable", "open:1", kQpdfRepairs},
    {"wide/pdfjs/PDFBOX-3148-2-fuzzed.pdf", "open:1", "unreadable", kMuPdfRepairs},
    {"wide/pdfjs/PDFBOX-4352-0.pdf", "open:1", "unreadable", kMuPdfRepairs},
    {"wide/pdfjs/bug1980958.pdf", "open:1", "unreadable", kMuPdfRepairs},
    {"wide/pdfjs/issue15893_reduced.pdf", "password", "open:1", kEncryption},
    // Encrypted with a user password: qpdf asks for it, MuPDF fails on a damaged object stream
    // before it asks.
    {"wide/pdfjs/issue19484_1.pdf", "unreadable", "password", kQpdfRepairs},
    {"wide/pdfjs/issue19484_2.pdf", "unreadable", "password", kQpdfRepairs},
    {"wide/pdfjs/pr6531_2.pdf", "password", "open:1", kEncryption},
    {"wide/qpdf/bad-direct-root.pdf", "unreadable", "open:1", kQpdfRepairs},
    {"wide/qpdf/bad-encryption-length.pdf", "password", "open:1", kEncryption},
    {"wide/qpdf/bad11.pdf", "unreadable", "open:1", kQpdfRepairs},
    {"wide/qpdf/bad40.pdf", "unreadable", "open:1", kQpdfRepairs},
    {"wide/qpdf/fuzz-16214.pdf", "unreadable", "open:1", kQpdfRepairs},
    {"wide/qpdf/inspect.pdf", "unreadable", "open:1", kQpdfRepairs},
    {"wide/qpdf/minimal-linearize-pass1.pdf", "open:1", "unreadable", kMuPdfRepairs},
    {"wide/qpdf/recover-xref-stream.pdf", "open:1", "unreadable", kMuPdfRepairs},
    // A page's object sits in an object stream that is itself compressed in another, which the
    // standard forbids: qpdf reads it, MuPDF leaves the page out.
    {"wide/qpdf/xref-compressed-in-compressed.pdf", "open:29", "open:30", kQpdfRepairs},
};

const KnownDifference* KnownDifferenceOf(const std::string& name) {
    for (const KnownDifference& known : kKnownDifferences)
        if (name == known.name)
            return &known;
    return nullptr;
}

struct LayerCase {
    std::string name;
    QString path;
};

// Every hostile case, then every wide case the stride takes.
std::vector<LayerCase> AllCases() {
    std::vector<LayerCase> cases;
    for (const test::HostileCase& c : test::readHostileCorpus())
        cases.push_back({"hostile/" + c.name.toStdString(), c.path});
    const std::vector<test::WideCase> wide = test::readWideCorpus();
    const auto stride = static_cast<std::size_t>(test::wideCorpusStride());
    for (std::size_t i = 0; i < wide.size(); i += stride)
        cases.push_back({"wide/" + wide[i].file.toStdString(), wide[i].path});
    return cases;
}

// What each layer makes of the file: "open N" with its page count, "password" when it needs one,
// "unreadable" otherwise. The report is the viewer's word, a space, then the splice layer's.
std::string OpenInBothLayers(const QString& path) {
    const auto* wide = reinterpret_cast<const char16_t*>(path.utf16());
    std::string report;
    pdfInitLibrary(nullptr);
    PdfViewerHandle viewer = 0;
    if (pdfCreateViewer(&viewer, nullptr) != kPdfOk)
        return "no-viewer";
    const std::int32_t rc = pdfLoadFileW(viewer, wide);
    if (rc == kPdfOk)
        report = "open:" + std::to_string(pdfGetNumPages(viewer));
    else
        report = rc == kPdfErrEncrypted ? "password" : "unreadable";
    pdfDestroyViewer(viewer);

    xpdfSpliceInit();
    XpdfSpliceOpenError error = XpdfSpliceOpenError::None;
    XpdfSpliceInput input = xpdfSpliceOpenInputExW(wide, nullptr, &error);
    if (input != nullptr) {
        const int pages = xpdfSpliceGetPageCount(input);
        report += pages >= 0 ? " open:" + std::to_string(pages) : " unreadable";
        xpdfSpliceCloseInput(input);
    } else {
        report += error == XpdfSpliceOpenError::Password ? " password" : " unreadable";
    }
    return report;
}

// A PDF of the given objects (numbered from 1, the first the catalog), with a cross-reference
// table, written into dir.
QString WriteRawPdf(const QString& dir, const QString& name,
                    const std::vector<std::string>& objects) {
    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(out.data(), static_cast<qint64>(out.size()));
    return path;
}

// The page-tree rule both layers follow, shape by shape: what readers show. Kids that are no
// dictionary are left out, a node is entered once however often it is reached, a page listed
// twice is shown twice, a catalog whose /Pages is a page holds that page, counts are not trusted,
// and a tree without any page is refused.
TEST(LayerAgreement, PageTreeShapesGiveThePagesReadersShow) {
    const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>";
    const auto page = [](int parent) {
        return "<< /Type /Page /Parent " + std::to_string(parent) +
               " 0 R /MediaBox [0 0 200 200] >>";
    };
    const auto root = [](const std::string& kids, int count) {
        return "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + " >>";
    };
    struct Shape {
        const char* name;
        std::vector<std::string> objects;
        const char* expected; // in both layers
    };
    // A chain of 300 nodes (objects 3 to 302) with a page (303) at its foot, under a root that
    // also holds a page of its own (304): the page too deep to be reached is left out.
    std::vector<std::string> deep{catalog, root("304 0 R 3 0 R", 2)};
    for (int node = 3; node <= 302; ++node)
        deep.push_back("<< /Type /Pages /Parent " + std::to_string(node - 1) + " 0 R /Kids [" +
                       std::to_string(node + 1) + " 0 R] /Count 1 >>");
    deep.push_back(page(302));
    deep.push_back(page(2));
    const Shape shapes[] = {
        {"kids that are no dictionary",
         {catalog, root("3 0 R 42 4 0 R (x) null 5 0 R", 5), page(2), page(2), page(2)},
         "open:3"},
        {"a kid naming a missing object",
         {catalog, root("3 0 R 99 0 R 4 0 R", 3), page(2), page(2)},
         "open:2"},
        {"a root that is a page", {catalog, "<< /Type /Page /MediaBox [0 0 200 200] >>"}, "open:1"},
        {"a root page without a type", {catalog, "<< /MediaBox [0 0 200 200] >>"}, "open:1"},
        {"a loop back to the root",
         {catalog, root("3 0 R 4 0 R", 2), page(2),
          "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 2 0 R] /Count 1 >>", page(4)},
         "open:2"},
        {"a node listed twice",
         {catalog, root("3 0 R 3 0 R", 2),
          "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 >>", page(3)},
         "open:1"},
        {"a page listed twice", {catalog, root("3 0 R 3 0 R", 2), page(2)}, "open:2"},
        {"a page with kids",
         {catalog, root("3 0 R", 1),
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Kids [4 0 R] >>", page(2)},
         "open:1"},
        {"nodes without a type",
         {catalog, "<< /Kids [3 0 R] /Count 2 >>", "<< /Parent 2 0 R /Kids [4 0 R 5 0 R] >>",
          page(3), page(3)},
         "open:2"},
        {"counts that lie", {catalog, root("3 0 R 4 0 R", 1000), page(2), page(2)}, "open:2"},
        {"a node nested too deeply", deep, "open:1"},
        {"no kids", {catalog, root("", 0)}, "unreadable"},
        {"only kids that are no dictionary", {catalog, root("42 (x)", 2)}, "unreadable"},
        {"a root that is an array", {catalog, "[3 0 R]", page(2)}, "unreadable"},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::ChildLimits limits;
    limits.seconds = test::UnderAddressSanitizer() ? 120 : 30;
    int n = 0;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const QString path =
            WriteRawPdf(dir.path(), QString::number(++n) + QStringLiteral(".pdf"), shape.objects);
        const test::ChildOutcome outcome =
            test::RunBounded([&] { return OpenInBothLayers(path); }, limits);
        ASSERT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
        EXPECT_EQ(outcome.report, std::string(shape.expected) + " " + shape.expected)
            << "viewer, then splice layer";
    }
}

class LayerAgreement : public ::testing::TestWithParam<int> {};

TEST_P(LayerAgreement, BothLayersFindTheSamePagesOrTheSameRefusal) {
    const std::vector<LayerCase> cases = AllCases();
    ASSERT_FALSE(test::readHostileCorpus().empty())
        << "no corpus in " << test::hostileCorpusDir().toStdString();
    ASSERT_FALSE(test::readWideCorpus().empty())
        << "no corpus in " << test::wideCorpusDir().toStdString();
    test::ChildLimits limits;
    limits.seconds = test::UnderAddressSanitizer() ? 180 : 60;
    limits.addressSpace = std::size_t{3} << 30;
    for (std::size_t i = static_cast<std::size_t>(GetParam()); i < cases.size(); i += kChunks) {
        const LayerCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const test::ChildOutcome outcome =
            test::RunBounded([&] { return OpenInBothLayers(c.path); }, limits);
        if (!outcome.exited || outcome.exitCode != 0) {
            ADD_FAILURE() << outcome.describe();
            continue;
        }
        EXPECT_LE(outcome.peakResidentKb, kPeakBoundKb) << outcome.describe();
        const QStringList words = QString::fromStdString(outcome.report).split(' ');
        ASSERT_EQ(words.size(), 2) << outcome.report;
        if (const KnownDifference* known = KnownDifferenceOf(c.name)) {
            EXPECT_EQ(outcome.report, std::string(known->viewer) + " " + known->splice)
                << "a known difference (" << known->reason << ") has changed";
            continue;
        }
        EXPECT_EQ(words[0].toStdString(), words[1].toStdString()) << "viewer, then splice layer";
    }
}

INSTANTIATE_TEST_SUITE_P(Chunk, LayerAgreement, ::testing::Range(0, kChunks));

} // namespace
} // namespace plyfold
