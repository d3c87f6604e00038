// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/read_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vesk {

namespace {

// Result of readAll for anything but a regular file or a folder (a pipe, a device, a socket).
constexpr int kNotRegularFile = -1;

// Reads a regular file into `bytes`: 0; EFBIG when it holds more than `maxBytes` (`bytes`
// then holds the first `maxBytes`); or the errno value of the failure (`bytes` empty), EISDIR
// for a folder, kNotRegularFile for any other kind of file.
int readAll(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // Non-blocking, so that opening a pipe or a device cannot hang; what was opened is looked
    // at before anything is read from it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return errno;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int errorNumber = errno;
        close(fd);
        return errorNumber;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
    }
    // Read one byte past the limit so an oversized file (or an endless device) is noticed
    // without reading all of it.
    constexpr std::size_t kChunk = 64 * 1024;
    int result = 0;
    for (;;) {
        const std::size_t size = bytes.size();
        if (size > maxBytes) {
            result = EFBIG;
            break;
        }
        const std::size_t want = std::min(kChunk, maxBytes + 1 - size);
        bytes.resize(size + want);
        const ssize_t got = read(fd, bytes.data() + size, want);
        if (got < 0 && errno == EINTR) {
            bytes.resize(size);
            continue;
        }
        if (got <= 0) {
            bytes.resize(size);
            result = got < 0 ? errno : 0;
            break;
        }
        bytes.resize(size + static_cast<std::size_t>(got));
    }
    close(fd);
    if (result == EFBIG) {
        bytes.resize(maxBytes);
    } else if (result != 0) {
        bytes.clear();
    }
    return result;
}

// The reason a readAll result gives: "No such file or directory", "not a regular file but a
// pipe".
std::string failureText(const std::string& path, int result) {
    if (result != kNotRegularFile) {
        return std::generic_category().message(result);
    }
    struct stat info {};
    const char* kind = "a special file";
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISFIFO(info.st_mode)) {
            kind = "a pipe";
        } else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
            kind = "a device";
        } else if (S_ISSOCK(info.st_mode)) {
            kind = "a socket";
        }
    }
    return std::string("not a regular file but ") + kind;
}

} // namespace

Result<FileBytes> readFileBytes(const std::string& path, std::size_t maxBytes, IfMissing ifMissing,
                                const std::string& opening) {
    FileBytes read;
    const int result = readAll(path, maxBytes, read.bytes);
    if (result == ENOENT && ifMissing == IfMissing::ReadEmpty) {
        return FileBytes{};
    }
    if (result != 0 && result != EFBIG) {
        return fail((opening.empty() ? "Cannot read \"" + path + "\"" : opening) + ": " +
                    failureText(path, result));
    }
    read.cut = result == EFBIG;
    return read;
}

} // namespace vesk
