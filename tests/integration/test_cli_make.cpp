// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli make and preview, run as separate programs.
#include "tests/integration/child_process.h"

#include "beacon/generator.h"
#include "files/pattern_file.h"
#include "files/read_file.h"
#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk {
namespace {

RunResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), VESK_CLI_PATH);
    return runProgram(args);
}

std::string contents(const std::string& path) {
    return readFileBytes(path, 1u << 24).valueOr({}).bytes;
}

TEST(CliMake, WritesTheGeneratedPatternFile) {
    beacon::MorseSettings qrss;
    qrss.text = "VVV DE K1ABC";
    qrss.keying = beacon::Keying::FskCw;
    qrss.dotLength = 10000;
    qrss.shift = -2;
    qrss.spacing = 2.5f;
    beacon::WsprSettings wspr;
    wspr.callsign = "K1ABC";
    wspr.locator = "FN42";
    wspr.powerDbm = 37;
    wspr.audio = 1400.0f;
    const struct {
        std::vector<std::string> args;
        BeaconPattern expected;
    } cases[] = {
        {{"make", "fskcw", "VVV DE K1ABC", "OUT", "--speed", "qrss10", "--shift", "-2", "--spacing",
          "2.5"},
         beacon::makeMorsePattern(qrss).value()},
        {{"make", "wspr", "K1ABC", "FN42", "37", "OUT", "--audio", "1400"},
         beacon::makeWsprPattern(wspr).value()},
    };
    for (auto c : cases) {
        const ScratchFolder folder;
        std::replace(c.args.begin(), c.args.end(), std::string("OUT"), folder.file("b.txt"));
        const RunResult run = cli(c.args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(contents(folder.file("b.txt")), patternFileText(c.expected)) << c.args[1];
    }
}

TEST(CliMakeAndPreview, RefuseBadInputWithStatusOneAndNoFile) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"make"}, "no mode"},
        {{"make", "am", "E", "OUT"}, "unknown mode"},
        {{"make", "cw", "OUT"}, "takes TEXT OUT"},
        {{"make", "cw", "K1ABC!", "OUT"}, "\"!\" has no Morse code"},
        {{"make", "cw", "0000000000000000000000000000000000", "OUT"}, "needs 745 slots"},
        {{"make", "dfcw", "E", "OUT", "--shift", "8"}, "shift"},
        {{"make", "cw", "E", "OUT", "--speed", "QRSS5"}, "--speed takes"},
        {{"make", "cw", "E", "OUT", "--dot", "0"}, "--dot takes"},
        {{"make", "cw", "E", "OUT", "--dot"}, "needs a value"},
        {{"make", "cw", "E", "OUT", "--tone", "3"}, "unknown option"},
        {{"make", "wspr", "K1ABC", "FN42", "OUT"}, "takes CALLSIGN"},
        {{"make", "wspr", "K1ABC", "FN42", "5W", "OUT"}, "whole number"},
        {{"make", "wspr", "K1ABC", "ZZ99", "37", "OUT"}, "locator"},
        {{"make", "wspr", "K1ABC", "FN42", "37", "OUT", "--audio", "50"}, "audio"},
        // Tones the output cannot carry, or rows that do not step up.
        {{"make", "cw", "E", "OUT", "--centre", "30000"}, "row 1 would be at 30035 Hz, outside 0"},
        {{"make", "fskcw", "E", "OUT", "--centre", "1e30"}, "outside 0 to 20000 Hz"},
        {{"make", "dfcw", "E", "OUT", "--centre", "-1000"}, "outside 0 to 20000 Hz"},
        {{"make", "fskcw", "E", "OUT", "--spacing", "0"}, "spacing must be more than 0 Hz, not 0"},
        {{"make", "cw", "E", "OUT", "--spacing", "-5"}, "more than 0 Hz, not -5 Hz"},
        // What is wrong, on one line.
        {{"make", "wspr", "N0CALL", "FN42", "37", "OUT"}, "4 characters after the digit 0"},
        {{"make", "wspr", "K1\nABC", "FN42", "37", "OUT"}, "\"K1\\nABC\" cannot be sent"},
        {{"preview", "IN", "OUT"}, "Cannot open"},
        {{"preview", "IN"}, "takes PATTERN OUT"},
    };
    for (auto c : cases) {
        const ScratchFolder folder;
        std::replace(c.args.begin(), c.args.end(), std::string("OUT"), folder.file("out"));
        std::replace(c.args.begin(), c.args.end(), std::string("IN"), folder.file("none.txt"));
        const RunResult run = cli(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.says;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder.file("out"))) << c.says;
    }
}

TEST(CliPreview, DrawsThePatternIntoAPngFile) {
    const ScratchFolder folder;
    const RunResult run =
        cli({"preview", std::string(VESK_SOURCE_DIR) + "/examples/tone_ladder.txt",
             folder.file("p.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string png = contents(folder.file("p.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // IHDR: width and height, big-endian, as the tool reports them.
    const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) |
               (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) |
               static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_NE(run.out.find(std::to_string(be32(16)) + " x " + std::to_string(be32(20)) + " pixels"),
              std::string::npos)
        << run.out;
}

} // namespace
} // namespace vesk
