// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/comport_selection.h"

#include "devices/comport_devices.h"
#include "devices/comport_rules.h"

#include <string>
#include <vector>

namespace vesk {

void selectComport(ui::Window mainWindow, std::int32_t& pttComport, ChoiceBoxState& choice,
                   const ComportSelectionHooks& hooks) {
    const std::string current = comportCurrentText(pttComport);
    // Each port names the device it leads to, when there is one.
    const std::vector<std::string> choices = comportChoicesWithDevices();
    std::string answer = choiceBox(choice, "Select comport for PTT control", current, &choices,
                                   "PTT control", mainWindow);
    // Cancel and an emptied answer keep the current text, so the number is read back from it
    // (which maps anything outside 1..99 into 0..99).
    if (answer.empty()) {
        answer = current;
    }
    pttComport = comportNumberFromAnswer(answer, choices);
    if (hooks.reopenPttPort) {
        hooks.reopenPttPort();
    }
}

void selectComport(ui::Window mainWindow, std::int32_t& pttComport,
                   const ComportSelectionHooks& hooks) {
    ChoiceBoxState choice;
    selectComport(mainWindow, pttComport, choice, hooks);
}

} // namespace vesk
