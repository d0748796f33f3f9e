// The picture control: resource pictures shown at their own size, the bitmap preferred over a
// PNG with the same id, and failed loads that keep the picture shown.

#include "controls/CPictureStatic.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

namespace plyfold {
namespace {

// The test resources (test_pictures.qrc): 9001 a red 7 x 5 PNG; 9002 a blue 3 x 2 bitmap and a
// green 4 x 4 PNG; 9003 a damaged PNG; 9999 nothing.
constexpr int kRedPng = 9001;
constexpr int kBitmapAndPng = 9002;
constexpr int kDamagedPng = 9003;
constexpr int kMissing = 9999;

QImage Render(CPictureStatic& picture) {
    picture.resize(12, 12);
    return picture.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(CPictureStaticTest, LoadsByIdAtItsOwnSize) {
    struct Case {
        int id;
        QSize size;
        QColor color;
    };
    const Case cases[] = {
        {kRedPng, QSize(7, 5), Qt::red},
        {kBitmapAndPng, QSize(3, 2), Qt::blue}, // the bitmap, not the 4 x 4 green PNG
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        CPictureStatic picture;
        ASSERT_TRUE(picture.LoadPicture(c.id));
        EXPECT_EQ(picture.PictureSize(), c.size);
        EXPECT_EQ(picture.sizeHint(), c.size);

        const QImage image = Render(picture);
        // Drawn at the top-left corner, unscaled: the colour fills exactly the picture's size.
        EXPECT_EQ(QColor(image.pixel(0, 0)), c.color);
        EXPECT_EQ(QColor(image.pixel(c.size.width() - 1, c.size.height() - 1)), c.color);
        EXPECT_NE(QColor(image.pixel(c.size.width(), 0)), c.color);
        EXPECT_NE(QColor(image.pixel(0, c.size.height())), c.color);
    }
}

TEST(CPictureStaticTest, FailedLoadsKeepThePicture) {
    CPictureStatic picture;
    EXPECT_FALSE(picture.LoadPicture(kMissing));
    EXPECT_FALSE(picture.HasPicture());
    EXPECT_EQ(picture.sizeHint(), QSize(0, 0));

    ASSERT_TRUE(picture.LoadPicture(kRedPng));
    for (const int id : {kMissing, kDamagedPng}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(picture.LoadPicture(id));
        EXPECT_EQ(picture.PictureSize(), QSize(7, 5));
        EXPECT_EQ(QColor(Render(picture).pixel(6, 4)), QColor(Qt::red));
    }
}

TEST(CPictureStaticTest, SecondPictureReplacesTheFirst) {
    CPictureStatic picture;
    ASSERT_TRUE(picture.LoadPicture(kRedPng));
    ASSERT_TRUE(picture.LoadPicture(kBitmapAndPng));
    EXPECT_EQ(picture.PictureSize(), QSize(3, 2));
    EXPECT_EQ(picture.sizeHint(), QSize(3, 2));
    const QImage image = Render(picture);
    EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(Qt::blue));
    // Where the larger first picture was, nothing of it is left.
    EXPECT_NE(QColor(image.pixel(6, 4)), QColor(Qt::red));
}

} // namespace
} // namespace plyfold
