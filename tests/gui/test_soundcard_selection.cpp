// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/soundcard_selection.h"

#include "ui/messages.h"
#include "ui/toolkit.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk {
namespace {

using Names = std::vector<std::string>;
using Events = std::vector<std::string>;
const Names kThree = {"Built-in Audio", "USB Audio CODEC", "HDMI 2"};

// A stand-in main window that owns the dialog. `events_` records the calls of the stop hook,
// message boxes and the moment the dialog is seen open.
class SoundcardSelection : public ::testing::Test {
protected:
    void SetUp() override {
        main_ = ui::dialogNew(ui::Units::Pixels, 0, "Stand-in", 20, 20, 400, 260, 0, 0);
        ui::dialogShowModeless(main_,
                               [](ui::Window, std::uint32_t, std::uint32_t,
                                  std::int32_t) -> std::int32_t { return 0; });
        ui::setMessageBoxRecorder([this](const ui::MessageBoxRecord& record) {
            events_.push_back(record.caption + ": " + record.text);
            EXPECT_EQ(record.style, msg::MB_OK | msg::MB_ICONWARNING);
        });
    }
    void TearDown() override {
        ui::setMessageBoxRecorder(nullptr);
        ui::dialogEnd(main_, 0);
        ui::processEvents();
    }

    // Runs the selection afresh: notes the entries and the selection as opened, then selects
    // entry `pick` (unless -2) and ends with the command `end` (OK, Cancel), or with the close
    // box when `end` is 0.
    void select(std::int32_t& index, const Names& names, std::int32_t pick, std::uint32_t end) {
        ui::Window dialog = 0;
        events_.clear();
        shown_.clear();
        QTimer::singleShot(0, [&] {
            events_.push_back("open");
            for (std::int32_t i = 0; i < ui::comboCount(dialog, soundcard_id::kDeviceList); ++i) {
                shown_.push_back(ui::comboGetText(dialog, soundcard_id::kDeviceList, i));
            }
            selectedAtOpen_ = ui::comboSelection(dialog, soundcard_id::kDeviceList);
            ownerEnabled_ = ui::controlIsEnabled(main_, ui::kDialogItself);
            if (pick != -2) {
                ui::comboSelect(dialog, soundcard_id::kDeviceList, pick);
            }
            ui::postMessage(dialog, end == 0 ? msg::WM_SYSCOMMAND : msg::WM_COMMAND,
                            end == 0 ? msg::SC_CLOSE : end, 0);
        });
        selectSoundcard(
            main_, index, names, [this] { events_.push_back("stop"); }, &dialog);
        EXPECT_EQ(dialog, 0);
        EXPECT_TRUE(ui::controlIsEnabled(main_, ui::kDialogItself));
    }

    ui::Window main_ = 0;
    Events events_;
    Names shown_;
    std::int32_t selectedAtOpen_ = 99;
    bool ownerEnabled_ = true;
};

// The list opens at the output in use, the system default first; only OK with another entry
// changes it (and stops playback). Pick -2 selects nothing.
TEST_F(SoundcardSelection, OpensAtTheOutputInUseAndOnlyOkChangesIt) {
    constexpr std::uint32_t kOk = soundcard_id::kOk, kCancel = soundcard_id::kCancel;
    const struct {
        std::int32_t before, pick;
        std::uint32_t end;
        std::int32_t selectedAtOpen, after;
    } cases[] = {{0, 3, kOk, 1, 2},  {-1, -2, kOk, 0, -1},   {2, 0, kOk, 3, -1},
                 {1, -2, kOk, 2, 1}, {3, -2, kOk, -1, 3},    {1, 3, kCancel, 2, 1},
                 {1, 3, 0, 2, 1},    {-1, 2, kCancel, 0, -1}};
    const Names shown = {kSystemDefaultEntry, kThree[0], kThree[1], kThree[2]};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before << " pick " << c.pick << " end " << c.end);
        std::int32_t index = c.before;
        select(index, kThree, c.pick, c.end);
        EXPECT_EQ(selectedAtOpen_, c.selectedAtOpen);
        EXPECT_EQ(index, c.after);
        EXPECT_FALSE(ownerEnabled_);
        EXPECT_EQ(shown_, shown);
        EXPECT_EQ(events_, (c.after != c.before ? Events{"open", "stop"} : Events{"open"}));
    }
    // An unnamed device keeps a line of its own, so entry i + 1 stays device i.
    std::int32_t index = 0;
    select(index, {"First", "", "Third"}, 3, kOk);
    ASSERT_EQ(shown_.size(), 4u);
    EXPECT_EQ(shown_[3], "Third");
    EXPECT_FALSE(shown_[2].empty());
    EXPECT_EQ(index, 2);
}

TEST_F(SoundcardSelection, NoDevicesWarnsBeforeShowingAndTheDefaultStays) {
    std::int32_t index = -1;
    select(index, {}, -2, soundcard_id::kOk);
    EXPECT_EQ(events_, (Events{"Warning: You have no audio output devices!", "open"}));
    EXPECT_EQ(shown_, Names{kSystemDefaultEntry});
    EXPECT_EQ(index, -1);
}

} // namespace
} // namespace vesk
