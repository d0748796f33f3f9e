// Where the main window opens and which window dialogs belong to: the placement kept between
// runs and fitted to the screens, and the owner of dialogs asked for without one.

#include "app/WindowPlacement.h"
#include "app/CMainFrame.h"
#include "app/CPlyfoldApp.h"
#include "controls/CStringDlg.h"
#include "controls/DialogOwner.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

TEST(WindowPlacement, FramesAreFittedIntoTheScreenTheyOverlapMost) {
    const std::vector<QRect> two{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
    struct Case {
        QRect frame;
        QRect fitted;
    };
    const Case cases[] = {
        // Inside: unchanged.
        {{100, 100, 800, 600}, {100, 100, 800, 600}},
        // Too large for the screen (a window made for 1x on a 2x screen): shrunk to it.
        {{50, 50, 1920, 1280}, {0, 0, 1920, 1040}},
        // Hanging off the bottom right: moved back in, size kept.
        {{1500, 900, 400, 300}, {1500, 740, 400, 300}},
        // Mostly on the second screen: fitted there.
        {{2900, 100, 800, 600}, {2400, 100, 800, 600}},
        // On no screen (a screen that has gone): to the fallback, the first one.
        {{-5000, -5000, 800, 600}, {0, 0, 800, 600}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitFrameToScreens(c.frame, two), c.fitted) << c.frame.x() << "," << c.frame.y();
    }
    EXPECT_EQ(FitFrameToScreens({-5000, 0, 300, 200}, two, 1), QRect(1920, 0, 300, 200));
    EXPECT_EQ(FitFrameToScreens({1, 2, 3, 4}, {}), QRect(1, 2, 3, 4));
}

QSettings& userSettings() {
    static QSettings s(QSettings::UserScope, "Tessarine", "Plyfold");
    return s;
}

std::string Text(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toStdString();
}

// Starts the application and waits until its window is on the screen with its frame (the window
// is fitted once more then).
CMainFrame* Start(CPlyfoldApp& app) {
    if (!app.InitInstance()) {
        return nullptr;
    }
    CMainFrame* frame = app.mainFrame();
    if (!QTest::qWaitForWindowExposed(frame)) {
        return nullptr;
    }
    QCoreApplication::processEvents();
    return frame;
}

QRect Available() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The window's size, position and maximised state survive a restart; what no longer fits the
// screens is brought back onto them; a damaged value gives the default placement.
TEST(WindowPlacement, KeptBetweenRunsInTheOptionsSectionAndFittedToTheScreens) {
    userSettings().clear();
    userSettings().sync();
    const QRect area = Available();
    {
        CPlyfoldApp app;
        CMainFrame* frame = Start(app);
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(area.contains(frame->frameGeometry()))
            << "the default size fits the screen: " << Text(frame->frameGeometry()) << " in "
            << Text(area) << ", minimum " << frame->minimumSizeHint().width() << "x"
            << frame->minimumSizeHint().height();
        frame->setGeometry(QRect(area.topLeft() + QPoint(30, 40), QSize(500, 350)));
        app.ExitInstance();
    }
    userSettings().sync();
    EXPECT_FALSE(userSettings().value("Options/WindowPlacement").toByteArray().isEmpty());
    {
        CPlyfoldApp app;
        ASSERT_NE(Start(app), nullptr);
        EXPECT_EQ(app.mainFrame()->geometry(),
                  QRect(area.topLeft() + QPoint(30, 40), QSize(500, 350)));
        EXPECT_FALSE(app.mainFrame()->isMaximized());
        app.mainFrame()->showMaximized();
        app.ExitInstance();
    }
    {
        CPlyfoldApp app;
        ASSERT_NE(Start(app), nullptr);
        EXPECT_TRUE(app.mainFrame()->isMaximized());
        app.mainFrame()->showNormal();
        // Left far off the screens (a screen that is no longer there).
        app.mainFrame()->setGeometry(QRect(area.right() + 4000, area.bottom() + 3000, 520, 360));
        app.ExitInstance();
    }
    {
        CPlyfoldApp app;
        ASSERT_NE(Start(app), nullptr);
        EXPECT_TRUE(area.contains(app.mainFrame()->frameGeometry()));
        EXPECT_EQ(app.mainFrame()->size(), QSize(520, 360));
        app.ExitInstance();
    }
    for (const QVariant& damaged : {QVariant(QByteArray("not a placement")), QVariant("text")}) {
        userSettings().setValue("Options/WindowPlacement", damaged);
        userSettings().sync();
        CPlyfoldApp app;
        ASSERT_NE(Start(app), nullptr);
        EXPECT_TRUE(area.contains(app.mainFrame()->frameGeometry()));
        EXPECT_GE(app.mainFrame()->width(), CMainFrame::kMinWidth);
        app.ExitInstance();
    }
    userSettings().clear();
}

// A dialog asked for without an owner belongs to the window in front, or to the main window;
// never to a window that closes under it, and to nothing once there is no window.
TEST(DialogOwner, DialogsWithoutAnOwnerBelongToTheMainWindow) {
    SetMainWindow(nullptr);
    EXPECT_EQ(DialogOwner(), nullptr);
    {
        QWidget main;
        SetMainWindow(&main);
        main.show();
        QWidget splash(nullptr, Qt::Window | Qt::FramelessWindowHint);
        splash.show();
        splash.activateWindow();
        QApplication::setActiveWindow(&splash);
        EXPECT_EQ(DialogOwner(), &main) << "not the closing splash";
        {
            CStringDlg prompt;
            EXPECT_EQ(prompt.parentWidget(), &main);
        }
        QDialog modal(&main);
        QWidget* seen = nullptr;
        QTimer::singleShot(0, [&] {
            seen = DialogOwner();
            modal.reject();
        });
        modal.exec();
        EXPECT_EQ(seen, &modal) << "a prompt from inside a dialog stays over that dialog";
    }
    EXPECT_EQ(MainWindow(), nullptr) << "a destroyed main window is forgotten";
    EXPECT_EQ(DialogOwner(), nullptr);
}

} // namespace
} // namespace plyfold
