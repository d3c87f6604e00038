// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/station_settings.h"

#include "files/atomic_write.h"
#include "files/read_file.h"
#include "platform/user_folders.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vesk {

namespace {

// A settings file is a few hundred bytes; anything far longer is not one.
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

template <typename Number> std::optional<Number> wholeNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string levelText(float level) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, level);
    return error == std::errc() ? std::string(buffer, end) : std::string("100");
}

// What the lines of a file set, before they are checked against one another.
struct ReadLines {
    StationSettings settings;
    std::string keyer = "both";
    bool inverted = false;
    std::optional<platform::PttLines> lines; // the lines kept while CAT keys

    int keyerLine = 0;
};

// Reads one "key = value" line into `read`; fails with the reason when it cannot.
Result<> readLine(std::string_view key, std::string_view value, int lineNumber, ReadLines& read) {
    StationSettings& s = read.settings;
    const auto intValue = [&](int& into, int lowest, int highest) -> Result<> {
        const std::optional<int> number = wholeNumber<int>(value);
        if (!number || *number < lowest || *number > highest) {
            return fail(std::string(key) + " must be a whole number from " +
                        std::to_string(lowest) + " to " + std::to_string(highest));
        }
        into = *number;
        return {};
    };
    if (key == "sound-output") {
        s.soundOutput = value;
    } else if (key == "output-level") {
        const std::optional<float> level = wholeNumber<float>(value);
        if (!level || !std::isfinite(*level) || *level < 0.0f || *level > 100.0f) {
            return fail("output-level must be a number from 0 to 100");
        }
        s.outputLevel = *level;
    } else if (key == "last-pattern") {
        s.lastPattern = value;
    } else if (key == "ptt") {
        read.keyer = value;
        read.keyerLine = lineNumber;
    } else if (key == "ptt-lines") {
        const std::optional<PttChoice> lines = pttChoiceFromWord(value, false);
        if (!lines || lines->usesCat()) {
            return fail("ptt-lines must be both, dtr or rts");
        }
        read.lines = lines->lines.lines;
    } else if (key == "ptt-inverted") {
        if (value != "yes" && value != "no") {
            return fail("ptt-inverted must be yes or no");
        }
        read.inverted = value == "yes";
    } else if (key == "rig-model") {
        return intValue(s.ptt.rig.model, 0, 999999);
    } else if (key == "rig-port") {
        s.ptt.rig.device = value;
    } else if (key == "rig-speed") {
        return intValue(s.ptt.rig.speed, 0, 10000000);
    } else if (key == "clock-every") {
        return intValue(s.clock.everyMinutes, 0, kMaxEveryMinutes);
    } else if (key == "clock-offset") {
        return intValue(s.clock.offsetSeconds, 0, kMaxEveryMinutes * 60);
    } else if (key == "max-key") {
        return intValue(s.maxKeySeconds, 1, 3600);
    } else {
        return fail("unknown setting \"" + std::string(key) + "\"");
    }
    return {};
}

} // namespace

std::string defaultStationSettingsPath() {
    const std::string folder = platform::userFolder("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? folder : (std::filesystem::path(folder) / "settings").string();
}

std::string stationSettingsText(const StationSettings& settings) {
    std::string text = "# VESK Controller settings, written by the program\n";
    // A line break inside a value would end its line early: it goes as a blank.
    const auto line = [&text](const char* key, std::string value) {
        for (char& c : value) {
            c = c == '\n' || c == '\r' ? ' ' : c;
        }
        text += std::string(key) + " = " + value + "\n";
    };
    line("sound-output", settings.soundOutput);
    if (settings.outputLevel) {
        line("output-level", levelText(*settings.outputLevel));
    }
    line("last-pattern", settings.lastPattern);
    line("ptt", pttKeyerWord(settings.ptt));
    // The lines' choice stands on its own as well, so that it outlasts a time on CAT.
    PttChoice lines;
    lines.lines = settings.ptt.lines;
    line("ptt-lines", pttKeyerWord(lines));
    line("ptt-inverted", settings.ptt.lines.inverted ? "yes" : "no");
    line("rig-model", std::to_string(settings.ptt.rig.model));
    line("rig-port", settings.ptt.rig.device);
    line("rig-speed", std::to_string(settings.ptt.rig.speed));
    line("clock-every", std::to_string(settings.clock.everyMinutes));
    line("clock-offset", std::to_string(settings.clock.offsetSeconds));
    line("max-key", std::to_string(settings.maxKeySeconds));
    return text;
}

Result<StationSettings> parseStationSettings(const std::string& text) {
    ReadLines read;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t equals = line.find('=');
        Result<> lineRead;
        if (equals == std::string_view::npos) {
            lineRead = fail("not \"key = value\"");
        } else if (line.find('\0') != std::string_view::npos) {
            lineRead = fail("a NUL byte");
        } else {
            lineRead = readLine(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)),
                                lineNumber, read);
        }
        if (!lineRead) {
            return fail("line " + std::to_string(lineNumber) + ": " + lineRead.message());
        }
    }
    const std::optional<PttChoice> keyer = pttChoiceFromWord(read.keyer, read.inverted);
    if (!keyer) {
        return fail("line " + std::to_string(read.keyerLine) + ": ptt must be " +
                    "both, dtr, rts or cat");
    }
    const RigAddress rig = read.settings.ptt.rig;
    read.settings.ptt = *keyer;
    read.settings.ptt.rig = rig;
    if (keyer->usesCat() && read.lines) {
        read.settings.ptt.lines.lines = *read.lines;
    }
    if (read.settings.clock.onTheClock()) {
        if (const Result<> clock = checkClockTiming(read.settings.clock); !clock) {
            return fail("clock: " + clock.message());
        }
    }
    return read.settings;
}

Result<StationSettings> loadStationSettings(const std::string& path) {
    const std::string opening = "Cannot read the settings " + path;
    const Result<FileBytes> read =
        readFileBytes(path, kMaxSettingsBytes, IfMissing::ReadEmpty, opening);
    if (!read) {
        return read.failure();
    }
    if (read->cut) {
        return fail(opening + ": longer than a settings file can be");
    }
    Result<StationSettings> settings = parseStationSettings(read->bytes);
    if (!settings) {
        return fail(opening + ": " + settings.message());
    }
    return settings;
}

Result<> saveStationSettings(const std::string& path, const StationSettings& settings) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            return fail("Cannot make the folder " + folder.string() + ": " + error.message());
        }
    }
    return writeFileAtomically(path, stationSettingsText(settings));
}

} // namespace vesk
