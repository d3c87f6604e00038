// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

namespace vesk::platform {

// Tells the service manager (systemd) how a long-running command stands, through the socket it
// names in NOTIFY_SOCKET: ready, what the program is doing, stopping. While the manager
// watches the program (WATCHDOG_USEC, a unit's WatchdogSec=), a timer on the event loop feeds
// its watchdog every half of that period, so a loop that hangs stops feeding it and the
// manager ends and restarts the program. Without a manager every call does nothing.
//
// Callers guarantee: a QCoreApplication exists; every call comes from its thread, the one
// whose event loop is to be watched.
// The notifier guarantees: a status never carries a line break (it would start another of the
// protocol's assignments); a failed send is dropped, the program goes on.
class ServiceNotifier {
public:
    ServiceNotifier();
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    // The start is complete: READY=1, with the one-line `status` the manager shows
    // ("playing beacon.txt").
    void ready(const std::string& status);
    // What the program is doing now, one line.
    void status(const std::string& status);
    // The program is on its way out: STOPPING=1 and `status`.
    void stopping(const std::string& status);

private:
    struct Detail;
    std::unique_ptr<Detail> detail_;
};

} // namespace vesk::platform
