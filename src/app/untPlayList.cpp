#include "app/untPlayList.h"

#include "app/untPinyin.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::app {

using platform::AsciiLower;

namespace {

// The folder (up to and including the last "/"), the name without extension,
// and the extension (from the last "." of the name, with its dot; may be empty).
struct TPathParts {
    std::string Folder, Name, Extension;
};

TPathParts SplitPath(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    TPathParts parts;
    parts.Folder = path.substr(0, nameStart);
    const std::string name = path.substr(nameStart);
    const auto dot = name.rfind('.');
    parts.Name = name.substr(0, dot);
    if (dot != std::string::npos)
        parts.Extension = name.substr(dot);
    return parts;
}

std::string FileName(const std::string& path) {
    const auto parts = SplitPath(path);
    return parts.Name + parts.Extension;
}

bool IsDroppableMusicFile(const std::string& path) {
    static constexpr std::array<std::string_view, 5> kExtensions{".mp3", ".wav", ".rm", ".wma", ".mid"};
    const std::string ext = AsciiLower(SplitPath(path).Extension);
    return std::find(kExtensions.begin(), kExtensions.end(), ext) != kExtensions.end();
}

} // namespace

std::string TitleOf(const std::string& path) {
    return SplitPath(path).Name;
}

int TSystemFileOperations::DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool TSystemFileOperations::RenameFile(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: look first (a rename must
    // never overwrite another song).
    struct stat st {};
    return ::lstat(to.c_str(), &st) != 0 && errno == ENOENT && ::rename(from.c_str(), to.c_str()) == 0;
}

bool IsPlayListPath(const std::string& path) {
    // Two scans for one byte each: find_first_of would test every byte against both.
    return path.find('\n') == std::string::npos && path.find('\r') == std::string::npos;
}

bool TPlayList::Append(const std::string& path) {
    return AppendAll({path}).empty();
}

std::vector<std::string> TPlayList::AppendAll(std::vector<std::string> paths) {
    std::vector<std::string> refused;
    if (!std::all_of(paths.begin(), paths.end(), IsPlayListPath)) {
        std::vector<std::string> taken;
        for (auto& path : paths)
            (IsPlayListPath(path) ? taken : refused).push_back(std::move(path));
        paths = std::move(taken);
    }
    if (paths.empty())
        return refused;
    const std::size_t first = Paths_.size();
    if (Observer_)
        Observer_->RowsInserting(first, first + paths.size() - 1);
    if (Paths_.empty())
        Paths_ = std::move(paths); // the settings' whole list at the start, taken as it is
    else
        Paths_.insert(Paths_.end(), std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
    States_.reserve(Paths_.size());
    for (std::size_t i = first; i < Paths_.size(); ++i)
        States_.push_back({static_cast<int>(i) + 1, psNormal, false});
    ++PathsVersion_;
    if (Observer_)
        Observer_->RowsInserted();
    return refused;
}

TPlayListRow TPlayList::Row(std::size_t index) const {
    const TRowState& state = States_.at(index);
    return {state.Number, Paths_[index], state.Status, state.Selected};
}

void TPlayList::SetStatus(std::size_t index, TPlayStatus status) {
    if (States_.at(index).Status == status)
        return;
    States_[index].Status = status;
    Changed(index, index);
}

void TPlayList::RemoveRow(std::size_t index) {
    RemoveRows(index, index);
    RenumberPlayList();
}

void TPlayList::RemoveRows(std::size_t first, std::size_t last) {
    if (Observer_)
        Observer_->RowsRemoving(first, last);
    Paths_.erase(Paths_.begin() + static_cast<std::ptrdiff_t>(first),
                 Paths_.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    States_.erase(States_.begin() + static_cast<std::ptrdiff_t>(first),
                  States_.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    ++PathsVersion_;
    if (Observer_)
        Observer_->RowsRemoved();
}

void TPlayList::RenumberPlayList() {
    std::size_t first = States_.size(), last = 0;
    for (std::size_t i = 0; i < States_.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        if (States_[i].Number != number) {
            States_[i].Number = number;
            first = std::min(first, i);
            last = i;
        }
        if (States_[i].Status == psPlaying)
            LastPlayed = static_cast<std::int32_t>(i);
    }
    if (first <= last)
        Changed(first, last);
}

void TPlayList::Changed(std::size_t first, std::size_t last) {
    if (Observer_)
        Observer_->RowsChanged(first, last);
}

void TPlayList::SelectionChanged(std::size_t first, std::size_t last) {
    if (Observer_)
        Observer_->SelectionChanged(first, last);
}

int TPlayList::SelectedRow() const {
    const auto it = std::find_if(States_.begin(), States_.end(), [](const TRowState& r) { return r.Selected; });
    return it == States_.end() ? -1 : static_cast<int>(it - States_.begin());
}

void TPlayList::ClearSelection() {
    for (auto& row : States_)
        row.Selected = false;
}

void TPlayList::SelectAll() {
    for (auto& row : States_)
        row.Selected = true;
    if (!States_.empty())
        SelectionChanged(0, States_.size() - 1);
}

bool TPlayList::RemoveSelected() {
    if (SelectedRow() < 0)
        return false;
    // Each run of selected rows goes at once, from the last run to the first.
    for (std::size_t end = States_.size(); end > 0;) {
        if (!States_[end - 1].Selected) {
            --end;
            continue;
        }
        std::size_t first = end - 1;
        while (first > 0 && States_[first - 1].Selected)
            --first;
        RemoveRows(first, end - 1);
        end = first;
    }
    RenumberPlayList();
    return true;
}

bool TPlayList::MoveUp() {
    return MoveSelectedBy(-1);
}

bool TPlayList::MoveDown() {
    return MoveSelectedBy(1);
}

bool TPlayList::MoveSelectedBy(int offset) {
    const int from = SelectedRow();
    const int to = from + offset;
    if (from < 0 || to < 0 || to >= static_cast<int>(States_.size()))
        return false;
    if (from == LastPlayed)
        LastPlayed = to;
    else if (to == LastPlayed)
        LastPlayed = from;
    std::swap(Paths_[static_cast<std::size_t>(from)], Paths_[static_cast<std::size_t>(to)]);
    auto& a = States_[static_cast<std::size_t>(from)];
    auto& b = States_[static_cast<std::size_t>(to)];
    std::swap(a.Status, b.Status);
    ++PathsVersion_;
    a.Selected = false;
    b.Selected = true;
    const auto [low, high] = std::minmax(from, to);
    Changed(static_cast<std::size_t>(low), static_cast<std::size_t>(high));
    SelectionChanged(static_cast<std::size_t>(low), static_cast<std::size_t>(high));
    return true;
}

bool TPlayList::RenameRow(std::size_t index, const std::string& newName, IFileOperations& files) {
    if (newName.find_first_of(std::string_view("/\0", 2)) != std::string::npos || !IsPlayListPath(newName))
        return false;
    std::string& path = Paths_.at(index);
    const auto parts = SplitPath(path);
    const std::string newPath = parts.Folder + newName + parts.Extension;
    if (!files.RenameFile(path, newPath))
        return false;
    path = newPath;
    ++PathsVersion_;
    Changed(index, index);
    return true;
}

int TPlayList::JumpByInitial(char key) {
    const int selected = SelectedRow();
    for (std::size_t i = static_cast<std::size_t>(selected + 1); i < Paths_.size(); ++i) {
        if (PinyinInitialOfUtf8(FileName(Paths_[i])) != key)
            continue;
        if (selected >= 0)
            States_[static_cast<std::size_t>(selected)].Selected = false;
        States_[i].Selected = true;
        SelectionChanged(selected >= 0 ? static_cast<std::size_t>(selected) : i, i);
        return static_cast<int>(i);
    }
    return -1;
}

namespace {

// Appends `paths` in order; those that cannot be rows are named in one message.
std::size_t AppendPaths(TPlayList& list, const std::vector<std::string>& paths, IDialogs& dialogs) {
    const std::vector<std::string> refused = list.AppendAll(paths);
    if (!refused.empty()) {
        std::string names;
        for (std::string shown : refused) {
            for (char& c : shown) {
                if (c == '\r' || c == '\n')
                    c = '?';
            }
            names += "\n" + shown;
        }
        dialogs.ShowError("文件路径中含有换行符，无法加入播放列表：" + names, "错误");
    }
    return paths.size() - refused.size();
}

} // namespace

std::size_t AddDroppedFiles(TPlayList& list, const std::vector<std::string>& paths,
                            const std::function<bool(const std::string&)>& isFolder, IDialogs& dialogs) {
    std::vector<std::string> music;
    for (const auto& path : paths) {
        if (IsDroppableMusicFile(path) && !isFolder(path))
            music.push_back(path);
    }
    return AppendPaths(list, music, dialogs);
}

std::size_t AddFilesByDialog(TPlayList& list, IDialogs& dialogs) {
    return AppendPaths(list, dialogs.OpenFiles("音乐文件", "*.mp3"), dialogs);
}

bool RenameSelectedByDialog(TPlayList& list, IDialogs& dialogs, IFileOperations& files) {
    const int row = list.SelectedRow();
    if (row < 0)
        return false;
    const auto index = static_cast<std::size_t>(row);
    const auto name = dialogs.InputText("请输入新的文件名", "新文件名", TitleOf(list.Row(index).Path));
    return name && list.RenameRow(index, *name, files);
}

bool DeleteSelectedFromDisk(TPlayList& list, IDialogs& dialogs, IFileOperations& files) {
    const int row = list.SelectedRow();
    if (row < 0 || !dialogs.AskYesNo("警告：物理删除将不可恢复，确认删除？", "确认删除"))
        return false;
    const auto index = static_cast<std::size_t>(row);
    if (const int error = files.DeleteFile(list.Row(index).Path); error != 0) {
        dialogs.ShowError("删除错误：" + std::to_string(error), "错误");
        return false;
    }
    list.RemoveRow(index);
    return true;
}

TPlayListMenuState PlayListMenuState(bool rowSelected, bool deleteDisabled, std::uint8_t loopMode) {
    TPlayListMenuState s;
    s.Play = s.MoveUp = s.MoveDown = s.Rename = s.CopyTo = s.Delete = rowSelected;
    s.Remove = !deleteDisabled;
    s.LoopAllChecked = loopMode == 0;
    s.SingleLoopChecked = loopMode == 1;
    return s;
}

} // namespace zv2::app
