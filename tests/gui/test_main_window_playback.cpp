// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/generate_dialog.h"
#include "app/soundcard_selection.h"
#include "app/timing_dialog.h"
#include "beacon/generator.h"
#include "tests/gui/main_window_fixture.h"
#include "tests/gui/shown_windows.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>

#include <algorithm>

namespace vesk {
namespace {

// The cycle bar is 180 pixels per cycle (its control shows 170 of them); the strip one pixel per
// slot. Progress in dots lands on those pixels, rounded.
TEST_F(MainWindowTest, CycleProgressInDotsIsDrawnAt180PixelsPerCycle) {
    start();
    const auto bar = [this](int x) {
        return ui::graphicPixel(window_, kCycleBarId, x, 6);
    };
    const auto strip = [this](int x) {
        return ui::graphicPixel(window_, kPatternStripId, x, 2);
    };
    const ui::Colour red = ui::rgb(255, 0, 0), blue = ui::rgb(0, 0, 255);
    const ui::Colour white = ui::rgb(255, 255, 255);
    // Each box has a white outline on its own border pixels, the strip's in its background.
    drawCycleProgress(window_, {99, 0, 100, 200, true}); // 0..90 px
    EXPECT_EQ(bar(88), red);
    EXPECT_EQ(bar(90), white);
    EXPECT_EQ(strip(97), red);
    EXPECT_NE(strip(99), red);
    drawCycleProgress(window_, {-1, 100, 151, 200, false}); // 90..136 px, strip as it was
    EXPECT_EQ(bar(91), blue);
    EXPECT_EQ(bar(134), blue);
    EXPECT_EQ(bar(136), white);
    EXPECT_EQ(bar(88), red);
    EXPECT_EQ(strip(97), red);
    EXPECT_NE(strip(99), red);
    drawCycleProgress(window_, {0, 0, 1, 1, true}); // one dot fills the cycle: past the edge
    EXPECT_EQ(bar(169), red);
}

TEST_F(MainWindowTest, ClosingWhilePlayingWaitsForTheDevice) {
    start();
    command(4000);
    command(id::kTurnOnOff);
    EXPECT_EQ(text(1002), "Turn On"); // until the device reports that it is open
    EXPECT_FALSE(ui::controlIsEnabled(window_, 801));
    EXPECT_FALSE(ui::controlIsEnabled(window_, 4000));
    play(0);
    EXPECT_EQ(text(1002), "Turn Off");
    EXPECT_EQ(text(2501), "PTT OFF") << "keyed once the device plays the lead-in";
    play(8820);
    EXPECT_EQ(text(2501), "PTT ON");

    closeBox();
    ui::processEvents();
    EXPECT_TRUE(ui::windowExists(window_));
    EXPECT_TRUE(playUntil([this] { return !ui::windowExists(window_); }));
    EXPECT_TRUE(fs::exists(folder_ / kComportSettingsFile));
}

TEST_F(MainWindowTest, RefusedKeyingShowsPttOffAndOneNoticeUntilAKeyingWorks) {
    start(3);
    port_->refuseKeying = true;
    startPlaying();
    ASSERT_EQ(text(1002), "Turn Off");
    EXPECT_EQ(text(2501), "PTT OFF");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text,
              "Failure to set the PTT lines\r\nCOM3: cannot raise DTR: Input/output error");
    EXPECT_EQ(boxes_[0].caption, "Comport");

    // Every later cycle keys again: no second notice until a keying has worked.
    state_.session->direct().ptt().pttOn();
    ui::processEvents();
    EXPECT_EQ(boxes_.size(), 1u);
    port_->refuseKeying = false;
    state_.session->direct().ptt().pttOn();
    EXPECT_EQ(text(2501), "PTT ON");
}

// A port that keyed and then refuses (an adapter pulled out): the label says the PTT is
// missing and the title what the beacon waits for, with no box to click away; once the port
// keys again the beacon plays on by itself.
TEST_F(MainWindowTest, AKeyerLostWhilePlayingShowsInTheLabelAndTitleUntilItIsBack) {
    start(3);
    startPlaying();
    ASSERT_EQ(text(2501), "PTT ON");
    port_->refuseKeying = true;
    // On to the next cycle's keying, 20 s on.
    for (int i = 0; i < 150 && text(2501) != "NO PTT"; ++i) {
        play(8192);
    }
    EXPECT_EQ(text(2501), "NO PTT");
    EXPECT_EQ(text(1002), "Turn Off");
    EXPECT_NE(title().find("[waiting for the keyer: COM3: cannot raise DTR: Input/output error]"),
              std::string::npos)
        << title();
    EXPECT_TRUE(boxes_.empty());

    port_->refuseKeying = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (text(2501) != "PTT ON" && std::chrono::steady_clock::now() < deadline) {
        play(441);
        QTest::qWait(10);
    }
    EXPECT_EQ(text(2501), "PTT ON") << "back on its own";
    EXPECT_EQ(title().find("[waiting"), std::string::npos) << title();
}

// An output that will not open says why below the fixed sentence; nothing is keyed.
TEST_F(MainWindowTest, AFailedOpenShowsTheReasonAndKeysNothing) {
    start(3);
    audio_->setOpenFailure("Device unavailable");
    command(4000);
    command(id::kTurnOnOff);
    ui::processEvents();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text,
              "Error opening waveform audio device!\r\nthe system default output: Device "
              "unavailable");
    EXPECT_EQ(boxes_[0].caption, "Generator");
    EXPECT_EQ(text(1002), "Turn On");
    EXPECT_EQ(std::count(lines_.begin(), lines_.end(), "keyed"), 0);
}

// While the pattern plays, a step that would change the parameters waits, with a beep.
TEST_F(MainWindowTest, UndoOfAResetWaitsWhilePlaying) {
    start();
    click(msg::WM_LBUTTONDOWN, 30, 18);
    startPlaying(); // its Reset is one step
    ASSERT_EQ(text(1002), "Turn Off");
    command(id::kUndo);
    EXPECT_EQ(state_.document.pattern().dotCount, 100);
    EXPECT_EQ(text(820), " 100");
    command(id::kTurnOnOff);
    ASSERT_TRUE(playUntil([this] { return !state_.session->playing(); }));
    command(id::kUndo);
    EXPECT_EQ(state_.document.pattern().dotCount, 600);
    EXPECT_EQ(state_.document.pattern().toneIndex[5], 3.0f);
}

// OK with another output stops playback that runs, and starts none that does not; Cancel
// leaves playback alone.
TEST_F(MainWindowTest, SoundcardSelectionStopsPlaybackOnly) {
    start(3);
    for (const auto& [playing, end] :
         {std::pair{false, soundcard_id::kOk}, std::pair{true, soundcard_id::kCancel},
          std::pair{true, soundcard_id::kOk}}) {
        if (playing && !state_.session->playing()) {
            startPlaying();
            ASSERT_EQ(text(1002), "Turn Off");
            ASSERT_EQ(text(2501), "PTT ON");
        }
        bool sawDialog = false;
        QTimer::singleShot(0, [&, end = end] {
            const ui::Window dialog = state_.soundcardWindow;
            sawDialog = dialog != 0;
            // The entry that is not in use: the system default, or the one output.
            ui::comboSelect(dialog, soundcard_id::kDeviceList, state_.soundcardIndex == -1 ? 1 : 0);
            ui::sendMessage(dialog, msg::WM_COMMAND, static_cast<std::uint32_t>(end), 0);
        });
        send(msg::WM_COMMAND, static_cast<std::uint32_t>(id::kMenuSelectSoundcard), 0);
        EXPECT_TRUE(sawDialog);
        const bool stopped = playing && end == soundcard_id::kOk;
        EXPECT_EQ(text(1002), playing && !stopped ? "Turn Off" : "Turn On") << playing;
        EXPECT_EQ(text(2501), playing && !stopped ? "PTT ON" : "PTT OFF") << playing;
        EXPECT_EQ(state_.session->direct().state() == vesk::PlaybackState::Draining, stopped);
        EXPECT_EQ(state_.session->playing(), playing) << "only draining";
    }
}

// The PTT box is modal to the main window; Accept keeps port 3, and the port is closed and
// opened again.
TEST_F(MainWindowTest, PttBoxIsModalAndReopensThePort) {
    start(3);
    lines_.clear();
    bool mainUsableInBox = true;
    QTimer::singleShot(0, [&] {
        mainUsableInBox = ui::controlIsEnabled(window_, ui::kDialogItself);
        ui::postMessage(state_.choice.choiceWindow, msg::WM_COMMAND, 254, 0);
    });
    command(id::kMenuPtt);
    EXPECT_FALSE(mainUsableInBox);
    EXPECT_TRUE(ui::controlIsEnabled(window_, ui::kDialogItself));
    EXPECT_EQ(state_.settings.pttComport(), 3);
    EXPECT_EQ(lines_, (std::vector<std::string>{"close", "open 3", "released"}));
}

// The PTT box goes with the main window, and the port stays closed after the window ended.
TEST_F(MainWindowTest, PttBoxClosesWithTheMainWindow) {
    start(3);
    lines_.clear();
    bool boxSeen = false, boxOutlived = false;
    QObject guard; // the timers go with the test
    QTimer::singleShot(0, &guard, [&] {
        boxSeen = state_.choice.choiceWindow != 0;
        closeBox();
    });
    QTimer::singleShot(3000, &guard, [&] { // ends a box left alone instead of hanging
        if (state_.choice.choiceWindow != 0) {
            boxOutlived = true;
            ui::postMessage(state_.choice.choiceWindow, msg::WM_COMMAND, 255, 0);
        }
    });
    command(id::kMenuPtt);
    EXPECT_TRUE(boxSeen);
    EXPECT_FALSE(boxOutlived);
    EXPECT_FALSE(ui::windowExists(window_));
    EXPECT_EQ(lines_, (std::vector<std::string>{"released", "close"}));
    EXPECT_EQ(readFile(folder_ / kComportSettingsFile), " 3 \r\n");
}

TEST_F(MainWindowTest, TimingIsChosenInItsBoxAndRefusedWhenItCannotBeKept) {
    start(3);
    // Typed answers in turn; each is followed by OK, the last by Cancel.
    const auto answer = [this](std::vector<std::pair<std::string, std::string>> typed) {
        std::function<void()> next = [&typed, &next] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            if (typed.empty()) {
                child<QPushButton>(*box, "cancel")->click();
                return;
            }
            child<QComboBox>(*box, "every")
                ->setEditText(QString::fromStdString(typed.front().first));
            child<QLineEdit>(*box, "offset")->setText(QString::fromStdString(typed.front().second));
            typed.erase(typed.begin());
            child<QPushButton>(*box, "ok")->click();
            if (box->isVisible()) {
                QTimer::singleShot(0, [&next] { next(); });
            }
        };
        QTimer::singleShot(0, [&next] { next(); });
        command(id::kMenuTiming);
    };
    answer({{"7 minutes", "0"}, {"2 minutes", "120"}, {"ten", "0"}, {"10 minutes", "5"}});
    EXPECT_EQ(state_.session->clockTiming(), (ClockTiming{10, 5}));
    ASSERT_EQ(boxes_.size(), 3u);
    for (const auto& box : boxes_) {
        EXPECT_EQ(box.caption, "Timing");
    }
    EXPECT_NE(boxes_[0].text.find("divide the day"), std::string::npos) << boxes_[0].text;
    EXPECT_NE(boxes_[1].text.find("less than the interval"), std::string::npos);
    answer({});
    EXPECT_EQ(state_.session->clockTiming(), (ClockTiming{10, 5}));

    // Playing on the clock, the title names the next transmission; Turn Off takes it away.
    startPlaying();
    EXPECT_NE(title().find(" UTC]"), std::string::npos) << title();
    command(id::kTurnOnOff);
    EXPECT_EQ(title().find("[next"), std::string::npos);
    answer({{kRepeatIntervalChoice, "5"}});
    EXPECT_FALSE(state_.session->clockTiming().onTheClock());
}

// A WSPR pattern's two-minute grid is its own: the operator's timing is what the settings
// keep, the Timing dialog says which applies, and the grid goes with the pattern when another
// is opened, generated or reset.
TEST_F(MainWindowTest, AWsprPatternsTimingAppliesToItAlone) {
    start(3);
    const fs::path wspr = folder_ / "wspr.txt";
    const BeaconPattern wsprPattern =
        beacon::makeWsprPattern({"K1ABC", "FN42", 37, 1500.0f}).value();
    ASSERT_TRUE(savePatternFile(wspr.string(), wsprPattern).ok());
    const auto timingNote = [this] {
        QString note = "(no note)";
        QTimer::singleShot(0, [&note] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            if (auto* applies = box->findChild<QLabel*>("applies")) {
                note = applies->text();
            }
            child<QPushButton>(*box, "cancel")->click();
        });
        command(id::kMenuTiming);
        return note.toStdString();
    };
    const auto generateWspr = [this] {
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<GenerateDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            child<QComboBox>(*dialog, "mode")->setCurrentIndex(3);
            child<QLineEdit>(*dialog, "callsign")->setText("K1ABC");
            child<QLineEdit>(*dialog, "locator")->setText("FN42");
            dialog->generate();
        });
        command(id::kMenuGenerate);
    };
    const std::string ladder = VESK_SOURCE_DIR "/examples/tone_ladder.txt";
    // Each step, then the timing that plays and the title's file name.
    const std::function<void()> steps[] = {
        [&] {
            answers_ = {wspr.string()};
            command(id::kMenuOpen);
        },
        [&] {
            answers_ = {ladder};
            command(id::kMenuOpen);
        },
        generateWspr,
        [&] { command(id::kReset); },
        generateWspr,
        [&] {
            answers_ = {ladder};
            command(id::kMenuOpen);
        },
    };
    const ClockTiming expected[] = {kWsprTiming, {}, kWsprTiming, {}, kWsprTiming, {}};
    const char* names[] = {"wspr.txt",  "tone_ladder.txt", "(no file)",
                           "(no file)", "(no file)",       "tone_ladder.txt"};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        replies_ = {msg::IDYES}; // a generated pattern is unsaved work: it may go
        steps[i]();
        EXPECT_EQ(state_.session->clockTiming(), expected[i]) << i;
        EXPECT_EQ(title(), std::string(kTitlePrefix) + names[i]) << i;
        EXPECT_FALSE(state_.settings.clockTiming().onTheClock()) << i << ": the WSPR grid was kept";
        const std::string note = timingNote();
        EXPECT_EQ(note.find("every 2 minutes, 1 s past") != std::string::npos,
                  expected[i].onTheClock())
            << i << ": " << note;
    }
    // OK in the dialog makes the operator's timing apply, to the WSPR pattern too.
    generateWspr();
    QTimer::singleShot(
        0, [] { child<QPushButton>(*QApplication::activeModalWidget(), "ok")->click(); });
    command(id::kMenuTiming);
    EXPECT_FALSE(state_.session->clockTiming().onTheClock());
    EXPECT_EQ(timingNote(), "(no note)");
}

} // namespace
} // namespace vesk
