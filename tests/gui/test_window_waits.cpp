// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_waits.h"

#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vesk {
namespace {

// A long render or write runs off the window's thread: the window keeps turning (a timer
// ticks), takes no input meanwhile, and has drawn what the work handed over before it returns.
TEST(WindowWaits, TheWindowTurnsWithoutInputWhileTheWorkRuns) {
    QWidget window;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(10);
    const std::thread::id windowThread = std::this_thread::get_id();
    bool enabledDuring = true;
    int drawn = 0;
    const std::thread::id workThread = whileWindowWaits(&window, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        enabledDuring = window.isEnabled();
        for (int step = 1; step <= 3; ++step) {
            inWindow([&drawn, step] { drawn = step; });
        }
        return std::this_thread::get_id();
    });
    EXPECT_NE(workThread, windowThread);
    EXPECT_GE(ticks, 10) << "the window's thread waited for the work";
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(drawn, 3) << "the last progress is drawn before the caller goes on";

    // A window that was disabled already stays so.
    window.setEnabled(false);
    EXPECT_EQ(whileWindowWaits(&window, [] { return 7; }), 7);
    EXPECT_FALSE(window.isEnabled());
}

} // namespace
} // namespace vesk
