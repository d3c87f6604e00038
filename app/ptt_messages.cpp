// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ptt_messages.h"

#include "ui/messages.h"

namespace vesk {

namespace {
constexpr ui::Colour kRed = ui::rgb(255, 0, 0);
constexpr ui::Colour kBlue = ui::rgb(0, 0, 255);
} // namespace

void showPttLabel(Ptt& ptt, ui::Window window) {
    ptt.setLabelHook([window](bool keyed) {
        ui::controlSetColor(window, kPttLabelId, keyed ? kRed : kBlue, ui::kDefaultColour);
        ui::controlSetText(window, kPttLabelId, keyed ? "PTT ON" : "PTT OFF");
    });
}

void startPttPort(Ptt& ptt, std::int32_t comport) {
    const bool opened = ptt.openPttPort(comport).ok();
    if (comport == 0) {
        ui::messageBox("Default comport set to 0\r\nGo to PTT to set up a valid comport",
                       msg::MB_OK | msg::MB_ICONINFORMATION | msg::MB_SYSTEMMODAL, "Comport");
    } else if (!opened) {
        ui::messageBox("Failure to open comport",
                       msg::MB_OK | msg::MB_ICONERROR | msg::MB_SYSTEMMODAL, "Comport");
    }
}

void reopenPttPort(Ptt& ptt, std::int32_t comport) {
    if (!ptt.openPttPort(comport)) {
        ui::messageBox("Failure to open comport", msg::MB_OK | msg::MB_ICONERROR, "Comport");
    }
}

void reportPttFailure(const Ptt& ptt) {
    ui::messageBox("Failure to set the PTT lines\r\n" + ptt.failure(),
                   msg::MB_OK | msg::MB_ICONERROR, "Comport");
}

} // namespace vesk
