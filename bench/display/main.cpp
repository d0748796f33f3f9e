// Work-area benchmark.
//
//   plyfold_bench_display --pdfs DIR [--pages N] [--docs N] [--reps N] [--width W] [--height H]
//
// Builds a PDF of N empty pages (default 2000), adds it to a work area of W x H pixels (default
// 1000 x 700) on the offscreen platform, expands it and then measures:
//   - expanding (N page boxes and the first layout);
//   - a scroll step from the top to the bottom, line by line and page by page: the step itself
//     (pixels moved, child controls created, moved and released) plus the repaint of what it
//     uncovered, before and after the page images are in the cache;
//   - the live child widgets against the visible boxes at every step, and the page renders asked
//     for on the user-interface thread (painting must ask for none);
//   - a full repaint, a re-layout that moves nothing, and a thumbnail-size change;
//   - the same with many collapsed documents (--docs, default 200).
// The peer is the usual widget-per-item approach: a QScrollArea over a widget that holds one check
// box per page at the same places, scrolled by the same steps.
// Prints median, 95th percentile and maximum in milliseconds.

#include "display/CWorkAreaView.h"
#include "display/WorkAreaDoc.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "engine/ProcessGlobals.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "support/SyntheticPdf.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPaintEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace plyfold;

namespace {

struct Stats {
    double median = 0, p95 = 0, max = 0;
    std::size_t n = 0;
};

Stats Summarise(std::vector<double> v) {
    Stats s;
    if (v.empty()) {
        return s;
    }
    std::sort(v.begin(), v.end());
    s.n = v.size();
    s.median = v[v.size() / 2];
    s.p95 = v[std::min(v.size() - 1, v.size() * 95 / 100)];
    s.max = v.back();
    return s;
}

void Print(const char* what, const Stats& s, double painted = -1) {
    std::printf("  %-40s n=%5zu  median %7.3f ms  p95 %7.3f ms  max %7.3f ms", what, s.n, s.median,
                s.p95, s.max);
    if (painted >= 0) {
        std::printf("  repainted %3.0f%% of the view per step", painted * 100);
    }
    std::printf("\n");
}

double Ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

class Sink : public EventNotify {
public:
    void Notify(NotifyCode code, NotifyData data) override {
        if (view != nullptr) {
            view->Notify(code, data);
        }
    }
    CWorkAreaView* view = nullptr;
};

int VisibleBoxes(const CWorkAreaView& view) {
    const QRect visible = view.VisibleContentRect();
    int n = 0;
    for (std::size_t i = 0; i < view.boxes().size(); ++i) {
        for (const auto& child : view.BoxAt(i)->children) {
            n += child->rect.intersects(visible) ? 1 : 0;
        }
    }
    return n;
}

// Adds up the area the view repaints.
class PaintMeter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const QRect r = static_cast<QPaintEvent*>(event)->rect();
            area += static_cast<double>(r.width()) * r.height();
        }
        return QObject::eventFilter(watched, event);
    }
    double area = 0;
};

struct ScrollRun {
    std::vector<double> steps;
    double paintedShare = 0; // repainted area per step over the view's area
    double worstRatio = 0;
    int maxLive = 0;
    int maxVisible = 0;
};

// Scrolls from the top to the bottom with `code`, timing each step with its repaint.
ScrollRun ScrollThrough(CWorkAreaView& view, ScrollStep code) {
    ScrollRun run;
    view.OnVScroll(ScrollStep::Top);
    QApplication::processEvents();
    const int bottom = view.contentHeight() - view.ClientRect().height();
    PaintMeter meter;
    view.ControlParent()->installEventFilter(&meter);
    while (view.scrollPos() < bottom) {
        QElapsedTimer t;
        t.start();
        view.OnVScroll(code);
        QApplication::processEvents(); // the repaint of what the step uncovered
        run.steps.push_back(Ms(t));
        const int live =
            static_cast<int>(view.ControlParent()
                                 ->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)
                                 .size());
        const int visible = std::max(1, VisibleBoxes(view));
        run.maxLive = std::max(run.maxLive, live);
        run.maxVisible = std::max(run.maxVisible, visible);
        run.worstRatio = std::max(run.worstRatio, static_cast<double>(live) / visible);
    }
    view.ControlParent()->removeEventFilter(&meter);
    if (!run.steps.empty()) {
        run.paintedShare = meter.area / static_cast<double>(run.steps.size()) /
                           (static_cast<double>(view.width()) * view.height());
    }
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    int pages = 2000;
    int docs = 200;
    int reps = 20;
    int width = 1000;
    int height = 700;
    QString pdfs;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray key = argv[i];
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (key == "--pages") {
            pages = value.toInt();
        } else if (key == "--docs") {
            docs = value.toInt();
        } else if (key == "--reps") {
            reps = value.toInt();
        } else if (key == "--width") {
            width = value.toInt();
        } else if (key == "--height") {
            height = value.toInt();
        } else if (key == "--pdfs") {
            pdfs = value;
        }
    }
    loadingText = LoadResString(ids::IDS_LOADING);
    buttonImages[0] = LoadResImage(ResKind::Png, ids::IDP_REMOVE);
    buttonImages[1] = LoadResImage(ResKind::Png, ids::IDP_EXPAND);
    buttonImages[2] = LoadResImage(ResKind::Png, ids::IDP_COLLAPSE);

    QTemporaryDir dir;
    const QString big = dir.filePath("big.pdf");
    if (!test::WriteSyntheticPdf(big, pages)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(big));
        return 1;
    }

    PDFInstanceManager manager; // never started: nothing renders unless asked to wait
    Sink sink;
    DocumentList list(&sink, &manager);
    CWorkAreaView view(&list);
    sink.view = &view;
    view.resize(width, height);
    view.show();
    QApplication::processEvents();

    std::printf("Work area %d x %d, thumbnail %d, one document of %d pages expanded\n", width,
                height, thumbnailSize, pages);
    CDoc* doc = list.AddDocument(big);
    if (doc == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(big));
        return 1;
    }
    {
        QElapsedTimer t;
        t.start();
        view.BoxAt(0)->SetExpanded(true);
        QApplication::processEvents();
        std::printf("  expand (page boxes, layout, first paint)         %8.3f ms\n", Ms(t));
    }

    ResetWaitingImageRequests();
    const ScrollRun lineCold = ScrollThrough(view, ScrollStep::LineDown);
    const ScrollRun pageCold = ScrollThrough(view, ScrollStep::PageDown);
    const int coldWaits = WaitingImageRequests();
    manager.DiscardQueue();

    QElapsedTimer renderAll;
    renderAll.start();
    for (int p = 1; p <= pages; ++p) {
        (void)doc->instance()->GetPage(p, true);
    }
    const double renderMs = Ms(renderAll);
    ResetWaitingImageRequests();
    const ScrollRun lineWarm = ScrollThrough(view, ScrollStep::LineDown);
    const ScrollRun pageWarm = ScrollThrough(view, ScrollStep::PageDown);
    const int warmWaits = WaitingImageRequests();

    std::printf("Scroll steps from top to bottom (step + repaint of the uncovered part)\n");
    Print("line step, images still loading", Summarise(lineCold.steps), lineCold.paintedShare);
    Print("page step, images still loading", Summarise(pageCold.steps), pageCold.paintedShare);
    Print("line step, images cached", Summarise(lineWarm.steps), lineWarm.paintedShare);
    Print("page step, images cached", Summarise(pageWarm.steps), pageWarm.paintedShare);
    std::printf("  live child widgets: max %d with at most %d visible boxes; worst ratio %.2f\n",
                std::max({lineCold.maxLive, pageCold.maxLive, lineWarm.maxLive, pageWarm.maxLive}),
                std::max({lineCold.maxVisible, pageCold.maxVisible}),
                std::max({lineCold.worstRatio, pageCold.worstRatio, lineWarm.worstRatio,
                          pageWarm.worstRatio}));
    std::printf("  renders asked for on the user-interface thread while scrolling: %d + %d\n",
                coldWaits, warmWaits);
    std::printf("  (rendering all %d pages beforehand took %.1f ms)\n", pages, renderMs);

    std::vector<double> full, relayout, thumb;
    view.OnVScroll(ScrollToPos{view.contentHeight() / 2});
    for (int r = 0; r < reps; ++r) {
        QElapsedTimer t;
        t.start();
        view.ControlParent()->repaint();
        full.push_back(Ms(t));
        t.restart();
        view.Relayout();
        relayout.push_back(Ms(t));
        t.restart();
        thumbnailSize = (r % 2 == 0) ? 110 : 100;
        view.Notify(NotifyCode::ThumbSizeChanged, nullptr);
        QApplication::processEvents();
        thumb.push_back(Ms(t));
    }
    thumbnailSize = 100;
    view.Notify(NotifyCode::ThumbSizeChanged, nullptr);
    std::printf("Whole-view work with %d page boxes\n", pages);
    Print("full repaint", Summarise(full));
    Print("re-layout that moves nothing", Summarise(relayout));
    Print("thumbnail size change (layout + paint)", Summarise(thumb));

    // Many collapsed documents (sharing one open file).
    if (!pdfs.isEmpty()) {
        view.BoxAt(0)->SetExpanded(false);
        const QString small = QDir(pdfs).filePath("refcard-nf.pdf");
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < docs; ++i) {
            list.AddDocument(small);
        }
        const double addMs = Ms(t);
        std::vector<double> many, manyLayout;
        for (int r = 0; r < reps; ++r) {
            t.restart();
            view.ControlParent()->repaint();
            many.push_back(Ms(t));
            t.restart();
            thumbnailSize = (r % 2 == 0) ? 110 : 100;
            view.Notify(NotifyCode::ThumbSizeChanged, nullptr);
            manyLayout.push_back(Ms(t));
        }
        thumbnailSize = 100;
        const ScrollRun manyScroll = ScrollThrough(view, ScrollStep::LineDown);
        std::printf("%d collapsed documents more (adding them took %.1f ms in all)\n", docs, addMs);
        Print("full repaint", Summarise(many));
        Print("thumbnail size change (layout only)", Summarise(manyLayout));
        Print("line step", Summarise(manyScroll.steps), manyScroll.paintedShare);
        std::printf("  live child widgets: max %d with at most %d visible boxes\n",
                    manyScroll.maxLive, manyScroll.maxVisible);
        list.ClearDocuments();
    }

    // The peer: one check box per page, all created up front, in a scroll area.
    {
        QScrollArea area;
        area.resize(width, height);
        auto* content = new QWidget;
        const int per = std::max(1, (width - 20) / 120);
        const int rows = (pages + per - 1) / per;
        content->resize(width - 20, rows * 146 + 6);
        QElapsedTimer t;
        t.start();
        for (int p = 0; p < pages; ++p) {
            auto* check = new QCheckBox(content);
            check->setGeometry(6 + (p % per) * 120, 6 + (p / per) * 146, 14, 14);
            check->setChecked(true);
        }
        area.setWidget(content);
        area.show();
        QApplication::processEvents();
        const double createMs = Ms(t);
        std::vector<double> steps;
        QScrollBar* bar = area.verticalScrollBar();
        const int step = std::max(1, (height - 6) / 20);
        while (bar->value() < bar->maximum()) {
            t.restart();
            bar->setValue(bar->value() + step);
            QApplication::processEvents();
            steps.push_back(Ms(t));
        }
        std::printf("Peer: scroll area with %d check boxes created up front (%.1f ms to create)\n",
                    pages, createMs);
        Print("line step", Summarise(steps));
        const Stats ours = Summarise(lineWarm.steps);
        const Stats peer = Summarise(steps);
        if (peer.median > 0) {
            std::printf("  ratio of medians, work area / peer: %.2f\n", ours.median / peer.median);
        }
    }
    sink.view = nullptr;
    return 0;
}
