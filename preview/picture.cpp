// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/spectrogram.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vesk::preview {

namespace {

constexpr std::uint32_t kBackground = 0x202020;
constexpr std::uint32_t kInk = 0xD0D0D0;
constexpr int kLeft = 10;  // tone ticks
constexpr int kMargin = 6; // above and below the plot
constexpr int kBarGap = 6; // between the plot and the colour bar
constexpr int kBarWidth = 14;
// The digits are 3 x 5 cells drawn two pixels a cell: 6 x 10 pixels, legible beside the bar.
constexpr int kGlyphScale = 2;
constexpr int kLabels = 4 * 4 * kGlyphScale + 2; // room for "-100"
constexpr float kRangeDb = 60.0f;

// 3 x 5 pixel digits and the minus sign, one row of three bits per line, top first.
constexpr unsigned char kGlyphs[11][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7},
                                          {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
                                          {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7},
                                          {7, 5, 7, 1, 7}, {0, 0, 7, 0, 0}};

void put(Picture& p, int x, int y, std::uint32_t colour) {
    if (x >= 0 && y >= 0 && x < p.width && y < p.height) {
        p.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) +
                 static_cast<std::size_t>(x)] = colour;
    }
}

// `s` with the top left corner of its first digit at (x, y).
void text(Picture& p, int x, int y, const std::string& s) {
    for (const char c : s) {
        const int glyph = c == '-' ? 10 : c - '0';
        for (int cell = 0; cell < 5 * 3 * kGlyphScale * kGlyphScale; ++cell) {
            const int dx = cell % (3 * kGlyphScale), dy = cell / (3 * kGlyphScale);
            if ((kGlyphs[glyph][dy / kGlyphScale] >> (2 - dx / kGlyphScale)) & 1) {
                put(p, x + dx, y + dy, kInk);
            }
        }
        x += 4 * kGlyphScale;
    }
}

} // namespace

Picture drawSpectrogram(const Spectrogram& s, const BeaconPattern& pattern) {
    // At least 256 pixels high where the rows allow it, each row the same whole height.
    const int scale = s.rows > 0 ? std::clamp((256 + s.rows - 1) / s.rows, 1, 8) : 1;
    const int plotHeight = s.rows * scale;
    Picture p;
    p.width = kLeft + s.columns + kBarGap + kBarWidth + 2 + kLabels;
    p.height = plotHeight + 2 * kMargin;
    p.pixels.assign(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height),
                    kBackground);
    const float strongest =
        s.levels.empty() ? 0.0f : *std::max_element(s.levels.begin(), s.levels.end());
    const float top = std::ceil(strongest / 10.0f) * 10.0f;
    const float bottom = top - kRangeDb;
    for (int c = 0; c < s.columns; ++c) {
        for (int r = 0; r < s.rows; ++r) {
            const std::uint32_t colour = levelColour(s.at(c, r), bottom, top);
            for (int k = 0; k < scale; ++k) {
                put(p, kLeft + c, kMargin + plotHeight - 1 - (r * scale + k), colour);
            }
        }
    }
    // A tick for each tone row inside the band; the centre row's is longer.
    for (int row = 1; row <= kToneRows; ++row) {
        BeaconPattern one = pattern;
        one.toneIndex[0] = static_cast<float>(row);
        const int r = s.rowOf(toneFrequency(one, 0));
        if (r >= 0 && r < s.rows) {
            const int y = kMargin + plotHeight - 1 - (r * scale + scale / 2);
            for (int x = row == kCentreRow ? 1 : 5; x < kLeft - 1; ++x) {
                put(p, x, y, kInk);
            }
        }
    }
    // The colour scale: top to bottom, marked and labelled every 10 dB.
    const int barX = kLeft + s.columns + kBarGap;
    for (int y = 0; y < plotHeight; ++y) {
        const float db =
            top - kRangeDb * static_cast<float>(y) / static_cast<float>(plotHeight - 1);
        for (int x = 0; x < kBarWidth; ++x) {
            put(p, barX + x, kMargin + y, levelColour(db, bottom, top));
        }
    }
    for (int step = 0; step <= 6; ++step) {
        const int y = kMargin + (plotHeight - 1) * step / 6;
        put(p, barX + kBarWidth, y, kInk);
        put(p, barX + kBarWidth + 1, y, kInk);
        text(p, barX + kBarWidth + 3, y - 5 * kGlyphScale / 2,
             std::to_string(static_cast<int>(top) - 10 * step));
    }
    return p;
}

} // namespace vesk::preview
