// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console.h"

#include "cli/cli.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>

namespace vesk::cli {

void say(const std::string& line) {
    const std::string text = oneLine(line) + '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

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
