// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vesk {

// Replaces the regular file at `path` with `bytes`, or creates it: they go to a new file in
// the same folder, are flushed to the disk and then renamed over the target, so a failure at
// any point leaves the old file as it was. A symbolic link is followed (and kept) and its
// target replaced or created.
//
// Refused, with nothing changed: a target that is not a regular file (a folder, a pipe, a
// device, also behind a link), a read-only file (no write permission bit) and a file the
// user may not write; a replaced file keeps its permission bits, owner and group, or the
// write is refused. A new file gets 0644 less the umask.
//
// While the bytes are written the new file has no name, so a process killed then leaves
// nothing behind; it is named only for the moment before the rename (see
// removeTemporaryFile). A failure's sentence names the file and the reason.
Result<> writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Hands out a file's content piece by piece: the next bytes, or nothing at the end. The span
// stays valid until the next call.
using ByteSource = std::function<std::span<const std::uint8_t>()>;

// A source that hands out `bytes` (which must outlive it) in one piece.
ByteSource onePiece(std::span<const std::uint8_t> bytes);

// The same for content that is made while it is written, so that it never has to be in memory
// all at once.
Result<> writeFileAtomically(const std::string& path, const ByteSource& next);

// The same for text.
Result<> writeFileAtomically(const std::string& path, const std::string& text);

// Removes the named temporary file of a write in progress, if there is one. Safe to call
// from a signal handler: a program ended by a signal calls it before it dies.
void removeTemporaryFile() noexcept;

} // namespace vesk
