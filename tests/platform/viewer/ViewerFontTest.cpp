// The engine configuration file: its parsing, and the fonts it maps changing what is drawn.

#include "ViewerTestSupport.h"
#include "platform/viewer/EngineConfig.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace plyfold;
using namespace plyfold::test;

namespace {

const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kDejaVuSerifBold = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf";

// Writes a configuration file and makes it the engine's; an empty configuration again when the
// object goes, so other tests see the built-in fonts.
class ScopedConfig {
public:
    explicit ScopedConfig(const QByteArray& text) {
        m_path = m_dir.filePath("xpdfrc");
        QFile file(m_path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
        file.close();
        pdfInitLibrary(QFile::encodeName(m_path).constData());
    }
    ~ScopedConfig() { pdfInitLibrary(nullptr); }
    ScopedConfig(const ScopedConfig&) = delete;
    ScopedConfig& operator=(const ScopedConfig&) = delete;

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// Renders a page of a freshly loaded document (fonts are chosen when a document loads them).
Bitmap renderFresh(const QString& path, int page, double dpi) {
    ScopedViewer viewer;
    if (viewer.load(path) != kPdfOk)
        return {};
    return render(viewer.handle(), page, dpi);
}

bool fontsInstalled() {
    return QFile::exists(kDejaVuSans) && QFile::exists(kDejaVuSerifBold);
}

} // namespace

TEST(EngineConfigParse, LinesKeywordsAndLineEnds) {
    // The same content with LF, CRLF and CR line ends, with noise the parser must skip.
    const std::string lines[] = {
        "textKeepTinyChars yes",
        "# a comment",
        "",
        "displayFontTT Courier C:\\Windows\\Fonts\\cour.ttf",
        "displayFontTT  Helvetica\t/usr/share/fonts/My Fonts/arial.ttf  ",
        "displayNamedCIDFontTT Arial,Bold \"/fonts/arialbd.ttf\"",
        "displayFontTT Incomplete",
        "unknownKeyword a b",
        "displayFontTT Courier /later/wins.ttf",
    };
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        std::string text;
        for (const std::string& line : lines)
            text += line + eol;
        const EngineConfig config = parseEngineConfig(text);
        SCOPED_TRACE(eol == "\n" ? "LF" : eol == "\r" ? "CR" : "CRLF");
        EXPECT_TRUE(config.textKeepTinyChars);
        EXPECT_EQ(config.displayFonts.size(), 2u);
        EXPECT_EQ(config.displayFonts.at("Courier"), "/later/wins.ttf");
        EXPECT_EQ(config.displayFonts.at("Helvetica"), "/usr/share/fonts/My Fonts/arial.ttf");
        ASSERT_EQ(config.namedCidFonts.size(), 1u);
        EXPECT_EQ(config.namedCidFonts.at("Arial,Bold"), "/fonts/arialbd.ttf");
    }
    EXPECT_FALSE(parseEngineConfig("textKeepTinyChars no").textKeepTinyChars);
    // Last line without a line end.
    EXPECT_EQ(parseEngineConfig("displayFontTT Symbol /s.ttf").displayFonts.at("Symbol"), "/s.ttf");
    EXPECT_TRUE(readEngineConfigFile("/no/such/xpdfrc").displayFonts.empty());
    EXPECT_TRUE(readEngineConfigFile(nullptr).displayFonts.empty());
}

TEST(EngineConfigFile, InitReadsTheFile) {
    {
        ScopedConfig config("textKeepTinyChars yes\r\ndisplayFontTT Times-Roman /t.ttf\r\n");
        EXPECT_TRUE(currentEngineConfig()->textKeepTinyChars);
        EXPECT_EQ(currentEngineConfig()->displayFonts.at("Times-Roman"), "/t.ttf");
    }
    EXPECT_TRUE(currentEngineConfig()->displayFonts.empty());
}

// A standard font that the document does not embed (Helvetica in this file) is drawn with the
// mapped TrueType file; a mapping to a missing file, or no mapping, leaves the built-in font.
TEST(EngineConfigFile, MappedFontChangesThePixels) {
    if (!fontsInstalled())
        GTEST_SKIP() << "DejaVu fonts are not installed";
    const QString file = pdfPath("PDF 2.0 with page level output intent.pdf");
    const double dpi = 72;

    const Bitmap builtIn = renderFresh(file, 1, dpi);
    ASSERT_EQ(builtIn.result, kPdfOk);
    {
        ScopedConfig config(QByteArray("displayFontTT Helvetica ") + kDejaVuSerifBold + "\r");
        const Bitmap mapped = renderFresh(file, 1, dpi);
        ASSERT_EQ(mapped.result, kPdfOk);
        ASSERT_EQ(mapped.pixels.size(), builtIn.pixels.size());
        EXPECT_NE(mapped.pixels, builtIn.pixels);

        // A different mapped file draws differently again: the file really is used.
        ScopedConfig other(QByteArray("displayFontTT Helvetica ") + kDejaVuSans + "\n");
        const Bitmap sans = renderFresh(file, 1, dpi);
        ASSERT_EQ(sans.result, kPdfOk);
        EXPECT_NE(sans.pixels, mapped.pixels);
        EXPECT_NE(sans.pixels, builtIn.pixels);
    }
    {
        ScopedConfig config("displayFontTT Helvetica /no/such/font.ttf\n"
                            "displayFontTT Times-Roman /usr/share/fonts/truetype/dejavu/"
                            "DejaVuSans.ttf\n");
        const Bitmap missing = renderFresh(file, 1, dpi);
        ASSERT_EQ(missing.result, kPdfOk);
        EXPECT_EQ(missing.pixels, builtIn.pixels);
    }
    // Back to no configuration: the built-in font again.
    EXPECT_EQ(renderFresh(file, 1, dpi).pixels, builtIn.pixels);
}

// A file that is not a font is ignored like a missing one.
TEST(EngineConfigFile, MappingToANonFontFileIsIgnored) {
    const QString file = pdfPath("boxes.pdf");
    const Bitmap builtIn = renderFresh(file, 1, 72);
    ASSERT_EQ(builtIn.result, kPdfOk);
    ScopedConfig config(QByteArray("displayFontTT Helvetica ") +
                        QFile::encodeName(pdfPath("not-a-pdf.pdf")) + "\n");
    const Bitmap mapped = renderFresh(file, 1, 72);
    ASSERT_EQ(mapped.result, kPdfOk);
    EXPECT_EQ(mapped.pixels, builtIn.pixels);
}

// A name that stands for a standard font ("Arial,Bold" for Helvetica-Bold) takes that font's
// mapping; a named CID-font line serves the name itself.
TEST(EngineConfigFile, AliasesAndNamedFonts) {
    if (!fontsInstalled())
        GTEST_SKIP() << "DejaVu fonts are not installed";
    QTemporaryDir dir;
    std::vector<MiniPage> pages(2);
    pages[0].content = "BT /F1 40 Tf 50 600 Td (Hamburgefonstiv) Tj ET";
    pages[0].extraFont = "<< /Type /Font /Subtype /TrueType /BaseFont /Arial,Bold "
                         "/Encoding /WinAnsiEncoding >>";
    pages[1].content = pages[0].content;
    pages[1].extraFont = "<< /Type /Font /Subtype /TrueType /BaseFont /BookAntiqua "
                         "/Encoding /WinAnsiEncoding >>";
    const QString path = writeMiniPdf(dir.path(), "fonts.pdf", pages);

    const Bitmap aliasBuiltIn = renderFresh(path, 1, 36);
    const Bitmap namedBuiltIn = renderFresh(path, 2, 36);
    ASSERT_EQ(aliasBuiltIn.result, kPdfOk);
    ASSERT_EQ(namedBuiltIn.result, kPdfOk);
    ScopedConfig config(QByteArray("displayFontTT Helvetica-Bold ") + kDejaVuSerifBold +
                        "\ndisplayNamedCIDFontTT BookAntiqua " + kDejaVuSans + "\n");
    EXPECT_NE(renderFresh(path, 1, 36).pixels, aliasBuiltIn.pixels);
    EXPECT_NE(renderFresh(path, 2, 36).pixels, namedBuiltIn.pixels);
}
