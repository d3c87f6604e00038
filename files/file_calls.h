// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// The system calls writeFileAtomically makes on the new file and its folder, each with the
// arguments and the result of the POSIX call of its name and errno set as that call sets it.
// A test derives from it, fails the calls it picks (a disk full half-way, a rename refused)
// and installs it with useFileCalls; every call it leaves alone goes to the system. Modes,
// owners and groups are the system's mode_t, uid_t and gid_t values; offsets and sizes bytes.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    virtual int open(const char* path, int flags, unsigned mode);
    virtual std::int64_t write(int fd, const void* data, std::size_t size);
    virtual std::int64_t pread(int fd, void* data, std::size_t size, std::int64_t offset);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int fchown(int fd, unsigned owner, unsigned group);
    virtual int fchmod(int fd, unsigned mode);
    virtual int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags);
    virtual int rename(const char* from, const char* to);
    virtual int unlink(const char* path);
    // Who the writes are made as: compared with a replaced file's owner and group.
    virtual unsigned geteuid();
    virtual unsigned getegid();
};

// The calls in use: the system's, unless a test has installed others.
FileCalls& fileCalls();
// Installs `calls` (nullptr: the system's again) and returns the ones it replaces (nullptr
// for the system's). For tests, while no write is under way.
FileCalls* useFileCalls(FileCalls* calls);

} // namespace vesk
