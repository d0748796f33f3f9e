// Page bitmaps from the viewer engine: the row layout, rotation, failures, and renders from
// several threads.

#include "ViewerTestSupport.h"
#include "support/HeldFontFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace plyfold;
using namespace plyfold::test;

namespace {

// Letter page whose top half is black.
MiniPage topHalfBlack() {
    MiniPage page;
    page.content = "0 g 0 396 612 396 re f";
    return page;
}

void expectWellFormed(const Bitmap& bitmap) {
    EXPECT_GT(bitmap.width(), 0);
    EXPECT_GT(bitmap.height(), 0);
    EXPECT_GE(bitmap.stride(), bitmap.width() * 3);
    EXPECT_EQ(bitmap.stride() % 4, 0);
    EXPECT_EQ(bitmap.pixels.size(), static_cast<std::size_t>(bitmap.stride()) * bitmap.height());
}

} // namespace

// At 14.4 dpi a page of W x H points gives about W/5 x H/5 pixels; a page turned by 90 or 270
// degrees gives them swapped.
TEST(ViewerRender, BitmapSizeFollowsPageAndRotation) {
    struct Row {
        const char* file;
        int page;
        double widthPt, heightPt; // as displayed
    };
    const Row rows[] = {
        {"R-intro.pdf", 1, 612, 792},
        {"refcard-nf.pdf", 1, 841.68, 594.72},
        {"issue7665.pdf", 1, 200, 50},
        {"to-rotate.pdf", 1, 792, 612},  // /Rotate 270
        {"to-rotate.pdf", 11, 792, 612}, // 90, inherited
        {"to-rotate.pdf", 16, 612, 792}, // 180
        {"habibi-rotated.pdf", 1, 841.89, 595.28},
        {"boxes.pdf", 2, 732, 572},        // CropBox 572 x 732, turned by 90
        {"grid_example.pdf", 1, 200, 200}, // CropBox [100 100 300 300]
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.file) + " p" + std::to_string(row.page));
        ScopedViewer viewer;
        ASSERT_EQ(viewer.load(pdfPath(row.file), "user"), kPdfOk);
        const Bitmap bitmap = render(viewer.handle(), row.page, 14.4);
        ASSERT_EQ(bitmap.result, kPdfOk);
        expectWellFormed(bitmap);
        EXPECT_NEAR(bitmap.width(), row.widthPt / 5.0, 1.0);
        EXPECT_NEAR(bitmap.height(), row.heightPt / 5.0, 1.0);
    }
}

// The first row in memory is the top of the page, and /Rotate turns the picture clockwise.
TEST(ViewerRender, RowsAreTopDownAndPagesUpright) {
    QTemporaryDir dir;
    std::vector<MiniPage> pages(4, topHalfBlack());
    pages[1].rotate = "90";
    pages[2].rotate = "180";
    pages[3].rotate = "270";
    ScopedViewer viewer;
    ASSERT_EQ(viewer.load(writeMiniPdf(dir.path(), "half.pdf", pages)), kPdfOk);

    const Bitmap upright = render(viewer.handle(), 1, 36);
    ASSERT_EQ(upright.result, kPdfOk);
    // Raw memory: first row black, last row white.
    EXPECT_LT(upright.pixels[0], 64);
    const std::size_t lastRow = static_cast<std::size_t>(upright.height() - 1) * upright.stride();
    EXPECT_EQ(upright.pixels[lastRow], 255);
    // Displayed picture: black on top, white below.
    const int w = upright.width(), h = upright.height();
    EXPECT_TRUE(upright.isDark(w / 2, h / 4));
    EXPECT_FALSE(upright.isDark(w / 2, 3 * h / 4));

    const Bitmap quarter = render(viewer.handle(), 2, 36); // top half turns to the right
    ASSERT_EQ(quarter.result, kPdfOk);
    EXPECT_TRUE(quarter.isDark(3 * quarter.width() / 4, quarter.height() / 2));
    EXPECT_FALSE(quarter.isDark(quarter.width() / 4, quarter.height() / 2));

    const Bitmap half = render(viewer.handle(), 3, 36); // top half turns to the bottom
    ASSERT_EQ(half.result, kPdfOk);
    EXPECT_TRUE(half.isDark(half.width() / 2, 3 * half.height() / 4));
    EXPECT_FALSE(half.isDark(half.width() / 2, half.height() / 4));

    const Bitmap threeQuarters = render(viewer.handle(), 4, 36); // top half turns to the left
    ASSERT_EQ(threeQuarters.result, kPdfOk);
    EXPECT_TRUE(threeQuarters.isDark(threeQuarters.width() / 4, threeQuarters.height() / 2));
    EXPECT_FALSE(threeQuarters.isDark(3 * threeQuarters.width() / 4, threeQuarters.height() / 2));
}

// Row padding: widths that are not a multiple of 4 bytes still give aligned rows and the
// padding never holds picture data from the next row.
TEST(ViewerRender, OddWidthsArePadded) {
    QTemporaryDir dir;
    std::vector<MiniPage> pages(1);
    pages[0].mediaBox = "[0 0 37 23]";
    pages[0].content = "0 g 0 0 37 23 re f";
    ScopedViewer viewer;
    ASSERT_EQ(viewer.load(writeMiniPdf(dir.path(), "odd.pdf", pages)), kPdfOk);
    const Bitmap bitmap = render(viewer.handle(), 1, 72);
    ASSERT_EQ(bitmap.result, kPdfOk);
    expectWellFormed(bitmap);
    EXPECT_EQ(bitmap.width(), 37);
    EXPECT_EQ(bitmap.height(), 23);
    EXPECT_EQ(bitmap.stride(), 112); // 37 * 3 = 111, padded to 112
    EXPECT_TRUE(bitmap.isDark(36, 22));
    EXPECT_TRUE(bitmap.isDark(0, 0));
}

TEST(ViewerRender, FailuresLeaveNoBuffer) {
    ScopedViewer viewer;
    ASSERT_EQ(viewer.load(pdfPath("refcard-nf.pdf")), kPdfOk);
    // What a failed call must not leave behind: a stale size or a pointer to free.
    unsigned char stale = 0;
    const PdfBitmap spoilt{7, 8, 24, &stale};
    const auto expectEmpty = [](const PdfBitmap& bitmap) {
        EXPECT_EQ(bitmap.pixels, nullptr);
        EXPECT_EQ(bitmap.width, 0);
        EXPECT_EQ(bitmap.height, 0);
        EXPECT_EQ(bitmap.stride, 0);
    };
    struct Row {
        int page;
        double dpi;
        int mode;
        std::int32_t expected;
    };
    const Row rows[] = {
        {0, 14.4, 3, kPdfErrBadPage},     {4, 14.4, 3, kPdfErrBadPage},
        {1, 0.0, 3, kPdfErrBadArgument},  {1, -5, 3, kPdfErrBadArgument},
        {1, NAN, 3, kPdfErrBadArgument},  {1, 1e9, 3, kPdfErrBadArgument},
        {1, 14.4, 2, kPdfErrBadArgument},
    };
    for (const Row& row : rows) {
        PdfBitmap bitmap = spoilt;
        EXPECT_EQ(pdfConvertPageToBitmap2(viewer.handle(), row.page, row.dpi, row.mode, &bitmap),
                  row.expected)
            << "page " << row.page << " dpi " << row.dpi << " mode " << row.mode;
        expectEmpty(bitmap);
    }
    EXPECT_EQ(pdfConvertPageToBitmap2(viewer.handle(), 1, 14.4, 3, nullptr), kPdfErrBadArgument);
    PdfBitmap bitmap = spoilt;
    EXPECT_EQ(pdfConvertPageToBitmap2(0, 1, 14.4, 3, &bitmap), kPdfErrBadHandle);
    expectEmpty(bitmap);
    pdfFreeMemory(nullptr);

    ScopedViewer empty; // created, nothing loaded
    bitmap = spoilt;
    EXPECT_EQ(pdfConvertPageToBitmap2(empty.handle(), 1, 14.4, 3, &bitmap), kPdfErrBadHandle);
    expectEmpty(bitmap);
}

// A zero-size MediaBox, a sliver of a page and a page without contents all render.
TEST(ViewerRender, DegeneratePagesDoNotCrash) {
    ScopedViewer invalid;
    ASSERT_EQ(invalid.load(pdfPath("boundingBox_invalid.pdf")), kPdfOk);
    for (int page = 1; page <= 3; ++page) {
        const Bitmap bitmap = render(invalid.handle(), page, 14.4);
        ASSERT_EQ(bitmap.result, kPdfOk) << page;
        expectWellFormed(bitmap);
    }
    QTemporaryDir dir;
    std::vector<MiniPage> pages(2);
    pages[0].mediaBox = "[0 0 612 0.5]";
    pages[1].content = "";
    ScopedViewer viewer;
    ASSERT_EQ(viewer.load(writeMiniPdf(dir.path(), "sliver.pdf", pages)), kPdfOk);
    for (int page = 1; page <= 2; ++page) {
        const Bitmap bitmap = render(viewer.handle(), page, 14.4);
        ASSERT_EQ(bitmap.result, kPdfOk) << page;
        expectWellFormed(bitmap);
    }
}

// Two threads rendering different documents, and two rendering the same document, give the same
// pixels as one thread rendering alone.
// The 32-bit mode gives the pixels of the 24-bit one as B, G, R, 255, in rows of its own stride,
// on real pages of text, pictures and every rotation.
TEST(ViewerRender, ThirtyTwoBitPixelsMatchTheTwentyFourBitOnes) {
    struct Case {
        const char* file;
        int page;
        double dpi;
    };
    const Case cases[] = {{"R-intro.pdf", 1, 14.4},    {"R-intro.pdf", 20, 72.0},
                          {"pari-users.pdf", 3, 14.4}, {"to-rotate.pdf", 2, 30.0},
                          {"to-rotate.pdf", 3, 30.0},  {"to-rotate.pdf", 4, 30.0},
                          {"refcard-nf.pdf", 1, 28.8}, {"c-linearized.pdf", 5, 14.4}};
    for (const Case& c : cases) {
        ScopedViewer viewer;
        ASSERT_EQ(viewer.load(pdfPath(c.file)), kPdfOk) << c.file;
        const Bitmap rgb = render(viewer.handle(), c.page, c.dpi);
        ASSERT_EQ(rgb.result, kPdfOk) << c.file;
        PdfBitmap wide;
        ASSERT_EQ(
            pdfConvertPageToBitmap2(viewer.handle(), c.page, c.dpi, kPdfBitmapModeRgb32, &wide),
            kPdfOk)
            << c.file;
        ASSERT_EQ(wide.width, rgb.width());
        ASSERT_EQ(wide.height, rgb.height());
        EXPECT_EQ(wide.stride, wide.width * 4);
        int differing = 0;
        for (int y = 0; y < wide.height; ++y) {
            for (int x = 0; x < wide.width; ++x) {
                const unsigned char* p = wide.pixels + static_cast<std::size_t>(y) * wide.stride +
                                         static_cast<std::size_t>(x) * 4;
                const unsigned char* q = rgb.at(x, y);
                differing += (p[0] != q[2] || p[1] != q[1] || p[2] != q[0] || p[3] != 255) ? 1 : 0;
            }
        }
        pdfFreeMemory(wide.pixels);
        EXPECT_EQ(differing, 0) << c.file << " page " << c.page;
    }
}

TEST(ViewerRender, ConcurrentRendersMatchSingleThreaded) {
    const QString files[] = {pdfPath("R-intro.pdf"), pdfPath("pari-users.pdf")};
    const int pagesEach = 30;
    const double dpi = 14.4;

    std::vector<std::vector<Bitmap>> reference(2);
    for (int f = 0; f < 2; ++f) {
        ScopedViewer viewer;
        ASSERT_EQ(viewer.load(files[f]), kPdfOk);
        for (int page = 1; page <= pagesEach; ++page) {
            reference[static_cast<size_t>(f)].push_back(render(viewer.handle(), page, dpi));
            ASSERT_EQ(reference[static_cast<size_t>(f)].back().result, kPdfOk);
        }
    }

    auto renderAll = [&](PdfViewerHandle handle, int f, int start, std::atomic<int>& mismatches) {
        for (int i = 0; i < pagesEach; ++i) {
            const int page = 1 + (start + i) % pagesEach;
            const Bitmap bitmap = render(handle, page, dpi);
            const Bitmap& expected =
                reference[static_cast<size_t>(f)][static_cast<size_t>(page - 1)];
            if (bitmap.result != kPdfOk || bitmap.pixels != expected.pixels ||
                bitmap.width() != expected.width())
                ++mismatches;
        }
    };

    // Different documents on two threads.
    {
        ScopedViewer a, b;
        ASSERT_EQ(a.load(files[0]), kPdfOk);
        ASSERT_EQ(b.load(files[1]), kPdfOk);
        std::atomic<int> mismatches{0};
        std::thread t1(renderAll, a.handle(), 0, 0, std::ref(mismatches));
        std::thread t2(renderAll, b.handle(), 1, 0, std::ref(mismatches));
        t1.join();
        t2.join();
        EXPECT_EQ(mismatches.load(), 0);
    }
    // One document (one viewer) on three threads, all asking for the same pages at once (the
    // case in which MuPDF, unguarded, reads the file's objects from two threads together).
    {
        ScopedViewer shared;
        ASSERT_EQ(shared.load(files[1]), kPdfOk);
        std::atomic<int> mismatches{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back(renderAll, shared.handle(), 1, 0, std::ref(mismatches));
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(mismatches.load(), 0);
    }
}

// Destroying a viewer while another thread renders on it lets the render finish safely.
TEST(ViewerRender, DestroyDuringRender) {
    PdfViewerHandle handle = 0;
    ASSERT_EQ(pdfCreateViewer(&handle, nullptr), kPdfOk);
    const QString path = pdfPath("pari-users.pdf");
    ASSERT_EQ(pdfLoadFileW(handle, reinterpret_cast<const char16_t*>(path.utf16())), kPdfOk);
    std::atomic<bool> started{false};
    std::int32_t result = -1;
    std::thread worker([&] {
        started = true;
        result = render(handle, 1, 200).result;
    });
    while (!started)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(pdfDestroyViewer(handle), kPdfOk);
    EXPECT_EQ(pdfGetNumPages(handle), 0);
    worker.join();
    // Either the render won the race and finished, or it found the handle gone.
    EXPECT_TRUE(result == kPdfOk || result == kPdfErrBadHandle) << result;
}

// Page queries are answered while a render of the same document is held part-way through (in the
// read of a mapped font), and that render then finishes normally: for a small document, whose
// page facts are read at load, and for a large one, whose pages are read when first asked for.
TEST(ViewerRender, QueriesDoNotWaitForRenders) {
    QTemporaryDir dir;
    constexpr std::size_t kWide = 1100;
    struct Case {
        QString path; // page 1 draws Helvetica, which the file does not embed
        int pages;
        int queried;  // a page whose facts are asked for while the render is held
        int rotation; // of that page
        double xMax, yMax;
    };
    const Case cases[] = {
        {pdfPath("PDF 2.0 with page level output intent.pdf"), 2, 2, 0, 612, 396},
        {writeRawPdf(dir.path(), "wide.pdf", wideTreeObjects(alternatingKids(kWide), kWide)),
         int(kWide), int(kWide), 90, 300, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        HeldFontFile font;
        ASSERT_TRUE(font.MapAs("Helvetica"));
        ScopedViewer viewer;
        ASSERT_EQ(viewer.load(c.path), kPdfOk);
        const PdfViewerHandle h = viewer.handle();

        std::atomic<bool> rendered{false};
        Bitmap bitmap;
        std::thread worker([&] {
            bitmap = render(h, 1, 72);
            rendered = true;
        });
        const bool held = font.WaitForReader([&] { return rendered.load(); });
        EXPECT_TRUE(held) << "the render never read the mapped font";
        if (held) {
            EXPECT_TRUE(font.ReturnWhileHeld([&] {
                EXPECT_EQ(pdfGetNumPages(h), c.pages);
                EXPECT_EQ(pdfGetPageRotation(h, c.queried), c.rotation);
                EXPECT_DOUBLE_EQ(pdfGetPageBoxXMax(h, c.queried, "media"), c.xMax);
                EXPECT_DOUBLE_EQ(pdfGetPageBoxYMax(h, c.queried, "crop"), c.yMax);
            })) << "the queries waited for the render";
            EXPECT_FALSE(rendered.load()) << "the render was not held while the queries ran";
        }
        font.Release();
        worker.join();
        EXPECT_EQ(bitmap.result, kPdfOk);
    }
}
