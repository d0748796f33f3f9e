// Output-area benchmark.
//
//   plyfold_bench_output [--pages N] [--docs N] [--reps N] [--height H]
//
// Builds a PDF of N pages (default 2000; every seventh page landscape), adds it to the output
// column (220 x H pixels, default 700) on the offscreen platform and expands its section, then
// measures:
//   - expanding (N page boxes laid out, the first layout fits every image);
//   - a re-layout that moves nothing, a re-layout after a width change (every image fitted again),
//     and a thumbnail-size change;
//   - taking one page out of the selection and putting it back (the section keeps the other
//     boxes);
//   - a scroll step from top to bottom, line by line and page by page: the step (pixels moved,
//     remove buttons created, moved and released) plus the repaint of what it uncovered;
//   - a full repaint of the column;
//   - the live child widgets against the visible page boxes at every step, and the page renders
//     asked for with waiting on the user-interface thread (painting must ask for none);
//   - the same layout with many collapsed sections (--docs, default 200).
// Page images are in the cache (a thumbnail-sized picture per box), as after the page service has
// delivered them. The peer is a QListWidget in the same column holding N items with the same
// picture and caption, scrolled by the same steps.
// Prints median, 95th percentile and maximum in milliseconds.

#include "display/COutputAreaView.h"
#include "display/COutputAreaWrapper.h"
#include "display/OutputAreaDoc.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "engine/ProcessGlobals.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "support/SyntheticPdf.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace plyfold;

namespace {

struct Stats {
    double median = 0, p95 = 0, max = 0;
    std::size_t n = 0;
};

Stats Summarise(std::vector<double> ms) {
    Stats s;
    if (ms.empty()) {
        return s;
    }
    std::sort(ms.begin(), ms.end());
    s.n = ms.size();
    s.median = ms[ms.size() / 2];
    s.p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    s.max = ms.back();
    return s;
}

void Print(const char* what, const Stats& s) {
    std::printf("  %-58s %9.3f %9.3f %9.3f  (n=%zu)\n", what, s.median, s.p95, s.max, s.n);
}

double TimeMs(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

std::vector<double> Repeat(int reps, const std::function<void()>& f) {
    std::vector<double> out;
    for (int i = 0; i < reps; ++i) {
        out.push_back(TimeMs(f));
    }
    return out;
}

// A thumbnail as the page service delivers it (14.4 dpi of a Letter page), with some content.
QImage Thumbnail() {
    QImage image(122, 158, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::darkGray);
    for (int y = 12; y < 150; y += 6) {
        p.drawLine(12, y, 110, y);
    }
    return image;
}

// Counts the paint events a widget receives, so the figures are known to include painting.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

// Shows a top-level widget and waits until the platform has exposed it (painting needs that).
void ShowExposed(QWidget& w) {
    w.show();
    QElapsedTimer t;
    t.start();
    while ((w.windowHandle() == nullptr || !w.windowHandle()->isExposed()) && t.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QCoreApplication::processEvents();
}

class Sink : public EventNotify {
public:
    void Notify(NotifyCode code, NotifyData data) override {
        if (target != nullptr) {
            target->Notify(code, data);
        }
    }
    EventNotify* target = nullptr;
};

int VisibleBoxes(const COutputAreaView& view, const OutputAreaDocDisplay& s) {
    const QRect visible = view.VisibleContentRect();
    int n = 0;
    for (const auto& box : s.pages) {
        n += box->rect.intersects(visible) ? 1 : 0;
    }
    return n;
}

int Arg(const QStringList& args, const QString& name, int fallback) {
    const int i = static_cast<int>(args.indexOf(name));
    return (i >= 0 && i + 1 < args.size()) ? args.at(i + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int pages = std::max(1, Arg(args, QStringLiteral("--pages"), 2000));
    const int docs = std::max(1, Arg(args, QStringLiteral("--docs"), 200));
    const int reps = std::max(1, Arg(args, QStringLiteral("--reps"), 30));
    const int height = std::max(100, Arg(args, QStringLiteral("--height"), 700));
    const int width = 220;

    loadingText = LoadResString(ids::IDS_LOADING);
    buttonImages[0] = LoadResImage(ResKind::Png, ids::IDP_REMOVE);
    buttonImages[1] = LoadResImage(ResKind::Png, ids::IDP_EXPAND);
    buttonImages[2] = LoadResImage(ResKind::Png, ids::IDP_COLLAPSE);
    thumbnailSize = 100;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("many.pdf"));
    if (!dir.isValid() || !test::WriteSyntheticPdf(path, pages, 7)) {
        std::fprintf(stderr, "cannot write the test PDF\n");
        return 1;
    }

    PDFInstanceManager manager; // never started: nothing renders behind the measurements
    Sink sink;
    DocumentList list(&sink, &manager);
    COutputAreaWrapper wrapper(&list);
    sink.target = &wrapper;
    wrapper.resize(width, height);
    ShowExposed(wrapper);
    COutputAreaView& view = *wrapper.view();
    PaintCounter viewPaints;
    view.installEventFilter(&viewPaints);

    CDoc* doc = list.AddDocument(path);
    if (doc == nullptr) {
        std::fprintf(stderr, "cannot open the test PDF\n");
        return 1;
    }
    OutputAreaDocDisplay& s = *view.SectionAt(0);
    const QImage thumb = Thumbnail();
    for (auto& box : s.pages) {
        box->image = thumb;
    }
    ResetWaitingImageRequests();

    std::printf("Output column %d x %d, one document of %d pages, S = %d\n", width, height, pages,
                thumbnailSize);
    std::printf("  %-58s %9s %9s %9s\n", "", "median", "p95", "max");

    Print("expand (lay out every page box)", Summarise({TimeMs([&] { s.SetExpanded(true); })}));
    std::printf("    content height %d px\n", view.contentHeight());
    Print("relayout, nothing moves", Summarise(Repeat(reps, [&] { view.Relayout(); })));
    Print("relayout after a width change (fit every image)", Summarise(Repeat(reps, [&] {
              wrapper.resize(width + 1, height);
              wrapper.resize(width, height);
          })));
    Print("thumbnail size change (x2: 120 and back to 100)", Summarise(Repeat(reps, [&] {
              thumbnailSize = 120;
              list.Notify(NotifyCode::ThumbSizeChanged, nullptr);
              thumbnailSize = 100;
              list.Notify(NotifyCode::ThumbSizeChanged, nullptr);
          })));
    int survivors = 0;
    Print("one page out and back in (SyncPages x2, relayouts)", Summarise(Repeat(reps, [&] {
              const PageRangeList before = doc->ranges();
              OutputAreaPageDisplay* keep = s.pages.back().get();
              doc->SetRanges(before.Subtract(PageRange{pages / 2, pages / 2 + 1}));
              doc->SetRanges(before);
              survivors += s.pages.back().get() == keep ? 1 : 0;
          })));
    std::printf("    the last page's box survived %d of %d times\n", survivors, reps);
    for (auto& box : s.pages) {
        box->image = thumb;
    }

    Print("repaint of the wrapper (title band; the view is opaque)",
          Summarise(Repeat(reps, [&] { wrapper.repaint(); })));
    Print("full repaint of the view (5 to 6 page boxes)",
          Summarise(Repeat(reps, [&] { view.repaint(); })));
    {
        // The two halves of a line step: the step itself, then the repaint it asked for.
        view.OnVScroll(ScrollStep::Top);
        view.repaint();
        std::vector<double> stepOnly, paintOnly;
        for (int i = 0; i < 400; ++i) {
            stepOnly.push_back(TimeMs([&] { view.OnVScroll(ScrollStep::LineDown); }));
            paintOnly.push_back(TimeMs([&] { view.repaint(); }));
        }
        Print("  line step alone (scroll, place controls)", Summarise(stepOnly));
        Print("  its repaint alone", Summarise(paintOnly));
    }

    // Scrolling, top to bottom.
    auto scrollRun = [&](ScrollStep code, int& most, int& worstRatioNum, int& worstVisible) {
        view.OnVScroll(ScrollStep::Top);
        view.repaint();
        std::vector<double> steps;
        most = 0;
        worstRatioNum = 0;
        worstVisible = 1;
        int guard = 0;
        while (view.scrollPos() < view.contentHeight() - view.ClientRect().height() &&
               guard++ < 1000000) {
            steps.push_back(TimeMs([&] {
                view.OnVScroll(code);
                view.repaint();
            }));
            const int live = view.LiveControlCount();
            const int visible = std::max(1, VisibleBoxes(view, s));
            most = std::max(most, live);
            if (live * worstVisible > worstRatioNum * visible) {
                worstRatioNum = live;
                worstVisible = visible;
            }
        }
        return Summarise(steps);
    };
    int most = 0, ratioLive = 0, ratioVisible = 1;
    Print("scroll one line + repaint",
          scrollRun(ScrollStep::LineDown, most, ratioLive, ratioVisible));
    std::printf("    live child widgets at most %d; worst %d live for %d visible boxes\n", most,
                ratioLive, ratioVisible);
    Print("scroll one page + repaint",
          scrollRun(ScrollStep::PageDown, most, ratioLive, ratioVisible));
    std::printf("    live child widgets at most %d; worst %d live for %d visible boxes\n", most,
                ratioLive, ratioVisible);
    std::printf("    page renders asked for with waiting on this thread: %d\n",
                WaitingImageRequests());
    std::printf("    paint events of the view so far: %d\n", viewPaints.paints);

    // Many collapsed sections.
    {
        list.ClearDocuments();
        for (int i = 0; i < docs; ++i) {
            list.AddDocument(path);
        }
        Print("relayout, collapsed sections (--docs), nothing moves",
              Summarise(Repeat(reps, [&] { view.Relayout(); })));
        Print("full repaint, collapsed sections",
              Summarise(Repeat(reps, [&] { wrapper.repaint(); })));
        std::printf("    %zu sections, content height %d px\n", view.SectionCount(),
                    view.contentHeight());
        list.ClearDocuments();
    }

    // Peer: Qt's item view with the same items in the same column.
    {
        QListWidget peer;
        peer.setIconSize(QSize(100, 100));
        peer.setUniformItemSizes(false);
        peer.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        const QIcon icon(QPixmap::fromImage(thumb));
        const double build = TimeMs([&] {
            for (int i = 1; i <= pages; ++i) {
                auto* item = new QListWidgetItem(icon, QStringLiteral("Page: %1").arg(i), &peer);
                item->setSizeHint(QSize(176, 134));
            }
            peer.resize(width, height);
            ShowExposed(peer);
            peer.repaint();
        });
        std::printf("Peer: QListWidget, %d items with the same picture and caption\n", pages);
        Print("fill and first paint", Summarise({build}));
        Print("full repaint", Summarise(Repeat(reps, [&] { peer.repaint(); })));
        QScrollBar* bar = peer.verticalScrollBar();
        const int line = std::max(1, (height - 37) / 20);
        auto peerRun = [&](int step) {
            bar->setValue(0);
            peer.repaint();
            std::vector<double> steps;
            while (bar->value() < bar->maximum()) {
                steps.push_back(TimeMs([&] {
                    bar->setValue(bar->value() + step);
                    peer.repaint();
                }));
            }
            return Summarise(steps);
        };
        Print("scroll one line + repaint", peerRun(line));
        Print("scroll one page + repaint", peerRun(height - 37 - 20));
    }

    sink.target = nullptr;
    return 0;
}
