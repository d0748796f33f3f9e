// The document list and its documents: opening with the password rules of merge inputs, shared
// instances, every change announced in order with its datum, moving, the page-retrieved fan-out,
// adding the PDF files of a folder, and opening a document for splicing.

#include "engine/DocumentList.h"
#include "engine/CDoc.h"
#include "engine/DocumentPrompts.h"
#include "engine/PDFInstance.h"
#include "engine/PlyfoldInstance.h"
#include "platform/splice/XpdfSplice.h"
#include "res/Strings.h"
#include "support/HostileCorpus.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace plyfold {
namespace {

// Answers every password prompt with a fixed answer (nothing = Cancel) and records the titles.
class Prompts {
public:
    explicit Prompts(std::optional<QString> answer = std::nullopt) : m_answer(std::move(answer)) {
        SetPasswordPrompt([this](const PasswordPromptRequest& request) {
            titles.append(request.title);
            return m_answer;
        });
    }
    ~Prompts() { SetPasswordPrompt({}); }
    QStringList titles;

private:
    std::optional<QString> m_answer;
};

// Records the error reports.
class Messages {
public:
    Messages() {
        SetErrorReporter([this](const ErrorReport& report) { texts.append(report.text); });
    }
    ~Messages() { SetErrorReporter({}); }
    QStringList texts;
};

struct Event {
    NotifyCode code;
    CDoc* doc;     // the datum for document codes and PageRetrieved
    int page;      // PageRetrieved only
    int indexThen; // where the document stood in the list when it was announced (-1: absent)
    bool nullData; // the datum was null
};

// The main frame's stand-in: records every notification with what the list looked like then.
class Spy : public EventNotify {
public:
    DocumentList* list = nullptr;
    std::vector<Event> events;

    void Notify(NotifyCode code, NotifyData data) override {
        Event e{code, nullptr, 0, -1, data.empty()};
        if (code == NotifyCode::PageRetrieved) {
            const PageRetrievedInfo* info = data.page();
            e.doc = info->doc;
            e.page = info->page;
        } else if (code != NotifyCode::DocOrderChanged) {
            e.doc = data.doc();
        }
        e.indexThen = list != nullptr && e.doc != nullptr ? list->IndexOf(e.doc) : -1;
        events.push_back(e);
    }
};

class DocumentListTest : public ::testing::Test {
protected:
    void SetUp() override {
        xpdfSpliceInit();
        spy.list = &list;
    }

    static QString pdf(const char* name) { return test::pdfPath(QString::fromUtf8(name)); }

    // Copies a test PDF into the temporary folder under `name`.
    QString copy(const char* source, const QString& name) {
        const QString target = dir.filePath(name);
        EXPECT_TRUE(QFile::copy(pdf(source), target)) << name.toStdString();
        return target;
    }

    std::vector<CDoc*> order() const {
        std::vector<CDoc*> docs;
        for (const auto& d : list.documents()) {
            docs.push_back(d.get());
        }
        return docs;
    }

    QTemporaryDir dir;
    PDFInstanceManager manager; // not started: no renders run behind the tests' backs
    Spy spy;
    DocumentList list{&spy, &manager};
};

TEST_F(DocumentListTest, NewDocumentChoosesEveryPageAndIsIncluded) {
    CDoc* doc = list.AddDocument(pdf("refcard-nf.pdf"));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetPath(), pdf("refcard-nf.pdf"));
    EXPECT_EQ(doc->PageCount(), 3);
    EXPECT_EQ(doc->ranges(), (PageRangeList{{1, 4}}));
    EXPECT_TRUE(doc->included());
    ASSERT_EQ(spy.events.size(), 1u);
    EXPECT_EQ(spy.events[0].code, NotifyCode::DocAdded);
    EXPECT_EQ(spy.events[0].doc, doc);
    EXPECT_EQ(spy.events[0].indexThen, 0); // announced after it was appended
}

TEST_F(DocumentListTest, SameFileTwiceSharesOneInstanceAndAsksThePasswordOnce) {
    Prompts prompts(QStringLiteral("user1"));
    CDoc* first = list.AddDocument(pdf("c-r2.pdf"));
    CDoc* second = list.AddDocument(pdf("c-r2.pdf"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->instance(), second->instance());
    EXPECT_EQ(prompts.titles.size(), 1);
    EXPECT_EQ(manager.RefCount(first->instance()), 2);

    // Removing one keeps the other working: pages render and the file opens for splicing.
    PDFInstance* shared = second->instance();
    list.RemoveDocument(first);
    EXPECT_EQ(manager.RefCount(shared), 1);
    EXPECT_EQ(second->PageCount(), 30);
    EXPECT_FALSE(shared->GetPage(1, true).isNull());
    XpdfSpliceInput input = second->OpenSpliceInput();
    EXPECT_NE(input, nullptr);
    xpdfSpliceCloseInput(input);
    EXPECT_EQ(prompts.titles.size(), 1);
}

TEST_F(DocumentListTest, FilesThatCannotBeOpenedAreReportedAndNotAdded) {
    const char* files[] = {"not-a-pdf.pdf", "empty.pdf", "issue-99.pdf", "no such file.pdf"};
    for (const char* file : files) {
        Messages messages;
        spy.events.clear();
        EXPECT_EQ(list.AddDocument(pdf(file)), nullptr) << file;
        EXPECT_EQ(messages.texts,
                  QStringList{FormatText(LoadResString(ids::IDS_OPEN_FAILED), {pdf(file)})})
            << file;
        EXPECT_TRUE(spy.events.empty()) << file;
        EXPECT_TRUE(list.empty()) << file;
    }
}

// Page trees whose /Count lies (billions of pages claimed for 30): the document is added with the
// pages the file really has (and /Kids that loop back are not followed), and the list carries on.
// A count too large for any integer (which makes the splicing library drop the whole page tree
// node) and a tree without any page are reported like any file that cannot be opened.
TEST_F(DocumentListTest, LyingOrLoopingPageTreesOpenWithTheirRealPages) {
    const struct {
        const char* file;
        int pages; // 0: cannot be opened
    } cases[] = {
        {"pages-root-count-int-max", 30},
        {"pages-root-count-huge", 0},
        {"pages-root-count-30-million", 30},
        {"pages-node-count-lies", 30},
        {"pages-kids-cycle", 30},
        {"pages-no-kids", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path =
            QDir(test::hostileCorpusDir()).filePath(QString::fromUtf8(c.file) + ".pdf");
        ASSERT_TRUE(QFile::exists(path));
        Messages messages;
        CDoc* doc = list.AddDocument(path);
        if (c.pages == 0) {
            EXPECT_EQ(doc, nullptr);
            EXPECT_EQ(messages.texts,
                      QStringList{FormatText(LoadResString(ids::IDS_OPEN_FAILED), {path})});
            continue;
        }
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(messages.texts.isEmpty());
        EXPECT_EQ(doc->PageCount(), c.pages);
        EXPECT_EQ(doc->ranges(), (PageRangeList{{1, c.pages + 1}}));
    }
    EXPECT_EQ(list.documents().size(), 4u);
}

// The password rules of a merge input, file by file.
TEST_F(DocumentListTest, PasswordPromptsOfMergeInputs) {
    const QString openPrompt = LoadResString(ids::IDS_ENTER_PASSWORD);
    const QString copyPrompt = LoadResString(ids::IDS_COPY_PASSWORD);
    struct Case {
        const char* file;
        std::optional<QString> answer;
        bool opens;
        QStringList titles; // prompts shown, in order
        QString storedPassword;
    };
    const Case cases[] = {
        // Not encrypted: no prompt.
        {"refcard-nf.pdf", QStringLiteral("x"), true, {}, {}},
        // Encrypted with an empty user password, copying allowed: no prompt.
        {"issue7665.pdf", QStringLiteral("x"), true, {}, {}},
        // Copying forbidden: asked once for the copying password, with the file name only.
        {"enc-R2,V1,O=master.pdf",
         QStringLiteral("master"),
         true,
         {FormatText(copyPrompt, {QStringLiteral("enc-R2,V1,O=master.pdf")})},
         QStringLiteral("master")},
        {"enc-XI-R6,V5,O=master.pdf",
         QStringLiteral("master"),
         true,
         {FormatText(copyPrompt, {QStringLiteral("enc-XI-R6,V5,O=master.pdf")})},
         QStringLiteral("master")},
        // Cancel keeps it out.
        {"enc-R2,V1,O=master.pdf",
         std::nullopt,
         false,
         {FormatText(copyPrompt, {QStringLiteral("enc-R2,V1,O=master.pdf")})},
         {}},
        // A wrong copying password fails at once, without a second prompt (the viewer engine
        // loads these files with any password; the splicing open proves it).
        {"enc-XI-R6,V5,O=master.pdf",
         QStringLiteral("wrong"),
         false,
         {FormatText(copyPrompt, {QStringLiteral("enc-XI-R6,V5,O=master.pdf")})},
         {}},
        {"enc-R2,V1,O=master.pdf",
         QStringLiteral("wrong"),
         false,
         {FormatText(copyPrompt, {QStringLiteral("enc-R2,V1,O=master.pdf")})},
         {}},
        // An open password: asked with 205 only, whatever the permissions (issue21579 forbids
        // copying).
        {"c-r2.pdf",
         QStringLiteral("user1"),
         true,
         {FormatText(openPrompt, {QStringLiteral("c-r2.pdf")})},
         QStringLiteral("user1")},
        {"issue21579.pdf",
         QString::fromUtf8("pässwört"),
         true,
         {FormatText(openPrompt, {QStringLiteral("issue21579.pdf")})},
         QString::fromUtf8("pässwört")},
        {"c-r4.pdf",
         std::nullopt,
         false,
         {FormatText(openPrompt, {QStringLiteral("c-r4.pdf")})},
         {}},
    };
    for (const Case& c : cases) {
        Prompts prompts(c.answer);
        PlyfoldInstance instance(&manager);
        EXPECT_EQ(instance.Open(pdf(c.file)), c.opens) << c.file;
        EXPECT_EQ(prompts.titles, c.titles) << c.file;
        if (c.opens) {
            EXPECT_EQ(instance.password, c.storedPassword) << c.file;
            EXPECT_GT(instance.PageCount(), 0) << c.file;
        }
    }
}

TEST_F(DocumentListTest, CancelledCopyPromptReportsTheFileAndAddsNothing) {
    Prompts prompts; // Cancel
    Messages messages;
    EXPECT_EQ(list.AddDocument(pdf("enc-R2,V1,O=master.pdf")), nullptr);
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(spy.events.empty());
}

TEST_F(DocumentListTest, SplicingInputUsesTheStoredPassword) {
    struct Case {
        const char* file;
        QString answer;
    };
    const Case cases[] = {
        {"refcard-nf.pdf", {}},
        {"c-r2.pdf", QStringLiteral("user1")},
        {"issue21579.pdf", QString::fromUtf8("pässwört")},
        {"enc-R2,V1,O=master.pdf", QStringLiteral("master")},
    };
    for (const Case& c : cases) {
        Prompts prompts(c.answer);
        DocumentList own(nullptr, &manager);
        CDoc* doc = own.AddDocument(pdf(c.file));
        ASSERT_NE(doc, nullptr) << c.file;
        XpdfSpliceInput input = doc->OpenSpliceInput();
        ASSERT_NE(input, nullptr) << c.file;
        // Copying is allowed with what was typed (an owner-only file was opened with its owner
        // password).
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        XpdfSpliceOutput output =
            xpdfSpliceOpenOutputW(reinterpret_cast<const char16_t*>(out.utf16()), 1.6);
        ASSERT_NE(output, nullptr);
        EXPECT_TRUE(xpdfSpliceAddPages(input, 1, 1, output)) << c.file;
        xpdfSpliceCloseInput(input);
        EXPECT_TRUE(xpdfSpliceCloseOutput(output)) << c.file;
    }
}

TEST_F(DocumentListTest, PathsDifferingInLetterCaseAreSeparateFilesHere) {
    // Where file names keep letter case, "REPORT.pdf" is another file than "Report.pdf": it must
    // not borrow the open document (and thumbnails) of the first one. Where they ignore case, the
    // two share one instance, and each still opens its own path for splicing.
    const QString real = copy("refcard-nf.pdf", QStringLiteral("Report.pdf"));
    const QString other = dir.filePath(QStringLiteral("REPORT.pdf"));
    CDoc* a = list.AddDocument(real);
    ASSERT_NE(a, nullptr);
    if (!QFile::exists(other)) {
        Messages messages;
        EXPECT_EQ(list.AddDocument(other), nullptr);
        EXPECT_EQ(messages.texts,
                  QStringList{FormatText(LoadResString(ids::IDS_OPEN_FAILED), {other})});
        ASSERT_TRUE(QFile::copy(pdf("boxes.pdf"), other));
        CDoc* b = list.AddDocument(other);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a->instance(), b->instance());
        EXPECT_NE(a->PageCount(), b->PageCount());
        return;
    }
    CDoc* b = list.AddDocument(other);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->instance(), b->instance());
    EXPECT_EQ(b->GetPath(), other);
    XpdfSpliceInput input = b->OpenSpliceInput();
    EXPECT_NE(input, nullptr);
    xpdfSpliceCloseInput(input);
}

TEST_F(DocumentListTest, RemovalsAreAnnouncedWhileTheDocumentIsStillListed) {
    CDoc* a = list.AddDocument(pdf("refcard-nf.pdf"));
    CDoc* b = list.AddDocument(pdf("grid_example.pdf"));
    CDoc* c = list.AddDocument(pdf("boxes.pdf"));
    spy.events.clear();

    list.RemoveDocument(b);
    ASSERT_EQ(spy.events.size(), 1u);
    EXPECT_EQ(spy.events[0].code, NotifyCode::DocRemoved);
    EXPECT_EQ(spy.events[0].doc, b);
    EXPECT_EQ(spy.events[0].indexThen, 1);
    EXPECT_EQ(order(), (std::vector<CDoc*>{a, c}));

    // A document no longer listed (a second removal request for it) is ignored.
    spy.events.clear();
    list.RemoveDocument(b);
    list.RemoveDocument(nullptr);
    EXPECT_TRUE(spy.events.empty());
    EXPECT_EQ(list.size(), 2u);

    list.ClearDocuments();
    ASSERT_EQ(spy.events.size(), 2u);
    EXPECT_EQ(spy.events[0].doc, a);
    EXPECT_EQ(spy.events[0].indexThen, 0);
    EXPECT_EQ(spy.events[1].doc, c);
    EXPECT_EQ(spy.events[1].indexThen, 0); // a is gone by then
    for (const Event& e : spy.events) {
        EXPECT_EQ(e.code, NotifyCode::DocRemoved);
    }
    EXPECT_TRUE(list.empty());

    spy.events.clear();
    list.ClearDocuments(); // empty: nothing happens
    EXPECT_TRUE(spy.events.empty());
}

TEST_F(DocumentListTest, MoveDocument) {
    CDoc* a = list.AddDocument(pdf("refcard-nf.pdf"));
    CDoc* b = list.AddDocument(pdf("grid_example.pdf"));
    CDoc* c = list.AddDocument(pdf("boxes.pdf"));
    CDoc* d = list.AddDocument(pdf("habibi-rotated.pdf"));
    ASSERT_TRUE(a && b && c && d);
    CDoc outsider(&manager);
    struct Case {
        CDoc* doc;
        CDoc* anchor;
        std::vector<CDoc*> expected;
        bool announced;
    };
    // Each case starts from a, b, c, d.
    const Case cases[] = {
        {c, nullptr, {c, a, b, d}, true},   // null anchor: to the front
        {c, c, {c, a, b, d}, true},         // after itself: to the front
        {a, c, {b, c, a, d}, true},         // down
        {d, a, {a, d, b, c}, true},         // up
        {b, d, {a, c, d, b}, true},         // to the end
        {a, &outsider, {a, b, c, d}, true}, // unknown anchor: to the front
        {&outsider, a, {a, b, c, d}, false} // unknown document: nothing
    };
    for (const Case& k : cases) {
        // Restore a, b, c, d.
        list.MoveDocument(d, nullptr);
        list.MoveDocument(c, nullptr);
        list.MoveDocument(b, nullptr);
        list.MoveDocument(a, nullptr);
        ASSERT_EQ(order(), (std::vector<CDoc*>{a, b, c, d}));
        spy.events.clear();
        list.MoveDocument(k.doc, k.anchor);
        EXPECT_EQ(order(), k.expected);
        if (k.announced) {
            ASSERT_EQ(spy.events.size(), 1u);
            EXPECT_EQ(spy.events[0].code, NotifyCode::DocOrderChanged);
            EXPECT_TRUE(spy.events[0].nullData);
        } else {
            EXPECT_TRUE(spy.events.empty());
        }
    }
}

TEST_F(DocumentListTest, RangesAndIncludedFlagAreAnnouncedOnlyOnARealChange) {
    CDoc* doc = list.AddDocument(pdf("refcard-nf.pdf"));
    ASSERT_NE(doc, nullptr);
    spy.events.clear();

    doc->SetRanges(PageRangeList{{1, 4}});          // equal
    doc->SetRanges(doc->ranges().Subtract({5, 6})); // a page not chosen: equal
    doc->SetIncluded(true);                         // unchanged
    EXPECT_TRUE(spy.events.empty());

    doc->SetRanges(doc->ranges().Subtract({2, 3}));
    EXPECT_EQ(doc->ranges(), (PageRangeList{{1, 2}, {3, 4}}));
    doc->SetRanges(PageRangeList());
    doc->SetIncluded(false);
    doc->SetIncluded(false);
    ASSERT_EQ(spy.events.size(), 3u);
    EXPECT_EQ(spy.events[0].code, NotifyCode::DocRangesChanged);
    EXPECT_EQ(spy.events[1].code, NotifyCode::DocRangesChanged);
    EXPECT_EQ(spy.events[2].code, NotifyCode::DocIncludedChanged);
    for (const Event& e : spy.events) {
        EXPECT_EQ(e.doc, doc);
    }
    EXPECT_TRUE(doc->ranges().IsEmpty());
    EXPECT_FALSE(doc->included());
}

TEST_F(DocumentListTest, PageRetrievedReachesEveryDocumentOnTheInstanceInOrder) {
    CDoc* a = list.AddDocument(pdf("refcard-nf.pdf"));
    CDoc* other = list.AddDocument(pdf("grid_example.pdf"));
    CDoc* b = list.AddDocument(pdf("refcard-nf.pdf"));
    ASSERT_TRUE(a && other && b);
    list.MoveDocument(b, nullptr); // b, a, other
    spy.events.clear();

    list.OnPageRetrieved(a->instance(), 2);
    ASSERT_EQ(spy.events.size(), 2u);
    EXPECT_EQ(spy.events[0].code, NotifyCode::PageRetrieved);
    EXPECT_EQ(spy.events[0].doc, b);
    EXPECT_EQ(spy.events[0].page, 2);
    EXPECT_EQ(spy.events[1].doc, a);
    EXPECT_EQ(spy.events[1].page, 2);

    spy.events.clear();
    list.OnPageRetrieved(nullptr, 1); // an instance nobody shows any more
    EXPECT_TRUE(spy.events.empty());
}

TEST_F(DocumentListTest, AddFolderContents) {
    // The folder: two PDF files (one with an upper-case extension), a text file, a PDF in a
    // sub-folder, and a sub-folder whose name ends in ".pdf".
    copy("refcard-nf.pdf", QStringLiteral("b.pdf"));
    copy("grid_example.pdf", QStringLiteral("A.PDF"));
    QFile text(dir.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sub")));
    copy("boxes.pdf", QStringLiteral("sub/c.pdf"));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("x.pdf")));

    Messages messages;
    EXPECT_EQ(list.AddFolderContents(dir.path()), 2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(0)->GetPath(), dir.filePath(QStringLiteral("A.PDF")));
    EXPECT_EQ(list.at(1)->GetPath(), dir.filePath(QStringLiteral("b.pdf")));
    // The folder named x.pdf is offered and fails like any file that cannot be opened.
    EXPECT_EQ(messages.texts, QStringList{FormatText(LoadResString(ids::IDS_OPEN_FAILED),
                                                     {dir.filePath(QStringLiteral("x.pdf"))})});
}

TEST_F(DocumentListTest, FolderWithPdfFilesOnlyInSubFoldersAddsNothing) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("deep/deeper")));
    copy("refcard-nf.pdf", QStringLiteral("deep/one.pdf"));
    copy("refcard-nf.pdf", QStringLiteral("deep/deeper/two.pdf"));
    Messages messages;
    EXPECT_EQ(list.AddFolderContents(dir.path()), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_TRUE(spy.events.empty());
}

} // namespace
} // namespace plyfold
