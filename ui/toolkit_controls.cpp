// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <array>

// Controls: the kinds of controlAdd, what each kind does differently (one table of operations
// per kind), and the operations common to all of them.
namespace vesk::ui {

using namespace vesk::msg;
using namespace vesk::ui::style;
using namespace internal;

namespace {

// --- from kind and style to a control type --------------------------------------------------

Type buttonType(std::uint32_t style) {
    switch (style & 0xFu) {
    case BS_OWNERDRAW:
        return Type::OwnerDrawButton;
    case 0x4u: // BS_RADIOBUTTON
    case BS_AUTORADIOBUTTON:
    case BS_AUTOCHECKBOX:
        return Type::Option;
    default:
        return Type::PushButton;
    }
}

// The style a kind of controlAdd takes: `defaultStyle` when none is given, then `added` put in
// and `removed` taken away; `defaultExStyle` joins the extended style with the default style.
struct KindRule {
    int kind;
    std::uint32_t defaultStyle;
    std::uint32_t added;
    std::uint32_t removed;
    std::uint32_t defaultExStyle;
    Type (*type)(std::uint32_t style);
};

constexpr std::uint32_t kChild = WS_CHILD | WS_VISIBLE;
// An option is a plain automatic radio button: no frame, scroll bars, icon, bitmap or other
// button kind.
constexpr std::uint32_t kNotForOptions = WS_POPUP | WS_MINIMIZE | WS_MAXIMIZE | WS_CLIPSIBLINGS |
                                         WS_CLIPCHILDREN | WS_BORDER | WS_DLGFRAME | WS_VSCROLL |
                                         WS_HSCROLL | WS_SYSMENU | WS_THICKFRAME | BS_ICON |
                                         BS_BITMAP | 0x2u | 0x4u;

constexpr KindRule kKindRules[] = {
    {kButton, kChild | WS_TABSTOP | BS_PUSHBUTTON, kChild, 0, 0, buttonType},
    {kLabel, kChild | SS_LEFT, kChild, 0, 0,
     [](std::uint32_t) {
         return Type::Label;
     }},
    {kOption, kChild | WS_TABSTOP | BS_AUTORADIOBUTTON, kChild | BS_AUTORADIOBUTTON, kNotForOptions,
     0,
     [](std::uint32_t) {
         return Type::Option;
     }},
    // The default's border is the client edge.
    {kEdit, kChild | WS_TABSTOP | ES_AUTOHSCROLL, kChild, 0, WS_EX_CLIENTEDGE,
     [](std::uint32_t) {
         return Type::Edit;
     }},
    {kGraphic, kChild | WS_TABSTOP | SS_OWNERDRAW, kChild | SS_OWNERDRAW, 0, 0,
     [](std::uint32_t) {
         return Type::Graphic;
     }},
    {kCombo, kChild | WS_TABSTOP | CBS_SORT | CBS_DROPDOWN, kChild, 0, 0,
     [](std::uint32_t) {
         return Type::Combo;
     }},
};

const KindRule* kindRule(int kind) {
    for (const KindRule& rule : kKindRules) {
        if (rule.kind == kind) {
            return &rule;
        }
    }
    return nullptr;
}

// kCustom: the class names understood, case-insensitive; the style is taken as given.
struct ClassRule {
    const char* name;
    Type (*type)(std::uint32_t style);
};

constexpr ClassRule kClassRules[] = {
    {"msctls_trackbar32",
     [](std::uint32_t) {
         return Type::TrackBar;
     }},
    {"scrollbar",
     [](std::uint32_t) {
         return Type::ScrollBar;
     }},
    {"static",
     [](std::uint32_t style) {
         return (style & 0x1Fu) == SS_OWNERDRAW ? Type::Graphic : Type::Label;
     }},
    {"button", buttonType},
    {"edit",
     [](std::uint32_t) {
         return Type::Edit;
     }},
    {"combobox",
     [](std::uint32_t) {
         return Type::Combo;
     }},
};

// The control type of a kind (or of a class name with kCustom); false when it names none.
bool resolveType(int kind, const std::string& className, std::uint32_t style, Type& type) {
    if (kind == kCustom) {
        const QString name = fromUtf8(className);
        for (const ClassRule& rule : kClassRules) {
            if (name.compare(QLatin1String(rule.name), Qt::CaseInsensitive) == 0) {
                type = rule.type(style);
                return true;
            }
        }
        return false;
    }
    const KindRule* rule = kindRule(kind);
    if (rule == nullptr) {
        return false;
    }
    type = rule->type(style);
    return true;
}

// --- the operations of each kind ----------------------------------------------------------------

std::string buttonText(const ControlRecord& c) {
    return toUtf8(static_cast<QAbstractButton*>(c.widget.data())->text());
}
void setButtonText(ControlRecord& c, const std::string& text) {
    static_cast<QAbstractButton*>(c.widget.data())->setText(fromUtf8(text));
}

QWidget* createPushButton(ControlRecord& c, QWidget* parent, std::uint32_t, const std::string& text,
                          const std::vector<std::string>*, const Rect&) {
    auto* button = new QPushButton(fromUtf8(text), parent);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button,
                     [command = commandSender(c)] { command(BN_CLICKED); });
    return button;
}

// A radio button, or with BS_AUTOCHECKBOX a check box that turns on and off by itself.
QWidget* createOption(ControlRecord& c, QWidget* parent, std::uint32_t, const std::string& text,
                      const std::vector<std::string>*, const Rect&) {
    const bool checkBox = (c.style & 0xFu) == BS_AUTOCHECKBOX;
    QAbstractButton* option =
        checkBox ? static_cast<QAbstractButton*>(new QCheckBox(fromUtf8(text), parent))
                 : new QRadioButton(fromUtf8(text), parent);
    option->setAutoExclusive(!checkBox);
    QObject::connect(option, &QAbstractButton::clicked, option,
                     [command = commandSender(c)] { command(BN_CLICKED); });
    return option;
}

// A label of one line keeps the width the layout gives it, as the platform's does: a text
// wider than that is drawn in a smaller font (down to three quarters of the dialog's, not
// below 6 points), then cut short with an ellipsis, instead of running into the control
// beside it. The text reads back whole.
class FittedLabel final : public QLabel {
public:
    using QLabel::QLabel;

    void setFullText(const QString& text) {
        full_ = text;
        fit();
    }
    const QString& fullText() const { return full_; }

    void fit() {
        const QFont base = parentWidget() != nullptr ? parentWidget()->font() : QFont();
        if (wordWrap()) {
            setFont(base);
            setText(full_);
            return;
        }
        const int room = contentsRect().width() - 2;
        QFont font = base;
        const double smallest = std::max(6.0, base.pointSizeF() * 0.75);
        for (double size = base.pointSizeF(); size >= smallest; size -= 0.5) {
            font.setPointSizeF(size);
            if (QFontMetrics(font).elidedText(full_, Qt::ElideRight, room) == full_) {
                break;
            }
        }
        setFont(font);
        setText(QFontMetrics(font).elidedText(full_, Qt::ElideRight, room));
    }

private:
    QString full_;
};

QWidget* createLabel(ControlRecord& c, QWidget* parent, std::uint32_t exStyle,
                     const std::string& text, const std::vector<std::string>*, const Rect&) {
    auto* label = new FittedLabel(parent);
    label->setFullText(fromUtf8(text));
    label->setTextFormat(Qt::PlainText);
    const std::uint32_t style = c.style;
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

std::string labelText(const ControlRecord& c) {
    return toUtf8(static_cast<FittedLabel*>(c.widget.data())->fullText());
}
void setLabelText(ControlRecord& c, const std::string& text) {
    static_cast<FittedLabel*>(c.widget.data())->setFullText(fromUtf8(text));
}

void placeLabel(QWidget& w, const Rect& px) {
    auto& label = static_cast<FittedLabel&>(w);
    const QFont base = w.parentWidget() != nullptr ? w.parentWidget()->font() : w.font();
    if (px.height < 2 * QFontMetrics(base).lineSpacing()) {
        label.setWordWrap(false);
    }
    w.setGeometry(px.x, px.y, std::max(0, px.width), std::max(0, px.height));
    label.fit();
}

QWidget* createEdit(ControlRecord& c, QWidget* parent, std::uint32_t exStyle,
                    const std::string& text, const std::vector<std::string>*, const Rect&) {
    auto* edit = new QLineEdit(fromUtf8(text), parent);
    edit->setFrame((c.style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
    edit->setReadOnly(c.style & ES_READONLY);
    // The platform reports every change of the text, also one made by the program.
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [command = commandSender(c)] { command(EN_CHANGE); });
    return edit;
}

std::string editText(const ControlRecord& c) {
    return toUtf8(static_cast<QLineEdit*>(c.widget.data())->text());
}
void setEditText(ControlRecord& c, const std::string& text) {
    static_cast<QLineEdit*>(c.widget.data())->setText(fromUtf8(text));
}

QWidget* createGraphic(ControlRecord& c, QWidget* parent, std::uint32_t, const std::string& text,
                       const std::vector<std::string>*, const Rect& px) {
    c.windowText = text;
    QWidget* area = detail::createGraphicArea(parent, px.width, px.height);
    area->setAttribute(Qt::WA_TransparentForMouseEvents);
    return area;
}

using Focus = ControlOps::Focus;

const ControlOps pushButtonOps{.create = createPushButton,
                               .getText = buttonText,
                               .setText = setButtonText,
                               .focus = Focus::ByTabStop,
                               .clickable = true,
                               .enterClicks = true};
const ControlOps labelOps{.create = createLabel,
                          .getText = labelText,
                          .setText = setLabelText,
                          .place = placeLabel,
                          .focus = Focus::Never};
const ControlOps optionOps{.create = createOption,
                           .getText = buttonText,
                           .setText = setButtonText,
                           .focus = Focus::ByTabStop,
                           .clickable = true,
                           .checkable = true};
const ControlOps editOps{
    .create = createEdit, .getText = editText, .setText = setEditText, .focus = Focus::ByTabStop};
const ControlOps graphicOps{.create = createGraphic, .focus = Focus::Never};
// --- colours
// --------------------------------------------------------------------------------------

// A control's colours go to its own palette roles, so only the part the platform colours
// changes (an option's indicator keeps its look); a field colours its text and base.
void applyColours(ControlRecord& c) {
    QWidget* w = c.widget;
    if (!w) {
        return;
    }
    const ControlOps& ops = opsOf(c.type);
    const QPalette::ColorRole textRole = ops.fieldColours ? QPalette::Text : w->foregroundRole();
    const QPalette::ColorRole backgroundRole =
        ops.fieldColours ? QPalette::Base : w->backgroundRole();
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
    if (ops.applyPalette) {
        ops.applyPalette(*w, palette);
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

} // namespace

namespace internal {

const ControlOps& opsOf(Type type) {
    // In the order of Type.
    static const std::array<const ControlOps*, 9> table{
        &pushButtonOps, &ownerDrawButtonOps, &labelOps,    &optionOps,   &editOps,
        &graphicOps,    &comboOps,           &trackBarOps, &scrollBarOps};
    return *table[static_cast<std::size_t>(type)];
}

void CommandSender::operator()(std::uint32_t code) const {
    dispatch(dialog, WM_COMMAND, makeWParam(id, code), control);
}

CommandSender commandSender(const ControlRecord& c) {
    return {c.dialog, c.handle, static_cast<std::uint32_t>(c.id)};
}

void placeControl(const DialogRecord& rec, ControlRecord& c) {
    const Rect px = toPixels(rec, c.rect);
    QWidget* w = c.widget;
    if (const auto place = opsOf(c.type).place) {
        place(*w, px);
    } else {
        w->setGeometry(px.x, px.y, std::max(0, px.width), std::max(0, px.height));
    }
}

} // namespace internal

namespace detail {

std::uint32_t effectiveControlStyle(int kind, std::uint32_t style) {
    const KindRule* rule = kind == kCustom ? nullptr : kindRule(kind);
    if (rule == nullptr) {
        return style;
    }
    return ((style == 0 ? rule->defaultStyle : style) | rule->added) & ~rule->removed;
}

std::uint32_t effectiveControlExStyle(int kind, std::uint32_t style, std::uint32_t exStyle) {
    const KindRule* rule = kind == kCustom ? nullptr : kindRule(kind);
    return rule != nullptr && style == 0 ? exStyle | rule->defaultExStyle : exStyle;
}

} // namespace detail

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
    Type type = Type::Label;
    if (!resolveType(kind, className, finalStyle, type)) {
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

    const ControlOps& ops = opsOf(type);
    QWidget* widget =
        ops.create(*c, rec->client, finalExStyle, text, list, toPixels(*rec, c->rect));
    c->widget = widget;
    widget->setObjectName(QStringLiteral("vesk-control-%1").arg(id));
    const bool tabStop = (finalStyle & WS_TABSTOP) != 0;
    switch (ops.focus) {
    case ControlOps::Focus::Never:
        widget->setFocusPolicy(Qt::NoFocus);
        break;
    case ControlOps::Focus::ByTabStop:
        widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        break;
    case ControlOps::Focus::OnlyWithTabStop:
        if (tabStop) {
            widget->setFocusPolicy(Qt::StrongFocus);
        }
        break;
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

std::string controlGetText(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    if (!c) {
        return {};
    }
    const auto getText = opsOf(c->type).getText;
    return getText ? getText(*c) : c->windowText;
}

void controlSetText(Window dialog, std::int32_t id, const std::string& text) {
    auto c = findControl(dialog, id);
    if (!c) {
        return;
    }
    if (const auto setText = opsOf(c->type).setText) {
        setText(*c, text);
    } else {
        c->windowText = text;
    }
}

void controlEnable(Window dialog, std::int32_t id, bool enabled) {
    QWidget* w =
        id == kDialogItself ? detail::dialogWidget(dialog) : detail::controlWidget(dialog, id);
    if (w != nullptr) {
        w->setEnabled(enabled);
    }
}

bool controlIsEnabled(Window dialog, std::int32_t id) {
    // The window's own state, not what it inherits from a disabled parent.
    QWidget* w =
        id == kDialogItself ? detail::dialogWidget(dialog) : detail::controlWidget(dialog, id);
    return w != nullptr && !w->testAttribute(Qt::WA_ForceDisabled);
}

void controlSetToolTip(Window dialog, std::int32_t id, const std::string& text) {
    if (QWidget* w = detail::controlWidget(dialog, id)) {
        w->setToolTip(fromUtf8(text));
    }
}

std::string controlToolTip(Window dialog, std::int32_t id) {
    const QWidget* w = detail::controlWidget(dialog, id);
    return w != nullptr ? toUtf8(w->toolTip()) : std::string();
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
    if (!c || !opsOf(c->type).checkable) {
        return;
    }
    auto* button = static_cast<QAbstractButton*>(c->widget.data());
    if (checked) {
        button->setChecked(true);
    } else {
        // An auto-exclusive button refuses to clear itself; the program may clear it.
        const bool exclusive = button->autoExclusive();
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(exclusive);
    }
}

bool controlGetCheck(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c && opsOf(c->type).checkable &&
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

void buttonClick(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    if (!c || !opsOf(c->type).clickable) {
        return;
    }
    auto* button = static_cast<QAbstractButton*>(c->widget.data());
    if (button != nullptr && button->isEnabled() && button->isVisibleTo(button->parentWidget())) {
        button->click(); // emits clicked, which sends the command
    }
}

} // namespace vesk::ui
