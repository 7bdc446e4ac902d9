#include "app/untPinyin.h"
#include "app/untPlayList.h"
#include "app/untSettings.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

#include "FakeDialogs.h"
#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace zv2::app {
namespace {

using test::TFakeDialogs;
using test::TTempDir;

// File operations that record what was asked and fail on request.
class TFakeFiles final : public IFileOperations {
public:
    int DeleteError = 0;
    bool RenameWorks = true;
    std::vector<std::string> Calls;

    int DeleteFile(const std::string& path) override {
        Calls.push_back("delete " + path);
        return DeleteError;
    }
    bool RenameFile(const std::string& from, const std::string& to) override {
        Calls.push_back("rename " + from + " -> " + to);
        return RenameWorks;
    }
};

TPlayList ListOf(std::initializer_list<const char*> paths) {
    TPlayList list;
    for (const char* path : paths)
        list.Append(path);
    return list;
}

std::vector<int> Numbers(const TPlayList& list) {
    std::vector<int> out;
    for (std::size_t i = 0; i < list.Count(); ++i)
        out.push_back(list.Row(i).Number);
    return out;
}

std::vector<std::size_t> Selected(const TPlayList& list) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < list.Count(); ++i)
        if (list.Row(i).Selected)
            out.push_back(i);
    return out;
}

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(PlayListRemove, RemovingRowsTwoAndFourRenumbersAndFollowsThePlayingRow) {
    auto list = ListOf({"/m/1.mp3", "/m/2.mp3", "/m/3.mp3", "/m/4.mp3", "/m/5.mp3"});
    list.SetStatus(4, psPlaying);
    list.LastPlayed = 4;
    list.SetSelected(1, true);
    list.SetSelected(3, true);

    EXPECT_TRUE(list.RemoveSelected());
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/1.mp3", "/m/3.mp3", "/m/5.mp3"}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.LastPlayed, 2);
    EXPECT_EQ(list.SelectedRow(), -1);
}

TEST(PlayListRemove, RemovingThePlayingRowKeepsLastPlayedAndNoSelectionRemovesNothing) {
    auto list = ListOf({"/m/1.mp3", "/m/2.mp3", "/m/3.mp3"});
    list.SetStatus(1, psPlaying);
    list.LastPlayed = 1;
    EXPECT_FALSE(list.RemoveSelected());
    list.SetSelected(1, true);
    EXPECT_TRUE(list.RemoveSelected());
    EXPECT_EQ(list.LastPlayed, 1);
    list.RemoveRow(0); // a failed entry that playback removes
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/3.mp3"}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{1}));
}

TEST(PlayListMove, ThePlayingSongKeepsItsStatusAndLastPlayedFollowsIt) {
    auto list = ListOf({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3"});
    list.SetStatus(2, psPlaying);
    list.LastPlayed = 2;

    list.SetSelected(2, true);
    EXPECT_TRUE(list.MoveUp());
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/a.mp3", "/m/c.mp3", "/m/b.mp3", "/m/d.mp3"}));
    EXPECT_EQ(list.Row(1).Status, psPlaying);
    EXPECT_EQ(list.Row(2).Status, psNormal);
    EXPECT_EQ(list.LastPlayed, 1);
    EXPECT_EQ(Selected(list), (std::vector<std::size_t>{1}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{1, 2, 3, 4}));

    // The row just below the playing one moves up: the playing song goes down by one.
    list.ClearSelection();
    list.SetSelected(2, true);
    EXPECT_TRUE(list.MoveUp());
    EXPECT_EQ(list.Row(2).Path, "/m/c.mp3");
    EXPECT_EQ(list.LastPlayed, 2);

    // Down: the row just above the playing one, then the playing one itself.
    list.ClearSelection();
    list.SetSelected(1, true);
    EXPECT_TRUE(list.MoveDown());
    EXPECT_EQ(list.LastPlayed, 1);
    EXPECT_TRUE(list.MoveDown());
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/a.mp3", "/m/c.mp3", "/m/d.mp3", "/m/b.mp3"}));
    EXPECT_EQ(list.LastPlayed, 1);
    EXPECT_EQ(Selected(list), (std::vector<std::size_t>{3}));
}

TEST(PlayListMove, FirstRowUpLastRowDownAndNoSelectionChangeNothing) {
    auto list = ListOf({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
    list.LastPlayed = 0;
    EXPECT_FALSE(list.MoveUp());
    EXPECT_FALSE(list.MoveDown());
    list.SetSelected(0, true);
    EXPECT_FALSE(list.MoveUp());
    list.ClearSelection();
    list.SetSelected(2, true);
    EXPECT_FALSE(list.MoveDown());
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"}));
    EXPECT_EQ(list.LastPlayed, 0);
    EXPECT_EQ(Selected(list), (std::vector<std::size_t>{2}));

    // Only the first selected row moves.
    list.SetSelected(0, true);
    EXPECT_TRUE(list.MoveDown());
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/b.mp3", "/m/a.mp3", "/m/c.mp3"}));
    EXPECT_EQ(Selected(list), (std::vector<std::size_t>{1, 2}));
}

TEST(PlayListAdd, DropsKeepMusicExtensionsInAnyCaseAndSkipFolders) {
    TPlayList list;
    const auto isFolder = [](const std::string& path) { return path == "/m/album.mp3"; };
    TFakeDialogs dialogs;
    EXPECT_EQ(AddDroppedFiles(list, {"/m/a.MP3", "/m/b.txt", "/m/c.Wma"}, isFolder, dialogs), 2u);
    EXPECT_EQ(AddDroppedFiles(list,
                              {"/m/album.mp3", "/m/d.wav", "/m/e.RM", "/m/f.mid", "/m/g", "/m.mp3/h", "/m/i.mp3.bak"},
                              isFolder, dialogs),
              3u);
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/a.MP3", "/m/c.Wma", "/m/d.wav", "/m/e.RM", "/m/f.mid"}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(dialogs.Shown.empty());
}

TEST(PlayListAdd, PathsWithALineBreakAreRefusedWithOneMessageAndBlanksAreKept) {
    TPlayList list;
    TFakeDialogs dialogs;
    dialogs.Files.push_back({"/m/a\n[ZV2Address]\nIP=10.0.0.9.mp3", " /m/lead.mp3", "/m/b\r.mp3", "/m/trail.mp3 "});
    EXPECT_EQ(AddFilesByDialog(list, dialogs), 2u);
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{" /m/lead.mp3", "/m/trail.mp3 "}));
    ASSERT_EQ(dialogs.Shown.size(), 2u);
    EXPECT_EQ(dialogs.Shown[1].Kind, "error");
    EXPECT_EQ(dialogs.Shown[1].Text,
              "文件路径中含有换行符，无法加入播放列表：\n/m/a?[ZV2Address]?IP=10.0.0.9.mp3\n/m/b?.mp3");

    EXPECT_EQ(AddDroppedFiles(
                  list, {"/m/c\n.mp3", "/m/d.mp3"}, [](const std::string&) { return false; }, dialogs),
              1u);
    EXPECT_EQ(dialogs.Shown.back().Kind, "error");
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_FALSE(list.Append("/m/e\n.mp3"));
    EXPECT_EQ(list.Count(), 3u);
}

TEST(PlayListAdd, TheDialogAsksForMp3FilesAndAppendsThemInOrder) {
    TPlayList list;
    TFakeDialogs dialogs;
    dialogs.Files.push_back({"/m/b.mp3", "/m/a.mp3"});
    EXPECT_EQ(AddFilesByDialog(list, dialogs), 2u);
    EXPECT_EQ(AddFilesByDialog(list, dialogs), 0u); // cancelled
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/m/b.mp3", "/m/a.mp3"}));
    ASSERT_EQ(dialogs.Shown.size(), 2u);
    EXPECT_EQ(dialogs.Shown[0].Text, "音乐文件|*.mp3");
}

TEST(PlayListTitle, IsTheFileNameWithoutItsLastExtension) {
    const std::pair<std::string, std::string> cases[] = {
        {"/m/Mr. Blue Sky.mp3", "Mr. Blue Sky"},
        {"/m/a.b.c.mp3", "a.b.c"},
        {"/m/song", "song"},
        {"/m.d/song", "song"},
        {"/m/小星星.mp3", "小星星"},
        {"song.MP3", "song"},
        {"/m/.mp3", ""},
    };
    for (const auto& [path, title] : cases)
        EXPECT_EQ(TitleOf(path), title) << path;
}

TEST(PlayListRename, RenamesOnDiskWithTheOldExtension) {
    TTempDir dir;
    Touch(dir.File("song.mp3"));
    auto list = ListOf({"/m/other.mp3"});
    list.Append(dir.File("song.mp3"));
    list.SetSelected(1, true);
    TSystemFileOperations files;
    TFakeDialogs dialogs;
    dialogs.Inputs = {"new", ""};

    EXPECT_TRUE(RenameSelectedByDialog(list, dialogs, files));
    EXPECT_EQ(dialogs.Shown.at(0).Caption, "请输入新的文件名");
    EXPECT_EQ(dialogs.Shown.at(0).Text, "新文件名|song");
    EXPECT_EQ(list.Row(1).Path, dir.File("new.mp3"));
    EXPECT_TRUE(platform::FileExists(dir.File("new.mp3")));

    EXPECT_TRUE(RenameSelectedByDialog(list, dialogs, files));
    EXPECT_EQ(list.Row(1).Path, dir.File(".mp3"));
    EXPECT_TRUE(platform::FileExists(dir.File(".mp3")));
    EXPECT_FALSE(RenameSelectedByDialog(list, dialogs, files)); // cancelled
    EXPECT_EQ(list.Row(1).Path, dir.File(".mp3"));
}

TEST(PlayListRename, RefusesOtherFoldersAndFailuresAndNeverReplacesAFile) {
    TTempDir dir;
    Touch(dir.File("a.mp3"));
    Touch(dir.File("b.mp3"));
    TPlayList list;
    list.Append(dir.File("a.mp3"));
    TSystemFileOperations files;

    EXPECT_FALSE(list.RenameRow(0, "../a", files));
    EXPECT_FALSE(list.RenameRow(0, std::string("x\0y", 3), files));
    EXPECT_FALSE(list.RenameRow(0, "x\ny", files));
    EXPECT_FALSE(list.RenameRow(0, "b", files)); // b.mp3 exists
    EXPECT_EQ(list.Row(0).Path, dir.File("a.mp3"));
    EXPECT_TRUE(platform::FileExists(dir.File("a.mp3")));
    EXPECT_TRUE(platform::FileExists(dir.File("b.mp3")));

    TFakeFiles failing;
    failing.RenameWorks = false;
    TFakeDialogs dialogs;
    dialogs.Inputs = {"c"};
    list.SetSelected(0, true);
    EXPECT_FALSE(RenameSelectedByDialog(list, dialogs, failing));
    EXPECT_EQ(failing.Calls, (std::vector<std::string>{"rename " + dir.File("a.mp3") + " -> " + dir.File("c.mp3")}));
    EXPECT_EQ(list.Row(0).Path, dir.File("a.mp3"));
    EXPECT_EQ(dialogs.Shown.size(), 1u); // the input only: a failure is not reported
}

TEST(PlayListDeleteFromDisk, AFailureReportsTheErrorNumberAndKeepsTheRow) {
    auto list = ListOf({"/m/a.mp3", "/m/b.mp3"});
    list.SetSelected(1, true);
    TFakeFiles files;
    files.DeleteError = 13;
    TFakeDialogs dialogs;
    dialogs.Answers = {false, true};

    EXPECT_FALSE(DeleteSelectedFromDisk(list, dialogs, files)); // answered No
    EXPECT_TRUE(files.Calls.empty());
    EXPECT_FALSE(DeleteSelectedFromDisk(list, dialogs, files));
    EXPECT_EQ(files.Calls, (std::vector<std::string>{"delete /m/b.mp3"}));
    EXPECT_EQ(list.Count(), 2u);
    ASSERT_EQ(dialogs.Shown.size(), 3u);
    EXPECT_EQ(dialogs.Shown[0].Text, "警告：物理删除将不可恢复，确认删除？");
    EXPECT_EQ(dialogs.Shown[0].Caption, "确认删除");
    EXPECT_EQ(dialogs.Shown[2].Kind, "error");
    EXPECT_EQ(dialogs.Shown[2].Text, "删除错误：13");
    EXPECT_EQ(dialogs.Shown[2].Caption, "错误");
    EXPECT_EQ(TSystemFileOperations().DeleteFile("/nonexistent/a.mp3"), ENOENT);
}

TEST(PinyinInitial, MapsLevelOneCodesByTheTableAndEverythingElseToSpace) {
    const auto code = [](unsigned c) { return std::string{static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)}; };
    EXPECT_EQ(PinyinInitial(code(0xB0A0)), ' ');
    EXPECT_EQ(PinyinInitial(code(0xB0A1)), 'A');
    EXPECT_EQ(PinyinInitial(code(0xB0C4)), 'A');
    EXPECT_EQ(PinyinInitial(code(0xB0C5)), 'B');
    EXPECT_EQ(PinyinInitial(code(0xBBF7)), 'J');
    EXPECT_EQ(PinyinInitial(code(0xCDDA)), 'W');
    EXPECT_EQ(PinyinInitial(code(0xD7F9)), 'Z');
    EXPECT_EQ(PinyinInitial(code(0xD7FA)), ' ');
    EXPECT_EQ(PinyinInitial(std::string(1, static_cast<char>(0xB0))), ' '); // 0xB000: one byte
    EXPECT_EQ(PinyinInitial(""), ' ');

    EXPECT_EQ(PinyinInitialOfUtf8("中文歌曲.mp3"), 'Z');
    EXPECT_EQ(PinyinInitialOfUtf8("啊.mp3"), 'A');
    EXPECT_EQ(PinyinInitialOfUtf8("Hello.mp3"), ' ');
    EXPECT_EQ(PinyinInitialOfUtf8("😀中.mp3"), ' '); // no GBK form
    EXPECT_EQ(PinyinInitialOfUtf8("中😀.mp3"), 'Z'); // only the first character counts
}

TEST(PlayListJump, FindsTheNextRowByInitialWithoutWrapping) {
    auto list = ListOf({"/m/中文歌曲.mp3", "/中文/Hello.mp3", "/m/周杰伦.mp3"});
    EXPECT_EQ(list.JumpByInitial('H'), -1);
    EXPECT_EQ(list.SelectedRow(), -1);

    EXPECT_EQ(list.JumpByInitial('Z'), 0);
    EXPECT_EQ(Selected(list), (std::vector<std::size_t>{0}));
    EXPECT_EQ(list.JumpByInitial(' '), 1); // the folder does not count
    EXPECT_EQ(Selected(list), (std::vector<std::size_t>{1}));
    EXPECT_EQ(list.JumpByInitial('Z'), 2);
    EXPECT_EQ(list.JumpByInitial('Z'), -1); // no wrap
    EXPECT_EQ(Selected(list), (std::vector<std::size_t>{2}));

    TPlayList empty;
    EXPECT_EQ(empty.JumpByInitial(' '), -1);
}

TEST(PlayListMenu, EnablingFollowsTheSelectionTheDeleteOptionAndTheLoopMode) {
    const auto atStart = PlayListMenuState(false, true, 0);
    EXPECT_FALSE(atStart.Play || atStart.MoveUp || atStart.MoveDown || atStart.Rename || atStart.CopyTo ||
                 atStart.Delete || atStart.Remove);
    EXPECT_TRUE(atStart.LoopAllChecked);
    EXPECT_FALSE(atStart.SingleLoopChecked);

    const auto selected = PlayListMenuState(true, false, 1);
    EXPECT_TRUE(selected.Play && selected.MoveUp && selected.MoveDown && selected.Rename && selected.CopyTo &&
                selected.Delete && selected.Remove);
    EXPECT_FALSE(selected.LoopAllChecked);
    EXPECT_TRUE(selected.SingleLoopChecked);
    EXPECT_FALSE(PlayListMenuState(true, true, 0).Remove);
}

TEST(PlayListSettings, SurvivesASaveAndARestartWithoutVanishedFiles) {
    TTempDir dir;
    TPlayList list;
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3", "4.mp3"}) {
        Touch(dir.File(name));
        list.Append(dir.File(name));
    }
    list.SetSelected(0, true);
    ASSERT_TRUE(list.MoveDown()); // the saved order is the list's order
    list.LastPlayed = 3;

    TSettingsData data;
    data.Music = list.Paths();
    data.LastPlayed = list.LastPlayed;
    platform::TIniFile ini(dir.File("Download.ini"));
    WriteSettings(ini, data);
    ASSERT_TRUE(ini.Save());
    std::remove(dir.File("3.mp3").c_str());

    const platform::TIniFile reread(dir.File("Download.ini"));
    const auto loaded = ReadSettings(reread, dir.Path() + "/", "127.0.0.1:9", platform::FileExists);
    TPlayList restored;
    for (const auto& path : loaded.Music)
        restored.Append(path);
    EXPECT_EQ(restored.Paths(), (std::vector<std::string>{dir.File("2.mp3"), dir.File("1.mp3"), dir.File("4.mp3")}));
    EXPECT_EQ(Numbers(restored), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loaded.LastPlayed, 3);
}

} // namespace
} // namespace zv2::app
