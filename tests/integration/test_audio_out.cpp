#include "platform/audio_out.h"

#include "tone/sound_format.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

using vesk::platform::AudioEvent;
using vesk::platform::AudioOut;

namespace {

constexpr int kRate = 44100;
constexpr int kBlockSamples = 128; // the sequencer's 256-byte blocks
constexpr int kInFlight = 64;
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 16384.0; // -6 dB of full scale

vesk::SoundFormat monoFormat() {
    vesk::SoundFormat format;
    vesk::fillSoundFormat(format, 1, kRate, 16);
    return format;
}

// Runs the event loop until `done` holds (checked every 10 ms) or `timeoutMs` passes; true
// when it held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer check;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs) {
            loop.quit();
        }
    });
    check.start(10);
    loop.exec();
    return done();
}

void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string skipReason() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || device.id() != "vesk") {
        return "no PulseAudio server with the null sink \"vesk\" as default sink "
               "(source tests/integration/start-pulse.sh first)";
    }
    if (QStandardPaths::findExecutable("parec").isEmpty() ||
        QStandardPaths::findExecutable("pactl").isEmpty()) {
        return "parec and pactl are needed (pulseaudio-utils)";
    }
    return {};
}

#define SKIP_WITHOUT_SOUND_SERVER()                                                                \
    do {                                                                                           \
        const std::string reason = skipReason();                                                   \
        if (!reason.empty()) {                                                                     \
            GTEST_SKIP() << reason;                                                                \
        }                                                                                          \
    } while (false)

// Drives an output as the playback sequencer does: 64 blocks in flight, each refilled from the
// source when it comes back, and once stopping, a close attempt at every returned block.
class Player {
public:
    // Fills one block of samples, given how many samples came before it.
    using Source = std::function<void(std::int64_t firstSample, std::int16_t* out)>;

    Player(AudioOut& out, Source source) : out_(out), source_(std::move(source)) {}

    bool open(int index) {
        inCall_ = true;
        openTimer_.start();
        const bool ok =
            out_.open(index, monoFormat(), [this](AudioEvent e, int block) { onEvent(e, block); });
        inCall_ = false;
        return ok;
    }
    // Stop refilling after `blocks` blocks in all.
    void stopAfter(std::int64_t blocks) { limit_ = blocks; }

    int opened = 0;
    int closed = 0;
    int lost = 0;
    std::int64_t done = 0;
    std::int64_t written = 0;
    int refusedCloses = 0;
    int refusedWrites = 0;
    std::vector<std::string> faults;
    // Milliseconds from open() to the BlockDone of each written block, in write order.
    std::vector<double> doneAtMs;

private:
    void writeSlot(int slot) {
        std::int16_t samples[kBlockSamples];
        source_(written * kBlockSamples, samples);
        std::uint8_t bytes[sizeof samples];
        std::memcpy(bytes, samples, sizeof samples);
        inCall_ = true;
        const bool ok = out_.write(slot, bytes, sizeof bytes);
        inCall_ = false;
        if (!ok) {
            ++refusedWrites;
            return;
        }
        inFlight_.push_back(slot);
        ++written;
    }

    void tryClose() {
        inCall_ = true;
        const bool ok = out_.close();
        inCall_ = false;
        if (!ok) {
            ++refusedCloses;
        }
    }

    void onEvent(AudioEvent event, int block) {
        if (inCall_) {
            faults.push_back("event delivered from inside a call");
        }
        if (closed > 0 || lost > 0) {
            faults.push_back("event after the end of the session");
        }
        switch (event) {
        case AudioEvent::Opened:
            ++opened;
            for (int slot = 0; slot < kInFlight; ++slot) {
                writeSlot(slot);
            }
            // Everything is queued: a close now must be refused.
            tryClose();
            if (refusedCloses != 1) {
                faults.push_back("close accepted with 64 blocks queued");
            }
            break;
        case AudioEvent::BlockDone:
            if (opened == 0) {
                faults.push_back("BlockDone before Opened");
            }
            if (inFlight_.empty() || inFlight_.front() != block) {
                faults.push_back("BlockDone out of write order: block " + std::to_string(block));
                return;
            }
            inFlight_.pop_front();
            ++done;
            doneAtMs.push_back(static_cast<double>(openTimer_.nsecsElapsed()) / 1e6);
            if (written < limit_) {
                writeSlot(block);
            } else {
                tryClose();
            }
            break;
        case AudioEvent::Closed:
            ++closed;
            if (!inFlight_.empty()) {
                faults.push_back("Closed with blocks still in flight");
            }
            break;
        case AudioEvent::Lost:
            ++lost;
            break;
        }
    }

    AudioOut& out_;
    Source source_;
    std::deque<int> inFlight_;
    std::int64_t limit_ = INT64_MAX;
    bool inCall_ = false;
    QElapsedTimer openTimer_;
};

std::int16_t toneSample(std::int64_t n, double hz) {
    return static_cast<std::int16_t>(std::lround(
        kToneAmplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(n) / kRate)));
}

void writeWav(const std::string& path, const std::vector<std::int16_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&](std::uint32_t v) {
        out.write(reinterpret_cast<const char*>(&v), 4);
    };
    const auto u16 = [&](std::uint16_t v) {
        out.write(reinterpret_cast<const char*>(&v), 2);
    };
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + data);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(data);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(data));
}

// Records the null sink's monitor, mono, in the output's own format.
class MonitorRecorder {
public:
    bool start() {
        process_.setProgram(QStandardPaths::findExecutable("parec"));
        process_.setArguments({"-d", "vesk.monitor", "--format=s16le", "--rate=44100",
                               "--channels=1", "--latency-msec=20"});
        process_.start();
        if (!process_.waitForStarted(5000)) {
            return false;
        }
        // Bytes mean the recording stream is connected; 0.2 s of them are the silence that
        // must precede the tone.
        return waitUntil(
            [this] {
                collect();
                return bytes_.size() >= 2 * 8820;
            },
            5000);
    }
    std::vector<std::int16_t> stop() {
        collect();
        process_.terminate();
        process_.waitForFinished(3000);
        collect();
        std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes_.size()) / 2);
        std::memcpy(samples.data(), bytes_.constData(), samples.size() * 2);
        return samples;
    }
    void collect() { bytes_ += process_.readAllStandardOutput(); }

private:
    QProcess process_;
    QByteArray bytes_;
};

double rms(const std::vector<std::int16_t>& x, std::size_t from, std::size_t count) {
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        sum += static_cast<double>(x[i]) * x[i];
    }
    return std::sqrt(sum / static_cast<double>(count));
}

TEST(AudioOut, PlaysTheToneGaplessAndClosesAfterDraining) {
    SKIP_WITHOUT_SOUND_SERVER();
    MonitorRecorder recorder;
    ASSERT_TRUE(recorder.start()) << "parec did not start recording vesk.monitor";

    // Half a second of silence first: while a new stream settles, the null sink's monitor can
    // drop up to 20 ms of it. Then 2 s of tone in whole blocks, then 40 blocks of silence.
    constexpr std::int64_t leadBlocks = 172;
    constexpr std::int64_t leadSamples = leadBlocks * kBlockSamples;
    constexpr std::int64_t toneBlocks = (2 * kRate + kBlockSamples - 1) / kBlockSamples;
    constexpr std::int64_t toneSamples = toneBlocks * kBlockSamples;
    constexpr std::int64_t totalBlocks = leadBlocks + toneBlocks + 40;
    auto out = vesk::platform::makeAudioOut();
    Player player(*out, [&](std::int64_t first, std::int16_t* samples) {
        for (int i = 0; i < kBlockSamples; ++i) {
            const std::int64_t n = first + i - leadSamples;
            samples[i] = n >= 0 && n < toneSamples ? toneSample(n, kToneHz) : 0;
        }
    });
    player.stopAfter(totalBlocks);
    ASSERT_TRUE(player.open(-1));
    EXPECT_TRUE(out->isOpen());
    EXPECT_EQ(player.opened, 0) << "Opened must come through the event loop";

    ASSERT_TRUE(waitUntil([&] { return player.closed > 0 || player.lost > 0; }, 20000))
        << "done " << player.done << " of " << totalBlocks;
    runEventsFor(300);
    const std::vector<std::int16_t> recording = recorder.stop();

    EXPECT_EQ(player.faults, std::vector<std::string>{});
    EXPECT_EQ(player.opened, 1);
    EXPECT_EQ(player.closed, 1);
    EXPECT_EQ(player.lost, 0);
    EXPECT_EQ(player.refusedWrites, 0);
    EXPECT_EQ(player.written, totalBlocks);
    EXPECT_EQ(player.done, totalBlocks);
    EXPECT_GE(player.refusedCloses, 2) << "close must be refused while the last blocks drain";
    EXPECT_FALSE(out->isOpen());
    EXPECT_EQ(out->underruns(), 0);

    // Done means played: no block can come back before its samples had time to play.
    for (std::size_t k = 0; k < player.doneAtMs.size(); ++k) {
        const double playedMs = 1000.0 * static_cast<double>((k + 1) * kBlockSamples) / kRate;
        ASSERT_GE(player.doneAtMs[k], playedMs - 5.0) << "block " << k << " reported too early";
    }

    // The recording holds the tone once, whole and unbroken, with silence around it. Sample 0
    // of the tone is 0 and sample 1 already above the threshold, as is its last sample.
    const auto loud = [](std::int16_t s) {
        return std::abs(s) > 1000;
    };
    const auto firstLoud = std::find_if(recording.begin(), recording.end(), loud);
    const auto lastLoud = std::find_if(recording.rbegin(), recording.rend(), loud);
    const std::size_t tone = static_cast<std::size_t>(toneSamples);
    const std::size_t margin = 4410; // 0.1 s
    bool good = firstLoud != recording.end();
    const std::size_t start =
        good ? static_cast<std::size_t>(firstLoud - recording.begin()) - 1 : 0;
    const std::size_t end = good ? static_cast<std::size_t>(recording.rend() - lastLoud) : 0;
    good = good && start >= margin && end + margin <= recording.size();
    EXPECT_TRUE(good) << "no tone with silence around it in " << recording.size() << " samples";
    if (good) {
        EXPECT_EQ(end - start, tone) << "samples lost or added";
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < tone && start + i < recording.size(); ++i) {
            wrong += std::abs(recording[start + i] -
                              toneSample(static_cast<std::int64_t>(i), kToneHz)) > 2;
        }
        EXPECT_EQ(wrong, 0u) << "samples differ from what was written";
        // Each 5 ms of the tone at its level: a gap of 50 samples anywhere shows here.
        for (std::size_t at = start; at + 220 <= start + tone; at += 220) {
            const double db =
                20 * std::log10(rms(recording, at, 220) / (kToneAmplitude / std::sqrt(2.0)));
            ASSERT_NEAR(db, 0.0, 1.0) << "level at tone sample " << at - start;
        }
        EXPECT_LT(rms(recording, start - margin, margin), 50.0) << "sound before the tone";
        EXPECT_LT(rms(recording, end + 1, margin - 1), 50.0) << "sound after the tone";
    }
    if (!good || HasFailure()) {
        writeWav("audio_out_recording.wav", recording);
        ADD_FAILURE() << "recording written to audio_out_recording.wav";
    }
}

TEST(AudioOut, RefusedOpensAndWritesPostNothing) {
    SKIP_WITHOUT_SOUND_SERVER();
    auto out = vesk::platform::makeAudioOut();
    std::vector<AudioEvent> events;
    const auto listener = [&](AudioEvent e, int) {
        events.push_back(e);
    };

    vesk::SoundFormat eightBit;
    vesk::fillSoundFormat(eightBit, 1, kRate, 8);
    vesk::SoundFormat floatTag = monoFormat();
    floatTag.formatTag = 3;
    vesk::SoundFormat badAlign = monoFormat();
    badAlign.blockAlign = 4;
    const int count = static_cast<int>(vesk::platform::outputDevices().size());
    ASSERT_GE(count, 1);
    const struct {
        const char* what;
        int index;
        vesk::SoundFormat format;
    } refused[] = {
        {"index one past the list", count, monoFormat()},
        {"index below the default", -2, monoFormat()},
        {"8-bit samples", -1, eightBit},
        {"not linear PCM", -1, floatTag},
        {"block align not 2 bytes a channel", -1, badAlign},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(out->open(r.index, r.format, listener)) << r.what;
        EXPECT_FALSE(out->isOpen()) << r.what;
    }
    const std::uint8_t block[256] = {};
    EXPECT_FALSE(out->write(0, block, sizeof block)) << "write while closed";
    EXPECT_FALSE(out->close()) << "close while closed";
    runEventsFor(100);
    EXPECT_TRUE(events.empty());

    // Device 0 by number works, and the output refuses a second open and bad blocks.
    ASSERT_TRUE(out->open(0, monoFormat(), listener));
    EXPECT_FALSE(out->open(-1, monoFormat(), listener)) << "already open";
    EXPECT_FALSE(out->write(0, block, 3)) << "half a sample";
    EXPECT_FALSE(out->write(0, block, 0)) << "empty block";
    EXPECT_TRUE(events.empty()) << "no event from inside a call";
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }, 2000));
    EXPECT_EQ(events, std::vector<AudioEvent>{AudioEvent::Opened});
    EXPECT_TRUE(out->close()) << "nothing queued";
    EXPECT_FALSE(out->isOpen());
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }, 2000));
    runEventsFor(100);
    EXPECT_EQ(events, (std::vector<AudioEvent>{AudioEvent::Opened, AudioEvent::Closed}));
}

// An extra null sink that can be pulled away from under an open output.
class RemovableSink {
public:
    RemovableSink() {
        QProcess pactl;
        pactl.start("pactl", {"load-module", "module-null-sink", "sink_name=vesk_removable",
                              "sink_properties=device.description=VeskRemovable"});
        pactl.waitForFinished(5000);
        module_ = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    }
    ~RemovableSink() { remove(); }
    RemovableSink(const RemovableSink&) = delete;
    RemovableSink& operator=(const RemovableSink&) = delete;

    bool loaded() const { return !module_.isEmpty(); }
    void remove() {
        if (module_.isEmpty()) {
            return;
        }
        QProcess::execute("pactl", {"unload-module", module_});
        module_.clear();
    }

private:
    QString module_;
};

int indexOf(const std::string& name) {
    const std::vector<std::string> names = vesk::platform::outputDevices();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

TEST(AudioOut, DeviceThatGoesAwayIsLostOnce) {
    SKIP_WITHOUT_SOUND_SERVER();
    RemovableSink sink;
    ASSERT_TRUE(sink.loaded());
    ASSERT_TRUE(waitUntil([] { return indexOf("VeskRemovable") >= 0; }, 5000));

    auto out = vesk::platform::makeAudioOut();
    Player player(*out, [](std::int64_t, std::int16_t* samples) {
        std::fill(samples, samples + kBlockSamples, std::int16_t{0});
    });
    ASSERT_TRUE(player.open(indexOf("VeskRemovable")));
    ASSERT_TRUE(waitUntil([&] { return player.opened == 1; }, 2000));
    sink.remove();
    ASSERT_TRUE(waitUntil([&] { return player.lost > 0; }, 5000));
    runEventsFor(300);
    EXPECT_EQ(player.lost, 1);
    EXPECT_EQ(player.closed, 0);
    EXPECT_EQ(player.faults, std::vector<std::string>{});
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
    auto out = vesk::platform::makeAudioOut();
    Player player(*out, [](std::int64_t first, std::int16_t* samples) {
        for (int i = 0; i < kBlockSamples; ++i) {
            samples[i] = toneSample(first + i, kToneHz);
        }
    });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(player.open(-1));
    ASSERT_TRUE(waitUntil([&] { return player.done >= minuteBlocks || player.lost > 0; }, 120000))
        << "done " << player.done;
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    const std::int64_t underruns = out->underruns();

    player.stopAfter(0);
    ASSERT_TRUE(waitUntil([&] { return player.closed > 0 || player.lost > 0; }, 5000));
    EXPECT_EQ(underruns, 0);
    EXPECT_EQ(player.lost, 0);
    EXPECT_EQ(player.closed, 1);
    EXPECT_EQ(player.refusedWrites, 0);
    EXPECT_EQ(player.done, player.written);
    EXPECT_EQ(player.faults, std::vector<std::string>{});
    // Blocks come back at the rate they play, never faster.
    EXPECT_GE(seconds, 59.9);
}

} // namespace
