// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_commands.h"
#include "app/ptt_messages.h"
#include "devices/station_settings.h"
#include "tests/gui/main_window_fixture.h"
#include "tests/gui/shown_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {
namespace {

// The main window with its remembered settings in the scratch folder and two sound outputs.
class StationTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        state_.settings.setSettingsFile(settingsPath_);
    }
    void show(std::int32_t comport = 3) {
        prepare(comport);
        state_.outputDevices = [] {
            return std::vector<std::string>{"First output", "Second output"};
        };
        ui::dialogShowModeless(window_, mainWindowHandler(state_));
    }
    void escape() {
        command(static_cast<std::int32_t>(msg::IDCANCEL));
        ui::processEvents();
        // While it plays the window waits for the queued sound.
        ASSERT_TRUE(playUntil([this] { return !ui::windowExists(window_); }));
    }
    // Runs PTT > "PTT options..." with `operate` acting on the open dialog; OK ends it.
    void choosePtt(const std::function<void(QWidget&)>& operate) {
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            operate(*dialog);
            child<QPushButton>(*dialog, "ok")->click();
        });
        command(id::kMenuPttOptions);
    }

    const std::string settingsPath_ = (folder_ / "config" / "vesk" / "settings").string();
};

TEST_F(StationTest, RememberedSettingsComeBackAndFollowEachChange) {
    BeaconPattern pattern = resetPattern();
    pattern.toneIndex[4] = 3.0f;
    pattern.levelCode[4] = 4.0f;
    const std::string patternPath = (folder_ / "beacon.txt").string();
    ASSERT_TRUE(savePatternFile(patternPath, pattern).ok());
    StationSettings remembered;
    remembered.soundOutput = "Second output";
    remembered.outputLevel = 55.0f;
    remembered.lastPattern = patternPath;
    remembered.ptt.lines = {platform::PttLines::Dtr, true};
    remembered.clock = {10, 5};
    ASSERT_TRUE(saveStationSettings(settingsPath_, remembered).ok());

    show();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(state_.soundcardIndex, 1);
    EXPECT_EQ(state_.outputLevel, 55.0f);
    EXPECT_EQ(ui::scrollGetPos(window_, id::kOutputLevel), 55);
    EXPECT_EQ(state_.session->clockTiming(), (ClockTiming{10, 5}));
    EXPECT_EQ(port_->method(), remembered.ptt.lines);
    EXPECT_EQ(state_.document.pattern().toneIndex, pattern.toneIndex);
    EXPECT_EQ(title(), std::string(kTitlePrefix) + "beacon.txt");
    EXPECT_EQ(readFile(settingsPath_), stationSettingsText(remembered)) << "nothing changed";

    // A change is written when it is done with; loaded, the pattern is no unsaved work.
    scrollLevel(msg::SB_LINERIGHT);
    EXPECT_EQ(loadStationSettings(settingsPath_).valueOr({}).outputLevel, 55.0f);
    scrollLevel(msg::SB_ENDSCROLL);
    EXPECT_EQ(loadStationSettings(settingsPath_).valueOr({}).outputLevel, 56.0f);
    useClockTiming(state_, {});
    escape();
    EXPECT_TRUE(boxes_.empty());
    remembered.outputLevel = 56.0f;
    remembered.clock = {};
    EXPECT_EQ(readFile(settingsPath_), stationSettingsText(remembered));
}

// An output that has gone leaves the system default in use, says so and stays remembered.
TEST_F(StationTest, AnOutputThatHasGoneFallsBackToTheDefault) {
    StationSettings remembered;
    remembered.soundOutput = "USB headset";
    remembered.lastPattern = (folder_ / "deleted.txt").string();
    ASSERT_TRUE(saveStationSettings(settingsPath_, remembered).ok());
    show();
    EXPECT_EQ(state_.soundcardIndex, -1);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text,
              "The sound output \"USB headset\" is not there.\r\nThe system's default output "
              "is used.");
    EXPECT_EQ(title(), kMainCaption) << "a pattern file that has gone is not opened";
    escape();
    EXPECT_EQ(loadStationSettings(settingsPath_).valueOr({}).soundOutput, "USB headset");
}

// The store leaves such a file alone (its own tests); the window says so and starts as usual.
TEST_F(StationTest, AFileThatCannotBeReadIsReported) {
    fs::create_directories(fs::path(settingsPath_).parent_path());
    writeWholeFile(settingsPath_, "output-level = 20\nvolume at eleven\n");
    show();
    ASSERT_GE(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Cannot read the settings " + settingsPath_ +
                                  ": line 2: not \"key = value\"\r\nThe file is left as it is: "
                                  "settings changed now are not saved.");
    EXPECT_EQ(state_.outputLevel, 90.0f);
}

// DTR inverted, then the in-process dummy rig found by a search: each is opened on OK and
// remembered; the dummy keys and releases with playback. A rig that cannot be opened is
// reported and nothing shows keyed.
TEST_F(StationTest, PttOptionsReopenTheKeyerTheChosenWay) {
    show(3);
    lines_.clear();
    choosePtt([](QWidget& box) {
        EXPECT_TRUE(child<QRadioButton>(box, "dtrRts")->isChecked());
        EXPECT_FALSE(child<QLineEdit>(box, "search")->isEnabled()) << "CAT's fields wait";
        child<QRadioButton>(box, "dtr")->setChecked(true);
        child<QCheckBox>(box, "inverted")->setChecked(true);
        EXPECT_EQ(child<QSpinBox>(box, "maxKey")->value(), 10);
        child<QSpinBox>(box, "maxKey")->setValue(25);
    });
    EXPECT_EQ(state_.session->maxKeyMs(), 25000) << "the watchdog's allowance applies at once";
    EXPECT_EQ(loadStationSettings(settingsPath_).valueOr({}).maxKeySeconds, 25);
    EXPECT_EQ(state_.settings.pttChoice().lines,
              (platform::PttMethod{platform::PttLines::Dtr, true}));
    EXPECT_EQ(port_->method(), state_.settings.pttChoice().lines);
    EXPECT_EQ(lines_, (std::vector<std::string>{"close", "open 3", "released"}));
    EXPECT_EQ(loadStationSettings(settingsPath_).valueOr({}).ptt, state_.settings.pttChoice());

    std::string searched;
    choosePtt([&](QWidget& box) {
        EXPECT_TRUE(child<QCheckBox>(box, "inverted")->isChecked());
        child<QRadioButton>(box, "cat")->setChecked(true);
        EXPECT_FALSE(child<QCheckBox>(box, "inverted")->isEnabled()) << "a rig has no lines";
        auto* model = child<QComboBox>(box, "model");
        // A model still among the matches stays chosen; else the first match is.
        model->setCurrentIndex(1);
        auto* search = child<QLineEdit>(box, "search");
        search->setText("hamlib");
        searched = model->currentText().toStdString() + "|";
        search->setText("hamlib DUMMY");
        searched += model->currentText().toStdString();
    });
    EXPECT_EQ(searched, "2  Hamlib NET rigctl|1  Hamlib Dummy");
    ASSERT_TRUE(state_.settings.pttChoice().usesCat());
    EXPECT_EQ(state_.settings.pttChoice().rig.model, 1);
    EXPECT_TRUE(state_.session->direct().ptt().isOpen());
    EXPECT_FALSE(port_->isOpen());
    EXPECT_TRUE(boxes_.empty());
    startPlaying();
    EXPECT_EQ(text(id::kPttLabel), "PTT ON");
    EXPECT_TRUE(state_.session->direct().ptt().keyed());
    command(id::kTurnOnOff);
    EXPECT_FALSE(state_.session->direct().ptt().keyed());

    choosePtt([](QWidget& box) {
        child<QComboBox>(box, "model")->setEditText("3073");
        child<QLineEdit>(box, "device")->setText("/nonexistent/ttyUSB9");
    });
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind("Failure to open the rig\r\nIcom IC-7300 at "
                                   "/nonexistent/ttyUSB9: cannot open: ",
                                   0),
              0u)
        << boxes_[0].text;
    EXPECT_FALSE(state_.session->direct().ptt().isOpen());
    EXPECT_EQ(text(id::kPttLabel), "NO PTT") << "a rig that did not open is never shown keyed";

    // Without a PTT port the lines' method waits for one: nothing to open, nothing to report.
    state_.settings.setPttComport(0);
    ASSERT_TRUE(
        state_.session->direct().openKeyer({PttChoice::Keyer::Cat, {}, {1, "", 0}}, 0).ok());
    choosePtt([](QWidget& box) { child<QRadioButton>(box, "rts")->setChecked(true); });
    EXPECT_EQ(state_.settings.pttChoice().lines.lines, platform::PttLines::Rts);
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_FALSE(state_.session->direct().ptt().isOpen());
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> split;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        split.push_back(line.substr(start, tab - start));
    }
    split.push_back(line.substr(start));
    return split;
}

// Each transmission is one line: a Turn Off and the way out each end one, and Turn On starts
// the count again. A log that cannot be opened is reported once and playback keys all the same.
TEST_F(StationTest, TransmissionsGoToTheLog) {
    const fs::path log = folder_ / "state" / "vesk" / "transmissions.log";
    state_.transmissionLogPath = log.string();
    show(3);
    startPlaying();
    command(id::kTurnOnOff);
    ASSERT_TRUE(playUntil([this] { return !state_.session->playing(); }));
    startPlaying();
    shutdownMainWindow(state_); // as a signal ends it: the PTT released at once
    EXPECT_FALSE(state_.session->direct().ptt().keyed());
    const std::string text = readFile(log);
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    for (const std::string& line :
         {text.substr(0, text.find('\n')),
          text.substr(text.find('\n') + 1, text.size() - 1 - text.find('\n') - 1)}) {
        const std::vector<std::string> f = fields(line);
        ASSERT_EQ(f.size(), 6u) << line;
        EXPECT_LE(f[0], f[1]);
        EXPECT_EQ(f[2], "cycle 1");
        EXPECT_EQ(f[3], "(unsaved pattern)") << "Reset differs from the start pattern";
        EXPECT_EQ(f[4], "DTR+RTS on COM 3");
        EXPECT_EQ(f[5], "0 underruns");
    }
}

// Repeating at the pattern's own length leaves no gap to release in: the first cycle's line
// ends where the second begins.
TEST_F(StationTest, ACycleKeptKeyedIntoTheNextGetsItsOwnLine) {
    const fs::path log = folder_ / "transmissions.log";
    state_.transmissionLogPath = log.string();
    show(3);
    command(4000);
    ui::controlSetText(window_, id::kDotLengthField, "10");
    command(id::kDotLengthApply);
    ui::controlSetText(window_, id::kRepeatField, "100");
    command(id::kRepeatApply);
    command(id::kTurnOnOff);
    ASSERT_TRUE(playUntil([&] { return readFile(log).find("cycle 2") != std::string::npos; }));
    const std::vector<std::string> first =
        fields(readFile(log).substr(0, readFile(log).find('\n')));
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(first[2], "cycle 1, PTT kept keyed");
    EXPECT_TRUE(state_.session->direct().ptt().keyed());
}

// A folder, a pipe nobody reads or a device: one notice at start, and the window stands and
// plays all the same. The pipe is refused without waiting for a reader (one comes after 3 s,
// so that a window that waits does not wait for ever).
TEST_F(StationTest, ALogThatCannotBeOpenedIsReportedAndPlaybackGoesOn) {
    const std::string pipe = (folder_ / "log.fifo").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread reader([&pipe, &done] {
        for (int waited = 0; !done && waited < 300; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::close(::open(pipe.c_str(), O_RDONLY | O_NONBLOCK));
    });
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {folder_.string(), "Is a directory"},
        {pipe, "not a regular file but a pipe"},
        {"/dev/null", "not a regular file but a device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        boxes_.clear();
        state_.transmissionLogPath = c.path;
        show(3);
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].caption, "Transmission log");
        EXPECT_EQ(
            boxes_[0].text.rfind("Cannot open the transmission log " + c.path + ": " + c.reason, 0),
            0u)
            << boxes_[0].text;
        startPlaying();
        EXPECT_EQ(text(id::kPttLabel), "PTT ON");
        escape();
        EXPECT_EQ(boxes_.size(), 1u);
    }
    done = true;
    reader.join();
}

// A port that fails names its device and the reason under the notice's first line.
TEST_F(StationTest, OpenFailureNamesThePortItsDeviceAndTheReason) {
    const char* old = std::getenv("VESK_COMPORT_DIR");
    const std::string kept = old ? old : "";
    setenv("VESK_COMPORT_DIR", folder_.c_str(), 1);
    show(7);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Failure to open comport\r\nCOM 7 (" + (folder_ / "COM7").string() +
                                  "): no device for this number");
    const PttChoice lines;
    EXPECT_EQ(pttOpenFailureText(
                  7, lines, fail("COM7: " + (folder_ / "COM7").string() + ": Permission denied")),
              "Failure to open comport\r\nCOM 7 (" + (folder_ / "COM7").string() +
                  "): Permission denied");
    old ? setenv("VESK_COMPORT_DIR", kept.c_str(), 1) : unsetenv("VESK_COMPORT_DIR");
}

} // namespace
} // namespace vesk
