// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk::platform {

// The queue between the owner, who writes numbered blocks, and a sound output that pulls a
// continuous stream: queued bytes in write order, silence (zero bytes) whenever the queue is
// empty. Each block learns where it ends in the stream as it is pulled, so the output can
// report it done once its clock has played that far.
//
// Threads: one producer (the owner: push, popPlayed and the counts) and one consumer (the
// audio thread: pull) may run at the same time. Neither side locks, allocates or makes a
// system call: all storage is allocated up front and the two sides meet only through atomic
// counters. reset() is for a moment when no pull can run (before the stream starts).
class BlockRing {
public:
    // Room for `byteCapacity` queued bytes in at most `blockCapacity` blocks (both > 0).
    BlockRing(std::size_t byteCapacity, std::size_t blockCapacity);

    // Forgets every block and the stream position, as for a freshly opened output.
    void reset();

    // Producer: queues a copy of `size` bytes (size > 0) as block `block`; false when it does
    // not fit.
    bool push(int block, const std::uint8_t* data, std::size_t size);

    // Consumer: fills all of `out` (`size` bytes) with the next stretch of the stream: queued
    // bytes, then silence. Returns how many queued bytes it took.
    std::size_t pull(std::uint8_t* out, std::size_t size);

    // Producer: the oldest block whose last byte has been pulled and lies within the first
    // `playedBytes` bytes of the stream: removes it and stores its number in `block`. False
    // when none.
    bool popPlayed(std::int64_t playedBytes, int& block);

    // Producer: blocks pushed and not yet popped as played.
    std::size_t queuedBlocks() const;
    // Producer: bytes queued and not yet pulled.
    std::size_t queuedBytes() const;
    // Bytes of stream pulled so far, silence included.
    std::int64_t streamBytes() const { return streamBytes_.load(std::memory_order_acquire); }
    // Producer: gaps in the sound: pulls that ran out of queued bytes and were followed by
    // another push (the stream went silent between blocks). The silence after the last block
    // is no gap.
    std::int64_t gaps() const { return gaps_; }

private:
    struct Entry {
        int block = 0;
        std::uint64_t dataEnd = 0;   // queued-byte count just after this block (producer)
        std::int64_t streamEnd = -1; // stream position just after its last byte (consumer)
    };

    std::vector<std::uint8_t> bytes_;
    std::vector<Entry> entries_;
    // Written by the producer only.
    std::atomic<std::uint64_t> pushedBytes_{0};
    std::atomic<std::size_t> pushedBlocks_{0};
    std::size_t poppedBlocks_ = 0;
    std::int64_t gaps_ = 0;
    // Written by the consumer only.
    std::atomic<std::uint64_t> pulledBytes_{0};
    std::atomic<std::size_t> pulledBlocks_{0};
    std::atomic<std::int64_t> streamBytes_{0};
    // Set by the consumer when it ran dry after a block; taken by the producer's next push.
    std::atomic<bool> starved_{false};
};

} // namespace vesk::platform
