// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What reaches the PulseAudio null sink "vesk" (the default sink that
// tests/integration/start-pulse.sh sets up), recorded from its monitor.
#include "tests/integration/child_process.h"

#include "platform/process.h"
#include "tone/wave_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace vesk {

// Empty when the null sink runs and is the default sink; otherwise why the test cannot run.
inline std::string soundServerMissing() {
    if (platform::findExecutable("pactl").empty() || platform::findExecutable("parec").empty()) {
        return "pactl and parec are needed (pulseaudio-utils)";
    }
    const RunResult info =
        runProgram({platform::findExecutable("pactl"), "info"}, {}, {}, std::chrono::seconds(10));
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
        if (const std::string reason = soundServerMissing(); !reason.empty()) {                    \
            GTEST_SKIP() << reason;                                                                \
        }                                                                                          \
    } while (false)

// Records the monitor, mono 16-bit at 44100 Hz, for as long as the object lives. An idle null
// sink renders silence up to two seconds ahead and a new stream waits behind it; a recording at
// low latency keeps it rendering in small steps, so every play runs with one.
class MonitorRecording {
public:
    // The latency the recording asks for, in ms. The null sink renders a block of it at a time
    // at the block's start, and its monitor hands the block over at once: what the monitor
    // records arrives this much before the sink plays it (measured: a slot heard 19.4 ms early
    // with 20 ms, 99.5 ms with 100 ms, 3 to 5 ms with 5 ms).
    static constexpr std::int64_t kLatencyMs = 20;

    MonitorRecording()
        : parec_({platform::findExecutable("parec"), "-d", "vesk.monitor", "--format=s16le",
                  "--rate=44100", "--channels=1", "--latency-msec=" + std::to_string(kLatencyMs)}) {
    }

    // Waits until the recording runs (0.1 s of samples have arrived).
    bool started() {
        return waitFor(
                   [this] { return !parec_.running() || parec_.standardOutput().size() >= 8820; },
                   std::chrono::seconds(10)) &&
               parec_.running();
    }

    // Notes how many samples have arrived by now. Each note bounds when the recording's first
    // sample was played: no later than the arrival less the samples before it, plus the block
    // the sink renders ahead.
    void stamp() {
        const auto samples = static_cast<std::int64_t>(parec_.standardOutput().size() / 2);
        const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        const std::int64_t start = now - samples * 1'000'000'000 / 44100 + kLatencyMs * 1'000'000;
        firstSampleUtc_ = firstSampleUtc_ < 0 ? start : std::min(firstSampleUtc_, start);
    }
    // The UTC time of the first sample recorded, in ns since the epoch, from the notes.
    std::int64_t firstSampleUtc() const { return firstSampleUtc_; }

    std::vector<std::int16_t> stop() {
        parec_.signal(SIGTERM);
        parec_.wait(std::chrono::seconds(5));
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
    std::int64_t firstSampleUtc_ = -1;
};

// Where each pass of `expected` starts in `recording` (at every onset of sound, lined up with
// its own first loud sample), and whether it is all of `expected`, sample for sample (the
// sink's conversion may move a value by 2).
struct Pass {
    std::size_t at;
    bool whole;
};
inline std::vector<Pass> findPasses(const std::vector<std::int16_t>& recording,
                                    const std::vector<std::int16_t>& expected) {
    const auto loud = [](std::int16_t s) {
        return std::abs(s) > 1000;
    };
    const auto lead = static_cast<std::size_t>(
        std::find_if(expected.begin(), expected.end(), loud) - expected.begin());
    std::vector<Pass> passes;
    for (auto from = recording.begin();
         (from = std::find_if(from, recording.end(), loud)) != recording.end();) {
        const auto onset = static_cast<std::size_t>(from - recording.begin());
        const std::size_t at = onset > lead ? onset - lead : 0;
        bool whole = at + expected.size() <= recording.size();
        for (std::size_t i = 0; whole && i < expected.size(); ++i) {
            whole = std::abs(recording[at + i] - expected[i]) <= 2;
        }
        passes.push_back({at, whole});
        from = recording.begin() +
               static_cast<std::ptrdiff_t>(std::min(recording.size(), at + expected.size()));
    }
    return passes;
}

// Keeps `samples` as <prefix><test name>.wav in the working folder when the test has failed,
// whichever assertion ended it.
class KeepOnFailure {
public:
    KeepOnFailure(const std::vector<std::int16_t>& samples, std::string prefix)
        : samples_(samples), prefix_(std::move(prefix)) {}
    ~KeepOnFailure() {
        if (!::testing::Test::HasFailure()) {
            return;
        }
        const std::string name =
            prefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".wav";
        const std::vector<std::uint8_t> wav = buildWaveImage(samples_);
        std::ofstream(name, std::ios::binary)
            .write(reinterpret_cast<const char*>(wav.data()),
                   static_cast<std::streamsize>(wav.size()));
        std::cerr << "recording kept in " << std::filesystem::absolute(name).string() << '\n';
    }
    KeepOnFailure(const KeepOnFailure&) = delete;
    KeepOnFailure& operator=(const KeepOnFailure&) = delete;

private:
    const std::vector<std::int16_t>& samples_;
    std::string prefix_;
};

} // namespace vesk
