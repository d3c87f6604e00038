#pragma once

#include <cstddef>
#include <string>

namespace vesk {

// Reads a whole file into `bytes`. Returns 0, or the errno value of the failure (then
// `bytes` is empty): EISDIR for a folder, and EFBIG when the file holds more than `maxBytes`
// (then `bytes` holds its first `maxBytes`, and the rest is not read).
int readFileBytes(const std::string& path, std::size_t maxBytes, std::string& bytes);

} // namespace vesk
