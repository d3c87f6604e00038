// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/dialog_units.h"
#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>

// Message delivery: the order of handlers, posted messages, and the keys that belong to the
// innermost modal dialog (accelerators, Enter and Escape).
namespace vesk::ui {

using namespace vesk::msg;
using namespace internal;

namespace internal {

QEvent::Type messageEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::int32_t dispatch(Window dialog, std::uint32_t message, std::uint32_t wParam,
                      std::int32_t lParam) {
    auto rec = findDialog(dialog);
    if (!rec) {
        return 0;
    }
    // 1. The menu item's or control's own handler.
    if (message == WM_COMMAND || message == WM_HSCROLL || message == WM_VSCROLL) {
        Handler first;
        if (lParam != 0) {
            auto control = controlByHandle(lParam);
            if (control && control->dialog == dialog) {
                first = control->handler;
            }
        } else if (message == WM_COMMAND && rec->menu != 0) {
            if (const MenuItem* item = findMenuItem(rec->menu, loWord(wParam))) {
                first = item->handler;
            }
        }
        if (first) {
            if (const std::int32_t result = first(dialog, message, wParam, lParam)) {
                return result;
            }
        }
    }
    // 2. The dialog's handler (a copy: the handler may end the dialog and free its record).
    if (const Handler handler = rec->handler) {
        if (const std::int32_t result = handler(dialog, message, wParam, lParam)) {
            return result;
        }
    }
    // 3. Default handling.
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0u) == SC_CLOSE && findDialog(dialog)) {
        dialogEnd(dialog, 0);
        return 1;
    }
    return 0;
}

} // namespace internal

namespace {

// The physical key of an event. The platform's scan code stays the same whatever Shift or the
// layout makes the key type ("-" and "_", ";" and ":"), so a press and its release always
// match; an event made by code has none and goes by its Qt key, kept apart by its sign.
int keyCode(const QKeyEvent& key) {
    const quint32 scan = key.nativeScanCode();
    return scan != 0 ? static_cast<int>(scan & 0x7FFFFFFFu) : -key.key();
}

// Keys held and the key that closed a box are forgotten once their releases may no longer come
// here (the keyboard went to another program) or the operator has moved on (a click, Tab).
void forgetKeysOn(const QEvent& e) {
    Registry& r = registry();
    bool forget = false;
    if (e.type() == QEvent::ApplicationStateChange) {
        forget = QGuiApplication::applicationState() != Qt::ApplicationActive;
    } else if (e.type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<const QFocusEvent&>(e).reason();
        forget = reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                 reason == Qt::BacktabFocusReason;
    }
    if (forget) {
        r.heldKeys.clear();
        r.lastPressed = 0;
        r.swallowedKey = 0;
    }
}

// Notes the key; true when the event belongs to the key that closed a box (its repeats and its
// release), which goes no further.
bool trackKey(const QKeyEvent& key) {
    Registry& r = registry();
    const int code = keyCode(key);
    const bool press = key.type() == QEvent::KeyPress;
    if (!key.isAutoRepeat()) {
        if (press) {
            r.heldKeys.insert(code);
            r.lastPressed = code;
        } else {
            r.heldKeys.erase(code);
        }
    }
    if (r.swallowedKey == 0 || code != r.swallowedKey) {
        return false;
    }
    if (!press && !key.isAutoRepeat()) {
        r.swallowedKey = 0;
    }
    return true;
}

// Accelerators and the dialog keys of the innermost modal dialog, whatever window has the focus.
class KeyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        forgetKeysOn(*e);
        if ((e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) ||
            !watched->isWidgetType()) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(e);
        if (trackKey(*key)) {
            return true;
        }
        if (e->type() != QEvent::KeyPress) {
            return false;
        }
        Registry& r = registry();
        auto& stack = r.modalStack;
        if (stack.empty() || stack.back() == 0 || QApplication::activePopupWidget() != nullptr) {
            return false;
        }
        // Keys typed into an open drop-down list are the list's: Return picks the entry and
        // Escape closes the list, and the dialog under it stays as it is.
        if (static_cast<QWidget*>(watched)->window()->windowType() == Qt::Popup) {
            return false;
        }
        const Window top = stack.back();
        auto rec = findDialog(top);
        if (!rec || rec->destroying) {
            return false;
        }
        const std::uint32_t vk = detail::virtualKey(key->key());
        if (vk == 0) {
            return false;
        }
        if (accelerator(top, *rec, vk, key->modifiers())) {
            return true;
        }
        // Dialog keys: only for keys typed into the dialog itself.
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != rec->window ||
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
            return false;
        }
        if (vk == kVirtualKeyEscape) {
            dispatch(top, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 0);
            return true;
        }
        if (vk == kVirtualKeyEnter) {
            // Enter on a focused push button presses that button; elsewhere it is IDOK.
            for (Window handle : rec->controls) {
                auto c = controlByHandle(handle);
                if (c && c->widget == widget && opsOf(c->type).enterClicks) {
                    dispatch(top, WM_COMMAND,
                             makeWParam(static_cast<std::uint32_t>(c->id), BN_CLICKED), handle);
                    return true;
                }
            }
            dispatch(top, WM_COMMAND, makeWParam(IDOK, BN_CLICKED), 0);
            return true;
        }
        return false;
    }

private:
    // Sends the command of the first accelerator that matches the key; false when none does.
    static bool accelerator(Window top, const DialogRecord& rec, std::uint32_t vk,
                            Qt::KeyboardModifiers held) {
        std::uint32_t modifiers = 0;
        modifiers |= held.testFlag(Qt::ShiftModifier) ? FSHIFT : 0u;
        modifiers |= held.testFlag(Qt::ControlModifier) ? FCONTROL : 0u;
        modifiers |= held.testFlag(Qt::AltModifier) ? FALT : 0u;
        for (const Accelerator& a : rec.accelerators) {
            if (a.virtualKey == vk && (a.modifiers & (FSHIFT | FCONTROL | FALT)) == modifiers) {
                dispatch(top, WM_COMMAND, makeWParam(static_cast<std::uint32_t>(a.command), 1), 0);
                return true;
            }
        }
        return false;
    }
};

} // namespace

namespace detail {

std::uint32_t virtualKey(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return static_cast<std::uint32_t>(0x41 + (qtKey - Qt::Key_A));
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return static_cast<std::uint32_t>(0x30 + (qtKey - Qt::Key_0));
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return static_cast<std::uint32_t>(0x70 + (qtKey - Qt::Key_F1));
    }
    switch (qtKey) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    default:
        return 0;
    }
}

ForeignModalScope::ForeignModalScope() {
    registry().modalStack.push_back(0);
}
ForeignModalScope::~ForeignModalScope() {
    auto& stack = registry().modalStack;
    auto it = std::find(stack.rbegin(), stack.rend(), 0);
    if (it != stack.rend()) {
        stack.erase(std::next(it).base());
    }
    swallowClosingKey();
}

void swallowClosingKey() {
    Registry& r = registry();
    r.swallowedKey = r.heldKeys.count(r.lastPressed) != 0 ? r.lastPressed : 0;
}

} // namespace detail

void initialise(int& argc, char** argv, std::int32_t fitWidth, std::int32_t fitHeight) {
    if (QCoreApplication::instance() == nullptr) {
        // Qt takes its own options out of argv: a second application gets the same line.
        static int secondArgc = argc;
        static std::vector<char*> secondArgv(argv, argv + argc + 1);
        // Lives until the process ends: windows may outlive main's locals.
        new QApplication(argc, argv);
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (fitWidth > 0 && screen != nullptr) {
            // The scaling is fixed when the application starts: one that would not show the
            // window whole is started again with the scaling that does.
            const double scale = screen->devicePixelRatio();
            const QSize area = screen->availableGeometry().size() * scale;
            constexpr std::int32_t kFrameWidth = 16, kFrameAndMenuHeight = 64;
            const double fitting =
                fittingScale(scale, fitWidth + kFrameWidth, fitHeight + kFrameAndMenuHeight,
                             area.width(), area.height());
            if (fitting < scale) {
                const double factor = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                          ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                                          : 1.0;
                delete QCoreApplication::instance();
                qputenv(
                    "QT_SCALE_FACTOR",
                    QByteArray::number(factor > 0.0 ? factor * fitting / scale : fitting / scale));
                new QApplication(secondArgc, secondArgv.data());
            }
        }
    }
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    // One look on every platform plugin (Xvfb, offscreen, desktops): colours set through
    // palettes show as given.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion);
    }
    // The program ends when its main window's modal run returns, not when windows hide.
    QApplication::setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(new KeyFilter(qApp));
    markKeyboardFocus();
}

std::int32_t sendMessage(Window dialog, std::uint32_t message, std::uint32_t wParam,
                         std::int32_t lParam) {
    return dispatch(dialog, message, wParam, lParam);
}

void postMessage(Window dialog, std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
    auto rec = findDialog(dialog);
    if (rec && rec->window && !rec->destroying) {
        QCoreApplication::postEvent(rec->window, new MessageEvent(message, wParam, lParam));
    }
}

void leaveAllModalRuns() {
    // exit() stops every running event loop of this thread and marks the thread as quitting,
    // which makes any QEventLoop::exec() after it return at once; the modal loop above
    // leaves on that second return.
    QCoreApplication::exit(0);
}

void processEvents() {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void acceleratorsAttach(Window dialog, const std::vector<Accelerator>& table) {
    if (auto rec = findDialog(dialog)) {
        rec->accelerators = table;
    }
}

void beep() {
    QApplication::beep();
}

} // namespace vesk::ui
