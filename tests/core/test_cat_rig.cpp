// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat_rig.h"
#include "devices/ptt.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vesk {
namespace {

// A TCP port on 127.0.0.1 nobody listens on right now.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// rigctld serving Hamlib's dummy rig (which keys only with PTT by CAT: -P RIG) on 127.0.0.1;
// it touches no serial device.
class Rigctld {
public:
    Rigctld() : port_(freePort()) {
        const std::string portText = std::to_string(port_);
        std::vector<std::string> args = {"rigctld", "-m",        "1",  "-P",    "RIG",
                                         "-T",      "127.0.0.1", "-t", portText};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, "rigctld", nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
            return;
        }
        for (int tries = 0; tries < 100 && !listening(port_); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~Rigctld() { stop(); }
    Rigctld(const Rigctld&) = delete;
    Rigctld& operator=(const Rigctld&) = delete;

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    bool running() const { return pid_ > 0 && listening(port_); }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int port_;
    pid_t pid_ = -1;
};

// Key and release read back through Hamlib, in-process and over the network.
TEST(CatRig, KeysAndReleasesTheDummyRigInProcessAndThroughRigctld) {
    Rigctld server;
    ASSERT_TRUE(server.running()) << "rigctld (libhamlib-utils) did not start";
    for (const RigAddress& address :
         {RigAddress{1, "", 0}, RigAddress::rigctld(server.hostPort())}) {
        SCOPED_TRACE(address.model);
        CatRig rig;
        ASSERT_TRUE(rig.open(address).ok());
        for (const bool keyed : {true, false, true, false}) {
            ASSERT_TRUE(rig.setPtt(keyed).ok());
            EXPECT_EQ(rig.ptt(), keyed);
        }
    }
}

// Failures name the rig and give Hamlib's reason; nothing is left open.
TEST(CatRig, FailuresNameTheRigAndTheReason) {
    const std::string nobody = "127.0.0.1:" + std::to_string(freePort());
    const std::pair<RigAddress, std::string> cases[] = {
        {{99999, "", 0}, "rig model 99999: unknown to Hamlib"},
        {{-1, "", 0}, "rig model -1: unknown to Hamlib"},
        {RigAddress::rigctld(nobody), "Hamlib NET rigctl at " + nobody + ": cannot open: IO error"},
    };
    for (const auto& [address, message] : cases) {
        CatRig rig;
        EXPECT_EQ(rig.open(address).message(), message);
        EXPECT_FALSE(rig.isOpen());
        EXPECT_EQ(rig.ptt(), std::nullopt);
        EXPECT_EQ(rig.setPtt(true).message(), "the rig is not open");
    }
}

// The PTT keys the rig on every path the lines take: key, release, shutdown; a rig gone away
// is reported once and never shown keyed. A second connection reads the state back.
TEST(CatRig, PttKeysTheRigAndReportsOneThatStopsAnswering) {
    Rigctld server;
    ASSERT_TRUE(server.running());
    CatRig reader;
    ASSERT_TRUE(reader.open(RigAddress::rigctld(server.hostPort())).ok());
    Ptt ptt(std::make_unique<platform::SerialLines>());
    std::vector<bool> labels;
    int failures = 0;
    ptt.setLabelHook([&](bool keyed) { labels.push_back(keyed); });
    ptt.setFailureHook([&] { ++failures; });
    ASSERT_TRUE(ptt.openRig(RigAddress::rigctld(server.hostPort())).ok());
    ptt.pttOn();
    EXPECT_EQ(reader.ptt(), true);
    ptt.pttOff();
    EXPECT_EQ(reader.ptt(), false);
    ptt.pttOn();
    ptt.shutdown();
    EXPECT_EQ(reader.ptt(), false) << "left keyed on the way out";
    EXPECT_FALSE(ptt.isOpen());
    EXPECT_EQ(labels, (std::vector<bool>{true, false, true}));

    ASSERT_TRUE(ptt.openRig(RigAddress::rigctld(server.hostPort())).ok());
    server.stop();
    labels.clear();
    ptt.pttOn();
    ptt.pttOn();
    EXPECT_EQ(labels, (std::vector<bool>{false, false}));
    EXPECT_FALSE(ptt.keyed());
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(ptt.failure(),
              "Hamlib NET rigctl at " + server.hostPort() + ": cannot key: IO error");
}

} // namespace
} // namespace vesk
