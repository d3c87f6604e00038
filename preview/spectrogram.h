// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "tone/pattern.h"

#include <cstdint>
#include <vector>

// The pattern as a receiving grabber shows it: short-time spectra of the rendered sound, time
// across and frequency up, levels in dB of full scale. Engine code (FFTW, no Qt), kept out of
// vesk_core so that the commands that do not draw load no FFT library.
namespace vesk::preview {

struct Spectrogram {
    int columns = 0;
    int rows = 0;
    double secondsPerColumn = 0.0; // column c is centred on c x this
    double lowestHz = 0.0;         // frequency of row 0 (the bottom)
    double hzPerRow = 0.0;
    // Level of each cell in dB relative to a full-scale sine (0 dB), at least kFloorDb;
    // row r of column c at levels[c x rows + r].
    std::vector<float> levels;

    float at(int column, int row) const {
        return levels[static_cast<std::size_t>(column) * static_cast<std::size_t>(rows) +
                      static_cast<std::size_t>(row)];
    }
    // Row whose frequency is nearest to `hertz` (may lie outside 0..rows-1).
    int rowOf(double hertz) const;
    // Column whose centre is nearest to `seconds`.
    int columnOf(double seconds) const;
};

inline constexpr float kFloorDb = -140.0f;

// The spectrogram of the pattern rendered at full level. The settings follow the pattern as an
// operator would set a grabber: a Hann window as long as a dot (at most 2^17 samples, 3 s),
// zero-padded to twice its length and so that a row step holds at least four bins (at most
// 2^18 in all), four columns a dot (at most 2400 columns), and the band of the tones in use with
// two spacings either side (at most 1024 rows: finer bins are combined, keeping the largest).
// Only that band is analysed: the sound is moved down by the band's middle, filtered and
// sampled down to a few times the band's width first, so a long pattern takes a fraction of
// a second. Fails, with the operator's message, for what the render refuses and for tones that all
// lie outside the sound's 0 to 22050 Hz.
Result<Spectrogram> makeSpectrogram(const BeaconPattern& pattern);

// The grabber's colour of a level: dark blue for `bottomDb` and below, through blue, cyan
// and yellow to white at `topDb` and above; 0xRRGGBB.
std::uint32_t levelColour(float db, float bottomDb, float topDb);

// An RGB picture: width x height pixels, 0xRRGGBB, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// The spectrogram drawn as a grabber does, over the 60 dB below its strongest cell, with a
// tick at the left for each tone row's frequency (longer at the centre row) and the colour
// scale at the right, marked every 10 dB and labelled in dB.
Picture drawSpectrogram(const Spectrogram& spectrogram, const BeaconPattern& pattern);

} // namespace vesk::preview
