// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli play and devices against a real sound server.
#include "tests/integration/monitor_recording.h"

#include "tests/integration/fake_port.h"

#include "files/pattern_file.h"
#include "tests/core/scratch_folder.h"
#include "tone/pattern.h"
#include "tone/pattern_stream.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kCli = VESK_CLI_PATH;

// Five tone dots of 50 ms on different rows with silence between, 10 slots in use, a cycle of
// 21 dots (1050 ms); with a repeat of 40 dots, a cycle of 2050 ms.
constexpr int kDotMs = 50;
constexpr int kRepeatDots = 20;
std::string fiveDots(int repeatDots) {
    return "50 9 50 1000 " + std::to_string(repeatDots) +
           "\r\n8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n0 1\r\n16 1\r\n0 1\r\n";
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& start) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(start, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// Needs the sound server; `folder` holds the five dots as short.txt.
class CliPlay : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SOUND_SERVER();
        writeWholeFile(shortFile(), fiveDots(kRepeatDots));
    }
    std::string shortFile() const { return folder.file("short.txt"); }
    // short.txt as the render makes it at full level: what each pass must sound like.
    static std::vector<std::int16_t> shortSound() {
        const RenderResult render =
            renderPattern(readPatternText(fiveDots(kRepeatDots)).pattern, amplitudeForLevel(100));
        std::vector<std::int16_t> sound(static_cast<std::size_t>(render.sound.sampleCount()));
        render.sound.copySamples(0, sound.data(), static_cast<int>(sound.size()));
        return sound;
    }
    ScratchFolder folder;
};

// The tool writes its first line once it plays.
bool startsPlaying(const ChildProcess& play) {
    return waitFor([&] { return play.standardError().find('\n') != std::string::npos; }, 10s);
}

TEST_F(CliPlay, PlaysThePatternOncePerCycleAndEnds) {
    const std::vector<std::int16_t> pattern = shortSound();

    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    const auto start = std::chrono::steady_clock::now();
    ChildProcess play({kCli, "play", shortFile(), "--level", "100", "--cycles", "3"});
    const bool ended = play.wait(30s);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::this_thread::sleep_for(300ms);
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording, "vesk_cli_play_");

    ASSERT_TRUE(ended) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    // The first cycle lasts repeatDots dots, the next two repeatDots + 1 each.
    EXPECT_GE(elapsed, std::chrono::milliseconds((3 * kRepeatDots + 2) * kDotMs));
    // One line per cycle, each led by the UTC time it ended.
    const std::regex cycleLine(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (cycle \d+ played, 0 underruns))");
    std::vector<std::string> cycles;
    std::istringstream err(play.standardError());
    for (std::string line; std::getline(err, line);) {
        if (std::smatch match; std::regex_match(line, match, cycleLine)) {
            cycles.push_back(match[1]);
        }
    }
    EXPECT_EQ(cycles, (std::vector<std::string>{"cycle 1 played, 0 underruns",
                                                "cycle 2 played, 0 underruns",
                                                "cycle 3 played, 0 underruns"}))
        << play.standardError();
    EXPECT_TRUE(linesStartingWith(play.standardError(), "vesk-cli:").empty())
        << play.standardError();

    // A new stream may lose its first milliseconds on the monitor, so the first pass is not
    // judged; cycles 2 and 3 each bring the whole pattern, one cycle apart, with silence between
    // and nothing after them.
    const std::vector<Pass> passes = findPasses(recording, pattern);
    ASSERT_EQ(passes.size(), 3u);
    const Pass& second = passes[1];
    const Pass& third = passes[2];
    EXPECT_TRUE(second.whole && third.whole) << "a pass is not the whole pattern";
    const double periodMs = 1000.0 * static_cast<double>(third.at - second.at) / 44100;
    EXPECT_NEAR(periodMs, (kRepeatDots + 1) * kDotMs, 10.0) << second.at << " " << third.at;
    for (std::size_t i = second.at + pattern.size(); i < third.at; ++i) {
        ASSERT_LE(std::abs(recording[i]), 4) << "sound at sample " << i << " between passes";
    }
}

// On the clock the first sample sounds at the UTC boundary: measured on the recording, read
// as it arrives, against the system clock.
TEST_F(CliPlay, OnTheClockTheFirstSampleSoundsAtTheBoundary) {
    const std::vector<std::int16_t> pattern = shortSound();

    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    // A boundary 3 to 4 s away: every minute, at the second four seconds on.
    const std::int64_t second = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count() +
                                4;
    ChildProcess play({kCli, "play", folder.file("short.txt"), "--level", "100", "--cycles", "1",
                       "--every", "1", "--offset", std::to_string(second % 60)});
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!play.wait(2ms) && std::chrono::steady_clock::now() < deadline) {
        monitor.stamp();
    }
    std::this_thread::sleep_for(300ms);
    monitor.stamp();
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording, "vesk_cli_play_");

    ASSERT_FALSE(play.running()) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    EXPECT_EQ(linesStartingWith(play.standardError(), "next transmission at ").size(), 1u)
        << play.standardError();
    const std::vector<Pass> passes = findPasses(recording, pattern);
    ASSERT_EQ(passes.size(), 1u);
    EXPECT_TRUE(passes[0].whole);
    const std::int64_t heard =
        monitor.firstSampleUtc() + static_cast<std::int64_t>(passes[0].at) * 1'000'000'000 / 44100;
    EXPECT_NEAR(static_cast<double>(heard - second * 1'000'000'000) / 1e6, 0.0, 50.0)
        << "ms from the boundary";
}

// 600 dots of 120 s (20 hours, 3.2 G samples; once too long to render at all) start at once and
// sound exactly as the stream renders them: the first seconds of the first dot's fade-in, one
// row above the centre, on its way to full level.
TEST_F(CliPlay, ADayLongPatternPlaysFromItsFirstSample) {
    std::string text = "120000 599 10 1000 600\r\n";
    for (int slot = 0; slot < 601; ++slot) {
        text += slot % 2 == 0 ? "7 1\r\n" : "0 1\r\n";
    }
    writeWholeFile(folder.file("qrss120.txt"), text);
    const BeaconPattern pattern = readPatternText(text).pattern;
    const PatternStream stream = makePatternStream(pattern, amplitudeForLevel(100)).stream;
    ASSERT_EQ(stream.sampleCount(), 600LL * 120 * 44100);
    constexpr int kHeard = 3 * 44100;
    std::vector<std::int16_t> expected(kHeard);
    stream.copySamples(0, expected.data(), kHeard);

    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    ChildProcess play({kCli, "play", folder.file("qrss120.txt"), "--level", "100"});
    ASSERT_TRUE(startsPlaying(play)) << "no start line";
    std::this_thread::sleep_for(4s);
    ASSERT_TRUE(play.running()) << play.standardError();
    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(10s)) << play.standardError();
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording, "vesk_cli_play_");
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();

    const std::vector<Pass> passes = findPasses(recording, expected);
    ASSERT_FALSE(passes.empty()) << "no sound recorded";
    EXPECT_TRUE(passes[0].whole) << "not the stream's first three seconds, from " << passes[0].at;
}

TEST_F(CliPlay, SignalDuringTheFirstCycleStopsCleanly) {
    writeWholeFile(folder.file("long.txt"), fiveDots(40));
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        MonitorRecording monitor;
        ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
        ChildProcess play({kCli, "play", folder.file("long.txt")});
        ASSERT_TRUE(startsPlaying(play)) << "no start line";
        std::this_thread::sleep_for(400ms);
        ASSERT_TRUE(play.running()) << play.standardError();
        play.signal(signal);
        const auto signalled = std::chrono::steady_clock::now();
        ASSERT_TRUE(play.wait(10s)) << play.standardError();
        const auto drain = std::chrono::steady_clock::now() - signalled;
        std::this_thread::sleep_for(300ms);
        const std::vector<std::int16_t> recording = monitor.stop();
        const KeepOnFailure keep(recording, "vesk_cli_play_");

        const std::string err = play.standardError();
        EXPECT_EQ(play.exitCode(), 0) << err;
        // The queued sound (64 blocks, about 186 ms) plays out, and not the rest of the cycle.
        EXPECT_GE(drain, 120ms);
        EXPECT_LT(drain, 1000ms);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
        EXPECT_NE(err.find("stopping"), std::string::npos) << err;
        EXPECT_TRUE(linesStartingWith(err, "cycle ").empty()) << err;
    }
}

TEST_F(CliPlay, KeysThroughTheComportItIsGiven) {
    Comport7 port;
    ASSERT_FALSE(port.device.empty());
    port.clearHangUpOnClose();

    MonitorRecording monitor; // keeps the null sink's latency low: the sound starts at once
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    ChildProcess play({kCli, "play", shortFile(), "--comport", "7", "--cycles", "1"},
                      port.modemEnvironment());
    ASSERT_TRUE(startsPlaying(play)) << "no start line";
    EXPECT_TRUE(holdsOpen(play.pid(), port.device)) << "the port is not open while playing";
    EXPECT_TRUE(port.hangsUpOnClose());
    ASSERT_TRUE(play.wait(20s)) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    EXPECT_TRUE(linesStartingWith(play.standardError(), "vesk-cli:").empty())
        << play.standardError();
    EXPECT_EQ(port.lineLog().rfind("DTR-\nRTS-\nDTR+\nRTS+\n", 0), 0u) << port.lineLog();
    EXPECT_TRUE(port.released()) << port.lineLog();
}

// Hang-up and quit end it like a terminate request; a reader of its output that goes away
// does not end it at all. Every way out leaves the lines released.
TEST_F(CliPlay, HangUpQuitAndABrokenPipeLeaveTheLinesReleased) {
    for (const int signal : {SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal == SIGHUP ? "SIGHUP" : "SIGQUIT");
        Comport7 port;
        ChildProcess play({kCli, "play", shortFile(), "--comport", "7"}, port.modemEnvironment());
        ASSERT_TRUE(waitFor([&] { return port.keyed(); }, 10s)) << play.standardError();
        play.signal(signal);
        ASSERT_TRUE(play.wait(5s)) << play.standardError();
        EXPECT_EQ(play.exitCode(), 0) << play.standardError();
        EXPECT_TRUE(port.released()) << port.lineLog();
    }
    Comport7 port;
    const RunResult piped =
        runProgram({platform::findExecutable("bash"), "-c",
                    "set -o pipefail; \"$0\" play \"$1\" --comport 7 --cycles 2 2>&1 | head -n 1",
                    kCli, shortFile()},
                   port.modemEnvironment(), {}, 20s);
    EXPECT_EQ(piped.exitCode, 0) << piped.out << piped.err;
    EXPECT_EQ(piped.out.rfind("playing ", 0), 0u) << piped.out;
    EXPECT_NE(port.lineLog().find("DTR+\nRTS+\n"), std::string::npos) << port.lineLog();
    EXPECT_TRUE(port.released()) << port.lineLog();
}

// A port or output that will not open, or lines that will not rise (a pty has none; the fake
// modem can fail them), end the tool before any cycle with one message naming the cause.
TEST_F(CliPlay, FailuresEndItBeforeAnyCycleWithOneMessage) {
    Comport7 port;
    ScratchFolder noPorts;
    EnvironmentChanges failing = port.modemEnvironment();
    failing["VESK_FAKE_MODEM_FAIL"] = "1";
    const EnvironmentChanges noCom7 = {{"VESK_COMPORT_DIR", noPorts.path().string()}};
    const struct {
        EnvironmentChanges environment;
        std::vector<std::string> options;
        const char* message;
    } cases[] = {
        {port.environment(),
         {"--comport", "7"},
         "vesk-cli: COM7: cannot raise DTR: Inappropriate ioctl for device"},
        {failing, {"--comport", "7"}, "vesk-cli: COM7: cannot raise DTR: Input/output error"},
        {noCom7, {"--comport", "7"}, "vesk-cli: Failure to open comport COM7 (COM7: "},
        {noCom7, {"--device", "99"}, "Error opening waveform audio device!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args{kCli, "play", shortFile(), "--cycles", "3"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult run = runProgram(args, c.environment, {}, 20s);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        const std::vector<std::string> messages = linesStartingWith(run.err, "vesk-cli:");
        ASSERT_EQ(messages.size(), 1u) << run.err;
        EXPECT_NE(messages[0].find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(linesStartingWith(run.err, "cycle ").empty()) << run.err;
    }
}

TEST_F(CliPlay, DevicesListsTheSoundOutputsAndWhereEachComportLeads) {
    Comport7 port;
    ASSERT_FALSE(port.device.empty());
    writeWholeFile(port.ports.file("COM7.txt"), "not a port name");
    const RunResult run = runProgram({kCli, "devices"}, port.environment(), {}, 20s);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    // The sound server is reached through ALSA's "pulse" and "default" devices, numbered from 0.
    std::vector<std::string> outputs;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        int index = -1;
        std::string rest;
        if (fields >> index && std::getline(fields >> std::ws, rest) &&
            index == static_cast<int>(outputs.size())) {
            outputs.push_back(rest);
        }
    }
    for (const char* name : {"pulse", "default"}) {
        EXPECT_NE(std::find(outputs.begin(), outputs.end(), name), outputs.end())
            << "no numbered line for \"" << name << "\" in\n"
            << run.out;
    }

    const std::vector<std::string> comports = linesStartingWith(run.out, "  COM");
    ASSERT_EQ(comports.size(), 1u) << run.out;
    EXPECT_EQ(comports[0].rfind("  COM7 ", 0), 0u) << comports[0];
    EXPECT_NE(comports[0].find(port.ports.file("COM7")), std::string::npos) << comports[0];
    EXPECT_NE(comports[0].find(port.device), std::string::npos) << comports[0];
}

} // namespace
} // namespace vesk
