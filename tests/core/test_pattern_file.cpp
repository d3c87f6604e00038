// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/pattern_file.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>

namespace vesk {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

auto fields(const BeaconPattern& p) {
    return std::tie(p.dotLength, p.dotCount, p.frequencySpacing, p.centreFrequency, p.repeatDots,
                    p.toneIndex, p.levelCode);
}

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string blanks(std::size_t count) {
    return std::string(count, ' ');
}

TEST(PatternFileText, ResetPatternLayout) {
    BeaconPattern pattern = resetPattern();
    pattern.toneIndex[0] = 8.0f;
    pattern.toneIndex[1] = 12.0f;
    pattern.levelCode[1] = 4.0f;
    const std::string text = patternFileText(pattern);
    EXPECT_EQ(text.substr(0, 63), " 100 " + blanks(9) + " 100 " + blanks(9) + " 10 " + blanks(10) +
                                      " 1000 " + blanks(8) + " 200 \r\n");
    EXPECT_EQ(text.substr(63, 57), " 8 " + blanks(11) + " 1 \r\n" + " 12 " + blanks(10) +
                                       " 4 \r\n" + " 0 " + blanks(11) + " 1 \r\n");
    EXPECT_EQ(lineCount(text), 102u); // line 1 and slots 0..100
    EXPECT_EQ(text.size(), 63u + 101u * 19u);
}

TEST(PatternFileText, FourteenBlanksAfterATextEndingOnAZoneBoundary) {
    BeaconPattern pattern = resetPattern();
    pattern.dotCount = 0;
    pattern.toneIndex[0] = -1.234567e38f; // "-1.234567E+38 ": 14 columns
    pattern.levelCode[0] = 0.5f;
    const std::string text = patternFileText(pattern);
    EXPECT_EQ(text.substr(text.find("\r\n") + 2), "-1.234567E+38 " + blanks(14) + " .5 \r\n");
}

TEST(PatternFileText, DotLinesFollowDotCountWithinTheSlots) {
    const std::pair<std::int32_t, std::size_t> cases[] = {
        {0, 2}, {5, 7}, {600, 602}, {-1, 1}, {-2147483647 - 1, 1}, {1000, 602}};
    for (const auto& [dotCount, lines] : cases) {
        BeaconPattern pattern = startPattern();
        pattern.dotCount = dotCount;
        EXPECT_EQ(lineCount(patternFileText(pattern)), lines) << dotCount;
    }
}

// Line 1 as given, then 601 slot lines of zeros.
std::string withSlots(const std::string& line1) {
    std::string text = line1 + "\r\n";
    for (int slot = 0; slot < kSlotCount; ++slot) {
        text += "0 0\r\n";
    }
    return text;
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
        const Result<BeaconPattern> read = readPatternText(withSlots(c.line1));
        ASSERT_TRUE(read) << c.line1 << ": " << read.message();
        const BeaconPattern& pattern = *read;
        EXPECT_EQ(std::tie(pattern.dotLength, pattern.dotCount, pattern.repeatDots),
                  std::tie(c.dotLength, c.dotCount, c.repeatDots))
            << c.line1;
        EXPECT_EQ(pattern.frequencySpacing, c.spacing) << c.line1;
        EXPECT_EQ(pattern.centreFrequency, c.centre) << c.line1;
    }
}

TEST(ReadPatternText, Takes1207NumbersWhateverTheLayout) {
    std::string text = "100 600 10 1000 600\r\n";
    for (int slot = 0; slot < kSlotCount; ++slot) {
        text += std::to_string(slot % 17) + "," + std::to_string(slot % 5 + 1) + ",";
    }
    const Result<BeaconPattern> read = readPatternText(text + "99 98 oops\r\n");
    ASSERT_TRUE(read) << read.message();
    EXPECT_EQ(read->toneIndex[600], static_cast<float>(600 % 17));
    EXPECT_EQ(read->levelCode[600], static_cast<float>(600 % 5 + 1));
    EXPECT_EQ(read->toneIndex[33], 16.0f);
    EXPECT_EQ(fields(readPatternText(text).value()), fields(*read))
        << "numbers past 1207 were read";
}

// Layouts a pattern file may have besides the program's own: the slots past the file's dots
// may be left out and read 0.
TEST(ReadPatternText, AcceptsTheLayoutsOfThePatternFile) {
    const struct {
        std::string text;
        float tone1, level1;
    } cases[] = {
        {"100,1,10,1000,5,8,1,12,4", 12.0f, 4.0f},
        {"100 1 10 1000 5 \n8 1 \n12 4 \n", 12.0f, 4.0f},        // LF line ends after a blank
        {"100 1 10 1000 5\r\n8\t 1\r\n1\t2 4\r\n", 12.0f, 4.0f}, // TAB inside a number
        {"100 1 10 1000 5\r\n8 1\r\n\r\n4\r\n", 0.0f, 4.0f},     // a blank line reads 0
        {"100 1 10 1000 5\r\n8 1\r\n&HC .5\r\n\x1a junk", 12.0f, 0.5f},
        {"100 -1 10 1000 5\r\n", 0.0f, 0.0f}, // no dots at all
    };
    for (const auto& c : cases) {
        const Result<BeaconPattern> read = readPatternText(c.text);
        ASSERT_TRUE(read) << c.text << ": " << read.message();
        EXPECT_EQ(read->toneIndex[1], c.tone1) << c.text;
        EXPECT_EQ(read->levelCode[1], c.level1) << c.text;
        EXPECT_EQ(read->levelCode[2] + read->toneIndex[600], 0.0f) << c.text;
    }
}

TEST(ReadPatternText, RefusesTextThatIsNoPatternWithTheLineAtFault) {
    const struct {
        std::string text;
        std::size_t line;
        std::string fault;
    } cases[] = {
        {"hello world", 1, "\"hello\" is not a number"},
        {"", 1, "the file ends after 0 of the five parameters"},
        {"100 100\r\n", 2, "the file ends after 2 of the 207 numbers a pattern of 101 dots has"},
        {"100 100 10 1000 200\r\n8 1\r\n", 3,
         "the file ends after 7 of the 207 numbers a pattern of 101 dots has"},
        {"100 1 10 1000 5\r\n8 1\r\n8", 3,
         "the file ends after 8 of the 9 numbers a pattern of 2 dots has"},
        {"100 700 10 1000 5\r\n8 1\r\n", 3,
         "the file ends after 7 of the 1207 numbers a pattern of 601 dots has"},
        {"100 2 10 1000 5\r\n8 1\r\n8 1x\r\n", 3, "\"1x\" is not a number"},
        {"100 0 10 1000 5\r\n8 1\r\nfoo\r\n", 3, "\"foo\" is not a number"},
        {"1e 2 3 4 5", 1, "\"1e\" is not a number"},
        {"100 0 10 1000 &HZZ", 1, "\"&HZZ\" is not a number"},
        {"100 0 10 1000 5\r\n.\r\n", 2, "\".\" is not a number"},
        {"\r\n\r\n\x01\x02", 3, "\"??\" is not a number"},
        {std::string(40, 'x'), 1, "\"xxxxxxxxxxxxxxxxxxxxxxxx...\" is not a number"},
        // Tone rows off the 16 (or a slot past the file's dots, which a later dot count plays).
        {"100 1 10 1000 5\r\n8 1\r\n1000 1\r\n", 3, "tone row 1000 is outside 0..16"},
        {"100 1 10 1000 5\r\n0 1\r\n-1 1\r\n", 3, "tone row -1 is outside 0..16"},
        {"100 0 10 1000 5\r\n16.5 1\r\n", 2, "tone row 16.5 is outside 0..16"},
        {"100 0 10 1000 5\r\n8 1\r\n17 1\r\n", 3, "tone row 17 is outside 0..16"},
        {"100 0 10 1000 5\r\n1e999 1\r\n", 2, "tone row 3.402823E+38 is outside 0..16"},
    };
    for (const auto& c : cases) {
        const Result<BeaconPattern> read = readPatternText(c.text);
        EXPECT_FALSE(read) << c.text;
        EXPECT_EQ(read.message(), "line " + std::to_string(c.line) + ": " + c.fault) << c.text;
    }
    // The edges of the rows, and a row between two, still read.
    EXPECT_TRUE(readPatternText("100 2 10 1000 5\r\n0 1\r\n16 1\r\n2.5 1\r\n"));
}

TEST(PatternFile, SaveThenLoadGivesThePatternBack) {
    ScratchFolder folder;
    const std::string path = folder.file("beacon.txt");
    for (const std::int32_t dotCount : {600, 100, 0}) {
        // Slots past dotCount are not in the file and come back as 0.
        BeaconPattern pattern{{}, {}, 250, dotCount, 0.1f, 1500.25f, 900};
        const float levels[] = {1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.0f};
        for (std::size_t slot = 0; slot <= static_cast<std::size_t>(dotCount); ++slot) {
            pattern.toneIndex[slot] = static_cast<float>((slot * 7) % 17);
            pattern.levelCode[slot] = levels[slot % 6];
        }
        const vesk::Result<> saved = savePatternFile(path, pattern);
        ASSERT_TRUE(saved) << saved.message();
        const Result<BeaconPattern> loaded = loadPatternFile(path);
        ASSERT_TRUE(loaded) << loaded.message();
        EXPECT_EQ(fields(*loaded), fields(pattern)) << dotCount;
    }
}

TEST(PatternFile, LoadFailuresNameTheFileAndTheReason) {
    ScratchFolder folder;
    const std::string huge = folder.file("huge.txt");
    writeWholeFile(huge, "");
    std::filesystem::resize_file(huge, kMaxPatternFileBytes + 1);
    const std::string missing = folder.file("missing.txt"), dir = folder.path().string();
    for (const auto& [path, start] :
         {std::pair{missing, "Cannot open pattern file \"" + missing + "\": No such file"},
          std::pair{dir, "Cannot open pattern file \"" + dir + "\": Is a directory"},
          std::pair{huge, "Pattern file \"" + huge + "\" is too large"}}) {
        const Result<BeaconPattern> result = loadPatternFile(path);
        EXPECT_FALSE(result) << path;
        EXPECT_EQ(result.message().rfind(start, 0), 0u) << result.message();
    }
    // At the limit a file is read: a pattern and NUL bytes past its 1207 numbers.
    writeWholeFile(huge, patternFileText(startPattern()));
    std::filesystem::resize_file(huge, kMaxPatternFileBytes);
    const Result<BeaconPattern> atLimit = loadPatternFile(huge);
    EXPECT_TRUE(atLimit) << atLimit.message();
}

TEST(PatternFile, FailedSaveReportsAndCreatesNothing) {
    ScratchFolder folder;
    const std::string notAFolder = folder.file("plain");
    writeWholeFile(notAFolder, "x");
    const std::pair<std::string, const char*> cases[] = {
        {folder.file("absent/beacon.txt"), "No such file or directory"},
        {notAFolder + "/beacon.txt", "Not a directory"},
        {folder.path().string(), "Is a directory"},
    };
    for (const auto& [path, reason] : cases) {
        const vesk::Result<> saved = savePatternFile(path, startPattern());
        EXPECT_FALSE(saved) << path;
        EXPECT_EQ(saved.message(), "Cannot write \"" + path + "\": " + reason);
    }
    EXPECT_EQ(readWholeFile(notAFolder), "x");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
} // namespace vesk
