#include "res/Resources.h"

#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace plyfold {
namespace {

struct PictureCase {
    ResKind kind;
    int id;
    int width;
    int height;
    bool opaque; // fills its whole rectangle; otherwise its corners are transparent
};

const PictureCase kPictures[] = {
    {ResKind::Bitmap, 311, 1, 72, true},   {ResKind::Png, 311, 1, 72, true},
    {ResKind::Png, 313, 198, 56, false},   {ResKind::Png, 315, 32, 32, false},
    {ResKind::Png, 316, 32, 32, false},    {ResKind::Png, 317, 32, 32, false},
    {ResKind::Png, 318, 32, 32, false},    {ResKind::Png, 319, 16, 16, false},
    {ResKind::Png, 320, 24, 24, false},    {ResKind::Png, 321, 16, 16, false},
    {ResKind::Png, 322, 16, 16, false},    {ResKind::Png, 323, 16, 16, false},
    {ResKind::Png, 324, 16, 16, false},    {ResKind::Png, 328, 455, 281, true},
    {ResKind::Icon, 128, 256, 256, false}, {ResKind::Icon, 337, 48, 48, false},
    {ResKind::Cursor, 332, 32, 32, false},
};

std::size_t DistinctColours(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours.size();
}

TEST(ResPictures, EveryPictureLoadsAtItsSize) {
    for (const PictureCase& c : kPictures) {
        SCOPED_TRACE(ResourcePath(c.kind, c.id).toStdString());
        EXPECT_TRUE(HasResource(c.kind, c.id));
        const QImage image = LoadResImage(c.kind, c.id);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(c.width, c.height));
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        const QPoint corners[] = {
            {0, 0}, {c.width - 1, 0}, {0, c.height - 1}, {c.width - 1, c.height - 1}};
        for (QPoint corner : corners) {
            EXPECT_EQ(qAlpha(argb.pixel(corner)), c.opaque ? 255 : 0);
        }
        // Drawn artwork, not a flat placeholder.
        EXPECT_GE(DistinctColours(argb), 12u);
    }
}

TEST(ResPictures, PathsFollowTheAliasScheme) {
    EXPECT_EQ(ResourcePath(ResKind::Png, 322), QStringLiteral(":/png/322"));
    EXPECT_EQ(ResourcePath(ResKind::Bitmap, 311), QStringLiteral(":/bmp/311"));
    EXPECT_EQ(ResourcePath(ResKind::Icon, 128), QStringLiteral(":/icon/128"));
    EXPECT_EQ(ResourcePath(ResKind::Cursor, 332), QStringLiteral(":/cursor/332"));
    InitResources();
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/png/328")));
}

TEST(ResPictures, MissingIdGivesNullWithoutCrash) {
    for (ResKind kind : {ResKind::Bitmap, ResKind::Png, ResKind::Icon, ResKind::Cursor}) {
        for (int id : {0, -1, 312, 99999}) {
            EXPECT_FALSE(HasResource(kind, id));
            EXPECT_TRUE(LoadResImage(kind, id).isNull());
        }
    }
    EXPECT_FALSE(HasResource(ResKind::Bitmap, 313)); // only 311 exists as a bitmap
    EXPECT_TRUE(LoadResIcon(4242).isNull());
    EXPECT_TRUE(ResIconSizes(4242).empty());
    EXPECT_EQ(LoadResCursor(4242).shape(), Qt::ArrowCursor);
}

TEST(ResPictures, BarBackgroundShadesFromTopToBottom) {
    const QImage bar = LoadResImage(ResKind::Bitmap, 311).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(bar.height(), 72);
    const QColor top = bar.pixelColor(0, 0);
    const QColor bottom = bar.pixelColor(0, 71);
    EXPECT_NEAR(top.red(), 74, 2);
    EXPECT_NEAR(top.green(), 76, 2);
    EXPECT_NEAR(top.blue(), 82, 2);
    EXPECT_NEAR(bottom.red(), 12, 2);
    EXPECT_NEAR(bottom.green(), 12, 2);
    EXPECT_NEAR(bottom.blue(), 12, 2);
    for (int y = 1; y < 72; ++y) {
        EXPECT_LE(bar.pixelColor(0, y).lightness(), bar.pixelColor(0, y - 1).lightness());
    }
}

// Pixels drawn (alpha above half) in a rectangle of the picture.
int Ink(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    return count;
}

// Smallest rectangle holding every drawn pixel.
QRect InkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 128) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

TEST(ResPictures, BoxButtonsShowWhatTheyMean) {
    const QImage cross = LoadResImage(ResKind::Png, 322).convertToFormat(QImage::Format_ARGB32);
    const QImage right = LoadResImage(ResKind::Png, 323).convertToFormat(QImage::Format_ARGB32);
    const QImage down = LoadResImage(ResKind::Png, 324).convertToFormat(QImage::Format_ARGB32);

    // The cross is red, the triangles blue.
    EXPECT_GT(cross.pixelColor(8, 8).red(), 2 * cross.pixelColor(8, 8).blue());
    EXPECT_GT(right.pixelColor(8, 8).blue(), 2 * right.pixelColor(8, 8).red());
    EXPECT_GT(down.pixelColor(8, 8).blue(), 2 * down.pixelColor(8, 8).red());

    // A triangle pointing right has its broad side on the left and its tip on the right; one
    // pointing down has its broad side at the top.
    const QRect r = InkBounds(right);
    EXPECT_GE(Ink(right, QRect(r.left(), 0, 1, 16)), 8);
    EXPECT_LE(Ink(right, QRect(r.right(), 0, 1, 16)), 4);
    const QRect d = InkBounds(down);
    EXPECT_GE(Ink(down, QRect(0, d.top(), 16, 1)), 8);
    EXPECT_LE(Ink(down, QRect(0, d.bottom(), 16, 1)), 4);

    // The cross reaches into all four corners and leaves the middles of its edges empty.
    EXPECT_EQ(qAlpha(cross.pixel(8, 1)), 0);
    EXPECT_EQ(qAlpha(cross.pixel(1, 8)), 0);
    EXPECT_GT(qAlpha(cross.pixel(4, 4)), 128);
    EXPECT_GT(qAlpha(cross.pixel(11, 11)), 128);
    EXPECT_GT(qAlpha(cross.pixel(11, 4)), 128);
    EXPECT_GT(qAlpha(cross.pixel(4, 11)), 128);
}

TEST(ResPictures, ZoomPicturesAreSmallAndLargePage) {
    const QImage small = LoadResImage(ResKind::Png, 319).convertToFormat(QImage::Format_ARGB32);
    const QImage large = LoadResImage(ResKind::Png, 320).convertToFormat(QImage::Format_ARGB32);
    EXPECT_GT(Ink(large, large.rect()), 2 * Ink(small, small.rect()));
}

// The splash carries text drawn by the program: dark text on the left and bottom, grey text at
// the bottom right and a link in the top-right corner. Those places must stay light and calm.
TEST(ResPictures, SplashLeavesRoomForItsText) {
    const QImage splash = LoadResImage(ResKind::Png, 328).convertToFormat(QImage::Format_RGB32);
    const QRect textAreas[] = {
        QRect(QPoint(24, 132), QPoint(320, 219)),  // version, user, company
        QRect(QPoint(24, 260), QPoint(320, 280)),  // legal notice
        QRect(QPoint(303, 214), QPoint(440, 280)), // "Click to dismiss"
        QRect(QPoint(320, 4), QPoint(450, 24)),    // web link
    };
    for (const QRect& area : textAreas) {
        SCOPED_TRACE(area.x());
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                ASSERT_GE(splash.pixelColor(x, y).lightness(), 200) << x << "," << y;
            }
        }
    }
}

TEST(ResIcons, ApplicationIconHasEveryWindowSize) {
    const std::vector<int> sizes = ResIconSizes(128);
    for (int edge : {16, 24, 32, 48, 64, 128, 256}) {
        EXPECT_NE(std::find(sizes.begin(), sizes.end(), edge), sizes.end()) << edge;
    }
    for (int edge : sizes) {
        SCOPED_TRACE(edge);
        const QImage image(QStringLiteral(":/icons/128/%1").arg(edge));
        EXPECT_EQ(image.size(), QSize(edge, edge));
    }
    const QIcon icon = LoadResIcon(128);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes().size(), static_cast<qsizetype>(sizes.size()));
    EXPECT_EQ(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32));
}

TEST(ResIcons, SaveCompleteIconHasDialogSizes) {
    const std::vector<int> sizes = ResIconSizes(337);
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));
    EXPECT_FALSE(LoadResIcon(337).isNull());
}

TEST(ResCursor, DropCursorHotSpotIsOnTheArrowTip) {
    const QImage image = LoadResImage(ResKind::Cursor, 332).convertToFormat(QImage::Format_ARGB32);
    const QPoint hot = ResCursorHotSpot(332);
    ASSERT_TRUE(image.rect().contains(hot));
    EXPECT_GT(qAlpha(image.pixel(hot)), 0);
    // Nothing is drawn above or left of the tip.
    EXPECT_EQ(Ink(image, QRect(0, 0, 32, hot.y() - 1)), 0);
    EXPECT_EQ(Ink(image, QRect(0, 0, hot.x() - 1, 32)), 0);

    const QCursor cursor = LoadResCursor(332);
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), hot);
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
}

} // namespace
} // namespace plyfold

namespace plyfold {
namespace {

TEST(ResScale, RatioKeysAreHundredthsWithinBounds) {
    const std::pair<qreal, int> cases[] = {
        {1.0, 100},  {2.0, 200},     {1.25, 125},   {1.004, 100}, {0.0, 100},
        {-2.0, 100}, {qQNaN(), 100}, {qInf(), 100}, {0.1, 25},    {50.0, 800},
    };
    for (const auto& [ratio, key] : cases) {
        EXPECT_EQ(DeviceRatioKey(ratio), key) << ratio;
    }
}

// On a screen of twice the density every picture is drawn anew from its source at twice the
// pixels: the same picture (its reduction matches the 1x one), not an enlargement.
TEST(ResScale, PicturesAreRenderedFromTheirDrawingAtTheScreensDensity) {
    for (const PictureCase& c : kPictures) {
        if (c.kind == ResKind::Icon) {
            continue;
        }
        SCOPED_TRACE(ResourcePath(c.kind, c.id).toStdString());
        const QImage one = LoadResImage(c.kind, c.id);
        const QImage two = LoadResImage(c.kind, c.id, 2.0);
        ASSERT_FALSE(two.isNull());
        EXPECT_EQ(two.size(), QSize(2 * c.width, 2 * c.height));
        EXPECT_EQ(two.devicePixelRatio(), 2.0);
        EXPECT_EQ(LoadResImage(c.kind, c.id, 1.0), one) << "1x is the picture itself";
        const QImage reduced =
            two.scaled(one.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        const QImage base = one.convertToFormat(QImage::Format_ARGB32);
        double difference = 0;
        for (int y = 0; y < base.height(); ++y) {
            for (int x = 0; x < base.width(); ++x) {
                const QColor a = base.pixelColor(x, y);
                const QColor b = reduced.pixelColor(x, y);
                difference += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                              std::abs(a.blue() - b.blue()) + std::abs(a.alpha() - b.alpha());
            }
        }
        EXPECT_LT(difference / (4.0 * base.width() * base.height()), 16.0);
        // An enlargement of the 1x picture has no more colours than it; a rendering at twice the
        // density draws the anti-aliased edges anew.
        const QImage enlarged =
            one.scaled(two.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (c.width > 1) {
            EXPECT_NE(two.convertToFormat(QImage::Format_ARGB32),
                      enlarged.convertToFormat(QImage::Format_ARGB32));
        }
    }
    const QIcon icon = LoadResScalableIcon(ResKind::Png, 322);
    EXPECT_EQ(icon.pixmap(QSize(16, 16), 1.0).size(), QSize(16, 16));
    EXPECT_EQ(icon.pixmap(QSize(16, 16), 2.0).size(), QSize(32, 32));
    EXPECT_TRUE(LoadResScalableIcon(ResKind::Png, 99999).isNull());
    EXPECT_TRUE(LoadResImage(ResKind::Png, 99999, 2.0).isNull());
}

} // namespace
} // namespace plyfold
