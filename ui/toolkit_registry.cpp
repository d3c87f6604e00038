// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/toolkit_detail.h"

#include <QByteArray>
#include <QWidget>

#include <climits>

// Handles and the records behind them: dialogs, controls and menus.
namespace vesk::ui {

namespace internal {

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

} // namespace internal

using namespace internal;

namespace detail {

BaseUnits dialogBaseUnits(Window dialog) {
    auto rec = findDialog(dialog);
    return rec ? rec->base : BaseUnits{};
}

QWidget* dialogWidget(Window dialog) {
    auto rec = findDialog(dialog);
    return rec ? rec->window.data() : nullptr;
}

QWidget* controlWidget(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c ? c->widget.data() : nullptr;
}

} // namespace detail

bool windowExists(Window window) {
    return registry().dialogs.count(window) != 0 || registry().controls.count(window) != 0;
}

Window controlHandle(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c ? c->handle : 0;
}

std::int32_t controlId(Window control) {
    auto c = controlByHandle(control);
    return c ? c->id : 0;
}

} // namespace vesk::ui
