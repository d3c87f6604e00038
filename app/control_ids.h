// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/pattern_views.h"
#include "app/ptt_messages.h"
#include "ui/messages.h"

#include <cstdint>

namespace vesk::id {

// Every id the main window answers to: its controls and its menu and key commands share one
// number space. The pattern views and the PTT label keep their ids beside the code that
// draws them; they are named here so that the window's tables speak one set of names.
enum ControlId : std::int32_t {
    kPatternGrid = kPatternGridId,
    kDotScale = kDotScaleId,
    kPatternStrip = kPatternStripId,
    kCycleBar = kCycleBarId,
    kGridReadout = kGridReadoutId,
    kMoveWindow = kMoveWindowId,
    kPttLabel = kPttLabelId,
    // The five pen radios, 0 dB to -24 dB.
    kPen0dB = kFirstPenId,
    kPen6dB,
    kPen12dB,
    kPen18dB,
    kPen24dB,

    kTurnOnOff = 1002,
    kOutputLevel = 1003,
    kLevelReadout = 1004,
    kReset = 4000,
    kDotLengthField = 800,
    kDotLengthApply = 801,
    kDotCountField = 820,
    kDotCountApply = 821,
    kSpacingField = 900,
    kSpacingApply = 901,
    kCentreField = 910,
    kCentreApply = 911,
    kRepeatField = 995,
    kRepeatApply = 996,

    kMenuOpen = 650,
    kMenuGenerate = 660,
    kMenuSavePattern = 600,
    kMenuSaveScript = 610,
    kMenuSaveWave = 620,
    kMenuMixer = 2000,
    kMenuAudioDevices = 2010,
    kMenuSelectSoundcard = 2020,
    kMenuPtt = 2500,
    kMenuTiming = 2510,
    kMenuPttOptions = 2520,
    kMenuPreview = 2600,
    kMenuAbout = 210,
    kMenuHelp = 200,
    // Commands of the keys Ctrl+Z and Ctrl+Y.
    kUndo = 4010,
    kRedo = 4011,
    // Return and Escape, as the toolkit reports them (IDOK and IDCANCEL).
    kReturnKey = static_cast<std::int32_t>(msg::IDOK),
    kEscapeKey = static_cast<std::int32_t>(msg::IDCANCEL),
};

} // namespace vesk::id
