#pragma once
// Shapes as the controls describe them: a box from (left, top) up to but not
// including (right, bottom), outlined with a 1-pixel pen of one colour and
// filled with another. An empty box draws nothing.

#include <QColor>

class QPainter;

namespace zv2::controls {

void DrawPenRect(QPainter& painter, const QColor& pen, const QColor& fill, int left, int top, int right, int bottom);
// Corners rounded by one pixel.
void DrawPenRoundRect(QPainter& painter, const QColor& pen, const QColor& fill, int left, int top, int right,
                      int bottom);
// Antialiased; the outline still stays inside the box.
void DrawPenEllipse(QPainter& painter, const QColor& pen, const QColor& fill, int left, int top, int right, int bottom);

} // namespace zv2::controls
