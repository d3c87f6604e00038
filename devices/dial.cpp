// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/dial.h"

#include <algorithm>
#include <array>

namespace vesk {

namespace {

// The rig library's names of the modes a beacon transmits in, checked against it by the CAT
// tests, so that a plan is checked without loading it.
constexpr std::array<std::string_view, 22> kModes = {
    "USB",   "LSB", "CW",  "CWR", "AM",  "FM",      "PKTUSB",  "PKTLSB", "PKTFM", "PKTAM", "RTTY",
    "RTTYR", "WFM", "AMS", "DSB", "FMN", "ECSSUSB", "ECSSLSB", "FAX",    "SAM",   "SAL",   "SAH"};

} // namespace

bool isDialMode(std::string_view mode) {
    return std::find(kModes.begin(), kModes.end(), mode) != kModes.end();
}

std::string dialModeList() {
    std::string list;
    for (const std::string_view mode : kModes) {
        list += (list.empty() ? "" : " ") + std::string(mode);
    }
    return list;
}

Result<> tuneDial(Dial& dial, std::int64_t hertz, const std::string& mode) {
    if (Result<> set = dial.setFrequency(hertz); !set) {
        return set;
    }
    if (!mode.empty()) {
        if (Result<> set = dial.setMode(mode); !set) {
            return set;
        }
    }
    const Result<std::int64_t> read = dial.frequency();
    if (!read) {
        return read.failure();
    }
    if (*read != hertz) {
        return fail("the rig reads back " + std::to_string(*read) + " Hz, not " +
                    std::to_string(hertz) + " Hz");
    }
    if (mode.empty()) {
        return {};
    }
    const Result<std::string> readMode = dial.mode();
    if (!readMode) {
        return readMode.failure();
    }
    if (*readMode != mode) {
        return fail("the rig reads back mode " + *readMode + ", not " + mode);
    }
    return {};
}

} // namespace vesk
