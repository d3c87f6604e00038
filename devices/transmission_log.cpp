// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/transmission_log.h"

#include "platform/user_folders.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

std::string defaultTransmissionLogPath() {
    const std::string folder = platform::userFolder("XDG_STATE_HOME", ".local/state");
    return folder.empty() ? folder : (std::filesystem::path(folder) / "transmissions.log").string();
}

std::string formatUtcMilliseconds(UtcNanoseconds time) {
    constexpr std::int64_t kPerSecond = 1'000'000'000;
    std::int64_t seconds = time / kPerSecond;
    std::int64_t rest = time % kPerSecond;
    if (rest < 0) {
        rest += kPerSecond;
        --seconds;
    }
    const std::time_t whole = static_cast<std::time_t>(seconds);
    std::tm utc{};
    ::gmtime_r(&whole, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(rest / 1'000'000));
    return text;
}

namespace {

// A field as the line holds it: a tab, a line feed or a carriage return in a file name (or a
// device name) would split the field or the line, so they are written as \t, \n and \r.
std::string oneField(const std::string& text) {
    std::string field;
    for (const char c : text) {
        if (c == '\t') {
            field += "\\t";
        } else if (c == '\n') {
            field += "\\n";
        } else if (c == '\r') {
            field += "\\r";
        } else {
            field += c;
        }
    }
    return field;
}

} // namespace

std::string eventLine(UtcNanoseconds time, const std::string& text) {
    return formatUtcMilliseconds(time) + "\tevent\t" + oneField(text);
}

std::string transmissionLine(const TransmissionRecord& record) {
    std::string line =
        formatUtcMilliseconds(record.keyed) + '\t' + formatUtcMilliseconds(record.released) +
        "\tcycle " + std::to_string(record.cycle) + (record.keptKeyed ? ", PTT kept keyed" : "") +
        '\t' + oneField(record.pattern) + '\t' + oneField(record.ptt) + '\t' +
        std::to_string(record.underruns) + (record.underruns == 1 ? " underrun" : " underruns");
    if (!record.entry.empty()) {
        line += '\t' + oneField(record.entry) + '\t' +
                (record.frequencyHz > 0 ? std::to_string(record.frequencyHz) + " Hz" : "-");
    }
    return line;
}

TransmissionLogFile::~TransmissionLogFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

namespace {

// What a path that is no regular file names: "a pipe", "a device", "a socket".
const char* kindOfFile(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a pipe";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return S_ISSOCK(mode) ? "a socket" : "a special file";
}

} // namespace

Result<> TransmissionLogFile::open(const std::string& path) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    path_ = path;
    const auto failed = [&path](const std::string& reason) {
        return fail("Cannot open the transmission log " + path + ": " + reason);
    };
    if (path.empty()) {
        return failed("no file named (HOME is not set)");
    }
    // A file size limit must fail the write (EFBIG) rather than end the beacon.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            return failed(error.message());
        }
    }
    // Only a regular file is a log: a pipe would hold the beacon until somebody reads it (an
    // open that waits for a reader is restarted after every signal), a device takes lines
    // nobody keeps. Looked at before the open, so no device is opened at all, and again on
    // what was opened, without waiting, in case the path changed in between.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        return failed(std::string("not a regular file but ") + kindOfFile(info.st_mode));
    }
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        return failed(std::strerror(errno));
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return failed(std::string("not a regular file but ") + kindOfFile(info.st_mode));
    }
    fd_ = fd;
    return {};
}

Result<> TransmissionLogFile::append(const std::string& line) {
    if (fd_ < 0) {
        return fail("The transmission log is not open");
    }
    const std::string text = line + '\n';
    std::size_t written = 0;
    off_t lineStart = -1;
    int errorNumber = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd_, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            // A full disk, or a file size limit (EFBIG): the same to the log.
            errorNumber = count < 0 ? errno : EIO;
            break;
        }
        if (written == 0) {
            // Appended, so the line starts where this write ended less what it wrote.
            lineStart = ::lseek(fd_, 0, SEEK_CUR) - count;
        }
        written += static_cast<std::size_t>(count);
    }
    if (errorNumber == 0) {
        return {};
    }
    // A line is there whole or not at all: what went in of this one is cut off again, so the
    // next line does not run on from it. Shortening needs no room on the disk.
    if (written > 0 && (lineStart < 0 || ::ftruncate(fd_, lineStart) != 0)) {
        return fail("Cannot write to the transmission log " + path_ + ": " +
                    std::strerror(errorNumber) + "; its last line may be cut short");
    }
    return fail("Cannot write to the transmission log " + path_ + ": " +
                std::strerror(errorNumber));
}

TransmissionLogger::TransmissionLogger(Ptt& ptt,
                                       std::function<void(const TransmissionRecord&)> sink,
                                       const WallClock& clock)
    : ptt_(ptt), sink_(std::move(sink)), clock_(clock) {}

void TransmissionLogger::pttOn() {
    ptt_.pttOn();
    if (open_) {
        return;
    }
    // Each cycle keys once, so a keying that failed still counts: the numbers stay those of
    // the cycles.
    ++cycle_;
    if (ptt_.keyed()) {
        begin(clock_.now());
    }
}

void TransmissionLogger::begin(UtcNanoseconds keyed) {
    open_ = true;
    current_ = {};
    current_.cycle = cycle_;
    current_.keyed = keyed;
    current_.pattern = label_.pattern;
    current_.entry = label_.entry;
    current_.frequencyHz = label_.frequencyHz;
    current_.ptt = pttText_;
    underrunsAtKey_ = underruns_ ? underruns_() : 0;
}

void TransmissionLogger::pttOff() {
    ptt_.pttOff();
    endOpenTransmission();
}

void TransmissionLogger::cycleEnded(long cycle) {
    // Normally the next cycle is keyed already when this one is reported over; only a record
    // of this cycle (or an earlier one) has run on.
    if (!open_ || current_.cycle > cycle || !ptt_.keyed()) {
        return;
    }
    current_.keptKeyed = true;
    endOpenTransmission();
    cycle_ = cycle + 1;
    begin(current_.released);
}

void TransmissionLogger::endOpenTransmission() {
    if (!open_) {
        return;
    }
    open_ = false;
    current_.released = clock_.now();
    current_.underruns = (underruns_ ? underruns_() : 0) - underrunsAtKey_;
    if (sink_) {
        sink_(current_);
    }
}

} // namespace vesk
