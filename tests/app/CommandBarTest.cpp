#include "FakeWindows.h"

#include "app/CCommandsWnd.h"
#include "app/CMainFrame.h"
#include "app/CMainView.h"
#include "app/ShellOpen.h"
#include "controls/CPictureStatic.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "engine/ProcessGlobals.h"
#include "res/CommandIds.h"
#include "res/Links.h"
#include "support/TestData.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

using namespace plyfold;
using namespace plyfold::test;

namespace {

constexpr int kBarHeight = 72;

// A command bar inside a stand-in main frame, at a chosen width.
class CommandBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedThumbnailSize = thumbnailSize;
        thumbnailSize = 100;
        frame = std::make_unique<FakeFrame>();
        bar = new CCommandsWnd(frame.get());
        frame->resize(1200, kBarHeight);
        bar->resize(1200, kBarHeight);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override {
        frame.reset();
        thumbnailSize = savedThumbnailSize;
    }

    void SetWidth(int cx) {
        frame->resize(cx, kBarHeight);
        bar->resize(cx, kBarHeight);
    }

    int leftLimit() const { return bar->logo().width() + 6; }
    int width(CCommandButton* b) const { return b->sizeHint().width(); }
    int groupWidth() const {
        return bar->smallPicture()->width() + bar->zoomSlider()->width() +
               bar->largePicture()->width() + 2 * 3;
    }

    // "F", "D", "C", "S" for the visible buttons, "Z" for the zoom group.
    QString Visible() const {
        QString shown;
        const char letters[] = "FDCS";
        for (std::size_t i = 0; i < 4; ++i) {
            if (!bar->commandButtons()[i]->isHidden()) {
                shown += QLatin1Char(letters[i]);
            }
        }
        const bool zoom = !bar->zoomSlider()->isHidden();
        EXPECT_EQ(zoom, !bar->smallPicture()->isHidden());
        EXPECT_EQ(zoom, !bar->largePicture()->isHidden());
        if (zoom) {
            shown += QLatin1Char('Z');
        }
        return shown;
    }

    int savedThumbnailSize = 100;
    std::unique_ptr<FakeFrame> frame;
    CCommandsWnd* bar = nullptr;
};

TEST_F(CommandBarTest, HidesAndBringsBackControlsAsTheWidthChanges) {
    CCommandButton* const f = bar->addFileButton();
    CCommandButton* const d = bar->addFolderButton();
    CCommandButton* const c = bar->clearAllButton();
    CCommandButton* const s = bar->saveMergedButton();
    const int L = leftLimit();
    // Widths at the edges of each rule: Save Merged's left edge meeting the left limit, a button's
    // right edge meeting the right limit (cx - 223), the zoom group's free space W + 6.
    const int saveEdge = L + 220 - (220 - width(s)) / 2;
    const int fileEdge = L + width(f) + 223;
    const int folderEdge = L + width(f) + 3 + width(d) + 223;
    const int clearEdge = L + width(f) + 3 + width(d) + 3 + width(c) + 223;
    // Without Add Folder, Clear All moves up next to Add File (a hidden button takes no room but
    // its gap) and stays as long as it fits there.
    const int clearAloneEdge = L + width(f) + 3 + 3 + width(c) + 223;
    ASSERT_LT(clearAloneEdge, folderEdge) << "Clear All is narrower than Add Folder";
    const int zoomEdge = clearEdge + 3 + groupWidth() + 6;
    struct Case {
        int cx;
        const char* visible;
    };
    const Case cases[] = {
        {1600, "FDCSZ"},
        {zoomEdge, "FDCSZ"},
        {zoomEdge - 1, "FDCS"},
        {clearEdge, "FDCS"},
        {clearEdge - 1, "FDS"},
        {folderEdge, "FDS"},
        {folderEdge - 1, "FCS"},
        {clearAloneEdge, "FCS"},
        {clearAloneEdge - 1, "FS"},
        {fileEdge, "FS"},
        {fileEdge - 1, "S"},
        {saveEdge, "S"},
        {saveEdge - 1, ""},
        {250, ""},
        {1600, "FDCSZ"}, // widening again brings everything back
    };
    for (const Case& k : cases) {
        SetWidth(k.cx);
        EXPECT_EQ(Visible(), QString::fromLatin1(k.visible)) << "width " << k.cx;
        // A hidden button offers no tooltip; a visible one has its own.
        for (CCommandButton* b : bar->commandButtons()) {
            EXPECT_EQ(b->isHidden(), b->tipText().isEmpty()) << k.cx;
        }
    }
}

TEST_F(CommandBarTest, PlacesControlsWithoutOverlapInsideTheirLimits) {
    for (int cx = 300; cx <= 1500; cx += 7) {
        SetWidth(cx);
        const QRect logo = bar->logoRect();
        EXPECT_EQ(logo, QRect(3, (kBarHeight - 56) / 2, 198, 56));
        EXPECT_EQ(bar->helpButton()->geometry().topRight(), QPoint(cx - 1, 0));

        std::vector<QWidget*> shown;
        for (CCommandButton* b : bar->commandButtons()) {
            if (!b->isHidden()) {
                shown.push_back(b);
                EXPECT_EQ(b->y(), (kBarHeight - b->height()) / 2);
            }
        }
        for (QWidget* w :
             {static_cast<QWidget*>(bar->smallPicture()), static_cast<QWidget*>(bar->zoomSlider()),
              static_cast<QWidget*>(bar->largePicture())}) {
            if (!w->isHidden()) {
                shown.push_back(w);
                EXPECT_EQ(w->y(), kBarHeight / 2 - w->height() / 2);
            }
        }
        for (QWidget* w : shown) {
            EXPECT_GE(w->x(), leftLimit()) << cx;
            EXPECT_LE(w->geometry().right(), cx - 1) << cx;
            for (QWidget* other : shown) {
                if (other != w) {
                    EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                        << cx << " " << w->objectName().toStdString() << " / "
                        << other->objectName().toStdString();
                }
            }
        }
        CCommandButton* save = bar->saveMergedButton();
        if (!save->isHidden()) {
            EXPECT_EQ(save->x(), cx - 220 + (220 - save->width()) / 2);
        }
        if (!bar->zoomSlider()->isHidden()) {
            // The group is centred between the last visible left button and the right limit.
            EXPECT_EQ(bar->zoomSlider()->size(), QSize(100, 24));
            EXPECT_EQ(bar->zoomSlider()->x(), bar->smallPicture()->geometry().right() + 1 + 3);
            EXPECT_EQ(bar->largePicture()->x(), bar->zoomSlider()->geometry().right() + 1 + 3);
        }
    }
}

TEST_F(CommandBarTest, ButtonsCarryCaptionsPicturesAndTwoPartTooltips) {
    struct Case {
        CCommandButton* button;
        int command;
        const char* caption;
        const char* tip;
    };
    const Case cases[] = {
        {bar->addFileButton(), ids::ID_ADD_FILE, "Add File",
         "Add File (Ctrl+O)\nAdd a file to merge"},
        {bar->addFolderButton(), ids::ID_ADD_FOLDER, "Add Folder",
         "Add Folder (ctrl+f)\nAdd contents of folder to merge"},
        {bar->clearAllButton(), ids::ID_EDIT_CLEAR, "Clear All",
         "Clear All (ctrl+x)\nRemove all files from merge"},
        {bar->saveMergedButton(), ids::ID_FILE_SAVE, "Save Merged",
         "Save Merged (ctrl+s)\nCreate merged file and save"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.button->commandId(), c.command);
        EXPECT_EQ(c.button->text(), c.caption);
        EXPECT_EQ(c.button->picture().size(), QSize(32, 32));
        EXPECT_EQ(c.button->tipText(), c.tip);
        const QString title = QString::fromUtf8(c.tip).section('\n', 0, 0);
        const QString description = QString::fromUtf8(c.tip).section('\n', 1);
        EXPECT_TRUE(c.button->toolTip().contains("<b>" + title + "</b>")) << c.caption;
        EXPECT_TRUE(c.button->toolTip().contains(description)) << c.caption;
        EXPECT_EQ(c.button->font().family(), "Arial");
        EXPECT_TRUE(c.button->font().bold());
        EXPECT_EQ(c.button->font().pointSize(), 11);
    }
    EXPECT_EQ(bar->helpButton()->commandId(), ids::ID_HELP);
    EXPECT_TRUE(bar->helpButton()->text().isEmpty());
    EXPECT_TRUE(bar->helpButton()->toolTip().isEmpty());
    EXPECT_EQ(bar->helpButton()->picture().size(), QSize(16, 16));
    EXPECT_EQ(bar->smallPicture()->PictureSize(), QSize(16, 16));
    EXPECT_EQ(bar->largePicture()->PictureSize(), QSize(24, 24));
    // Markup in a tooltip text is shown as text.
    EXPECT_TRUE(TwoPartToolTip("a<b\nc&d").contains("a&lt;b"));
    EXPECT_TRUE(TwoPartToolTip("a<b\nc&d").contains("c&amp;d"));
}

TEST_F(CommandBarTest, ButtonsPostTheirCommandIdsToTheTopLevelWindow) {
    for (CCommandButton* b : bar->commandButtons()) {
        QTest::mouseClick(b, Qt::LeftButton);
    }
    EXPECT_TRUE(frame->commands.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->commands, (QList<int>{ids::ID_ADD_FILE, ids::ID_ADD_FOLDER, ids::ID_EDIT_CLEAR,
                                           ids::ID_FILE_SAVE}));
    // Space on a focused button clicks it too.
    frame->commands.clear();
    bar->clearAllButton()->setFocus();
    QTest::keyClick(bar->clearAllButton(), Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->commands, (QList<int>{ids::ID_EDIT_CLEAR}));
}

TEST_F(CommandBarTest, HelpButtonDropsMenu325AndForwardsTheChoice) {
    struct Item {
        int command;
        const char* text; // null: separator
    };
    const Item expected[] = {
        {ids::ID_ONLINE_HELP, "Plyfold Online &Help..."},
        {ids::ID_WEBSITE, links::kMakerHost},
        {ids::ID_TRY_TABULON, "Try &Tabulon"},
        {0, nullptr},
        {ids::ID_CHECK_FOR_UPDATES, "Check for &Updates"},
        {0, nullptr},
        {ids::ID_APP_ABOUT, "About &Plyfold..."},
    };
    const QList<QAction*> actions = bar->helpMenu()->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        if (expected[i].text == nullptr) {
            EXPECT_TRUE(actions[i]->isSeparator()) << i;
            continue;
        }
        EXPECT_EQ(actions[i]->data().toInt(), expected[i].command) << i;
        EXPECT_EQ(actions[i]->text(), expected[i].text) << i;
    }

    struct Case {
        int choose; // 0: the menu is dismissed
        QList<int> posted;
    };
    const Case cases[] = {{ids::ID_CHECK_FOR_UPDATES, {ids::ID_CHECK_FOR_UPDATES}},
                          {ids::ID_APP_ABOUT, {ids::ID_APP_ABOUT}},
                          {0, {}}};
    for (const Case& c : cases) {
        QPoint openedAt;
        bar->SetMenuRunner([&](QMenu& menu, const QPoint& pos) -> QAction* {
            openedAt = pos;
            for (QAction* a : menu.actions()) {
                if (c.choose != 0 && a->data().toInt() == c.choose) {
                    return a;
                }
            }
            return nullptr;
        });
        frame->commands.clear();
        QTest::mouseClick(bar->helpButton(), Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_EQ(openedAt, bar->helpButton()->mapToGlobal(QPoint(0, bar->helpButton()->height())));
        // The help command itself never reaches the frame.
        EXPECT_EQ(frame->commands, c.posted);
    }
}

TEST_F(CommandBarTest, SliderAppliesOnReleaseOrStepNeverWhileTracking) {
    QSlider* slider = bar->zoomSlider();
    EXPECT_EQ(slider->minimum(), 8);
    EXPECT_EQ(slider->maximum(), 16);
    EXPECT_EQ(slider->value(), 10);

    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderHandle, slider);
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderGroove, slider);
    const QPoint grab = handle.center();
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), QPointF(slider->mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(slider, &e);
    };

    // Drag the thumb to the far right: nothing changes until the release.
    send(QEvent::MouseButtonPress, grab, Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(grab.x() + 20, grab.y()), Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(groove.right() + 10, grab.y()), Qt::LeftButton);
    EXPECT_EQ(slider->sliderPosition(), 16);
    EXPECT_TRUE(frame->codes.isEmpty());
    EXPECT_EQ(thumbnailSize, 100);
    send(QEvent::MouseButtonRelease, QPoint(groove.right() + 10, grab.y()), Qt::NoButton);
    EXPECT_EQ(thumbnailSize, 160);
    EXPECT_EQ(frame->codes, (QList<NotifyCode>{NotifyCode::ThumbSizeChanged}));

    // Dragged away and back to where it was: released on the old value, nothing is sent.
    frame->codes.clear();
    const QRect handleNow = [&] {
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle,
                                               slider);
    }();
    send(QEvent::MouseButtonPress, handleNow.center(), Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(groove.left(), grab.y()), Qt::LeftButton);
    send(QEvent::MouseMove, handleNow.center(), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, handleNow.center(), Qt::NoButton);
    EXPECT_EQ(slider->value(), 16);
    EXPECT_TRUE(frame->codes.isEmpty());
    EXPECT_EQ(thumbnailSize, 160);

    // Steps apply at once: keys, and each step notifies once.
    slider->setFocus();
    struct Step {
        Qt::Key key;
        int size;
    };
    const Step steps[] = {
        {Qt::Key_Left, 150}, {Qt::Key_Home, 80}, {Qt::Key_PageUp, 90}, {Qt::Key_End, 160}};
    for (const Step& s : steps) {
        frame->codes.clear();
        QTest::keyClick(slider, s.key);
        EXPECT_EQ(thumbnailSize, s.size) << s.key;
        EXPECT_EQ(frame->codes.size(), 1) << s.key;
    }
    // A step past the end changes nothing and sends nothing.
    frame->codes.clear();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(thumbnailSize, 160);
    EXPECT_TRUE(frame->codes.isEmpty());

    // A click on the track left of the thumb changes the size at once.
    frame->codes.clear();
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(groove.left() + 2, grab.y()));
    EXPECT_LT(thumbnailSize, 160);
    EXPECT_EQ(thumbnailSize, slider->value() * 10);
    EXPECT_EQ(frame->codes.size(), 1);
}

TEST_F(CommandBarTest, LogoIsALinkToTheMakersHomePage) {
    QList<QUrl> opened;
    SetUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    const QRect logo = bar->logoRect();
    QTest::mouseMove(bar, logo.center());
    EXPECT_EQ(bar->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(bar, QPoint(logo.right() + 2, logo.center().y()));
    EXPECT_EQ(bar->cursor().shape(), Qt::ArrowCursor);

    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(logo.right() + 2, 5));
    QTest::mouseClick(bar, Qt::RightButton, Qt::NoModifier, logo.center());
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, logo.topLeft());
    SetUrlOpener({});
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl(QString::fromLatin1(links::kMakerHomeUrl)));
    EXPECT_TRUE(frame->commands.isEmpty());
}

TEST(MainFrameLook, EveryControlHasAnAccessibleName) {
    CMainFrame frame([](int) {});
    frame.resize(1100, 600);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    int controls = 0;
    for (QWidget* w : frame.findChildren<QWidget*>()) {
        const bool isControl = qobject_cast<QAbstractButton*>(w) != nullptr ||
                               qobject_cast<QAbstractSlider*>(w) != nullptr ||
                               qobject_cast<CPictureStatic*>(w) != nullptr;
        if (!isControl) {
            continue;
        }
        ++controls;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(face, nullptr);
        EXPECT_FALSE(face->text(QAccessible::Name).isEmpty()) << w->objectName().toStdString();
    }
    EXPECT_GE(controls, 8); // four buttons, help, slider, two pictures

    const CCommandsWnd* bar = frame.view()->commandBar();
    const char* const names[] = {"Add File", "Add Folder", "Clear All", "Save Merged"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(bar->commandButtons()[i]->accessibleName(), names[i]);
        EXPECT_FALSE(bar->commandButtons()[i]->accessibleDescription().isEmpty());
    }
    for (QAction* a : bar->helpMenu()->actions()) {
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->text().isEmpty());
        }
    }
}

// The window as a person sees it, wide and narrow: shading across the top, the logo, the grey
// strip between the areas. Set PLYFOLD_SCREENSHOT_DIR to keep the pictures.
TEST(MainFrameLook, ScreenshotsWideAndNarrow) {
    DocumentList documents;
    CMainFrame frame([](int) {}, &documents);
    for (const char* file : {"refcard-nf.pdf", "boxes.pdf", "grid_example.pdf"}) {
        ASSERT_NE(documents.AddDocument(pdfPath(QString::fromUtf8(file))), nullptr);
    }
    struct Case {
        const char* file;
        QSize size;
    };
    const Case cases[] = {{"frame-wide.png", {1100, 560}}, {"frame-narrow.png", {560, 400}}};
    for (const Case& c : cases) {
        frame.resize(c.size);
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        // Let the thumbnails arrive (they render on the page service's worker).
        for (int i = 0; i < 100; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QTest::qSleep(10);
            if (PDFInstanceManager::Global().QueuedRequests() == 0 && i > 20) {
                break;
            }
        }
        const QImage shot = frame.grab().toImage();
        ASSERT_EQ(shot.size(), c.size);
        const int e = CMainView::kClientEdge;
        // The bar's shading: light at the top, dark at the bottom.
        const QColor top(shot.pixel(c.size.width() / 2, e));
        const QColor bottom(shot.pixel(c.size.width() / 2, e + 71));
        EXPECT_NEAR(top.red(), 74, 8);
        EXPECT_NEAR(bottom.red(), 12, 8);
        // The strip between the areas.
        const int stripX = c.size.width() - e - 220 - 2;
        EXPECT_EQ(QColor(shot.pixel(stripX, c.size.height() - 20)), QColor(105, 105, 105));
        if (const QByteArray dir = qgetenv("PLYFOLD_SCREENSHOT_DIR"); !dir.isEmpty()) {
            QDir().mkpath(QString::fromLocal8Bit(dir));
            EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(c.file)));
        }
    }
}

} // namespace
