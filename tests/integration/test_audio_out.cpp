// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio_out.h"

#include "platform/fake_audio_out.h"
#include "tests/integration/monitor_recording.h"
#include "tests/integration/private_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vesk {
namespace {

using platform::AudioEvent;
using platform::AudioOut;

constexpr int kRate = 44100;
constexpr int kBlockSamples = 128; // the sequencer's 256-byte blocks
constexpr int kQueued = 64;        // kept queued ahead of the device's own buffer

SoundFormat monoFormat() {
    SoundFormat format;
    fillSoundFormat(format, 1, kRate, 16);
    return format;
}

// Runs the Qt event loop until `done` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return done();
}

// 1 kHz at -6 dB of full scale.
std::int16_t toneSample(std::int64_t n) {
    return static_cast<std::int16_t>(std::lround(
        16384.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n) / kRate)));
}

// Milliseconds since the player opened its output, on the clock the output plays by.
using PlayClock = std::function<std::int64_t()>;

// Drives an output as the playback sequencer does: 64 blocks queued ahead of the device's own
// buffer, each refilled from the source when it comes back, and once stopping, a close attempt
// at every returned block. It plays silence with the tone from sample `toneFrom` for
// `toneLength` samples.
class Player {
public:
    Player(AudioOut& out, std::int64_t toneFrom, std::int64_t toneLength, PlayClock clock = {})
        : out_(out), toneFrom_(toneFrom), toneLength_(toneLength), clock_(std::move(clock)) {
        if (!clock_) {
            clock_ = [timer = std::make_shared<QElapsedTimer>()] {
                if (!timer->isValid()) {
                    timer->start();
                }
                return timer->elapsed();
            };
        }
    }

    bool open(int index) {
        openedAt_ = clock_();
        return call([&] {
            return out_.open(index, monoFormat(), [this](AudioEvent e, int b) { onEvent(e, b); })
                .ok();
        });
    }
    // Stop refilling until `resume` is called (the owner's thread busy elsewhere).
    void pause() { paused_ = true; }
    void resume() {
        paused_ = false;
        for (const int slot : held_) {
            writeSlot(slot);
        }
        held_.clear();
    }
    // Stop refilling after `blocks` blocks in all.
    void stopAfter(std::int64_t blocks) { limit_ = blocks; }
    // The events seen, then every broken promise of the output.
    std::string summary() const {
        return "opened " + std::to_string(count_[0]) + " closed " + std::to_string(count_[2]) +
               " lost " + std::to_string(count_[3]) + faults_;
    }
    bool ended() const { return count_[2] + count_[3] > 0; }

    std::int64_t done = 0;
    int refusedCloses = 0;

private:
    bool call(const std::function<bool()>& f) {
        inCall_ = true;
        const bool ok = f();
        inCall_ = false;
        return ok;
    }

    void writeSlot(int slot) {
        std::int16_t samples[kBlockSamples];
        for (std::int64_t i = 0; i < kBlockSamples; ++i) {
            const std::int64_t n = written_ * kBlockSamples + i - toneFrom_;
            samples[i] = n >= 0 && n < toneLength_ ? toneSample(n) : 0;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples);
        fault(!call([&] { return out_.write(slot, bytes, sizeof samples); }), "write refused");
        inFlight_.push_back(slot);
        ++written_;
    }

    void tryClose() {
        refusedCloses += call([&] { return out_.close(); }) ? 0 : 1;
    }

    void onEvent(AudioEvent event, int block) {
        fault(inCall_, "event from inside a call");
        fault(ended(), "event after the end");
        ++count_[static_cast<int>(event)];
        if (event == AudioEvent::Opened) {
            const auto inFlight =
                kQueued + (out_.latencySamples() + kBlockSamples - 1) / kBlockSamples;
            for (int slot = 0; slot < inFlight; ++slot) {
                writeSlot(slot);
            }
            tryClose();
            fault(refusedCloses != 1, "close accepted with 64 blocks queued");
        } else if (event == AudioEvent::BlockDone) {
            if (inFlight_.empty() || inFlight_.front() != block) {
                return fault(true, "BlockDone out of write order: " + std::to_string(block));
            }
            inFlight_.pop_front();
            // Done means played: no block comes back before its samples had time to play.
            ++done;
            fault(clock_() - openedAt_ < done * kBlockSamples * 1000 / kRate - 5,
                  "block " + std::to_string(done) + " reported before it played");
            if (paused_) {
                held_.push_back(block);
            } else if (written_ < limit_) {
                writeSlot(block);
            } else {
                tryClose();
            }
        }
        fault(event == AudioEvent::Closed && !inFlight_.empty(), "Closed with blocks in flight");
    }

    void fault(bool broken, const std::string& what) {
        if (broken && faults_.size() < 2000) {
            faults_ += "; " + what;
        }
    }

    AudioOut& out_;
    std::int64_t toneFrom_;
    std::int64_t toneLength_;
    std::deque<int> inFlight_;
    std::int64_t written_ = 0;
    std::int64_t limit_ = INT64_MAX;
    int count_[4] = {}; // by AudioEvent
    std::string faults_;
    bool inCall_ = false;
    PlayClock clock_;
    std::int64_t openedAt_ = 0;
    bool paused_ = false;
    std::vector<int> held_;
};

// The back ends under one contract. A rig makes the output, lets time pass with the owner's
// event loop running, and can take the device away.
struct FakeRig {
    static constexpr bool kReal = false;
    std::unique_ptr<AudioOut> make() {
        auto out = std::make_unique<platform::FakeAudioOut>();
        fake = out.get();
        return out;
    }
    PlayClock clock() {
        return [this] {
            return elapsedMs;
        };
    }
    void pass(int ms) {
        for (int step = 0; step < ms; step += 5) {
            elapsedMs += 5;
            fake->advance(5 * kRate / 1000);
            fake->deliver();
        }
    }
    // The owner's thread is busy for `ms`: the device plays on, nothing is delivered.
    void stall(int ms) {
        elapsedMs += ms;
        fake->advance(ms * kRate / 1000);
    }
    int removableDevice() { return 0; }
    void removeDevice() { fake->loseDevice(); }
    void bringDeviceBack() {}
    platform::FakeAudioOut* fake = nullptr;
    std::int64_t elapsedMs = 0;
};

struct PortAudioRig {
    static constexpr bool kReal = true;
    std::unique_ptr<AudioOut> make() { return platform::makeAudioOut(); }
    PlayClock clock() { return {}; }
    void pass(int ms) {
        waitUntil([] { return false; }, ms);
    }
    void stall(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    // The default output, on a server of the test's own.
    int removableDevice() {
        server = std::make_unique<PrivateServer>();
        return -1;
    }
    // The sound server goes away, as when it crashes or restarts.
    void removeDevice() { server->stop(); }
    void bringDeviceBack() { server->start(); }
    std::unique_ptr<PrivateServer> server;
};

template <typename Rig> class AudioOutContract : public ::testing::Test {
protected:
    void SetUp() override {
        if constexpr (Rig::kReal) {
            SKIP_WITHOUT_SOUND_SERVER();
        }
        out = rig.make();
    }
    // Time passes until `done` holds, for at most `ms`.
    bool passUntil(const std::function<bool()>& done, int ms) {
        for (int waited = 0; !done() && waited < ms; waited += 10) {
            rig.pass(10);
        }
        return done();
    }

    Rig rig;
    std::unique_ptr<AudioOut> out;
};

using Rigs = ::testing::Types<FakeRig, PortAudioRig>;
TYPED_TEST_SUITE(AudioOutContract, Rigs);

TYPED_TEST(AudioOutContract, BlocksComeBackInOrderOncePlayedAndCloseWaitsForTheLast) {
    Player player(*this->out, 0, INT64_MAX, this->rig.clock());
    player.stopAfter(600);
    ASSERT_TRUE(player.open(-1));
    ASSERT_TRUE(this->passUntil([&] { return player.ended(); }, 20000)) << player.summary();
    this->rig.pass(100);
    EXPECT_EQ(player.summary(), "opened 1 closed 1 lost 0");
    EXPECT_EQ(player.done, 600);
    EXPECT_GE(player.refusedCloses, 2) << "close must be refused while the last blocks drain";
    EXPECT_FALSE(this->out->isOpen());
    EXPECT_EQ(this->out->underruns(), 0);
}

TYPED_TEST(AudioOutContract, RefusedOpensAndWritesPostNothing) {
    std::vector<AudioEvent> events;
    const auto listener = [&](AudioEvent e, int) {
        events.push_back(e);
    };
    const struct {
        const char* what;
        int index;
        std::uint16_t bits, tag, align;
    } refused[] = {
        {"index below the default", -2, 16, 1, 2},
        {"8-bit samples", -1, 8, 1, 1},
        {"not linear PCM", -1, 16, 3, 2},
        {"block align not 2 bytes a channel", -1, 16, 1, 4},
    };
    for (const auto& r : refused) {
        SoundFormat format;
        fillSoundFormat(format, 1, kRate, r.bits);
        format.formatTag = r.tag;
        format.blockAlign = r.align;
        EXPECT_FALSE(this->out->open(r.index, format, listener) || this->out->isOpen()) << r.what;
    }
    if constexpr (TypeParam::kReal) {
        const int count = static_cast<int>(platform::outputDevices().size());
        EXPECT_FALSE(this->out->open(count, monoFormat(), listener)) << "index past the list";
    }
    this->rig.pass(100);
    EXPECT_TRUE(events.empty());

    ASSERT_TRUE(this->out->open(-1, monoFormat(), listener));
    EXPECT_TRUE(events.empty()) << "no event from inside a call";
    ASSERT_TRUE(this->passUntil([&] { return !events.empty(); }, 2000));
    EXPECT_TRUE(this->out->close()) << "nothing queued";
    EXPECT_FALSE(this->out->isOpen());
    this->rig.pass(100);
    EXPECT_EQ(events, (std::vector<AudioEvent>{AudioEvent::Opened, AudioEvent::Closed}));
}

TYPED_TEST(AudioOutContract, ADeviceThatGoesAwayIsLostOnceAndTheOutputOpensAgain) {
    Player player(*this->out, 0, 0, this->rig.clock());
    const int device = this->rig.removableDevice();
    ASSERT_GE(device, -1);
    ASSERT_TRUE(player.open(device));
    ASSERT_TRUE(this->passUntil([&] { return player.done > 0; }, 5000));
    this->rig.removeDevice();
    ASSERT_TRUE(this->passUntil([&] { return player.ended(); }, 1000));
    this->rig.pass(100);
    EXPECT_EQ(player.summary(), "opened 1 closed 0 lost 1");
    EXPECT_FALSE(this->out->isOpen());

    // Once the server is back, the first open plays again.
    this->rig.bringDeviceBack();
    std::vector<AudioEvent> events;
    ASSERT_TRUE(this->out->open(-1, monoFormat(), [&](AudioEvent e, int) { events.push_back(e); }));
    ASSERT_TRUE(this->passUntil([&] { return !events.empty(); }, 2000));
    EXPECT_EQ(events, std::vector<AudioEvent>{AudioEvent::Opened});
    EXPECT_TRUE(this->out->close());
}

TYPED_TEST(AudioOutContract, AQueueThatRanDryIsAnUnderrun) {
    Player player(*this->out, 0, INT64_MAX, this->rig.clock());
    ASSERT_TRUE(player.open(-1));
    ASSERT_TRUE(this->passUntil([&] { return player.done > 200; }, 5000));
    EXPECT_EQ(this->out->underruns(), 0);
    // Longer than the queue and the device buffer together.
    player.pause();
    this->rig.stall(1200);
    this->rig.pass(50);
    player.resume();
    this->rig.pass(300);
    EXPECT_GE(this->out->underruns(), 1);
    player.stopAfter(0);
    ASSERT_TRUE(this->passUntil([&] { return player.ended(); }, 3000));
}

TEST(AudioOut, PlaysTheToneGaplessAndClosesAfterDraining) {
    SKIP_WITHOUT_SOUND_SERVER();
    MonitorRecording monitor;
    ASSERT_TRUE(monitor.started()) << "parec does not record vesk.monitor";

    // Half a second of silence first (a new stream may lose up to 20 ms of it on the monitor),
    // then 2 s of tone in whole blocks, then 40 blocks of silence.
    constexpr std::size_t tone = (2 * kRate / kBlockSamples + 1) * kBlockSamples;
    constexpr std::int64_t totalBlocks = 172 + static_cast<std::int64_t>(tone) / kBlockSamples + 40;
    auto out = platform::makeAudioOut();
    Player player(*out, 172 * kBlockSamples, static_cast<std::int64_t>(tone));
    player.stopAfter(totalBlocks);
    ASSERT_TRUE(player.open(-1));
    // Halfway through the tone the owner's thread is busy for 300 ms: the 64 queued blocks
    // and the device's own buffer carry the sound across.
    ASSERT_TRUE(waitUntil([&] { return player.done >= 500; }, 20000)) << "done " << player.done;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(waitUntil([&] { return player.ended(); }, 20000)) << "done " << player.done;
    waitUntil([] { return false; }, 300);
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording, "audio_out_");

    // Draining and closing are the contract's; here the sound itself counts.
    EXPECT_EQ(player.summary(), "opened 1 closed 1 lost 0");
    EXPECT_EQ(out->underruns(), 0);
    std::vector<std::int16_t> expected(tone);
    for (std::size_t i = 0; i < tone; ++i) {
        expected[i] = toneSample(static_cast<std::int64_t>(i));
    }
    const std::vector<Pass> passes = findPasses(recording, expected);
    ASSERT_EQ(passes.size(), 1u) << "the tone once, in " << recording.size() << " samples";
    EXPECT_TRUE(passes[0].whole) << "samples lost, added or changed";
    constexpr std::size_t margin = 4410;
    const std::size_t start = passes[0].at;
    ASSERT_TRUE(start >= margin && start + tone + margin <= recording.size());
    const auto quiet = [&](std::size_t from) {
        return std::all_of(recording.begin() + static_cast<std::ptrdiff_t>(from),
                           recording.begin() + static_cast<std::ptrdiff_t>(from + margin),
                           [](std::int16_t s) { return std::abs(s) <= 4; });
    };
    EXPECT_TRUE(quiet(start - margin)) << "sound before the tone";
    EXPECT_TRUE(quiet(start + tone)) << "sound after the tone";
}

// A minute of continuous sound with the queue refilled only from BlockDone, as in playback.
TEST(AudioOutSoak, SixtySecondsWithoutUnderrun) {
    SKIP_WITHOUT_SOUND_SERVER();
    constexpr std::int64_t minuteBlocks = (60 * kRate + kBlockSamples - 1) / kBlockSamples;
    auto out = platform::makeAudioOut();
    Player player(*out, 0, INT64_MAX);
    ASSERT_TRUE(player.open(-1));
    ASSERT_TRUE(waitUntil([&] { return player.done >= minuteBlocks || player.ended(); }, 120000))
        << "done " << player.done;
    const std::int64_t underruns = out->underruns();
    player.stopAfter(0);
    ASSERT_TRUE(waitUntil([&] { return player.ended(); }, 5000));
    EXPECT_EQ(underruns, 0);
    EXPECT_EQ(player.summary(), "opened 1 closed 1 lost 0");
}

} // namespace
} // namespace vesk
