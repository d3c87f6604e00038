// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/service_view.h"

namespace vesk::cli {

ServiceView::ServiceView(std::string what) : what_(std::move(what)) {}

ServiceView::~ServiceView() {
    notifier_.stopping("stopping");
}

void ServiceView::playingChanged(bool playing) {
    if (!playing) {
        return;
    }
    // Ready once, keeping what was said before it (a transmission planned on the clock); a
    // sound output that opens again later is only news.
    if (ready_) {
        show(what_);
    } else {
        ready_ = true;
        notifier_.ready(status_.empty() ? what_ : status_);
    }
}

void ServiceView::started() {
    if (!ready_) {
        ready_ = true;
        notifier_.ready(status_.empty() ? what_ : status_);
    }
}

void ServiceView::cyclePlayed(long cycle, std::int64_t underruns) {
    show(what_ + ": cycle " + std::to_string(cycle) + " played, " + std::to_string(underruns) +
         (underruns == 1 ? " underrun" : " underruns"));
}

void ServiceView::nextTransmission(UtcNanoseconds at) {
    if (at >= 0) {
        show(what_ + ": next transmission at " + formatUtcTime(at));
    }
}

void ServiceView::problem(SessionProblem, const std::string& message) {
    show(message);
}

void ServiceView::show(const std::string& line) {
    status_ = line;
    notifier_.status(line);
}

} // namespace vesk::cli
