// Every file of the hostile-input corpus through the viewer engine, each in a child process under
// a time limit and a memory bound: it loads (with the true page count where the file's pages can
// be counted) or fails with the damaged-file result, every page's facts can be read, and the
// pages render or fail cleanly; no crash, no hang, no runaway allocation.

#include "ViewerTestSupport.h"
#include "support/BoundedChild.h"
#include "support/HostileCorpus.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <string>

using namespace plyfold;
using namespace plyfold::test;

namespace {

// Pages rendered per file: the first few and the last.
constexpr int kRenderedPages = 6;

// Loads the file, reads every page's facts and renders some pages. The report: "load <result>
// pages <count>" and, after "renders", one result per rendered page, or "bad-bitmap" where a
// successful render's size, row stride and pixels disagree.
std::string loadAndRender(const QString& path) {
    ScopedViewer viewer;
    const std::int32_t rc = viewer.load(path);
    const int pages = pdfGetNumPages(viewer.handle());
    std::string report = "load " + std::to_string(rc) + " pages " + std::to_string(pages);
    for (int page = 1; page <= pages; ++page) {
        pdfGetPageRotation(viewer.handle(), page);
        for (const char* box : {"media", "crop"})
            if (!(pdfGetPageBoxXMin(viewer.handle(), page, box) <=
                      pdfGetPageBoxXMax(viewer.handle(), page, box) &&
                  pdfGetPageBoxYMin(viewer.handle(), page, box) <=
                      pdfGetPageBoxYMax(viewer.handle(), page, box)))
                report += " bad-box";
    }
    report += " renders";
    for (int page = 1; page <= pages; ++page) {
        if (page > kRenderedPages && page != pages)
            continue;
        const Bitmap bitmap = render(viewer.handle(), page, 24.0);
        report += " " + std::to_string(bitmap.result);
        if (bitmap.result == kPdfOk &&
            (bitmap.width() <= 0 || bitmap.height() <= 0 || bitmap.stride() < bitmap.width() * 3 ||
             bitmap.stride() % 4 != 0 || bitmap.pixels.empty()))
            report += " bad-bitmap";
    }
    return report;
}

} // namespace

TEST(ViewerHostile, EveryCorpusFileLoadsOrFailsCleanly) {
    const std::vector<HostileCase> corpus = readHostileCorpus();
    ASSERT_FALSE(corpus.empty()) << "no corpus in " << hostileCorpusDir().toStdString();
    ChildLimits limits;
    limits.seconds = UnderAddressSanitizer() ? 120 : 30;
    constexpr long kPeakBoundKb = 1536L * 1024;
    pdfInitLibrary(nullptr);
    for (const HostileCase& c : corpus) {
        SCOPED_TRACE(c.name.toStdString() + ": " + c.what.toStdString());
        const ChildOutcome outcome = RunBounded([&] { return loadAndRender(c.path); }, limits);
        if (!outcome.exited || outcome.exitCode != 0) {
            ADD_FAILURE() << outcome.describe();
            continue;
        }
        EXPECT_LE(outcome.peakResidentKb, kPeakBoundKb) << outcome.describe();

        const QStringList words = QString::fromStdString(outcome.report).split(' ');
        if (words.size() < 5) {
            ADD_FAILURE() << outcome.report;
            continue;
        }
        const int rc = words[1].toInt();
        const int pages = words[3].toInt();
        EXPECT_FALSE(words.contains("bad-box")) << outcome.report;
        EXPECT_FALSE(words.contains("bad-bitmap")) << outcome.report;
        if (c.pages >= 0) {
            EXPECT_EQ(rc, kPdfOk) << outcome.report;
            EXPECT_EQ(pages, c.pages) << outcome.report;
        } else if (rc != kPdfOk) {
            EXPECT_TRUE(rc == kPdfErrDamaged || rc == kPdfErrOpenFile) << outcome.report;
            EXPECT_EQ(pages, 0) << outcome.report;
        } else {
            EXPECT_GT(pages, 0) << outcome.report;
        }
        for (qsizetype i = words.indexOf("renders") + 1; i < words.size(); ++i) {
            const int result = words[i].toInt();
            EXPECT_TRUE(result == kPdfOk || result == kPdfErrRender || result == kPdfErrBadArgument)
                << outcome.report;
        }
    }
}
