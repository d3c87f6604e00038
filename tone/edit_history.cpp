// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/edit_history.h"

#include <algorithm>
#include <tuple>

namespace vesk {

void EditHistory::recordSlot(const BeaconPattern& pattern, int slot, float toneBefore,
                             float levelBefore) {
    const auto s = static_cast<std::size_t>(slot);
    if (slot < 0 || slot >= kSlotCount ||
        (pattern.toneIndex[s] == toneBefore && pattern.levelCode[s] == levelBefore)) {
        return;
    }
    Step step;
    step.slot = slot;
    step.tone[0] = toneBefore;
    step.level[0] = levelBefore;
    step.tone[1] = pattern.toneIndex[s];
    step.level[1] = pattern.levelCode[s];
    push(step);
}

void EditHistory::recordWhole(const BeaconPattern& before, const BeaconPattern& after) {
    Step step;
    step.whole[0] = before;
    step.whole[1] = after;
    push(step);
}

void EditHistory::push(Step step) {
    undone_.clear();
    done_.push_back(std::move(step));
    if (done_.size() > kUndoDepth) {
        done_.pop_front();
    }
}

void EditHistory::apply(const Step& step, int side, BeaconPattern& pattern) {
    const auto i = static_cast<std::size_t>(side);
    if (step.slot < 0) {
        pattern = step.whole[i];
        return;
    }
    const auto s = static_cast<std::size_t>(step.slot);
    pattern.toneIndex[s] = step.tone[i];
    pattern.levelCode[s] = step.level[i];
}

bool EditHistory::undo(BeaconPattern& pattern) {
    if (done_.empty()) {
        return false;
    }
    apply(done_.back(), 0, pattern);
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
    return true;
}

bool EditHistory::redo(BeaconPattern& pattern) {
    if (undone_.empty()) {
        return false;
    }
    apply(undone_.back(), 1, pattern);
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
    return true;
}

void EditHistory::clear() {
    done_.clear();
    undone_.clear();
}

bool samePatternWork(const BeaconPattern& current, const BeaconPattern& kept) {
    if (std::tie(current.dotLength, current.dotCount, current.frequencySpacing,
                 current.centreFrequency, current.repeatDots) !=
        std::tie(kept.dotLength, kept.dotCount, kept.frequencySpacing, kept.centreFrequency,
                 kept.repeatDots)) {
        return false;
    }
    const auto erasedOrDefault = [](float level) {
        return level == 0.0f || level == 1.0f;
    };
    const int lastSlot = std::min(current.dotCount, kMaxDotCount);
    for (int slot = 0; slot <= lastSlot; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        const float tone = current.toneIndex[s];
        if (tone != kept.toneIndex[s]) {
            return false;
        }
        const float a = current.levelCode[s], b = kept.levelCode[s];
        if (a != b && !(tone == 0.0f && erasedOrDefault(a) && erasedOrDefault(b))) {
            return false;
        }
    }
    return true;
}

} // namespace vesk
