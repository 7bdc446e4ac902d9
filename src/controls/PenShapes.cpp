#include "controls/PenShapes.h"

#include <QPainter>

namespace zv2::controls {

namespace {

// A 1-pixel pen strokes a QRect one pixel beyond its width and height, so the
// rectangle is made one pixel smaller to end before (right, bottom).
bool Prepare(QPainter& painter, const QColor& pen, const QColor& fill, int left, int top, int right, int bottom,
             QRect& box) {
    if (right <= left || bottom <= top)
        return false;
    painter.setPen(QPen(pen, 1));
    painter.setBrush(fill);
    box = QRect(left, top, right - left - 1, bottom - top - 1);
    return true;
}

} // namespace

void DrawPenRect(QPainter& painter, const QColor& pen, const QColor& fill, int left, int top, int right, int bottom) {
    QRect box;
    if (!Prepare(painter, pen, fill, left, top, right, bottom, box))
        return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawRect(box);
}

void DrawPenRoundRect(QPainter& painter, const QColor& pen, const QColor& fill, int left, int top, int right,
                      int bottom) {
    QRect box;
    if (!Prepare(painter, pen, fill, left, top, right, bottom, box))
        return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawRoundedRect(box, 1, 1);
}

void DrawPenEllipse(QPainter& painter, const QColor& pen, const QColor& fill, int left, int top, int right,
                    int bottom) {
    QRect box;
    if (!Prepare(painter, pen, fill, left, top, right, bottom, box))
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Antialiased strokes are centred on the path: half a pixel in keeps them on whole pixels.
    painter.drawEllipse(QRectF(box).translated(0.5, 0.5));
}

} // namespace zv2::controls
