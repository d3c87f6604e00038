// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/atomic_write.h"

#include "files/file_calls.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vesk {

namespace {

// Tries before giving up on finding a free temporary name.
constexpr int kNameAttempts = 64;
// Room left for the suffix within the usual 255-byte limit of one name.
constexpr std::size_t kMaxStemLength = 200;
// Symbolic links followed before the path counts as a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

// The named temporary file of the write in progress, for removeTemporaryFile: a fixed buffer
// and a flag, because a signal handler may read them at any moment.
char temporaryPath[PATH_MAX];
volatile std::sig_atomic_t haveTemporary = 0;

void noteTemporary(const std::string& path) {
    haveTemporary = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (path.size() < sizeof temporaryPath) {
        std::memcpy(temporaryPath, path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        haveTemporary = 1;
    }
}

void forgetTemporary() {
    haveTemporary = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

std::string sentence(const std::string& path, const std::string& reason) {
    return "Cannot write \"" + path + "\": " + reason;
}

std::string sentence(const std::string& path, int errorNumber) {
    return sentence(path, std::generic_category().message(errorNumber));
}

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// A name next to `target` that nobody else picks: ".<name>.<6 random characters>".
std::string temporaryName(const std::string& target) {
    static std::atomic<std::uint64_t> counter{0};
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::size_t slash = target.rfind('/');
    const std::size_t stemStart = slash == std::string::npos ? 0 : slash + 1;
    std::string name =
        target.substr(0, stemStart) + "." + target.substr(stemStart, kMaxStemLength) + ".";
    const auto now =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t bits =
        mix(now ^ (static_cast<std::uint64_t>(getpid()) << 40) ^ mix(counter.fetch_add(1)));
    for (int i = 0; i < 6; ++i) {
        name += kAlphabet[bits % 62];
        bits /= 62;
    }
    return name;
}

// Where the bytes must go: the end of a chain of symbolic links (which need not exist yet),
// else the path itself. Empty and ELOOP in `errorNumber` for a chain that does not end.
std::string resolveLinks(const std::string& path, int& errorNumber) {
    std::string current = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        char link[PATH_MAX];
        const ssize_t size = readlink(current.c_str(), link, sizeof link - 1);
        if (size < 0) {
            return current;
        }
        const std::string next(link, static_cast<std::size_t>(size));
        const std::size_t slash = current.rfind('/');
        current = next.front() == '/' || slash == std::string::npos
                      ? next
                      : current.substr(0, slash + 1) + next;
    }
    errorNumber = ELOOP;
    return {};
}

const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a pipe";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "a special file";
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int& errorNumber) {
    while (size > 0) {
        const std::int64_t written = fileCalls().write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            errorNumber = errno;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The owner and group first: changing them clears the set-id bits that the mode then restores.
// A failure's message is the reason alone.
Result<> takeModeAndOwner(int fd, const struct stat& old) {
    FileCalls& calls = fileCalls();
    if ((old.st_uid != calls.geteuid() || old.st_gid != calls.getegid()) &&
        calls.fchown(fd, old.st_uid, old.st_gid) != 0) {
        return fail("its owner and group cannot be kept (" +
                    std::generic_category().message(errno) + ")");
    }
    if (calls.fchmod(fd, old.st_mode & 07777) != 0) {
        return fail("its permissions cannot be kept (" + std::generic_category().message(errno) +
                    ")");
    }
    return {};
}

void syncFolder(const std::string& target) {
    FileCalls& calls = fileCalls();
    const int fd = calls.open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd >= 0) {
        calls.fsync(fd);
        calls.close(fd);
    }
}

// A file without a name in `folder`, or -1 (errno set).
int openUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
    // The umask applies to 0644 here, as it does to any new file.
    return fileCalls().open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
#else
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// Gives the unnamed file `fd` a temporary name next to `target`; false when the system cannot
// (then a named file is written instead).
bool nameUnnamed(int fd, const std::string& target, std::string& temporary) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = temporaryName(target);
        noteTemporary(temporary);
        // AT_EMPTY_PATH needs a privilege; the /proc name of the descriptor does not.
        FileCalls& calls = fileCalls();
        if (calls.linkat(fd, "", AT_FDCWD, temporary.c_str(), AT_EMPTY_PATH) == 0 ||
            calls.linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    forgetTemporary();
    return false;
}

// A new named temporary file next to `target`, or -1 (errno set).
int openNamed(const std::string& target, std::string& temporary) {
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        temporary = temporaryName(target);
        noteTemporary(temporary);
        fd = fileCalls().open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        const int errorNumber = errno;
        forgetTemporary();
        errno = errorNumber;
    }
    return fd;
}

// Writes what `next` hands out, piece by piece, into `fd` with the old file's mode and owner.
// A failure's message is the reason alone.
Result<> fill(int fd, const struct stat* old, const ByteSource& next) {
    if (old != nullptr) {
        if (Result<> taken = takeModeAndOwner(fd, *old); !taken) {
            return taken;
        }
    }
    int errorNumber = 0;
    for (std::span<const std::uint8_t> bytes = next(); !bytes.empty(); bytes = next()) {
        if (!writeAll(fd, bytes.data(), bytes.size(), errorNumber)) {
            return fail(std::generic_category().message(errorNumber));
        }
    }
    if (fileCalls().fsync(fd) != 0) {
        return fail(std::generic_category().message(errno));
    }
    return {};
}

// The whole of the written file `from`, piece by piece: the source of the bytes has been used
// up, the unnamed file still holds them. A read that fails ends the pieces early and leaves
// its errno in `readError`, so that a short copy is never taken for the whole.
ByteSource copyOf(int from, int& readError) {
    auto buffer = std::make_shared<std::vector<std::uint8_t>>(std::size_t{1} << 20);
    auto offset = std::make_shared<std::int64_t>(0);
    return [from, buffer, offset, &readError]() -> std::span<const std::uint8_t> {
        std::int64_t got = -1;
        do {
            got = fileCalls().pread(from, buffer->data(), buffer->size(), *offset);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            readError = errno;
        }
        if (got <= 0) {
            return {};
        }
        *offset += got;
        return {buffer->data(), static_cast<std::size_t>(got)};
    };
}

} // namespace

Result<> writeFileAtomically(const std::string& path, const ByteSource& next) {
    if (path.empty()) {
        return fail(sentence(path, ENOENT));
    }
    int errorNumber = 0;
    const std::string target = resolveLinks(path, errorNumber);
    if (target.empty()) {
        return fail(sentence(path, errorNumber));
    }
    struct stat old {};
    const bool replacing = lstat(target.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT) {
        return fail(sentence(path, errno));
    }
    if (replacing) {
        // Only a regular file is ever replaced: a rename over a device or a pipe would put a
        // plain file in its place.
        if (S_ISDIR(old.st_mode)) {
            return fail(sentence(path, EISDIR));
        }
        if (!S_ISREG(old.st_mode)) {
            return fail(
                sentence(path, std::string("not a regular file but ") + kindOf(old.st_mode)));
        }
        // A file without any write bit is read-only on purpose, whoever runs the program.
        if ((old.st_mode & 0222) == 0) {
            return fail(sentence(path, "the file is read-only"));
        }
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            return fail(sentence(path, errno));
        }
    }

    std::string temporary;
    bool named = false;
    int fd = openUnnamed(folderOf(target));
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        fd = openNamed(target, temporary);
        named = fd >= 0;
    }
    if (fd < 0) {
        return fail(sentence(path, errno));
    }
    Result<> written = fill(fd, replacing ? &old : nullptr, next);
    if (written && !named) {
        named = nameUnnamed(fd, target, temporary);
        if (!named) {
            // No way to name an unnamed file here: copy it into a named one instead.
            const int unnamed = fd;
            fd = openNamed(target, temporary);
            if (fd < 0) {
                Result<> failed = fail(sentence(path, errno));
                fileCalls().close(unnamed);
                return failed;
            }
            named = true;
            int readError = 0;
            written = fill(fd, replacing ? &old : nullptr, copyOf(unnamed, readError));
            if (written && readError != 0) {
                written = fail(std::generic_category().message(readError));
            }
            fileCalls().close(unnamed);
        }
    }
    FileCalls& calls = fileCalls();
    if (calls.close(fd) != 0 && written) {
        written = fail(std::generic_category().message(errno));
    }
    if (written && calls.rename(temporary.c_str(), target.c_str()) != 0) {
        written = fail(std::generic_category().message(errno));
    }
    if (!written && named) {
        calls.unlink(temporary.c_str());
    }
    forgetTemporary();
    if (!written) {
        return fail(sentence(path, written.message()));
    }
    syncFolder(target);
    return {};
}

ByteSource onePiece(std::span<const std::uint8_t> bytes) {
    return [bytes, given = false]() mutable {
        const bool first = !given;
        given = true;
        return first ? bytes : std::span<const std::uint8_t>();
    };
}

Result<> writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    return writeFileAtomically(path, onePiece(bytes));
}

Result<> writeFileAtomically(const std::string& path, const std::string& text) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    return writeFileAtomically(path, bytes);
}

void removeTemporaryFile() noexcept {
    if (haveTemporary != 0) {
        // The system's own call: this may run in a signal handler, past any test's stand-in.
        ::unlink(temporaryPath);
        haveTemporary = 0;
    }
}

} // namespace vesk
