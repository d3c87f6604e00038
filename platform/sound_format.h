// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace vesk {

// The sound format record, in the layout of the Windows WAVEFORMATEX structure. The sound
// device and the WAV file share it.
struct SoundFormat {
    std::uint16_t formatTag = 0;      // 1: linear PCM
    std::uint16_t channels = 0;       // 1: mono
    std::uint32_t samplesPerSec = 0;  // 44100
    std::uint32_t avgBytesPerSec = 0; // channels x rate x bits / 8
    std::uint16_t blockAlign = 0;     // bits x channels / 8
    std::uint16_t bitsPerSample = 0;  // 16
    std::uint16_t extraSize = 0;      // 0
};

// Fills the record for linear PCM with the given channels, rate (Hz) and bits per sample.
void fillSoundFormat(SoundFormat& format, std::uint16_t channels, std::uint32_t samplesPerSec,
                     std::uint16_t bitsPerSample);

} // namespace vesk
