// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "plan/plan_file.h"
#include "plan/schedule.h"

#include <algorithm>
#include <iostream>
#include <random>

namespace vesk::cli {

std::uint64_t drawSeed(const Options& options) {
    if (options.seed) {
        return *options.seed;
    }
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
}

std::string describeFrequency(std::int64_t hertz) {
    return hertz > 0 ? std::to_string(hertz) + " Hz" : "-";
}

bool drawsSlots(const plan::Plan& plan) {
    return std::any_of(plan.entries.begin(), plan.entries.end(),
                       [](const plan::PlanEntry& e) { return e.percent < 100.0; });
}

namespace {

// One line per transmission: its time, entry, dial frequency and length, in columns.
void listTransmissions(const plan::Plan& plan, const std::vector<plan::Slot>& slots) {
    std::size_t nameWidth = 5;
    std::size_t hertzWidth = 9;
    for (const plan::Slot& slot : slots) {
        const plan::PlanEntry& entry = plan.entries[slot.entry];
        nameWidth = std::max(nameWidth, entry.name.size());
        hertzWidth = std::max(hertzWidth, describeFrequency(entry.frequencyHz).size());
    }
    const auto padded = [](std::string text, std::size_t width, bool right) {
        const std::string fill(width > text.size() ? width - text.size() : 0, ' ');
        return right ? fill + text : text + fill;
    };
    std::cout << padded("time", 27, false) << "  " << padded("entry", nameWidth, false) << "  "
              << padded("frequency", hertzWidth, true) << "  length\n";
    for (const plan::Slot& slot : slots) {
        const plan::PlanEntry& entry = plan.entries[slot.entry];
        std::cout << plan::formatSlotTime(slot.at) << "  " << padded(entry.name, nameWidth, false)
                  << "  " << padded(describeFrequency(entry.frequencyHz), hertzWidth, true) << "  "
                  << plan::formatLength(entry.lengthNs) << '\n';
    }
}

} // namespace

int runPlan(const Options& options) {
    const Result<plan::Plan> loaded = plan::loadPlanFile(options.positional[0]);
    if (!loaded) {
        std::cerr << "vesk-cli: " << loaded.message() << '\n';
        return 1;
    }
    const plan::Plan& plan = *loaded;
    if (options.check) {
        std::cout << plan.path << ": " << plan.entries.size()
                  << " transmission(s), each slot leaving the next its time to prepare\n";
        return 0;
    }
    const std::uint64_t seed = drawSeed(options);
    const std::vector<plan::Slot> slots = plan::nextTransmissions(
        plan, systemWallClock().now(), static_cast<std::size_t>(options.next), seed);
    if (drawsSlots(plan)) {
        std::cout << "slots drawn with --seed " << seed << " (run with it to send these)\n";
    }
    listTransmissions(plan, slots);
    if (slots.size() < static_cast<std::size_t>(options.next)) {
        std::cout << "(no further transmission within eight days)\n";
    }
    return 0;
}

} // namespace vesk::cli
