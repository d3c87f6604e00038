// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vesk {

// Polls `done` every 2 ms until it holds or `timeout` has passed; true when it held.
template <typename Condition> bool waitFor(Condition done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Variables set in the child on top of the test's own environment.
using EnvironmentChanges = std::map<std::string, std::string>;

// A program run by a test: stdin from /dev/null, stdout and stderr into anonymous files the
// test reads at any time. The child dies with the test process and is killed at destruction.
class ChildProcess {
public:
    // Starts argv[0] (a full path) in `folder` (empty: the test's own working folder).
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const EnvironmentChanges& changes = {}, const std::string& folder = {})
        : out_(std::tmpfile(), &std::fclose), err_(std::tmpfile(), &std::fclose) {
        if (out_ == nullptr || err_ == nullptr || argv.empty()) {
            return;
        }
        // Built before fork: the child of a threaded process may only make async-signal-safe
        // calls. A changed variable appears once: shells read the last of two entries, the C
        // library the first.
        std::vector<std::string> added;
        for (const auto& [name, value] : changes) {
            added.push_back(name + "=" + value);
        }
        std::vector<char*> args;
        std::vector<char*> envp;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        for (const std::string& entry : added) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text(*entry);
            if (changes.count(std::string(text.substr(0, text.find('=')))) == 0) {
                envp.push_back(*entry);
            }
        }
        args.push_back(nullptr);
        envp.push_back(nullptr);
        const int outFd = fileno(out_.get());
        const int errFd = fileno(err_.get());
        const pid_t parent = ::getpid();

        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent || (!folder.empty() && ::chdir(folder.c_str()) != 0)) {
                ::_exit(127);
            }
            ::dup2(::open("/dev/null", O_RDONLY), 0);
            ::dup2(outFd, 1);
            ::dup2(errFd, 2);
            ::close_range(3, ~0u, 0);
            ::execve(args[0], args.data(), envp.data());
            ::_exit(127);
        }
    }

    ~ChildProcess() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() const { return pid_ > 0 && !ended_; }
    pid_t pid() const { return pid_; }
    void signal(int number) {
        if (running()) {
            ::kill(pid_, number);
        }
    }

    // Waits until the child has ended or `timeout` has passed; true when it has ended.
    bool wait(std::chrono::milliseconds timeout) {
        pid_t got = 0;
        waitFor([&] { return (got = running() ? ::waitpid(pid_, &status_, WNOHANG) : -1) != 0; },
                timeout);
        ended_ = ended_ || got == pid_;
        return ended_;
    }

    // The exit code of a child that ended normally; -1 while running or after a signal.
    int exitCode() const { return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    // The signal that ended the child by its action; 0 while running or after a normal end.
    int endingSignal() const { return ended_ && WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }
    std::string standardOutput() const { return contents(out_.get()); }
    std::string standardError() const { return contents(err_.get()); }

private:
    static std::string contents(std::FILE* file) {
        std::string bytes;
        char chunk[65536];
        ssize_t got = 0;
        while (file != nullptr && (got = ::pread(fileno(file), chunk, sizeof chunk,
                                                 static_cast<off_t>(bytes.size()))) > 0) {
            bytes.append(chunk, static_cast<std::size_t>(got));
        }
        return bytes;
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> err_;
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

// True while the main thread of `pid` holds back SIGHUP, SIGINT, SIGQUIT and SIGTERM and
// nothing else (its SigBlk in /proc), as a program does from its first code until its handler
// is in place; a library that blocks every signal for a moment holds more.
inline bool holdsStopSignals(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    unsigned long long mask = 0;
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "SigBlk: %llx", &mask) == 1) {
            break;
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    const auto bit = [](int number) {
        return 1ull << (number - 1);
    };
    const unsigned long long stop = bit(SIGHUP) | bit(SIGINT) | bit(SIGQUIT) | bit(SIGTERM);
    return mask == stop;
}

// Waits, looking every 0.1 ms for at most 5 s, until the running `child` holds the stop
// signals (holdsStopSignals); false when it never did.
inline bool waitUntilHoldingStopSignals(pid_t child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!holdsStopSignals(child)) {
        if (std::chrono::steady_clock::now() >= deadline || ::kill(child, 0) != 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

// `runs` stop signals (the four in turn) and the moments to send them, spread evenly over the
// first `window` with a random place inside each run's share.
inline std::vector<std::pair<int, std::chrono::microseconds>>
stopSignalMoments(int runs, std::chrono::microseconds window, unsigned seed) {
    std::vector<std::pair<int, std::chrono::microseconds>> moments;
    const int stops[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
    for (int run = 0; run < runs; ++run) {
        seed = seed * 1103515245u + 12345u;
        const double place = (run + (seed >> 8) % 1000 / 1000.0) / runs;
        moments.emplace_back(stops[run % 4], std::chrono::microseconds(static_cast<long long>(
                                                 place * static_cast<double>(window.count()))));
    }
    return moments;
}

// How a run went; exitCode -1: killed by a signal, or by the timeout.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end, killed after `timeout`.
inline RunResult runProgram(const std::vector<std::string>& argv,
                            const EnvironmentChanges& changes = {}, const std::string& folder = {},
                            std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    ChildProcess child(argv, changes, folder);
    child.wait(timeout);
    return {child.exitCode(), child.standardOutput(), child.standardError()};
}

inline // The fields of the transmission lines in `text` (log or stderr), split at the tabs.
    std::vector<std::vector<std::string>>
    transmissionFields(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find('\t') == std::string::npos) {
            continue;
        }
        std::vector<std::string>& fields = lines.emplace_back();
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) {
            fields.push_back(field);
        }
    }
    return lines;
}

} // namespace vesk
