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
    setPttLines(false);
}

void Ptt::reopenPttPort(std::int32_t comport) {
    if (!openPttPort(comport)) {
        ui::messageBox("Failure to open comport", msg::MB_OK | msg::MB_ICONERROR, "Comport");
        return;
    }
    setPttLines(false);
}

void Ptt::shutdown() {
    if (lines_ && lines_->isOpen()) {
        lines_->setLines(false);
        lines_->close();
    }
    keyed_ = false;
}

void Ptt::setPttLines(bool keyed) {
    keyed_ = keyed;
    if (lines_->isOpen()) {
        lines_->setLines(keyed);
    }
}

void Ptt::pttOn() {
    setPttLines(true);
    showLabel(true);
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
