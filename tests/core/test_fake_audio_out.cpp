#include "platform/fake_audio_out.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

using vesk::platform::AudioEvent;
using vesk::platform::FakeAudioOut;

namespace {

struct Heard {
    AudioEvent event;
    int block;
    bool operator==(const Heard&) const = default;
};

// The fake with a listener that writes down what it hears.
struct Rig {
    bool openDevice(int index = 0) {
        return audio.open(index, vesk::SoundFormat{}, [this](AudioEvent event, int block) {
            heard.push_back({event, block});
        });
    }
    // A block of `count` samples first, first + 1, ...
    bool writeBlock(int block, std::int16_t first, int count = 4) {
        std::vector<std::uint8_t> bytes;
        for (int j = 0; j < count; ++j) {
            const auto value = static_cast<std::uint16_t>(first + j);
            bytes.push_back(static_cast<std::uint8_t>(value & 0xFFu));
            bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        }
        return audio.write(block, bytes.data(), bytes.size());
    }

    FakeAudioOut audio;
    std::vector<Heard> heard;
};

TEST(FakeAudioOut, BlocksAreDoneInOrderWhenTheirLastSamplePlaysAndOnlyDeliveredLater) {
    Rig rig;
    ASSERT_TRUE(rig.openDevice());
    EXPECT_TRUE(rig.heard.empty()) << "nothing may arrive from inside open()";
    EXPECT_EQ(rig.audio.deliver(), 1);
    ASSERT_TRUE(rig.writeBlock(7, -2));
    ASSERT_TRUE(rig.writeBlock(3, 100));
    rig.audio.advance(3);
    EXPECT_EQ(rig.audio.pendingEvents(), 0);
    rig.audio.advance(1);
    EXPECT_EQ(rig.audio.pendingEvents(), 1);
    EXPECT_EQ(rig.heard.size(), 1u);
    rig.audio.advance(4);
    EXPECT_EQ(rig.audio.deliver(), 2);
    const std::vector<Heard> expected{
        {AudioEvent::Opened, 0}, {AudioEvent::BlockDone, 7}, {AudioEvent::BlockDone, 3}};
    EXPECT_EQ(rig.heard, expected);
    const std::vector<std::int16_t> samples{-2, -1, 0, 1, 100, 101, 102, 103};
    EXPECT_EQ(rig.audio.playedSamples(), samples);
    EXPECT_EQ(rig.audio.underrunSamples(), 0);
    rig.audio.advance(10);
    EXPECT_EQ(rig.audio.underrunSamples(), 10);
    EXPECT_EQ(rig.audio.playedSamples().size(), 8u);
    EXPECT_EQ(rig.audio.underruns(), 0) << "a gap counts once more sound follows";
    rig.writeBlock(1, 0);
    EXPECT_EQ(rig.audio.underruns(), 1);
}

TEST(FakeAudioOut, CloseIsRefusedWhileBlocksAreQueuedAndClosedFollowsASuccess) {
    Rig rig;
    ASSERT_TRUE(rig.openDevice());
    rig.audio.deliver();
    rig.writeBlock(0, 1);
    EXPECT_FALSE(rig.audio.close());
    rig.audio.advance(4);
    EXPECT_TRUE(rig.audio.close());
    EXPECT_FALSE(rig.audio.isOpen());
    rig.audio.deliver();
    EXPECT_EQ(rig.heard.back(), (Heard{AudioEvent::Closed, 0}));
    EXPECT_EQ(rig.audio.closeAttempts(), 2);
    EXPECT_TRUE(rig.audio.contractViolations().empty());
}

TEST(FakeAudioOut, ALostDeviceDropsItsQueueAfterTheBlocksAlreadyPlayed) {
    Rig rig;
    ASSERT_TRUE(rig.openDevice());
    rig.audio.deliver();
    rig.writeBlock(0, 1);
    rig.writeBlock(1, 5);
    rig.audio.advance(4);
    rig.audio.loseDevice();
    EXPECT_FALSE(rig.audio.isOpen());
    EXPECT_EQ(rig.audio.queuedBlocks(), 0);
    // Calls made before the caller has heard of the loss are refused, not breaches.
    EXPECT_FALSE(rig.writeBlock(2, 9));
    EXPECT_FALSE(rig.audio.close());
    rig.audio.deliver();
    const std::vector<Heard> expected{
        {AudioEvent::Opened, 0}, {AudioEvent::BlockDone, 0}, {AudioEvent::Lost, 0}};
    EXPECT_EQ(rig.heard, expected);
    EXPECT_TRUE(rig.audio.contractViolations().empty());
    EXPECT_TRUE(rig.openDevice()) << "a lost device can be opened again";
}

TEST(FakeAudioOut, BreachesOfTheCallersSideAreRecorded) {
    const std::array<std::uint8_t, 3> odd{};
    struct Case {
        const char* what;
        void (*run)(Rig&);
    };
    const std::vector<Case> cases{
        {"write while closed",
         [](Rig& t) {
             t.writeBlock(0, 0);
         }},
        {"close while closed",
         [](Rig& t) {
             t.audio.close();
         }},
        {"write before Opened is delivered",
         [](Rig& t) {
             t.openDevice();
             t.writeBlock(0, 0);
         }},
        {"a block written again before it was reported done",
         [](Rig& t) {
             t.openDevice();
             t.audio.deliver();
             t.writeBlock(4, 0);
             t.audio.advance(4); // played, but its BlockDone still waits
             t.writeBlock(4, 0);
         }},
        {"open while open",
         [](Rig& t) {
             t.openDevice();
             t.openDevice();
         }},
    };
    for (const Case& c : cases) {
        Rig t;
        c.run(t);
        EXPECT_EQ(t.audio.contractViolations().size(), 1u) << c.what;
    }
    Rig t;
    t.openDevice();
    t.audio.deliver();
    EXPECT_FALSE(t.audio.write(0, odd.data(), odd.size()));
    EXPECT_EQ(t.audio.contractViolations().size(), 1u) << "half a sample";
}

} // namespace
