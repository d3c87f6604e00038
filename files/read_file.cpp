// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/read_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace vesk {

namespace {

// Results of readAll for anything but a regular file or a folder (a pipe, a device, a
// socket), and for a file that was being written every time it was read.
constexpr int kNotRegularFile = -1;
constexpr int kBeingWritten = -2;
// How often, and how far apart, a file that is being written is tried again before it is
// refused: about a tenth of a second in all.
constexpr int kReadTries = 50;
constexpr auto kTryAgainAfter = std::chrono::milliseconds(2);

// A read lease on an open file while it lives: the kernel grants it only while nobody has
// the file open for writing, and holds back every open for writing until it is let go, so
// what is read under it is one version of the file. Only the file's owner (or root) may take
// one, and not every file system has them.
class ReadLease {
public:
    enum class State { Held, Busy, Unavailable };

    explicit ReadLease(int fd) : fd_(fd) {
        // A writer that comes meanwhile makes the kernel signal the holder, by default with
        // SIGIO, whose default action would end the program; SIGURG's is to ignore it.
        ::fcntl(fd, F_SETSIG, SIGURG);
        state_ = ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0 ? State::Held
                 : errno == EAGAIN                     ? State::Busy
                                                       : State::Unavailable;
    }
    ~ReadLease() {
        if (state_ == State::Held) {
            ::fcntl(fd_, F_SETLEASE, F_UNLCK);
        }
    }
    ReadLease(const ReadLease&) = delete;
    ReadLease& operator=(const ReadLease&) = delete;

    State state() const { return state_; }

private:
    int fd_;
    State state_;
};

// Reads the open regular file from its start into `bytes`: 0; EFBIG when it holds more than
// `maxBytes` (`bytes` then holds its first maxBytes + 1); or the errno value of the failure.
int readFrom(int fd, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // Read one byte past the limit so an oversized file (or an endless device) is noticed
    // without reading all of it.
    constexpr std::size_t kChunk = 64 * 1024;
    for (;;) {
        const std::size_t size = bytes.size();
        if (size > maxBytes) {
            return EFBIG;
        }
        const std::size_t want = std::min(kChunk, maxBytes + 1 - size);
        bytes.resize(size + want);
        const ssize_t got = pread(fd, bytes.data() + size, want, static_cast<off_t>(size));
        if (got < 0 && errno == EINTR) {
            bytes.resize(size);
            continue;
        }
        if (got <= 0) {
            bytes.resize(size);
            return got < 0 ? errno : 0;
        }
        bytes.resize(size + static_cast<std::size_t>(got));
    }
}

bool sameVersion(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Reads a regular file into `bytes`: 0; EFBIG when it holds more than `maxBytes` (`bytes`
// then holds the first `maxBytes`); or the errno value of the failure (`bytes` empty), EISDIR
// for a folder, kNotRegularFile for any other kind of file, kBeingWritten for a file that was
// being written every time it was read.
int readAll(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // Non-blocking, so that opening a pipe or a device cannot hang; what was opened is looked
    // at before anything is read from it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return errno;
    }
    struct stat before {};
    if (fstat(fd, &before) != 0) {
        const int errorNumber = errno;
        close(fd);
        return errorNumber;
    }
    if (!S_ISREG(before.st_mode)) {
        close(fd);
        return S_ISDIR(before.st_mode) ? EISDIR : kNotRegularFile;
    }
    // A file rewritten in place while it is read can give half the old text and half the new;
    // a writer that stalls in the middle leaves its size and times as they were when the read
    // began, so only the lease tells. Without one (somebody else's file), a read counts when the
    // size and times are the same after it. A file being written is tried again a little later.
    int result = kBeingWritten;
    for (int attempt = 0; attempt < kReadTries; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(kTryAgainAfter);
        }
        const ReadLease lease(fd);
        if (lease.state() == ReadLease::State::Busy) {
            result = kBeingWritten;
            continue;
        }
        struct stat after {};
        result = readFrom(fd, maxBytes, bytes);
        if (result != 0 && result != EFBIG) {
            break;
        }
        if (fstat(fd, &after) != 0) {
            result = errno;
            break;
        }
        if (lease.state() == ReadLease::State::Held || sameVersion(before, after)) {
            break;
        }
        before = after;
        result = kBeingWritten;
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
    if (result == kBeingWritten) {
        return "it was being written every time it was read; try again once it is saved";
    }
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
