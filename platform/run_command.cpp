// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/run_command.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vesk::platform {

namespace {

// The error output kept for the message, in bytes: enough for its last lines.
constexpr std::size_t kKeptBytes = 4096;

// The last non-empty line of `text`, its blanks trimmed.
std::string lastLine(const std::string& text) {
    std::string line;
    std::size_t end = text.size();
    while (line.empty() && end > 0) {
        const std::size_t start = text.rfind('\n', end - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        line = text.substr(from, end - from);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
            line.pop_back();
        }
        end = start == std::string::npos ? 0 : start;
    }
    return line;
}

// The child's start: its own process group (so that a time limit reaches whatever it starts),
// the signals this program handles or ignores back at their defaults, nothing blocked.
class SpawnSetup {
public:
    explicit SpawnSetup(int errorFd) {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions_, errorFd, 2);
        ::posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD}) {
            sigaddset(&defaults, number);
        }
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setpgroup(&attributes_, 0);
        ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                     POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    int spawn(pid_t& pid, const std::vector<std::string>& argv) const {
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        return ::posix_spawnp(&pid, args[0], &actions_, &attributes_, args.data(), environ);
    }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
};

enum class Pipe { Data, Empty, Closed };

// Reads what the pipe has now into `kept` (its tail only).
Pipe readAvailable(int fd, std::string& kept) {
    char chunk[1024];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
        return Pipe::Empty;
    }
    if (got <= 0) {
        return Pipe::Closed;
    }
    kept.append(chunk, static_cast<std::size_t>(got));
    if (kept.size() > kKeptBytes) {
        kept.erase(0, kept.size() - kKeptBytes);
    }
    return Pipe::Data;
}

std::string outcome(const std::string& program, int status, const std::string& errors) {
    std::string text;
    if (WIFSIGNALED(status)) {
        text = program + " was ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    } else {
        text = program + " exited with status " + std::to_string(WEXITSTATUS(status));
    }
    const std::string line = lastLine(errors);
    return line.empty() ? text : text + ": " + line;
}

} // namespace

Result<> runCommand(const std::vector<std::string>& argv, std::int64_t limitMs) {
    if (argv.empty() || argv[0].empty()) {
        return fail("no command given");
    }
    const std::string& program = argv[0];
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail("cannot start " + program + ": " + std::strerror(errno));
    }
    pid_t pid = -1;
    const int spawned = SpawnSetup(pipeFds[1]).spawn(pid, argv);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return fail("cannot start " + program + ": " + std::strerror(spawned));
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(std::max<std::int64_t>(limitMs, 1));
    std::string errors;
    bool reading = true;
    int status = 0;
    pid_t ended = 0;
    // The output is read while it comes, so that a chatty command never blocks on a full pipe;
    // a command that has exited is not waited for past that, even if something it started
    // still holds the pipe.
    while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ::close(pipeFds[0]);
            return fail(program + " took longer than " + std::to_string(limitMs) +
                        " ms and was stopped");
        }
        pollfd watch{pipeFds[0], POLLIN, 0};
        const int wait = static_cast<int>(std::min<std::int64_t>(left, 10));
        if (reading && ::poll(&watch, 1, wait) > 0) {
            reading = readAvailable(pipeFds[0], errors) != Pipe::Closed;
        } else if (!reading) {
            ::usleep(2000);
        }
    }
    while (reading && readAvailable(pipeFds[0], errors) == Pipe::Data) {
    }
    ::close(pipeFds[0]);
    if (ended < 0) {
        return fail(program + ": " + std::strerror(errno));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    return fail(outcome(program, status, errors));
}

} // namespace vesk::platform
