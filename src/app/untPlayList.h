#pragma once
// The playlist: the user's list of songs and the playback order. Each row is
// one file with its position number (1..n from the top after every removal)
// and its status (0 normal, 1 playing, 2 failed). `LastPlayed` is the row
// index of the last played entry and follows that song when rows move or
// disappear. The selection lives here too, so that every menu command is a
// plain operation on this class; the window copies it to and from its list.
// "The selected row" is the first selected row from the top, or none (-1).
// The one view of the list is told of every change around it, row ranges
// only (see IPlayListObserver), so that it never re-reads rows that stayed.
// Main thread only.

#include "app/untDialogs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zv2::app {

enum TPlayStatus : int { psNormal = 0, psPlaying = 1, psFailed = 2 };

// A row as TPlayList::Row() shows it, valid until the list changes.
struct TPlayListRow {
    int Number; // position number shown in the "索引" column
    const std::string& Path;
    int Status;
    bool Selected;
};

// The file operations the playlist performs, behind an interface so that tests can make them fail.
class IFileOperations {
public:
    virtual ~IFileOperations() = default;
    // 0 when the file was deleted, otherwise the system error number.
    virtual int DeleteFile(const std::string& path) = 0;
    // True when the file `from` now has the name `to`. An existing `to` is never replaced.
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
};

// The real file system.
class TSystemFileOperations final : public IFileOperations {
public:
    int DeleteFile(const std::string& path) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
};

// What the view of a playlist is told. Rows are indexes; "first..last" is an
// inclusive range. Removals and insertions come as a pair, the first before
// the rows change and the second after; the other notices come after.
class IPlayListObserver {
public:
    virtual ~IPlayListObserver() = default;
    virtual void RowsInserting(std::size_t first, std::size_t last) = 0;
    virtual void RowsInserted() = 0;
    virtual void RowsRemoving(std::size_t first, std::size_t last) = 0;
    virtual void RowsRemoved() = 0;
    // Number, path or status of the rows changed.
    virtual void RowsChanged(std::size_t first, std::size_t last) = 0;
    // The list's own commands (move, jump, select all) changed the selection
    // of rows within the range. SetSelected and ClearSelection, by which the
    // view hands the user's selection in, do not say so.
    virtual void SelectionChanged(std::size_t first, std::size_t last) = 0;
};

class TPlayList {
public:
    // The view to tell of changes, or null. Not owned.
    void SetObserver(IPlayListObserver* observer) { Observer_ = observer; }

    // Adds a row at the end: number = the new row count, status normal, not
    // selected. No duplicate test. A path holding a line break is refused
    // (false): the settings file keeps one path per line.
    bool Append(const std::string& path);
    // Appends, as one insertion, the paths that can be rows, in order; returns the refused ones.
    std::vector<std::string> AppendAll(std::vector<std::string> paths);

    std::size_t Count() const { return Paths_.size(); }
    // Changes whenever a path is added, removed, moved or renamed: the paths
    // are those of an earlier moment exactly when the value is that moment's.
    std::uint64_t PathsVersion() const { return PathsVersion_; }
    TPlayListRow Row(std::size_t index) const;
    // The rows' paths, in order.
    const std::vector<std::string>& Paths() const { return Paths_; }

    void SetStatus(std::size_t index, TPlayStatus status);
    // Deletes one row (a file that failed to play, a file deleted from disk), then RenumberPlayList.
    void RemoveRow(std::size_t index);
    // Numbers the rows 1..n; `LastPlayed` becomes the index of a playing row
    // when there is one and is kept otherwise.
    void RenumberPlayList();

    // Selection.
    int SelectedRow() const;
    void SetSelected(std::size_t index, bool selected) { States_.at(index).Selected = selected; }
    void ClearSelection();
    void SelectAll();

    // Menu commands. Each returns true when it changed the list or its selection.
    // Removes every selected row (nothing is deleted from disk), then RenumberPlayList.
    bool RemoveSelected();
    // Moves the selected row (only that one) up or down by swapping path and
    // status with its neighbour; the selection moves with it and `LastPlayed`
    // follows the last played song. Position numbers stay.
    bool MoveUp();
    bool MoveDown();
    // Gives the file of row `index` the name `newName` + its old extension, in
    // its folder. A name holding "/" (or a zero byte) would leave the folder or
    // cut the name, and one holding a line break could not be a row, so such a
    // name is refused like a failed rename: nothing changes.
    bool RenameRow(std::size_t index, const std::string& newName, IFileOperations& files);
    // The jump by initial letter: from the row after the selected row (or the
    // first row), finds the first row whose file name has the pinyin initial
    // `key` ('A'..'Z', or ' ' for a name that does not start with a level-1
    // Chinese character), deselects the selected row and selects that one.
    // No wrap. Returns the row found, or -1.
    int JumpByInitial(char key);

    std::int32_t LastPlayed = 0;

private:
    bool MoveSelectedBy(int offset);
    void RemoveRows(std::size_t first, std::size_t last);
    void Changed(std::size_t first, std::size_t last);
    void SelectionChanged(std::size_t first, std::size_t last);

    struct TRowState {
        int Number;
        int Status;
        bool Selected;
    };
    // The rows, as two lists of one length: the paths apart, so that a list
    // of paths can become the rows' paths as it stands.
    std::vector<std::string> Paths_;
    std::vector<TRowState> States_;
    IPlayListObserver* Observer_ = nullptr;
    std::uint64_t PathsVersion_ = 0;
};

// A song's title, wherever the program shows or looks it up (the caption
// "正在播放：...", the player panel, the desktop's media panels, the lyric
// file's name) and the rename's preset: its file name without the last
// extension ("Mr. Blue Sky.mp3" is "Mr. Blue Sky", "song" is "song").
std::string TitleOf(const std::string& path);

// Whether a path can be a playlist row: one without a line break.
bool IsPlayListPath(const std::string& path);

// Appends the dropped paths that name music files, in order; folders and
// other files are skipped silently. Paths that cannot be rows are named in
// one error message. Returns the number appended.
std::size_t AddDroppedFiles(TPlayList& list, const std::vector<std::string>& paths,
                            const std::function<bool(const std::string&)>& isFolder, IDialogs& dialogs);

// "添加音乐[&A]": the multi-select file dialog for "*.mp3"; appends the chosen
// files in the dialog's order, refusing like AddDroppedFiles. Returns the
// number appended.
std::size_t AddFilesByDialog(TPlayList& list, IDialogs& dialogs);

// "重命名...[&R]": asks for a new name (preset: the old name without
// extension) and renames the selected row's file. Failures are not reported.
bool RenameSelectedByDialog(TPlayList& list, IDialogs& dialogs, IFileOperations& files);

// "物理删除[&K]": after a Yes to the warning, deletes the selected row's file
// and its row; a failure shows the system error number and keeps the row.
bool DeleteSelectedFromDisk(TPlayList& list, IDialogs& dialogs, IFileOperations& files);

// The enabled and checked states of the items of the playlist's pop-up menu
// that change, computed each time it opens. "播放模式[&M]", "添加音乐[&A]" and
// "全部选中[&S]" are always enabled.
struct TPlayListMenuState {
    bool Play = false;              // "播放音乐[&P]"
    bool MoveUp = false;            // "向上移动[&U]"
    bool MoveDown = false;          // "向下移动[&F]"
    bool Rename = false;            // "重命名...[&R]"
    bool CopyTo = false;            // "复制到...[&C]"
    bool Delete = false;            // "移除音乐[&D]"
    bool Remove = false;            // "物理删除[&K]"
    bool LoopAllChecked = false;    // "全部循环[&A]"
    bool SingleLoopChecked = false; // "单曲循环[&S]"
};
// `deleteDisabled` is the state of "禁用物理删除功能"; `loopMode` 0 loop all, 1 single loop.
TPlayListMenuState PlayListMenuState(bool rowSelected, bool deleteDisabled, std::uint8_t loopMode);

} // namespace zv2::app
