// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt_choice.h"
#include "platform/result.h"
#include "tone/clock_timing.h"

#include <string>
#include <vector>

namespace vesk::cli {

// Options of the commands; values as typed, checked by the command that uses them.
struct Options {
    std::string command;
    std::vector<std::string> positional;
    double level = 90.0; // output level position 0..100
    int device = -1;     // sound output index, -1 the system default
    int comport = 0;     // 0: no PTT port
    long cycles = 0;     // 0: play until interrupted
    ClockTiming timing;  // off: cycles at the pattern's repeat interval
    bool timingGiven = false;
    PttChoice ptt;       // play: how the transmitter is keyed (lines on --comport, or CAT)
    std::string logPath; // play: the transmission log; empty for defaultTransmissionLogPath()
};

// `text` kept on one line, as every message of the tool is: a line feed or carriage return in
// it (from a typed text or a file name) is written \n or \r.
std::string oneLine(const std::string& text);

// Parses the arguments after the program name; a failure says which is wrong and why.
Result<Options> parseOptions(const std::vector<std::string>& args);

// The commands on the engine alone: render, script and convert. Exit code 0 on success; on
// failure a one-line message on stderr and 1.
int runRender(const Options& options);
int runScript(const Options& options);
int runConvert(const Options& options);

// The beacon without a window, and the device listing (need the sound server and Qt).
int runPlay(const Options& options, int argc, char** argv);
int runDevices(int argc, char** argv);

// make MODE ...: a pattern file from a text or a WSPR message (`args` from the command on).
int runMake(const std::vector<std::string>& args);

// Becomes the helper program `helper` (beside this one, or in ../libexec/vesk) with the same
// arguments; returns only on failure, with status 1 and a message.
int handOverTo(const std::string& helper, char** argv);

} // namespace vesk::cli
