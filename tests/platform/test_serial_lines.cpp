#include "platform/serial_lines.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using vesk::platform::comportDevicePath;
using vesk::platform::SerialLines;

namespace {

// Sets or unsets one environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvOverride() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

fs::path makeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "vesk-serial-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr) << std::strerror(errno);
    return made != nullptr ? fs::path(made) : fs::path();
}

// A pseudo-terminal pair; the slave stands in for a serial port.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string slavePath;

    Pty() {
        char name[PATH_MAX] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            slavePath = name;
        }
    }
    ~Pty() {
        if (slave >= 0) {
            ::close(slave);
        }
        if (master >= 0) {
            ::close(master);
        }
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
};

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Records each modem-line call and passes it on to the port.
class RecordingLines : public SerialLines {
public:
    std::vector<std::pair<unsigned long, int>> calls;

protected:
    int modemIoctl(unsigned long request, int bits) override {
        calls.emplace_back(request, bits);
        return SerialLines::modemIoctl(request, bits);
    }
};

// Every test gets its own VESK_COMPORT_DIR, so no test can reach a real /dev/ttyS*.
class SerialLinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = makeTempDir();
        ASSERT_FALSE(dir_.empty());
        env_.emplace("VESK_COMPORT_DIR", dir_.string());
    }
    void TearDown() override {
        env_.reset();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path port(const std::string& name) const { return dir_ / name; }
    void linkPort(const std::string& name, const std::string& target) const {
        fs::create_symlink(target, port(name));
    }

    fs::path dir_;
    std::optional<EnvOverride> env_;
};

TEST_F(SerialLinesTest, OpenFailuresSayWhy) {
    std::ofstream(port("COM6")) << "not a port\n";
    linkPort("COM8", "/dev/null");
    linkPort("COM9", (dir_ / "unplugged").string());
    fs::create_directory(port("COM10"));
    const std::string d = dir_.string();
    const struct {
        std::int32_t number;
        std::string message;
    } cases[] = {
        {5, "COM5: " + d + "/COM5: No such file or directory"},
        {6, "COM6: not a serial device"},
        {8, "COM8: not a serial device"}, // a character device, but no terminal
        {9, "COM9: " + d + "/COM9: No such file or directory"},
        {10, "COM10: " + d + "/COM10: Is a directory"},
        {0, "COM0: " + d + "/COM0: No such file or directory"},
        {-2, "COM-2: " + d + "/COM-2: No such file or directory"},
    };
    const std::size_t before = openDescriptors();
    for (const auto& c : cases) {
        RecordingLines lines;
        EXPECT_FALSE(lines.open(c.number)) << c.number;
        EXPECT_FALSE(lines.isOpen()) << c.number;
        EXPECT_EQ(lines.lastError(), c.message);
        EXPECT_TRUE(lines.calls.empty()) << "lines touched on a failed open of " << c.number;
    }
    EXPECT_EQ(openDescriptors(), before) << "a failed open leaked its descriptor";
}

TEST_F(SerialLinesTest, PseudoTerminalOpensWithoutChangingItsSettings) {
    Pty pty;
    ASSERT_FALSE(pty.slavePath.empty());
    linkPort("COM7", pty.slavePath);
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);

    SerialLines lines;
    lines.open(5); // a failure first: its message must not survive a later success
    ASSERT_TRUE(lines.open(7)) << lines.lastError();
    EXPECT_TRUE(lines.isOpen());
    EXPECT_EQ(lines.lastError(), "");
    // A pty has no modem lines: both calls fail, silently.
    lines.setLines(true);
    lines.setLines(false);
    lines.close();
    EXPECT_FALSE(lines.isOpen());

    termios after{};
    ASSERT_EQ(::tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "terminal settings changed";
}

TEST_F(SerialLinesTest, PortIsExclusiveUntilClosed) {
    Pty pty;
    ASSERT_FALSE(pty.slavePath.empty());
    linkPort("COM7", pty.slavePath);
    linkPort("COM8", pty.slavePath); // the same device under a second name

    SerialLines first;
    ASSERT_TRUE(first.open(7)) << first.lastError();
    for (std::int32_t number : {7, 8}) {
        SerialLines second;
        EXPECT_FALSE(second.open(number));
        EXPECT_EQ(second.lastError(),
                  "COM" + std::to_string(number) + ": in use by another program");
    }
    EXPECT_TRUE(first.isOpen());

    // The exclusive flag is set while open, and cleared again for the next user.
    int exclusive = 0;
    ASSERT_EQ(::ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    first.close();
    ASSERT_EQ(::ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);

    SerialLines third;
    EXPECT_TRUE(third.open(8)) << third.lastError();
    third.close();
    EXPECT_TRUE(first.open(7)) << "reopen after close: " << first.lastError();
}

TEST_F(SerialLinesTest, AnotherProcessCannotOpenAHeldPort) {
    Pty pty;
    ASSERT_FALSE(pty.slavePath.empty());
    linkPort("COM7", pty.slavePath);
    SerialLines held;
    ASSERT_TRUE(held.open(7)) << held.lastError();

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SerialLines other;
        const bool opened = other.open(7);
        const bool busy = other.lastError() == "COM7: in use by another program";
        ::_exit(!opened && busy ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the second process opened the port or gave no reason";
}

TEST_F(SerialLinesTest, LinesChangeDtrFirstThenRts) {
    Pty pty;
    ASSERT_FALSE(pty.slavePath.empty());
    linkPort("COM7", pty.slavePath);
    using Calls = std::vector<std::pair<unsigned long, int>>;
    const Calls released = {{TIOCMBIC, TIOCM_DTR}, {TIOCMBIC, TIOCM_RTS}};
    const Calls keyed = {{TIOCMBIS, TIOCM_DTR}, {TIOCMBIS, TIOCM_RTS}};

    RecordingLines lines;
    ASSERT_TRUE(lines.open(7));
    EXPECT_EQ(lines.calls, released) << "the lines must drop straight after open";

    lines.calls.clear();
    lines.setLines(true);
    EXPECT_EQ(lines.calls, keyed);
    lines.calls.clear();
    lines.setLines(false);
    EXPECT_EQ(lines.calls, released);

    lines.close();
    lines.calls.clear();
    lines.setLines(true);
    lines.setLines(false);
    EXPECT_TRUE(lines.calls.empty()) << "a closed port has no lines to change";
}

// Only computes paths: nothing under /dev is opened here.
TEST(ComportDevicePath, BuiltInTableOwnLinksAndTheVariable) {
    const fs::path home = makeTempDir();
    ASSERT_FALSE(home.empty());
    {
        EnvOverride noDir("VESK_COMPORT_DIR", std::nullopt);
        EnvOverride homeDir("HOME", home.string());
        const struct {
            std::int32_t number;
            const char* path;
        } table[] = {
            {1, "/dev/ttyS0"},
            {32, "/dev/ttyS31"},
            {33, "/dev/ttyUSB0"},
            {64, "/dev/ttyUSB31"},
            {65, "/dev/ttyACM0"},
            {96, "/dev/ttyACM31"},
            {97, ""},
            {0, ""},
            {-1, ""},
            {-33, ""},
            {INT32_MAX, ""},
            {INT32_MIN, ""},
        };
        for (const auto& row : table) {
            EXPECT_EQ(comportDevicePath(row.number), row.path) << "COM" << row.number;
        }

        const fs::path own = home / ".config/vesk/comports";
        fs::create_directories(own);
        fs::create_symlink("/dev/null", own / "COM3");
        fs::create_symlink(home / "unplugged", own / "COM97"); // dangling still counts
        EXPECT_EQ(comportDevicePath(3), (own / "COM3").string());
        EXPECT_EQ(comportDevicePath(97), (own / "COM97").string());
        EXPECT_EQ(comportDevicePath(4), "/dev/ttyS3");
        for (std::int32_t number : {0, 200, -2}) {
            SerialLines lines;
            EXPECT_FALSE(lines.open(number));
            EXPECT_EQ(lines.lastError(),
                      "COM" + std::to_string(number) + ": no device for this number");
        }

        // The variable wins over the own links and the table, for any number.
        EnvOverride dir("VESK_COMPORT_DIR", "/tmp/x");
        EXPECT_EQ(comportDevicePath(3), "/tmp/x/COM3");
        EXPECT_EQ(comportDevicePath(1), "/tmp/x/COM1");
        EXPECT_EQ(comportDevicePath(0), "/tmp/x/COM0");
        EXPECT_EQ(comportDevicePath(-2), "/tmp/x/COM-2");
        EXPECT_EQ(comportDevicePath(200), "/tmp/x/COM200");
    }
    std::error_code ignored;
    fs::remove_all(home, ignored);
}

} // namespace
