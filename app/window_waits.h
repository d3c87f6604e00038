// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <future>
#include <type_traits>
#include <utility>

namespace vesk {

// Runs `work` on a thread of its own and returns what it gives, while the window's thread keeps
// painting and hearing the beacon: `owner` takes no input meanwhile, as under a modal box, so
// nothing is applied behind the operator's back. What `work` hands to the window's thread
// (inWindow) has run by the time this returns.
template <typename Work> std::invoke_result_t<Work> whileWindowWaits(QWidget* owner, Work work) {
    const QPointer<QWidget> window = owner;
    const bool enabled = owner != nullptr && owner->isEnabled();
    if (enabled) {
        owner->setEnabled(false);
    }
    auto done = std::async(std::launch::async, std::move(work));
    while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        done.wait_for(std::chrono::milliseconds(5));
    }
    QCoreApplication::processEvents();
    if (enabled && window) {
        window->setEnabled(true);
    }
    return done.get();
}

// Runs `call` on the window's thread, after what was handed over before.
inline void inWindow(std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

} // namespace vesk
