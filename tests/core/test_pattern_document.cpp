// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/pattern_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vesk {
namespace {

using Kind = PatternChange::Kind;

// A document whose listener writes down each change, with the slot's value as the listener
// sees it: a change is told once it is made.
class PatternDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        document_.setListener([this](const PatternChange& change) {
            heard_.push_back(change);
            if (change.kind == Kind::Slot) {
                toneWhenTold_.push_back(
                    document_.pattern().toneIndex[static_cast<std::size_t>(change.slot)]);
            }
        });
    }
    std::vector<Kind> kinds() const {
        std::vector<Kind> kinds;
        for (const PatternChange& change : heard_) {
            kinds.push_back(change.kind);
        }
        return kinds;
    }

    PatternDocument document_;
    std::vector<PatternChange> heard_;
    std::vector<float> toneWhenTold_;
};

BeaconPattern withDot(BeaconPattern pattern, int slot, float tone, float level) {
    pattern.toneIndex[static_cast<std::size_t>(slot)] = tone;
    pattern.levelCode[static_cast<std::size_t>(slot)] = level;
    return pattern;
}

// Work is unsaved when it differs from the saved copy and from the Reset pattern alike.
TEST_F(PatternDocumentTest, UnsavedWorkDiffersFromTheSavedCopyAndFromTheResetPattern) {
    const BeaconPattern loaded = withDot(startPattern(), 7, 2.0f, 8.0f);
    const struct {
        const char* step;
        std::function<void(PatternDocument&)> run;
        bool unsaved;
    } steps[] = {
        {"start", [](PatternDocument&) {}, false},
        {"paint", [](PatternDocument& d) { d.setSlot(5, 3.0f, 4.0f); }, true},
        {"back to the start dot", [](PatternDocument& d) { d.setSlot(5, 0.0f, 1.0f); }, false},
        {"erase a silent slot", [](PatternDocument& d) { d.setSlot(6, 0.0f, 0.0f); }, false},
        {"a parameter", [](PatternDocument& d) { d.setParameter(&BeaconPattern::dotLength, 250); },
         true},
        {"Reset", [](PatternDocument& d) { d.replace(resetPattern()); }, false},
        {"paint after Reset", [](PatternDocument& d) { d.setSlot(1, 9.0f, 1.0f); }, true},
        {"saved", [](PatternDocument& d) { d.markSaved("/beacons/a.txt"); }, false},
        {"a frequency",
         [](PatternDocument& d) { d.setParameter(&BeaconPattern::centreFrequency, 1500.0f); },
         true},
        {"exported", [](PatternDocument& d) { d.markExported("/beacons/a.scp"); }, true},
        {"loaded", [&](PatternDocument& d) { d.load(loaded, "/beacons/b.txt"); }, false},
        {"generated", [](PatternDocument& d) { d.adopt(withDot(resetPattern(), 3, 4.0f, 1.0f)); },
         true},
        {"undo has nothing left", [](PatternDocument& d) { d.undo(false); }, true},
    };
    for (const auto& s : steps) {
        s.run(document_);
        EXPECT_EQ(document_.hasUnsavedWork(), s.unsaved) << s.step;
    }
}

TEST_F(PatternDocumentTest, EachChangeIsToldOnceItIsMadeAndNothingElseIs) {
    document_.setSlot(5, 3.0f, 4.0f);
    document_.setSlot(5, 3.0f, 4.0f);          // no change
    document_.setSlot(kSlotCount, 3.0f, 4.0f); // outside the slots
    document_.setSlot(-1, 3.0f, 4.0f);
    document_.setSlot(5, 0.0f, 0.0f);
    ASSERT_EQ(heard_.size(), 2u);
    EXPECT_EQ(heard_[0].slot, 5);
    EXPECT_EQ(heard_[0].toneBefore, 0.0f);
    EXPECT_EQ(heard_[0].levelBefore, 1.0f);
    EXPECT_EQ(heard_[1].toneBefore, 3.0f);
    EXPECT_EQ(heard_[1].levelBefore, 4.0f);
    EXPECT_EQ(toneWhenTold_, (std::vector<float>{3.0f, 0.0f}));

    heard_.clear();
    document_.setParameter(&BeaconPattern::dotCount, 600); // as it is
    document_.setParameter(&BeaconPattern::frequencySpacing, 10.0f);
    document_.setParameter(&BeaconPattern::dotCount, 100);
    document_.setParameter(&BeaconPattern::frequencySpacing, 12.5f);
    document_.replace(resetPattern());
    document_.load(startPattern(), "/beacons/night.txt");
    document_.markSaved("/beacons/night.txt");
    document_.markExported("/beacons/night.Wav");
    document_.setLastPatternFile("/beacons/night.txt"); // as it is
    document_.adopt(resetPattern());
    EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Parameters, Kind::Parameters, Kind::Pattern,
                                          Kind::Pattern, Kind::Saved, Kind::Saved, Kind::Saved,
                                          Kind::Pattern, Kind::Saved}));
    EXPECT_TRUE(heard_[2].parameters);

    // An export's levels: each slot that changed is told, and no undo step is made.
    heard_.clear();
    document_.setSlot(2, 0.0f, 0.0f);
    document_.setSlot(4, 0.0f, 0.0f);
    const std::size_t steps = document_.history().undoSteps();
    heard_.clear();
    BeaconPattern levelled = document_.pattern();
    levelled.levelCode[2] = 1.0f;
    levelled.levelCode[4] = 1.0f;
    document_.restate(levelled);
    ASSERT_EQ(heard_.size(), 2u);
    EXPECT_EQ(heard_[0].slot, 2);
    EXPECT_EQ(heard_[1].slot, 4);
    EXPECT_EQ(heard_[1].levelBefore, 0.0f);
    EXPECT_EQ(document_.pattern().levelCode[4], 1.0f);
    EXPECT_EQ(document_.history().undoSteps(), steps);
}

// Slot steps and whole steps (Reset) go back and forth; a step that would change the
// parameters waits while they are held, and stays to be taken later.
TEST_F(PatternDocumentTest, UndoAndRedoHoldBackParameterStepsWhenAsked) {
    document_.setSlot(5, 3.0f, 4.0f);
    const BeaconPattern painted = document_.pattern();
    document_.replace(resetPattern());
    document_.setSlot(9, 6.0f, 2.0f);

    EXPECT_EQ(document_.undo(true), PatternDocument::Step::Slots);
    EXPECT_EQ(document_.pattern().toneIndex[9], 0.0f);
    heard_.clear();
    EXPECT_EQ(document_.undo(true), PatternDocument::Step::Held);
    EXPECT_TRUE(heard_.empty());
    EXPECT_EQ(document_.pattern().dotCount, 100);
    EXPECT_EQ(document_.history().undoSteps(), 2u);
    EXPECT_EQ(document_.history().redoSteps(), 1u);

    EXPECT_EQ(document_.undo(false), PatternDocument::Step::Parameters);
    EXPECT_EQ(document_.pattern().dotCount, 600);
    EXPECT_EQ(document_.pattern().toneIndex, painted.toneIndex);
    ASSERT_EQ(heard_.size(), 1u);
    EXPECT_EQ(heard_[0].kind, Kind::Pattern);
    EXPECT_TRUE(heard_[0].parameters);
    EXPECT_EQ(document_.undo(false), PatternDocument::Step::Slots);
    EXPECT_FALSE(heard_.back().parameters);
    EXPECT_EQ(document_.undo(false), PatternDocument::Step::Nothing);
    EXPECT_EQ(document_.pattern().toneIndex, startPattern().toneIndex);

    EXPECT_EQ(document_.redo(true), PatternDocument::Step::Slots);
    EXPECT_EQ(document_.redo(true), PatternDocument::Step::Held);
    EXPECT_EQ(document_.redo(false), PatternDocument::Step::Parameters);
    EXPECT_EQ(document_.redo(false), PatternDocument::Step::Slots);
    EXPECT_EQ(document_.pattern().toneIndex[9], 6.0f);
    EXPECT_EQ(document_.redo(false), PatternDocument::Step::Nothing);

    // A new edit drops what was undone; a load forgets every step.
    document_.undo(false);
    document_.setSlot(1, 1.0f, 1.0f);
    EXPECT_EQ(document_.redo(false), PatternDocument::Step::Nothing);
    document_.load(painted, "night.txt");
    EXPECT_EQ(document_.undo(false), PatternDocument::Step::Nothing);
}

// A load and a save make the saved copy; Generate and exports leave it; each names its file.
TEST_F(PatternDocumentTest, LoadSaveExportAndGenerateKeepTheirFiles) {
    const BeaconPattern night = withDot(startPattern(), 2, 3.0f, 16.0f);
    document_.load(night, "/home/op/beacons/night.v2.txt");
    EXPECT_EQ(document_.patternFileName(), "night.v2.txt");
    EXPECT_EQ(document_.lastFile(), "/home/op/beacons/night.v2.txt");
    EXPECT_EQ(document_.lastPatternFile(), "/home/op/beacons/night.v2.txt");
    EXPECT_EQ(document_.keptPattern().levelCode, night.levelCode);

    document_.markExported("/tmp/night.scp");
    EXPECT_EQ(document_.lastFile(), "/tmp/night.scp");
    EXPECT_EQ(document_.lastPatternFile(), "/home/op/beacons/night.v2.txt");

    const BeaconPattern made = withDot(resetPattern(), 0, 8.0f, 1.0f);
    document_.adopt(made);
    EXPECT_EQ(document_.patternFileName(), "");
    EXPECT_EQ(document_.lastPatternFile(), "/home/op/beacons/night.v2.txt");
    EXPECT_EQ(document_.keptPattern().levelCode, night.levelCode);

    document_.markSaved("/tmp/made.txt");
    EXPECT_EQ(document_.keptPattern().toneIndex, made.toneIndex);
    EXPECT_EQ(document_.lastPatternFile(), "/tmp/made.txt");
    EXPECT_EQ(document_.patternFileName(), "made.txt") << "the title names the file saved";

    document_.load(night, "plain.txt");
    EXPECT_EQ(document_.patternFileName(), "plain.txt");
}

} // namespace
} // namespace vesk
