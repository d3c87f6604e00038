// SPDX-License-Identifier: GPL-3.0-or-later
#include "beacon/generator.h"
#include "beacon/morse.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <vector>

namespace vesk::beacon {
namespace {

std::string units(const std::string& text) {
    const Result<std::vector<MorseStep>> morse = morseSteps(text);
    EXPECT_TRUE(morse) << text << ": " << morse.message();
    return morse ? keyingUnits(*morse) : std::string();
}

TEST(Morse, CodesAreDistinctDotsAndDashes) {
    const std::string sent = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/?=";
    std::set<std::string_view> codes;
    for (const char c : sent) {
        const std::string_view code = morseCode(c);
        EXPECT_FALSE(code.empty()) << c;
        EXPECT_EQ(code.find_first_not_of(".-"), std::string_view::npos) << c;
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), sent.size());
    for (const auto& [c, code] :
         {std::pair{'?', "..--.."}, std::pair{'/', "-..-."}, std::pair{'=', "-...-"},
          std::pair{'q', "--.-"}, std::pair{'0', "-----"}}) {
        EXPECT_EQ(morseCode(c), code) << c;
    }
    for (const char c : {' ', '!', '\t', '\0', '`'}) {
        EXPECT_TRUE(morseCode(c).empty()) << int{c};
    }
}

TEST(Morse, DotOneDashThreeGapsOneThreeSeven) {
    const struct {
        const char* text;
        const char* keying;
    } cases[] = {
        {"E", "1"},
        {"T", "111"},
        {"A", "10111"},
        {"AN", "1011100011101"},
        {"E E", "100000001"},
        {"  e   t ", "10000000111"},
        {"=", "1110101010111"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(units(c.text), c.keying) << c.text;
    }
    // The standard word: PARIS and its word gap are 50 units.
    EXPECT_EQ(units("PARIS").size() + 7, 50u);
}

TEST(Morse, RefusesEmptyTextAndCharactersWithoutCode) {
    for (const auto& [text, names] :
         {std::pair{"", "no text"}, std::pair{"   ", "no text"}, std::pair{"K1ABC!", "\"!\""},
          std::pair{"CQ\tDE", "text"}, std::pair{"\xc3\x84", "text"}}) {
        const Result<std::vector<MorseStep>> morse = morseSteps(text);
        EXPECT_FALSE(morse) << text;
        EXPECT_NE(morse.message().find(names), std::string::npos) << morse.message();
    }
}

std::string rows(const BeaconPattern& pattern) {
    std::string out;
    for (int slot = 0; slot <= pattern.dotCount; ++slot) {
        const float row = pattern.toneIndex[static_cast<std::size_t>(slot)];
        out += row == 0.0f ? '.' : static_cast<char>('a' + static_cast<int>(row) - 1);
    }
    return out;
}

TEST(MorsePattern, CwFskAndDfcwLayouts) {
    // Rows as letters: 'h' is the centre row 8, 'g' one row up, 'i' one down; '.' silent.
    const struct {
        Keying keying;
        const char* text;
        int shift;
        const char* layout;
    } cases[] = {
        {Keying::Cw, "EE", 0, "h...h"},      {Keying::Cw, "A T", 5, "h.hhh.......hhh"},
        {Keying::FskCw, "ET", 2, "fhhhfff"}, {Keying::FskCw, "E E", -8, "phhhhhhhp"},
        {Keying::Dfcw, "AT", -1, "h.i...i"}, {Keying::Dfcw, "N E", 7, "a.h.......h"},
    };
    for (const auto& c : cases) {
        const Result<BeaconPattern> made =
            makeMorsePattern({c.keying, c.text, 10000, c.shift, 2.5f, 800.0f});
        ASSERT_TRUE(made) << c.text << ": " << made.message();
        const BeaconPattern& p = *made;
        EXPECT_EQ(rows(p), c.layout) << c.text;
        EXPECT_EQ(p.repeatDots, p.dotCount + 7);
        EXPECT_EQ(p.dotLength, 10000);
        EXPECT_EQ(p.frequencySpacing, 2.5f);
        EXPECT_EQ(p.centreFrequency, 800.0f);
        for (std::size_t slot = 0; slot < p.toneIndex.size(); ++slot) {
            ASSERT_EQ(p.levelCode[slot], 1.0f) << slot;
            if (static_cast<int>(slot) > p.dotCount) {
                ASSERT_EQ(p.toneIndex[slot], 0.0f) << slot;
            }
        }
    }
}

TEST(MorsePattern, RefusesWhatDoesNotFitWithTheSlotsItNeeds) {
    // 60 Ts a word apart take 593 units; " E" brings that to 601, "E" after it to 605.
    std::string text;
    for (int i = 0; i < 60; ++i) {
        text += "T ";
    }
    MorseSettings settings;
    settings.text = text + "E";
    Result<BeaconPattern> made = makeMorsePattern(settings);
    ASSERT_TRUE(made) << made.message();
    EXPECT_EQ(made->dotCount, 600);
    EXPECT_EQ(made->toneIndex[600], 8.0f);
    settings.text += "E";
    made = makeMorsePattern(settings);
    EXPECT_FALSE(made);
    EXPECT_NE(made.message().find("needs 605 slots"), std::string::npos) << made.message();
    // DFCW dashes take one slot: the same text fits there.
    settings.keying = Keying::Dfcw;
    EXPECT_TRUE(makeMorsePattern(settings).ok());
}

TEST(MorsePattern, RefusesBadShiftsDotLengthsAndNumbers) {
    const struct {
        Keying keying;
        int shift;
        std::int32_t dotLength;
        float spacing;
        bool ok;
    } cases[] = {
        {Keying::FskCw, 0, 100, 5.0f, false},
        {Keying::Dfcw, 8, 100, 5.0f, false},
        {Keying::Dfcw, -9, 100, 5.0f, false},
        {Keying::FskCw, 7, 100, 5.0f, true},
        {Keying::FskCw, -8, 100, 5.0f, true},
        {Keying::Cw, 0, 100, 5.0f, true},
        {Keying::Cw, 1, 0, 5.0f, false},
        {Keying::Cw, 1, 1, 5.0f, true},
        {Keying::Cw, 1, 100, std::numeric_limits<float>::infinity(), false},
        {Keying::FskCw, 1, 100, 0.0f, false},
        {Keying::Dfcw, 1, 100, -5.0f, false},
    };
    for (const auto& c : cases) {
        const Result<BeaconPattern> made =
            makeMorsePattern({c.keying, "VVV", c.dotLength, c.shift, c.spacing, 1000.0f});
        EXPECT_EQ(made.ok(), c.ok) << c.shift << " " << c.dotLength << " " << made.message();
        EXPECT_EQ(made.message().empty(), c.ok);
    }
}

TEST(MorsePattern, QrssSpeedsByName) {
    EXPECT_EQ(qrssDotLength("QRSS3"), 3000);
    EXPECT_EQ(qrssDotLength("qrss10"), 10000);
    EXPECT_EQ(qrssDotLength("QRSS30"), 30000);
    EXPECT_EQ(qrssDotLength("Qrss60"), 60000);
    for (const char* name : {"QRSS", "QRSS6", "QRSS300", "", "QRSS3 "}) {
        EXPECT_FALSE(qrssDotLength(name)) << name;
    }
}

} // namespace
} // namespace vesk::beacon
