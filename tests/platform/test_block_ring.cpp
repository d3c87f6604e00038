#include "platform/block_ring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using vesk::platform::BlockRing;

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

std::vector<std::uint8_t> pullBytes(BlockRing& ring, std::size_t size,
                                    std::size_t* taken = nullptr) {
    std::vector<std::uint8_t> out(size, 0xEE);
    const std::size_t n = ring.pull(out.data(), size);
    if (taken != nullptr) {
        *taken = n;
    }
    return out;
}

std::vector<int> popAll(BlockRing& ring, std::int64_t played) {
    std::vector<int> blocks;
    int block = 0;
    while (ring.popPlayed(played, block)) {
        blocks.push_back(block);
    }
    return blocks;
}

TEST(BlockRing, StreamKeepsWriteOrderAcrossTheEdgeThenSilence) {
    BlockRing ring(10, 4);
    // Move the edge into the middle of the next blocks.
    const auto warmup = bytes({9, 9, 9, 9, 9, 9, 9});
    ASSERT_TRUE(ring.push(0, warmup.data(), warmup.size()));
    pullBytes(ring, 7);
    ASSERT_EQ(popAll(ring, 7), std::vector<int>{0});

    const auto a = bytes({1, 2, 3, 4});
    const auto b = bytes({5, 6, 7, 8, 9, 10});
    ASSERT_TRUE(ring.push(1, a.data(), a.size()));
    ASSERT_TRUE(ring.push(2, b.data(), b.size())); // wraps at byte 10
    EXPECT_EQ(ring.queuedBytes(), 10u);

    std::size_t taken = 0;
    EXPECT_EQ(pullBytes(ring, 3, &taken), bytes({1, 2, 3}));
    EXPECT_EQ(taken, 3u);
    EXPECT_EQ(pullBytes(ring, 5, &taken), bytes({4, 5, 6, 7, 8}));
    EXPECT_EQ(pullBytes(ring, 4, &taken), bytes({9, 10, 0, 0}));
    EXPECT_EQ(taken, 2u);
    EXPECT_EQ(pullBytes(ring, 3, &taken), bytes({0, 0, 0}));
    EXPECT_EQ(taken, 0u);
    EXPECT_EQ(ring.streamBytes(), 7 + 15);

    ring.reset();
    EXPECT_EQ(ring.queuedBlocks(), 0u);
    EXPECT_EQ(ring.streamBytes(), 0);
    EXPECT_EQ(pullBytes(ring, 2), bytes({0, 0}));
}

TEST(BlockRing, RefusesWhatDoesNotFitAndKeepsItsState) {
    BlockRing ring(8, 3);
    const std::vector<std::uint8_t> four(4, 1);
    const std::vector<std::uint8_t> five(5, 2);
    const std::vector<std::uint8_t> one(1, 3);
    const std::vector<std::uint8_t> nine(9, 4);

    EXPECT_FALSE(ring.push(0, nine.data(), nine.size())) << "larger than the ring";
    EXPECT_FALSE(ring.push(0, four.data(), 0)) << "empty block";
    EXPECT_FALSE(ring.push(0, nullptr, 4));
    EXPECT_EQ(ring.queuedBlocks(), 0u);

    ASSERT_TRUE(ring.push(10, four.data(), four.size()));
    EXPECT_FALSE(ring.push(11, five.data(), five.size())) << "one byte short";
    ASSERT_TRUE(ring.push(11, one.data(), one.size()));
    ASSERT_TRUE(ring.push(12, one.data(), one.size()));
    EXPECT_FALSE(ring.push(13, one.data(), one.size())) << "bytes left but no block entry";
    EXPECT_EQ(ring.queuedBlocks(), 3u);
    EXPECT_EQ(ring.queuedBytes(), 6u);

    // Pulled bytes free their room, but a block keeps its entry until it has been played.
    pullBytes(ring, 6);
    EXPECT_EQ(ring.queuedBytes(), 0u);
    EXPECT_FALSE(ring.push(13, one.data(), one.size()));
    EXPECT_EQ(popAll(ring, 4), std::vector<int>{10});
    EXPECT_TRUE(ring.push(13, one.data(), one.size()));
    EXPECT_EQ(popAll(ring, 1000), (std::vector<int>{11, 12}));
    EXPECT_EQ(ring.queuedBlocks(), 1u);
}

TEST(BlockRing, BlockIsPlayedOnlyWhenTheClockPassesItsEnd) {
    BlockRing ring(64, 8);
    const std::vector<std::uint8_t> four(4, 7);
    pullBytes(ring, 6); // silence before the first block counts in the stream
    ASSERT_TRUE(ring.push(100, four.data(), four.size()));
    ASSERT_TRUE(ring.push(101, four.data(), four.size()));

    pullBytes(ring, 2);
    EXPECT_EQ(popAll(ring, 1'000'000), std::vector<int>{}) << "half pulled is not played";
    pullBytes(ring, 5); // the rest of 100 and three bytes of 101: 100 ends at stream byte 10
    EXPECT_EQ(ring.inStreamBlocks(), 1u);
    EXPECT_EQ(popAll(ring, 9), std::vector<int>{});
    EXPECT_EQ(popAll(ring, 10), std::vector<int>{100});
    pullBytes(ring, 5); // last byte of 101, then silence: 101 ends at 14
    EXPECT_EQ(popAll(ring, 13), std::vector<int>{});
    EXPECT_EQ(popAll(ring, 14), std::vector<int>{101});
    EXPECT_EQ(ring.queuedBlocks(), 0u);
}

TEST(BlockRing, GapsCountSilenceBetweenBlocksOnly) {
    const std::vector<std::uint8_t> four(4, 7);
    const struct {
        const char* what;
        std::vector<int> steps; // > 0: pull that many bytes; 0: push a 4-byte block
        std::int64_t gaps;
    } cases[] = {
        {"silence before the first block", {3, 3, 0, 4}, 0},
        {"silence after the last block", {0, 4, 4, 4}, 0},
        {"queue emptied exactly, refilled in time", {0, 4, 0, 4}, 0},
        {"short pull, then more blocks", {0, 6, 0, 4}, 1},
        {"two separate gaps", {0, 8, 8, 0, 2, 5, 0, 4}, 2},
        {"one long gap is one gap", {0, 8, 8, 8, 0, 4}, 1},
    };
    for (const auto& c : cases) {
        BlockRing ring(64, 8);
        int block = 0;
        for (int step : c.steps) {
            if (step == 0) {
                ASSERT_TRUE(ring.push(block++, four.data(), four.size()));
            } else {
                pullBytes(ring, static_cast<std::size_t>(step));
            }
        }
        EXPECT_EQ(ring.gaps(), c.gaps) << c.what;
    }
}

} // namespace
