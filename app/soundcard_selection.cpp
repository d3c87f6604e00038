// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/soundcard_selection.h"

#include "ui/messages.h"

namespace vesk {

namespace {

using namespace ui::style;

// Entry i + 1 must stay device i, so a device without a name still gets a line.
std::string entryText(const std::string& name, std::size_t index) {
    return name.empty() ? "Sound output " + std::to_string(index + 1) : name;
}

void initialise(ui::Window dialog, std::int32_t soundcardIndex,
                const std::vector<std::string>& deviceNames) {
    ui::comboAdd(dialog, soundcard_id::kDeviceList, kSystemDefaultEntry);
    for (std::size_t i = 0; i < deviceNames.size(); ++i) {
        ui::comboAdd(dialog, soundcard_id::kDeviceList, entryText(deviceNames[i], i));
    }
    if (deviceNames.empty()) {
        ui::messageBox("You have no audio output devices!", msg::MB_OK | msg::MB_ICONWARNING,
                       "Warning");
    }
    // The output in use; one that is no longer listed leaves nothing selected.
    const std::int32_t entry = soundcardIndex + 1;
    const bool inList = entry >= 0 && entry < ui::comboCount(dialog, soundcard_id::kDeviceList);
    ui::comboSelect(dialog, soundcard_id::kDeviceList, inList ? entry : -1);
}

} // namespace

void selectSoundcard(ui::Window mainWindow, std::int32_t& soundcardIndex,
                     const std::vector<std::string>& deviceNames,
                     const std::function<void()>& stopPlayback, ui::Window* soundcardWindow) {
    const ui::Window dialog = ui::dialogNew(ui::Units::Pixels, mainWindow, "Select soundcard", 100,
                                            100, 237, 60, WS_SYSMENU, WS_EX_TOOLWINDOW);
    ui::controlSetColor(dialog, ui::kDialogItself, ui::kDefaultColour, ui::rgb(224, 255, 255));
    // Not sorted: entry i + 1 is device i.
    ui::controlAdd(dialog, ui::kCombo, "", soundcard_id::kDeviceList, "", nullptr, 1, 2, 180, 140,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN, 0);
    ui::controlAdd(dialog, ui::kButton, "", soundcard_id::kOk, "OK", nullptr, 10, 26, 70, 23, 0, 0);
    ui::controlAdd(dialog, ui::kButton, "", soundcard_id::kCancel, "Cancel", nullptr, 90, 26, 70,
                   23, 0, 0);

    // Cancel, Escape (IDCANCEL too) and the close box end the dialog without touching the
    // index; every message is left to the toolkit's default handling as well (result 0).
    const ui::Handler handler = [&](ui::Window window, std::uint32_t message, std::uint32_t wParam,
                                    std::int32_t) -> std::int32_t {
        if (message == msg::WM_INITDIALOG) {
            initialise(window, soundcardIndex, deviceNames);
        } else if (message == msg::WM_COMMAND && msg::loWord(wParam) == soundcard_id::kOk) {
            const std::int32_t entry = ui::comboSelection(window, soundcard_id::kDeviceList);
            if (entry >= 0 && entry - 1 != soundcardIndex) {
                soundcardIndex = entry - 1;
                if (stopPlayback) {
                    stopPlayback();
                }
            }
            ui::dialogEnd(window, 0);
        } else if (message == msg::WM_COMMAND && msg::loWord(wParam) == soundcard_id::kCancel) {
            ui::dialogEnd(window, 0);
        }
        return 0;
    };
    if (soundcardWindow != nullptr) {
        *soundcardWindow = dialog;
    }
    ui::dialogShowModal(dialog, handler, nullptr);
    if (soundcardWindow != nullptr) {
        *soundcardWindow = 0;
    }
}

} // namespace vesk
