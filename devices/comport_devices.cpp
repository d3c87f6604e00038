// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/comport_devices.h"

#include "devices/comport_rules.h"
#include "platform/serial_lines.h"

#include <filesystem>
#include <map>
#include <system_error>

namespace vesk {

namespace {

namespace fs = std::filesystem;

// The devices the /dev/serial/by-id links lead to, with the links' names.
std::map<fs::path, std::string> byIdNames() {
    std::map<fs::path, std::string> names;
    for (const auto& [device, link] : platform::serialByIdLinks()) {
        names.emplace(device, fs::path(link).filename().string());
    }
    return names;
}

std::string deviceLabel(std::int32_t number, const std::map<fs::path, std::string>& byId) {
    const std::string path = platform::comportDevicePath(number);
    std::error_code error;
    const fs::path device = path.empty() ? fs::path() : fs::canonical(path, error);
    if (path.empty() || error) {
        return {};
    }
    std::string label = device.string();
    if (const auto found = byId.find(device); found != byId.end()) {
        label += "  " + found->second;
    }
    return label;
}

} // namespace

std::string comportDeviceLabel(std::int32_t number) {
    return deviceLabel(number, byIdNames());
}

std::vector<std::string> comportChoicesWithDevices() {
    std::vector<std::string> choices = comportChoices();
    const std::map<fs::path, std::string> byId = byIdNames();
    for (std::int32_t number = 1; number < kComportChoiceCount - 1; ++number) {
        const std::string label = deviceLabel(number, byId);
        if (!label.empty()) {
            choices[static_cast<std::size_t>(number)] += "  " + label;
        }
    }
    return choices;
}

} // namespace vesk
