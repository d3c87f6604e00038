// SPDX-License-Identifier: GPL-3.0-or-later
// The window's beacon session on its own thread, with the real sound output and rig library:
// the window's thread held up opens no gap in the sound and never waits for a rig.
#include "tests/integration/monitor_recording.h"

#include "app/session_host.h"
#include "devices/cat/keyer_opener.h"
#include "devices/ptt.h"
#include "platform/audio_out.h"
#include "platform/dot_timer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

namespace vesk {
namespace {

std::unique_ptr<SessionHost> ownThreadHost() {
    return std::make_unique<SessionHost>(
        [] {
            return std::make_unique<BeaconSession>(platform::makeAudioOut(), platform::makeDotTimer,
                                                   std::make_unique<Ptt>(keyerOpener()));
        },
        SessionHost::Thread::Own);
}

// Runs the caller's event loop until `done` holds or `limitMs` have passed.
template <typename Done> bool spinUntil(Done done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Slots 0..20 of 50 ms at the centre, a cycle of 21 dots: one unbroken tone while it plays.
BeaconPattern unbrokenTone() {
    BeaconPattern pattern = startPattern();
    pattern.dotLength = 50;
    pattern.dotCount = 20;
    pattern.repeatDots = 20;
    for (int slot = 0; slot <= pattern.dotCount; ++slot) {
        pattern.toneIndex[static_cast<std::size_t>(slot)] = 8.0f;
        pattern.levelCode[static_cast<std::size_t>(slot)] = 1.0f;
    }
    return pattern;
}

TEST(SessionHost, AWindowHeldUpForSecondsOpensNoGapInTheSound) {
    SKIP_WITHOUT_SOUND_SERVER();
    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";
    const std::unique_ptr<SessionHost> host = ownThreadHost();
    host->turnOn(unbrokenTone(), 16000, -1, "held up");
    ASSERT_TRUE(spinUntil([&] { return host->playing(); }, 5000));
    spinUntil([] { return false; }, 1000);
    // Far longer than the queue of blocks lasts: only a thread of the session's own feeds it.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    spinUntil([] { return false; }, 1000);
    host->turnOff();
    ASSERT_TRUE(spinUntil([&] { return !host->playing(); }, 5000)) << "the queued sound ends";
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording, "session_host_");

    const auto loud = [](std::int16_t s) {
        return std::abs(s) > 1000;
    };
    const auto first = std::find_if(recording.begin(), recording.end(), loud);
    const auto last = std::find_if(recording.rbegin(), recording.rend(), loud).base();
    ASSERT_LT(first, last) << "no tone recorded";
    EXPECT_GT(last - first, 5 * 44100) << "the tone ended early";
    // A 1000 Hz tone crosses zero for a sample or two; a gap is a run of quiet samples.
    std::ptrdiff_t longestQuiet = 0;
    for (auto at = first; at < last;) {
        const auto quietEnd =
            std::find_if(at, last, [](std::int16_t s) { return std::abs(s) > 4; });
        longestQuiet = std::max(longestQuiet, quietEnd - at);
        at = std::find_if(quietEnd, last, [](std::int16_t s) { return std::abs(s) <= 4; });
    }
    EXPECT_LT(longestQuiet, 10) << "a gap of " << longestQuiet << " samples";
}

// A rigctld that takes the connection and says nothing for two seconds, then hangs up.
class SilentRig {
public:
    SilentRig() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            // Each connection the library makes is held silent, then closed.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            std::vector<int> held;
            while (std::chrono::steady_clock::now() < until) {
                timeval wait{0, 50'000};
                fd_set ready;
                FD_ZERO(&ready);
                FD_SET(listener_, &ready);
                if (::select(listener_ + 1, &ready, nullptr, nullptr, &wait) > 0) {
                    held.push_back(::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
                }
            }
            ::close(listener_);
            for (const int fd : held) {
                ::close(fd);
            }
        });
    }
    ~SilentRig() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    SilentRig(const SilentRig&) = delete;
    SilentRig& operator=(const SilentRig&) = delete;
    int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(SessionHost, ARigThatDoesNotAnswerNeverHoldsTheWindowUp) {
    const std::unique_ptr<SessionHost> host = ownThreadHost();
    SilentRig rig;
    ASSERT_NE(rig.port(), 0);
    QElapsedTimer clock;
    clock.start();
    bool answered = false;
    Result<> opened;
    host->openKeyer(
        {PttChoice::Keyer::Cat, {}, RigAddress::rigctld("127.0.0.1:" + std::to_string(rig.port()))},
        0, [&](const Result<>& result) {
            answered = true;
            opened = result;
        });
    EXPECT_LT(clock.elapsed(), 200) << "the window waited for the rig";
    // The window's thread keeps turning while the rig is silent: a timer every 20 ms is late
    // by no more than a blink.
    qint64 lastTick = clock.elapsed();
    qint64 longestPause = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(20);
    ASSERT_TRUE(spinUntil([&] { return answered; }, 60'000)) << "no answer about the rig";
    EXPECT_GE(clock.elapsed(), 300) << "the library gave up on the silent rig at once";
    EXPECT_LT(longestPause, 250);
    EXPECT_FALSE(opened.ok()) << "a rig that hung up is not open";
}

} // namespace
} // namespace vesk
