// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/settings_file.h"

#include "files/atomic_write.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "files/read_file.h"
#include "tone/pattern.h"

namespace vesk {

namespace {

// Only the first field counts, so a longer file is read only this far.
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

} // namespace

std::int32_t parseComportSetting(std::string_view bytes) {
    NumberReader reader(bytes);
    return roundToInt32(parseDecimalLiteral(reader.nextText()));
}

Result<std::int32_t> loadComportSetting(const std::string& path) {
    const Result<FileBytes> read = readFileBytes(path, kMaxSettingsBytes, IfMissing::ReadEmpty);
    if (!read) {
        return read.failure();
    }
    return parseComportSetting(read->bytes);
}

std::string comportSettingText(std::int32_t pttComport) {
    return printTextInt(pttComport) + "\r\n";
}

Result<> saveComportSetting(const std::string& path, std::int32_t pttComport) {
    return writeFileAtomically(path, comportSettingText(pttComport));
}

} // namespace vesk
