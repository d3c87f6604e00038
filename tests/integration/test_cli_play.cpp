// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli play and devices against a real sound server.
#include "tests/integration/monitor_recording.h"

#include "tests/integration/fake_port.h"
#include "tests/integration/private_server.h"

#include "devices/cat/cat_rig.h"

#include "files/pattern_file.h"
#include "tests/core/rigctld.h"
#include "tests/core/scratch_folder.h"
#include "tone/pattern.h"
#include "tone/pattern_stream.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

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
        const RenderedSound render =
            renderPattern(readPatternText(fiveDots(kRepeatDots)).value(), amplitudeForLevel(100))
                .value();
        std::vector<std::int16_t> sound(static_cast<std::size_t>(render.sampleCount()));
        render.copySamples(0, sound.data(), static_cast<int>(sound.size()));
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
    const BeaconPattern pattern = readPatternText(text).value();
    const PatternStream stream = makePatternStream(pattern, amplitudeForLevel(100)).value();
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
        // Into the first cycle's sound, 0.4 to 0.9 s after the device starts.
        std::this_thread::sleep_for(600ms);
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
        // The start, the stop and the transmission it cut short; no cycle played to its end.
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
        EXPECT_NE(err.find("stopping"), std::string::npos) << err;
        EXPECT_NE(err.find("\tcycle 1\t"), std::string::npos) << err;
        EXPECT_EQ(err.find(" played, "), std::string::npos) << err;
    }
}

TEST_F(CliPlay, KeysThroughTheComportItIsGiven) {
    Comport7 port;
    ASSERT_FALSE(port.device.empty());
    port.setHangUpOnClose(false);

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
    const std::string nobody = "127.0.0.1:" + std::to_string(freePort());
    const std::string pipe = folder.file("log.fifo");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        EnvironmentChanges environment;
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {port.environment(),
         {"--comport", "7"},
         "vesk-cli: COM7: cannot raise DTR: Inappropriate ioctl for device"},
        {failing, {"--comport", "7"}, "vesk-cli: COM7: cannot raise DTR: Input/output error"},
        {noCom7, {"--comport", "7"}, "vesk-cli: Failure to open comport COM7 (COM7: "},
        {noCom7,
         {"--device", "99"},
         "vesk-cli: Error opening waveform audio device! (sound output 99: no such output)"},
        {noCom7,
         {"--ptt", "cat", "--rigctld", nobody},
         "vesk-cli: Failure to open the rig for PTT by CAT (Hamlib NET rigctl at " + nobody +
             ": cannot open: "},
        {noCom7, {"--log", shortFile() + "/log"}, "Cannot open the transmission log "},
        // Nobody reads the pipe: refused at once rather than waited on.
        {noCom7,
         {"--log", pipe},
         "Cannot open the transmission log " + pipe + ": not a regular file but a pipe"},
        {noCom7,
         {"--log", "/dev/null"},
         "Cannot open the transmission log /dev/null: not a regular file but a device"},
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
        // No cycle played, nothing was keyed.
        EXPECT_EQ(run.err.find("cycle "), std::string::npos) << run.err;
    }
}

// Each method leaves its own levels, the line it does not use cleared: released at the open,
// keyed while the pattern sounds, released at the end and after a terminate request that
// comes while keyed. Only a method that releases with both lines cleared hangs up on close.
TEST_F(CliPlay, EachLineMethodKeysAndReleasesItsOwnLevels) {
    const struct {
        std::vector<std::string> options;
        std::string keyed, released, described;
    } methods[] = {
        {{}, "DTR+\nRTS+\n", "DTR-\nRTS-\n", "DTR+RTS on COM 7"},
        {{"--ptt", "dtr"}, "DTR+\nRTS-\n", "DTR-\nRTS-\n", "DTR on COM 7"},
        {{"--ptt", "rts"}, "DTR-\nRTS+\n", "DTR-\nRTS-\n", "RTS on COM 7"},
        {{"--ptt", "both", "--invert"},
         "DTR-\nRTS-\n",
         "DTR+\nRTS+\n",
         "DTR+RTS inverted on COM 7"},
        {{"--invert", "--ptt", "dtr"}, "DTR-\nRTS-\n", "DTR+\nRTS-\n", "DTR inverted on COM 7"},
        {{"--ptt", "rts", "--invert"}, "DTR-\nRTS-\n", "DTR-\nRTS+\n", "RTS inverted on COM 7"},
    };
    const auto pairs = [](const std::string& log) {
        std::vector<std::string> levels;
        for (std::size_t at = 0; at + 10 <= log.size(); at += 10) {
            levels.push_back(log.substr(at, 10));
        }
        return levels;
    };
    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    for (const auto& m : methods) {
        SCOPED_TRACE(m.described);
        Comport7 port;
        const bool hangsUp = m.released == "DTR-\nRTS-\n";
        port.setHangUpOnClose(!hangsUp); // the tool is to switch it as the method needs
        std::vector<std::string> args{kCli,        "play",  shortFile(),
                                      "--comport", "7",     "--cycles",
                                      "1",         "--log", folder.file("lines.log")};
        args.insert(args.end(), m.options.begin(), m.options.end());
        const RunResult run = runProgram(args, port.modemEnvironment(), {}, 20s);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> levels = pairs(port.lineLog());
        ASSERT_GE(levels.size(), 3u) << port.lineLog();
        EXPECT_EQ(levels[0], m.released) << port.lineLog();
        EXPECT_EQ(levels[1], m.keyed) << port.lineLog();
        EXPECT_EQ(levels.back(), m.released) << port.lineLog();
        EXPECT_EQ(std::count(levels.begin(), levels.end(), m.keyed), 1) << port.lineLog();
        EXPECT_EQ(std::count(levels.begin(), levels.end(), m.released) + 1,
                  static_cast<std::ptrdiff_t>(levels.size()))
            << port.lineLog();
        EXPECT_EQ(port.hangsUpOnClose(), hangsUp);
        const auto lines = transmissionFields(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        ASSERT_EQ(lines[0].size(), 6u) << run.err;
        EXPECT_EQ(lines[0][4], m.described);
    }

    const auto& inverted = methods[4];
    Comport7 port;
    ChildProcess play({kCli, "play", shortFile(), "--comport", "7", "--ptt", "dtr", "--invert",
                       "--log", folder.file("signal.log")},
                      port.modemEnvironment());
    ASSERT_TRUE(waitFor(
        [&] {
            const std::vector<std::string> levels = pairs(port.lineLog());
            return !levels.empty() && levels.back() == inverted.keyed;
        },
        10s))
        << play.standardError();
    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(5s)) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    EXPECT_EQ(pairs(port.lineLog()).back(), inverted.released) << port.lineLog();
    EXPECT_EQ(transmissionFields(readWholeFile(folder.file("signal.log"))).size(), 1u);
}

// By CAT through a running rigctld: a second connection to it sees the rig keyed, released
// between cycles, and released after a terminate request that came while it was keyed. The
// in-process dummy rig of Hamlib keys and logs as well.
TEST_F(CliPlay, KeysARigByCatThroughRigctldOrByModel) {
    Rigctld server;
    ASSERT_TRUE(server.running()) << "rigctld (libhamlib-utils) did not start";
    CatRig reader;
    ASSERT_TRUE(reader.open(RigAddress::rigctld(server.hostPort())).ok());
    ChildProcess play({kCli, "play", shortFile(), "--ptt", "cat", "--rigctld", server.hostPort(),
                       "--log", folder.file("rigctld.log")});
    for (const bool keyed : {true, false, true}) {
        ASSERT_TRUE(waitFor([&] { return reader.ptt() == keyed; }, 10s))
            << "never " << (keyed ? "keyed" : "released") << "\n"
            << play.standardError();
    }
    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(5s)) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    EXPECT_EQ(reader.ptt(), false) << "left keyed";
    const auto logged = transmissionFields(readWholeFile(folder.file("rigctld.log")));
    ASSERT_EQ(logged.size(), 2u) << play.standardError();
    EXPECT_EQ(logged[1][4], "CAT to rigctld at " + server.hostPort());

    const RunResult model = runProgram({kCli, "play", shortFile(), "--ptt", "cat", "--rig", "1",
                                        "--cycles", "1", "--log", folder.file("model.log")},
                                       {}, {}, 20s);
    EXPECT_EQ(model.exitCode, 0) << model.err;
    const auto modelLogged = transmissionFields(readWholeFile(folder.file("model.log")));
    ASSERT_EQ(modelLogged.size(), 1u) << model.err;
    EXPECT_EQ(modelLogged[0][4].rfind("CAT to Hamlib model 1", 0), 0u) << modelLogged[0][4];
}

// "2026-12-07T05:30:00.012Z" as milliseconds since the epoch; -1 when it is not one.
std::int64_t utcMilliseconds(const std::string& text) {
    std::tm utc{};
    int ms = -1;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &utc.tm_year, &utc.tm_mon,
                    &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &ms) != 7) {
        return -1;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return static_cast<std::int64_t>(::timegm(&utc)) * 1000 + ms;
}

// A stop signal at any moment of the start, before the handler is in place included, ends
// play the orderly way (status 0, never keyed afterwards), never by its default action: held
// from vesk-cli's first code through the hand-over to the sound helper, it waits for the
// handler. The moments count from that first code (once the signals are held) over 150 ms.
TEST_F(CliPlay, ASignalEarlyInTheStartEndsItTheOrderlyWay) {
    const unsigned seed = static_cast<unsigned>(::time(nullptr));
    for (const auto& [signal, moment] : stopSignalMoments(12, 150ms, seed)) {
        SCOPED_TRACE("signal " + std::to_string(signal) + " at " + std::to_string(moment.count()) +
                     " us, seed " + std::to_string(seed));
        Comport7 port;
        ChildProcess play(
            {kCli, "play", shortFile(), "--comport", "7", "--log", folder.file("log")},
            port.modemEnvironment());
        ASSERT_TRUE(waitUntilHoldingStopSignals(play.pid()))
            << "the stop signals are not held at start";
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + moment);
        play.signal(signal);
        ASSERT_TRUE(play.wait(10s)) << play.standardError();
        EXPECT_EQ(play.endingSignal(), 0) << "ended by the default action";
        EXPECT_EQ(play.exitCode(), 0) << play.standardError();
        EXPECT_FALSE(port.keyed()) << port.lineLog();
    }
}

// A log that may not grow (a file size limit just above its size) takes no part of a line and
// does not end the beacon (SIGXFSZ): both cycles play and reach stderr, the failure is told
// once, and the tool ends with 1.
TEST_F(CliPlay, ALogThatCannotGrowGetsNoPartOfALineAndTheBeaconGoesOn) {
    const std::string log = folder.file("full.log");
    const std::string before(2000, '#');
    writeWholeFile(log, before);
    // bash counts the limit in KiB: the log may grow by 48 bytes, less than a line.
    const RunResult run = runProgram(
        {platform::findExecutable("bash"), "-c",
         "ulimit -f 2; exec \"$0\" play \"$1\" --cycles 2 --log \"$2\"", kCli, shortFile(), log},
        {}, {}, 30s);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(transmissionFields(run.err).size(), 2u) << run.err;
    EXPECT_EQ(linesStartingWith(run.err, "vesk-cli: Cannot write to the transmission log " + log +
                                             ": File too large")
                  .size(),
              1u)
        << run.err;
    EXPECT_EQ(readWholeFile(log), before);
}

// The sound server going away under a playing beacon: whatever the tool says about it,
// PortAudio's own diagnostics ("Expression ... failed in ... pa_linux_alsa.c") are not in it.
TEST_F(CliPlay, PortAudiosOwnLinesStayOutOfItsOutputWhenTheServerGoes) {
    PrivateServer server;
    ChildProcess play({kCli, "play", shortFile()});
    ASSERT_TRUE(
        waitFor([&] { return play.standardError().find(" played, ") != std::string::npos; }, 10s))
        << play.standardError();
    server.stop();
    play.wait(3s);
    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(10s)) << play.standardError();
    const std::string err = play.standardError();
    EXPECT_EQ(err.find("pa_linux_alsa.c"), std::string::npos) << err;
    EXPECT_EQ(err.find("Expression '"), std::string::npos) << err;
}

// Three cycles, three lines, in the log file and on stderr alike: each with the times the
// lines were keyed and released (as the port saw them, on the wall clock), the pattern, the
// keying and the gaps in the sound.
TEST_F(CliPlay, LogsEachTransmissionWithTheTimesTheLinesChanged) {
    Comport7 port;
    EnvironmentChanges environment = port.modemEnvironment();
    environment["VESK_FAKE_MODEM_TIMES"] = "realtime";
    const std::string logFile = folder.file("state/vesk/transmissions.log");
    const RunResult run =
        runProgram({kCli, "play", shortFile(), "--comport", "7", "--cycles", "3", "--log", logFile},
                   environment, {}, 30s);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string logged = readWholeFile(logFile);
    const auto lines = transmissionFields(logged);
    ASSERT_EQ(lines.size(), 3u) << logged;
    EXPECT_EQ(transmissionFields(run.err), lines) << run.err;
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 3) << logged;

    // DTR changes first: its stamps are the keying's and the release's.
    std::vector<std::int64_t> keyedAt, releasedAt;
    std::istringstream changes(port.lineLog());
    std::string change;
    double seconds = 0;
    while (changes >> change >> seconds) {
        const auto ms = static_cast<std::int64_t>(std::llround(seconds * 1000));
        if (change == "DTR+") {
            keyedAt.push_back(ms);
        } else if (change == "DTR-" && releasedAt.size() < keyedAt.size()) {
            releasedAt.push_back(ms);
        }
    }
    ASSERT_EQ(keyedAt.size(), 3u) << port.lineLog();
    ASSERT_EQ(releasedAt.size(), 3u) << port.lineLog();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(logged);
        ASSERT_EQ(lines[i].size(), 6u);
        EXPECT_NEAR(static_cast<double>(utcMilliseconds(lines[i][0]) - keyedAt[i]), 0.0, 10.0);
        EXPECT_NEAR(static_cast<double>(utcMilliseconds(lines[i][1]) - releasedAt[i]), 0.0, 10.0);
        EXPECT_EQ(lines[i][2], "cycle " + std::to_string(i + 1));
        EXPECT_EQ(lines[i][3], shortFile());
        EXPECT_EQ(lines[i][4], "DTR+RTS on COM 7");
        EXPECT_EQ(lines[i][5], "0 underruns");
    }
}

// Keying options that do not go together end the tool before it plays, with one line.
TEST(CliPlayOptions, KeyingOptionsThatDoNotFitEndItWithOneLine) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--ptt", "key"}, "--ptt takes dtr, rts, both or cat, not \"key\""},
        {{"--ptt", "cat"}, "--ptt cat needs --rig MODEL or --rigctld HOST:PORT"},
        {{"--ptt", "cat", "--rig", "1", "--rigctld", "localhost:4532"},
         "--rig and --rigctld do not go together"},
        {{"--invert", "--ptt", "cat", "--rig", "1"}, "--invert is for the DTR and RTS lines"},
        {{"--ptt", "cat", "--rigctld", "localhost:4532", "--rig-port", "/dev/ttyUSB0"},
         "--rig-port needs --rig MODEL"},
        {{"--rig-speed", "9600"}, "--rig-speed needs --rig MODEL"},
        {{"--rig", "1"}, "--rig keys by CAT: give --ptt cat"},
        {{"--ptt", "cat", "--rig", "1", "--comport", "7"}, "--comport is for keying by the lines"},
        {{"--ptt", "cat", "--rigctld", "localhost"}, "--ptt cat: "},
        {{"--ptt", "cat", "--rig", "one"}, "--rig takes a whole number from 1, not \"one\""},
        {{"--log", ""}, "option --log needs a value"},
    };
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), fiveDots(kRepeatDots));
    for (const auto& [options, message] : cases) {
        SCOPED_TRACE(message);
        std::vector<std::string> args{kCli, "play", folder.file("short.txt")};
        args.insert(args.end(), options.begin(), options.end());
        const RunResult run = runProgram(args, {{"VESK_COMPORT_DIR", folder.path().string()}});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.rfind("vesk-cli: " + message, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
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
