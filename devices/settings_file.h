// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <string>
#include <string_view>

// The one persisted setting: the PTT port number, one line in a file in the current folder.
namespace vesk {

inline constexpr char kComportSettingsFile[] = "VESK_COMPORT.INI";

// The port number in the file's bytes: the first field (up to a blank, comma or CR) read as
// a decimal, rounded half to even, saturated to 32 bits; 0 when it is no number. "7,3" -> 7,
// "2.5" -> 2, "3.5" -> 4, "abc" -> 0.
std::int32_t parseComportSetting(std::string_view bytes);

// The port number stored at `path`; 0 when the file is missing or empty. A file that exists
// but cannot be read (no permission, a folder, a pipe or device, also behind a link) fails:
// "Cannot read \"<path>\": " and the reason.
Result<std::int32_t> loadComportSetting(const std::string& path);

// The file's one line: sign position, digits, a blank, CR LF. 3 -> " 3 \r\n", -2 -> "-2 \r\n".
std::string comportSettingText(std::int32_t pttComport);

// Replaces the file at `path` with the port number's line.
Result<> saveComportSetting(const std::string& path, std::int32_t pttComport);

} // namespace vesk
