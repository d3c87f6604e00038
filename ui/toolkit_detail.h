// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialog_units.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <string>

class QWidget;

// Pieces the toolkit's own sources share, and that its tests reach into. Plain C++: Qt types
// appear only as forward declarations.
namespace vesk::ui::detail {

// The base units of a dialog (its font's average character width and height); {0, 0} if none.
BaseUnits dialogBaseUnits(Window dialog);

// Style bits of controlAdd kinds other than kCustom: the kind's default when `style` is 0, then
// its forced bits added and its removed bits taken away.
std::uint32_t effectiveControlStyle(int kind, std::uint32_t style);
// WS_EX_CLIENTEDGE is added when an edit control takes its default style.
std::uint32_t effectiveControlExStyle(int kind, std::uint32_t style, std::uint32_t exStyle);

// "desc|pattern|desc|pattern" -> "desc (pattern);;desc (pattern)" with ';' between patterns
// turned into blanks; a description already ending in "(pattern)" is kept as it is.
std::string qtFileFilter(const std::string& filter);

// Colour 0x00BBGGRR <-> 0xAARRGGBB with alpha 255.
constexpr std::uint32_t toArgb(Colour colour) {
    const auto c = static_cast<std::uint32_t>(colour);
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr Colour fromArgb(std::uint32_t argb) {
    return rgb(static_cast<int>((argb >> 16) & 0xFFu), static_cast<int>((argb >> 8) & 0xFFu),
               static_cast<int>(argb & 0xFFu));
}
// True for a real colour, false for the markers (-1, -2, -3 and any other negative value).
constexpr bool isRealColour(Colour colour) {
    return colour >= 0;
}

// The platform's virtual-key code of a Qt key (Qt::Key value); 0 when there is none.
std::uint32_t virtualKey(int qtKey);

// Top-level widget of a dialog, and the widget of a control; nullptr when there is none.
QWidget* dialogWidget(Window dialog);
QWidget* controlWidget(Window dialog, std::int32_t id);

// Graphic area widgets (graphic_area.cpp): a widget that shows a backing bitmap of the given
// size in pixels, cleared white.
QWidget* createGraphicArea(QWidget* parent, int width, int height);

// The key pressed last, when it is still held, reaches no window until it is released: called
// when a box or dialog closes, so that the key that closed it (its repeats and its release)
// ends there. Other keys held meanwhile, and everything typed afterwards, go on as typed.
void swallowClosingKey();

// Closes every message box on screen, as if its close box was used (message_box.cpp).
void closeMessageBoxes();

// The window a box or chooser raised now belongs to: Qt's innermost modal window, else the
// innermost toolkit modal run on screen, else the dialog being set up (hidden, as the main
// window is while its start-up notices come); nullptr when there is none.
QWidget* boxOwner();
// Makes `box` transient for `owner` as the window manager sees it, and modal to it alone;
// before the box is shown.
void ownBox(QWidget& box, QWidget& owner);

// Marks a modal run that is not one of the toolkit's dialogs (message box, file chooser): while
// it lasts, accelerators and dialog keys of the dialogs below it do not apply.
class ForeignModalScope {
public:
    ForeignModalScope();
    ~ForeignModalScope();
    ForeignModalScope(const ForeignModalScope&) = delete;
    ForeignModalScope& operator=(const ForeignModalScope&) = delete;
};

} // namespace vesk::ui::detail
