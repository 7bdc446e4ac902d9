#include "controls/untSkinSlider.h"

#include "controls/PenShapes.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zv2::controls {

namespace {

constexpr int ThumbSize = 10;
constexpr int IntMin = std::numeric_limits<int>::min();
constexpr int IntMax = std::numeric_limits<int>::max();

} // namespace

TThumbRect PlaceThumb(int width, int height, int min, int max, int position) {
    int x = 0;
    if (max != min) {
        // Multiplying before dividing keeps exact halves exact (28.5, not 28.499...).
        const double exact = static_cast<double>(std::int64_t{position} - min) * (width - ThumbSize) /
                             static_cast<double>(std::int64_t{max} - min);
        x = static_cast<int>(std::clamp<double>(std::nearbyint(exact), IntMin, IntMax));
    }
    const int middle = height / 2;
    return {x, middle - ThumbSize / 2, x + ThumbSize, middle + ThumbSize / 2};
}

int PositionAt(int width, int min, int max, int offset) {
    // Pointer offsets are far inside this bound; it keeps the product in 64 bits.
    constexpr std::int64_t OffsetLimit = std::int64_t{1} << 30;
    const std::int64_t p = std::clamp<std::int64_t>(offset, -OffsetLimit, OffsetLimit);
    const std::int64_t value = min + (std::int64_t{max} - min) * p / (width - ThumbSize);
    return static_cast<int>(std::clamp<std::int64_t>(value, IntMin, IntMax));
}

void TSkinSliderModel::SetMin(int value) {
    if (value == Min_)
        return;
    Min_ = value;
    UpdateThumb();
}

void TSkinSliderModel::SetMax(int value) {
    if (value == Max_)
        return;
    Max_ = value;
    UpdateThumb();
}

void TSkinSliderModel::SetPosition(int value) {
    if (value == Position_)
        return;
    Position_ = value;
    UpdateThumb();
    Notify();
}

void TSkinSliderModel::SetSize(int width, int height) {
    Width_ = width;
    Height_ = height;
    UpdateThumb();
}

void TSkinSliderModel::MoveTo(int offset) {
    if (Width_ == ThumbSize)
        return;
    Position_ = PositionAt(Width_, Min_, Max_, offset);
    UpdateThumb();
    Notify();
}

void TSkinSliderModel::LeftDown(int x, int y) {
    LeftButtonDown_ = true;
    if (Thumb_.Contains(x, y))
        Dragging_ = true;
    Notify();
}

void TSkinSliderModel::MouseMove(int x) {
    if (!Dragging_)
        return;
    MoveTo(x - ThumbSize / 2);
    Notify();
}

void TSkinSliderModel::LeftUp(int x) {
    LeftButtonDown_ = false;
    if (Dragging_) {
        Dragging_ = false;
    } else {
        if (Width_ == ThumbSize)
            return;
        if (x < Thumb_.Left || x > Thumb_.Right)
            MoveTo(x - ThumbSize / 2);
    }
    Notify();
}

void TSkinSliderModel::MouseLeave() {
    Dragging_ = false;
}

void TSkinSliderModel::UpdateThumb() {
    if (Position_ > Max_)
        Position_ = Max_;
    if (Position_ < Min_)
        Position_ = Min_;
    Thumb_ = PlaceThumb(Width_, Height_, Min_, Max_, Position_);
    if (OnRender)
        OnRender();
}

void TSkinSliderModel::Notify() {
    if (OnChange)
        OnChange();
}

TSkinSlider::TSkinSlider(QWidget* parent) : QWidget(parent), BackColor_(palette().color(QPalette::Button)) {
    Model_.OnRender = [this] { RenderBuffer(); };
    Model_.OnChange = [this] {
        if (OnChange)
            OnChange(*this);
    };
    Model_.SetSize(width(), height());
}

void TSkinSlider::SetBackColor(const QColor& color) {
    BackColor_ = color;
    RenderBuffer();
}

void TSkinSlider::RenderBuffer() {
    if (width() <= 0 || height() <= 0)
        return;
    Buffer_ = QImage(size(), QImage::Format_RGB32);
    QPainter painter(&Buffer_);
    const int w = width();
    const int m = height() / 2;
    const auto& thumb = Model_.Thumb();

    DrawPenRect(painter, BackColor_, BackColor_, 0, 0, w, height());
    DrawPenRoundRect(painter, QColor(76, 97, 143), QColor(120, 195, 246), 0, m - 2, w, m + 2);
    DrawPenRect(painter, QColor(126, 236, 0), QColor(126, 236, 0), 1, m - 1, thumb.Left + 5, m + 1);
    DrawPenEllipse(painter, QColor(92, 113, 159), QColor(202, 222, 249), thumb.Left, thumb.Top, thumb.Right,
                   thumb.Bottom);
    DrawPenEllipse(painter, Qt::white, Qt::white, thumb.Left + 1, thumb.Top + 1, thumb.Right - 3, thumb.Bottom - 3);
    painter.end();
    update();
}

void TSkinSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Buffer_);
}

void TSkinSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const auto at = event->position().toPoint();
    Model_.LeftDown(at.x(), at.y());
}

void TSkinSlider::mouseMoveEvent(QMouseEvent* event) {
    Model_.MouseMove(event->position().toPoint().x());
}

void TSkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    Model_.LeftUp(event->position().toPoint().x());
}

void TSkinSlider::leaveEvent(QEvent*) {
    Model_.MouseLeave();
}

void TSkinSlider::resizeEvent(QResizeEvent*) {
    Model_.SetSize(width(), height());
}

} // namespace zv2::controls
