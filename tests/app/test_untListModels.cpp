// The models of the search, chart-song and download lists: the columns the
// views show, and each change reaching the view as the rows it concerns.

#include "app/untListModels.h"

#include "ModelSignals.h"
#include "QtTestApp.h"
#include "controls/untOwnerDraw.h"

#include <gtest/gtest.h>

namespace zv2::app {
namespace {

using Seen = std::vector<std::string>;

QStringList Captions(const QAbstractItemModel& model) {
    QStringList out;
    for (int column = 0; column < model.columnCount(); ++column)
        out << model.headerData(column, Qt::Horizontal).toString();
    return out;
}

QStringList CentredColumns(const QAbstractItemModel& model) {
    QStringList out;
    for (int column = 0; column < model.columnCount(); ++column)
        if (model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole) == QVariant(int(Qt::AlignCenter)))
            out << model.headerData(column, Qt::Horizontal).toString();
    return out;
}

catalogue::TSearchRow Song(const std::string& name) {
    catalogue::TSearchRow row;
    row.SongName = name;
    row.Artist = name + " singer";
    row.Format = "mp3";
    row.Speed = 7;
    row.Size = "3.2M";
    row.SongLink = "127.0.0.1:9/" + name + ".mp3";
    return row;
}

TEST(SearchListModel, RowsShowTheirPositionAndTextsAndEachChangeIsItsOwnRow) {
    TSearchListModel model;
    test::TModelSignals seen(model);
    EXPECT_EQ(Captions(model), QStringList({"索引", "歌曲名", "歌手", "专辑", "格式", "速度", "大小", "下载地址"}));
    EXPECT_EQ(CentredColumns(model), QStringList({"歌手"}));

    model.Append(Song("a"));
    model.Append(Song("b"));
    EXPECT_EQ(seen.Take(), Seen({"insert 0-0", "insert 1-1"}));
    const QStringList second = {"2", "b", "b singer", "", "mp3", "7", "3.2M", "127.0.0.1:9/b.mp3"};
    for (int column = 0; column < model.columnCount(); ++column)
        EXPECT_EQ(model.index(1, column).data().toString(), second[column]) << column;
    EXPECT_EQ(model.index(1, 0).data(controls::kRowImageRole).toInt(), 0);

    model.SetImage(1, 1); // taken for download: the whole row takes the new colour
    EXPECT_EQ(seen.Take(), Seen({"change 1-1 0-7"}));
    EXPECT_EQ(model.index(1, 0).data(controls::kRowImageRole).toInt(), 1);

    model.Clear();
    model.Clear();
    EXPECT_EQ(seen.Take(), Seen({"remove 0-1"}));
}

TEST(ChartSongsModel, AChartsSongsTakeThePlaceOfThoseShown) {
    TChartSongsModel model;
    test::TModelSignals seen(model);
    EXPECT_EQ(Captions(model), QStringList({"索引", "音乐/歌手", "歌手/出处"}));
    model.Show({{1, "One", "A"}, {3, "Three", "C"}});
    model.Show({{1, "Uno", "X"}});
    model.Show({});
    EXPECT_EQ(seen.Take(), Seen({"insert 0-1", "remove 0-1", "insert 0-0", "remove 0-0"}));
    model.Show({{1, "One", "A"}, {3, "Three", "C"}});
    EXPECT_EQ(model.index(1, 0).data().toString(), "3") << "the song's place on the chart";
    EXPECT_EQ(model.index(1, 1).data().toString(), "Three");
    EXPECT_EQ(model.index(1, 2).data().toString(), "C");
    EXPECT_EQ(model.index(0, 0).data(controls::kRowImageRole), model.index(1, 0).data(controls::kRowImageRole));
}

download::TDownloadRow Download(std::uint32_t key, const std::string& name) {
    download::TDownloadRow row;
    row.Key = key;
    row.FileName = name;
    return row;
}

TEST(DownloadModel, OnlyTheRowsThatChangedReachTheView) {
    TDownloadModel model;
    test::TModelSignals seen(model);
    EXPECT_EQ(Captions(model), QStringList({"状态", "文件名", "进度", "大小(字节)", "平均速度", "用时"}));
    EXPECT_EQ(CentredColumns(model), QStringList({"进度", "大小(字节)", "平均速度", "用时"}));

    std::vector<download::TDownloadRow> rows = {Download(10, "a.mp3"), Download(11, "b.mp3"), Download(12, "c.mp3")};
    model.Update(rows);
    EXPECT_EQ(seen.Take(), Seen({"insert 0-0", "insert 1-1", "insert 2-2"}));
    model.Update(rows);
    EXPECT_EQ(seen.Take(), Seen({})) << "nothing changed";

    rows[1].Image = download::diDownloading;
    rows[1].Progress = "42.17 %";
    model.Update(rows);
    EXPECT_EQ(seen.Take(), Seen({"change 1-1 0-5"}));
    EXPECT_EQ(model.index(1, 2).data().toString(), "42.17 %");
    EXPECT_EQ(model.index(1, 0).data(controls::kRowImageRole).toInt(), download::diDownloading);

    rows.erase(rows.begin()); // the first song was saved
    rows.push_back(Download(13, "d.mp3"));
    model.Update(rows);
    EXPECT_EQ(seen.Take(), Seen({"remove 0-0", "insert 2-2"}));
    rows.erase(rows.begin(), rows.begin() + 2);
    model.Update(rows);
    EXPECT_EQ(seen.Take(), Seen({"remove 0-1"}));
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.Key(0), 13u);
    EXPECT_EQ(model.index(0, 1).data().toString(), "d.mp3");
}

} // namespace
} // namespace zv2::app
