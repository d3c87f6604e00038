// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ptt_options_dialog.h"

#include "ui/messages.h"

#include <charconv>
#include <string>

namespace vesk {

namespace {

using namespace ui::style;
namespace pid = ptt_options_id;

constexpr const char* kCaption = "PTT options";

// The keying options in the box, with the lines each stands for.
struct KeyingOption {
    std::int32_t id;
    const char* text;
    platform::PttLines lines;
};
constexpr KeyingOption kKeyingOptions[] = {
    {pid::kDtrRts, "DTR and RTS", platform::PttLines::DtrRts},
    {pid::kDtr, "DTR only", platform::PttLines::Dtr},
    {pid::kRts, "RTS only", platform::PttLines::Rts},
};

// A whole number that is all of `text` but for blanks around it.
std::optional<int> wholeNumber(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    int value = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end ? std::optional<int>(value) : std::nullopt;
}

// The model number an entry ("3073  Icom IC-7300") or a typed number starts with; 0 for none.
int modelNumber(const std::string& text) {
    const std::size_t blank = text.find(' ');
    return wholeNumber(text.substr(0, blank)).value_or(0);
}

bool catChosen(ui::Window box) {
    return ui::controlGetCheck(box, pid::kCat);
}

// Only what the keying uses can be changed.
void enableFields(ui::Window box) {
    const bool cat = catChosen(box);
    ui::controlEnable(box, pid::kInverted, !cat);
    for (const std::int32_t field : {pid::kSearch, pid::kModel, pid::kDevice, pid::kSpeed}) {
        ui::controlEnable(box, field, cat);
    }
}

// Fills the model list with the entries the search words match: the model chosen before stays
// chosen when it is among them, else the first one is.
void showModels(ui::Window box, const std::vector<RigModelEntry>& models,
                const std::string& search) {
    const int chosen = modelNumber(ui::controlGetText(box, pid::kModel));
    ui::comboClear(box, pid::kModel);
    std::int32_t index = 0, found = 0;
    for (const RigModelEntry& entry : filterRigModels(models, search)) {
        ui::comboAdd(box, pid::kModel, entry.text);
        if (entry.model == chosen) {
            found = index;
        }
        ++index;
    }
    ui::comboSelect(box, pid::kModel, found);
}

// The choice in the box; a failure says why it cannot be opened.
Result<PttChoice> readChoice(ui::Window box, const PttChoice& current) {
    PttChoice choice = current;
    choice.keyer = catChosen(box) ? PttChoice::Keyer::Cat : PttChoice::Keyer::Lines;
    for (const KeyingOption& option : kKeyingOptions) {
        if (ui::controlGetCheck(box, option.id)) {
            choice.lines.lines = option.lines;
        }
    }
    choice.lines.inverted = ui::controlGetCheck(box, pid::kInverted);
    if (choice.usesCat()) {
        const std::string speed = ui::controlGetText(box, pid::kSpeed);
        const std::optional<int> baud = speed.find_first_not_of(' ') == std::string::npos
                                            ? std::optional<int>(0)
                                            : wholeNumber(speed);
        if (!baud) {
            return fail("\"" + speed + "\" is not a speed in baud.");
        }
        choice.rig.model = modelNumber(ui::controlGetText(box, pid::kModel));
        choice.rig.device = ui::controlGetText(box, pid::kDevice);
        choice.rig.speed = *baud;
    }
    if (Result<> checked = checkPttChoice(choice); !checked) {
        return checked.failure();
    }
    return choice;
}

void initialise(ui::Window box, const PttChoice& current,
                const std::vector<RigModelEntry>& models) {
    std::int32_t keying = pid::kCat;
    for (const KeyingOption& option : kKeyingOptions) {
        if (!current.usesCat() && current.lines.lines == option.lines) {
            keying = option.id;
        }
    }
    ui::controlSetCheck(box, keying, true);
    ui::controlSetCheck(box, pid::kInverted, current.lines.inverted);
    showModels(box, models, "");
    for (std::size_t i = 0; i < models.size(); ++i) {
        if (models[i].model == current.rig.model) {
            ui::comboSelect(box, pid::kModel, static_cast<std::int32_t>(i));
        }
    }
    ui::controlSetText(box, pid::kDevice, current.rig.device);
    ui::controlSetText(box, pid::kSpeed,
                       current.rig.speed > 0 ? std::to_string(current.rig.speed) : "");
    enableFields(box);
    ui::acceleratorsAttach(
        box, {{0, ui::kVirtualKeyEnter, pid::kOk}, {0, ui::kVirtualKeyEscape, pid::kCancel}});
    ui::controlSetFocus(box, keying);
}

} // namespace

std::optional<PttChoice> askPttChoice(ui::Window owner, const PttChoice& current,
                                      ui::Window* window,
                                      const std::function<std::vector<RigModelEntry>()>& models) {
    const std::vector<RigModelEntry> rigModels = models ? models() : std::vector<RigModelEntry>{};
    const ui::Window box = ui::dialogNew(ui::Units::DialogUnits, owner, kCaption, ui::kCentred,
                                         ui::kCentred, 230, 178, WS_CAPTION | WS_SYSMENU, 0);
    constexpr std::uint32_t kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    constexpr std::uint32_t kOption = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
    constexpr std::uint32_t kField = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
    ui::controlAdd(box, ui::kLabel, "", -1, "Key the transmitter by:", nullptr, 10, 8, 210, 10,
                   kLabel, 0);
    std::int32_t y = 20;
    for (const KeyingOption& option : kKeyingOptions) {
        ui::controlAdd(box, ui::kOption, "", option.id, option.text, nullptr, 16, y, 90, 10,
                       kOption, 0);
        y += 12;
    }
    ui::controlAdd(box, ui::kOption, "", pid::kCat, "CAT (Hamlib)", nullptr, 16, y, 90, 10, kOption,
                   0);
    ui::controlAdd(box, ui::kButton, "", pid::kInverted, "Inverted (keyed = line cleared)", nullptr,
                   110, 20, 115, 10, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0);
    ui::controlAdd(box, ui::kLabel, "", -1, "Rig model, search:", nullptr, 10, 74, 70, 10, kLabel,
                   0);
    ui::controlAdd(box, ui::kEdit, "", pid::kSearch, "", nullptr, 82, 72, 138, 13, kField,
                   WS_EX_CLIENTEDGE);
    ui::controlAdd(box, ui::kCombo, "", pid::kModel, "", nullptr, 10, 90, 210, 110,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN,
                   WS_EX_CLIENTEDGE);
    ui::controlAdd(box, ui::kLabel, "", -1, "Device or host:port", nullptr, 10, 110, 70, 10, kLabel,
                   0);
    ui::controlAdd(box, ui::kEdit, "", pid::kDevice, "", nullptr, 82, 108, 138, 13, kField,
                   WS_EX_CLIENTEDGE);
    ui::controlAdd(box, ui::kLabel, "", -1, "Speed (Bd)", nullptr, 10, 128, 70, 10, kLabel, 0);
    ui::controlAdd(box, ui::kEdit, "", pid::kSpeed, "", nullptr, 82, 126, 40, 13, kField,
                   WS_EX_CLIENTEDGE);
    ui::controlAdd(box, ui::kLabel, "", -1, "empty: the model's own", nullptr, 128, 128, 92, 10,
                   kLabel, 0);
    ui::controlAdd(box, ui::kButton, "", pid::kOk, "OK", nullptr, 62, 156, 50, 14,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0);
    ui::controlAdd(box, ui::kButton, "", pid::kCancel, "Cancel", nullptr, 120, 156, 50, 14,
                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0);

    std::optional<PttChoice> chosen;
    const ui::Handler handler = [&](ui::Window dialog, std::uint32_t message, std::uint32_t wParam,
                                    std::int32_t) -> std::int32_t {
        if (message == msg::WM_INITDIALOG) {
            initialise(dialog, current, rigModels);
            return 1;
        }
        if (message != msg::WM_COMMAND) {
            return 0;
        }
        const std::uint32_t command = msg::loWord(wParam);
        if (command == pid::kOk) {
            if (const Result<PttChoice> choice = readChoice(dialog, current)) {
                chosen = *choice;
                ui::dialogEnd(dialog, 1);
            } else {
                ui::messageBox(choice.message(), msg::MB_OK | msg::MB_ICONWARNING, kCaption);
            }
        } else if (command == pid::kCancel) {
            ui::dialogEnd(dialog, 0);
        } else if (command == pid::kSearch && msg::hiWord(wParam) == msg::EN_CHANGE) {
            showModels(dialog, rigModels, ui::controlGetText(dialog, pid::kSearch));
        } else if (command >= pid::kDtrRts && command <= pid::kCat) {
            enableFields(dialog);
        }
        return 0;
    };
    if (window != nullptr) {
        *window = box;
    }
    ui::dialogShowModal(box, handler, nullptr);
    if (window != nullptr) {
        *window = 0;
    }
    return chosen;
}

} // namespace vesk
