// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/ptt.h"

namespace vesk {

Ptt::Ptt(KeyerOpener opener) : opener_(std::move(opener)) {}

Ptt::~Ptt() {
    shutdown();
}

Result<> Ptt::open(const PttChoice& choice, std::int32_t comport) {
    close();
    Result<std::unique_ptr<Keyer>> opened = opener_(choice, comport);
    if (!opened) {
        return opened.failure();
    }
    keyer_ = std::move(opened).value();
    state_ = PttState::Released;
    return {};
}

void Ptt::close() {
    if (keyer_ && state_ == PttState::Keyed) {
        keyer_->release();
    }
    keyer_.reset();
    state_ = PttState::NoKeyer;
}

void Ptt::shutdown() {
    // On the way out a release that fails has nobody left to report to.
    if (keyer_) {
        keyer_->release();
    }
    keyer_.reset();
    state_ = PttState::NoKeyer;
}

void Ptt::setKeyed(bool keyed) {
    if (!keyer_) {
        state_ = keyed ? PttState::KeyedWithoutKeyer : PttState::NoKeyer;
        return;
    }
    const Result<> changed = keyer_->setKeyed(keyed);
    if (changed) {
        // A release keeps a failure on show; only a keying that works ends it.
        if (keyed || state_ != PttState::Failed) {
            state_ = keyed ? PttState::Keyed : PttState::Released;
        }
        return;
    }
    failure_ = changed.message();
    // Once until a keying works: a beacon retries every cycle, the operator needs one notice.
    const bool reported = state_ == PttState::Failed;
    state_ = PttState::Failed;
    if (!reported && failureHook_) {
        failureHook_();
    }
}

void Ptt::pttOn() {
    setKeyed(true);
    showLabel();
}

void Ptt::pttOff() {
    setKeyed(false);
    showLabel();
}

void Ptt::showLabel() {
    if (labelHook_) {
        labelHook_(keyed());
    }
}

} // namespace vesk
