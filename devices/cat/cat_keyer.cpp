// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/cat_keyer.h"

#include "devices/cat/cat_dial.h"
#include "devices/cat/cat_rig.h"

namespace vesk {

namespace {

// The rig closes itself when the keyer ends.
class CatKeyer : public Keyer {
public:
    explicit CatKeyer(std::string description) : description_(std::move(description)) {}

    Result<> open(const RigAddress& address) {
        Result<> opened = rig_.open(address);
        if (opened) {
            opened = rig_.setPtt(false);
        }
        return opened;
    }
    Result<> setKeyed(bool keyed) override {
        const Result<> changed = rig_.setPtt(keyed);
        if (!changed && keyed) {
            static_cast<void>(rig_.setPtt(false)); // a rig that half heard the command
        }
        return changed;
    }
    void release() noexcept override { static_cast<void>(rig_.setPtt(false)); }
    std::string description() const override { return description_; }
    Dial* dial() override { return &dial_; }

private:
    CatRig rig_;
    CatDial dial_{rig_};
    std::string description_;
};

} // namespace

Result<std::unique_ptr<Keyer>> openCatKeyer(const RigAddress& address) {
    PttChoice choice;
    choice.keyer = PttChoice::Keyer::Cat;
    choice.rig = address;
    auto keyer = std::make_unique<CatKeyer>(describePttChoice(choice, 0));
    if (Result<> opened = keyer->open(address); !opened) {
        return opened.failure();
    }
    return std::unique_ptr<Keyer>(std::move(keyer));
}

} // namespace vesk
