// Every dialog's texts fit their controls with the fonts this system has (the layouts are given in
// dialog units for other fonts), nothing sticks out of a dialog, and the password prompt shows its
// question in full inside the dialog.

#include "app/CPDFOutputOptionDlg.h"
#include "app/CSavedMergeDlg.h"
#include "controls/CStringDlg.h"
#include "controls/DialogUnits.h"
#include "update/CUpdateNotifyDlg.h"
#include "update/UpdateInfo.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace plyfold {
namespace {

// With PLYFOLD_SCREENSHOT_DIR set, shows the dialog and keeps a picture of it there to look at:
// on a real X display the screen itself (what the window manager shows, frame and all), otherwise
// the dialog's own painting.
void Snapshot(QWidget& dialog, const QString& name) {
    const QString folder = qEnvironmentVariable("PLYFOLD_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        return;
    }
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::qWait(300); // the window manager's frame and the first paint arrive
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QStringLiteral("root"), path});
    } else {
        dialog.grab().save(path);
    }
    dialog.hide();
}

// Where a control's content shows: a text control's text from its left edge, as wide as it needs,
// in the middle half of its height (templates let the boxes of stacked rows overlap a little);
// other controls' whole box.
QRect ContentRect(const QWidget* control) {
    const int needed = TextNeededWidth(control);
    if (needed == 0) {
        return control->geometry();
    }
    const QRect box = control->geometry();
    return QRect(box.x(), box.y() + box.height() / 4, std::min(needed, box.width()),
                 box.height() / 2);
}

// Checks the direct children of a dialog: each one inside it, one-line texts as wide as they need,
// wrapped texts as tall as they need, and no two shown controls' contents on top of each other.
void ExpectTextsFit(const QWidget& dialog) {
    std::vector<const QWidget*> shown;
    for (const QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || !child->isVisibleTo(&dialog)) {
            continue;
        }
        const std::string what =
            (child->objectName() + QLatin1Char(' ') + child->metaObject()->className())
                .toStdString();
        EXPECT_TRUE(dialog.rect().contains(child->geometry())) << what;
        const auto* label = qobject_cast<const QLabel*>(child);
        const auto* button = qobject_cast<const QAbstractButton*>(child);
        if (label != nullptr && label->wordWrap()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what;
        } else if (label != nullptr || button != nullptr) {
            EXPECT_GE(child->width(), TextNeededWidth(child)) << what;
        }
        for (const QWidget* other : shown) {
            EXPECT_FALSE(ContentRect(other).intersects(ContentRect(child)))
                << what << " covers " << other->objectName().toStdString();
        }
        shown.push_back(child);
    }
}

TEST(DialogTexts, SaveCompleteAndOutputOptionsFit) {
    CSavedMergeDlg complete(nullptr);
    SCOPED_TRACE("Save Merge Complete");
    ExpectTextsFit(complete);
    Snapshot(complete, QStringLiteral("dialog-save-complete"));

    CPDFOutputOptionDlg options;
    SCOPED_TRACE("Output Options");
    ExpectTextsFit(options);
    Snapshot(options, QStringLiteral("dialog-output-options"));
}

TEST(DialogTexts, UpdateOfferFitsForEveryKind) {
    for (const auto kind : {UpdateInfo::NewVersion, UpdateInfo::PaidUpgrade}) {
        UpdateInfo info;
        info.kind = kind;
        info.version = {2, 10, 300, 4000};
        info.lines = QStringList{QStringLiteral("Faster merging of large files"),
                                 QStringLiteral("Fixes for encrypted documents")};
        CUpdateNotifyDlg offer(info, QStringLiteral("Plyfold"), nullptr);
        bool checked = false;
        CUpdateNotifyDlg::SetAnswerer([&](CUpdateNotifyDlg& shown) {
            ExpectTextsFit(shown);
            Snapshot(shown, QStringLiteral("dialog-update-%1").arg(int(kind)));
            checked = true;
        });
        offer.DoModal();
        CUpdateNotifyDlg::SetAnswerer({});
        EXPECT_TRUE(checked);
    }
}

// A title bar shortens a long question; the dialog shows it whole, wrapped, above the edit box,
// even a file name without a single space.
TEST(DialogTexts, PasswordPromptShowsTheWholeQuestion) {
    const QString questions[] = {
        QStringLiteral("Enter Password for enc-XI-R6,V5,O=master.pdf"),
        QStringLiteral("Enter password for copying permission of file "
                       "a-very-long-file-name-without-any-spaces-at-all-from-the-archive-2019.pdf"),
    };
    for (const QString& question : questions) {
        CStringDlg prompt;
        prompt.passwordMode = true;
        prompt.title = question;
        prompt.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&prompt));
        QLabel* label = prompt.promptLabel();
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->isVisible());
        EXPECT_EQ(label->text(), question);
        EXPECT_LT(label->geometry().bottom(), prompt.activeEdit()->geometry().top());
        EXPECT_EQ(prompt.activeEdit()->accessibleName(), question);
        EXPECT_TRUE(prompt.activeEdit()->hasFocus());
        ExpectTextsFit(prompt);
        Snapshot(prompt, QStringLiteral("dialog-password-%1").arg(question.size()));
    }
    CStringDlg untitled;
    untitled.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&untitled));
    EXPECT_FALSE(untitled.promptLabel()->isVisible());
}

// The widening itself: a text too long for its box gets the room, its neighbour on the row moves
// aside, and the dialog grows; a control whose text fits keeps its place.
TEST(DialogTexts, FittingWidensAndMovesNeighboursOnTheRow) {
    QWidget dialog;
    dialog.setFixedSize(200, 100);
    auto* label = new QLabel(QStringLiteral("A label far longer than its box"), &dialog);
    label->setGeometry(10, 10, 40, 16);
    auto* beside = new QPushButton(QStringLiteral("OK"), &dialog);
    beside->setGeometry(60, 8, 60, 20);
    auto* below = new QPushButton(QStringLiteral("Cancel"), &dialog);
    below->setGeometry(60, 60, 60, 20);
    FitChildTexts(&dialog, 7);
    EXPECT_EQ(label->width(), TextNeededWidth(label));
    EXPECT_GT(beside->x(), label->geometry().right());
    EXPECT_EQ(below->geometry(), QRect(60, 60, 60, 20));
    EXPECT_GE(dialog.width(), beside->geometry().right() + 1 + 7);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
}

} // namespace
} // namespace plyfold
