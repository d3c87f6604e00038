// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/integration/child_process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vesk {

// A sound server of the test's own, which it can stop and start again: an output opened on
// it loses its device when it stops. The process's outputs reach it while it lives.
class PrivateServer {
public:
    PrivateServer() {
        char folder[] = "/tmp/vesk-pulse-private-XXXXXX";
        if (::mkdtemp(folder) != nullptr) {
            folder_ = folder;
        }
        const char* outer = std::getenv("PULSE_SERVER");
        outer_ = outer != nullptr ? outer : "";
        start();
    }
    ~PrivateServer() {
        stop();
        ::setenv("PULSE_SERVER", outer_.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    bool start() {
        const RunResult started = runProgram(
            {"/bin/bash", std::string(VESK_SOURCE_DIR) + "/tests/integration/start-pulse.sh"},
            {{"VESK_PULSE_DIR", folder_}});
        const std::string server = "unix:" + folder_ + "/pulse/native";
        ::setenv("PULSE_SERVER", server.c_str(), 1);
        return started.exitCode == 0;
    }
    void stop() {
        std::ifstream pidFile(folder_ + "/pulse/pid");
        pid_t pid = 0;
        if (pidFile >> pid && pid > 0) {
            ::kill(pid, SIGKILL);
            waitFor([pid] { return ::kill(pid, 0) != 0; }, std::chrono::seconds(5));
        }
    }

private:
    std::string folder_;
    std::string outer_;
};

} // namespace vesk
