// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/ptt.h"

namespace vesk {

Ptt::Ptt(std::unique_ptr<platform::SerialLines> lines) : lines_(std::move(lines)) {}

Ptt::~Ptt() {
    shutdown();
}

Result<> Ptt::openPttPort(std::int32_t comport, platform::PttMethod method) {
    closeKeyer();
    lines_->setMethod(method);
    // The port releases its lines itself straight after opening.
    return lines_->open(comport);
}

Result<> Ptt::openRig(const RigAddress& address) {
    closeKeyer();
    Result<> opened = rig_.open(address);
    if (opened) {
        opened = rig_.setPtt(false);
        if (!opened) {
            rig_.close();
        }
    }
    return opened;
}

void Ptt::closeKeyer() {
    if (keyed_) {
        shutdown();
    }
    lines_->close();
    rig_.close();
    keyed_ = false;
    failureReported_ = false;
}

void Ptt::shutdown() {
    // On the way out a release that fails has nobody left to report to.
    if (lines_ && lines_->isOpen()) {
        static_cast<void>(lines_->setLines(false));
        lines_->close();
    }
    if (rig_.isOpen()) {
        static_cast<void>(rig_.setPtt(false));
        rig_.close();
    }
    keyed_ = false;
}

bool Ptt::setPttLines(bool keyed) {
    keyed_ = keyed;
    if (!isOpen()) {
        return true;
    }
    const Result<> changed = rig_.isOpen() ? rig_.setPtt(keyed) : lines_->setLines(keyed);
    if (changed) {
        if (keyed) {
            failureReported_ = false;
        }
        return true;
    }
    keyed_ = false; // a failed keying has dropped the lines again
    if (keyed && rig_.isOpen()) {
        static_cast<void>(rig_.setPtt(false)); // a rig that half heard the command
    }
    failure_ = changed.message();
    // Once until a keying works: a beacon retries every cycle, the operator needs one notice.
    if (!failureReported_) {
        failureReported_ = true;
        if (failureHook_) {
            failureHook_();
        }
    }
    return false;
}

void Ptt::pttOn() {
    showLabel(setPttLines(true));
}

void Ptt::pttOff() {
    setPttLines(false);
    showLabel(false);
}

void Ptt::showLabel(bool keyed) {
    if (labelHook_) {
        labelHook_(keyed);
    }
}

} // namespace vesk
