// The update offer dialog: its placeholders, the bullet lines, the texts of a paid upgrade, the
// link, and the results of its buttons.

#include "update/CUpdateNotifyDlg.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace plyfold {
namespace {

UpdateInfo Offer(std::int32_t kind, ModuleVersion version, QStringList lines,
                 QString infoAddress = QStringLiteral("https://updates.example.test/news")) {
    UpdateInfo info;
    info.kind = kind;
    info.version = version;
    info.actionAddress = QStringLiteral("https://updates.example.test/setup.msi");
    info.infoAddress = std::move(infoAddress);
    info.lines = std::move(lines);
    return info;
}

QString TextOf(CUpdateNotifyDlg& dialog, int id) {
    QWidget* w = dialog.Control(id);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text();
    }
    return QStringLiteral("<no control %1>").arg(id);
}

bool Shown(CUpdateNotifyDlg& dialog, int id) {
    return !dialog.Control(id)->isHidden();
}

// Runs the dialog with an answerer that looks at it and then does what `act` says.
int RunWith(CUpdateNotifyDlg& dialog, const std::function<void(CUpdateNotifyDlg&)>& act) {
    CUpdateNotifyDlg::SetAnswerer(act);
    const int result = dialog.DoModal();
    CUpdateNotifyDlg::SetAnswerer({});
    return result;
}

TEST(CUpdateNotifyDlg, FillsThePlaceholdersOfCaptionHeadlineAndButtons) {
    struct Case {
        std::int32_t kind;
        const char* action;
        const char* decline;
    };
    const Case cases[] = {
        {UpdateInfo::Patch, "&Download", "Ignore"},
        {UpdateInfo::NewVersion, "&Download", "Ignore"},
        {UpdateInfo::PaidUpgrade, "&Purchase Update", "Close"},
        {7, "&Download", "Ignore"}, // an unknown kind counts as a new version
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const UpdateInfo info = Offer(c.kind, {2, 1, 0, 15}, {QStringLiteral("Faster merging")});
        CUpdateNotifyDlg dialog(info, QStringLiteral("Plyfold"), nullptr);
        RunWith(dialog, [&](CUpdateNotifyDlg& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("A New Plyfold Update is Available"));
            EXPECT_EQ(TextOf(d, ids::IDC_UPDATE_HEADLINE),
                      QStringLiteral("Version 2.1.0.15 of Plyfold is available for download!"));
            EXPECT_EQ(TextOf(d, ids::IDC_UPDATE_ACTION), QString::fromUtf8(c.action));
            EXPECT_EQ(TextOf(d, ids::IDC_UPDATE_DECLINE), QString::fromUtf8(c.decline));
            EXPECT_EQ(TextOf(d, ids::IDC_UPDATE_MORE_INFO), QStringLiteral("&More Information..."));
            auto* action = qobject_cast<QPushButton*>(d.Control(ids::IDC_UPDATE_ACTION));
            ASSERT_NE(action, nullptr);
            EXPECT_TRUE(action->isDefault());
        });
    }
}

TEST(CUpdateNotifyDlg, NewsLinesFillTheirSlotsAndEmptyOnesHideTheirBullet) {
    const QString a = QStringLiteral("First news");
    const QString b = QStringLiteral("Second news");
    const QString c = QStringLiteral("Third news, long enough to need a second line in its box");
    struct Case {
        const char* name;
        QStringList lines;
        std::vector<QString> shown; // empty: slot and bullet hidden
    };
    const Case cases[] = {
        {"no lines", {}, {QString(), QString(), QString()}},
        {"one line", {a}, {a, QString(), QString()}},
        {"three lines", {a, b, c}, {a, b, c}},
        {"the second empty", {a, QString(), c}, {a, QString(), c}},
        {"more than three", {a, b, c, QStringLiteral("fourth")}, {a, b, c}},
        {"markup shown as text",
         {QStringLiteral("<b>bold</b> & more")},
         {QStringLiteral("<b>bold</b> & more"), QString(), QString()}},
    };
    const int lineIds[] = {ids::IDC_UPDATE_LINE1, ids::IDC_UPDATE_LINE2, ids::IDC_UPDATE_LINE3};
    const int bulletIds[] = {ids::IDC_UPDATE_BULLET1, ids::IDC_UPDATE_BULLET2,
                             ids::IDC_UPDATE_BULLET3};
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        const UpdateInfo info = Offer(UpdateInfo::NewVersion, {3, 0, 0, 1}, tc.lines);
        CUpdateNotifyDlg dialog(info, QStringLiteral("Plyfold"), nullptr);
        RunWith(dialog, [&](CUpdateNotifyDlg& d) {
            for (int slot = 0; slot < 3; ++slot) {
                SCOPED_TRACE(slot);
                const bool expectShown = !tc.shown[static_cast<size_t>(slot)].isEmpty();
                EXPECT_EQ(Shown(d, lineIds[slot]), expectShown);
                EXPECT_EQ(Shown(d, bulletIds[slot]), expectShown);
                if (expectShown) {
                    EXPECT_EQ(TextOf(d, lineIds[slot]), tc.shown[static_cast<size_t>(slot)]);
                    EXPECT_EQ(qobject_cast<QLabel*>(d.Control(lineIds[slot]))->textFormat(),
                              Qt::PlainText);
                }
            }
        });
    }
}

TEST(CUpdateNotifyDlg, OverrideOfferShowsVersionZeroNoLinesAndNoLink) {
    UpdateInfo info;
    info.override = true;
    CUpdateNotifyDlg dialog(info, QStringLiteral("Plyfold"), nullptr);
    RunWith(dialog, [&](CUpdateNotifyDlg& d) {
        EXPECT_EQ(TextOf(d, ids::IDC_UPDATE_HEADLINE),
                  QStringLiteral("Version 0.0.0.0 of Plyfold is available for download!"));
        EXPECT_FALSE(Shown(d, ids::IDC_UPDATE_LINE1));
        EXPECT_FALSE(Shown(d, ids::IDC_UPDATE_BULLET3));
        EXPECT_TRUE(d.linkTarget().isEmpty());
        EXPECT_EQ(TextOf(d, ids::IDC_UPDATE_ACTION), QStringLiteral("&Download"));
    });
}

// Records the addresses the dialog asks the browser to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder() {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
    }
    ~UrlRecorder() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

TEST(CUpdateNotifyDlg, TheLinkOpensWebPagesOnlyAndLeavesTheDialogOpen) {
    UrlRecorder recorder;
    struct Case {
        QString target;
        bool opens;
    };
    const Case cases[] = {
        {QStringLiteral("https://updates.example.test/news"), true},
        {QStringLiteral("http://updates.example.test/news?v=2"), true},
        {QString(), false},
        {QStringLiteral("file:///etc/passwd"), false},
        {QStringLiteral("/usr/bin/xterm"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        recorder.opened.clear();
        const UpdateInfo info = Offer(UpdateInfo::NewVersion, {1, 2, 3, 4}, {}, c.target);
        CUpdateNotifyDlg dialog(info, QStringLiteral("Plyfold"), nullptr);
        bool stillOpen = false;
        const int result = RunWith(dialog, [&](CUpdateNotifyDlg& d) {
            EXPECT_EQ(d.linkTarget(), c.target);
            d.show();
            QTest::mouseClick(d.Control(ids::IDC_UPDATE_MORE_INFO), Qt::LeftButton);
            stillOpen = d.isVisible() && d.result() == 0;
            d.hide();
        });
        EXPECT_TRUE(stillOpen);
        EXPECT_EQ(result, CUpdateNotifyDlg::kDeclined) << "left open: declined";
        if (c.opens) {
            ASSERT_EQ(recorder.opened.size(), 1);
            EXPECT_EQ(recorder.opened.front(), QUrl(c.target));
        } else {
            EXPECT_TRUE(recorder.opened.isEmpty());
        }
    }
}

TEST(CUpdateNotifyDlg, ActionAcceptsAndEverythingElseDeclines) {
    struct Case {
        const char* name;
        std::function<void(CUpdateNotifyDlg&)> act;
        int expected;
    };
    const Case cases[] = {
        {"action button",
         [](CUpdateNotifyDlg& d) {
             QTest::mouseClick(d.Control(ids::IDC_UPDATE_ACTION), Qt::LeftButton);
         },
         1},
        {"Enter presses the default action",
         [](CUpdateNotifyDlg& d) { QTest::keyClick(&d, Qt::Key_Return); }, 1},
        {"decline button",
         [](CUpdateNotifyDlg& d) {
             QTest::mouseClick(d.Control(ids::IDC_UPDATE_DECLINE), Qt::LeftButton);
         },
         2},
        {"Escape", [](CUpdateNotifyDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 2},
        {"closing the window", [](CUpdateNotifyDlg& d) { d.close(); }, 2},
        {"left open", [](CUpdateNotifyDlg&) {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UpdateInfo info = Offer(UpdateInfo::PaidUpgrade, {2, 0, 0, 0}, {});
        CUpdateNotifyDlg dialog(info, QStringLiteral("Plyfold"), nullptr);
        const int result = RunWith(dialog, [&](CUpdateNotifyDlg& d) {
            d.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
            c.act(d);
        });
        EXPECT_EQ(result, c.expected);
    }
}

TEST(CUpdateNotifyDlg, RealModalRunEndsWithTheActionButton) {
    const UpdateInfo info =
        Offer(UpdateInfo::NewVersion, {2, 1, 0, 15},
              {QStringLiteral("Pages can be merged from encrypted files"), QString(),
               QStringLiteral("A faster thumbnail view for long documents, with a second line "
                              "of text to show how the third slot wraps")});
    CUpdateNotifyDlg dialog(info, QStringLiteral("Plyfold"), nullptr);
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        // Every control lies inside the dialog, the buttons on one row at the bottom.
        for (QWidget* w : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(dialog.rect().contains(w->geometry())) << w->objectName().toStdString();
        }
        EXPECT_EQ(dialog.Control(ids::IDC_UPDATE_ACTION)->y(),
                  dialog.Control(ids::IDC_UPDATE_DECLINE)->y());
        if (!qEnvironmentVariableIsEmpty("PLYFOLD_SCREENSHOT_DIR")) {
            dialog.grab().save(qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR") +
                               QStringLiteral("/update-notify.png"));
        }
        QTest::mouseClick(dialog.Control(ids::IDC_UPDATE_ACTION), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.DoModal(), CUpdateNotifyDlg::kAccepted);
}

} // namespace
} // namespace plyfold

#include "UpdateNotifyDlgTest.moc"
