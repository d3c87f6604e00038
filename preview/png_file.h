// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "preview/spectrogram.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::preview {

// The picture as the bytes of an 8-bit RGB PNG file; fails only when the encoder does.
Result<std::vector<std::uint8_t>> encodePng(const Picture& picture);

// Replaces `path` with the picture as an 8-bit RGB PNG file, in one step (files/atomic_write.h);
// a failure names the file.
Result<> writePng(const std::string& path, const Picture& picture);

} // namespace vesk::preview
