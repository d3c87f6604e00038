// SPDX-License-Identifier: GPL-3.0-or-later
// The refill path of playback: one returned block refilled from the table and queued again.
// A block holds 2.9 ms of sound; the refill must take well under 1 us so that the GUI thread
// spends nothing noticeable on keeping the queue full.
#include "tone/sequencer.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

// Takes every block at once and reports nothing, so only the sequencer's work is timed.
class NullAudioOut : public vesk::platform::AudioOut {
public:
    vesk::Result<> open(int, const vesk::SoundFormat&,
                        vesk::platform::AudioListener listener) override {
        listener_ = std::move(listener);
        open_ = true;
        return {};
    }
    vesk::Result<> reopen(const vesk::SoundFormat& format,
                          vesk::platform::AudioListener listener) override {
        return open(-1, format, std::move(listener));
    }
    bool write(int, const std::uint8_t* data, std::size_t size) override {
        benchmark::DoNotOptimize(data[size - 1]);
        return true;
    }
    bool close() override {
        open_ = false;
        return true;
    }
    bool isOpen() const override { return open_; }
    void opened() { listener_(vesk::platform::AudioEvent::Opened, 0); }

private:
    vesk::platform::AudioListener listener_;
    bool open_ = false;
};

struct Quiet : vesk::platform::DotTimer, vesk::Transmitter, vesk::SequencerView {
    void start(int) override {}
    void stop() override {}
    void pttOn() override {}
    void pttOff() override {}
};

void refillOneBlock(benchmark::State& state) {
    vesk::BeaconPattern pattern = vesk::startPattern();
    for (std::size_t slot = 0; slot < pattern.toneIndex.size(); ++slot) {
        pattern.toneIndex[slot] = static_cast<float>(1 + slot % 16);
        pattern.levelCode[slot] = 1.0f;
    }
    NullAudioOut audio;
    Quiet quiet;
    vesk::Sequencer sequencer(audio, quiet, quiet, quiet);
    sequencer.start(pattern, 32767, -1);
    audio.opened();
    const std::int64_t tableEnd = sequencer.sound().sampleCount();
    int block = 0;
    for (auto _ : state) {
        sequencer.onBufferDone(block);
        block = (block + 1) % vesk::kOutputBuffers;
        // Stay inside the pattern: restart the way the dot timer does at the end of a cycle.
        if (sequencer.playPosition() >= tableEnd) {
            state.PauseTiming();
            for (int i = 0; i <= pattern.repeatDots; ++i) {
                sequencer.onDotTimer();
            }
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(refillOneBlock)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
