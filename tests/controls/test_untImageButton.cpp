#include "controls/untImageButton.h"

#include "controls/SendMouse.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <vector>

using namespace zv2::controls;
using namespace zv2::controls::test;

namespace {

const QColor Magenta(255, 0, 255);
const QColor FrameColours[] = {QColor(200, 0, 0), QColor(0, 160, 0), QColor(0, 0, 200), QColor(90, 90, 90)};

// A strip of `frames` square frames of side `side`, each a solid colour with a
// magenta (transparent) top left corner.
QImage Strip(int side, int frames) {
    QImage image(side * frames, side, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int i = 0; i < frames; ++i) {
        painter.fillRect(i * side, 0, side, side, FrameColours[i]);
        painter.fillRect(i * side, 0, 4, 4, Magenta);
    }
    return image;
}

QColor PixelAt(const QImage& image, QPoint at) {
    return QColor(image.pixel(at));
}

} // namespace

TEST(ImageButtonFrames, CountsSquareFramesInAStrip) {
    EXPECT_EQ(FrameCount(QSize(136, 34)), 4);
    EXPECT_EQ(FrameCount(QSize(116, 29)), 4);
    EXPECT_EQ(FrameCount(QSize(16, 16)), 1);
    EXPECT_EQ(FrameCount(QSize(50, 20)), 2);
    EXPECT_EQ(FrameCount(QSize(10, 20)), 0);
    EXPECT_EQ(FrameCount(QSize(0, 0)), 1);
}

TEST(ImageButtonFrames, PicksTheFrameOfEachLook) {
    EXPECT_EQ((std::vector<int>{FrameForState(0, 4), FrameForState(1, 4), FrameForState(2, 4)}),
              (std::vector<int>{0, 1, 2}));
    EXPECT_EQ((std::vector<int>{FrameForState(0, 2), FrameForState(1, 2), FrameForState(2, 2)}),
              (std::vector<int>{0, 1, 0}));
    for (int state = 0; state < 3; ++state) {
        EXPECT_EQ(FrameForState(state, 1), 0);
        EXPECT_EQ(FrameForState(state, 0), 0); // an image narrower than high has no second frame to show
    }
}

TEST(ImageButtonColours, HoverLightensAndPressedDarkensWithinRange) {
    EXPECT_EQ(StateColor(QColor(204, 204, 204), 0), QColor(204, 204, 204));
    EXPECT_EQ(StateColor(QColor(204, 204, 204), 1), QColor(214, 214, 214));
    EXPECT_EQ(StateColor(QColor(204, 204, 204), 2), QColor(194, 194, 194));
    EXPECT_EQ(StateColor(QColor(250, 5, 128), 1), QColor(255, 15, 138));
    EXPECT_EQ(StateColor(QColor(250, 5, 128), 2), QColor(240, 0, 118));
}

TEST(ImageButtonLayout, PlacesImageAndCaptionByTextAlign) {
    const QSize control(80, 25);
    const QSize caption(50, 14);
    const auto right = LayoutButton(control, caption, 16, TTextAlign::taRight);
    EXPECT_EQ(right.ImagePos, QPoint(5, 4));
    EXPECT_EQ(right.TextRect, QRect(5, 5, 70, 12));
    EXPECT_EQ(right.TextAlignment, Qt::AlignRight | Qt::AlignVCenter);

    const auto left = LayoutButton(control, caption, 16, TTextAlign::taLeft);
    EXPECT_EQ(left.ImagePos, QPoint(55, 4));
    EXPECT_EQ(left.TextAlignment, Qt::AlignLeft | Qt::AlignVCenter);

    const auto top = LayoutButton(QSize(60, 60), caption, 16, TTextAlign::taTop);
    EXPECT_EQ(top.ImagePos, QPoint(22, 19));
    EXPECT_EQ(top.TextAlignment, Qt::AlignHCenter | Qt::AlignTop);

    const auto bottom = LayoutButton(QSize(60, 60), caption, 16, TTextAlign::taBottom);
    EXPECT_EQ(bottom.ImagePos, QPoint(22, 5));
    EXPECT_EQ(bottom.TextAlignment, Qt::AlignHCenter | Qt::AlignBottom);
}

TEST(ImageButtonLayout, UsesTheMarginWhereACaptionHasNoImage) {
    EXPECT_EQ(LayoutButton(QSize(80, 25), QSize(50, 14), 0, TTextAlign::taRight).ImagePos, QPoint(5, 5));
    EXPECT_EQ(LayoutButton(QSize(80, 25), QSize(50, 14), 0, TTextAlign::taTop).ImagePos, QPoint(5, 19));
}

TEST(ImageButtonLayout, CentresTheImageWithoutCaptionTruncatingHalves) {
    EXPECT_EQ(LayoutButton(QSize(34, 34), QSize(), 34, TTextAlign::taRight).ImagePos, QPoint(0, 0));
    EXPECT_EQ(LayoutButton(QSize(40, 31), QSize(), 29, TTextAlign::taLeft).ImagePos, QPoint(5, 1));
    EXPECT_EQ(LayoutButton(QSize(10, 10), QSize(), 29, TTextAlign::taRight).ImagePos, QPoint(-9, -9));
}

TEST(ImageButtonModel, DrawsTheHoverLookOncePerEntry) {
    TImageButtonModel Model;
    std::vector<int> Looks;
    Model.OnRender = [&] { Looks.push_back(Model.State()); };
    Model.MouseMove();
    Model.MouseMove();
    Model.MouseMove();
    Model.MouseLeave();
    Model.MouseMove();
    EXPECT_EQ(Looks, (std::vector<int>{1, 0, 1}));
}

class ImageButtonWidget : public ::testing::Test {
protected:
    ImageButtonWidget() {
        Button.setGeometry(0, 0, 34, 34);
        Button.show();
        Button.OnClick = [this](TImageButton& sender) {
            EXPECT_EQ(&sender, &Button);
            ++Clicks;
        };
    }
    TImageButton Button;
    int Clicks = 0;
};

TEST_F(ImageButtonWidget, ClicksOnceForPressAndRelease) {
    Move(Button, {10, 10});
    EXPECT_EQ(Button.State(), 1);
    Press(Button, {10, 10});
    EXPECT_EQ(Button.State(), 2);
    Release(Button, {10, 10});
    EXPECT_EQ(Clicks, 1);
    EXPECT_EQ(Button.State(), 1);
    Leave(Button);
    EXPECT_EQ(Button.State(), 0);
}

TEST_F(ImageButtonWidget, ADoubleClickIsTwoClicks) {
    Press(Button, {10, 10});
    Release(Button, {10, 10});
    DoubleClick(Button, {10, 10});
    Release(Button, {10, 10});
    EXPECT_EQ(Clicks, 2);
}

TEST_F(ImageButtonWidget, APressDraggedOutsideIsNoClickEvenWhenItComesBack) {
    Press(Button, {10, 10});
    Move(Button, {60, 10});
    EXPECT_EQ(Button.State(), 0);
    Move(Button, {10, 10});
    EXPECT_EQ(Button.State(), 1);
    Release(Button, {10, 10});
    EXPECT_EQ(Clicks, 0);
}

TEST_F(ImageButtonWidget, APressReleasedOutsideIsNoClick) {
    Press(Button, {10, 10});
    Release(Button, {60, 10});
    EXPECT_EQ(Clicks, 0);
    EXPECT_EQ(Button.State(), 0);
}

TEST_F(ImageButtonWidget, SettersShowTheNormalLookAgain) {
    Move(Button, {10, 10});
    Button.SetCaption("x");
    EXPECT_EQ(Button.State(), 0);
    Move(Button, {11, 10}); // still the same entry: no hover
    EXPECT_EQ(Button.State(), 0);
}

TEST_F(ImageButtonWidget, ShowsTheFrameOfEachLookWithTheAlphaColourTransparent) {
    Button.SetImage(Strip(34, 4));
    const QImage normal = Button.grab().toImage();
    EXPECT_EQ(PixelAt(normal, {17, 17}), FrameColours[0]);
    EXPECT_EQ(PixelAt(normal, {1, 1}), QColor(204, 204, 204)); // the face shows through the corner
    Move(Button, {10, 10});
    EXPECT_EQ(PixelAt(Button.grab().toImage(), {17, 17}), FrameColours[1]);
    Press(Button, {10, 10});
    EXPECT_EQ(PixelAt(Button.grab().toImage(), {17, 17}), FrameColours[2]);
}

TEST_F(ImageButtonWidget, DrawsItsFaceInTheColoursOfTheLook) {
    Button.resize(40, 40);
    const QImage normal = Button.grab().toImage();
    EXPECT_EQ(PixelAt(normal, {0, 0}), QColor(102, 102, 102));
    EXPECT_EQ(PixelAt(normal, {20, 20}), QColor(204, 204, 204));
    EXPECT_EQ(PixelAt(normal, {20, 36}), QColor(102, 102, 102)); // the face ends 3 pixels above the bottom
    Move(Button, {10, 10});
    const QImage hover = Button.grab().toImage();
    EXPECT_EQ(PixelAt(hover, {0, 0}), QColor(112, 112, 112));
    EXPECT_EQ(PixelAt(hover, {20, 20}), QColor(214, 214, 214));
    Press(Button, {10, 10});
    EXPECT_EQ(PixelAt(Button.grab().toImage(), {20, 20}), QColor(194, 194, 194));
}

TEST_F(ImageButtonWidget, ATransparentButtonDrawsOnlyItsFrame) {
    Button.SetImage(Strip(20, 4));
    Button.SetTransparent(true);
    QImage canvas(34, 34, QImage::Format_RGB32);
    canvas.fill(QColor(1, 2, 3));
    Button.render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(PixelAt(canvas, {2, 2}), QColor(1, 2, 3));
    EXPECT_EQ(PixelAt(canvas, {8, 8}), QColor(1, 2, 3)); // the frame's magenta corner
    EXPECT_EQ(PixelAt(canvas, {17, 17}), FrameColours[0]);
}

TEST_F(ImageButtonWidget, RightAlignsTheCaptionAndPutsTheImageFivePixelsFromTheLeft) {
    Button.setGeometry(0, 0, 120, 30);
    Button.SetBackColor(Qt::white);
    Button.SetImage(Strip(16, 1));
    Button.SetCaption("Search");
    const QImage image = Button.grab().toImage();
    EXPECT_EQ(PixelAt(image, {5, 7}), QColor(Qt::white)); // the frame's magenta corner
    EXPECT_EQ(PixelAt(image, {12, 12}), FrameColours[0]);
    EXPECT_NE(PixelAt(image, {4, 12}), FrameColours[0]);
    // Text pixels: right of the image, ending at the text rectangle's right edge (x = 114).
    int leftmost = image.width(), rightmost = -1;
    for (int y = 5; y < 22; ++y) {
        for (int x = 22; x < 115; ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                leftmost = std::min(leftmost, x);
                rightmost = std::max(rightmost, x);
            }
        }
    }
    const int width = QFontMetrics(Button.font()).horizontalAdvance("Search");
    EXPECT_LE(rightmost, 114);
    EXPECT_GE(rightmost, 110);
    EXPECT_GE(leftmost, 115 - width - 2);
}
