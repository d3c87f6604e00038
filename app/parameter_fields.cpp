// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/parameter_fields.h"

#include "app/control_ids.h"
#include "app/main_commands.h"
#include "files/number_reader.h"
#include "files/number_text.h"
#include "ui/messages.h"

#include <string_view>

namespace vesk {

namespace {

// What applying a parameter does to playback's dot counter besides storing the value.
enum class CounterReset {
    None,         // the frequencies are heard from the next render
    Count,        // the count starts again; the timer keeps its pace
    CountAndTimer // a new dot length: the timer stops too
};

// The five parameter fields. A text that is no number is refused. An integer field is read
// ties to even and kept within its value rule (`limit`); a value that had to be limited is
// written back so the field shows what is used. A frequency that would put a tone row outside
// 0..20 000 Hz is refused.
struct ParameterField {
    std::int32_t field;
    std::int32_t apply;
    const char* name;                     // as its label says
    std::int32_t BeaconPattern::*integer; // integer fields, else null
    float BeaconPattern::*real;           // real fields, else null
    std::int32_t (*limit)(std::int32_t);  // integer fields: at least 1 / 0..600 / at least 0
    // The values the field takes, with the other parameters of `pattern`, as a sentence.
    std::string (*takes)(const BeaconPattern& pattern);
    CounterReset reset;
};

std::string hertz(float value) {
    return formatSignificant(value, kSingleDigits) + " Hz";
}

std::string centresTaken(const BeaconPattern& pattern) {
    const HertzBand band = centreBand(pattern.frequencySpacing);
    if (band.empty()) {
        return "No centre frequency keeps every tone row within 0 to 20000 Hz at a frequency "
               "spacing of " +
               hertz(pattern.frequencySpacing) + ": make the spacing smaller first.";
    }
    return "With the frequency spacing at " + hertz(pattern.frequencySpacing) + " it may be " +
           bandText(band) + ", so that every tone row lies within 0 to 20000 Hz.";
}

std::string spacingsTaken(const BeaconPattern& pattern) {
    const HertzBand band = spacingBand(pattern.centreFrequency);
    if (band.empty()) {
        return "No frequency spacing keeps every tone row within 0 to 20000 Hz at a centre "
               "frequency of " +
               hertz(pattern.centreFrequency) + ": set the centre frequency first.";
    }
    return "With the centre frequency at " + hertz(pattern.centreFrequency) + " it may be " +
           bandText(band) + ", so that every tone row lies within 0 to 20000 Hz.";
}

constexpr ParameterField kParameterFields[] = {
    {id::kDotLengthField, id::kDotLengthApply, "Dot length (ms)", &BeaconPattern::dotLength,
     nullptr, limitDotLength,
     [](const BeaconPattern&) -> std::string { return "It may be 1 ms or more."; },
     CounterReset::CountAndTimer},
    {id::kDotCountField, id::kDotCountApply, "Number of dots", &BeaconPattern::dotCount, nullptr,
     limitDotCount, [](const BeaconPattern&) -> std::string { return "It may be 0 to 600."; },
     CounterReset::Count},
    {id::kSpacingField, id::kSpacingApply, "Freq spacing (Hz)", nullptr,
     &BeaconPattern::frequencySpacing, nullptr, spacingsTaken, CounterReset::None},
    {id::kCentreField, id::kCentreApply, "Centre frequency (Hz)", nullptr,
     &BeaconPattern::centreFrequency, nullptr, centresTaken, CounterReset::None},
    {id::kRepeatField, id::kRepeatApply, "Repeat (in dots)", &BeaconPattern::repeatDots, nullptr,
     limitRepeatDots, [](const BeaconPattern&) -> std::string { return "It may be 0 or more."; },
     CounterReset::Count},
};

const ParameterField* fieldOf(std::int32_t field) {
    for (const ParameterField& f : kParameterFields) {
        if (f.field == field) {
            return &f;
        }
    }
    return nullptr;
}

// The field's text for its value in `pattern`.
std::string shownValue(const ParameterField& f, const BeaconPattern& pattern) {
    return f.integer != nullptr ? fieldTextInt(pattern.*f.integer)
                                : fieldTextSingle(pattern.*f.real);
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The field's name, the reason and the values the field takes with the other parameters.
std::string refusalText(const ParameterField& f, const std::string& reason,
                        const BeaconPattern& pattern) {
    return std::string(f.name) + ": " + reason + ".\r\n" + f.takes(pattern);
}

// Says why, and puts the value in use back into the field.
void refuse(MainWindow& state, const ParameterField& f, const std::string& reason) {
    ui::messageBox(refusalText(f, reason, state.document.pattern()),
                   msg::MB_OK | msg::MB_ICONWARNING, kParametersCaption);
    ui::controlSetText(state.mainWindow, f.field, shownValue(f, state.document.pattern()));
}

// Reads the field's text into the document under the field's rule; false when it was refused.
bool readField(MainWindow& state, const ParameterField& f) {
    const std::string typed = ui::controlGetText(state.mainWindow, f.field);
    const std::string_view text = trimmed(typed);
    if (text.empty() || !isNumberText(text)) {
        refuse(state, f, "\"" + typed + "\" is not a number");
        return false;
    }
    const double value = parseNumberLiteral(text);
    if (f.integer != nullptr) {
        const std::int32_t read = roundToInt32(value);
        const std::int32_t limited = f.limit(read);
        if (limited != read || !std::isfinite(value)) {
            ui::controlSetText(state.mainWindow, f.field, fieldTextInt(limited));
        }
        state.document.setParameter(f.integer, limited);
        return true;
    }
    BeaconPattern next = state.document.pattern();
    next.*f.real = roundToSingle(value);
    if (const Result<> fits = checkToneRange(next.centreFrequency, next.frequencySpacing); !fits) {
        refuse(state, f, std::string(text) + ": " + fits.message());
        return false;
    }
    state.document.setParameter(f.real, next.*f.real);
    return true;
}

// The one apply of every parameter field; a count that starts again loses its progress marks.
void applyParameter(MainWindow& state, const ParameterField& f) {
    if (!readField(state, f) || f.reset == CounterReset::None) {
        return;
    }
    state.session->resetDotCounter(f.reset == CounterReset::CountAndTimer);
    redraw(state);
}

} // namespace

void showParameters(const MainWindow& state) {
    for (const ParameterField& f : kParameterFields) {
        ui::controlSetText(state.mainWindow, f.field, shownValue(f, state.document.pattern()));
    }
}

void applyParameterCommand(MainWindow& state, std::int32_t command) {
    for (const ParameterField& f : kParameterFields) {
        if (f.apply == command) {
            applyParameter(state, f);
        }
    }
}

void applyFocusedField(MainWindow& state, std::int32_t) {
    if (const ParameterField* f = fieldOf(ui::controlFocused(state.mainWindow))) {
        applyParameter(state, *f);
    }
}

} // namespace vesk
