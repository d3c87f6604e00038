// vesk-cli play and devices against a real sound server: a PulseAudio null sink "vesk" as the
// default sink, recorded through its monitor (tests/integration/start-pulse.sh sets it up).
#include "tests/integration/child_process.h"

#include "files/pattern_file.h"
#include "tests/core/scratch_folder.h"
#include "tone/pattern.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kCli = VESK_CLI_PATH;
constexpr int kRate = 44100;

// Five tone dots of 50 ms on different rows with silence between, 10 slots in use, a cycle
// of 21 dots (1050 ms).
constexpr int kDotMs = 50;
constexpr int kRepeatDots = 20;
const std::string kShortPattern =
    "50 9 50 1000 20\r\n"
    "8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n0 1\r\n16 1\r\n0 1\r\n";
// The same five dots repeated every 41 dots (2050 ms): room to interrupt the first cycle.
const std::string kLongCyclePattern = "50 9 50 1000 40\r\n"
                                      "8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n0 1\r\n16 "
                                      "1\r\n0 1\r\n";

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

// Empty when the null sink is there and is where the system's default output plays.
std::string soundServerMissing() {
    const std::string pactl = findProgram("pactl");
    if (pactl.empty() || findProgram("parec").empty()) {
        return "pactl and parec are needed (pulseaudio-utils)";
    }
    const RunResult info = runProgram({pactl, "info"}, {}, {}, 10s);
    if (info.exitCode != 0) {
        return "no PulseAudio server (source tests/integration/start-pulse.sh first)";
    }
    if (info.out.find("Default Sink: vesk\n") == std::string::npos) {
        return "the null sink \"vesk\" is not the default sink";
    }
    return {};
}

#define SKIP_WITHOUT_SOUND_SERVER()                                                                \
    do {                                                                                           \
        const std::string reason = soundServerMissing();                                           \
        if (!reason.empty()) {                                                                     \
            GTEST_SKIP() << reason;                                                                \
        }                                                                                          \
    } while (false)

// What reaches the null sink, recorded from its monitor for as long as the object lives. An
// idle null sink renders silence up to two seconds ahead, and a new stream waits behind it;
// a monitor recording at low latency keeps it rendering in small steps, so every play runs
// with one.
class MonitorRecording {
public:
    MonitorRecording()
        : parec_({findProgram("parec"), "-d", "vesk.monitor", "--format=s16le", "--rate=44100",
                  "--channels=1", "--latency-msec=20"}) {}

    // Waits until the recording runs (50 ms of samples have arrived).
    bool started() {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (parec_.running() && parec_.standardOutput().size() < 4410) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return parec_.running();
    }

    std::vector<std::int16_t> stop() {
        parec_.signal(SIGTERM);
        parec_.wait(5s);
        const std::string bytes = parec_.standardOutput();
        std::vector<std::int16_t> samples(bytes.size() / 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] =
                static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                          static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        }
        return samples;
    }

private:
    ChildProcess parec_;
};

// The samples the engine renders in this process for a pattern text at peak `amplitude`.
std::vector<std::int16_t> renderText(const std::string& text, std::int32_t amplitude) {
    const RenderResult render = renderPattern(readPatternText(text), amplitude);
    EXPECT_TRUE(render.ok) << render.error;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(render.sound.sampleCount()));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = render.sound.sample(static_cast<std::int64_t>(i));
    }
    return samples;
}

// Keeps a recording next to the test log when the test has failed.
void keepRecordingIfFailed(const std::vector<std::int16_t>& samples) {
    if (!::testing::Test::HasFailure()) {
        return;
    }
    const std::string name = std::string("vesk_cli_play_") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                             ".wav";
    std::string wav;
    const auto put = [&wav](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            wav += static_cast<char>((value >> (8 * i)) & 0xFFu);
        }
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    wav += "RIFF";
    put(dataBytes + 36, 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(kRate, 4);
    put(kRate * 2, 4);
    put(2, 2);
    put(16, 2);
    wav += "data";
    put(dataBytes, 4);
    for (const std::int16_t s : samples) {
        put(static_cast<std::uint16_t>(s), 2);
    }
    writeWholeFile(name, wav);
    std::cerr << "recording kept in " << fs::absolute(name).string() << '\n';
}

// Keeps the recording when the test fails, whichever assertion ends it.
class KeepOnFailure {
public:
    explicit KeepOnFailure(const std::vector<std::int16_t>& samples) : samples_(samples) {}
    ~KeepOnFailure() { keepRecordingIfFailed(samples_); }
    KeepOnFailure(const KeepOnFailure&) = delete;
    KeepOnFailure& operator=(const KeepOnFailure&) = delete;

private:
    const std::vector<std::int16_t>& samples_;
};

struct Match {
    std::size_t at = 0;       // first sample of the pattern in the recording
    double correlation = 0.0; // normalised, 1 for a perfect copy
};

double correlationAt(const std::vector<std::int16_t>& recording,
                     const std::vector<std::int16_t>& pattern, std::size_t at) {
    double cross = 0.0;
    double energyR = 0.0;
    double energyP = 0.0;
    for (std::size_t j = 0; j < pattern.size(); ++j) {
        const double r = recording[at + j];
        const double p = pattern[j];
        cross += r * p;
        energyR += r * r;
        energyP += p * p;
    }
    return energyR > 0.0 && energyP > 0.0 ? cross / std::sqrt(energyR * energyP) : 0.0;
}

// Every stretch of the recording that starts loud, matched against the whole pattern by
// cross-correlation over lags around the place where it becomes loud.
std::vector<Match> findPattern(const std::vector<std::int16_t>& recording,
                               const std::vector<std::int16_t>& pattern) {
    const auto loud = [](std::int16_t s) {
        return std::abs(s) > 1000;
    };
    const auto firstLoud = std::find_if(pattern.begin(), pattern.end(), loud);
    const auto lead = static_cast<std::size_t>(firstLoud - pattern.begin());
    constexpr std::size_t kSearch = 441; // 10 ms either side
    std::vector<Match> matches;
    std::size_t from = 0;
    while (recording.size() >= pattern.size()) {
        const auto onset = std::find_if(recording.begin() + static_cast<std::ptrdiff_t>(from),
                                        recording.end(), loud);
        if (onset == recording.end()) {
            break;
        }
        const auto loudAt = static_cast<std::size_t>(onset - recording.begin());
        const std::size_t centre = loudAt > lead ? loudAt - lead : 0;
        const std::size_t first = centre > kSearch ? centre - kSearch : 0;
        const std::size_t last = std::min(centre + kSearch, recording.size() - pattern.size());
        Match best;
        for (std::size_t at = first; at <= last; ++at) {
            const double c = correlationAt(recording, pattern, at);
            if (c > best.correlation) {
                best = {at, c};
            }
        }
        if (first <= last) {
            matches.push_back(best);
        }
        from = std::max(best.at, loudAt) + pattern.size();
        if (from >= recording.size()) {
            break;
        }
    }
    return matches;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& start) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(start, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

TEST(CliPlay, PlaysThePatternOncePerCycleAndEnds) {
    SKIP_WITHOUT_SOUND_SERVER();
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), kShortPattern);
    const std::vector<std::int16_t> pattern = renderText(kShortPattern, amplitudeForLevel(100));

    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    const auto start = std::chrono::steady_clock::now();
    ChildProcess play({kCli, "play", folder.file("short.txt"), "--level", "100", "--cycles", "3"});
    const bool ended = play.wait(30s);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::this_thread::sleep_for(300ms);
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording);

    ASSERT_TRUE(ended) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    // The first cycle lasts repeatDots dots, the next two repeatDots + 1 each.
    EXPECT_GE(elapsed, std::chrono::milliseconds((3 * kRepeatDots + 2) * kDotMs));
    EXPECT_EQ(linesStartingWith(play.standardError(), "cycle "),
              (std::vector<std::string>{"cycle 1 played", "cycle 2 played", "cycle 3 played"}))
        << play.standardError();
    EXPECT_TRUE(linesStartingWith(play.standardError(), "vesk-cli:").empty())
        << play.standardError();

    // A new stream may lose its first milliseconds on the monitor, so the first pass is not
    // judged; the restarts of cycles 2 and 3 must each bring the whole pattern, one cycle
    // apart. Nothing follows them: the stop after cycle 3 comes before a fourth pass.
    const std::vector<Match> matches = findPattern(recording, pattern);
    std::vector<Match> whole;
    for (const Match& m : matches) {
        if (m.correlation > 0.99) {
            whole.push_back(m);
        }
    }
    ASSERT_GE(matches.size(), 2u) << "pattern passes found: " << matches.size();
    ASSERT_GE(whole.size(), 2u) << "whole pattern passes: " << whole.size();
    EXPECT_EQ(whole.back().at, matches.back().at) << "the last pass is not the whole pattern";
    const Match& second = whole[whole.size() - 2];
    const Match& third = whole.back();
    const double periodMs = 1000.0 * static_cast<double>(third.at - second.at) / kRate;
    EXPECT_NEAR(periodMs, (kRepeatDots + 1) * kDotMs, 10.0)
        << "passes at samples " << second.at << " and " << third.at;
    // Between the passes: the silent rest of the cycle.
    for (std::size_t i = second.at + pattern.size(); i < third.at; ++i) {
        ASSERT_LE(std::abs(recording[i]), 4) << "sound at sample " << i << " between passes";
    }
}

TEST(CliPlay, SignalDuringTheFirstCycleStopsCleanly) {
    SKIP_WITHOUT_SOUND_SERVER();
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        ScratchFolder folder;
        writeWholeFile(folder.file("long.txt"), kLongCyclePattern);
        MonitorRecording monitor;
        ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
        ChildProcess play({kCli, "play", folder.file("long.txt")});
        ASSERT_TRUE(play.waitForError("\n", 10s)) << "no start line";
        std::this_thread::sleep_for(400ms);
        ASSERT_TRUE(play.running()) << play.standardError();
        play.signal(signal);
        const auto signalled = std::chrono::steady_clock::now();
        ASSERT_TRUE(play.wait(10s)) << play.standardError();
        const auto drain = std::chrono::steady_clock::now() - signalled;
        std::this_thread::sleep_for(300ms);
        const std::vector<std::int16_t> recording = monitor.stop();
        const KeepOnFailure keep(recording);

        EXPECT_EQ(play.endSignal(), 0);
        EXPECT_EQ(play.exitCode(), 0) << play.standardError();
        // The queued sound (64 blocks, about 186 ms) plays out before the tool ends, and not
        // the rest of the cycle.
        EXPECT_GE(drain, 120ms);
        EXPECT_LT(drain, 1000ms);
        const std::string err = play.standardError();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
        EXPECT_NE(err.find("stopping"), std::string::npos) << err;
        EXPECT_TRUE(linesStartingWith(err, "cycle ").empty()) << err;
    }
}

// A pseudo-terminal stands in for a serial port: the tool sees a tty.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            if (const char* name = ::ptsname(master_)) {
                path_ = name;
            }
        }
    }
    ~PseudoTerminal() {
        if (master_ >= 0) {
            ::close(master_);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    std::string path_;
};

bool holdsOpen(pid_t pid, const std::string& device) {
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (fs::read_symlink(entry.path(), error).string() == device) {
            return true;
        }
    }
    return false;
}

TEST(CliPlay, KeysThroughTheComportItIsGiven) {
    SKIP_WITHOUT_SOUND_SERVER();
    PseudoTerminal port;
    ASSERT_FALSE(port.path().empty());
    ScratchFolder ports;
    fs::create_symlink(port.path(), ports.file("COM7"));
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), kShortPattern);

    MonitorRecording monitor; // keeps the null sink's latency low: the sound starts at once
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    ChildProcess play({kCli, "play", folder.file("short.txt"), "--comport", "7", "--cycles", "1"},
                      {{"VESK_COMPORT_DIR", ports.path().string()}});
    ASSERT_TRUE(play.waitForError("\n", 10s)) << "no start line";
    EXPECT_TRUE(holdsOpen(play.pid(), port.path())) << "the port is not open while playing";
    ASSERT_TRUE(play.wait(20s)) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    EXPECT_TRUE(linesStartingWith(play.standardError(), "vesk-cli:").empty())
        << play.standardError();
}

TEST(CliPlay, RefusesAPortOrOutputItCannotOpen) {
    SKIP_WITHOUT_SOUND_SERVER();
    ScratchFolder ports; // no COM7 in it
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), kShortPattern);
    struct Case {
        const char* name;
        std::vector<std::string> options;
        const char* mentions;
    };
    const Case cases[] = {
        {"no such comport", {"--comport", "7"}, "COM7"},
        {"no such sound output", {"--device", "99"}, "Error opening waveform audio device!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{kCli, "play", folder.file("short.txt"), "--cycles", "1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult run =
            runProgram(args, {{"VESK_COMPORT_DIR", ports.path().string()}}, {}, 20s);
        ASSERT_TRUE(run.finished);
        EXPECT_GT(run.exitCode, 0) << run.err;
        const std::vector<std::string> messages = linesStartingWith(run.err, "vesk-cli:");
        ASSERT_EQ(messages.size(), 1u) << run.err;
        EXPECT_NE(messages[0].find(c.mentions), std::string::npos) << run.err;
        EXPECT_TRUE(linesStartingWith(run.err, "cycle ").empty()) << run.err;
    }
}

// The description PulseAudio gives the sink named `name`.
std::string sinkDescription(const std::string& name) {
    const RunResult sinks = runProgram({findProgram("pactl"), "list", "sinks"}, {}, {}, 10s);
    std::istringstream in(sinks.out);
    std::string line;
    bool inSink = false;
    while (std::getline(in, line)) {
        const std::size_t text = line.find_first_not_of(" \t");
        if (text == std::string::npos) {
            continue;
        }
        const std::string field = line.substr(text);
        if (field.rfind("Name: ", 0) == 0) {
            inSink = field == "Name: " + name;
        } else if (inSink && field.rfind("Description: ", 0) == 0) {
            return field.substr(13);
        }
    }
    return {};
}

TEST(CliDevices, ListsTheSoundOutputsAndWhereEachComportLeads) {
    SKIP_WITHOUT_SOUND_SERVER();
    PseudoTerminal port;
    ASSERT_FALSE(port.path().empty());
    ScratchFolder ports;
    fs::create_symlink(port.path(), ports.file("COM7"));
    writeWholeFile(ports.file("COM7.txt"), "not a port name");

    const RunResult run =
        runProgram({kCli, "devices"}, {{"VESK_COMPORT_DIR", ports.path().string()}}, {}, 20s);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const std::string description = sinkDescription("vesk");
    ASSERT_FALSE(description.empty());
    bool listed = false;
    std::istringstream in(run.out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int index = -1;
        std::string rest;
        if (fields >> index && std::getline(fields >> std::ws, rest) && rest == description) {
            listed = index >= 0;
        }
    }
    EXPECT_TRUE(listed) << "no numbered line for \"" << description << "\" in\n" << run.out;

    const std::vector<std::string> comports = linesStartingWith(run.out, "  COM");
    ASSERT_EQ(comports.size(), 1u) << run.out;
    EXPECT_EQ(comports[0].rfind("  COM7 ", 0), 0u) << comports[0];
    EXPECT_NE(comports[0].find(ports.file("COM7")), std::string::npos) << comports[0];
    EXPECT_NE(comports[0].find(port.path()), std::string::npos) << comports[0];
}

} // namespace
} // namespace vesk
