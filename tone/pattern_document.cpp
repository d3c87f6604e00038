// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/pattern_document.h"

#include <tuple>

namespace vesk {

namespace {

std::string bareName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

PatternChange slotChange(int slot, float toneBefore, float levelBefore) {
    PatternChange change;
    change.kind = PatternChange::Kind::Slot;
    change.slot = slot;
    change.toneBefore = toneBefore;
    change.levelBefore = levelBefore;
    return change;
}

PatternChange kindOnly(PatternChange::Kind kind) {
    PatternChange change;
    change.kind = kind;
    return change;
}

} // namespace

bool sameParameters(const BeaconPattern& a, const BeaconPattern& b) {
    return std::tie(a.dotLength, a.dotCount, a.frequencySpacing, a.centreFrequency, a.repeatDots) ==
           std::tie(b.dotLength, b.dotCount, b.frequencySpacing, b.centreFrequency, b.repeatDots);
}

PatternDocument::PatternDocument() : pattern_(startPattern()), keptPattern_(pattern_) {}

bool PatternDocument::hasUnsavedWork() const {
    return !samePatternWork(pattern_, keptPattern_) && !samePatternWork(pattern_, resetPattern());
}

void PatternDocument::setSlot(int slot, float tone, float level) {
    if (slot < 0 || slot >= kSlotCount) {
        return;
    }
    const auto s = static_cast<std::size_t>(slot);
    const float toneBefore = pattern_.toneIndex[s], levelBefore = pattern_.levelCode[s];
    if (tone == toneBefore && level == levelBefore) {
        return;
    }
    pattern_.toneIndex[s] = tone;
    pattern_.levelCode[s] = level;
    history_.recordSlot(pattern_, slot, toneBefore, levelBefore);
    tell(slotChange(slot, toneBefore, levelBefore));
}

void PatternDocument::setParameter(std::int32_t BeaconPattern::*parameter, std::int32_t value) {
    if (pattern_.*parameter != value) {
        pattern_.*parameter = value;
        tell(kindOnly(PatternChange::Kind::Parameters));
    }
}

void PatternDocument::setParameter(float BeaconPattern::*parameter, float value) {
    if (pattern_.*parameter != value) {
        pattern_.*parameter = value;
        tell(kindOnly(PatternChange::Kind::Parameters));
    }
}

void PatternDocument::replace(const BeaconPattern& pattern) {
    history_.recordWhole(pattern_, pattern);
    pattern_ = pattern;
    tell(kindOnly(PatternChange::Kind::Pattern));
}

PatternDocument::Step PatternDocument::undo(bool holdParameters) {
    return step(true, holdParameters);
}

PatternDocument::Step PatternDocument::redo(bool holdParameters) {
    return step(false, holdParameters);
}

PatternDocument::Step PatternDocument::step(bool undo, bool holdParameters) {
    BeaconPattern changed = pattern_;
    if (undo ? !history_.undo(changed) : !history_.redo(changed)) {
        return Step::Nothing;
    }
    const bool parameters = !sameParameters(changed, pattern_);
    if (parameters && holdParameters) {
        // Give the step back: it applies once the parameters are free again.
        undo ? history_.redo(changed) : history_.undo(changed);
        return Step::Held;
    }
    pattern_ = changed;
    PatternChange change = kindOnly(PatternChange::Kind::Pattern);
    change.parameters = parameters;
    tell(change);
    return parameters ? Step::Parameters : Step::Slots;
}

void PatternDocument::load(const BeaconPattern& pattern, const std::string& path) {
    pattern_ = pattern;
    keptPattern_ = pattern;
    history_.clear();
    patternFileName_ = bareName(path);
    lastFile_ = path;
    lastPatternFile_ = path;
    tell(kindOnly(PatternChange::Kind::Pattern));
    tell(kindOnly(PatternChange::Kind::Saved));
}

void PatternDocument::adopt(const BeaconPattern& pattern) {
    pattern_ = pattern;
    history_.clear();
    patternFileName_.clear();
    tell(kindOnly(PatternChange::Kind::Pattern));
    tell(kindOnly(PatternChange::Kind::Saved));
}

void PatternDocument::markSaved(const std::string& path) {
    keptPattern_ = pattern_;
    patternFileName_ = bareName(path);
    lastFile_ = path;
    lastPatternFile_ = path;
    tell(kindOnly(PatternChange::Kind::Saved));
}

void PatternDocument::markExported(const std::string& path) {
    lastFile_ = path;
    tell(kindOnly(PatternChange::Kind::Saved));
}

void PatternDocument::restate(const BeaconPattern& levelled) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        const float tone = pattern_.toneIndex[s], level = pattern_.levelCode[s];
        if (tone != levelled.toneIndex[s] || level != levelled.levelCode[s]) {
            pattern_.toneIndex[s] = levelled.toneIndex[s];
            pattern_.levelCode[s] = levelled.levelCode[s];
            tell(slotChange(slot, tone, level));
        }
    }
}

void PatternDocument::setLastPatternFile(const std::string& path) {
    if (path != lastPatternFile_) {
        lastPatternFile_ = path;
        tell(kindOnly(PatternChange::Kind::Saved));
    }
}

void PatternDocument::tell(const PatternChange& change) const {
    if (listener_) {
        listener_(change);
    }
}

} // namespace vesk
