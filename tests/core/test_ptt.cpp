// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/ptt.h"

#include "devices/lines_keyer.h"
#include "tests/core/fake_keyer.h"
#include "tests/core/recording_lines.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vesk {
namespace {

using platform::PttLines;

PttChoice linesChoice(PttLines which = PttLines::DtrRts, bool inverted = false) {
    PttChoice choice;
    choice.lines = {which, inverted};
    return choice;
}

// A Ptt over fake keyers, with what its hooks heard.
class PttTest : public ::testing::Test {
protected:
    PttTest() : ptt_(fakeKeyerOpener(log_)) {
        ptt_.setLabelHook([this](bool keyed) { labels_.push_back(keyed); });
        ptt_.setFailureHook([this] { ++notices_; });
    }
    void TearDown() override { EXPECT_EQ(log_->breaches, std::vector<std::string>{}); }

    std::shared_ptr<FakeKeyerLog> log_ = std::make_shared<FakeKeyerLog>();
    Ptt ptt_;
    std::vector<bool> labels_;
    int notices_ = 0;
};

// Each keying leaves one state that the label, keyed() and isOpen() all read. A change that
// fails shows released and gives one notice, and no other until a keying has worked: a
// release that works in between does not end the failure.
TEST_F(PttTest, EachChangeLeavesOneStateAndAFailureIsReportedOnceUntilAKeyingWorks) {
    enum Action { On, Off };
    const struct {
        Action action;
        bool refuseKeying, refuseRelease;
        PttState state;
        int notices;
    } steps[] = {
        {On, false, false, PttState::Keyed, 0},
        {Off, false, false, PttState::Released, 0},
        {On, true, false, PttState::Failed, 1},
        {On, true, false, PttState::Failed, 1},  // every cycle retries: no second notice
        {Off, true, false, PttState::Failed, 1}, // the release works, the failure stays
        {On, false, false, PttState::Keyed, 1},
        {Off, false, true, PttState::Failed, 2}, // a release refused is a failure too
        {Off, false, false, PttState::Failed, 2},
        {On, true, false, PttState::Failed, 2},
    };
    ASSERT_TRUE(ptt_.open(linesChoice(PttLines::Dtr), 3).ok());
    EXPECT_EQ(ptt_.state(), PttState::Released);
    int index = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(index++);
        log_->refuseKeying = step.refuseKeying;
        log_->refuseRelease = step.refuseRelease;
        labels_.clear();
        step.action == On ? ptt_.pttOn() : ptt_.pttOff();
        EXPECT_EQ(ptt_.state(), step.state);
        EXPECT_EQ(ptt_.keyed(), step.state == PttState::Keyed);
        EXPECT_TRUE(ptt_.isOpen());
        EXPECT_EQ(labels_, std::vector<bool>{step.state == PttState::Keyed});
        EXPECT_EQ(notices_, step.notices);
    }
    EXPECT_EQ(ptt_.failure(), "DTR on COM 3: cannot key: refused");
}

// Without a keyer the beacon still keys and releases, for the label and the log; nothing can
// fail.
TEST_F(PttTest, WithoutAKeyerKeyingShowsAndNothingFails) {
    log_->refuseKeying = true;
    ptt_.pttOn();
    EXPECT_EQ(ptt_.state(), PttState::KeyedWithoutKeyer);
    EXPECT_TRUE(ptt_.keyed());
    EXPECT_FALSE(ptt_.isOpen());
    ptt_.pttOff();
    EXPECT_EQ(ptt_.state(), PttState::NoKeyer);
    EXPECT_FALSE(ptt_.keyed());
    EXPECT_EQ(labels_, (std::vector<bool>{true, false}));
    EXPECT_EQ(notices_, 0);
    EXPECT_TRUE(log_->events.empty());
}

// Opening another keyer lets the one before go first, released when it was keyed; a keyer that
// does not open leaves none open, and a fresh keyer's failure is reported again.
TEST_F(PttTest, OpeningLetsTheKeyerBeforeGoFirst) {
    ASSERT_TRUE(ptt_.open(linesChoice(), 3).ok());
    ptt_.pttOn();
    ASSERT_TRUE(ptt_.open(linesChoice(PttLines::Rts, true), 4).ok());
    EXPECT_EQ(ptt_.state(), PttState::Released) << "a new keyer is open released";
    ASSERT_TRUE(ptt_.open(linesChoice(), 5).ok());
    EXPECT_EQ(log_->events, (std::vector<std::string>{
                                "open DTR+RTS on COM 3", "key", "release on the way out", "close",
                                "open RTS inverted on COM 4", "close", "open DTR+RTS on COM 5"}));

    log_->refuseKeying = true;
    ptt_.pttOn();
    EXPECT_EQ(notices_, 1);
    log_->refuseKeying = false;
    log_->refuseOpen = "COM 6: no such port";
    log_->events.clear();
    const Result<> refused = ptt_.open(linesChoice(), 6);
    EXPECT_EQ(refused.message(), "COM 6: no such port");
    EXPECT_EQ(ptt_.state(), PttState::NoKeyer);
    EXPECT_EQ(log_->events, (std::vector<std::string>{"close", "open DTR+RTS on COM 6"}));

    log_->refuseOpen.clear();
    ASSERT_TRUE(ptt_.open(linesChoice(), 7).ok());
    log_->refuseKeying = true;
    ptt_.pttOn();
    EXPECT_EQ(notices_, 2);
}

// close() releases only a keyed keyer; shutdown() releases whatever it showed (a failed change
// may have left the transmitter anywhere), and the Ptt's end is a shutdown.
TEST_F(PttTest, ShutdownReleasesWhateverTheStateAndTheEndShutsDown) {
    ASSERT_TRUE(ptt_.open(linesChoice(), 3).ok());
    ptt_.close();
    EXPECT_FALSE(ptt_.isOpen());
    ASSERT_TRUE(ptt_.open(linesChoice(), 3).ok());
    log_->refuseKeying = true;
    ptt_.pttOn();
    log_->events.clear();
    ptt_.shutdown();
    EXPECT_EQ(log_->events, (std::vector<std::string>{"release on the way out", "close"}));
    EXPECT_EQ(ptt_.state(), PttState::NoKeyer);
    ptt_.shutdown(); // nothing left to release
    EXPECT_EQ(log_->events.size(), 2u);

    log_->refuseKeying = false;
    log_->events.clear();
    {
        Ptt ending(fakeKeyerOpener(log_));
        ASSERT_TRUE(ending.open(linesChoice(), 3).ok());
        ending.pttOn();
    }
    EXPECT_EQ(log_->events, (std::vector<std::string>{"open DTR+RTS on COM 3", "key",
                                                      "release on the way out", "close"}));
    EXPECT_EQ(log_->live, 0);
}

// The lines keyer opens the port with the chosen method, passes the port's failures on as they
// are, names the port as the log does, and closes the port when it ends.
TEST(LinesKeyer, DrivesThePortWithTheChosenMethodAndClosesItAtTheEnd) {
    std::vector<std::string> log;
    auto port = std::make_shared<RecordingLines>(log);
    const Result<std::unique_ptr<Keyer>> missing =
        openLinesKeyer(port, 4, {PttLines::DtrRts, false});
    EXPECT_EQ(missing.message(), "COM4: no device for this number");
    EXPECT_FALSE(port->isOpen());
    {
        Result<std::unique_ptr<Keyer>> keyer = openLinesKeyer(port, 3, {PttLines::Rts, true});
        ASSERT_TRUE(keyer.ok()) << keyer.message();
        EXPECT_EQ(port->method(), (platform::PttMethod{PttLines::Rts, true}));
        EXPECT_EQ((*keyer)->description(), "RTS inverted on COM 3");
        EXPECT_TRUE((*keyer)->setKeyed(true).ok());
        port->refuseKeying = true;
        EXPECT_EQ((*keyer)->setKeyed(true).message(), "COM3: cannot raise DTR: Input/output error");
        (*keyer)->release();
        EXPECT_TRUE(port->isOpen());
    }
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(log, (std::vector<std::string>{"open 4", "open 3 inverted", "released", "keyed",
                                             "refused", "released", "close"}));
}

} // namespace
} // namespace vesk
