#pragma once

#include "preview/spectrogram.h"

#include <string>

namespace vesk::preview {

// Replaces `path` with the picture as an 8-bit RGB PNG file, in one step (files/atomic_write.h);
// false and a message naming the file when it could not be made or written.
bool writePng(const std::string& path, const Picture& picture, std::string& error);

} // namespace vesk::preview
