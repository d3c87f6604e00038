// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/block_ring.h"

#include <algorithm>
#include <cstring>

namespace vesk::platform {

BlockRing::BlockRing(std::size_t byteCapacity, std::size_t blockCapacity)
    : bytes_(std::max<std::size_t>(byteCapacity, 1)),
      entries_(std::max<std::size_t>(blockCapacity, 1)) {}

void BlockRing::reset() {
    pushedBytes_.store(0);
    pulledBytes_.store(0);
    pushedBlocks_.store(0);
    pulledBlocks_.store(0);
    poppedBlocks_ = 0;
    streamBytes_.store(0);
    gaps_ = 0;
    starved_.store(false);
}

std::size_t BlockRing::queuedBlocks() const {
    return pushedBlocks_.load(std::memory_order_relaxed) - poppedBlocks_;
}

std::size_t BlockRing::queuedBytes() const {
    return static_cast<std::size_t>(pushedBytes_.load(std::memory_order_relaxed) -
                                    pulledBytes_.load(std::memory_order_acquire));
}

bool BlockRing::push(int block, const std::uint8_t* data, std::size_t size) {
    if (size == 0 || data == nullptr) {
        return false;
    }
    // A block stays in its entry until played, long after its bytes have been pulled, so the
    // two limits are separate.
    if (queuedBlocks() >= entries_.size() || size > bytes_.size() - queuedBytes()) {
        return false;
    }
    const std::uint64_t pushed = pushedBytes_.load(std::memory_order_relaxed);
    const std::size_t capacity = bytes_.size();
    const std::size_t start = static_cast<std::size_t>(pushed % capacity);
    const std::size_t first = std::min(size, capacity - start);
    std::memcpy(bytes_.data() + start, data, first);
    std::memcpy(bytes_.data(), data + first, size - first);

    const std::size_t index = pushedBlocks_.load(std::memory_order_relaxed);
    Entry& entry = entries_[index % entries_.size()];
    entry.block = block;
    entry.dataEnd = pushed + size;
    entry.streamEnd = -1;
    // The entry and the bytes are complete before the consumer can see either count.
    pushedBlocks_.store(index + 1, std::memory_order_release);
    pushedBytes_.store(pushed + size, std::memory_order_release);
    if (starved_.exchange(false, std::memory_order_acq_rel)) {
        ++gaps_;
    }
    return true;
}

std::size_t BlockRing::pull(std::uint8_t* out, std::size_t size) {
    const std::uint64_t pushed = pushedBytes_.load(std::memory_order_acquire);
    const std::size_t pushedBlocks = pushedBlocks_.load(std::memory_order_acquire);
    const std::uint64_t pulledBefore = pulledBytes_.load(std::memory_order_relaxed);
    const std::size_t capacity = bytes_.size();
    const std::size_t taken =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, pushed - pulledBefore));
    const std::size_t start = static_cast<std::size_t>(pulledBefore % capacity);
    const std::size_t first = std::min(taken, capacity - start);
    std::memcpy(out, bytes_.data() + start, first);
    std::memcpy(out + first, bytes_.data(), taken - first);
    std::memset(out + taken, 0, size - taken);

    const std::uint64_t pulled = pulledBefore + taken;
    const std::int64_t stream = streamBytes_.load(std::memory_order_relaxed);
    std::size_t pulledBlocks = pulledBlocks_.load(std::memory_order_relaxed);
    while (pulledBlocks < pushedBlocks) {
        Entry& entry = entries_[pulledBlocks % entries_.size()];
        if (entry.dataEnd > pulled) {
            break;
        }
        entry.streamEnd = stream + static_cast<std::int64_t>(entry.dataEnd - pulledBefore);
        ++pulledBlocks;
    }
    // The bytes are copied out before the producer may overwrite them, and each entry's end
    // is written before the producer may read it.
    pulledBytes_.store(pulled, std::memory_order_release);
    pulledBlocks_.store(pulledBlocks, std::memory_order_release);
    streamBytes_.store(stream + static_cast<std::int64_t>(size), std::memory_order_release);
    if (taken < size && pushedBlocks > 0) {
        starved_.store(true, std::memory_order_release);
    }
    return taken;
}

bool BlockRing::popPlayed(std::int64_t playedBytes, int& block) {
    if (poppedBlocks_ == pulledBlocks_.load(std::memory_order_acquire)) {
        return false;
    }
    const Entry& entry = entries_[poppedBlocks_ % entries_.size()];
    if (entry.streamEnd > playedBytes) {
        return false;
    }
    block = entry.block;
    ++poppedBlocks_;
    return true;
}

} // namespace vesk::platform
