#include "files/atomic_write.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vesk {

namespace {

// Tries before giving up on finding a free temporary name.
constexpr int kNameAttempts = 64;
// Room left for the suffix within the usual 255-byte limit of one name.
constexpr std::size_t kMaxStemLength = 200;

std::string failure(const std::string& path, int errorNumber) {
    return "Cannot write \"" + path + "\": " + std::generic_category().message(errorNumber);
}

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
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

// Where the bytes must go: the target of a symbolic link, else the path itself.
std::string resolvedTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int& errorNumber) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
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

// Best effort: a file whose old mode or owner cannot be restored is still worth saving.
void keepModeAndOwner(int fd, const struct stat& old) {
    if (fchmod(fd, old.st_mode & 07777) != 0) {
        return;
    }
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            return;
        }
    }
}

void syncFolder(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

bool writeFileAtomically(const std::string& path, const ByteSource& next, std::string& error) {
    if (path.empty()) {
        error = failure(path, ENOENT);
        return false;
    }
    const std::string target = resolvedTarget(path);
    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) {
        error = failure(path, EISDIR);
        return false;
    }

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        temporary = temporaryName(target);
        // The umask applies to 0644 here, as it does to any new file.
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        error = failure(path, errno);
        return false;
    }

    if (replacing) {
        keepModeAndOwner(fd, old);
    }
    int errorNumber = 0;
    bool ok = true;
    for (std::span<const std::uint8_t> bytes = next(); ok && !bytes.empty(); bytes = next()) {
        ok = writeAll(fd, bytes.data(), bytes.size(), errorNumber);
    }
    if (ok && fsync(fd) != 0) {
        ok = false;
        errorNumber = errno;
    }
    if (close(fd) != 0 && ok) {
        ok = false;
        errorNumber = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        errorNumber = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        error = failure(path, errorNumber);
        return false;
    }
    syncFolder(target);
    return true;
}

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error) {
    bool given = false;
    return writeFileAtomically(
        path,
        [&]() {
            const bool first = !given;
            given = true;
            return first ? bytes : std::span<const std::uint8_t>();
        },
        error);
}

bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    return writeFileAtomically(path, bytes, error);
}

} // namespace vesk
