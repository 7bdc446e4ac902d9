#pragma once
// The owner-drawn rows of the window's lists, as item delegates:
//
// TListRowDelegate draws the rows of the report views (playlist, download,
// search and chart song lists): light greys alternating by row index across
// the view's full width, light blue across the full width for a selected
// row, the row's image (white transparent) at the left of the first column,
// the texts in green, dark red or near-black by the row's image index, and
// each further column aligned as its header says.
//
// TChartListDelegate draws the items of the chart list box: 20 pixels high,
// a grey line between items, green when selected, the chart image (image 4
// of "imglstPlayList") at the left.
//
// UI thread only; a delegate may serve several views.

#include <QStyledItemDelegate>

#include <string>

namespace zv2::controls {

// The role that holds a row's image index (an int), on its first column. A
// model whose row changes image reports every column of the row as changed:
// the row's colour is in all of them.
inline constexpr int kRowImageRole = Qt::UserRole + 1;

class TListRowDelegate : public QStyledItemDelegate {
public:
    // `imageList` names the view's small images (see untImageLists.h); empty
    // for a view without images.
    explicit TListRowDelegate(std::string imageList, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The text colour of a row with image index `image`: 1 RGB(0, 128, 0),
    // 2 RGB(160, 0, 0), any other RGB(17, 17, 17).
    static QColor TextColor(int image);

private:
    std::string ImageList_;
};

class TChartListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace zv2::controls
