#pragma once
// TImageButton: a flat button showing one frame of an image strip and an
// optional caption (previous, play/pause and next of the player panel, the
// search button). The strip is a row of square frames, side as the image's
// height: frame 0 normal, 1 hover, 2 pressed (frame 3, when there is one, is
// not used by the button). Pixels of AlphaColor are transparent.
//
// Looks: 0 normal, 1 hover (drawn once per entry of the pointer), 2 pressed.
// A left press (or double click) presses the button; the release clicks it
// only when the pointer has not left it in between. UI thread only.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

namespace zv2::controls {

enum class TTextAlign { taLeft, taRight, taTop, taBottom };

// Number of square frames in a strip: width / height, 1 when the height is below 1.
int FrameCount(QSize image);
// The frame shown in a look: normal 0, hover 1, pressed 2 when there are at
// least 3 frames (else 0); a strip of fewer than 2 frames always shows frame 0.
int FrameForState(int state, int frames);
// The border and back colours of a look: hover raises each channel by 10,
// pressed lowers it by 10, within 0..255.
QColor StateColor(const QColor& color, int state);

struct TButtonLayout {
    QRect TextRect;              // where the caption goes
    Qt::Alignment TextAlignment; // how it sits there (always a single line)
    QPoint ImagePos;             // top left corner of the frame
};
// Places caption and frame in a control of size `control`. `caption` is the
// caption's measured size, or an invalid size when there is no caption;
// `imageHeight` is 0 without an image.
TButtonLayout LayoutButton(QSize control, QSize caption, int imageHeight, TTextAlign align);

class TImageButtonModel {
public:
    std::function<void()> OnClick;
    std::function<void()> OnRender; // the look changed: draw again

    int State() const { return State_; }
    bool Pressed() const { return Pressed_; }
    // Shows look 0, 1 or 2.
    void DrawState(int state);

    void LeftDown(); // press or double click
    void LeftUp();
    void MouseMove();
    void MouseLeave();

private:
    int State_ = 0;
    bool Pressed_ = false;
    bool HoverArmed_ = true;
};

// The widget. The owner creates it, places it with setGeometry, gives it an
// image (and AlphaColor), maybe a caption and a hint (setToolTip), and binds
// OnClick. With Transparent the parent shows through around the frame.
class TImageButton : public QWidget {
public:
    explicit TImageButton(QWidget* parent = nullptr);

    std::function<void(TImageButton& sender)> OnClick;

    QColor BackColor() const { return BackColor_; }
    void SetBackColor(const QColor& color);
    QColor BorderColor() const { return BorderColor_; }
    void SetBorderColor(const QColor& color);
    QColor AlphaColor() const { return AlphaColor_; }
    void SetAlphaColor(const QColor& color);
    bool Transparent() const { return Transparent_; }
    void SetTransparent(bool value);
    const QImage& Image() const { return Image_; }
    void SetImage(const QImage& image); // keeps its own copy
    const QString& Caption() const { return Caption_; }
    void SetCaption(const QString& caption);
    TTextAlign TextAlign() const { return TextAlign_; }
    void SetTextAlign(TTextAlign align);

    int Frames() const { return Frames_; }
    int State() const { return Model_.State(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void UpdateKeyedImage();

    TImageButtonModel Model_;
    QColor BackColor_{204, 204, 204};
    QColor BorderColor_{102, 102, 102};
    QColor AlphaColor_{255, 0, 255};
    bool Transparent_ = false;
    QImage Image_;
    QImage Keyed_; // Image_ with AlphaColor made transparent
    int Frames_ = 1;
    QString Caption_;
    TTextAlign TextAlign_ = TTextAlign::taRight;
};

} // namespace zv2::controls
