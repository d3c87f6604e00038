// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "cli/play_control.h"
#include "cli/service_view.h"

#include "beacon/generator.h"
#include "cli/console.h"
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
#include "web/beacon_web.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace vesk::cli {

namespace {

// How long the queued sound (about 186 ms) may take to play out before the tool gives up
// waiting for the device to close, in ms.
constexpr int kDrainLimitMs = 5000;

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
        case SessionProblem::SoundLost:
        case SessionProblem::KeyerLost:
        case SessionProblem::RenderRefused:
        case SessionProblem::WatchdogTripped:
            fail(message);
            break;
        }
    }
    // A device that went away: the beacon waits and comes back by itself.
    void waitingChanged(BeaconWait what, const std::string& reason, bool still) override {
        if (what == BeaconWait::None) {
            say(utcNow() + " playing again");
            return;
        }
        const std::string device =
            what == BeaconWait::SoundOutput ? "the sound output" : "the keyer";
        say("vesk-cli: " + std::string(still ? "still " : "") + "waiting for " + device + ": " +
            reason);
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
    if (const Result<web::HttpAddress> address = web::parseHttpAddress(options.http);
        !options.http.empty() && !address) {
        return address.failure();
    }
    return request;
}

// With --http: the status page, and the control its commands go to.
Result<> servePlay(const Options& options, const PlayRequest& request, BeaconSession& session,
                   PlayControl::Hooks hooks, std::unique_ptr<PlayControl>& control,
                   std::unique_ptr<web::BeaconWeb>& served) {
    if (options.http.empty()) {
        return {};
    }
    const BeaconPattern& pattern = request.pattern;
    control = std::make_unique<PlayControl>(session, pattern, request.timing, options.cycles,
                                            std::move(hooks));
    session.addView(*control);
    const std::string& file = options.positional[0];
    const std::string picture = web::pictureName(file);
    Result<std::unique_ptr<web::BeaconWeb>> started = web::BeaconWeb::start(
        {options.http, options.httpTokenFile},
        {"play", file, request.logPath, {{picture, pattern}}}, session, *control);
    if (!started) {
        return started.failure();
    }
    served = std::move(*started);
    const std::int64_t lengthNs =
        std::int64_t{pattern.dotCount + 1} * pattern.dotLength * 1'000'000;
    control->setBoard(served->board(), {-1, "", file, picture, 0, lengthNs, false});
    say(served->startLine());
    return {};
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
        if (!session_.close()) {
            // A beacon that waited for a device has nothing queued to play out.
            app_.quit();
            return;
        }
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
    const auto signalWatch = watchStopSignals(onStopSignal);
    if (!signalWatch) {
        return 1;
    }
    const Result<PlayRequest> request = readPlayRequest(options);
    if (!request) {
        say("vesk-cli: " + request.message());
        return 1;
    }
    BeaconSession session(platform::makeAudioOut(), platform::makeDotTimer,
                          std::make_unique<Ptt>(keyerOpener()));
    if (const Result<> prepared =
            openLogAndKeyer(session, options.ptt, options.comport, request->logPath);
        !prepared) {
        say("vesk-cli: " + prepared.message());
        return 1;
    }
    ConsoleView view;
    session.addView(view);
    // Under a service manager: ready once the sound plays, the watchdog fed meanwhile,
    // stopping at the end.
    ServiceView service("playing " + options.positional[0]);
    session.addView(service);
    // After the last cycle has been heard the session releases the PTT and ends as a close
    // request does, which ends the loop below; no further cycle is keyed.
    session.setCycleLimit(options.cycles);
    session.setMaxKeyMs(static_cast<int>(std::lround(options.maxKeySeconds * 1000.0)));
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
    const auto turnOn = [&] {
        session.turnOn(request->pattern, amplitudeForLevel(static_cast<float>(options.level)),
                       options.device, options.positional[0]);
    };
    std::unique_ptr<PlayControl> control;
    std::unique_ptr<web::BeaconWeb> served;
    if (const Result<> serving = servePlay(options, *request, session,
                                           {turnOn,
                                            [&stopper] {
                                                stopper.stop();
                                            }},
                                           control, served);
        !serving) {
        say("vesk-cli: " + serving.message());
        return 1;
    }

    say(startLine(options, request->pattern, request->timing, request->logPath));
    QTimer::singleShot(0, &app, [&] {
        if (!stopper.stopping()) {
            turnOn();
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
