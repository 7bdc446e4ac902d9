#include "platform/waveout/NullWaveOut.h"

#include <gtest/gtest.h>

#include <thread>

namespace zv2::platform {
namespace {

// Collects the tags of the blocks handed back, in order.
struct TReturns {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<std::uint64_t> Tags;

    TWaveDoneHandler Handler() {
        return [this](TWaveBlockPtr block) {
            std::lock_guard lock(Mutex);
            Tags.push_back(block->Tag);
            Changed.notify_all();
        };
    }
    // Waits (up to a generous bound) until `count` blocks are back.
    std::vector<std::uint64_t> WaitFor(std::size_t count) {
        std::unique_lock lock(Mutex);
        Changed.wait_for(lock, std::chrono::seconds(10), [&] { return Tags.size() >= count; });
        return Tags;
    }
    std::size_t Count() {
        std::lock_guard lock(Mutex);
        return Tags.size();
    }
};

TWaveBlockPtr Block(std::uint64_t tag, std::size_t bytes = 4 * 441) {
    auto block = std::make_unique<TWaveBlock>();
    block->Data.assign(bytes, 0);
    block->Length = bytes;
    block->Tag = tag;
    return block;
}

std::vector<std::uint64_t> Tags(std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint64_t> tags;
    for (std::uint64_t t = from; t < to; ++t)
        tags.push_back(t);
    return tags;
}

TEST(NullWaveOut, HandsEveryBlockBackOnceInQueueOrder) {
    TReturns returns;
    TNullWaveOut device(UntimedWaveClock());
    ASSERT_TRUE(device.Open(TWaveFormat{}, returns.Handler()));
    for (std::uint64_t tag = 0; tag < 20; ++tag)
        ASSERT_TRUE(device.Write(Block(tag)));
    EXPECT_EQ(returns.WaitFor(20), Tags(0, 20));
    device.Close();
    EXPECT_EQ(returns.Count(), 20u);
}

TEST(NullWaveOut, PauseHoldsEveryBlockAndRestartPlaysThemInOrder) {
    TReturns returns;
    TNullWaveOut device(UntimedWaveClock());
    ASSERT_TRUE(device.Open(TWaveFormat{}, returns.Handler()));
    ASSERT_TRUE(device.Pause());
    for (std::uint64_t tag = 0; tag < 3; ++tag)
        ASSERT_TRUE(device.Write(Block(tag)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // a broken pause would finish them now
    EXPECT_EQ(returns.Count(), 0u);
    ASSERT_TRUE(device.Restart());
    EXPECT_EQ(returns.WaitFor(3), Tags(0, 3));
}

TEST(NullWaveOut, ResetHandsEveryQueuedBlockBackBeforeItReturns) {
    TReturns returns;
    TNullWaveOut device(UntimedWaveClock());
    ASSERT_TRUE(device.Open(TWaveFormat{}, returns.Handler()));
    device.Pause();
    for (std::uint64_t tag = 0; tag < 5; ++tag)
        device.Write(Block(tag));
    ASSERT_TRUE(device.Reset());
    EXPECT_EQ(returns.Count(), 5u);
    EXPECT_EQ(returns.WaitFor(5), Tags(0, 5));
    // Still open and still paused: a new block waits for Restart.
    ASSERT_TRUE(device.Write(Block(9)));
    device.Restart();
    EXPECT_EQ(returns.WaitFor(6).back(), 9u);
}

TEST(NullWaveOut, ResetInterruptsARealTimeBlockAtOnce) {
    TReturns returns;
    TNullWaveOut device(RealTimeWaveClock());
    ASSERT_TRUE(device.Open(TWaveFormat{}, returns.Handler()));
    device.Write(Block(1, 176400 * 180)); // three minutes of sound, longer than the test may run
    device.Write(Block(2));
    ASSERT_TRUE(device.Reset());
    EXPECT_EQ(returns.WaitFor(2), (std::vector<std::uint64_t>{1, 2}));
    device.Close();
}

TEST(NullWaveOut, CloseHandsQueuedBlocksBackAndTheDeviceOpensAgain) {
    TReturns returns;
    TNullWaveOut device(UntimedWaveClock());
    ASSERT_TRUE(device.Open(TWaveFormat{}, returns.Handler()));
    device.Pause();
    device.Write(Block(1));
    device.Write(Block(2));
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(returns.Count(), 2u);
    EXPECT_FALSE(device.Write(Block(3)));
    EXPECT_FALSE(device.Pause());
    EXPECT_FALSE(device.Reset());

    ASSERT_TRUE(device.Open(TWaveFormat{}, returns.Handler()));
    device.Write(Block(4)); // a new stream starts unpaused
    EXPECT_EQ(returns.WaitFor(3).back(), 4u);
}

TEST(NullWaveOut, RefusesPartialFramesOddFormatsAndAFullQueue) {
    TReturns returns;
    TNullWaveOut device(UntimedWaveClock());
    EXPECT_FALSE(device.Open(TWaveFormat{44100, 2, 8}, returns.Handler()));
    EXPECT_FALSE(device.Open(TWaveFormat{44100, 6, 16}, returns.Handler()));
    ASSERT_TRUE(device.Open(TWaveFormat{}, returns.Handler()));
    EXPECT_FALSE(device.Open(TWaveFormat{}, returns.Handler()));
    EXPECT_FALSE(device.Write(Block(1, 6))); // one and a half stereo frames
    auto tooLong = Block(2, 8);
    tooLong->Length = 12;
    EXPECT_FALSE(device.Write(std::move(tooLong)));

    device.Pause();
    for (std::uint64_t tag = 0; tag < IWaveOut::MaxQueuedBlocks; ++tag)
        ASSERT_TRUE(device.Write(Block(tag)));
    EXPECT_FALSE(device.Write(Block(99)));
    device.Restart();
    returns.WaitFor(IWaveOut::MaxQueuedBlocks);
    EXPECT_TRUE(device.Write(Block(100)));
}

TEST(NullWaveOut, CompletionHandlerMayQueueTheNextBlock) {
    TReturns returns;
    TNullWaveOut device(UntimedWaveClock());
    std::atomic<std::uint64_t> next{1};
    ASSERT_TRUE(device.Open(TWaveFormat{}, [&](TWaveBlockPtr block) {
        if (next < 50)
            device.Write(Block(next++));
        returns.Handler()(std::move(block));
    }));
    device.Write(Block(0));
    EXPECT_EQ(returns.WaitFor(50), Tags(0, 50));
    device.Close();
}

TEST(NullWaveOut, VolumeBelongsToTheDeviceNotTheStream) {
    TReturns returns;
    TNullWaveOut device(UntimedWaveClock());
    EXPECT_EQ(device.Volume(), FullWaveVolume);
    device.SetVolume(0x1234ABCD);
    device.Open(TWaveFormat{}, returns.Handler());
    device.Close();
    EXPECT_EQ(device.Volume(), 0x1234ABCDu);
}

} // namespace
} // namespace zv2::platform
