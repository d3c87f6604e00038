// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into a program under test, this stands in for a serial port's modem lines: a
// pseudo-terminal has none, so TIOCMBIS and TIOCMBIC on a terminal are answered here. Each
// change is appended to the file $VESK_FAKE_MODEM_LOG as "DTR+", "RTS-" and so on, one per
// line, followed with VESK_FAKE_MODEM_TIMES set by the CLOCK_MONOTONIC time in seconds (the
// playback measurement lines it up with a recording), or by the CLOCK_REALTIME time with it set
// to "realtime" (to compare with the UTC times the program logs); with VESK_FAKE_MODEM_FAIL
// set, raising a line fails with EIO (a port gone bad). A pty whose other side has closed
// fails every change with EIO, as a real port does once its adapter has gone.
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    using Ioctl = int (*)(int, unsigned long, void*);
    static const auto next = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
    if ((request != TIOCMBIS && request != TIOCMBIC) || arg == nullptr || ::isatty(fd) == 0) {
        return next(fd, request, arg);
    }
    // A hung-up terminal refuses its settings too: so does an unplugged adapter's.
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return -1;
    }
    const bool raise = request == TIOCMBIS;
    if (raise && std::getenv("VESK_FAKE_MODEM_FAIL") != nullptr) {
        errno = EIO;
        return -1;
    }
    const int bits = *static_cast<const int*>(arg);
    char entry[64];
    int length = 0;
    const char* line = (bits & TIOCM_RTS) != 0 ? "RTS" : "DTR";
    if (const char* times = std::getenv("VESK_FAKE_MODEM_TIMES")) {
        timespec now{};
        ::clock_gettime(std::strcmp(times, "realtime") == 0 ? CLOCK_REALTIME : CLOCK_MONOTONIC,
                        &now);
        length = std::snprintf(entry, sizeof entry, "%s%c %lld.%09ld\n", line, raise ? '+' : '-',
                               static_cast<long long>(now.tv_sec), now.tv_nsec);
    } else {
        length = std::snprintf(entry, sizeof entry, "%s%c\n", line, raise ? '+' : '-');
    }
    if (const char* path = std::getenv("VESK_FAKE_MODEM_LOG")) {
        const int log = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        [[maybe_unused]] const auto written = ::write(log, entry, static_cast<std::size_t>(length));
        ::close(log);
    }
    return 0;
}
