// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/core/scratch_folder.h"
#include "tests/integration/child_process.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace vesk {

// A folder for VESK_COMPORT_DIR with COM7 leading to a pseudo-terminal (the program sees a
// tty). With the fake modem preloaded (modemEnvironment) the pty answers line changes and
// they are logged; without it, every line change fails as on a port without modem lines.
class Comport7 {
public:
    Comport7() { plugIn(); }
    ~Comport7() { ::close(master_); }
    // The adapter goes: the pty's other side closes, and every line change on it fails.
    void pullOut() {
        ::close(master_);
        master_ = -1;
    }
    // An adapter comes (back): a new pty, on another device number than any before, and COM7
    // leads to it; with `keepComLink`, COM7 is left leading where it did (to the number the
    // adapter had before) and only its by-id link (in byIdFolder()) leads to the new one.
    void plugIn(bool keepComLink = false) {
        const int fresh = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::close(master_);
        master_ = fresh;
        const char* name = master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0
                               ? ::ptsname(master_)
                               : nullptr;
        device = name != nullptr ? name : "";
        if (device.empty()) {
            return;
        }
        std::error_code ignored;
        std::filesystem::create_directories(byIdFolder(), ignored);
        const std::string byId = byIdFolder() + "/usb-Vesk_Test_Adapter_0001-if00-port0";
        std::filesystem::remove(byId, ignored);
        std::filesystem::create_symlink(device, byId);
        if (!keepComLink) {
            std::filesystem::remove(ports.file("COM7"), ignored);
            std::filesystem::create_symlink(device, ports.file("COM7"));
        }
    }
    std::string byIdFolder() const { return ports.file("by-id"); }

    EnvironmentChanges environment() const {
        return {{"VESK_COMPORT_DIR", ports.path().string()},
                {"VESK_SERIAL_BY_ID_DIR", byIdFolder()}};
    }
    EnvironmentChanges modemEnvironment() const {
        EnvironmentChanges changes = environment();
        changes["LD_PRELOAD"] = VESK_FAKE_MODEM_PATH;
        changes["VESK_FAKE_MODEM_LOG"] = ports.file("lines.log");
        // A sanitizer build wants its runtime first; the fake modem only adds one symbol. The
        // options the run was given stay.
        const char* given = std::getenv("ASAN_OPTIONS");
        changes["ASAN_OPTIONS"] =
            std::string(given != nullptr ? given : "") + ":verify_asan_link_order=0";
        return changes;
    }
    // The line changes so far, one "DTR+" / "RTS-" per line.
    std::string lineLog() const { return readWholeFile(ports.file("lines.log")); }
    // Both lines as the last changes left them.
    bool keyed() const { return endsWith("DTR+\nRTS+\n"); }
    bool released() const { return endsWith("DTR-\nRTS-\n"); }
    // HUPCL as the port's settings hold it (shared by both sides of the pty).
    bool hangsUpOnClose() const {
        termios settings{};
        return ::tcgetattr(master_, &settings) == 0 && (settings.c_cflag & HUPCL) != 0;
    }
    void setHangUpOnClose(bool on) const {
        termios settings{};
        ::tcgetattr(master_, &settings);
        settings.c_cflag = on ? settings.c_cflag | HUPCL : settings.c_cflag & ~tcflag_t{HUPCL};
        ::tcsetattr(master_, TCSANOW, &settings);
    }

    ScratchFolder ports;
    std::string device; // empty when no pseudo-terminal could be made

private:
    bool endsWith(const std::string& tail) const {
        const std::string log = lineLog();
        return log.size() >= tail.size() &&
               log.compare(log.size() - tail.size(), tail.size(), tail) == 0;
    }

    int master_ = -1;
};

inline bool holdsOpen(pid_t pid, const std::string& device) {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (std::filesystem::read_symlink(entry.path(), error).string() == device) {
            return true;
        }
    }
    return false;
}

} // namespace vesk
