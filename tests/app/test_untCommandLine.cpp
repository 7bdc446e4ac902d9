#include "app/untCommandLine.h"

#include <gtest/gtest.h>

using zv2::app::FileUri;
using zv2::app::LocalPathOfUri;
using zv2::app::ParseCommandLine;

TEST(CommandLine, FilesBecomeAbsolutePathsInOrderAndOptionsAreNoFiles) {
    const struct {
        std::vector<std::string> Args;
        std::string Folder;
        bool Help;
        std::vector<std::string> Files;
    } cases[] = {
        {{}, "/home/u", false, {}},
        {{"/m/a.mp3", "b.mp3", "sub/c d.mp3"}, "/home/u", false, {"/m/a.mp3", "/home/u/b.mp3", "/home/u/sub/c d.mp3"}},
        {{"b.mp3", "file:c.mp3"}, "/", false, {"/b.mp3", "/file:c.mp3"}},
        {{"b.mp3", "/m/a.mp3"}, "", false, {"/m/a.mp3"}}, // no working folder: no relative paths
        {{"--help"}, "/", true, {}},
        {{"-h", "/m/a.mp3"}, "/", true, {"/m/a.mp3"}},
        {{"--x", "/m/a.mp3", ""}, "/", false, {"/m/a.mp3"}},
        {{"--", "-h", "--", "-a.mp3"}, "/w", false, {"/w/-h", "/w/--", "/w/-a.mp3"}},
        {{"file:///m/a%20b.mp3", "FILE://localhost/m/%E6%AD%8C.mp3", "http://host/x.mp3", "file://other/x.mp3"},
         "/",
         false,
         {"/m/a b.mp3", "/m/\xE6\xAD\x8C.mp3"}},
    };
    for (const auto& c : cases) {
        const auto line = ParseCommandLine(c.Args, c.Folder);
        EXPECT_EQ(line.Help, c.Help);
        EXPECT_EQ(line.Files, c.Files);
    }
}

TEST(CommandLine, QtsOptionsGoToQtWithTheirValuesAndNeverBecomeFiles) {
    const struct {
        std::vector<std::string> Args;
        std::vector<std::string> Qt;
        std::vector<std::string> Files;
    } cases[] = {
        {{"-style", "fusion", "a.mp3"}, {"-style", "fusion"}, {"/w/a.mp3"}},
        {{"--style", "fusion", "a.mp3"}, {"--style", "fusion"}, {"/w/a.mp3"}},
        {{"-style=fusion", "a.mp3"}, {"-style=fusion"}, {"/w/a.mp3"}},
        {{"-platform", "offscreen", "-display", ":1", "a.mp3"},
         {"-platform", "offscreen", "-display", ":1"},
         {"/w/a.mp3"}},
        {{"-geometry", "548x346+0+0", "-qwindowgeometry", "10x10", "b.mp3"},
         {"-geometry", "548x346+0+0", "-qwindowgeometry", "10x10"},
         {"/w/b.mp3"}},
        {{"-stylesheet", "a.qss", "-session", "id1", "-platformtheme", "gtk3", "-plugin", "evdevtouch", "c.mp3"},
         {"-stylesheet", "a.qss", "-session", "id1", "-platformtheme", "gtk3", "-plugin", "evdevtouch"},
         {"/w/c.mp3"}},
        {{"-qwindowtitle", "t", "-qwindowicon", "i.png", "-title", "t", "-icon", "i", "-name", "n", "d.mp3"},
         {"-qwindowtitle", "t", "-qwindowicon", "i.png", "-title", "t", "-icon", "i", "-name", "n"},
         {"/w/d.mp3"}},
        {{"-platformpluginpath", "/p", "-visual", "0x21", "-qmljsdebugger", "port:1", "e.mp3"},
         {"-platformpluginpath", "/p", "-visual", "0x21", "-qmljsdebugger", "port:1"},
         {"/w/e.mp3"}},
        {{"-reverse", "-widgetcount", "a.mp3"}, {"-reverse", "-widgetcount"}, {"/w/a.mp3"}}, // options without a value
        {{"a.mp3", "-style"}, {"-style"}, {"/w/a.mp3"}}, // a value missing at the end
        {{"--", "-style", "fusion"}, {}, {"/w/-style", "/w/fusion"}},
        {{"-style", "--", "a.mp3"}, {"-style", "--"}, {"/w/a.mp3"}}, // as Qt reads it
    };
    for (const auto& c : cases) {
        const auto line = ParseCommandLine(c.Args, "/w");
        EXPECT_EQ(line.ToolkitArguments, c.Qt) << c.Args.front();
        EXPECT_EQ(line.Files, c.Files) << c.Args.front();
    }
}

TEST(CommandLine, VersionAsksForTheProjectsVersion) {
    EXPECT_TRUE(ParseCommandLine({"--version"}, "/").Version);
    EXPECT_FALSE(ParseCommandLine({"--", "--version"}, "/").Version);
    EXPECT_EQ(std::string(zv2::app::kVersionText), "zv2player " ZV2_PROJECT_VERSION "\n");
}

TEST(CommandLine, WithoutADisplayOrAChosenPlatformThereIsNoWindow) {
    using zv2::app::HasDisplay;
    const struct {
        std::vector<std::string> Args;
        zv2::app::TDisplayEnvironment Env;
        bool Display;
    } cases[] = {
        {{}, {}, false},
        {{"a.mp3"}, {":0", "", ""}, true},
        {{}, {"", "wayland-0", ""}, true},
        {{}, {"", "", "offscreen"}, true},
        {{"-platform", "offscreen"}, {}, true},
        {{"--platform", "offscreen"}, {}, true},
        {{"-platform"}, {}, false},
        {{"-platform", ""}, {}, false},
        {{"-style", "-platform"}, {}, false}, // "-platform" is the style's value here
        {{"--", "-platform", "offscreen"}, {}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasDisplay(ParseCommandLine(c.Args, "/"), c.Env), c.Display) << ::testing::PrintToString(c.Args);
}

TEST(CommandLine, OnlyLocalFileUrisWithSoundEscapesGiveAPath) {
    const struct {
        std::string Uri;
        std::optional<std::string> Path;
    } cases[] = {
        {"file:///a.mp3", "/a.mp3"},
        {"file:///a%25b%2fc.mp3", "/a%b/c.mp3"},
        {"file:///%e6%ad%8c%0A.mp3", "/\xe6\xad\x8c\n.mp3"},
        {"file:///a%23b.mp3#frag", "/a#b.mp3"},
        {"file:///a.mp3?x=1", "/a.mp3"},
        {"file://LocalHost/a.mp3", "/a.mp3"},
        {"file://localhostx/a.mp3", std::nullopt},
        {"file://server/a.mp3", std::nullopt},
        {"file:a.mp3", std::nullopt},
        {"file://", std::nullopt},
        {"file:///a%00.mp3", std::nullopt},
        {"file:///a%2.mp3", std::nullopt},
        {"file:///a%", std::nullopt},
        {"file:///a%g0.mp3", std::nullopt},
        {"smb://host/a.mp3", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocalPathOfUri(c.Uri), c.Path) << c.Uri;
}

TEST(CommandLine, APathAsAFileUriEscapesEveryByteButTheUnreservedOnesAndReadsBack) {
    const std::pair<std::string, std::string> cases[] = {
        {"/home/u/songs/Mr. Blue Sky.mp3", "file:///home/u/songs/Mr.%20Blue%20Sky.mp3"},
        {"/a%b#c?d.mp3", "file:///a%25b%23c%3fd.mp3"},
        {"/歌/x.mp3", "file:///%e6%ad%8c/x.mp3"},
        {"/tab\there~_-.mp3", "file:///tab%09here~_-.mp3"},
        {"/a+b,c;d=e&f'g(h).mp3", "file:///a%2bb%2cc%3bd%3de%26f%27g%28h%29.mp3"},
    };
    for (const auto& [path, uri] : cases) {
        EXPECT_EQ(FileUri(path), uri) << path;
        EXPECT_EQ(LocalPathOfUri(FileUri(path)), path) << path;
    }
}
