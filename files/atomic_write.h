#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vesk {

// Replaces the file at `path` with `bytes`: they go to a new file in the same folder, are
// flushed to the disk and then renamed over the target, so a failure at any point leaves the
// old file as it was. A replaced file keeps its permission bits; a new one gets 0644 less the
// umask. A symbolic link is followed and its target replaced. False and a message naming the
// file and the reason on failure.
bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error);

// Hands out a file's content piece by piece: the next bytes, or nothing at the end. The span
// stays valid until the next call.
using ByteSource = std::function<std::span<const std::uint8_t>()>;

// The same for content that is made while it is written, so that it never has to be in memory
// all at once.
bool writeFileAtomically(const std::string& path, const ByteSource& next, std::string& error);

// The same for text.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error);

} // namespace vesk
