// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli run and plan: a plan's transmissions on a real sound server, a pty's lines and a
// rig behind rigctld.
#include "tests/integration/monitor_recording.h"

#include "tests/integration/fake_port.h"

#include "devices/cat/cat_rig.h"
#include "files/pattern_file.h"
#include "tests/core/rigctld.h"
#include "tests/core/scratch_folder.h"
#include "tone/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vesk {
namespace {

using namespace std::chrono_literals;

const std::string kCli = VESK_CLI_PATH;
constexpr std::int64_t kNs = 1'000'000'000;

// Five 50 ms tone dots with silence between: 450 ms of sound.
const std::string kShort = "50 8 50 1000 20\r\n8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n"
                           "0 1\r\n16 1\r\n";

// "2026-12-07T05:30:00.012Z" in ns since the epoch.
std::int64_t utcNs(const std::string& text) {
    std::tm utc{};
    int ms = 0;
    std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &utc.tm_year, &utc.tm_mon,
                &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &ms);
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return (static_cast<std::int64_t>(::timegm(&utc)) * 1000 + ms) * 1'000'000;
}

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The changes of DTR in the fake modem's log with their CLOCK_REALTIME times, in ns.
std::vector<std::pair<bool, std::int64_t>> dtrChanges(const std::string& lineLog) {
    std::vector<std::pair<bool, std::int64_t>> changes;
    std::istringstream in(lineLog);
    std::string change;
    long double seconds = 0;
    while (in >> change >> seconds) {
        if (change == "DTR+" || change == "DTR-") {
            changes.emplace_back(change == "DTR+", static_cast<std::int64_t>(seconds * 1e9L));
        }
    }
    return changes;
}

// Two entries every 20 s, ten seconds apart, for two minutes on the null sink, keyed through a
// pty's lines, the dial on the in-process dummy rig: each transmission sounds on its slot,
// keyed before it and released after it, and is logged with its entry and frequency.
TEST(CliRun, TwoMinutesOfTwoEntriesSoundOnTheirSlotsKeyedAndLogged) {
    SKIP_WITHOUT_SOUND_SERVER();
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), kShort);
    writeWholeFile(folder.file("plan.toml"),
                   "[station]\ncomport = 7\nrig = 1\nlevel = 100\nlog = \"run.log\"\n\n"
                   "[[transmission]]\nname = \"a\"\npattern = \"short.txt\"\nevery = \"20s\"\n"
                   "offset = \"3s\"\nfrequency = 14095600\nmode = \"USB\"\n\n"
                   "[[transmission]]\nname = \"b\"\npattern = \"short.txt\"\nevery = \"20s\"\n"
                   "offset = \"13s\"\nfrequency = 7038600\nmode = \"LSB\"\n");
    const RenderedSound render =
        renderPattern(readPatternText(kShort).value(), amplitudeForLevel(100)).value();
    std::vector<std::int16_t> pattern(static_cast<std::size_t>(render.sampleCount()));
    render.copySamples(0, pattern.data(), static_cast<int>(pattern.size()));

    Comport7 port;
    EnvironmentChanges environment = port.modemEnvironment();
    environment["VESK_FAKE_MODEM_TIMES"] = "realtime";
    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    ChildProcess run({kCli, "run", folder.file("plan.toml"), "--no-clock-check"}, environment);
    // Two minutes, then on to a second 5 to 8 past a multiple of 10, when no transmission is
    // being prepared, sounding or closing.
    const auto stopAt = std::chrono::steady_clock::now() + 120s;
    const auto quiet = [] {
        return nowNs() % (10 * kNs) >= 5 * kNs && nowNs() % (10 * kNs) < 8 * kNs;
    };
    while ((std::chrono::steady_clock::now() < stopAt || !quiet()) && !run.wait(2ms)) {
        monitor.stamp();
    }
    run.signal(SIGTERM);
    ASSERT_TRUE(run.wait(10s)) << run.standardError();
    monitor.stamp();
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording, "vesk_cli_run_");
    EXPECT_EQ(run.exitCode(), 0) << run.standardError();

    const auto logged = transmissionFields(readWholeFile(folder.file("run.log")));
    const std::vector<Pass> passes = findPasses(recording, pattern);
    const auto dtr = dtrChanges(port.lineLog());
    ASSERT_GE(logged.size(), 10u) << run.standardError();
    ASSERT_EQ(passes.size(), logged.size()) << run.standardError();
    // Released at the open and on the way out, and once after each keying.
    ASSERT_EQ(dtr.size(), 2 * logged.size() + 2) << port.lineLog();
    std::vector<double> offsetsMs;
    for (std::size_t i = 0; i < logged.size(); ++i) {
        SCOPED_TRACE("transmission " + std::to_string(i + 1));
        const std::vector<std::string>& line = logged[i];
        ASSERT_EQ(line.size(), 8u);
        EXPECT_EQ(line[2], "cycle " + std::to_string(i + 1));
        const bool a = line[6] == "a";
        EXPECT_EQ(line[7], a ? "14095600 Hz" : "7038600 Hz");
        EXPECT_TRUE(passes[i].whole);
        const std::int64_t heard =
            monitor.firstSampleUtc() + static_cast<std::int64_t>(passes[i].at) * kNs / 44100;
        // The slot it belongs to: 3 s or 13 s past a multiple of 20 s.
        const std::int64_t offset = (a ? 3 : 13) * kNs;
        const std::int64_t slot = (heard - offset + 10 * kNs) / (20 * kNs) * (20 * kNs) + offset;
        offsetsMs.push_back(static_cast<double>(heard - slot) / 1e6);
        const auto [keyed, keyedAt] = dtr[2 * i + 1];
        const auto [released, releasedAt] = dtr[2 * i + 2];
        EXPECT_TRUE(keyed && !released);
        EXPECT_GE(heard - keyedAt, 20'000'000);
        EXPECT_LE(heard - keyedAt, 500'000'000);
        // The monitor places a sample within a few ms (its reader's latency varies), as for
        // the slots below.
        EXPECT_GE(releasedAt, heard + 450'000'000 - 5'000'000);
        EXPECT_LE(releasedAt, heard + 450'000'000 + 100'000'000);
        EXPECT_NEAR(static_cast<double>(utcNs(line[0]) - keyedAt) / 1e6, 0.0, 10.0);
    }
    // Each slot within 5 ms of its time, and of where the others sound on the monitor.
    std::vector<double> sorted = offsetsMs;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    EXPECT_NEAR(median, 0.0, 5.0);
    for (const double ms : offsetsMs) {
        EXPECT_NEAR(ms, median, 5.0) << "ms from the slot; the slots' median is " << median;
    }
    EXPECT_FALSE(dtr.back().first) << "left keyed";
}

// By CAT through rigctld: while keyed the rig's dial reads each entry's frequency, on two
// bands; an entry whose hook fails is skipped with the hook's own words, never keyed or logged.
TEST(CliRun, SetsTheDialByCatBeforeEachKeyAndAFailingHookSkipsItsSlot) {
    SKIP_WITHOUT_SOUND_SERVER();
    Rigctld server;
    ASSERT_TRUE(server.running()) << "rigctld (libhamlib-utils) did not start";
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), kShort);
    const auto entry = [](const char* name, const char* offset, const char* hertz) {
        return std::string("\n[[transmission]]\nname = \"") + name +
               "\"\npattern = \"short.txt\"\nevery = \"18s\"\noffset = \"" + offset +
               "\"\nfrequency = " + hertz + "\n";
    };
    writeWholeFile(folder.file("plan.toml"),
                   "[station]\nptt = \"cat\"\nrigctld = \"" + server.hostPort() +
                       "\"\nlog = \"cat.log\"\n" + entry("20m", "0s", "14095600") +
                       entry("40m", "5s", "7038600") + entry("hooked", "11s", "10138700") +
                       "hook = [\"sh\", \"-c\", \"echo relay stuck for $0 >&2; exit 4\"]\n"
                       "hook_timeout = \"1s\"\n");
    CatRig reader;
    ASSERT_TRUE(reader.open(RigAddress::rigctld(server.hostPort()), false).ok());
    ChildProcess run({kCli, "run", folder.file("plan.toml"), "--no-clock-check"});
    std::set<std::int64_t> keyedOn;
    const std::string skipped = "hooked at ",
                      because = " skipped: hook: sh exited with status 4: relay stuck for hooked";
    const auto done = [&] {
        const std::string err = run.standardError();
        return keyedOn.count(14'095'600) == 1 && keyedOn.count(7'038'600) == 1 &&
               err.find(because) != std::string::npos;
    };
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!done() && run.running() && std::chrono::steady_clock::now() < deadline) {
        if (reader.ptt() == true) {
            keyedOn.insert(reader.frequency().valueOr(-1));
        }
        std::this_thread::sleep_for(20ms);
    }
    run.signal(SIGTERM);
    ASSERT_TRUE(run.wait(10s)) << run.standardError();
    EXPECT_EQ(run.exitCode(), 0) << run.standardError();
    EXPECT_EQ(keyedOn, (std::set<std::int64_t>{14'095'600, 7'038'600})) << run.standardError();
    EXPECT_NE(run.standardError().find(skipped), std::string::npos) << run.standardError();
    EXPECT_NE(run.standardError().find(because), std::string::npos) << run.standardError();
    for (const auto& line : transmissionFields(readWholeFile(folder.file("cat.log")))) {
        ASSERT_EQ(line.size(), 8u);
        EXPECT_EQ(line[7], line[6] == "20m" ? "14095600 Hz" : "7038600 Hz") << line[6];
    }
    EXPECT_EQ(reader.ptt(), false) << "left keyed";
}

// plan --next lists the transmissions without opening anything, the same with the same seed;
// --check passes a good plan and names the line of a bad one; options of other commands are
// refused.
TEST(CliPlan, ListsAndChecksWithoutOpeningAnything) {
    ScratchFolder folder;
    writeWholeFile(folder.file("day.toml"),
                   "[station]\nrigctld = \"127.0.0.1:1\"\n\n[[transmission]]\nname = \"qrss\"\n"
                   "make = \"cw K1ABC --speed QRSS3\"\nevery = \"10m\"\nfrequency = 10139000\n\n"
                   "[[transmission]]\nname = \"wspr-20m\"\nmake = \"wspr K1ABC FN42 37\"\n"
                   "every = \"10m\"\noffset = \"4m1s\"\nfrequency = 14095600\npercent = 50\n");
    const RunResult first =
        runProgram({kCli, "plan", folder.file("day.toml"), "--next", "6", "--seed", "42"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.err, "");
    const RunResult again =
        runProgram({kCli, "plan", folder.file("day.toml"), "--next", "6", "--seed", "42"});
    EXPECT_EQ(again.out, first.out);
    std::vector<std::string> lines;
    std::istringstream in(first.out);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 8u) << first.out;
    EXPECT_EQ(lines[0], "slots drawn with --seed 42 (run with it to send these)");
    EXPECT_EQ(lines[1].rfind("time", 0), 0u) << lines[1];
    std::string previous;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string time = lines[i].substr(4, 19); // "2026-12-07 10:02:01"
        EXPECT_GT(time, previous);
        previous = time;
        const bool qrss = lines[i].find(" qrss ") != std::string::npos;
        EXPECT_NE(lines[i].find(qrss ? "10139000 Hz  3 min 9.0 s" : "14095600 Hz  1 min 50.6 s"),
                  std::string::npos)
            << lines[i];
        EXPECT_EQ(time.substr(15), qrss ? "0:00" : "4:01") << lines[i];
    }
    EXPECT_EQ(runProgram({kCli, "plan", folder.file("day.toml"), "--check"}).exitCode, 0);

    writeWholeFile(folder.file("bad.toml"), "[[transmission]]\nname = \"x\"\nmake = \"cw E\"\n"
                                            "every = \"1m\"\nfrequency = 7040000\n");
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"plan", folder.file("bad.toml"), "--check"},
         "vesk-cli: " + folder.file("bad.toml") + ":5: frequency: no rig to set it"},
        {{"run", folder.file("day.toml"), "--comport", "7"}, "vesk-cli: --comport is not for run"},
        {{"play", folder.file("day.toml"), "--seed", "1"}, "vesk-cli: --seed is for run and plan"},
        {{"plan", folder.file("day.toml")}, "vesk-cli: plan takes --next N or --check"},
        {{"run", folder.file("day.toml"), "--check"}, "vesk-cli: --check is not for run"},
        {{"plan", folder.file("day.toml"), "--check", "--http", "8080"},
         "vesk-cli: --http is for play and run"},
        {{"run", folder.file("day.toml"), "--http-token-file", "t"},
         "vesk-cli: --http-token-file goes with --http ADDR:PORT"},
        {{"run", folder.file("day.toml"), "--http", "[::1]8080"},
         "vesk-cli: --http takes ADDR:PORT (127.0.0.1:8080, [::1]:8080, 0.0.0.0:8080) or a port, "
         "not \"[::1]8080\""},
        {{"run", folder.file("day.toml"), "--http", "beacon.local:8080"},
         "vesk-cli: --http takes ADDR:PORT"},
    };
    for (const auto& [args, says] : refusals) {
        std::vector<std::string> argv{kCli};
        argv.insert(argv.end(), args.begin(), args.end());
        const RunResult run = runProgram(argv);
        EXPECT_EQ(run.exitCode, 1) << says;
        EXPECT_EQ(run.err.rfind(says, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

} // namespace
} // namespace vesk
