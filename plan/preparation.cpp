// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/preparation.h"

namespace vesk::plan {

Result<> prepareTransmission(const PlanEntry& entry, Dial* dial, const HookRunner& runHook) {
    if (!entry.hook.empty()) {
        std::vector<std::string> argv = entry.hook;
        argv.push_back(entry.name);
        argv.push_back(std::to_string(entry.frequencyHz));
        if (const Result<> ran = runHook(argv, entry.hookLimitMs); !ran) {
            return fail("hook: " + ran.message());
        }
    }
    if (entry.frequencyHz == 0 && entry.mode.empty()) {
        return {};
    }
    if (dial == nullptr) {
        return fail("dial: no rig to set it");
    }
    if (entry.frequencyHz == 0) {
        // A mode alone: the frequency stays as it is.
        if (const Result<> set = dial->setMode(entry.mode); !set) {
            return fail("dial: " + set.message());
        }
        return {};
    }
    if (const Result<> tuned = tuneDial(*dial, entry.frequencyHz, entry.mode); !tuned) {
        return fail("dial: " + tuned.message());
    }
    return {};
}

} // namespace vesk::plan
