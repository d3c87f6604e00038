// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli play when its devices fail for real: a sound server killed and started again, a
// serial adapter pulled out and plugged in (a pty closed and another linked in its place),
// rigctld killed and started again, a sound server that stalls, a wall clock that steps.
#include "tests/integration/monitor_recording.h"

#include "tests/core/rigctld.h"
#include "tests/core/scratch_folder.h"
#include "tests/integration/fake_port.h"

#include "files/pattern_file.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vesk {
namespace {

using namespace std::chrono_literals;

const std::string kCli = VESK_CLI_PATH;

// Five tone dots of 50 ms with silence between, in a cycle of 41 dots (2050 ms): keyed about
// 0.74 s of each cycle.
const char* const kPattern =
    "50 9 50 1000 40\r\n8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n0 1\r\n16 1\r\n0 1\r\n";

double monotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A line change of the fake modem's log: keyed or released, at CLOCK_MONOTONIC seconds.
struct LineChange {
    bool keyed = false;
    double at = 0.0;
};

// The keyings and releases (the RTS line's, which changes last) of a timed modem log.
std::vector<LineChange> lineChanges(const std::string& log) {
    std::vector<LineChange> changes;
    std::istringstream in(log);
    std::string line;
    double at = 0.0;
    while (in >> line >> at) {
        if (line == "RTS+" || line == "RTS-") {
            changes.push_back({line == "RTS+", at});
        }
    }
    return changes;
}

// The lines as the last change left them: released.
bool endsReleased(const Comport7& port) {
    const auto changes = lineChanges(port.lineLog());
    return !changes.empty() && !changes.back().keyed;
}

// The first change of kind `keyed` after `after`, or none.
std::optional<double> firstChange(const std::vector<LineChange>& changes, bool keyed,
                                  double after) {
    for (const LineChange& change : changes) {
        if (change.keyed == keyed && change.at > after) {
            return change.at;
        }
    }
    return std::nullopt;
}

// A PulseAudio server of the test's own, in a scratch folder, that the test may kill, start
// again and stop, with the null sink "vesk" as its default sink.
class OwnSoundServer {
public:
    OwnSoundServer() { start(); }
    ~OwnSoundServer() { signal(SIGKILL); }

    bool start() {
        const RunResult started = runProgram(
            {"/bin/bash", std::string(VESK_SOURCE_DIR) + "/tests/integration/start-pulse.sh"},
            {{"VESK_PULSE_DIR", folder_.path().string()}}, {}, 20s);
        return started.exitCode == 0;
    }
    // SIGKILL: a server that dies; SIGSTOP and SIGCONT: one that stalls and goes on.
    void signal(int number) {
        const std::string pid = readWholeFile(folder_.file("pulse/pid"));
        if (!pid.empty()) {
            ::kill(static_cast<pid_t>(std::stol(pid)), number);
        }
        if (number == SIGKILL) {
            waitFor(
                [this] {
                    return !std::filesystem::exists(folder_.file("pulse/native")) || !answers();
                },
                5s);
        }
    }
    bool answers() const {
        return runProgram({platform::findExecutable("pactl"), "info"}, environment(), {}, 5s)
                   .exitCode == 0;
    }
    EnvironmentChanges environment() const {
        return {{"PULSE_SERVER", "unix:" + folder_.file("pulse/native")}};
    }

private:
    ScratchFolder folder_;
};

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        if (platform::findExecutable("pulseaudio").empty() ||
            platform::findExecutable("pactl").empty()) {
            GTEST_SKIP() << "pulseaudio and pactl are needed (pulseaudio pulseaudio-utils)";
        }
        writeWholeFile(folder.file("p.txt"), kPattern);
    }
    // play on COM7 with the timed fake modem, its sound on `server`'s null sink.
    EnvironmentChanges playEnvironment(const Comport7& port, const OwnSoundServer& server) const {
        EnvironmentChanges changes = port.modemEnvironment();
        changes["VESK_FAKE_MODEM_TIMES"] = "monotonic";
        for (const auto& [name, value] : server.environment()) {
            changes[name] = value;
        }
        return changes;
    }
    std::vector<std::string> playArgs(std::vector<std::string> more) const {
        std::vector<std::string> args{kCli, "play", folder.file("p.txt"), "--log",
                                      folder.file("log")};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    // Until the lines have been keyed (and released, with `released`) at least `times` times.
    static bool waitForChanges(const Comport7& port, bool keyed, std::size_t times,
                               std::chrono::milliseconds limit) {
        return waitFor(
            [&] {
                const auto changes = lineChanges(port.lineLog());
                return static_cast<std::size_t>(std::count_if(
                           changes.begin(), changes.end(),
                           [keyed](const LineChange& c) { return c.keyed == keyed; })) >= times;
            },
            limit);
    }

    ScratchFolder folder;
};

// The sound server killed mid-transmission: the PTT is released within 100 ms, nothing is
// keyed while it is gone, and once it runs again the next cycle sounds and is keyed; the
// beacon says so on stderr and in its log.
TEST_F(CliFaults, ASoundServerKilledAndStartedAgainIsWaitedForAndPlayedOn) {
    OwnSoundServer server;
    ASSERT_TRUE(server.answers()) << "the test's own sound server did not start";
    Comport7 port;
    ChildProcess play(playArgs({"--comport", "7"}), playEnvironment(port, server));
    ASSERT_TRUE(waitForChanges(port, true, 2, 15s)) << play.standardError();
    // Into the second transmission's sound.
    std::this_thread::sleep_for(300ms);
    const double killedAt = monotonicNow();
    server.signal(SIGKILL);
    std::this_thread::sleep_for(3s);
    const auto whileGone = lineChanges(port.lineLog());
    const std::optional<double> released = firstChange(whileGone, false, killedAt);
    ASSERT_TRUE(released.has_value()) << port.lineLog();
    EXPECT_LT(*released - killedAt, 0.1) << "released within 100 ms of the loss";
    EXPECT_FALSE(firstChange(whileGone, true, killedAt).has_value()) << "keyed without sound";

    ASSERT_TRUE(server.start());
    const double backAt = monotonicNow();
    ASSERT_TRUE(
        waitFor([&] { return firstChange(lineChanges(port.lineLog()), true, backAt); }, 10s))
        << play.standardError();
    // The sound is there again while keyed.
    ChildProcess parec({platform::findExecutable("parec"), "-d", "vesk.monitor", "--format=s16le",
                        "--rate=44100", "--channels=1", "--latency-msec=20"},
                       server.environment());
    std::this_thread::sleep_for(2500ms);
    parec.signal(SIGTERM);
    ASSERT_TRUE(parec.wait(5s));
    const std::string bytes = parec.standardOutput();
    EXPECT_TRUE(std::any_of(bytes.begin(), bytes.end(), [](char b) { return b != 0; }))
        << "no sound after the server came back";

    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(10s));
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    const std::string err = play.standardError();
    EXPECT_NE(err.find("vesk-cli: waiting for the sound output: "), std::string::npos) << err;
    EXPECT_NE(err.find(" playing again"), std::string::npos) << err;
    const std::string log = readWholeFile(folder.file("log"));
    EXPECT_NE(log.find("\tevent\twaiting for the sound output: "), std::string::npos) << log;
    EXPECT_NE(log.find("\tevent\tthe sound output is back: playing again"), std::string::npos)
        << log;
    EXPECT_TRUE(endsReleased(port));
}

// The adapter behind COM7 pulled out and plugged in again under another device number, as a USB
// adapter may come back: released and reported when a keying fails, opened again by its by-id
// name, keyed again.
TEST_F(CliFaults, AComportPulledOutAndPluggedInAgainIsOpenedAgain) {
    OwnSoundServer server;
    ASSERT_TRUE(server.answers());
    Comport7 port;
    ChildProcess play(playArgs({"--comport", "7"}), playEnvironment(port, server));
    ASSERT_TRUE(waitForChanges(port, false, 2, 15s)) << play.standardError();
    // Held open here, the old device keeps its number while the new one is made.
    const std::string oldDevice = port.device;
    const int holder = ::open(oldDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    port.pullOut();
    ASSERT_TRUE(waitFor(
        [&] { return play.standardError().find("waiting for the keyer") != std::string::npos; },
        10s))
        << play.standardError();
    std::this_thread::sleep_for(1500ms);
    port.plugIn(true);
    ::close(holder);
    ASSERT_NE(port.device, oldDevice);
    const double pluggedAt = monotonicNow();
    ASSERT_TRUE(
        waitFor([&] { return firstChange(lineChanges(port.lineLog()), true, pluggedAt); }, 15s))
        << play.standardError();
    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(10s));
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    EXPECT_TRUE(endsReleased(port));
    const std::string err = play.standardError();
    EXPECT_NE(err.find("vesk-cli: waiting for the keyer: COM7: cannot raise DTR: "),
              std::string::npos)
        << err;
}

// rigctld killed and started again: the beacon waits for it, releases the rig it finds on its
// return (the rig comes back keyed here) before anything else, and keys it again for the next
// cycle.
TEST_F(CliFaults, ARigctldKilledAndStartedAgainIsReleasedAndKeyedAgain) {
    if (platform::findExecutable("rigctld").empty() || platform::findExecutable("rigctl").empty()) {
        GTEST_SKIP() << "rigctld and rigctl are needed (libhamlib-utils)";
    }
    OwnSoundServer server;
    ASSERT_TRUE(server.answers());
    Rigctld rig;
    ASSERT_TRUE(rig.running());
    const auto rigPtt = [&rig] {
        return runProgram(
                   {platform::findExecutable("rigctl"), "-m", "2", "-r", rig.hostPort(), "t"}, {},
                   {}, 5s)
            .out;
    };
    ChildProcess play(playArgs({"--ptt", "cat", "--rigctld", rig.hostPort()}),
                      server.environment());
    ASSERT_TRUE(waitFor([&] { return rigPtt() == "1\n"; }, 15s)) << play.standardError();
    rig.stop(SIGKILL);
    ASSERT_TRUE(waitFor(
        [&] { return play.standardError().find("waiting for the keyer") != std::string::npos; },
        10s))
        << play.standardError();
    rig.start();
    ASSERT_TRUE(rig.running());
    // A rig that answers again keyed is released first.
    runProgram({platform::findExecutable("rigctl"), "-m", "2", "-r", rig.hostPort(), "T", "1"}, {},
               {}, 5s);
    ASSERT_TRUE(waitFor(
        [&] { return play.standardError().find("playing again") != std::string::npos; }, 40s))
        << play.standardError();
    EXPECT_TRUE(waitFor([&] { return rigPtt() == "1\n"; }, 10s)) << "keyed again";
    EXPECT_TRUE(waitFor([&] { return rigPtt() == "0\n"; }, 10s)) << "and released";
    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(10s));
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    EXPECT_EQ(rigPtt(), "0\n");
}

// The sound server stalls while keyed (its process stopped): the output reports nothing more,
// and the watchdog releases the PTT once the key has outlasted its pattern by --max-key.
TEST_F(CliFaults, TheWatchdogReleasesAKeyWhenTheSoundStalls) {
    OwnSoundServer server;
    ASSERT_TRUE(server.answers());
    Comport7 port;
    ChildProcess play(playArgs({"--comport", "7", "--max-key", "2"}),
                      playEnvironment(port, server));
    ASSERT_TRUE(waitForChanges(port, true, 2, 15s)) << play.standardError();
    const double stalledAt = monotonicNow();
    server.signal(SIGSTOP);
    // The key may last its 0.24 s lead, the pattern's 0.55 s and the 2 s allowed.
    ASSERT_TRUE(waitFor([&] { return endsReleased(port); }, 6s)) << play.standardError();
    const std::optional<double> released =
        firstChange(lineChanges(port.lineLog()), false, stalledAt);
    ASSERT_TRUE(released.has_value());
    EXPECT_LT(*released - stalledAt, 3.5);
    server.signal(SIGCONT);
    ASSERT_TRUE(play.wait(15s)) << play.standardError();
    EXPECT_EQ(play.exitCode(), 1);
    EXPECT_NE(play.standardError().find("vesk-cli: the transmitter stayed keyed more than 2 s "
                                        "past its pattern: released, the beacon is off"),
              std::string::npos)
        << play.standardError();
    EXPECT_NE(readWholeFile(folder.file("log")).find("\tevent\twatchdog: "), std::string::npos);
}

// The wall clock steps under a running beacon (libfaketime preloaded, moving CLOCK_REALTIME
// alone when its file changes), mid-transmission or just before a key or a first sample: every
// key still lasts as long as the others, the cycles keep their period (none lost, none broken
// up) and sound whole on the monitor, the step is logged, and SIGTERM still ends it at once.
// Nothing else reads the sink at low latency (the monitor is read at 2 s), so the first key is
// measured where a new stream waits behind what the sink has rendered ahead.
struct ClockStep {
    const char* offset; // what the time file says after the step, in seconds
    double afterKey;    // when, in s after the second key (the first sample follows at 0.24)
    const char* logged; // the log's words for it
};
const ClockStep kClockSteps[] = {
    {"-20", 0.35, "stepped back 20.000 s"},
    {"+60", 0.35, "stepped forward 60.000 s"},
    {"-1", 1.95, "stepped back 1.000 s"},
    {"-0.4", 2.2, "stepped back 0.400 s"},
};

// Debian's libfaketime, in its multiarch folder; empty when it is not installed.
std::string libfaketime() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib", error)) {
        const std::filesystem::path library = entry.path() / "faketime/libfaketime.so.1";
        if (std::filesystem::exists(library, error)) {
            return library.string();
        }
    }
    return {};
}

TEST_F(CliFaults, AStepOfTheWallClockNeitherStallsTheSoundNorKeepsTheKey) {
    const std::string faketime = libfaketime();
    if (faketime.empty()) {
        GTEST_SKIP() << "libfaketime is needed (faketime)";
    }
    const RenderedSound render =
        renderPattern(readPatternText(kPattern).value(), amplitudeForLevel(100)).value();
    std::vector<std::int16_t> pattern(static_cast<std::size_t>(render.sampleCount()));
    render.copySamples(0, pattern.data(), static_cast<int>(pattern.size()));
    for (const ClockStep& step : kClockSteps) {
        SCOPED_TRACE(step.offset);
        OwnSoundServer server;
        ASSERT_TRUE(server.answers());
        Comport7 port;
        const std::string timeFile = folder.file("faketime");
        writeWholeFile(timeFile, "+0\n");
        EnvironmentChanges environment = playEnvironment(port, server);
        environment["LD_PRELOAD"] += ":" + faketime;
        environment["FAKETIME_TIMESTAMP_FILE"] = timeFile;
        environment["FAKETIME_NO_CACHE"] = "1";
        environment["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
        std::filesystem::remove(folder.file("log"));
        ChildProcess parec({platform::findExecutable("parec"), "-d", "vesk.monitor",
                            "--format=s16le", "--rate=44100", "--channels=1",
                            "--latency-msec=2000"},
                           server.environment());
        // The recording runs before the sound starts: its first block has arrived.
        ASSERT_TRUE(waitFor([&] { return !parec.standardOutput().empty(); }, 5s));
        ChildProcess play(playArgs({"--comport", "7", "--level", "100"}), environment);
        ASSERT_TRUE(waitForChanges(port, true, 2, 15s)) << play.standardError();
        const double keyedAt = lineChanges(port.lineLog()).back().at;
        std::this_thread::sleep_for(
            std::chrono::duration<double>(keyedAt + step.afterKey - monotonicNow()));
        writeWholeFile(timeFile + ".new", std::string(step.offset) + "\n");
        std::filesystem::rename(timeFile + ".new", timeFile);
        ASSERT_TRUE(
            waitFor([&] { return waitForChanges(port, true, 6, 0ms) && endsReleased(port); }, 20s))
            << play.standardError();
        play.signal(SIGTERM);
        ASSERT_TRUE(play.wait(2s)) << "SIGTERM did not end it at once";
        EXPECT_EQ(play.exitCode(), 0) << play.standardError();
        std::this_thread::sleep_for(2500ms); // the monitor's last block
        parec.signal(SIGTERM);
        ASSERT_TRUE(parec.wait(5s));

        // Keyed 0.24 s before a cycle of 2.05 s, released about 0.5 s later: each key, the
        // first one too, is as long as the others and starts a whole cycle after the one before.
        const std::vector<LineChange> changes = lineChanges(port.lineLog());
        std::vector<double> keys;
        std::vector<double> lengths;
        for (std::size_t i = 0; i + 1 < changes.size(); ++i) {
            if (changes[i].keyed && !changes[i + 1].keyed) {
                keys.push_back(changes[i].at);
                lengths.push_back(changes[i + 1].at - changes[i].at);
            }
        }
        ASSERT_GE(keys.size(), 6U) << port.lineLog();
        const std::string bytes = parec.standardOutput();
        std::vector<std::int16_t> recording(bytes.size() / 2);
        std::memcpy(recording.data(), bytes.data(), recording.size() * 2);
        const KeepOnFailure keep(recording, std::string("vesk_cli_faults_") + step.offset + "_");
        const std::vector<Pass> passes = findPasses(recording, pattern);
        EXPECT_GE(passes.size(), keys.size());
        EXPECT_TRUE(std::all_of(passes.begin(), passes.end(), [](const Pass& p) {
            return p.whole;
        })) << "a gap in the sound";
        std::vector<double> sorted = lengths;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        for (std::size_t i = 0; i < keys.size(); ++i) {
            EXPECT_NEAR(lengths[i], median, 0.02) << "key " << i << "\n" << port.lineLog();
            if (i > 0) {
                // The first cycle is a dot shorter.
                EXPECT_NEAR(keys[i] - keys[i - 1], i == 1 ? 2.0 : 2.05, 0.03) << "key " << i << "\n"
                                                                              << port.lineLog();
            }
        }
        EXPECT_NE(readWholeFile(folder.file("log"))
                      .find(std::string("\tevent\tthe wall clock ") + step.logged),
                  std::string::npos)
            << readWholeFile(folder.file("log"));
        EXPECT_TRUE(endsReleased(port));
    }
}

} // namespace
} // namespace vesk
