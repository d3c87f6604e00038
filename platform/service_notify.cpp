// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/service_notify.h"

#include <QTimer>

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace vesk::platform {

namespace {

void send(const std::string& assignments) {
    // The variables stay set: NOTIFY_SOCKET and WATCHDOG_USEC are read again by each call.
    static_cast<void>(sd_notify(0, assignments.c_str()));
}

std::string statusLine(std::string status) {
    std::replace_if(
        status.begin(), status.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return "STATUS=" + status;
}

} // namespace

struct ServiceNotifier::Detail {
    bool active = false;
    QTimer watchdog;
};

ServiceNotifier::ServiceNotifier() : detail_(std::make_unique<Detail>()) {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    detail_->active = socket != nullptr && *socket != '\0';
    std::uint64_t usec = 0;
    // Also false when WATCHDOG_PID names another process: the watchdog is not this one's.
    if (!detail_->active || sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) {
        return;
    }
    const auto halfMs = std::clamp<std::uint64_t>(usec / 2000, 1, 24 * 3600 * 1000);
    detail_->watchdog.setInterval(static_cast<int>(halfMs));
    QObject::connect(&detail_->watchdog, &QTimer::timeout, [] { send("WATCHDOG=1"); });
    detail_->watchdog.start();
}

ServiceNotifier::~ServiceNotifier() = default;

void ServiceNotifier::ready(const std::string& status) {
    if (detail_->active) {
        send("READY=1\n" + statusLine(status));
    }
}

void ServiceNotifier::status(const std::string& status) {
    if (detail_->active) {
        send(statusLine(status));
    }
}

void ServiceNotifier::stopping(const std::string& status) {
    if (detail_->active) {
        send("STOPPING=1\n" + statusLine(status));
    }
}

} // namespace vesk::platform
