// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <charconv>
#include <cmath>
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

} // namespace

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
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
        if (arg == "--level") {
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
            long number = 0;
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
