// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace vesk {

// Result of readFileBytes for anything but a regular file or a folder (a pipe, a device, a
// socket): such a file is refused before a byte is read, as reading it may never end.
inline constexpr int kNotRegularFile = -1;

// Reads a whole regular file into `bytes`. Returns 0, or the errno value of the failure (then
// `bytes` is empty): EISDIR for a folder, kNotRegularFile for any other kind of file, and
// EFBIG when the file holds more than `maxBytes` (then `bytes` holds its first `maxBytes`, and
// the rest is not read). The open never waits, not even for a pipe without a writer.
int readFileBytes(const std::string& path, std::size_t maxBytes, std::string& bytes);

// The reason a readFileBytes result gives, for a message: "No such file or directory",
// "not a regular file but a pipe".
std::string readFailureText(const std::string& path, int result);

} // namespace vesk
