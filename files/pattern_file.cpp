#include "files/pattern_file.h"

#include "files/atomic_write.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "files/read_file.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace vesk {

namespace {

// Width of a print zone in columns.
constexpr std::size_t kZoneWidth = 14;

// Pads the current line (which started at `lineStart`) to the next zone boundary: 1 to 14
// blanks.
void padToZone(std::string& text, std::size_t lineStart) {
    const std::size_t column = text.size() - lineStart;
    text.append(kZoneWidth - column % kZoneWidth, ' ');
}

} // namespace

std::string patternFileText(const BeaconPattern& pattern) {
    const int lastSlot = std::min(pattern.dotCount, kMaxDotCount);
    std::string text;
    text.reserve(80 + 32 * static_cast<std::size_t>(std::max(lastSlot + 1, 0)));

    text += printTextInt(pattern.dotLength);
    padToZone(text, 0);
    text += printTextInt(pattern.dotCount);
    padToZone(text, 0);
    text += printTextSingle(pattern.frequencySpacing);
    padToZone(text, 0);
    text += printTextSingle(pattern.centreFrequency);
    padToZone(text, 0);
    text += printTextInt(pattern.repeatDots);
    text += "\r\n";

    for (int slot = 0; slot <= lastSlot; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        const std::size_t lineStart = text.size();
        text += printTextSingle(pattern.toneIndex[s]);
        padToZone(text, lineStart);
        text += printTextSingle(pattern.levelCode[s]);
        text += "\r\n";
    }
    return text;
}

BeaconPattern readPatternText(std::string_view bytes) {
    NumberReader reader(bytes);
    BeaconPattern pattern;
    pattern.dotLength = roundToInt32(reader.next());
    pattern.dotCount = roundToInt32(reader.next());
    pattern.frequencySpacing = roundToSingle(reader.next());
    pattern.centreFrequency = roundToSingle(reader.next());
    pattern.repeatDots = roundToInt32(reader.next());
    for (std::size_t slot = 0; slot < pattern.toneIndex.size(); ++slot) {
        pattern.toneIndex[slot] = roundToSingle(reader.next());
        pattern.levelCode[slot] = roundToSingle(reader.next());
    }
    limitParameters(pattern);
    return pattern;
}

LoadResult loadPatternFile(const std::string& path) {
    LoadResult result;
    std::string bytes;
    const int errorNumber = readFileBytes(path, kMaxPatternFileBytes, bytes);
    if (errorNumber == EFBIG) {
        result.error = "Pattern file \"" + path + "\" is too large: a pattern file has at most " +
                       std::to_string(kMaxPatternFileBytes / (1024 * 1024)) + " MiB";
        return result;
    }
    if (errorNumber != 0) {
        result.error = "Cannot open pattern file \"" + path +
                       "\": " + std::generic_category().message(errorNumber);
        return result;
    }
    result.pattern = readPatternText(bytes);
    result.ok = true;
    return result;
}

bool savePatternFile(const std::string& path, const BeaconPattern& pattern, std::string& error) {
    return writeFileAtomically(path, patternFileText(pattern), error);
}

} // namespace vesk
