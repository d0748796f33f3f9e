// The splash and about window: its size and place, its texts with the version and the
// machine-wide user and company names, the start-up timer, and the about mode that keeps the main
// window disabled until the window is clicked.

#include "app/CPlyfoldSplash.h"

#include "engine/VersionInfo.h"
#include "res/Links.h"
#include "res/Strings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace plyfold {
namespace {

bool PumpUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
    return true;
}

// Writes (or removes, for an empty text) the machine-wide names, and removes them again after.
class MachineNames {
public:
    MachineNames(const QString& user, const QString& company) {
        QSettings settings(QSettings::NativeFormat, QSettings::SystemScope,
                           QStringLiteral("Tessarine"), QStringLiteral("Plyfold"));
        Put(settings, QStringLiteral("UserName"), user);
        Put(settings, QStringLiteral("CompanyName"), company);
        settings.sync();
    }
    ~MachineNames() {
        QSettings settings(QSettings::NativeFormat, QSettings::SystemScope,
                           QStringLiteral("Tessarine"), QStringLiteral("Plyfold"));
        settings.remove(QStringLiteral("UserName"));
        settings.remove(QStringLiteral("CompanyName"));
        settings.sync();
    }

private:
    static void Put(QSettings& settings, const QString& key, const QString& value) {
        if (value.isEmpty()) {
            settings.remove(key);
        } else {
            settings.setValue(key, value);
        }
    }
};

QString ProgramVersion() {
    return FormatVersion(CompiledVersion().productVersion, 4);
}

// Closes whatever splash a failed test may have left.
class SplashTest : public ::testing::Test {
protected:
    void TearDown() override {
        CloseSplash(true);
        EXPECT_EQ(CPlyfoldSplash::Current(), nullptr);
    }
};

TEST_F(SplashTest, TextItemsCarryTheVersionNamesAndCopyright) {
    struct Case {
        const char* name;
        QString user;
        QString company;
        bool aboutMode;
        QString expectedVersionText; // with %1 for the version
        bool expectClickLine;
    };
    const Case cases[] = {
        {"names present, start-up", QStringLiteral("Ada Lovelace"),
         QStringLiteral("Analytical Engines Ltd"), false,
         QStringLiteral("Version %1\n\nAda Lovelace\nAnalytical Engines Ltd"), false},
        {"names absent leave two empty lines, about", QString(), QString(), true,
         QStringLiteral("Version %1\n\n\n"), true},
        {"a name holding a placeholder is shown as it is", QStringLiteral("<company>"),
         QStringLiteral("Acme"), false, QStringLiteral("Version %1\n\n<company>\nAcme"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MachineNames names(c.user, c.company);
        const SplashFields fields = ReadSplashFields();
        EXPECT_EQ(fields.user, c.user);
        EXPECT_EQ(fields.company, c.company);
        const std::vector<SplashTextItem> items = BuildSplashTextItems(c.aboutMode, fields);
        ASSERT_EQ(items.size(), c.expectClickLine ? 3u : 2u);

        EXPECT_EQ(items[0].text, c.expectedVersionText.arg(ProgramVersion()));
        EXPECT_EQ(items[0].rect, QRect(QPoint(24, 132), QPoint(319, 218)));
        EXPECT_EQ(items[0].bold, 1);
        EXPECT_EQ(items[0].italic, 0);
        EXPECT_EQ(items[0].pointSize, 10);
        EXPECT_EQ(items[0].colour, QColor(0, 0, 0));

        EXPECT_EQ(items[1].text, CompiledVersion().legalCopyright);
        EXPECT_EQ(items[1].rect, QRect(24, 265, 296, 19));
        EXPECT_EQ(items[1].pointSize, 8);
        EXPECT_EQ(items[1].colour, QColor(64, 64, 64));

        if (c.expectClickLine) {
            EXPECT_EQ(items[2].text, QStringLiteral("Click to dismiss"));
            EXPECT_EQ(items[2].rect, QRect(303, 216, 137, 64));
            EXPECT_EQ(items[2].italic, 1);
            EXPECT_EQ(items[2].bold, 0);
            EXPECT_EQ(items[2].pointSize, 9);
        }
    }
}

TEST_F(SplashTest, StartUpWindowIsFramedCentredTopmostAndClosesOnItsTimer) {
    MachineNames names(QStringLiteral("Ada Lovelace"), QStringLiteral("Analytical Engines Ltd"));
    ShowSplash(false);
    QPointer<CPlyfoldSplash> splash = CPlyfoldSplash::Current();
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->size(), QSize(461, 287));
    EXPECT_EQ(splash->picture().size(), QSize(455, 281));
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(splash->clickToDismiss());
    EXPECT_FALSE(splash->isModal());
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(splash->pos(), QPoint(desktop.x() + (desktop.width() - 461) / 2,
                                    desktop.y() + (desktop.height() - 287) / 2));

    // The link in the top-right corner leads to the maker's home page.
    QLabel* link = splash->link();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->objectName(), QStringLiteral("10"));
    EXPECT_TRUE(link->text().contains(QString::fromLatin1(links::kMakerHost)));
    EXPECT_TRUE(link->text().contains(QString::fromLatin1(links::kMakerHomeUrl)));
    EXPECT_EQ(link->geometry().topLeft(), QPoint(455 - link->width() - 6, 6));
    EXPECT_TRUE(link->openExternalLinks());

    const QImage image = splash->grab().toImage();
    if (!qEnvironmentVariableIsEmpty("PLYFOLD_SCREENSHOT_DIR")) {
        image.save(qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR") +
                   QStringLiteral("/splash-startup.png"));
    }
    // The version line is drawn in black over the picture's text area; the frame is not the
    // picture.
    bool blackInVersionArea = false;
    for (int y = 3 + 132; y < 3 + 160 && !blackInVersionArea; ++y) {
        for (int x = 3 + 24; x < 3 + 200; ++x) {
            if (image.pixelColor(x, y) == QColor(0, 0, 0)) {
                blackInVersionArea = true;
                break;
            }
        }
    }
    EXPECT_TRUE(blackInVersionArea);

    // At start-up a click does nothing.
    QTest::mouseClick(splash, Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
    QCoreApplication::processEvents();
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible());

    // Armed once the main window is shown; closes itself about 1.5 s later, not before.
    QElapsedTimer elapsed;
    elapsed.start();
    ArmSplashCloseTimer();
    EXPECT_TRUE(splash->closeTimerArmed());
    EXPECT_FALSE(splash->ArmCloseTimer()) << "armed only once";
    QTest::qWait(1000);
    EXPECT_TRUE(splash) << "still up one second later";
    ASSERT_TRUE(PumpUntil([&] { return splash.isNull(); }, 5000));
    EXPECT_GE(elapsed.elapsed(), 1400);
    EXPECT_EQ(CPlyfoldSplash::Current(), nullptr);
}

TEST_F(SplashTest, AboutWindowKeepsTheMainWindowDisabledUntilClicked) {
    MachineNames names(QStringLiteral("Grace Hopper"), QStringLiteral("Navy"));
    QWidget mainWindow;
    mainWindow.resize(300, 200);
    mainWindow.show();

    bool checked = false;
    QPointer<CPlyfoldSplash> seen;
    QTimer::singleShot(0, [&] {
        CPlyfoldSplash* splash = CPlyfoldSplash::Current();
        ASSERT_NE(splash, nullptr);
        seen = splash;
        EXPECT_TRUE(splash->isModal());
        EXPECT_TRUE(splash->clickToDismiss());
        EXPECT_FALSE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_FALSE(mainWindow.isEnabled());
        // It belongs to the main window, so the window manager keeps it in front of it.
        EXPECT_TRUE(splash->isWindow());
        EXPECT_EQ(splash->windowType(), Qt::Dialog) << "X marks only dialogs as transient";
        EXPECT_EQ(splash->parentWidget(), &mainWindow);
        ASSERT_NE(splash->windowHandle(), nullptr);
        EXPECT_EQ(splash->windowHandle()->transientParent(), mainWindow.windowHandle());
        ASSERT_EQ(splash->textItems().size(), 3u);
        EXPECT_EQ(splash->textItems()[0].text,
                  QStringLiteral("Version %1\n\nGrace Hopper\nNavy").arg(ProgramVersion()));
        EXPECT_EQ(splash->textItems()[2].text, QStringLiteral("Click to dismiss"));
        if (!qEnvironmentVariableIsEmpty("PLYFOLD_SCREENSHOT_DIR")) {
            splash->grab().save(qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR") +
                                QStringLiteral("/splash-about.png"));
        }
        // A right click does not dismiss it; a left click does.
        QTest::mouseClick(splash, Qt::RightButton, Qt::NoModifier, QPoint(100, 100));
        QCoreApplication::processEvents();
        EXPECT_TRUE(splash->isModal());
        EXPECT_FALSE(mainWindow.isEnabled());
        checked = true;
        QTest::mouseClick(splash, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    });
    ShowAbout(&mainWindow); // returns once clicked
    EXPECT_TRUE(checked);
    EXPECT_TRUE(mainWindow.isEnabled());
    // The window closes itself (posted) once the loop has ended.
    EXPECT_TRUE(PumpUntil([&] { return seen.isNull(); }));
    EXPECT_EQ(CPlyfoldSplash::Current(), nullptr);
}

TEST_F(SplashTest, ClosingAtOnceAndPosted) {
    ShowSplash(false);
    ASSERT_NE(CPlyfoldSplash::Current(), nullptr);
    CloseSplash(true);
    EXPECT_EQ(CPlyfoldSplash::Current(), nullptr) << "gone on return";
    CloseSplash(true); // nothing left to close
    ArmSplashCloseTimer();

    ShowSplash(false);
    QPointer<CPlyfoldSplash> splash = CPlyfoldSplash::Current();
    ASSERT_TRUE(splash);
    CloseSplash(false);
    EXPECT_TRUE(splash) << "a posted close waits for the event loop";
    EXPECT_TRUE(PumpUntil([&] { return splash.isNull(); }));
}

TEST_F(SplashTest, ShowingAgainReplacesTheStartUpWindow) {
    ShowSplash(false);
    QPointer<CPlyfoldSplash> first = CPlyfoldSplash::Current();
    ASSERT_TRUE(first);
    QWidget mainWindow;
    mainWindow.show();
    QPointer<CPlyfoldSplash> second;
    QTimer::singleShot(0, [&] {
        second = CPlyfoldSplash::Current();
        EXPECT_TRUE(first.isNull());
        ASSERT_TRUE(second);
        QTest::mouseClick(second, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    });
    ShowAbout(&mainWindow);
    EXPECT_TRUE(PumpUntil([&] { return second.isNull(); }));
}

} // namespace
} // namespace plyfold
