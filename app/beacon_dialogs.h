// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"
#include "ui/toolkit.h"

#include <optional>

// The window's entry to the pattern generator and the grabber's view, without Qt types.
namespace vesk {

// Runs File > "Generate pattern..." modally over `owner`: the pattern made, or nothing when
// cancelled.
std::optional<BeaconPattern> runGenerateDialog(ui::Window owner);

// Runs View > "Preview" of `pattern` modally over `owner`.
void runPreviewDialog(ui::Window owner, const BeaconPattern& pattern);

} // namespace vesk
