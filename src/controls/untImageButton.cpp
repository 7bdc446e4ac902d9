#include "controls/untImageButton.h"

#include "controls/PenShapes.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace zv2::controls {

namespace {

constexpr int Margin = 5;
// The button's face leaves the bottom three pixels to the parent.
constexpr int BottomGap = 3;

} // namespace

int FrameCount(QSize image) {
    return image.height() < 1 ? 1 : image.width() / image.height();
}

int FrameForState(int state, int frames) {
    if (frames < 2)
        return 0;
    switch (state) {
    case 1:
        return 1;
    case 2:
        return frames >= 3 ? 2 : 0;
    default:
        return 0;
    }
}

QColor StateColor(const QColor& color, int state) {
    const int step = state == 1 ? 10 : state == 2 ? -10 : 0;
    const auto shift = [step](int channel) { return std::clamp(channel + step, 0, 255); };
    return QColor(shift(color.red()), shift(color.green()), shift(color.blue()));
}

TButtonLayout LayoutButton(QSize control, QSize caption, int imageHeight, TTextAlign align) {
    const int width = control.width();
    const int height = control.height();
    TButtonLayout layout;
    layout.TextRect = QRect(Margin, Margin, width - 2 * Margin, height - BottomGap - 2 * Margin);
    const int centredX = imageHeight > 0 ? (width - imageHeight) / 2 : Margin;
    const int centredY = imageHeight > 0 ? (height - imageHeight) / 2 : Margin;
    if (!caption.isValid()) {
        layout.TextAlignment = Qt::AlignCenter;
        layout.ImagePos = QPoint((width - imageHeight) / 2, (height - imageHeight) / 2);
        return layout;
    }
    switch (align) {
    case TTextAlign::taLeft:
        layout.TextAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        layout.ImagePos = QPoint(caption.width() + Margin, centredY);
        break;
    case TTextAlign::taRight:
        layout.TextAlignment = Qt::AlignRight | Qt::AlignVCenter;
        layout.ImagePos = QPoint(Margin, centredY);
        break;
    case TTextAlign::taTop:
        layout.TextAlignment = Qt::AlignHCenter | Qt::AlignTop;
        layout.ImagePos = QPoint(centredX, caption.height() + Margin);
        break;
    case TTextAlign::taBottom:
        layout.TextAlignment = Qt::AlignHCenter | Qt::AlignBottom;
        layout.ImagePos = QPoint(centredX, Margin);
        break;
    }
    return layout;
}

void TImageButtonModel::DrawState(int state) {
    State_ = state;
    if (OnRender)
        OnRender();
}

void TImageButtonModel::LeftDown() {
    DrawState(2);
    Pressed_ = true;
}

void TImageButtonModel::LeftUp() {
    if (Pressed_ && OnClick)
        OnClick();
    DrawState(1);
    Pressed_ = false;
}

void TImageButtonModel::MouseMove() {
    if (!HoverArmed_)
        return;
    DrawState(1);
    HoverArmed_ = false;
}

void TImageButtonModel::MouseLeave() {
    DrawState(0);
    Pressed_ = false;
    HoverArmed_ = true;
}

TImageButton::TImageButton(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    Model_.OnRender = [this] { update(); };
    Model_.OnClick = [this] {
        if (OnClick)
            OnClick(*this);
    };
}

void TImageButton::SetBackColor(const QColor& color) {
    BackColor_ = color;
    Model_.DrawState(0);
}

void TImageButton::SetBorderColor(const QColor& color) {
    BorderColor_ = color;
    Model_.DrawState(0);
}

void TImageButton::SetAlphaColor(const QColor& color) {
    AlphaColor_ = color;
    UpdateKeyedImage();
    Model_.DrawState(0);
}

void TImageButton::SetTransparent(bool value) {
    if (value == Transparent_)
        return;
    Transparent_ = value;
    Model_.DrawState(0);
}

void TImageButton::SetImage(const QImage& image) {
    Image_ = image;
    Frames_ = FrameCount(image.size());
    UpdateKeyedImage();
    Model_.DrawState(0);
}

void TImageButton::SetCaption(const QString& caption) {
    Caption_ = caption;
    Model_.DrawState(0);
}

void TImageButton::SetTextAlign(TTextAlign align) {
    TextAlign_ = align;
    Model_.DrawState(0);
}

void TImageButton::UpdateKeyedImage() {
    if (Image_.isNull()) {
        Keyed_ = QImage();
        return;
    }
    Keyed_ = Image_.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = AlphaColor_.rgb() & RGB_MASK;
    for (int y = 0; y < Keyed_.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(Keyed_.scanLine(y));
        for (int x = 0; x < Keyed_.width(); ++x) {
            if ((row[x] & RGB_MASK) == key)
                row[x] = 0;
        }
    }
}

void TImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int state = Model_.State();
    if (!Transparent_) {
        DrawPenRect(painter, StateColor(BorderColor_, state), StateColor(BackColor_, state), 0, 0, width(),
                    height() - BottomGap);
    }
    const bool hasCaption = !Caption_.isEmpty();
    const QFontMetrics metrics(font());
    const QSize caption = hasCaption ? QSize(metrics.horizontalAdvance(Caption_), metrics.height()) : QSize();
    const auto layout = LayoutButton(size(), caption, Keyed_.isNull() ? 0 : Keyed_.height(), TextAlign_);
    if (hasCaption) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(layout.TextRect, static_cast<int>(layout.TextAlignment) | Qt::TextSingleLine, Caption_);
    }
    if (!Keyed_.isNull()) {
        const int side = Keyed_.height();
        const int frame = FrameForState(state, Frames_);
        painter.drawImage(layout.ImagePos, Keyed_, QRect(frame * side, 0, side, side));
    }
}

void TImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    Model_.LeftDown();
}

void TImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    Model_.LeftDown();
}

// While the button is held, Qt keeps sending the mouse to this widget even
// outside it and reports the leave only after the release; a pointer outside
// therefore counts as a leave here, so a press taken outside is no click.
void TImageButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    if (rect().contains(event->position().toPoint()))
        Model_.LeftUp();
    else
        Model_.MouseLeave();
}

void TImageButton::mouseMoveEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint()))
        Model_.MouseMove();
    else
        Model_.MouseLeave();
}

void TImageButton::leaveEvent(QEvent*) {
    Model_.MouseLeave();
}

} // namespace zv2::controls
