// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/wave_image.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vesk {
namespace {

std::uint32_t read32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::uint16_t read16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::string text(const std::uint8_t* bytes, std::size_t length) {
    return {reinterpret_cast<const char*>(bytes), length};
}

TEST(WaveHeader, FieldsForTheSampleCount) {
    const struct {
        std::int64_t samples;
        std::uint32_t riffSize;
        std::uint32_t dataSize;
    } cases[] = {
        {445410, 890856, 890820},    // 101 dots of 100 ms
        {3313012, 6626060, 6626024}, // 601 dots of 125 ms
        {0, 36, 0},                  //
        {-5, 36, 0},                 // a negative count is no count
        {kMaxWaveSamples, 4294967294u, 4294967258u},
        {kMaxWaveSamples + 1, 4294967294u, 4294967258u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.samples);
        std::array<std::uint8_t, kWaveHeaderSize> header{};
        writeWaveHeader(header.data(), c.samples);
        EXPECT_EQ(text(&header[0], 4), "RIFF");
        EXPECT_EQ(read32(&header[4]), c.riffSize);
        EXPECT_EQ(text(&header[8], 8), "WAVEfmt ");
        EXPECT_EQ(read32(&header[16]), 16u);
        EXPECT_EQ(read16(&header[20]), 1u);     // linear PCM
        EXPECT_EQ(read16(&header[22]), 1u);     // mono
        EXPECT_EQ(read32(&header[24]), 44100u); // samples per second
        EXPECT_EQ(read32(&header[28]), 88200u); // bytes per second
        EXPECT_EQ(read16(&header[32]), 2u);     // block align
        EXPECT_EQ(read16(&header[34]), 16u);    // bits per sample
        EXPECT_EQ(text(&header[36], 4), "data");
        EXPECT_EQ(read32(&header[40]), c.dataSize);
    }
}

TEST(WaveImage, HeaderThenSamplesLowByteFirst) {
    const std::vector<std::int16_t> samples = {0, 1, -1, 32767, -32768, 0x1234, -32767};
    const std::vector<std::uint8_t> image = buildWaveImage(samples);
    ASSERT_EQ(image.size(), kWaveHeaderSize + 14);
    EXPECT_EQ(read32(&image[4]), 50u);
    EXPECT_EQ(read32(&image[40]), 14u);
    const std::vector<std::uint8_t> data(image.begin() + kWaveHeaderSize, image.end());
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x00,
                                               0x80, 0x34, 0x12, 0x01, 0x80}));
    EXPECT_EQ(buildWaveImage({}).size(), kWaveHeaderSize) << "no samples: the header alone";
}

} // namespace
} // namespace vesk
