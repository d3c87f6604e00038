// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dot_timer.h"

#include <QTimer>

#include <algorithm>

namespace vesk::platform {

namespace {

// A precise timer: a coarse one may drift by 5 % of its period, which over a 600-dot cycle
// would move the views a long way from the sound they follow.
class QtDotTimer : public DotTimer {
public:
    explicit QtDotTimer(std::function<void()> tick) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
    }
    void start(int milliseconds) override { timer_.start(std::max(milliseconds, 1)); }
    void stop() override { timer_.stop(); }

private:
    QTimer timer_;
};

} // namespace

std::unique_ptr<DotTimer> makeDotTimer(std::function<void()> tick) {
    return std::make_unique<QtDotTimer>(std::move(tick));
}

} // namespace vesk::platform
