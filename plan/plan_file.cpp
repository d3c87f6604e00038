// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_file.h"

#include "beacon/generator.h"
#include "beacon/make_words.h"
#include "devices/dial.h"
#include "files/pattern_file.h"
#include "files/read_file.h"
#include "plan/schedule.h"
#include "tone/pattern_stream.h"

// No exceptions cross into the program: the parser reports through its result.
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <set>
#include <span>

namespace vesk::plan {

namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 10> kStationKeys = {
    "ptt",       "invert",  "comport", "rig",   "rig_port",
    "rig_speed", "rigctld", "output",  "level", "log"};
constexpr std::array<std::string_view, 12> kEntryKeys = {
    "name", "pattern", "make",  "every", "offset", "frequency",
    "mode", "percent", "hours", "days",  "hook",   "hook_timeout"};
constexpr std::array<std::string_view, 7> kDayNames = {"mon", "tue", "wed", "thu",
                                                       "fri", "sat", "sun"};
// A plan file holds a few dozen lines; anything past this is some other file.
constexpr std::size_t kMaxPlanBytes = 1 << 20;
// The highest dial frequency taken, in Hz (1 THz).
constexpr std::int64_t kMaxFrequencyHz = 1'000'000'000'000;

// Reads the keys of one table; the first failure is kept, naming the file, the line and the
// key ("beacon.toml:12: every: <reason>"), and later reads do nothing.
class TableReader {
public:
    TableReader(std::string path, const toml::table& table)
        : path_(std::move(path)), table_(table) {}

    const toml::table& table() const { return table_; }
    bool failed() const { return failure_.has_value(); }
    Failure failure() const { return *failure_; }
    bool has(std::string_view key) const { return table_.get(key) != nullptr; }
    // The line of `key`, or of the table when it is not there.
    int line(std::string_view key = {}) const {
        const toml::node* node = key.empty() ? nullptr : table_.get(key);
        return static_cast<int>((node != nullptr ? *node : table_).source().begin.line);
    }
    void refuse(std::string_view key, const std::string& reason) {
        if (!failure_) {
            failure_ = fail(path_ + ":" + std::to_string(line(key)) + ": " + std::string(key) +
                            ": " + reason);
        }
    }
    void refuseUnknownKeys(std::span<const std::string_view> known, const std::string& where) {
        for (auto&& [key, node] : table_) {
            if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
                refuse(key.str(), "no such key in " + where);
            }
        }
    }
    // The value under `key` when it is a T; a value of another type is refused: it must be
    // `what`.
    template <typename T> std::optional<T> get(std::string_view key, const std::string& what) {
        const toml::node* node = table_.get(key);
        if (node == nullptr || failed()) {
            return std::nullopt;
        }
        std::optional<T> value = node->value_exact<T>();
        if (!value) {
            refuse(key, "must be " + what);
        }
        return value;
    }
    // A number, whole or not.
    std::optional<double> number(std::string_view key) {
        const toml::node* node = table_.get(key);
        if (node == nullptr || failed()) {
            return std::nullopt;
        }
        if (!node->is_number()) {
            refuse(key, "must be a number");
            return std::nullopt;
        }
        return node->value<double>();
    }
    // A text, or an array of texts (each given to `each`).
    std::vector<std::string> texts(std::string_view key, const std::string& what) {
        std::vector<std::string> found;
        const toml::node* node = table_.get(key);
        if (node == nullptr || failed()) {
            return found;
        }
        if (const auto text = node->value_exact<std::string>()) {
            found.push_back(*text);
        } else if (const toml::array* array = node->as_array()) {
            for (const toml::node& item : *array) {
                const auto itemText = item.value_exact<std::string>();
                if (!itemText) {
                    refuse(key, "must be " + what);
                    return {};
                }
                found.push_back(*itemText);
            }
        }
        if (found.empty()) {
            refuse(key, "must be " + what);
        }
        return found;
    }

private:
    std::string path_;
    const toml::table& table_;
    std::optional<Failure> failure_;
};

// The path of `file` as found from the plan's folder.
std::string besidePlan(const std::string& planPath, const std::string& file) {
    const fs::path path(file);
    return path.is_absolute() ? file : (fs::path(planPath).parent_path() / path).string();
}

// The keying keys, checked together as vesk-cli play checks its options.
void readKeying(TableReader& r, PlanStation& station) {
    const std::string word = r.get<std::string>("ptt", "a text").value_or("both");
    const bool cat = word == "cat";
    const bool invert = r.get<bool>("invert", "true or false").value_or(false);
    const auto comport = r.get<std::int64_t>("comport", "a COM number");
    const auto rig = r.get<std::int64_t>("rig", "a Hamlib rig model number");
    const auto rigPort = r.get<std::string>("rig_port", "a serial device's path");
    const auto rigSpeed = r.get<std::int64_t>("rig_speed", "a speed in baud");
    const auto rigctld = r.get<std::string>("rigctld", "a \"host:port\" text");
    const std::optional<PttChoice> chosen = pttChoiceFromWord(word, invert && !cat);
    if (!chosen) {
        r.refuse("ptt", "takes \"both\", \"dtr\", \"rts\" or \"cat\", not \"" + word + "\"");
    } else if (cat && invert) {
        r.refuse("invert", "is for the DTR and RTS lines, not for ptt = \"cat\"");
    } else if (cat && comport) {
        r.refuse("comport", "is for keying by the lines, not for ptt = \"cat\"");
    } else if (comport && (*comport < 0 || *comport > 999)) {
        r.refuse("comport", "must be 0 (no port) to 999");
    } else if (rig && rigctld) {
        r.refuse("rigctld", "does not go with rig: a rig on a serial device, or a running rigctld");
    } else if (!rig && (rigPort || rigSpeed)) {
        r.refuse(rigPort ? "rig_port" : "rig_speed", "needs rig = MODEL");
    } else if (cat && !rig && !rigctld) {
        r.refuse("ptt", "\"cat\" needs rig = MODEL or rigctld = \"HOST:PORT\"");
    }
    if (r.failed()) {
        return;
    }
    station.ptt = *chosen;
    station.comport = static_cast<std::int32_t>(comport.value_or(0));
    if (!rig && !rigctld) {
        return;
    }
    PttChoice named;
    named.keyer = PttChoice::Keyer::Cat;
    named.rig = rig ? RigAddress{static_cast<int>(*rig), rigPort.value_or(""),
                                 static_cast<int>(rigSpeed.value_or(0))}
                    : RigAddress::rigctld(*rigctld);
    if (const Result<> checked = checkPttChoice(named); !checked) {
        r.refuse(rig ? "rig" : "rigctld", checked.message());
        return;
    }
    // A rig keyed by CAT sets the dial as well; with the lines it is there for the dial alone.
    (cat ? station.ptt.rig : station.dial.emplace()) = named.rig;
}

Result<PlanStation> readStation(const std::string& path, const toml::table& table) {
    TableReader r(path, table);
    r.refuseUnknownKeys(kStationKeys, "[station]");
    PlanStation station;
    readKeying(r, station);
    station.output = r.get<std::string>("output", "a sound output's name").value_or("");
    const std::optional<double> level = r.number("level");
    if (level && !(*level >= 0.0 && *level <= 100.0)) {
        r.refuse("level", "must be from 0 to 100");
    }
    station.level = level.value_or(90.0);
    if (const auto log = r.get<std::string>("log", "a file's path")) {
        station.logPath = besidePlan(path, *log);
    }
    if (r.failed()) {
        return r.failure();
    }
    return station;
}

// "06:00" as seconds of the day (up to 24:00); nothing for any other text.
std::optional<std::int32_t> timeOfDay(std::string_view text) {
    int hours = -1;
    int minutes = -1;
    if (text.size() != 5 || text[2] != ':' ||
        std::from_chars(text.data(), text.data() + 2, hours).ptr != text.data() + 2 ||
        std::from_chars(text.data() + 3, text.data() + 5, minutes).ptr != text.data() + 5 ||
        hours < 0 || minutes < 0 || minutes > 59 || hours * 60 + minutes > 24 * 60) {
        return std::nullopt;
    }
    return (hours * 60 + minutes) * 60;
}

void readHours(TableReader& r, PlanEntry& entry) {
    for (const std::string& text : r.texts("hours", "UTC windows such as \"06:00-22:00\"")) {
        const std::size_t dash = text.find('-');
        const auto from = timeOfDay(std::string_view(text).substr(0, dash));
        const auto to = dash == std::string::npos
                            ? std::nullopt
                            : timeOfDay(std::string_view(text).substr(dash + 1));
        if (!from || !to || *from == 24 * 3600) {
            r.refuse("hours", "\"" + text + "\" is no UTC window such as \"06:00-22:00\"");
        } else if (*from == *to) {
            r.refuse("hours", "\"" + text + "\" is empty");
        } else {
            entry.hours.push_back({*from, *to});
        }
    }
}

std::optional<int> dayNumber(std::string_view name) {
    const auto found = std::find(kDayNames.begin(), kDayNames.end(), name);
    return found == kDayNames.end()
               ? std::nullopt
               : std::optional<int>(static_cast<int>(found - kDayNames.begin()));
}

void readDays(TableReader& r, PlanEntry& entry) {
    const std::vector<std::string> items =
        r.texts("days", "days such as \"mon-fri\" or [\"sat\", \"sun\"]");
    if (items.empty()) {
        return;
    }
    entry.days = 0;
    for (const std::string& item : items) {
        const std::size_t dash = item.find('-');
        const auto first = dayNumber(std::string_view(item).substr(0, dash));
        const auto last =
            dash == std::string::npos ? first : dayNumber(std::string_view(item).substr(dash + 1));
        if (!first || !last) {
            r.refuse("days", "\"" + item +
                                 "\" is no day or range of days (mon, tue, wed, thu, "
                                 "fri, sat, sun; \"mon-fri\")");
            return;
        }
        // A range may run over the week's end: "sat-mon".
        for (int day = *first;; day = (day + 1) % 7) {
            entry.days = static_cast<std::uint8_t>(entry.days | (1u << day));
            if (day == *last) {
                break;
            }
        }
    }
}

// The pattern of an entry, from its file or made; the failure is refused on its key.
void readPattern(TableReader& r, const std::string& planPath, PlanEntry& entry) {
    const auto file = r.get<std::string>("pattern", "a pattern file's path");
    const auto make = r.get<std::string>("make", "a make line such as \"wspr K1ABC FN42 37\"");
    if (r.failed()) {
        return;
    }
    if (file.has_value() == make.has_value()) {
        r.refuse(file ? "make" : "name", file ? "give pattern or make, not both"
                                              : "no pattern: give pattern = \"FILE\" or make = "
                                                "\"wspr K1ABC FN42 37\"");
        return;
    }
    Result<BeaconPattern> pattern = file ? loadPatternFile(besidePlan(planPath, *file))
                                         : beacon::makePatternFromWords(beacon::splitWords(*make));
    if (!pattern) {
        r.refuse(file ? "pattern" : "make", pattern.message());
        return;
    }
    entry.pattern = *pattern;
    entry.patternName = file ? besidePlan(planPath, *file) : "make: " + *make;
    const Result<PatternStream> sound = makePatternStream(entry.pattern, 32767);
    if (!sound) {
        r.refuse(file ? "pattern" : "make", sound.message());
        return;
    }
    entry.lengthNs = sound->sampleCount() * kSecondNs / kSampleRate;
}

// `every` and `offset`: a WSPR pattern keeps the WSPR grid unless told otherwise.
void readTiming(TableReader& r, PlanEntry& entry) {
    const auto every = r.get<std::string>("every", "a duration such as \"10m\" or \"30s\"");
    const auto offset = r.get<std::string>("offset", "a duration such as \"1s\"");
    if (r.failed()) {
        return;
    }
    if (!every && !beacon::isWsprTiming(entry.pattern)) {
        r.refuse("name", "no every: give every = \"10m\" (a duration that divides the day)");
        return;
    }
    const std::optional<std::int64_t> everySeconds =
        every ? parseDuration(*every) : std::optional<std::int64_t>(kWsprTiming.everyMinutes * 60);
    const std::optional<std::int64_t> offsetSeconds =
        offset ? parseDuration(*offset)
               : std::optional<std::int64_t>(every ? 0 : kWsprTiming.offsetSeconds);
    if (!everySeconds) {
        r.refuse("every", "\"" + *every + "\" is no duration (\"10m\", \"2m\", \"30s\", \"1h\")");
    } else if (*everySeconds < 1 || kDaySeconds % *everySeconds != 0) {
        r.refuse("every", "\"" + *every + "\" does not divide the day (86400 s) into whole slots");
    } else if (!offsetSeconds) {
        r.refuse("offset", "\"" + *offset + "\" is no duration (\"0s\", \"1s\", \"1m30s\")");
    } else if (*offsetSeconds >= *everySeconds) {
        r.refuse("offset", "must be less than every (" + std::to_string(*everySeconds) + " s)");
    } else {
        entry.everySeconds = *everySeconds;
        entry.offsetSeconds = *offsetSeconds;
    }
}

void readDialAndShare(TableReader& r, PlanEntry& entry) {
    if (const auto hertz = r.get<std::int64_t>("frequency", "a whole number of Hz")) {
        if (*hertz < 1 || *hertz > kMaxFrequencyHz) {
            r.refuse("frequency", "must be from 1 Hz to 1 THz, in Hz");
        }
        entry.frequencyHz = *hertz;
    }
    entry.mode = r.get<std::string>("mode", "a mode such as \"USB\"").value_or("");
    if (!entry.mode.empty() && !isDialMode(entry.mode)) {
        r.refuse("mode", "\"" + entry.mode + "\" is none of " + dialModeList());
    }
    const std::optional<double> percent = r.number("percent");
    if (percent && !(*percent >= 0.0 && *percent <= 100.0)) {
        r.refuse("percent", "must be from 0 to 100");
    }
    entry.percent = percent.value_or(100.0);
}

void readHook(TableReader& r, PlanEntry& entry) {
    entry.hook = r.texts("hook", "a program, or an array of the program and its arguments");
    if (const auto limit = r.get<std::string>("hook_timeout", "a duration such as \"10s\"")) {
        const std::optional<std::int64_t> seconds = parseDuration(*limit);
        if (!seconds || *seconds < 1 || *seconds > 600) {
            r.refuse("hook_timeout", "\"" + *limit + "\" is no duration from 1s to 10m");
        } else {
            entry.hookLimitMs = *seconds * 1000;
        }
        if (entry.hook.empty()) {
            r.refuse("hook_timeout", "there is no hook to limit");
        }
    }
}

Result<PlanEntry> readEntry(const std::string& path, const toml::table& table) {
    TableReader r(path, table);
    r.refuseUnknownKeys(kEntryKeys, "[[transmission]]");
    PlanEntry entry;
    entry.line = r.line();
    entry.name = r.get<std::string>("name", "a text").value_or("");
    if (!r.failed() && entry.name.empty()) {
        r.refuse("name", "every [[transmission]] needs a name");
    }
    readPattern(r, path, entry);
    readTiming(r, entry);
    readDialAndShare(r, entry);
    readHours(r, entry);
    readDays(r, entry);
    readHook(r, entry);
    if (r.failed()) {
        return r.failure();
    }
    return entry;
}

// The entries, each named once; one that sets a frequency needs a rig to set it.
Result<> readEntries(const std::string& path, const toml::table& root, Plan& plan) {
    const toml::node* node = root.get("transmission");
    const toml::array* array = node != nullptr ? node->as_array() : nullptr;
    if (node != nullptr && (array == nullptr || !array->is_array_of_tables())) {
        return fail(path + ":" + std::to_string(node->source().begin.line) +
                    ": transmission: must be [[transmission]] tables");
    }
    if (array == nullptr || array->empty()) {
        return fail(path + ": no [[transmission]]: a plan sends at least one");
    }
    std::set<std::string> names;
    for (const toml::node& item : *array) {
        Result<PlanEntry> entry = readEntry(path, *item.as_table());
        if (!entry) {
            return entry.failure();
        }
        TableReader r(path, *item.as_table());
        if (!names.insert(entry->name).second) {
            r.refuse("name", "\"" + entry->name + "\" names another [[transmission]] already");
        } else if (entry->frequencyHz > 0 && !hasDial(plan.station)) {
            r.refuse("frequency", "no rig to set it: name one in [station] (rig = MODEL or "
                                  "rigctld = \"HOST:PORT\")");
        } else if (!entry->mode.empty() && !hasDial(plan.station)) {
            r.refuse("mode", "no rig to set it: name one in [station]");
        }
        if (r.failed()) {
            return r.failure();
        }
        plan.entries.push_back(std::move(*entry));
    }
    return {};
}

} // namespace

std::optional<std::int64_t> parseDuration(std::string_view text) {
    if (text == "0") {
        return 0;
    }
    std::int64_t total = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::int64_t number = 0;
        const auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), number);
        const auto used = static_cast<std::size_t>(end - text.data());
        if (ec != std::errc() || used >= text.size() || number < 0 || number > 7 * kDaySeconds) {
            return std::nullopt;
        }
        const char unit = text[used];
        const std::int64_t scale = unit == 'h' ? 3600 : unit == 'm' ? 60 : unit == 's' ? 1 : 0;
        if (scale == 0) {
            return std::nullopt;
        }
        total += number * scale;
        at = used + 1;
    }
    if (text.empty() || total > 7 * kDaySeconds) {
        return std::nullopt;
    }
    return total;
}

Result<Plan> readPlan(std::string_view text, const std::string& path) {
    toml::parse_result parsed = toml::parse(text, path);
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        return fail(path + ":" + std::to_string(error.source().begin.line) + ": " +
                    std::string(error.description()));
    }
    const toml::table& root = parsed.table();
    for (auto&& [key, node] : root) {
        if (key.str() != "station" && key.str() != "transmission") {
            return fail(path + ":" + std::to_string(node.source().begin.line) + ": " +
                        std::string(key.str()) +
                        ": no such table (a plan has [station] and "
                        "[[transmission]])");
        }
    }
    Plan plan;
    plan.path = path;
    if (const toml::node* station = root.get("station")) {
        if (!station->is_table()) {
            return fail(path + ":" + std::to_string(station->source().begin.line) +
                        ": station: must be the [station] table");
        }
        Result<PlanStation> read = readStation(path, *station->as_table());
        if (!read) {
            return read.failure();
        }
        plan.station = std::move(*read);
    }
    if (const Result<> entries = readEntries(path, root, plan); !entries) {
        return entries.failure();
    }
    if (const Result<> day = checkPlanDay(plan); !day) {
        return day.failure();
    }
    return plan;
}

Result<Plan> loadPlanFile(const std::string& path) {
    const Result<FileBytes> read = readFileBytes(path, kMaxPlanBytes);
    if (!read) {
        return read.failure();
    }
    if (read->cut) {
        return fail(path + ": more than " + std::to_string(kMaxPlanBytes / 1024) +
                    " KiB is no plan file");
    }
    return readPlan(read->bytes, path);
}

} // namespace vesk::plan
