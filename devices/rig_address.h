// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>

namespace vesk {

// Where the rig keyed over CAT is: a Hamlib rig model with its serial device and speed, or a
// running rigctld reached over the network.
struct RigAddress {
    int model = 0;      // Hamlib's rig model number
    std::string device; // the serial device; "host:port" for rigctld; empty for none
    int speed = 0;      // serial speed in baud; 0 keeps the model's own
    bool operator==(const RigAddress&) const = default;

    static constexpr int kRigctldModel = 2; // Hamlib's NET rigctl
    static RigAddress rigctld(std::string hostPort) {
        return {kRigctldModel, std::move(hostPort), 0};
    }
};

} // namespace vesk
