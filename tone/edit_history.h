// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"

#include <cstddef>
#include <deque>

namespace vesk {

// Undo and redo of the operator's pattern edits: dots set or erased in the grid, and Reset.
// The newest kUndoDepth steps are kept; a new edit drops the steps that were undone.
class EditHistory {
public:
    static constexpr std::size_t kUndoDepth = 200;

    // A slot changed from `before` to the pattern's present value (nothing is kept when the
    // slot did not change).
    void recordSlot(const BeaconPattern& pattern, int slot, float toneBefore, float levelBefore);
    // The whole pattern, parameters included, changed from `before` to `after`.
    void recordWhole(const BeaconPattern& before, const BeaconPattern& after);

    // Take back the last step, or make the last step taken back again; false when there is
    // none. A slot step changes only its slot, a whole step the whole pattern.
    bool undo(BeaconPattern& pattern);
    bool redo(BeaconPattern& pattern);

    // Forgets every step (another pattern was loaded).
    void clear();

    std::size_t undoSteps() const { return done_.size(); }
    std::size_t redoSteps() const { return undone_.size(); }

private:
    struct Step {
        int slot = -1; // -1: the whole pattern
        float tone[2] = {0.0f, 0.0f};
        float level[2] = {0.0f, 0.0f};
        BeaconPattern whole[2];
    };
    void push(Step step);
    static void apply(const Step& step, int side, BeaconPattern& pattern);

    std::deque<Step> done_;
    std::deque<Step> undone_;
};

// True when the operator would lose nothing by replacing `current` with `kept`: the same
// parameters and the same slots 0..dotCount, where a silent slot's level code 0 (erased) and 1
// (the default) count as the same, as the script export turns one into the other.
bool samePatternWork(const BeaconPattern& current, const BeaconPattern& kept);

} // namespace vesk
