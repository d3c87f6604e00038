// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/choice_box.h"

#include "ui/messages.h"

namespace vesk {

namespace {

using namespace ui::style;

constexpr ui::Colour kBoxBackground = ui::rgb(139, 197, 197);
constexpr ui::Colour kYellow = ui::rgb(255, 255, 0);
constexpr ui::Colour kRed = ui::rgb(255, 0, 0);
constexpr ui::Colour kCyan = ui::rgb(0, 255, 255);
constexpr ui::Colour kMagenta = ui::rgb(255, 0, 255);
constexpr ui::Colour kBlack = ui::rgb(0, 0, 0);

void applyColours(ui::Window box) {
    ui::controlSetColor(box, ui::kDialogItself, ui::kDefaultColour, kBoxBackground);
    ui::controlSetColor(box, choice_id::kPrompt, kYellow, kBoxBackground);
    ui::controlSetColor(box, choice_id::kList, kMagenta, kCyan);
}

void initialise(ChoiceBoxState& state, ui::Window box) {
    applyColours(box);
    state.choiceResult = 0;
    state.choiceClosing = 0;
    if (state.choiceInitial.empty()) {
        ui::comboSelect(box, choice_id::kList, 0);
        state.choiceText = ui::comboGetText(box, choice_id::kList, 0);
    } else {
        // The list opens at the entry the text names, not at the top.
        const std::int32_t count = ui::comboCount(box, choice_id::kList);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::string entry = ui::comboGetText(box, choice_id::kList, i);
            if (entry == state.choiceInitial || entry.rfind(state.choiceInitial + "  ", 0) == 0) {
                ui::comboSelect(box, choice_id::kList, i);
                break;
            }
        }
        ui::controlSetText(box, choice_id::kList, state.choiceInitial);
        state.choiceText = state.choiceInitial;
    }
    // Brings the box to the front as well as focusing the list.
    ui::controlSetFocus(box, choice_id::kList);
    ui::acceleratorsAttach(box, {{0, ui::kVirtualKeyEnter, choice_id::kAccept},
                                 {0, ui::kVirtualKeyEscape, choice_id::kCancel}});
}

void command(ChoiceBoxState& state, ui::Window box, std::uint32_t wParam) {
    const std::uint32_t id = msg::loWord(wParam);
    const std::uint32_t code = msg::hiWord(wParam);
    if (id == choice_id::kAccept || id == choice_id::kCancel) {
        state.choiceResult = id == choice_id::kCancel ? kChoiceCancelled : 0;
        ui::postMessage(box, msg::WM_CLOSE, 0, 0);
    } else if (id == choice_id::kClear) {
        ui::comboSelect(box, choice_id::kList, -1);
        state.choiceText.clear();
    } else if (id == choice_id::kList && code == msg::CBN_SELENDOK) {
        state.choiceText = ui::comboGetText(box, choice_id::kList, -1);
    } else if (id == choice_id::kList && code == msg::CBN_EDITCHANGE) {
        state.choiceText = ui::controlGetText(box, choice_id::kList);
    }
}

ui::Handler boxHandler(ChoiceBoxState& state) {
    return [&state](ui::Window box, std::uint32_t message, std::uint32_t wParam,
                    std::int32_t) -> std::int32_t {
        switch (message) {
        case msg::WM_INITDIALOG:
            initialise(state, box);
            return 1;
        case msg::WM_CLOSE:
            // Ending the box sends WM_CLOSE once more; only the first one ends it.
            if (state.choiceClosing == 0) {
                state.choiceClosing = -1;
                ui::dialogEnd(box, state.choiceResult);
            }
            return 1;
        case msg::WM_SYSCOMMAND:
            if ((wParam & 0xFFF0u) != msg::SC_CLOSE) {
                return 0;
            }
            state.choiceResult = kChoiceCancelled;
            ui::postMessage(box, msg::WM_CLOSE, 0, 0);
            return 1;
        case msg::WM_COMMAND:
            command(state, box, wParam);
            return 0;
        default:
            return 0;
        }
    };
}

void addFaceButton(ui::Window box, std::int32_t id, std::int32_t y, const std::string& face,
                   ui::Colour fill, ui::Colour text) {
    ui::controlAdd(box, ui::kButton, "", id, "", nullptr, 150, y, 40, 14,
                   WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0);
    ui::buttonSetFace(box, id, face, fill, text);
}

} // namespace

std::string choiceBox(ChoiceBoxState& state, const std::string& prompt, const std::string& initial,
                      const std::vector<std::string>* list, const std::string& caption,
                      ui::Window owner) {
    state.choiceInitial = initial;
    // A private copy: the caller's list may change while the box runs its loop.
    const std::vector<std::string> entries = list ? *list : std::vector<std::string>{""};

    const ui::Window box = ui::dialogNew(ui::Units::DialogUnits, owner, caption, ui::kCentred,
                                         ui::kCentred, 200, 70, WS_CAPTION | WS_SYSMENU, 0);
    ui::controlAdd(box, ui::kCombo, "", choice_id::kList, "", &entries, 10, 42, 100, 60,
                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                   WS_EX_CLIENTEDGE);
    ui::controlAdd(box, ui::kLabel, "", choice_id::kPrompt, prompt, nullptr, 10, 10, 130, 24,
                   WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0);
    addFaceButton(box, choice_id::kAccept, 10, "Accept", kYellow, kBlack);
    addFaceButton(box, choice_id::kCancel, 26, "Cancel", kRed, kYellow);
    addFaceButton(box, choice_id::kClear, 42, "Clear", kCyan, kBlack);

    state.choiceWindow = box;
    // A box destroyed without an end code (the program closing under it) counts as cancelled.
    state.choiceEndCode = kChoiceCancelled;
    ui::dialogShowModal(box, boxHandler(state), &state.choiceEndCode);
    state.choiceWindow = 0;
    return state.choiceEndCode == kChoiceCancelled ? std::string() : state.choiceText;
}

std::string choiceBox(const std::string& prompt, const std::string& initial,
                      const std::vector<std::string>* list, const std::string& caption) {
    ChoiceBoxState state;
    return choiceBox(state, prompt, initial, list, caption);
}

} // namespace vesk
