// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/main_window.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <string>

namespace vesk {

// Help > Help (F1): the manual page, as text, in a window beside the main window.
void helpCommand(MainWindow& state, std::int32_t command);
// The manual's text.
const char* manualText();

// The tool tip of every main window control that has an id.
void addToolTips(ui::Window window);

} // namespace vesk
