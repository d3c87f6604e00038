#include "devices/ptt.h"

namespace vesk {

Ptt::Ptt(std::unique_ptr<platform::SerialLines> lines) : lines_(std::move(lines)) {}

Ptt::~Ptt() {
    shutdown();
}

Outcome Ptt::openPttPort(std::int32_t comport, platform::PttMethod method) {
    lines_->close();
    lines_->setMethod(method);
    keyed_ = false;
    failureReported_ = false;
    // The port drops its lines itself straight after opening.
    return lines_->open(comport);
}

void Ptt::shutdown() {
    if (lines_ && lines_->isOpen()) {
        // On the way out a release that fails has nobody left to report to.
        static_cast<void>(lines_->setLines(false));
        lines_->close();
    }
    keyed_ = false;
}

bool Ptt::setPttLines(bool keyed) {
    keyed_ = keyed;
    if (!lines_->isOpen()) {
        return true;
    }
    const Outcome changed = lines_->setLines(keyed);
    if (changed) {
        if (keyed) {
            failureReported_ = false;
        }
        return true;
    }
    keyed_ = false; // a failed keying has dropped the lines again
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
