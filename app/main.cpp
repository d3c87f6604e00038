// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_main.h"
#include "platform/stop_signals.h"

// Before Qt starts or a port opens: a stop signal that comes early waits for the handler and
// ends the program the orderly way.
VESK_HOLD_STOP_SIGNALS_AT_LOAD();

int main(int argc, char** argv) {
    return vesk::appMain(argc, argv);
}
