// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/station_settings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk {

// What the program remembers from one run to the next: the PTT port number in its own file
// (VESK_COMPORT.INI, in the folder the command line chose) and the station settings file.
// Rules:
// - nothing is written to the settings file before markShown(): until the window shows what
//   was read, a write would store half-set values;
// - a file that exists but cannot be read is never written in this run;
// - each setter writes the settings file when the settings then differ from those last read
//   or written; the PTT port number is written only by finish();
// - a failed write is told once; after finish() nothing is told.
class SettingsStore {
public:
    enum class Problem {
        ComportUnreadable,  // the PTT port's file (or its folder): the port stays 0
        SettingsUnreadable, // the settings file: its settings stay at their defaults
        SaveFailed,         // the settings file could not be written
    };
    // Tells the operator of a problem; `reason` names the file and what went wrong.
    using ProblemHook = std::function<void(Problem problem, const std::string& reason)>;

    // Where problems go from now on. Problems met before there was a hook (the PTT port's
    // file is read before the window stands) are told at once, in the order they were met.
    void setProblemHook(ProblemHook hook);

    // Reads the PTT port number from the file at `path` and fixes that path for the run: a
    // missing file gives 0; one that exists but cannot be read gives 0 and is never written.
    void readComportFile(const std::string& path);
    // The PTT port's folder could not be made, for `reason`: the port is 0 and never written.
    void refuseComportFile(const std::string& reason);
    // Full path of the PTT port's file; "" before readComportFile.
    const std::string& comportFile() const { return comportFile_; }

    // The settings file's full path; "" (the default): nothing is read or written.
    void setSettingsFile(const std::string& path) { settingsFile_ = path; }
    // Reads the settings file: missing, it leaves the defaults; unreadable, the defaults stay,
    // the problem is told and the file is left alone for the whole run.
    void readSettingsFile();
    // The window shows what was read: from now on a change is written.
    void markShown() { shown_ = true; }
    // On the way out: the PTT port's file is written unless it could not be read, and from
    // now on nothing is told (nobody is left to tell). Safe to call twice.
    void finish();

    std::int32_t pttComport() const { return pttComport_; }
    const std::string& soundOutput() const { return settings_.soundOutput; }
    const std::optional<float>& outputLevel() const { return settings_.outputLevel; }
    const std::string& lastPattern() const { return settings_.lastPattern; }
    const PttChoice& pttChoice() const { return settings_.ptt; }
    const ClockTiming& clockTiming() const { return settings_.clock; }
    // How long a key may outlast its pattern, 1..3600 s.
    int maxKeySeconds() const { return settings_.maxKeySeconds; }

    // 0 = no port; kept until finish().
    void setPttComport(std::int32_t pttComport) { pttComport_ = pttComport; }
    // The sound output by name; "" for the system default.
    void setSoundOutput(const std::string& name);
    // 0..100, 100 = 0 dB.
    void setOutputLevel(float level);
    void setLastPattern(const std::string& path);
    void setPttChoice(const PttChoice& choice);
    void setClockTiming(const ClockTiming& timing);
    void setMaxKeySeconds(int seconds);

private:
    void save();
    void tell(Problem problem, const std::string& reason);

    ProblemHook hook_;
    std::vector<std::pair<Problem, std::string>> untold_;
    bool quiet_ = false;

    std::string comportFile_;
    std::string comportProblem_; // why the port's file is left alone; "" when it may be written
    std::int32_t pttComport_ = 0;

    std::string settingsFile_;
    bool settingsUnreadable_ = false;
    bool shown_ = false;
    bool saveFailureTold_ = false;
    StationSettings settings_; // as the program uses them now
    StationSettings written_;  // as last read or written
};

} // namespace vesk
