#include "app/untListModels.h"

#include "app/untWindowTools.h"
#include "controls/untOwnerDraw.h"

#include <unordered_set>

namespace zv2::app {

namespace {

constexpr int kChartSongImage = 3; // of "imglstPlayList"

} // namespace

TReportModel::TReportModel(std::vector<TColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), Columns_(std::move(columns)) {}

int TReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns_.size());
}

QVariant TReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    const TColumn& column = Columns_[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(column.Caption);
    if (role == Qt::TextAlignmentRole)
        return column.Centred ? QVariant(int(Qt::AlignCenter)) : QVariant();
    return {};
}

QVariant TReportModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole)
        return Text(index.row(), index.column());
    if (role == controls::kRowImageRole)
        return Image(index.row());
    return {};
}

void TReportModel::RowsChanged(int first, int last) {
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

TSearchListModel::TSearchListModel(QObject* parent)
    : TReportModel({{"索引"}, {"歌曲名"}, {"歌手", true}, {"专辑"}, {"格式"}, {"速度"}, {"大小"}, {"下载地址"}},
                   parent) {}

int TSearchListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows_.size());
}

QString TSearchListModel::Text(int row, int column) const {
    const catalogue::TSearchRow& song = Row(row);
    switch (column) {
    case ColIndex:
        return QString::number(row + 1);
    case ColName:
        return Q(song.SongName);
    case ColArtist:
        return Q(song.Artist);
    case ColAlbum:
        return Q(song.Album);
    case ColFormat:
        return Q(song.Format);
    case ColSpeed:
        return QString::number(song.Speed);
    case ColSize:
        return Q(song.Size);
    case ColLink:
        return Q(song.SongLink);
    default:
        return {};
    }
}

int TSearchListModel::Image(int row) const {
    return Rows_.at(static_cast<std::size_t>(row)).Image;
}

void TSearchListModel::Append(const catalogue::TSearchRow& row) {
    const int at = rowCount();
    beginInsertRows({}, at, at);
    Rows_.push_back({row, 0});
    endInsertRows();
}

void TSearchListModel::Clear() {
    if (Rows_.empty())
        return;
    beginRemoveRows({}, 0, rowCount() - 1);
    Rows_.clear();
    endRemoveRows();
}

void TSearchListModel::SetImage(int row, int image) {
    Rows_.at(static_cast<std::size_t>(row)).Image = image;
    RowsChanged(row, row);
}

TChartSongsModel::TChartSongsModel(QObject* parent) : TReportModel({{"索引"}, {"音乐/歌手"}, {"歌手/出处"}}, parent) {}

int TChartSongsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Rows_.size());
}

QString TChartSongsModel::Text(int row, int column) const {
    const catalogue::TChartSongRow& song = Row(row);
    switch (column) {
    case ColIndex:
        return QString::number(song.Index);
    case ColSong:
        return Q(song.Name);
    case ColArtist:
        return Q(song.Artist);
    default:
        return {};
    }
}

int TChartSongsModel::Image(int) const {
    return kChartSongImage;
}

void TChartSongsModel::Show(std::vector<catalogue::TChartSongRow> rows) {
    if (!Rows_.empty()) {
        beginRemoveRows({}, 0, rowCount() - 1);
        Rows_.clear();
        endRemoveRows();
    }
    if (rows.empty())
        return;
    beginInsertRows({}, 0, static_cast<int>(rows.size()) - 1);
    Rows_ = std::move(rows);
    endInsertRows();
}

TDownloadModel::TDownloadModel(QObject* parent)
    : TReportModel({{"状态"}, {"文件名"}, {"进度", true}, {"大小(字节)", true}, {"平均速度", true}, {"用时", true}},
                   parent) {}

int TDownloadModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Shown_.size());
}

QString TDownloadModel::Text(int row, int column) const {
    const download::TDownloadRow& r = Shown_.at(static_cast<std::size_t>(row));
    switch (column) {
    case 1:
        return Q(r.FileName);
    case 2:
        return Q(r.Progress);
    case 3:
        return Q(r.SizeText);
    case 4:
        return Q(r.Speed);
    case 5:
        return Q(r.Elapsed);
    default:
        return {};
    }
}

int TDownloadModel::Image(int row) const {
    return Shown_.at(static_cast<std::size_t>(row)).Image;
}

void TDownloadModel::Update(const std::vector<download::TDownloadRow>& rows) {
    std::unordered_set<std::uint32_t> keys;
    for (const auto& row : rows)
        keys.insert(row.Key);
    // The list only appends and removes, so what stays keeps its order: after
    // the removals the rows shown are the list's rows less the new ones.
    for (int i = rowCount() - 1; i >= 0; --i) {
        if (keys.count(Shown_[static_cast<std::size_t>(i)].Key))
            continue;
        int first = i;
        while (first > 0 && !keys.count(Shown_[static_cast<std::size_t>(first - 1)].Key))
            --first;
        beginRemoveRows({}, first, i);
        Shown_.erase(Shown_.begin() + first, Shown_.begin() + i + 1);
        endRemoveRows();
        i = first;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        const int at = static_cast<int>(i);
        if (i < Shown_.size() && Shown_[i].Key == row.Key) {
            download::TDownloadRow& shown = Shown_[i];
            if (shown.Image != row.Image || shown.FileName != row.FileName || shown.Progress != row.Progress ||
                shown.SizeText != row.SizeText || shown.Speed != row.Speed || shown.Elapsed != row.Elapsed) {
                shown = row;
                RowsChanged(at, at);
            }
            continue;
        }
        beginInsertRows({}, at, at);
        Shown_.insert(Shown_.begin() + at, row);
        endInsertRows();
    }
    if (Shown_.size() > rows.size()) { // only if the list had moved rows
        beginRemoveRows({}, static_cast<int>(rows.size()), rowCount() - 1);
        Shown_.resize(rows.size());
        endRemoveRows();
    }
}

} // namespace zv2::app
