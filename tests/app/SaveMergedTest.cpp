// Save Merged from the document list to the file: the checks before any dialog, the save dialog
// and output options answered as a person would, the merged file checked with the PDF tools (page
// order by page text, version, encryption and permission word), every failure message, and that a
// failure leaves the chosen path exactly as it was.

#include "app/SaveMerged.h"
#include "MergeTestSupport.h"
#include "app/CNewProgressDlg.h"
#include "app/COutputFileDialog.h"
#include "app/CPDFOutputOptionDlg.h"
#include "app/CSavedMergeDlg.h"
#include "app/DialogIds.h"
#include "app/MergeDocuments.h"
#include "app/ShellOpen.h"
#include "controls/CStringDlg.h"
#include "controls/MessageBox.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "platform/splice/XpdfSplice.h"
#include "res/Strings.h"
#include "support/FileSizeLimit.h"
#include "support/TestData.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <system_error>
#include <vector>

namespace plyfold {
namespace {

QString Msg(int id, const QStringList& args = {}) {
    return FormatText(LoadResString(id), args);
}

class SaveMergedTest : public ::testing::Test {
public:
    void SetUp() override {
        xpdfSpliceInit();
        ASSERT_TRUE(dir.isValid());
        SetMessageBoxAnswerer([this](const MessageBoxRequest& request) {
            // The overwrite question is answered Yes; everything else is recorded and
            // acknowledged.
            if (request.buttons.testFlag(QMessageBox::Yes)) {
                return int(QMessageBox::Yes);
            }
            messages.append(request.text);
            details.append(request.detail);
            return int(QMessageBox::Ok);
        });
        SetUrlOpener([this](const QUrl& url) {
            opened.append(url);
            return true;
        });
        CSavedMergeDlg::SetAnswerer([this](CSavedMergeDlg& dlg) {
            ++completeShown;
            if (completeButton != 0) {
                qobject_cast<QAbstractButton*>(dlg.Control(completeButton))->click();
            }
        });
        COutputFileDialog::SetFileNameAnswerer([this](COutputFileDialog& dlg) {
            ++saveDialogShown;
            if (options) {
                dlg.OnButtonClicked(ids::IDC_OUTPUT_OPTIONS_BUTTON);
            }
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    void TearDown() override {
        SetMessageBoxAnswerer({});
        SetUrlOpener({});
        SetStringDlgAnswerer({});
        CSavedMergeDlg::SetAnswerer({});
        COutputFileDialog::SetFileNameAnswerer({});
        CPDFOutputOptionDlg::SetAnswerer({});
    }

    static QString pdf(const char* name) { return test::pdfPath(QString::fromUtf8(name)); }

    CDoc* add(const QString& path, std::optional<PageRangeList> ranges = std::nullopt) {
        CDoc* doc = list.AddDocument(path);
        EXPECT_NE(doc, nullptr) << path.toStdString();
        if (doc != nullptr && ranges) {
            doc->SetRanges(*ranges);
        }
        return doc;
    }

    // The options dialog is opened from the save dialog and set as a person would.
    void protect(const QString& password, bool viewing, bool printing = false) {
        options = true;
        CPDFOutputOptionDlg::SetAnswerer([=](CPDFOutputOptionDlg& o) {
            qobject_cast<QAbstractButton*>(o.Control(ids::IDC_PROTECT))->click();
            qobject_cast<QLineEdit*>(o.Control(ids::IDC_PASSWORD))->setText(password);
            qobject_cast<QCheckBox*>(o.Control(ids::IDC_REQUIRE_VIEWING))->setChecked(viewing);
            qobject_cast<QCheckBox*>(o.Control(ids::IDC_REQUIRE_PRINTING))->setChecked(printing);
            qobject_cast<QAbstractButton*>(o.Control(ids::IDOK))->click();
        });
    }

    QString out(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    QTemporaryDir dir;
    PDFInstanceManager manager;
    DocumentList list{nullptr, &manager};
    QStringList messages;
    QStringList details; // the reason shown below each message (empty: none)
    QList<QUrl> opened;
    QStringList answers; // the names typed into the save dialog, in turn; then Cancel
    bool options = false;
    int completeButton = 0; // the button clicked in "Save Merge Complete"; 0 closes it
    int completeShown = 0;
    int saveDialogShown = 0;
};

TEST_F(SaveMergedTest, ChecksBeforeAnyDialog) {
    struct Case {
        const char* name;
        std::function<void(SaveMergedTest&)> setUp;
        int message;
    };
    const Case cases[] = {
        {"no documents", [](SaveMergedTest&) {}, ids::IDS_NO_DOCUMENTS},
        {"no pages chosen",
         [](SaveMergedTest& t) {
             t.add(pdf("refcard-nf.pdf"), PageRangeList());
             t.add(pdf("boxes.pdf"), PageRangeList());
         },
         ids::IDS_NO_PAGES_SELECTED},
        {"pages only in a document that is not included",
         [](SaveMergedTest& t) {
             t.add(pdf("refcard-nf.pdf"), PageRangeList());
             t.add(pdf("boxes.pdf"))->SetIncluded(false);
         },
         ids::IDS_NO_PAGES_SELECTED},
        {"one included, the other not",
         [](SaveMergedTest& t) {
             t.add(pdf("refcard-nf.pdf"));
             t.add(pdf("boxes.pdf"))->SetIncluded(false);
         },
         ids::IDS_TOO_FEW_SOURCES},
        {"the same file twice with different pages",
         [](SaveMergedTest& t) {
             t.add(pdf("refcard-nf.pdf"), PageRangeList{{1, 2}});
             t.add(pdf("refcard-nf.pdf"), PageRangeList{{3, 4}});
         },
         ids::IDS_TOO_FEW_SOURCES},
    };
    for (const Case& c : cases) {
        list.ClearDocuments();
        messages.clear();
        saveDialogShown = 0;
        c.setUp(*this);
        SaveMerged(list, nullptr);
        EXPECT_EQ(messages, QStringList{Msg(c.message)}) << c.name;
        EXPECT_EQ(saveDialogShown, 0) << c.name;
        EXPECT_TRUE(test::Entries(dir.path()).isEmpty()) << c.name;
    }
}

TEST_F(SaveMergedTest, DistinctSourcesComparePathsExactly) {
    const QString copyA = dir.filePath(QStringLiteral("A.pdf"));
    ASSERT_TRUE(QFile::copy(pdf("refcard-nf.pdf"), copyA));
    add(copyA);
    add(copyA);
    EXPECT_EQ(CountDistinctSources(list), 1);
    // The same file through another path text counts again.
    add(dir.path() + QStringLiteral("//A.pdf"));
    EXPECT_EQ(CountDistinctSources(list), 2);
    list.at(2)->SetRanges(PageRangeList());
    EXPECT_EQ(CountDistinctSources(list), 1);
    EXPECT_EQ(CountSelectedPages(list), 6);
}

TEST_F(SaveMergedTest, MergesChosenPagesInListOrderAndOffersToOpenTheResult) {
    add(pdf("refcard-nf.pdf"), PageRangeList{{1, 2}});
    add(pdf("R-intro.pdf"), PageRangeList{{2, 5}});
    add(pdf("boxes.pdf"))->SetIncluded(false);
    // The output order is the list order: R-intro 2, 3, 4, then refcard 1.
    list.MoveDocument(list.at(1), nullptr);

    struct Case {
        const char* name;
        int button;
        QList<QUrl> opened;
    };
    const Case cases[] = {
        {"merged.pdf", ids::IDOK, {QUrl::fromLocalFile(out("merged.pdf"))}},
        {"folder.pdf", ids::IDC_SHOW_FOLDER, {QUrl::fromLocalFile(dir.path())}},
        {"done.pdf", ids::IDCANCEL, {}},
        {"closed.pdf", 0, {}},
    };
    for (const Case& c : cases) {
        opened.clear();
        messages.clear();
        completeButton = c.button;
        completeShown = 0;
        answers = QStringList{out(c.name)};
        SaveMerged(list, nullptr);
        EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
        EXPECT_EQ(completeShown, 1) << c.name;
        EXPECT_EQ(opened, c.opened) << c.name;
    }

    const QString merged = out("merged.pdf");
    ASSERT_EQ(test::PageCountOf(merged), 4);
    const QString expected[] = {
        test::PageText(pdf("R-intro.pdf"), 2), test::PageText(pdf("R-intro.pdf"), 3),
        test::PageText(pdf("R-intro.pdf"), 4), test::PageText(pdf("refcard-nf.pdf"), 1)};
    for (int page = 1; page <= 4; ++page) {
        EXPECT_FALSE(expected[page - 1].trimmed().isEmpty());
        EXPECT_EQ(test::PageText(merged, page), expected[page - 1]) << "page " << page;
    }
    const test::ToolRun check = test::RunTool(QStringLiteral("qpdf"), {"--check", merged});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("PDF Version: 1.6")));
    EXPECT_TRUE(check.out.contains(QStringLiteral("File is not encrypted")));
    // Nothing else was left in the folder.
    EXPECT_EQ(test::Entries(dir.path()),
              (QStringList{"closed.pdf", "done.pdf", "folder.pdf", "merged.pdf"}));
}

TEST_F(SaveMergedTest, EncryptedInputsAndProtectedOutput) {
    // One input needs its user password, one forbids copying and was opened with its owner
    // password.
    QStringList prompts;
    SetStringDlgAnswerer([&](const StringDlgRequest& request) -> std::optional<QString> {
        prompts.append(request.title);
        return request.title.contains(QStringLiteral("c-r4")) ? QStringLiteral("user2")
                                                              : QStringLiteral("master");
    });
    add(pdf("c-r4.pdf"), PageRangeList{{2, 3}});
    add(pdf("enc-R2,V1,O=master.pdf"), PageRangeList{{5, 6}});
    EXPECT_EQ(prompts.size(), 2);

    struct Case {
        const char* name;
        QString password;
        bool viewing;
        bool printing;
        bool encrypted;
        QString userPassword; // opens the file
        QString pWord;        // as qpdf shows it
    };
    const Case cases[] = {
        // Viewing needs the password: both passwords are the typed one, nothing is restricted.
        {"view.pdf", "secret", true, false, true, "secret", "P = -4"},
        // Printing only: opens without a password, printing needs it.
        {"print.pdf", "secret", false, true, true, "", "P = -2056"},
        // "Protect with password" with an empty password and no boxes: no encryption.
        {"none.pdf", "", false, false, false, "", ""},
    };
    for (const Case& c : cases) {
        messages.clear();
        protect(c.password, c.viewing, c.printing);
        answers = QStringList{out(c.name)};
        SaveMerged(list, nullptr);
        EXPECT_TRUE(messages.isEmpty()) << c.name << messages.join('\n').toStdString();
        const QString file = out(c.name);
        const test::ToolRun show =
            test::RunTool(QStringLiteral("qpdf"),
                          {"--show-encryption", QStringLiteral("--password=") + c.password, file});
        ASSERT_EQ(show.exitCode, 0) << c.name << show.err.toStdString();
        if (!c.encrypted) {
            EXPECT_TRUE(show.out.contains(QStringLiteral("File is not encrypted"))) << c.name;
            continue;
        }
        EXPECT_TRUE(show.out.contains(QStringLiteral("R = 4"))) << c.name;
        EXPECT_TRUE(show.out.contains(c.pWord)) << c.name << show.out.toStdString();
        EXPECT_TRUE(show.out.contains(QStringLiteral("User password = ") + c.userPassword))
            << c.name;
        EXPECT_EQ(test::PageCountOf(file, c.password), 2) << c.name;
        if (c.viewing) {
            EXPECT_EQ(test::PageCountOf(file), -1) << c.name; // no longer opens without it
        }
        EXPECT_EQ(test::PageText(file, 1, c.userPassword),
                  test::PageText(pdf("c-r4.pdf"), 1 + 1, "user2"))
            << c.name;
    }
}

TEST_F(SaveMergedTest, UnreadableInputFailsWithBothMessagesAndKeepsAnExistingTarget) {
    const QString moved = dir.filePath(QStringLiteral("input.pdf"));
    ASSERT_TRUE(QFile::copy(pdf("boxes.pdf"), moved));
    add(pdf("refcard-nf.pdf"));
    add(moved, PageRangeList()); // included without pages: still opened, so its loss is found
    add(pdf("grid_example.pdf"));
    ASSERT_TRUE(QFile::remove(moved));

    const QString target = out("existing.pdf");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the user's old file");
    }
    answers = QStringList{target};
    SaveMerged(list, nullptr);
    EXPECT_EQ(messages,
              (QStringList{Msg(ids::IDS_READ_ERROR, {moved}), Msg(ids::IDS_MERGE_FAILED)}));
    // Why, below the second message: the file that is gone, as the system says it.
    ASSERT_EQ(details.size(), 2);
    EXPECT_EQ(details[0], QString());
    EXPECT_TRUE(details[1].contains(moved) && details[1].endsWith(QString::fromStdString(
                                                  std::generic_category().message(ENOENT))))
        << details[1].toStdString();
    EXPECT_EQ(completeShown, 0);
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("the user's old file"));
    EXPECT_EQ(test::Entries(dir.path()), QStringList{"existing.pdf"});

    // Without a file to overwrite, none is left behind.
    messages.clear();
    answers = QStringList{out("new.pdf")};
    SaveMerged(list, nullptr);
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(test::Entries(dir.path()), QStringList{"existing.pdf"});
}

// A write that fails shows the system's reason below the message, through the work thread that
// wrote, and leaves neither temporary file behind.
TEST_F(SaveMergedTest, AFailedWriteShowsTheSystemsReason) {
    add(pdf("R-intro.pdf"));
    add(pdf("refcard-nf.pdf"));
    const QString target = out("existing.pdf");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the user's old file");
    }
    answers = QStringList{target};
    {
        // The merged file is far larger than the limit; the inputs are only read.
        test::ScopedFileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.active());
        SaveMerged(list, nullptr);
    }
    EXPECT_EQ(messages, QStringList{Msg(ids::IDS_MERGE_FAILED)});
    EXPECT_EQ(details, QStringList{QStringLiteral("cannot write the output file: ") +
                                   QString::fromStdString(std::generic_category().message(EFBIG))});
    EXPECT_EQ(completeShown, 0);
    EXPECT_EQ(test::ReadAll(target), QByteArray("the user's old file"));
    EXPECT_EQ(test::Entries(dir.path()), QStringList{"existing.pdf"});
}

TEST_F(SaveMergedTest, OutputThatIsAnInputIsRefused) {
    const QString input = dir.filePath(QStringLiteral("Input.pdf"));
    ASSERT_TRUE(QFile::copy(pdf("refcard-nf.pdf"), input));
    add(input);
    add(pdf("boxes.pdf"));
    const QByteArray before = [&] {
        QFile f(input);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    // The save dialog refuses it (letter case ignored) and the person then cancels.
    answers = QStringList{dir.filePath(QStringLiteral("input.PDF"))};
    SaveMerged(list, nullptr);
    EXPECT_EQ(messages, QStringList{Msg(ids::IDS_OUTPUT_IS_INPUT)});
    EXPECT_EQ(completeShown, 0);
    QFile f(input);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    // The save's own test compares exactly.
    EXPECT_TRUE(IsExactInputPath(list, input));
    EXPECT_FALSE(IsExactInputPath(list, dir.filePath(QStringLiteral("input.pdf"))));

    // A link to the input passes the dialog's text comparison; the save refuses it as the same
    // file and leaves both untouched.
    const QString link = dir.filePath(QStringLiteral("link.pdf"));
    ASSERT_TRUE(QFile::link(input, link));
    messages.clear();
    answers = QStringList{link};
    SaveMerged(list, nullptr);
    EXPECT_EQ(messages, QStringList{Msg(ids::IDS_OUTPUT_IS_INPUT)});
    EXPECT_EQ(completeShown, 0);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile again(input);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), before);
}

TEST_F(SaveMergedTest, TargetsThatCannotBeWrittenGiveCannotSave) {
    add(pdf("refcard-nf.pdf"));
    add(pdf("boxes.pdf"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.pdf")));
    struct Case {
        QString target;
        QString reason; // below the message
    };
    const Case cases[] = {
        {dir.filePath(QStringLiteral("folder.pdf")), QString()}, // a folder
        {dir.filePath(QStringLiteral("missing/merged.pdf")),     // no such folder
         QStringLiteral("cannot create a file in the output folder: ") +
             QString::fromStdString(std::generic_category().message(ENOENT))},
    };
    for (const Case& c : cases) {
        messages.clear();
        details.clear();
        EXPECT_EQ(WriteMergedFile(list, c.target, nullptr, nullptr), MergeResult::CannotSave)
            << c.target.toStdString();
        EXPECT_EQ(messages, QStringList{Msg(ids::IDS_SAVE_FAILED)});
        EXPECT_EQ(details, QStringList{c.reason}) << c.target.toStdString();
    }
    EXPECT_EQ(test::Entries(dir.path()), QStringList{"folder.pdf"});
    EXPECT_TRUE(test::Entries(dir.filePath(QStringLiteral("folder.pdf"))).isEmpty());
}

TEST_F(SaveMergedTest, OneSpliceCallPerRangeInAscendingOrder) {
    // Pages 1-3, 5 and 8-10 of a 13-page document, and page 1 of another.
    add(pdf("并行计算_パラレル.pdf"), PageRangeList{{8, 11}, {1, 4}, {5, 6}});
    add(pdf("refcard-nf.pdf"), PageRangeList{{1, 2}});
    const QString target = out("ranges.pdf");
    ASSERT_EQ(WriteMergedFile(list, target, nullptr, nullptr), MergeResult::Written);
    const int sourcePages[] = {1, 2, 3, 5, 8, 9, 10};
    ASSERT_EQ(test::PageCountOf(target), 8);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(test::PageText(target, i + 1),
                  test::PageText(pdf("并行计算_パラレル.pdf"), sourcePages[i]))
            << "page " << i + 1;
    }
}

// What the writer reports while it copies and writes, and that a report asking to stop ends the
// merge at once: nothing shown, nothing left behind, an existing target as it was.
TEST_F(SaveMergedTest, WriterReportsProgressAndStopsWhenAsked) {
    add(pdf("R-intro.pdf"), PageRangeList{{1, 21}});
    add(pdf("refcard-nf.pdf"));
    const QString target = out("existing.pdf");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the user's old file");
    }
    struct Report {
        int stage;
        long long done;
    };
    struct Case {
        const char* name;
        std::function<bool(const Report&)> goOn;
        MergeResult result;
        Report last; // the last report heard
    };
    const Case cases[] = {
        {"to the end",
         [](const Report&) { return true; },
         MergeResult::Written,
         {kSpliceWriting, 100}},
        // Told to stop after the fifth page: no page after it is copied.
        {"stopped while copying",
         [](const Report& r) { return r.stage != kSpliceCopying || r.done < 5; },
         MergeResult::Cancelled,
         {kSpliceCopying, 5}},
        {"stopped before writing",
         [](const Report& r) { return r.stage != kSpliceWriting; },
         MergeResult::Cancelled,
         {kSpliceWriting, 0}},
    };
    for (const Case& c : cases) {
        messages.clear();
        std::vector<Report> heard;
        const MergeResult result =
            WriteMergedFile(list, target, nullptr, nullptr, true, [&](int stage, long long done) {
                heard.push_back({stage, done});
                return c.goOn(heard.back());
            });
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_TRUE(messages.isEmpty()) << c.name << messages.join('\n').toStdString();
        ASSERT_FALSE(heard.empty()) << c.name;
        EXPECT_EQ(heard.back().stage, c.last.stage) << c.name;
        EXPECT_EQ(heard.back().done, c.last.done) << c.name;
        // Pages are reported one by one, in order, before anything is written.
        long long pages = 0;
        for (const Report& r : heard) {
            if (r.stage == kSpliceCopying) {
                EXPECT_EQ(r.done, ++pages) << c.name;
            }
        }
        EXPECT_EQ(test::Entries(dir.path()), QStringList{"existing.pdf"}) << c.name;
        if (c.result == MergeResult::Cancelled) {
            EXPECT_EQ(test::ReadAll(target), QByteArray("the user's old file")) << c.name;
        } else {
            EXPECT_EQ(pages, 23) << c.name;
            EXPECT_EQ(test::PageCountOf(target), 23) << c.name;
        }
        // Back to the old file for the next case.
        QFile::remove(target);
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the user's old file");
    }
}

// Save Merged of a long job: the merge runs under the progress dialog (pages copied of pages
// total), the window takes no input meanwhile, and Cancel ends it with no message, no completion
// dialog, no file left behind and the existing target as it was.
TEST_F(SaveMergedTest, CancelDuringALongMergeKeepsTheTarget) {
    for (int i = 0; i < 3; ++i) {
        add(pdf("pari-users.pdf")); // 675 pages each
    }
    add(pdf("R-intro.pdf"));
    const std::int64_t total = CountSelectedPages(list);
    ASSERT_EQ(total, 3 * 675 + 113);

    QWidget window;
    window.resize(240, 120);
    auto* button = new QPushButton(QStringLiteral("Click"), &window);
    button->setGeometry(20, 20, 100, 30);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto clickTheWindow = [&] {
        // Through the window system, as a person's click comes, so a modal dialog can hold it.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
    };
    clickTheWindow();
    ASSERT_EQ(clicks, 1) << "the click does not reach the button even without a dialog";

    const QString target = out("existing.pdf");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the user's old file");
    }
    struct Seen {
        bool cancelled = false;
        int maximum = 0;
        QString text;
        int clicksWhileRunning = -1;
    } seen;
    QTimer watcher;
    watcher.setInterval(5);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<CNewProgressDlg*>(QApplication::activeModalWidget());
        if (seen.cancelled || dialog == nullptr || dialog->progressBar()->value() <= 0) {
            return;
        }
        // Copying has begun.
        seen.cancelled = true;
        seen.maximum = dialog->progressBar()->maximum();
        seen.text = dialog->textLabel()->text();
        EXPECT_EQ(dialog->parentWidget(), &window);
        EXPECT_TRUE(dialog->cancelButton()->isEnabled());
        clickTheWindow();
        seen.clicksWhileRunning = clicks;
        dialog->cancelButton()->click();
    });
    watcher.start();
    answers = QStringList{target};
    SaveMerged(list, &window);
    watcher.stop();

    ASSERT_TRUE(seen.cancelled) << "the progress dialog never showed copied pages";
    EXPECT_EQ(seen.maximum, total);
    EXPECT_TRUE(seen.text.contains(QStringLiteral(" of ") + QLocale().toString(total)))
        << seen.text.toStdString();
    EXPECT_EQ(seen.clicksWhileRunning, 1) << "the window took a click during the merge";
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(completeShown, 0);
    EXPECT_EQ(test::ReadAll(target), QByteArray("the user's old file"));
    EXPECT_EQ(test::Entries(dir.path()), QStringList{"existing.pdf"});
    // The window takes input again.
    clickTheWindow();
    EXPECT_EQ(clicks, 2);
}

TEST(ContainingFolder, SplitsAtTheLastSeparator) {
    struct Case {
        QString path;
        QString folder;
    };
    const Case cases[] = {
        {"/home/u/out.pdf", "/home/u"},
#ifdef Q_OS_WIN
        {"C:\\docs\\out.pdf", "C:\\docs"},
        {"C:\\docs/sub\\out.pdf", "C:\\docs/sub"},
#else
        // A backslash is part of a file name here.
        {"/home/u/report\\2024.pdf", "/home/u"},
#endif
        {"out.pdf", ""},
        {"/home/u/", ""},
        {"/out.pdf", ""},
        {"a/out.pdf", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ContainingFolder(c.path), c.folder) << c.path.toStdString();
    }
}

} // namespace
} // namespace plyfold
