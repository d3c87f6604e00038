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

// A main window with the Turn On/Off button; clicking "Turn Off" stops the stand-in's
// playback unless `stuck_` keeps it playing. `events_` records clicks, message boxes and the
// moment the dialog is seen open.
class SoundcardSelection : public ::testing::Test {
protected:
    void SetUp() override {
        main_ = ui::dialogNew(ui::Units::Pixels, 0, "Stand-in", 20, 20, 400, 260, 0, 0);
        ui::controlAdd(main_, ui::kButton, "", 1002, "Turn On", nullptr, 10, 10, 90, 24, 0, 0);
        ui::dialogShowModeless(
            main_,
            [this](ui::Window window, std::uint32_t message, std::uint32_t wParam,
                   std::int32_t) -> std::int32_t {
                if (message == msg::WM_COMMAND && msg::loWord(wParam) == 1002) {
                    events_.push_back("click " + ui::controlGetText(window, 1002));
                    ui::controlSetText(window, 1002, stuck_ ? "Turn Off" : "Turn On");
                }
                return 0;
            });
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
        selectSoundcard(main_, index, names, &dialog);
        EXPECT_EQ(dialog, 0);
        EXPECT_TRUE(ui::controlIsEnabled(main_, ui::kDialogItself));
    }

    ui::Window main_ = 0;
    bool stuck_ = false;
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
        EXPECT_EQ(events_, Events{"open"}) << "nothing clicked, no message";
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
    EXPECT_EQ(events_, (Events{"Warning: You have no audio output devices!", "open"}));
    EXPECT_EQ(index, -1);
}

TEST_F(SoundcardSelection, PlaybackIsStoppedOnOpeningAndAgainOnOk) {
    for (const bool stuck : {false, true}) {
        stuck_ = stuck;
        ui::controlSetText(main_, 1002, "Turn Off");
        std::int32_t index = 0;
        select(index, kThree, 1, false);
        Events expected = {"click Turn Off", "open"};
        if (stuck) {
            expected.push_back("click Turn Off"); // still playing at OK: stopped again
        }
        EXPECT_EQ(events_, expected);
        EXPECT_EQ(index, 1);
    }
}

} // namespace
} // namespace vesk
