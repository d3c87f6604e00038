// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "files/atomic_write.h"
#include "tone/pattern_stream.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vesk {

// Passes when `sampleCount` samples fit a WAV file (the RIFF sizes are 32-bit: at most
// kMaxWaveSamples); fails with the operator's message naming the length and the limit.
Result<> checkWaveSize(std::int64_t sampleCount);

// Called with the blocks of progress left (10 down to 0) as a WAV file is written.
using WaveProgress = std::function<void(int blocks)>;

// The WAV file of `sound` (its N samples behind the 44-byte header) for the file writers,
// rendered a block at a time; `progress` hears of each tenth. The stream must fit the format
// (passes checkWaveSize).
ByteSource waveFileSource(const PatternStream& sound, WaveProgress progress = {});

} // namespace vesk
