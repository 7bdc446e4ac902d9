#include "app/untPublic.h"

#include "FakeDialogs.h"
#include "TempDir.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace zv2;
using test::ReadFile;

TEST(CopyMenu, CaptionsShowLabelSizeAndMountPoint) {
    const struct {
        std::uint64_t Bytes;
        std::string Label;
        std::string MountPoint;
        std::string Caption;
    } cases[] = {
        {2000000000, "MUSIC", "/media/usb", "MUSIC(1.86 G) [/media/usb]"},
        {512000000, "", "/media/x", "可移动磁盘(488 M) [/media/x] "},
        {1000000, "", "/media/x", "可移动磁盘(976 K) [/media/x] "},
        {1073741824, "", "/media/x", "可移动磁盘(1024 M) [/media/x] "},
        {1048576, "", "/media/x", "可移动磁盘(1024 K) [/media/x] "},
        {1073741825, "STICK", "/run/media/u/STICK", "STICK(1.00 G) [/run/media/u/STICK]"},
        {1048577, "A [B]", "/media/a [b]", "A [B](1 M) [/media/a [b]]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::CopyItemCaption({c.MountPoint, c.Label, c.Bytes}), c.Caption);
}

namespace {

struct TCopy {
    TCopy() {
        std::filesystem::create_directory(Disk());
        std::ofstream(Song()) << "new song";
    }
    std::string Song() const { return Dir.File("a.mp3"); }
    std::string Disk() const { return Dir.File("disk"); }
    std::string Target() const { return Disk() + "/a.mp3"; }
    // Copies with the busy cursor's calls recorded as the number of dialogs shown by then.
    bool Copy(const std::string& source) {
        return app::CopyFileToVolume(source, Disk(), Dialogs, [this](bool busy) {
            Busy.push_back({busy, Dialogs.Shown.size()});
        });
    }

    test::TTempDir Dir;
    test::TFakeDialogs Dialogs;
    std::vector<std::pair<bool, std::size_t>> Busy;
};

} // namespace

TEST(CopyMenu, ASongIsCopiedToTheVolumesRootUnderItsNameWithABusyCursorAndNoQuestion) {
    TCopy c;
    EXPECT_TRUE(c.Copy(c.Song()));
    EXPECT_EQ(ReadFile(c.Target()), "new song");
    EXPECT_TRUE(c.Dialogs.Shown.empty());
    EXPECT_EQ(c.Busy, (std::vector<std::pair<bool, std::size_t>>{{true, 0}, {false, 0}}));
}

TEST(CopyMenu, AnExistingFileIsReplacedOnlyAfterYes) {
    TCopy c;
    std::ofstream(c.Target()) << "old song";
    c.Dialogs.Answers = {false, true};
    EXPECT_FALSE(c.Copy(c.Song()));
    EXPECT_EQ(ReadFile(c.Target()), "old song");
    ASSERT_EQ(c.Dialogs.Shown.size(), 1u);
    EXPECT_EQ(c.Dialogs.Shown[0].Kind, "question");
    EXPECT_EQ(c.Dialogs.Shown[0].Text, "目标文件" + c.Target() + "已经存在，是否覆盖？");
    EXPECT_EQ(c.Dialogs.Shown[0].Caption, "覆盖确认");
    EXPECT_TRUE(c.Busy.empty());

    EXPECT_TRUE(c.Copy(c.Song()));
    EXPECT_EQ(ReadFile(c.Target()), "new song");
    // The cursor is busy for the copy, not while the question waits.
    EXPECT_EQ(c.Busy, (std::vector<std::pair<bool, std::size_t>>{{true, 2}, {false, 2}}));
}

TEST(CopyMenu, AFailedCopyShowsTheErrorNumberAndLeavesTheTargetAsItWas) {
    TCopy c;
    std::ofstream(c.Target()) << "old song";
    c.Dialogs.Answers = {true};
    EXPECT_FALSE(c.Copy(c.Dir.File("missing/a.mp3")));
    EXPECT_EQ(ReadFile(c.Target()), "old song");
    ASSERT_EQ(c.Dialogs.Shown.size(), 2u);
    EXPECT_EQ(c.Dialogs.Shown[1].Kind, "info");
    EXPECT_EQ(c.Dialogs.Shown[1].Text, "复制失败：" + std::to_string(ENOENT));
    EXPECT_EQ(c.Dialogs.Shown[1].Caption, "错误");
}

TEST(CopyMenu, ASongWithTheLongestNameTheDiskAllowsIsCopiedWholeAndLeavesNothingElse) {
    TCopy c;
    const std::string name = std::string(251, 'a') + ".mp3"; // 255 bytes
    std::ofstream(c.Dir.File(name)) << "long song";
    EXPECT_TRUE(c.Copy(c.Dir.File(name)));
    EXPECT_TRUE(c.Dialogs.Shown.empty());
    EXPECT_EQ(ReadFile(c.Disk() + "/" + name), "long song");
    std::vector<std::string> onDisk;
    for (const auto& entry : std::filesystem::directory_iterator(c.Disk()))
        onDisk.push_back(entry.path().filename().string());
    EXPECT_EQ(onDisk, std::vector<std::string>{name});
}

TEST(FolderChoice, TheDialogPreselectsAnExistingFolderAndCancelKeepsTheOld) {
    test::TTempDir dir;
    test::TFakeDialogs dialogs;
    dialogs.Folders = {std::nullopt, dir.File("chosen"), std::nullopt};
    std::string folder = dir.Path();
    EXPECT_FALSE(app::BrowseForFolder(dialogs, "选择保存位置", "", folder));
    EXPECT_EQ(folder, dir.Path());
    EXPECT_TRUE(app::BrowseForFolder(dialogs, "选择保存位置", "", folder));
    EXPECT_EQ(folder, dir.File("chosen"));
    // "chosen" does not exist: nothing is preselected, and cancel still keeps the text.
    EXPECT_FALSE(app::BrowseForFolder(dialogs, "选择保存位置", "/media", folder));
    EXPECT_EQ(folder, dir.File("chosen"));
    ASSERT_EQ(dialogs.Shown.size(), 3u);
    EXPECT_EQ(dialogs.Shown[0].Caption, "选择保存位置");
    EXPECT_EQ(dialogs.Shown[0].Text, "|" + dir.Path());
    EXPECT_EQ(dialogs.Shown[1].Text, "|" + dir.Path());
    EXPECT_EQ(dialogs.Shown[2].Text, "/media|");
}
