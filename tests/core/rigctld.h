// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vesk {

// A TCP port on 127.0.0.1 nobody listens on right now.
inline int freePort() {
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

inline bool listening(int port) {
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
    Rigctld() : port_(freePort()) { start(); }
    ~Rigctld() { stop(); }
    Rigctld(const Rigctld&) = delete;
    Rigctld& operator=(const Rigctld&) = delete;

    // Starts it (again) on the same port.
    void start() {
        if (pid_ > 0) {
            return;
        }
        const std::string portText = std::to_string(port_);
        std::vector<std::string> args = {"rigctld", "-m",        "1",  "-P",    "RIG",
                                         "-T",      "127.0.0.1", "-t", portText};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        // The server goes with the test, also when the test dies, and keeps none of its output
        // streams: a test runner waits for those to close.
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execvp("rigctld", argv.data());
            ::_exit(127);
        }
        for (int tries = 0; tries < 100 && !listening(port_); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    // Ends it as asked (SIGTERM), or as a crash does (SIGKILL).
    void stop(int signal = SIGTERM) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
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

} // namespace vesk
