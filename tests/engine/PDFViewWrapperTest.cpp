// Opening documents with the password rules, page counts and proportions, and the page images,
// on the shared test PDFs.

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
    explicit PromptScript(std::optional<QString> answer) : m_answer(std::move(answer)) {
        SetPasswordPrompt([this](const PasswordPromptRequest& request) {
            titles.append(request.title);
            return m_answer;
        });
    }
    ~PromptScript() { SetPasswordPrompt({}); }

    QStringList titles;

private:
    std::optional<QString> m_answer;
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

// The centre of the marks of a page (the pixels `isMark` accepts) seen from the middle of the
// image, as a fraction of its width and height: x grows to the right, y downwards.
QPointF MarkCentre(const QImage& image, bool (*isMark)(QRgb)) {
    double sumX = 0;
    double sumY = 0;
    int marks = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isMark(image.pixel(x, y))) {
                sumX += x;
                sumY += y;
                ++marks;
            }
        }
    }
    if (marks == 0) {
        return QPointF();
    }
    return QPointF((sumX / marks - (image.width() - 1) / 2.0) / image.width(),
                   (sumY / marks - (image.height() - 1) / 2.0) / image.height());
}

// True when the marks lie clearly in the quarter of the image given by the signs of `quarter`.
bool InQuarter(const QPointF& centre, QPoint quarter) {
    return centre.x() * quarter.x() > 0.05 && centre.y() * quarter.y() > 0.05;
}

bool IsDark(QRgb c) {
    return qGray(c) < 160;
}

bool IsRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
}

// The frame colours met first walking from a border towards the middle of the image (along the
// middle row from the left, or along the middle column from the top), in order, without repeats.
QList<QRgb> FramesFrom(const QImage& image, bool fromLeft) {
    const QList<QRgb> frames = {qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 127, 0)};
    QList<QRgb> met;
    const int steps = fromLeft ? image.width() / 2 : image.height() / 2;
    for (int i = 0; i < steps && met.size() < frames.size(); ++i) {
        const QRgb c =
            fromLeft ? image.pixel(i, image.height() / 2) : image.pixel(image.width() / 2, i);
        if (frames.contains(c) && !met.contains(c)) {
            met.append(c);
        }
    }
    return met;
}

// Rendered pages of real files keep their size, their colours and the way they stand when shown:
// boxes.pdf draws a green, a blue and an orange frame with red text in the top-left corner of the
// unturned page; to-rotate.pdf writes its line of text at the top of each unturned page.
TEST(PDFViewWrapperTest, RenderedPagesKeepColoursAndStandAsDisplayed) {
    struct Case {
        const char* file;
        int page;
        int rotation;
        QSize size; // at 72 dpi
        bool (*isMark)(QRgb);
        QPoint quarter; // where the marks lie: -1 left or top, +1 right or bottom
    };
    const Case cases[] = {
        {"boxes.pdf", 1, 0, QSize(572, 732), IsRed, QPoint(-1, -1)},
        {"boxes.pdf", 2, 90, QSize(732, 572), IsRed, QPoint(1, -1)},
        {"boxes.pdf", 3, 180, QSize(572, 732), IsRed, QPoint(1, 1)},
        {"boxes.pdf", 4, 270, QSize(732, 572), IsRed, QPoint(-1, 1)},
        {"to-rotate.pdf", 3, 0, QSize(612, 792), IsDark, QPoint(-1, -1)},
        {"to-rotate.pdf", 11, 90, QSize(792, 612), IsDark, QPoint(1, -1)},
        {"to-rotate.pdf", 16, 180, QSize(612, 792), IsDark, QPoint(1, 1)},
        {"to-rotate.pdf", 1, 270, QSize(792, 612), IsDark, QPoint(-1, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " page " + std::to_string(c.page));
        OpenedInstance opened;
        ASSERT_TRUE(opened.instance.Open(test::pdfPath(QString::fromUtf8(c.file)), 205));
        ASSERT_EQ(pdfGetPageRotation(opened.instance.viewer, c.page), c.rotation);
        const QImage image = opened.instance.RenderPage(c.page, 72);
        ASSERT_EQ(image.size(), c.size);
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
        const QPointF marks = MarkCentre(image, c.isMark);
        EXPECT_TRUE(InQuarter(marks, c.quarter)) << marks.x() << ", " << marks.y();
        if (c.isMark == IsRed) {
            const QList<QRgb> frames = {qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 127, 0)};
            EXPECT_EQ(FramesFrom(image, true), frames) << "from the left";
            EXPECT_EQ(FramesFrom(image, false), frames) << "from the top";
        }
        // The thumbnail stands the same way.
        const QImage thumbnail = opened.instance.RenderPage(c.page, kThumbnailDpi);
        ASSERT_FALSE(thumbnail.isNull());
        EXPECT_EQ(thumbnail.width() > thumbnail.height(), c.size.width() > c.size.height());
        if (c.isMark == IsDark) {
            const QPointF small = MarkCentre(thumbnail, IsDark);
            EXPECT_TRUE(InQuarter(small, c.quarter))
                << "thumbnail " << small.x() << ", " << small.y();
        }
    }
}

TEST(PDFViewWrapperTest, RenderedImageIsTheEnginesBitmapTopRowFirst) {
    OpenedInstance opened;
    ASSERT_TRUE(opened.instance.Open(test::pdfPath(QStringLiteral("R-intro.pdf")), 205));
    const QImage image = opened.instance.RenderPage(5, kThumbnailDpi);
    ASSERT_FALSE(image.isNull());

    PdfBitmap bitmap;
    ASSERT_EQ(pdfConvertPageToBitmap2(opened.instance.viewer, 5, kThumbnailDpi, kPdfBitmapModeRgb24,
                                      &bitmap),
              kPdfOk);
    ASSERT_EQ(image.size(), QSize(bitmap.width, bitmap.height));
    int mismatches = 0;
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        const unsigned char* row = bitmap.pixels + y * bitmap.stride;
        for (int x = 0; x < image.width(); ++x) {
            const unsigned char* p = row + x * 3;
            mismatches += image.pixel(x, y) != qRgb(p[0], p[1], p[2]);
            ink += qGray(image.pixel(x, y)) < 200;
        }
    }
    pdfFreeMemory(bitmap.pixels);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(ink, 50) << "a text page shows ink";
}

} // namespace
} // namespace plyfold
