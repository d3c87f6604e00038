// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/soundcard_selection.h"

#include "ui/messages.h"

namespace vesk {

namespace {

using namespace ui::style;

// Entry i must stay device i, so a device without a name still gets a line.
std::string entryText(const std::string& name, std::size_t index) {
    return name.empty() ? "Sound output " + std::to_string(index + 1) : name;
}

void initialise(ui::Window dialog, std::int32_t soundcardIndex,
                const std::vector<std::string>& deviceNames) {
    for (std::size_t i = 0; i < deviceNames.size(); ++i) {
        ui::comboAdd(dialog, soundcard_id::kDeviceList, entryText(deviceNames[i], i));
    }
    const std::int32_t count = ui::comboCount(dialog, soundcard_id::kDeviceList);
    if (count == 0) {
        ui::messageBox("You have no audio output devices!", msg::MB_OK | msg::MB_ICONWARNING,
                       "Warning");
        return;
    }
    const bool inList = soundcardIndex >= 0 && soundcardIndex < count;
    ui::comboSelect(dialog, soundcard_id::kDeviceList, inList ? soundcardIndex : -1);
}

} // namespace

void selectSoundcard(ui::Window mainWindow, std::int32_t& soundcardIndex,
                     const std::vector<std::string>& deviceNames,
                     const std::function<void()>& stopPlayback, ui::Window* soundcardWindow) {
    const ui::Window dialog = ui::dialogNew(ui::Units::Pixels, mainWindow, "Select soundcard", 100,
                                            100, 237, 60, WS_SYSMENU, WS_EX_TOOLWINDOW);
    ui::controlSetColor(dialog, ui::kDialogItself, ui::kDefaultColour, ui::rgb(224, 255, 255));
    // Not sorted: entry i is device i.
    ui::controlAdd(dialog, ui::kCombo, "", soundcard_id::kDeviceList, "", nullptr, 1, 2, 180, 140,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN, 0);
    ui::controlAdd(dialog, ui::kButton, "", soundcard_id::kOk, "OK", nullptr, 10, 26, 70, 23, 0, 0);

    // Every message is left to the toolkit's default handling as well (result 0): the close
    // box ends the dialog without touching the index.
    const ui::Handler handler = [&](ui::Window window, std::uint32_t message, std::uint32_t wParam,
                                    std::int32_t) -> std::int32_t {
        if (message == msg::WM_INITDIALOG) {
            if (stopPlayback) {
                stopPlayback();
            }
            initialise(window, soundcardIndex, deviceNames);
        } else if (message == msg::WM_COMMAND && msg::loWord(wParam) == soundcard_id::kOk) {
            soundcardIndex = ui::comboSelection(window, soundcard_id::kDeviceList);
            if (stopPlayback) {
                stopPlayback();
            }
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
