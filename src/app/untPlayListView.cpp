#include "app/untPlayListView.h"

#include "controls/untImageLists.h"

#include <QBitmap>
#include <QIcon>
#include <QItemSelection>
#include <QPixmap>
#include <QTreeWidget>
#include <array>

namespace zv2::app {

namespace {

constexpr int kStatusColumn = 0;
constexpr int kNumberColumn = 1;
constexpr int kPathColumn = 2;

// The status images of "imglstPlayList" (0 normal, 1 playing, 2 failed),
// with their white keyed out.
const QIcon& StatusIcon(int status) {
    static const std::array<QIcon, 3> icons = [] {
        std::array<QIcon, 3> out;
        for (int i = 0; i < 3; ++i) {
            QPixmap image = QPixmap::fromImage(controls::ImageListImage("imglstPlayList", i));
            image.setMask(image.createMaskFromColor(Qt::white));
            out[static_cast<std::size_t>(i)] = QIcon(image);
        }
        return out;
    }();
    return icons.at(static_cast<std::size_t>(status));
}

void ShowRow(QTreeWidgetItem& item, const TPlayListRow& row) {
    const QString number = QString::number(row.Number);
    const QString path = QString::fromStdString(row.Path);
    if (item.text(kNumberColumn) != number)
        item.setText(kNumberColumn, number);
    if (item.text(kPathColumn) != path)
        item.setText(kPathColumn, path);
    const QVariant shown = item.data(kStatusColumn, Qt::UserRole);
    if (!shown.isValid() || shown.toInt() != row.Status) {
        item.setData(kStatusColumn, Qt::UserRole, row.Status);
        item.setIcon(kStatusColumn, StatusIcon(row.Status));
    }
}

} // namespace

void ShowPlayList(QTreeWidget& view, const TPlayList& list) {
    const int rows = static_cast<int>(list.Count());
    while (view.topLevelItemCount() > rows)
        delete view.takeTopLevelItem(view.topLevelItemCount() - 1);
    QList<QTreeWidgetItem*> added;
    for (int i = view.topLevelItemCount(); i < rows; ++i) {
        auto* item = new QTreeWidgetItem;
        item->setTextAlignment(kNumberColumn, Qt::AlignCenter);
        ShowRow(*item, list.Row(static_cast<std::size_t>(i)));
        added.append(item);
    }
    const int kept = view.topLevelItemCount();
    for (int i = 0; i < kept; ++i)
        ShowRow(*view.topLevelItem(i), list.Row(static_cast<std::size_t>(i)));
    view.addTopLevelItems(added);

    // One range per run of selected rows, applied at once.
    QItemSelection selection;
    const int lastColumn = view.columnCount() - 1;
    for (int i = 0; i < rows;) {
        if (!list.Row(static_cast<std::size_t>(i)).Selected) {
            ++i;
            continue;
        }
        const int first = i;
        while (i < rows && list.Row(static_cast<std::size_t>(i)).Selected)
            ++i;
        selection.select(view.model()->index(first, 0), view.model()->index(i - 1, lastColumn));
    }
    view.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ReadPlayListSelection(const QTreeWidget& view, TPlayList& list) {
    list.ClearSelection();
    for (const QModelIndex& index : view.selectionModel()->selectedRows())
        if (static_cast<std::size_t>(index.row()) < list.Count())
            list.SetSelected(static_cast<std::size_t>(index.row()), true);
}

} // namespace zv2::app
