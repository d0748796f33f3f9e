#include "ModalDriver.h"

#include "app/CPDFOutputOptionDlg.h"
#include "app/DialogIds.h"
#include "controls/DialogUnits.h"
#include "res/Strings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace plyfold;
using plyfold::test::clickButton;
using plyfold::test::MessageBoxRecorder;
using plyfold::test::ModalDriver;
using plyfold::test::postClick;

namespace {

QAbstractButton* button(const CPDFOutputOptionDlg& dlg, int id) {
    return qobject_cast<QAbstractButton*>(dlg.Control(id));
}
QLineEdit* passwordEdit(const CPDFOutputOptionDlg& dlg) {
    return qobject_cast<QLineEdit*>(dlg.Control(ids::IDC_PASSWORD));
}

const int kProtectionControls[] = {ids::IDC_PASSWORD,         ids::IDC_REQUIRE_VIEWING,
                                   ids::IDC_REQUIRE_PRINTING, ids::IDC_REQUIRE_ANNOTATION,
                                   ids::IDC_REQUIRE_FORMS,    ids::IDC_REQUIRE_COPYING};

void expectProtectionControlsEnabled(const CPDFOutputOptionDlg& dlg, bool enabled,
                                     const char* when) {
    for (int id : kProtectionControls) {
        EXPECT_EQ(dlg.Control(id)->isEnabled(), enabled) << "control " << id << " " << when;
    }
    EXPECT_TRUE(dlg.Control(ids::IDC_UNPROTECTED)->isEnabled()) << when;
    EXPECT_TRUE(dlg.Control(ids::IDC_PROTECT)->isEnabled()) << when;
}

// A person's input for one showing: clicks the radio button, types the password, ticks boxes.
struct Input {
    int radio = 0; // 0: leave as it is; else the id to click
    QString password;
    bool typePassword = false;
    std::vector<int> ticks; // boxes to click
};

// With `mouse`, through mouse clicks and key presses on the shown dialog; otherwise through the
// controls' own click and text calls, for a dialog that is not shown.
void enter(CPDFOutputOptionDlg& dlg, const Input& input, bool mouse = true) {
    auto click = [&](int id) {
        if (mouse) {
            clickButton(button(dlg, id));
        } else {
            button(dlg, id)->click();
        }
    };
    if (input.radio != 0) {
        click(input.radio);
    }
    if (input.typePassword) {
        QLineEdit* edit = passwordEdit(dlg);
        if (mouse) {
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Backspace);
            bool ascii = true;
            for (QChar c : input.password) {
                ascii = ascii && c.unicode() < 128;
            }
            if (ascii) {
                QTest::keyClicks(edit, input.password);
            } else {
                edit->insert(input.password); // as an input method enters it
            }
        } else {
            edit->setText(input.password);
        }
    }
    for (int id : input.ticks) {
        click(id);
    }
}

class OutputOptionsDialog : public ::testing::Test {
protected:
    void TearDown() override { CPDFOutputOptionDlg::SetAnswerer({}); }
};

TEST_F(OutputOptionsDialog, IsBuiltFromItsTemplateInDialogUnits) {
    CPDFOutputOptionDlg dlg;
    const DialogUnits du(dlg.font());
    EXPECT_EQ(dlg.windowTitle(), "Output Options");
    EXPECT_EQ(dlg.size(), du.Size(138, 178));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()); // fixed size

    struct Expected {
        int id;
        const char* type;
        QString text;
        QRect rect;
    };
    const Expected controls[] = {
        {ids::IDC_UNPROTECTED, "QRadioButton", "Unprotected", du.Rect(6, 3, 132, 17)},
        {ids::IDC_PROTECT, "QRadioButton", "Protect with password:", du.Rect(6, 18, 132, 17)},
        {ids::IDC_PASSWORD, "QLineEdit", "", du.Rect(15, 37, 84, 13)},
        {ids::IDC_REQUIRE_VIEWING, "QCheckBox", "Viewing", du.Rect(15, 66, 84, 14)},
        {ids::IDC_REQUIRE_COPYING, "QCheckBox", "Copying", du.Rect(15, 80, 84, 14)},
        {ids::IDC_REQUIRE_PRINTING, "QCheckBox", "Printing", du.Rect(15, 94, 84, 14)},
        {ids::IDC_REQUIRE_ANNOTATION, "QCheckBox", "Annotation", du.Rect(15, 108, 84, 14)},
        {ids::IDC_REQUIRE_FORMS, "QCheckBox", "Filling Forms", du.Rect(15, 123, 84, 14)},
        {ids::IDOK, "QPushButton", "OK", du.Rect(27, 146, 50, 14)},
        {ids::IDCANCEL, "QPushButton", "Cancel", du.Rect(83, 146, 50, 14)},
    };
    for (const Expected& c : controls) {
        QWidget* w = dlg.Control(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_STREQ(w->metaObject()->className(), c.type) << c.id;
        EXPECT_EQ(w->geometry(), c.rect) << c.id;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text(), c.text) << c.id;
        }
    }
    EXPECT_EQ(passwordEdit(dlg)->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(qobject_cast<QPushButton*>(dlg.Control(ids::IDOK))->isDefault());

    const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), "Require this password for:");
    EXPECT_EQ(labels[0]->geometry(), du.Rect(16, 55, 103, 9));

    // Tab order: the buttons, then the controls, Copying last although it is drawn second.
    const int order[] = {ids::IDOK,
                         ids::IDCANCEL,
                         ids::IDC_UNPROTECTED,
                         ids::IDC_PROTECT,
                         ids::IDC_PASSWORD,
                         ids::IDC_REQUIRE_VIEWING,
                         ids::IDC_REQUIRE_PRINTING,
                         ids::IDC_REQUIRE_ANNOTATION,
                         ids::IDC_REQUIRE_FORMS,
                         ids::IDC_REQUIRE_COPYING};
    for (size_t i = 1; i < std::size(order); ++i) {
        QWidget* next = dlg.Control(order[i - 1])->nextInFocusChain();
        while (next && next->focusPolicy() == Qt::NoFocus) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next, dlg.Control(order[i])) << "after " << order[i - 1];
    }
}

TEST_F(OutputOptionsDialog, RadioButtonClicksSwitchTheProtectionControls) {
    CPDFOutputOptionDlg dlg;
    ModalDriver driver;
    driver.when<CPDFOutputOptionDlg>([](CPDFOutputOptionDlg* d) {
        EXPECT_TRUE(button(*d, ids::IDC_UNPROTECTED)->isChecked());
        EXPECT_FALSE(button(*d, ids::IDC_PROTECT)->isChecked());
        expectProtectionControlsEnabled(*d, false, "at first");
        clickButton(button(*d, ids::IDC_PROTECT));
        expectProtectionControlsEnabled(*d, true, "after Protect");
        clickButton(button(*d, ids::IDC_UNPROTECTED));
        expectProtectionControlsEnabled(*d, false, "after Unprotected");
        clickButton(button(*d, ids::IDC_PROTECT));
        QTest::keyClicks(passwordEdit(*d), "abc");
        EXPECT_EQ(passwordEdit(*d)->text(), "abc");
        postClick(d->Control(ids::IDCANCEL));
    });
    EXPECT_EQ(dlg.DoModal(), ids::IDCANCEL);
}

TEST_F(OutputOptionsDialog, RefusesIncompleteProtectionAndStaysOpen) {
    struct Case {
        const char* name;
        Input input;
        int message;
    };
    const Case cases[] = {
        {"Printing without password",
         {ids::IDC_PROTECT, "", false, {ids::IDC_REQUIRE_PRINTING}},
         ids::IDS_EMPTY_PASSWORD},
        {"Viewing and Filling Forms without password",
         {ids::IDC_PROTECT, "", false, {ids::IDC_REQUIRE_VIEWING, ids::IDC_REQUIRE_FORMS}},
         ids::IDS_EMPTY_PASSWORD},
        {"password without any box",
         {ids::IDC_PROTECT, "secret", true, {}},
         ids::IDS_PASSWORD_WITHOUT_PERMISSIONS},
    };
    for (const Case& c : cases) {
        MessageBoxRecorder messages;
        CPDFOutputOptionDlg dlg;
        ModalDriver driver;
        driver
            .when<CPDFOutputOptionDlg>([&](CPDFOutputOptionDlg* d) {
                enter(*d, c.input);
                clickButton(button(*d, ids::IDOK));
            })
            .when<CPDFOutputOptionDlg>([&](CPDFOutputOptionDlg* d) {
                // Still open, after exactly one message with the error icon, owned by the dialog.
                ASSERT_EQ(messages.requests().size(), 1u) << c.name;
                EXPECT_EQ(messages.requests()[0].text, LoadResString(c.message)) << c.name;
                EXPECT_EQ(messages.requests()[0].icon, MessageIcon::Error) << c.name;
                EXPECT_EQ(messages.requests()[0].owner, d) << c.name;
                postClick(d->Control(ids::IDCANCEL));
            });
        EXPECT_EQ(dlg.DoModal(), ids::IDCANCEL) << c.name;
        EXPECT_TRUE(dlg.ownerPassword().isEmpty()) << c.name;
        EXPECT_TRUE(dlg.userPassword().isEmpty()) << c.name;
        EXPECT_EQ(dlg.choice().protectMode, 0) << c.name; // nothing kept from the refused OK
    }
}

TEST_F(OutputOptionsDialog, OkTurnsTheControlsIntoPasswordsAndPermissions) {
    struct Case {
        const char* name;
        Input input;
        QString owner, user;
        std::uint32_t permissions;
    };
    const Case cases[] = {
        {"unprotected", {0, "", false, {}}, "", "", 0xFFFFFFFF},
        {"protect, empty password, no box", {ids::IDC_PROTECT, "", false, {}}, "", "", 0xFFFFFFFF},
        {"only Viewing",
         {ids::IDC_PROTECT, "pw", true, {ids::IDC_REQUIRE_VIEWING}},
         "pw",
         "pw",
         0xFFFFFFFF},
        {"Printing and Copying",
         {ids::IDC_PROTECT, "pw", true, {ids::IDC_REQUIRE_PRINTING, ids::IDC_REQUIRE_COPYING}},
         "pw",
         "",
         0xFFFFF5EB},
        {"all five",
         {ids::IDC_PROTECT,
          QString::fromUtf8("p\xc3\xa4ss w"),
          true,
          {ids::IDC_REQUIRE_VIEWING, ids::IDC_REQUIRE_PRINTING, ids::IDC_REQUIRE_ANNOTATION,
           ids::IDC_REQUIRE_FORMS, ids::IDC_REQUIRE_COPYING}},
         QString::fromUtf8("p\xc3\xa4ss w"),
         QString::fromUtf8("p\xc3\xa4ss w"),
         0xFFFFF4CB},
        {"boxes ticked, then back to Unprotected",
         {ids::IDC_PROTECT, "pw", true, {ids::IDC_REQUIRE_PRINTING}},
         "",
         "",
         0xFFFFF7FB},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        const Case& c = cases[k];
        MessageBoxRecorder messages;
        CPDFOutputOptionDlg dlg;
        ModalDriver driver;
        driver.when<CPDFOutputOptionDlg>([&](CPDFOutputOptionDlg* d) {
            enter(*d, c.input);
            if (k == std::size(cases) - 1) {
                clickButton(button(*d, ids::IDC_UNPROTECTED));
            }
            // Enter presses the default button, OK.
            QTest::keyClick(d->Control(ids::IDC_UNPROTECTED), Qt::Key_Return);
        });
        EXPECT_EQ(dlg.DoModal(), ids::IDOK) << c.name;
        EXPECT_TRUE(messages.requests().empty()) << c.name;
        EXPECT_EQ(dlg.ownerPassword(), c.owner) << c.name;
        EXPECT_EQ(dlg.userPassword(), c.user) << c.name;
        EXPECT_EQ(dlg.permissions(), c.permissions)
            << c.name << std::hex << " 0x" << dlg.permissions();
    }
}

TEST_F(OutputOptionsDialog, ReopeningShowsTheLastAcceptedChoice) {
    CPDFOutputOptionDlg dlg;
    {
        ModalDriver driver;
        driver.when<CPDFOutputOptionDlg>([](CPDFOutputOptionDlg* d) {
            enter(*d, {ids::IDC_PROTECT, "first", true, {ids::IDC_REQUIRE_PRINTING}});
            postClick(d->Control(ids::IDOK));
        });
        ASSERT_EQ(dlg.DoModal(), ids::IDOK);
    }
    {
        // The accepted password enables the controls; edits then Cancel change nothing.
        ModalDriver driver;
        driver.when<CPDFOutputOptionDlg>([](CPDFOutputOptionDlg* d) {
            EXPECT_TRUE(button(*d, ids::IDC_PROTECT)->isChecked());
            EXPECT_EQ(passwordEdit(*d)->text(), "first");
            EXPECT_TRUE(button(*d, ids::IDC_REQUIRE_PRINTING)->isChecked());
            expectProtectionControlsEnabled(*d, true, "after an accepted password");
            enter(*d, {0, "second", true, {ids::IDC_REQUIRE_VIEWING}});
            postClick(d->Control(ids::IDCANCEL));
        });
        EXPECT_EQ(dlg.DoModal(), ids::IDCANCEL);
        EXPECT_EQ(dlg.ownerPassword(), "first");
        EXPECT_EQ(dlg.userPassword(), "");
        EXPECT_EQ(dlg.permissions(), 0xFFFFF7FBu);
    }
    {
        // The cancelled edits are gone; switching to Unprotected and OK clears the password but
        // keeps the ticks.
        ModalDriver driver;
        driver.when<CPDFOutputOptionDlg>([](CPDFOutputOptionDlg* d) {
            EXPECT_EQ(passwordEdit(*d)->text(), "first");
            EXPECT_FALSE(button(*d, ids::IDC_REQUIRE_VIEWING)->isChecked());
            clickButton(button(*d, ids::IDC_UNPROTECTED));
            postClick(d->Control(ids::IDOK));
        });
        ASSERT_EQ(dlg.DoModal(), ids::IDOK);
        EXPECT_EQ(dlg.ownerPassword(), "");
    }
    {
        ModalDriver driver;
        driver.when<CPDFOutputOptionDlg>([](CPDFOutputOptionDlg* d) {
            EXPECT_TRUE(button(*d, ids::IDC_UNPROTECTED)->isChecked());
            EXPECT_EQ(passwordEdit(*d)->text(), "");
            EXPECT_TRUE(button(*d, ids::IDC_REQUIRE_PRINTING)->isChecked());
            expectProtectionControlsEnabled(*d, false, "after accepting Unprotected");
            // "Protect with password:" with nothing else is accepted without a message.
            clickButton(button(*d, ids::IDC_PROTECT));
            clickButton(button(*d, ids::IDC_REQUIRE_PRINTING));
            postClick(d->Control(ids::IDOK));
        });
        MessageBoxRecorder messages;
        ASSERT_EQ(dlg.DoModal(), ids::IDOK);
        EXPECT_TRUE(messages.requests().empty());
        EXPECT_TRUE(dlg.ownerPassword().isEmpty());
    }
    {
        // Protect is selected again, but without an accepted password the controls stay off
        // until a radio button is clicked.
        ModalDriver driver;
        driver.when<CPDFOutputOptionDlg>([](CPDFOutputOptionDlg* d) {
            EXPECT_TRUE(button(*d, ids::IDC_PROTECT)->isChecked());
            expectProtectionControlsEnabled(*d, false, "after protect with no password");
            clickButton(button(*d, ids::IDC_PROTECT));
            expectProtectionControlsEnabled(*d, true, "after clicking Protect again");
            postClick(d->Control(ids::IDCANCEL));
        });
        EXPECT_EQ(dlg.DoModal(), ids::IDCANCEL);
    }
}

TEST_F(OutputOptionsDialog, ParentedOnlyWhileShownAndAnswerableWithoutAWindow) {
    CPDFOutputOptionDlg dlg;
    QWidget owner;
    bool answered = false;
    CPDFOutputOptionDlg::SetAnswerer([&](CPDFOutputOptionDlg& d) {
        answered = true;
        EXPECT_EQ(d.parentWidget(), &owner);
        EXPECT_FALSE(d.isVisible());
        enter(d, {ids::IDC_PROTECT, "x", true, {ids::IDC_REQUIRE_COPYING}}, false);
        button(d, ids::IDOK)->click();
    });
    EXPECT_EQ(dlg.DoModal(&owner), ids::IDOK);
    EXPECT_TRUE(answered);
    EXPECT_EQ(dlg.parentWidget(), nullptr);
    EXPECT_EQ(dlg.ownerPassword(), "x");
    EXPECT_EQ(dlg.permissions(), 0xFFFFFDEFu);

    // An answerer that leaves the dialog open counts as Cancel.
    CPDFOutputOptionDlg::SetAnswerer([](CPDFOutputOptionDlg&) {});
    EXPECT_EQ(dlg.DoModal(&owner), ids::IDCANCEL);
    EXPECT_EQ(dlg.ownerPassword(), "x");
}

} // namespace
