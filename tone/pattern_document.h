// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/edit_history.h"
#include "tone/pattern.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vesk {

// What changed in a PatternDocument, as its listener hears it.
struct PatternChange {
    enum class Kind {
        Slot,       // the operator set or erased one slot: `slot`, with its values before
        Parameters, // one of the five parameters was set, as its field already shows it
        Pattern,    // the whole pattern was replaced (load, Generate, Reset, undo, redo)
        Saved,      // the saved copy or a file name (load, save, export, Generate)
    };
    Kind kind = Kind::Pattern;
    int slot = -1; // Slot: 0..600
    float toneBefore = 0.0f;
    float levelBefore = 0.0f;
    // Pattern: the parameters were set too; false only for an undo or redo step that left
    // them as they were.
    bool parameters = true;
};

// The pattern the operator works on, the copy of it last loaded or saved, the undo history
// and the names of the files it came from. Every change goes through here and is told to the
// listener once it is made; the rule of unsaved work lives here too.
class PatternDocument {
public:
    using Listener = std::function<void(const PatternChange& change)>;

    // What an undo or redo did.
    enum class Step {
        Nothing,    // no step to take
        Held,       // the step would change the parameters, which are held: it stays
        Slots,      // taken; the parameters stayed as they were
        Parameters, // taken, and the parameters changed with it
    };

    // The start pattern, kept as saved; no file, no history.
    PatternDocument();

    // The one listener; an empty function hears nothing.
    void setListener(Listener listener) { listener_ = std::move(listener); }

    const BeaconPattern& pattern() const { return pattern_; }
    // The pattern as last loaded or saved (the start pattern before that).
    const BeaconPattern& keptPattern() const { return keptPattern_; }
    const EditHistory& history() const { return history_; }
    // Bare name of the pattern file last loaded or saved; "" before that and after Generate.
    const std::string& patternFileName() const { return patternFileName_; }
    // Full path of the file last opened, saved or exported: the file dialogs start there.
    const std::string& lastFile() const { return lastFile_; }
    // Full path of the pattern file last opened or saved (or remembered from an earlier run).
    const std::string& lastPatternFile() const { return lastPatternFile_; }

    // True when the operator may lose work: the pattern differs from the last load or save,
    // and from the Reset pattern, which Reset gives back at any time.
    bool hasUnsavedWork() const;

    // The operator sets slot 0..600 to `tone` and `level` (both 0: erased); one undo step when
    // that changes it, nothing otherwise.
    void setSlot(int slot, float tone, float level);
    // One parameter field applied (no undo step); values are checked where they are typed.
    void setParameter(std::int32_t BeaconPattern::*parameter, std::int32_t value);
    void setParameter(float BeaconPattern::*parameter, float value);
    // The whole pattern replaced by the operator (Reset): one undo step.
    void replace(const BeaconPattern& pattern);
    // Takes back the last step, or makes the last step taken back again. With
    // `holdParameters` (playback runs) a step that would change the parameters stays put.
    Step undo(bool holdParameters);
    Step redo(bool holdParameters);

    // A pattern read from the file at `path`: it becomes the saved copy, its file the last
    // one, and the history starts afresh.
    void load(const BeaconPattern& pattern, const std::string& path);
    // A pattern made elsewhere (Generate): no file holds it, so it counts as unsaved work; the
    // history starts afresh.
    void adopt(const BeaconPattern& pattern);
    // The pattern was written to the pattern file at `path`: it is the saved copy now.
    void markSaved(const std::string& path);
    // The pattern was exported to `path` (script, WAV): the next file dialog starts there.
    void markExported(const std::string& path);
    // The same slots as an export writes them (an erased level as code 1): no undo step, and
    // each slot that changed is told.
    void restate(const BeaconPattern& levelled);
    // The pattern file of the run before, as remembered; it is not read here.
    void setLastPatternFile(const std::string& path);

private:
    Step step(bool undo, bool holdParameters);
    void tell(const PatternChange& change) const;

    BeaconPattern pattern_;
    BeaconPattern keptPattern_;
    EditHistory history_;
    std::string patternFileName_;
    std::string lastFile_;
    std::string lastPatternFile_;
    Listener listener_;
};

// True when the five parameters of `a` and `b` are the same.
bool sameParameters(const BeaconPattern& a, const BeaconPattern& b);

} // namespace vesk
