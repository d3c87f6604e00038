// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt_choice.h"
#include "plan/plan.h"
#include "platform/result.h"
#include "tone/clock_timing.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::cli {

// Options of the commands; values as typed, checked by the command that uses them.
struct Options {
    std::string command;
    std::vector<std::string> positional;
    double level = 90.0;         // output level position 0..100
    int device = -1;             // sound output index, -1 the system default
    int comport = 0;             // 0: no PTT port
    long cycles = 0;             // 0: play until interrupted
    double maxKeySeconds = 10.0; // a key may outlast its pattern this long, 0.1..3600 s
    ClockTiming timing;          // off: cycles at the pattern's repeat interval
    bool timingGiven = false;
    PttChoice ptt;       // play: how the transmitter is keyed (lines on --comport, or CAT)
    std::string logPath; // play: the transmission log; empty for defaultTransmissionLogPath()
    long next = 0;       // plan --next: how many transmissions to list; 0 without it
    bool check = false;  // plan --check
    std::optional<std::uint64_t> seed; // run and plan: the seed of the percent draws
    bool clockCheck = true;            // run: hold transmissions while the clock is unsynced
    std::vector<std::string> given;    // the options given, by name, in order
    std::string planPath;              // release: the keying is that of this plan file's [station]
    std::string http;          // play and run: serve the status page at ADDR:PORT; empty: not
    std::string httpTokenFile; // play and run: the access token's file; empty: the default
};

// Passes the options that go with the command: run and plan take only their own, and those
// are refused with any other command.
Result<> checkCommandOptions(const Options& options);

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
// run PLAN: the plan's transmissions, unattended, until a signal ends it.
int runRun(const Options& options, int argc, char** argv);
// plan PLAN --next N | --check: the plan listed or checked, nothing opened.
int runPlan(const Options& options);
int runDevices(int argc, char** argv);
// Opens the keyer the PTT options name, releases it and closes it: 0, or 1 with a line on
// stderr when it cannot be opened or released or takes more than a few seconds. Never keys.
int runRelease(const Options& options);
// "Failure to open comport COMn (`reason`)" or "Failure to open the rig for PTT by CAT
// (`reason`)", as `choice` keys.
std::string keyerOpenFailure(const PttChoice& choice, std::int32_t comport,
                             const std::string& reason);

// The seed of the percent draws: --seed, or a fresh one from the system.
std::uint64_t drawSeed(const Options& options);
// "14095600 Hz", or "-" for no frequency (0).
std::string describeFrequency(std::int64_t hertz);
// True when some entry of `plan` takes only a share of its slots.
bool drawsSlots(const plan::Plan& plan);

// make MODE ...: a pattern file from a text or a WSPR message (`args` from the command on).
int runMake(const std::vector<std::string>& args);

// Becomes the helper program `helper` (beside this one, or in ../libexec/vesk) with the same
// arguments; returns only on failure, with status 1 and a message.
int handOverTo(const std::string& helper, char** argv);

} // namespace vesk::cli
