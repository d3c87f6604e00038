// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/service_notify.h"
#include "session/beacon_session.h"

#include <cstdint>
#include <string>

namespace vesk::cli {

// A beacon session as the service manager shows it (`systemctl status`): ready once the sound
// of the first Turn On plays, a status line per cycle, planned transmission and problem, and
// stopping at the end; meanwhile the notifier feeds the manager's watchdog from the
// event loop. Outside a service it does nothing.
class ServiceView : public SessionView {
public:
    // `what` leads every status line, e.g. "playing beacon.txt".
    explicit ServiceView(std::string what);
    // Says it is stopping: the owner destroys the view on its way out, however it ends. One
    // view may serve several sessions in turn.
    ~ServiceView() override;
    ServiceView(const ServiceView&) = delete;
    ServiceView& operator=(const ServiceView&) = delete;

    // Ready now, for a front end whose first sound may be hours away (a plan's runner).
    void started();
    void playingChanged(bool playing) override;
    void cyclePlayed(long cycle, std::int64_t underruns) override;
    void nextTransmission(UtcNanoseconds at) override;
    void problem(SessionProblem kind, const std::string& message) override;

private:
    void show(const std::string& line);

    platform::ServiceNotifier notifier_;
    std::string what_;
    std::string status_; // the line shown last
    bool ready_ = false;
};

} // namespace vesk::cli
