// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QIcon>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <climits>

// A dialog's window as a whole: title, client size, icon, picture, and its window timers.
namespace vesk::ui {

using namespace vesk::msg;
using namespace internal;

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

bool windowGrab(Window dialog, const std::string& pngPath) {
    QWidget* w = detail::dialogWidget(dialog);
    if (!w) {
        return false;
    }
    return w->grab().save(QString::fromLocal8Bit(pngPath.c_str()), "PNG");
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

} // namespace vesk::ui
