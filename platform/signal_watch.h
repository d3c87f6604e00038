// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>

namespace vesk::platform {

// Brings the signals that ask a process to end (SIGHUP, SIGINT, SIGQUIT, SIGTERM) into the
// event loop: the handler only writes the signal number into a pipe, and `onSignal(number)`
// runs on the thread that made the watch, from whichever event loop, nested or not, is
// running. While the watch lives SIGPIPE is ignored: a write to a reader that has gone fails
// instead of ending the program with the transmitter keyed.
//
// Callers guarantee: a QCoreApplication exists; one watch at a time in the process.
// The watch guarantees: no signal of the set is lost or delivered twice; signals of the set
// held back since the start (holdStopSignals) reach the watch once it is in place, those that
// came meanwhile first; at destruction (or stopWatching) the set and SIGPIPE get their default
// actions back.
class SignalWatch {
public:
    SignalWatch(std::initializer_list<int> numbers, std::function<void(int)> onSignal);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // False when the pipe could not be made: no signal is watched.
    bool watching() const;
    // Gives the signals their default actions back now: one arriving later ends the program
    // the kernel's way (a port with HUPCL still drops its lines).
    void stopWatching();

private:
    struct Detail;
    std::unique_ptr<Detail> detail_;
};

} // namespace vesk::platform
