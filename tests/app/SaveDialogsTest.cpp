#include "ModalDriver.h"

#include "app/COutputFileDialog.h"
#include "app/CPDFOutputOptionDlg.h"
#include "app/CSavedMergeDlg.h"
#include "app/DialogIds.h"
#include "controls/DialogUnits.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

using namespace plyfold;
using plyfold::test::clickButton;
using plyfold::test::MessageBoxRecorder;
using plyfold::test::ModalDriver;
using plyfold::test::postClick;

namespace {

void touch(const QString& path, const QByteArray& content = "old") {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// Types a name into the dialog's name field and presses Enter.
void typeAndSave(COutputFileDialog* dlg, const QString& name) {
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

QPushButton* cancelButton(COutputFileDialog* dlg) {
    auto* box = dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    return box ? box->button(QDialogButtonBox::Cancel) : nullptr;
}

class SaveDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        input = dir.filePath("Report.pdf");
        touch(input);
    }
    void TearDown() override {
        COutputFileDialog::SetFileNameAnswerer({});
        CPDFOutputOptionDlg::SetAnswerer({});
        CSavedMergeDlg::SetAnswerer({});
    }

    QTemporaryDir dir;
    QString input;
    const QString filter = LoadResString(ids::IDS_PDF_FILTER);
};

TEST_F(SaveDialogs, SaveDialogIsTheWidgetDialogInSaveModeWithItsOptionsButton) {
    QWidget owner;
    CPDFOutputOptionDlg options;
    COutputFileDialog dlg(filter, &owner, &options, {input});
    EXPECT_EQ(dlg.parentWidget(), &owner);
    EXPECT_EQ(dlg.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dlg.fileMode(), QFileDialog::AnyFile);
    EXPECT_TRUE(dlg.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dlg.defaultSuffix(), "pdf");
    EXPECT_EQ(dlg.nameFilters(), (QStringList{"PDF Files (*.pdf)", "All Files (*)"}));
    EXPECT_EQ(dlg.optionsConfirmed(), 0);

    QPushButton* optionsButton = dlg.optionsButton();
    ASSERT_NE(optionsButton, nullptr);
    EXPECT_EQ(optionsButton->text(), "Options...");
    EXPECT_FALSE(optionsButton->autoDefault());
    // One more row below Save and Cancel, in their column.
    auto* grid = qobject_cast<QGridLayout*>(dlg.layout());
    auto* box = dlg.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(grid, nullptr);
    ASSERT_NE(box, nullptr);
    int boxRow, boxColumn, boxRowSpan, boxColumnSpan, row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(box), &boxRow, &boxColumn, &boxRowSpan, &boxColumnSpan);
    grid->getItemPosition(grid->indexOf(optionsButton), &row, &column, &rowSpan, &columnSpan);
    EXPECT_EQ(row, boxRow + boxRowSpan);
    EXPECT_EQ(column, boxColumn);
}

TEST_F(SaveDialogs, RefusesAnInputFileInAnyLetterCaseAndStaysOpen) {
    MessageBoxRecorder messages;
    CPDFOutputOptionDlg options;
    COutputFileDialog dlg(filter, nullptr, &options, {input});
    dlg.setDirectory(dir.path());
    ModalDriver driver;
    driver
        .when<COutputFileDialog>([&](COutputFileDialog* d) {
            typeAndSave(d, "report.PDF"); // another name on this file system, yet refused
        })
        .when<COutputFileDialog>([&](COutputFileDialog* d) {
            ASSERT_EQ(messages.requests().size(), 1u);
            EXPECT_EQ(messages.requests()[0].text, LoadResString(ids::IDS_OUTPUT_IS_INPUT));
            EXPECT_EQ(messages.requests()[0].icon, MessageIcon::Warning);
            EXPECT_EQ(messages.requests()[0].owner, d);
            // The input itself exists, but it is refused before any overwrite question.
            typeAndSave(d, "Report.pdf");
        })
        .when<COutputFileDialog>([&](COutputFileDialog* d) {
            ASSERT_EQ(messages.requests().size(), 2u);
            EXPECT_EQ(messages.requests()[1].text, LoadResString(ids::IDS_OUTPUT_IS_INPUT));
            typeAndSave(d, "merged");
        });
    ASSERT_EQ(dlg.DoModal(), ids::IDOK);
    EXPECT_EQ(dlg.GetPathName(), dir.filePath("merged.pdf"));
    EXPECT_EQ(messages.requests().size(), 2u);
    EXPECT_EQ(dlg.optionsConfirmed(), 0);
}

TEST_F(SaveDialogs, AsksBeforeReplacingAFileAndRefusesAMissingFolder) {
    touch(dir.filePath("old.pdf"));
    MessageBoxRecorder messages({QMessageBox::No, QMessageBox::Ok, QMessageBox::Yes});
    COutputFileDialog dlg(filter, nullptr, nullptr, {input});
    dlg.setDirectory(dir.path());
    ModalDriver driver;
    driver.when<COutputFileDialog>([&](COutputFileDialog* d) { typeAndSave(d, "old.pdf"); })
        .when<COutputFileDialog>([&](COutputFileDialog* d) {
            ASSERT_EQ(messages.requests().size(), 1u);
            EXPECT_EQ(messages.requests()[0].text, "old.pdf already exists.\nDo you want to "
                                                   "replace it?");
            EXPECT_EQ(messages.requests()[0].icon, MessageIcon::Warning);
            EXPECT_EQ(messages.requests()[0].buttons, QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(messages.requests()[0].caption, d->windowTitle());
            typeAndSave(d, dir.filePath("no such folder/out.pdf"));
        })
        .when<COutputFileDialog>([&](COutputFileDialog* d) {
            ASSERT_EQ(messages.requests().size(), 2u);
            EXPECT_TRUE(messages.requests()[1].text.contains("Directory not found"));
            EXPECT_EQ(messages.requests()[1].icon, MessageIcon::Warning);
            typeAndSave(d, "old.pdf"); // "Yes" to the question this time
        });
    ASSERT_EQ(dlg.DoModal(), ids::IDOK);
    EXPECT_EQ(messages.requests().size(), 3u);
    EXPECT_EQ(dlg.GetPathName(), dir.filePath("old.pdf"));
}

TEST_F(SaveDialogs, CancelGivesNoPath) {
    COutputFileDialog dlg(filter, nullptr, nullptr, {input});
    dlg.setDirectory(dir.path());
    ModalDriver driver;
    driver.when<COutputFileDialog>([&](COutputFileDialog* d) {
        d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText("typed.pdf");
        postClick(cancelButton(d));
    });
    EXPECT_EQ(dlg.DoModal(), ids::IDCANCEL);
    EXPECT_TRUE(dlg.GetPathName().isEmpty());
}

TEST_F(SaveDialogs, OptionsButtonShowsTheOutputOptionsOverTheSaveDialog) {
    MessageBoxRecorder messages;
    CPDFOutputOptionDlg options;
    COutputFileDialog dlg(filter, nullptr, &options, {input});
    dlg.setDirectory(dir.path());
    ModalDriver driver;
    driver.when<COutputFileDialog>([](COutputFileDialog* d) { postClick(d->optionsButton()); })
        .when<CPDFOutputOptionDlg>([&](CPDFOutputOptionDlg* o) {
            EXPECT_EQ(o, &options);
            EXPECT_EQ(o->parentWidget(), &dlg);
            // Accept a password that guards viewing.
            o->Control(ids::IDC_PROTECT)->setFocus();
            clickButton(qobject_cast<QAbstractButton*>(o->Control(ids::IDC_PROTECT)));
            QTest::keyClicks(o->Control(ids::IDC_PASSWORD), "first");
            clickButton(qobject_cast<QAbstractButton*>(o->Control(ids::IDC_REQUIRE_VIEWING)));
            postClick(o->Control(ids::IDOK));
        })
        .when<COutputFileDialog>([](COutputFileDialog* d) { postClick(d->optionsButton()); })
        .when<CPDFOutputOptionDlg>([](CPDFOutputOptionDlg* o) {
            // A second showing: another password, then Cancel.
            auto* edit = qobject_cast<QLineEdit*>(o->Control(ids::IDC_PASSWORD));
            EXPECT_EQ(edit->text(), "first");
            edit->setText("second");
            postClick(o->Control(ids::IDCANCEL));
        })
        .when<COutputFileDialog>([](COutputFileDialog* d) { typeAndSave(d, "protected.pdf"); });
    ASSERT_EQ(dlg.DoModal(), ids::IDOK);
    EXPECT_NE(dlg.optionsConfirmed(), 0);
    EXPECT_TRUE(messages.requests().empty());
    EXPECT_EQ(options.parentWidget(), nullptr);
    EXPECT_EQ(options.ownerPassword(), "first");
    EXPECT_EQ(options.userPassword(), "first");
    EXPECT_EQ(options.permissions(), 0xFFFFFFFFu);
}

TEST_F(SaveDialogs, OptionsClosedWithCancelStillCountAsShown) {
    CPDFOutputOptionDlg options;
    COutputFileDialog dlg(filter, nullptr, &options, {input});
    int shown = 0;
    CPDFOutputOptionDlg::SetAnswerer([&](CPDFOutputOptionDlg& o) {
        ++shown;
        qobject_cast<QAbstractButton*>(o.Control(ids::IDCANCEL))->click();
    });
    dlg.OnButtonClicked(ids::IDOK); // not the Options button: ignored
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(dlg.optionsConfirmed(), 0);
    dlg.OnButtonClicked(ids::IDC_OUTPUT_OPTIONS_BUTTON);
    EXPECT_EQ(shown, 1);
    EXPECT_NE(dlg.optionsConfirmed(), 0);
    EXPECT_TRUE(options.ownerPassword().isEmpty());

    // Without an options dialog the button does nothing.
    COutputFileDialog bare(filter, nullptr, nullptr, {});
    bare.OnButtonClicked(ids::IDC_OUTPUT_OPTIONS_BUTTON);
    EXPECT_EQ(bare.optionsConfirmed(), 0);
}

TEST_F(SaveDialogs, FileNameAnswererGoesThroughTheSameChecks) {
    touch(dir.filePath("existing.pdf"));
    struct Case {
        const char* name;
        QStringList answers; // what the person types, one per time the dialog is open
        std::deque<int> messageAnswers;
        int result;
        QString path;         // relative to the folder
        QStringList messages; // texts shown, in order
    };
    const QString refused = LoadResString(ids::IDS_OUTPUT_IS_INPUT);
    const Case cases[] = {
        {"cancel", {""}, {}, ids::IDCANCEL, "", {}},
        {"plain name gets the extension", {"merged"}, {}, ids::IDOK, "merged.pdf", {}},
        {"name with its own extension", {"merged.v2"}, {}, ids::IDOK, "merged.v2", {}},
        {"input refused, then another name",
         {"REPORT.pdf", "out.pdf"},
         {},
         ids::IDOK,
         "out.pdf",
         {refused}},
        {"input reached through a detour",
         {"sub/../report.pdf", ""},
         {},
         ids::IDCANCEL,
         "",
         {refused}},
        {"input without its extension", {"Report"}, {}, ids::IDCANCEL, "", {refused}},
        {"missing folder, then a good name",
         {"no such folder/out.pdf", "out.pdf"},
         {},
         ids::IDOK,
         "out.pdf",
         {QDir::toNativeSeparators(dir.filePath("no such folder")) +
          "\nDirectory not found.\nPlease verify the correct directory name was given."}},
        {"existing file, replace declined, then accepted",
         {"existing.pdf", "existing.pdf"},
         {QMessageBox::No, QMessageBox::Yes},
         ids::IDOK,
         "existing.pdf",
         {"existing.pdf already exists.\nDo you want to replace it?",
          "existing.pdf already exists.\nDo you want to replace it?"}},
    };
    for (const Case& c : cases) {
        MessageBoxRecorder messages(c.messageAnswers);
        COutputFileDialog dlg(filter, nullptr, nullptr, {input});
        dlg.setDirectory(dir.path());
        int asked = 0;
        COutputFileDialog::SetFileNameAnswerer([&](COutputFileDialog& d) {
            EXPECT_EQ(&d, &dlg);
            EXPECT_FALSE(d.isVisible());
            // After the last scripted answer the person cancels.
            return asked < c.answers.size() ? c.answers[asked++] : QString();
        });
        EXPECT_EQ(dlg.DoModal(), c.result) << c.name;
        EXPECT_EQ(dlg.GetPathName(), c.path.isEmpty() ? QString() : dir.filePath(c.path)) << c.name;
        EXPECT_EQ(messages.texts(), c.messages) << c.name;
    }
}

TEST_F(SaveDialogs, AnswererThatInsistsOnARefusedNameEndsAsCancel) {
    MessageBoxRecorder messages;
    COutputFileDialog dlg(filter, nullptr, nullptr, {input});
    COutputFileDialog::SetFileNameAnswerer([&](COutputFileDialog&) { return input; });
    EXPECT_EQ(dlg.DoModal(), ids::IDCANCEL);
    EXPECT_FALSE(messages.requests().empty());
}

TEST(OutputFileDialogPaths, InputPathsCompareWithoutLetterCaseAfterCleaning) {
    struct Case {
        QString path;
        QStringList inputs;
        bool isInput;
    };
    const QString cwd = QDir::currentPath();
    const Case cases[] = {
        {"/data/In.pdf", {"/data/in.PDF"}, true},
        {"/data/in.pdf", {"/other/a.pdf", "/DATA/IN.PDF"}, true},
        {"/data//x/../in.pdf", {"/data/./in.pdf"}, true},
        {"/data/in.pdf.bak", {"/data/in.pdf"}, false},
        {"/data/in.pdf", {"/data2/in.pdf"}, false},
        {"/data/in.pdf", {}, false},
        {cwd + "/Rel.pdf", {"rel.pdf"}, true},
        {QString::fromUtf8("/d/\xc3\x84rger.pdf"),
         {QString::fromUtf8("/d/\xc3\xa4rger.PDF")},
         true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(COutputFileDialog::IsInputPath(c.path, c.inputs), c.isInput)
            << c.path.toStdString();
    }
}

TEST(SavedMergeDialog, IsBuiltFromItsTemplateWithABoldHeadline) {
    CSavedMergeDlg dlg;
    const DialogUnits du(dlg.font());
    EXPECT_EQ(dlg.windowTitle(), "Save Merge Complete");
    EXPECT_EQ(dlg.size(), du.Size(255, 65));

    auto* headline = qobject_cast<QLabel*>(dlg.Control(ids::IDC_SAVE_COMPLETE_HEADLINE));
    ASSERT_NE(headline, nullptr);
    EXPECT_EQ(headline->text(), "Your merged PDF file has been saved successfully!");
    EXPECT_EQ(headline->geometry(), du.Rect(7, 7, 241, 8));
    EXPECT_EQ(headline->font().weight(), QFont::Bold);
    EXPECT_EQ(dlg.headlineFont().weight(), 700);
    EXPECT_EQ(dlg.headlineFont().family(), dlg.font().family());

    bool foundQuestion = false;
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->text() == "What would you like to do next?") {
            foundQuestion = true;
            // The template's place; wider where this system's font needs more room.
            const QRect place = du.Rect(7, 20, 104, 8);
            EXPECT_EQ(label->pos(), place.topLeft());
            EXPECT_EQ(label->height(), place.height());
            EXPECT_EQ(label->width(), std::max(place.width(), TextNeededWidth(label)));
            EXPECT_NE(label->font().weight(), QFont::Bold);
        }
    }
    EXPECT_TRUE(foundQuestion);

    auto* icon = qobject_cast<QLabel*>(dlg.Control(ids::IDC_SAVE_COMPLETE_ICON));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->geometry(), du.Rect(225, 7, 21, 20));
    EXPECT_FALSE(icon->pixmap().isNull());
    EXPECT_FALSE(LoadResIcon(ids::IDI_SAVE_COMPLETE).isNull());

    struct Button {
        int id;
        QString text;
        QRect rect;
    };
    const Button buttons[] = {
        {ids::IDOK, "Open merged file", du.Rect(7, 44, 87, 14)},
        {ids::IDC_SHOW_FOLDER, "Show containing folder", du.Rect(102, 44, 85, 14)},
        {ids::IDCANCEL, "Done", du.Rect(198, 44, 50, 14)},
    };
    for (const Button& b : buttons) {
        auto* button = qobject_cast<QPushButton*>(dlg.Control(b.id));
        ASSERT_NE(button, nullptr) << b.id;
        EXPECT_EQ(button->text(), b.text);
        EXPECT_EQ(button->pos(), b.rect.topLeft());
        EXPECT_EQ(button->height(), b.rect.height());
        EXPECT_EQ(button->width(), std::max(b.rect.width(), TextNeededWidth(button)));
        EXPECT_EQ(button->isDefault(), b.id == ids::IDOK);
    }
}

TEST(SavedMergeDialog, ReturnsTheChosenNextStep) {
    struct Case {
        const char* name;
        std::function<void(CSavedMergeDlg*)> act;
        int result;
    };
    auto clickControl = [](int id) {
        return [id](CSavedMergeDlg* d) { postClick(d->Control(id)); };
    };
    const Case cases[] = {
        {"Open merged file", clickControl(ids::IDOK), CSavedMergeDlg::kOpenMergedFile},
        {"Show containing folder", clickControl(ids::IDC_SHOW_FOLDER),
         CSavedMergeDlg::kShowContainingFolder},
        {"Done", clickControl(ids::IDCANCEL), CSavedMergeDlg::kDone},
        {"Enter presses the default button",
         [](CSavedMergeDlg* d) { QTest::keyClick(d, Qt::Key_Return); },
         CSavedMergeDlg::kOpenMergedFile},
        {"Escape", [](CSavedMergeDlg* d) { QTest::keyClick(d, Qt::Key_Escape); },
         CSavedMergeDlg::kDone},
        {"close box", [](CSavedMergeDlg* d) { d->close(); }, CSavedMergeDlg::kDone},
    };
    for (const Case& c : cases) {
        CSavedMergeDlg dlg;
        ModalDriver driver;
        driver.when<CSavedMergeDlg>(c.act);
        EXPECT_EQ(dlg.DoModal(), c.result) << c.name;
    }
    EXPECT_EQ(CSavedMergeDlg::kOpenMergedFile, 1);
    EXPECT_EQ(CSavedMergeDlg::kShowContainingFolder, 6);
    EXPECT_EQ(CSavedMergeDlg::kDone, 2);
}

TEST(SavedMergeDialog, AnswererChoosesWithoutAWindow) {
    CSavedMergeDlg dlg;
    CSavedMergeDlg::SetAnswerer([](CSavedMergeDlg& d) {
        EXPECT_FALSE(d.isVisible());
        qobject_cast<QPushButton*>(d.Control(ids::IDC_SHOW_FOLDER))->click();
    });
    EXPECT_EQ(dlg.DoModal(), CSavedMergeDlg::kShowContainingFolder);
    CSavedMergeDlg::SetAnswerer([](CSavedMergeDlg&) {});
    EXPECT_EQ(dlg.DoModal(), CSavedMergeDlg::kDone);
    CSavedMergeDlg::SetAnswerer({});
}

} // namespace
