// Opening documents with the password rules, page counts and proportions, and the page images,
// on the shared test PDFs; the bitmap conversion on hand-made bitmaps.

#include "engine/PDFViewWrapper.h"
#include "engine/DocumentPrompts.h"
#include "engine/PDFInstance.h"
#include "platform/viewer/XpdfViewer.h"
#include "res/Strings.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace plyfold {
namespace {

// Answers every password prompt with a fixed answer (nothing = Cancel) and records the prompts.
class PromptScript {
public:
    explicit PromptScript(std::optional<QString> answer) : answer_(std::move(answer)) {
        SetPasswordPrompt([this](const PasswordPromptRequest& request) {
            titles.append(request.title);
            return answer_;
        });
    }
    ~PromptScript() { SetPasswordPrompt({}); }

    QStringList titles;

private:
    std::optional<QString> answer_;
};

// An instance that never reaches a running worker: requests stay queued.
struct OpenedInstance {
    PDFInstanceManager manager;
    PDFInstance instance{&manager};
};

TEST(PDFViewWrapperTest, UnencryptedAndOwnerOnlyFilesOpenWithoutAPrompt) {
    struct Case {
        const char* file;
        int pages;
    };
    const Case cases[] = {
        {"R-intro.pdf", 113},
        {"pari-users.pdf", 675},
        {"refcard-nf.pdf", 3},
        {"crème brûlée – ÉTÉ.pdf", 1},
        {"并行计算_パラレル.pdf", 13},
        {"PDF 2.0 with page level output intent.pdf", 2},
        {"scan-bad.pdf", 1},
        // Owner password only: the empty user password opens them.
        {"enc-R2,V1,O=master.pdf", 30},
        {"enc-XI-R6,V5,O=master.pdf", 30},
        {"issue7665.pdf", 1},
    };
    for (const Case& c : cases) {
        PromptScript prompts(QStringLiteral("unused"));
        OpenedInstance opened;
        ASSERT_TRUE(
            opened.instance.Open(test::pdfPath(QString::fromUtf8(c.file)), ids::IDS_ENTER_PASSWORD))
            << c.file;
        EXPECT_EQ(opened.instance.PageCount(), c.pages) << c.file;
        EXPECT_TRUE(prompts.titles.isEmpty()) << c.file;
        EXPECT_TRUE(opened.instance.password.isEmpty()) << c.file;
    }
}

TEST(PDFViewWrapperTest, EncryptedFilesAskOnceAndOpenWithTheUserOrOwnerPassword) {
    struct Case {
        const char* file;
        const char* password;
        int pages;
    };
    const Case cases[] = {
        {"c-r2.pdf", "user1", 30},         {"c-r2.pdf", "owner1", 30},
        {"20-pages.pdf", "user", 20},      {"20-pages.pdf", "owner", 20},
        {"c-r4.pdf", "user2", 30},         {"c-r4.pdf", "owner2", 30},
        {"c-r6-in.pdf", "user4", 30},      {"c-r6-in.pdf", "owner4", 30},
        {"issue21579.pdf", "pässwört", 1},
    };
    for (const Case& c : cases) {
        const QString typed = QStringLiteral(" ") + QString::fromUtf8(c.password) + " ";
        PromptScript prompts(typed);
        OpenedInstance opened;
        const QString name = QString::fromUtf8(c.file);
        ASSERT_TRUE(opened.instance.Open(test::pdfPath(name), ids::IDS_ENTER_PASSWORD))
            << c.file << " " << c.password;
        EXPECT_EQ(opened.instance.PageCount(), c.pages) << c.file;
        EXPECT_EQ(prompts.titles, QStringList{FormatResString(ids::IDS_ENTER_PASSWORD, {name})})
            << c.file;
        EXPECT_EQ(opened.instance.password, QString::fromUtf8(c.password)) << c.file;
    }
}

TEST(PDFViewWrapperTest, AWrongOrCancelledPasswordFailsAfterOnePrompt) {
    for (const std::optional<QString>& answer :
         {std::optional<QString>(QStringLiteral("wrong")), std::optional<QString>()}) {
        PromptScript prompts(answer);
        OpenedInstance opened;
        EXPECT_FALSE(opened.instance.Open(test::pdfPath(QStringLiteral("c-r4.pdf")),
                                          ids::IDS_COPY_PASSWORD));
        ASSERT_EQ(prompts.titles.size(), 1);
        EXPECT_EQ(prompts.titles.front(),
                  FormatResString(ids::IDS_COPY_PASSWORD, {QStringLiteral("c-r4.pdf")}));
    }
}

#ifndef Q_OS_WIN
// Outside Windows "\\" is part of a file name: the prompt names the whole file.
TEST(PDFViewWrapperTest, ThePromptNamesAFileWhoseNameHoldsABackslash) {
    QTemporaryDir dir;
    const QString name = QStringLiteral("report\\2024.pdf");
    const QString path = dir.filePath(name);
    ASSERT_TRUE(QFile::copy(test::pdfPath(QStringLiteral("c-r4.pdf")), path));
    PromptScript prompts(std::nullopt);
    OpenedInstance opened;
    EXPECT_FALSE(opened.instance.Open(path, ids::IDS_ENTER_PASSWORD));
    EXPECT_EQ(prompts.titles, QStringList{FormatResString(ids::IDS_ENTER_PASSWORD, {name})});
}
#endif

TEST(PDFViewWrapperTest, AGivenPasswordIsTriedOnceWithoutAPrompt) {
    struct Case {
        const char* password;
        bool opens;
    };
    for (const Case& c :
         {Case{"user2", true}, Case{"owner2", true}, Case{"nope", false}, Case{"", false}}) {
        PromptScript prompts(QStringLiteral("user2"));
        PDFViewWrapper wrapper;
        ASSERT_TRUE(wrapper.CreateViewer());
        const QString given = QString::fromUtf8(c.password);
        EXPECT_EQ(wrapper.LoadDocument(test::pdfPath(QStringLiteral("c-r4.pdf")), nullptr, &given,
                                       ids::IDS_ENTER_PASSWORD),
                  c.opens)
            << c.password;
        EXPECT_TRUE(prompts.titles.isEmpty());
        EXPECT_EQ(wrapper.password, given);
    }
}

TEST(PDFViewWrapperTest, DamagedAndMissingFilesFailCleanly) {
    for (const char* file : {"issue-99.pdf", "not-a-pdf.pdf", "empty.pdf", "no such file.pdf"}) {
        PromptScript prompts(QStringLiteral("x"));
        OpenedInstance opened;
        EXPECT_FALSE(
            opened.instance.Open(test::pdfPath(QString::fromUtf8(file)), ids::IDS_ENTER_PASSWORD))
            << file;
        EXPECT_TRUE(prompts.titles.isEmpty()) << file;
        EXPECT_EQ(opened.instance.PageCount(), 0) << file;
        EXPECT_TRUE(opened.instance.GetPage(1, false).isNull()) << file;
        EXPECT_EQ(opened.instance.GetPageAspect(1), 0.0) << file;
        EXPECT_EQ(opened.manager.QueuedRequests(), 0u) << file;
    }
}

TEST(PDFViewWrapperTest, AspectFollowsTheMediaBoxAndQuarterTurns) {
    const double letter = 612.0 / 792.0;
    const double a4 = 595.28 / 841.89;
    const double boxes = 652.0 / 852.0;
    struct Case {
        const char* file;
        int page;
        double aspect;
    };
    const Case cases[] = {
        {"to-rotate.pdf", 1, 1 / letter},    // 270
        {"to-rotate.pdf", 3, letter},        // 0
        {"to-rotate.pdf", 12, 1 / letter},   // 90, inherited
        {"to-rotate.pdf", 16, letter},       // 180 keeps it
        {"habibi-rotated.pdf", 1, 1 / a4},   // 90
        {"habibi-rotated.pdf", 2, a4},       // 180
        {"habibi-rotated.pdf", 3, 1 / a4},   // 270
        {"habibi-rotated.pdf", 4, a4},       // 360
        {"boxes.pdf", 5, boxes},             // negative origin
        {"boxes.pdf", 6, 1 / boxes},         // and 90
        {"grid_example.pdf", 2, 1.0},        // 300 x 300 away from the origin
        {"boundingBox_invalid.pdf", 1, 1.0}, // empty media box: no height
        {"boundingBox_invalid.pdf", 2, 800.0 / 600.0},
        {"refcard-nf.pdf", 1, 841.68 / 594.72},
        {"PDF 2.0 with page level output intent.pdf", 2, 612.0 / 396.0},
    };
    for (const Case& c : cases) {
        OpenedInstance opened;
        ASSERT_TRUE(opened.instance.Open(test::pdfPath(QString::fromUtf8(c.file)), 205)) << c.file;
        EXPECT_NEAR(opened.instance.GetPageAspect(c.page), c.aspect, 1e-3)
            << c.file << " page " << c.page;
        // Cached: asked again, the same answer.
        EXPECT_EQ(opened.instance.GetPageAspect(c.page), opened.instance.GetPageAspect(c.page));
    }
}

TEST(PDFViewWrapperTest, ThumbnailsAreUprightOwnedImagesAtFourteenPointFourDpi) {
    struct Case {
        const char* file;
        int page;
        int width;
        int height;
    };
    const Case cases[] = {
        {"R-intro.pdf", 1, 122, 158},   // Letter
        {"to-rotate.pdf", 1, 158, 122}, // Letter turned by 270
        {"to-rotate.pdf", 16, 122, 158},
        {"refcard-nf.pdf", 2, 168, 119}, // A4 landscape
    };
    for (const Case& c : cases) {
        OpenedInstance opened;
        ASSERT_TRUE(opened.instance.Open(test::pdfPath(QString::fromUtf8(c.file)), 205));
        const QImage image = opened.instance.GetPage(c.page, true);
        ASSERT_FALSE(image.isNull()) << c.file;
        EXPECT_NEAR(image.width(), c.width, 1) << c.file << " page " << c.page;
        EXPECT_NEAR(image.height(), c.height, 1) << c.file << " page " << c.page;
        // The displayed proportions agree with the aspect the layout uses.
        EXPECT_NEAR(double(image.width()) / image.height(), opened.instance.GetPageAspect(c.page),
                    0.02)
            << c.file;
        // Cached: the same image comes back without a new render, and without a request.
        EXPECT_EQ(opened.instance.GetPage(c.page, false).cacheKey(), image.cacheKey());
        EXPECT_EQ(opened.manager.QueuedRequests(), 0u);
    }
}

TEST(PDFViewWrapperTest, RenderedImageIsTheEnginesBitmapTopRowFirst) {
    OpenedInstance opened;
    ASSERT_TRUE(opened.instance.Open(test::pdfPath(QStringLiteral("R-intro.pdf")), 205));
    const QImage image = opened.instance.RenderPage(5, kThumbnailDpi);
    ASSERT_FALSE(image.isNull());

    PdfBitmapInfoHeader header{};
    header.biSize = 40;
    unsigned char* raw = nullptr;
    ASSERT_EQ(pdfConvertPageToBitmap2(opened.instance.viewer, 5, kThumbnailDpi, kPdfBitmapModeBgr24,
                                      &header, &raw),
              kPdfOk);
    ASSERT_EQ(image.size(), QSize(header.biWidth, header.biHeight));
    const int stride = pdfBitmapStride(header.biWidth, header.biBitCount);
    int mismatches = 0;
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        const unsigned char* row = raw + (header.biHeight - 1 - y) * stride; // bottom-up rows
        for (int x = 0; x < image.width(); ++x) {
            const unsigned char* p = row + x * 3;
            mismatches += image.pixel(x, y) != qRgb(p[2], p[1], p[0]);
            ink += qGray(image.pixel(x, y)) < 200;
        }
    }
    pdfFreeMemory(raw);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(ink, 50) << "a text page shows ink";
}

// ---- BitmapFromDib ----------------------------------------------------------------------------

// A width x height bitmap whose pixel (x, y) (from the top-left as displayed) is colourAt(x, y).
struct Dib {
    PdfBitmapInfoHeader header{};
    std::vector<unsigned char> pixels;
};

QRgb colourAt(int x, int y) {
    return qRgb(10 + 40 * x, 20 + 50 * y, 200 - 30 * x - 20 * y);
}

Dib makeDib(int width, int height, int bits, bool bottomUp) {
    Dib dib;
    dib.header.biSize = 40;
    dib.header.biWidth = width;
    dib.header.biHeight = bottomUp ? height : -height;
    dib.header.biPlanes = 1;
    dib.header.biBitCount = std::uint16_t(bits);
    const int stride = pdfBitmapStride(width, bits);
    dib.header.biSizeImage = std::uint32_t(stride * height);
    dib.pixels.assign(dib.header.biSizeImage, 0xEE);
    for (int y = 0; y < height; ++y) {
        const int row = bottomUp ? height - 1 - y : y;
        for (int x = 0; x < width; ++x) {
            unsigned char* p = dib.pixels.data() + row * stride + x * (bits / 8);
            const QRgb c = colourAt(x, y);
            p[0] = std::uint8_t(qBlue(c));
            p[1] = std::uint8_t(qGreen(c));
            p[2] = std::uint8_t(qRed(c));
        }
    }
    return dib;
}

TEST(BitmapFromDibTest, RowsAndTurnsLandWhereTheyBelong) {
    const int w = 3;
    const int h = 2;
    // Where the source pixel (x, y) appears after a clockwise turn.
    struct Turn {
        int angle;
        int width;
        int height;
        QPoint (*map)(int x, int y);
    };
    const Turn turns[] = {
        {0, w, h, [](int x, int y) { return QPoint(x, y); }},
        {90, h, w, [](int x, int y) { return QPoint(h - 1 - y, x); }},
        {180, w, h, [](int x, int y) { return QPoint(w - 1 - x, h - 1 - y); }},
        {270, h, w, [](int x, int y) { return QPoint(y, w - 1 - x); }},
    };
    for (int bits : {24, 32}) {
        for (bool bottomUp : {true, false}) {
            Dib dib = makeDib(w, h, bits, bottomUp);
            for (const Turn& turn : turns) {
                const QImage image = BitmapFromDib(dib.header, dib.pixels.data(), turn.angle);
                ASSERT_EQ(image.size(), QSize(turn.width, turn.height))
                    << bits << " bits, angle " << turn.angle;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        EXPECT_EQ(image.pixel(turn.map(x, y)), colourAt(x, y))
                            << bits << " bits, bottomUp " << bottomUp << ", angle " << turn.angle
                            << ", source " << x << "," << y;
                    }
                }
            }
            // The image owns its pixels: wiping the engine's buffer changes nothing.
            const QImage kept = BitmapFromDib(dib.header, dib.pixels.data(), 0);
            std::fill(dib.pixels.begin(), dib.pixels.end(), 0);
            EXPECT_EQ(kept.pixel(2, 1), colourAt(2, 1));
        }
    }
}

TEST(BitmapFromDibTest, RefusesWhatItCannotReadSafely) {
    const Dib good = makeDib(5, 4, 24, true);
    struct Case {
        const char* name;
        void (*spoil)(PdfBitmapInfoHeader&);
        int angle;
    };
    const Case cases[] = {
        {"angle 45", [](PdfBitmapInfoHeader&) {}, 45},
        {"angle 360", [](PdfBitmapInfoHeader&) {}, 360},
        {"header size", [](PdfBitmapInfoHeader& h) { h.biSize = 12; }, 0},
        {"zero width", [](PdfBitmapInfoHeader& h) { h.biWidth = 0; }, 0},
        {"negative width", [](PdfBitmapInfoHeader& h) { h.biWidth = -5; }, 0},
        {"zero height", [](PdfBitmapInfoHeader& h) { h.biHeight = 0; }, 0},
        {"8 bits", [](PdfBitmapInfoHeader& h) { h.biBitCount = 8; }, 0},
        {"compressed", [](PdfBitmapInfoHeader& h) { h.biCompression = 1; }, 0},
        {"buffer too small", [](PdfBitmapInfoHeader& h) { h.biSizeImage -= 1; }, 0},
        {"huge", [](PdfBitmapInfoHeader& h) { h.biWidth = 1 << 30; }, 0},
        {"wider than the buffer", [](PdfBitmapInfoHeader& h) { h.biWidth = 6; }, 0},
    };
    ASSERT_FALSE(BitmapFromDib(good.header, good.pixels.data(), 0).isNull());
    for (const Case& c : cases) {
        PdfBitmapInfoHeader header = good.header;
        c.spoil(header);
        EXPECT_TRUE(BitmapFromDib(header, good.pixels.data(), c.angle).isNull()) << c.name;
    }
    EXPECT_TRUE(BitmapFromDib(good.header, nullptr, 0).isNull());
}

} // namespace
} // namespace plyfold
