// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

#include <algorithm>

// Dialogs: the top-level window and its client area, creation, layout, the modal and modeless
// runs, and the end of a dialog.
namespace vesk::ui {

using namespace vesk::msg;
using namespace vesk::ui::style;
using namespace internal;

namespace {

std::uint32_t mouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    std::uint32_t keys = 0;
    keys |= buttons.testFlag(Qt::LeftButton) ? MK_LBUTTON : 0u;
    keys |= buttons.testFlag(Qt::RightButton) ? MK_RBUTTON : 0u;
    keys |= buttons.testFlag(Qt::MiddleButton) ? MK_MBUTTON : 0u;
    keys |= modifiers.testFlag(Qt::ShiftModifier) ? MK_SHIFT : 0u;
    keys |= modifiers.testFlag(Qt::ControlModifier) ? MK_CONTROL : 0u;
    return keys;
}

// The top-level window: the optional menu bar above the client area. The close box asks the
// handler (WM_SYSCOMMAND SC_CLOSE) instead of closing; posted messages arrive here.
class DialogWindow final : public QWidget {
public:
    DialogWindow(Window handle, Qt::WindowFlags flags) : QWidget(nullptr, flags), handle_(handle) {}

protected:
    bool event(QEvent* e) override {
        if (e->type() == messageEventType()) {
            const auto* m = static_cast<MessageEvent*>(e);
            auto rec = findDialog(handle_);
            if (rec && !rec->destroying) {
                dispatch(handle_, m->message(), m->wParam(), m->lParam());
            }
            return true;
        }
        // A window held back by a modal dialog hands the focus the window manager gives it
        // (a click on it) to that dialog, as Qt does for a window it blocks itself.
        if (e->type() == QEvent::WindowActivate && !isEnabled()) {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
                QTimer::singleShot(0, modal, [modal] { modal->activateWindow(); });
            }
        }
        return QWidget::event(e);
    }
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        // A disabled window (the owner of a running modal dialog) takes no input.
        if (isEnabled()) {
            dispatch(handle_, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
    }
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        if (auto rec = findDialog(handle_)) {
            layoutDialog(*rec);
        }
    }

private:
    Window handle_;
};

// The client area: origin of every control position and of the mouse coordinates.
class ClientArea final : public QWidget {
public:
    ClientArea(Window dialog, QWidget* parent) : QWidget(parent), dialog_(dialog) {
        setMouseTracking(true);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        send(buttonMessage(e->button(), WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN), e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        send(buttonMessage(e->button(), WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP), e);
    }
    // A second click arrives as a plain button-down: each click of the operator counts.
    void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
    void mouseMoveEvent(QMouseEvent* e) override { send(WM_MOUSEMOVE, e); }
    // Labels and graphic areas let the mouse through to here: the tip of the one under the
    // mouse is shown from here.
    bool event(QEvent* e) override {
        if (e->type() != QEvent::ToolTip) {
            return QWidget::event(e);
        }
        const auto* help = static_cast<QHelpEvent*>(e);
        if (const QWidget* under = tippedChildAt(help->pos())) {
            QToolTip::showText(help->globalPos(), under->toolTip(), this, under->geometry());
        } else {
            QToolTip::hideText();
            e->ignore();
        }
        return true;
    }

private:
    // The topmost control under `pos` that has a tip, the mouse-transparent ones included.
    const QWidget* tippedChildAt(QPoint pos) const {
        const QObjectList& all = children();
        for (auto it = all.crbegin(); it != all.crend(); ++it) {
            const auto* w = qobject_cast<const QWidget*>(*it);
            if (w != nullptr && w->isVisible() && w->geometry().contains(pos) &&
                !w->toolTip().isEmpty()) {
                return w;
            }
        }
        return nullptr;
    }
    static std::uint32_t buttonMessage(Qt::MouseButton button, std::uint32_t left,
                                       std::uint32_t right, std::uint32_t middle) {
        switch (button) {
        case Qt::LeftButton:
            return left;
        case Qt::RightButton:
            return right;
        case Qt::MiddleButton:
            return middle;
        default:
            return 0;
        }
    }
    void send(std::uint32_t message, QMouseEvent* e) {
        e->accept();
        if (message == 0) {
            return;
        }
        const QPoint p = e->position().toPoint();
        dispatch(dialog_, message, mouseKeys(e->buttons(), e->modifiers()),
                 makeMouseLParam(p.x(), p.y()));
    }
    Window dialog_;
};

// A dotted frame around the control that has the keyboard focus, drawn over the client area:
// the platform's own focus cue shows on few controls (none on a radio without text, a slider
// or an owner-drawn button, and on push buttons only after Tab).
class FocusMark final : public QWidget {
public:
    explicit FocusMark(QWidget* client) : QWidget(client) {
        setObjectName(QStringLiteral("vesk-focus-mark")); // markFocus finds it by this name
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }
    void surround(const QWidget& control) {
        setGeometry(control.geometry().adjusted(-2, -2, 2, 2));
        raise();
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// The mark of the client area that `focus` lies in, put around the control holding it; every
// other mark hidden. Fields and drop-down lists show their caret instead.
void markFocus(QWidget* focus) {
    const QString name = QStringLiteral("vesk-focus-mark");
    for (auto& [handle, rec] : registry().dialogs) {
        QWidget* client = rec->client;
        if (client == nullptr) {
            continue;
        }
        QWidget* control = focus;
        while (control != nullptr && control->parentWidget() != client) {
            control = control->parentWidget();
        }
        auto* mark =
            static_cast<FocusMark*>(client->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly));
        if (control != nullptr && qobject_cast<QLineEdit*>(control) == nullptr &&
            qobject_cast<QComboBox*>(control) == nullptr) {
            (mark != nullptr ? mark : new FocusMark(client))->surround(*control);
        } else if (mark != nullptr) {
            mark->hide();
        }
    }
}

// The dialog font: the classic 8-point dialog face where installed, else the closest sans serif.
const QFont& dialogFont() {
    static const QFont font = [] {
        const QStringList families = QFontDatabase::families();
        QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        for (const char* candidate : {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}) {
            if (families.contains(QLatin1String(candidate), Qt::CaseInsensitive)) {
                family = QLatin1String(candidate);
                break;
            }
        }
        QFont f(family);
        f.setPointSize(8);
        f.setWeight(QFont::Normal);
        f.setItalic(false);
        return f;
    }();
    return font;
}

BaseUnits fontBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    return baseUnitsOf(metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                       metrics.height());
}

int menuBarHeight(const DialogRecord& rec, int width) {
    QMenuBar* bar = rec.bar;
    if (bar == nullptr) {
        return 0;
    }
    const int h = bar->heightForWidth(width);
    return h > 0 ? h : bar->sizeHint().height();
}

// An owned dialog is of a kind the window manager keeps above its owner (X11 sets
// WM_TRANSIENT_FOR only for dialogs and tool windows, never for a plain window).
Qt::WindowFlags windowFlagsFor(std::uint32_t style, std::uint32_t exStyle, bool owned) {
    Qt::WindowFlags flags = (exStyle & WS_EX_TOOLWINDOW) ? Qt::Tool
                            : owned                      ? Qt::Dialog
                                                         : Qt::Window;
    flags |= Qt::CustomizeWindowHint;
    // An overlapped window (neither popup nor child) always has a title bar.
    const bool caption = (style & WS_CAPTION) == WS_CAPTION || (style & (WS_POPUP | WS_CHILD)) == 0;
    flags |= caption ? Qt::WindowTitleHint : Qt::FramelessWindowHint;
    if (caption && (style & WS_SYSMENU)) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (style & WS_MINIMIZEBOX) {
            flags |= Qt::WindowMinimizeButtonHint;
        }
        if (style & WS_MAXIMIZEBOX) {
            flags |= Qt::WindowMaximizeButtonHint;
        }
    }
    return flags;
}

QScreen* screenFor(const std::shared_ptr<DialogRecord>& owner) {
    QScreen* screen = nullptr;
    if (QWidget* window = owner ? owner->window.data() : nullptr) {
        screen = window->screen();
    }
    return screen ? screen : QGuiApplication::primaryScreen();
}

void killTimers(DialogRecord& rec) {
    for (auto& [id, timer] : rec.timers) {
        if (timer) {
            timer->stop();
            timer->deleteLater();
        }
    }
    rec.timers.clear();
}

// WM_INITDIALOG and the first WM_SIZE, sent while the dialog is still hidden; a box raised
// from there belongs to it. False when the dialog went meanwhile.
bool sendSetupMessages(Window dialog, const Handler& handler, std::uint32_t style,
                       QWidget* clientWidget) {
    const QSize client = clientWidget != nullptr ? clientWidget->size() : QSize();
    const std::uint32_t kind = (style & WS_MAXIMIZE)   ? SIZE_MAXIMIZED
                               : (style & WS_MINIMIZE) ? SIZE_MINIMIZED
                                                       : SIZE_RESTORED;
    auto& initialising = registry().initialising;
    initialising.push_back(dialog);
    handler(dialog, WM_INITDIALOG, static_cast<std::uint32_t>(dialog), 0);
    if (findDialog(dialog)) {
        handler(dialog, WM_SIZE, kind,
                static_cast<std::int32_t>(makeWParam(static_cast<std::uint32_t>(client.width()),
                                                     static_cast<std::uint32_t>(client.height()))));
    }
    initialising.erase(std::find(initialising.begin(), initialising.end(), dialog));
    return findDialog(dialog) != nullptr;
}

// Steps shared by the modal and the modeless show: the two calls made while still hidden, the
// handler attached, the window shown.
bool prepareAndShow(Window dialog, Handler handler, std::int32_t* endCode, bool modal) {
    auto rec = findDialog(dialog);
    QWidget* window = rec ? rec->window.data() : nullptr;
    if (window == nullptr || rec->destroying) {
        return false;
    }
    if (handler && !sendSetupMessages(dialog, handler, rec->style, rec->client)) {
        return false;
    }
    rec->handler = std::move(handler);
    rec->endCode = endCode;
    if (modal && rec->owner != 0) {
        if (QWidget* owner = detail::dialogWidget(rec->owner)) {
            owner->setEnabled(false);
            // The window manager learns it too: it keeps the focus off the owner meanwhile.
            window->setWindowModality(Qt::WindowModal);
        }
    }
    if (QWidget* client = rec->client) {
        rec->lastClientSize = client->size();
    }
    if (rec->style & WS_MAXIMIZE) {
        window->showMaximized();
    } else if (rec->style & WS_MINIMIZE) {
        window->showMinimized();
    } else {
        window->show();
    }
    if (!(rec->style & WS_MINIMIZE)) {
        window->raise();
        window->activateWindow();
    }
    return findDialog(dialog) != nullptr;
}

} // namespace

namespace internal {

void layoutDialog(DialogRecord& rec) {
    QWidget* window = rec.window;
    QWidget* client = rec.client;
    if (window == nullptr || client == nullptr) {
        return;
    }
    const int width = window->width();
    const int barHeight = menuBarHeight(rec, width);
    if (QMenuBar* bar = rec.bar) {
        bar->setGeometry(0, 0, width, barHeight);
    }
    client->setGeometry(0, barHeight, width, std::max(0, window->height() - barHeight));
    const QSize size = client->size();
    if (rec.handler && window->isVisible() && size != rec.lastClientSize) {
        rec.lastClientSize = size;
        const Qt::WindowStates state = window->windowState();
        const std::uint32_t kind = state.testFlag(Qt::WindowMinimized)   ? SIZE_MINIMIZED
                                   : state.testFlag(Qt::WindowMaximized) ? SIZE_MAXIMIZED
                                                                         : SIZE_RESTORED;
        dispatch(rec.handle, WM_SIZE, kind,
                 static_cast<std::int32_t>(makeWParam(static_cast<std::uint32_t>(size.width()),
                                                      static_cast<std::uint32_t>(size.height()))));
    }
}

void setClientSize(DialogRecord& rec, QSize client) {
    const int barHeight = menuBarHeight(rec, client.width());
    const QSize outer(client.width(), client.height() + barHeight);
    QWidget* window = rec.window;
    if (window == nullptr) {
        return;
    }
    if (rec.style & WS_THICKFRAME) {
        window->setMinimumSize(0, 0);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window->resize(outer);
    } else {
        window->setFixedSize(outer);
    }
    rec.lastClientSize = client;
    layoutDialog(rec);
}

void destroyDialog(const std::shared_ptr<DialogRecord>& rec) {
    if (rec->destroying) {
        return;
    }
    rec->destroying = true;
    // Owned windows go first, as on the platform.
    std::vector<std::shared_ptr<DialogRecord>> owned;
    for (auto& [handle, other] : registry().dialogs) {
        if (other->owner == rec->handle) {
            owned.push_back(other);
        }
    }
    for (auto& other : owned) {
        destroyDialog(other);
    }
    // Boxes without owner belong to the program: they go when its main window goes.
    if (rec->owner == 0) {
        detail::closeMessageBoxes();
    }
    killTimers(*rec);
    rec->accelerators.clear();
    dispatch(rec->handle, WM_DESTROY, 0, 0);
    for (Window control : rec->controls) {
        registry().controls.erase(control);
    }
    registry().dialogs.erase(rec->handle);
    detachMenus(rec->handle);
    if (rec->loop) {
        rec->loop->quit();
    }
    if (QWidget* window = rec->window) {
        window->hide();
        window->deleteLater();
    }
}

Rect toPixels(const DialogRecord& rec, const Rect& r) {
    return rec.units == Units::Pixels ? r : mapDialogRect(r, rec.base);
}

void markKeyboardFocus() {
    QObject::connect(qApp, &QApplication::focusChanged, qApp,
                     [](QWidget*, QWidget* now) { markFocus(now); });
}

} // namespace internal

Window dialogNew(Units units, Window owner, const std::string& caption, std::int32_t x,
                 std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t style,
                 std::uint32_t exStyle) {
    if (QCoreApplication::instance() == nullptr) {
        return 0;
    }
    if (style == 0) {
        style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    }
    style &= ~WS_VISIBLE;
    const bool centred = x == kCentred || y == kCentred;
    if (centred) {
        style |= DS_CENTER;
    }
    const Window handle = newHandle();
    if (handle == 0) {
        return 0;
    }
    auto ownerRec = findDialog(owner);
    auto rec = std::make_shared<DialogRecord>();
    rec->handle = handle;
    rec->units = units;
    rec->owner = ownerRec ? owner : 0;
    rec->style = style;
    rec->exStyle = exStyle;

    auto* window = new DialogWindow(handle, windowFlagsFor(style, exStyle, ownerRec != nullptr));
    window->setObjectName(QStringLiteral("vesk-dialog-%1").arg(handle));
    window->setFont(dialogFont());
    rec->window = window;
    rec->client = new ClientArea(handle, window);
    rec->base = fontBaseUnits(window->font());
    registry().dialogs.emplace(handle, rec);

    const Rect size = toPixels(*rec, {0, 0, width, height});
    setClientSize(*rec, QSize(std::max(0, size.width), std::max(0, size.height)));

    QScreen* screen = screenFor(ownerRec);
    QPoint position;
    if (centred || !screen) {
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 0, 0);
        position = area.topLeft() + QPoint((area.width() - window->width()) / 2,
                                           (area.height() - window->height()) / 2);
    } else {
        const Rect offset = toPixels(*rec, {x, y, 0, 0});
        QPoint origin = screen->geometry().topLeft();
        if (QWidget* ownerClient = ownerRec ? ownerRec->client.data() : nullptr) {
            origin = ownerClient->mapToGlobal(QPoint(0, 0));
        }
        position = origin + QPoint(offset.x, offset.y);
    }
    window->move(position); // the frame's top-left corner, as on the platform

    if (QWidget* ownerWindow = ownerRec ? ownerRec->window.data() : nullptr) {
        // Owned, not a child: disabling the owner must leave this window usable.
        window->winId();
        ownerWindow->winId();
        QWindow* own = window->windowHandle();
        QWindow* parent = ownerWindow->windowHandle();
        if (own != nullptr && parent != nullptr) {
            own->setTransientParent(parent);
        }
    }
    windowSetTitle(handle, caption);
    return handle;
}

void dialogShowModal(Window dialog, Handler handler, std::int32_t* endCode) {
    auto rec = findDialog(dialog);
    if (!rec) {
        return;
    }
    const Window owner = rec->owner;
    if (!prepareAndShow(dialog, std::move(handler), endCode, true)) {
        return;
    }
    QEventLoop loop;
    rec->loop = &loop;
    auto& stack = registry().modalStack;
    stack.push_back(dialog);
    while (findDialog(dialog)) {
        // Returns when destroyDialog quits the loop. A loop told to stop by the application
        // (quit) returns at once; leave then instead of spinning.
        if (loop.exec() != 0 && findDialog(dialog)) {
            break;
        }
    }
    rec->loop = nullptr;
    rec->endCode = nullptr;
    auto it = std::find(stack.rbegin(), stack.rend(), dialog);
    if (it != stack.rend()) {
        stack.erase(std::next(it).base());
    }
    detail::swallowClosingKey();
    if (QWidget* ownerWindow = detail::dialogWidget(owner)) {
        ownerWindow->activateWindow();
        if (QWidget* focus = ownerWindow->focusWidget()) {
            focus->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
}

void dialogShowModeless(Window dialog, Handler handler) {
    if (prepareAndShow(dialog, std::move(handler), nullptr, false)) {
        if (QWidget* window = detail::dialogWidget(dialog)) {
            window->update();
        }
    }
}

void dialogEnd(Window dialog, std::int32_t endCode) {
    auto rec = findDialog(dialog);
    // A second end from inside the first (its WM_CLOSE or WM_DESTROY) changes nothing: the
    // outer one stores its code and destroys the window.
    if (!rec || rec->ending || rec->destroying) {
        return;
    }
    rec->ending = true;
    dispatch(dialog, WM_CLOSE, 0, 0);
    if (!findDialog(dialog)) {
        return;
    }
    if (QWidget* owner = detail::dialogWidget(rec->owner)) {
        owner->setEnabled(true);
    }
    if (rec->endCode != nullptr) {
        *rec->endCode = endCode;
    }
    destroyDialog(rec);
}

QWidget* topLevelWidget(Window dialog) {
    return detail::dialogWidget(dialog);
}

int runDialog(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    const detail::ForeignModalScope scope;
    return dialog.exec();
}

namespace detail {

QWidget* boxOwner() {
    // Qt's modal windows: the dialogs, boxes and choosers on screen, and the toolkit's owned
    // dialogs while they run.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    const Registry& r = registry();
    for (auto it = r.modalStack.rbegin(); it != r.modalStack.rend(); ++it) {
        QWidget* window = dialogWidget(*it);
        if (window != nullptr && window->isVisible()) {
            return window;
        }
    }
    return r.initialising.empty() ? nullptr : dialogWidget(r.initialising.back());
}

void ownBox(QWidget& box, QWidget& owner) {
    box.winId();
    owner.winId();
    if (QWindow* handle = box.windowHandle()) {
        handle->setTransientParent(owner.windowHandle());
    }
    box.setWindowModality(Qt::WindowModal);
}

} // namespace detail

} // namespace vesk::ui
