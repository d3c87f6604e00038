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

// The keyer the options choose; a failure names the options that do not go together.
Result<PttChoice> keyingChoice(const KeyingOptions& given) {
    const bool cat = given.ptt == "cat";
    const std::optional<PttChoice> chosen = pttChoiceFromWord(given.ptt, given.invert && !cat);
    if (!chosen) {
        return fail("--ptt takes dtr, rts, both or cat, not \"" + given.ptt + "\"");
    }
    if (cat && given.invert) {
        return fail("--invert is for the DTR and RTS lines, not for --ptt cat");
    }
    if (!cat && (given.rig || given.rigctld)) {
        return fail(std::string(given.rig ? "--rig" : "--rigctld") +
                    " keys by CAT: give --ptt cat");
    }
    if (cat && given.comport) {
        return fail("--comport is for keying by the lines, not for --ptt cat");
    }
    if (given.rig && given.rigctld) {
        return fail("--rig and --rigctld do not go together: a rig on a serial device, or a "
                    "running rigctld");
    }
    if (!given.rig && (given.rigPort || given.rigSpeed)) {
        return fail(std::string(given.rigPort ? "--rig-port" : "--rig-speed") +
                    " needs --rig MODEL");
    }
    if (cat && !given.rig && !given.rigctld) {
        return fail("--ptt cat needs --rig MODEL or --rigctld HOST:PORT");
    }
    PttChoice choice = *chosen;
    if (given.rig) {
        choice.rig = {static_cast<int>(*given.rig), given.rigPort.value_or(""),
                      static_cast<int>(given.rigSpeed.value_or(0))};
    } else if (given.rigctld) {
        choice.rig = RigAddress::rigctld(*given.rigctld);
    }
    if (const Result<> checked = checkPttChoice(choice); !checked) {
        return fail("--ptt " + given.ptt + ": " + checked.message());
    }
    return choice;
}

} // namespace

Result<Options> parseOptions(const std::vector<std::string>& args) {
    Options options;
    KeyingOptions keying;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto needsValue = [&arg] {
            return fail("option " + arg + " needs a value");
        };
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        long number = 0;
        if (arg == "--ptt" || arg == "--rig-port" || arg == "--rigctld" || arg == "--log") {
            if (!value(text) || text.empty()) {
                return needsValue();
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
                return needsValue();
            }
            if (!parseInteger(text, number) || number < 1 || number > 100000000) {
                return fail(arg + " takes a whole number from 1, not \"" + text + "\"");
            }
            (arg == "--rig" ? keying.rig : keying.rigSpeed) = number;
        } else if (arg == "--level") {
            if (!value(text)) {
                return needsValue();
            }
            if (!parseNumber(text, options.level) || options.level < 0.0 || options.level > 100.0) {
                return fail("--level takes a number from 0 to 100, not \"" + text + "\"");
            }
        } else if (arg == "--device" || arg == "--comport" || arg == "--cycles" ||
                   arg == "--every" || arg == "--offset") {
            if (!value(text)) {
                return needsValue();
            }
            const long lowest = arg == "--device" ? -1 : 0;
            if (!parseInteger(text, number) || number < lowest || number > 1000000) {
                return fail(arg + " takes a whole number from " + std::to_string(lowest) +
                            ", not \"" + text + "\"");
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
            return fail("unknown option " + arg);
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.positional.push_back(arg);
        }
    }
    Result<PttChoice> ptt = keyingChoice(keying);
    if (!ptt) {
        return ptt.failure();
    }
    options.ptt = *ptt;
    if (options.timingGiven) {
        if (options.timing.everyMinutes == 0) {
            // --every 0: at the repeat interval, even for a pattern that defaults to the clock.
            if (options.timing.offsetSeconds != 0) {
                return fail("--offset needs --every");
            }
            return options;
        }
        if (const Result<> checked = checkClockTiming(options.timing); !checked) {
            return fail("--every " + std::to_string(options.timing.everyMinutes) + " --offset " +
                        std::to_string(options.timing.offsetSeconds) + ": " + checked.message());
        }
    }
    return options;
}

} // namespace vesk::cli
