// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/gui/main_window_fixture.h"
#include "tone/render.h"

#include <fstream>

namespace vesk {
namespace {

TEST_F(MainWindowTest, SaveAndLoadThroughTheFileDialogs) {
    start();
    command(1115);
    click(msg::WM_LBUTTONDOWN, 12, 18); // slot 2, row 3, -24 dB
    answers_ = {(folder_ / "night.v2.dat").string()};
    command(id::kMenuSavePattern);
    const fs::path saved = folder_ / "night.txt";
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(readFile(saved), patternFileText(state_.document.pattern()));
    EXPECT_EQ(title(), std::string(kTitlePrefix) + "night.txt") << "the title names the file saved";

    command(4000); // clear, then load back with the grid scrolled away: it shows slot 0 again
    send(msg::WM_HSCROLL, msg::makeWParam(msg::SB_THUMBTRACK, 100),
         ui::controlHandle(window_, kMoveWindowId));
    answers_ = {saved.string()};
    command(id::kMenuOpen);
    EXPECT_EQ(state_.gridScroll, kGridScrollOrigin);
    EXPECT_EQ(ui::scrollGetPos(window_, kMoveWindowId), kGridScrollOrigin);
    EXPECT_EQ(ui::controlGeometry(window_, kPatternGridId).x, 0);
    EXPECT_EQ(state_.document.pattern().dotCount, 600);
    EXPECT_EQ(state_.document.pattern().toneIndex[2], 3.0f);
    EXPECT_EQ(state_.document.pattern().levelCode[2], 16.0f);
    EXPECT_EQ(title(), std::string(kTitlePrefix) + "night.txt");
    EXPECT_EQ(title(),
              "VESK Controller v1.09" + std::string(21, ' ') + "Message pattern file: night.txt");
    EXPECT_EQ(text(820), " 600");
    EXPECT_EQ(gridPixel(12, 18), ui::rgb(255, 128, 0));
    EXPECT_FALSE(state_.session->direct().sound().empty());

    // Cancelling the open dialog ends the command: nothing is loaded again.
    command(4000);
    command(id::kMenuOpen);
    EXPECT_EQ(state_.document.pattern().dotCount, 100);
}

TEST_F(MainWindowTest, FileFailuresAreReportedWithTheName) {
    start();
    boxes_.clear();
    answers_ = {(folder_ / "missing.txt").string()};
    command(id::kMenuOpen);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("missing.txt"), std::string::npos);
    EXPECT_EQ(state_.document.patternFileName(), "");
    EXPECT_EQ(state_.document.pattern().dotCount, 600);

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
    EXPECT_EQ(title(), kMainCaption);

    answers_ = {VESK_SOURCE_DIR "/examples/tone_ladder.txt"};
    command(id::kMenuOpen); // renders the ladder for playback
    // What playback reads: its length and its first second.
    const auto playbackSound = [this] {
        std::vector<std::int16_t> samples(44100);
        state_.session->direct().sound().copySamples(0, samples.data(), 44100);
        samples.push_back(
            static_cast<std::int16_t>(state_.session->direct().sound().sampleCount()));
        return samples;
    };
    const std::vector<std::int16_t> playing = playbackSound();
    const std::string shown = title();
    command(4000);
    click(msg::WM_LBUTTONDOWN, 30, 48);
    scrollLevel(msg::SB_THUMBTRACK, 70);
    answers_ = {(folder_ / "beacon").string()};
    command(id::kMenuSaveWave);
    const RenderedSound expected =
        renderPattern(state_.document.pattern(), amplitudeForLevel(70.0f)).value();
    const auto image = expected.waveImage();
    EXPECT_TRUE(readFile(folder_ / "beacon.Wav") == std::string(image.begin(), image.end()));
    EXPECT_EQ(title(), shown);
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
    const BeaconPattern painted = state_.document.pattern();
    replies_ = {msg::IDNO, msg::IDNO, msg::IDNO};
    command(4000);
    answers_ = {VESK_SOURCE_DIR "/examples/tone_ladder.txt"};
    command(id::kMenuOpen);
    EXPECT_EQ(closeBox(), 1);
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(boxes_[0].text, "Discard the changes to the pattern?");
    EXPECT_EQ(boxes_[0].style, msg::MB_YESNO | msg::MB_ICONQUESTION | msg::MB_DEFBUTTON2);
    EXPECT_TRUE(ui::windowExists(window_));
    EXPECT_EQ(state_.document.pattern().levelCode, painted.levelCode);
    EXPECT_EQ(captions_.size(), 0u); // no file dialog after No

    boxes_.clear();
    answers_ = {(folder_ / "kept").string()};
    command(id::kMenuSavePattern);
    EXPECT_EQ(closeBox(), 1);
    ui::processEvents();
    EXPECT_FALSE(ui::windowExists(window_));
    EXPECT_TRUE(boxes_.empty());
}

} // namespace
} // namespace vesk
