// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"

#include <optional>

// The window's entry to the pattern generator and the grabber's view, without Qt types.
namespace vesk {

// Runs File > "Generate pattern..." modally: the pattern made, or nothing when cancelled.
std::optional<BeaconPattern> runGenerateDialog();

// Runs View > "Preview" of `pattern` modally.
void runPreviewDialog(const BeaconPattern& pattern);

} // namespace vesk
