// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "preview/spectrogram.h"

#include <string>

namespace vesk::preview {

// Replaces `path` with the picture as an 8-bit RGB PNG file, in one step (files/atomic_write.h);
// a failure names the file.
Result<> writePng(const std::string& path, const Picture& picture);

} // namespace vesk::preview
