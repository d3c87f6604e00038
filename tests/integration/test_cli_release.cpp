// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli release, the service manager's notices from vesk-cli play, and the unit files.
#include "tests/integration/monitor_recording.h"

#include "tests/integration/fake_port.h"

#include "devices/cat/cat_rig.h"

#include "tests/core/rigctld.h"
#include "tests/core/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kCli = VESK_CLI_PATH;

// Five tone dots of 50 ms in a cycle of 21 dots (1050 ms).
constexpr const char* kShortPattern =
    "50 9 50 1000 20\r\n8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n0 1\r\n16 1\r\n0 1\r\n";

// A TCP port on 127.0.0.1 that takes connections and never answers; with `full`, its queue of
// connections is full, so that a new one never completes (a hung rigctld, a host that is down).
class SilentPeer {
public:
    explicit SilentPeer(bool full) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(fd_, full ? 0 : 8);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        for (int i = 0; full && i < 2; ++i) {
            fillers_.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            ::connect(fillers_.back(), reinterpret_cast<sockaddr*>(&address), size);
        }
        std::this_thread::sleep_for(100ms);
    }
    ~SilentPeer() {
        for (const int fd : fillers_) {
            ::close(fd);
        }
        ::close(fd_);
    }
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_;
    int port_ = 0;
    std::vector<int> fillers_;
};

// The released levels of each method, as the fake modem logs them; release never keys.
TEST(CliRelease, SetsEachLineMethodsReleasedLevelsAndNothingElse) {
    const struct {
        std::vector<std::string> options;
        std::string released;
    } methods[] = {
        {{}, "DTR-\nRTS-\n"},
        {{"--ptt", "dtr"}, "DTR-\nRTS-\n"},
        {{"--ptt", "rts", "--invert"}, "DTR-\nRTS+\n"},
        {{"--invert"}, "DTR+\nRTS+\n"},
    };
    for (const auto& m : methods) {
        SCOPED_TRACE(m.released);
        Comport7 port;
        ASSERT_FALSE(port.device.empty());
        std::vector<std::string> args{kCli, "release", "--comport", "7"};
        args.insert(args.end(), m.options.begin(), m.options.end());
        const RunResult run = runProgram(args, port.modemEnvironment(), {}, 20s);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err.rfind("released ", 0), 0u) << run.err;
        const std::string log = port.lineLog();
        ASSERT_GE(log.size(), m.released.size()) << log;
        for (std::size_t at = 0; at < log.size(); at += m.released.size()) {
            EXPECT_EQ(log.substr(at, m.released.size()), m.released) << log;
        }
    }
}

// A plan's runner is released by its plan: the keying of its [station].
TEST(CliRelease, TakesTheKeyingFromAPlan) {
    Comport7 port;
    ASSERT_FALSE(port.device.empty());
    writeWholeFile(port.ports.file("day.toml"),
                   "[station]\nptt = \"rts\"\ninvert = true\ncomport = 7\n\n[[transmission]]\n"
                   "name = \"qrss\"\nmake = \"cw VVV\"\nevery = \"10m\"\n");
    const RunResult run = runProgram({kCli, "release", "--plan", port.ports.file("day.toml")},
                                     port.modemEnvironment(), {}, 20s);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "released RTS inverted on COM 7\n");
    EXPECT_EQ(port.lineLog().substr(port.lineLog().size() - 10), "DTR-\nRTS+\n");
    const RunResult mixed =
        runProgram({kCli, "release", "--plan", port.ports.file("day.toml"), "--comport", "7"},
                   port.modemEnvironment(), {}, 20s);
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_EQ(mixed.err, "vesk-cli: --plan names the keying already: give it alone\n");
}

// Every way a release cannot be made ends it with status 1 and one line, and soon: a rig that
// does not answer, or whose connection never completes, holds it up for seconds at most.
TEST(CliRelease, APortOrRigThatCannotBeReleasedIsOneLineAndStatus1) {
    Comport7 port;
    ASSERT_FALSE(port.device.empty());
    ScratchFolder noPorts;
    const EnvironmentChanges noCom7 = {{"VESK_COMPORT_DIR", noPorts.path().string()}};
    const std::string nobody = "127.0.0.1:" + std::to_string(freePort());
    const SilentPeer silent(false);
    const SilentPeer full(true);
    const struct {
        EnvironmentChanges environment;
        std::vector<std::string> options;
        std::string message;
        std::chrono::milliseconds within;
        bool held = false; // the port is held by another program, as a running beacon holds it
    } cases[] = {
        {port.environment(),
         {"--comport", "7"},
         "vesk-cli: COM7: cannot drop DTR: Inappropriate ioctl for device",
         5s},
        {noCom7, {"--comport", "7"}, "vesk-cli: Failure to open comport COM7 (COM7: ", 5s},
        {port.environment(),
         {"--comport", "7", "--ptt", "dtr"},
         "vesk-cli: Failure to open comport COM7 (COM7: in use by another program)",
         5s,
         true},
        {noCom7, {}, "vesk-cli: release needs the PTT port (--comport N), a rig", 5s},
        {noCom7,
         {"--ptt", "cat", "--rigctld", nobody},
         "vesk-cli: Failure to open the rig for PTT by CAT (Hamlib NET rigctl at " + nobody +
             ": cannot open: ",
         5s},
        {noCom7,
         {"--ptt", "cat", "--rigctld", silent.hostPort()},
         "vesk-cli: Failure to open the rig for PTT by CAT (Hamlib NET rigctl at " +
             silent.hostPort() + ": cannot open: ",
         5s},
        {noCom7,
         {"--ptt", "cat", "--rigctld", full.hostPort()},
         "vesk-cli: CAT to rigctld at " + full.hostPort() + ": no answer within 10 s; not released",
         15s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const int holder = c.held ? ::open(port.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
        if (holder >= 0) {
            ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        }
        std::vector<std::string> args{kCli, "release"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto start = Clock::now();
        const RunResult run = runProgram(args, c.environment, {}, 30s);
        const auto took = Clock::now() - start;
        if (holder >= 0) {
            ::close(holder);
        }
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_LT(took, c.within);
    }
}

// A beacon keying a rig by CAT through rigctld is killed with SIGKILL: the rig stays keyed
// until release sends it "PTT off", as the unit's ExecStopPost does.
TEST(CliRelease, ReleasesARigThatAKilledBeaconLeftKeyed) {
    SKIP_WITHOUT_SOUND_SERVER();
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), kShortPattern);
    Rigctld server;
    ASSERT_TRUE(server.running()) << "rigctld (libhamlib-utils) did not start";
    CatRig reader;
    ASSERT_TRUE(reader.open(RigAddress::rigctld(server.hostPort())).ok());
    const std::vector<std::string> ptt{"--ptt", "cat", "--rigctld", server.hostPort()};

    std::vector<std::string> play{kCli, "play", folder.file("short.txt")};
    play.insert(play.end(), ptt.begin(), ptt.end());
    ChildProcess beacon(play);
    ASSERT_TRUE(waitFor([&] { return reader.ptt() == true; }, 10s)) << beacon.standardError();
    beacon.signal(SIGKILL);
    ASSERT_TRUE(beacon.wait(5s));
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(reader.ptt(), true) << "the kill released the rig: nothing left to test";

    std::vector<std::string> release{kCli, "release"};
    release.insert(release.end(), ptt.begin(), ptt.end());
    const RunResult run = runProgram(release, {}, {}, 20s);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "released CAT to rigctld at " + server.hostPort() + "\n");
    EXPECT_EQ(reader.ptt(), false);
}

// A unix datagram socket in a scratch folder, the service manager's end of NOTIFY_SOCKET.
class NotifySocket {
public:
    struct Message {
        Clock::time_point at;
        std::string text;
    };
    NotifySocket() : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_ = folder_.file("notify");
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { ::close(fd_); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return bound_; }
    const std::string& path() const { return path_; }
    // The next message within `timeout`, or nothing.
    std::optional<Message> receive(std::chrono::milliseconds timeout) {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(timeout.count())) != 1) {
            return std::nullopt;
        }
        char text[4096];
        const ssize_t got = ::recv(fd_, text, sizeof text, 0);
        return got < 0 ? std::nullopt
                       : std::optional<Message>({Clock::now(), {text, static_cast<size_t>(got)}});
    }

private:
    ScratchFolder folder_;
    std::string path_;
    int fd_;
    bool bound_ = false;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Under a service manager play says it is ready once it plays (after its start line), feeds
// the watchdog every half period for as long as it plays, tells each cycle, and says it is
// stopping when asked to end.
TEST(CliPlayService, NotifiesReadinessFeedsTheWatchdogAndStops) {
    SKIP_WITHOUT_SOUND_SERVER();
    ScratchFolder folder;
    writeWholeFile(folder.file("short.txt"), kShortPattern);
    NotifySocket manager;
    ASSERT_TRUE(manager.bound()) << manager.path();
    ChildProcess play({kCli, "play", folder.file("short.txt"), "--log", folder.file("log")},
                      {{"NOTIFY_SOCKET", manager.path()}, {"WATCHDOG_USEC", "600000"}});

    std::vector<NotifySocket::Message> messages;
    bool startLineFirst = false;
    const auto until = Clock::now() + 3s;
    while (Clock::now() < until) {
        if (auto message = manager.receive(50ms)) {
            if (has(message->text, "READY=1")) {
                startLineFirst = has(play.standardError(), "playing ");
            }
            messages.push_back(*message);
        }
    }
    play.signal(SIGTERM);
    ASSERT_TRUE(play.wait(5s)) << play.standardError();
    EXPECT_EQ(play.exitCode(), 0) << play.standardError();
    bool stopping = false;
    while (const auto message = manager.receive(100ms)) {
        stopping = stopping || has(message->text, "STOPPING=1");
    }
    EXPECT_TRUE(stopping) << "no STOPPING=1 after SIGTERM";

    std::vector<Clock::time_point> fed;
    std::vector<std::string> ready, cycles;
    for (const auto& m : messages) {
        if (m.text == "WATCHDOG=1") {
            fed.push_back(m.at);
        } else if (has(m.text, "READY=1")) {
            ready.push_back(m.text);
        } else if (has(m.text, ": cycle ")) {
            cycles.push_back(m.text);
        }
    }
    ASSERT_EQ(ready.size(), 1u) << play.standardError();
    EXPECT_EQ(ready[0], "READY=1\nSTATUS=playing " + folder.file("short.txt"));
    EXPECT_TRUE(startLineFirst) << play.standardError();
    // Every 300 ms: never the 600 ms at which a manager would end it, never flooding.
    ASSERT_GE(fed.size(), 8u);
    for (std::size_t i = 1; i < fed.size(); ++i) {
        EXPECT_GT(fed[i] - fed[i - 1], 150ms);
        EXPECT_LT(fed[i] - fed[i - 1], 600ms);
    }
    ASSERT_FALSE(cycles.empty());
    EXPECT_EQ(cycles[0],
              "STATUS=playing " + folder.file("short.txt") + ": cycle 1 played, 0 underruns");
}

// The unit files as systemd reads them, with vesk-cli where this build has it. A user manager
// needs a runtime folder, which a container without a session lacks: a scratch one serves.
TEST(ServiceUnits, SystemdVerifiesThem) {
    const std::string analyze = platform::findExecutable("systemd-analyze");
    if (analyze.empty()) {
        GTEST_SKIP() << "systemd-analyze (package systemd) is not installed";
    }
    ScratchFolder runtime;
    ::chmod(runtime.path().c_str(), 0700);
    int units = 0;
    for (const auto& entry : fs::directory_iterator(std::string(VESK_SOURCE_DIR) + "/data")) {
        if (entry.path().extension() != ".service") {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        std::string text = readWholeFile(entry.path().string());
        for (std::size_t at = 0; (at = text.find("/usr/bin/vesk-cli", at)) != std::string::npos;) {
            text.replace(at, 17, kCli);
            at += kCli.size();
        }
        const std::string copy = runtime.file(entry.path().filename().string());
        writeWholeFile(copy, text);
        // Every complaint (an unknown key, a value it cannot read) is a line, and still exit 0.
        const RunResult run = runProgram({analyze, "--user", "--man=no", "verify", copy},
                                         {{"XDG_RUNTIME_DIR", runtime.path().string()}}, {}, 30s);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err + run.out, "");
        ++units;
    }
    EXPECT_GE(units, 1);
}

} // namespace
} // namespace vesk
