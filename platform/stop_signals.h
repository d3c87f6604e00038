// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>

namespace vesk::platform {

// The signals that ask a process to end.
inline constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// Holds the stop signals back for the calling thread and every thread it starts, so that one
// that comes before its handler is in place waits for it instead of ending the program by its
// default action. The first code of a program that keys a transmitter, before any library
// starts a thread: called from the program's pre-initialiser (VESK_HOLD_STOP_SIGNALS_AT_LOAD).
// A SignalWatch lets the signals it watches through once its handler is in place. The mask and
// the signals waiting survive exec: a launcher that holds them and becomes its helper hands
// both over.
void holdStopSignals();

// Put once beside main(): holdStopSignals runs from the executable's .preinit_array, which the
// loader calls as soon as it has linked the program, before any library initialises itself (and
// might start a thread that would not hold them). Only the loader's own work comes earlier.
#define VESK_HOLD_STOP_SIGNALS_AT_LOAD()                                                           \
    [[gnu::used, gnu::section(".preinit_array")]] static void (*const veskHoldStopSignals)(        \
        int, char**, char**) = [](int, char**, char**) {                                           \
        vesk::platform::holdStopSignals();                                                         \
    }

// Lets the stop signals through to the calling thread again: those that came while they were
// held are delivered now, to whatever action they have by then.
void letStopSignalsThrough();

} // namespace vesk::platform
