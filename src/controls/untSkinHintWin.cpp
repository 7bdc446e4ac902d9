#include "controls/untSkinHintWin.h"

#include "controls/PenShapes.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>

namespace zv2::controls {

namespace {

const QColor TextColor(51, 51, 51);
constexpr int kGrow = 5;          // the box around the text, on every side
constexpr int kBelowPointer = 22; // the text's top, below the pointer's hot spot

// The widget whose tooltip a widget shows: itself or its nearest ancestor in
// the same window that has one.
QWidget* HintTarget(QWidget* widget) {
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (!widget->toolTip().isEmpty())
            return widget;
    }
    return nullptr;
}

} // namespace

QRect KeepHintOnDesktop(QRect bounds, const QRect& desktop) {
    const int deskRight = desktop.x() + desktop.width();
    const int deskBottom = desktop.y() + desktop.height();
    if (bounds.y() + bounds.height() > deskBottom)
        bounds.moveTop(deskBottom - bounds.height());
    if (bounds.x() + bounds.width() > deskRight)
        bounds.moveLeft(deskRight - bounds.width());
    if (bounds.x() < desktop.x())
        bounds.moveLeft(desktop.x());
    return bounds;
}

TMyHintWindow::TMyHintWindow()
    : QWidget(nullptr,
              Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setObjectName("TMyHintWindow");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont hintFont("Arial");
    hintFont.setPointSize(9);
    setFont(hintFont);
    PauseTimer_.setSingleShot(true);
    HideTimer_.setSingleShot(true);
    connect(&PauseTimer_, &QTimer::timeout, this, [this] {
        if (Target_ && Target_->isVisible())
            ShowFor(Target_);
    });
    connect(&HideTimer_, &QTimer::timeout, this, [this] { hide(); });
    qApp->installEventFilter(this);
}

TMyHintWindow::~TMyHintWindow() {
    qApp->removeEventFilter(this);
}

void TMyHintWindow::ActivateHint(const QRect& rect, const QString& text) {
    Text_ = text;
    const QRect bounds = rect.adjusted(-kGrow, -kGrow, kGrow, kGrow);
    const QScreen* screen = QGuiApplication::screenAt(rect.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? KeepHintOnDesktop(bounds, screen->virtualGeometry()) : bounds);
    show();
    raise();
    update();
    HideTimer_.start(HintHide_);
}

void TMyHintWindow::CancelHint() {
    PauseTimer_.stop();
    HideTimer_.stop();
    Target_ = nullptr;
    hide();
}

void TMyHintWindow::ShowFor(QWidget* target) {
    const QString text = target->toolTip();
    const QSize size = QFontMetrics(font()).size(Qt::TextSingleLine, text);
    ActivateHint(QRect(QCursor::pos() + QPoint(0, kBelowPointer), size), text);
}

void TMyHintWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width(), h = height();
    DrawPenRect(painter, BorderColor_, BackColor_, 0, 0, w, h);
    DrawPenRect(painter, BorderColor_, BackColor_, 2, 2, w - 2, h - 2);
    painter.setPen(TextColor);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, Text_);
}

bool TMyHintWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ToolTip:
        return true; // every tooltip is ours
    case QEvent::Enter:
        if (watched->isWidgetType() && watched != this) {
            QWidget* target = HintTarget(static_cast<QWidget*>(watched));
            if (target != Target_) {
                CancelHint();
                Target_ = target;
                if (target)
                    PauseTimer_.start(HintPause_);
            }
        }
        break;
    case QEvent::Leave:
        if (watched == Target_)
            CancelHint();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        // Hidden until the pointer enters another widget.
        PauseTimer_.stop();
        HideTimer_.stop();
        hide();
        break;
    default:
        break;
    }
    return false;
}

} // namespace zv2::controls
