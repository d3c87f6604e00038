// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vesk {

// Bytes of the RIFF header in front of the sample data.
constexpr std::size_t kWaveHeaderSize = 44;

// Largest sample count whose sizes fit the header's 32-bit fields.
constexpr std::int64_t kMaxWaveSamples = (std::int64_t{0xFFFFFFFF} - 36) / 2;

// Writes the 44-byte header for `sampleCount` 16-bit mono samples at 44100 Hz into `out`
// (44 bytes), little-endian on any host. Counts outside 0..kMaxWaveSamples are limited to it.
void writeWaveHeader(std::uint8_t* out, std::int64_t sampleCount);

// The complete WAV file: header followed by the samples, low byte first (44 + 2N bytes).
std::vector<std::uint8_t> buildWaveImage(std::span<const std::int16_t> samples);

} // namespace vesk
