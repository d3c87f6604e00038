// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/pattern_pictures.h"

#include "preview/png_file.h"
#include "preview/spectrogram.h"

#include <cctype>
#include <filesystem>

namespace vesk::web {

void PatternPictures::add(const std::string& name, const BeaconPattern& pattern) {
    std::lock_guard lock(mutex_);
    entries_.try_emplace(name, Entry{pattern, std::nullopt});
}

std::optional<Result<std::vector<std::uint8_t>>> PatternPictures::png(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(name);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    Entry& entry = found->second;
    if (!entry.png) {
        const Result<preview::Spectrogram> made = preview::makeSpectrogram(entry.pattern);
        entry.png = made ? preview::encodePng(preview::drawSpectrogram(*made, entry.pattern))
                         : Result<std::vector<std::uint8_t>>(made.failure());
    }
    return entry.png;
}

std::string pictureName(const std::string& patternPath) {
    std::string name = std::filesystem::path(patternPath).stem().string();
    for (char& c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-' && c != '.' && c != '_') {
            c = '_';
        }
    }
    return name.empty() ? "pattern" : name;
}

} // namespace vesk::web
