#include "controls/untSkinSlider.h"

#include "controls/SendMouse.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>

#include <vector>

using namespace zv2::controls;
using namespace zv2::controls::test;

namespace {

// What the owner sees at each notification.
struct TNotice {
    int Position;
    bool ButtonDown;
    bool Dragging;
    bool operator==(const TNotice&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TNotice& notice) {
    return out << "{" << notice.Position << (notice.ButtonDown ? ", down" : ", up")
               << (notice.Dragging ? ", dragging}" : "}");
}

class TRecordedModel {
public:
    TRecordedModel(int width, int min, int max, int position) {
        Model.SetSize(width, 25);
        Model.SetMin(min);
        Model.SetMax(max);
        Model.SetPosition(position);
        Model.OnChange = [this] { Notices.push_back({Model.Position(), Model.LeftButtonDown(), Model.Dragging()}); };
    }
    TSkinSliderModel Model;
    std::vector<TNotice> Notices;
};

QColor PixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// For the anti-aliased edge of the thumb.
::testing::AssertionResult Near(const QColor& actual, const QColor& expected, int tolerance) {
    if (std::abs(actual.red() - expected.red()) <= tolerance &&
        std::abs(actual.green() - expected.green()) <= tolerance &&
        std::abs(actual.blue() - expected.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.name().toStdString() << " is not near "
                                         << expected.name().toStdString();
}

} // namespace

TEST(SkinSliderGeometry, PlacesTheThumbWithHalvesRoundedToEven) {
    EXPECT_EQ(PlaceThumb(67, 25, -9999, 9999, 0).Left, 28); // 28.5
    EXPECT_EQ(PlaceThumb(67, 25, 0, 3000, 1500).Left, 28);  // 28.5
    EXPECT_EQ(PlaceThumb(13, 25, 0, 2, 1).Left, 2);         // 1.5
    EXPECT_EQ(PlaceThumb(15, 25, 0, 2, 1).Left, 2);         // 2.5
    EXPECT_EQ(PlaceThumb(67, 25, 0, 3000, 1000).Left, 19);
    EXPECT_EQ(PlaceThumb(67, 25, 0, 3000, 3000).Left, 57);
    EXPECT_EQ(PlaceThumb(281, 25, 0, 2147483647, 2147483647).Left, 271);
}

TEST(SkinSliderGeometry, MakesATenPixelSquareAroundTheMiddleLine) {
    EXPECT_EQ(PlaceThumb(67, 25, 0, 10, 5), (TThumbRect{28, 7, 38, 17}));
    EXPECT_EQ(PlaceThumb(67, 24, 0, 10, 0), (TThumbRect{0, 7, 10, 17}));
}

TEST(SkinSliderGeometry, KeepsTheThumbLeftWhenMinEqualsMax) {
    EXPECT_EQ(PlaceThumb(67, 25, 5, 5, 5).Left, 0);
}

TEST(SkinSliderGeometry, PositionAtTruncatesTowardZero) {
    EXPECT_EQ(PositionAt(67, -9999, 9999, 1), -9649);   // -9999 + 350.8
    EXPECT_EQ(PositionAt(67, -9999, 9999, -1), -10349); // -9999 - 350.8, held later by the slider
    EXPECT_EQ(PositionAt(67, 0, 3000, 35), 1842);
    EXPECT_EQ(PositionAt(67, 0, 3000, -3), -157);
    EXPECT_EQ(PositionAt(67, -2147483647 - 1, 2147483647, 1 << 30), 2147483647);
}

TEST(SkinSliderGeometry, PositionAtHandlesTheByteRangeOfLargeFiles) {
    // A 40 MB file on the 281-pixel position slider: range x offset passes 2^31.
    EXPECT_EQ(PositionAt(281, 0, 40'000'000, 271), 40'000'000);
    EXPECT_EQ(PositionAt(281, 0, 40'000'000, 135), 19'926'199);
}

TEST(SkinSliderModel, HoldsPositionWithinTheRangeAndNotifiesOnlyForPositionChanges) {
    TRecordedModel slider(67, 0, 3000, 1500);
    slider.Model.SetPosition(5000);
    EXPECT_EQ(slider.Model.Position(), 3000);
    EXPECT_EQ(slider.Model.Thumb().Left, 57);
    slider.Model.SetPosition(3000);
    slider.Model.SetMax(1000);
    EXPECT_EQ(slider.Model.Position(), 1000);
    slider.Model.SetMin(2000); // a minimum above the maximum wins
    EXPECT_EQ(slider.Model.Position(), 2000);
    EXPECT_EQ(slider.Notices, (std::vector<TNotice>{{3000, false, false}}));
}

TEST(SkinSliderModel, NotifiesOnPressEachDragStepTwiceAndRelease) {
    TRecordedModel slider(67, 0, 3000, 1500); // thumb 28..38
    slider.Model.LeftDown(33, 12);
    slider.Model.MouseMove(45); // thumb left at 40
    slider.Model.LeftUp(45);
    EXPECT_EQ(slider.Notices,
              (std::vector<TNotice>{{1500, true, true}, {2105, true, true}, {2105, true, true}, {2105, false, false}}));
    EXPECT_EQ(slider.Model.Thumb().Left, 40);
}

TEST(SkinSliderModel, DraggingPastEitherEndGivesMinOrMax) {
    TRecordedModel slider(67, -9999, 9999, 0);
    slider.Model.LeftDown(30, 12);
    slider.Model.MouseMove(-50);
    EXPECT_EQ(slider.Model.Position(), -9999);
    EXPECT_EQ(slider.Model.Thumb().Left, 0);
    slider.Model.MouseMove(200);
    EXPECT_EQ(slider.Model.Position(), 9999);
    EXPECT_EQ(slider.Model.Thumb().Left, 57);
    slider.Model.MouseMove(2);
    EXPECT_EQ(slider.Model.Position(), -9999);
}

TEST(SkinSliderModel, AClickOnTheTrackMovesTheThumbCentreToThePointerOnRelease) {
    TRecordedModel slider(67, 0, 3000, 0); // thumb 0..10
    slider.Model.LeftDown(40, 12);
    EXPECT_EQ(slider.Model.Position(), 0);
    slider.Model.MouseMove(50); // not dragging: nothing
    slider.Model.LeftUp(40);
    EXPECT_EQ(slider.Notices, (std::vector<TNotice>{{0, true, false}, {1842, false, false}, {1842, false, false}}));
    EXPECT_EQ(slider.Model.Thumb().Left, 35);
}

TEST(SkinSliderModel, AReleaseOnTheThumbWithoutADragOnlyNotifies) {
    TRecordedModel slider(67, 0, 3000, 1500); // thumb 28..38
    slider.Model.LeftDown(5, 12);
    slider.Model.LeftUp(38); // the right edge still counts as the thumb
    EXPECT_EQ(slider.Model.Position(), 1500);
    EXPECT_EQ(slider.Notices.size(), 2u);
}

TEST(SkinSliderModel, LeavingEndsTheDrag) {
    TRecordedModel slider(67, 0, 3000, 1500);
    slider.Model.LeftDown(33, 12);
    slider.Model.MouseLeave();
    slider.Model.MouseMove(60);
    EXPECT_EQ(slider.Model.Position(), 1500);
    EXPECT_FALSE(slider.Model.Dragging());
}

TEST(SkinSliderModel, ATenPixelSliderIgnoresClicksAndDrags) {
    TRecordedModel slider(10, 0, 100, 40);
    slider.Model.LeftDown(5, 12); // on the thumb
    slider.Model.MouseMove(9);
    slider.Model.LeftUp(9);
    slider.Model.LeftDown(8, 2); // beside it
    slider.Model.LeftUp(8);
    slider.Model.MoveTo(3);
    EXPECT_EQ(slider.Model.Position(), 40);
    // The press always notifies; a drag step notifies once; a release off a drag does not.
    EXPECT_EQ(slider.Notices,
              (std::vector<TNotice>{{40, true, true}, {40, true, true}, {40, false, false}, {40, true, false}}));
}

class SkinSliderWidget : public ::testing::Test {
protected:
    SkinSliderWidget() {
        Slider.setGeometry(0, 0, 67, 25);
        Slider.SetMax(3000);
        Slider.SetPosition(1500);
        Slider.show();
        Slider.OnChange = [this](TSkinSlider& sender) {
            EXPECT_EQ(&sender, &Slider);
            Notices.push_back({sender.Position(), sender.IsLeftButtonDown(), sender.Dragging()});
        };
    }
    TSkinSlider Slider;
    std::vector<TNotice> Notices;
};

TEST_F(SkinSliderWidget, TellsTheOwnerTheButtonIsUpOnlyAtTheRelease) {
    Press(Slider, {33, 12});
    EXPECT_TRUE(Slider.IsLeftButtonDown());
    Move(Slider, {-40, 12}, Qt::LeftButton);
    Release(Slider, {-40, 12});
    EXPECT_FALSE(Slider.IsLeftButtonDown());
    EXPECT_EQ(Notices, (std::vector<TNotice>{{1500, true, true}, {0, true, true}, {0, true, true}, {0, false, false}}));
}

TEST_F(SkinSliderWidget, PlacesTheThumbAgainWhenResized) {
    Slider.resize(110, 25);
    EXPECT_EQ(Slider.Thumb().Left, 50);
}

TEST_F(SkinSliderWidget, DrawsTrackFilledPartAndThumbInTheirColours) {
    Slider.SetBackColor(QColor(240, 240, 240));
    const QImage image = Slider.grab().toImage();
    ASSERT_EQ(image.size(), QSize(67, 25));
    // Middle line at y = 12, thumb at 28..37 x 7..16.
    EXPECT_EQ(PixelAt(image, 2, 2), QColor(240, 240, 240));
    EXPECT_EQ(PixelAt(image, 2, 22), QColor(240, 240, 240));
    EXPECT_EQ(PixelAt(image, 50, 10), QColor(76, 97, 143));   // track outline
    EXPECT_EQ(PixelAt(image, 50, 11), QColor(120, 195, 246)); // track inside, right of the thumb
    EXPECT_EQ(PixelAt(image, 5, 11), QColor(126, 236, 0));    // filled part, left of the thumb
    EXPECT_EQ(PixelAt(image, 5, 12), QColor(126, 236, 0));
    EXPECT_EQ(PixelAt(image, 5, 13), QColor(76, 97, 143));
    EXPECT_EQ(PixelAt(image, 34, 14), QColor(202, 222, 249));            // thumb below its highlight
    EXPECT_EQ(PixelAt(image, 31, 10), QColor(255, 255, 255));            // highlight
    EXPECT_TRUE(Near(PixelAt(image, 33, 7), QColor(92, 113, 159), 20));  // thumb outline at the top
    EXPECT_TRUE(Near(PixelAt(image, 37, 12), QColor(92, 113, 159), 20)); // and at the right

    Slider.SetPosition(3000); // thumb at 57..66: the filled part now passes x = 50
    EXPECT_EQ(PixelAt(Slider.grab().toImage(), 50, 11), QColor(126, 236, 0));
}
