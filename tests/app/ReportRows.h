#pragma once
// What a report view of the window shows, read through its model as the
// view reads it, and a selection made as the user makes one.

#include "controls/untOwnerDraw.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QString>
#include <QStringList>
#include <vector>

namespace zv2::test {

inline int RowCount(const QAbstractItemView* view) {
    return view->model()->rowCount();
}

inline QString Cell(const QAbstractItemView* view, int row, int column) {
    return view->model()->index(row, column).data().toString();
}

inline QStringList Column(const QAbstractItemView* view, int column) {
    QStringList out;
    for (int row = 0; row < RowCount(view); ++row)
        out << Cell(view, row, column);
    return out;
}

// The row's image index (its status or state).
inline int RowImage(const QAbstractItemView* view, int row) {
    return view->model()->index(row, 0).data(controls::kRowImageRole).toInt();
}

inline QString HeaderCaption(const QAbstractItemView* view, int column) {
    return view->model()->headerData(column, Qt::Horizontal).toString();
}

inline QVariant HeaderAlignment(const QAbstractItemView* view, int column) {
    return view->model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole);
}

// Adds the whole row to the view's selection.
inline void SelectRow(QAbstractItemView* view, int row) {
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

inline std::vector<int> SelectedRows(const QAbstractItemView* view) {
    std::vector<int> out;
    for (int row = 0; row < RowCount(view); ++row)
        if (view->selectionModel()->isRowSelected(row))
            out.push_back(row);
    return out;
}

} // namespace zv2::test
