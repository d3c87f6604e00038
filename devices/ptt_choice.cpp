// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/ptt_choice.h"

#include "devices/comport_rules.h"

#include <charconv>

namespace vesk {

namespace {

using platform::PttLines;

const char* linesName(PttLines lines) {
    switch (lines) {
    case PttLines::Dtr:
        return "DTR";
    case PttLines::Rts:
        return "RTS";
    case PttLines::DtrRts:
        break;
    }
    return "DTR+RTS";
}

// True for "host:port" with a host and a port number from 1 to 65535.
bool isHostAndPort(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        return false;
    }
    int port = 0;
    const char* first = text.data() + colon + 1;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, port);
    return error == std::errc() && end == last && port >= 1 && port <= 65535;
}

} // namespace

std::string pttKeyerWord(const PttChoice& choice) {
    if (choice.usesCat()) {
        return "cat";
    }
    switch (choice.lines.lines) {
    case PttLines::Dtr:
        return "dtr";
    case PttLines::Rts:
        return "rts";
    case PttLines::DtrRts:
        break;
    }
    return "both";
}

std::optional<PttChoice> pttChoiceFromWord(std::string_view word, bool inverted) {
    PttChoice choice;
    choice.lines.inverted = inverted;
    if (word == "both") {
        choice.lines.lines = PttLines::DtrRts;
    } else if (word == "dtr") {
        choice.lines.lines = PttLines::Dtr;
    } else if (word == "rts") {
        choice.lines.lines = PttLines::Rts;
    } else if (word == "cat") {
        choice.keyer = PttChoice::Keyer::Cat;
    } else {
        return std::nullopt;
    }
    return choice;
}

std::string describePttChoice(const PttChoice& choice, std::int32_t comport) {
    if (choice.usesCat()) {
        const RigAddress& rig = choice.rig;
        if (rig.model == RigAddress::kRigctldModel) {
            return "CAT to rigctld at " + rig.device;
        }
        std::string text = "CAT to Hamlib model " + std::to_string(rig.model);
        if (!rig.device.empty()) {
            text += " at " + rig.device;
        }
        if (rig.speed > 0) {
            text += " (" + std::to_string(rig.speed) + " Bd)";
        }
        return text;
    }
    std::string text = linesName(choice.lines.lines);
    if (choice.lines.inverted) {
        text += " inverted";
    }
    if (comport == 0) {
        return text + ", no port";
    }
    return text + " on " + comportCurrentText(comport);
}

Result<> checkPttChoice(const PttChoice& choice) {
    if (!choice.usesCat()) {
        return {};
    }
    const RigAddress& rig = choice.rig;
    if (rig.model <= 0) {
        return fail("CAT keying needs a rig model or a rigctld address.");
    }
    if (rig.model == RigAddress::kRigctldModel && !isHostAndPort(rig.device)) {
        return fail("\"" + rig.device + "\" is not a rigctld address (host:port).");
    }
    if (rig.speed < 0) {
        return fail("The rig's speed must be 0 (the model's own) or more baud.");
    }
    return {};
}

} // namespace vesk
