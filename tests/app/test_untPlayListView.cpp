// The playlist's model: each change of the list reaches the view as the
// change of the rows it concerns, and the two selections follow each other.

#include "app/untPlayListView.h"

#include "ModelSignals.h"
#include "QtTestApp.h"
#include "ReportRows.h"

#include <QTreeView>
#include <functional>
#include <gtest/gtest.h>

namespace zv2::app {
namespace {

using Seen = std::vector<std::string>;

TPlayList FiveRows() {
    TPlayList list;
    list.AppendAll({"/m/1.mp3", "/m/2.mp3", "/m/3.mp3", "/m/4.mp3", "/m/5.mp3"});
    return list;
}

struct TChange {
    const char* Name;
    std::function<void(TPlayList&)> Change;
    Seen Expected;
};

TEST(PlayListModel, EachChangeReachesTheViewAsTheRowsItConcerns) {
    const TChange changes[] = {
        {"append one", [](TPlayList& l) { l.Append("/m/6.mp3"); }, {"insert 5-5"}},
        {"append two and a refused path",
         [](TPlayList& l) {
             l.AppendAll({"/m/6.mp3", "/m/bad\n.mp3", "/m/7.mp3"});
         },
         {"insert 5-6"}},
        {"status", [](TPlayList& l) { l.SetStatus(2, psPlaying); }, {"change 2-2 0-2"}},
        {"the same status again", [](TPlayList& l) { l.SetStatus(2, psNormal); }, {}},
        {"remove the last row", [](TPlayList& l) { l.RemoveRow(4); }, {"remove 4-4"}},
        {"remove a row: those after it are renumbered",
         [](TPlayList& l) { l.RemoveRow(1); },
         {"remove 1-1", "change 1-3 0-2"}},
        {"remove the selected rows, one run at a time from the last",
         [](TPlayList& l) {
             for (std::size_t row : {1, 2, 4})
                 l.SetSelected(row, true);
             l.RemoveSelected();
         },
         {"remove 4-4", "remove 1-2", "change 1-1 0-2"}},
        {"move down: two rows swap songs",
         [](TPlayList& l) {
             l.SetSelected(2, true);
             l.MoveDown();
         },
         {"change 2-3 0-2"}},
        {"select all changes no row", [](TPlayList& l) { l.SelectAll(); }, {}},
    };
    for (const TChange& change : changes) {
        TPlayList list = FiveRows();
        TPlayListModel model(list);
        test::TModelSignals seen(model);
        change.Change(list);
        EXPECT_EQ(seen.Take(), change.Expected) << change.Name;
        ASSERT_EQ(model.rowCount(), static_cast<int>(list.Count())) << change.Name;
        for (int row = 0; row < model.rowCount(); ++row) {
            EXPECT_EQ(model.Text(row, 1), QString::number(row + 1)) << change.Name;
            EXPECT_EQ(model.Text(row, 2).toStdString(), list.Row(static_cast<std::size_t>(row)).Path) << change.Name;
            EXPECT_EQ(model.Image(row), list.Row(static_cast<std::size_t>(row)).Status) << change.Name;
        }
    }
}

TEST(PlayListModel, TheHeaderHasTheThreeColumnsWithTheIndexCentred) {
    TPlayList list;
    TPlayListModel model(list);
    QTreeView view;
    view.setModel(&model);
    EXPECT_EQ(test::HeaderCaption(&view, 0), QString::fromUtf8("状态"));
    EXPECT_EQ(test::HeaderCaption(&view, 1), QString::fromUtf8("索引"));
    EXPECT_EQ(test::HeaderCaption(&view, 2), QString::fromUtf8("文件名"));
    EXPECT_EQ(test::HeaderAlignment(&view, 1), int(Qt::AlignCenter));
    EXPECT_FALSE(test::HeaderAlignment(&view, 2).isValid());
}

TEST(PlayListModel, TheSelectionsOfViewAndListFollowEachOther) {
    TPlayList list = FiveRows();
    TPlayListModel model(list);
    QTreeView view;
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    BindPlayList(view, model, list);

    test::SelectRow(&view, 3);
    test::SelectRow(&view, 1);
    EXPECT_EQ(list.SelectedRow(), 1);
    view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    EXPECT_EQ(list.SelectedRow(), 3);

    list.MoveUp(); // the selection moves with the song
    EXPECT_EQ(test::SelectedRows(&view), std::vector<int>({2}));
    list.SelectAll();
    EXPECT_EQ(test::SelectedRows(&view), std::vector<int>({0, 1, 2, 3, 4}));
    list.RemoveSelected();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(test::SelectedRows(&view).empty());
}

} // namespace
} // namespace zv2::app
