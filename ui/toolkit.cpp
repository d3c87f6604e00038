#include "ui/toolkit.h"

#include "ui/dialog_units.h"
#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStyleFactory>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

namespace vesk::ui {

using namespace vesk::msg;
using namespace vesk::ui::style;

namespace {

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
    QPointer<QAction> action; // popup menus only; bars are built when attached
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
    // Keys down now (Qt key codes), and keys that were down when a box closed: the rest of
    // such a key (its repeats and its release) belongs to the box, not to the window below.
    std::set<int> heldKeys;
    std::set<int> swallowedKeys;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

Window newHandle() {
    Registry& r = registry();
    // Handles are never reused; 2^31 creations in one run is out of reach.
    return r.nextHandle < INT32_MAX ? r.nextHandle++ : 0;
}

std::shared_ptr<DialogRecord> findDialog(Window dialog) {
    auto& map = registry().dialogs;
    auto it = map.find(dialog);
    return it == map.end() ? nullptr : it->second;
}

std::shared_ptr<ControlRecord> controlByHandle(Window control) {
    auto& map = registry().controls;
    auto it = map.find(control);
    return it == map.end() ? nullptr : it->second;
}

std::shared_ptr<ControlRecord> findControl(Window dialog, std::int32_t id) {
    auto rec = findDialog(dialog);
    if (!rec) {
        return nullptr;
    }
    for (Window handle : rec->controls) {
        auto control = controlByHandle(handle);
        if (control && control->id == id && control->widget) {
            return control;
        }
    }
    return nullptr;
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QColor toQColor(Colour colour) {
    return QColor::fromRgb(detail::toArgb(colour));
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

QEvent::Type messageEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

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

std::int32_t dispatch(Window dialog, std::uint32_t message, std::uint32_t wParam,
                      std::int32_t lParam);
void layoutDialog(DialogRecord& rec);
void destroyDialog(const std::shared_ptr<DialogRecord>& rec);

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
        std::uint32_t message = 0;
        switch (e->button()) {
        case Qt::LeftButton:
            message = WM_LBUTTONDOWN;
            break;
        case Qt::RightButton:
            message = WM_RBUTTONDOWN;
            break;
        case Qt::MiddleButton:
            message = WM_MBUTTONDOWN;
            break;
        default:
            break;
        }
        send(message, e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        std::uint32_t message = 0;
        switch (e->button()) {
        case Qt::LeftButton:
            message = WM_LBUTTONUP;
            break;
        case Qt::RightButton:
            message = WM_RBUTTONUP;
            break;
        case Qt::MiddleButton:
            message = WM_MBUTTONUP;
            break;
        default:
            break;
        }
        send(message, e);
    }
    // A second click arrives as a plain button-down: each click of the operator counts.
    void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
    void mouseMoveEvent(QMouseEvent* e) override { send(WM_MOUSEMOVE, e); }

private:
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

// A button whose face the program describes: fill, text and text colour, with a bump edge.
// It shows no pressed or focus state.
class OwnerDrawButton final : public QAbstractButton {
public:
    explicit OwnerDrawButton(QWidget* parent) : QAbstractButton(parent) {}
    void setFace(const QString& text, Colour fill, Colour textColour) {
        faceText_ = text;
        fill_ = fill;
        textColour_ = textColour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(r, detail::isRealColour(fill_) ? toQColor(fill_)
                                                  : palette().color(QPalette::Button));
        p.setPen(detail::isRealColour(textColour_) ? toQColor(textColour_)
                                                   : palette().color(QPalette::ButtonText));
        p.setFont(font());
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, faceText_);
        // Bump edge: outer ring light above and left, dark below and right; inner ring reversed.
        const QColor light = palette().color(QPalette::Midlight);
        const QColor dark = palette().color(QPalette::Shadow);
        drawRing(p, r, light, dark);
        drawRing(p, r.adjusted(1, 1, -1, -1), dark, light);
    }
    QSize sizeHint() const override { return {40, 20}; }

private:
    static void drawRing(QPainter& p, const QRect& r, const QColor& topLeft,
                         const QColor& bottomRight) {
        if (r.width() <= 0 || r.height() <= 0) {
            return;
        }
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    }
    QString faceText_;
    Colour fill_ = kColourNotSet;
    Colour textColour_ = kColourNotSet;
};

// Scroll bars and track bars. Each action of the operator becomes WM_HSCROLL (WM_VSCROLL when
// vertical) with its SB_ code; a scroll bar keeps its thumb where the program put it (the
// handler moves it with scrollSetPos), a track bar moves its own.
template <class Base> class ScrollControl final : public Base {
public:
    ScrollControl(Qt::Orientation orientation, QWidget* parent, Window dialog, Window control,
                  bool ownThumb)
        : Base(orientation, parent), dialog_(dialog), control_(control), ownThumb_(ownThumb) {
        QObject::connect(this, &QAbstractSlider::actionTriggered, this,
                         [this](int action) { onAction(action); });
        QObject::connect(this, &QAbstractSlider::sliderReleased, this,
                         [this] { send(SB_THUMBPOSITION, this->sliderPosition()); });
    }
    void setRangeFromProgram(int minimum, int maximum) {
        this->setRange(minimum, std::max(minimum, maximum));
        position_ = std::clamp(position_, this->minimum(), this->maximum());
        if (ownThumb_) {
            this->setPageStep(std::max(1, (this->maximum() - this->minimum()) / 5));
        }
        this->setValue(position_);
    }
    void setPositionFromProgram(int position) {
        position_ = std::clamp(position, this->minimum(), this->maximum());
        this->setValue(position_);
    }
    int positionForProgram() const { return ownThumb_ ? this->sliderPosition() : position_; }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        const bool wasActive = this->isSliderDown() || e->button() == Qt::LeftButton;
        Base::mouseReleaseEvent(e);
        if (wasActive && e->button() == Qt::LeftButton) {
            restoreThumb();
            send(SB_ENDSCROLL, 0);
        }
    }
    void keyReleaseEvent(QKeyEvent* e) override {
        Base::keyReleaseEvent(e);
        switch (e->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            if (!e->isAutoRepeat()) {
                send(SB_ENDSCROLL, 0);
            }
            break;
        default:
            break;
        }
    }
    void wheelEvent(QWheelEvent* e) override {
        // A scroll bar control ignores the wheel; a track bar steps with it.
        if (ownThumb_) {
            Base::wheelEvent(e);
        } else {
            e->ignore();
        }
    }

private:
    void onAction(int action) {
        std::uint32_t code = 0;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            code = SB_LINERIGHT;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            code = SB_LINELEFT;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = SB_PAGERIGHT;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = SB_PAGELEFT;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = SB_LEFT;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = SB_RIGHT;
            break;
        case QAbstractSlider::SliderMove:
            code = SB_THUMBTRACK;
            break;
        default:
            return;
        }
        const int requested = this->sliderPosition();
        if (!ownThumb_ && code != SB_THUMBTRACK) {
            // Inside triggerAction: the value that follows is taken from this position.
            this->setValue(position_);
        }
        send(code, code == SB_THUMBTRACK ? requested : 0);
    }
    void restoreThumb() {
        if (!ownThumb_) {
            this->setValue(position_);
        }
    }
    void send(std::uint32_t code, int position) {
        const std::uint32_t message =
            this->orientation() == Qt::Horizontal ? WM_HSCROLL : WM_VSCROLL;
        dispatch(dialog_, message, makeWParam(code, static_cast<std::uint32_t>(position)),
                 control_);
    }

    Window dialog_;
    Window control_;
    bool ownThumb_;
    int position_ = 0;
};

using TrackBar = ScrollControl<QSlider>;
using ScrollBar = ScrollControl<QScrollBar>;

// Accelerators and the dialog keys of the innermost modal dialog, whatever window has the focus.
class KeyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if ((e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) ||
            !watched->isWidgetType()) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(e);
        Registry& r = registry();
        if (!key->isAutoRepeat()) {
            if (e->type() == QEvent::KeyPress) {
                r.heldKeys.insert(key->key());
            } else {
                r.heldKeys.erase(key->key());
            }
        }
        if (r.swallowedKeys.count(key->key()) != 0) {
            if (e->type() == QEvent::KeyRelease && !key->isAutoRepeat()) {
                r.swallowedKeys.erase(key->key());
            }
            return true;
        }
        if (e->type() != QEvent::KeyPress) {
            return false;
        }
        auto& stack = r.modalStack;
        if (stack.empty() || stack.back() == 0 || QApplication::activePopupWidget() != nullptr) {
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
        if (!rec->accelerators.empty()) {
            std::uint32_t modifiers = 0;
            modifiers |= key->modifiers().testFlag(Qt::ShiftModifier) ? FSHIFT : 0u;
            modifiers |= key->modifiers().testFlag(Qt::ControlModifier) ? FCONTROL : 0u;
            modifiers |= key->modifiers().testFlag(Qt::AltModifier) ? FALT : 0u;
            for (const Accelerator& a : rec->accelerators) {
                if (a.virtualKey == vk && (a.modifiers & (FSHIFT | FCONTROL | FALT)) == modifiers) {
                    dispatch(top, WM_COMMAND, makeWParam(static_cast<std::uint32_t>(a.command), 1),
                             0);
                    return true;
                }
            }
        }
        // Dialog keys: only for keys typed into the dialog itself.
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != rec->window ||
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
            return false;
        }
        if (vk == 0x1B) {
            dispatch(top, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 0);
            return true;
        }
        if (vk == 0x0D) {
            // Enter on a focused push button presses that button; elsewhere it is IDOK.
            for (Window handle : rec->controls) {
                auto c = controlByHandle(handle);
                if (c && c->widget == widget &&
                    (c->type == Type::PushButton || c->type == Type::OwnerDrawButton)) {
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
};

// The first command item whose identifier's low 16 bits are `low` (WM_COMMAND carries no more).
const MenuItem* findMenuItem(Menu menu, std::uint32_t low, int depth = 0) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 16) {
        return nullptr;
    }
    for (const MenuItem& item : it->second.items) {
        if (item.submenu != 0) {
            if (const MenuItem* found = findMenuItem(item.submenu, low, depth + 1)) {
                return found;
            }
        } else if (item.text != "-" && loWord(static_cast<std::uint32_t>(item.commandId)) == low) {
            return &item;
        }
    }
    return nullptr;
}

template <class Fn> void forEachMenuItem(Menu menu, const Fn& fn, int depth = 0) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 16) {
        return;
    }
    for (MenuItem& item : it->second.items) {
        fn(item);
        if (item.submenu != 0) {
            forEachMenuItem(item.submenu, fn, depth + 1);
        }
    }
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

int menuBarHeight(const DialogRecord& rec, int width) {
    QMenuBar* bar = rec.bar;
    if (bar == nullptr) {
        return 0;
    }
    const int h = bar->heightForWidth(width);
    return h > 0 ? h : bar->sizeHint().height();
}

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

// Sizes the window so that the client area below the menu bar is exactly `client`.
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

Qt::WindowFlags windowFlagsFor(std::uint32_t style, std::uint32_t exStyle) {
    Qt::WindowFlags flags = (exStyle & WS_EX_TOOLWINDOW) ? Qt::Tool : Qt::Window;
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

// Which palette roles carry a control's text and background colour: the widget's own, so only
// the part the platform colours changes (an option's indicator keeps its look). A combobox
// colours its edit field and list.
std::pair<QPalette::ColorRole, QPalette::ColorRole> colourRoles(const QWidget& w, Type type) {
    if (type == Type::Combo) {
        return {QPalette::Text, QPalette::Base};
    }
    return {w.foregroundRole(), w.backgroundRole()};
}

void applyColours(ControlRecord& c) {
    QWidget* w = c.widget;
    if (!w) {
        return;
    }
    const auto [textRole, backgroundRole] = colourRoles(*w, c.type);
    QPalette palette; // no role set: everything the colours leave alone follows the platform
    if (detail::isRealColour(c.text)) {
        palette.setColor(textRole, toQColor(c.text));
    }
    const bool realBackground = detail::isRealColour(c.background);
    if (realBackground) {
        palette.setColor(backgroundRole, toQColor(c.background));
    } else if (c.background == kTransparent && backgroundRole == QPalette::Base) {
        palette.setColor(QPalette::Base, Qt::transparent);
    }
    w->setPalette(palette);
    // Fields paint their base themselves; other backgrounds are painted only when asked for.
    w->setAutoFillBackground(realBackground && backgroundRole != QPalette::Base);
    if (c.type == Type::Combo) {
        auto* combo = static_cast<QComboBox*>(w);
        if (combo->lineEdit()) {
            combo->lineEdit()->setPalette(palette);
        }
        // The drop-down list is a window of its own: palettes do not reach it by inheritance.
        combo->view()->setPalette(palette);
    }
}

void applyDialogColours(DialogRecord& rec) {
    QWidget* client = rec.client;
    if (client == nullptr) {
        return;
    }
    QPalette palette;
    if (detail::isRealColour(rec.text)) {
        palette.setColor(QPalette::WindowText, toQColor(rec.text));
    }
    if (detail::isRealColour(rec.background)) {
        palette.setColor(QPalette::Window, toQColor(rec.background));
    }
    client->setPalette(palette);
    client->setAutoFillBackground(detail::isRealColour(rec.background));
}

// A command item chosen in any way (mouse, keyboard, code) posts its command to the dialog
// whose bar holds the menu at that time. Like the platform, the command is queued: the menu
// has closed when it runs.
void connectCommand(QAction* action, Menu menu, std::int32_t commandId) {
    QObject::connect(action, &QAction::triggered, action, [menu, commandId] {
        auto& menus = registry().menus;
        auto it = menus.find(menu);
        if (it != menus.end() && it->second.attachedTo != 0) {
            postMessage(it->second.attachedTo, WM_COMMAND,
                        makeWParam(static_cast<std::uint32_t>(commandId), 0), 0);
        }
    });
}

// Marks `menu` and the menus below it as shown in `dialog`'s bar.
void attachMenuTree(Menu menu, Window dialog, int depth = 0) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 16) {
        return;
    }
    it->second.attachedTo = dialog;
    for (const MenuItem& item : it->second.items) {
        if (item.submenu != 0) {
            attachMenuTree(item.submenu, dialog, depth + 1);
        }
    }
}

void buildMenuBar(DialogRecord& rec) {
    if (!rec.window) {
        return;
    }
    QWidget* clientWidget = rec.client;
    const QSize client = clientWidget != nullptr ? clientWidget->size() : QSize();
    delete rec.bar;
    rec.bar = nullptr;
    rec.cornerBar = nullptr; // owned by the bar
    auto& menus = registry().menus;
    auto it = menus.find(rec.menu);
    if (it != menus.end()) {
        attachMenuTree(rec.menu, rec.handle);
        auto* bar = new QMenuBar(rec.window);
        bar->setNativeMenuBar(false);
        QMenuBar* corner = nullptr;
        for (MenuItem& item : it->second.items) {
            QMenuBar* target = bar;
            if (item.rightJustified) {
                if (!corner) {
                    corner = new QMenuBar(bar);
                    corner->setNativeMenuBar(false);
                }
                target = corner;
            }
            QAction* action = nullptr;
            auto sub = menus.find(item.submenu);
            if (item.text == "-") {
                action = target->addSeparator();
            } else if (QMenu* popup = item.submenu != 0 && sub != menus.end()
                                          ? sub->second.popup.data()
                                          : nullptr) {
                popup->setTitle(fromUtf8(item.text));
                action = target->addMenu(popup);
            } else {
                action = target->addAction(fromUtf8(item.text));
                connectCommand(action, rec.menu, item.commandId);
            }
            action->setEnabled(item.enabled);
            item.action = action;
        }
        if (corner) {
            bar->setCornerWidget(corner, Qt::TopRightCorner);
        }
        rec.bar = bar;
        rec.cornerBar = corner;
        bar->show();
    }
    if (rec.client) {
        setClientSize(rec, client);
    }
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
    for (auto& [menu, record] : registry().menus) {
        if (record.attachedTo == rec->handle) {
            record.attachedTo = 0;
        }
    }
    if (rec->loop) {
        rec->loop->quit();
    }
    if (QWidget* window = rec->window) {
        window->hide();
        window->deleteLater();
    }
}

Type resolveType(int kind, const std::string& className, std::uint32_t style, bool& ok) {
    ok = true;
    const auto buttonType = [style] {
        switch (style & 0xFu) {
        case BS_OWNERDRAW:
            return Type::OwnerDrawButton;
        case 0x4u: // BS_RADIOBUTTON
        case BS_AUTORADIOBUTTON:
            return Type::Option;
        default:
            return Type::PushButton;
        }
    };
    switch (kind) {
    case kButton:
        return buttonType();
    case kLabel:
        return Type::Label;
    case kOption:
        return Type::Option;
    case kEdit:
        return Type::Edit;
    case kGraphic:
        return Type::Graphic;
    case kCombo:
        return Type::Combo;
    case kCustom: {
        const QString name = fromUtf8(className).toLower();
        if (name == QLatin1String("msctls_trackbar32")) {
            return Type::TrackBar;
        }
        if (name == QLatin1String("scrollbar")) {
            return Type::ScrollBar;
        }
        if (name == QLatin1String("static")) {
            return (style & 0x1Fu) == SS_OWNERDRAW ? Type::Graphic : Type::Label;
        }
        if (name == QLatin1String("button")) {
            return buttonType();
        }
        if (name == QLatin1String("edit")) {
            return Type::Edit;
        }
        if (name == QLatin1String("combobox")) {
            return Type::Combo;
        }
        break;
    }
    default:
        break;
    }
    ok = false;
    return Type::Label;
}

void comboInsert(QComboBox* combo, bool sorted, const QString& text) {
    if (!sorted) {
        combo->addItem(text);
        return;
    }
    int index = 0;
    while (index < combo->count() &&
           QString::compare(combo->itemText(index), text, Qt::CaseInsensitive) <= 0) {
        ++index;
    }
    combo->insertItem(index, text);
}

QWidget* createWidget(const std::shared_ptr<DialogRecord>& rec, ControlRecord& c,
                      std::uint32_t exStyle, const std::string& text,
                      const std::vector<std::string>* list, const Rect& px) {
    QWidget* parent = rec->client;
    const Window dialog = rec->handle;
    const Window handle = c.handle;
    const auto id = static_cast<std::uint32_t>(c.id);
    const std::uint32_t style = c.style;
    const auto command = [dialog, handle, id](std::uint32_t code) {
        dispatch(dialog, WM_COMMAND, makeWParam(id, code), handle);
    };
    switch (c.type) {
    case Type::PushButton: {
        auto* button = new QPushButton(fromUtf8(text), parent);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button, [command] { command(BN_CLICKED); });
        return button;
    }
    case Type::OwnerDrawButton: {
        auto* button = new OwnerDrawButton(parent);
        c.windowText = text;
        QObject::connect(button, &QAbstractButton::clicked, button,
                         [command] { command(BN_CLICKED); });
        return button;
    }
    case Type::Option: {
        auto* option = new QRadioButton(fromUtf8(text), parent);
        option->setAutoExclusive(true);
        QObject::connect(option, &QAbstractButton::clicked, option,
                         [command] { command(BN_CLICKED); });
        return option;
    }
    case Type::Label: {
        auto* label = new QLabel(fromUtf8(text), parent);
        label->setTextFormat(Qt::PlainText);
        Qt::Alignment alignment = (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
        switch (style & 0x1Fu) {
        case SS_CENTER:
            alignment |= Qt::AlignHCenter;
            break;
        case SS_RIGHT:
            alignment |= Qt::AlignRight;
            break;
        default:
            alignment |= Qt::AlignLeft;
            break;
        }
        label->setAlignment(alignment);
        label->setWordWrap((style & 0x1Fu) <= SS_RIGHT && !(style & SS_CENTERIMAGE));
        if (style & SS_SUNKEN) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setLineWidth(1);
        } else if (exStyle & WS_EX_CLIENTEDGE) {
            label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        }
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        return label;
    }
    case Type::Edit: {
        auto* edit = new QLineEdit(fromUtf8(text), parent);
        edit->setFrame((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
        edit->setReadOnly(style & ES_READONLY);
        // The platform reports every change of the text, also one made by the program.
        QObject::connect(edit, &QLineEdit::textChanged, edit, [command] { command(EN_CHANGE); });
        return edit;
    }
    case Type::Graphic: {
        c.windowText = text;
        QWidget* area = detail::createGraphicArea(parent, px.width, px.height);
        area->setAttribute(Qt::WA_TransparentForMouseEvents);
        return area;
    }
    case Type::Combo: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setDuplicatesEnabled(true);
        const bool sorted = (style & CBS_SORT) != 0;
        combo->setProperty("veskSorted", sorted);
        if (list) {
            for (const std::string& entry : *list) {
                if (entry.empty()) {
                    break;
                }
                comboInsert(combo, sorted, fromUtf8(entry));
            }
        }
        combo->setCurrentIndex(-1);
        combo->setEditText(fromUtf8(text));
        QObject::connect(combo, &QComboBox::activated, combo, [command](int) {
            command(CBN_SELCHANGE);
            command(CBN_SELENDOK);
        });
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                         [command] { command(CBN_EDITCHANGE); });
        return combo;
    }
    case Type::TrackBar: {
        auto* bar = new TrackBar((style & TBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent, dialog,
                                 handle, true);
        bar->setTracking(true);
        bar->setSingleStep(1);
        bar->setRangeFromProgram(0, 100);
        c.windowText = text;
        return bar;
    }
    case Type::ScrollBar: {
        auto* bar = new ScrollBar((style & SBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent,
                                  dialog, handle, false);
        bar->setTracking(true);
        bar->setSingleStep(1);
        bar->setPageStep(0); // the platform's fixed-size thumb
        bar->setRangeFromProgram(0, 0);
        c.windowText = text;
        return bar;
    }
    }
    return nullptr;
}

Rect toPixels(const DialogRecord& rec, const Rect& r) {
    return rec.units == Units::Pixels ? r : mapDialogRect(r, rec.base);
}

void placeControl(const DialogRecord& rec, ControlRecord& c) {
    const Rect px = toPixels(rec, c.rect);
    QWidget* w = c.widget;
    if (c.type == Type::Combo) {
        // The given height includes the dropped list; the closed box takes its natural height.
        auto* combo = static_cast<QComboBox*>(w);
        const int boxHeight = combo->sizeHint().height();
        w->setGeometry(px.x, px.y, std::max(0, px.width), boxHeight);
        const int row = std::max(1, QFontMetrics(combo->font()).height() + 2);
        combo->setMaxVisibleItems(std::max(1, (px.height - boxHeight) / row));
    } else if (c.type == Type::Label) {
        // The stand-in font is wider than the one the layout was drawn for: a one-line label
        // (a framed readout too) grows to the right rather than cut or wrap its text out of
        // sight.
        auto* label = static_cast<QLabel*>(w);
        const QFontMetrics metrics(label->font());
        int width = std::max(0, px.width);
        if (px.height < 2 * metrics.lineSpacing()) {
            label->setWordWrap(false);
            width = std::max(width, metrics.horizontalAdvance(label->text()) + 2 +
                                        2 * label->frameWidth());
        }
        w->setGeometry(px.x, px.y, width, std::max(0, px.height));
    } else {
        w->setGeometry(px.x, px.y, std::max(0, px.width), std::max(0, px.height));
    }
}

template <class T> T* widgetAs(const std::shared_ptr<ControlRecord>& c, Type type) {
    return c && c->type == type ? static_cast<T*>(c->widget.data()) : nullptr;
}

} // namespace

// --- detail -----------------------------------------------------------------------------------

namespace detail {

BaseUnits dialogBaseUnits(Window dialog) {
    auto rec = findDialog(dialog);
    return rec ? rec->base : BaseUnits{};
}

std::uint32_t effectiveControlStyle(int kind, std::uint32_t style) {
    constexpr std::uint32_t base = WS_CHILD | WS_VISIBLE;
    switch (kind) {
    case kButton:
        return (style == 0 ? base | WS_TABSTOP | BS_PUSHBUTTON : style) | base;
    case kLabel:
        return (style == 0 ? base | SS_LEFT : style) | base;
    case kOption: {
        constexpr std::uint32_t removed = WS_POPUP | WS_MINIMIZE | WS_MAXIMIZE | WS_CLIPSIBLINGS |
                                          WS_CLIPCHILDREN | WS_BORDER | WS_DLGFRAME | WS_VSCROLL |
                                          WS_HSCROLL | WS_SYSMENU | WS_THICKFRAME | BS_ICON |
                                          BS_BITMAP | 0x2u | 0x4u;
        const std::uint32_t s = style == 0 ? base | WS_TABSTOP | BS_AUTORADIOBUTTON : style;
        return (s | base | BS_AUTORADIOBUTTON) & ~removed;
    }
    case kEdit:
        // The default's border becomes the client edge (effectiveControlExStyle).
        return (style == 0 ? base | WS_TABSTOP | ES_AUTOHSCROLL : style) | base;
    case kGraphic:
        return (style == 0 ? base | WS_TABSTOP | SS_OWNERDRAW : style) | base | SS_OWNERDRAW;
    case kCombo:
        return (style == 0 ? base | WS_TABSTOP | CBS_SORT | CBS_DROPDOWN : style) | base;
    default:
        return style;
    }
}

std::uint32_t effectiveControlExStyle(int kind, std::uint32_t style, std::uint32_t exStyle) {
    return kind == kEdit && style == 0 ? exStyle | WS_EX_CLIENTEDGE : exStyle;
}

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

QWidget* dialogWidget(Window dialog) {
    auto rec = findDialog(dialog);
    return rec ? rec->window.data() : nullptr;
}

QWidget* controlWidget(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c ? c->widget.data() : nullptr;
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
    swallowHeldKeys();
}

void swallowHeldKeys() {
    Registry& r = registry();
    r.swallowedKeys.insert(r.heldKeys.begin(), r.heldKeys.end());
}

} // namespace detail

// --- application --------------------------------------------------------------------------------

void initialise(int& argc, char** argv) {
    if (QCoreApplication::instance() == nullptr) {
        // Lives until the process ends: windows may outlive main's locals.
        new QApplication(argc, argv);
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
}

// --- dialogs ------------------------------------------------------------------------------------

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

    auto* window = new DialogWindow(handle, windowFlagsFor(style, exStyle));
    window->setObjectName(QStringLiteral("vesk-dialog-%1").arg(handle));
    window->setFont(dialogFont());
    rec->window = window;
    rec->client = new ClientArea(handle, window);
    rec->base = fontBaseUnits(window->font());
    registry().dialogs.emplace(handle, rec);

    const Rect size = units == Units::Pixels ? Rect{0, 0, width, height}
                                             : mapDialogRect({0, 0, width, height}, rec->base);
    setClientSize(*rec, QSize(std::max(0, size.width), std::max(0, size.height)));

    QScreen* screen = screenFor(ownerRec);
    QPoint position;
    if (centred || !screen) {
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 0, 0);
        position = area.topLeft() + QPoint((area.width() - window->width()) / 2,
                                           (area.height() - window->height()) / 2);
    } else {
        const Rect offset =
            units == Units::Pixels ? Rect{x, y, 0, 0} : mapDialogRect({x, y, 0, 0}, rec->base);
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

void controlAdd(Window dialog, int kind, const std::string& className, std::int32_t id,
                const std::string& text, const std::vector<std::string>* list, std::int32_t x,
                std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t style,
                std::uint32_t exStyle, Handler handler) {
    auto rec = findDialog(dialog);
    if (!rec || rec->destroying || !rec->client) {
        return;
    }
    const std::uint32_t finalStyle = detail::effectiveControlStyle(kind, style);
    const std::uint32_t finalExStyle = detail::effectiveControlExStyle(kind, style, exStyle);
    bool known = false;
    const Type type = resolveType(kind, className, finalStyle, known);
    if (!known) {
        return;
    }
    const Window handle = newHandle();
    if (handle == 0) {
        return;
    }
    auto c = std::make_shared<ControlRecord>();
    c->handle = handle;
    c->dialog = dialog;
    c->type = type;
    c->id = id;
    c->style = finalStyle;
    c->handler = std::move(handler);
    c->rect = {x, y, width, height};
    registry().controls.emplace(handle, c);
    rec->controls.push_back(handle);

    const Rect px = toPixels(*rec, c->rect);
    QWidget* widget = createWidget(rec, *c, finalExStyle, text, list, px);
    c->widget = widget;
    widget->setObjectName(QStringLiteral("vesk-control-%1").arg(id));
    if (type == Type::Label || type == Type::Graphic) {
        widget->setFocusPolicy(Qt::NoFocus);
    } else if (type != Type::ScrollBar || (finalStyle & WS_TABSTOP)) {
        widget->setFocusPolicy((finalStyle & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    }
    placeControl(*rec, *c);
    widget->setVisible((finalStyle & WS_VISIBLE) != 0);
}

void controlSetColor(Window dialog, std::int32_t id, Colour text, Colour background) {
    if (id == kDialogItself) {
        if (auto rec = findDialog(dialog)) {
            rec->text = text;
            rec->background = background;
            applyDialogColours(*rec);
        }
        return;
    }
    if (auto c = findControl(dialog, id)) {
        c->text = text;
        c->background = background;
        applyColours(*c);
    }
}

std::pair<Colour, Colour> controlGetColor(Window dialog, std::int32_t id) {
    if (id == kDialogItself) {
        auto rec = findDialog(dialog);
        return rec ? std::pair{rec->text, rec->background}
                   : std::pair{kColourNotSet, kColourNotSet};
    }
    auto c = findControl(dialog, id);
    return c ? std::pair{c->text, c->background} : std::pair{kColourNotSet, kColourNotSet};
}

namespace {

// Steps shared by the modal and the modeless show: the two calls made while still hidden, the
// handler attached, the window shown.
bool prepareAndShow(Window dialog, Handler handler, std::int32_t* endCode, bool modal) {
    auto rec = findDialog(dialog);
    QWidget* window = rec ? rec->window.data() : nullptr;
    if (window == nullptr || rec->destroying) {
        return false;
    }
    if (handler) {
        QWidget* clientWidget = rec->client;
        const QSize client = clientWidget != nullptr ? clientWidget->size() : QSize();
        const std::uint32_t kind = (rec->style & WS_MAXIMIZE)   ? SIZE_MAXIMIZED
                                   : (rec->style & WS_MINIMIZE) ? SIZE_MINIMIZED
                                                                : SIZE_RESTORED;
        handler(dialog, WM_INITDIALOG, static_cast<std::uint32_t>(dialog), 0);
        if (!findDialog(dialog)) {
            return false;
        }
        handler(dialog, WM_SIZE, kind,
                static_cast<std::int32_t>(makeWParam(static_cast<std::uint32_t>(client.width()),
                                                     static_cast<std::uint32_t>(client.height()))));
        if (!findDialog(dialog)) {
            return false;
        }
    }
    rec->handler = std::move(handler);
    rec->endCode = endCode;
    if (modal && rec->owner != 0) {
        if (QWidget* owner = detail::dialogWidget(rec->owner)) {
            owner->setEnabled(false);
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

void dialogShowModal(Window dialog, Handler handler, std::int32_t* endCode,
                     bool ownerStaysEnabled) {
    auto rec = findDialog(dialog);
    if (!rec) {
        return;
    }
    const Window owner = rec->owner;
    if (!prepareAndShow(dialog, std::move(handler), endCode, !ownerStaysEnabled)) {
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
    detail::swallowHeldKeys();
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

bool windowExists(Window window) {
    return registry().dialogs.count(window) != 0 || registry().controls.count(window) != 0;
}

// --- messages -----------------------------------------------------------------------------------

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

Window controlHandle(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c ? c->handle : 0;
}

std::int32_t controlId(Window control) {
    auto c = controlByHandle(control);
    return c ? c->id : 0;
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

// --- controls -----------------------------------------------------------------------------------

std::string controlGetText(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    if (!c) {
        return {};
    }
    switch (c->type) {
    case Type::PushButton:
    case Type::Option:
        return toUtf8(static_cast<QAbstractButton*>(c->widget.data())->text());
    case Type::Label:
        return toUtf8(static_cast<QLabel*>(c->widget.data())->text());
    case Type::Edit:
        return toUtf8(static_cast<QLineEdit*>(c->widget.data())->text());
    case Type::Combo:
        return toUtf8(static_cast<QComboBox*>(c->widget.data())->currentText());
    default:
        return c->windowText;
    }
}

void controlSetText(Window dialog, std::int32_t id, const std::string& text) {
    auto c = findControl(dialog, id);
    if (!c) {
        return;
    }
    const QString value = fromUtf8(text);
    switch (c->type) {
    case Type::PushButton:
    case Type::Option:
        static_cast<QAbstractButton*>(c->widget.data())->setText(value);
        break;
    case Type::Label:
        static_cast<QLabel*>(c->widget.data())->setText(value);
        if (auto rec = findDialog(dialog)) {
            placeControl(*rec, *c);
        }
        break;
    case Type::Edit:
        static_cast<QLineEdit*>(c->widget.data())->setText(value);
        break;
    case Type::Combo:
        static_cast<QComboBox*>(c->widget.data())->setEditText(value);
        break;
    default:
        c->windowText = text;
        break;
    }
}

void controlEnable(Window dialog, std::int32_t id, bool enabled) {
    if (id == kDialogItself) {
        if (QWidget* w = detail::dialogWidget(dialog)) {
            w->setEnabled(enabled);
        }
        return;
    }
    if (QWidget* w = detail::controlWidget(dialog, id)) {
        w->setEnabled(enabled);
    }
}

bool controlIsEnabled(Window dialog, std::int32_t id) {
    // The window's own state, not what it inherits from a disabled parent.
    QWidget* w =
        id == kDialogItself ? detail::dialogWidget(dialog) : detail::controlWidget(dialog, id);
    return w != nullptr && !w->testAttribute(Qt::WA_ForceDisabled);
}

void controlSetFocus(Window dialog, std::int32_t id) {
    QWidget* window = detail::dialogWidget(dialog);
    QWidget* control = detail::controlWidget(dialog, id);
    if (window == nullptr || control == nullptr) {
        return;
    }
    if (window->isVisible()) {
        window->activateWindow();
    }
    control->setFocus(Qt::OtherFocusReason);
}

std::int32_t controlFocused(Window dialog) {
    auto rec = findDialog(dialog);
    QWidget* window = rec ? rec->window.data() : nullptr;
    QWidget* focus = window != nullptr ? window->focusWidget() : nullptr;
    if (focus == nullptr) {
        return 0;
    }
    for (Window handle : rec->controls) {
        auto c = controlByHandle(handle);
        if (c && c->widget && (c->widget == focus || c->widget->isAncestorOf(focus))) {
            return c->id;
        }
    }
    return 0;
}

void controlSetCheck(Window dialog, std::int32_t id, bool checked) {
    auto c = findControl(dialog, id);
    auto* button =
        c && (c->type == Type::Option) ? static_cast<QAbstractButton*>(c->widget.data()) : nullptr;
    if (!button) {
        return;
    }
    if (checked) {
        button->setChecked(true);
    } else {
        // An auto-exclusive button refuses to clear itself; the program may clear it.
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

bool controlGetCheck(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c && c->type == Type::Option &&
           static_cast<QAbstractButton*>(c->widget.data())->isChecked();
}

Rect controlGeometry(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c ? c->rect : Rect{};
}

void controlMove(Window dialog, std::int32_t id, std::int32_t x, std::int32_t y) {
    auto rec = findDialog(dialog);
    auto c = findControl(dialog, id);
    if (!rec || !c) {
        return;
    }
    c->rect.x = x;
    c->rect.y = y;
    placeControl(*rec, *c);
}

void buttonSetFace(Window dialog, std::int32_t id, const std::string& text, Colour fill,
                   Colour textColour) {
    if (auto* button = widgetAs<OwnerDrawButton>(findControl(dialog, id), Type::OwnerDrawButton)) {
        button->setFace(fromUtf8(text), fill, textColour);
    }
}

void buttonClick(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    if (!c || (c->type != Type::PushButton && c->type != Type::OwnerDrawButton &&
               c->type != Type::Option)) {
        return;
    }
    auto* button = static_cast<QAbstractButton*>(c->widget.data());
    if (button != nullptr && button->isEnabled() && button->isVisibleTo(button->parentWidget())) {
        button->click(); // emits clicked, which sends the command
    }
}

void comboAdd(Window dialog, std::int32_t id, const std::string& text) {
    if (auto* combo = widgetAs<QComboBox>(findControl(dialog, id), Type::Combo)) {
        comboInsert(combo, combo->property("veskSorted").toBool(), fromUtf8(text));
    }
}

void comboSelect(Window dialog, std::int32_t id, std::int32_t index) {
    if (auto* combo = widgetAs<QComboBox>(findControl(dialog, id), Type::Combo)) {
        // An index outside the list removes the selection and empties the edit field.
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
        if (combo->currentIndex() < 0) {
            combo->setEditText(QString());
        }
    }
}

std::int32_t comboSelection(Window dialog, std::int32_t id) {
    auto* combo = widgetAs<QComboBox>(findControl(dialog, id), Type::Combo);
    return combo ? combo->currentIndex() : -1;
}

std::int32_t comboCount(Window dialog, std::int32_t id) {
    auto* combo = widgetAs<QComboBox>(findControl(dialog, id), Type::Combo);
    return combo ? combo->count() : 0;
}

std::string comboGetText(Window dialog, std::int32_t id, std::int32_t index) {
    auto* combo = widgetAs<QComboBox>(findControl(dialog, id), Type::Combo);
    if (!combo) {
        return {};
    }
    const int i = index == -1 ? combo->currentIndex() : index;
    return i >= 0 && i < combo->count() ? toUtf8(combo->itemText(i)) : std::string();
}

void scrollSetRange(Window dialog, std::int32_t id, std::int32_t min, std::int32_t max, bool) {
    auto c = findControl(dialog, id);
    if (auto* bar = widgetAs<TrackBar>(c, Type::TrackBar)) {
        bar->setRangeFromProgram(min, max);
    } else if (auto* scroll = widgetAs<ScrollBar>(c, Type::ScrollBar)) {
        scroll->setRangeFromProgram(min, max);
    }
}

void scrollSetPos(Window dialog, std::int32_t id, std::int32_t pos, bool) {
    auto c = findControl(dialog, id);
    if (auto* bar = widgetAs<TrackBar>(c, Type::TrackBar)) {
        bar->setPositionFromProgram(pos);
    } else if (auto* scroll = widgetAs<ScrollBar>(c, Type::ScrollBar)) {
        scroll->setPositionFromProgram(pos);
    }
}

std::int32_t scrollGetPos(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    if (auto* bar = widgetAs<TrackBar>(c, Type::TrackBar)) {
        return bar->positionForProgram();
    }
    if (auto* scroll = widgetAs<ScrollBar>(c, Type::ScrollBar)) {
        return scroll->positionForProgram();
    }
    return 0;
}

// --- windows ------------------------------------------------------------------------------------

void windowSetTitle(Window dialog, const std::string& title) {
    auto rec = findDialog(dialog);
    QWidget* window = rec ? rec->window.data() : nullptr;
    if (window == nullptr) {
        return;
    }
    rec->title = title;
    // Qt reads "[*]" as the modified-marker placeholder; doubled it shows as written.
    QString shown = fromUtf8(title);
    shown.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    window->setWindowTitle(shown);
}

std::string windowGetTitle(Window dialog) {
    auto rec = findDialog(dialog);
    return rec ? rec->title : std::string();
}

Rect windowClientRect(Window dialog) {
    auto rec = findDialog(dialog);
    QWidget* client = rec ? rec->client.data() : nullptr;
    if (client == nullptr) {
        return {};
    }
    return {0, 0, client->width(), client->height()};
}

void windowSetIcon(Window dialog, const std::vector<std::string>& resourcePaths) {
    QWidget* w = detail::dialogWidget(dialog);
    if (!w) {
        return;
    }
    QIcon icon;
    for (const std::string& path : resourcePaths) {
        const QPixmap pixmap(fromUtf8(path));
        if (!pixmap.isNull()) {
            icon.addPixmap(pixmap);
        }
    }
    if (!icon.isNull()) {
        w->setWindowIcon(icon);
    }
}

void timerSet(Window dialog, std::uint32_t id, std::int32_t milliseconds) {
    auto rec = findDialog(dialog);
    if (!rec || rec->destroying || !rec->window) {
        return;
    }
    // The period is unsigned on the platform: a negative one is the longest there is.
    const int period = milliseconds < 0 ? INT32_MAX : std::max(1, milliseconds);
    QPointer<QTimer>& timer = rec->timers[id];
    if (!timer) {
        timer = new QTimer(rec->window);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer,
                         [dialog, id] { dispatch(dialog, WM_TIMER, id, 0); });
    }
    timer->start(period); // a running timer starts its period afresh
}

void timerKill(Window dialog, std::uint32_t id) {
    auto rec = findDialog(dialog);
    if (!rec) {
        return;
    }
    auto it = rec->timers.find(id);
    if (it != rec->timers.end()) {
        if (it->second) {
            it->second->stop();
            it->second->deleteLater();
        }
        rec->timers.erase(it);
    }
}

bool timerActive(Window dialog, std::uint32_t id) {
    auto rec = findDialog(dialog);
    if (!rec) {
        return false;
    }
    auto it = rec->timers.find(id);
    return it != rec->timers.end() && it->second && it->second->isActive();
}

bool windowGrab(Window dialog, const std::string& pngPath) {
    QWidget* w = detail::dialogWidget(dialog);
    if (!w) {
        return false;
    }
    return w->grab().save(QString::fromLocal8Bit(pngPath.c_str()), "PNG");
}

// --- menus and accelerators ---------------------------------------------------------------------

Menu menuNew(bool bar) {
    if (QCoreApplication::instance() == nullptr) {
        return 0;
    }
    const Menu handle = newHandle();
    if (handle == 0) {
        return 0;
    }
    MenuRecord record;
    record.bar = bar;
    if (!bar) {
        // Menus live as long as the program: handles are never reused.
        record.popup = new QMenu();
    }
    registry().menus.emplace(handle, std::move(record));
    return handle;
}

void menuAdd(Menu menu, const std::string& text, std::int32_t commandId, Menu submenu, bool enabled,
             Handler itemHandler, bool rightJustified) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || submenu == menu) {
        return;
    }
    MenuItem item;
    item.text = text;
    item.commandId = commandId;
    item.submenu = menus.count(submenu) != 0 ? submenu : 0;
    item.enabled = enabled;
    item.handler = std::move(itemHandler);
    item.rightJustified = rightJustified;
    MenuRecord& record = it->second;
    if (QMenu* menuWidget = record.bar ? nullptr : record.popup.data()) {
        QAction* action = nullptr;
        auto sub = menus.find(item.submenu);
        QMenu* popup = item.submenu != 0 && sub != menus.end() ? sub->second.popup.data() : nullptr;
        if (text == "-") {
            action = menuWidget->addSeparator();
        } else if (popup != nullptr) {
            popup->setTitle(fromUtf8(text));
            action = menuWidget->addMenu(popup);
        } else {
            action = menuWidget->addAction(fromUtf8(text));
            connectCommand(action, menu, commandId);
        }
        action->setEnabled(enabled);
        item.action = action;
    }
    record.items.push_back(std::move(item));
    if (record.bar && record.attachedTo != 0) {
        if (auto rec = findDialog(record.attachedTo)) {
            buildMenuBar(*rec);
        }
    }
}

void menuAttach(Window dialog, Menu bar) {
    auto rec = findDialog(dialog);
    if (!rec || rec->destroying) {
        return;
    }
    auto& menus = registry().menus;
    auto it = menus.find(bar);
    rec->menu = it != menus.end() && it->second.bar ? bar : 0;
    if (rec->menu != 0) {
        it->second.attachedTo = dialog;
    }
    buildMenuBar(*rec);
}

void menuEnable(Window dialog, std::int32_t commandId, bool enabled) {
    auto rec = findDialog(dialog);
    if (!rec || rec->menu == 0) {
        return;
    }
    forEachMenuItem(rec->menu, [&](MenuItem& item) {
        if (item.submenu == 0 && item.text != "-" && item.commandId == commandId) {
            item.enabled = enabled;
            if (item.action) {
                item.action->setEnabled(enabled);
            }
        }
    });
}

bool menuIsEnabled(Window dialog, std::int32_t commandId) {
    auto rec = findDialog(dialog);
    if (!rec || rec->menu == 0) {
        return false;
    }
    bool enabled = false;
    bool found = false;
    forEachMenuItem(rec->menu, [&](const MenuItem& item) {
        if (!found && item.submenu == 0 && item.text != "-" && item.commandId == commandId) {
            found = true;
            enabled = item.enabled;
        }
    });
    return enabled;
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
