#pragma once

// What reaches the PulseAudio null sink "vesk" (the default sink that
// tests/integration/start-pulse.sh sets up), recorded from its monitor.
#include "tests/integration/child_process.h"

#include "tone/wave_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace vesk {

// The full path of `name` found through PATH; empty when it is not installed.
inline std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (::access((folder + "/" + name).c_str(), X_OK) == 0) {
            return folder + "/" + name;
        }
    }
    return {};
}

// Empty when the null sink runs and is the default sink; otherwise why the test cannot run.
inline std::string soundServerMissing() {
    if (findProgram("pactl").empty() || findProgram("parec").empty()) {
        return "pactl and parec are needed (pulseaudio-utils)";
    }
    const RunResult info =
        runProgram({findProgram("pactl"), "info"}, {}, {}, std::chrono::seconds(10));
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
    MonitorRecording()
        : parec_({findProgram("parec"), "-d", "vesk.monitor", "--format=s16le", "--rate=44100",
                  "--channels=1", "--latency-msec=20"}) {}

    // Waits until the recording runs (0.1 s of samples have arrived).
    bool started() {
        return waitFor(
                   [this] { return !parec_.running() || parec_.standardOutput().size() >= 8820; },
                   std::chrono::seconds(10)) &&
               parec_.running();
    }

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
};

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
