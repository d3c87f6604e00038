// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/serial_lines.h"

#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using vesk::EnvOverride;
using vesk::openDescriptors;
using vesk::platform::comportDevicePath;
using vesk::platform::PttLines;
using vesk::platform::PttMethod;
using vesk::platform::SerialLines;

namespace {

using Calls = std::vector<std::pair<unsigned long, int>>;
const Calls kReleased = {{TIOCMBIC, TIOCM_DTR}, {TIOCMBIC, TIOCM_RTS}};
const Calls kKeyed = {{TIOCMBIS, TIOCM_DTR}, {TIOCMBIS, TIOCM_RTS}};

// Records each modem-line call. It stands in for a port with modem lines (every call works)
// unless `passOn` hands the calls to the real device, or `failing` names a call that fails
// with `error`.
class RecordingLines : public SerialLines {
public:
    Calls calls;
    bool passOn = false;
    std::pair<unsigned long, int> failing{0, 0};
    int error = EIO;

protected:
    int modemIoctl(unsigned long request, int bits) override {
        calls.emplace_back(request, bits);
        if (std::pair(request, bits) == failing) {
            errno = error;
            return -1;
        }
        return passOn ? SerialLines::modemIoctl(request, bits) : 0;
    }
};

// DTR and RTS as "DTR+ RTS-" after `calls`, from both asserted as the kernel leaves them at open.
std::string lineState(const Calls& calls) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    for (const auto& [request, bits] : calls) {
        lines = request == TIOCMBIS ? lines | bits : lines & ~bits;
    }
    return std::string("DTR") + ((lines & TIOCM_DTR) != 0 ? '+' : '-') + " RTS" +
           ((lines & TIOCM_RTS) != 0 ? '+' : '-');
}

// Each test gets its own VESK_COMPORT_DIR, so none can reach a real /dev/ttyS*, and a pty
// whose slave stands in for a serial port, linked as COM7.
class SerialLinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[PATH_MAX] = {};
        ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        link("COM7", name);
        slavePath_ = name;
    }
    void TearDown() override {
        ::close(slave_);
        ::close(master_);
    }
    void link(const std::string& com, const fs::path& target) const {
        fs::create_symlink(target, dir_ / com);
    }

    vesk::ScratchFolder folder_;
    const fs::path& dir_ = folder_.path();
    EnvOverride env_{"VESK_COMPORT_DIR", dir_.string()};
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

TEST_F(SerialLinesTest, OpenFailuresSayWhyAndLeaveNothingOpen) {
    std::ofstream(dir_ / "COM6") << "not a port\n";
    link("COM8", "/dev/null");
    fs::create_directory(dir_ / "COM10");
    const std::string d = dir_.string();
    const std::pair<std::int32_t, std::string> cases[] = {
        {5, "COM5: " + d + "/COM5: No such file or directory"},
        {6, "COM6: not a serial device"},
        {8, "COM8: not a serial device"}, // a character device, but no terminal
        {10, "COM10: " + d + "/COM10: Is a directory"},
    };
    const std::size_t before = openDescriptors();
    for (const auto& [number, message] : cases) {
        RecordingLines lines;
        EXPECT_EQ(lines.open(number).message(), message);
        EXPECT_FALSE(lines.isOpen()) << number;
        EXPECT_TRUE(lines.calls.empty()) << "lines touched on a failed open of " << number;
    }
    EXPECT_EQ(openDescriptors(), before) << "a failed open leaked its descriptor";
}

TEST_F(SerialLinesTest, PortIsExclusiveUntilClosed) {
    link("COM8", slavePath_); // the same device under a second name
    SerialLines first;
    ASSERT_TRUE(first.open(7).ok());
    for (std::int32_t number : {7, 8}) {
        SerialLines second;
        EXPECT_EQ(second.open(number).message(),
                  "COM" + std::to_string(number) + ": in use by another program");
    }
    EXPECT_TRUE(first.isOpen());

    int exclusive = 0;
    ASSERT_EQ(::ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    first.close();
    ASSERT_EQ(::ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "the exclusive flag outlived the close";
    SerialLines third;
    EXPECT_TRUE(third.open(8).ok());
}

TEST_F(SerialLinesTest, OpenSetsHupclAloneAndLinesChangeDtrFirstThenRts) {
    termios before{};
    ASSERT_EQ(::tcgetattr(slave_, &before), 0);
    before.c_cflag &= ~tcflag_t{HUPCL};
    ASSERT_EQ(::tcsetattr(slave_, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(slave_, &before), 0);
    RecordingLines lines;
    ASSERT_TRUE(lines.open(7).ok());
    EXPECT_EQ(lines.calls, kReleased) << "the lines must drop straight after open";
    lines.calls.clear();
    EXPECT_TRUE(lines.setLines(true).ok());
    EXPECT_EQ(lines.calls, kKeyed);
    lines.calls.clear();
    EXPECT_TRUE(lines.setLines(false).ok());
    EXPECT_EQ(lines.calls, kReleased);
    lines.close();
    EXPECT_FALSE(lines.isOpen());
    lines.calls.clear();
    EXPECT_FALSE(lines.setLines(false).ok()) << "a closed port has no lines to change";
    EXPECT_TRUE(lines.calls.empty());
    termios after{};
    ASSERT_EQ(::tcgetattr(slave_, &after), 0);
    EXPECT_TRUE(after.c_cflag & HUPCL) << "a kill would leave the lines as they are";
    after.c_cflag &= ~tcflag_t{HUPCL};
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "other settings changed";
}

// Every method keys its own lines and holds the other cleared; an inverted one keys by clearing
// and keeps its lines on close, where a dropped line would key the transmitter.
TEST_F(SerialLinesTest, EachMethodSetsItsLinesAndPolarity) {
    struct Case {
        PttMethod method;
        const char* keyed;
        const char* released;
    };
    const Case cases[] = {
        {{PttLines::DtrRts, false}, "DTR+ RTS+", "DTR- RTS-"},
        {{PttLines::Dtr, false}, "DTR+ RTS-", "DTR- RTS-"},
        {{PttLines::Rts, false}, "DTR- RTS+", "DTR- RTS-"},
        {{PttLines::DtrRts, true}, "DTR- RTS-", "DTR+ RTS+"},
        {{PttLines::Dtr, true}, "DTR- RTS-", "DTR+ RTS-"},
        {{PttLines::Rts, true}, "DTR- RTS-", "DTR- RTS+"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.method.lines)) +
                     (c.method.inverted ? " inverted" : ""));
        RecordingLines lines;
        lines.setMethod(c.method);
        ASSERT_TRUE(lines.open(7).ok());
        EXPECT_EQ(lineState(lines.calls), c.released) << "after open";
        termios settings{};
        ASSERT_EQ(::tcgetattr(slave_, &settings), 0);
        EXPECT_EQ((settings.c_cflag & HUPCL) != 0, !c.method.inverted);
        ASSERT_TRUE(lines.setLines(true).ok());
        EXPECT_EQ(lineState(lines.calls), c.keyed);
        lines.setMethod({}); // an open port keeps the method it was opened with
        ASSERT_TRUE(lines.setLines(false).ok());
        EXPECT_EQ(lineState(lines.calls), c.released);
        EXPECT_EQ(lines.calls.size(), 6U) << "each change sets both lines";
    }
}

// A failed change names the port, the line and the reason; a half keying is undone; a port
// whose lines cannot drop at open is refused, while one without modem lines (the pty itself:
// ENOTTY) opens and fails to key.
TEST_F(SerialLinesTest, FailedLineChangesAreReported) {
    {
        RecordingLines lines;
        lines.failing = {TIOCMBIS, TIOCM_RTS};
        ASSERT_TRUE(lines.open(7).ok());
        lines.calls.clear();
        EXPECT_EQ(lines.setLines(true).message(), "COM7: cannot raise RTS: Input/output error");
        Calls undone = kKeyed;
        undone.insert(undone.end(), kReleased.begin(), kReleased.end());
        EXPECT_EQ(lines.calls, undone) << "DTR left raised after RTS failed";
        EXPECT_TRUE(lines.setLines(false).ok());
    }
    {
        const std::size_t before = openDescriptors();
        RecordingLines lines;
        lines.failing = {TIOCMBIC, TIOCM_DTR};
        EXPECT_EQ(lines.open(7).message(), "COM7: cannot drop DTR: Input/output error");
        EXPECT_FALSE(lines.isOpen());
        EXPECT_EQ(lines.calls, kReleased) << "RTS must still be dropped";
        EXPECT_EQ(openDescriptors(), before);
    }
    {
        RecordingLines lines;
        lines.passOn = true;
        ASSERT_TRUE(lines.open(7).ok());
        EXPECT_EQ(lines.setLines(true).message(),
                  "COM7: cannot raise DTR: Inappropriate ioctl for device");
    }
}

// Only computes paths (and opens a number that has none): nothing under /dev is opened.
TEST_F(SerialLinesTest, DevicePathFromTheTableOwnLinksOrTheVariable) {
    env_.set(std::nullopt);
    const EnvOverride home("HOME", dir_.string());
    const EnvOverride config("XDG_CONFIG_HOME", std::nullopt);
    const std::pair<std::int32_t, const char*> named[] = {
        {1, "/dev/ttyS0"},     {32, "/dev/ttyS31"},  {33, "/dev/ttyUSB0"},
        {64, "/dev/ttyUSB31"}, {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}};
    for (const auto& [number, path] : named) {
        EXPECT_EQ(comportDevicePath(number), path);
    }
    for (std::int32_t number : {97, 0, -1, INT32_MAX}) {
        EXPECT_EQ(comportDevicePath(number), "") << number;
    }

    const fs::path own = dir_ / ".config/vesk/comports";
    fs::create_directories(own);
    fs::create_symlink("/dev/null", own / "COM3");
    fs::create_symlink(own / "unplugged", own / "COM97"); // dangling still counts
    EXPECT_EQ(comportDevicePath(3), (own / "COM3").string());
    EXPECT_EQ(comportDevicePath(97), (own / "COM97").string());
    EXPECT_EQ(comportDevicePath(4), "/dev/ttyS3");
    SerialLines lines;
    EXPECT_EQ(lines.open(200).message(), "COM200: no device for this number");

    // The settings folder moves with XDG_CONFIG_HOME, and the links with it.
    const fs::path moved = dir_ / "elsewhere/vesk/comports";
    fs::create_directories(moved);
    fs::create_symlink("/dev/null", moved / "COM4");
    config.set((dir_ / "elsewhere").string());
    EXPECT_EQ(comportDevicePath(4), (moved / "COM4").string());
    EXPECT_EQ(comportDevicePath(3), "/dev/ttyS2");

    env_.set("/tmp/x"); // wins over own links and the table
    EXPECT_EQ(comportDevicePath(3), "/tmp/x/COM3");
    EXPECT_EQ(comportDevicePath(-2), "/tmp/x/COM-2");
}

} // namespace
