#include "controls/untImageLists.h"

#include "LoadedLibraries.h"
#include "controls/untImageButton.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImageReader>

#include <cmath>
#include <set>

using namespace zv2::controls;

namespace {

bool IsWhite(const QImage& image, int x, int y) {
    return (image.pixel(x, y) & RGB_MASK) == 0xFFFFFF;
}

// The distinct colours of the middle row of a square frame.
std::set<QRgb> MiddleRow(const QImage& image, int frame) {
    const int side = image.height();
    std::set<QRgb> colours;
    for (int x = frame * side; x < (frame + 1) * side; ++x)
        colours.insert(image.pixel(x, side / 2));
    return colours;
}

} // namespace

TEST(ImageLists, ButtonStripsHoldFourSquareFrames) {
    for (const int index : {0, 1}) {
        const QImage play = ImageListImage("imglstPlayBtn", index);
        ASSERT_EQ(play.size(), QSize(136, 34)) << index;
        EXPECT_EQ(FrameCount(play.size()), 4);
        const QImage control = ImageListImage("imglstCtrlBtn", index);
        ASSERT_EQ(control.size(), QSize(116, 29)) << index;
        EXPECT_EQ(FrameCount(control.size()), 4);
    }
}

TEST(ImageLists, ButtonFramesAreRoundOnAWhiteBackgroundAndDifferByLook) {
    for (const auto* list : {"imglstPlayBtn", "imglstCtrlBtn"}) {
        for (const int index : {0, 1}) {
            const QImage strip = ImageListImage(list, index);
            const int side = strip.height();
            for (int frame = 0; frame < 4; ++frame) {
                const int left = frame * side;
                EXPECT_TRUE(IsWhite(strip, left, 0)) << list << index << frame;
                EXPECT_TRUE(IsWhite(strip, left + side - 1, side - 1)) << list << index << frame;
                // Nothing inside the round button may be the transparent white.
                const double centre = side / 2.0, inner = side / 2.0 - 2.5;
                for (int y = 0; y < side; ++y) {
                    for (int x = 0; x < side; ++x) {
                        if (std::hypot(x + 0.5 - centre, y + 0.5 - centre) < inner) {
                            ASSERT_FALSE(IsWhite(strip, left + x, y))
                                << list << index << frame << " at " << x << "," << y;
                        }
                    }
                }
            }
            EXPECT_NE(MiddleRow(strip, 0), MiddleRow(strip, 1)) << list << index;
            EXPECT_NE(MiddleRow(strip, 0), MiddleRow(strip, 2)) << list << index;
            EXPECT_NE(MiddleRow(strip, 0), MiddleRow(strip, 3)) << list << index;
        }
    }
}

TEST(ImageLists, ListIconsAreSixteenPixelsWithWhiteCorners) {
    const std::pair<const char*, std::vector<int>> lists[] = {{"imglstPlayList", {0, 1, 2, 3, 4}},
                                                              {"imglstStatus", {0, 1, 2, 3}}};
    for (const auto& [list, indexes] : lists) {
        for (const int index : indexes) {
            const QImage icon = ImageListImage(list, index);
            ASSERT_EQ(icon.size(), QSize(16, 16)) << list << index;
            EXPECT_TRUE(IsWhite(icon, 0, 0)) << list << index;
            EXPECT_TRUE(IsWhite(icon, 15, 0)) << list << index;
            EXPECT_GT(MiddleRow(icon, 0).size(), 2u) << list << index;
        }
    }
}

TEST(ImageLists, PlayingIsGreenAndFailedIsRed) {
    const QColor playing(ImageListImage("imglstPlayList", 1).pixel(4, 8));
    EXPECT_GT(playing.green(), playing.red() + 40);
    for (const QImage& failed : {ImageListImage("imglstPlayList", 2), ImageListImage("imglstStatus", 3)}) {
        const QColor colour(failed.pixel(3, 8));
        EXPECT_GT(colour.red(), colour.green() + 60);
    }
}

TEST(ImageLists, GivesANullImageForUnknownListsAndIndexes) {
    EXPECT_TRUE(ImageListImage("imglstStatus", 4).isNull());
    EXPECT_TRUE(ImageListImage("imglstPlayBtn", 2).isNull());
    EXPECT_TRUE(ImageListImage("imglstPlayBtn", -1).isNull());
    EXPECT_TRUE(ImageListImage("imglstNothing", 0).isNull());
    EXPECT_TRUE(ImageListImage("", 0).isNull());
    EXPECT_TRUE(ImageListImage("../controls/imglstPlayBtn", 0).isNull());
}

TEST(ImageLists, TheApplicationIconComesAtEveryThemeSizeOnATransparentGround) {
    const QIcon icon = ApplicationIcon();
    QList<QSize> sizes;
    for (const int side : {16, 24, 32, 48, 64, 128, 256})
        sizes << QSize(side, side);
    EXPECT_EQ(icon.availableSizes(), sizes);
    for (const QSize& size : sizes) {
        const QImage image = icon.pixmap(size).toImage();
        ASSERT_EQ(image.size(), size);
        ASSERT_TRUE(image.hasAlphaChannel());
        const int last = size.width() - 1, middle = size.width() / 2;
        // Round corners show what lies behind; the body is opaque.
        for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << size.width();
        EXPECT_EQ(qAlpha(image.pixel(middle, middle)), 255) << size.width();
        EXPECT_EQ(qAlpha(image.pixel(middle, 1 + size.width() / 8)), 255) << size.width();
    }
}

// The window system is given the icon's pixels as drawn, semi-transparent
// edges and all: nothing is lost to a premultiplied copy on the way.
TEST(ImageLists, TheApplicationIconKeepsThePixelsOfItsFiles) {
    const QIcon icon = ApplicationIcon();
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        QImageReader file(QStringLiteral(":/zv2/controls/AppIcon_%1.png").arg(side), "png");
        file.setAutoDetectImageFormat(false); // as the next case wants it
        const QImage drawn = file.read().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32), drawn) << side;
    }
}

// Each case runs as a process of its own, so what this one loads is its own doing.
TEST(ImageLists, AreReadWithoutLoadingQtsImageFormatPlugins) {
    EXPECT_FALSE(ApplicationIcon().isNull());
    EXPECT_FALSE(ImageListImage("imglstPlayBtn", 0).isNull());
    EXPECT_FALSE(ImageListPixmap("imglstMenu", 3).isNull());
    EXPECT_FALSE(zv2::test::LibraryLoaded("/imageformats/"));
}
