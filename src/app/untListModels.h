#pragma once
// The data behind the window's report views, as Qt table models: each view
// shows its model's rows through the row delegate of untOwnerDraw.h, and a
// change of the data tells the view exactly which rows it concerns (rows
// added, rows removed, one row's texts changed), so a view never rebuilds or
// re-reads rows that stayed as they were.
//
// TReportModel is what the four views share: their columns (caption and
// alignment, read by the header and the delegate), the row texts and the
// row's image index (controls::kRowImageRole on every column).
// TSearchListModel holds the search list's rows (lvMusicLst),
// TChartSongsModel a chart's songs (lvMusicList), TDownloadModel shows the
// rows of the download list (lvDownload) as it reports them.
// UI thread only.

#include "catalogue/untSearchThread.h"
#include "catalogue/untSitePages.h"
#include "download/untDownloadList.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

namespace zv2::app {

class TReportModel : public QAbstractTableModel {
public:
    struct TColumn {
        const char* Caption;
        bool Centred = false;
    };
    explicit TReportModel(std::vector<TColumn> columns, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The text of a cell and the image index of a row (rows are valid indexes).
    virtual QString Text(int row, int column) const = 0;
    virtual int Image(int row) const = 0;

protected:
    // Every column of rows first..last changed.
    void RowsChanged(int first, int last);

private:
    std::vector<TColumn> Columns_;
};

class TSearchListModel final : public TReportModel {
public:
    // The columns of lvMusicLst.
    enum TColumnIndex { ColIndex, ColName, ColArtist, ColAlbum, ColFormat, ColSpeed, ColSize, ColLink };
    explicit TSearchListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QString Text(int row, int column) const override;
    // 0: not yet taken for download, 1: taken.
    int Image(int row) const override;

    // A found song at the end; its "索引" is its position from 1.
    void Append(const catalogue::TSearchRow& row);
    void Clear();
    void SetImage(int row, int image);
    const catalogue::TSearchRow& Row(int row) const { return Rows_.at(static_cast<std::size_t>(row)).Song; }

private:
    struct TRow {
        catalogue::TSearchRow Song;
        int Image = 0;
    };
    std::vector<TRow> Rows_;
};

class TChartSongsModel final : public TReportModel {
public:
    // The columns of lvMusicList.
    enum TColumnIndex { ColIndex, ColSong, ColArtist };
    explicit TChartSongsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QString Text(int row, int column) const override;
    int Image(int row) const override; // a chart song's image of "imglstPlayList"

    // The songs of the chart chosen last, in place of the ones shown.
    void Show(std::vector<catalogue::TChartSongRow> rows);
    const catalogue::TChartSongRow& Row(int row) const { return Rows_.at(static_cast<std::size_t>(row)); }

private:
    std::vector<catalogue::TChartSongRow> Rows_;
};

class TDownloadModel final : public TReportModel {
public:
    explicit TDownloadModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QString Text(int row, int column) const override;
    int Image(int row) const override;
    std::uint32_t Key(int row) const { return Shown_.at(static_cast<std::size_t>(row)).Key; }

    // Shows `rows`, the download list's rows after a change (its
    // OnRowsChanged). Rows are matched by key: those gone are removed, those
    // new inserted, and a row whose image or texts differ is reported as
    // changed; the others are left alone.
    void Update(const std::vector<download::TDownloadRow>& rows);

private:
    std::vector<download::TDownloadRow> Shown_; // what the view has been told of
};

} // namespace zv2::app
