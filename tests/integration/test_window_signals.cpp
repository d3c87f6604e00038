// SPDX-License-Identifier: GPL-3.0-or-later
// The window program ended by a signal, run offscreen as a person would start it.
#include "tests/integration/fake_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

namespace vesk {
namespace {

using namespace std::chrono_literals;

const std::string kController = VESK_CONTROLLER_PATH;

// Whatever it is doing (idle with the port open, or inside a modal box at start-up), the
// window leaves within a second with status 0, the lines released and the port closed (HUPCL
// on), and the settings file written.
TEST(WindowSignals, EndTheProgramReleasedWithTheSettingsWritten) {
    const struct {
        int signal;
        const char* settings; // the file at start; nullptr: none
        const char* written;
    } cases[] = {
        {SIGTERM, " 7 \r\n", " 7 \r\n"}, // idle, COM7 open
        {SIGHUP, nullptr, " 0 \r\n"},    // the notice "Default comport set to 0" is open
        {SIGINT, " 5 \r\n", " 5 \r\n"},  // no COM5: "Failure to open comport" is open
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        Comport7 port;
        ASSERT_FALSE(port.device.empty());
        port.setHangUpOnClose(false);
        ScratchFolder folder;
        const std::string settings = folder.file("VESK_COMPORT.INI");
        if (c.settings != nullptr) {
            writeWholeFile(settings, c.settings);
        }
        EnvironmentChanges environment = port.modemEnvironment();
        environment["QT_QPA_PLATFORM"] = "offscreen";
        // The remembered settings and the log go to the scratch folder, not the tester's own.
        environment["XDG_CONFIG_HOME"] = folder.file("config");
        environment["XDG_STATE_HOME"] = folder.file("state");
        ChildProcess window({kController}, environment, folder.path().string());
        if (c.written[1] == '7') {
            // The descriptor shows before the open has set HUPCL on it: wait for both.
            ASSERT_TRUE(waitFor(
                [&] { return holdsOpen(window.pid(), port.device) && port.hangsUpOnClose(); },
                10s));
        } else {
            std::this_thread::sleep_for(1500ms); // time to build the window and show the box
        }
        ASSERT_TRUE(window.running()) << window.standardError();
        std::filesystem::remove(settings); // so that the file seen afterwards is a new one

        window.signal(c.signal);
        EXPECT_TRUE(window.wait(1s)) << "still running a second after the signal";
        ASSERT_TRUE(window.wait(10s)) << window.standardError();
        EXPECT_EQ(window.exitCode(), 0) << window.standardError();
        EXPECT_EQ(readWholeFile(settings), c.written);
        // Remembered settings are written once the window stands, not from its start-up notices.
        EXPECT_EQ(std::filesystem::exists(folder.file("config/vesk/settings")),
                  c.written[1] == '7');
        if (c.written[1] == '7') {
            // Dropped at open, and again on the way out.
            EXPECT_EQ(port.lineLog(), "DTR-\nRTS-\nDTR-\nRTS-\n");
        }
    }
}

// A stop signal at any moment of the start, before the handler is in place included, ends the
// window the orderly way (status 0, the lines released), never by its default action: held
// from the program's first code, it waits for the handler. The moments count from that
// first code (once it holds the signals; before it only the loader runs) over 150 ms.
TEST(WindowSignals, ASignalEarlyInTheStartEndsItTheOrderlyWay) {
    const unsigned seed = static_cast<unsigned>(::time(nullptr));
    for (const auto& [signal, moment] : stopSignalMoments(16, 150ms, seed)) {
        SCOPED_TRACE("signal " + std::to_string(signal) + " at " + std::to_string(moment.count()) +
                     " us, seed " + std::to_string(seed));
        Comport7 port;
        ASSERT_FALSE(port.device.empty());
        ScratchFolder folder;
        writeWholeFile(folder.file("VESK_COMPORT.INI"), " 7 \r\n");
        EnvironmentChanges environment = port.modemEnvironment();
        environment["QT_QPA_PLATFORM"] = "offscreen";
        environment["XDG_CONFIG_HOME"] = folder.file("config");
        environment["XDG_STATE_HOME"] = folder.file("state");
        ChildProcess window({kController}, environment, folder.path().string());
        ASSERT_TRUE(waitUntilHoldingStopSignals(window.pid()))
            << "the stop signals are not held at start";
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + moment);
        window.signal(signal);
        ASSERT_TRUE(window.wait(10s)) << window.standardError();
        EXPECT_EQ(window.endingSignal(), 0) << "ended by the default action";
        EXPECT_EQ(window.exitCode(), 0) << window.standardError();
        EXPECT_FALSE(port.keyed()) << port.lineLog();
    }
}

} // namespace
} // namespace vesk
