// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_main.h"

int main(int argc, char** argv) {
    return vesk::appMain(argc, argv);
}
