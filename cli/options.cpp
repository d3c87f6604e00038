// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <system_error>

namespace vesk::cli {

namespace {

bool parseNumber(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && std::isfinite(value);
}

bool parseInteger(const std::string& text, long& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

// The keying options as typed; checked together once all are read, whatever their order.
struct KeyingOptions {
    std::string ptt = "both";
    bool invert = false;
    std::optional<long> rig;
    std::optional<std::string> rigPort;
    std::optional<long> rigSpeed;
    std::optional<std::string> rigctld;
    bool comport = false;
};

bool keyingChoice(const KeyingOptions& given, PttChoice& choice, std::string& error) {
    const bool cat = given.ptt == "cat";
    const std::optional<PttChoice> chosen = pttChoiceFromWord(given.ptt, given.invert && !cat);
    if (!chosen) {
        error = "--ptt takes dtr, rts, both or cat, not \"" + given.ptt + "\"";
        return false;
    }
    if (cat && given.invert) {
        error = "--invert is for the DTR and RTS lines, not for --ptt cat";
    } else if (!cat && (given.rig || given.rigctld)) {
        error = std::string(given.rig ? "--rig" : "--rigctld") + " keys by CAT: give --ptt cat";
    } else if (cat && given.comport) {
        error = "--comport is for keying by the lines, not for --ptt cat";
    } else if (given.rig && given.rigctld) {
        error = "--rig and --rigctld do not go together: a rig on a serial device, or a "
                "running rigctld";
    } else if (!given.rig && (given.rigPort || given.rigSpeed)) {
        error = std::string(given.rigPort ? "--rig-port" : "--rig-speed") + " needs --rig MODEL";
    } else if (cat && !given.rig && !given.rigctld) {
        error = "--ptt cat needs --rig MODEL or --rigctld HOST:PORT";
    }
    if (!error.empty()) {
        return false;
    }
    choice = *chosen;
    if (given.rig) {
        choice.rig = {static_cast<int>(*given.rig), given.rigPort.value_or(""),
                      static_cast<int>(given.rigSpeed.value_or(0))};
    } else if (given.rigctld) {
        choice.rig = RigAddress::rigctld(*given.rigctld);
    }
    if (const auto problem = pttChoiceProblem(choice)) {
        error = "--ptt " + given.ptt + ": " + *problem;
        return false;
    }
    return true;
}

} // namespace

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    KeyingOptions keying;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        long number = 0;
        if (arg == "--ptt" || arg == "--rig-port" || arg == "--rigctld" || arg == "--log") {
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            if (arg == "--ptt") {
                keying.ptt = text;
            } else if (arg == "--rig-port") {
                keying.rigPort = text;
            } else if (arg == "--rigctld") {
                keying.rigctld = text;
            } else {
                options.logPath = text;
            }
        } else if (arg == "--invert") {
            keying.invert = true;
        } else if (arg == "--rig" || arg == "--rig-speed") {
            if (!value(text)) {
                return false;
            }
            if (!parseInteger(text, number) || number < 1 || number > 100000000) {
                error = arg + " takes a whole number from 1, not \"" + text + "\"";
                return false;
            }
            (arg == "--rig" ? keying.rig : keying.rigSpeed) = number;
        } else if (arg == "--level") {
            if (!value(text)) {
                return false;
            }
            if (!parseNumber(text, options.level) || options.level < 0.0 || options.level > 100.0) {
                error = "--level takes a number from 0 to 100, not \"" + text + "\"";
                return false;
            }
        } else if (arg == "--device" || arg == "--comport" || arg == "--cycles" ||
                   arg == "--every" || arg == "--offset") {
            if (!value(text)) {
                return false;
            }
            const long lowest = arg == "--device" ? -1 : 0;
            if (!parseInteger(text, number) || number < lowest || number > 1000000) {
                error = arg + " takes a whole number from " + std::to_string(lowest) + ", not \"" +
                        text + "\"";
                return false;
            }
            if (arg == "--device") {
                options.device = static_cast<int>(number);
            } else if (arg == "--comport") {
                options.comport = static_cast<int>(number);
                keying.comport = number != 0;
            } else if (arg == "--cycles") {
                options.cycles = number;
            } else {
                (arg == "--every" ? options.timing.everyMinutes : options.timing.offsetSeconds) =
                    static_cast<int>(number);
                options.timingGiven = true;
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            error = "unknown option " + arg;
            return false;
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.positional.push_back(arg);
        }
    }
    if (!keyingChoice(keying, options.ptt, error)) {
        return false;
    }
    if (options.timingGiven) {
        if (options.timing.everyMinutes == 0) {
            // --every 0: at the repeat interval, even for a pattern that defaults to the clock.
            if (options.timing.offsetSeconds != 0) {
                error = "--offset needs --every";
                return false;
            }
            return true;
        }
        if (const auto problem = clockTimingProblem(options.timing)) {
            error = "--every " + std::to_string(options.timing.everyMinutes) + " --offset " +
                    std::to_string(options.timing.offsetSeconds) + ": " + *problem;
            return false;
        }
    }
    return true;
}

} // namespace vesk::cli
