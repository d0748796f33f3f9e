// Writing outputs: page order and content, file version and structure, encryption, form fields,
// failures that must leave no file behind.

#include "SpliceTestUtil.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <system_error>

namespace plyfold::test {
namespace {

class SpliceOutputTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString out(const QString& name = "out.pdf") const { return m_dir.filePath(name); }
    static XpdfSpliceOutput openOutput(const QString& path, double version = 1.6) {
        return xpdfSpliceOpenOutputW(wide(path).c_str(), version);
    }
    QTemporaryDir m_dir;
};

struct Piece {
    const char* file;
    const char* password; // nullptr: opened without one
    int first;
    int last;
};

// Copies the pieces in order, closing each input before the output is written (as the save does),
// and returns whether everything succeeded.
bool splice(const QString& outputPath, const std::vector<Piece>& pieces) {
    XpdfSpliceOutput output = xpdfSpliceOpenOutputW(wide(outputPath).c_str(), 1.6);
    if (!output) {
        return false;
    }
    bool ok = true;
    for (const Piece& piece : pieces) {
        SpliceInput input(openTestPdf(piece.file, piece.password));
        ok = ok && input && xpdfSpliceAddPages(input.get(), piece.first, piece.last, output);
    }
    return xpdfSpliceCloseOutput(output) && ok;
}

// The pages a reader should see in the output: the source pages in piece order.
std::vector<PageLook> expectedPages(const std::vector<Piece>& pieces) {
    std::vector<PageLook> expected;
    for (const Piece& piece : pieces) {
        const std::vector<PageLook> source = readPages(pdfPath(piece.file), piece.password);
        for (int page = piece.first; page <= piece.last; ++page) {
            expected.push_back(source.at(static_cast<std::size_t>(page - 1)));
        }
    }
    return expected;
}

TEST_F(SpliceOutputTest, PagesAppearInCallOrderWithTheirContentRotationAndBoxes) {
    const std::vector<std::vector<Piece>> cases = {
        // Pages 2-4 of A, then page 1 of B.
        {{"R-intro.pdf", nullptr, 2, 4}, {"refcard-nf.pdf", nullptr, 1, 1}},
        // Encrypted inputs are decrypted (user and owner password), later files may come first.
        {{"c-r4.pdf", "user2", 3, 4},
         {"R-intro.pdf", nullptr, 113, 113},
         {"c-r6-in.pdf", "owner4", 1, 1},
         {"enc-XI-R6,V5,O=master.pdf", "master", 30, 30}},
        // Direct and inherited rotations, negative box origins, the same file twice.
        {{"to-rotate.pdf", nullptr, 10, 16},
         {"boxes.pdf", nullptr, 5, 8},
         {"to-rotate.pdf", nullptr, 1, 2}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QString path = out(QString("case%1.pdf").arg(i));
        ASSERT_TRUE(splice(path, cases[i])) << "case " << i << ": " << xpdfSpliceLastError();
        const std::vector<PageLook> written = readPages(path);
        const std::vector<PageLook> expected = expectedPages(cases[i]);
        ASSERT_EQ(written.size(), expected.size()) << "case " << i;
        for (std::size_t p = 0; p < expected.size(); ++p) {
            EXPECT_EQ(written[p], expected[p]) << "case " << i << ", output page " << p + 1;
        }
    }
    // The first case in the order a reader extracts text, as a check independent of the library.
    const ToolRun text = runTool("pdftotext", {"-layout", out("case0.pdf"), "-"});
    ASSERT_EQ(text.exitCode, 0);
    const QStringList pages = text.out.split('\f');
    ASSERT_GE(pages.size(), 4);
    for (int p = 0; p < 4; ++p) {
        const ToolRun source =
            runTool("pdftotext", {"-layout", "-f", QString::number(p < 3 ? p + 2 : 1), "-l",
                                  QString::number(p < 3 ? p + 2 : 1),
                                  pdfPath(p < 3 ? "R-intro.pdf" : "refcard-nf.pdf"), "-"});
        EXPECT_EQ(pages[p].trimmed(), source.out.split('\f').first().trimmed()) << "page " << p + 1;
    }
}

TEST_F(SpliceOutputTest, WritesAValidPdf16WithObjectStreamsAndUntouchedStreamData) {
    // The inputs range from version 1.3 to 2.0; the output still declares 1.6.
    const std::vector<Piece> pieces = {{"R-intro.pdf", nullptr, 1, 5},
                                       {"PDF 2.0 with page level output intent.pdf", nullptr, 1, 2},
                                       {"boxes.pdf", nullptr, 1, 1},
                                       {"scan-bad.pdf", nullptr, 1, 1}};
    ASSERT_TRUE(splice(out(), pieces)) << xpdfSpliceLastError();

    const ToolRun check = runTool("qpdf", {"--check", out()});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();
    EXPECT_FALSE(check.out.contains("WARNING") || check.err.contains("WARNING"));
    const ToolRun info = runTool("pdfinfo", {out()});
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_TRUE(info.out.contains(QRegularExpression("PDF version:\\s+1\\.6\\b")))
        << info.out.toStdString();
    EXPECT_TRUE(info.out.contains(QRegularExpression("Pages:\\s+9\\b")));

    QPDF written;
    written.processFile(out().toUtf8().constData());
    EXPECT_EQ(written.getPDFVersion(), "1.6");
    int inObjectStreams = 0;
    for (const auto& [objGen, entry] : written.getXRefTable()) {
        inObjectStreams += entry.getType() == 2 ? 1 : 0;
    }
    EXPECT_GT(inObjectStreams, 0);

    // A content stream keeps its stored bytes and filter: copied, not decoded and re-encoded.
    QPDF source;
    source.processFile(pdfPath("R-intro.pdf").toUtf8().constData());
    for (std::size_t p = 0; p < 5; ++p) {
        QPDFObjectHandle fromPage = source.getAllPages().at(p);
        QPDFObjectHandle toPage = written.getAllPages().at(p);
        QPDFObjectHandle from = fromPage.getKey("/Contents");
        QPDFObjectHandle to = toPage.getKey("/Contents");
        ASSERT_TRUE(from.isStream() && to.isStream()) << "page " << p + 1;
        EXPECT_EQ(from.getDict().getKey("/Filter").unparse(),
                  to.getDict().getKey("/Filter").unparse());
        EXPECT_EQ(from.getRawStreamData()->getSize(), to.getRawStreamData()->getSize());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(from.getRawStreamData()->getBuffer()),
                              from.getRawStreamData()->getSize()),
                  std::string(reinterpret_cast<const char*>(to.getRawStreamData()->getBuffer()),
                              to.getRawStreamData()->getSize()));
    }
}

// P as qpdf prints it for revision 4: reserved bits 1-2 are 0; the permission bits follow the word,
// except that high-quality printing needs printing, and the accessibility bit stays set.
std::uint32_t writtenWord(std::uint32_t asked) {
    std::uint32_t expected = asked & ~0x3u;
    if (!(asked & 0x4u)) {
        expected &= ~0x800u;
    }
    expected |= 0x200u | 0xFFFFF0C0u;
    return expected;
}

QString signedWord(std::uint32_t word) {
    return QString::number(static_cast<std::int32_t>(word));
}

TEST_F(SpliceOutputTest, EncryptionIsAes128WithThePermissionWordBitByBit) {
    struct Case {
        const char* owner;
        const char* user;
        std::uint32_t permissions;
    };
    std::vector<Case> cases = {
        {"secret", "secret", 0xFFFFFFFF}, // only Viewing
        {"secret", "", 0xFFFFF5EB},       // Printing and Copying, opens freely
        {"secret", "secret", 0xFFFFF4CB}, // everything
        {"owner", "user", 0x0},
    };
    for (std::uint32_t bit : {0x4u, 0x8u, 0x10u, 0x20u, 0x100u, 0x200u, 0x400u, 0x800u}) {
        cases.push_back({"owner", "user", 0xFFFFFFFFu & ~bit});
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const QString path = out(QString("enc%1.pdf").arg(i));
        XpdfSpliceOutput output = openOutput(path);
        ASSERT_NE(output, nullptr);
        EXPECT_TRUE(xpdfSpliceSetEncryption(output, 2, c.owner, c.user, c.permissions));
        {
            SpliceInput a(openTestPdf("refcard-nf.pdf"));
            SpliceInput b(openTestPdf("c-r2.pdf", "user1"));
            ASSERT_TRUE(xpdfSpliceAddPages(a.get(), 1, 2, output));
            ASSERT_TRUE(xpdfSpliceAddPages(b.get(), 7, 7, output));
        }
        ASSERT_TRUE(xpdfSpliceCloseOutput(output)) << xpdfSpliceLastError();

        const QString word = QString::number(c.permissions, 16);
        const ToolRun shown =
            runTool("qpdf", {"--show-encryption", QString("--password=") + c.owner, path});
        EXPECT_EQ(shown.exitCode, 0) << word.toStdString();
        EXPECT_TRUE(shown.out.contains("R = 4\n")) << shown.out.toStdString();
        EXPECT_TRUE(shown.out.contains("P = " + signedWord(writtenWord(c.permissions)) + "\n"))
            << "asked " << word.toStdString() << "\n"
            << shown.out.toStdString();
        EXPECT_TRUE(shown.out.contains("stream encryption method: AESv2"));
        EXPECT_TRUE(shown.out.contains("Supplied password is owner password"));
        EXPECT_TRUE(shown.out.contains(QString("User password = ") + c.user + "\n"));

        const bool userNeeded = c.user[0] != '\0';
        SpliceInput reopened(openPath(path));
        EXPECT_EQ(bool(reopened), !userNeeded) << word.toStdString();
        const ToolRun check = runTool("qpdf", {"--check", path});
        EXPECT_EQ(check.exitCode == 0, !userNeeded) << word.toStdString();
        if (userNeeded) {
            const ToolRun refused = runTool("pdfinfo", {path});
            EXPECT_NE(refused.exitCode, 0);
            const ToolRun poppler = runTool("pdfinfo", {"-upw", c.user, path});
            EXPECT_EQ(poppler.exitCode, 0);
            EXPECT_TRUE(poppler.out.contains("algorithm:AES")) << poppler.out.toStdString();
            EXPECT_TRUE(poppler.out.contains(QRegularExpression("PDF version:\\s+1\\.6\\b")));
        }
        SpliceInput asUser(openPath(path, c.user));
        ASSERT_TRUE(asUser);
        EXPECT_EQ(xpdfSpliceGetPermissions(asUser.get()), writtenWord(c.permissions));
        EXPECT_EQ(readPages(path, c.user),
                  expectedPages({{"refcard-nf.pdf", nullptr, 1, 2}, {"c-r2.pdf", "user1", 7, 7}}));
    }
}

TEST_F(SpliceOutputTest, NonAsciiPasswordsOpenTheOutputInOtherReaders) {
    struct Case {
        const char* password;
        bool pdfDocEncodable;
    };
    for (const Case& c : {Case{"p\xC3\xA4ssw\xC3\xB6rt", true}, Case{"\xE2\x82\xAC\xC3\x9F!", true},
                          Case{"\xE5\xB9\xB6\xE8\xA1\x8C", false}}) {
        const QString path = out("nonascii.pdf");
        QFile::remove(path);
        XpdfSpliceOutput output = openOutput(path);
        ASSERT_NE(output, nullptr);
        xpdfSpliceSetEncryption(output, 2, c.password, c.password, 0xFFFFFFFF);
        SpliceInput input(openTestPdf("refcard-nf.pdf"));
        ASSERT_TRUE(xpdfSpliceAddPages(input.get(), 1, 1, output));
        ASSERT_TRUE(xpdfSpliceCloseOutput(output));

        const QString text = QString::fromUtf8(c.password);
        // qpdf's command line takes the password as UTF-8 and finds the stored encoding itself.
        EXPECT_EQ(runTool("qpdf", {"--check", "--password=" + text, path}).exitCode, 0)
            << c.password;
        EXPECT_NE(runTool("qpdf", {"--check", "--password=x" + text, path}).exitCode, 0);
        SpliceInput reopened(openPath(path, c.password));
        EXPECT_TRUE(reopened) << c.password;
        if (c.pdfDocEncodable) {
            // MuPDF converts a typed password to PDFDocEncoding for this handler.
            const ToolRun mupdf = runTool("mutool", {"info", "-p", text, path});
            EXPECT_EQ(mupdf.exitCode, 0) << c.password << mupdf.err.toStdString();
        }
    }
}

TEST_F(SpliceOutputTest, FormFieldsOfCopiedPagesStayWorking) {
    // The form page twice (through two handles) around an ordinary page.
    const std::vector<Piece> pieces = {{"pdflatex-forms.pdf", nullptr, 1, 1},
                                       {"R-intro.pdf", nullptr, 1, 1},
                                       {"pdflatex-forms.pdf", nullptr, 1, 1}};
    ASSERT_TRUE(splice(out(), pieces)) << xpdfSpliceLastError();

    // qpdf's own report of the form: every field, its name and the page its widget is on.
    auto fieldsByPage = [](const QString& path) {
        const ToolRun json = runTool("qpdf", {"--json=2", "--json-key=acroform", path});
        std::map<int, std::set<QString>> fields;
        for (const QJsonValue& field : QJsonDocument::fromJson(json.out.toUtf8())
                                           .object()["acroform"]
                                           .toObject()["fields"]
                                           .toArray()) {
            fields[field["pageposfrom1"].toInt()].insert(field["fullname"].toString());
        }
        return fields;
    };
    const std::map<int, std::set<QString>> source = fieldsByPage(pdfPath("pdflatex-forms.pdf"));
    ASSERT_EQ(source.size(), 1u);
    const std::set<QString>& names = source.at(1);
    ASSERT_EQ(names.size(), 3u);

    const std::map<int, std::set<QString>> written = fieldsByPage(out());
    ASSERT_EQ(written.count(1), 1u);
    ASSERT_EQ(written.count(3), 1u);
    EXPECT_EQ(written.count(2), 0u);
    EXPECT_EQ(written.at(1), names) << "the first copy keeps its names";
    EXPECT_EQ(written.at(3).size(), names.size());
    for (const QString& name : written.at(3)) {
        EXPECT_EQ(names.count(name), 0u) << "the second copy's fields are renamed apart";
    }

    // Every field can still be drawn: it has a default appearance whose font is in the form's
    // resources, and a widget on its page.
    QPDF pdf;
    pdf.processFile(out().toUtf8().constData());
    QPDFAcroFormDocumentHelper forms(pdf);
    ASSERT_TRUE(forms.hasAcroForm());
    QPDFObjectHandle fonts = pdf.getRoot().getKey("/AcroForm").getKey("/DR").getKey("/Font");
    std::size_t fieldCount = 0;
    for (QPDFFormFieldObjectHelper field : forms.getFormFields()) {
        ++fieldCount;
        const std::string da = field.getDefaultAppearance();
        const auto slash = da.find('/');
        ASSERT_NE(slash, std::string::npos) << field.getFullyQualifiedName();
        const std::string font = da.substr(slash, da.find(' ', slash) - slash);
        EXPECT_TRUE(fonts.isDictionary() && fonts.hasKey(font)) << font;
    }
    EXPECT_EQ(fieldCount, 6u);
    QPDFPageDocumentHelper pages(pdf);
    for (std::size_t p : {0u, 2u}) {
        EXPECT_EQ(forms.getWidgetAnnotationsForPage(pages.getAllPages().at(p)).size(), 3u);
    }
}

TEST_F(SpliceOutputTest, CopyingFromAFileThatForbidsItNeedsAPassword) {
    struct Case {
        const char* file;
        const char* password;
        bool copies;
    };
    const Case cases[] = {
        {"enc-R2,V1,O=master.pdf", nullptr, false},
        {"enc-R2,V1,O=master.pdf", "", false},
        {"enc-R2,V1,O=master.pdf", "master", true},
        {"enc-XI-R6,V5,O=master.pdf", nullptr, false},
        {"enc-XI-R6,V5,O=master.pdf", "master", true},
        {"issue21579.pdf", "p\xC3\xA4ssw\xC3\xB6rt", true}, // forbids copying; user password typed
        {"issue7665.pdf", nullptr, true},                   // owner-only, copying allowed
    };
    for (const Case& c : cases) {
        const QString path = out("copy.pdf");
        QFile::remove(path);
        XpdfSpliceOutput output = openOutput(path);
        ASSERT_NE(output, nullptr);
        SpliceInput input(openTestPdf(c.file, c.password));
        ASSERT_TRUE(input) << c.file;
        EXPECT_EQ(xpdfSpliceAddPages(input.get(), 1, 1, output), c.copies)
            << c.file << " " << (c.password ? c.password : "(none)");
        SpliceInput other(openTestPdf("refcard-nf.pdf"));
        ASSERT_TRUE(xpdfSpliceAddPages(other.get(), 1, 1, output));
        input.close();
        ASSERT_TRUE(xpdfSpliceCloseOutput(output));
        EXPECT_EQ(readPages(path).size(), c.copies ? 2u : 1u);
    }
}

TEST_F(SpliceOutputTest, PageRangesOutsideTheDocumentFailAndLeaveTheOutputAsItWas) {
    XpdfSpliceOutput output = openOutput(out());
    ASSERT_NE(output, nullptr);
    SpliceInput input(openTestPdf("refcard-nf.pdf")); // 3 pages
    struct Range {
        int first;
        int last;
    };
    for (const Range& r : {Range{0, 1}, Range{-1, 2}, Range{2, 1}, Range{1, 4}, Range{4, 4},
                           Range{3, 2147483647}, Range{-2147483647 - 1, 1}}) {
        EXPECT_FALSE(xpdfSpliceAddPages(input.get(), r.first, r.last, output))
            << r.first << "-" << r.last;
    }
    EXPECT_TRUE(xpdfSpliceAddPages(input.get(), 3, 3, output));
    EXPECT_FALSE(xpdfSpliceAddPages(nullptr, 1, 1, output));
    EXPECT_FALSE(xpdfSpliceAddPages(input.get(), 1, 1, nullptr));
    ASSERT_TRUE(xpdfSpliceCloseOutput(output));
    EXPECT_EQ(readPages(out()), expectedPages({{"refcard-nf.pdf", nullptr, 3, 3}}));
    EXPECT_FALSE(xpdfSpliceCloseOutput(output)) << "a closed output handle";
}

TEST_F(SpliceOutputTest, RefusedOutputsNeedNoWrite) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("sub"));
    ASSERT_TRUE(QFile::copy(pdfPath("refcard-nf.pdf"), out("in.pdf")));
    SpliceInput openInput(openPath(out("in.pdf")));
    ASSERT_TRUE(openInput);

    EXPECT_EQ(openOutput(m_dir.filePath("no-such-folder/out.pdf")), nullptr);
    EXPECT_EQ(openOutput(m_dir.filePath("sub")), nullptr) << "a folder";
    EXPECT_EQ(openOutput(QString()), nullptr);
    EXPECT_EQ(openOutput(out("in.pdf")), nullptr) << "a file open as an input";
    for (double version : {0.9, 2.1, std::nan("")}) {
        EXPECT_EQ(openOutput(out(), version), nullptr) << version;
    }
    EXPECT_EQ(xpdfSpliceOpenOutputW(nullptr, 1.6), nullptr);
    EXPECT_TRUE(filesIn(m_dir.path()) == QStringList{"in.pdf"}) << "nothing created";

    // An input opened after the output on the output's own file cannot feed it.
    XpdfSpliceOutput output = openOutput(out("later.pdf"));
    ASSERT_NE(output, nullptr);
    ASSERT_TRUE(QFile::copy(pdfPath("refcard-nf.pdf"), out("later.pdf")));
    SpliceInput same(openPath(out("later.pdf")));
    ASSERT_TRUE(same);
    EXPECT_FALSE(xpdfSpliceAddPages(same.get(), 1, 1, output));
    EXPECT_TRUE(xpdfSpliceAddPages(openInput.get(), 1, 1, output));
    same.close();
    EXPECT_TRUE(xpdfSpliceCloseOutput(output));
    EXPECT_EQ(readPages(out("later.pdf")).size(), 1u);
}

TEST_F(SpliceOutputTest, AFailedWriteLeavesNoFileAndKeepsAnExistingOne) {
    const QByteArray previous = "previous content";
    auto writeFile = [](const QString& path, const QByteArray& data) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    };
    auto readFile = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    // 1. The folder disappears between open and close.
    {
        const QString folder = m_dir.filePath("gone");
        ASSERT_TRUE(QDir().mkpath(folder));
        XpdfSpliceOutput output = openOutput(folder + "/out.pdf");
        ASSERT_NE(output, nullptr);
        SpliceInput input(openTestPdf("refcard-nf.pdf"));
        ASSERT_TRUE(xpdfSpliceAddPages(input.get(), 1, 3, output));
        ASSERT_TRUE(QDir(folder).removeRecursively());
        EXPECT_FALSE(xpdfSpliceCloseOutput(output));
        EXPECT_FALSE(QFileInfo::exists(folder + "/out.pdf"));
    }
    // 2. An input file is cut short after its pages were added: its stream data cannot be read
    //    while writing. The output must not be a silently damaged file.
    {
        const QString folder = m_dir.filePath("cut");
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::copy(pdfPath("R-intro.pdf"), folder + "/in.pdf"));
        ASSERT_TRUE(writeFile(folder + "/out.pdf", previous));
        XpdfSpliceOutput output = openOutput(folder + "/out.pdf");
        ASSERT_NE(output, nullptr);
        SpliceInput input(openPath(folder + "/in.pdf"));
        ASSERT_TRUE(xpdfSpliceAddPages(input.get(), 1, 113, output));
        ASSERT_TRUE(QFile::resize(folder + "/in.pdf", 100000));
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(xpdfSpliceCloseOutput(output));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        // The reason names the data that could not be read, not only that some could not.
        const std::string prefix = "input data could not be read while writing: ";
        const std::string reason = xpdfSpliceLastError();
        EXPECT_EQ(reason.substr(0, prefix.size()), prefix) << reason;
        EXPECT_GT(reason.size(), prefix.size()) << reason;
        EXPECT_EQ(readFile(folder + "/out.pdf"), previous);
        EXPECT_EQ(filesIn(folder), (QStringList{"in.pdf", "out.pdf"}));
    }
    // 3. An encryption request that cannot be honoured: nothing is written rather than an
    //    unprotected file.
    {
        XpdfSpliceOutput output = openOutput(out("unprotected.pdf"));
        ASSERT_NE(output, nullptr);
        EXPECT_FALSE(xpdfSpliceSetEncryption(output, 3, "owner", "user", 0xFFFFFFFF));
        SpliceInput input(openTestPdf("refcard-nf.pdf"));
        EXPECT_TRUE(xpdfSpliceAddPages(input.get(), 1, 1, output));
        EXPECT_FALSE(xpdfSpliceCloseOutput(output));
        // Closing says why the output was given up, not only that something failed before.
        EXPECT_EQ(xpdfSpliceLastError(), "unsupported encryption request");
        EXPECT_FALSE(QFileInfo::exists(out("unprotected.pdf")));
    }
    // 4. A read-only folder (not testable as the superuser, who may write anywhere).
    {
        const QString folder = m_dir.filePath("readonly");
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const bool enforced = !writeFile(folder + "/probe", "x");
        if (enforced) {
            EXPECT_EQ(openOutput(folder + "/out.pdf"), nullptr);
            EXPECT_TRUE(filesIn(folder).isEmpty());
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    // 5. The file-size limit is reached while writing: the system's reason, the temporary file
    //    gone, an existing file as it was.
    {
        const QString folder = m_dir.filePath("limited");
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(writeFile(folder + "/out.pdf", previous));
        XpdfSpliceOutput output = openOutput(folder + "/out.pdf");
        ASSERT_NE(output, nullptr);
        SpliceInput input(openTestPdf("R-intro.pdf"));
        ASSERT_TRUE(xpdfSpliceAddPages(input.get(), 1, 113, output));
        bool written = true;
        {
            ScopedFileSizeLimit limit(64 * 1024);
            EXPECT_TRUE(limit.active());
            written = xpdfSpliceCloseOutput(output);
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(xpdfSpliceLastError(),
                  "cannot write the output file: " + std::generic_category().message(EFBIG));
        EXPECT_EQ(readFile(folder + "/out.pdf"), previous);
        EXPECT_EQ(filesIn(folder), QStringList{"out.pdf"});
    }
}

TEST_F(SpliceOutputTest, InputsStayReadableUntilTheOutputIsWritten) {
    // The input handle is closed and its file deleted before the output is written; the pages'
    // data is still read from the open document.
    ASSERT_TRUE(QFile::copy(pdfPath("R-intro.pdf"), out("in.pdf")));
    XpdfSpliceOutput output = openOutput(out());
    ASSERT_NE(output, nullptr);
    {
        SpliceInput input(openPath(out("in.pdf")));
        ASSERT_TRUE(xpdfSpliceAddPages(input.get(), 10, 20, output));
    }
    ASSERT_TRUE(QFile::remove(out("in.pdf")));
    ASSERT_TRUE(xpdfSpliceCloseOutput(output)) << xpdfSpliceLastError();
    EXPECT_EQ(readPages(out()), expectedPages({{"R-intro.pdf", nullptr, 10, 20}}));
    EXPECT_EQ(runTool("qpdf", {"--check", out()}).exitCode, 0);
}

TEST_F(SpliceOutputTest, UnicodeFileNamesInAndOut) {
    const std::vector<Piece> pieces = {{"crème brûlée – ÉTÉ.pdf", nullptr, 1, 1},
                                       {"并行计算_パラレル.pdf", nullptr, 2, 3}};
    const QString name = QString::fromUtf8("合并 – ÉTÉ \xF0\x9F\x93\x84.pdf");
    ASSERT_TRUE(splice(out(name), pieces)) << xpdfSpliceLastError();
    EXPECT_TRUE(QFileInfo::exists(out(name)));
    EXPECT_EQ(readPages(out(name)), expectedPages(pieces));
    EXPECT_EQ(filesIn(m_dir.path()), QStringList{name});
}

TEST_F(SpliceOutputTest, ReplacingAFileKeepsItsPermissionsAndWritesThroughALink) {
    ASSERT_TRUE(QFile::copy(pdfPath("refcard-nf.pdf"), out("target.pdf")));
    ASSERT_TRUE(
        QFile::setPermissions(out("target.pdf"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const QFileDevice::Permissions before = QFile::permissions(out("target.pdf"));
    ASSERT_TRUE(QFile::link(out("target.pdf"), out("link.pdf")));
    ASSERT_TRUE(splice(out("link.pdf"), {{"R-intro.pdf", nullptr, 7, 7}}));
    EXPECT_TRUE(QFileInfo(out("link.pdf")).isSymLink());
    EXPECT_EQ(readPages(out("target.pdf")), expectedPages({{"R-intro.pdf", nullptr, 7, 7}}));
    EXPECT_EQ(QFile::permissions(out("target.pdf")), before);
}

// Progress: every copied page is reported, writing reports per cent up to 100, and a stop asked
// for while copying or while writing leaves the output as it was and no file behind.
TEST_F(SpliceOutputTest, ProgressIsReportedAndAStopLeavesNothingBehind) {
    struct Case {
        const char* name;
        int stopStage; // -1: never stop
        long long stopAt;
    };
    const Case cases[] = {{"to the end", -1, 0},
                          {"stopped while copying", kSpliceCopying, 3},
                          {"stopped before writing", kSpliceWriting, 0},
                          {"stopped while writing", kSpliceWriting, 50}};
    for (const Case& c : cases) {
        const QString target = out(QStringLiteral("progress.pdf"));
        {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old content");
        }
        std::vector<long long> copied;
        int lastPercent = -1;
        XpdfSpliceOutput output = openOutput(target);
        ASSERT_TRUE(output);
        ASSERT_TRUE(xpdfSpliceSetProgress(output, [&](int stage, long long done) {
            if (stage == kSpliceCopying) {
                copied.push_back(done);
            } else {
                EXPECT_GE(done, lastPercent) << c.name;
                lastPercent = static_cast<int>(done);
            }
            return !(stage == c.stopStage && done >= c.stopAt);
        }));
        SpliceInput a(openTestPdf("R-intro.pdf"));
        SpliceInput b(openTestPdf("refcard-nf.pdf"));
        const bool first = xpdfSpliceAddPages(a.get(), 1, 2, output);
        const bool second = xpdfSpliceAddPages(b.get(), 1, 3, output);
        const bool written = xpdfSpliceCloseOutput(output);
        QFile now(target);
        ASSERT_TRUE(now.open(QIODevice::ReadOnly));
        const QByteArray content = now.readAll();
        if (c.stopStage < 0) {
            EXPECT_TRUE(first && second && written) << c.name;
            EXPECT_EQ(copied, (std::vector<long long>{1, 2, 3, 4, 5})) << c.name;
            EXPECT_EQ(lastPercent, 100) << c.name;
            EXPECT_TRUE(content.startsWith("%PDF-")) << c.name;
        } else if (c.stopStage == kSpliceCopying) {
            EXPECT_TRUE(first) << c.name;
            EXPECT_FALSE(second) << c.name;
            // The stopped call took its pages back: the output holds the first two pages only.
            EXPECT_TRUE(written) << c.name;
            EXPECT_EQ(runTool("qpdf", {"--show-npages", target}).out.trimmed(), "2") << c.name;
        } else {
            EXPECT_FALSE(written) << c.name;
            EXPECT_EQ(content, QByteArray("old content")) << c.name;
        }
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"progress.pdf"})
            << c.name;
    }
}

} // namespace
} // namespace plyfold::test
