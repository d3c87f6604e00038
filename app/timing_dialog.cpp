// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/timing_dialog.h"

#include "ui/messages.h"

#include <charconv>
#include <string>
#include <vector>

namespace vesk {

namespace {

using namespace ui::style;

const std::vector<std::string>& intervalChoices() {
    static const std::vector<std::string> choices = {
        kRepeatIntervalChoice, "1 minute",   "2 minutes",  "5 minutes",  "10 minutes",
        "15 minutes",          "30 minutes", "60 minutes", "120 minutes"};
    return choices;
}

std::string intervalText(int minutes) {
    if (minutes <= 0) {
        return kRepeatIntervalChoice;
    }
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

// A whole number at the start of `text` (a list entry or what was typed), with nothing after
// it but " minute(s)" or spaces.
std::optional<int> leadingNumber(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    int value = 0;
    const char* begin = text.data() + first;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end == begin) {
        return std::nullopt;
    }
    const std::string rest(end, text.data() + text.size());
    if (rest.find_first_not_of(' ') == std::string::npos || rest == " minute" ||
        rest == " minutes") {
        return value;
    }
    return std::nullopt;
}

// The timing in the box; a failure says why it cannot be kept.
Result<ClockTiming> readTiming(ui::Window box) {
    const std::string every = ui::controlGetText(box, timing_id::kEvery);
    if (every == kRepeatIntervalChoice) {
        return ClockTiming{};
    }
    const std::optional<int> minutes = leadingNumber(every);
    const std::string offsetText = ui::controlGetText(box, timing_id::kOffset);
    const std::optional<int> offset = offsetText.empty() ? 0 : leadingNumber(offsetText);
    if (!minutes || *minutes <= 0) {
        return fail("\"" + every + "\" is not a number of minutes.");
    }
    if (!offset) {
        return fail("\"" + offsetText + "\" is not a number of seconds.");
    }
    const ClockTiming timing{*minutes, *offset};
    if (Result<> checked = checkClockTiming(timing); !checked) {
        return checked.failure();
    }
    return timing;
}

} // namespace

std::optional<ClockTiming> askClockTiming(ui::Window owner, const ClockTiming& current,
                                          ui::Window* window) {
    const ui::Window box = ui::dialogNew(ui::Units::DialogUnits, owner, "Timing", ui::kCentred,
                                         ui::kCentred, 210, 96, WS_CAPTION | WS_SYSMENU, 0);
    constexpr std::uint32_t kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    ui::controlAdd(box, ui::kLabel, "", -1, "Each transmission starts:", nullptr, 10, 8, 190, 10,
                   kLabel, 0);
    ui::controlAdd(box, ui::kLabel, "", -1, "Every", nullptr, 10, 26, 50, 10, kLabel, 0);
    ui::controlAdd(box, ui::kCombo, "", timing_id::kEvery, "", &intervalChoices(), 62, 24, 138, 90,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN,
                   WS_EX_CLIENTEDGE);
    ui::controlAdd(box, ui::kLabel, "", -1, "Offset (s)", nullptr, 10, 44, 50, 10, kLabel, 0);
    ui::controlAdd(box, ui::kEdit, "", timing_id::kOffset, "", nullptr, 62, 42, 40, 13,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
    ui::controlAdd(box, ui::kLabel, "", -1,
                   "past each multiple of the minutes, UTC. Applies from the next Turn On.",
                   nullptr, 108, 42, 95, 26, kLabel, 0);
    ui::controlAdd(box, ui::kButton, "", timing_id::kOk, "OK", nullptr, 62, 74, 50, 14,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0);
    ui::controlAdd(box, ui::kButton, "", timing_id::kCancel, "Cancel", nullptr, 120, 74, 50, 14,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0);

    std::optional<ClockTiming> chosen;
    const ui::Handler handler = [&](ui::Window dialog, std::uint32_t message, std::uint32_t wParam,
                                    std::int32_t) -> std::int32_t {
        switch (message) {
        case msg::WM_INITDIALOG:
            ui::controlSetText(dialog, timing_id::kEvery, intervalText(current.everyMinutes));
            ui::controlSetText(dialog, timing_id::kOffset, std::to_string(current.offsetSeconds));
            ui::acceleratorsAttach(dialog, {{0, ui::kVirtualKeyEnter, timing_id::kOk},
                                            {0, ui::kVirtualKeyEscape, timing_id::kCancel}});
            ui::controlSetFocus(dialog, timing_id::kEvery);
            return 1;
        case msg::WM_COMMAND: {
            const std::uint32_t command = msg::loWord(wParam);
            if (command == timing_id::kOk) {
                if (const Result<ClockTiming> timing = readTiming(dialog)) {
                    chosen = *timing;
                    ui::dialogEnd(dialog, 1);
                } else {
                    ui::messageBox(timing.message(), msg::MB_OK | msg::MB_ICONWARNING, "Timing");
                }
            } else if (command == timing_id::kCancel) {
                ui::dialogEnd(dialog, 0);
            }
            return 0;
        }
        default:
            return 0;
        }
    };
    if (window != nullptr) {
        *window = box;
    }
    ui::dialogShowModal(box, handler, nullptr);
    if (window != nullptr) {
        *window = 0;
    }
    return chosen;
}

} // namespace vesk
