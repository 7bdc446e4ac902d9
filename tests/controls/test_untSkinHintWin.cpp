#include "controls/untSkinHintWin.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QScreen>
#include <QToolTip>

#include <chrono>
#include <functional>

using namespace zv2::controls;

namespace {

// Runs the event loop until `done`, for 30 seconds at most.
bool RunUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < end)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

} // namespace

TEST(HintPlacement, AHintIsKeptOnTheDesktopWithItsSize) {
    const QRect desktop(0, 0, 800, 600);
    const struct {
        QRect Hint, Expected;
    } cases[] = {
        {{100, 100, 60, 25}, {100, 100, 60, 25}}, // inside: stays
        {{780, 100, 60, 25}, {740, 100, 60, 25}}, // past the right edge
        {{100, 590, 60, 25}, {100, 575, 60, 25}}, // past the bottom
        {{790, 595, 60, 25}, {740, 575, 60, 25}}, // past both
        {{-20, 100, 60, 25}, {0, 100, 60, 25}},   // left of the desktop
        {{-20, 100, 900, 25}, {0, 100, 900, 25}}, // wider than the desktop: its left edge shows
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeepHintOnDesktop(c.Hint, desktop), c.Expected) << c.Hint.x() << "," << c.Hint.y();
    // A desktop that does not start at (0, 0).
    EXPECT_EQ(KeepHintOnDesktop({1800, 760, 60, 25}, {800, 0, 1024, 768}), QRect(1764, 743, 60, 25));
}

TEST(HintWindow, StartsWithItsDefaults) {
    TMyHintWindow hint;
    EXPECT_FALSE(hint.isVisible());
    EXPECT_EQ(hint.HintPause(), 500);
    EXPECT_EQ(hint.HintHide(), 2000);
    EXPECT_EQ(hint.BackColor(), QColor(255, 227, 149));
    EXPECT_EQ(hint.BorderColor(), QColor(242, 149, 54));
}

TEST(HintWindow, AHintAtTheDesktopsCornerIsMovedInsideAndDrawnWithItsDoubleFrame) {
    TMyHintWindow hint;
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    const QString text = QString::fromUtf8("\u2588\u2588\u2588\u2588");
    hint.ActivateHint(QRect(desktop.right() - 20, desktop.bottom() - 5, 60, 16), text);
    EXPECT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.Text(), text);
    EXPECT_EQ(hint.size(), QSize(70, 26)); // the text's rectangle grown by 5 on every side
    EXPECT_TRUE(desktop.contains(hint.geometry())) << hint.x() << "," << hint.y();
    EXPECT_EQ(hint.geometry().right(), desktop.right());
    EXPECT_EQ(hint.geometry().bottom(), desktop.bottom());

    const QImage image = hint.grab().toImage();
    const QColor border(242, 149, 54), back(255, 227, 149), ink(51, 51, 51);
    EXPECT_EQ(At(image, 0, 0), border);
    EXPECT_EQ(At(image, 1, 1), back);
    EXPECT_EQ(At(image, 2, 2), border);
    EXPECT_EQ(At(image, 69, 25), border);
    EXPECT_EQ(At(image, 67, 23), border);
    EXPECT_EQ(At(image, 4, 13), back);
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        if (At(image, x, 13) == ink) {
            first = first < 0 ? x : first;
            last = x;
        }
    ASSERT_GE(first, 0);
    EXPECT_NEAR((first + last) / 2.0, 35.0, 2.0); // centred
}

TEST(HintWindow, AWidgetsTooltipShowsAfterThePauseAndGoesAfterTheHideTime) {
    TMyHintWindow hint;
    hint.SetHintHide(200);
    QWidget parent;
    parent.setToolTip(QString::fromUtf8("播放列表"));
    QWidget child(&parent);
    parent.show();

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&child, &enter); // the child has no tooltip: its parent's shows
    ASSERT_TRUE(RunUntil([&] { return hint.isVisible(); }));
    EXPECT_EQ(hint.Text(), QString::fromUtf8("播放列表"));
    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), parent.mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(&parent, &help); // Qt's own tooltip would show now
    EXPECT_FALSE(QToolTip::isVisible());
    EXPECT_TRUE(RunUntil([&] { return !hint.isVisible(); }));

    hint.SetHintHide(60000);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&parent, &leave);
    QApplication::sendEvent(&parent, &enter);
    ASSERT_TRUE(RunUntil([&] { return hint.isVisible(); }));
    QApplication::sendEvent(&parent, &leave); // leaving hides at once
    EXPECT_FALSE(hint.isVisible());
}
