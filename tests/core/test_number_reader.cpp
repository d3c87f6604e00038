#include "files/number_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {
namespace {

using namespace std::string_literals;

std::vector<double> readNumbers(std::string_view bytes, int count) {
    NumberReader reader(bytes);
    std::vector<double> numbers;
    for (int i = 0; i < count; ++i) {
        numbers.push_back(reader.next());
    }
    return numbers;
}

TEST(NumberReader, SeparatorsAndLineEnds) {
    const struct {
        std::string bytes;
        std::vector<double> numbers;
    } cases[] = {
        {" 100 \r\n 8 ", {100, 8, 0}},
        {"1,,2", {1, 0, 2}},
        {"1,\r\n2", {1, 0, 2}},      // a comma at the end of a line: one empty number
        {"\r\n5", {0, 5, 0}},        // an empty line reads one 0
        {"   \r\n5", {0, 5, 0}},     // so does a line of blanks
        {"1\t2 3", {12, 3, 0}},      // TAB inside a number is dropped
        {"1\n2\n3", {123, 0, 0}},    // bare LF does not end a number
        {"1 \n2 \n3 \n", {1, 2, 3}}, // but after a blank it is skipped
        {"1 , 2", {1, 2, 0}},        // blanks before the comma belong to it
        {"1 \t\n,2", {1, 2, 0}},
        {"1\r2", {1, 2, 0}},     // CR alone ends the line too
        {"1\r\r\n2", {1, 0, 2}}, // the second CR ends an empty number
        {"1 x 2", {1, 0, 2}},    // text that is no number reads 0
        {"12abc,7", {12, 7, 0}},
        {"-3 4.5E2 .5", {-3, 450, 0.5}},
        {"1\x1a"
         " 2 3",
         {1, 0, 0}}, // byte 26 ends the data
        {"\x1a"
         "5",
         {0, 0, 0}},
        {"", {0, 0, 0}},
        {"7", {7, 0, 0}}, // the last number needs no line end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readNumbers(c.bytes, 3), c.numbers) << '"' << c.bytes << '"';
    }
}

TEST(NumberReader, LongNumbersSplitAfter255Characters) {
    const std::string digits = std::string(255, '0') + "17";
    EXPECT_EQ(readNumbers(digits, 3), (std::vector<double>{0, 17, 0}));
    // TAB and LF bytes do not count towards the 255.
    const std::string spread = "\t\n" + std::string(254, '0') + "\t1\n2";
    EXPECT_EQ(readNumbers(spread, 3), (std::vector<double>{1, 2, 0}));
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
    } cases[] = {
        {"12", 12},
        {"+12", 12},
        {"-12", -12},
        {"1.25", 1.25},
        {".5", 0.5},
        {"5.", 5},
        {"-.5", -0.5},
        {"1e3", 1000},
        {"1E+3", 1000},
        {"2.5e-1", 0.25},
        {"12abc", 12},
        {"1e", 1},
        {"1e+", 1},
        {"1.5.3", 1.5},
        {"  42", 42},
        {"\t7", 7},
        {"", 0},
        {"abc", 0},
        {".", 0},
        {"-", 0},
        {"+.e5", 0},
        {"0.1", 0.1},
        {"1 2", 1},
        {"1,5", 1},
        {"1d3", 1},
        {"0e999999999999999999999", 0},
        {"1e-999999", 0},
        {"-1e-400", 0},
        {"4.9406564584124654e-324", 0x1p-1074},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseNumberLiteral(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(ParseNumberLiteral, OutOfRangeDecimalsGiveInfinityNeverNaN) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(parseNumberLiteral("1e400"), inf);
    EXPECT_EQ(parseNumberLiteral("-1e400"), -inf);
    EXPECT_EQ(parseNumberLiteral("1e99999999999999999999"), inf);
    EXPECT_EQ(parseNumberLiteral("0.0001e313"), inf);
    EXPECT_EQ(parseNumberLiteral("1000e-326"), 1e-323); // subnormal, not 0
    EXPECT_EQ(parseNumberLiteral(std::string(400, '9')), inf);
    EXPECT_EQ(parseNumberLiteral("." + std::string(400, '0') + "1"), 0.0);
}

TEST(ParseNumberLiteral, BasedIntegers) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"&H1F", 31},
        {"&h1f", 31},
        {"&HFF", 255},
        {"&O17", 15},
        {"&o17", 15},
        {"&Q17", 15},
        {"&q17", 15},
        {"&17", 15},
        {"&B101", 5},
        {"&b101", 5},
        {"&H", 0},
        {"&", 0},
        {"&X12", 0},
        {"&18", 1},
        {"&B102", 2},
        {"&H1G", 1},
        {" &H10", 16},
        {"-&H10", 0},
        {"&H7FFFFFFF", 2147483647},
        {"&HFFFFFFFF", -1}, // 32-bit two's complement
        {"&H80000000", -2147483648.0},
        {"&H100000000", 0}, // only the low 32 bits remain
        {"&H123456789ABCDEF0123456789", static_cast<double>(0x23456789)},
        {"&O37777777777", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseNumberLiteral(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(parseDecimalLiteral("&H10"), 0.0);
}

TEST(RoundToSingle, SaturatesAndNeverYieldsNaN) {
    const float max = std::numeric_limits<float>::max();
    EXPECT_EQ(roundToSingle(0.1), 0.1f);
    EXPECT_EQ(roundToSingle(1e39), max);
    EXPECT_EQ(roundToSingle(-std::numeric_limits<double>::infinity()), -max);
    EXPECT_EQ(roundToSingle(std::nan("")), 0.0f);
    EXPECT_EQ(roundToSingle(1e-50), 0.0f);
    EXPECT_EQ(roundToSingle(16777217.0), 16777216.0f); // ties to even
}

} // namespace
} // namespace vesk
