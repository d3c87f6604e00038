// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/choice_box.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <functional>

namespace vesk {

// What the PTT command asks of the window that opened it.
struct ComportSelectionHooks {
    // Runs after the box, accepted or cancelled alike, to put the chosen port to use.
    std::function<void()> reopenPttPort;
};

// The PTT menu command: asks for the port in the choice box, modal to `mainWindow`, and
// stores 0..99 in `pttComport`. `choice` holds the box's
// fields while it runs.
void selectComport(ui::Window mainWindow, std::int32_t& pttComport, ChoiceBoxState& choice,
                   const ComportSelectionHooks& hooks);

// The same with a choice box state of its own.
void selectComport(ui::Window mainWindow, std::int32_t& pttComport,
                   const ComportSelectionHooks& hooks);

} // namespace vesk
