// Opening documents through the viewer engine: page counts, rotations, boxes, passwords and
// files that must fail cleanly.

#include "ViewerTestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace plyfold;
using namespace plyfold::test;

namespace {

QByteArray utf8(const QString& s) {
    return s.toUtf8();
}

} // namespace

// Every file of the shared set: the page count and every page's rotation as the manifest lists
// them; files that do not open fail with a result other than 0 and 4.
TEST(ViewerDocument, PageCountsAndRotationsMatchManifest) {
    const auto rows = readManifest();
    ASSERT_GE(rows.size(), 20u);
    for (const ManifestRow& row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        ScopedViewer viewer;
        ASSERT_TRUE(viewer.created());
        const bool needsPassword = row.userPassword != "-" && row.userPassword != "(empty)";
        const std::int32_t rc =
            needsPassword ? viewer.load(pdfPath(row.file), utf8(row.userPassword).constData())
                          : viewer.load(pdfPath(row.file));
        if (row.pages < 0) {
            EXPECT_NE(rc, kPdfOk);
            EXPECT_NE(rc, kPdfErrEncrypted);
            EXPECT_EQ(pdfGetNumPages(viewer.handle()), 0);
            continue;
        }
        ASSERT_EQ(rc, kPdfOk);
        ASSERT_EQ(pdfGetNumPages(viewer.handle()), row.pages);
        for (int page = 1; page <= row.pages; ++page)
            EXPECT_EQ(pdfGetPageRotation(viewer.handle(), page),
                      row.rotations[static_cast<std::size_t>(page - 1)])
                << "page " << page;
        EXPECT_EQ(pdfGetPageRotation(viewer.handle(), 0), 0);
        EXPECT_EQ(pdfGetPageRotation(viewer.handle(), row.pages + 1), 0);
    }
}

// Raw /Rotate values outside 0..359, inherited from a /Pages node, and overridden by the page.
TEST(ViewerDocument, RotationIsNormalisedAndInherited) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<MiniPage> direct(6);
    direct[0].rotate = "-270";
    direct[1].rotate = "540";
    direct[2].rotate = "990";
    direct[3].rotate = "-90";
    direct[4].rotate = "360";
    direct[5].rotate = "44"; // not a quarter turn: drawn as the nearest one, 0
    std::vector<MiniPage> inherited(2);
    inherited[1].rotate = "180"; // the page's own value wins over the inherited one
    const QString path = writeMiniPdf(dir.path(), "rot.pdf", direct, inherited, "-630");

    ScopedViewer viewer;
    ASSERT_EQ(viewer.load(path), kPdfOk);
    const std::vector<int> expected{90, 180, 270, 270, 0, 0, 90, 180};
    ASSERT_EQ(pdfGetNumPages(viewer.handle()), static_cast<int>(expected.size()));
    for (int page = 1; page <= static_cast<int>(expected.size()); ++page)
        EXPECT_EQ(pdfGetPageRotation(viewer.handle(), page),
                  expected[static_cast<size_t>(page - 1)])
            << "page " << page;
}

TEST(ViewerDocument, MediaBoxesAsTheFileStatesThem) {
    struct Row {
        const char* file;
        int page;
        const char* box;
        double x0, y0, x1, y1;
    };
    const Row rows[] = {
        {"R-intro.pdf", 1, "media", 0, 0, 612, 792},
        {"refcard-nf.pdf", 2, "media", 0, 0, 841.68, 594.72},
        {"grid_example.pdf", 1, "media", 50, 50, 350, 350}, // non-zero origin
        {"boxes.pdf", 1, "media", 0, 0, 612, 792},
        {"boxes.pdf", 6, "media", -10, -20, 642, 832},       // negative origin, rotated page
        {"boxes.pdf", 6, "crop", 10, 20, 582, 752},          // the smaller visible area
        {"boundingBox_invalid.pdf", 1, "media", 0, 0, 0, 0}, // zero size, as in the file
        {"boundingBox_invalid.pdf", 2, "media", 0, 0, 800, 600},
        {"PDF 2.0 with page level output intent.pdf", 2, "media", 0, 0, 612, 396},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.file) + " p" + std::to_string(row.page) + " " + row.box);
        ScopedViewer viewer;
        ASSERT_EQ(viewer.load(pdfPath(row.file)), kPdfOk);
        const PdfViewerHandle h = viewer.handle();
        EXPECT_NEAR(pdfGetPageBoxXMin(h, row.page, row.box), row.x0, 0.01);
        EXPECT_NEAR(pdfGetPageBoxYMin(h, row.page, row.box), row.y0, 0.01);
        EXPECT_NEAR(pdfGetPageBoxXMax(h, row.page, row.box), row.x1, 0.01);
        EXPECT_NEAR(pdfGetPageBoxYMax(h, row.page, row.box), row.y1, 0.01);
    }
}

// A box written with its corners swapped still gives min <= max; a page without a usable box
// gives the default Letter size, and one outside the document gives zeros.
TEST(ViewerDocument, OddBoxesAreNormalised) {
    QTemporaryDir dir;
    std::vector<MiniPage> pages(3);
    pages[0].mediaBox = "[612 792 0 0]";
    pages[1].mediaBox = "(not a box)";
    pages[2].mediaBox = "[0 0 0 0]";
    ScopedViewer viewer;
    ASSERT_EQ(viewer.load(writeMiniPdf(dir.path(), "odd.pdf", pages)), kPdfOk);
    const PdfViewerHandle h = viewer.handle();
    for (int page : {1, 2}) {
        EXPECT_EQ(pdfGetPageBoxXMin(h, page, "media"), 0.0) << page;
        EXPECT_EQ(pdfGetPageBoxYMin(h, page, "media"), 0.0) << page;
        EXPECT_EQ(pdfGetPageBoxXMax(h, page, "media"), 612.0) << page;
        EXPECT_EQ(pdfGetPageBoxYMax(h, page, "media"), 792.0) << page;
    }
    EXPECT_EQ(pdfGetPageBoxYMax(h, 3, "media"), 0.0);
    EXPECT_EQ(pdfGetPageBoxXMax(h, 4, "media"), 0.0);
    EXPECT_EQ(pdfGetPageBoxXMax(h, 0, "media"), 0.0);
}

// Every encrypted file: the user and the owner password open it; a wrong password fails; a file
// whose user password is not empty asks for one (4) when none is given.
TEST(ViewerDocument, EncryptedFilesOpenWithUserOrOwnerPassword) {
    int encryptedFiles = 0;
    for (const ManifestRow& row : readManifest()) {
        if (row.encrypted == "none" || row.pages < 0)
            continue;
        ++encryptedFiles;
        SCOPED_TRACE(row.file.toStdString());
        const QString path = pdfPath(row.file);
        ScopedViewer viewer;
        if (row.userPassword == "(empty)") {
            EXPECT_EQ(viewer.load(path), kPdfOk);
        } else {
            EXPECT_EQ(viewer.load(path), kPdfErrEncrypted);
            EXPECT_EQ(pdfGetNumPages(viewer.handle()), 0);
            EXPECT_EQ(viewer.load(path, "wrong password"), kPdfErrEncrypted);
            EXPECT_EQ(viewer.load(path, ""), kPdfErrEncrypted);
            EXPECT_EQ(pdfGetNumPages(viewer.handle()), 0);
            EXPECT_EQ(viewer.load(path, utf8(row.userPassword).constData()), kPdfOk);
            EXPECT_EQ(pdfGetNumPages(viewer.handle()), row.pages);
        }
        if (row.ownerPassword != "unknown" && row.ownerPassword != "(empty)") {
            EXPECT_EQ(viewer.load(path, utf8(row.ownerPassword).constData()), kPdfOk);
            EXPECT_EQ(pdfGetNumPages(viewer.handle()), row.pages);
        }
    }
    EXPECT_GE(encryptedFiles, 8);
}

// The non-ASCII password is accepted as UTF-8 bytes and as the same text in Latin-1 (the locale's
// 8-bit encoding may be either); its look-alike in plain ASCII is refused.
TEST(ViewerDocument, NonAsciiPasswordInEitherEncoding) {
    const QString path = pdfPath("issue21579.pdf");
    const QString password = QString::fromUtf8("pässwört");
    ScopedViewer viewer;
    EXPECT_EQ(viewer.load(path), kPdfErrEncrypted);
    EXPECT_EQ(viewer.load(path, "passwort"), kPdfErrEncrypted);
    EXPECT_EQ(viewer.load(path, password.toUtf8().constData()), kPdfOk);
    EXPECT_EQ(pdfGetNumPages(viewer.handle()), 1);
    EXPECT_EQ(viewer.load(path, password.toLatin1().constData()), kPdfOk);
}

// Files that cannot be opened fail cleanly, and leave the viewer usable for the next load.
TEST(ViewerDocument, BadFilesFailCleanly) {
    QTemporaryDir dir;
    QFile truncated(dir.filePath("truncated.pdf"));
    {
        QFile source(pdfPath("R-intro.pdf"));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        ASSERT_TRUE(truncated.open(QIODevice::WriteOnly));
        truncated.write(source.read(3000));
        truncated.close();
    }
    const QString cases[] = {
        pdfPath("not-a-pdf.pdf"),    pdfPath("empty.pdf"), pdfPath("issue-99.pdf"),
        pdfPath("no such file.pdf"), dir.path(),           truncated.fileName()};
    ScopedViewer viewer;
    for (const QString& path : cases) {
        SCOPED_TRACE(path.toStdString());
        const std::int32_t rc = viewer.load(path);
        EXPECT_NE(rc, kPdfOk);
        EXPECT_NE(rc, kPdfErrEncrypted);
        EXPECT_EQ(pdfGetNumPages(viewer.handle()), 0);
        Bitmap bitmap = render(viewer.handle(), 1, 14.4);
        EXPECT_NE(bitmap.result, kPdfOk);
    }
    // A damaged file that can be rebuilt opens.
    EXPECT_EQ(viewer.load(pdfPath("scan-bad.pdf")), kPdfOk);
    EXPECT_EQ(pdfGetNumPages(viewer.handle()), 1);
    // An unpaired surrogate in the path is not a file name.
    const char16_t broken[] = {u'/', 0xD800, u'x', 0};
    EXPECT_EQ(pdfLoadFileW(viewer.handle(), broken), kPdfErrOpenFile);
    EXPECT_EQ(pdfGetNumPages(viewer.handle()), 0);
}

TEST(ViewerDocument, UnicodeFileNames) {
    for (const char* name : {"crème brûlée – ÉTÉ.pdf", "并行计算_パラレル.pdf"}) {
        const QString file = QString::fromUtf8(name);
        SCOPED_TRACE(name);
        ScopedViewer viewer;
        ASSERT_EQ(viewer.load(pdfPath(file)), kPdfOk);
        EXPECT_GT(pdfGetNumPages(viewer.handle()), 0);
        EXPECT_EQ(render(viewer.handle(), 1, 14.4).result, kPdfOk);
    }
    // A copy under a name outside the Basic Multilingual Plane (surrogate pairs in UTF-16).
    QTemporaryDir dir;
    const QString copy = dir.filePath(QString::fromUtf8("𝒫𝒹𝒻 – 😀.pdf"));
    ASSERT_TRUE(QFile::copy(pdfPath("refcard-nf.pdf"), copy));
    ScopedViewer viewer;
    ASSERT_EQ(viewer.load(copy), kPdfOk);
    EXPECT_EQ(pdfGetNumPages(viewer.handle()), 3);
}

// Handles: unknown and destroyed handles are refused; a load replaces the previous document.
TEST(ViewerDocument, HandlesAndReload) {
    PdfViewerHandle a = 0, b = 0;
    ASSERT_EQ(pdfCreateViewer(&a, nullptr), kPdfOk);
    ASSERT_EQ(pdfCreateViewer(&b, nullptr), kPdfOk);
    EXPECT_NE(a, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(pdfCreateViewer(nullptr, nullptr), kPdfErrBadArgument);
    EXPECT_EQ(pdfShowPasswordDialog(a, 0), kPdfOk);
    EXPECT_EQ(pdfEnableHyperlinks(a, 0), kPdfOk);
    EXPECT_EQ(pdfSetContinuousMode(a, 0), kPdfOk);
    EXPECT_EQ(pdfEnableRedraw(a, 0), kPdfOk);

    const QString rIntro = pdfPath("R-intro.pdf");
    const QString refcard = pdfPath("refcard-nf.pdf");
    ASSERT_EQ(pdfLoadFileW(a, reinterpret_cast<const char16_t*>(rIntro.utf16())), kPdfOk);
    ASSERT_EQ(pdfLoadFileW(b, reinterpret_cast<const char16_t*>(refcard.utf16())), kPdfOk);
    EXPECT_EQ(pdfGetNumPages(a), 113);
    EXPECT_EQ(pdfGetNumPages(b), 3);
    ASSERT_EQ(pdfLoadFileW(a, reinterpret_cast<const char16_t*>(refcard.utf16())), kPdfOk);
    EXPECT_EQ(pdfGetNumPages(a), 3);

    EXPECT_EQ(pdfDestroyViewer(a), kPdfOk);
    EXPECT_EQ(pdfDestroyViewer(a), kPdfErrBadHandle);
    EXPECT_EQ(pdfGetNumPages(a), 0);
    EXPECT_EQ(pdfLoadFileW(a, reinterpret_cast<const char16_t*>(refcard.utf16())),
              kPdfErrBadHandle);
    EXPECT_EQ(pdfGetNumPages(b), 3); // the other viewer is untouched
    EXPECT_EQ(pdfDestroyViewer(b), kPdfOk);
    EXPECT_EQ(pdfGetNumPages(0), 0);
    EXPECT_EQ(pdfEnableRedraw(0, 1), kPdfErrBadHandle);
}

// Documents of more pages than are read at load: the count, each page's own facts and its render
// agree with the tree. A kid that is a node over one page stands for that page; a tree whose kids
// name the root again or a missing object is counted without them, as every tree is.
TEST(ViewerDocument, LargeTreesKeepTheirPagesApart) {
    constexpr std::size_t kKids = 1500;
    constexpr std::size_t kOdd = 700; // the kid a case replaces
    struct Case {
        const char* name;
        const char* replacedKid; // null: none
        const char* standsFor;   // the page object the replacement shows, null: left out
    };
    const Case cases[] = {
        {"sound", nullptr, nullptr},
        {"node over one page among the kids", "8 0 R", "5 0 R"},
        {"root among the kids", "2 0 R", nullptr},
        {"missing object among the kids", "99 0 R", nullptr},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> kids = alternatingKids(kKids);
        std::vector<std::string> shown = kids;
        if (c.replacedKid) {
            kids[kOdd] = c.replacedKid;
            if (c.standsFor)
                shown[kOdd] = c.standsFor;
            else
                shown.erase(shown.begin() + kOdd);
        }
        const QString path = writeRawPdf(dir.path(), QString::fromUtf8(c.name) + ".pdf",
                                         wideTreeObjects(kids, kKids));
        ScopedViewer viewer;
        ASSERT_EQ(viewer.load(path), kPdfOk);
        const PdfViewerHandle h = viewer.handle();
        const int pages = int(shown.size());
        ASSERT_EQ(pdfGetNumPages(h), pages);
        // Out of order: the last page first.
        for (int page : {pages, 1, 2, int(kOdd), int(kOdd) + 1, int(kOdd) + 2}) {
            SCOPED_TRACE(page);
            const bool letter = shown[std::size_t(page) - 1] == "3 0 R";
            EXPECT_EQ(pdfGetPageRotation(h, page), letter ? 0 : 90);
            EXPECT_DOUBLE_EQ(pdfGetPageBoxXMax(h, page, "media"), letter ? 612 : 300);
            EXPECT_DOUBLE_EQ(pdfGetPageBoxYMax(h, page, "crop"), letter ? 792 : 400);
            const Bitmap bitmap = render(h, page, 14.4);
            ASSERT_EQ(bitmap.result, kPdfOk);
            EXPECT_EQ(bitmap.width() < bitmap.height(), letter);
        }
        EXPECT_EQ(pdfGetPageRotation(h, pages + 1), 0);
        EXPECT_EQ(pdfGetPageBoxXMax(h, pages + 1, "media"), 0.0);
    }
}
