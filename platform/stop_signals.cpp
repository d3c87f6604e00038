// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/stop_signals.h"

#include <pthread.h>

namespace vesk::platform {

namespace {

void changeMask(int how) {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : kStopSignals) {
        sigaddset(&set, number);
    }
    pthread_sigmask(how, &set, nullptr);
}

} // namespace

void holdStopSignals() {
    changeMask(SIG_BLOCK);
}

void letStopSignalsThrough() {
    changeMask(SIG_UNBLOCK);
}

} // namespace vesk::platform
