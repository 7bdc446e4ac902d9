#include "untBlockTimes.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using zv2::speaker::TBlockTimes;

TEST(BlockTimes, WritesOneLinePerWholeBlockWithTheArrivalOfItsFirstByte) {
    zv2::test::TTempDir dir;
    const std::string path = dir.File("times.txt");
    const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    {
        TBlockTimes times(4);
        ASSERT_TRUE(times.Open(path));
        times.BeginConnection();
        times.Received(bytes.data(), 3, 100);     // block 0 begins
        times.Received(bytes.data() + 3, 6, 200); // ends block 0, all of block 1, begins block 2
        times.BeginConnection();                  // block 2 of the first connection never ends
        times.Received(bytes.data(), 4, 300);
        times.Received(bytes.data() + 4, 2, 400);
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    // FNV-1a of {1,2,3,4} and {5,6,7,8}, computed by hand from its definition.
    const auto fnv = [](std::initializer_list<std::uint8_t> block) {
        std::uint64_t hash = 0xcbf29ce484222325ull;
        for (auto byte : block)
            hash = (hash ^ byte) * 0x100000001b3ull;
        char out[17];
        std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
        return std::string(out);
    };
    EXPECT_EQ(text.str(), "1 0 100 " + fnv({1, 2, 3, 4}) + "\n1 1 200 " + fnv({5, 6, 7, 8}) + "\n2 0 300 " +
                              fnv({1, 2, 3, 4}) + "\n");
}
