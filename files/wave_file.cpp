// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/wave_file.h"

#include "tone/wave_image.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace vesk {

namespace {

// Samples rendered per piece handed to the writer: 512 KiB, large enough that the writes cost
// little, small enough to stay in the second-level cache.
constexpr std::int64_t kPieceSamples = std::int64_t{1} << 18;

// h:mm:ss of `samples` at 44100 Hz, rounded down to the second.
std::string duration(std::int64_t samples) {
    const std::int64_t seconds = samples / kSampleRate;
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

struct WaveWriting {
    PatternStream sound;
    WaveProgress progress;
    std::vector<std::uint8_t> bytes;
    std::vector<std::int16_t> samples;
    std::int64_t next = -1; // -1: the header is next
    int shownBlocks = -1;
};

} // namespace

Result<> checkWaveSize(std::int64_t sampleCount) {
    if (sampleCount <= kMaxWaveSamples) {
        return {};
    }
    return fail("The WAV file would hold " + std::to_string(sampleCount) + " samples (" +
                duration(sampleCount) + ", " +
                std::to_string(static_cast<std::int64_t>(kWaveHeaderSize) + 2 * sampleCount) +
                " bytes); a WAV file holds at most " + std::to_string(kMaxWaveSamples) +
                " samples (" + duration(kMaxWaveSamples) + ", 4 GiB).");
}

ByteSource waveFileSource(const PatternStream& sound, WaveProgress progress) {
    // A copy: the writer reads it from the start without moving the caller's own reads.
    auto writing = std::make_shared<WaveWriting>();
    writing->sound = sound;
    writing->progress = std::move(progress);
    return [writing]() -> std::span<const std::uint8_t> {
        WaveWriting& w = *writing;
        const std::int64_t total = w.sound.sampleCount();
        if (w.next < 0) {
            w.bytes.resize(kWaveHeaderSize);
            writeWaveHeader(w.bytes.data(), total);
            w.next = 0;
            return w.bytes;
        }
        if (w.progress) {
            // Tenths still to write, rounded up: 10 at the start, 0 once everything is out.
            const int blocks =
                total == 0 ? 0 : static_cast<int>((10 * (total - w.next) + total - 1) / total);
            if (blocks != w.shownBlocks) {
                w.shownBlocks = blocks;
                w.progress(blocks);
            }
        }
        if (w.next >= total) {
            return {};
        }
        const std::int64_t n = std::min(kPieceSamples, total - w.next);
        w.samples.resize(static_cast<std::size_t>(n));
        w.bytes.resize(2 * static_cast<std::size_t>(n));
        w.sound.copySamples(w.next, w.samples.data(), static_cast<int>(n));
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(w.bytes.data(), w.samples.data(), w.bytes.size());
        } else {
            for (std::size_t i = 0; i < w.samples.size(); ++i) {
                const auto bits = static_cast<std::uint16_t>(w.samples[i]);
                w.bytes[2 * i] = static_cast<std::uint8_t>(bits & 0xFFu);
                w.bytes[2 * i + 1] = static_cast<std::uint8_t>(bits >> 8);
            }
        }
        w.next += n;
        return w.bytes;
    };
}

} // namespace vesk
