// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QDialog;
class QWidget;

// The dialog toolkit: dialogs built from code, controls addressed by identifier, handlers
// that receive the Windows message numbers of ui/messages.h, nested modal runs, menus,
// accelerators, message boxes, window timers, graphic areas with backing bitmaps and the
// file dialogs. Plain C++ here; the implementation stands on Qt Widgets.
namespace vesk::ui {

// Window handle: dialogs and controls alike; 0 is no window. Handles are never reused.
using Window = std::int32_t;
using Menu = std::int32_t;

// (window, message, wParam, lParam) -> result; nonzero means handled.
using Handler = std::function<std::int32_t(Window, std::uint32_t, std::uint32_t, std::int32_t)>;

enum class Units { DialogUnits, Pixels };

// x or y value that centres a dialog on the screen's work area.
inline constexpr std::int32_t kCentred = INT32_MIN;
// Identifier that names the dialog itself in controlSetColor and controlEnable.
inline constexpr std::int32_t kDialogItself = INT32_MIN;

// Colours: 0x00BBGGRR, or one of the markers.
using Colour = std::int32_t;
inline constexpr Colour kDefaultColour = -1;
inline constexpr Colour kTransparent = -2;
inline constexpr Colour kColourNotSet = -3;
constexpr Colour rgb(int r, int g, int b) {
    return static_cast<Colour>((static_cast<std::uint32_t>(r) & 0xFFu) |
                               ((static_cast<std::uint32_t>(g) & 0xFFu) << 8) |
                               ((static_cast<std::uint32_t>(b) & 0xFFu) << 16));
}

// Control kinds of controlAdd.
enum ControlKind : int {
    kCustom = 0,   // class given by name: "msctls_trackbar32", "SCROLLBAR"
    kButton = 1,   // push button; owner-drawn with BS_OWNERDRAW, a check box with BS_AUTOCHECKBOX
    kLabel = 5,    // static text
    kOption = 7,   // automatic radio button
    kEdit = 9,     // single-line text field
    kGraphic = 14, // graphic area drawn into a backing bitmap
    kCombo = 22,   // drop-down list with an edit field
};

// Window style bits the toolkit understands.
namespace style {
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CHILD = 0x40000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_MINIMIZE = 0x20000000u;
inline constexpr std::uint32_t WS_CLIPSIBLINGS = 0x04000000u;
inline constexpr std::uint32_t WS_CLIPCHILDREN = 0x02000000u;
inline constexpr std::uint32_t WS_MAXIMIZE = 0x01000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_BORDER = 0x00800000u;
inline constexpr std::uint32_t WS_DLGFRAME = 0x00400000u;
inline constexpr std::uint32_t WS_VSCROLL = 0x00200000u;
inline constexpr std::uint32_t WS_HSCROLL = 0x00100000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_THICKFRAME = 0x00040000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_MAXIMIZEBOX = 0x00010000u;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000u;
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000u;
inline constexpr std::uint32_t WS_EX_CLIENTEDGE = 0x00000200u;
inline constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080u;
inline constexpr std::uint32_t DS_MODALFRAME = 0x80u;
inline constexpr std::uint32_t DS_CENTER = 0x800u;
inline constexpr std::uint32_t BS_PUSHBUTTON = 0x0u;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1u;
inline constexpr std::uint32_t BS_AUTOCHECKBOX = 0x3u;
inline constexpr std::uint32_t BS_AUTORADIOBUTTON = 0x9u;
inline constexpr std::uint32_t BS_OWNERDRAW = 0xBu;
inline constexpr std::uint32_t BS_ICON = 0x40u;
inline constexpr std::uint32_t BS_BITMAP = 0x80u;
inline constexpr std::uint32_t SS_LEFT = 0x0u;
inline constexpr std::uint32_t SS_CENTER = 0x1u;
inline constexpr std::uint32_t SS_RIGHT = 0x2u;
inline constexpr std::uint32_t SS_OWNERDRAW = 0xDu;
inline constexpr std::uint32_t SS_CENTERIMAGE = 0x200u;
inline constexpr std::uint32_t SS_NOPREFIX = 0x80u;
inline constexpr std::uint32_t SS_SUNKEN = 0x1000u;
inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x80u;
inline constexpr std::uint32_t ES_READONLY = 0x800u;
inline constexpr std::uint32_t CBS_DROPDOWN = 0x2u;
inline constexpr std::uint32_t CBS_AUTOHSCROLL = 0x40u;
inline constexpr std::uint32_t CBS_SORT = 0x100u;
inline constexpr std::uint32_t SBS_HORZ = 0x0u;
inline constexpr std::uint32_t SBS_VERT = 0x1u;
inline constexpr std::uint32_t TBS_VERT = 0x2u;
} // namespace style

// Creates the application object; call once before any other operation. With a size, the
// main window's client area in pixels: when the desktop's scaling (or QT_SCALE_FACTOR) would
// make that window, with its frame and menu bar, larger than the screen's work area, the
// scaling is lowered to what fits, never below 1 (no scaling).
void initialise(int& argc, char** argv, std::int32_t fitWidth = 0, std::int32_t fitHeight = 0);

// --- dialogs -------------------------------------------------------------------------------
// Creates a hidden dialog. In pixel mode width and height are the client area and x, y are
// relative to the owner's client area (the screen without owner); kCentred centres it.
Window dialogNew(Units units, Window owner, const std::string& caption, std::int32_t x,
                 std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t style,
                 std::uint32_t exStyle);
// Adds a control. `className` is used for kind kCustom only. `list` fills a combobox up to
// its first empty string. A control handler runs before the dialog's handler.
void controlAdd(Window dialog, int kind, const std::string& className, std::int32_t id,
                const std::string& text, const std::vector<std::string>* list, std::int32_t x,
                std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t style,
                std::uint32_t exStyle, Handler handler = {});
// Text and background colour of a control (or kDialogItself); markers -1, -2, -3 allowed.
void controlSetColor(Window dialog, std::int32_t id, Colour text, Colour background);
// Sends WM_INITDIALOG and WM_SIZE, shows the dialog and runs a nested loop until the dialog
// is destroyed. The end code goes to *endCode when given. The owner (if any) is disabled
// meanwhile, and the window manager sees the dialog as its modal transient: kept above it,
// and given the focus when the owner is clicked.
void dialogShowModal(Window dialog, Handler handler, std::int32_t* endCode);
void dialogShowModeless(Window dialog, Handler handler);
// WM_CLOSE to the handler once more, end code stored, dialog destroyed (WM_DESTROY).
void dialogEnd(Window dialog, std::int32_t endCode);
bool windowExists(Window window);

// --- messages ------------------------------------------------------------------------------
// Runs the message through the toolkit's dispatch (item/control handler, dialog handler,
// default handling) at once and returns the result.
std::int32_t sendMessage(Window dialog, std::uint32_t message, std::uint32_t wParam,
                         std::int32_t lParam);
// Queues the message for the event loop.
void postMessage(Window dialog, std::uint32_t message, std::uint32_t wParam, std::int32_t lParam);
// Handle of a control (the first one created with `id`, 0 if none), and the identifier of a
// control handle (0 if none).
Window controlHandle(Window dialog, std::int32_t id);
std::int32_t controlId(Window control);
// Delivers queued events until none is left (tests and shutdown).
void processEvents();
// The program is leaving (a signal asked it to end): every modal run returns, the innermost
// first, and any run started afterwards returns at once without waiting for input.
void leaveAllModalRuns();

// --- controls ------------------------------------------------------------------------------
std::string controlGetText(Window dialog, std::int32_t id);
void controlSetText(Window dialog, std::int32_t id, const std::string& text);
void controlEnable(Window dialog, std::int32_t id, bool enabled);
bool controlIsEnabled(Window dialog, std::int32_t id);
void controlSetFocus(Window dialog, std::int32_t id);
// The text shown when the mouse rests on a control ("" for none).
void controlSetToolTip(Window dialog, std::int32_t id, const std::string& text);
std::string controlToolTip(Window dialog, std::int32_t id);
// Identifier of the dialog's control that has (or gets, once shown) the keyboard focus; 0 if
// none.
std::int32_t controlFocused(Window dialog);
void controlSetCheck(Window dialog, std::int32_t id, bool checked);
bool controlGetCheck(Window dialog, std::int32_t id);
// Text and background colour last set for a control (kColourNotSet if never).
std::pair<Colour, Colour> controlGetColor(Window dialog, std::int32_t id);
// Position and size of a control in its dialog's units: x, y, width, height.
struct Rect {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
};
Rect controlGeometry(Window dialog, std::int32_t id);
void controlMove(Window dialog, std::int32_t id, std::int32_t x, std::int32_t y);
void comboAdd(Window dialog, std::int32_t id, const std::string& text);
// Removes every entry; the edit field keeps its text.
void comboClear(Window dialog, std::int32_t id);
// 0-based; -1 removes the selection and empties the edit field.
void comboSelect(Window dialog, std::int32_t id, std::int32_t index);
std::int32_t comboSelection(Window dialog, std::int32_t id);
std::int32_t comboCount(Window dialog, std::int32_t id);
// Entry text; index -1 means the current selection ("" when none).
std::string comboGetText(Window dialog, std::int32_t id, std::int32_t index = -1);
// Owner-drawn button (BS_OWNERDRAW): the face text, fill and text colour painted on it, with a
// bump edge; markers -1 and -3 give the platform's button colours. Other controls: no effect.
void buttonSetFace(Window dialog, std::int32_t id, const std::string& text, Colour fill,
                   Colour textColour);
// Clicks a push button or option from code (BM_CLICK): the dialog receives its WM_COMMAND
// BN_CLICKED at once; a disabled or hidden control does nothing.
void buttonClick(Window dialog, std::int32_t id);
// Scroll bar and track bar range and thumb position. A scroll bar's thumb moves only here: the
// handler of its WM_HSCROLL decides the position. A track bar moves its own thumb.
void scrollSetRange(Window dialog, std::int32_t id, std::int32_t min, std::int32_t max,
                    bool redraw);
void scrollSetPos(Window dialog, std::int32_t id, std::int32_t pos, bool redraw);
std::int32_t scrollGetPos(Window dialog, std::int32_t id);

// --- windows -------------------------------------------------------------------------------
void windowSetTitle(Window dialog, const std::string& title);
std::string windowGetTitle(Window dialog);
// Client area size in pixels.
Rect windowClientRect(Window dialog);
// Sets the dialog's icon from a PNG resource path (e.g. ":/icons/icon1-32.png").
void windowSetIcon(Window dialog, const std::vector<std::string>& resourcePaths);
// Window timer: WM_TIMER with `id` every `milliseconds` (precise) until killed.
void timerSet(Window dialog, std::uint32_t id, std::int32_t milliseconds);
void timerKill(Window dialog, std::uint32_t id);
bool timerActive(Window dialog, std::uint32_t id);

// --- menus and accelerators ----------------------------------------------------------------
Menu menuNew(bool bar);
// Appends an item (commandId, or a submenu when submenu != 0; text "-" is a separator).
// `rightJustified` places a submenu at the right end of the bar.
void menuAdd(Menu menu, const std::string& text, std::int32_t commandId, Menu submenu, bool enabled,
             Handler itemHandler = {}, bool rightJustified = false);
void menuAttach(Window dialog, Menu bar);
// Enables a menu command by id in the dialog's bar.
void menuEnable(Window dialog, std::int32_t commandId, bool enabled);
bool menuIsEnabled(Window dialog, std::int32_t commandId);
// Accelerator modifier bits (FVIRTKEY is accepted and ignored: keys are always virtual keys).
inline constexpr std::uint32_t FVIRTKEY = 0x01u;
inline constexpr std::uint32_t FSHIFT = 0x04u;
inline constexpr std::uint32_t FCONTROL = 0x08u;
inline constexpr std::uint32_t FALT = 0x10u;
// The virtual keys the dialogs bind.
inline constexpr std::uint32_t kVirtualKeyEnter = 0x0D;
inline constexpr std::uint32_t kVirtualKeyEscape = 0x1B;
struct Accelerator {
    std::uint32_t modifiers = 0;  // FSHIFT | FCONTROL | FALT, all must match; 0: none
    std::uint32_t virtualKey = 0; // 0x0D Enter, 0x1B Escape
    std::int32_t command = 0;
};
// Accelerators apply to the innermost modal dialog whatever window has the focus; a match sends
// WM_COMMAND (command | 1 << 16, lParam 0) and the key goes no further.
void acceleratorsAttach(Window dialog, const std::vector<Accelerator>& table);

// --- message boxes -------------------------------------------------------------------------
// Message box with an OK button (MB_OK, returns IDOK) or Yes and No (MB_YESNO, returns IDYES
// or IDNO; No is the default with MB_DEFBUTTON2, and Escape or the close box answer No); icon
// from the style bits (MB_ICON*). Returns when the box is closed. The box belongs to the
// innermost modal window (a dialog, another box, else the main window, even while it is still
// hidden at start-up): transient for it and modal to it, so that it never goes behind it.
// Without any such window a notice holds nothing back and a question holds back every window.
// Open boxes close when a dialog without owner (the main window) ends.
int messageBox(const std::string& text, std::uint32_t style, const std::string& caption);
// Records every message box instead of showing it, for tests; the recorder answers IDOK, and
// IDYES to a question.
struct MessageBoxRecord {
    std::string text;
    std::uint32_t style = 0;
    std::string caption;
};
void setMessageBoxRecorder(std::function<void(const MessageBoxRecord&)> recorder);
// The same with the answer chosen by the test.
void setMessageBoxResponder(std::function<int(const MessageBoxRecord&)> responder);
void beep();
// Shows `text` to read in a window of its own above `owner` (a second call brings that window
// back with the new text); it leaves every window usable and closes with its owner.
void textWindowShow(Window owner, const std::string& caption, const std::string& text);

// --- graphic areas (backing bitmaps) -------------------------------------------------------
// Boxes: corners (x1, y1) to (x2, y2), right and bottom edges exclusive, filled with `fill`
// and outlined one pixel wide in `line`.
void graphicClear(Window dialog, std::int32_t id, Colour colour);
void graphicBox(Window dialog, std::int32_t id, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                std::int32_t y2, Colour fill, Colour line);
// Text with its top left corner at (x, y), transparent background.
void graphicText(Window dialog, std::int32_t id, std::int32_t x, std::int32_t y,
                 const std::string& text, const std::string& family, int pointSize, Colour colour);
// Shows the bitmap's new content on screen.
void graphicShow(Window dialog, std::int32_t id);
// Reads one pixel of the backing bitmap (tests), -1 outside it.
Colour graphicPixel(Window dialog, std::int32_t id, std::int32_t x, std::int32_t y);
// Saves the dialog as it looks on screen to a PNG file.
bool windowGrab(Window dialog, const std::string& pngPath);

// --- Qt dialogs ----------------------------------------------------------------------------
// The dialog's top-level widget, nullptr when there is none. A Qt dialog given it as parent is
// owned by that window: kept above it by the window manager and deleted with it.
QWidget* topLevelWidget(Window dialog);
// Runs a Qt dialog modal to its parent window (window-modal) and returns what exec() returns.
// It is one of the toolkit's modal runs: the accelerators and dialog keys of the windows below
// do not apply meanwhile, and the key that closed it goes no further.
int runDialog(QDialog& dialog);

// --- file dialogs --------------------------------------------------------------------------
// Open and save choosers. `fileName` and `flags` are in/out; a cancelled dialog gives the
// given name back. `filter` is "description|pattern|..." pairs. Result nonzero when the
// operator confirmed a name. Open accepts only existing files; save confirms overwriting.
std::int32_t openFileDialog(Window owner, const std::string& caption, std::string& fileName,
                            const std::string& initialDirectory, const std::string& filter,
                            const std::string& defaultExtension, std::uint32_t& flags);
std::int32_t saveFileDialog(Window owner, const std::string& caption, std::string& fileName,
                            const std::string& initialDirectory, const std::string& filter,
                            const std::string& defaultExtension, std::uint32_t& flags);
// Tests answer file dialogs through this hook instead of a window: it gets the caption and
// the given name and returns the chosen full path, or nothing to cancel.
using FileDialogAnswer = std::function<bool(const std::string& caption, std::string& fileName)>;
void setFileDialogHook(FileDialogAnswer hook);

} // namespace vesk::ui
