#include "app/CMainFrame.h"
#include "app/CPlyfoldApp.h"
#include "app/CPlyfoldSplash.h"
#include "engine/ProcessGlobals.h"
#include "res/CommandIds.h"

#include "plyfold_version.h"

#include <QAction>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

using namespace plyfold;

namespace {

QSettings& userSettings() {
    static QSettings s(QSettings::UserScope, "Tessarine", "Plyfold");
    return s;
}

QVariant storedPageSize() {
    userSettings().sync();
    return userSettings().value("Options/PageSize");
}

// Starts the application object with "PageSize" stored as `stored` (or absent), runs it until the
// checks are done, and returns the thumbnail size start-up derived.
struct StartResult {
    int thumbnail = 0;
    QVariant writtenBack;
};

StartResult startAndExit(const QVariant& stored) {
    userSettings().clear();
    if (stored.isValid()) {
        userSettings().setValue("Options/PageSize", stored);
    }
    userSettings().sync();
    CPlyfoldApp app;
    EXPECT_TRUE(app.InitInstance());
    StartResult result;
    result.thumbnail = thumbnailSize;
    app.ExitInstance();
    result.writtenBack = storedPageSize();
    return result;
}

TEST(AppStartup, PageSizeIsClampedAndWrittenBackAtExit) {
    struct Case {
        QVariant stored;
        int thumbnail;
        int writtenBack;
    };
    const Case cases[] = {
        {QVariant(), 100, 10},
        {3, 80, 8},
        {99, 160, 16},
        {12, 120, 12},
        {"twelve", 100, 10},
        {-5, 80, 8},
        {8, 80, 8},
        {16, 160, 16},
        {"", 100, 10},
        {QStringList{"1", "2"}, 100, 10},
    };
    for (const Case& c : cases) {
        const StartResult r = startAndExit(c.stored);
        EXPECT_EQ(r.thumbnail, c.thumbnail) << c.stored.toString().toStdString();
        EXPECT_EQ(r.writtenBack.toString().toInt(), c.writtenBack)
            << c.stored.toString().toStdString();
    }
}

TEST(AppStartup, ShowsTheTitledFrameInOrderAndExits) {
    userSettings().clear();
    CPlyfoldApp app;
    EXPECT_EQ(CPlyfoldApp::instance(), &app);
    const QString expectedId = QStringLiteral("Tessarine.Plyfold.1.%1.%2")
                                   .arg(PLYFOLD_VERSION_MAJOR)
                                   .arg(PLYFOLD_VERSION_MINOR);
    EXPECT_EQ(app.appUserModelId(), expectedId);
    // The shell groups the window with its launcher by this name.
    EXPECT_EQ(QGuiApplication::desktopFileName(), "com.tessarine.Plyfold");

    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->windowTitle(), "Tessarine Plyfold");
    EXPECT_EQ(frame->minimumSize(), QSize(400, 200));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_EQ(app.productTitle(), "Plyfold");
    EXPECT_EQ(loadingText, "Loading...");
    for (const QImage& picture : buttonImages) {
        EXPECT_EQ(picture.size(), QSize(16, 16));
    }

    const QStringList expectedOrder{"settings", "loadingText", "engine", "pictures", "title",
                                    "splash",   "frame",       "splice", "show"};
    EXPECT_EQ(app.lifecycleLog(), expectedOrder);
    ASSERT_NE(CPlyfoldSplash::Current(), nullptr) << "the splash stays until its timer fires";
    EXPECT_TRUE(CPlyfoldSplash::Current()->closeTimerArmed());

    app.ExitInstance();
    EXPECT_EQ(CPlyfoldSplash::Current(), nullptr) << "exit closes the splash at once";
    EXPECT_EQ(app.lifecycleLog().back(), "exit");
    EXPECT_EQ(app.mainFrame(), nullptr);
    EXPECT_EQ(storedPageSize().toInt(), 10);
}

TEST(AppStartup, AcceleratorsReachTheCommandDispatcher) {
    userSettings().clear();
    CPlyfoldApp app;
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.mainFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));

    QList<int> received;
    for (int id : {ids::ID_ADD_FILE, ids::ID_ADD_FOLDER, ids::ID_EDIT_CLEAR, ids::ID_FILE_SAVE}) {
        app.commands().Register(id, [&received, id] { received << id; });
    }
    QTest::keyClick(frame, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(frame, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(frame, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(frame, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(frame, Qt::Key_F6); // registered, but nothing handles it: ignored
    EXPECT_EQ(received, (QList<int>{ids::ID_ADD_FILE, ids::ID_ADD_FOLDER, ids::ID_EDIT_CLEAR,
                                    ids::ID_FILE_SAVE}));

    QList<int> registered;
    for (const QAction* action : frame->actions()) {
        registered << action->data().toInt();
    }
    EXPECT_TRUE(registered.contains(ids::ID_NEXT_PANE));
    EXPECT_TRUE(registered.contains(ids::ID_PREV_PANE));
    EXPECT_FALSE(app.OnCommand(ids::ID_NEXT_PANE));
    app.ExitInstance();
}

} // namespace
