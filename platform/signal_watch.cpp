// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/signal_watch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <vector>

namespace vesk::platform {

namespace {

// Written by the handler, so it must be a plain global; -1 while no watch exists.
int writeEnd = -1;

// Async-signal-safe: one write of the signal number, errno left as the interrupted code had it.
extern "C" void handleSignal(int number) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

// Lets `numbers` through to this thread: held since the program's start (holdStopSignals),
// they reach their action from now on, those that waited first.
void letThrough(const std::vector<int>& numbers) {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : numbers) {
        sigaddset(&set, number);
    }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void setAction(int number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a signal must not turn a read or a wait elsewhere into a failure.
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

} // namespace

struct SignalWatch::Detail {
    std::vector<int> numbers;
    int pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    bool active = false;
};

SignalWatch::SignalWatch(std::initializer_list<int> numbers, std::function<void(int)> onSignal)
    : detail_(std::make_unique<Detail>()) {
    Detail& d = *detail_;
    d.numbers.assign(numbers.begin(), numbers.end());
    if (::pipe2(d.pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        // Unwatched, they end the program the kernel's way rather than wait for ever.
        letThrough(d.numbers);
        return;
    }
    writeEnd = d.pipe[1];
    d.notifier = std::make_unique<QSocketNotifier>(d.pipe[0], QSocketNotifier::Read);
    const int readEnd = d.pipe[0];
    QObject::connect(d.notifier.get(), &QSocketNotifier::activated,
                     [readEnd, onSignal = std::move(onSignal)] {
                         unsigned char number = 0;
                         while (::read(readEnd, &number, 1) == 1) {
                             onSignal(number);
                         }
                     });
    setAction(SIGPIPE, SIG_IGN);
    for (const int number : d.numbers) {
        setAction(number, handleSignal);
    }
    d.active = true;
    letThrough(d.numbers);
}

SignalWatch::~SignalWatch() {
    stopWatching();
    detail_->notifier.reset();
    for (int& fd : detail_->pipe) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    writeEnd = -1;
}

bool SignalWatch::watching() const {
    return detail_->active;
}

void SignalWatch::stopWatching() {
    if (!detail_->active) {
        return;
    }
    detail_->active = false;
    for (const int number : detail_->numbers) {
        setAction(number, SIG_DFL);
    }
    setAction(SIGPIPE, SIG_DFL);
}

} // namespace vesk::platform
