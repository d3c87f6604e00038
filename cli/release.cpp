// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli release: the transmitter released the way the beacon keys it, for a service
// manager to run once the beacon has ended, however it ended (a rig keyed by CAT stays keyed
// when the beacon dies).
#include "cli/cli.h"

#include "devices/cat/keyer_opener.h"
#include "plan/plan_file.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace vesk::cli {

namespace {

// The longest a release may take, in s: above the few seconds a serial rig that does not
// answer needs to be given up (about 3.5 s for an Icom), below the service's stop timeout.
// Hamlib's own timeouts do not cover a connection that never completes (a rigctld host that
// is down, or a rigctld that stopped taking connections): its connect waits for minutes.
constexpr unsigned kReleaseLimitSeconds = 10;

// The line the alarm writes; made before the alarm is set and not changed after.
std::string lateLine;

extern "C" void endTooLate(int) {
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, lateLine.data(), lateLine.size());
    ::_exit(1);
}

int refuse(const std::string& message) {
    const std::string line = "vesk-cli: " + message + '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    return 1;
}

} // namespace

int runRelease(const Options& given) {
    Options options = given;
    if (!options.planPath.empty()) {
        if (options.given.size() > 1) {
            return refuse("--plan names the keying already: give it alone");
        }
        const Result<plan::Plan> plan = plan::loadPlanFile(options.planPath);
        if (!plan) {
            return refuse(plan.message());
        }
        options.ptt = plan->station.ptt;
        options.comport = plan->station.comport;
    }
    if (!options.ptt.usesCat() && options.comport == 0) {
        return refuse("release needs the PTT port (--comport N), a rig (--ptt cat ...) or a "
                      "plan (--plan PLAN)");
    }
    const std::string keying = describePttChoice(options.ptt, options.comport);
    lateLine = "vesk-cli: " + keying + ": no answer within " +
               std::to_string(kReleaseLimitSeconds) + " s; not released\n";
    struct sigaction action {};
    action.sa_handler = endTooLate;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    ::alarm(kReleaseLimitSeconds);

    // Opening releases already (the lines straight after open(), a rig before it is handed
    // out); the release after it is the one whose failure is told.
    Result<std::unique_ptr<Keyer>> keyer = keyerOpener()(options.ptt, options.comport);
    if (!keyer) {
        return refuse(keyerOpenFailure(options.ptt, options.comport, keyer.message()));
    }
    if (const Result<> released = (*keyer)->setKeyed(false); !released) {
        return refuse(released.message());
    }
    keyer->reset();
    ::alarm(0);
    const std::string done = "released " + keying + '\n';
    std::fwrite(done.data(), 1, done.size(), stderr);
    return 0;
}

} // namespace vesk::cli
