// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/number_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

namespace vesk {
namespace {

// The first three numbers of the bytes, written as "a b c".
std::string readThree(std::string_view bytes) {
    NumberReader reader(bytes);
    std::ostringstream text;
    text << reader.next() << ' ';
    text << reader.next() << ' ';
    text << reader.next();
    return text.str();
}

TEST(NumberReader, SeparatorsAndLineEnds) {
    // A comma ending a line, an empty or blank line and a second CR each read one 0; a TAB
    // or bare LF inside a number is dropped, after a blank it is skipped; byte 26 ends the data.
    const std::pair<const char*, const char*> cases[] = {{" 100 \r\n 8 ", "100 8 0"},
                                                         {"1,,2", "1 0 2"},
                                                         {"1,\r\n2", "1 0 2"},
                                                         {"\r\n5", "0 5 0"},
                                                         {"   \r\n5", "0 5 0"},
                                                         {"1\t2 3", "12 3 0"},
                                                         {"1\n2\n3", "123 0 0"},
                                                         {"1 \n2 \n3 \n", "1 2 3"},
                                                         {"1 , 2", "1 2 0"},
                                                         {"1 \t\n,2", "1 2 0"},
                                                         {"1\r2", "1 2 0"},
                                                         {"1\r\r\n2", "1 0 2"},
                                                         {"1 x 2", "1 0 2"},
                                                         {"12abc,7", "12 7 0"},
                                                         {"1\x1a 2 3", "1 0 0"},
                                                         {"", "0 0 0"},
                                                         {"7", "7 0 0"}};
    for (const auto& [bytes, numbers] : cases) {
        EXPECT_EQ(readThree(bytes), numbers) << '"' << bytes << '"';
    }
    // A number splits after 255 characters; TAB and LF do not count.
    EXPECT_EQ(readThree(std::string(255, '0') + "17"), "0 17 0");
    EXPECT_EQ(readThree("\t\n" + std::string(254, '0') + "\t1\n2"), "1 2 0");
}

TEST(NumberReader, TextOfEachNumber) {
    NumberReader reader(" -1.5e3 , &H1F\t0\r\n");
    EXPECT_EQ(reader.nextText(), "-1.5e3");
    EXPECT_EQ(reader.nextText(), "&H1F0");
    EXPECT_EQ(reader.nextText(), "");
    EXPECT_EQ(reader.nextText(), "");
}

TEST(ParseNumberLiteral, DecimalForms) {
    const struct {
        const char* text;
        double value;
    } cases[] = {{"-12", -12},   {"1.25", 1.25},   {".5", 0.5},   {"5.", 5},    {"-.5", -0.5},
                 {"1E+3", 1000}, {"2.5e-1", 0.25}, {"12abc", 12}, {"1e", 1},    {"1e+", 1},
                 {"1.5.3", 1.5}, {"  42", 42},     {"\t7", 7},    {"", 0},      {"abc", 0},
                 {".", 0},       {"-", 0},         {"+.e5", 0},   {"0.1", 0.1}, {"1,5", 1},
                 {"1d3", 1},     {"-1e-400", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(parseNumberLiteral(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(ParseNumberLiteral, OutOfRangeDecimalsGiveInfinityNeverNaN) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(parseNumberLiteral("-1e400"), -inf);
    EXPECT_EQ(parseNumberLiteral("1e99999999999999999999"), inf);
    EXPECT_EQ(parseNumberLiteral("0.0001e313"), inf);
    EXPECT_EQ(parseNumberLiteral("1000e-326"), 1e-323); // subnormal, not 0
    EXPECT_EQ(parseNumberLiteral("4.9406564584124654e-324"), 0x1p-1074);
    EXPECT_EQ(parseNumberLiteral("0e999999999999999999999"), 0.0);
    EXPECT_EQ(parseNumberLiteral(std::string(400, '9')), inf);
    EXPECT_EQ(parseNumberLiteral("." + std::string(400, '0') + "1"), 0.0);
}

TEST(ParseNumberLiteral, BasedIntegersKeepTheLow32BitsAsTwosComplement) {
    const struct {
        const char* text;
        double value;
    } cases[] = {{"&H1F", 31},
                 {"&h1f", 31},
                 {"&O17", 15},
                 {"&q17", 15},
                 {"&17", 15},
                 {"&b101", 5},
                 {"&H", 0},
                 {"&", 0},
                 {"&X12", 0},
                 {"&18", 1},
                 {"&B102", 2},
                 {"&H1G", 1},
                 {" &H10", 16},
                 {"-&H10", 0},
                 {"&H7FFFFFFF", 0x7FFFFFFF},
                 {"&HFFFFFFFF", -1},
                 {"&H80000000", -0x1p31},
                 {"&H100000000", 0},
                 {"&O37777777777", -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(parseNumberLiteral(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(parseNumberLiteral("&H123456789ABCDEF0123456789"), 0x23456789);
    EXPECT_EQ(parseDecimalLiteral("&H10"), 0.0);
}

TEST(RoundToSingle, SaturatesAndNeverYieldsNaN) {
    const float max = std::numeric_limits<float>::max();
    EXPECT_EQ(roundToSingle(1e39), max);
    EXPECT_EQ(roundToSingle(-std::numeric_limits<double>::infinity()), -max);
    EXPECT_EQ(roundToSingle(std::nan("")), 0.0f);
    EXPECT_EQ(roundToSingle(1e-50), 0.0f);
    EXPECT_EQ(roundToSingle(16777217.0), 16777216.0f); // ties to even
}

} // namespace
} // namespace vesk
