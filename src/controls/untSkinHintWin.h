#pragma once
// TMyHintWindow: the application's own hint (tooltip) window. Once made, it
// takes over every widget's tooltip in the application: Qt's own tooltip is
// never shown. The pointer resting HintPause ms on a widget (or a child of
// it) that has a tooltip shows the text as a single centred line on a light
// orange box with a double frame, just below the pointer; it goes after
// HintHide ms, when the pointer leaves the widget, or on a click, key or
// wheel. The box is kept on the desktop (KeepHintOnDesktop).
//
// One per application, made by the main window and living as long as it
// does. UI thread only.

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace zv2::controls {

// Where a hint box of `bounds` goes on a desktop of `desktop`, keeping its
// size: moved up when its bottom passes the desktop's bottom, then left when
// its right edge passes the desktop's right edge, then right when its left
// edge lies left of the desktop's left edge.
QRect KeepHintOnDesktop(QRect bounds, const QRect& desktop);

class TMyHintWindow : public QWidget {
public:
    // Defaults: HintPause 500 ms, HintHide 2000 ms, BackColor RGB(255, 227, 149),
    // BorderColor RGB(242, 149, 54), text "Arial" 9 pt in RGB(51, 51, 51). Starts hidden.
    TMyHintWindow();
    ~TMyHintWindow() override;

    int HintPause() const { return HintPause_; }
    void SetHintPause(int ms) { HintPause_ = ms; }
    int HintHide() const { return HintHide_; }
    void SetHintHide(int ms) { HintHide_ = ms; }
    QColor BackColor() const { return BackColor_; }
    void SetBackColor(const QColor& color) { BackColor_ = color; }
    QColor BorderColor() const { return BorderColor_; }
    void SetBorderColor(const QColor& color) { BorderColor_ = color; }
    QString Text() const { return Text_; }

    // Shows `text` in `rect` (screen coordinates of the text) grown by 5
    // pixels on every side and kept on the desktop, topmost, without taking
    // the focus; it hides itself after HintHide ms.
    void ActivateHint(const QRect& rect, const QString& text);
    // Hides the hint and forgets the widget that asked for it.
    void CancelHint();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFor(QWidget* target);

    int HintPause_ = 500;
    int HintHide_ = 2000;
    QColor BackColor_{255, 227, 149};
    QColor BorderColor_{242, 149, 54};
    QString Text_;
    QPointer<QWidget> Target_; // the widget whose hint is waiting or shown
    QTimer PauseTimer_, HideTimer_;
};

} // namespace zv2::controls
