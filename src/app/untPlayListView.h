#pragma once
// The playlist's report view over a TPlayList: TPlayListModel shows the rows
// ("状态": the status image of "imglstPlayList", drawn by the row delegate;
// "索引": the position number; "文件名": the full path) and passes each
// change of the list on as the change of the rows it concerns, and
// BindPlayList keeps the view's selection and the list's in step.
// Main thread only.

#include "app/untListModels.h"
#include "app/untPlayList.h"

#include <functional>

class QAbstractItemView;

namespace zv2::app {

class TPlayListModel final : public TReportModel, private IPlayListObserver {
public:
    // Becomes `list`'s observer until it is destroyed; the list outlives it.
    explicit TPlayListModel(TPlayList& list, QObject* parent = nullptr);
    ~TPlayListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QString Text(int row, int column) const override;
    int Image(int row) const override; // the row's status

    // The list's own commands changed the selection of rows first..last.
    std::function<void(int first, int last)> OnSelectionChanged;

private:
    void RowsInserting(std::size_t first, std::size_t last) override;
    void RowsInserted() override;
    void RowsRemoving(std::size_t first, std::size_t last) override;
    void RowsRemoved() override;
    void RowsChanged(std::size_t first, std::size_t last) override;
    void SelectionChanged(std::size_t first, std::size_t last) override;

    TPlayList& List_;
};

// Makes `view` show `model` and keeps the selections in step: what the
// user selects goes into the list, and the selection of the list's own
// commands (move, jump, select all) shows in the view.
void BindPlayList(QAbstractItemView& view, TPlayListModel& model, TPlayList& list);

} // namespace zv2::app
