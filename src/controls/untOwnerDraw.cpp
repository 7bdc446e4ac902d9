#include "controls/untOwnerDraw.h"

#include "controls/PenShapes.h"
#include "controls/untImageLists.h"

#include <QHeaderView>
#include <QPainter>
#include <QTreeView>

#include <algorithm>

namespace zv2::controls {

namespace {

constexpr int kTextIndent = 5;   // texts and the row image start this far into their column
constexpr int kChartHeight = 20; // item height of the chart list box
constexpr int kChartTextLeft = 20;
constexpr int kChartImageLeft = 2;
constexpr int kChartImage = 4; // of imglstPlayList

const QColor White(255, 255, 255);

// The row's horizontal extent in the view's viewport: from the first column's
// left edge to the right end of the view, or of the columns where they reach
// further.
std::pair<int, int> RowSpan(const QStyleOptionViewItem& option) {
    const auto* tree = qobject_cast<const QTreeView*>(option.widget);
    if (!tree)
        return {option.rect.left(), option.rect.left() + option.rect.width()};
    const int left = -tree->header()->offset();
    return {left, std::max(tree->viewport()->width(), left + tree->header()->length())};
}

Qt::Alignment ColumnAlignment(const QModelIndex& index) {
    const QVariant declared = index.model()->headerData(index.column(), Qt::Horizontal, Qt::TextAlignmentRole);
    const auto horizontal = Qt::Alignment(declared.toInt()) & Qt::AlignHorizontal_Mask;
    return (horizontal ? horizontal : Qt::AlignLeft) | Qt::AlignVCenter;
}

} // namespace

TListRowDelegate::TListRowDelegate(std::string imageList, QObject* parent)
    : QStyledItemDelegate(parent), ImageList_(std::move(imageList)) {}

QColor TListRowDelegate::TextColor(int image) {
    switch (image) {
    case 1:
        return QColor(0, 128, 0);
    case 2:
        return QColor(160, 0, 0);
    default:
        return QColor(17, 17, 17);
    }
}

void TListRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QRect cell = option.rect;
    const int top = cell.top(), bottom = cell.top() + cell.height();
    const auto [rowLeft, rowRight] = RowSpan(option);
    const QColor fill = (option.state & QStyle::State_Selected) ? QColor(207, 224, 249)
                        : index.row() % 2 == 0                  ? QColor(249, 248, 247)
                                                                : QColor(238, 238, 238);
    painter->save();
    painter->setClipRect(cell);
    // One rectangle per row, each cell drawing its own part of it.
    DrawPenRect(*painter, White, fill, rowLeft, top - 1, rowRight, bottom);

    const int image = index.siblingAtColumn(0).data(kRowImageRole).toInt();
    QRect text = cell.adjusted(kTextIndent, 0, 0, 0);
    if (index.column() == 0 && !ImageList_.empty()) {
        const QPixmap& pixmap = ImageListPixmap(ImageList_, image);
        if (!pixmap.isNull())
            painter->drawPixmap(cell.left() + kTextIndent, top, pixmap);
        text.setLeft(cell.left() + ImageListPixmap(ImageList_, 0).width() + kTextIndent);
    }
    painter->setFont(option.font);
    painter->setPen(TextColor(image));
    const Qt::Alignment alignment = index.column() == 0 ? Qt::AlignLeft | Qt::AlignVCenter : ColumnAlignment(index);
    painter->drawText(text, int(alignment) | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize TListRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), 18)); // a 16-pixel image and the row's lines
    return size;
}

void TChartListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QRect r = option.rect;
    const int left = r.left(), top = r.top(), right = r.left() + r.width(), bottom = r.top() + r.height();
    QColor pen = White, fill, text;
    if (option.state & QStyle::State_Selected) {
        pen = QColor(74, 160, 0);
        fill = QColor(126, 236, 0);
        text = QColor(51, 102, 153);
    } else if (index.row() % 2 == 0) {
        fill = QColor(233, 232, 231);
        text = QColor(51, 51, 51);
    } else {
        fill = QColor(249, 248, 247);
        text = QColor(17, 17, 17);
    }
    painter->save();
    DrawPenRect(*painter, pen, fill, left, top + 1, right, bottom);
    // The bottom line lies on the next item's top line, as both are drawn.
    painter->setPen(QColor(187, 187, 187));
    painter->drawLine(left, top, right - 1, top);
    painter->drawLine(left, bottom, right - 1, bottom);

    QFont font = option.font;
    font.setPointSize(9);
    painter->setFont(font);
    painter->setPen(text);
    painter->drawText(QRect(left + kChartTextLeft, top, right - left - kChartTextLeft, bottom - top),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    const QPixmap& icon = ImageListPixmap("imglstPlayList", kChartImage);
    painter->drawPixmap(left + kChartImageLeft, top + (r.height() - icon.height()) / 2, icon);
    painter->restore();
}

QSize TChartListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), kChartHeight);
}

} // namespace zv2::controls
