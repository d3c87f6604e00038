// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help.h"

#include "app/control_ids.h"
#include "vesk_controller_manual.h"

namespace vesk {

namespace {

struct Tip {
    std::int32_t id;
    const char* text;
};

constexpr Tip kTips[] = {
    {id::kPatternGrid, "The pattern: left click puts a dot at the pen's level, right click "
                       "erases the slot (column = slot, row = tone)"},
    {id::kDotScale, "Slot numbers of the grid"},
    {id::kPatternStrip, "The whole pattern, one pixel per slot; the progress while it plays"},
    {id::kCycleBar, "Progress of the repeat interval"},
    {id::kPttLabel, "Whether the transmitter is keyed"},
    {id::kReset, "Clear the pattern and restore the default parameters"},
    {id::kPen0dB, "Paint dots at 0 dB"},
    {id::kPen6dB, "Paint dots at -6 dB"},
    {id::kPen12dB, "Paint dots at -12 dB"},
    {id::kPen18dB, "Paint dots at -18 dB"},
    {id::kPen24dB, "Paint dots at -24 dB"},
    {id::kTurnOnOff, "Start or stop the beacon: play the pattern every repeat interval and "
                     "key the transmitter"},
    {id::kMoveWindow, "Slide the grid to the later slots"},
    {id::kOutputLevel, "Output level, -100 dB to 0 dB, used from the next Turn On"},
    {id::kLevelReadout, "The output level in dB"},
    {id::kDotLengthField, "Length of one dot in milliseconds (at least 1)"},
    {id::kDotLengthApply, "Use this dot length"},
    {id::kDotCountField, "Number of dots of the pattern (at most 600)"},
    {id::kDotCountApply, "Use this number of dots"},
    {id::kSpacingField, "Frequency step between two tone rows in Hz"},
    {id::kSpacingApply, "Use this frequency spacing"},
    {id::kCentreField, "Frequency of the centre row in Hz"},
    {id::kCentreApply, "Use this centre frequency"},
    {id::kRepeatField, "The beacon's period in dots (the period is this number + 1 dots)"},
    {id::kRepeatApply, "Use this repeat interval"},
    {id::kGridReadout, "Tone step and slot under the mouse"},
};

} // namespace

const char* manualText() {
    return kVeskControllerManual;
}

void helpCommand(MainWindow& state, std::int32_t) {
    ui::textWindowShow(state.mainWindow, "VESK Controller manual", kVeskControllerManual);
}

void addToolTips(ui::Window window) {
    for (const Tip& tip : kTips) {
        ui::controlSetToolTip(window, tip.id, tip.text);
    }
}

} // namespace vesk
