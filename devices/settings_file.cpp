// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/settings_file.h"

#include "files/atomic_write.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "files/read_file.h"
#include "tone/pattern.h"

#include <cerrno>

namespace vesk {

namespace {

// Only the first field counts, so a longer file is read only this far.
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

} // namespace

std::int32_t parseComportSetting(std::string_view bytes) {
    NumberReader reader(bytes);
    return roundToInt32(parseDecimalLiteral(reader.nextText()));
}

std::int32_t loadComportSetting(const std::string& path, std::string& error) {
    error.clear();
    std::string bytes;
    const int errorNumber = readFileBytes(path, kMaxSettingsBytes, bytes);
    if (errorNumber != 0 && errorNumber != EFBIG) {
        if (errorNumber != ENOENT) {
            error = "Cannot read \"" + path + "\": " + readFailureText(path, errorNumber);
        }
        return 0;
    }
    return parseComportSetting(bytes);
}

std::string comportSettingText(std::int32_t pttComport) {
    return printTextInt(pttComport) + "\r\n";
}

Result<> saveComportSetting(const std::string& path, std::int32_t pttComport) {
    return writeFileAtomically(path, comportSettingText(pttComport));
}

} // namespace vesk
