// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/cat_dial.h"

namespace vesk {

namespace {

// A rig of its own, open for as long as its dial lives.
class OwnedCatDial : public Dial {
public:
    Result<> open(const RigAddress& address) { return rig_.open(address, false); }
    Result<> setFrequency(std::int64_t hertz) override { return dial_.setFrequency(hertz); }
    Result<std::int64_t> frequency() override { return dial_.frequency(); }
    Result<> setMode(const std::string& mode) override { return dial_.setMode(mode); }
    Result<std::string> mode() override { return dial_.mode(); }

private:
    CatRig rig_;
    CatDial dial_{rig_};
};

} // namespace

Result<std::unique_ptr<Dial>> openCatDial(const RigAddress& address) {
    auto dial = std::make_unique<OwnedCatDial>();
    if (Result<> opened = dial->open(address); !opened) {
        return opened.failure();
    }
    return std::unique_ptr<Dial>(std::move(dial));
}

} // namespace vesk
