// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/wave_file.h"

#include "tone/render.h"
#include "tone/wave_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vesk {
namespace {

TEST(WaveFile, TheStreamedFileIsTheWholeRendersImageInPieces) {
    // 601 dots of 1 s: 26.5 M samples, a hundred pieces; every dot a tone.
    BeaconPattern pattern = startPattern();
    pattern.dotLength = 1000;
    for (std::size_t d = 0; d < pattern.toneIndex.size(); ++d) {
        pattern.toneIndex[d] = static_cast<float>(1 + d % 16);
        pattern.levelCode[d] = d % 5 == 0 ? 4.0f : 1.0f;
    }
    const RenderedSound whole = renderPattern(pattern, 10362).value();
    const PatternStream stream = makePatternStream(pattern, 10362).value();
    std::vector<int> progress;
    const ByteSource next = waveFileSource(stream, [&](int blocks) { progress.push_back(blocks); });
    std::vector<std::uint8_t> file;
    int pieces = 0;
    for (auto bytes = next(); !bytes.empty(); bytes = next(), ++pieces) {
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    EXPECT_GT(pieces, 50);
    const auto image = whole.waveImage();
    ASSERT_EQ(file.size(), image.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin()));
    EXPECT_EQ(progress, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
}

TEST(WaveFile, APatternBeyondTheRiffLimitIsRefusedWithItsLengthAndTheLimit) {
    EXPECT_TRUE(checkWaveSize(kMaxWaveSamples));
    EXPECT_EQ(checkWaveSize(kMaxWaveSamples + 1).message(),
              "The WAV file would hold 2147483630 samples (13:31:35, 4294967304 bytes); a WAV "
              "file holds at most 2147483629 samples (13:31:35, 4 GiB).");
    // 600 dots of 120 s.
    EXPECT_EQ(checkWaveSize(std::int64_t{601} * 120 * 44100).message(),
              "The WAV file would hold 3180492000 samples (20:02:00, 6360984044 bytes); a WAV "
              "file holds at most 2147483629 samples (13:31:35, 4 GiB).");
}

} // namespace
} // namespace vesk
