// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ptt_messages.h"

#include "devices/comport_rules.h"
#include "ui/messages.h"

namespace vesk {

namespace {
constexpr ui::Colour kRed = ui::rgb(255, 0, 0);
constexpr ui::Colour kBlue = ui::rgb(0, 0, 255);
constexpr ui::Colour kGrey = ui::rgb(96, 96, 96);

constexpr const char* kOpenFailure = "Failure to open comport";

void reportOpenFailure(std::int32_t comport, const PttChoice& choice, const Result<>& opened,
                       std::uint32_t modality) {
    ui::messageBox(pttOpenFailureText(comport, choice, opened),
                   msg::MB_OK | msg::MB_ICONERROR | modality, "Comport");
}

} // namespace

void showPttOpening(ui::Window window) {
    ui::controlSetColor(window, kPttLabelId, kGrey, ui::kDefaultColour);
    ui::controlSetText(window, kPttLabelId, "PTT ...");
}

void showPttState(ui::Window window, bool keyed, bool missing) {
    if (missing) {
        ui::controlSetColor(window, kPttLabelId, kGrey, ui::kDefaultColour);
        ui::controlSetText(window, kPttLabelId, "NO PTT");
        return;
    }
    ui::controlSetColor(window, kPttLabelId, keyed ? kRed : kBlue, ui::kDefaultColour);
    ui::controlSetText(window, kPttLabelId, keyed ? "PTT ON" : "PTT OFF");
}

std::string pttOpenFailureText(std::int32_t comport, const PttChoice& choice,
                               const Result<>& opened) {
    if (choice.usesCat()) {
        return "Failure to open the rig\r\n" + opened.message();
    }
    // The port's sentence starts "COMn: " and may name the device again after it.
    std::string reason = opened.message();
    const std::string name = "COM" + std::to_string(comport) + ": ";
    const std::string device = platform::comportDevicePath(comport);
    if (reason.rfind(name, 0) == 0) {
        reason.erase(0, name.size());
    }
    if (!device.empty() && reason.rfind(device + ": ", 0) == 0) {
        reason.erase(0, device.size() + 2);
    }
    std::string port = comportCurrentText(comport);
    if (!device.empty()) {
        port += " (" + device + ")";
    }
    return std::string(kOpenFailure) + "\r\n" + port + ": " + reason;
}

void startPttPort(SessionHost& session, std::int32_t comport, const PttChoice& choice) {
    if (choice.usesCat()) {
        // A rig may take seconds to answer: the window comes up meanwhile.
        session.openKeyer(choice, comport, [comport, choice](const Result<>& opened) {
            if (!opened) {
                reportOpenFailure(comport, choice, opened, msg::MB_SYSTEMMODAL);
            }
        });
        return;
    }
    // The port's notices come before the window stands.
    const Result<> opened = session.openKeyer(choice, comport);
    if (comport == 0) {
        ui::messageBox("Default comport set to 0\r\nGo to PTT to set up a valid comport",
                       msg::MB_OK | msg::MB_ICONINFORMATION | msg::MB_SYSTEMMODAL, "Comport");
    } else if (!opened) {
        reportOpenFailure(comport, choice, opened, msg::MB_SYSTEMMODAL);
    }
}

void reopenPttPort(SessionHost& session, ui::Window window, std::int32_t comport,
                   const PttChoice& choice) {
    // A rig may take seconds to answer, or not answer: the window goes on meanwhile and says
    // so, and what the open found shows once it is known.
    showPttOpening(window);
    session.openKeyer(choice, comport, [window, comport, choice](const Result<>& opened) {
        // The session tells of a keyer that went missing or came back; one that opened as the
        // one before it had, or keyed nothing yet, leaves the label to this.
        if (ui::windowExists(window) && ui::controlGetText(window, kPttLabelId) == "PTT ...") {
            showPttState(window, false, !opened.ok());
        }
        if (!opened) {
            reportOpenFailure(comport, choice, opened, 0);
        }
    });
}

void reportPttFailure(const std::string& failure) {
    ui::messageBox("Failure to set the PTT lines\r\n" + failure, msg::MB_OK | msg::MB_ICONERROR,
                   "Comport");
}

} // namespace vesk
