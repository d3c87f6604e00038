// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/rig_address.h"
#include "platform/result.h"

#include <cstdint>
#include <optional>
#include <string>

struct s_rig; // Hamlib's RIG

namespace vesk {

// One rig whose PTT is switched by CAT commands through Hamlib. Failures name the rig and
// give Hamlib's reason, e.g. "Hamlib NET rigctl at 127.0.0.1:4532: cannot open: IO error".
class CatRig {
public:
    CatRig() = default;
    CatRig(const CatRig&) = delete;
    CatRig& operator=(const CatRig&) = delete;
    ~CatRig();

    // Opens the rig, with PTT by CAT command unless `keying` is false (a rig opened for its dial
    // alone); a rig open before is closed first.
    Result<> open(const RigAddress& address, bool keying = true);
    // Closes the rig as it is: release it first (setPtt(false)).
    void close();
    bool isOpen() const { return rig_ != nullptr; }
    Result<> setPtt(bool keyed);
    // The PTT state the rig reports; nothing when it is closed or does not answer.
    std::optional<bool> ptt() const;
    // The dial of the current VFO: frequency in Hz, mode by Hamlib's name ("USB").
    Result<> setFrequency(std::int64_t hertz);
    Result<std::int64_t> frequency() const;
    Result<> setMode(const std::string& mode);
    Result<std::string> mode() const;

private:
    Result<> failure(const std::string& what, int code) const;

    s_rig* rig_ = nullptr;
    std::string name_; // "<maker> <model>" and " at <device>" when it has one
};

} // namespace vesk
