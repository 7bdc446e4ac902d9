#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

using zv2::platform::SafeFileName;

TEST(SafeFileName, KeepsEveryNameInsideItsFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"Song.mp3", "Song.mp3"},
        {"../x.mp3", ".._x.mp3"},
        {"a/b.mp3", "a_b.mp3"},
        {"a\\b", "a_b"},
        {std::string("x\0y", 3), "x_y"},
        {"tab\there", "tab_here"},
        {".", "_"},
        {"..", "_"},
        {"", "_"},
        {"小星星.mp3", "小星星.mp3"},
    };
    for (const auto& [name, safe] : cases)
        EXPECT_EQ(SafeFileName(name), safe) << name;
    const std::string longName =
        SafeFileName(std::string(100, 'a') + std::string(100, '\xE4') + "\xB8\xAD" + std::string(300, 'b'));
    EXPECT_LE(longName.size(), 255u);
}
