// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The GUI tests share one application object; without a display they draw offscreen.
int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    testing::InitGoogleTest(&argc, argv);
    vesk::ui::initialise(argc, argv);
    return RUN_ALL_TESTS();
}
