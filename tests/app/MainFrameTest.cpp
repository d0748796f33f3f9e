#include "FakeWindows.h"

#include "app/CCommandsWnd.h"
#include "app/CMainFrame.h"
#include "app/CMainView.h"
#include "display/COutputAreaView.h"
#include "display/COutputAreaWrapper.h"
#include "display/CWorkAreaView.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "res/CommandIds.h"
#include "support/TestData.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace plyfold;
using namespace plyfold::test;

namespace {

constexpr int kEdge = CMainView::kClientEdge;

// Runs the event loop until `done` holds or `ms` pass.
template <typename Pred> bool WaitFor(Pred done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(5);
    }
    return true;
}

std::vector<Received> Of(const std::vector<Received>& log, NotifyCode code) {
    std::vector<Received> out;
    for (const Received& r : log) {
        if (r.code == code) {
            out.push_back(r);
        }
    }
    return out;
}

TEST(MainView, LaysOutBarAreasAndStripForTheClientSize) {
    struct Case {
        int cx, cy;
        QRect bar, work, output;
    };
    // Client coordinates start inside the 2-pixel client edge.
    const Case cases[] = {
        {400, 300, {2, 2, 400, 72}, {2, 74, 176, 228}, {182, 74, 220, 228}},
        {1000, 640, {2, 2, 1000, 72}, {2, 74, 776, 568}, {782, 74, 220, 568}},
        // Narrower than the output column: the work area shrinks to nothing, the output column
        // keeps its width and starts left of the client area.
        {200, 100, {2, 2, 200, 72}, {2, 74, 0, 28}, {-18, 74, 220, 28}},
    };
    for (const Case& c : cases) {
        FakeAreas areas;
        CMainView view(nullptr, {}, areas.Hooks());
        view.show();
        view.resize(c.cx + 2 * kEdge, c.cy + 2 * kEdge);
        EXPECT_EQ(view.contentsRect().size(), QSize(c.cx, c.cy));
        EXPECT_EQ(view.commandBar()->geometry(), c.bar) << c.cx;
        EXPECT_EQ(areas.work->geometry(), c.work) << c.cx;
        EXPECT_EQ(areas.output->geometry(), c.output) << c.cx;
        EXPECT_EQ(view.commandBar()->property("childId").toInt(), 1);
        EXPECT_EQ(areas.work->property("childId").toInt(), 2);
        EXPECT_EQ(areas.output->property("childId").toInt(), 3);
    }
}

TEST(MainView, StripBetweenTheAreasShowsTheGreyBackground) {
    FakeAreas areas;
    CMainView view(nullptr, {}, areas.Hooks());
    view.resize(600 + 2 * kEdge, 300 + 2 * kEdge);
    const QImage shot = view.grab().toImage();
    // The strip lies between the work area's right edge (376) and the output column (380).
    for (int x = 376; x < 380; ++x) {
        EXPECT_EQ(QColor(shot.pixel(kEdge + x, 200)), QColor(105, 105, 105)) << x;
    }
}

TEST(MainView, FailedAreaCreationIsReported) {
    FakeAreas areas;
    AreaViewHooks hooks = areas.Hooks();
    hooks.createOutputArea = [](QWidget*, const AreaContext&) { return nullptr; };
    CMainView view(nullptr, {}, hooks);
    EXPECT_TRUE(view.creationFailed());
    view.Notify(NotifyCode::ThumbSizeChanged, nullptr); // the missing area is skipped
    EXPECT_EQ(areas.log.size(), 1u);
}

TEST(MainFrame, PassesEveryNotificationUnchangedToBothAreasInOrder) {
    FakeAreas areas;
    CMainFrame frame([](int) {}, static_cast<DocumentList*>(nullptr), areas.Hooks());
    // A datum of the richest kind any code carries, so that every receiver may read it.
    PageRetrievedInfo datum;
    for (int code = 1; code <= 8; ++code) {
        areas.log.clear();
        frame.Notify(static_cast<NotifyCode>(code), &datum);
        ASSERT_EQ(areas.log.size(), 2u) << code;
        EXPECT_EQ(areas.log[0].receiver, "work");
        EXPECT_EQ(areas.log[1].receiver, "output");
        for (const Received& r : areas.log) {
            EXPECT_EQ(r.code, static_cast<NotifyCode>(code));
            EXPECT_EQ(r.data.page(), &datum);
        }
    }
}

TEST(MainFrame, CommandsGoToTheViewFirstThenToTheApplication) {
    FakeAreas areas;
    QList<int> sink;
    CMainFrame frame([&sink](int id) { sink << id; }, static_cast<DocumentList*>(nullptr),
                     areas.Hooks(ids::ID_USE_PAGE_IN_MERGE));
    EXPECT_TRUE(frame.OnCommand(ids::ID_USE_PAGE_IN_MERGE)); // the work area takes it
    EXPECT_TRUE(frame.OnCommand(ids::ID_ADD_FILE));
    EXPECT_EQ(areas.work->offered, (QList<int>{ids::ID_USE_PAGE_IN_MERGE, ids::ID_ADD_FILE}));
    EXPECT_EQ(areas.output->offered, (QList<int>{ids::ID_ADD_FILE}));
    EXPECT_EQ(sink, (QList<int>{ids::ID_ADD_FILE}));

    // The areas send their commands (Add File on a click in an empty area) through the frame.
    ASSERT_TRUE(areas.context.commandSink);
    areas.context.commandSink(ids::ID_ADD_FOLDER);
    EXPECT_EQ(sink.back(), ids::ID_ADD_FOLDER);
}

TEST(MainFrame, CommandBarButtonsPostTheirIdsThroughTheFrame) {
    FakeAreas areas;
    QList<int> sink;
    CMainFrame frame([&sink](int id) { sink << id; }, static_cast<DocumentList*>(nullptr),
                     areas.Hooks());
    frame.resize(1100, 500);
    frame.show();
    CCommandsWnd* bar = frame.view()->commandBar();
    for (CCommandButton* button : bar->commandButtons()) {
        ASSERT_FALSE(button->isHidden()) << button->text().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_TRUE(sink.isEmpty()); // posted: they run from the event loop, after the click
    QCoreApplication::processEvents();
    EXPECT_EQ(sink, (QList<int>{ids::ID_ADD_FILE, ids::ID_ADD_FOLDER, ids::ID_EDIT_CLEAR,
                                ids::ID_FILE_SAVE}));
    // Every one was offered to the areas first, like an accelerator's command.
    EXPECT_EQ(areas.work->offered, sink);
}

TEST(MainFrame, PageReadyMessageNotifiesEveryDocumentOnThatInstance) {
    PDFInstanceManager service; // not started: nothing renders behind the test's back
    DocumentList documents(nullptr, &service);
    FakeAreas areas;
    auto frame = std::make_unique<CMainFrame>([](int) {}, &documents, areas.Hooks());
    EXPECT_EQ(documents.notifySink(), frame.get());
    EXPECT_EQ(areas.context.documents, &documents);

    CDoc* first = documents.AddDocument(pdfPath("refcard-nf.pdf"));
    CDoc* other = documents.AddDocument(pdfPath("boxes.pdf"));
    CDoc* second = documents.AddDocument(pdfPath("refcard-nf.pdf"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(first->instance(), second->instance());
    // Each addition went through the frame to both areas.
    EXPECT_EQ(Of(areas.log, NotifyCode::DocAdded).size(), 6u);

    areas.log.clear();
    frame->OnPageRetrieved(first->instance(), 3);
    EXPECT_TRUE(areas.log.empty()); // posted, not sent from the worker's call
    QCoreApplication::processEvents();
    const auto pages = Of(areas.log, NotifyCode::PageRetrieved);
    ASSERT_EQ(pages.size(), 4u); // two documents, each to both areas
    EXPECT_EQ(pages[0].page.doc, first);
    EXPECT_EQ(pages[1].page.doc, first);
    EXPECT_EQ(pages[2].page.doc, second);
    EXPECT_EQ(pages[3].page.doc, second);
    for (const Received& r : pages) {
        EXPECT_EQ(r.page.page, 3);
    }

    // A page of an instance that no document holds any more finds no match and is dropped.
    PDFInstance* gone = other->instance();
    documents.RemoveDocument(other);
    areas.log.clear();
    frame->OnPageRetrieved(gone, 1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Of(areas.log, NotifyCode::PageRetrieved).empty());

    // Destroying the frame announces every remaining document, in order, and empties the list.
    areas.log.clear();
    frame.reset();
    const auto removed = Of(areas.log, NotifyCode::DocRemoved);
    ASSERT_EQ(removed.size(), 4u);
    EXPECT_EQ(removed[0].data, first);
    EXPECT_EQ(removed[2].data, second);
    EXPECT_TRUE(documents.empty());
    EXPECT_EQ(documents.notifySink(), nullptr);
    // The page service no longer calls into the destroyed frame.
    service.AnnouncePage(nullptr, 1);
    QCoreApplication::processEvents();
}

TEST(MainFrame, RenderedPageArrivesAsNotificationFromTheWorker) {
    PDFInstanceManager service;
    ASSERT_TRUE(service.Start());
    DocumentList documents(nullptr, &service);
    FakeAreas areas;
    CMainFrame frame([](int) {}, &documents, areas.Hooks());
    CDoc* doc = documents.AddDocument(pdfPath("grid_example.pdf"));
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->instance()->GetPage(2, false).isNull()); // a miss queues the render
    ASSERT_TRUE(WaitFor([&] { return Of(areas.log, NotifyCode::PageRetrieved).size() == 2; }));
    const Received r = Of(areas.log, NotifyCode::PageRetrieved).front();
    EXPECT_EQ(r.page.doc, doc);
    EXPECT_EQ(r.page.page, 2);
    EXPECT_FALSE(doc->instance()->GetPage(2, false).isNull());
}

TEST(MainFrame, LeavingTheApplicationNotifiesDeactivation) {
    FakeAreas areas;
    CMainFrame frame([](int) {}, static_cast<DocumentList*>(nullptr), areas.Hooks());
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    EXPECT_TRUE(Of(areas.log, NotifyCode::AppDeactivated).empty());

    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    const auto deactivated = Of(areas.log, NotifyCode::AppDeactivated);
    ASSERT_EQ(deactivated.size(), 2u);
    EXPECT_EQ(deactivated[0].data, nullptr);
}

TEST(MainView, WheelScrollsTheAreaUnderThePointerOneLinePerTurn) {
    FakeAreas areas;
    CMainView view(nullptr, {}, areas.Hooks());
    view.resize(1100, 500);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QSlider* slider = view.commandBar()->zoomSlider();
    ASSERT_FALSE(slider->isHidden());

    const QPoint overWork = areas.work->mapToGlobal(QPoint(100, 100));
    const QPoint overOutput = areas.output->mapToGlobal(QPoint(100, 100));
    const QPoint overSlider = slider->mapToGlobal(slider->rect().center());
    const QPoint overStrip = view.mapToGlobal(QPoint(areas.work->geometry().right() + 2, 200));

    struct Case {
        const char* name;
        QWidget* receiver;
        QPoint pointer;
        QPoint angle;
        QList<bool> workLines, outputLines;
    };
    const Case cases[] = {
        {"down over the output area while the work area's edit gets the event",
         areas.work->edit,
         overOutput,
         {0, -120},
         {},
         {true}},
        {"up over the work area", areas.output, overWork, {0, 120}, {false}, {}},
        {"a large turn is still one line", areas.work, overWork, {0, -720}, {true}, {}},
        {"over the command bar nothing scrolls", slider, overSlider, {0, -120}, {}, {}},
        {"over the strip nothing scrolls", areas.work, overStrip, {0, -120}, {}, {}},
        {"a horizontal wheel does nothing", areas.work, overWork, {120, 0}, {}, {}},
    };
    for (const Case& c : cases) {
        areas.work->lines.clear();
        areas.output->lines.clear();
        const int sliderValue = slider->value();
        QWheelEvent wheel(QPointF(c.receiver->mapFromGlobal(c.pointer)), QPointF(c.pointer),
                          QPoint(), c.angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(c.receiver, &wheel);
        EXPECT_EQ(areas.work->lines, c.workLines) << c.name;
        EXPECT_EQ(areas.output->lines, c.outputLines) << c.name;
        EXPECT_EQ(slider->value(), sliderValue) << c.name;
    }
}

TEST(MainFrame, RealAreasFollowTheDocumentListAndTheWheel) {
    DocumentList documents; // the process-wide page service
    CMainFrame frame([](int) {}, &documents);
    frame.resize(900, 500);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    auto* work = qobject_cast<CWorkAreaView*>(frame.view()->workArea());
    auto* output = qobject_cast<COutputAreaWrapper*>(frame.view()->outputArea());
    ASSERT_NE(work, nullptr);
    ASSERT_NE(output, nullptr);

    for (int i = 0; i < 12; ++i) {
        ASSERT_NE(documents.AddDocument(pdfPath("refcard-nf.pdf")), nullptr);
    }
    EXPECT_EQ(work->boxes().size(), 12u);
    EXPECT_EQ(output->OutputPageCount(), 36);
    ASSERT_TRUE(work->ScrollBarShown());

    auto turn = [](QWidget* receiver, QWidget* over, int delta) {
        const QPoint global = over->mapToGlobal(QPoint(over->width() / 2, over->height() / 2));
        QWheelEvent wheel(QPointF(receiver->mapFromGlobal(global)), QPointF(global), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(receiver, &wheel);
    };
    // Over the work area, whatever widget gets the event: one line per turn.
    turn(output, work, -120);
    EXPECT_EQ(work->scrollPos(), work->lineStep());
    turn(work, work, -360);
    EXPECT_EQ(work->scrollPos(), 2 * work->lineStep());
    turn(work, work, 120);
    EXPECT_EQ(work->scrollPos(), work->lineStep());
    // Over the output column the output view scrolls and the work area stays.
    COutputAreaView* outputView = output->view();
    ASSERT_TRUE(outputView->ScrollBarShown());
    turn(work, outputView, -120);
    EXPECT_EQ(outputView->scrollPos(), outputView->lineStep());
    EXPECT_EQ(work->scrollPos(), work->lineStep());
}

} // namespace
