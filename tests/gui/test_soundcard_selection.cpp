#include "devices/soundcard_selection.h"

#include "ui/messages.h"
#include "ui/toolkit.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk {
namespace {

constexpr std::int32_t kTurnOnOff = 1002;

// A main window with the Turn On/Off button. While "playing" a click turns it back to
// "Turn On" the way the real handler does, unless `stuck` keeps it playing.
class SoundcardSelection : public ::testing::Test {
protected:
    void SetUp() override {
        main_ = ui::dialogNew(ui::Units::Pixels, 0, "Stand-in main window", 20, 20, 400, 260, 0, 0);
        ui::controlAdd(main_, ui::kButton, "", kTurnOnOff, "Turn On", nullptr, 10, 10, 90, 24, 0,
                       0);
        ui::dialogShowModeless(
            main_,
            [this](ui::Window window, std::uint32_t message, std::uint32_t wParam,
                   std::int32_t) -> std::int32_t {
                if (message == msg::WM_COMMAND && msg::loWord(wParam) == kTurnOnOff) {
                    events_.push_back("click " + ui::controlGetText(window, kTurnOnOff));
                    if (!stuck_) {
                        ui::controlSetText(window, kTurnOnOff, "Turn On");
                    }
                }
                return 0;
            });
        ui::setMessageBoxRecorder([this](const ui::MessageBoxRecord& record) {
            boxes_.push_back(record);
            events_.push_back("message box");
        });
        ui::processEvents();
    }

    void TearDown() override {
        ui::setMessageBoxRecorder(nullptr);
        if (ui::windowExists(main_)) {
            ui::dialogEnd(main_, 0);
        }
        ui::processEvents();
    }

    // Runs the selection; `operate` gets the dialog once it is open and acts as the operator.
    void select(std::int32_t& index, const std::vector<std::string>& names,
                const std::function<void(ui::Window dialog)>& operate) {
        bool stillOpen = false;
        ui::Window dialog = 0;
        QTimer::singleShot(0, [&] {
            dialog = window_;
            events_.push_back("open");
            operate(dialog);
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            stillOpen = true;
            ui::dialogEnd(dialog, 0);
        });
        watchdog.start(10000);
        selectSoundcard(main_, index, names, &window_);
        EXPECT_EQ(window_, 0);
        EXPECT_FALSE(stillOpen) << "the dialog did not end";
        EXPECT_FALSE(ui::windowExists(dialog));
    }

    static void clickOk(ui::Window dialog) {
        ui::postMessage(dialog, msg::WM_COMMAND, soundcard_id::kOk,
                        ui::controlHandle(dialog, soundcard_id::kOk));
    }

    ui::Window main_ = 0;
    ui::Window window_ = 0;
    bool stuck_ = false;
    std::vector<std::string> events_;
    std::vector<ui::MessageBoxRecord> boxes_;
};

const std::vector<std::string> kThree = {"Built-in Audio", "USB Audio CODEC", "HDMI 2"};

TEST_F(SoundcardSelection, ListsTheDevicesInOrderAndStoresThePick) {
    std::int32_t index = 0;
    std::vector<std::string> shown;
    std::int32_t selected = -1;
    bool mainEnabled = true;
    select(index, kThree, [&](ui::Window dialog) {
        ASSERT_NE(dialog, 0);
        for (std::int32_t i = 0; i < ui::comboCount(dialog, soundcard_id::kDeviceList); ++i) {
            shown.push_back(ui::comboGetText(dialog, soundcard_id::kDeviceList, i));
        }
        selected = ui::comboSelection(dialog, soundcard_id::kDeviceList);
        mainEnabled = ui::controlIsEnabled(main_, ui::kDialogItself);
        ui::comboSelect(dialog, soundcard_id::kDeviceList, 2);
        clickOk(dialog);
    });
    EXPECT_EQ(shown, kThree);
    EXPECT_EQ(selected, 0);
    EXPECT_FALSE(mainEnabled) << "the owner is disabled while the selection is open";
    EXPECT_TRUE(ui::controlIsEnabled(main_, ui::kDialogItself));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(events_, std::vector<std::string>{"open"}) << "nothing clicked while stopped";
}

TEST_F(SoundcardSelection, SelectionFollowsTheStoredIndex) {
    const struct {
        std::int32_t index;
        std::int32_t selected; // what the list shows, and what OK stores back
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, -1}, {-1, -1}, {1000, -1}};
    for (const auto& c : cases) {
        std::int32_t index = c.index;
        std::int32_t selected = 99;
        select(index, kThree, [&](ui::Window dialog) {
            selected = ui::comboSelection(dialog, soundcard_id::kDeviceList);
            clickOk(dialog);
        });
        EXPECT_EQ(selected, c.selected) << c.index;
        EXPECT_EQ(index, c.selected) << c.index;
    }
}

TEST_F(SoundcardSelection, CloseBoxLeavesTheIndex) {
    std::int32_t index = 1;
    select(index, kThree, [&](ui::Window dialog) {
        ui::comboSelect(dialog, soundcard_id::kDeviceList, 2);
        ui::postMessage(dialog, msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
    });
    EXPECT_EQ(index, 1);
}

TEST_F(SoundcardSelection, NoDevicesWarnsAndOkStoresMinusOne) {
    std::int32_t index = 0;
    std::int32_t count = -1;
    select(index, {}, [&](ui::Window dialog) {
        count = ui::comboCount(dialog, soundcard_id::kDeviceList);
        clickOk(dialog);
    });
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "You have no audio output devices!");
    EXPECT_EQ(boxes_[0].caption, "Warning");
    EXPECT_EQ(boxes_[0].style, msg::MB_OK | msg::MB_ICONWARNING);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(events_, (std::vector<std::string>{"message box", "open"}))
        << "the warning comes before the dialog shows";
}

TEST_F(SoundcardSelection, UnnamedDeviceKeepsItsPlace) {
    std::int32_t index = 0;
    std::vector<std::string> shown;
    select(index, {"First", "", "Third"}, [&](ui::Window dialog) {
        for (std::int32_t i = 0; i < ui::comboCount(dialog, soundcard_id::kDeviceList); ++i) {
            shown.push_back(ui::comboGetText(dialog, soundcard_id::kDeviceList, i));
        }
        ui::comboSelect(dialog, soundcard_id::kDeviceList, 2);
        clickOk(dialog);
    });
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "First");
    EXPECT_FALSE(shown[1].empty());
    EXPECT_EQ(shown[2], "Third");
    EXPECT_EQ(index, 2);
}

TEST_F(SoundcardSelection, PlaybackIsStoppedBeforeTheListFills) {
    ui::controlSetText(main_, kTurnOnOff, "Turn Off");
    std::int32_t index = 0;
    std::string buttonWhileOpen;
    select(index, kThree, [&](ui::Window dialog) {
        buttonWhileOpen = ui::controlGetText(main_, kTurnOnOff);
        clickOk(dialog);
    });
    EXPECT_EQ(events_, (std::vector<std::string>{"click Turn Off", "open"}));
    EXPECT_EQ(buttonWhileOpen, "Turn On");
    EXPECT_EQ(index, 0);
}

TEST_F(SoundcardSelection, OkClicksTurnOffAgainWhenStillPlaying) {
    stuck_ = true;
    ui::controlSetText(main_, kTurnOnOff, "Turn Off");
    std::int32_t index = 0;
    select(index, kThree, [&](ui::Window dialog) {
        ui::comboSelect(dialog, soundcard_id::kDeviceList, 1);
        clickOk(dialog);
    });
    EXPECT_EQ(events_, (std::vector<std::string>{"click Turn Off", "open", "click Turn Off"}));
    EXPECT_EQ(index, 1);
}

} // namespace
} // namespace vesk
