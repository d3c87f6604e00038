// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialog_units.h"
#include "ui/toolkit.h"

#include <QColor>
#include <QEvent>
#include <QPointer>
#include <QSize>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class QAction;
class QEventLoop;
class QMenu;
class QMenuBar;
class QPalette;
class QTimer;
class QWidget;

// State and helpers the toolkit's own sources share. Private to ui/: the Qt types it needs
// stay out of ui/toolkit.h and ui/toolkit_detail.h.
namespace vesk::ui::internal {

// What a control is on this side, after its kind or class name has been resolved.
enum class Type {
    PushButton,
    OwnerDrawButton,
    Label,
    Option,
    Edit,
    Graphic,
    Combo,
    TrackBar,
    ScrollBar
};

struct ControlRecord {
    Window handle = 0;
    Window dialog = 0;
    Type type = Type::Label;
    std::int32_t id = 0;
    std::uint32_t style = 0;
    Handler handler;
    Colour text = kColourNotSet;
    Colour background = kColourNotSet;
    Rect rect; // as given, in the dialog's units
    QPointer<QWidget> widget;
    std::string windowText; // for controls whose widget shows no text of its own
};

struct MenuItem {
    std::string text;
    std::int32_t commandId = 0;
    Menu submenu = 0;
    bool enabled = true;
    Handler handler;
    bool rightJustified = false;
    QPointer<QAction> action; // the action on screen, in a popup or an attached bar
};

struct MenuRecord {
    bool bar = false;
    QPointer<QMenu> popup;
    std::vector<MenuItem> items;
    Window attachedTo = 0;
};

struct DialogRecord {
    Window handle = 0;
    Units units = Units::Pixels;
    Window owner = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    Handler handler;
    std::int32_t* endCode = nullptr;
    std::vector<Accelerator> accelerators;
    Colour text = kColourNotSet;
    Colour background = kColourNotSet;
    QPointer<QWidget> window;
    QPointer<QWidget> client;
    QPointer<QMenuBar> bar;
    QPointer<QMenuBar> cornerBar;
    Menu menu = 0;
    std::vector<Window> controls; // creation order: lookups by id take the first match
    std::map<std::uint32_t, QPointer<QTimer>> timers;
    QEventLoop* loop = nullptr;
    BaseUnits base;
    std::string title;
    QSize lastClientSize;
    bool ending = false;
    bool destroying = false;
};

struct Registry {
    Window nextHandle = 1;
    std::unordered_map<Window, std::shared_ptr<DialogRecord>> dialogs;
    std::unordered_map<Window, std::shared_ptr<ControlRecord>> controls;
    std::unordered_map<Menu, MenuRecord> menus;
    // Running modal runs, innermost last; 0 stands for a message box or file chooser.
    std::vector<Window> modalStack;
    // Dialogs whose WM_INITDIALOG and first WM_SIZE run (still hidden), innermost last.
    std::vector<Window> initialising;
    // Keys down now, by key code (the physical key, whatever Shift makes it type), the last
    // one pressed, and the key that closed a box: the rest of that key (its repeats and its
    // release) belongs to the box, not to the window below.
    std::set<int> heldKeys;
    int lastPressed = 0;
    int swallowedKey = 0;
};

// --- registry (toolkit_registry.cpp) ----------------------------------------------------------
Registry& registry();
// A fresh handle for a dialog, control or menu; 0 once they have run out.
Window newHandle();
std::shared_ptr<DialogRecord> findDialog(Window dialog);
std::shared_ptr<ControlRecord> controlByHandle(Window control);
// The first live control of the dialog with the identifier.
std::shared_ptr<ControlRecord> findControl(Window dialog, std::int32_t id);
QString fromUtf8(const std::string& text);
std::string toUtf8(const QString& text);
QColor toQColor(Colour colour);

// --- dispatch and keys (toolkit_dispatch.cpp) -------------------------------------------------
// The item's or control's own handler, then the dialog's, then the default handling.
std::int32_t dispatch(Window dialog, std::uint32_t message, std::uint32_t wParam,
                      std::int32_t lParam);
// The event that carries a posted message to a dialog's window.
QEvent::Type messageEventType();
class MessageEvent final : public QEvent {
public:
    MessageEvent(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam)
        : QEvent(messageEventType()), message_(message), wParam_(wParam), lParam_(lParam) {}
    std::uint32_t message() const { return message_; }
    std::uint32_t wParam() const { return wParam_; }
    std::int32_t lParam() const { return lParam_; }

private:
    std::uint32_t message_;
    std::uint32_t wParam_;
    std::int32_t lParam_;
};

// --- dialogs (toolkit_dialogs.cpp) -------------------------------------------------------------
// Places the menu bar and the client area in the window; a new client size goes to the handler
// as WM_SIZE.
void layoutDialog(DialogRecord& rec);
// Sizes the window so that the client area below the menu bar is exactly `client`.
void setClientSize(DialogRecord& rec, QSize client);
// Owned dialogs first, then WM_DESTROY, the records and the window; quits the dialog's modal run.
void destroyDialog(const std::shared_ptr<DialogRecord>& rec);
// A rectangle in the dialog's units, in pixels.
Rect toPixels(const DialogRecord& rec, const Rect& r);
// From now on a dotted frame marks the control that has the keyboard focus (once, at start).
void markKeyboardFocus();

// --- controls (toolkit_controls.cpp and one file per special kind) -----------------------------
// Everything that differs between the kinds of control, one entry per Type. A null function
// means the common behaviour.
struct ControlOps {
    // Creates the widget in `parent`; `px` is the control's rectangle in pixels.
    QWidget* (*create)(ControlRecord& c, QWidget* parent, std::uint32_t exStyle,
                       const std::string& text, const std::vector<std::string>* list,
                       const Rect& px) = nullptr;
    // The text the control shows; null: the text kept in the record.
    std::string (*getText)(const ControlRecord& c) = nullptr;
    void (*setText)(ControlRecord& c, const std::string& text) = nullptr;
    // Sets the widget's geometry from the rectangle in pixels; null: exactly that rectangle.
    void (*place)(QWidget& w, const Rect& px) = nullptr;
    // Colours a palette does not reach by inheritance (a combobox's field and list).
    void (*applyPalette)(QWidget& w, const QPalette& palette) = nullptr;
    // Text and background colours go to the Text and Base roles instead of the widget's own.
    bool fieldColours = false;
    // Never: no focus at all. ByTabStop: from the keyboard too with WS_TABSTOP, else by click
    // only. OnlyWithTabStop: from the keyboard with WS_TABSTOP, else the policy Qt gives it.
    enum class Focus { Never, ByTabStop, OnlyWithTabStop } focus = Focus::ByTabStop;
    bool clickable = false;   // buttonClick presses it
    bool enterClicks = false; // Enter on it in a dialog presses it (instead of IDOK)
    bool checkable = false;   // controlSetCheck and controlGetCheck apply
};
const ControlOps& opsOf(Type type);
extern const ControlOps comboOps;
extern const ControlOps ownerDrawButtonOps;
extern const ControlOps trackBarOps;
extern const ControlOps scrollBarOps;
// Sends WM_COMMAND with a control's identifier and a notification code to its dialog. It holds
// copies of the three numbers: a widget's signal may come after the record is gone.
struct CommandSender {
    Window dialog = 0;
    Window control = 0;
    std::uint32_t id = 0;
    void operator()(std::uint32_t code) const;
};
CommandSender commandSender(const ControlRecord& c);
// Sets the control's geometry from its rectangle in the dialog's units.
void placeControl(const DialogRecord& rec, ControlRecord& c);

// --- menus (toolkit_menus.cpp) -----------------------------------------------------------------
// The first command item whose identifier's low 16 bits are `low` (WM_COMMAND carries no more).
const MenuItem* findMenuItem(Menu menu, std::uint32_t low, int depth = 0);
// The dialog's menus no longer show in a window.
void detachMenus(Window dialog);

} // namespace vesk::ui::internal
