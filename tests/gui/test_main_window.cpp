// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/parameter_fields.h"
#include "tests/gui/main_window_fixture.h"
#include "tests/gui/shown_windows.h"
#include "tone/render.h"
#include "ui/toolkit_detail.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <array>
#include <sys/stat.h>

namespace vesk {
namespace {

// The five parameters in the order of their fields.
std::array<double, 5> parameters(const BeaconPattern& p) {
    return {static_cast<double>(p.dotLength), static_cast<double>(p.dotCount),
            static_cast<double>(p.frequencySpacing), static_cast<double>(p.centreFrequency),
            static_cast<double>(p.repeatDots)};
}

TEST_F(MainWindowTest, StartsWithTheStartValuesAndTheNoPortNotice) {
    start();
    EXPECT_EQ(title(), kMainCaption);
    EXPECT_EQ(title(), "VESK Controller v1.09 (wave file version)");
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
    // The longest level text fits its readout in the window's font.
    auto* readout = qobject_cast<QLabel*>(ui::detail::controlWidget(window_, 1004));
    ASSERT_NE(readout, nullptr);
    EXPECT_GE(readout->contentsRect().width(),
              QFontMetrics(readout->font()).horizontalAdvance("-100dB"));

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
    EXPECT_EQ(state_.document.pattern().toneIndex[5], 3.0f);
    EXPECT_EQ(state_.document.pattern().levelCode[5], 4.0f);
    EXPECT_EQ(gridPixel(30, 18), ui::rgb(1, 128, 0));

    command(1112);
    click(msg::WM_LBUTTONDOWN, 31, 60); // same slot, row 10: the old square goes
    EXPECT_EQ(state_.document.pattern().toneIndex[5], 10.0f);
    EXPECT_EQ(state_.document.pattern().levelCode[5], 2.0f);
    EXPECT_EQ(gridPixel(30, 18), ui::rgb(255, 255, 255));
    EXPECT_EQ(gridPixel(30, 60), ui::rgb(128, 0, 255));

    for (const std::int32_t y : {-1, 100, 161, 200}) { // outside the grid nothing is erased
        click(msg::WM_RBUTTONDOWN, 30, y);
        EXPECT_EQ(state_.document.pattern().toneIndex[5], 10.0f) << y;
    }
    click(msg::WM_RBUTTONDOWN, 30, 99); // any height within the grid erases
    EXPECT_EQ(state_.document.pattern().toneIndex[5], 0.0f);
    EXPECT_EQ(state_.document.pattern().levelCode[5], 0.0f);
    EXPECT_EQ(gridPixel(30, 60), ui::rgb(255, 255, 255));

    click(msg::WM_LBUTTONDOWN, 30, 48); // an erased slot takes a new dot
    EXPECT_EQ(state_.document.pattern().toneIndex[5], 8.0f);

    // Rows outside 1..16 and slots outside 0..600 change nothing.
    const BeaconPattern before = state_.document.pattern();
    click(msg::WM_LBUTTONDOWN, 60, 2);
    click(msg::WM_LBUTTONDOWN, 60, 102);
    send(msg::WM_HSCROLL, msg::makeWParam(msg::SB_THUMBTRACK, 3604),
         ui::controlHandle(window_, kMoveWindowId)); // grid 604 px right: x 0 is slot -101
    click(msg::WM_LBUTTONDOWN, 0, 48);
    click(msg::WM_RBUTTONDOWN, 0, 48);
    EXPECT_EQ(state_.document.pattern().toneIndex, before.toneIndex);
    EXPECT_EQ(state_.document.pattern().levelCode, before.levelCode);
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

    // Keys and clicks on the track move the thumb by themselves: the grid follows it too.
    auto* slider = static_cast<QAbstractSlider*>(ui::detail::controlWidget(window_, kMoveWindowId));
    for (const auto action :
         {QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderSingleStepAdd,
          QAbstractSlider::SliderToMaximum, QAbstractSlider::SliderPageStepSub}) {
        slider->triggerAction(action);
        EXPECT_EQ(state_.gridScroll, slider->value()) << action;
        EXPECT_EQ(ui::controlGeometry(window_, 500).x, slider->value() - 3000) << action;
        EXPECT_EQ(ui::controlGeometry(window_, 501).x, slider->value() - 3000) << action;
    }
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
        const BeaconPattern before = state_.document.pattern();
        ui::controlSetText(window_, c.field, c.typed);
        command(c.apply);
        const std::int32_t fields[] = {800, 820, 900, 910, 995};
        const auto now = parameters(state_.document.pattern()), old = parameters(before);
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(now[i], fields[i] == c.field ? c.value : old[i])
                << c.typed << " in " << c.field << ", field " << fields[i];
        }
        EXPECT_EQ(text(c.field), c.shown) << c.typed;
    }
}

// A text that is no number, or a frequency that puts a tone row outside 0..20 000 Hz, is
// refused by the field's name with the values it takes; the field shows the value in use
// again. Each case starts from 1000 Hz and 10 Hz.
TEST_F(MainWindowTest, FieldsRefuseWhatIsNoNumberOrLeavesTheTones) {
    const std::string centreRule = "With the frequency spacing at 10 Hz it may be 80 to 19930 "
                                   "Hz, so that every tone row lies within 0 to 20000 Hz.";
    const struct {
        std::int32_t field, apply;
        const char* typed;
        std::string refusal; // "" when taken
        const char* shown;
        double value;
    } cases[] = {
        {910, 911, "abc", "Centre frequency (Hz): \"abc\" is not a number.\r\n" + centreRule,
         " 1000", 1000},
        {910, 911, "30000",
         "Centre frequency (Hz): 30000: tone row 1 would be at 30070 Hz, outside 0 to 20000 "
         "Hz.\r\n" +
             centreRule,
         " 1000", 1000},
        {910, 911, "19930", "", "19930", 19930},
        {900, 901, " 126 ",
         "Freq spacing (Hz): 126: tone row 16 would be at -8 Hz, outside 0 to 20000 Hz.\r\nWith "
         "the centre frequency at 1000 Hz it may be -142.85 to 125 Hz, so that every tone row "
         "lies within 0 to 20000 Hz.",
         " 10", 10},
        {900, 901, "-142.85", "", "-142.85", static_cast<double>(-142.85f)},
        {800, 801, "", "Dot length (ms): \"\" is not a number.\r\nIt may be 1 ms or more.", " 100",
         100},
        {820, 821, "12abc", "Number of dots: \"12abc\" is not a number.\r\nIt may be 0 to 600.",
         " 600", 600},
    };
    start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        state_.document.setParameter(&BeaconPattern::centreFrequency, 1000.0f);
        state_.document.setParameter(&BeaconPattern::frequencySpacing, 10.0f);
        showParameters(state_);
        boxes_.clear();
        ui::controlSetText(window_, c.field, c.typed);
        command(c.apply);
        ASSERT_EQ(boxes_.size(), c.refusal.empty() ? 0u : 1u);
        if (!c.refusal.empty()) {
            EXPECT_EQ(boxes_[0].text, c.refusal);
            EXPECT_EQ(boxes_[0].caption, "Parameters");
        }
        const std::int32_t fields[] = {800, 820, 900, 910, 995};
        const auto now = parameters(state_.document.pattern());
        const auto at = std::find(std::begin(fields), std::end(fields), c.field) - fields;
        EXPECT_EQ(now[static_cast<std::size_t>(at)], c.value);
        EXPECT_EQ(text(c.field), c.shown);
    }
}

// Return in a field applies it; Reset sets pattern and parameters but not the level.
TEST_F(MainWindowTest, ReturnAppliesTheFocusedFieldAndResetSetsTheResetPattern) {
    start();
    ui::controlSetFocus(window_, 995);
    ui::controlSetText(window_, 995, "250");
    command(static_cast<std::int32_t>(msg::IDOK));
    EXPECT_EQ(state_.document.pattern().repeatDots, 250);
    ui::controlSetFocus(window_, id::kReset);
    command(static_cast<std::int32_t>(msg::IDOK));
    EXPECT_EQ(state_.document.pattern().dotCount, 600) << "Return on a button does nothing";

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
    EXPECT_TRUE(samePatternWork(state_.document.pattern(), reset));
    EXPECT_EQ(state_.outputLevel, 70.0f);
    EXPECT_EQ(gridPixel(30, 48), ui::rgb(255, 255, 255));
}

// Ctrl+Z and Ctrl+Y step through the edits and Resets, parameters and fields included.
TEST_F(MainWindowTest, EditsAndResetsUndoAndRedo) {
    start();
    command(1112);
    for (int slot = 0; slot < 150; ++slot) {
        click(msg::WM_LBUTTONDOWN, 6 * (slot % 101), 6 * (slot % 16 + 1));
    }
    const BeaconPattern painted = state_.document.pattern();
    command(4000); // Yes
    EXPECT_EQ(state_.document.pattern().toneIndex[0], 0.0f);
    ui::controlSetText(window_, 800, "250");
    command(801);
    command(id::kUndo); // the Reset: the pattern as it was, parameters and fields included
    EXPECT_EQ(state_.document.pattern().toneIndex, painted.toneIndex);
    EXPECT_EQ(state_.document.pattern().dotLength, 100);
    EXPECT_EQ(text(800), " 100");
    EXPECT_EQ(text(820), " 600");
    for (int step = 0; step < 150; ++step) {
        command(id::kUndo);
    }
    EXPECT_EQ(state_.document.pattern().levelCode, startPattern().levelCode);
    EXPECT_EQ(gridPixel(0, 6), ui::rgb(235, 235, 235));
    command(id::kUndo); // nothing left to take back
    for (int step = 0; step < 151; ++step) {
        command(id::kRedo);
    }
    EXPECT_EQ(state_.document.pattern().toneIndex, resetPattern().toneIndex);
    EXPECT_EQ(text(820), " 100");
    command(id::kUndo);
    EXPECT_EQ(state_.document.pattern().levelCode, painted.levelCode);
    EXPECT_EQ(gridPixel(600, 30), ui::rgb(128, 0, 255)); // slot 100, row 5
}

// The Help item and a size change are routed nowhere: no box, no dialog, no change.
TEST_F(MainWindowTest, HelpAndSizeChangeNothingAndAboutShowsItsBox) {
    start();
    click(msg::WM_LBUTTONDOWN, 30, 18);
    boxes_.clear();
    const BeaconPattern before = state_.document.pattern();
    const std::string shown = title();
    command(id::kMenuHelp);
    send(msg::WM_SIZE, 0, 0);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(captions_.empty());
    EXPECT_EQ(title(), shown);
    EXPECT_EQ(state_.document.pattern().toneIndex, before.toneIndex);
    EXPECT_EQ(parameters(state_.document.pattern()), parameters(before));
    command(id::kMenuAbout);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "About");
    EXPECT_EQ(boxes_[0].text, "VESK Controller Version 1.09");
}

TEST_F(MainWindowTest, EscapeClosesAndWritesTheSettings) {
    start(3);
    EXPECT_TRUE(boxes_.empty()); // a port that opens needs no notice
    EXPECT_EQ(lines_.at(0), "open 3");
    lines_.clear(); // the port's own release at open says nothing about the way out
    state_.settings.setPttComport(12);
    command(static_cast<std::int32_t>(msg::IDCANCEL));
    ui::processEvents();
    EXPECT_FALSE(ui::windowExists(window_));
    EXPECT_EQ(readFile(folder_ / kComportSettingsFile), " 12 \r\n");
    EXPECT_EQ(lines_, (std::vector<std::string>{"released", "close"}));
}

// A settings file that cannot be read is reported before the window shows, ahead of the
// no-port notice; the store leaves the file alone (its own tests).
TEST_F(MainWindowTest, UnreadableSettingsFileIsReported) {
    const fs::path settings = folder_ / kComportSettingsFile;
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    loadSettings(state_, folder_.string());
    start();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, "Cannot read \"" + settings.string() +
                                  "\": not a regular file but a pipe\r\nThe file is left as it "
                                  "is: the PTT port chosen now is not saved.");
    EXPECT_EQ(boxes_[0].caption, "Comport");
}

void keyEvent(QWidget* widget, QEvent::Type type, bool autoRepeat = false) {
    QKeyEvent event(type, Qt::Key_Return, Qt::NoModifier, "\r", autoRepeat);
    QApplication::sendEvent(widget, &event);
}

// Return closes the start-up notice and goes no further: its repeats and release do not
// reach the window, whose focus rests where Return does no harm. Return in a field applies it.
TEST_F(MainWindowTest, ReturnThatClosesTheNoticeStaysThere) {
    prepare();
    QObject guard;                  // the timers go with the test
    ui::setMessageBoxResponder({}); // a real box this time
    whenShown<QMessageBox>(
        [&](QMessageBox* box) {
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
    ui::dialogShowModal(window_, mainWindowHandler(state_), nullptr);
    EXPECT_EQ(state_.document.pattern().dotCount, 600) << "a stray Return reset the pattern";
    EXPECT_EQ(state_.document.pattern().toneIndex[5], 8.0f);
    EXPECT_EQ(state_.document.pattern().dotLength, 250);
}

} // namespace
} // namespace vesk
