// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt_choice.h"
#include "platform/result.h"
#include "tone/clock_timing.h"

#include <optional>
#include <string>

namespace vesk {

// What the window remembers from one run to the next, besides the PTT port number (which keeps
// its own file). Every field is optional in the file: what is missing keeps the default.
struct StationSettings {
    std::string soundOutput;          // the output's name; empty: the system default
    std::optional<float> outputLevel; // 0..100
    std::string lastPattern;          // full path of the pattern last opened or saved
    PttChoice ptt;
    ClockTiming clock; // off: at the pattern's repeat interval
    // The transmit watchdog: how long a key may outlast its pattern, 1..3600 s.
    int maxKeySeconds = 10;
    bool operator==(const StationSettings&) const = default;
};

// $XDG_CONFIG_HOME/vesk/settings, with ~/.config when XDG_CONFIG_HOME is unset or not
// absolute. Empty without a home.
std::string defaultStationSettingsPath();

// The file's text: "key = value" lines under a comment line, e.g. "sound-output = ...",
// "output-level = 90", "last-pattern = ...", "ptt = both", "ptt-lines = both" (the lines'
// choice, kept while CAT keys), "ptt-inverted = no", "rig-model = 1",
// "rig-port = /dev/ttyUSB0", "rig-speed = 9600", "clock-every = 2", "clock-offset = 1",
// "max-key = 10".
std::string stationSettingsText(const StationSettings& settings);

// The settings in `text`; a line that is not "key = value" with a known key and a value of
// the right kind makes it fail with "line N: ..." (nothing is half-read).
Result<StationSettings> parseStationSettings(const std::string& text);

// The settings at `path`: defaults when the file is missing. A file that exists but cannot be
// read or parsed fails with "Cannot read the settings <path>: " and the reason; it is then
// left alone: the caller must not write over it.
Result<StationSettings> loadStationSettings(const std::string& path);

// Replaces the file at `path` (its folder made when missing).
Result<> saveStationSettings(const std::string& path, const StationSettings& settings);

} // namespace vesk
