#include "display/COutputAreaView.h"
#include "display/COutputAreaWrapper.h"
#include "display/OutputAreaDoc.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "engine/ProcessGlobals.h"
#include "res/CommandIds.h"
#include "res/Menus.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "support/ScreenshotFolder.h"
#include "support/TestData.h"
#include "work/RegisteredMessage.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScrollBar>
#include <QStandardPaths>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace plyfold;
using namespace plyfold::test;

namespace {

// Passes every notification to the output column, as the main frame and main view do.
class ColumnSink : public EventNotify {
public:
    void Notify(NotifyCode code, NotifyData data) override {
        if (target != nullptr) {
            target->Notify(code, data);
        }
    }
    EventNotify* target = nullptr;
};

class PageRecorder : public PDFInstanceManager::PDFPageCallback {
public:
    void OnPageRetrieved(PDFInstance* instance, int page) override {
        pages.emplace_back(instance, page);
    }
    std::vector<std::pair<PDFInstance*, int>> pages;
};

// The output column (220 pixels wide, as in the main window) over a real document list on a page
// service whose worker never starts: pages render only when a test runs the queue.
struct OutputRig {
    explicit OutputRig(int width = 220, int height = 600) {
        loadingText = LoadResString(ids::IDS_LOADING);
        buttonImages[0] = LoadResImage(ResKind::Png, ids::IDP_REMOVE);
        buttonImages[1] = LoadResImage(ResKind::Png, ids::IDP_EXPAND);
        buttonImages[2] = LoadResImage(ResKind::Png, ids::IDP_COLLAPSE);
        thumbnailSize = 100;
        manager.SetCallback(&recorder);
        list = std::make_unique<DocumentList>(&sink, &manager);
        wrapper = std::make_unique<COutputAreaWrapper>(list.get());
        sink.target = wrapper.get();
        wrapper->resize(width, height);
        wrapper->show(); // a hidden widget gets its resize event only when shown
    }
    ~OutputRig() {
        list->ClearDocuments();
        sink.target = nullptr;
        wrapper.reset();
        list.reset();
        manager.SetCallback(nullptr);
        manager.DiscardQueue();
        thumbnailSize = 100;
        CBaseAreaView::SetMenuRunner({});
    }

    CDoc* Add(const QString& fileName) { return list->AddDocument(pdfPath(fileName)); }
    COutputAreaView* view() const { return wrapper->view(); }
    OutputAreaDocDisplay* Section(std::size_t i) const { return view()->SectionAt(i); }

    // The documents shown, by section, as their indexes in the list.
    std::vector<int> Order() const {
        std::vector<int> out;
        for (std::size_t i = 0; i < view()->SectionCount(); ++i) {
            out.push_back(list->IndexOf(Section(i)->doc));
        }
        return out;
    }

    // Renders the queued pages on this thread and announces them as the main frame would.
    void RunQueue() {
        while (manager.ProcessOne()) {
        }
        const auto done = recorder.pages;
        recorder.pages.clear();
        for (const auto& [instance, page] : done) {
            list->OnPageRetrieved(instance, page);
        }
    }

    PDFInstanceManager manager;
    PageRecorder recorder;
    ColumnSink sink;
    std::unique_ptr<DocumentList> list;
    std::unique_ptr<COutputAreaWrapper> wrapper;
};

std::vector<int> PagesOf(const OutputAreaDocDisplay* section) {
    std::vector<int> out;
    for (const auto& box : section->pages) {
        out.push_back(box->page);
    }
    return out;
}

void DeliverPosted() {
    QCoreApplication::sendPostedEvents();
}

// Chooses `commandId` in the next context menu and records which items were enabled.
struct MenuChooser {
    explicit MenuChooser(int commandId) {
        CBaseAreaView::SetMenuRunner([this, commandId](QMenu& menu, const QPoint&) {
            shown = true;
            for (QAction* action : menu.actions()) {
                if (!action->isSeparator()) {
                    enabled.emplace_back(action->data().toInt(), action->isEnabled());
                }
            }
            return CBaseAreaView::FindMenuAction(menu, commandId);
        });
    }
    ~MenuChooser() { CBaseAreaView::SetMenuRunner({}); }
    bool Enabled(int commandId) const {
        for (const auto& [id, on] : enabled) {
            if (id == commandId) {
                return on;
            }
        }
        return false;
    }
    bool shown = false;
    std::vector<std::pair<int, bool>> enabled;
};

// A point in client coordinates of the view at the middle of a content rectangle.
QPoint ClientCentre(const COutputAreaView* view, const QRect& content) {
    return content.center() - QPoint(0, view->scrollPos());
}

// ---- Output order ---------------------------------------------------------------------------

TEST(OutputArea, SectionsFollowListOrderAndInclusion) {
    OutputRig rig;
    CDoc* a = rig.Add(QStringLiteral("refcard-nf.pdf"));
    CDoc* b = rig.Add(QStringLiteral("habibi-rotated.pdf"));
    CDoc* c = rig.Add(QStringLiteral("boxes.pdf"));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(rig.Order(), (std::vector<int>{0, 1, 2}));

    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<CDoc*> sections;
    };
    const std::vector<Step> steps = {
        {"B excluded", [&] { b->SetIncluded(false); }, {a, c}},
        {"B back between A and C", [&] { b->SetIncluded(true); }, {a, b, c}},
        {"B without pages", [&] { b->SetRanges({}); }, {a, c}},
        {"C excluded", [&] { c->SetIncluded(false); }, {a}},
        {"C comes right after A", [&] { c->SetIncluded(true); }, {a, c}},
        {"A excluded", [&] { a->SetIncluded(false); }, {c}},
        {"A before every section goes first", [&] { a->SetIncluded(true); }, {a, c}},
        {"B gets a page back, between A and C",
         [&] {
             b->SetRanges({{2, 3}});
         },
         {a, b, c}},
        {"C moved to the front", [&] { rig.list->MoveDocument(c, nullptr); }, {c, a, b}},
        {"A moved after B", [&] { rig.list->MoveDocument(a, b); }, {c, b, a}},
        {"B removed", [&] { rig.list->RemoveDocument(b); }, {c, a}},
        {"excluded document moved: order follows",
         [&] {
             a->SetIncluded(false);
             rig.list->MoveDocument(a, nullptr);
             a->SetIncluded(true);
         },
         {a, c}},
    };
    for (const Step& step : steps) {
        step.act();
        std::vector<CDoc*> shown;
        for (std::size_t i = 0; i < rig.view()->SectionCount(); ++i) {
            shown.push_back(rig.Section(i)->doc);
        }
        EXPECT_EQ(shown, step.sections) << step.what;
    }
    // The document without a section stays in the list.
    EXPECT_EQ(rig.list->size(), 2u);
}

TEST(OutputArea, DocumentAddedExcludedOrEmptyGetsNoSectionUntilItQualifies) {
    OutputRig rig;
    CDoc* a = rig.Add(QStringLiteral("refcard-nf.pdf"));
    ASSERT_NE(a, nullptr);
    a->SetRanges({});
    EXPECT_EQ(rig.view()->SectionCount(), 0u);
    a->SetRanges({{2, 3}});
    ASSERT_EQ(rig.view()->SectionCount(), 1u);
    EXPECT_EQ(PagesOf(rig.Section(0)), (std::vector<int>{2}));
    rig.list->RemoveDocument(a);
    EXPECT_EQ(rig.view()->SectionCount(), 0u);
}

TEST(OutputArea, TitleCountsChosenPagesOfIncludedDocuments) {
    OutputRig rig;
    CDoc* three = rig.Add(QStringLiteral("refcard-nf.pdf"));          // 3 pages
    CDoc* four = rig.Add(QStringLiteral("habibi-rotated.pdf"));       // 4 pages
    CDoc* many = rig.Add(QString::fromUtf8("并行计算_パラレル.pdf")); // 13 pages
    ASSERT_TRUE(three && four && many);
    many->SetRanges({{1, 11}});
    many->SetIncluded(false);
    EXPECT_EQ(rig.wrapper->OutputPageCount(), 7);
    EXPECT_EQ(rig.wrapper->TitleText(), QStringLiteral("Output File: 7 Pages"));
    EXPECT_EQ(rig.wrapper->accessibleName(), QStringLiteral("Output File: 7 Pages"));
    four->SetRanges({{1, 2}});
    EXPECT_EQ(rig.wrapper->TitleText(), QStringLiteral("Output File: 4 Pages"));
    many->SetIncluded(true);
    EXPECT_EQ(rig.wrapper->OutputPageCount(), 14);
    // Each section's count is its own pages.
    EXPECT_EQ(rig.Section(0)->CountText(), QStringLiteral("3pg."));
    EXPECT_EQ(rig.Section(2)->CountText(), QStringLiteral("10pg."));
    // Removal is announced while the list still holds the document: the name must not count it.
    rig.list->RemoveDocument(many);
    EXPECT_EQ(rig.wrapper->accessibleName(), QStringLiteral("Output File: 4 Pages"));
    rig.list->ClearDocuments();
    EXPECT_EQ(rig.wrapper->accessibleName(), QStringLiteral("Output File: 0 Pages"));
}

// ---- Geometry -------------------------------------------------------------------------------

TEST(OutputArea, ImageFitsTheColumn) {
    struct Case {
        double aspect;
        int available, thumb;
        QSize size;
    };
    const Case cases[] = {
        {0.75, 164, 100, {75, 100}}, // portrait
        {2.5, 164, 100, {164, 65}},  // 250 wide: 164 / 250 x 100 = 65.6
        {1.0, 164, 100, {100, 100}}, // square
        {0.0, 164, 100, {164, 100}}, // unknown aspect: the whole width, S high
        {0.0, 164, 160, {164, 160}}, //
        {0.0, 100, 160, {100, 100}}, // unknown, column narrower than S: A / S x S
        {1.5, 164, 160, {164, 109}}, // 240 wide: 164 / 240 x 160 = 109.3
        {0.7071, 164, 160, {113, 160}},
        {3.0, -10, 100, {0, 0}}, // a column too narrow for any image
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitOutputImage(c.aspect, c.available, c.thumb), c.size)
            << c.aspect << " in " << c.available << " at " << c.thumb;
    }
}

TEST(OutputArea, LaysOutHeaderAndPageBoxesInTheColumn) {
    OutputRig rig(220, 2000); // tall enough for no scroll bar: W = 220, A = 164
    CDoc* doc = rig.Add(QStringLiteral("boxes.pdf")); // pages 1-4 Letter, page 2 rotated by 90
    ASSERT_NE(doc, nullptr);
    doc->SetRanges({{1, 3}});
    OutputAreaDocDisplay* s = rig.Section(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->headerRect, EdgeRect(3, 3, 217, 34));
    EXPECT_EQ(s->ExpandButtonRect(), QRect(9, 8, 20, 20));
    s->SetExpanded(true);
    ASSERT_FALSE(rig.view()->ScrollBarShown());
    ASSERT_EQ(s->pages.size(), 2u);

    // Page 1: Letter portrait, 612 / 792 x 100 = 77 wide, centred: 26 + (164 - 77) / 2 = 69.
    const OutputAreaPageDisplay& p1 = *s->pages[0];
    EXPECT_EQ(p1.rect, EdgeRect(20, 34, 196, 34 + 128));
    EXPECT_EQ(p1.imageRect, QRect(69, 40, 77, 100));
    EXPECT_EQ(p1.CaptionRect(), QRect(69, 140, 77, 20));
    EXPECT_EQ(p1.RemoveButtonRect(), EdgeRect(170, 142, 193, 162));
    // Page 2 turned on its side: 792 / 612 x 100 = 129 wide.
    const OutputAreaPageDisplay& p2 = *s->pages[1];
    EXPECT_EQ(p2.rect, EdgeRect(20, 168, 196, 168 + 128));
    EXPECT_EQ(p2.imageRect, QRect(26 + (164 - 129) / 2, 174, 129, 100));
    EXPECT_EQ(s->pagesRect, EdgeRect(3, 34, 217, 168 + 128 + 6));
    EXPECT_EQ(rig.view()->contentHeight(), 302);

    // The buttons sit where the layout says, in client coordinates.
    ASSERT_NE(s->expandButton, nullptr);
    EXPECT_EQ(s->expandButton->geometry(), QRect(9, 8, 20, 20));
    ASSERT_NE(p1.removeButton, nullptr);
    EXPECT_EQ(p1.removeButton->geometry(), EdgeRect(170, 142, 193, 162));

    // A second section starts below the first one's pages.
    CDoc* other = rig.Add(QStringLiteral("refcard-nf.pdf"));
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(rig.Section(1)->headerRect, EdgeRect(3, 302 + 3, 217, 302 + 34));
}

TEST(OutputArea, ThumbnailSizeChangeRefitsEveryPage) {
    OutputRig rig(220, 3000);
    CDoc* doc = rig.Add(QStringLiteral("refcard-nf.pdf")); // A4 landscape, aspect 1.415
    ASSERT_NE(doc, nullptr);
    OutputAreaDocDisplay* s = rig.Section(0);
    s->SetExpanded(true);
    EXPECT_EQ(s->pages[0]->imageRect.size(), QSize(141, 100));
    thumbnailSize = 160;
    rig.list->Notify(NotifyCode::ThumbSizeChanged, nullptr);
    // 226 wide does not fit 164: 164 / 226 x 160 = 116.
    EXPECT_EQ(s->pages[0]->imageRect.size(), QSize(164, 116));
    EXPECT_EQ(s->pages[1]->rect.y(), 34 + 116 + 28 + 6);
}

// ---- Keeping pages in step ------------------------------------------------------------------

TEST(OutputArea, SyncPagesKeepsTheBoxesOfPagesThatStay) {
    OutputRig rig;
    CDoc* doc = rig.Add(QString::fromUtf8("并行计算_パラレル.pdf"));
    ASSERT_NE(doc, nullptr);
    doc->SetRanges({{5, 6}});
    OutputAreaDocDisplay* s = rig.Section(0);
    ASSERT_NE(s, nullptr);
    OutputAreaPageDisplay* five = s->pages.at(0).get();
    five->image = QImage(4, 4, QImage::Format_RGB32); // a cached image that must survive
    doc->SetRanges({{2, 3}, {5, 6}});
    doc->SetRanges({{2, 3}, {5, 6}, {9, 10}});
    ASSERT_EQ(rig.Section(0), s);
    EXPECT_EQ(PagesOf(s), (std::vector<int>{2, 5, 9}));
    EXPECT_EQ(s->pages[1].get(), five);
    EXPECT_FALSE(five->image.isNull());

    OutputAreaPageDisplay* two = s->pages[0].get();
    OutputAreaPageDisplay* nine = s->pages[2].get();
    doc->SetRanges({{1, 3}, {9, 12}}); // 5 leaves, 1, 10 and 11 come
    EXPECT_EQ(PagesOf(s), (std::vector<int>{1, 2, 9, 10, 11}));
    EXPECT_EQ(s->pages[1].get(), two);
    EXPECT_EQ(s->pages[2].get(), nine);
    EXPECT_EQ(s->FindPage(10), s->pages[3].get());
    EXPECT_EQ(s->FindPage(5), nullptr);
}

TEST(OutputArea, PageThatReplacesAnotherInPlaceGetsItsButton) {
    OutputRig rig;
    CDoc* doc = rig.Add(QString::fromUtf8("并行计算_パラレル.pdf")); // all pages A4 portrait
    ASSERT_NE(doc, nullptr);
    doc->SetRanges({{1, 3}});
    OutputAreaDocDisplay* s = rig.Section(0);
    s->SetExpanded(true);
    ASSERT_NE(s->pages[1]->removeButton, nullptr);
    const QRect band = s->pagesRect;
    doc->SetRanges({{1, 2}, {3, 4}}); // page 3 takes page 2's place; the band does not move
    EXPECT_EQ(s->pagesRect, band);
    ASSERT_EQ(PagesOf(s), (std::vector<int>{1, 3}));
    ASSERT_NE(s->pages[1]->removeButton, nullptr);
    EXPECT_EQ(s->pages[1]->removeButton->geometry(),
              s->pages[1]->RemoveButtonRect().translated(0, -rig.view()->scrollPos()));
}

// ---- Buttons --------------------------------------------------------------------------------

TEST(OutputArea, RemoveButtonTakesThePageOutAfterTheClickReturns) {
    OutputRig rig;
    CDoc* doc = rig.Add(QStringLiteral("habibi-rotated.pdf"));
    ASSERT_NE(doc, nullptr);
    OutputAreaDocDisplay* s = rig.Section(0);
    ASSERT_NE(s->expandButton, nullptr);
    s->expandButton->click();
    ASSERT_TRUE(s->expanded);
    ASSERT_NE(s->pages[1]->removeButton, nullptr);
    s->pages[1]->removeButton->click();
    // Posted, not carried out inside the click.
    EXPECT_EQ(doc->ranges(), (PageRangeList{{1, 5}}));
    DeliverPosted();
    EXPECT_EQ(doc->ranges(), (PageRangeList{{1, 2}, {3, 5}}));
    EXPECT_EQ(PagesOf(s), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(rig.wrapper->TitleText(), QStringLiteral("Output File: 3 Pages"));

    // Removing every remaining page removes the section; the document stays in the list.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(rig.view()->SectionCount(), 1u);
        ASSERT_NE(s->pages[0]->removeButton, nullptr);
        s->pages[0]->removeButton->click();
        DeliverPosted();
    }
    EXPECT_EQ(rig.view()->SectionCount(), 0u);
    EXPECT_TRUE(doc->ranges().IsEmpty());
    EXPECT_EQ(rig.list->size(), 1u);
}

TEST(OutputArea, RemovalRequestForADocumentAlreadyGoneIsIgnored) {
    OutputRig rig;
    CDoc* a = rig.Add(QStringLiteral("habibi-rotated.pdf"));
    CDoc* b = rig.Add(QStringLiteral("refcard-nf.pdf"));
    ASSERT_TRUE(a && b);
    // Two requests wait in the queue; the document leaves before the second one runs.
    PostRegisteredMessage(rig.view(), QString::fromLatin1(MessageName::RemoveDoc),
                          reinterpret_cast<quintptr>(a), 0);
    PostRegisteredMessage(rig.view(), QString::fromLatin1(MessageName::RemovePage),
                          reinterpret_cast<quintptr>(a), 2);
    PostRegisteredMessage(rig.view(), QString::fromLatin1(MessageName::RemovePage),
                          reinterpret_cast<quintptr>(b), 2);
    DeliverPosted();
    ASSERT_EQ(rig.list->size(), 1u);
    EXPECT_EQ(rig.list->at(0), b);
    EXPECT_EQ(b->ranges(), (PageRangeList{{1, 2}, {3, 4}}));
}

TEST(OutputArea, CollapseReleasesRemoveButtonsAndExpandBringsThemForVisibleBoxesOnly) {
    OutputRig rig(220, 600);
    CDoc* doc = rig.Add(QStringLiteral("R-intro.pdf")); // 113 pages
    ASSERT_NE(doc, nullptr);
    OutputAreaDocDisplay* s = rig.Section(0);
    QToolButton* expand = s->expandButton;
    ASSERT_NE(expand, nullptr);
    EXPECT_EQ(expand->toolTip(), QStringLiteral("Show file contents"));
    EXPECT_EQ(expand->accessibleName(), QStringLiteral("Show pages of R-intro.pdf"));
    EXPECT_EQ(rig.view()->LiveControlCount(), 1);

    expand->click();
    EXPECT_EQ(s->expandButton, expand); // the same button, now showing the other state
    EXPECT_EQ(expand->toolTip(), QStringLiteral("Hide file contents"));
    EXPECT_EQ(expand->accessibleName(), QStringLiteral("Hide pages of R-intro.pdf"));
    EXPECT_TRUE(rig.view()->ScrollBarShown());
    int buttons = 0;
    const QRect visible = rig.view()->VisibleContentRect();
    for (const auto& box : s->pages) {
        const bool seen = box->RemoveButtonRect().intersects(visible);
        EXPECT_EQ(box->removeButton != nullptr, seen) << "page " << box->page;
        buttons += box->removeButton != nullptr ? 1 : 0;
    }
    EXPECT_GT(buttons, 1);
    EXPECT_LT(buttons, 10);
    EXPECT_EQ(rig.view()->LiveControlCount(), buttons + 1);

    expand->click();
    EXPECT_FALSE(s->expanded);
    EXPECT_EQ(expand->toolTip(), QStringLiteral("Show file contents"));
    EXPECT_EQ(rig.view()->LiveControlCount(), 1);
    EXPECT_FALSE(rig.view()->ScrollBarShown());
    for (const auto& box : s->pages) {
        EXPECT_EQ(box->removeButton, nullptr);
    }
    // The page boxes stay in step while collapsed.
    doc->SetRanges({{3, 5}});
    EXPECT_EQ(PagesOf(s), (std::vector<int>{3, 4}));
}

TEST(OutputArea, EveryControlHasAnAccessibleName) {
    OutputRig rig(220, 500);
    ASSERT_NE(rig.Add(QStringLiteral("R-intro.pdf")), nullptr);
    ASSERT_NE(rig.Add(QStringLiteral("habibi-rotated.pdf")), nullptr);
    rig.Section(0)->SetExpanded(true);
    rig.Section(1)->SetExpanded(true);
    int checked = 0;
    for (QWidget* child : rig.wrapper->findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractButton*>(child) || qobject_cast<QAbstractSlider*>(child)) {
            EXPECT_FALSE(child->accessibleName().isEmpty()) << child->metaObject()->className();
            ++checked;
        }
    }
    EXPECT_GT(checked, 3);
    const OutputAreaPageDisplay& first = *rig.Section(0)->pages[0];
    ASSERT_NE(first.removeButton, nullptr);
    // The many remove buttons are told apart by name; the tooltip is the description.
    EXPECT_EQ(first.removeButton->accessibleName(), QStringLiteral("Remove page 1 of R-intro.pdf"));
    EXPECT_EQ(first.removeButton->accessibleDescription(),
              QStringLiteral("Remove the page from the output"));
    EXPECT_NE(first.removeButton->focusPolicy() & Qt::TabFocus, 0);
    QAccessibleInterface* canvas =
        QAccessible::queryAccessibleInterface(rig.view()->ControlParent());
    ASSERT_NE(canvas, nullptr);
    QStringList images;
    for (int i = 0; i < canvas->childCount(); ++i) {
        if (canvas->child(i)->role() == QAccessible::Graphic) {
            images << canvas->child(i)->text(QAccessible::Name);
        }
    }
    EXPECT_TRUE(images.contains(QStringLiteral("Thumbnail of page 1 of R-intro.pdf")))
        << images.join(", ").toStdString();
}

// ---- Menus and tooltips ---------------------------------------------------------------------

TEST(OutputArea, HeaderMenuPreparesAndActs) {
    OutputRig rig;
    CDoc* doc = rig.Add(QStringLiteral("habibi-rotated.pdf"));
    ASSERT_NE(doc, nullptr);
    OutputAreaDocDisplay* s = rig.Section(0);
    const QPoint header = ClientCentre(rig.view(), s->headerRect);

    PageDisplayBox* item = reinterpret_cast<PageDisplayBox*>(1);
    EXPECT_EQ(s->MenuHitTest(header.x(), header.y(), &item), ids::IDR_DOCUMENT_MENU);
    EXPECT_EQ(item, nullptr);
    QRect tool;
    EXPECT_EQ(s->ToolHitTest(header.x(), header.y(), &tool), kOutputHeaderToolId);
    EXPECT_EQ(tool, s->headerRect);
    EXPECT_EQ(s->GetToolText(kOutputHeaderToolId), doc->GetPath());

    {
        // Every page chosen: "Add all pages to merge" is off. Choosing "De-Select all pages"
        // removes the section.
        MenuChooser chooser(ids::ID_DESELECT_ALL_PAGES);
        rig.view()->ShowContextMenu(header, rig.view()->mapToGlobal(header));
        ASSERT_TRUE(chooser.shown);
        EXPECT_FALSE(chooser.Enabled(ids::ID_ADD_ALL_PAGES));
        EXPECT_TRUE(chooser.Enabled(ids::ID_REMOVE_DOCUMENT));
        EXPECT_TRUE(doc->ranges().IsEmpty());
        EXPECT_EQ(rig.view()->SectionCount(), 0u);
    }
    doc->SetRanges({{2, 3}});
    s = rig.Section(0);
    ASSERT_NE(s, nullptr);
    {
        MenuChooser chooser(ids::ID_ADD_ALL_PAGES);
        rig.view()->ShowContextMenu(header, rig.view()->mapToGlobal(header));
        EXPECT_TRUE(chooser.Enabled(ids::ID_ADD_ALL_PAGES));
        EXPECT_EQ(doc->ranges(), (PageRangeList{{1, 5}}));
        EXPECT_EQ(PagesOf(rig.Section(0)), (std::vector<int>{1, 2, 3, 4}));
    }
    {
        MenuChooser chooser(ids::ID_REMOVE_DOCUMENT);
        rig.view()->ShowContextMenu(header, rig.view()->mapToGlobal(header));
        EXPECT_EQ(rig.list->size(), 1u); // posted
        DeliverPosted();
        EXPECT_EQ(rig.list->size(), 0u);
        EXPECT_EQ(rig.view()->SectionCount(), 0u);
    }
}

TEST(OutputArea, PageMenuOnlyWhileExpanded) {
    OutputRig rig;
    CDoc* doc = rig.Add(QStringLiteral("habibi-rotated.pdf"));
    ASSERT_NE(doc, nullptr);
    OutputAreaDocDisplay* s = rig.Section(0);
    s->SetExpanded(true);
    const QRect third = s->pages[2]->rect;
    s->SetExpanded(false);
    PageDisplayBox* item = nullptr;
    EXPECT_EQ(s->MenuHitTest(third.center().x(), third.center().y(), &item), 0);
    s->SetExpanded(true);
    EXPECT_EQ(s->MenuHitTest(third.center().x(), third.center().y(), &item),
              ids::IDR_OUTPUT_PAGE_MENU);
    EXPECT_EQ(item, s->pages[2].get());
    // Between two boxes (the 6-pixel gap) there is no menu.
    EXPECT_EQ(s->MenuHitTest(100, Bottom(s->pages[0]->rect) + 2, &item), 0);

    MenuChooser chooser(ids::ID_REMOVE_PAGE);
    const QPoint at = ClientCentre(rig.view(), third);
    rig.view()->ShowContextMenu(at, rig.view()->mapToGlobal(at));
    ASSERT_TRUE(chooser.shown);
    EXPECT_EQ(doc->ranges(), (PageRangeList{{1, 5}}));
    DeliverPosted();
    EXPECT_EQ(doc->ranges(), (PageRangeList{{1, 3}, {4, 5}}));
}

// ---- Notifications, painting, scrolling -----------------------------------------------------

TEST(OutputArea, PageRetrievedShowsTheImageAtTheNextPaint) {
    OutputRig rig;
    CDoc* doc = rig.Add(QStringLiteral("habibi-rotated.pdf"));
    ASSERT_NE(doc, nullptr);
    OutputAreaDocDisplay* s = rig.Section(0);
    s->SetExpanded(true);
    ResetWaitingImageRequests();
    rig.wrapper->grab(); // paints "Loading..." and queues the visible pages
    EXPECT_TRUE(s->pages[0]->image.isNull());
    EXPECT_GT(rig.manager.QueuedRequests(), 0u);
    rig.RunQueue(); // renders and announces PageRetrieved
    rig.wrapper->grab();
    EXPECT_FALSE(s->pages[0]->image.isNull());
    EXPECT_EQ(WaitingImageRequests(), 0); // painting never waited for a render
}

TEST(OutputArea, ScrollingKeepsChildControlsToTheVisibleBoxes) {
    OutputRig rig(220, 600);
    CDoc* doc = rig.Add(QStringLiteral("pari-users.pdf")); // 675 pages
    ASSERT_NE(doc, nullptr);
    OutputAreaDocDisplay* s = rig.Section(0);
    s->SetExpanded(true);
    COutputAreaView* view = rig.view();
    ASSERT_TRUE(view->ScrollBarShown());
    int most = 0;
    int steps = 0;
    ResetWaitingImageRequests();
    while (view->scrollPos() < view->contentHeight() - view->ClientRect().height() &&
           steps < 100000) {
        view->OnVScroll(ScrollStep::PageDown);
        const QRect visible = view->VisibleContentRect();
        int seen = 0;
        for (const auto& box : s->pages) {
            seen += box->rect.intersects(visible) ? 1 : 0;
        }
        EXPECT_LE(view->LiveControlCount(), 2 * seen + 1) << "at " << view->scrollPos();
        most = std::max(most, view->LiveControlCount());
        ++steps;
    }
    EXPECT_GT(steps, 100);
    EXPECT_LE(most, 8);
    // At the bottom the last page's button exists and sits under its box.
    ASSERT_NE(s->pages.back()->removeButton, nullptr);
    EXPECT_EQ(s->pages.back()->removeButton->geometry(),
              s->pages.back()->RemoveButtonRect().translated(0, -view->scrollPos()));
    view->OnVScroll(ScrollStep::Top);
    EXPECT_EQ(view->scrollPos(), 0);
    EXPECT_EQ(s->pages.back()->removeButton, nullptr);
    EXPECT_EQ(WaitingImageRequests(), 0);
}

// An offscreen picture of the column with two documents, one expanded with its thumbnails, kept
// for people to look at when PLYFOLD_SCREENSHOT_DIR names a folder.
TEST(OutputArea, ScreenshotOfTheColumn) {
    OutputRig rig(220, 560);
    CDoc* a = rig.Add(QStringLiteral("habibi-rotated.pdf"));
    CDoc* b = rig.Add(QStringLiteral("refcard-nf.pdf"));
    CDoc* c = rig.Add(QString::fromUtf8("crème brûlée – ÉTÉ.pdf"));
    ASSERT_TRUE(a && b && c);
    a->SetRanges({{1, 2}, {3, 5}});
    c->SetIncluded(false);
    rig.Section(0)->SetExpanded(true);
    rig.wrapper->grab();
    rig.RunQueue();
    const QImage shot = rig.wrapper->grab().toImage();
    const test::ScreenshotFolder folder;
    EXPECT_TRUE(shot.save(folder.filePath(QStringLiteral("output-column.png"))));
    // The band, a header and the page background carry their colours.
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(220, 220, 220));
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(245, 245, 245));
    const int y0 = COutputAreaWrapper::kBandHeight;
    EXPECT_EQ(shot.pixelColor(150, y0 + 6), QColor(220, 220, 220));
    EXPECT_EQ(shot.pixelColor(22, y0 + 40), QColor(245, 245, 245));
    EXPECT_EQ(rig.wrapper->TitleText(), QStringLiteral("Output File: 6 Pages"));
}

} // namespace

namespace {

TEST(OutputArea, LongFileNamesAreCutAfterAWholeWord) {
    const QFont font = BoxFont(9, false, nullptr);
    const QFontMetrics m(font);
    const QString name = QString::fromUtf8("crème brûlée – ÉTÉ.pdf");
    EXPECT_EQ(TrimAtWord(name, m, m.horizontalAdvance(name)), name);
    const QString cut = TrimAtWord(name, m, m.horizontalAdvance(name) - 1);
    EXPECT_EQ(cut, QString::fromUtf8("crème brûlée –…"));
    const QString two =
        TrimAtWord(name, m, m.horizontalAdvance(QString::fromUtf8("crème brûlée…")));
    EXPECT_EQ(two, QString::fromUtf8("crème brûlée…"));
    // A single word too long for the room is cut inside it, and never overflows.
    const QString word = QStringLiteral("R-intro_appendix.pdf");
    for (int width : {10, 40, 70}) {
        EXPECT_LE(m.horizontalAdvance(TrimAtWord(word, m, width)), width) << width;
    }
    EXPECT_EQ(TrimAtWord(word, m, m.horizontalAdvance(QStringLiteral("R-intro_…"))),
              QStringLiteral("R-intro_…"));
    // A cut after a short first word would leave most of the room empty: the name is cut inside
    // its long last word instead, keeping all that fits.
    const QString encrypted = QStringLiteral("enc-XI-R6,V5,O=master.pdf");
    const int room = m.horizontalAdvance(QStringLiteral("enc-XI-R6,V5,O=mas…"));
    const QString shown = TrimAtWord(encrypted, m, room);
    EXPECT_LE(m.horizontalAdvance(shown), room);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("enc-XI-R6,V5,O="))) << shown.toStdString();
}

} // namespace
