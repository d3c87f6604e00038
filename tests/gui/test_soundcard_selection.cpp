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
    // `pick` (unless -2) and ends with OK, or with the close box when `closeBox`.
    void select(std::int32_t& index, const Names& names, std::int32_t pick, bool closeBox) {
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
            ui::postMessage(dialog, closeBox ? msg::WM_SYSCOMMAND : msg::WM_COMMAND,
                            closeBox ? msg::SC_CLOSE : soundcard_id::kOk, 0);
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

TEST_F(SoundcardSelection, StoredIndexAndOutcome) {
    // pick -2 selects nothing; the close box keeps the stored index.
    const struct {
        std::int32_t before, pick;
        bool closeBox;
        std::int32_t selectedAtOpen, after;
    } cases[] = {{0, 2, false, 0, 2},
                 {1, -2, false, 1, 1},
                 {3, -2, false, -1, -1},
                 {-1, -2, false, -1, -1},
                 {1, 2, true, 1, 1}};
    for (const auto& c : cases) {
        std::int32_t index = c.before;
        select(index, kThree, c.pick, c.closeBox);
        EXPECT_EQ(selectedAtOpen_, c.selectedAtOpen) << c.before;
        EXPECT_EQ(index, c.after) << c.before;
        EXPECT_FALSE(ownerEnabled_);
        EXPECT_EQ(shown_, kThree);
        // Playback is stopped as the dialog opens and again on OK.
        EXPECT_EQ(events_, (c.closeBox ? Events{"stop", "open"} : Events{"stop", "open", "stop"}))
            << c.before;
    }
    // An unnamed device keeps a line of its own, so entry i stays device i.
    std::int32_t index = 0;
    select(index, {"First", "", "Third"}, 2, false);
    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(shown_[2], "Third");
    EXPECT_FALSE(shown_[1].empty());
    EXPECT_EQ(index, 2);
}

TEST_F(SoundcardSelection, NoDevicesWarnsBeforeShowingAndOkStoresMinusOne) {
    std::int32_t index = 0;
    select(index, {}, -2, false);
    EXPECT_EQ(events_,
              (Events{"stop", "Warning: You have no audio output devices!", "open", "stop"}));
    EXPECT_EQ(index, -1);
}

} // namespace
} // namespace vesk
