// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/block_ring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using vesk::platform::BlockRing;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Pulls `size` bytes; what the ring did not fill stays 0xEE, so its own silence shows as 0.
Bytes pull(BlockRing& ring, std::size_t size, std::size_t expectTaken) {
    Bytes out(size, 0xEE);
    EXPECT_EQ(ring.pull(out.data(), size), expectTaken);
    return out;
}

bool push(BlockRing& ring, int block, std::size_t size) {
    const Bytes data(size, static_cast<std::uint8_t>(block));
    return ring.push(block, data.data(), size);
}

std::vector<int> popAll(BlockRing& ring, std::int64_t played) {
    std::vector<int> blocks;
    for (int block = 0; ring.popPlayed(played, block);) {
        blocks.push_back(block);
    }
    return blocks;
}

TEST(BlockRing, StreamKeepsWriteOrderAcrossTheEdgeThenSilence) {
    BlockRing ring(10, 4);
    ASSERT_TRUE(push(ring, 9, 7)); // moves the edge into the next blocks
    pull(ring, 7, 7);
    ASSERT_EQ(popAll(ring, 7), std::vector<int>{9});
    const Bytes a = {1, 2, 3, 4};
    const Bytes b = {5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(ring.push(1, a.data(), a.size()));
    ASSERT_TRUE(ring.push(2, b.data(), b.size())); // wraps at byte 10
    EXPECT_EQ(ring.queuedBytes(), 10u);
    EXPECT_EQ(pull(ring, 3, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(pull(ring, 5, 5), (Bytes{4, 5, 6, 7, 8}));
    EXPECT_EQ(pull(ring, 4, 2), (Bytes{9, 10, 0, 0}));
    EXPECT_EQ(pull(ring, 3, 0), (Bytes{0, 0, 0}));
    EXPECT_EQ(ring.streamBytes(), 7 + 15);
    ring.reset();
    EXPECT_EQ(ring.queuedBlocks(), 0u);
    EXPECT_EQ(ring.streamBytes(), 0);
}

TEST(BlockRing, RefusesWhatDoesNotFitAndHoldsEntriesUntilPlayed) {
    BlockRing ring(8, 3);
    EXPECT_FALSE(push(ring, 0, 9)) << "larger than the ring";
    EXPECT_FALSE(push(ring, 0, 0)) << "empty block";
    EXPECT_FALSE(ring.push(0, nullptr, 4));
    ASSERT_TRUE(push(ring, 10, 4));
    EXPECT_FALSE(push(ring, 11, 5)) << "one byte short";
    ASSERT_TRUE(push(ring, 11, 1));
    ASSERT_TRUE(push(ring, 12, 1));
    EXPECT_FALSE(push(ring, 13, 1)) << "bytes left but no block entry";
    EXPECT_EQ(ring.queuedBytes(), 6u);
    pull(ring, 6, 6);
    EXPECT_EQ(ring.queuedBytes(), 0u);
    EXPECT_FALSE(push(ring, 13, 1)) << "pulled blocks keep their entries until played";
    EXPECT_EQ(popAll(ring, 4), std::vector<int>{10});
    EXPECT_TRUE(push(ring, 13, 1));
    EXPECT_EQ(popAll(ring, 1000), (std::vector<int>{11, 12}));
}

TEST(BlockRing, BlockIsPlayedOnlyWhenTheClockPassesItsEnd) {
    BlockRing ring(64, 8);
    pull(ring, 6, 0); // silence before the first block counts in the stream
    ASSERT_TRUE(push(ring, 100, 4));
    ASSERT_TRUE(push(ring, 101, 4));
    pull(ring, 2, 2);
    EXPECT_EQ(popAll(ring, 1'000'000), std::vector<int>{}) << "half pulled is not played";
    pull(ring, 5, 5); // 100 ends at stream byte 10
    EXPECT_EQ(popAll(ring, 9), std::vector<int>{});
    EXPECT_EQ(popAll(ring, 10), std::vector<int>{100});
    pull(ring, 5, 1); // 101 ends at 14
    EXPECT_EQ(popAll(ring, 13), std::vector<int>{});
    EXPECT_EQ(popAll(ring, 14), std::vector<int>{101});
}

TEST(BlockRing, GapsCountSilenceBetweenBlocksOnly) {
    // p: push a 4-byte block; a digit: pull that many bytes. One long gap is one gap.
    const std::pair<std::string, std::int64_t> cases[] = {
        {"33p4", 0}, {"p444", 0}, {"p4p4", 0}, {"p6p4", 1}, {"p88p25p4", 2}, {"p888p4", 1}};
    for (const auto& [steps, gaps] : cases) {
        BlockRing ring(64, 8);
        for (const char step : steps) {
            if (step == 'p') {
                ASSERT_TRUE(push(ring, 1, 4));
                continue;
            }
            Bytes out(static_cast<std::size_t>(step - '0'));
            ring.pull(out.data(), out.size());
        }
        EXPECT_EQ(ring.gaps(), gaps) << steps;
    }
}

} // namespace
