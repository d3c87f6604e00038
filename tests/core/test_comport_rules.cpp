// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/comport_devices.h"
#include "devices/comport_rules.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace vesk {
namespace {

TEST(ComportCurrentText, SignPositionThenDigits) {
    const struct {
        std::int32_t number;
        const char* text;
    } cases[] = {
        {3, "COM 3"},
        {0, "COM 0"},
        {123, "COM 123"},
        {-2, "COM-2"},
        {std::numeric_limits<std::int32_t>::max(), "COM 2147483647"},
        {std::numeric_limits<std::int32_t>::min(), "COM-2147483648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(comportCurrentText(c.number), c.text) << c.number;
    }
}

TEST(ComportChoices, NoneThenNumericOrderThenEndMarker) {
    const auto choices = comportChoices();
    ASSERT_EQ(choices.size(), 101u);
    EXPECT_EQ(choices[0], "none");
    EXPECT_EQ(choices[1], "COM 1");
    EXPECT_EQ(choices[9], "COM 9");
    EXPECT_EQ(choices[10], "COM 10");
    EXPECT_EQ(choices[99], "COM 99");
    EXPECT_EQ(choices[100], "");
    for (int i = 1; i <= 99; ++i) {
        EXPECT_EQ(comportNumberFromAnswer(choices[static_cast<std::size_t>(i)]), i);
    }
}

// Entries that name a device give their port; typed answers keep the last-two rule, also when
// they look like an entry that is not in the list.
TEST(ComportNumberFromAnswer, ListEntriesWithADevice) {
    std::vector<std::string> choices = comportChoices();
    choices[7] = "COM 7  /dev/pts/4";
    choices[33] = "COM 33  /dev/ttyUSB0  usb-FTDI_FT232R_USB_UART_A9-if00-port0";
    EXPECT_EQ(comportNumberFromAnswer(choices[7], choices), 7);
    EXPECT_EQ(comportNumberFromAnswer(choices[33], choices), 33);
    EXPECT_EQ(comportNumberFromAnswer("COM 12", choices), 12);
    EXPECT_EQ(comportNumberFromAnswer("none", choices), 0);
    EXPECT_EQ(comportNumberFromAnswer("COM 8  /dev/pts/4", choices), 0); // "/4": no number
    EXPECT_EQ(comportNumberFromAnswer("", choices), 0);
}

// Only a port whose device is there names it: COM7 leads to a pseudo-terminal, COM8 to a link
// whose target has gone, COM9 to nothing.
TEST(ComportChoicesWithDevices, NameTheDeviceOfEachPortThatHasOne) {
    ScratchFolder ports;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    std::filesystem::create_symlink(device, ports.file("COM7"));
    std::filesystem::create_symlink(ports.file("unplugged"), ports.file("COM8"));
    const EnvOverride dir("VESK_COMPORT_DIR", ports.path().string());
    const std::vector<std::string> choices = comportChoicesWithDevices();
    EXPECT_EQ(comportDeviceLabel(7), device);
    ::close(master);

    ASSERT_EQ(choices.size(), 101u);
    std::vector<std::string> expected = comportChoices();
    expected[7] += "  " + device;
    EXPECT_EQ(choices, expected);
    EXPECT_EQ(comportNumberFromAnswer(choices[7], choices), 7);
}

TEST(ComportNumberFromAnswer, LastTwoCharactersReadAsNumber) {
    const struct {
        const char* answer;
        std::int32_t number;
    } cases[] = {
        {"COM 7", 7},    {"COM 12", 12}, {"COM 99", 99}, {"none", 0},
        {"5", 5},        {"05", 5},      {"COM5", 0},                // "M5" is no number
        {"COM 123", 23}, {"COM-2", 0},                               // -2 is below 1
        {"COM 0", 0},    {"", 0},        {" ", 0},       {"\t8", 8}, // leading tab skipped
        {"\n9", 9},                                                  // leading line feed skipped
        {"7 ", 7},                                                   // reading stops at the blank
        {"4x", 4},                                                   // ... and at a letter
        {"+6", 6},       {"-9", 0},      {"1.", 1},      {".9", 0},  // floor of 0.9
        {"9.", 9},       {"COM 1.5", 0},                             // ".5"
        {"12345", 45},   {"e5", 0},      {"COM 3\r", 3}, // the number ends at the carriage return
    };
    for (const auto& c : cases) {
        EXPECT_EQ(comportNumberFromAnswer(c.answer), c.number) << '"' << c.answer << '"';
    }
}

TEST(ComportNumberFromAnswer, CountsCharactersNotBytes) {
    // "é" is two bytes in UTF-8; as characters the tail of "COM 5é" is "5é".
    EXPECT_EQ(comportNumberFromAnswer("COM 5\xC3\xA9"), 5);
    EXPECT_EQ(comportNumberFromAnswer("\xC3\xA9"
                                      "42"),
              42);
    EXPECT_EQ(comportNumberFromAnswer("\xE2\x82\xAC"
                                      "7"),
              0); // "€7": the euro sign leads
}

} // namespace
} // namespace vesk
