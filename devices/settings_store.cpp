// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/settings_store.h"

#include "devices/settings_file.h"

namespace vesk {

void SettingsStore::setProblemHook(ProblemHook hook) {
    hook_ = std::move(hook);
    if (hook_) {
        std::vector<std::pair<Problem, std::string>> untold;
        untold.swap(untold_);
        for (const auto& [problem, reason] : untold) {
            tell(problem, reason);
        }
    }
}

void SettingsStore::readComportFile(const std::string& path) {
    comportFile_ = path;
    const Result<std::int32_t> read = loadComportSetting(path);
    pttComport_ = read.valueOr(0);
    comportProblem_ = read.message();
    if (!read) {
        tell(Problem::ComportUnreadable, comportProblem_);
    }
}

void SettingsStore::refuseComportFile(const std::string& reason) {
    comportProblem_ = reason;
    pttComport_ = 0;
    tell(Problem::ComportUnreadable, reason);
}

void SettingsStore::readSettingsFile() {
    if (settingsFile_.empty()) {
        return;
    }
    const Result<StationSettings> read = loadStationSettings(settingsFile_);
    if (!read) {
        settingsUnreadable_ = true;
        tell(Problem::SettingsUnreadable, read.message());
        return;
    }
    settings_ = *read;
    written_ = *read;
}

void SettingsStore::finish() {
    quiet_ = true;
    if (!comportFile_.empty() && comportProblem_.empty()) {
        static_cast<void>(saveComportSetting(comportFile_, pttComport_));
    }
}

void SettingsStore::setSoundOutput(const std::string& name) {
    settings_.soundOutput = name;
    save();
}

void SettingsStore::setOutputLevel(float level) {
    settings_.outputLevel = level;
    save();
}

void SettingsStore::setLastPattern(const std::string& path) {
    settings_.lastPattern = path;
    save();
}

void SettingsStore::setPttChoice(const PttChoice& choice) {
    settings_.ptt = choice;
    save();
}

void SettingsStore::setClockTiming(const ClockTiming& timing) {
    settings_.clock = timing;
    save();
}

void SettingsStore::setMaxKeySeconds(int seconds) {
    settings_.maxKeySeconds = seconds;
    save();
}

void SettingsStore::save() {
    if (settingsFile_.empty() || settingsUnreadable_ || !shown_ || settings_ == written_) {
        return;
    }
    written_ = settings_;
    if (const Result<> saved = saveStationSettings(settingsFile_, settings_); !saved) {
        // Told once: the next change tries again without a box each time.
        if (!saveFailureTold_) {
            saveFailureTold_ = true;
            tell(Problem::SaveFailed, saved.message());
        }
    }
}

void SettingsStore::tell(Problem problem, const std::string& reason) {
    if (quiet_) {
        return;
    }
    if (hook_) {
        hook_(problem, reason);
    } else {
        untold_.emplace_back(problem, reason);
    }
}

} // namespace vesk
