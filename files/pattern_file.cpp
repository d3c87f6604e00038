// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/pattern_file.h"

#include "files/atomic_write.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "files/read_file.h"

#include <algorithm>

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

namespace {

// A number's text as a message shows it: at most 24 characters, control bytes as '?'.
std::string quoted(const std::string& text) {
    constexpr std::size_t kShown = 24;
    std::string shown;
    for (const char c : text.substr(0, kShown)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    return "\"" + shown + (text.size() > kShown ? "...\"" : "\"");
}

// Takes the numbers of a pattern file one by one and notes the first fault.
class CheckedNumbers {
public:
    explicit CheckedNumbers(std::string_view bytes) : reader_(bytes) {}

    // The next number; a text that is no number is a fault, so is the end of the data
    // unless `mayBeMissing`.
    double next(bool mayBeMissing) {
        if (!fault.empty()) {
            return 0.0;
        }
        const bool ended = reader_.atEnd();
        const std::string text = reader_.nextText();
        if (ended && !mayBeMissing) {
            fail(reader_.line(),
                 "the file ends after " + std::to_string(taken_) + " of " +
                     (dots < 0 ? std::string("the five parameters")
                               : "the " + std::to_string(5 + 2 * dots) + " numbers a pattern of " +
                                     std::to_string(dots) + " dots has"));
            return 0.0;
        }
        if (!isNumberText(text)) {
            fail(reader_.line(), quoted(text) + " is not a number");
            return 0.0;
        }
        if (!ended) {
            ++taken_;
        }
        return parseNumberLiteral(text);
    }

    // The number just taken is refused: `what` is wrong with it, at its line.
    void refuse(const std::string& what) {
        if (fault.empty()) {
            fail(reader_.line(), what);
        }
    }

    BeaconPattern pattern;
    std::string fault; // "line N: " and what is wrong there; empty while all is well
    int dots = -1;     // dots the file holds, once its dotCount has been read

private:
    void fail(std::size_t line, const std::string& what) {
        fault = "line " + std::to_string(line) + ": " + what;
    }

    NumberReader reader_;
    std::size_t taken_ = 0;
};

} // namespace

Result<BeaconPattern> readPatternText(std::string_view bytes) {
    CheckedNumbers numbers(bytes);
    BeaconPattern& pattern = numbers.pattern;
    pattern.dotLength = roundToInt32(numbers.next(false));
    const std::int32_t dotCount = roundToInt32(numbers.next(false));
    pattern.dotCount = dotCount;
    // A file holds the dots its own dotCount names (none for a negative one); the rest of the
    // 601 slots may be left out.
    const int slotsInFile = std::clamp(dotCount, -1, kMaxDotCount) + 1;
    numbers.dots = slotsInFile;
    pattern.frequencySpacing = roundToSingle(numbers.next(false));
    pattern.centreFrequency = roundToSingle(numbers.next(false));
    pattern.repeatDots = roundToInt32(numbers.next(false));
    for (std::size_t slot = 0; slot < pattern.toneIndex.size(); ++slot) {
        const bool mayBeMissing = static_cast<int>(slot) >= slotsInFile;
        const float tone = roundToSingle(numbers.next(mayBeMissing));
        // A row off the 16 would sound a tone nobody painted (row 1000 is 8920 Hz at 10 Hz
        // spacing), and only a file can hold one.
        if (!(tone >= 0.0f && tone <= static_cast<float>(kToneRows))) {
            numbers.refuse("tone row " + formatSignificant(tone, kSingleDigits) +
                           " is outside 0..16");
        }
        pattern.toneIndex[slot] = tone;
        pattern.levelCode[slot] = roundToSingle(numbers.next(mayBeMissing));
    }
    limitParameters(pattern);
    if (!numbers.fault.empty()) {
        return fail(numbers.fault);
    }
    return pattern;
}

Result<BeaconPattern> loadPatternFile(const std::string& path) {
    const Result<FileBytes> read = readFileBytes(path, kMaxPatternFileBytes, IfMissing::Fail,
                                                 "Cannot open pattern file \"" + path + "\"");
    if (!read) {
        return read.failure();
    }
    if (read->cut) {
        return fail("Pattern file \"" + path + "\" is too large: a pattern file has at most " +
                    std::to_string(kMaxPatternFileBytes / (1024 * 1024)) + " MiB");
    }
    Result<BeaconPattern> pattern = readPatternText(read->bytes);
    if (!pattern) {
        return fail("\"" + path + "\" is not a pattern file: " + pattern.message());
    }
    return pattern;
}

Result<> savePatternFile(const std::string& path, const BeaconPattern& pattern) {
    return writeFileAtomically(path, patternFileText(pattern));
}

} // namespace vesk
