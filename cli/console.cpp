// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console.h"

#include "cli/cli.h"
#include "devices/transmission_log.h"
#include "tone/clock_timing.h"

#include <csignal>
#include <cstdio>

namespace vesk::cli {

void say(const std::string& line) {
    const std::string text = oneLine(line) + '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

std::string utcNow() {
    return formatUtcMilliseconds(systemWallClock().now());
}

std::string keyerOpenFailure(const PttChoice& choice, std::int32_t comport,
                             const std::string& reason) {
    return choice.usesCat()
               ? "Failure to open the rig for PTT by CAT (" + reason + ")"
               : "Failure to open comport COM" + std::to_string(comport) + " (" + reason + ")";
}

Result<> openLogAndKeyer(BeaconSession& session, const PttChoice& ptt, std::int32_t comport,
                         const std::string& logPath) {
    if (const Result<> opened = session.openLog(logPath); !opened) {
        return opened;
    }
    const Result<> keyer = session.openKeyer(ptt, comport);
    if (!keyer) {
        return fail(keyerOpenFailure(ptt, comport, keyer.message()));
    }
    return {};
}

std::unique_ptr<platform::SignalWatch> watchStopSignals(const std::function<void()>& onStop) {
    auto watch = std::make_unique<platform::SignalWatch>(
        std::initializer_list<int>{SIGHUP, SIGINT, SIGQUIT, SIGTERM}, [&onStop](int) { onStop(); });
    if (!watch->watching()) {
        say("vesk-cli: cannot watch for signals");
        return nullptr;
    }
    return watch;
}

} // namespace vesk::cli
