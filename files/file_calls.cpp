// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/file_calls.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace vesk {

static_assert(std::is_same_v<mode_t, unsigned> && std::is_same_v<uid_t, unsigned> &&
                  std::is_same_v<gid_t, unsigned>,
              "the ids and modes of FileCalls are the system's own types");

namespace {

FileCalls systemFileCalls;
FileCalls* installed = nullptr;

} // namespace

int FileCalls::open(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, mode);
}

std::int64_t FileCalls::write(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

std::int64_t FileCalls::pread(int fd, void* data, std::size_t size, std::int64_t offset) {
    return ::pread(fd, data, size, static_cast<off_t>(offset));
}

int FileCalls::fsync(int fd) {
    return ::fsync(fd);
}

int FileCalls::close(int fd) {
    return ::close(fd);
}

int FileCalls::fchown(int fd, unsigned owner, unsigned group) {
    return ::fchown(fd, owner, group);
}

int FileCalls::fchmod(int fd, unsigned mode) {
    return ::fchmod(fd, mode);
}

int FileCalls::linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    return ::linkat(fromFolder, from, toFolder, to, flags);
}

int FileCalls::rename(const char* from, const char* to) {
    return ::rename(from, to);
}

int FileCalls::unlink(const char* path) {
    return ::unlink(path);
}

unsigned FileCalls::geteuid() {
    return ::geteuid();
}

unsigned FileCalls::getegid() {
    return ::getegid();
}

FileCalls& fileCalls() {
    return installed != nullptr ? *installed : systemFileCalls;
}

FileCalls* useFileCalls(FileCalls* calls) {
    FileCalls* previous = installed;
    installed = calls;
    return previous;
}

} // namespace vesk
