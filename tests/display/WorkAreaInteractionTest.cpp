// What a user does in the work area: typing page ranges, ticking check boxes, context menus,
// dragging headers to reorder documents, dropping files and folders from the desktop, removing a
// document, hovering, tooltips and accessible names; and a screenshot to look at.

#include "DisplayTestSupport.h"
#include "support/ScreenshotFolder.h"

#include "engine/DocumentPrompts.h"
#include "res/CommandIds.h"
#include "res/Menus.h"
#include "work/RegisteredMessage.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

using test::WorkAreaRig;

QString Ranges(const CDoc* doc) {
    return doc->ranges().Format();
}

// Makes the view's window active so that its controls can hold the keyboard focus.
void Activate(QWidget* view) {
    view->show();
    view->activateWindow();
    QApplication::setActiveWindow(view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
}

TEST(RangeEdit, AppliesLiveShowsRedWhenInvalidAndRestoresOnFocusLoss) {
    WorkAreaRig rig(500, 400);
    CDoc* doc = rig.Add("c-linearized.pdf"); // 30 pages
    ASSERT_NE(doc, nullptr);
    Activate(rig.view.get());
    QLineEdit* edit = rig.Box(0)->header()->rangeEdit;
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "1-30");
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, "1-3, 7");
    EXPECT_EQ(Ranges(doc), "1-3, 7");
    EXPECT_EQ(edit->text(), "1-3, 7");
    EXPECT_NE(edit->palette().color(QPalette::Text), QColor(255, 0, 0));

    QTest::keyClicks(edit, "0"); // 1-3, 70: past the last page
    EXPECT_EQ(edit->text(), "1-3, 70");
    EXPECT_EQ(Ranges(doc), "1-3, 7");
    EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(255, 0, 0));

    edit->clearFocus();
    EXPECT_EQ(edit->text(), "1-3, 7");
    EXPECT_NE(edit->palette().color(QPalette::Text), QColor(255, 0, 0));

    // While the user types, a change from elsewhere leaves the text alone; a menu command forces
    // it.
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    doc->SetRanges(PageRangeList{{2, 3}});
    EXPECT_EQ(edit->text(), "1-3, 7");
    rig.Box(0)->header()->OnMenuCommand(ids::ID_ADD_ALL_PAGES);
    EXPECT_EQ(edit->text(), "1-30");
}

TEST(CheckBoxes, ChooseAndDropPagesAndIncludeTheDocument) {
    WorkAreaRig rig(900, 600);
    CDoc* doc = rig.Add("boxes.pdf"); // 8 pages
    ASSERT_NE(doc, nullptr);
    rig.view->show();
    WorkAreaDoc* box = rig.Box(0);
    box->SetExpanded(true);
    auto* page3 = static_cast<WorkAreaPageDisplay*>(box->children[3].get());
    ASSERT_NE(page3->pageCheck, nullptr);
    EXPECT_TRUE(page3->pageCheck->isChecked());

    QTest::mouseClick(page3->pageCheck, Qt::LeftButton);
    EXPECT_EQ(Ranges(doc), "1-2, 4-8");
    EXPECT_EQ(box->header()->rangeEdit->text(), "1-2, 4-8");
    QTest::mouseClick(page3->pageCheck, Qt::LeftButton);
    EXPECT_EQ(Ranges(doc), "1-8");

    // A range typed elsewhere ticks and clears the page check boxes.
    doc->SetRanges(PageRangeList{{2, 4}});
    for (std::size_t i = 1; i < box->children.size(); ++i) {
        auto* page = static_cast<WorkAreaPageDisplay*>(box->children[i].get());
        EXPECT_EQ(page->pageCheck->isChecked(), page->page == 2 || page->page == 3) << page->page;
    }

    QCheckBox* include = box->header()->includeCheck;
    QTest::mouseClick(include, Qt::LeftButton);
    EXPECT_FALSE(doc->included());
    EXPECT_FALSE(include->isChecked());
    EXPECT_EQ(rig.sink.codes.back(), NotifyCode::DocIncludedChanged);
    doc->SetIncluded(true);
    EXPECT_TRUE(include->isChecked());

    // Check boxes take the document's state colour as background.
    EXPECT_EQ(include->palette().color(QPalette::Window), QColor(176, 196, 222));
    box->SetExpanded(false);
    EXPECT_EQ(include->palette().color(QPalette::Window), QColor(220, 220, 220));
}

// Chooses the action with the given command id and records how the menu was prepared.
struct MenuPick {
    int command = 0;
    std::vector<std::pair<int, bool>> enabled;
    std::vector<std::pair<int, bool>> checked;
    int shown = 0;
};

void UseMenuPick(MenuPick& pick) {
    CBaseAreaView::SetMenuRunner([&pick](QMenu& menu, const QPoint&) -> QAction* {
        ++pick.shown;
        pick.enabled.clear();
        pick.checked.clear();
        QAction* chosen = nullptr;
        for (QAction* a : menu.actions()) {
            if (a->isSeparator()) {
                continue;
            }
            pick.enabled.emplace_back(a->data().toInt(), a->isEnabled());
            pick.checked.emplace_back(a->data().toInt(), a->isChecked());
            if (a->data().toInt() == pick.command) {
                chosen = a;
            }
        }
        return chosen;
    });
}

bool StateOf(const std::vector<std::pair<int, bool>>& states, int id) {
    for (const auto& [cmd, on] : states) {
        if (cmd == id) {
            return on;
        }
    }
    ADD_FAILURE() << "no item " << id;
    return false;
}

TEST(ContextMenus, PreparationAndEffects) {
    WorkAreaRig rig(900, 600);
    CDoc* doc = rig.Add("boxes.pdf");
    ASSERT_NE(doc, nullptr);
    WorkAreaDoc* box = rig.Box(0);
    box->SetExpanded(true);
    MenuPick pick;
    UseMenuPick(pick);
    const QPoint onHeader = box->header()->rect.center();
    const QPoint onPage4 = box->children[4]->rect.center();

    // Every page chosen: "Add all" is disabled, "De-Select all" enabled.
    pick.command = ids::ID_DESELECT_ALL_PAGES;
    rig.view->ShowContextMenu(onHeader, QPoint());
    EXPECT_EQ(pick.shown, 1);
    EXPECT_FALSE(StateOf(pick.enabled, ids::ID_ADD_ALL_PAGES));
    EXPECT_TRUE(StateOf(pick.enabled, ids::ID_DESELECT_ALL_PAGES));
    EXPECT_TRUE(doc->ranges().IsEmpty());
    EXPECT_EQ(box->header()->rangeEdit->text(), "");
    for (std::size_t i = 1; i < box->children.size(); ++i) {
        EXPECT_FALSE(
            static_cast<WorkAreaPageDisplay*>(box->children[i].get())->pageCheck->isChecked());
    }

    // Nothing chosen: the other way round.
    pick.command = 0;
    rig.view->ShowContextMenu(onHeader, QPoint());
    EXPECT_TRUE(StateOf(pick.enabled, ids::ID_ADD_ALL_PAGES));
    EXPECT_FALSE(StateOf(pick.enabled, ids::ID_DESELECT_ALL_PAGES));

    // The page menu is checked when the page is chosen, and toggles it.
    pick.command = ids::ID_USE_PAGE_IN_MERGE;
    rig.view->ShowContextMenu(onPage4, QPoint());
    EXPECT_FALSE(StateOf(pick.checked, ids::ID_USE_PAGE_IN_MERGE));
    EXPECT_FALSE(rig.view->UsePageCommandChecked());
    EXPECT_EQ(Ranges(doc), "4");
    rig.view->ShowContextMenu(onPage4, QPoint());
    EXPECT_TRUE(StateOf(pick.checked, ids::ID_USE_PAGE_IN_MERGE));
    EXPECT_TRUE(rig.view->UsePageCommandChecked());
    EXPECT_EQ(Ranges(doc), "");

    // Excluded documents count as choosing nothing; "Add all" chooses 1..n.
    doc->SetRanges(PageRangeList{{1, 9}});
    doc->SetIncluded(false);
    pick.command = ids::ID_ADD_ALL_PAGES;
    rig.view->ShowContextMenu(onHeader, QPoint());
    EXPECT_TRUE(StateOf(pick.enabled, ids::ID_ADD_ALL_PAGES));
    EXPECT_FALSE(StateOf(pick.enabled, ids::ID_DESELECT_ALL_PAGES));
    EXPECT_EQ(Ranges(doc), "1-8");

    // Outside every box: no menu.
    const int before = pick.shown;
    rig.view->ShowContextMenu(QPoint(880, 590), QPoint());
    EXPECT_EQ(pick.shown, before);

    // "Remove Document" is posted and carried out after the handler returned.
    pick.command = ids::ID_REMOVE_DOCUMENT;
    rig.view->ShowContextMenu(onHeader, QPoint());
    EXPECT_EQ(rig.list->size(), 1u);
    QCoreApplication::sendPostedEvents(rig.view.get());
    EXPECT_EQ(rig.list->size(), 0u);
    EXPECT_TRUE(rig.view->boxes().empty());
    CBaseAreaView::SetMenuRunner({});
}

TEST(RemoveButton, RemovalIsPostedAndATwiceRequestedRemovalIsHarmless) {
    WorkAreaRig rig(900, 600);
    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);
    ASSERT_NE(rig.Add("refcard-nf.pdf"), nullptr);
    rig.view->show();
    QToolButton* remove = rig.Box(0)->header()->removeButton;
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(remove->accessibleName(), "Remove boxes.pdf");
    EXPECT_EQ(remove->toolTip(), LoadResString(ids::IDS_REMOVE_FILE_TIP));
    QTest::mouseClick(remove, Qt::LeftButton);
    QTest::mouseClick(remove, Qt::LeftButton); // a second click before the first is carried out
    EXPECT_EQ(rig.list->size(), 2u);
    QCoreApplication::sendPostedEvents(rig.view.get());
    ASSERT_EQ(rig.list->size(), 1u);
    EXPECT_EQ(FileNameOf(rig.list->at(0)->path()), "refcard-nf.pdf");
    EXPECT_EQ(rig.view->boxes().size(), 1u);
    EXPECT_EQ(rig.Box(0)->header()->rect.topLeft(), QPoint(3, 3));
}

// Drags header `from` to the client point `to` with real mouse events; returns the file names in
// list order afterwards.
QStringList DragHeader(WorkAreaRig& rig, std::size_t from, const QPoint& to) {
    CWorkAreaView* view = rig.view.get();
    const QPoint start = rig.Box(from)->header()->rect.center() - QPoint(0, view->scrollPos());
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, to);
    QStringList names;
    for (const auto& doc : rig.list->documents()) {
        names << FileNameOf(doc->path());
    }
    return names;
}

class HeaderDrag : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"boxes.pdf", "refcard-nf.pdf", "grid_example.pdf"}) {
            ASSERT_NE(rig.Add(name), nullptr);
        }
        rig.view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.view.get()));
    }
    QPoint HeaderPoint(std::size_t i, int dx, int dy) const {
        const QRect r = rig.Box(i)->header()->rect;
        return r.topLeft() + QPoint(dx, dy);
    }
    WorkAreaRig rig{700, 500};
    const QStringList original{"boxes.pdf", "refcard-nf.pdf", "grid_example.pdf"};
};

TEST_F(HeaderDrag, MarkAndTargetFollowThePointer) {
    CWorkAreaView* view = rig.view.get();
    // Start on the second header; over itself there is no target and no mark.
    view->LeftButtonDownAt(HeaderPoint(1, 60, 100));
    ASSERT_TRUE(view->dragging());
    EXPECT_EQ(view->draggedBox(), rig.Box(1));
    EXPECT_FALSE(view->dragImage().isNull());
    EXPECT_LE(view->dragHotspot().x(), 0);
    view->MouseMoveAt(HeaderPoint(1, 20, 100));
    EXPECT_EQ(view->dropTarget(), nullptr);
    // The right half of the left neighbour means "after the first": no move, no mark.
    view->MouseMoveAt(HeaderPoint(0, 120, 100));
    EXPECT_EQ(view->dropTarget(), nullptr);
    // The left half of the right neighbour means "before the third": no move either.
    view->MouseMoveAt(HeaderPoint(2, 10, 100));
    EXPECT_EQ(view->dropTarget(), nullptr);
    // The right half of the third: after it, with the mark on it.
    view->MouseMoveAt(HeaderPoint(2, 120, 100));
    EXPECT_EQ(view->dropTarget(), rig.Box(2));
    EXPECT_TRUE(view->dropAfter());
    EXPECT_TRUE(rig.Box(2)->dropMarkShown);
    // The left half of the first: before it.
    view->MouseMoveAt(HeaderPoint(0, 10, 100));
    EXPECT_EQ(view->dropTarget(), rig.Box(0));
    EXPECT_FALSE(view->dropAfter());
    EXPECT_FALSE(rig.Box(2)->dropMarkShown);
    EXPECT_TRUE(rig.Box(0)->dropMarkShown);
    // Switching to another application cancels: no move, no mark left behind.
    view->Notify(NotifyCode::AppDeactivated, nullptr);
    EXPECT_FALSE(view->dragging());
    EXPECT_FALSE(rig.Box(0)->dropMarkShown);
    view->LeftButtonUpAt(HeaderPoint(0, 10, 100));
    QStringList names;
    for (const auto& doc : rig.list->documents()) {
        names << FileNameOf(doc->path());
    }
    EXPECT_EQ(names, original);
}

TEST_F(HeaderDrag, ReordersWithSimulatedMouseEvents) {
    struct Case {
        const char* what;
        std::size_t from;
        QPoint to;
        QStringList expected;
    };
    // Row of three collapsed headers at x = 3, 148, 293 (139 x 163), y = 3.
    const Case cases[] = {
        {"onto itself", 1, {170, 80}, original},
        {"just after its left neighbour", 1, {120, 80}, original},
        {"just before its right neighbour", 1, {300, 80}, original},
        {"above the first header", 1, {50, 1}, {"refcard-nf.pdf", "boxes.pdf", "grid_example.pdf"}},
        {"below everything", 0, {100, 400}, {"refcard-nf.pdf", "grid_example.pdf", "boxes.pdf"}},
        {"right of the row", 0, {600, 80}, {"refcard-nf.pdf", "grid_example.pdf", "boxes.pdf"}},
        {"after the third", 0, {420, 80}, {"refcard-nf.pdf", "grid_example.pdf", "boxes.pdf"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Back to the original order.
        for (int i = static_cast<int>(original.size()) - 1; i >= 0; --i) {
            for (const auto& doc : rig.list->documents()) {
                if (FileNameOf(doc->path()) == original[i]) {
                    rig.list->MoveDocument(doc.get(), nullptr);
                    break;
                }
            }
        }
        const auto orderChanges =
            std::count(rig.sink.codes.begin(), rig.sink.codes.end(), NotifyCode::DocOrderChanged);
        EXPECT_EQ(DragHeader(rig, c.from, c.to), c.expected);
        EXPECT_FALSE(rig.view->dragging());
        const auto after =
            std::count(rig.sink.codes.begin(), rig.sink.codes.end(), NotifyCode::DocOrderChanged);
        EXPECT_EQ(after - orderChanges, c.expected == original ? 0 : 1);
        // The boxes follow the list.
        for (std::size_t i = 0; i < rig.list->size(); ++i) {
            EXPECT_EQ(rig.Box(i)->doc, rig.list->at(i));
        }
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_FALSE(rig.Box(i)->dropMarkShown);
        }
    }
}

TEST(HeaderDragRules, OneDocumentStartsNoDragAndNoHover) {
    WorkAreaRig rig(500, 400);
    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);
    const QPoint p = rig.Box(0)->header()->rect.center();
    rig.view->MouseMoveAt(p);
    EXPECT_FALSE(rig.Box(0)->hovered);
    rig.view->LeftButtonDownAt(p);
    EXPECT_FALSE(rig.view->dragging());

    // With two, the header under the pointer takes the hover colours, buttons included.
    ASSERT_NE(rig.Add("refcard-nf.pdf"), nullptr);
    rig.view->MouseMoveAt(p);
    EXPECT_TRUE(rig.Box(0)->hovered);
    EXPECT_EQ(rig.Box(0)->header()->removeButton->palette().color(QPalette::Button),
              QColor(240, 240, 240));
    rig.view->MouseMoveAt(rig.Box(1)->header()->rect.center());
    EXPECT_FALSE(rig.Box(0)->hovered);
    EXPECT_TRUE(rig.Box(1)->hovered);
    EXPECT_EQ(rig.Box(0)->header()->removeButton->palette().color(QPalette::Button),
              QColor(220, 220, 220));
}

TEST(HeaderDragRules, RemovingTheDraggedDocumentEndsTheDrag) {
    WorkAreaRig rig(700, 400);
    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);
    ASSERT_NE(rig.Add("refcard-nf.pdf"), nullptr);
    rig.view->LeftButtonDownAt(rig.Box(0)->header()->rect.center());
    ASSERT_TRUE(rig.view->dragging());
    rig.view->MouseMoveAt(QPoint(400, 80));
    EXPECT_EQ(rig.view->dropTarget(), rig.Box(1));
    rig.list->RemoveDocument(rig.list->at(0));
    EXPECT_FALSE(rig.view->dragging());
    rig.view->LeftButtonUpAt(QPoint(400, 80));
    EXPECT_EQ(rig.list->size(), 1u);
}

TEST(HeaderDragRules, AutoScrollRunsOnlyWithAScrollBar) {
    WorkAreaRig rig(500, 300);
    for (const char* name : {"boxes.pdf", "refcard-nf.pdf", "grid_example.pdf", "to-rotate.pdf"}) {
        ASSERT_NE(rig.Add(name), nullptr);
    }
    ASSERT_TRUE(rig.view->ScrollBarShown());
    rig.view->LeftButtonDownAt(rig.Box(0)->header()->rect.center());
    EXPECT_TRUE(rig.view->autoScrollRunning());
    rig.view->EndDrag(true);
    EXPECT_FALSE(rig.view->autoScrollRunning());
}

// Sends a desktop drop of file URLs to the view, as the platform delivers it.
bool DropUrls(QWidget* view, const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) {
        urls << QUrl::fromLocalFile(p);
    }
    mime.setUrls(urls);
    const QPoint at(50, 50);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &drop);
    return drop.isAccepted();
}

TEST(DesktopDrop, FilesAndFoldersAreAddedInTheOrderGiven) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(test::pdfPath("refcard-nf.pdf"), folder + "/b.pdf"));
    ASSERT_TRUE(QFile::copy(test::pdfPath("boxes.pdf"), folder + "/A.PDF"));
    ASSERT_TRUE(QFile::copy(test::pdfPath("boxes.pdf"), folder + "/notes.txt"));

    WorkAreaRig rig(700, 500);
    int messages = 0;
    SetErrorReporter([&](const ErrorReport&) { ++messages; });
    ASSERT_TRUE(
        DropUrls(rig.view.get(), {test::pdfPath("grid_example.pdf"), folder,
                                  dir.filePath("missing.pdf"), test::pdfPath("to-rotate.pdf")}));
    QStringList names;
    for (const auto& doc : rig.list->documents()) {
        names << FileNameOf(doc->path());
    }
    EXPECT_EQ(names, (QStringList{"grid_example.pdf", "A.PDF", "b.pdf", "to-rotate.pdf"}));
    EXPECT_EQ(rig.view->boxes().size(), 4u);
    EXPECT_EQ(messages, 0); // a missing entry is skipped silently

    // A file that is not a PDF is offered all the same and reported by the document list.
    ASSERT_TRUE(DropUrls(rig.view.get(), {test::pdfPath("not-a-pdf.pdf")}));
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(rig.list->size(), 4u);
    SetErrorReporter({});

    // Something that is not a local file is not accepted at all.
    QMimeData web;
    web.setUrls({QUrl("https://example.org/x.pdf")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &web, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.view.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST(EmptyArea, AClickOpensAddFileAndTheTwoLinesAreDrawn) {
    WorkAreaRig rig(500, 300);
    std::vector<int> commands;
    rig.view->SetCommandSink([&](int id) { commands.push_back(id); });
    rig.view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.view.get()));
    QTest::mouseClick(rig.view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 250));
    EXPECT_EQ(commands, std::vector<int>{ids::ID_ADD_FILE});

    const QImage shot = rig.view->grab().toImage();
    // Grey text above and below the middle line, nothing at the edges.
    auto inkRows = [&](int top, int bottom) {
        int rows = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                if (shot.pixel(x, y) != QColor(245, 245, 245).rgb()) {
                    ++rows;
                    break;
                }
            }
        }
        return rows;
    };
    EXPECT_GT(inkRows(120, 148), 5);
    EXPECT_GT(inkRows(152, 180), 5);
    EXPECT_EQ(inkRows(0, 100), 0);

    ASSERT_NE(rig.Add("boxes.pdf"), nullptr);
    QTest::mouseClick(rig.view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 250));
    EXPECT_EQ(commands.size(), 1u);
}

TEST(Tooltips, TitleShowsThePathAndControlsHaveAccessibleNames) {
    WorkAreaRig rig(900, 600);
    CDoc* doc = rig.Add("boxes.pdf");
    ASSERT_NE(doc, nullptr);
    WorkAreaDoc* box = rig.Box(0);
    box->SetExpanded(true);
    QRect tool;
    EXPECT_EQ(box->ToolHitTest(20, 15, &tool), 1);
    EXPECT_EQ(box->GetToolText(1), doc->path());
    EXPECT_EQ(tool, QRect(9, 9, 139 + 6 - 31 - 6, 24));
    EXPECT_EQ(box->ToolHitTest(20, 100, &tool), 0);

    WorkAreaDocDisplay* head = box->header();
    EXPECT_EQ(box->GetControlToolText(head->includeCheck), LoadResString(ids::IDS_TOGGLE_FILE_TIP));
    auto* page = static_cast<WorkAreaPageDisplay*>(box->children[1].get());
    EXPECT_EQ(box->GetControlToolText(page->pageCheck), LoadResString(ids::IDS_TOGGLE_PAGE_TIP));
    EXPECT_EQ(head->expandButton->toolTip(), LoadResString(ids::IDS_HIDE_CONTENTS));
    box->SetExpanded(false);
    EXPECT_EQ(head->expandButton->toolTip(), LoadResString(ids::IDS_SHOW_CONTENTS));
    EXPECT_EQ(head->expandButton->accessibleName(), "Show pages of boxes.pdf");
    EXPECT_EQ(head->expandButton->accessibleDescription(), LoadResString(ids::IDS_SHOW_CONTENTS));
    box->SetExpanded(true);
    page = static_cast<WorkAreaPageDisplay*>(box->children[1].get()); // new page boxes

    // Every child control can be found by an accessible name.
    int controls = 0;
    for (QWidget* w :
         rig.view->ControlParent()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (rig.view->ControlId(w) == 0) {
            continue;
        }
        ++controls;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    }
    EXPECT_EQ(controls, rig.view->LiveControlCount());
    // Each name says what the control is and which document (and page) it belongs to; the
    // tooltips stay the descriptions.
    EXPECT_EQ(head->rangeEdit->accessibleName(), "Pages of boxes.pdf");
    EXPECT_EQ(head->includeCheck->accessibleName(), "Include boxes.pdf");
    EXPECT_EQ(head->includeCheck->accessibleDescription(), LoadResString(ids::IDS_TOGGLE_FILE_TIP));
    EXPECT_EQ(head->expandButton->accessibleName(), "Hide pages of boxes.pdf");
    EXPECT_EQ(page->pageCheck->accessibleName(), "Page 1 of boxes.pdf");
    EXPECT_EQ(page->pageCheck->accessibleDescription(), LoadResString(ids::IDS_TOGGLE_PAGE_TIP));
}

// What a screen reader finds in the area through Qt's accessibility interfaces: the view's name
// (the empty area's invitation only while it is empty), page check boxes with one name each, and
// the visible thumbnails as named images.
TEST(Accessibility, NamesPagesAndThumbnailsForScreenReaders) {
    WorkAreaRig rig(900, 600);
    rig.view->show();
    EXPECT_EQ(rig.view->accessibleName(), LoadResString(ids::IDS_EMPTY_AREA_TITLE));
    CDoc* doc = rig.Add("boxes.pdf"); // 8 pages
    ASSERT_NE(doc, nullptr);
    EXPECT_NE(rig.view->accessibleName(), LoadResString(ids::IDS_EMPTY_AREA_TITLE));
    EXPECT_FALSE(rig.view->accessibleName().isEmpty());
    rig.Box(0)->SetExpanded(true);

    QAccessibleInterface* canvas = QAccessible::queryAccessibleInterface(rig.view->ControlParent());
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(canvas->text(QAccessible::Name), rig.view->accessibleName());
    QStringList checks;
    QStringList images;
    for (int i = 0; i < canvas->childCount(); ++i) {
        QAccessibleInterface* child = canvas->child(i);
        ASSERT_NE(child, nullptr) << i;
        EXPECT_EQ(canvas->indexOfChild(child), i);
        EXPECT_FALSE(child->text(QAccessible::Name).isEmpty()) << i;
        if (child->role() == QAccessible::CheckBox) {
            checks << child->text(QAccessible::Name);
        } else if (child->role() == QAccessible::Graphic) {
            images << child->text(QAccessible::Name);
            EXPECT_EQ(child->parent(), canvas);
            EXPECT_FALSE(child->rect().isEmpty());
            EXPECT_EQ(canvas->childAt(child->rect().center().x(), child->rect().center().y()),
                      child);
        }
    }
    QStringList pages;
    for (int page = 1; page <= 8; ++page) {
        pages << QStringLiteral("Page %1 of boxes.pdf").arg(page);
    }
    checks.removeAll("Include boxes.pdf");
    checks.sort();
    EXPECT_EQ(checks, pages);
    EXPECT_TRUE(images.contains("First page of boxes.pdf")) << images.join(", ").toStdString();
    EXPECT_TRUE(images.contains("Thumbnail of page 8 of boxes.pdf"))
        << images.join(", ").toStdString();
    EXPECT_EQ(images.removeDuplicates(), 0);

    // The document leaves: its images go with it, and the area is empty again.
    QAccessibleInterface* image = nullptr;
    for (int i = 0; i < canvas->childCount() && image == nullptr; ++i) {
        if (canvas->child(i)->role() == QAccessible::Graphic) {
            image = canvas->child(i);
        }
    }
    ASSERT_NE(image, nullptr);
    const QAccessible::Id id = QAccessible::uniqueId(image);
    rig.list->ClearDocuments();
    EXPECT_EQ(rig.view->accessibleName(), LoadResString(ids::IDS_EMPTY_AREA_TITLE));
    for (int i = 0; i < canvas->childCount(); ++i) {
        EXPECT_NE(canvas->child(i)->role(), QAccessible::Graphic);
    }
    QAccessibleInterface* gone = QAccessible::accessibleInterface(id);
    EXPECT_TRUE(gone == nullptr || !gone->isValid());
}

// A keyboard-only user: Tab reaches the range edit, the check boxes and both buttons of a
// document in reading order, and Space or Enter presses what has the focus.
TEST(Keyboard, TabReachesEveryControlAndEnterOrSpacePressesIt) {
    WorkAreaRig rig(900, 600);
    CDoc* doc = rig.Add("boxes.pdf");
    ASSERT_NE(doc, nullptr);
    Activate(rig.view.get());
    QCoreApplication::sendPostedEvents(); // the Tab order is set once the layout is done
    WorkAreaDocDisplay* head = rig.Box(0)->header();
    head->rangeEdit->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return head->rangeEdit->hasFocus(); }));
    const QList<QWidget*> order{head->rangeEdit, head->includeCheck, head->removeButton,
                                head->expandButton};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
    }
    for (QWidget* control : order) {
        EXPECT_NE(control->focusPolicy() & Qt::TabFocus, 0)
            << control->accessibleName().toStdString();
    }

    // Enter on the expand button opens the document; its pages' check boxes follow in the order.
    QTest::keyClick(head->expandButton, Qt::Key_Return);
    ASSERT_TRUE(rig.Box(0)->expanded());
    QCoreApplication::sendPostedEvents();
    head->expandButton->setFocus(Qt::TabFocusReason);
    QTest::keyClick(head->expandButton, Qt::Key_Tab);
    auto* first = static_cast<WorkAreaPageDisplay*>(rig.Box(0)->children[1].get());
    ASSERT_EQ(QApplication::focusWidget(), first->pageCheck);
    // Space and Enter toggle the page's check box, and with it the page's place in the output.
    QTest::keyClick(first->pageCheck, Qt::Key_Space);
    EXPECT_EQ(Ranges(doc), "2-8");
    QTest::keyClick(first->pageCheck, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Ranges(doc), "1-8");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto* second = static_cast<WorkAreaPageDisplay*>(rig.Box(0)->children[2].get());
    EXPECT_EQ(QApplication::focusWidget(), second->pageCheck);

    // Enter on the remove button removes the document.
    head->removeButton->setFocus(Qt::TabFocusReason);
    QTest::keyClick(head->removeButton, Qt::Key_Return);
    QCoreApplication::sendPostedEvents(rig.view.get());
    EXPECT_EQ(rig.list->size(), 0u);
}

TEST(PageRetrieved, RepaintsTheBoxesShowingThePage) {
    WorkAreaRig rig(900, 400);
    CDoc* doc = rig.Add("refcard-nf.pdf");
    ASSERT_NE(doc, nullptr);
    WorkAreaDoc* box = rig.Box(0);
    box->SetExpanded(true);
    ResetWaitingImageRequests();
    (void)rig.view->grab();
    EXPECT_TRUE(box->header()->image.isNull());
    EXPECT_GE(rig.RunQueue(), 3);
    (void)rig.view->grab();
    EXPECT_FALSE(box->header()->image.isNull());
    EXPECT_FALSE(box->children[1]->image.isNull()); // page 1 refreshes header and page box
    EXPECT_FALSE(box->children[3]->image.isNull());
    EXPECT_EQ(WaitingImageRequests(), 0);
}

// Saves what the work area looks like with two documents, one expanded, a page deselected, the
// other excluded and hovered, and a drag in progress, into the folder PLYFOLD_SCREENSHOT_DIR names
// (else one of its own, removed after the run).
TEST(Screenshot, TwoDocumentsOneExpanded) {
    WorkAreaRig rig(760, 560);
    CDoc* a = rig.Add("R-intro.pdf");
    CDoc* b = rig.Add("to-rotate.pdf");
    CDoc* c = rig.Add("refcard-nf.pdf");
    ASSERT_TRUE(a && b && c);
    rig.view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.view.get()));
    rig.Box(1)->SetExpanded(true);
    b->SetRanges(b->ranges().Subtract({3, 5}));
    c->SetIncluded(false);
    (void)rig.view->grab();
    rig.RunQueue();
    (void)rig.view->grab();
    rig.RunQueue();
    rig.view->MouseMoveAt(rig.Box(0)->header()->rect.center());

    const test::ScreenshotFolder folder;
    const QImage still = rig.view->grab().toImage();
    EXPECT_TRUE(still.save(folder.filePath("work-area.png")));

    // Drag the first document over the last row of the expanded one: the mark goes after it.
    rig.view->LeftButtonDownAt(rig.Box(0)->header()->rect.topLeft() + QPoint(50, 100));
    const QRect late = rig.Box(1)->children[18]->rect.translated(0, -rig.view->scrollPos());
    rig.view->MouseMoveAt(late.center());
    const QImage dragging = rig.view->grab().toImage();
    EXPECT_TRUE(dragging.save(folder.filePath("work-area-drag.png")));
    EXPECT_EQ(rig.view->dropTarget(), rig.Box(1));
    EXPECT_TRUE(rig.Box(1)->dropMarkShown);
    EXPECT_TRUE(rig.view->dropAfter());
    rig.view->EndDrag(true);

    WorkAreaRig empty(760, 300);
    empty.view->show();
    EXPECT_TRUE(empty.view->grab().toImage().save(folder.filePath("work-area-empty.png")));
}

} // namespace
} // namespace plyfold
