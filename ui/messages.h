// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Message numbers and codes as handlers see them (the Windows values).
namespace vesk::msg {

inline constexpr std::uint32_t WM_DESTROY = 2;
inline constexpr std::uint32_t WM_SIZE = 5;
inline constexpr std::uint32_t WM_CLOSE = 16;
inline constexpr std::uint32_t WM_DRAWITEM = 43;
inline constexpr std::uint32_t WM_INITDIALOG = 272;
inline constexpr std::uint32_t WM_COMMAND = 273;
inline constexpr std::uint32_t WM_SYSCOMMAND = 274;
inline constexpr std::uint32_t WM_TIMER = 275;
inline constexpr std::uint32_t WM_HSCROLL = 276;
inline constexpr std::uint32_t WM_VSCROLL = 277;
inline constexpr std::uint32_t WM_MOUSEMOVE = 512;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 513;
inline constexpr std::uint32_t WM_LBUTTONUP = 514;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 516;
inline constexpr std::uint32_t WM_RBUTTONUP = 517;
inline constexpr std::uint32_t WM_MBUTTONDOWN = 519;
inline constexpr std::uint32_t WM_MBUTTONUP = 520;

inline constexpr std::uint32_t SC_CLOSE = 61536;

inline constexpr std::uint32_t IDOK = 1;
inline constexpr std::uint32_t IDCANCEL = 2;
inline constexpr std::uint32_t IDYES = 6;
inline constexpr std::uint32_t IDNO = 7;

// Scroll requests (low word of WM_HSCROLL's wParam).
inline constexpr std::uint32_t SB_LINELEFT = 0;
inline constexpr std::uint32_t SB_LINERIGHT = 1;
inline constexpr std::uint32_t SB_PAGELEFT = 2;
inline constexpr std::uint32_t SB_PAGERIGHT = 3;
inline constexpr std::uint32_t SB_THUMBPOSITION = 4;
inline constexpr std::uint32_t SB_THUMBTRACK = 5;
inline constexpr std::uint32_t SB_LEFT = 6;
inline constexpr std::uint32_t SB_RIGHT = 7;
inline constexpr std::uint32_t SB_ENDSCROLL = 8;

// Notification codes (high word of WM_COMMAND's wParam).
inline constexpr std::uint32_t BN_CLICKED = 0;
inline constexpr std::uint32_t CBN_SELCHANGE = 1;
inline constexpr std::uint32_t CBN_EDITCHANGE = 5;
inline constexpr std::uint32_t CBN_SELENDOK = 9;
inline constexpr std::uint32_t EN_CHANGE = 0x0300;

// Key and button state in the wParam of mouse messages.
inline constexpr std::uint32_t MK_LBUTTON = 0x1;
inline constexpr std::uint32_t MK_RBUTTON = 0x2;
inline constexpr std::uint32_t MK_SHIFT = 0x4;
inline constexpr std::uint32_t MK_CONTROL = 0x8;
inline constexpr std::uint32_t MK_MBUTTON = 0x10;

// WM_SIZE kinds.
inline constexpr std::uint32_t SIZE_RESTORED = 0;
inline constexpr std::uint32_t SIZE_MINIMIZED = 1;
inline constexpr std::uint32_t SIZE_MAXIMIZED = 2;

// Message box styles.
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t MB_YESNO = 0x4;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr std::uint32_t MB_ICONERROR = 0x10;
inline constexpr std::uint32_t MB_ICONWARNING = 0x30;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr std::uint32_t MB_SYSTEMMODAL = 0x1000;

// File dialog flags.
inline constexpr std::uint32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr std::uint32_t OFN_HIDEREADONLY = 0x4;
inline constexpr std::uint32_t OFN_FILEMUSTEXIST = 0x1000;
inline constexpr std::uint32_t OFN_LONGNAMES = 0x200000;

// Packing helpers for the two message parameters.
constexpr std::uint32_t makeWParam(std::uint32_t low, std::uint32_t high) {
    return (low & 0xFFFFu) | ((high & 0xFFFFu) << 16);
}
constexpr std::uint32_t loWord(std::uint32_t value) {
    return value & 0xFFFFu;
}
constexpr std::uint32_t hiWord(std::uint32_t value) {
    return (value >> 16) & 0xFFFFu;
}
// Mouse messages carry client x in the low and y in the high 16 bits, both signed.
constexpr std::int32_t mouseX(std::int32_t lParam) {
    return static_cast<std::int16_t>(static_cast<std::uint32_t>(lParam) & 0xFFFFu);
}
constexpr std::int32_t mouseY(std::int32_t lParam) {
    return static_cast<std::int16_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFFu);
}
constexpr std::int32_t makeMouseLParam(std::int32_t x, std::int32_t y) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(x) & 0xFFFFu) |
                                     ((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16));
}

} // namespace vesk::msg
