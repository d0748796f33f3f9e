// The progress dialog: Cancel greys out and waits for the item, the bar follows the reports, and
// the layout.

#include "app/CNewProgressDlg.h"
#include "work/NewProgressHandler.h"
#include "work/ProgressTestSupport.h"
#include "work/WorkThreadWithProgress.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace plyfold {
namespace {

using test::BlockingItem;
using test::PumpUntil;
using namespace std::chrono_literals;

TEST(CNewProgressDlg, CancelGreysOutAndTheDialogStaysUntilTheItemFinishes) {
    QWidget mainWindow;
    WorkThreadWithProgress thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
    thread.Reset();

    CNewProgressDlg dialog(&mainWindow, &thread);
    dialog.storeResult = true;
    auto log = std::make_shared<BlockingItem::Log>();
    ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, log, 400ms)));

    bool buttonGreyedAtOnce = false;
    bool stayedWhileItemRan = false;
    bool sawMarquee = false;
    QString textShown;
    QTimer::singleShot(0, &dialog, [&] {
        ASSERT_TRUE(PumpUntil([&] {
            std::lock_guard<std::mutex> lock(log->mutex);
            return log->started;
        }));
        // Let the item's first reports arrive.
        PumpUntil([&] { return dialog.isMarquee(); }, 2000);
        sawMarquee = dialog.isMarquee();
        textShown = dialog.textLabel()->text();
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        buttonGreyedAtOnce = !dialog.cancelButton()->isEnabled() && dialog.cancelled;
        // The item lingers after its Cancel: the dialog must still be up.
        QTest::qWait(150);
        stayedWhileItemRan = dialog.isVisible() && !log->returned;
    });
    const int result = dialog.DoModal();

    EXPECT_EQ(result, 1);
    EXPECT_TRUE(sawMarquee);
    EXPECT_EQ(textShown, QStringLiteral("Checking for Updates"));
    EXPECT_TRUE(buttonGreyedAtOnce);
    EXPECT_TRUE(stayedWhileItemRan);
    EXPECT_TRUE(log->returned);
    EXPECT_TRUE(dialog.cancelled);
    EXPECT_EQ(dialog.finishedCode, 12);
    EXPECT_EQ(dialog.finishedValue, 4242);
    EXPECT_FALSE(dialog.cancelButton()->isEnabled()) << "EnableCancel(true) after the cancel";
    {
        std::lock_guard<std::mutex> lock(log->mutex);
        EXPECT_TRUE(log->cancelCalled);
        EXPECT_TRUE(log->flagReadTrueAfterCancel);
        EXPECT_TRUE(log->flagIsAlwaysCancelled);
    }
    EXPECT_TRUE(log->userCancelSeen);
    EXPECT_TRUE(thread.state().cancelled);
    EXPECT_FALSE(thread.HasDisplay(&dialog));
}

TEST(CNewProgressDlg, EscapeAndClosingCountAsCancelAndDoNotCloseIt) {
    for (const bool useEscape : {true, false}) {
        SCOPED_TRACE(useEscape ? "Escape" : "close");
        QWidget mainWindow;
        WorkThreadWithProgress thread;
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
        thread.Reset();
        CNewProgressDlg dialog(&mainWindow, &thread);
        dialog.storeResult = true;
        auto log = std::make_shared<BlockingItem::Log>();
        ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, log, 200ms)));

        bool visibleAfterCancel = false;
        QTimer::singleShot(0, &dialog, [&] {
            PumpUntil([&] {
                std::lock_guard<std::mutex> lock(log->mutex);
                return log->started;
            });
            if (useEscape) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                dialog.close();
            }
            QCoreApplication::processEvents();
            visibleAfterCancel = dialog.isVisible() && dialog.cancelled;
        });
        EXPECT_EQ(dialog.DoModal(), 1);
        EXPECT_TRUE(visibleAfterCancel);
        EXPECT_TRUE(log->returned);
        EXPECT_EQ(dialog.finishedCode, 12);
    }
}

TEST(CNewProgressDlg, ShowsTheBarAsTheReportsSay) {
    QWidget mainWindow;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&mainWindow));
    handler.Reset();
    CNewProgressDlg dialog(&mainWindow, &handler);
    dialog.storeResult = true;

    struct Seen {
        bool marquee;
        int min, max, value;
        QString text;
        bool cancelEnabled;
    };
    std::vector<Seen> seen;
    auto look = [&] {
        QProgressBar* bar = dialog.progressBar();
        seen.push_back({dialog.isMarquee(), bar->minimum(), bar->maximum(), bar->value(),
                        dialog.textLabel()->text(), dialog.cancelButton()->isEnabled()});
    };
    QTimer::singleShot(0, &dialog, [&] {
        look(); // as opened after Reset: a 0..10 bar at 0
        handler.SetMarquee();
        handler.SetText(QStringLiteral("Collecting Update Data"), -1);
        handler.Flush();
        look();
        handler.SetRange(0, 4, 3);
        handler.SetText(QStringLiteral("Retriving Results"), -1);
        handler.Flush();
        look();
        handler.SetText(QStringLiteral("Downloading Update\n1Kb of 2Kb"), 2);
        handler.EnableCancel(false);
        handler.Flush();
        look();
        handler.SetPos(4);
        handler.EnableCancel(true);
        handler.Finished(13, 0);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_FALSE(seen[0].marquee);
    EXPECT_EQ(seen[0].max, 10);
    EXPECT_EQ(seen[0].value, 0);
    EXPECT_TRUE(seen[0].text.isEmpty());
    EXPECT_TRUE(seen[1].marquee);
    EXPECT_EQ(seen[1].text, QStringLiteral("Collecting Update Data"));
    EXPECT_FALSE(seen[2].marquee);
    EXPECT_EQ(seen[2].min, 0);
    EXPECT_EQ(seen[2].max, 4);
    EXPECT_EQ(seen[2].value, 3) << "text with -1 leaves the bar";
    EXPECT_EQ(seen[3].value, 2);
    EXPECT_EQ(seen[3].text, QStringLiteral("Downloading Update\n1Kb of 2Kb"));
    EXPECT_FALSE(seen[3].cancelEnabled);
    EXPECT_EQ(dialog.finishedCode, 13);
    EXPECT_FALSE(dialog.cancelled);

    // Reports after the dialog has ended change the saved state only.
    handler.SetText(QStringLiteral("after"), 1);
    handler.Flush();
    EXPECT_EQ(handler.state().text, QStringLiteral("after"));
    EXPECT_EQ(dialog.textLabel()->text(), QStringLiteral("Downloading Update\n1Kb of 2Kb"));
}

TEST(CNewProgressDlg, RunsAgainForTheNextItemAfterAReset) {
    // The update run shows one dialog for the query and again for the download.
    QWidget mainWindow;
    WorkThreadWithProgress thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.AttachToWindow(&mainWindow));
    CNewProgressDlg dialog(&mainWindow, &thread);
    dialog.storeResult = true;

    thread.Reset();
    auto first = std::make_shared<BlockingItem::Log>();
    ASSERT_TRUE(thread.AddItem(new BlockingItem(&thread, first, 0ms)));
    QTimer::singleShot(0, &dialog, [&] {
        PumpUntil([&] {
            std::lock_guard<std::mutex> lock(first->mutex);
            return first->started;
        });
        dialog.reject();
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_TRUE(dialog.cancelled);

    thread.Reset();
    bool cancelEnabledOnReopen = false;
    QTimer::singleShot(0, &dialog, [&] {
        cancelEnabledOnReopen = dialog.cancelButton()->isEnabled() && !dialog.cancelled;
        thread.Finished(13, 0);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_TRUE(cancelEnabledOnReopen);
    EXPECT_FALSE(dialog.cancelled);
    EXPECT_EQ(dialog.finishedCode, 13);
    EXPECT_FALSE(thread.state().cancelled);
}

TEST(CNewProgressDlg, OpenedAfterTheWorkFinishedEndsAtOnceWithNoResult) {
    QWidget mainWindow;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&mainWindow));
    handler.Reset();
    handler.Finished(12, 99);
    handler.Flush();
    CNewProgressDlg dialog(&mainWindow, &handler);
    dialog.storeResult = true;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.finishedCode, 0);
    EXPECT_EQ(dialog.finishedValue, 0);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(CNewProgressDlg, LayoutHasOnlyACentredCancelAndNoTitle) {
    QWidget mainWindow;
    NewProgressHandler handler;
    ASSERT_TRUE(handler.AttachToWindow(&mainWindow));
    handler.Reset();
    CNewProgressDlg dialog(&mainWindow, &handler);
    bool checked = false;
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(dialog.windowTitle().isEmpty());
        EXPECT_FALSE(dialog.Control(ids::IDC_WORK_IN_BACKGROUND)->isVisible());
        QWidget* cancel = dialog.Control(ids::IDC_PROGRESS_CANCEL);
        ASSERT_NE(cancel, nullptr);
        EXPECT_TRUE(cancel->isVisible());
        EXPECT_EQ(cancel->x(), (dialog.width() - cancel->width()) / 2);
        EXPECT_FALSE(dialog.windowFlags() & Qt::WindowSystemMenuHint);
        EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
        // Text above bar above button, all inside the dialog.
        QWidget* text = dialog.Control(ids::IDC_PROGRESS_TEXT);
        QWidget* bar = dialog.Control(ids::IDC_PROGRESS_BAR);
        EXPECT_LT(text->geometry().bottom(), bar->geometry().top());
        EXPECT_LT(bar->geometry().bottom(), cancel->geometry().top());
        EXPECT_TRUE(dialog.rect().contains(cancel->geometry()));
        if (!qEnvironmentVariableIsEmpty("PLYFOLD_SCREENSHOT_DIR")) {
            dialog.grab().save(qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR") +
                               QStringLiteral("/progress-dialog.png"));
        }
        checked = true;
        handler.Finished(0, 0);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_TRUE(checked);
}

} // namespace
} // namespace plyfold
