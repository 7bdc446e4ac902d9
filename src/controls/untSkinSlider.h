#pragma once
// TSkinSlider: the flat horizontal slider with a round thumb of the player
// panel (balance, volume, play position). Its geometry and mouse logic live in
// TSkinSliderModel, which knows nothing of painting; the widget forwards
// events to it and paints what it says. UI thread only.
//
// Notifications (OnChange) come on: a change of Position by code; a left
// press (always); each drag step (twice: once for the move, once more after
// it); a left release (always, except on a slider exactly 10 pixels wide
// that was not being dragged). Changes of Min and Max do not notify. During
// the release notification IsLeftButtonDown() is already false, so an owner
// can act on "the button is up" there (the position slider seeks then).

#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

namespace zv2::controls {

// The thumb's square, as left/top inclusive and right/bottom exclusive.
struct TThumbRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    bool operator==(const TThumbRect&) const = default;
};

// The 10 x 10 thumb of a slider of the given size for a position within
// [min, max]: its left edge is (position - min) * (width - 10) / (max - min)
// rounded to the nearest pixel, halves to even; 0 when max equals min. It is
// centred on height / 2.
TThumbRect PlaceThumb(int width, int height, int min, int max, int position);

// The position whose thumb starts `offset` pixels from the left:
// min + (max - min) * offset / (width - 10), truncated toward zero and held to
// the integer range (not to [min, max]). `width` must not be 10.
int PositionAt(int width, int min, int max, int offset);

class TSkinSliderModel {
public:
    std::function<void()> OnChange; // the owner's notification
    std::function<void()> OnRender; // the thumb or the range changed: draw again

    int Min() const { return Min_; }
    int Max() const { return Max_; }
    int Position() const { return Position_; }
    // Each stores a changed value and places the thumb; only SetPosition notifies.
    void SetMin(int value);
    void SetMax(int value);
    void SetPosition(int value);
    void SetSize(int width, int height);

    const TThumbRect& Thumb() const { return Thumb_; }
    bool Dragging() const { return Dragging_; }
    bool LeftButtonDown() const { return LeftButtonDown_; }

    // Puts the thumb's left edge at `offset` pixels, then notifies. Nothing on a
    // slider exactly 10 pixels wide.
    void MoveTo(int offset);

    // Mouse input in pixels relative to the control.
    void LeftDown(int x, int y);
    void MouseMove(int x);
    void LeftUp(int x);
    void MouseLeave();

private:
    void UpdateThumb();
    void Notify();

    int Width_ = 0;
    int Height_ = 0;
    int Min_ = 0;
    int Max_ = 10;
    int Position_ = 0;
    bool Dragging_ = false;
    bool LeftButtonDown_ = false;
    TThumbRect Thumb_;
};

// The widget. The owner creates it, places it with setGeometry, gives it its
// range, position and hint (setToolTip) and binds OnChange.
class TSkinSlider : public QWidget {
public:
    explicit TSkinSlider(QWidget* parent = nullptr);

    std::function<void(TSkinSlider& sender)> OnChange;

    int Min() const { return Model_.Min(); }
    int Max() const { return Model_.Max(); }
    int Position() const { return Model_.Position(); }
    void SetMin(int value) { Model_.SetMin(value); }
    void SetMax(int value) { Model_.SetMax(value); }
    void SetPosition(int value) { Model_.SetPosition(value); }

    QColor BackColor() const { return BackColor_; }
    void SetBackColor(const QColor& color);
    // Kept for the owner; they do not change the slider's behaviour.
    int PageSize() const { return PageSize_; }
    void SetPageSize(int value) { PageSize_ = value; }
    int LineSize() const { return LineSize_; }
    void SetLineSize(int value) { LineSize_ = value; }

    // True from a left press on the slider until its release.
    bool IsLeftButtonDown() const { return Model_.LeftButtonDown(); }
    bool Dragging() const { return Model_.Dragging(); }
    const TThumbRect& Thumb() const { return Model_.Thumb(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Draws the whole control into Buffer_ and schedules a repaint.
    void RenderBuffer();

    TSkinSliderModel Model_;
    QColor BackColor_;
    int PageSize_ = 2;
    int LineSize_ = 1;
    QImage Buffer_;
};

} // namespace zv2::controls
