// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/main_window.h"

#include <cstdint>

// The five parameter fields of the main window and their "Apply" buttons.
namespace vesk {

// A field's text that is not a number, or a frequency that would put a tone row outside
// 0..20 000 Hz, is refused in a message box with this caption, naming the field and the values
// it takes; the field then shows the value in use again.
inline constexpr const char* kParametersCaption = "Parameters";

// An "Apply" beside a parameter field: reads the field into the pattern.
void applyParameterCommand(MainWindow& state, std::int32_t command);
// Return: in a parameter field it applies the field; elsewhere it does nothing.
void applyFocusedField(MainWindow& state, std::int32_t command);
// Writes the five parameters into their fields.
void showParameters(const MainWindow& state);

} // namespace vesk
