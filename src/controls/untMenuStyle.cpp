#include "controls/untMenuStyle.h"

#include "controls/PenShapes.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionMenuItem>

#include <algorithm>

namespace zv2::controls {

namespace {

const QColor Background(241, 249, 252);
const QColor ImageColumn(174, 199, 234);
const QColor FrameBlue(35, 115, 174);
constexpr int kImageColumnWidth = 20;
constexpr int kTextLeft = 30;
constexpr int kTextTop = 3;
constexpr int kFrameWidth = 3; // the blue pixel and the two white ones
constexpr int kItemHeight = 20;
constexpr int kSeparatorHeight = 7;
constexpr int kRightRoom = 24; // after the caption: the sub-menu arrow and a margin

QFont ItemFont(const QStyleOptionMenuItem& item) {
    QFont font = item.font;
    if (item.menuItemType == QStyleOptionMenuItem::DefaultItem)
        font.setBold(true);
    return font;
}

void DrawMenuItem(const QStyleOptionMenuItem& item, QPainter& painter) {
    const QRect r = item.rect;
    const int left = r.left(), top = r.top(), right = r.left() + r.width(), bottom = r.top() + r.height();
    const int h = r.height();
    DrawPenRect(painter, Background, Background, left, top - 1, right, bottom + 1);
    DrawPenRect(painter, ImageColumn, ImageColumn, left, top - 1, left + kImageColumnWidth, bottom + 1);
    if (item.menuItemType == QStyleOptionMenuItem::Separator) {
        painter.setPen(QColor(154, 198, 255));
        painter.drawLine(left + 22, top + h / 2, right - 3, top + h / 2);
        return;
    }
    if (item.menuItemType == QStyleOptionMenuItem::EmptyArea)
        return;

    const bool enabled = item.state & QStyle::State_Enabled;
    const bool selected = item.state & QStyle::State_Selected;
    QColor text;
    QPoint image;
    if (selected) {
        if (enabled) {
            DrawPenRect(painter, QColor(139, 167, 213), QColor(217, 247, 255), left, top, right, bottom);
            text = QColor(51, 85, 51);
        } else {
            DrawPenRect(painter, QColor(136, 165, 212), Qt::transparent, left, top, right, bottom);
            text = QColor(165, 138, 107);
        }
        image = QPoint(left + 1, top + 1);
    } else {
        text = enabled ? QColor(0, 0, 0) : QColor(170, 170, 170);
        image = QPoint(left + 2, top + 2);
    }
    painter.setFont(ItemFont(item));
    painter.setPen(text);
    painter.drawText(QRect(left + kTextLeft, top + kTextTop, r.width() - kTextLeft, h - kTextTop),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, MenuCaption(item.text));
    if (!item.icon.isNull())
        painter.drawPixmap(image, item.icon.pixmap(16, 16));
    if (item.checkType != QStyleOptionMenuItem::NotCheckable && item.checked) {
        DrawPenEllipse(painter, QColor(102, 102, 102), QColor(68, 68, 68), left + 5, top + 5, left + h - 5, bottom - 5);
        DrawPenEllipse(painter, QColor(136, 136, 136), QColor(170, 170, 170), left + 6, top + 6, left + h - 8,
                       bottom - 8);
    }
    if (item.menuItemType == QStyleOptionMenuItem::SubMenu) {
        const double x = right - 10, y = top + h / 2.0;
        QPainterPath arrow;
        arrow.moveTo(x - 2, y - 4);
        arrow.lineTo(x + 2, y);
        arrow.lineTo(x - 2, y + 4);
        arrow.closeSubpath();
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.fillPath(arrow, text);
    }
}

} // namespace

QString MenuCaption(const QString& text) {
    QString caption = text.section('\t', 0, 0);
    caption.remove('&');
    return caption;
}

TMenuStyle::TMenuStyle() = default;

void TMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (item && (element == CE_MenuItem || element == CE_MenuEmptyArea)) {
        painter->save();
        if (element == CE_MenuEmptyArea)
            painter->fillRect(option->rect, Background);
        else
            DrawMenuItem(*item, *painter);
        painter->restore();
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void TMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
    if (element == PE_PanelMenu) {
        painter->fillRect(option->rect, Background);
        return;
    }
    if (element == PE_FrameMenu) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setBrush(Qt::NoBrush);
        const QRect outer = option->rect;
        for (int i = 0; i < kFrameWidth; ++i) {
            painter->setPen(i == 0 ? FrameBlue : QColor(255, 255, 255));
            painter->drawRect(outer.adjusted(i, i, -i - 1, -i - 1));
        }
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

int TMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    switch (metric) {
    case PM_MenuPanelWidth:
        return kFrameWidth;
    case PM_MenuHMargin:
    case PM_MenuVMargin:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

QSize TMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuItem || !item)
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    if (item->menuItemType == QStyleOptionMenuItem::Separator)
        return QSize(kImageColumnWidth + 10, kSeparatorHeight);
    const QFontMetrics metrics(ItemFont(*item));
    return QSize(kTextLeft + metrics.horizontalAdvance(MenuCaption(item->text)) + kRightRoom,
                 std::max(kItemHeight, metrics.height() + 2 * kTextTop));
}

int TMenuStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const {
    if (hint == SH_Menu_AllowActiveAndDisabled)
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace zv2::controls
