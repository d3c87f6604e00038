// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_format.h"

namespace vesk {

void fillSoundFormat(SoundFormat& format, std::uint16_t channels, std::uint32_t samplesPerSec,
                     std::uint16_t bitsPerSample) {
    format.formatTag = 1;
    format.channels = channels;
    format.samplesPerSec = samplesPerSec;
    format.blockAlign = static_cast<std::uint16_t>(bitsPerSample * channels / 8);
    format.avgBytesPerSec = samplesPerSec * format.blockAlign;
    format.bitsPerSample = bitsPerSample;
    format.extraSize = 0;
}

} // namespace vesk
