// Add File benchmark.
//
//   plyfold_bench_add --file BIG.pdf [--reps N]
//   plyfold_bench_add --file SMALL.pdf --copies N [--reps N]
//
// Opens a 1100 x 700 main frame, answers the Add File dialog with the files (the same file under
// N different names for --copies, so that each is opened on its own) and measures, from the moment
// the dialog has closed:
//   - first box: until the window has painted with the first document in the list;
//   - all added: until every document is in the list;
//   - longest freeze: the longest time the event loop went without running (a paint, a click
//     and a timer all wait that long).
// Each rep starts from an empty list. Then, with --save, it merges the documents once as Save
// Merged does after its dialog (under the progress dialog) and measures the merge's time and the
// longest freeze of the event loop meanwhile. Prints median and maximum in milliseconds.

#include "app/CMainFrame.h"
#include "app/DocumentCommands.h"
#include "app/SaveMerged.h"
#include "engine/DocumentList.h"
#include "platform/splice/XpdfSplice.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace plyfold;

namespace {

// Notes the end of every window paint and the gaps between event-loop turns.
class Watch : public QObject {
public:
    explicit Watch(QWidget* window) : m_window(window) {
        m_tick.setInterval(1);
        connect(&m_tick, &QTimer::timeout, this, [this] { Turn(); });
    }
    void Start(const DocumentList* list) {
        m_list = list;
        m_clock.start();
        m_lastTurn = 0;
        m_longestGap = 0;
        m_firstBox = -1;
        m_tick.start();
        m_window->installEventFilter(this);
    }
    void Stop() {
        m_tick.stop();
        m_window->removeEventFilter(this);
    }
    double firstBox() const { return m_firstBox; }
    double longestGap() const { return m_longestGap; }
    double now() const { return m_clock.nsecsElapsed() / 1e6; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::UpdateRequest && m_firstBox < 0 &&
            !m_list->empty()) {
            // The window paints when this event is handled; the next turn of the loop is after.
            QTimer::singleShot(0, this, [this] {
                if (m_firstBox < 0) {
                    m_firstBox = now();
                }
            });
        }
        return false;
    }

private:
    void Turn() {
        const double t = now();
        m_longestGap = std::max(m_longestGap, t - m_lastTurn);
        m_lastTurn = t;
    }

    QWidget* m_window;
    const DocumentList* m_list = nullptr;
    QTimer m_tick;
    QElapsedTimer m_clock;
    double m_lastTurn = 0;
    double m_longestGap = 0;
    double m_firstBox = -1;
};

void Report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %9.1f  max %9.1f ms  (n=%zu)\n", name, ms[ms.size() / 2], ms.back(),
                ms.size());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString file;
    int copies = 1;
    int reps = 5;
    bool save = false;
    QStringList args = app.arguments();
    if (args.removeAll(QStringLiteral("--save")) > 0) {
        save = true;
    }
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--file") {
            file = args[i + 1];
        } else if (args[i] == "--copies") {
            copies = args[i + 1].toInt();
        } else if (args[i] == "--reps") {
            reps = args[i + 1].toInt();
        }
    }
    if (file.isEmpty() || copies < 1) {
        std::fprintf(stderr, "usage: plyfold_bench_add --file PDF [--copies N] [--reps N]\n");
        return 2;
    }
    QTemporaryDir dir;
    QStringList files;
    if (copies == 1) {
        files << QFileInfo(file).absoluteFilePath();
    } else {
        for (int i = 0; i < copies; ++i) {
            const QString copy =
                dir.filePath(QStringLiteral("copy-%1.pdf").arg(i, 3, 10, QChar('0')));
            if (!QFile::copy(file, copy)) {
                return 1;
            }
            files << copy;
        }
    }
    CAddFileDialog::SetAnswerer([&files](CAddFileDialog&) { return files; });

    DocumentList documents;
    CMainFrame frame([](int) {}, &documents);
    frame.resize(1100, 700);
    frame.show();
    QCoreApplication::processEvents();

    std::printf("%d file(s) of %s, frame 1100 x 700\n", int(files.size()),
                qPrintable(QFileInfo(file).fileName()));
    std::vector<double> firstBox, allAdded, freeze;
    Watch watch(&frame);
    for (int rep = 0; rep < reps; ++rep) {
        documents.ClearDocuments();
        QCoreApplication::processEvents();
        watch.Start(&documents);
        double added = -1;
        QTimer::singleShot(0, &frame, [&] { OnAddFile(documents, &frame); });
        QElapsedTimer limit;
        limit.start();
        while (limit.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (added < 0 && documents.size() == std::size_t(files.size())) {
                added = watch.now();
            }
            if (added >= 0 && watch.firstBox() >= 0) {
                break;
            }
        }
        // A little longer, so that a freeze right after the last file is counted too.
        const double settle = watch.now() + 100;
        while (watch.now() < settle) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        watch.Stop();
        firstBox.push_back(watch.firstBox());
        allAdded.push_back(added);
        freeze.push_back(watch.longestGap());
    }
    Report("first box painted", firstBox);
    Report("all documents added", allAdded);
    Report("longest freeze of the event loop", freeze);
    if (save) {
        xpdfSpliceInit();
        const QString target = dir.filePath(QStringLiteral("merged.pdf"));
        watch.Start(&documents);
        const double start = watch.now();
        const MergeResult result = RunMergeWithProgress(documents, target, std::nullopt, &frame);
        const double took = watch.now() - start;
        watch.Stop();
        std::printf("save of %lld pages: %s in %.1f ms, longest freeze of the event loop %.1f ms\n",
                    static_cast<long long>(CountSelectedPages(documents)),
                    result == MergeResult::Written ? "written" : "FAILED", took,
                    watch.longestGap());
    }
    CAddFileDialog::SetAnswerer({});
    documents.ClearDocuments();
    return 0;
}
