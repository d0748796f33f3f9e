// Work-area geometry (rows, wrapping, expanded documents), the scroll bar's show/hide re-layout,
// the scroll steps of the base view, and child controls that exist only for visible boxes.

#include "DisplayTestSupport.h"
#include "support/SyntheticPdf.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

using test::WorkAreaRig;

TEST(WorkAreaLayout, CollapsedHeadersFlowAndWrap) {
    WorkAreaRig rig(500, 600);
    for (const char* name : {"refcard-nf.pdf", "boxes.pdf", "grid_example.pdf", "to-rotate.pdf"}) {
        ASSERT_NE(rig.Add(name), nullptr) << name;
    }
    const QPoint expected[] = {{3, 3}, {148, 3}, {293, 3}, {3, 3 + 175}};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QRect header = rig.Box(i)->header()->rect;
        EXPECT_EQ(header.topLeft(), expected[i]);
        EXPECT_EQ(header.size(), QSize(139, 163));
        EXPECT_FALSE(rig.Box(i)->wrapped); // the wrapping child of the fourth was its first
    }
    EXPECT_EQ(rig.view->contentHeight(), 178 + 163);
    EXPECT_FALSE(rig.view->ScrollBarShown());
}

// Positions of every header at several client widths: (width, expected x of headers 0..3, y).
TEST(WorkAreaLayout, WrappingAtSeveralWidths) {
    struct Case {
        int width;
        std::vector<QPoint> headers;
    };
    const Case cases[] = {
        {300, {{3, 3}, {148, 3}, {3, 178}, {148, 178}}}, // 148 + 139 = 287 still fits in 294
        {451, {{3, 3}, {148, 3}, {293, 3}, {3, 178}}},
        {700, {{3, 3}, {148, 3}, {293, 3}, {438, 3}}},
        {140, {{3, 3}, {3, 178}, {3, 353}, {3, 528}}}, // narrower than a header: never wraps alone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        WorkAreaRig rig(c.width, 2000);
        for (const char* name :
             {"refcard-nf.pdf", "boxes.pdf", "grid_example.pdf", "to-rotate.pdf"}) {
            ASSERT_NE(rig.Add(name), nullptr);
        }
        for (std::size_t i = 0; i < c.headers.size(); ++i) {
            EXPECT_EQ(rig.Box(i)->header()->rect.topLeft(), c.headers[i]) << i;
        }
    }
}

TEST(WorkAreaLayout, ExpandedDocumentsAndRows) {
    WorkAreaRig rig(900, 2000);
    ASSERT_NE(rig.Add("habibi-rotated.pdf"), nullptr); // 4 pages, stays collapsed
    ASSERT_NE(rig.Add("refcard-nf.pdf"), nullptr);     // 3 pages
    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);          // 8 pages
    WorkAreaDoc* a = rig.Box(0);
    WorkAreaDoc* b = rig.Box(1);
    WorkAreaDoc* c = rig.Box(2);

    b->SetExpanded(true);
    // An expanded document after a collapsed one starts on the same row; its header is 6 wider
    // and its page boxes sit 24 pixels lower on the header's row.
    EXPECT_EQ(b->header()->rect, QRect(148, 3, 145, 163));
    ASSERT_EQ(b->children.size(), 4u);
    EXPECT_EQ(b->children[1]->rect, QRect(299, 27, 114, 134));
    EXPECT_EQ(b->children[2]->rect, QRect(419, 27, 114, 134));
    EXPECT_EQ(b->children[3]->rect, QRect(539, 27, 114, 134));
    EXPECT_FALSE(b->wrapped);
    // The next collapsed document continues on the same row.
    EXPECT_EQ(c->header()->rect.topLeft(), QPoint(659, 3));

    // Two expanded documents in sequence: the second starts a new row (gap 6).
    c->SetExpanded(true);
    EXPECT_EQ(c->header()->rect.topLeft(), QPoint(3, 3 + 163 + 6));
    // Its pages wrap at the area width; later rows have no shift and a gap of 12.
    EXPECT_TRUE(c->wrapped);
    const QRect first = c->children[1]->rect;
    EXPECT_EQ(first.topLeft(), QPoint(154, 172 + 24));
    bool sawSecondRow = false;
    for (std::size_t i = 2; i < c->children.size(); ++i) {
        const QRect r = c->children[i]->rect;
        if (r.x() == 3) {
            EXPECT_EQ(r.y(), 172 + 163 + 12);
            sawSecondRow = true;
            break;
        }
    }
    EXPECT_TRUE(sawSecondRow);

    // Collapsing gives the header its narrow width back and drops the page boxes.
    b->SetExpanded(false);
    EXPECT_EQ(b->children.size(), 1u);
    EXPECT_EQ(b->header()->rect, QRect(148, 3, 139, 163));
    (void)a;
}

TEST(WorkAreaLayout, OnePageDocumentHasNoExpandButtonAndCannotExpand) {
    WorkAreaRig rig(500, 400);
    ASSERT_NE(rig.Add("pdflatex-forms.pdf"), nullptr);
    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);
    EXPECT_EQ(rig.Box(0)->header()->expandButton, nullptr);
    rig.Box(0)->SetExpanded(true);
    EXPECT_FALSE(rig.Box(0)->expanded());
    ASSERT_NE(rig.Box(1)->header()->expandButton, nullptr);
    // The expand button's bottom-right corner is the header's.
    const QRect header = rig.Box(1)->header()->rect;
    const QRect button = rig.Box(1)->header()->expandButton->geometry();
    EXPECT_EQ(button.x() + button.width(), header.x() + header.width());
    EXPECT_EQ(button.y() + button.height(), header.y() + header.height());
    rig.Box(1)->SetExpanded(true);
    const QRect wide = rig.Box(1)->header()->rect;
    const QRect open = rig.Box(1)->header()->expandButton->geometry();
    EXPECT_EQ(wide.width(), header.width() + 6);
    EXPECT_EQ(open.x() + open.width(), wide.x() + wide.width() - 6); // 6 pixels left when open
    EXPECT_EQ(open.y() + open.height(), wide.y() + wide.height());
}

TEST(WorkAreaLayout, ThumbnailSizeChangeLaysOutAnew) {
    WorkAreaRig rig(500, 600);
    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);
    ASSERT_NE(rig.Add("refcard-nf.pdf"), nullptr);
    thumbnailSize = 80;
    rig.view->Notify(NotifyCode::ThumbSizeChanged, nullptr);
    EXPECT_EQ(rig.Box(0)->header()->rect, QRect(3, 3, 119, 143));
    EXPECT_EQ(rig.Box(1)->header()->rect, QRect(128, 3, 119, 143));
    thumbnailSize = 100;
    rig.view->Notify(NotifyCode::ThumbSizeChanged, nullptr);
    EXPECT_EQ(rig.Box(1)->header()->rect, QRect(148, 3, 139, 163));
}

TEST(WorkAreaLayout, ScrollBarShowsOnePixelPastTheArea) {
    WorkAreaRig rig(500, 1000);
    for (const char* name : {"refcard-nf.pdf", "boxes.pdf", "grid_example.pdf", "to-rotate.pdf"}) {
        ASSERT_NE(rig.Add(name), nullptr);
    }
    const int content = rig.view->contentHeight(); // two rows
    // Area = client less 3 on every side; the content fits exactly: no bar.
    rig.view->resize(500, content + 6);
    EXPECT_FALSE(rig.view->ScrollBarShown());
    EXPECT_EQ(rig.view->ClientRect().width(), 500);
    // One pixel less: the bar shows and the area narrows by its width.
    rig.view->resize(500, content + 5);
    EXPECT_TRUE(rig.view->ScrollBarShown());
    const int bar = rig.view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_EQ(rig.view->ClientRect().width(), 500 - bar);
    EXPECT_TRUE(rig.view->verticalBar()->isVisible() || !rig.view->isVisible());
    // Taller again: the bar hides and the wide layout comes back.
    rig.view->resize(500, content + 50);
    EXPECT_FALSE(rig.view->ScrollBarShown());
    EXPECT_EQ(rig.Box(2)->header()->rect.topLeft(), QPoint(293, 3));
}

// A base view with a fixed content height: the scroll steps as the classic scroll bar makes them.
class FixedView : public CBaseAreaView {
public:
    int content = 2000;

protected:
    int Layout(const QRect& area) override {
        (void)area;
        return content;
    }
};

TEST(BaseAreaView, ScrollSteps) {
    FixedView view;
    view.resize(300, 400);
    view.show();
    ASSERT_TRUE(view.ScrollBarShown());
    EXPECT_EQ(view.lineStep(), 20);
    struct Step {
        ScrollRequest request;
        int expected;
    };
    const Step steps[] = {
        {ScrollStep::LineDown, 20},  {ScrollStep::LineDown, 40},   {ScrollStep::LineUp, 20},
        {ScrollStep::PageDown, 400}, {ScrollStep::PageUp, 20},     {ScrollStep::LineUp, 0},
        {ScrollStep::LineUp, 0},     {ScrollToPos{777}, 777},      {ScrollToPos{5000}, 1600},
        {ScrollStep::Bottom, 1600},  {ScrollStep::LineDown, 1600}, {ScrollStep::Top, 0},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        view.OnVScroll(steps[i].request);
        EXPECT_EQ(view.scrollPos(), steps[i].expected);
        EXPECT_EQ(view.verticalBar()->value(), steps[i].expected);
    }
    // The bar's own actions scroll the view by the same steps; its "to the end" action moves
    // nothing, and the bar stays where the view is.
    view.verticalBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view.scrollPos(), 20);
    view.verticalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.scrollPos(), 400);
    view.verticalBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(view.scrollPos(), 400);
    EXPECT_EQ(view.verticalBar()->value(), 400);

    // Content that fits: nothing scrolls, and a shrinking content pulls the position back.
    view.OnVScroll(ScrollToPos{1500});
    view.content = 1000;
    view.Relayout();
    EXPECT_EQ(view.scrollPos(), 600);
    view.content = 300;
    view.Relayout();
    EXPECT_FALSE(view.ScrollBarShown());
    EXPECT_EQ(view.scrollPos(), 0);
    view.OnVScroll(ScrollStep::LineDown);
    EXPECT_EQ(view.scrollPos(), 0);
}

// Counts the visible page boxes and the live check boxes of a document.
struct ControlCount {
    int visibleBoxes = 0;    // page boxes that meet the visible part
    int checksDue = 0;       // page check rectangles that meet it
    int checks = 0;          // live page check boxes
    bool checksMatch = true; // a check box exists exactly where its rectangle is in view
};

ControlCount CountControls(const CWorkAreaView& view, const WorkAreaDoc& doc) {
    ControlCount count;
    const QRect visible = view.VisibleContentRect();
    for (std::size_t i = 1; i < doc.children.size(); ++i) {
        const auto* page = static_cast<const WorkAreaPageDisplay*>(doc.children[i].get());
        if (page->rect.intersects(visible)) {
            ++count.visibleBoxes;
        }
        const bool due = page->PageCheckRect().intersects(visible);
        count.checksDue += due ? 1 : 0;
        if (page->pageCheck != nullptr) {
            ++count.checks;
            const QRect content = page->pageCheck->geometry().translated(0, view.scrollPos());
            count.checksMatch = count.checksMatch && content == page->PageCheckRect();
        }
        count.checksMatch = count.checksMatch && due == (page->pageCheck != nullptr);
    }
    return count;
}

TEST(WorkAreaControls, ExistOnlyForVisibleBoxesWhileScrolling) {
    QTemporaryDir dir;
    const QString big = dir.filePath("big.pdf");
    ASSERT_TRUE(test::WriteSyntheticPdf(big, 2000));
    WorkAreaRig rig(600, 500);
    CDoc* doc = rig.list->AddDocument(big);
    ASSERT_NE(doc, nullptr);
    WorkAreaDoc* box = rig.Box(0);
    box->SetExpanded(true);
    ASSERT_TRUE(rig.view->ScrollBarShown());

    int maxChecks = 0;
    int steps = 0;
    const int bottom = rig.view->contentHeight() - rig.view->ClientRect().height();
    while (true) {
        const ControlCount count = CountControls(*rig.view, *box);
        EXPECT_TRUE(count.checksMatch) << rig.view->scrollPos();
        EXPECT_LE(count.checks, count.visibleBoxes);
        const WorkAreaDocDisplay* head = box->header();
        const int headerControls = (head->rangeEdit != nullptr) + (head->includeCheck != nullptr) +
                                   (head->removeButton != nullptr) +
                                   (head->expandButton != nullptr);
        EXPECT_EQ(rig.view->LiveControlCount(), count.checks + headerControls);
        // No window outlives its control: the content window holds exactly the live controls,
        // within twice the boxes in view.
        const auto windows = rig.view->ControlParent()->findChildren<QWidget*>(
            QString(), Qt::FindDirectChildrenOnly);
        EXPECT_EQ(static_cast<int>(windows.size()), rig.view->LiveControlCount());
        EXPECT_LE(static_cast<int>(windows.size()), 2 * count.visibleBoxes + 4);
        maxChecks = std::max(maxChecks, count.checks);
        if (rig.view->scrollPos() >= bottom) {
            break;
        }
        rig.view->OnVScroll(ScrollStep::PageDown);
        ++steps;
    }
    EXPECT_GT(steps, 40);
    EXPECT_GT(maxChecks, 0);
    EXPECT_LE(maxChecks, 30);
    // The header's controls went when it left the view; the registry reused freed ids.
    EXPECT_EQ(box->header()->rangeEdit, nullptr);
    EXPECT_LE(rig.view->RegistrySize(), 40);
    rig.view->OnVScroll(ScrollStep::Top);
    EXPECT_NE(box->header()->rangeEdit, nullptr);
}

TEST(WorkAreaControls, RegistryIdsStartAt100AndAreReusedLowestFirst) {
    WorkAreaRig rig(800, 600);
    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);
    WorkAreaDocDisplay* head = rig.Box(0)->header();
    EXPECT_EQ(rig.view->ControlId(head->rangeEdit), 100);
    EXPECT_EQ(rig.view->ControlId(head->includeCheck), 101);
    EXPECT_EQ(rig.view->ControlId(head->removeButton), 102);
    EXPECT_EQ(rig.view->ControlId(head->expandButton), 103);
    EXPECT_EQ(rig.view->ControlOwner(101), rig.Box(0));
    ASSERT_NE(rig.Add("refcard-nf.pdf"), nullptr);
    EXPECT_EQ(rig.view->ControlId(rig.Box(1)->header()->rangeEdit), 104);
    // Removing the first box frees 100..103; the next controls take them lowest first.
    rig.list->RemoveDocument(rig.list->at(0));
    EXPECT_EQ(rig.view->ControlOwner(100), nullptr);
    ASSERT_NE(rig.Add("grid_example.pdf"), nullptr);
    EXPECT_EQ(rig.view->ControlId(rig.Box(1)->header()->rangeEdit), 100);
}

TEST(WorkAreaControls, BoxesComingIntoViewByAResizeGetTheirControls) {
    // Documents added while the window has no size yet (before the first show) are laid out
    // where they will stay; growing the window must still give them their controls.
    test::InitDisplayGlobals();
    thumbnailSize = 100;
    PDFInstanceManager manager;
    DocumentList list(nullptr, &manager);
    CWorkAreaView view(&list);
    test::ForwardingSink sink;
    sink.targets.push_back(&view);
    list.SetNotify(&sink);
    view.resize(0, 0);
    ASSERT_NE(list.AddDocument(test::pdfPath("refcard-nf.pdf")), nullptr);
    ASSERT_NE(list.AddDocument(test::pdfPath("boxes.pdf")), nullptr);
    view.resize(800, 500);
    view.show();
    QCoreApplication::processEvents();
    for (std::size_t i = 0; i < 2; ++i) {
        const WorkAreaDocDisplay* head = view.BoxAt(i)->header();
        EXPECT_NE(head->rangeEdit, nullptr) << i;
        EXPECT_NE(head->includeCheck, nullptr) << i;
        EXPECT_NE(head->removeButton, nullptr) << i;
        EXPECT_NE(head->expandButton, nullptr) << i;
    }
    list.ClearDocuments();
    sink.targets.clear();
    manager.DiscardQueue();
}

} // namespace
} // namespace plyfold
