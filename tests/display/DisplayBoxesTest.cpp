// Fitting pages into the thumbnail square, centring, the loading text until the page service
// delivers, and painting that never renders on the user-interface thread.

#include "DisplayTestSupport.h"

#include "display/DisplayBoxes.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

struct FitCase {
    double aspect;
    QSize size;
    QPoint offset; // of the image rectangle inside the square
};

TEST(FitImage, FitsAndCentresInTheSquare) {
    thumbnailSize = 100;
    const FitCase cases[] = {
        {0.5, {50, 100}, {25, 0}},  // portrait: 25 free on either side
        {2.0, {100, 50}, {0, 25}},  // landscape: 25 above and below
        {0.0, {100, 100}, {0, 0}},  // unknown aspect: the whole square
        {1.0, {100, 100}, {0, 0}},  // the portrait rule takes r = 1
        {0.75, {75, 100}, {12, 0}}, // (100 - 75) / 2 truncated
        {3.0, {100, 33}, {0, 33}},  // 100 / 3 truncated, (100 - 33) / 2 = 33
        {-1.0, {100, 100}, {0, 0}}, // nonsense counts as unknown
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.aspect);
        const QSize fitted = FitImage(c.aspect);
        EXPECT_EQ(fitted, c.size);
        const QRect r = ImageRect(QPoint(10, 20), fitted);
        EXPECT_EQ(r.topLeft(), QPoint(10, 20) + c.offset);
        EXPECT_EQ(r.size(), c.size);
    }
    thumbnailSize = 160;
    EXPECT_EQ(FitImage(0.5), QSize(80, 160));
    thumbnailSize = 100;
}

TEST(FitImage, UsesThePageServiceAspectWithRotation) {
    test::WorkAreaRig rig;
    CDoc* doc = rig.Add("habibi-rotated.pdf"); // page 1 turned by 90 degrees, page 2 by 180
    ASSERT_NE(doc, nullptr);
    const QSize landscape = FitImage(doc, 1);
    const QSize portrait = FitImage(doc, 2);
    EXPECT_EQ(landscape.width(), 100);
    EXPECT_LT(landscape.height(), 100);
    EXPECT_EQ(portrait.height(), 100);
    EXPECT_LT(portrait.width(), 100);
    EXPECT_EQ(FitImage(doc, 99), QSize(100, 100)); // a page that does not exist
}

TEST(PointsToPixels, RoundsAsMulDiv) {
    EXPECT_EQ(PointsToPixels(9, 96), 12);
    EXPECT_EQ(PointsToPixels(9, 120), 15);
    EXPECT_EQ(PointsToPixels(14, 96), 19); // 18.67
    EXPECT_EQ(PointsToPixels(12, 96), 16);
}

// Counts the pixels of a rectangle that carry ink (text or a page image's print).
int DarkPixels(const QImage& image, const QRect& r) {
    int n = 0;
    for (int y = r.top(); y < r.top() + r.height(); ++y) {
        for (int x = r.left(); x < r.left() + r.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 220) {
                ++n;
            }
        }
    }
    return n;
}

TEST(DrawPageImage, LoadingTextUntilTheImageArrivesThenTheImage) {
    test::WorkAreaRig rig;
    CDoc* doc = rig.Add("R-intro.pdf");
    ASSERT_NE(doc, nullptr);
    BaseDisplayBox* box = rig.view->FindBox(doc);
    ASSERT_NE(box, nullptr);
    PageDisplayBox page(box, 1);
    const QRect rect(10, 10, 77, 100);

    QImage canvas(120, 130, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter g(&canvas);
        DrawPageImage(page, rect, g);
    }
    EXPECT_TRUE(page.image.isNull());
    EXPECT_GT(DarkPixels(canvas, rect), 0); // the loading text
    // The text sits in the middle band, not at the edges of the rectangle.
    EXPECT_EQ(DarkPixels(canvas, QRect(10, 10, 77, 30)), 0);
    EXPECT_EQ(rig.manager.QueuedRequests(), 1u);

    // The page service renders it; the next paint draws the image.
    EXPECT_EQ(rig.RunQueue(), 1);
    canvas.fill(Qt::white);
    {
        QPainter g(&canvas);
        DrawPageImage(page, rect, g);
    }
    EXPECT_FALSE(page.image.isNull());
    EXPECT_GT(DarkPixels(canvas, QRect(10, 10, 77, 30)), 0); // the title of the first page
}

TEST(DrawPageImage, PaintingAnExpandedDocumentNeverRenders) {
    test::WorkAreaRig rig(700, 500);
    CDoc* doc = rig.Add("R-intro.pdf");
    ASSERT_NE(doc, nullptr);
    rig.view->BoxAt(0)->SetExpanded(true);
    ResetWaitingImageRequests();
    const QImage shot = rig.view->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(WaitingImageRequests(), 0);
    // Only the pages in view asked for their images, and none is in the cache.
    const std::size_t queued = rig.manager.QueuedRequests();
    EXPECT_GT(queued, 3u);
    EXPECT_LT(queued, 30u);
    for (int p = 1; p <= doc->PageCount(); ++p) {
        EXPECT_TRUE(doc->instance()->GetPage(p, false).isNull()) << p;
    }
    rig.manager.DiscardQueue();
}

} // namespace
} // namespace plyfold
