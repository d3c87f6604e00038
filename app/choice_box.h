// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/toolkit.h"

#include <cstdint>
#include <string>
#include <vector>

// The choice box: a small dialog with a prompt, an editable drop-down list and the
// owner-drawn Accept, Cancel and Clear buttons. Enter accepts and Escape cancels, wherever the
// keyboard focus is.
namespace vesk {

// End code of a cancelled box (Cancel, Escape, the close box); 0 means accepted.
inline constexpr std::int32_t kChoiceCancelled = 901;

// Control ids inside the box.
namespace choice_id {
inline constexpr std::int32_t kList = 1525;
inline constexpr std::int32_t kPrompt = 1526;
inline constexpr std::int32_t kAccept = 254;
inline constexpr std::int32_t kCancel = 255;
inline constexpr std::int32_t kClear = 253;
} // namespace choice_id

// What one box works on while it is open. One box at a time per state.
struct ChoiceBoxState {
    std::string choiceInitial;      // the caller's initial text
    std::string choiceText;         // the current answer; "" after Clear
    std::int32_t choiceResult = 0;  // end code to end with: 0 accepted, 901 cancelled
    std::int32_t choiceClosing = 0; // -1 once ending has begun (absorbs the second WM_CLOSE)
    ui::Window choiceWindow = 0;    // the box while it exists
    std::int32_t choiceEndCode = 0; // end code the modal run delivered: 0 or 901
};

// Shows the box modally and returns the answer, or "" when it was cancelled. `list` entries
// are shown in index order up to the first empty string (no list: an empty drop-down).
// An empty `initial` selects the first entry and takes it as the answer; otherwise the entry
// that is `initial`, or starts with it and two blanks, is selected and `initial` shown. With an
// `owner` the box is modal to it and ends (cancelled) when the owner ends.
std::string choiceBox(ChoiceBoxState& state, const std::string& prompt, const std::string& initial,
                      const std::vector<std::string>* list, const std::string& caption,
                      ui::Window owner = 0);

// The same with a state of its own for the time of the call.
std::string choiceBox(const std::string& prompt, const std::string& initial,
                      const std::vector<std::string>* list, const std::string& caption);

} // namespace vesk
