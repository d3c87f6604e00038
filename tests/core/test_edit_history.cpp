// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/edit_history.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vesk {
namespace {

// Every slot and every parameter alike.
bool identical(const BeaconPattern& a, const BeaconPattern& b) {
    return a.toneIndex == b.toneIndex && a.levelCode == b.levelCode &&
           std::tie(a.dotLength, a.dotCount, a.frequencySpacing, a.centreFrequency, a.repeatDots) ==
               std::tie(b.dotLength, b.dotCount, b.frequencySpacing, b.centreFrequency,
                        b.repeatDots);
}

// Paints `slot` as the grid does and records the step.
void paint(EditHistory& history, BeaconPattern& pattern, int slot, float tone, float level) {
    const auto s = static_cast<std::size_t>(slot);
    const float toneBefore = pattern.toneIndex[s], levelBefore = pattern.levelCode[s];
    pattern.toneIndex[s] = tone;
    pattern.levelCode[s] = level;
    history.recordSlot(pattern, slot, toneBefore, levelBefore);
}

// A slot step takes back and brings back its own slot and nothing else: a parameter applied
// since, or another slot, stays as it is. At either end there is nothing more to step.
TEST(EditHistory, SlotStepsUndoAndRedoTheirOwnSlotOnly) {
    EditHistory history;
    BeaconPattern pattern = startPattern();
    const BeaconPattern start = pattern;
    paint(history, pattern, 5, 3.0f, 16.0f);
    paint(history, pattern, 600, 16.0f, 2.0f);
    paint(history, pattern, 5, 0.0f, 0.0f); // erased again
    const BeaconPattern painted = pattern;
    pattern.dotLength = 250; // applied from its field: no step of its own

    ASSERT_TRUE(history.undo(pattern));
    EXPECT_EQ(pattern.toneIndex[5], 3.0f);
    EXPECT_EQ(pattern.levelCode[5], 16.0f);
    EXPECT_EQ(pattern.toneIndex[600], 16.0f);
    EXPECT_EQ(pattern.dotLength, 250);
    ASSERT_TRUE(history.undo(pattern));
    ASSERT_TRUE(history.undo(pattern));
    pattern.dotLength = start.dotLength;
    EXPECT_TRUE(identical(pattern, start));
    EXPECT_FALSE(history.undo(pattern));
    EXPECT_TRUE(identical(pattern, start));
    EXPECT_EQ(history.redoSteps(), 3u);

    for (int step = 0; step < 3; ++step) {
        ASSERT_TRUE(history.redo(pattern)) << step;
    }
    EXPECT_TRUE(identical(pattern, painted));
    EXPECT_FALSE(history.redo(pattern));
    EXPECT_TRUE(identical(pattern, painted));
}

// A click that changes nothing, or lands outside slots 0..600, leaves no step.
TEST(EditHistory, NoStepForASlotThatDidNotChangeOrIsNoSlot) {
    EditHistory history;
    BeaconPattern pattern = startPattern();
    paint(history, pattern, 7, 0.0f, 1.0f); // as it was
    history.recordSlot(pattern, -1, 3.0f, 2.0f);
    history.recordSlot(pattern, kSlotCount, 3.0f, 2.0f);
    EXPECT_EQ(history.undoSteps(), 0u);
    paint(history, pattern, 7, 0.0f, 2.0f); // the level alone is a change
    EXPECT_EQ(history.undoSteps(), 1u);
}

// A whole step (Reset) brings back the whole pattern, parameters included, both ways.
TEST(EditHistory, WholeStepsBringBackTheParametersToo) {
    EditHistory history;
    BeaconPattern pattern = startPattern();
    paint(history, pattern, 3, 8.0f, 4.0f);
    pattern.dotLength = 30;
    pattern.centreFrequency = 1500.0f;
    const BeaconPattern before = pattern;
    pattern = resetPattern();
    history.recordWhole(before, pattern);
    paint(history, pattern, 9, 1.0f, 8.0f);

    ASSERT_TRUE(history.undo(pattern));
    ASSERT_TRUE(history.undo(pattern));
    EXPECT_TRUE(identical(pattern, before));
    ASSERT_TRUE(history.redo(pattern));
    EXPECT_TRUE(identical(pattern, resetPattern()));
    ASSERT_TRUE(history.undo(pattern));
    ASSERT_TRUE(history.undo(pattern));
    BeaconPattern unpainted = before; // the parameters were applied from their fields
    unpainted.toneIndex[3] = 0.0f;
    unpainted.levelCode[3] = 1.0f;
    EXPECT_TRUE(identical(pattern, unpainted));
}

// A new edit after some undos drops what was undone; the steps before it stay. A clear drops
// every step both ways.
TEST(EditHistory, ANewEditDropsWhatWasUndone) {
    for (const bool whole : {false, true}) {
        SCOPED_TRACE(whole);
        EditHistory history;
        BeaconPattern pattern = startPattern();
        paint(history, pattern, 1, 2.0f, 1.0f);
        paint(history, pattern, 2, 2.0f, 1.0f);
        paint(history, pattern, 3, 2.0f, 1.0f);
        ASSERT_TRUE(history.undo(pattern));
        ASSERT_TRUE(history.undo(pattern));
        if (whole) {
            const BeaconPattern before = pattern;
            pattern = resetPattern();
            history.recordWhole(before, pattern);
        } else {
            paint(history, pattern, 4, 5.0f, 1.0f);
        }
        EXPECT_EQ(history.redoSteps(), 0u);
        EXPECT_FALSE(history.redo(pattern));
        EXPECT_EQ(history.undoSteps(), 2u);
        ASSERT_TRUE(history.undo(pattern));
        ASSERT_TRUE(history.undo(pattern));
        EXPECT_TRUE(identical(pattern, startPattern()));
        // Another pattern loaded: nothing to undo or redo.
        ASSERT_TRUE(history.redo(pattern));
        history.clear();
        EXPECT_FALSE(history.undo(pattern) || history.redo(pattern));
    }
}

// The newest 200 steps are kept: 200 edits undo to the start, the 201st pushes the first out.
TEST(EditHistory, KeepsTheNewest200Steps) {
    ASSERT_EQ(EditHistory::kUndoDepth, 200u);
    for (const int edits : {200, 201, 450}) {
        SCOPED_TRACE(edits);
        EditHistory history;
        BeaconPattern pattern = startPattern();
        BeaconPattern afterDropped = pattern; // what the oldest kept step undoes to
        for (int i = 0; i < edits; ++i) {
            if (i == edits - 200) {
                afterDropped = pattern;
            }
            paint(history, pattern, i % kSlotCount, static_cast<float>(1 + i % 16), 1.0f);
        }
        EXPECT_EQ(history.undoSteps(), 200u);
        int undone = 0;
        while (history.undo(pattern)) {
            ++undone;
        }
        EXPECT_EQ(undone, 200);
        EXPECT_TRUE(identical(pattern, afterDropped));
        EXPECT_EQ(identical(pattern, startPattern()), edits == 200);
    }
}

// Nothing is lost by a replacement that differs only in what the file cannot tell apart: a
// silent slot's level 0 or 1, and slots past the dot count.
TEST(SamePatternWork, SilentLevelsAndUnusedSlotsLoseNothing) {
    const BeaconPattern kept = resetPattern(); // 100 dots
    BeaconPattern current = kept;
    current.levelCode[10] = 0.0f;
    current.toneIndex[150] = 4.0f;
    EXPECT_TRUE(samePatternWork(current, kept));
    EXPECT_TRUE(samePatternWork(kept, current));

    const auto changed = [&kept](auto change) {
        BeaconPattern pattern = kept;
        change(pattern);
        return pattern;
    };
    const BeaconPattern losing[] = {
        changed([](BeaconPattern& p) { p.levelCode[10] = 2.0f; }),  // a silent slot's level
        changed([](BeaconPattern& p) { p.toneIndex[100] = 4.0f; }), // the last used slot
        changed([](BeaconPattern& p) { p.toneIndex[20] = 3.0f; }),  // a tone where none was
        changed([](BeaconPattern& p) { p.dotLength = 99; }),
        changed([](BeaconPattern& p) { p.dotCount = 101; }),
        changed([](BeaconPattern& p) { p.frequencySpacing = 10.5f; }),
        changed([](BeaconPattern& p) { p.centreFrequency = 999.0f; }),
        changed([](BeaconPattern& p) { p.repeatDots = 201; }),
    };
    int index = 0;
    for (const BeaconPattern& pattern : losing) {
        EXPECT_FALSE(samePatternWork(pattern, kept)) << index++;
    }
    // On a tone slot levels 0 and 1 differ.
    BeaconPattern toned = kept, erased = kept;
    toned.toneIndex[20] = erased.toneIndex[20] = 3.0f;
    erased.levelCode[20] = 0.0f;
    EXPECT_FALSE(samePatternWork(erased, toned));
}

} // namespace
} // namespace vesk
