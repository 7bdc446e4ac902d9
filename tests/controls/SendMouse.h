#pragma once
// Mouse input delivered straight to a widget, as the window system would.

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace zv2::controls::test {

// `button` is the button that changed, `held` the buttons down after the event.
inline void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

inline void Press(QWidget& widget, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(widget, QEvent::MouseButtonPress, at, button, button);
}
inline void DoubleClick(QWidget& widget, QPoint at) {
    SendMouse(widget, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
}
// A move with no button down, or with the left button held (a drag).
inline void Move(QWidget& widget, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
    SendMouse(widget, QEvent::MouseMove, at, Qt::NoButton, held);
}
inline void Release(QWidget& widget, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(widget, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}
inline void Leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

} // namespace zv2::controls::test
