// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fake_audio_out.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vesk::platform::AudioEvent;
using vesk::platform::FakeAudioOut;

namespace {

struct Rig {
    bool openDevice() {
        vesk::SoundFormat format;
        vesk::fillSoundFormat(format, 1, 44100, 16);
        return audio
            .open(0, format,
                  [this](AudioEvent e, int b) {
                      heard += "ODCL"[static_cast<int>(e)] + std::to_string(b) + " ";
                  })
            .ok();
    }
    // Four samples: first, first + 1, ...
    bool writeBlock(int block, std::int16_t first) {
        std::vector<std::uint8_t> bytes;
        for (int j = 0; j < 4; ++j) {
            const auto v = static_cast<std::uint16_t>(first + j);
            bytes.insert(bytes.end(), {std::uint8_t(v & 0xFFu), std::uint8_t(v >> 8)});
        }
        return audio.write(block, bytes.data(), bytes.size());
    }
    FakeAudioOut audio;
    std::string heard; // "D7 " for BlockDone of block 7
};

// Order, refusals, loss and reopening are the contract suite's (tests/integration); what is
// the fake's own is its record of what was played and of the silence between blocks.
TEST(FakeAudioOut, RecordsThePlayedSamplesAndTheSilenceBetweenBlocks) {
    Rig rig;
    ASSERT_TRUE(rig.openDevice());
    rig.audio.deliver();
    ASSERT_TRUE(rig.writeBlock(7, -2));
    ASSERT_TRUE(rig.writeBlock(3, 100));
    rig.audio.advance(18);
    EXPECT_EQ(rig.audio.playedSamples(),
              (std::vector<std::int16_t>{-2, -1, 0, 1, 100, 101, 102, 103}));
    EXPECT_EQ(rig.audio.underrunSamples(), 10);
    EXPECT_EQ(rig.audio.underruns(), 0) << "a gap counts once more sound follows";
    rig.writeBlock(1, 0);
    EXPECT_EQ(rig.audio.underruns(), 1);
    rig.audio.advance(2);
    rig.audio.loseDevice();
    EXPECT_EQ(rig.audio.playedSamples().size(), 10u) << "the unplayed half is dropped";
    EXPECT_EQ(rig.audio.writtenSamples().size(), 12u);
    rig.audio.deliver();
    EXPECT_EQ(rig.heard, "O0 D7 D3 L0 ");
    EXPECT_TRUE(rig.audio.contractViolations().empty());
}

TEST(FakeAudioOut, BreachesOfTheCallersSideAreRecorded) {
    // o open, d deliver, w write block 4, a advance 4, c close, h write half a sample
    for (const std::string steps : {"w", "c", "oo", "ow", "odwaw", "odh"}) {
        Rig t;
        for (const char step : steps) {
            const std::uint8_t odd[3] = {};
            step == 'o'   ? void(t.openDevice())
            : step == 'd' ? void(t.audio.deliver())
            : step == 'w' ? void(t.writeBlock(4, 0))
            : step == 'a' ? t.audio.advance(4)
            : step == 'c' ? void(t.audio.close())
                          : void(t.audio.write(0, odd, 3));
        }
        EXPECT_EQ(t.audio.contractViolations().size(), 1u) << steps;
    }
}

} // namespace
