#include "platform/audio_out.h"

#include "tests/integration/monitor_recording.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

namespace vesk {
namespace {

using platform::AudioEvent;
using platform::AudioOut;

constexpr int kRate = 44100;
constexpr int kBlockSamples = 128; // the sequencer's 256-byte blocks
constexpr int kInFlight = 64;

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

// Drives an output as the playback sequencer does: 64 blocks in flight, each refilled from the
// source when it comes back, and once stopping, a close attempt at every returned block. It
// plays silence with the tone from sample `toneFrom` for `toneLength` samples.
class Player {
public:
    Player(AudioOut& out, std::int64_t toneFrom, std::int64_t toneLength)
        : out_(out), toneFrom_(toneFrom), toneLength_(toneLength) {}

    bool open(int index) {
        clock_.start();
        return call([&] {
            return out_.open(index, monoFormat(), [this](AudioEvent e, int b) { onEvent(e, b); });
        });
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
            for (int slot = 0; slot < kInFlight; ++slot) {
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
            fault(clock_.nsecsElapsed() < (done * kBlockSamples * 1000 / kRate - 5) * 1000000,
                  "block " + std::to_string(done) + " reported before it played");
            if (written_ < limit_) {
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
    QElapsedTimer clock_;
};

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
    ASSERT_TRUE(waitUntil([&] { return player.ended(); }, 20000)) << "done " << player.done;
    waitUntil([] { return false; }, 300);
    const std::vector<std::int16_t> recording = monitor.stop();
    const KeepOnFailure keep(recording, "audio_out_");

    EXPECT_EQ(player.summary(), "opened 1 closed 1 lost 0");
    EXPECT_EQ(player.done, totalBlocks);
    EXPECT_GE(player.refusedCloses, 2) << "close must be refused while the last blocks drain";
    EXPECT_FALSE(out->isOpen());
    EXPECT_EQ(out->underruns(), 0);

    // The tone once, sample for sample, with silence around it. Its sample 0 is 0 and its
    // sample 1 already loud.
    constexpr std::size_t margin = 4410;
    const auto loud = std::find_if(recording.begin(), recording.end(),
                                   [](std::int16_t s) { return std::abs(s) > 1000; });
    const auto start = static_cast<std::size_t>(loud - recording.begin()) - 1;
    ASSERT_TRUE(loud != recording.end() && start >= margin &&
                start + tone + margin <= recording.size())
        << "no tone with silence around it in " << recording.size() << " samples";
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < tone; ++i) {
        wrong += std::abs(recording[start + i] - toneSample(static_cast<std::int64_t>(i))) > 2;
    }
    EXPECT_EQ(wrong, 0u) << "samples lost, added or changed";
    const auto quiet = [&](std::size_t from) {
        return std::all_of(recording.begin() + static_cast<std::ptrdiff_t>(from),
                           recording.begin() + static_cast<std::ptrdiff_t>(from + margin),
                           [](std::int16_t s) { return std::abs(s) <= 4; });
    };
    EXPECT_TRUE(quiet(start - margin)) << "sound before the tone";
    EXPECT_TRUE(quiet(start + tone)) << "sound after the tone";
}

TEST(AudioOut, RefusedOpensAndWritesPostNothing) {
    SKIP_WITHOUT_SOUND_SERVER();
    auto out = platform::makeAudioOut();
    std::vector<AudioEvent> events;
    const auto listener = [&](AudioEvent e, int) {
        events.push_back(e);
    };
    const int count = static_cast<int>(platform::outputDevices().size());
    const struct {
        const char* what;
        int index;
        std::uint16_t bits, tag, align;
    } refused[] = {
        {"index one past the list", count, 16, 1, 2},
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
        EXPECT_FALSE(out->open(r.index, format, listener) || out->isOpen()) << r.what;
    }
    const std::uint8_t block[256] = {};
    EXPECT_FALSE(out->write(0, block, sizeof block)) << "write while closed";
    EXPECT_FALSE(out->close()) << "close while closed";
    waitUntil([] { return false; }, 100);
    EXPECT_TRUE(events.empty());

    // Device 0 by number opens; a second open and bad blocks are refused.
    ASSERT_TRUE(out->open(0, monoFormat(), listener));
    EXPECT_FALSE(out->open(-1, monoFormat(), listener)) << "already open";
    EXPECT_FALSE(out->write(0, block, 3)) << "half a sample";
    EXPECT_FALSE(out->write(0, block, 0)) << "empty block";
    EXPECT_TRUE(events.empty()) << "no event from inside a call";
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }, 2000));
    EXPECT_TRUE(out->close()) << "nothing queued";
    EXPECT_FALSE(out->isOpen());
    waitUntil([&] { return events.size() > 2; }, 500);
    EXPECT_EQ(events, (std::vector<AudioEvent>{AudioEvent::Opened, AudioEvent::Closed}));
}

int indexOf(const std::string& name) {
    const std::vector<std::string> names = platform::outputDevices();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

TEST(AudioOut, DeviceThatGoesAwayIsLostOnce) {
    SKIP_WITHOUT_SOUND_SERVER();
    // An extra null sink, pulled away from under the open output.
    struct RemovableSink {
        std::string module;
        void remove() {
            if (!module.empty()) {
                runProgram({findProgram("pactl"), "unload-module", std::exchange(module, {})});
            }
        }
        ~RemovableSink() { remove(); }
    } sink{
        runProgram({findProgram("pactl"), "load-module", "module-null-sink",
                    "sink_name=vesk_removable", "sink_properties=device.description=VeskRemovable"})
            .out};
    sink.module = sink.module.substr(0, sink.module.find('\n'));
    ASSERT_FALSE(sink.module.empty());
    ASSERT_TRUE(waitUntil([] { return indexOf("VeskRemovable") >= 0; }, 5000));

    auto out = platform::makeAudioOut();
    Player player(*out, 0, 0);
    ASSERT_TRUE(player.open(indexOf("VeskRemovable")));
    ASSERT_TRUE(waitUntil([&] { return player.done > 0; }, 2000));
    sink.remove();
    ASSERT_TRUE(waitUntil([&] { return player.ended(); }, 5000));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(player.summary(), "opened 1 closed 0 lost 1");
    EXPECT_FALSE(out->isOpen());
    const std::uint8_t block[256] = {};
    EXPECT_FALSE(out->write(0, block, sizeof block));
    EXPECT_FALSE(out->close());

    // The same output opens again afterwards, on the default device.
    std::vector<AudioEvent> events;
    ASSERT_TRUE(out->open(-1, monoFormat(), [&](AudioEvent e, int) { events.push_back(e); }));
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }, 2000));
    EXPECT_EQ(events, std::vector<AudioEvent>{AudioEvent::Opened});
    EXPECT_TRUE(out->close());
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
