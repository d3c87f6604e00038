// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

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

std::string oneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    }
    return line;
}

namespace {

// What the options set while they are read: the options, and the keying as typed.
struct Reading {
    Options options;
    KeyingOptions keying;
};

// A whole number from `lowest` to `highest`, or the sentence for `option`.
Result<long> wholeNumber(const std::string& option, const std::string& text, long lowest,
                         long highest) {
    long number = 0;
    if (!parseInteger(text, number) || number < lowest || number > highest) {
        return fail(option + " takes a whole number from " + std::to_string(lowest) + ", not \"" +
                    text + "\"");
    }
    return number;
}

// One option: its name, whether a value follows it, and what it does with it.
struct OptionRule {
    const char* name;
    bool takesValue;
    Result<> (*apply)(Reading& reading, const std::string& option, const std::string& value);
};

Result<> setText(Reading& r, const std::string& option, const std::string& value) {
    if (value.empty()) {
        return fail("option " + option + " needs a value");
    }
    if (option == "--ptt") {
        r.keying.ptt = value;
    } else if (option == "--rig-port") {
        r.keying.rigPort = value;
    } else if (option == "--rigctld") {
        r.keying.rigctld = value;
    } else if (option == "--plan") {
        r.options.planPath = value;
    } else if (option == "--http") {
        r.options.http = value;
    } else if (option == "--http-token-file") {
        r.options.httpTokenFile = value;
    } else {
        r.options.logPath = value;
    }
    return {};
}

Result<> setRig(Reading& r, const std::string& option, const std::string& value) {
    const Result<long> number = wholeNumber(option, value, 1, 100000000);
    if (!number) {
        return number.failure();
    }
    (option == "--rig" ? r.keying.rig : r.keying.rigSpeed) = *number;
    return {};
}

Result<> setLevel(Reading& r, const std::string&, const std::string& value) {
    double& level = r.options.level;
    if (!parseNumber(value, level) || level < 0.0 || level > 100.0) {
        return fail("--level takes a number from 0 to 100, not \"" + value + "\"");
    }
    return {};
}

Result<> setCount(Reading& r, const std::string& option, const std::string& value) {
    const Result<long> number = wholeNumber(option, value, option == "--device" ? -1 : 0, 1000000);
    if (!number) {
        return number.failure();
    }
    Options& o = r.options;
    if (option == "--device") {
        o.device = static_cast<int>(*number);
    } else if (option == "--comport") {
        o.comport = static_cast<int>(*number);
        r.keying.comport = *number != 0;
    } else if (option == "--cycles") {
        o.cycles = *number;
    } else {
        (option == "--every" ? o.timing.everyMinutes : o.timing.offsetSeconds) =
            static_cast<int>(*number);
        o.timingGiven = true;
    }
    return {};
}

Result<> setMaxKey(Reading& r, const std::string&, const std::string& value) {
    double& seconds = r.options.maxKeySeconds;
    if (!parseNumber(value, seconds) || seconds < 0.1 || seconds > 3600.0) {
        return fail("--max-key takes a number of seconds from 0.1 to 3600, not \"" + value + "\"");
    }
    return {};
}

Result<> setInvert(Reading& r, const std::string&, const std::string&) {
    r.keying.invert = true;
    return {};
}

Result<> setFlag(Reading& r, const std::string& option, const std::string&) {
    if (option == "--check") {
        r.options.check = true;
    } else {
        r.options.clockCheck = false;
    }
    return {};
}

Result<> setNext(Reading& r, const std::string& option, const std::string& value) {
    const Result<long> number = wholeNumber(option, value, 1, 100000);
    if (!number) {
        return number.failure();
    }
    r.options.next = *number;
    return {};
}

Result<> setSeed(Reading& r, const std::string&, const std::string& value) {
    std::uint64_t seed = 0;
    const char* last = value.data() + value.size();
    const auto [end, ec] = std::from_chars(value.data(), last, seed);
    if (ec != std::errc() || end != last) {
        return fail("--seed takes a whole number from 0 to 18446744073709551615, not \"" + value +
                    "\"");
    }
    r.options.seed = seed;
    return {};
}

constexpr OptionRule kOptionRules[] = {
    {"--plan", true, setText},
    {"--ptt", true, setText},
    {"--rig-port", true, setText},
    {"--rigctld", true, setText},
    {"--log", true, setText},
    {"--invert", false, setInvert},
    {"--rig", true, setRig},
    {"--rig-speed", true, setRig},
    {"--level", true, setLevel},
    {"--device", true, setCount},
    {"--comport", true, setCount},
    {"--cycles", true, setCount},
    {"--every", true, setCount},
    {"--offset", true, setCount},
    {"--next", true, setNext},
    {"--check", false, setFlag},
    {"--seed", true, setSeed},
    {"--no-clock-check", false, setFlag},
    {"--max-key", true, setMaxKey},
    {"--http", true, setText},
    {"--http-token-file", true, setText},
};

// The options of the commands that take only their own.
struct CommandOptions {
    const char* command;
    std::vector<std::string> options;
};
const CommandOptions kOwnOptions[] = {
    {"run", {"--seed", "--no-clock-check"}},
    {"plan", {"--seed", "--next", "--check"}},
};
// The options that only the headless beacons take.
const std::vector<std::string> kBeaconOptions = {"--http", "--http-token-file"};

// The options read together: the keying as one choice, and a clock timing that can be kept.
Result<Options> finish(Reading& r) {
    Result<PttChoice> ptt = keyingChoice(r.keying);
    if (!ptt) {
        return ptt.failure();
    }
    Options& options = r.options;
    options.ptt = *ptt;
    if (!options.timingGiven) {
        return options;
    }
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
    return options;
}

} // namespace

Result<> checkCommandOptions(const Options& options) {
    for (const std::string& option : options.given) {
        if (option == "--plan" && options.command != "release") {
            return fail("--plan is for release");
        }
        if (std::find(kBeaconOptions.begin(), kBeaconOptions.end(), option) !=
            kBeaconOptions.end()) {
            if (options.command != "play" && options.command != "run") {
                return fail(option + " is for play and run");
            }
            continue;
        }
        for (const CommandOptions& own : kOwnOptions) {
            const bool listed =
                std::find(own.options.begin(), own.options.end(), option) != own.options.end();
            if (options.command == own.command && !listed) {
                return fail(option + " is not for " + own.command +
                            (own.command == std::string("run") ? ": the plan's [station] says how "
                                                                 "the station keys and sounds"
                                                               : ""));
            }
            // An option of run or plan alone is refused by the other commands.
            const bool others =
                std::none_of(std::begin(kOwnOptions), std::end(kOwnOptions),
                             [&](const CommandOptions& c) { return options.command == c.command; });
            if (listed && others) {
                return fail(option + " is for " +
                            (option == "--seed" ? std::string("run and plan") : own.command));
            }
        }
    }
    if (!options.httpTokenFile.empty() && options.http.empty()) {
        return fail("--http-token-file goes with --http ADDR:PORT");
    }
    if (options.command == "plan" && (options.next > 0) == options.check) {
        return fail("plan takes --next N or --check");
    }
    return {};
}

Result<Options> parseOptions(const std::vector<std::string>& args) {
    Reading reading;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto rule = std::find_if(std::begin(kOptionRules), std::end(kOptionRules),
                                       [&arg](const OptionRule& r) { return arg == r.name; });
        if (rule != std::end(kOptionRules)) {
            if (rule->takesValue && i + 1 >= args.size()) {
                return fail("option " + arg + " needs a value");
            }
            const std::string value = rule->takesValue ? args[++i] : std::string();
            reading.options.given.push_back(arg);
            if (const Result<> applied = rule->apply(reading, arg, value); !applied) {
                return applied.failure();
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return fail("unknown option " + arg);
        } else if (reading.options.command.empty()) {
            reading.options.command = arg;
        } else {
            reading.options.positional.push_back(arg);
        }
    }
    return finish(reading);
}

} // namespace vesk::cli
