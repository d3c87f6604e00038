// SPDX-License-Identifier: GPL-3.0-or-later
// What the status page knows of a beacon: the board as a session's view keeps it, the
// transmissions to come, and the access token's file.
#include "tests/core/scratch_folder.h"

#include "web/access_token.h"
#include "web/beacon_status.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vesk {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

class FixedClock : public WallClock {
public:
    UtcNanoseconds now() const override { return at; }
    UtcNanoseconds at = 1'796'600'000 * kSecond;
};

TEST(WebStatus, TheViewCountsEachFaultOnceAndKeepsTheNewestProblems) {
    web::StatusBoard board;
    FixedClock clock;
    web::StatusView view(board, clock);
    view.waitingChanged(BeaconWait::SoundOutput, "gone", false);
    view.waitingChanged(BeaconWait::SoundOutput, "gone", true); // a reminder: the same wait
    view.waitingChanged(BeaconWait::None, "", false);
    view.waitingChanged(BeaconWait::Keyer, "COM7: cannot raise DTR", false);
    view.keyingChanged(true);
    clock.at += kSecond;
    view.keyingChanged(true); // still keyed: the key's time stays
    for (int i = 0; i < 12; ++i) {
        view.problem(i % 2 == 0 ? SessionProblem::WatchdogTripped : SessionProblem::RenderRefused,
                     "problem " + std::to_string(i));
    }
    view.cyclePlayed(1, 2);
    view.cyclePlayed(2, 1);
    const web::BeaconStatus s = board.read();
    EXPECT_EQ(s.faults.soundWaits, 1);
    EXPECT_EQ(s.faults.keyerWaits, 1);
    EXPECT_EQ(s.waiting, BeaconWait::Keyer);
    EXPECT_EQ(s.waitReason, "COM7: cannot raise DTR");
    EXPECT_EQ(s.faults.watchdog, 6);
    ASSERT_EQ(s.problems.size(), web::kProblemsKept);
    EXPECT_EQ(s.problems.front().message, "problem 2");
    EXPECT_EQ(s.problems.back().kind, "render refused");
    EXPECT_EQ(s.keyedAt, clock.at - kSecond);
    EXPECT_EQ(s.cycles, 2);
    EXPECT_EQ(s.underruns, 3);
    view.keyingChanged(false);
    EXPECT_EQ(board.read().keyedAt, -1);
}

TEST(WebStatus, PlaysCyclesToComeFollowTheirTiming) {
    web::BeaconStatus s;
    s.onAir = web::Transmission{-1, "", "b.txt", "b", 0, 110 * kSecond, false};
    const UtcNanoseconds evenMinute = 1'796'601'600 * kSecond; // a multiple of 2 minutes
    struct Case {
        ClockTiming timing;
        std::int64_t periodNs;
        long left;
        std::vector<std::int64_t> seconds; // after the first
    };
    const Case cases[] = {
        // WSPR: every 2 minutes at +1 s, a sound of 110 s.
        {{2, 1}, 0, -1, {0, 120, 240, 360}},
        // A sound longer than the interval takes the boundary after its end.
        {{1, 0}, 0, -1, {0, 120, 240, 360}},
        // Off the clock, at the repeat interval; a limit ends the list.
        {{}, 150 * kSecond, -1, {0, 150, 300, 450}},
        {{}, 150 * kSecond, 2, {0, 150}},
        {{}, 150 * kSecond, 0, {}},
    };
    for (const Case& c : cases) {
        s.cycleTimes = {evenMinute + c.timing.offsetSeconds * kSecond, c.timing, c.periodNs, c.left,
                        evenMinute + c.timing.offsetSeconds * kSecond + 120 * kSecond};
        const auto list = web::upcoming(s, nullptr, 0, evenMinute - kSecond, 4);
        ASSERT_EQ(list.size(), c.seconds.size()) << c.timing.everyMinutes;
        for (std::size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].at - list[0].at, c.seconds[i] * kSecond) << c.timing.everyMinutes;
            EXPECT_EQ(list[i].skipped, list[i].at == s.cycleTimes.skippedAt);
            EXPECT_EQ(list[i].picture, "b");
        }
    }
    // Nothing is to come while paused, and only what is after now.
    s.cycleTimes = {evenMinute, {}, 150 * kSecond, -1, -1};
    EXPECT_EQ(web::upcoming(s, nullptr, 0, evenMinute + 200 * kSecond, 1).front().at,
              evenMinute + 300 * kSecond);
    s.paused = true;
    EXPECT_TRUE(web::upcoming(s, nullptr, 0, evenMinute, 4).empty());
}

TEST(WebStatus, APlansTransmissionsComeFromItsScheduleWithTheSkippedMarked) {
    plan::Plan day;
    day.entries.resize(2);
    day.entries[0].name = "a";
    day.entries[0].everySeconds = 60;
    day.entries[1].name = "b";
    day.entries[1].everySeconds = 60;
    day.entries[1].offsetSeconds = 30;
    day.entries[1].frequencyHz = 7038600;
    const UtcNanoseconds minute = 1'796'601'600 * kSecond;
    web::BeaconStatus s;
    s.skippedSlots = {{minute + 90 * kSecond, 1}};
    const auto list = web::upcoming(s, &day, 7, minute, 4);
    ASSERT_EQ(list.size(), 4u);
    const std::pair<std::int64_t, const char*> expected[] = {
        {30, "b"}, {60, "a"}, {90, "b"}, {120, "a"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(list[i].at, minute + expected[i].first * kSecond) << i;
        EXPECT_EQ(list[i].entry, expected[i].second) << i;
        EXPECT_EQ(list[i].picture, expected[i].second) << i;
        EXPECT_EQ(list[i].skipped, i == 2) << i;
    }
    EXPECT_EQ(list[0].frequencyHz, 7038600);
    // A slot the runner passed over (too close to prepare when it planned) is not listed.
    s.planFrom = minute + 31 * kSecond;
    EXPECT_EQ(web::upcoming(s, &day, 7, minute, 1).front().at, minute + 60 * kSecond);
}

TEST(AccessToken, MadeOnceForTheUserAloneAndRefusedWhenOthersMayReadIt) {
    ScratchFolder folder;
    const std::string path = folder.file("config/vesk/http-token");
    const Result<std::string> made = web::loadOrMakeToken(path);
    ASSERT_TRUE(made) << made.message();
    EXPECT_EQ(made->size(), 64u);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(folder.file("config/vesk").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(web::loadOrMakeToken(path).valueOr(""), *made);
    EXPECT_NE(web::loadOrMakeToken(folder.file("other")).valueOr(*made), *made);

    const std::pair<std::string, const char*> refused[] = {
        {"short\n", "at least 16"},
        {"has a blank in it, long enough\n", "at least 16"},
        {"", "at least 16"},
    };
    for (const auto& [text, says] : refused) {
        writeWholeFile(path, text);
        const Result<std::string> loaded = web::loadOrMakeToken(path);
        EXPECT_NE(loaded.message().find(says), std::string::npos) << text << loaded.message();
    }
    writeWholeFile(path, "  0123456789abcdef0123  \nsecond line\n");
    EXPECT_EQ(web::loadOrMakeToken(path).valueOr(""), "0123456789abcdef0123");
    ::chmod(path.c_str(), 0640);
    EXPECT_NE(web::loadOrMakeToken(path).message().find("chmod 600"), std::string::npos);
    EXPECT_NE(web::loadOrMakeToken(folder.path().string()).message().find("not a regular file"),
              std::string::npos);
}

} // namespace
} // namespace vesk
