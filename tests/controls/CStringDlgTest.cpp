// The password prompt: driven through its controls as a person would, and through the answerer
// that replaces the person in model tests.

#include "controls/CStringDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

class CStringDlgTest : public ::testing::Test {
protected:
    void SetUp() override { SetStringDlgAnswerer({}); }
    void TearDown() override { SetStringDlgAnswerer({}); }

    // A password prompt shown (not modal) so that the test can drive it.
    static void showPasswordPrompt(CStringDlg& dialog, const QString& title) {
        dialog.passwordMode = true;
        dialog.title = title;
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
};

TEST_F(CStringDlgTest, PasswordModeShowsOnlyThePasswordEditWithTitleAndFocus) {
    CStringDlg dialog;
    showPasswordPrompt(dialog, QStringLiteral("Enter Password for a.pdf"));

    auto* plain = dialog.findChild<QLineEdit*>(QStringLiteral("20002"));
    auto* secret = dialog.findChild<QLineEdit*>(QStringLiteral("20004"));
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(secret, nullptr);
    EXPECT_FALSE(plain->isVisible());
    EXPECT_TRUE(secret->isVisible());
    EXPECT_EQ(secret->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.activeEdit(), secret);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Enter Password for a.pdf"));
    EXPECT_EQ(secret->maxLength(), 255);
    EXPECT_TRUE(secret->hasFocus());
    EXPECT_EQ(dialog.okButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(dialog.okButton()->isDefault());
    // The initial text is empty, so OK starts disabled.
    EXPECT_FALSE(dialog.okButton()->isEnabled());
}

TEST_F(CStringDlgTest, PlainModeKeepsTheResourceCaptionWithoutATitle) {
    CStringDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Dialog"));
    EXPECT_TRUE(dialog.findChild<QLineEdit*>(QStringLiteral("20002"))->isVisible());
    EXPECT_FALSE(dialog.findChild<QLineEdit*>(QStringLiteral("20004"))->isVisible());
}

TEST_F(CStringDlgTest, LayoutFollowsTheDialogTemplate) {
    CStringDlg dialog;
    showPasswordPrompt(dialog, QString());
    const QRect edit = dialog.activeEdit()->geometry();
    const QRect ok = dialog.okButton()->geometry();
    const QRect cancel = dialog.cancelButton()->geometry();
    const QRect client = dialog.rect();
    // The edit box on the left, OK beside it on the same top line, Cancel below OK; all inside.
    EXPECT_EQ(edit.top(), ok.top());
    EXPECT_LT(edit.right(), ok.left());
    EXPECT_EQ(ok.left(), cancel.left());
    EXPECT_LT(ok.bottom(), cancel.top());
    EXPECT_TRUE(client.contains(edit));
    EXPECT_TRUE(client.contains(ok));
    EXPECT_TRUE(client.contains(cancel));
    // 170 by 14 dialog units for the edit, 50 by 14 for the buttons.
    EXPECT_NEAR(double(edit.width()) / ok.width(), 170.0 / 50.0, 0.1);
    EXPECT_EQ(edit.height(), ok.height());
}

TEST_F(CStringDlgTest, OkIsEnabledExactlyForANonBlankText) {
    CStringDlg dialog;
    showPasswordPrompt(dialog, QString());
    QLineEdit* edit = dialog.activeEdit();

    QTest::keyClicks(edit, QStringLiteral("   "));
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "spaces only";
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible()) << "Enter must not confirm a blank password";

    QTest::keyClicks(edit, QStringLiteral("x"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_FALSE(dialog.okButton()->isEnabled());
}

TEST_F(CStringDlgTest, OkReturnsTheTextWithoutSurroundingWhiteSpace) {
    CStringDlg dialog;
    showPasswordPrompt(dialog, QString());
    QTest::keyClicks(dialog.activeEdit(), QStringLiteral("  pass word \t"));
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.text, QStringLiteral("pass word"));
}

TEST_F(CStringDlgTest, EnterConfirmsThroughTheDefaultButton) {
    CStringDlg dialog;
    showPasswordPrompt(dialog, QString());
    QTest::keyClicks(dialog.activeEdit(), QStringLiteral("secret"));
    QTest::keyClick(dialog.activeEdit(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.text, QStringLiteral("secret"));
}

TEST_F(CStringDlgTest, ATwoHundredFiftySixthCharacterCannotBeTyped) {
    CStringDlg dialog;
    showPasswordPrompt(dialog, QString());
    QTest::keyClicks(dialog.activeEdit(), QString(300, QLatin1Char('k')));
    EXPECT_EQ(dialog.activeEdit()->text().size(), 255);
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.text, QString(255, QLatin1Char('k')));
}

TEST_F(CStringDlgTest, CancelKeepsTheEarlierText) {
    CStringDlg dialog;
    dialog.text = QStringLiteral("earlier");
    showPasswordPrompt(dialog, QString());
    EXPECT_EQ(dialog.activeEdit()->text(), QStringLiteral("earlier"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    QTest::keyClicks(dialog.activeEdit(), QStringLiteral("more"));
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.text, QStringLiteral("earlier"));
}

TEST_F(CStringDlgTest, DoModalReportsOkAndCancelAsOneAndTwo) {
    struct Case {
        const char* name;
        bool confirm;
        int expected;
    };
    for (const Case& c : {Case{"ok", true, CStringDlg::kResultOk},
                          Case{"cancel", false, CStringDlg::kResultCancel}}) {
        CStringDlg dialog;
        dialog.passwordMode = true;
        QTimer::singleShot(0, &dialog, [&dialog, confirm = c.confirm] {
            QTest::keyClicks(dialog.activeEdit(), QStringLiteral(" typed "));
            QTest::mouseClick(confirm ? dialog.okButton() : dialog.cancelButton(), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.DoModal(), c.expected) << c.name;
        EXPECT_EQ(dialog.text, c.confirm ? QStringLiteral("typed") : QString()) << c.name;
    }
}

TEST_F(CStringDlgTest, AnswererReplacesThePersonUnderTheDialogsRules) {
    struct Case {
        const char* name;
        std::optional<QString> answer;
        int expectedResult;
        QString expectedText;
    };
    const Case cases[] = {
        {"typed", QStringLiteral(" pw "), CStringDlg::kResultOk, QStringLiteral("pw")},
        {"cancelled", std::nullopt, CStringDlg::kResultCancel, QStringLiteral("before")},
        {"blank", QStringLiteral("  "), CStringDlg::kResultCancel, QStringLiteral("before")},
        {"too long", QString(300, QLatin1Char('z')), CStringDlg::kResultOk,
         QString(255, QLatin1Char('z'))},
    };
    for (const Case& c : cases) {
        StringDlgRequest seen;
        int calls = 0;
        SetStringDlgAnswerer([&](const StringDlgRequest& request) {
            seen = request;
            ++calls;
            return c.answer;
        });
        CStringDlg dialog;
        dialog.passwordMode = true;
        dialog.title = QStringLiteral("Enter Password for x.pdf");
        dialog.text = QStringLiteral("before");
        EXPECT_EQ(dialog.DoModal(), c.expectedResult) << c.name;
        EXPECT_EQ(dialog.text, c.expectedText) << c.name;
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_TRUE(seen.passwordMode) << c.name;
        EXPECT_EQ(seen.title, QStringLiteral("Enter Password for x.pdf")) << c.name;
        EXPECT_FALSE(dialog.isVisible()) << c.name;
    }
}

} // namespace
} // namespace plyfold
