#pragma once

#include "app/choice_box.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <functional>

namespace vesk {

// Command id of the PTT menu item and control id of the Turn On/Off button in the main window.
inline constexpr std::int32_t kPttMenuCommand = 2500;
inline constexpr std::int32_t kTurnOnOffButton = 1002;

// The PTT menu command: asks for the port in the choice box (the PTT command and the Turn
// On/Off button greyed meanwhile), stores 0..99 in `pttComport` and then calls
// `reopenPttPort`, accepted or cancelled alike. `choice` holds the box's fields while it runs.
void selectComport(ui::Window mainWindow, std::int32_t& pttComport, ChoiceBoxState& choice,
                   const std::function<void()>& reopenPttPort);

// The same with a choice box state of its own.
void selectComport(ui::Window mainWindow, std::int32_t& pttComport,
                   const std::function<void()>& reopenPttPort);

} // namespace vesk
