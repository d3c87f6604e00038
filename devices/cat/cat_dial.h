// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/cat/cat_rig.h"
#include "devices/dial.h"
#include "devices/rig_address.h"

#include <memory>

namespace vesk {

// The dial of an open CatRig, on the rig's own connection.
class CatDial : public Dial {
public:
    explicit CatDial(CatRig& rig) : rig_(rig) {}
    Result<> setFrequency(std::int64_t hertz) override { return rig_.setFrequency(hertz); }
    Result<std::int64_t> frequency() override { return rig_.frequency(); }
    Result<> setMode(const std::string& mode) override { return rig_.setMode(mode); }
    Result<std::string> mode() override { return rig_.mode(); }

private:
    CatRig& rig_;
};

// Opens the rig at `address` for its dial alone (the transmitter keyed by the lines); the rig
// closes when the dial ends. The failure is the rig's: its name and Hamlib's reason.
Result<std::unique_ptr<Dial>> openCatDial(const RigAddress& address);

} // namespace vesk
