// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Counts every allocation of the benchmark program that includes this (once, in its one source
// file), so that the heap a render or a stream uses can be read off `heapBytes`. The operators
// are kept out of line so that the compiler pairs the library's new and delete, not malloc and
// delete.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> heapBytes{0};

} // namespace

__attribute__((noinline)) void* operator new(std::size_t size) {
    heapBytes.fetch_add(static_cast<std::int64_t>(size), std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

__attribute__((noinline)) void operator delete(void* block) noexcept {
    std::free(block);
}

__attribute__((noinline)) void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
