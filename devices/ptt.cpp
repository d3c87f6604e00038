#include "devices/ptt.h"

#include "ui/messages.h"

namespace vesk {

namespace {
constexpr ui::Colour kRed = ui::rgb(255, 0, 0);
constexpr ui::Colour kBlue = ui::rgb(0, 0, 255);
} // namespace

Ptt::Ptt(std::unique_ptr<platform::SerialLines> lines) : lines_(std::move(lines)) {}

Ptt::~Ptt() {
    shutdown();
}

bool Ptt::openPttPort(std::int32_t comport) {
    lines_->close();
    keyed_ = false;
    failureReported_ = false;
    // The port drops its lines itself straight after opening.
    return lines_->open(comport);
}

void Ptt::startPttPort(std::int32_t comport) {
    const bool opened = openPttPort(comport);
    if (comport == 0) {
        ui::messageBox("Default comport set to 0\r\nGo to PTT to set up a valid comport",
                       msg::MB_OK | msg::MB_ICONINFORMATION | msg::MB_SYSTEMMODAL, "Comport");
    } else if (!opened) {
        ui::messageBox("Failure to open comport",
                       msg::MB_OK | msg::MB_ICONERROR | msg::MB_SYSTEMMODAL, "Comport");
    }
}

void Ptt::reopenPttPort(std::int32_t comport) {
    if (!openPttPort(comport)) {
        ui::messageBox("Failure to open comport", msg::MB_OK | msg::MB_ICONERROR, "Comport");
    }
}

void Ptt::shutdown() {
    if (lines_ && lines_->isOpen()) {
        lines_->setLines(false);
        lines_->close();
    }
    keyed_ = false;
}

bool Ptt::setPttLines(bool keyed) {
    keyed_ = keyed;
    if (!lines_->isOpen()) {
        return true;
    }
    if (lines_->setLines(keyed)) {
        if (keyed) {
            failureReported_ = false;
        }
        return true;
    }
    keyed_ = false; // a failed keying has dropped the lines again
    failure_ = lines_->lastError();
    // Once until a keying works: a beacon retries every cycle, the operator needs one notice.
    if (!failureReported_) {
        failureReported_ = true;
        if (failureHook_) {
            failureHook_();
        }
    }
    return false;
}

void Ptt::reportFailure() const {
    ui::messageBox("Failure to set the PTT lines\r\n" + failure_, msg::MB_OK | msg::MB_ICONERROR,
                   "Comport");
}

void Ptt::pttOn() {
    showLabel(setPttLines(true));
}

void Ptt::pttOff() {
    setPttLines(false);
    showLabel(false);
}

void Ptt::showLabel(bool keyed) {
    if (window_ == 0) {
        return;
    }
    ui::controlSetColor(window_, kPttLabelId, keyed ? kRed : kBlue, ui::kDefaultColour);
    ui::controlSetText(window_, kPttLabelId, keyed ? "PTT ON" : "PTT OFF");
}

} // namespace vesk
