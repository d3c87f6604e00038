// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/serial_lines.h"

#include "platform/user_folders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace vesk::platform {

namespace {

std::string comName(std::int32_t number) {
    return "COM" + std::to_string(number);
}

// Linux numbers its serial drivers from 0 in blocks of 32 COM numbers each.
std::string builtinPath(std::int32_t number) {
    struct Range {
        std::int32_t first;
        const char* prefix;
    };
    static constexpr Range ranges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
    for (const Range& range : ranges) {
        if (number >= range.first && number < range.first + 32) {
            return range.prefix + std::to_string(number - range.first);
        }
    }
    return {};
}

// Keyed and released levels of every method. Inverted swaps the levels of the used lines only.
struct MethodLevels {
    PttMethod method;
    LineLevels keyed;
    LineLevels released;
};
constexpr MethodLevels kMethodLevels[] = {
    {{PttLines::DtrRts, false}, {true, true}, {false, false}},
    {{PttLines::Dtr, false}, {true, false}, {false, false}},
    {{PttLines::Rts, false}, {false, true}, {false, false}},
    {{PttLines::DtrRts, true}, {false, false}, {true, true}},
    {{PttLines::Dtr, true}, {false, false}, {true, false}},
    {{PttLines::Rts, true}, {false, false}, {false, true}},
};

} // namespace

LineLevels lineLevels(PttMethod method, bool keyed) {
    for (const MethodLevels& row : kMethodLevels) {
        if (row.method == method) {
            return keyed ? row.keyed : row.released;
        }
    }
    return {}; // no method outside the table: both lines cleared
}

std::string comportDevicePath(std::int32_t number) {
    const std::string name = comName(number);
    if (const char* dir = std::getenv("VESK_COMPORT_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/" + name;
    }
    if (const std::string folder = userFolder("XDG_CONFIG_HOME", ".config"); !folder.empty()) {
        // lstat: a link the user made counts even when its target is unplugged, so the open
        // reports the missing device instead of silently falling back to the built-in table.
        const std::string own = folder + "/comports/" + name;
        struct stat info {};
        if (::lstat(own.c_str(), &info) == 0) {
            return own;
        }
    }
    return builtinPath(number);
}

std::map<std::string, std::string> serialByIdLinks() {
    const char* dir = std::getenv("VESK_SERIAL_BY_ID_DIR");
    const std::filesystem::path folder = dir != nullptr && *dir != '\0' ? dir : "/dev/serial/by-id";
    std::map<std::string, std::string> links;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        const std::filesystem::path target = std::filesystem::canonical(it->path(), ignored);
        if (!ignored) {
            links.emplace(target.string(), it->path().string());
        }
    }
    return links;
}

SerialLines::~SerialLines() {
    SerialLines::close();
}

Result<> SerialLines::open(std::int32_t number) {
    SerialLines::close();
    const std::string name = comName(number);
    std::string path = comportDevicePath(number);
    std::error_code missing;
    if (const auto stable = stableNames_.find(number);
        stable != stableNames_.end() && std::filesystem::exists(stable->second, missing)) {
        path = stable->second;
    }
    if (path.empty()) {
        return fail(name + ": no device for this number");
    }
    // Non-blocking: a port with carrier detect low would otherwise hang the open; nothing is
    // ever read or written, so the mode never matters afterwards.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return fail(name + ": " +
                    (error == EBUSY ? std::string("in use by another program")
                                    : path + ": " + std::strerror(error)));
    }
    if (::isatty(fd) == 0) {
        ::close(fd);
        return fail(name + ": not a serial device");
    }
    // TIOCEXCL does not stop root, so the lock is what keeps a second instance (or a second
    // port object in this one) off the port. Locking first leaves the holder's tty flags alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return fail(name + ": in use by another program");
    }
    ::ioctl(fd, TIOCEXCL);
    // With HUPCL the kernel drops DTR and RTS when the last descriptor of the port closes, so
    // the transmitter is released even when this program is killed with SIGKILL or crashes.
    // An inverted transmitter is keyed by dropped lines: there the lines must stay as the
    // release left them. Only that bit changes; the port's other settings stay as they were.
    const bool dropOnClose = lineLevels(method_, false) == LineLevels{};
    termios settings{};
    bool settled = ::tcgetattr(fd, &settings) == 0;
    if (settled && ((settings.c_cflag & HUPCL) != 0) != dropOnClose) {
        settings.c_cflag ^= HUPCL;
        settled = ::tcsetattr(fd, TCSANOW, &settings) == 0;
    }
    if (!settled) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return fail(name + ": cannot make the port " + (dropOnClose ? "drop" : "keep") +
                    " its lines on close: " + std::strerror(error));
    }
    fd_ = fd;
    name_ = name;
    openMethod_ = method_;
    // The kernel raised DTR and RTS at open(): set the released levels before the
    // transmitter can key. A device without modem lines (ENOTTY, EINVAL) raised none: it opens, and
    // keying it fails.
    Result<> released = changeLines(false, true);
    if (!released) {
        SerialLines::close();
        return released;
    }
    if (!stableNames_.contains(number)) {
        std::error_code ignored;
        const std::string device = std::filesystem::canonical(path, ignored).string();
        const std::map<std::string, std::string> links = serialByIdLinks();
        if (const auto link = links.find(device); !ignored && link != links.end()) {
            stableNames_.emplace(number, link->second);
        }
    }
    return released;
}

void SerialLines::close() {
    if (fd_ < 0) {
        return;
    }
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

Result<> SerialLines::setLines(bool keyed) {
    if (fd_ < 0) {
        return fail("the PTT port is not open");
    }
    Result<> changed = changeLines(keyed);
    if (!changed && keyed) {
        // Half a keying may have raised DTR alone: a transmitter keyed on one line is keyed.
        static_cast<void>(changeLines(false));
    }
    return changed;
}

Result<> SerialLines::changeLines(bool keyed, bool linesMayBeMissing) {
    const LineLevels levels = lineLevels(openMethod_, keyed);
    int firstError = 0;
    std::string why;
    // Both lines are tried even when the first fails: a release sets whatever it can.
    for (const auto& [bit, line, raised] :
         {std::tuple{TIOCM_DTR, "DTR", levels.dtr}, std::tuple{TIOCM_RTS, "RTS", levels.rts}}) {
        if (modemIoctl(raised ? TIOCMBIS : TIOCMBIC, bit) != 0 && firstError == 0) {
            firstError = errno != 0 ? errno : EIO;
            why = name_ + ": cannot " + (raised ? "raise " : "drop ") + line + ": " +
                  std::strerror(firstError);
        }
    }
    if (firstError == 0 || (linesMayBeMissing && (firstError == ENOTTY || firstError == EINVAL))) {
        return {};
    }
    return fail(why);
}

int SerialLines::modemIoctl(unsigned long request, int bits) {
    return ::ioctl(fd_, request, &bits);
}

} // namespace vesk::platform
