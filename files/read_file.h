// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstddef>
#include <string>

namespace vesk {

// A regular file's bytes, at most the limit the read was given.
struct FileBytes {
    std::string bytes;
    bool cut = false; // the file holds more than the limit: `bytes` are its first maxBytes
};

// What a read makes of a path that names no file.
enum class IfMissing { Fail, ReadEmpty };

// Reads a whole regular file, or its first `maxBytes` when it holds more (the rest is not
// read). The open never waits, not even for a pipe without a writer. A failure is `opening`
// (the sentence's start naming the file; by default "Cannot read \"<path>\""), ": " and the
// reason: the system's ("No such file or directory", "Is a directory", "Permission denied"),
// or "not a regular file but a pipe" (a device, a socket, a special file), refused before a
// byte is read as reading it may never end. A file that somebody is writing is read once the
// writer lets go (tried for about 0.1 s, then refused: "it was being written every time it
// was read..."): the bytes are never half of one version and half of the next. With
// IfMissing::ReadEmpty a path that names no file reads as an empty one.
Result<FileBytes> readFileBytes(const std::string& path, std::size_t maxBytes,
                                IfMissing ifMissing = IfMissing::Fail,
                                const std::string& opening = {});

} // namespace vesk
