// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

namespace vesk {

// A fresh folder under the temporary directory, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vesk-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Sets (or with nullopt unsets) one environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        set(value);
    }
    ~EnvOverride() { set(old_); }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;
    void set(const std::optional<std::string>& value) const {
        value ? ::setenv(name_, value->c_str(), 1) : ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// How many descriptors the process holds open.
inline std::size_t openDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(fds, std::filesystem::directory_iterator()));
}

// Runs `run` in a child process, whose limits, users and mounts end with it; what it returns,
// or how it ended when it did not return.
inline std::string inChild(const std::function<std::string()>& run) {
    int report[2];
    if (::pipe(report) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        const std::string text = run();
        for (std::size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(report[1], text.data() + at, text.size() - at);
            at += n > 0 ? static_cast<std::size_t>(n) : text.size();
        }
        ::_exit(0);
    }
    ::close(report[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(report[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status)) : text;
}

inline std::string readWholeFile(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            bytes.append(chunk, got);
        }
        std::fclose(file);
    }
    return bytes;
}

inline void writeWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace vesk
