// Query benchmark: how long the queries that painting makes take while renders of the same
// document run on another thread.
//
//   plyfold_bench_queries --pdfs DIR
//
// 1. Viewer engine: the page count and one page's rotation, asked over and over for 1.5 s while
//    another thread renders the pages of R-intro.pdf at 300 dpi one after another; the same for
//    0.7 s with no render running gives the machine's own noise. One 300 dpi render alone shows
//    what a query would wait if it had to wait for the document.
// 2. Page service: page count, aspect and the cached-image lookup (a request on a miss) on this
//    thread while the service's worker renders 150 pages of pari-users.pdf; an empty query measured
//    in the same loop gives the noise floor.
// Prints median, 99.9th (or 99.99th) percentile and the longest wait of each.

#include "engine/PDFInstance.h"
#include "platform/viewer/XpdfViewer.h"
#include "res/Strings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace plyfold;

namespace {

using Clock = std::chrono::steady_clock;

double quantile(const std::vector<double>& sorted, double q) {
    return sorted.empty()
               ? 0.0
               : sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))];
}

const char16_t* wide(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

// Renders a page and frees the bitmap; the engine's result code.
std::int32_t renderPage(PdfViewerHandle viewer, int page, double dpi) {
    PdfBitmap bitmap;
    const std::int32_t result =
        pdfConvertPageToBitmap2(viewer, page, dpi, kPdfBitmapModeRgb24, &bitmap);
    pdfFreeMemory(bitmap.pixels);
    return result;
}

int viewerQueries(const QString& file) {
    PdfViewerHandle h = 0;
    if (pdfCreateViewer(&h, nullptr) != kPdfOk || pdfLoadFileW(h, wide(file)) != kPdfOk) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    const int pages = pdfGetNumPages(h);

    const auto t0 = Clock::now();
    renderPage(h, 1, 300);
    const double renderMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

    // Each sample: the page count and one page's rotation, as painting asks them.
    const auto measure = [&](std::chrono::milliseconds span) {
        std::vector<double> us;
        const auto end = Clock::now() + span;
        while (Clock::now() < end) {
            for (int page = 1; page <= pages; ++page) {
                const auto q0 = Clock::now();
                (void)pdfGetNumPages(h);
                (void)pdfGetPageRotation(h, page);
                us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - q0).count());
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::sort(us.begin(), us.end());
        return us;
    };

    const std::vector<double> idle = measure(std::chrono::milliseconds(700));
    std::atomic<bool> stop{false};
    std::atomic<int> renders{0};
    std::thread worker([&] {
        for (int page = 1; !stop; page = page % pages + 1) {
            if (renderPage(h, page, 300) == kPdfOk) {
                ++renders;
            }
        }
    });
    const std::vector<double> busy = measure(std::chrono::milliseconds(1500));
    stop = true;
    worker.join();
    pdfDestroyViewer(h);

    std::printf("viewer engine, %s\n", qPrintable(QDir(file).dirName()));
    std::printf("  one 300 dpi render of page 1: %.1f ms\n", renderMs);
    std::printf("  page count + rotation while %d renders ran (%zu samples): median %.2f us, "
                "99.9%% %.1f us, longest %.1f us\n",
                renders.load(), busy.size(), quantile(busy, 0.5), quantile(busy, 0.999),
                busy.empty() ? 0.0 : busy.back());
    std::printf("  the same with no render running (%zu samples): median %.2f us, 99.9%% %.1f us, "
                "longest %.1f us\n",
                idle.size(), quantile(idle, 0.5), quantile(idle, 0.999),
                idle.empty() ? 0.0 : idle.back());
    return 0;
}

// Counts the pages the worker announces.
class Counter : public PDFInstanceManager::PDFPageCallback {
public:
    void OnPageRetrieved(PDFInstance*, int) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_count;
    }
    int count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    int m_count = 0;
};

int serviceQueries(const QString& file) {
    PDFInstanceManager manager;
    Counter counter;
    manager.SetCallback(&counter);
    auto* doc = new PDFInstance(&manager);
    if (!doc->Open(file, ids::IDS_ENTER_PASSWORD)) {
        delete doc;
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    manager.Register(file, doc);
    const int pages = doc->PageCount();
    const int rendered = std::min(150, pages);
    for (int page = 1; page <= rendered; ++page) {
        doc->GetPage(page, false);
    }
    if (!manager.Start()) {
        std::fprintf(stderr, "the page service does not start\n");
        return 1;
    }

    enum { kCount, kAspect, kImage, kNothing, kKinds };
    const char* names[kKinds] = {"page count", "aspect", "image lookup", "empty (noise floor)"};
    std::vector<double> took[kKinds];
    QElapsedTimer clock;
    const auto measure = [&](int kind, auto&& query) {
        clock.start();
        query();
        took[kind].push_back(static_cast<double>(clock.nsecsElapsed()) / 1e3);
    };
    int page = 0;
    while (counter.count() < rendered) {
        page = page % pages + 1;
        measure(kCount, [&] { (void)doc->PageCount(); });
        measure(kAspect, [&] { (void)doc->GetPageAspect(page); });
        measure(kImage, [&] { (void)doc->GetPage((page - 1) % rendered + 1, false); });
        measure(kNothing, [] {});
    }
    manager.Release(doc);

    std::printf("page service, %d renders of %s\n", rendered, qPrintable(QDir(file).dirName()));
    for (int kind = 0; kind < kKinds; ++kind) {
        std::vector<double>& all = took[kind];
        std::sort(all.begin(), all.end());
        std::printf("  %-20s %zu queries: median %.2f us, 99.99%% %.1f us, longest %.1f us\n",
                    names[kind], all.size(), quantile(all, 0.5), quantile(all, 0.9999),
                    all.empty() ? 0.0 : all.back());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--pdfs"));
    if (at < 0 || at + 1 >= args.size()) {
        std::fprintf(stderr, "usage: plyfold_bench_queries --pdfs DIR\n");
        return 2;
    }
    const QDir pdfs(args.at(at + 1));
    pdfInitLibrary(nullptr);
    if (const int failed = viewerQueries(pdfs.filePath(QStringLiteral("R-intro.pdf")))) {
        return failed;
    }
    return serviceQueries(pdfs.filePath(QStringLiteral("pari-users.pdf")));
}
