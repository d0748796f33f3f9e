// Main-window benchmark.
//
//   plyfold_bench_frame --pdfs DIR [--docs N] [--reps N]
//
// Opens a 1100 x 700 main frame on the offscreen platform with N documents (default 40) of one
// file, so that they share one instance, and measures:
//   - a page-ready message through the frame (posted, then fanned out to every document on the
//     instance and on to both areas), next to calling the document list's fan-out directly;
//   - the command bar's layout for a new width (400 to 1600 pixels) and its painting;
//   - one mouse-wheel turn routed to the work area, next to the scroll call it ends in.
// Prints median, 95th percentile and maximum in milliseconds.

#include "app/CCommandsWnd.h"
#include "app/CMainFrame.h"
#include "app/CMainView.h"
#include "display/CWorkAreaView.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace plyfold;

namespace {

void Report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, std::size_t(q * ms.size()))];
    };
    std::printf("%-52s median %8.4f  p95 %8.4f  max %8.4f ms  (n=%zu)\n", name, at(0.5), at(0.95),
                ms.back(), ms.size());
}

std::vector<double> Time(int reps, const std::function<void(int)>& step) {
    std::vector<double> ms;
    ms.reserve(reps);
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer timer;
        timer.start();
        step(i);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString pdfs;
    int docs = 40;
    int reps = 300;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--pdfs") {
            pdfs = args[i + 1];
        } else if (args[i] == "--docs") {
            docs = args[i + 1].toInt();
        } else if (args[i] == "--reps") {
            reps = args[i + 1].toInt();
        }
    }
    if (pdfs.isEmpty()) {
        std::fprintf(stderr, "usage: plyfold_bench_frame --pdfs DIR [--docs N] [--reps N]\n");
        return 2;
    }

    DocumentList documents;
    CMainFrame frame([](int) {}, &documents);
    frame.resize(1100, 700);
    frame.show();
    for (int i = 0; i < docs; ++i) {
        if (documents.AddDocument(QDir(pdfs).filePath("refcard-nf.pdf")) == nullptr) {
            return 1;
        }
    }
    QCoreApplication::processEvents();
    PDFInstance* instance = documents.at(0)->instance();
    std::printf("%d documents on one instance, frame 1100 x 700\n", docs);

    Report("page-ready message through the frame", Time(reps, [&](int i) {
               frame.OnPageRetrieved(instance, 1 + i % 3);
               QCoreApplication::sendPostedEvents(&frame);
           }));
    Report("  peer: DocumentList::OnPageRetrieved called directly",
           Time(reps, [&](int i) { documents.OnPageRetrieved(instance, 1 + i % 3); }));

    CCommandsWnd* bar = frame.view()->commandBar();
    Report("command bar layout for a new width",
           Time(reps, [&](int i) { bar->resize(400 + (i * 37) % 1200, 72); }));
    bar->resize(1096, 72);
    Report("command bar painting (grab)", Time(reps, [&](int) { (void)bar->grab(); }));

    auto* work = qobject_cast<CWorkAreaView*>(frame.view()->workArea());
    const QPoint over = work->mapToGlobal(QPoint(work->width() / 2, work->height() / 2));
    Report("wheel turn routed to the work area", Time(reps, [&](int i) {
               QWheelEvent wheel(QPointF(work->mapFromGlobal(over)), QPointF(over), QPoint(),
                                 QPoint(0, (i / 10) % 2 == 0 ? -120 : 120), Qt::NoButton,
                                 Qt::NoModifier, Qt::NoScrollPhase, false);
               QApplication::sendEvent(work, &wheel);
           }));
    Report("  peer: CBaseAreaView::OnVScroll called directly", Time(reps, [&](int i) {
               work->OnVScroll((i / 10) % 2 == 0 ? ScrollStep::LineDown : ScrollStep::LineUp);
           }));
    return 0;
}
