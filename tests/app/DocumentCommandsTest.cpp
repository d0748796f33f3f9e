// Add File, Add Folder and Clear All through the command dispatcher: the open dialog's choice in
// its order, failures reported one by one, the folder browser (its OK button, the remembered
// folder) and clearing.

#include "app/DocumentCommands.h"
#include "app/CommandDispatcher.h"
#include "controls/CStringDlg.h"
#include "controls/MessageBox.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "engine/Registry.h"
#include "res/CommandIds.h"
#include "res/Strings.h"
#include "support/TestData.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace plyfold {
namespace {

class DocumentCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        WriteProfileString(QStringLiteral("Options"), QStringLiteral("LastFolder"), QString());
        RegisterDocumentCommands(commands, list, [] { return nullptr; });
        SetMessageBoxAnswerer([this](const MessageBoxRequest& request) {
            messages.append(request.text);
            return int(QMessageBox::Ok);
        });
    }
    void TearDown() override {
        SetMessageBoxAnswerer({});
        CAddFileDialog::SetAnswerer({});
        CFolderBrowser::SetAnswerer({});
    }

    static QString pdf(const char* name) { return test::pdfPath(QString::fromUtf8(name)); }

    QStringList paths() const {
        QStringList result;
        for (const auto& doc : list.documents()) {
            result.append(doc->GetPath());
        }
        return result;
    }

    QTemporaryDir dir;
    PDFInstanceManager manager;
    DocumentList list{nullptr, &manager};
    CommandDispatcher commands;
    QStringList messages;
};

TEST_F(DocumentCommandsTest, AddFileAddsTheChosenFilesInTheDialogsOrder) {
    // Files that ask for a password and files that cannot be opened, among plain ones: each
    // prompt and each message comes when its file is reached, in the dialog's order.
    const QStringList chosen{pdf("refcard-nf.pdf"),   pdf("c-r2.pdf"),
                             pdf("not-a-pdf.pdf"),    pdf("enc-R2,V1,O=master.pdf"),
                             pdf("grid_example.pdf"), pdf("habibi-rotated.pdf")};
    int shown = 0;
    CAddFileDialog::SetAnswerer([&](CAddFileDialog& dlg) {
        ++shown;
        EXPECT_EQ(dlg.fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dlg.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dlg.defaultSuffix(), QStringLiteral("pdf"));
        EXPECT_EQ(dlg.nameFilters(), (QStringList{QStringLiteral("PDF Files (*.pdf)"),
                                                  QStringLiteral("All Files (*)")}));
        return chosen;
    });
    SetStringDlgAnswerer([this](const StringDlgRequest& request) -> std::optional<QString> {
        messages.append(request.title);
        return request.title.contains(QStringLiteral("c-r2")) ? QStringLiteral("user1")
                                                              : QStringLiteral("master");
    });
    ASSERT_TRUE(commands.Dispatch(ids::ID_ADD_FILE));
    SetStringDlgAnswerer({});
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(paths(), (QStringList{chosen[0], chosen[1], chosen[3], chosen[4], chosen[5]}));
    EXPECT_EQ(messages,
              (QStringList{FormatResString(ids::IDS_ENTER_PASSWORD, {QStringLiteral("c-r2.pdf")}),
                           FormatResString(ids::IDS_OPEN_FAILED, {chosen[2]}),
                           FormatResString(ids::IDS_COPY_PASSWORD,
                                           {QStringLiteral("enc-R2,V1,O=master.pdf")})}));

    // Cancel adds nothing.
    CAddFileDialog::SetAnswerer([](CAddFileDialog&) { return QStringList(); });
    ASSERT_TRUE(commands.Dispatch(ids::ID_ADD_FILE));
    EXPECT_EQ(list.size(), 5u);
}

TEST_F(DocumentCommandsTest, AddFolderRemembersTheFolderAndOpensOnItNextTime) {
    ASSERT_TRUE(QFile::copy(pdf("refcard-nf.pdf"), dir.filePath(QStringLiteral("one.pdf"))));
    ASSERT_TRUE(QFile::copy(pdf("boxes.pdf"), dir.filePath(QStringLiteral("two.Pdf"))));
    QStringList openedOn;
    QString answer = dir.path();
    CFolderBrowser::SetAnswerer([&](CFolderBrowser& browser) {
        openedOn.append(browser.directory().absolutePath());
        EXPECT_EQ(browser.windowTitle(), LoadResString(ids::IDS_SELECT_FOLDER));
        EXPECT_EQ(browser.fileMode(), QFileDialog::Directory);
        EXPECT_FALSE(browser.testOption(QFileDialog::ShowDirsOnly)); // files are listed
        return answer;
    });
    ASSERT_TRUE(commands.Dispatch(ids::ID_ADD_FOLDER));
    EXPECT_EQ(paths(), (QStringList{dir.filePath(QStringLiteral("one.pdf")),
                                    dir.filePath(QStringLiteral("two.Pdf"))}));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(GetProfileString(QStringLiteral("Options"), QStringLiteral("LastFolder")),
              dir.path());

    // It is on disk, where the next start reads it.
    EXPECT_EQ(QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tessarine"),
                        QStringLiteral("Plyfold"))
                  .value(QStringLiteral("Options/LastFolder"))
                  .toString(),
              dir.path());
    list.ClearDocuments();
    // A file is not a folder: nothing is added and the remembered folder stays.
    answer = dir.filePath(QStringLiteral("one.pdf"));
    ASSERT_TRUE(commands.Dispatch(ids::ID_ADD_FOLDER));
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(openedOn.size(), 2);
    EXPECT_EQ(openedOn[1], dir.path());
    EXPECT_EQ(GetProfileString(QStringLiteral("Options"), QStringLiteral("LastFolder")),
              dir.path());

    // Cancel does nothing.
    answer.clear();
    ASSERT_TRUE(commands.Dispatch(ids::ID_ADD_FOLDER));
    EXPECT_TRUE(list.empty());
}

TEST_F(DocumentCommandsTest, FolderBrowserEnablesOkOnlyForAFolder) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString file = dir.filePath(QStringLiteral("one.pdf"));
    ASSERT_TRUE(QFile::copy(pdf("refcard-nf.pdf"), file));

    CFolderBrowser browser(nullptr, dir.path());
    browser.show();
    QPushButton* ok = browser.okButton();
    ASSERT_NE(ok, nullptr);
    // The dialog reacts to typing through its own queued events: let them run, and when a
    // condition is given, wait (up to a few seconds on a loaded machine) until it holds.
    const auto settle = [](const std::function<bool()>& done = {}) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 300 || (done && !done() && clock.elapsed() < 5000)) {
            QApplication::processEvents();
        }
    };
    // A person types a name or picks a folder; files are listed but only a folder enables OK.
    auto* edit = browser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    struct Case {
        QString typed;
        bool enabled;
    };
    const Case cases[] = {
        {QStringLiteral("sub"), true},
        {QStringLiteral("one.pdf"), false},
        {QStringLiteral("sub"), true},
        {QStringLiteral("nothing here"), false},
        {QString(), true}, // nothing typed: the folder shown
    };
    for (const Case& c : cases) {
        edit->setText(c.typed);
        settle([&] { return ok->isEnabled() == c.enabled; });
        EXPECT_EQ(ok->isEnabled(), c.enabled) << c.typed.toStdString();
    }
    // Accepting a file is refused: the browser stays open.
    edit->setText(QStringLiteral("one.pdf"));
    settle([&] { return !ok->isEnabled(); });
    browser.accept();
    EXPECT_TRUE(browser.isVisible());
    edit->setText(QStringLiteral("sub"));
    settle([&] { return browser.CurrentChoice() == dir.filePath(QStringLiteral("sub")); });
    EXPECT_EQ(browser.CurrentChoice(), dir.filePath(QStringLiteral("sub")));
    browser.accept();
    EXPECT_FALSE(browser.isVisible());
    EXPECT_EQ(browser.result(), QDialog::Accepted);
}

TEST_F(DocumentCommandsTest, ClearAllRemovesEverythingWithoutAsking) {
    ASSERT_TRUE(commands.Dispatch(ids::ID_EDIT_CLEAR)); // empty: nothing happens
    list.AddDocument(pdf("refcard-nf.pdf"));
    list.AddDocument(pdf("refcard-nf.pdf"));
    list.AddDocument(pdf("boxes.pdf"));
    ASSERT_TRUE(commands.Dispatch(ids::ID_EDIT_CLEAR));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(DocumentCommandsTest, SaveMergedIsRegistered) {
    ASSERT_TRUE(commands.Dispatch(ids::ID_FILE_SAVE));
    EXPECT_EQ(messages, QStringList{LoadResString(ids::IDS_NO_DOCUMENTS)});
}

} // namespace
} // namespace plyfold
