// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/wave_image.h"

#include "platform/sound_format.h"
#include "tone/pattern.h"

#include <cstring>

namespace vesk {

namespace {

void put16(std::uint8_t*& out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value & 0xFFu);
    out[1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
    out += 2;
}

void put32(std::uint8_t*& out, std::uint32_t value) {
    put16(out, value & 0xFFFFu);
    put16(out, value >> 16);
}

void putText(std::uint8_t*& out, const char* text) {
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    out += length;
}

} // namespace

void writeWaveHeader(std::uint8_t* out, std::int64_t sampleCount) {
    if (sampleCount < 0) {
        sampleCount = 0;
    }
    if (sampleCount > kMaxWaveSamples) {
        sampleCount = kMaxWaveSamples;
    }
    SoundFormat format;
    fillSoundFormat(format, 1, kSampleRate, 16);
    const auto dataSize = static_cast<std::uint32_t>(2 * sampleCount);

    putText(out, "RIFF");
    put32(out, dataSize + 36);
    putText(out, "WAVEfmt ");
    put32(out, 16);
    put16(out, format.formatTag);
    put16(out, format.channels);
    put32(out, format.samplesPerSec);
    put32(out, format.avgBytesPerSec);
    put16(out, format.blockAlign);
    put16(out, format.bitsPerSample);
    putText(out, "data");
    put32(out, dataSize);
}

std::vector<std::uint8_t> buildWaveImage(std::span<const std::int16_t> samples) {
    const auto count = static_cast<std::int64_t>(samples.size());
    std::vector<std::uint8_t> image(kWaveHeaderSize + 2 * samples.size());
    writeWaveHeader(image.data(), count);
    std::uint8_t* out = image.data() + kWaveHeaderSize;
    for (const std::int16_t sample : samples) {
        put16(out, static_cast<std::uint16_t>(sample));
    }
    return image;
}

} // namespace vesk
