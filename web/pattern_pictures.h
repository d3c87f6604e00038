// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "tone/pattern.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vesk::web {

// The beacon's patterns as `vesk-cli preview` draws them, as PNG files in memory, each drawn
// once, on its first request. Nothing here reads or writes a file.
class PatternPictures {
public:
    // Names `pattern` `name` (/api/pattern/NAME.png). Before serving starts; a name given
    // twice keeps its first pattern.
    void add(const std::string& name, const BeaconPattern& pattern);
    // The PNG named `name`: nothing for a name not added; a failure says why the pattern cannot
    // be drawn. Any thread; one drawing at a time, since a long pattern takes a core for a
    // moment and the sound needs the other.
    std::optional<Result<std::vector<std::uint8_t>>> png(const std::string& name);

private:
    struct Entry {
        BeaconPattern pattern;
        std::optional<Result<std::vector<std::uint8_t>>> png;
    };
    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

// The name a pattern file's picture goes by: its file name without folder and extension, in
// letters, digits and -._ only (others become _); "pattern" when nothing is left.
std::string pictureName(const std::string& patternPath);

} // namespace vesk::web
