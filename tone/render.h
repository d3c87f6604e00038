// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "tone/pattern.h"

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

namespace vesk {

// The whole pattern rendered into memory at once: the reference that the streaming render
// (tone/pattern_stream.h), which playback and the exports use, is checked against. The WAV image,
// the sample bytes and the sample table share one buffer: a 44-byte RIFF header followed by N
// samples, 16-bit signed, low byte first. The table's zero half is not stored; reads past the
// pattern give silence.
class RenderedSound {
public:
    RenderedSound() = default;
    explicit RenderedSound(std::vector<std::uint8_t> image) : image_(std::move(image)) {}

    // N, the pattern's sample count (0 before any render).
    std::int64_t sampleCount() const;
    // Sample `index` of the sample table; 0 for an index outside 0..N-1.
    std::int16_t sample(std::int64_t index) const;
    // Copies `count` samples from table position `from` into `out`; silence outside 0..N-1.
    void copySamples(std::int64_t from, std::int16_t* out, int count) const;
    // The complete WAV file content (empty before any render).
    std::span<const std::uint8_t> waveImage() const { return image_; }
    // The sample bytes behind the header (2N bytes).
    std::span<const std::uint8_t> waveData() const;
    bool empty() const { return image_.empty(); }

private:
    std::vector<std::uint8_t> image_;
};

// Largest sample count the in-memory render accepts (about 101 minutes of sound).
inline constexpr std::int64_t kMaxRenderSamples = std::int64_t{1} << 28;

// Called with the number of progress blocks (10 down to 0) as the render advances.
using RenderProgress = std::function<void(int blocks)>;

// Renders the whole pattern at peak `amplitude` (0..32767 for level code 1). Fails, with no
// sound allocated and the operator's message, for a pattern whose parameters are outside
// their limits or whose sample count exceeds kMaxRenderSamples.
Result<RenderedSound> renderPattern(const BeaconPattern& pattern, std::int32_t amplitude,
                                    const RenderProgress& progress = {});

// The plain per-sample rule (one std::sin per sample), kept as the reference that the fast
// render is measured against. Returns the N pattern samples; empty for a refused pattern.
std::vector<std::int16_t> renderPatternReference(const BeaconPattern& pattern,
                                                 std::int32_t amplitude);

} // namespace vesk
