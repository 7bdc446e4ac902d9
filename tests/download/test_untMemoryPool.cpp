#include "download/untMemoryPool.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

using zv2::download::TMemoryPool;

TEST(TMemoryPool, LendsDistinctBuffersAndGrowsByItsCountWhenAllAreOut) {
    TMemoryPool pool(15, 2048);
    std::set<char*> lent;
    for (int i = 0; i < 15; ++i)
        lent.insert(pool.GetBuffer());
    EXPECT_EQ(lent.size(), 15u);
    EXPECT_EQ(pool.BufferCount(), 15u);
    char* sixteenth = pool.GetBuffer();
    EXPECT_EQ(lent.count(sixteenth), 0u);
    EXPECT_EQ(pool.BufferCount(), 30u);
    EXPECT_EQ(pool.LentCount(), 16u);
}

TEST(TMemoryPool, AGivenBackBufferIsTheNextOneLent) {
    TMemoryPool pool(4, 2048);
    std::vector<char*> lent;
    for (int i = 0; i < 3; ++i)
        lent.push_back(pool.GetBuffer());
    ASSERT_TRUE(pool.FreeBuffer(lent[0]));
    EXPECT_EQ(pool.GetBuffer(), lent[0]);
    ASSERT_TRUE(pool.FreeBuffer(lent[1]));
    ASSERT_TRUE(pool.FreeBuffer(lent[2]));
    EXPECT_EQ(pool.LentCount(), 1u);
    // Every buffer goes back once: the lent ones are still told apart after the swaps.
    EXPECT_FALSE(pool.FreeBuffer(lent[2]));
    EXPECT_TRUE(pool.FreeBuffer(lent[0]));
    EXPECT_EQ(pool.LentCount(), 0u);
}

TEST(TMemoryPool, TrimGivesBackTheFreeBuffersBeyondItsCount) {
    TMemoryPool pool(4, 2048);
    std::vector<char*> lent;
    for (int i = 0; i < 10; ++i)
        lent.push_back(pool.GetBuffer());
    EXPECT_EQ(pool.BufferCount(), 12u);
    for (int i = 0; i < 9; ++i)
        ASSERT_TRUE(pool.FreeBuffer(lent[i]));
    pool.Trim();
    EXPECT_EQ(pool.BufferCount(), 4u);
    EXPECT_EQ(pool.LentCount(), 1u);
    EXPECT_TRUE(pool.FreeBuffer(lent[9])) << "a lent buffer stays lent";
    std::set<char*> again;
    for (int i = 0; i < 5; ++i)
        again.insert(pool.GetBuffer());
    EXPECT_EQ(again.size(), 5u);
    EXPECT_EQ(pool.BufferCount(), 8u) << "grown again by its count";
}

TEST(TMemoryPool, RefusesPointersItDidNotLend) {
    TMemoryPool pool(2, 2048);
    char* buffer = pool.GetBuffer();
    char elsewhere[16];
    EXPECT_FALSE(pool.FreeBuffer(nullptr));
    EXPECT_FALSE(pool.FreeBuffer(buffer + 300)); // into the middle of a lent buffer
    EXPECT_FALSE(pool.FreeBuffer(elsewhere));
    EXPECT_EQ(pool.LentCount(), 1u);
    EXPECT_TRUE(pool.FreeBuffer(buffer));
}
