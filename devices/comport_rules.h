// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the comport selection turns the PTT port number into text and an answer back into a
// number. Pure: no window, no device.
namespace vesk {

// Entries in the choice list: "none", "COM 1".."COM 99" and one empty end marker.
inline constexpr int kComportChoiceCount = 101;

// "COM" + a sign position (a blank for 0 and up, "-" below) + the digits: "COM 3", "COM-2".
// Any 32-bit value; unlike the device name it carries the sign position.
std::string comportCurrentText(std::int32_t pttComport);

// The 101 choices: index 0 "none", index i (1..99) "COM i", index 100 "" (ends the list).
std::vector<std::string> comportChoices();

// Port number of an answer: its last two characters (UTF-8 characters, the whole answer when
// shorter) read as a number, floored; anything below 1 gives 0. Result 0..99.
// "COM 7" -> 7, "COM 12" -> 12, "none" -> 0, "5" -> 5, "COM5" -> 0, "COM 123" -> 23.
std::int32_t comportNumberFromAnswer(const std::string& answer);

// The same for an answer from a list whose entries may name a device after the port
// ("COM 33  /dev/ttyUSB0"): an answer equal to entry i (1..99) gives i; any other answer, a
// typed one, goes by the rule above.
std::int32_t comportNumberFromAnswer(const std::string& answer,
                                     const std::vector<std::string>& choices);

} // namespace vesk
