// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/user_folders.h"

#include <cstdlib>
#include <filesystem>

namespace vesk::platform {

std::string userFolder(const char* variable, const char* underHome) {
    namespace fs = std::filesystem;
    if (const char* base = std::getenv(variable); base != nullptr && base[0] == '/') {
        return (fs::path(base) / "vesk").string();
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return (fs::path(home) / underHome / "vesk").string();
    }
    return {};
}

} // namespace vesk::platform
