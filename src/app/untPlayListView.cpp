#include "app/untPlayListView.h"

#include "controls/untOwnerDraw.h"

#include <QItemSelection>
#include <QTreeWidget>

namespace zv2::app {

namespace {

constexpr int kNumberColumn = 1;
constexpr int kPathColumn = 2;

void ShowRow(QTreeWidgetItem& item, const TPlayListRow& row) {
    const QString number = QString::number(row.Number);
    const QString path = QString::fromStdString(row.Path);
    if (item.text(kNumberColumn) != number)
        item.setText(kNumberColumn, number);
    if (item.text(kPathColumn) != path)
        item.setText(kPathColumn, path);
    controls::SetRowImage(item, row.Status);
}

} // namespace

void ShowPlayList(QTreeWidget& view, const TPlayList& list) {
    const int rows = static_cast<int>(list.Count());
    while (view.topLevelItemCount() > rows)
        delete view.takeTopLevelItem(view.topLevelItemCount() - 1);
    QList<QTreeWidgetItem*> added;
    for (int i = view.topLevelItemCount(); i < rows; ++i) {
        auto* item = new QTreeWidgetItem;
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
