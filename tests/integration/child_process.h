#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vesk {

// Changes to the inherited environment: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// A program run by a test: stdin from /dev/null, stdout and stderr into anonymous files the
// test reads at any time. The child dies with the test process and is killed at destruction.
class ChildProcess {
public:
    // Starts argv[0] (a full path) in `folder` (empty: the test's own working folder).
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const EnvironmentChanges& changes = {}, const std::string& folder = {}) {
        out_ = std::tmpfile();
        err_ = std::tmpfile();
        if (out_ == nullptr || err_ == nullptr || argv.empty()) {
            return;
        }
        // Everything exec needs is built before fork: the child of a threaded process may
        // only make async-signal-safe calls.
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('='));
            if (changes.count(name) == 0) {
                environment.push_back(text);
            }
        }
        for (const auto& [name, value] : changes) {
            if (value) {
                environment.push_back(name + "=" + *value);
            }
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& entry : environment) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
        const int outFd = fileno(out_);
        const int errFd = fileno(err_);
        const pid_t parent = ::getpid();

        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(127);
            }
            const int nullFd = ::open("/dev/null", O_RDONLY);
            ::dup2(nullFd, 0);
            ::dup2(outFd, 1);
            ::dup2(errFd, 2);
            ::close_range(3, ~0u, 0);
            if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
                ::_exit(126);
            }
            ::execve(args[0], args.data(), envp.data());
            ::_exit(127);
        }
    }

    ~ChildProcess() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (out_ != nullptr) {
            std::fclose(out_);
        }
        if (err_ != nullptr) {
            std::fclose(err_);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    bool running() const { return started() && !ended_; }
    pid_t pid() const { return pid_; }

    void signal(int number) {
        if (running()) {
            ::kill(pid_, number);
        }
    }

    // Waits until the child has ended or `timeout` has passed; true when it has ended.
    bool wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (running()) {
            int status = 0;
            const pid_t got = ::waitpid(pid_, &status, WNOHANG);
            if (got == pid_) {
                ended_ = true;
                status_ = status;
            } else if (got < 0 || std::chrono::steady_clock::now() >= deadline) {
                return !running();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return started();
    }

    // Waits up to `timeout` for `text` to appear on stderr; true when it did.
    bool waitForError(const std::string& text, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (standardError().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // The exit code of a child that ended normally; -1 while running or after a signal.
    int exitCode() const { return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    // The signal that ended the child; 0 when none did.
    int endSignal() const { return ended_ && WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }

    std::string standardOutput() const { return contents(out_); }
    std::string standardError() const { return contents(err_); }

private:
    static std::string contents(std::FILE* file) {
        std::string bytes;
        if (file == nullptr) {
            return bytes;
        }
        const int fd = fileno(file);
        char chunk[65536];
        off_t offset = 0;
        ssize_t got = 0;
        while ((got = ::pread(fd, chunk, sizeof chunk, offset)) > 0) {
            bytes.append(chunk, static_cast<std::size_t>(got));
            offset += got;
        }
        return bytes;
    }

    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

// How a finished run went.
struct RunResult {
    bool finished = false; // false: killed after the timeout
    int exitCode = -1;
    int endSignal = 0;
    std::string out;
    std::string err;
};

// Runs a program to its end (killed after `timeout`).
inline RunResult runProgram(const std::vector<std::string>& argv,
                            const EnvironmentChanges& changes = {}, const std::string& folder = {},
                            std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    ChildProcess child(argv, changes, folder);
    RunResult result;
    result.finished = child.wait(timeout);
    result.exitCode = child.exitCode();
    result.endSignal = child.endSignal();
    result.out = child.standardOutput();
    result.err = child.standardError();
    return result;
}

} // namespace vesk
