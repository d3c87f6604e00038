// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "beacon/generator.h"
#include "devices/ptt.h"
#include "devices/transmission_log.h"
#include "files/pattern_file.h"
#include "platform/audio_out.h"
#include "platform/serial_lines.h"
#include "platform/signal_watch.h"
#include "tone/sequencer.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>

namespace vesk::cli {

namespace {

// How long the queued sound (about 186 ms) may take to play out before the tool gives up
// waiting for the device to close, in ms.
constexpr int kDrainLimitMs = 5000;

// One line on stderr in one write, so that a reader of the pipe never sees half of it.
void say(const std::string& line) {
    const std::string text = line + '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// The wall clock in UTC to the millisecond, as a cycle line starts: 2026-12-07T01:02:03.456Z.
std::string utcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms));
    return text;
}

class QtDotTimer : public DotTimer {
public:
    explicit QtDotTimer(std::function<void()> tick) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
    }
    void start(int milliseconds) override { timer_.start(std::max(milliseconds, 1)); }
    void stop() override { timer_.stop(); }

private:
    QTimer timer_;
};

// Playback as the terminal shows it: the errors, and the end of the session.
class ConsoleView : public HeadlessSequencerView {
public:
    std::function<void()> onEnd;
    std::function<void(long cycle)> onCycleEnd;
    bool failed = false;

    void reportOpenFailure(const std::string& reason) override {
        fail(std::string(platform::kOpenFailureText) + " (" + reason + ")");
    }
    void reportRenderRefused(const std::string& message) override { fail(message); }
    void reportDeviceLost() override { fail(platform::kDeviceLostText); }
    void endMainWindow() override { end(); }
    void showNextTransmission(UtcNanoseconds at) override {
        if (at >= 0) {
            say("next transmission at " + formatUtcTime(at));
        }
    }
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        if (onCycleEnd) {
            onCycleEnd(cycle);
        }
        say(utcNow() + " cycle " + std::to_string(cycle) + " played, " + std::to_string(underruns) +
            (underruns == 1 ? " underrun" : " underruns"));
    }

private:
    void fail(const std::string& message) {
        say("vesk-cli: " + message);
        failed = true;
        end();
    }
    void end() {
        if (onEnd) {
            onEnd();
        }
    }
};

} // namespace

int runPlay(const Options& options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Watched from the start, so that no signal finds the port open and the lines unguarded;
    // one that comes before the loop runs is handled as soon as it does.
    std::function<void()> onStopSignal;
    platform::SignalWatch signalWatch({SIGHUP, SIGINT, SIGQUIT, SIGTERM},
                                      [&](int) { onStopSignal(); });
    if (!signalWatch.watching()) {
        say("vesk-cli: cannot watch for signals");
        return 1;
    }

    const Result<BeaconPattern> loaded = loadPatternFile(options.positional[0]);
    if (!loaded) {
        say("vesk-cli: " + loaded.message());
        return 1;
    }
    const BeaconPattern pattern = *loaded;
    // A WSPR pattern keeps the WSPR grid unless told otherwise.
    const ClockTiming timing =
        !options.timingGiven && beacon::isWsprTiming(pattern) ? kWsprTiming : options.timing;

    const std::string logPath =
        options.logPath.empty() ? defaultTransmissionLogPath() : options.logPath;
    if (logPath.empty()) {
        say("vesk-cli: no place for the transmission log without a home folder: give --log FILE");
        return 1;
    }
    TransmissionLogFile logFile;
    if (const Result<> opened = logFile.open(logPath); !opened) {
        say("vesk-cli: " + opened.message());
        return 1;
    }

    Ptt ptt(std::make_unique<platform::SerialLines>());
    if (options.ptt.usesCat()) {
        if (const Result<> opened = ptt.openRig(options.ptt.rig); !opened) {
            say("vesk-cli: Failure to open the rig for PTT by CAT (" + opened.message() + ")");
            return 1;
        }
    } else if (options.comport != 0) {
        if (const Result<> opened = ptt.openPttPort(options.comport, options.ptt.lines); !opened) {
            say("vesk-cli: Failure to open comport COM" + std::to_string(options.comport) + " (" +
                opened.message() + ")");
            return 1;
        }
    }
    // Each transmission as it ends: a line in the log and the same line on stderr. A log that
    // cannot be written is said once; the beacon goes on and the lines still reach stderr,
    // but the tool ends with status 1.
    bool logFailed = false;
    TransmissionLogger logger(ptt, [&](const TransmissionRecord& record) {
        const std::string line = transmissionLine(record);
        if (const Result<> written = logFile.append(line); !written && !logFailed) {
            logFailed = true;
            say("vesk-cli: " + written.message());
        }
        say(line);
    });
    logger.setPattern(options.positional[0]);
    logger.setPttDescription(describePttChoice(options.ptt, options.comport));

    auto audio = platform::makeAudioOut();
    ConsoleView view;
    view.onCycleEnd = [&logger](long cycle) {
        logger.cycleEnded(cycle);
    };
    Sequencer* sequencerPtr = nullptr;
    QtDotTimer timer([&] { sequencerPtr->onDotTimer(); });
    logger.setUnderrunCounter([&audio] { return audio->underruns(); });
    Sequencer sequencer(*audio, timer, logger, view);
    sequencerPtr = &sequencer;
    // After the last cycle has been heard the sequencer releases the PTT and ends as a close
    // request does, which ends the loop below; no further cycle is keyed.
    sequencer.setCycleLimit(options.cycles);
    sequencer.setClockTiming(timing);

    bool stopping = false;
    // Turn Off releases the PTT at once and lets the queued sound play out; the device's
    // close then ends the loop through the close request. A second signal ends at once.
    auto stop = [&] {
        if (stopping) {
            app.quit();
            return;
        }
        stopping = true;
        if (!sequencer.deviceOpen()) {
            app.quit();
            return;
        }
        sequencer.stop();
        sequencer.close();
        QTimer::singleShot(kDrainLimitMs, &app, [&] {
            say("vesk-cli: the sound device did not close; ending anyway");
            view.failed = true;
            app.quit();
        });
    };
    view.onEnd = [&] {
        QTimer::singleShot(0, &app, [&app] { app.quit(); });
    };
    onStopSignal = [&] {
        say(stopping ? "stopping at once"
                     : "stopping: PTT released, letting the queued sound play out");
        stop();
    };
    // The Ptt has dropped the lines already; the report waits for the sequencer's call to
    // return before playback is stopped.
    ptt.setFailureHook([&] {
        QTimer::singleShot(0, &app, [&] {
            say("vesk-cli: " + ptt.failure());
            view.failed = true;
            stop();
        });
    });

    std::string start = "playing " + options.positional[0] + ": " +
                        std::to_string(pattern.dotCount + 1) + " dots of " +
                        std::to_string(pattern.dotLength) + " ms ";
    if (timing.onTheClock()) {
        start += "every " + std::to_string(timing.everyMinutes) + " min at +" +
                 std::to_string(timing.offsetSeconds) + " s UTC";
    } else {
        start += "every " + std::to_string(std::int64_t{pattern.repeatDots} + 1) + " dots";
    }
    if (options.cycles > 0) {
        start += ", " + std::to_string(options.cycles) + " cycle(s)";
    }
    say(start + "; PTT " + describePttChoice(options.ptt, options.comport) + ", log " + logPath);

    logger.restartCycles();
    QTimer::singleShot(0, &app, [&] {
        if (!stopping) {
            sequencer.start(pattern, amplitudeForLevel(static_cast<float>(options.level)),
                            options.device);
        }
    });
    app.exec();
    ptt.shutdown();
    // Every way out has released through the logger already; should one not have, the
    // release just made is logged too.
    logger.endOpenTransmission();
    return view.failed || logFailed ? 1 : 0;
}

int runDevices(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::vector<std::string> outputs = platform::outputDevices();
    std::cout << "Sound outputs (--device N; -1 is the system default):\n";
    if (outputs.empty()) {
        std::cout << "  none\n";
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::cout << "  " << i << "  " << outputs[i] << '\n';
    }
    std::cout << "Serial ports (--comport N):\n";
    bool any = false;
    for (std::int32_t number = 1; number <= 99; ++number) {
        const std::string path = platform::comportDevicePath(number);
        std::error_code error;
        if (path.empty() || !std::filesystem::exists(path, error)) {
            continue;
        }
        std::cout << "  COM" << number << "  " << path;
        if (std::filesystem::is_symlink(path, error)) {
            std::cout << " -> " << std::filesystem::canonical(path, error).string();
        }
        std::cout << '\n';
        any = true;
    }
    if (!any) {
        std::cout << "  none found\n";
    }
    return 0;
}

} // namespace vesk::cli
