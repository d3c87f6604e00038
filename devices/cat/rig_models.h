// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace vesk {

// One rig model Hamlib knows, as the PTT options list it: "3073  Icom IC-7300".
struct RigModelEntry {
    int model = 0;
    std::string text;
};

// Every rig model of the installed Hamlib, by model number.
std::vector<RigModelEntry> hamlibRigModels();

// The entries whose text holds each blank-separated word of `filter`, case-insensitive (all of
// them for an empty filter).
std::vector<RigModelEntry> filterRigModels(const std::vector<RigModelEntry>& models,
                                           const std::string& filter);

} // namespace vesk
