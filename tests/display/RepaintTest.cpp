// What the window's backing store holds after each change of the model, compared with what a full
// repaint of the same window paints. QWidget::grab paints every widget whole, so it cannot see a
// stale part; the backing store keeps only what the repaints Qt was asked for have painted, which
// is what a real screen shows. On the offscreen platform the screen's grabWindow reads it.

#include "DisplayTestSupport.h"

#include "display/COutputAreaView.h"
#include "display/COutputAreaWrapper.h"
#include "display/OutputAreaDoc.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>

namespace plyfold {
namespace {

// Both areas side by side in one top-level window, fed by one document list.
struct WindowRig {
    WindowRig() {
        test::InitDisplayGlobals();
        thumbnailSize = 100;
        manager.SetCallback(&recorder);
        list = std::make_unique<DocumentList>(&sink, &manager);
        window = std::make_unique<QWidget>();
        auto* layout = new QHBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        work = new CWorkAreaView(list.get());
        output = new COutputAreaWrapper(list.get());
        output->setFixedWidth(220);
        layout->addWidget(work, 1);
        layout->addWidget(output);
        sink.targets = {work, output};
        window->resize(760, 520);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    ~WindowRig() {
        list->ClearDocuments();
        sink.targets.clear();
        window.reset();
        list.reset();
        manager.SetCallback(nullptr);
        manager.DiscardQueue();
        thumbnailSize = 100;
    }

    CDoc* Add(const QString& fileName) { return list->AddDocument(test::pdfPath(fileName)); }

    void RunQueue() { test::RunPageQueue(manager, recorder, *list); }

    PDFInstanceManager manager;
    test::PageRecorder recorder;
    test::ForwardingSink sink;
    std::unique_ptr<DocumentList> list;
    std::unique_ptr<QWidget> window;
    CWorkAreaView* work = nullptr;
    COutputAreaWrapper* output = nullptr;
};

// Lets posted removals and pending repaints run, then returns the pixels that differ between the
// backing store and a full repaint, as a bounding rectangle (empty when the two agree).
QRect StaleArea(QWidget& window) {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    const QImage shown =
        window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage full = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != full.size()) {
        return QRect(QPoint(0, 0), full.size());
    }
    QRect stale;
    for (int y = 0; y < full.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(full.constScanLine(y));
        for (int x = 0; x < full.width(); ++x) {
            if (a[x] != b[x]) {
                stale |= QRect(x, y, 1, 1);
            }
        }
    }
    return stale;
}

QString Describe(const QRect& r) {
    return QStringLiteral("%1x%2 at (%3, %4)").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
}

TEST(Repaint, EveryModelChangeReachesTheScreenOfBothAreas) {
    WindowRig rig;
    ASSERT_TRUE(StaleArea(*rig.window).isEmpty());

    CDoc* first = nullptr;
    CDoc* second = nullptr;
    CDoc* third = nullptr;
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"documents added",
         [&] {
             first = rig.Add("refcard-nf.pdf"); // 3 pages
             second = rig.Add("boxes.pdf");     // 8 pages
             third = rig.Add("habibi-rotated.pdf");
             ASSERT_NE(third, nullptr);
         }},
        {"pages delivered", [&] { rig.RunQueue(); }},
        {"document expanded",
         [&] {
             rig.work->BoxOf(first)->header()->expandButton->click();
             rig.RunQueue();
         }},
        {"page unchecked",
         [&] {
             auto* page =
                 static_cast<WorkAreaPageDisplay*>(rig.work->BoxOf(first)->children[2].get());
             page->pageCheck->click();
         }},
        {"range typed",
         [&] {
             QLineEdit* edit = rig.work->BoxOf(second)->header()->rangeEdit;
             edit->selectAll();
             QTest::keyClicks(edit, "2-3");
         }},
        {"document excluded", [&] { rig.work->BoxOf(third)->header()->includeCheck->click(); }},
        {"order changed", [&] { rig.list->MoveDocument(second, nullptr); }},
        {"thumbnails zoomed",
         [&] {
             thumbnailSize = 140;
             rig.sink.Notify(NotifyCode::ThumbSizeChanged, nullptr);
             rig.RunQueue();
         }},
        {"output section expanded",
         [&] {
             rig.output->view()->SectionOf(first)->expandButton->click();
             rig.RunQueue();
         }},
        {"page removed in the output column",
         [&] {
             OutputAreaDocDisplay* section = rig.output->view()->SectionOf(first);
             ASSERT_NE(section->pages.front()->removeButton, nullptr);
             section->pages.front()->removeButton->click();
         }},
        {"document removed", [&] { rig.list->RemoveDocument(second); }},
        {"everything cleared", [&] { rig.list->ClearDocuments(); }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        step();
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
        const QRect stale = StaleArea(*rig.window);
        EXPECT_TRUE(stale.isEmpty()) << "stale on screen: " << Describe(stale).toStdString();
    }
}

} // namespace
} // namespace plyfold
