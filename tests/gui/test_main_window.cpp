#include "app/app_main.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/pattern_views.h"
#include "app/soundcard_selection.h"
#include "app/timing_dialog.h"
#include "beacon/generator.h"
#include "devices/settings_file.h"
#include "files/pattern_file.h"
#include "platform/fake_audio_out.h"
#include "tests/core/scratch_folder.h"
#include "tests/gui/shown_windows.h"
#include "tone/render.h"
#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace vesk {
namespace {

namespace fs = std::filesystem;

// A port that records what the program asks of it; "COM3" is the only one that opens, and
// like a real port it drops its lines on opening. With `refuseKeying` set it refuses to key.
class RecordingLines : public platform::SerialLines {
public:
    explicit RecordingLines(std::vector<std::string>& log) : log_(log) {}
    bool refuseKeying = false;

    Outcome open(std::int32_t number) override {
        log_.push_back("open " + std::to_string(number));
        open_ = number == 3;
        if (open_) {
            log_.push_back("released");
            return {};
        }
        return Outcome::failure("COM" + std::to_string(number) + ": no device for this number");
    }
    void close() override {
        if (open_) {
            log_.push_back("close");
        }
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    Outcome setLines(bool keyed) override {
        const bool refused = keyed && refuseKeying;
        log_.push_back(refused ? "refused" : keyed ? "keyed" : "released");
        return refused ? Outcome::failure("COM3: cannot raise DTR: Input/output error") : Outcome();
    }

private:
    std::vector<std::string>& log_;
    bool open_ = false;
};

// The five parameters in the order of their fields.
std::array<double, 5> parameters(const BeaconPattern& p) {
    return {static_cast<double>(p.dotLength), static_cast<double>(p.dotCount),
            static_cast<double>(p.frequencySpacing), static_cast<double>(p.centreFrequency),
            static_cast<double>(p.repeatDots)};
}

std::string readFile(const fs::path& path) {
    return readWholeFile(path.string());
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Questions take the next of replies_, Yes when none is left.
        ui::setMessageBoxResponder([this](const ui::MessageBoxRecord& box) {
            boxes_.push_back(box);
            if ((box.style & 0xFu) != msg::MB_YESNO) {
                return static_cast<int>(msg::IDOK);
            }
            const std::uint32_t reply = replies_.empty() ? msg::IDYES : replies_.front();
            if (!replies_.empty()) {
                replies_.erase(replies_.begin());
            }
            return static_cast<int>(reply);
        });
        ui::setFileDialogHook([this](const std::string& caption, std::string& name) {
            captions_.push_back(caption);
            if (answers_.empty()) {
                return false;
            }
            name = answers_.front();
            answers_.erase(answers_.begin());
            return !name.empty();
        });
    }

    void start(std::int32_t comport = 0) {
        prepare(comport);
        ui::dialogShowModeless(window_, mainWindowHandler(state_));
    }
    // The main window created, not yet shown.
    void prepare(std::int32_t comport = 0) {
        if (state_.settingsPath.empty()) {
            state_.settingsPath = (folder_ / kComportSettingsFile).string();
            state_.pttComport = comport;
        }
        auto audio = std::make_unique<platform::FakeAudioOut>();
        audio_ = audio.get();
        auto lines = std::make_unique<RecordingLines>(lines_);
        port_ = lines.get();
        attachResources(state_, std::move(audio), std::move(lines));
        window_ = createMainWindow(state_);
    }

    void TearDown() override {
        if (window_ != 0 && ui::windowExists(window_)) {
            ui::dialogEnd(window_, 0);
        }
        ui::processEvents();
        ui::setMessageBoxRecorder({});
        ui::setFileDialogHook({});
    }

    std::int32_t send(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
        return ui::sendMessage(window_, message, wParam, lParam);
    }
    void command(std::int32_t id) { send(msg::WM_COMMAND, static_cast<std::uint32_t>(id), 0); }
    void scrollLevel(std::uint32_t code, std::uint32_t position = 0) {
        send(msg::WM_HSCROLL, msg::makeWParam(code, position),
             ui::controlHandle(window_, id::kOutputLevel));
    }
    void click(std::uint32_t message, std::int32_t x, std::int32_t y) {
        send(message, 0, msg::makeMouseLParam(x, y));
    }
    std::string text(std::int32_t id) { return ui::controlGetText(window_, id); }
    // The device plays `samples`, then reports what it did.
    void play(std::int64_t samples) {
        audio_->advance(samples);
        audio_->deliver();
        ui::processEvents();
    }
    // Plays on until `done` holds (at most 100 steps of 8192 samples); `done` at the end.
    bool playUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 100 && !done(); ++i) {
            play(8192);
        }
        return done();
    }
    // Reset, Turn On, then the device opens and plays 100 ms: the first cycle is keyed.
    void startPlaying() {
        command(4000);
        command(id::kTurnOnOff);
        play(0);
        play(4410);
    }
    ui::Colour gridPixel(std::int32_t x, std::int32_t y) {
        return ui::graphicPixel(window_, kPatternGridId, x, y);
    }

    ScratchFolder scratch_;
    const fs::path& folder_ = scratch_.path();
    AppState state_;
    platform::FakeAudioOut* audio_ = nullptr;
    RecordingLines* port_ = nullptr;
    std::vector<std::string> lines_;
    ui::Window window_ = 0;
    std::vector<ui::MessageBoxRecord> boxes_;
    std::vector<std::uint32_t> replies_;
    std::vector<std::string> answers_;
    std::vector<std::string> captions_;
};

TEST_F(MainWindowTest, StartsWithTheStartValuesAndTheNoPortNotice) {
    start();
    EXPECT_EQ(ui::windowGetTitle(window_), kMainCaption);
    // Each pen radio stands on its level's grid colour.
    for (const float level : {1.0f, 2.0f, 4.0f, 8.0f, 16.0f}) {
        const std::int32_t pen = penControlForLevel(static_cast<std::int32_t>(level));
        EXPECT_EQ(ui::controlGetColor(window_, pen),
                  std::make_pair(levelColour(level), levelColour(level)))
            << pen;
    }
    const std::vector<std::pair<std::int32_t, std::string>> texts = {
        {800, " 100"}, {820, " 600"},   {900, " 10"},      {910, " 1000"},
        {995, " 600"}, {1004, "-10dB"}, {2501, "PTT OFF"}, {1002, "Turn On"}};
    for (const auto& [control, shown] : texts) {
        EXPECT_EQ(text(control), shown) << control;
    }
    EXPECT_EQ(ui::scrollGetPos(window_, 1000), 3000);
    EXPECT_EQ(ui::scrollGetPos(window_, 1003), 90);
    EXPECT_TRUE(ui::controlGetCheck(window_, 1111));
    EXPECT_EQ(state_.amplitude, 10362);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Default comport set to 0\r\nGo to PTT to set up a valid comport");
    EXPECT_EQ(boxes_[0].caption, "Comport");
    EXPECT_EQ(boxes_[0].style, 0x1040u);
    // Start-up grid: grey even columns with the centre band, white odd columns.
    EXPECT_EQ(gridPixel(0, 20), ui::rgb(235, 235, 235));
    EXPECT_EQ(gridPixel(0, 48), ui::rgb(192, 192, 192));
    EXPECT_EQ(gridPixel(6, 20), ui::rgb(255, 255, 255));
    EXPECT_EQ(ui::graphicPixel(window_, kDotScaleId, 100, 9), ui::rgb(224, 255, 255));
}

TEST_F(MainWindowTest, OutputLevelEdges) {
    start();
    scrollLevel(msg::SB_THUMBTRACK, 0);
    scrollLevel(msg::SB_LINELEFT);
    EXPECT_EQ(state_.outputLevel, 0.0f);
    EXPECT_EQ(state_.amplitude, 0);
    EXPECT_EQ(text(1004), "-100dB");

    scrollLevel(msg::SB_THUMBTRACK, 95);
    scrollLevel(msg::SB_PAGERIGHT);
    EXPECT_EQ(state_.outputLevel, 100.0f);
    EXPECT_EQ(state_.amplitude, 32767);
    EXPECT_EQ(text(1004), "0dB");
    EXPECT_EQ(ui::scrollGetPos(window_, 1003), 100);

    scrollLevel(msg::SB_THUMBTRACK, 37);
    EXPECT_EQ(text(1004), "-63dB");
    for (std::uint32_t code :
         {msg::SB_THUMBPOSITION, msg::SB_LEFT, msg::SB_RIGHT, msg::SB_ENDSCROLL}) {
        scrollLevel(code, 80);
        EXPECT_EQ(state_.outputLevel, 37.0f) << code;
    }
    scrollLevel(msg::SB_PAGELEFT);
    scrollLevel(msg::SB_LINERIGHT);
    EXPECT_EQ(state_.outputLevel, 28.0f);
    EXPECT_EQ(state_.amplitude, amplitudeForLevel(28.0f));
}

TEST_F(MainWindowTest, PaintingMovingAndErasingDots) {
    start();
    command(1113);                      // -12 dB
    click(msg::WM_LBUTTONDOWN, 30, 18); // slot 5, row 3
    EXPECT_EQ(state_.pattern.toneIndex[5], 3.0f);
    EXPECT_EQ(state_.pattern.levelCode[5], 4.0f);
    EXPECT_EQ(gridPixel(30, 18), ui::rgb(1, 128, 0));

    command(1112);
    click(msg::WM_LBUTTONDOWN, 31, 60); // same slot, row 10: the old square goes
    EXPECT_EQ(state_.pattern.toneIndex[5], 10.0f);
    EXPECT_EQ(state_.pattern.levelCode[5], 2.0f);
    EXPECT_EQ(gridPixel(30, 18), ui::rgb(255, 255, 255));
    EXPECT_EQ(gridPixel(30, 60), ui::rgb(128, 0, 255));

    for (const std::int32_t y : {-1, 100, 161, 200}) { // outside the grid nothing is erased
        click(msg::WM_RBUTTONDOWN, 30, y);
        EXPECT_EQ(state_.pattern.toneIndex[5], 10.0f) << y;
    }
    click(msg::WM_RBUTTONDOWN, 30, 99); // any height within the grid erases
    EXPECT_EQ(state_.pattern.toneIndex[5], 0.0f);
    EXPECT_EQ(state_.pattern.levelCode[5], 0.0f);
    EXPECT_EQ(gridPixel(30, 60), ui::rgb(255, 255, 255));

    click(msg::WM_LBUTTONDOWN, 30, 48); // an erased slot takes a new dot
    EXPECT_EQ(state_.pattern.toneIndex[5], 8.0f);

    // Rows outside 1..16 and slots outside 0..600 change nothing.
    const BeaconPattern before = state_.pattern;
    click(msg::WM_LBUTTONDOWN, 60, 2);
    click(msg::WM_LBUTTONDOWN, 60, 102);
    send(msg::WM_HSCROLL, msg::makeWParam(msg::SB_THUMBTRACK, 3604),
         ui::controlHandle(window_, kMoveWindowId)); // grid 604 px right: x 0 is slot -101
    click(msg::WM_LBUTTONDOWN, 0, 48);
    click(msg::WM_RBUTTONDOWN, 0, 48);
    EXPECT_EQ(state_.pattern.toneIndex, before.toneIndex);
    EXPECT_EQ(state_.pattern.levelCode, before.levelCode);
}

TEST_F(MainWindowTest, ReadoutAndTrackBarFollowTheGrid) {
    start();
    click(msg::WM_MOUSEMOVE, 252, 18);
    EXPECT_EQ(text(990), "Tone =  5  Dot =  42");
    click(msg::WM_MOUSEMOVE, 42, 66);
    EXPECT_EQ(text(990), "Tone = -3  Dot =  7");
    click(msg::WM_MOUSEMOVE, 42, 2);
    EXPECT_EQ(text(990), "----  Out of range  ----");
    // Exactly between two cells: ties go to the even slot and row.
    click(msg::WM_MOUSEMOVE, 9, 15);
    EXPECT_EQ(text(990), "Tone =  6  Dot =  2");

    const std::int32_t trackbar = ui::controlHandle(window_, kMoveWindowId);
    send(msg::WM_HSCROLL, msg::makeWParam(msg::SB_PAGELEFT, 0), trackbar);
    EXPECT_EQ(ui::controlGeometry(window_, 500).x, 0);
    send(msg::WM_HSCROLL, msg::makeWParam(msg::SB_THUMBTRACK, 0), trackbar);
    EXPECT_EQ(state_.gridScroll, 0);
    EXPECT_EQ(ui::controlGeometry(window_, 500).x, -3000);
    EXPECT_EQ(ui::controlGeometry(window_, 501).x, -3000);
    EXPECT_EQ(ui::controlGeometry(window_, 501).y, 100);
    click(msg::WM_MOUSEMOVE, 0, 48); // slot 500 now sits at the left edge
    EXPECT_EQ(text(990), "Tone =  0  Dot =  500");
}

// Each Apply reads its own field only; a value outside its rule is limited and written back.
// A frequency that is no finite number keeps the value before (set by the case above it).
TEST_F(MainWindowTest, ApplyReadsItsFieldWithinItsRule) {
    const struct {
        std::int32_t field, apply;
        const char* typed;
        const char* shown;
        double value;
    } cases[] = {{820, 821, "1000", " 600", 600},
                 {820, 821, "601", " 600", 600},
                 {820, 821, "-1", " 0", 0},
                 {820, 821, "2.5", "2.5", 2},
                 {800, 801, "0", " 1", 1},
                 {800, 801, "1", "1", 1},
                 {995, 996, "-5", " 0", 0},
                 {910, 911, "1234.5", "1234.5", 1234.5},
                 {800, 801, "1e999", " 2147483647", 2147483647},
                 {910, 911, "1e999", " 1234.5", 1234.5},
                 {900, 901, "-2.5", "-2.5", -2.5},
                 {900, 901, "-1e999", "-2.5", -2.5}};
    start();
    for (const auto& c : cases) {
        const BeaconPattern before = state_.pattern;
        ui::controlSetText(window_, c.field, c.typed);
        command(c.apply);
        const std::int32_t fields[] = {800, 820, 900, 910, 995};
        const auto now = parameters(state_.pattern), old = parameters(before);
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(now[i], fields[i] == c.field ? c.value : old[i])
                << c.typed << " in " << c.field << ", field " << fields[i];
        }
        EXPECT_EQ(text(c.field), c.shown) << c.typed;
    }
}

// Return in a field applies it; Reset sets pattern and parameters but not the level.
TEST_F(MainWindowTest, ReturnAppliesTheFocusedFieldAndResetSetsTheResetPattern) {
    start();
    ui::controlSetFocus(window_, 995);
    ui::controlSetText(window_, 995, "250");
    command(static_cast<std::int32_t>(msg::IDOK));
    EXPECT_EQ(state_.pattern.repeatDots, 250);
    ui::controlSetFocus(window_, id::kReset);
    command(static_cast<std::int32_t>(msg::IDOK));
    EXPECT_EQ(state_.pattern.dotCount, 600) << "Return on a button does nothing";

    command(1114); // a redraw keeps the mark on the pen in use
    click(msg::WM_LBUTTONDOWN, 30, 48);
    scrollLevel(msg::SB_THUMBTRACK, 70);
    ui::controlSetText(window_, 800, "junk");
    command(4000);
    EXPECT_TRUE(ui::controlGetCheck(window_, 1114));
    EXPECT_FALSE(ui::controlGetCheck(window_, 1111));
    for (const auto& [control, shown] : std::vector<std::pair<std::int32_t, std::string>>{
             {800, " 100"}, {820, " 100"}, {900, " 10"}, {910, " 1000"}, {995, " 200"}}) {
        EXPECT_EQ(text(control), shown) << control;
    }
    const BeaconPattern reset = resetPattern();
    EXPECT_TRUE(samePatternWork(state_.pattern, reset));
    EXPECT_EQ(state_.outputLevel, 70.0f);
    EXPECT_EQ(gridPixel(30, 48), ui::rgb(255, 255, 255));
}

TEST_F(MainWindowTest, SaveAndLoadThroughTheFileDialogs) {
    start();
    command(1115);
    click(msg::WM_LBUTTONDOWN, 12, 18); // slot 2, row 3, -24 dB
    answers_ = {(folder_ / "night.v2.dat").string()};
    command(id::kMenuSavePattern);
    const fs::path saved = folder_ / "night.txt";
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(readFile(saved), patternFileText(state_.pattern));
    EXPECT_EQ(captions_.back(), "Save file as:");

    command(4000); // clear, then load back
    answers_ = {saved.string()};
    command(id::kMenuOpen);
    EXPECT_EQ(captions_.back(), "Choose tone file");
    EXPECT_EQ(state_.pattern.dotCount, 600);
    EXPECT_EQ(state_.pattern.toneIndex[2], 3.0f);
    EXPECT_EQ(state_.pattern.levelCode[2], 16.0f);
    EXPECT_EQ(state_.patternFileName, "night.txt");
    EXPECT_EQ(ui::windowGetTitle(window_), std::string(kTitlePrefix) + "night.txt");
    EXPECT_EQ(text(820), " 600");
    EXPECT_EQ(gridPixel(12, 18), ui::rgb(255, 128, 0));
    EXPECT_FALSE(state_.sequencer->sound().empty());

    // Cancelling the open dialog ends the command: nothing is loaded again.
    command(4000);
    command(id::kMenuOpen);
    EXPECT_EQ(state_.pattern.dotCount, 100);
}

TEST_F(MainWindowTest, FileFailuresAreReportedWithTheName) {
    start();
    boxes_.clear();
    answers_ = {(folder_ / "missing.txt").string()};
    command(id::kMenuOpen);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("missing.txt"), std::string::npos);
    EXPECT_EQ(state_.patternFileName, "");
    EXPECT_EQ(state_.pattern.dotCount, 600);

    answers_ = {(folder_ / "no-such-folder" / "beacon").string()};
    command(id::kMenuSaveScript);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_NE(boxes_[1].text.find("beacon.scp"), std::string::npos);
}

// The WAV file holds the pattern on screen at the present level, rendered for the file alone.
TEST_F(MainWindowTest, WaveExportWritesThePatternOnScreen) {
    start();
    answers_ = {(folder_ / "beacon.wav").string()};
    command(4000);
    command(id::kMenuSaveWave); // before any render
    EXPECT_EQ(ui::windowGetTitle(window_), kMainCaption);

    answers_ = {VESK_SOURCE_DIR "/examples/tone_ladder.txt"};
    command(id::kMenuOpen); // renders the ladder for playback
    // What playback reads: its length and its first second.
    const auto playbackSound = [this] {
        std::vector<std::int16_t> samples(44100);
        state_.sequencer->sound().copySamples(0, samples.data(), 44100);
        samples.push_back(static_cast<std::int16_t>(state_.sequencer->sound().sampleCount()));
        return samples;
    };
    const std::vector<std::int16_t> playing = playbackSound();
    const std::string title = ui::windowGetTitle(window_);
    command(4000);
    click(msg::WM_LBUTTONDOWN, 30, 48);
    scrollLevel(msg::SB_THUMBTRACK, 70);
    answers_ = {(folder_ / "beacon").string()};
    command(id::kMenuSaveWave);
    const RenderResult expected = renderPattern(state_.pattern, amplitudeForLevel(70.0f));
    const auto image = expected.sound.waveImage();
    EXPECT_TRUE(readFile(folder_ / "beacon.Wav") == std::string(image.begin(), image.end()));
    EXPECT_EQ(ui::windowGetTitle(window_), title);
    EXPECT_TRUE(playbackSound() == playing);

    answers_ = {(folder_ / "beacon").string()};
    command(id::kMenuSaveScript);
    EXPECT_EQ(readFile(folder_ / "beacon.scp"),
              std::string(5, 'X') + "8" + std::string(95, 'X') + "Q\r\n");
}

// The replace question names the file the command writes, and No keeps it.
TEST_F(MainWindowTest, ReplaceQuestionIsAskedForTheFinalName) {
    start();
    const fs::path existing = folder_ / "beacon.txt";
    std::ofstream(existing) << "old";
    for (const std::uint32_t reply : {msg::IDNO, msg::IDYES}) {
        boxes_.clear();
        replies_ = {reply};
        answers_ = {(folder_ / "beacon").string()};
        command(id::kMenuSavePattern);
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].text,
                  "\"" + existing.string() + "\" already exists.\r\nDo you want to replace it?");
        EXPECT_EQ(readFile(existing) == "old", reply == msg::IDNO);
    }
    // The next dialogs start at that file, with the extension of their command.
    std::vector<std::string> offered;
    ui::setFileDialogHook([&](const std::string&, std::string& name) {
        offered.push_back(name);
        return false;
    });
    command(id::kMenuSaveWave);
    command(id::kMenuOpen);
    EXPECT_EQ(offered,
              (std::vector<std::string>{(folder_ / "beacon.Wav").string(), existing.string()}));
}

// Reset, Open and leaving ask before unsaved work goes, and No keeps everything; saved work
// goes without a question.
TEST_F(MainWindowTest, UnsavedWorkIsAskedFor) {
    start();
    command(4000);                // nothing painted yet: no question
    EXPECT_EQ(boxes_.size(), 1u); // the start-up notice
    boxes_.clear();
    click(msg::WM_LBUTTONDOWN, 30, 18);
    const BeaconPattern painted = state_.pattern;
    replies_ = {msg::IDNO, msg::IDNO, msg::IDNO};
    command(4000);
    answers_ = {VESK_SOURCE_DIR "/examples/tone_ladder.txt"};
    command(id::kMenuOpen);
    EXPECT_EQ(send(msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0), 1);
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(boxes_[0].text, "Discard the changes to the pattern?");
    EXPECT_EQ(boxes_[0].style, msg::MB_YESNO | msg::MB_ICONQUESTION | msg::MB_DEFBUTTON2);
    EXPECT_TRUE(ui::windowExists(window_));
    EXPECT_EQ(state_.pattern.levelCode, painted.levelCode);
    EXPECT_EQ(captions_.size(), 0u); // no file dialog after No

    boxes_.clear();
    answers_ = {(folder_ / "kept").string()};
    command(id::kMenuSavePattern);
    EXPECT_EQ(send(msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0), 1);
    ui::processEvents();
    EXPECT_FALSE(ui::windowExists(window_));
    EXPECT_TRUE(boxes_.empty());
}

// Ctrl+Z and Ctrl+Y step through the edits and Resets, parameters and fields included.
TEST_F(MainWindowTest, EditsAndResetsUndoAndRedo) {
    start();
    command(1112);
    for (int slot = 0; slot < 150; ++slot) {
        click(msg::WM_LBUTTONDOWN, 6 * (slot % 101), 6 * (slot % 16 + 1));
    }
    const BeaconPattern painted = state_.pattern;
    command(4000); // Yes
    EXPECT_EQ(state_.pattern.toneIndex[0], 0.0f);
    ui::controlSetText(window_, 800, "250");
    command(801);
    command(id::kUndo); // the Reset: the pattern as it was, parameters and fields included
    EXPECT_EQ(state_.pattern.toneIndex, painted.toneIndex);
    EXPECT_EQ(state_.pattern.dotLength, 100);
    EXPECT_EQ(text(800), " 100");
    EXPECT_EQ(text(820), " 600");
    for (int step = 0; step < 150; ++step) {
        command(id::kUndo);
    }
    EXPECT_EQ(state_.pattern.levelCode, startPattern().levelCode);
    EXPECT_EQ(gridPixel(0, 6), ui::rgb(235, 235, 235));
    command(id::kUndo); // nothing left to take back
    for (int step = 0; step < 151; ++step) {
        command(id::kRedo);
    }
    EXPECT_EQ(state_.pattern.toneIndex, resetPattern().toneIndex);
    EXPECT_EQ(text(820), " 100");
    command(id::kUndo);
    EXPECT_EQ(state_.pattern.levelCode, painted.levelCode);
    EXPECT_EQ(gridPixel(600, 30), ui::rgb(128, 0, 255)); // slot 100, row 5
}

// While the pattern plays, a step that would change the parameters waits, with a beep.
TEST_F(MainWindowTest, UndoOfAResetWaitsWhilePlaying) {
    start();
    click(msg::WM_LBUTTONDOWN, 30, 18);
    startPlaying(); // its Reset is one step
    ASSERT_EQ(text(1002), "Turn Off");
    command(id::kUndo);
    EXPECT_EQ(state_.pattern.dotCount, 100);
    EXPECT_EQ(text(820), " 100");
    command(id::kTurnOnOff);
    ASSERT_TRUE(playUntil([this] { return !state_.sequencer->deviceOpen(); }));
    command(id::kUndo);
    EXPECT_EQ(state_.pattern.dotCount, 600);
    EXPECT_EQ(state_.pattern.toneIndex[5], 3.0f);
}

TEST_F(MainWindowTest, EscapeClosesAndWritesTheSettings) {
    start(3);
    EXPECT_TRUE(boxes_.empty()); // a port that opens needs no notice
    EXPECT_EQ(lines_.at(0), "open 3");
    lines_.clear(); // the port's own release at open says nothing about the way out
    state_.pttComport = 12;
    command(static_cast<std::int32_t>(msg::IDCANCEL));
    ui::processEvents();
    EXPECT_FALSE(ui::windowExists(window_));
    EXPECT_EQ(readFile(folder_ / kComportSettingsFile), " 12 \r\n");
    EXPECT_EQ(lines_, (std::vector<std::string>{"released", "close"}));
}

// The Help item and a size change are routed nowhere: no box, no dialog, no change.
TEST_F(MainWindowTest, HelpAndSizeChangeNothing) {
    start();
    click(msg::WM_LBUTTONDOWN, 30, 18);
    boxes_.clear();
    const BeaconPattern before = state_.pattern;
    const std::string title = ui::windowGetTitle(window_);
    command(id::kMenuHelp);
    send(msg::WM_SIZE, 0, 0);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(captions_.empty());
    EXPECT_EQ(ui::windowGetTitle(window_), title);
    EXPECT_EQ(state_.pattern.toneIndex, before.toneIndex);
    EXPECT_EQ(parameters(state_.pattern), parameters(before));
    EXPECT_TRUE(ui::windowExists(window_));
}

TEST_F(MainWindowTest, AboutShowsItsBoxAndTheCloseBoxEndsAnIdleWindowAtOnce) {
    start();
    boxes_.clear();
    command(id::kMenuAbout);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "About");
    EXPECT_EQ(send(msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0), 1); // the toolkit's default ends it
    ui::processEvents();
    EXPECT_FALSE(ui::windowExists(window_));
    EXPECT_EQ(readFile(folder_ / kComportSettingsFile), " 0 \r\n");
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
    play(4410);
    EXPECT_EQ(text(2501), "PTT ON");

    send(msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
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
    state_.ptt->pttOn();
    ui::processEvents();
    EXPECT_EQ(boxes_.size(), 1u);
    port_->refuseKeying = false;
    state_.ptt->pttOn();
    EXPECT_EQ(text(2501), "PTT ON");
    port_->refuseKeying = true;
    state_.ptt->pttOn();
    ui::processEvents();
    EXPECT_EQ(text(2501), "PTT OFF");
    EXPECT_EQ(boxes_.size(), 2u);
}

// The selection stops playback that runs, and starts none that does not.
TEST_F(MainWindowTest, SoundcardSelectionStopsPlaybackOnly) {
    start(3);
    for (const bool playing : {false, true}) {
        if (playing) {
            startPlaying();
            ASSERT_EQ(text(1002), "Turn Off");
            ASSERT_EQ(text(2501), "PTT ON");
        }
        bool sawDialog = false;
        QTimer::singleShot(0, [&] {
            sawDialog = state_.soundcardWindow != 0;
            ui::sendMessage(state_.soundcardWindow, msg::WM_COMMAND, soundcard_id::kOk, 0);
        });
        send(msg::WM_COMMAND, static_cast<std::uint32_t>(id::kMenuSelectSoundcard), 0);
        EXPECT_TRUE(sawDialog);
        EXPECT_EQ(text(1002), "Turn On") << playing;
        EXPECT_EQ(text(2501), "PTT OFF") << playing;
        EXPECT_EQ(state_.sequencer->state() == vesk::PlaybackState::Draining, playing);
        EXPECT_EQ(state_.sequencer->deviceOpen(), playing) << "only draining";
    }
}

// The PTT command holds back itself and Turn On/Off while its box is open; Accept keeps
// port 3, and the port is closed and opened again.
TEST_F(MainWindowTest, PttCommandHoldsBackItsCommandsAndReopensThePort) {
    start(3);
    lines_.clear();
    std::string enabledInBox;
    QTimer::singleShot(0, [&] {
        enabledInBox = std::to_string(ui::menuIsEnabled(window_, id::kMenuPtt)) +
                       std::to_string(ui::controlIsEnabled(window_, id::kTurnOnOff));
        ui::postMessage(state_.choice.choiceWindow, msg::WM_COMMAND, 254, 0);
    });
    command(id::kMenuPtt);
    EXPECT_EQ(enabledInBox, "00");
    EXPECT_TRUE(ui::menuIsEnabled(window_, id::kMenuPtt));
    EXPECT_TRUE(ui::controlIsEnabled(window_, id::kTurnOnOff));
    EXPECT_EQ(state_.pttComport, 3);
    EXPECT_EQ(lines_, (std::vector<std::string>{"close", "open 3", "released"}));
}

TEST_F(MainWindowTest, TimingIsChosenInItsBoxAndRefusedWhenItCannotBeKept) {
    start(3);
    // Typed answers in turn; each is followed by OK, the last by Cancel.
    const auto answer = [this](std::vector<std::pair<std::string, std::string>> typed) {
        std::function<void()> next = [this, &typed, &next] {
            const ui::Window box = state_.timingWindow;
            if (typed.empty()) {
                ui::postMessage(box, msg::WM_COMMAND, timing_id::kCancel, 0);
                return;
            }
            ui::controlSetText(box, timing_id::kEvery, typed.front().first);
            ui::controlSetText(box, timing_id::kOffset, typed.front().second);
            typed.erase(typed.begin());
            ui::sendMessage(box, msg::WM_COMMAND, timing_id::kOk, 0);
            if (ui::windowExists(box)) {
                QTimer::singleShot(0, [&next] { next(); });
            }
        };
        QTimer::singleShot(0, [&next] { next(); });
        command(id::kMenuTiming);
    };
    answer({{"7 minutes", "0"}, {"2 minutes", "120"}, {"ten", "0"}, {"10 minutes", "5"}});
    EXPECT_EQ(state_.sequencer->clockTiming(), (ClockTiming{10, 5}));
    ASSERT_EQ(boxes_.size(), 3u);
    for (const auto& box : boxes_) {
        EXPECT_EQ(box.caption, "Timing");
    }
    EXPECT_NE(boxes_[0].text.find("divide the day"), std::string::npos) << boxes_[0].text;
    EXPECT_NE(boxes_[1].text.find("less than the interval"), std::string::npos);
    answer({});
    EXPECT_EQ(state_.sequencer->clockTiming(), (ClockTiming{10, 5}));

    // Playing on the clock, the title names the next transmission; Turn Off takes it away.
    startPlaying();
    EXPECT_NE(ui::windowGetTitle(window_).find(" UTC]"), std::string::npos)
        << ui::windowGetTitle(window_);
    command(id::kTurnOnOff);
    EXPECT_EQ(ui::windowGetTitle(window_).find("[next"), std::string::npos);
    answer({{kRepeatIntervalChoice, "5"}});
    EXPECT_FALSE(state_.sequencer->clockTiming().onTheClock());

    // A WSPR pattern brings its two-minute grid along when no clock timing is chosen.
    const fs::path wspr = folder_ / "wspr.txt";
    ASSERT_TRUE(savePatternFile(wspr.string(),
                                beacon::makeWsprPattern({"K1ABC", "FN42", 37, 1500.0f}).pattern)
                    .ok());
    answers_ = {wspr.string()};
    command(id::kMenuOpen);
    EXPECT_EQ(state_.sequencer->clockTiming(), kWsprTiming);
}

// Each readout shows its whole text in the font the window has.
TEST_F(MainWindowTest, ReadoutsShowTheirWholeText) {
    start();
    scrollLevel(msg::SB_THUMBTRACK, 0);
    ASSERT_EQ(text(1004), "-100dB");
    auto* readout = qobject_cast<QLabel*>(ui::detail::controlWidget(window_, 1004));
    ASSERT_NE(readout, nullptr);
    EXPECT_GE(readout->contentsRect().width(),
              QFontMetrics(readout->font()).horizontalAdvance("-100dB"));
}

// A settings file that cannot be read is reported before the window shows and left alone.
TEST_F(MainWindowTest, UnreadableSettingsFileIsReportedAndLeftAlone) {
    const fs::path settings = folder_ / kComportSettingsFile;
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    loadSettings(state_, folder_.string());
    start();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, "Cannot read \"" + settings.string() +
                                  "\": not a regular file but a pipe\r\nThe file is left as it "
                                  "is: the PTT port chosen now is not saved.");
    command(static_cast<std::int32_t>(msg::IDCANCEL));
    ui::processEvents();
    EXPECT_FALSE(ui::windowExists(window_));
    EXPECT_TRUE(fs::is_fifo(settings));
}

// The PTT box goes with the main window, and the port stays closed after the window ended.
TEST_F(MainWindowTest, PttBoxClosesWithTheMainWindow) {
    start(3);
    lines_.clear();
    bool boxSeen = false, boxOutlived = false;
    QObject guard; // the timers go with the test
    QTimer::singleShot(0, &guard, [&] {
        boxSeen = state_.choice.choiceWindow != 0;
        send(msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
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

void keyEvent(QWidget* widget, QEvent::Type type, bool autoRepeat = false) {
    QKeyEvent event(type, Qt::Key_Return, Qt::NoModifier, "\r", autoRepeat);
    QApplication::sendEvent(widget, &event);
}

// Return closes the start-up notice and goes no further: its repeats and release do not
// reach the window, whose focus rests where Return does no harm. Return in a field applies it.
TEST_F(MainWindowTest, ReturnThatClosesTheNoticeStaysThere) {
    prepare();
    int resets = 0;
    const ui::Handler handler = mainWindowHandler(state_);
    bool ran = false;
    QObject guard;                  // the timers go with the test
    ui::setMessageBoxResponder({}); // a real box this time
    whenShown<QMessageBox>(
        [&](QMessageBox* box) {
            ran = true;
            keyEvent(box->focusWidget() ? box->focusWidget() : box, QEvent::KeyPress);
            QTimer::singleShot(20, &guard, [&] {
                EXPECT_EQ(ui::controlFocused(window_), 1111);
                ui::controlSetFocus(window_, id::kReset); // the worst place for a stray Return
                QWidget* reset = ui::detail::controlWidget(window_, id::kReset);
                keyEvent(reset, QEvent::KeyPress, true);
                keyEvent(reset, QEvent::KeyRelease);
                click(msg::WM_LBUTTONDOWN, 30, 48);
                ui::controlSetFocus(window_, id::kDotLengthField);
                ui::controlSetText(window_, id::kDotLengthField, "250");
                QWidget* field = ui::detail::controlWidget(window_, id::kDotLengthField);
                keyEvent(field, QEvent::KeyPress);
                keyEvent(field, QEvent::KeyRelease);
                ui::processEvents();
                resets = state_.pattern.dotCount == 100 ? 1 : 0;
                ui::dialogEnd(window_, 0);
            });
        },
        &guard);
    QTimer::singleShot(5000, &guard, [&] { // fails instead of hanging
        if (ui::windowExists(window_)) {
            ui::detail::closeMessageBoxes();
            ui::dialogEnd(window_, 0);
        }
    });
    ui::dialogShowModal(window_, handler, nullptr);
    EXPECT_TRUE(ran);
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(state_.pattern.toneIndex[5], 8.0f);
    EXPECT_EQ(state_.pattern.dotLength, 250);
}

} // namespace
} // namespace vesk
