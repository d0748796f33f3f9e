// Opening inputs: passwords, encryption, permission words, damaged and odd files, Unicode names.

#include "SpliceTestUtil.h"
#include "platform/PasswordSpellings.h"
#include "platform/Utf16Text.h"
#include "platform/splice/SpliceText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace plyfold::test {
namespace {

struct EncryptedFile {
    const char* name;
    const char* userPassword;  // "" when the file opens without a password
    const char* ownerPassword; // nullptr when unknown
    std::uint32_t permissions;
};

// From the test PDFs' manifest.
const EncryptedFile encryptedFiles[] = {
    {"c-r2.pdf", "user1", "owner1", 0xFFFFFFF8},
    {"enc-R2,V1,O=master.pdf", "", "master", 0xFFFFFFC0},
    {"20-pages.pdf", "user", "owner", 0xFFFFFFFC},
    {"c-r4.pdf", "user2", "owner2", 0xFFFFF7FC},
    {"c-r6-in.pdf", "user4", "owner4", 0xFFFFF7FC},
    {"enc-XI-R6,V5,O=master.pdf", "", "master", 0xFFFFF6C0},
    {"issue7665.pdf", "", "owner", 0xFFFFFFFC},
    {"issue21579.pdf", "p\xC3\xA4ssw\xC3\xB6rt", nullptr, 0xFFFFFBC4},
};

class EncryptedInput : public ::testing::TestWithParam<EncryptedFile> {};

TEST_P(EncryptedInput, OpensWithUserOrOwnerPasswordOnlyAndReportsItsPermissionWord) {
    const EncryptedFile& f = GetParam();
    const bool needsPassword = f.userPassword[0] != '\0';

    SpliceInput plain(openTestPdf(f.name));
    EXPECT_EQ(bool(plain), !needsPassword) << "open without a password";

    SpliceInput wrong(openTestPdf(f.name, "not-the-password"));
    EXPECT_FALSE(wrong) << "a wrong password is refused";

    std::vector<const char*> passwords;
    if (needsPassword) {
        passwords.push_back(f.userPassword);
    }
    if (f.ownerPassword) {
        passwords.push_back(f.ownerPassword);
    }
    for (const char* password : passwords) {
        SpliceInput input(openTestPdf(f.name, password));
        ASSERT_TRUE(input) << "password " << password;
        EXPECT_TRUE(xpdfSpliceIsEncrypted(input.get()));
        // The file's own word whatever password opened it.
        EXPECT_EQ(xpdfSpliceGetPermissions(input.get()), f.permissions) << "password " << password;
    }
    if (plain) {
        EXPECT_TRUE(xpdfSpliceIsEncrypted(plain.get()));
        EXPECT_EQ(xpdfSpliceGetPermissions(plain.get()), f.permissions);
    }
}

INSTANTIATE_TEST_SUITE_P(TestPdfs, EncryptedInput, ::testing::ValuesIn(encryptedFiles),
                         [](const ::testing::TestParamInfo<EncryptedFile>& param) {
                             std::string name = param.param.name;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(SpliceInput, OwnerOnlyFilesThatForbidCopyingOpenWithoutPasswordAndReportIt) {
    struct Case {
        const char* name;
        bool copyAllowed;
    };
    for (const Case& c : {Case{"enc-R2,V1,O=master.pdf", false},
                          Case{"enc-XI-R6,V5,O=master.pdf", false}, Case{"issue7665.pdf", true}}) {
        SpliceInput input(openTestPdf(c.name));
        ASSERT_TRUE(input) << c.name;
        EXPECT_TRUE(xpdfSpliceIsEncrypted(input.get())) << c.name;
        EXPECT_EQ((xpdfSpliceGetPermissions(input.get()) & 0x10u) != 0, c.copyAllowed) << c.name;
    }
}

TEST(SpliceInput, UnencryptedFilesReportEverythingAllowedWhateverPasswordIsGiven) {
    for (const char* password : {static_cast<const char*>(nullptr), "", "anything"}) {
        SpliceInput input(openTestPdf("R-intro.pdf", password));
        ASSERT_TRUE(input);
        EXPECT_FALSE(xpdfSpliceIsEncrypted(input.get()));
        EXPECT_EQ(xpdfSpliceGetPermissions(input.get()), 0xFFFFFFFFu);
    }
}

TEST(SpliceInput, NonAsciiPasswordOpensInTheEncodingsAReaderMayHaveUsed) {
    // The user password of this AES-256 file is "pässwört" in UTF-8. A locale that is not UTF-8
    // hands the same text over as Latin-1 bytes.
    const char* spellings[] = {"p\xC3\xA4ssw\xC3\xB6rt", "p\xE4ssw\xF6rt"};
    for (const char* password : spellings) {
        SpliceInput input(openTestPdf("issue21579.pdf", password));
        EXPECT_TRUE(input) << "spelling of length " << std::strlen(password);
    }
    // Near misses stay refused.
    for (const char* password : {"passwort", "p\xC3\xA4ssw\xC3\xB6rt ", "P\xC3\xA4ssw\xC3\xB6rt"}) {
        SpliceInput input(openTestPdf("issue21579.pdf", password));
        EXPECT_FALSE(input) << password;
    }
}

TEST(SpliceInput, UnreadableFilesFailCleanlyWithoutPrinting) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath("missing.pdf");
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'.', u'p', u'd', u'f', 0};

    ::testing::internal::CaptureStderr();
    for (const QString& path : {pdfPath("not-a-pdf.pdf"), pdfPath("empty.pdf"),
                                pdfPath("issue-99.pdf"), missing, dir.path(), QString()}) {
        SpliceInput input(openPath(path));
        EXPECT_FALSE(input) << path.toStdString();
        SpliceInput withPassword(openPath(path, "secret"));
        EXPECT_FALSE(withPassword) << path.toStdString();
    }
    EXPECT_EQ(xpdfSpliceOpenInputW(loneSurrogate), nullptr);
    EXPECT_EQ(xpdfSpliceOpenInputW(nullptr), nullptr);
    EXPECT_EQ(xpdfSpliceOpenInputWithPasswordW(nullptr, nullptr), nullptr);

    // A damaged file that can be reconstructed opens; the repairs are collected, not printed.
    SpliceInput damaged(openTestPdf("scan-bad.pdf"));
    EXPECT_TRUE(damaged);
    EXPECT_FALSE(xpdfSpliceWarnings(damaged.get()).empty());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// The open that reads the page tree at once, meant for a second thread, refuses and accepts what
// the plain opens do; a page tree it cannot read fails the copy, not the open.
TEST(SpliceInput, OpeningForCopyAcceptsWhatThePlainOpensAccept) {
    struct Case {
        const char* name;
        const char* password;
    };
    const Case cases[] = {{"R-intro.pdf", nullptr},
                          {"R-intro.pdf", "anything"},
                          {"c-r4.pdf", nullptr},
                          {"c-r4.pdf", "user2"},
                          {"c-r4.pdf", "owner2"},
                          {"c-r4.pdf", "wrong"},
                          {"issue21579.pdf", "p\xE4ssw\xF6rt"},
                          {"not-a-pdf.pdf", nullptr},
                          {"empty.pdf", nullptr},
                          {"issue-99.pdf", "secret"},
                          {"scan-bad.pdf", nullptr}};
    for (const Case& c : cases) {
        SpliceInput plain(openTestPdf(c.name, c.password));
        SpliceInput forCopy(
            xpdfSpliceOpenInputForCopyW(wide(pdfPath(c.name)).c_str(), c.password, {{1, 3}}));
        EXPECT_EQ(bool(forCopy), bool(plain)) << c.name << " " << (c.password ? c.password : "-");
    }

    // A kid of the page tree that is no dictionary: the file opens, its pages cannot be copied.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = dir.filePath("broken-tree.pdf");
    {
        QPDF pdf;
        pdf.emptyPDF();
        QPDFObjectHandle pages = pdf.getRoot().getKey("/Pages");
        pages.replaceKey("/Kids", QPDFObjectHandle::parse("[ 42 ]"));
        pages.replaceKey("/Count", QPDFObjectHandle::newInteger(1));
        const QByteArray name = broken.toUtf8(); // the writer keeps the pointer until it writes
        QPDFWriter writer(pdf, name.constData());
        writer.write();
    }
    SpliceInput input(xpdfSpliceOpenInputForCopyW(wide(broken).c_str(), nullptr, {{1, 1}}));
    ASSERT_TRUE(input);
    XpdfSpliceOutput out = xpdfSpliceOpenOutputW(wide(dir.filePath("out.pdf")).c_str(), 1.6);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(xpdfSpliceAddPages(input.get(), 1, 1, out));
    xpdfSpliceCloseOutput(out);
}

// The open that says why it failed, and the page count, over every shared test PDF: a file that
// needs a password (none given, or a wrong one) is told apart from one that cannot be read at all,
// whatever password comes with it.
TEST(SpliceInput, OpenFailuresAreToldApartAndPagesCountedAsTheManifestSays) {
    const std::vector<ManifestRow> rows = readManifest();
    ASSERT_FALSE(rows.empty());
    for (const ManifestRow& row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        const std::u16string path = wide(pdfPath(row.file));
        const bool readable = row.pages >= 0;
        const bool encrypted = row.encrypted != QLatin1String("none");
        const bool needsPassword =
            row.userPassword != QLatin1String("-") && row.userPassword != QLatin1String("(empty)");
        using enum XpdfSpliceOpenError;

        XpdfSpliceOpenError error = None;
        SpliceInput plain(xpdfSpliceOpenInputExW(path.c_str(), nullptr, &error));
        EXPECT_EQ(error, !readable ? Unreadable : needsPassword ? Password : None);
        EXPECT_EQ(bool(plain), error == None);

        SpliceInput wrong(xpdfSpliceOpenInputExW(path.c_str(), "not-the-password", &error));
        EXPECT_EQ(error, !readable ? Unreadable : encrypted ? Password : None);
        EXPECT_EQ(bool(wrong), error == None);

        const QByteArray password = row.userPassword.toUtf8();
        SpliceInput right(xpdfSpliceOpenInputExW(
            path.c_str(), needsPassword ? password.constData() : nullptr, &error));
        EXPECT_EQ(error, readable ? None : Unreadable);
        EXPECT_EQ(xpdfSpliceGetPageCount(right.get()), readable ? row.pages : -1);
    }
}

TEST(SpliceInput, PageCountFailsForAnUnreadablePageTreeAndForInvalidHandles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A page tree whose only kid is a number, not a page: the file opens, its pages cannot be
    // numbered.
    const QString broken = dir.filePath("kid-is-a-number.pdf");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
               "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n3 0 obj 42 endobj\n"
               "trailer << /Root 1 0 R /Size 4 >>\n%%EOF\n");
    file.close();
    XpdfSpliceOpenError error = XpdfSpliceOpenError::Unreadable;
    SpliceInput input(xpdfSpliceOpenInputExW(wide(broken).c_str(), nullptr, &error));
    ASSERT_TRUE(input);
    EXPECT_EQ(error, XpdfSpliceOpenError::None);
    EXPECT_EQ(xpdfSpliceGetPageCount(input.get()), -1);
    // The pages the count refuses cannot be copied either.
    XpdfSpliceOutput output = xpdfSpliceOpenOutputW(wide(dir.filePath("out.pdf")).c_str(), 1.6);
    ASSERT_NE(output, nullptr);
    EXPECT_FALSE(xpdfSpliceAddPages(input.get(), 1, 1, output));
    xpdfSpliceSetProgress(output, [](int, long long) { return false; });
    xpdfSpliceCloseOutput(output);

    XpdfSpliceInput closed = openTestPdf("refcard-nf.pdf");
    ASSERT_NE(closed, nullptr);
    EXPECT_EQ(xpdfSpliceGetPageCount(closed), 3);
    xpdfSpliceCloseInput(closed);
    EXPECT_EQ(xpdfSpliceGetPageCount(closed), -1);
    EXPECT_EQ(xpdfSpliceGetPageCount(nullptr), -1);
    // Without a place for the reason the open still works.
    SpliceInput unasked(
        xpdfSpliceOpenInputExW(wide(pdfPath("c-r2.pdf")).c_str(), "user1", nullptr));
    EXPECT_TRUE(unasked);
    EXPECT_EQ(xpdfSpliceOpenInputExW(nullptr, nullptr, &error), nullptr);
    EXPECT_EQ(error, XpdfSpliceOpenError::Unreadable);
}

TEST(SpliceInput, UnicodeFileNamesOpen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString emoji = dir.filePath(QString::fromUtf8("\xF0\x9F\x93\x84 Ünïcødé.pdf"));
    ASSERT_TRUE(QFile::copy(pdfPath("refcard-nf.pdf"), emoji));
    for (const QString& path : {pdfPath(QString::fromUtf8("crème brûlée – ÉTÉ.pdf")),
                                pdfPath(QString::fromUtf8("并行计算_パラレル.pdf")), emoji}) {
        SpliceInput input(openPath(path));
        EXPECT_TRUE(input) << path.toStdString();
    }
}

TEST(SpliceInput, StaleAndNullHandlesAreHarmless) {
    XpdfSpliceInput input = openTestPdf("refcard-nf.pdf");
    ASSERT_NE(input, nullptr);
    xpdfSpliceCloseInput(input);
    xpdfSpliceCloseInput(input);
    xpdfSpliceCloseInput(nullptr);
    EXPECT_FALSE(xpdfSpliceIsEncrypted(input));
    EXPECT_EQ(xpdfSpliceGetPermissions(input), 0u);
    EXPECT_EQ(xpdfSpliceGetPermissions(nullptr), 0u);
    EXPECT_TRUE(xpdfSpliceWarnings(input).empty());
    EXPECT_TRUE(xpdfSpliceInit());
    EXPECT_TRUE(xpdfSpliceInit());
}

TEST(SpliceText, WidePathsBecomeUtf8AndBrokenUtf16IsRefused) {
    EXPECT_EQ(Utf16ToUtf8(u"a\u00e9\u4e2d\U0001F4C4"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x93\x84");
    const char16_t lowFirst[] = {0xDC00, 0xD800, 0};
    const char16_t highAtEnd[] = {u'x', 0xD83D, 0};
    EXPECT_FALSE(Utf16ToUtf8(lowFirst));
    EXPECT_FALSE(Utf16ToUtf8(highAtEnd));
    EXPECT_FALSE(Utf16ToUtf8(nullptr));
    EXPECT_EQ(Utf16ToUtf8(u""), "");
}

TEST(SpliceText, PasswordsOfTheOlderHandlersAreStoredInPdfDocEncoding) {
    struct Case {
        const char* given;
        std::string stored;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"p\xC3\xA4ssw\xC3\xB6rt", "p\xE4ssw\xF6rt"},             // UTF-8 text
        {"\xE2\x82\xAC 5", "\xA0 5"},                             // the euro sign has its own code
        {"\xE5\xB9\xB6\xE8\xA1\x8C", "\xE5\xB9\xB6\xE8\xA1\x8C"}, // no PDFDoc form: kept as UTF-8
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splice::passwordForR4(c.given), c.stored) << c.given;
    }
}

// Both PDF layers try the spellings of platform/PasswordSpellings.h, so a password opens a file
// in the window exactly when it opens it for the merge. Every spelling the PDF library itself
// thinks of for a password is among them, the bytes as given come first and nothing is tried
// twice. Every byte beyond ASCII, alone and after ASCII, checks the three single-byte encodings
// both ways against the library's own tables, but for the bytes where those tables depart from
// the published code pages: the library reads the spacing accents of Windows-1252 and Mac Roman
// (0x98, 0xAB, 0xAC, 0xF7 to 0xFE) as combining marks, the micro sign and the ordinal indicators
// (0xB5, 0xBB, 0xBC) as Greek mu and modifier letters, and Mac Roman's 0xDB as the currency sign
// (0xA4 the other way) where the code page has had the euro since 1998. Nor are the library's
// spellings worth trying in which it put a stand-in for a byte an encoding leaves undefined (the
// replacement character) or for a character PDFDocEncoding lacks (0x9F).
TEST(SpliceText, PasswordSpellingsHoldThoseOfThePdfLibrary) {
    std::vector<std::string> passwords = {
        "plain",
        "",
        "p\xC3\xA4ssw\xC3\xB6rt",             // UTF-8 text
        "p\xE4ssw\xF6rt",                     // the same in Latin-1
        "\xE2\x82\xAC 5",                     // a character in all three single-byte encodings
        "\xE5\xB9\xB6\xE8\xA1\x8C",           // in none of them
        "\xCE\xA9mega \xEF\xAC\x81",          // in Mac Roman only, and a ligature in two
        "\xC5\x93uvre \xE2\x80\x94 \xC3\x9F", // in all three at different bytes
    };
    const std::set<int> departing = {0x98, 0xA4, 0xAB, 0xAC, 0xB5, 0xBB, 0xBC, 0xDB,
                                     0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE};
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        if (departing.count(byte) != 0) {
            continue;
        }
        passwords.push_back(std::string(1, static_cast<char>(byte)));
        passwords.push_back("pw" + std::string(1, static_cast<char>(byte)));
    }
    for (const std::string& password : passwords) {
        SCOPED_TRACE(QByteArray::fromStdString(password).toHex().toStdString());
        const std::vector<std::string> ours = PasswordSpellings(password);
        ASSERT_FALSE(ours.empty());
        EXPECT_EQ(ours.front(), password);
        EXPECT_EQ(std::set<std::string>(ours.begin(), ours.end()).size(), ours.size());
        EXPECT_EQ(splice::passwordCandidates(password), ours);
        for (const std::string& theirs : QUtil::possible_repaired_encodings(password)) {
            if ((theirs.find('\x9F') != std::string::npos &&
                 password.find('\x9F') == std::string::npos) ||
                theirs.find("\xEF\xBF\xBD") != std::string::npos) {
                continue;
            }
            EXPECT_NE(std::find(ours.begin(), ours.end(), theirs), ours.end())
                << QByteArray::fromStdString(theirs).toHex().toStdString();
        }
    }
}

TEST(SpliceText, PermissionWordMapsBitByBit) {
    const splice::R4Permissions none = splice::r4Permissions(0);
    EXPECT_FALSE(none.printLow || none.printHigh || none.modifyOther || none.extract ||
                 none.annotateAndForm || none.formFilling || none.accessibility || none.assemble);
    const splice::R4Permissions all = splice::r4Permissions(0xFFFFFFFF);
    EXPECT_TRUE(all.printLow && all.printHigh && all.modifyOther && all.extract &&
                all.annotateAndForm && all.formFilling && all.accessibility && all.assemble);
    // High-quality printing alone grants no printing at all.
    EXPECT_FALSE(splice::r4Permissions(0x800).printHigh);
    EXPECT_TRUE(splice::r4Permissions(0x4).printLow);
    EXPECT_FALSE(splice::r4Permissions(0x4).printHigh);
}

} // namespace
} // namespace plyfold::test
