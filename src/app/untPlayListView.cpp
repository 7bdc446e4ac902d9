#include "app/untPlayListView.h"

#include <QAbstractItemView>
#include <QItemSelection>

namespace zv2::app {

namespace {

constexpr int kNumberColumn = 1;
constexpr int kPathColumn = 2;

int Row(std::size_t index) {
    return static_cast<int>(index);
}

} // namespace

TPlayListModel::TPlayListModel(TPlayList& list, QObject* parent)
    : TReportModel({{"状态"}, {"索引", true}, {"文件名"}}, parent), List_(list) {
    List_.SetObserver(this);
}

TPlayListModel::~TPlayListModel() {
    List_.SetObserver(nullptr);
}

int TPlayListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(List_.Count());
}

QString TPlayListModel::Text(int row, int column) const {
    const TPlayListRow& r = List_.Row(static_cast<std::size_t>(row));
    if (column == kNumberColumn)
        return QString::number(r.Number);
    if (column == kPathColumn)
        return QString::fromStdString(r.Path);
    return {};
}

int TPlayListModel::Image(int row) const {
    return List_.Row(static_cast<std::size_t>(row)).Status;
}

void TPlayListModel::RowsInserting(std::size_t first, std::size_t last) {
    beginInsertRows({}, Row(first), Row(last));
}

void TPlayListModel::RowsInserted() {
    endInsertRows();
}

void TPlayListModel::RowsRemoving(std::size_t first, std::size_t last) {
    beginRemoveRows({}, Row(first), Row(last));
}

void TPlayListModel::RowsRemoved() {
    endRemoveRows();
}

void TPlayListModel::RowsChanged(std::size_t first, std::size_t last) {
    TReportModel::RowsChanged(Row(first), Row(last));
}

void TPlayListModel::SelectionChanged(std::size_t first, std::size_t last) {
    if (OnSelectionChanged)
        OnSelectionChanged(Row(first), Row(last));
}

void BindPlayList(QAbstractItemView& view, TPlayListModel& model, TPlayList& list) {
    view.setModel(&model);
    QObject::connect(view.selectionModel(), &QItemSelectionModel::selectionChanged, &model,
                     [&list](const QItemSelection& selected, const QItemSelection& deselected) {
                         // Only the rows whose selection changed, whole rows as the view selects them.
                         for (const auto& [ranges, on] : {std::pair{&deselected, false}, std::pair{&selected, true}})
                             for (const QItemSelectionRange& range : *ranges)
                                 for (int row = range.top(); row <= range.bottom(); ++row)
                                     if (static_cast<std::size_t>(row) < list.Count())
                                         list.SetSelected(static_cast<std::size_t>(row), on);
                     });
    model.OnSelectionChanged = [&view, &model, &list](int first, int last) {
        // One range per run of selected rows, applied at once.
        QItemSelection chosen;
        const int lastColumn = model.columnCount() - 1;
        for (int row = first; row <= last;) {
            if (!list.Row(static_cast<std::size_t>(row)).Selected) {
                ++row;
                continue;
            }
            const int top = row;
            while (row <= last && list.Row(static_cast<std::size_t>(row)).Selected)
                ++row;
            chosen.select(model.index(top, 0), model.index(row - 1, lastColumn));
        }
        QItemSelectionModel* selection = view.selectionModel();
        const QItemSelection span(model.index(first, 0), model.index(last, lastColumn));
        selection->select(span, QItemSelectionModel::Deselect);
        selection->select(chosen, QItemSelectionModel::Select);
    };
}

} // namespace zv2::app
