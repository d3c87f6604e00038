#include "platform/block_ring.h"

#include <algorithm>
#include <cstring>

namespace vesk::platform {

BlockRing::BlockRing(std::size_t byteCapacity, std::size_t blockCapacity)
    : bytes_(std::max<std::size_t>(byteCapacity, 1)),
      entries_(std::max<std::size_t>(blockCapacity, 1)) {}

void BlockRing::reset() {
    pushedBytes_ = 0;
    pulledBytes_ = 0;
    pushedBlocks_ = 0;
    pulledBlocks_ = 0;
    poppedBlocks_ = 0;
    streamBytes_ = 0;
    gaps_ = 0;
    starved_ = false;
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
    const std::size_t capacity = bytes_.size();
    const std::size_t start = static_cast<std::size_t>(pushedBytes_ % capacity);
    const std::size_t first = std::min(size, capacity - start);
    std::memcpy(bytes_.data() + start, data, first);
    std::memcpy(bytes_.data(), data + first, size - first);
    pushedBytes_ += size;

    Entry& entry = entries_[pushedBlocks_ % entries_.size()];
    entry.block = block;
    entry.dataEnd = pushedBytes_;
    entry.streamEnd = -1;
    ++pushedBlocks_;
    if (starved_) {
        ++gaps_;
        starved_ = false;
    }
    return true;
}

std::size_t BlockRing::pull(std::uint8_t* out, std::size_t size) {
    const std::size_t capacity = bytes_.size();
    const std::size_t taken = std::min(size, queuedBytes());
    const std::size_t start = static_cast<std::size_t>(pulledBytes_ % capacity);
    const std::size_t first = std::min(taken, capacity - start);
    std::memcpy(out, bytes_.data() + start, first);
    std::memcpy(out + first, bytes_.data(), taken - first);
    std::memset(out + taken, 0, size - taken);

    const std::uint64_t pulledBefore = pulledBytes_;
    pulledBytes_ += taken;
    while (pulledBlocks_ < pushedBlocks_) {
        Entry& entry = entries_[pulledBlocks_ % entries_.size()];
        if (entry.dataEnd > pulledBytes_) {
            break;
        }
        entry.streamEnd = streamBytes_ + static_cast<std::int64_t>(entry.dataEnd - pulledBefore);
        ++pulledBlocks_;
    }
    streamBytes_ += static_cast<std::int64_t>(size);
    if (taken < size && pushedBlocks_ > 0) {
        starved_ = true;
    }
    return taken;
}

bool BlockRing::popPlayed(std::int64_t playedBytes, int& block) {
    if (poppedBlocks_ == pulledBlocks_) {
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
