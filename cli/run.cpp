// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli run PLAN: one session sends the plan's transmissions, each on its slot, and keeps
// nothing running in between but a timer.
#include "cli/cli.h"

#include "cli/console.h"
#include "cli/service_view.h"
#include "devices/cat/cat_dial.h"
#include "devices/cat/keyer_opener.h"
#include "plan/clock_gate.h"
#include "plan/plan_file.h"
#include "plan/preparation.h"
#include "plan/schedule.h"
#include "platform/audio_out.h"
#include "platform/clock_sync.h"
#include "platform/dot_timer.h"
#include "platform/run_command.h"
#include "platform/signal_watch.h"
#include "web/beacon_web.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>

namespace vesk::cli {

namespace {

// How long the queued sound may take to play out after a stop, in ms.
constexpr int kDrainLimitMs = 5000;
// A wait is re-armed at least this often (ms), so that a step of the system clock moves the
// wake-up with it within a second, well inside a transmission's preparation time; the cost is
// one wake-up a second.
constexpr std::int64_t kLongestWaitMs = 1'000;
// After its preparation a transmission needs this long (ns) to open the output and key ahead of
// its first sample; with less left the slot is given up.
constexpr std::int64_t kLatestOpenNs = kClockFirstMarginNs + 200'000'000;

// The sound output by name, as an index for this moment (devices come and go); -1, the
// system default, for no name.
Result<int> outputIndex(const std::string& name) {
    if (name.empty()) {
        return -1;
    }
    const std::vector<std::string> outputs = platform::outputDevices();
    const auto found = std::find(outputs.begin(), outputs.end(), name);
    if (found == outputs.end()) {
        return fail("no sound output named \"" + name + "\" (vesk-cli devices lists them)");
    }
    return static_cast<int>(found - outputs.begin());
}

// Sends the plan's transmissions through one session: for each, the clock gate, the hook and
// the dial at its preparation time, the output opened kOpenLeadNs before its first sample and
// closed once it has been heard; then the next one is planned.
class PlanRunner : public SessionView, public web::BeaconControl {
public:
    struct Settings {
        std::uint64_t seed = 0;
        bool clockCheck = true;
        std::int32_t amplitude = 0;
        Dial* dial = nullptr;
    };

    PlanRunner(QCoreApplication& app, BeaconSession& session, const plan::Plan& plan,
               Settings settings)
        : app_(app), session_(session), plan_(plan), settings_(settings) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { woken(); });
    }

    bool failed() const { return failed_; }
    // Where the transmission on the air, a pause and the slots left out are shown.
    void setBoard(web::StatusBoard& board) { board_ = &board; }

    void start() { planFrom(systemWallClock().now() + plan::kOpenLeadNs); }

    void stop() {
        if (stopping_ || !session_.playing()) {
            say(stopping_ ? "stopping at once" : "stopping");
            stopping_ = true;
            timer_.stop();
            app_.quit();
            return;
        }
        say("stopping: PTT released, letting the queued sound play out");
        stopping_ = true;
        session_.turnOff();
        session_.close();
        QTimer::singleShot(kDrainLimitMs, &app_, [this] {
            say("vesk-cli: the sound device did not close; ending anyway");
            failed_ = true;
            app_.quit();
        });
    }

    void transmissionLogged(const TransmissionRecord& record) override {
        sent_ = true;
        say(transmissionLine(record));
    }
    void problem(SessionProblem kind, const std::string& message) override {
        const std::string text =
            kind == SessionProblem::OpenFailed
                ? std::string(platform::kOpenFailureText) + " (" + message + ")"
                : message;
        say("vesk-cli: " + text);
        if (kind == SessionProblem::KeyingFailed || kind == SessionProblem::LogFailed) {
            // As with play: a keyer that fails ends the run; a log that fails is told once
            // and the station goes on, ending with status 1.
            failed_ = true;
            if (kind == SessionProblem::KeyingFailed) {
                stop();
            }
            return;
        }
        // No sound this slot (the output did not open, went away, or the render refused):
        // the next slot tries again.
        transmissionOver();
    }
    void ended() override {
        if (stopping_) {
            QTimer::singleShot(0, &app_, [this] { app_.quit(); });
            return;
        }
        if (transmitting_ && !sent_ && !paused_) {
            say(utcNow() + " " + entry().name + " at " + plan::formatSlotTime(slot_.at) +
                " missed: its start slipped past the slot (the process was held up)");
        }
        transmissionOver();
    }

    web::CommandOutcome pause(const std::string& from) override {
        if (stopping_) {
            return {409, "stopping", "the station is stopping"};
        }
        if (paused_) {
            return {200, "paused", "the station is paused already"};
        }
        paused_ = true;
        timer_.stop();
        then_ = nullptr;
        tell("paused", from);
        const UtcNanoseconds now = systemWallClock().now();
        publish([&](web::BeaconStatus& s) {
            s.pausedBy = from;
            s.pausedAt = now;
        });
        if (transmitting_) {
            // The output closes once the queued sound has played out; ended() then plans on.
            session_.turnOff();
            if (!session_.close()) {
                transmissionOver();
            }
            return {200, "paused",
                    "paused: the PTT is released, and no slot is sent until "
                    "resumed"};
        }
        return {200, "paused", "paused: no slot is sent until resumed"};
    }
    web::CommandOutcome resume(const std::string& from) override {
        if (stopping_) {
            return {409, "stopping", "the station is stopping"};
        }
        if (!paused_) {
            return {200, "idle", "the station is not paused"};
        }
        paused_ = false;
        tell("resumed", from);
        publish();
        if (!transmitting_) {
            planFrom(systemWallClock().now() + plan::kOpenLeadNs);
        }
        return {200, "idle", "sending again from the next slot"};
    }
    web::CommandOutcome skip(const std::string& from) override {
        if (stopping_) {
            return {409, "stopping", "the station is stopping"};
        }
        // The next slot not yet begun: after the one under way, else the one planned.
        const UtcNanoseconds now = systemWallClock().now();
        std::optional<plan::Slot> next = plan::nextTransmission(
            plan_, transmitting_ ? slot_.at + 1 : std::max(slot_.at, now), settings_.seed);
        while (next && leftOut(*next)) {
            next = plan::nextTransmission(plan_, next->at + 1, settings_.seed);
        }
        if (!next) {
            return {409, "idle", "no transmission of the plan falls in the next eight days"};
        }
        const std::string what =
            plan_.entries[next->entry].name + " at " + plan::formatSlotTime(next->at);
        skipped_.push_back({*next, from, false});
        tell("leaving out " + what, from);
        if (!transmitting_ && !paused_ && *next == slot_) {
            timer_.stop();
            planFrom(slot_.at);
        }
        publish();
        return {200, paused_ ? "paused" : "idle", what + " is left out"};
    }
    web::CommandOutcome stop(const std::string& from) override {
        if (stopping_) {
            return {200, "stopping", "the station is stopping already"};
        }
        tell("stopped", from);
        stop();
        publish();
        return {200, "stopping",
                "stopping: the PTT is released, the queued sound plays out, and the station ends"};
    }

private:
    // A slot a skip leaves out, and the client that asked.
    struct LeftOut {
        plan::Slot slot;
        std::string from;
        bool told = false; // said on stderr
    };

    const plan::PlanEntry& entry() const { return plan_.entries[slot_.entry]; }

    bool leftOut(const plan::Slot& slot) const {
        return std::any_of(skipped_.begin(), skipped_.end(),
                           [&slot](const LeftOut& l) { return l.slot == slot; });
    }
    void tell(const std::string& what, const std::string& from) {
        const std::string line = what + " from " + from + " over HTTP";
        session_.logEvent(line);
        say(utcNow() + " " + line);
    }
    // The board as the runner leaves it, and what `edit` adds.
    void publish(const std::function<void(web::BeaconStatus&)>& edit = {}) {
        if (board_ == nullptr) {
            return;
        }
        board_->change([&](web::BeaconStatus& s) {
            s.paused = paused_;
            s.stopping = stopping_;
            s.skippedSlots.clear();
            for (const LeftOut& l : skipped_) {
                s.skippedSlots.push_back(l.slot);
            }
            if (transmitting_) {
                s.onAir = web::slotTransmission(plan_, slot_);
            } else {
                s.onAir.reset();
            }
            if (edit) {
                edit(s);
            }
        });
    }

    // Waits until `at` (UTC) and then does `then`.
    void wakeAt(UtcNanoseconds at, std::function<void()> then) {
        wakeAt_ = at;
        then_ = std::move(then);
        woken();
    }
    void woken() {
        const std::int64_t leftMs = (wakeAt_ - systemWallClock().now()) / 1'000'000;
        if (leftMs > 0) {
            timer_.start(static_cast<int>(std::min(leftMs, kLongestWaitMs)));
            return;
        }
        if (then_ && !stopping_) {
            std::function<void()> then = std::move(then_);
            then_ = nullptr;
            then();
        }
    }

    void planFrom(UtcNanoseconds from) {
        std::erase_if(skipped_, [from](const LeftOut& l) { return l.slot.at < from; });
        std::optional<plan::Slot> next = plan::nextTransmission(plan_, from, settings_.seed);
        while (next && leftOut(*next)) {
            // Said once; the page shows it left out until its time has passed.
            LeftOut& left = *std::find_if(skipped_.begin(), skipped_.end(),
                                          [&](const LeftOut& l) { return l.slot == *next; });
            if (!left.told) {
                left.told = true;
                say(utcNow() + " " + plan_.entries[next->entry].name + " at " +
                    plan::formatSlotTime(next->at) + " skipped: left out from " + left.from +
                    " over HTTP");
            }
            next = plan::nextTransmission(plan_, next->at + 1, settings_.seed);
        }
        publish([from](web::BeaconStatus& s) { s.planFrom = from; });
        if (!next) {
            say("no transmission of the plan falls in the next eight days; looking again in one");
            wakeAt(from + 86'400 * plan::kSecondNs, [this, from] { planFrom(from); });
            return;
        }
        slot_ = *next;
        if (paused_) {
            return;
        }
        say("next transmission at " + plan::formatSlotTime(slot_.at) + ": " + entry().name + ", " +
            describeFrequency(entry().frequencyHz));
        wakeAt(slot_.at - plan::preparationNs(entry()), [this] { prepare(); });
    }

    void prepare() {
        if (settings_.clockCheck) {
            if (const std::string change = gate_.update(platform::readClockSync());
                !change.empty()) {
                say(utcNow() + " " + change);
            }
            if (!gate_.open()) {
                // Said once when the gate closed; each held slot passes quietly.
                planFrom(slot_.at + 1);
                return;
            }
        }
        const Result<> prepared =
            plan::prepareTransmission(entry(), settings_.dial, platform::runCommand);
        if (!prepared) {
            giveUp(prepared.message());
            return;
        }
        device_ = outputIndex(plan_.station.output);
        if (!device_) {
            giveUp(device_.message());
            return;
        }
        if (slot_.at - systemWallClock().now() < kLatestOpenNs) {
            giveUp("its preparation took until too close to the slot");
            return;
        }
        wakeAt(slot_.at - plan::kOpenLeadNs, [this] { open(); });
    }

    void open() {
        transmitting_ = true;
        sent_ = false;
        const plan::PlanEntry& e = entry();
        publish();
        session_.transmitAt(slot_.at, e.pattern, settings_.amplitude, *device_,
                            {e.patternName, e.name, e.frequencyHz});
    }

    // A slot given up before its output opened.
    void giveUp(const std::string& reason) {
        say(utcNow() + " " + entry().name + " at " + plan::formatSlotTime(slot_.at) +
            " skipped: " + reason);
        planFrom(slot_.at + 1);
    }

    // The session is done with the slot's transmission (once, whatever told it first).
    void transmissionOver() {
        if (!transmitting_) {
            return;
        }
        transmitting_ = false;
        publish();
        if (!stopping_) {
            planFrom(slot_.at + 1);
        }
    }

    QCoreApplication& app_;
    BeaconSession& session_;
    const plan::Plan& plan_;
    Settings settings_;
    plan::ClockGate gate_;
    QTimer timer_;
    UtcNanoseconds wakeAt_ = 0;
    std::function<void()> then_;
    plan::Slot slot_;
    Result<int> device_ = -1;
    bool transmitting_ = false; // between transmitAt and its end
    bool sent_ = false;         // a transmission of this slot reached the log
    bool stopping_ = false;
    bool failed_ = false;
    bool paused_ = false;
    std::vector<LeftOut> skipped_;
    web::StatusBoard* board_ = nullptr;
};

// The dial the plan's frequencies are set on: the CAT keyer's own, or a rig of its own named
// for the dial; none when the plan names no rig.
Result<std::unique_ptr<Dial>> openOwnDial(const plan::PlanStation& station) {
    if (station.ptt.usesCat() || !station.dial) {
        return std::unique_ptr<Dial>();
    }
    Result<std::unique_ptr<Dial>> dial = openCatDial(*station.dial);
    if (!dial) {
        return fail("Failure to open the rig for the dial (" + dial.message() + ")");
    }
    return dial;
}

std::string startLine(const plan::Plan& plan, std::uint64_t seed, const std::string& logPath) {
    const plan::PlanStation& station = plan.station;
    std::string line = "running " + plan.path + ": " + std::to_string(plan.entries.size()) +
                       " transmission(s); PTT " + describePttChoice(station.ptt, station.comport) +
                       ", log " + logPath;
    if (drawsSlots(plan)) {
        line += ", slots drawn with --seed " + std::to_string(seed);
    }
    return line;
}

} // namespace

int runRun(const Options& options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::function<void()> onStopSignal;
    const auto signalWatch = watchStopSignals(onStopSignal);
    if (!signalWatch) {
        return 1;
    }
    const Result<plan::Plan> plan = plan::loadPlanFile(options.positional[0]);
    const std::string logPath = plan && !plan->station.logPath.empty()
                                    ? plan->station.logPath
                                    : defaultTransmissionLogPath();
    Result<int> device = plan ? outputIndex(plan->station.output) : Result<int>(plan.failure());
    if (const Result<web::HttpAddress> address = web::parseHttpAddress(options.http);
        device && !options.http.empty() && !address) {
        device = address.failure();
    }
    if (!device) {
        say("vesk-cli: " + device.message());
        return 1;
    }
    BeaconSession session(platform::makeAudioOut(), platform::makeDotTimer,
                          std::make_unique<Ptt>(keyerOpener()));
    const plan::PlanStation& station = plan->station;
    if (const Result<> opened = openLogAndKeyer(session, station.ptt, station.comport, logPath);
        !opened) {
        say("vesk-cli: " + opened.message());
        return 1;
    }
    Result<std::unique_ptr<Dial>> ownDial = openOwnDial(station);
    if (!ownDial) {
        say("vesk-cli: " + ownDial.message());
        return 1;
    }
    const std::uint64_t seed = drawSeed(options);
    PlanRunner runner(app, session, *plan,
                      {seed, options.clockCheck,
                       amplitudeForLevel(static_cast<float>(station.level)),
                       *ownDial ? ownDial->get() : session.ptt().dial()});
    session.addView(runner);
    ServiceView service("running " + options.positional[0]);
    session.addView(service);
    onStopSignal = [&runner] {
        runner.stop();
    };
    std::unique_ptr<web::BeaconWeb> served;
    if (!options.http.empty()) {
        Result<std::unique_ptr<web::BeaconWeb>> started = web::BeaconWeb::start(
            {options.http, options.httpTokenFile},
            {"run", options.positional[0], logPath, {}, &*plan, seed}, session, runner);
        if (!started) {
            say("vesk-cli: " + started.message());
            return 1;
        }
        served = std::move(*started);
        runner.setBoard(served->board());
        say(served->startLine());
    }
    say(startLine(*plan, seed, logPath));
    // The plan is read and the keyer and log are open: the first transmission may be hours off.
    service.started();
    QTimer::singleShot(0, &app, [&runner] { runner.start(); });
    app.exec();
    served.reset();
    session.removeView(runner);
    session.removeView(service);
    session.shutdown();
    return runner.failed() ? 1 : 0;
}

} // namespace vesk::cli
