#include "files/pattern_file.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {
namespace {

using namespace std::string_literals;

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// A pattern with every kind of slot: each tone row, the five levels, erased slots.
BeaconPattern paintedPattern() {
    BeaconPattern pattern = startPattern();
    const float levels[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.0f};
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        pattern.toneIndex[slot] = static_cast<float>((slot * 7) % 17);
        pattern.levelCode[slot] = levels[slot % 6];
    }
    pattern.dotLength = 250;
    pattern.dotCount = 600;
    pattern.frequencySpacing = 12.5f;
    pattern.centreFrequency = 1500.25f;
    pattern.repeatDots = 900;
    return pattern;
}

void expectSamePattern(const BeaconPattern& actual, const BeaconPattern& expected) {
    EXPECT_EQ(actual.dotLength, expected.dotLength);
    EXPECT_EQ(actual.dotCount, expected.dotCount);
    EXPECT_EQ(actual.frequencySpacing, expected.frequencySpacing);
    EXPECT_EQ(actual.centreFrequency, expected.centreFrequency);
    EXPECT_EQ(actual.repeatDots, expected.repeatDots);
    EXPECT_EQ(actual.toneIndex, expected.toneIndex);
    EXPECT_EQ(actual.levelCode, expected.levelCode);
}

std::size_t lineCount(const std::string& text) {
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

TEST(PatternFileText, ResetPatternLayout) {
    BeaconPattern pattern = resetPattern();
    pattern.toneIndex[0] = 8.0f;
    pattern.toneIndex[1] = 12.0f;
    pattern.levelCode[1] = 4.0f;
    const std::string text = patternFileText(pattern);

    const std::string line1 = " 100 " + std::string(9, ' ') + " 100 " + std::string(9, ' ') +
                              " 10 " + std::string(10, ' ') + " 1000 " + std::string(8, ' ') +
                              " 200 \r\n";
    ASSERT_EQ(line1.size(), 63u);
    EXPECT_EQ(text.substr(0, 63), line1);
    EXPECT_EQ(text.substr(63, 38),
              " 8 " + std::string(11, ' ') + " 1 \r\n" + " 12 " + std::string(10, ' ') + " 4 \r\n");
    EXPECT_EQ(text.substr(101, 19), " 0 " + std::string(11, ' ') + " 1 \r\n");
    EXPECT_EQ(lineCount(text), 102u); // line 1 and slots 0..100
    EXPECT_EQ(text.size(), 63u + 101u * 19u);
}

TEST(PatternFileText, FourteenBlanksAfterATextEndingOnAZoneBoundary) {
    BeaconPattern pattern = resetPattern();
    pattern.dotCount = 0;
    pattern.toneIndex[0] = -1.234567e38f; // "-1.234567E+38 ": 14 columns
    pattern.levelCode[0] = 0.5f;
    const std::string text = patternFileText(pattern);
    const std::string dotLine = text.substr(text.find("\r\n") + 2);
    EXPECT_EQ(dotLine, "-1.234567E+38 " + std::string(14, ' ') + " .5 \r\n");
}

TEST(PatternFileText, DotLinesFollowDotCountWithinTheSlots) {
    const struct {
        std::int32_t dotCount;
        std::size_t lines;
    } cases[] = {{0, 2}, {5, 7}, {600, 602}, {-1, 1}, {-2147483647 - 1, 1}, {1000, 602}};
    for (const auto& c : cases) {
        BeaconPattern pattern = startPattern();
        pattern.dotCount = c.dotCount;
        const std::string text = patternFileText(pattern);
        EXPECT_EQ(lineCount(text), c.lines) << c.dotCount;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    }
}

TEST(ReadPatternText, EmptyFileGivesZerosThenTheLimits) {
    const BeaconPattern pattern = readPatternText("");
    EXPECT_EQ(pattern.dotLength, 1);
    EXPECT_EQ(pattern.dotCount, 0);
    EXPECT_EQ(pattern.frequencySpacing, 0.0f);
    EXPECT_EQ(pattern.centreFrequency, 0.0f);
    EXPECT_EQ(pattern.repeatDots, 0);
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        ASSERT_EQ(pattern.toneIndex[slot], 0.0f) << slot;
        ASSERT_EQ(pattern.levelCode[slot], 0.0f) << slot;
    }
}

TEST(ReadPatternText, ParametersRoundAndAreLimited) {
    const struct {
        const char* line1;
        std::int32_t dotLength, dotCount, repeatDots;
        float spacing, centre;
    } cases[] = {
        {"100.5 101.5 2.5 1500.25 200", 100, 102, 200, 2.5f, 1500.25f},
        {"101.5 99.5 .1 1e3 -0.5", 102, 100, 0, 0.1f, 1000.0f},
        {"&H1F 1000 10 1000 -5", 31, 600, 0, 10.0f, 1000.0f},
        {"0 -3 10 1000 5", 1, 0, 5, 10.0f, 1000.0f},
        {"-7 600.4 10 1000 1e12", 1, 600, kInt32Max, 10.0f, 1000.0f},
        {"1e12 5 1e39 -1e400 7", kInt32Max, 5, 7, 3.4028235e38f, -3.4028235e38f},
        {"-1e12 -1e12 0 0 -1e12", 1, 0, 0, 0.0f, 0.0f},
        {"1,,2,3,4", 1, 0, 4, 2.0f, 3.0f},
    };
    for (const auto& c : cases) {
        const BeaconPattern pattern = readPatternText(c.line1);
        EXPECT_EQ(pattern.dotLength, c.dotLength) << c.line1;
        EXPECT_EQ(pattern.dotCount, c.dotCount) << c.line1;
        EXPECT_EQ(pattern.repeatDots, c.repeatDots) << c.line1;
        EXPECT_EQ(pattern.frequencySpacing, c.spacing) << c.line1;
        EXPECT_EQ(pattern.centreFrequency, c.centre) << c.line1;
    }
}

TEST(ReadPatternText, Takes1207NumbersWhateverTheLayout) {
    std::string text = "100 600 10 1000 600\r\n";
    for (int slot = 0; slot < kSlotCount; ++slot) {
        text += std::to_string(slot % 17) + "," + std::to_string(slot % 5 + 1) + ",";
    }
    text += "99 98 97\r\n"; // past the 1207th number
    const BeaconPattern pattern = readPatternText(text);
    EXPECT_EQ(pattern.toneIndex[600], static_cast<float>(600 % 17));
    EXPECT_EQ(pattern.levelCode[600], static_cast<float>(600 % 5 + 1));
    EXPECT_EQ(pattern.toneIndex[33], 16.0f);
    // Without the tail the result is the same.
    text.erase(text.find("99 98 97"));
    const BeaconPattern trimmed = readPatternText(text);
    expectSamePattern(pattern, trimmed);
}

TEST(ReadPatternText, DataEndsAtByte26AndBareLineFeedsJoinNumbers) {
    const BeaconPattern stopped = readPatternText("50 4 10 1000 9 8 1 \x1a 8 1\r\n");
    EXPECT_EQ(stopped.toneIndex[0], 8.0f);
    EXPECT_EQ(stopped.levelCode[0], 1.0f);
    EXPECT_EQ(stopped.toneIndex[1], 0.0f);

    const BeaconPattern joined = readPatternText("100\n20 \n10 1000 200\n");
    EXPECT_EQ(joined.dotLength, 10020); // "100" LF "20" is one number
    EXPECT_EQ(joined.dotCount, 10);
    EXPECT_EQ(joined.frequencySpacing, 1000.0f);
    EXPECT_EQ(joined.centreFrequency, 200.0f);
    EXPECT_EQ(joined.repeatDots, 0);
}

TEST(PatternFile, SaveThenLoadGivesThePatternBack) {
    ScratchFolder folder;
    const std::string path = folder.file("beacon.txt");
    std::string error;
    for (const std::int32_t dotCount : {600, 100, 0}) {
        BeaconPattern pattern = paintedPattern();
        pattern.dotCount = dotCount;
        pattern.frequencySpacing = 0.1f;
        ASSERT_TRUE(savePatternFile(path, pattern, error)) << error;
        const LoadResult loaded = loadPatternFile(path);
        ASSERT_TRUE(loaded.ok) << loaded.error;
        // Slots past dotCount are not in the file and come back as 0.
        for (std::size_t slot = static_cast<std::size_t>(dotCount) + 1; slot < kSlotCount; ++slot) {
            pattern.toneIndex[slot] = 0.0f;
            pattern.levelCode[slot] = 0.0f;
        }
        expectSamePattern(loaded.pattern, pattern);
    }
}

TEST(PatternFile, LoadFailuresNameTheFileAndTheReason) {
    ScratchFolder folder;
    const std::string missing = folder.file("missing.txt");
    LoadResult result = loadPatternFile(missing);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error,
              "Cannot open pattern file \"" + missing + "\": No such file or directory");

    result = loadPatternFile(folder.path().string());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error,
              "Cannot open pattern file \"" + folder.path().string() + "\": Is a directory");

    const std::string huge = folder.file("huge.txt");
    writeWholeFile(huge, "");
    std::filesystem::resize_file(huge, kMaxPatternFileBytes + 1);
    result = loadPatternFile(huge);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("\"" + huge + "\" is too large"), std::string::npos)
        << result.error;

    std::filesystem::resize_file(huge, kMaxPatternFileBytes);
    result = loadPatternFile(huge); // just within the limit: NUL bytes read as one 0 each
    EXPECT_TRUE(result.ok) << result.error;
}

TEST(PatternFile, FailedSaveReportsAndCreatesNothing) {
    ScratchFolder folder;
    const std::string notAFolder = folder.file("plain");
    writeWholeFile(notAFolder, "x");
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {folder.file("absent/beacon.txt"), "No such file or directory"},
        {notAFolder + "/beacon.txt", "Not a directory"},
        {folder.path().string(), "Is a directory"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(savePatternFile(c.path, startPattern(), error)) << c.path;
        EXPECT_EQ(error, "Cannot write \"" + c.path + "\": " + c.reason);
    }
    EXPECT_EQ(readWholeFile(notAFolder), "x");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
} // namespace vesk
