// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "beacon/generator.h"
#include "devices/cat/keyer_opener.h"
#include "devices/ptt.h"
#include "devices/transmission_log.h"
#include "files/pattern_file.h"
#include "platform/audio_out.h"
#include "platform/dot_timer.h"
#include "platform/serial_lines.h"
#include "platform/signal_watch.h"
#include "platform/stop_signals.h"
#include "session/beacon_session.h"

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
    const std::string text = oneLine(line) + '\n';
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

// The session as the terminal shows it: each transmission's line, the cycles, the next
// transmission on the clock, the problems, and the end.
class ConsoleView : public SessionView {
public:
    std::function<void()> onEnd;
    std::function<void()> onKeyingFailed;
    bool failed = false;

    void transmissionLogged(const TransmissionRecord& record) override {
        say(transmissionLine(record));
    }
    void cyclePlayed(long cycle, std::int64_t underruns) override {
        say(utcNow() + " cycle " + std::to_string(cycle) + " played, " + std::to_string(underruns) +
            (underruns == 1 ? " underrun" : " underruns"));
    }
    void nextTransmission(UtcNanoseconds at) override {
        if (at >= 0) {
            say("next transmission at " + formatUtcTime(at));
        }
    }
    void problem(SessionProblem kind, const std::string& message) override {
        switch (kind) {
        case SessionProblem::OpenFailed:
            fail(std::string(platform::kOpenFailureText) + " (" + message + ")");
            break;
        case SessionProblem::LogFailed:
            // The beacon goes on and the lines still reach stderr, but the tool ends with 1.
            say("vesk-cli: " + message);
            failed = true;
            break;
        case SessionProblem::KeyingFailed:
            say("vesk-cli: " + message);
            failed = true;
            onKeyingFailed();
            break;
        case SessionProblem::RenderRefused:
        case SessionProblem::DeviceLost:
            fail(message);
            break;
        }
    }
    void ended() override { onEnd(); }

private:
    void fail(const std::string& message) {
        say("vesk-cli: " + message);
        failed = true;
        onEnd();
    }
};

// The line that says what is about to play.
std::string startLine(const Options& options, const BeaconPattern& pattern,
                      const ClockTiming& timing, const std::string& logPath) {
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
    return start + "; PTT " + describePttChoice(options.ptt, options.comport) + ", log " + logPath;
}

// The log and the keyer, opened before anything plays; a failure ends the tool at once.
Result<> prepareSession(BeaconSession& session, const Options& options,
                        const std::string& logPath) {
    if (const Result<> opened = session.openLog(logPath); !opened) {
        return opened;
    }
    const Result<> keyer = session.openKeyer(options.ptt, options.comport);
    if (!keyer) {
        return fail(options.ptt.usesCat()
                        ? "Failure to open the rig for PTT by CAT (" + keyer.message() + ")"
                        : "Failure to open comport COM" + std::to_string(options.comport) + " (" +
                              keyer.message() + ")");
    }
    return {};
}

// What `play` plays, read and checked before anything opens.
struct PlayRequest {
    BeaconPattern pattern;
    ClockTiming timing;
    std::string logPath;
};

Result<PlayRequest> readPlayRequest(const Options& options) {
    Result<BeaconPattern> loaded = loadPatternFile(options.positional[0]);
    if (!loaded) {
        return loaded.failure();
    }
    PlayRequest request{*loaded, options.timing,
                        options.logPath.empty() ? defaultTransmissionLogPath() : options.logPath};
    // A WSPR pattern keeps the WSPR grid unless told otherwise.
    if (!options.timingGiven && beacon::isWsprTiming(request.pattern)) {
        request.timing = kWsprTiming;
    }
    if (request.logPath.empty()) {
        return fail("no place for the transmission log without a home folder: give --log FILE");
    }
    return request;
}

// The way a headless beacon stops: Turn Off releases the PTT at once and lets the queued sound
// play out, and the output's close then ends the loop through the close request; a second
// stop, or one while nothing plays, ends the loop at once.
class Stopper {
public:
    Stopper(QCoreApplication& app, BeaconSession& session, ConsoleView& view)
        : app_(app), session_(session), view_(view) {}

    bool stopping() const { return stopping_; }
    void stop() {
        if (stopping_ || !session_.playing()) {
            stopping_ = true;
            app_.quit();
            return;
        }
        stopping_ = true;
        session_.turnOff();
        session_.close();
        QTimer::singleShot(kDrainLimitMs, &app_, [this] {
            say("vesk-cli: the sound device did not close; ending anyway");
            view_.failed = true;
            app_.quit();
        });
    }
    void onSignal() {
        say(stopping_ ? "stopping at once"
                      : "stopping: PTT released, letting the queued sound play out");
        stop();
    }

private:
    QCoreApplication& app_;
    BeaconSession& session_;
    ConsoleView& view_;
    bool stopping_ = false;
};

} // namespace

int runPlay(const Options& options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Watched from the start, so that no signal finds the port open and the lines unguarded;
    // one that came before (held since the program's first code) or comes before the loop runs is
    // handled as soon as it does.
    std::function<void()> onStopSignal;
    platform::SignalWatch signalWatch({SIGHUP, SIGINT, SIGQUIT, SIGTERM},
                                      [&](int) { onStopSignal(); });
    if (!signalWatch.watching()) {
        say("vesk-cli: cannot watch for signals");
        return 1;
    }
    const Result<PlayRequest> request = readPlayRequest(options);
    if (!request) {
        say("vesk-cli: " + request.message());
        return 1;
    }
    BeaconSession session(platform::makeAudioOut(), platform::makeDotTimer,
                          std::make_unique<Ptt>(keyerOpener()));
    if (const Result<> prepared = prepareSession(session, options, request->logPath); !prepared) {
        say("vesk-cli: " + prepared.message());
        return 1;
    }
    ConsoleView view;
    session.addView(view);
    // After the last cycle has been heard the session releases the PTT and ends as a close
    // request does, which ends the loop below; no further cycle is keyed.
    session.setCycleLimit(options.cycles);
    session.setClockTiming(request->timing);
    Stopper stopper(app, session, view);
    view.onEnd = [&app] {
        QTimer::singleShot(0, &app, [&app] { app.quit(); });
    };
    view.onKeyingFailed = [&stopper] {
        stopper.stop();
    };
    onStopSignal = [&stopper] {
        stopper.onSignal();
    };

    say(startLine(options, request->pattern, request->timing, request->logPath));
    QTimer::singleShot(0, &app, [&] {
        if (!stopper.stopping()) {
            session.turnOn(request->pattern, amplitudeForLevel(static_cast<float>(options.level)),
                           options.device, options.positional[0]);
        }
    });
    app.exec();
    // Every way out has released already; should one not have, the release made now is
    // logged too.
    session.shutdown();
    return view.failed ? 1 : 0;
}

int runDevices(int argc, char** argv) {
    // It keys nothing: a stop signal may end it the kernel's way.
    platform::letStopSignalsThrough();
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
