// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/comport_selection.h"
#include "tests/core/scratch_folder.h"

#include "tests/gui/shown_windows.h"
#include "ui/messages.h"
#include "ui/toolkit.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vesk {
namespace {

using Operate = std::function<void(ui::Window box)>;

void post(ui::Window box, std::int32_t id, std::uint32_t code = msg::BN_CLICKED) {
    ui::postMessage(box, msg::WM_COMMAND, msg::makeWParam(static_cast<std::uint32_t>(id), code),
                    ui::controlHandle(box, id));
}

void type(const QString& text) {
    auto* combo = visibleTopLevel("PTT control")->findChild<QComboBox*>();
    combo->lineEdit()->selectAll();
    QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(combo->lineEdit(), text);
}

// A stand-in main window that owns the box.
class ComportSelection : public ::testing::Test {
protected:
    void SetUp() override {
        // The ports lead where the test says, never to the machine's own devices.
        const char* old = std::getenv("VESK_COMPORT_DIR");
        oldPorts_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("VESK_COMPORT_DIR", ports_.path().c_str(), 1);
        main_ = ui::dialogNew(ui::Units::Pixels, 0, "Stand-in", 20, 20, 320, 120, 0, 0);
        ui::controlAdd(main_, ui::kButton, "", 100, "Stand-in", nullptr, 10, 10, 90, 24, 0, 0);
        ui::dialogShowModeless(main_,
                               [](ui::Window, std::uint32_t, std::uint32_t,
                                  std::int32_t) -> std::int32_t { return 0; });
    }
    void TearDown() override {
        ui::dialogEnd(main_, 0);
        ui::processEvents();
        oldPorts_ ? setenv("VESK_COMPORT_DIR", oldPorts_->c_str(), 1)
                  : unsetenv("VESK_COMPORT_DIR");
    }

    // Runs the selection with `operate` acting on the open box; returns the reopen count.
    int select(std::int32_t& pttComport, const Operate& operate) {
        int reopened = 0;
        QTimer::singleShot(0, [&] { operate(choice_.choiceWindow); });
        QTimer watchdog; // a box the steps failed to end would hang the test
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            ADD_FAILURE() << "the box did not end";
            ui::dialogEnd(choice_.choiceWindow, kChoiceCancelled);
        });
        watchdog.start(10000);
        selectComport(main_, pttComport, choice_, {[&] {
                          ++reopened;
                          ownerUsableAtReopen_ = ui::controlIsEnabled(main_, ui::kDialogItself);
                      }});
        return reopened;
    }

    ScratchFolder ports_;
    std::optional<std::string> oldPorts_;
    ui::Window main_ = 0;
    bool ownerUsableAtReopen_ = false;
    ChoiceBoxState choice_;
};

// The box is modal to the window that opened it, which is usable again before the port reopens.
TEST_F(ComportSelection, OpensOnTheCurrentTextModalToItsOwner) {
    std::int32_t port = 3;
    std::string seen;
    const int reopened = select(port, [&](ui::Window box) {
        const std::int32_t count = ui::comboCount(box, choice_id::kList);
        seen = ui::controlGetText(box, choice_id::kList) + "|" +
               std::to_string(ui::comboSelection(box, choice_id::kList)) + "|" +
               std::to_string(count) + "|" + ui::comboGetText(box, choice_id::kList, 0) + "|" +
               ui::comboGetText(box, choice_id::kList, count - 1) + "|" +
               (ui::controlIsEnabled(main_, ui::kDialogItself) ? "usable" : "held");
        post(box, choice_id::kAccept);
    });
    EXPECT_EQ(seen, "COM 3|3|100|none|COM 99|held") << "text|selection|count|first|last|owner";
    EXPECT_TRUE(ownerUsableAtReopen_);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(reopened, 1);
}

// A port whose device is there names it; the list opens at the current port, and its entry
// gives the port back.
TEST_F(ComportSelection, EntriesNameTheirDeviceAndTheListOpensAtThePort) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    std::filesystem::create_symlink(device, ports_.file("COM7"));
    std::int32_t port = 7;
    std::string seen;
    select(port, [&](ui::Window box) {
        seen = ui::controlGetText(box, choice_id::kList) + "|" +
               std::to_string(ui::comboSelection(box, choice_id::kList)) + "|" +
               ui::comboGetText(box, choice_id::kList, 6) + "|" +
               ui::comboGetText(box, choice_id::kList, 7);
        ui::comboSelect(box, choice_id::kList, 7);
        post(box, choice_id::kList, msg::CBN_SELENDOK);
        post(box, choice_id::kAccept);
    });
    ::close(master);
    EXPECT_EQ(seen, "COM 7|7|COM 6|COM 7  " + device);
    EXPECT_EQ(port, 7);
}

TEST_F(ComportSelection, AnswersBecomePortNumbers) {
    // After an optional pick and typed text the box ends by a key (in the box, or with the
    // focus in the main window) or by a button: Clear means Clear then Accept, 0 the close box.
    const struct {
        std::int32_t before, pickEntry;
        const char* typed;
        Qt::Key key;
        bool keyInMain;
        std::int32_t button, after;
    } cases[] = {{3, 12, "", Qt::Key_Return, false, 0, 12},
                 {3, 12, "", Qt::Key_Return, true, 0, 12},
                 {3, 0, "", Qt::Key_unknown, false, choice_id::kAccept, 0},
                 {3, -1, "5", Qt::Key_unknown, false, choice_id::kAccept, 5},
                 {3, -1, "COM5", Qt::Key_unknown, false, choice_id::kAccept, 0},
                 {3, -1, "COM 123", Qt::Key_unknown, false, choice_id::kAccept, 23},
                 {123, -1, "", Qt::Key_unknown, false, choice_id::kCancel, 23},
                 {8, 4, "", Qt::Key_Escape, false, 0, 8},
                 {8, 4, "", Qt::Key_unknown, false, 0, 8},
                 {7, 12, "", Qt::Key_unknown, false, choice_id::kClear, 7}};
    for (const auto& c : cases) {
        const auto operate = [&c](ui::Window box) {
            if (c.pickEntry >= 0) {
                ui::comboSelect(box, choice_id::kList, c.pickEntry);
                post(box, choice_id::kList, msg::CBN_SELENDOK);
            }
            if (*c.typed != '\0') {
                type(c.typed);
            }
            if (c.key != Qt::Key_unknown) {
                QWidget* target = c.keyInMain
                                      ? visibleTopLevel("Stand-in")->findChild<QPushButton*>()
                                      : QApplication::focusWidget();
                // Offscreen windows are not always activated: then the box itself gets the key.
                QTest::keyClick(target != nullptr ? target : visibleTopLevel("PTT control"), c.key);
                // A key the box failed to take leaves it open: Cancel then ends it anyway.
                QTimer::singleShot(100, [box] { post(box, choice_id::kCancel); });
            } else if (c.button == 0) {
                ui::postMessage(box, msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
            } else {
                post(box, c.button);
                if (c.button == choice_id::kClear) {
                    post(box, choice_id::kAccept);
                }
            }
        };
        std::int32_t port = c.before;
        EXPECT_EQ(select(port, operate), 1) << c.before << " " << c.typed;
        EXPECT_EQ(port, c.after) << c.before << " " << c.typed << " " << c.key;
    }
}

TEST(ChoiceBox, EmptyInitialTakesTheFirstEntry) {
    const std::vector<std::string> list = {"alpha", "beta", "", "never shown"};
    ChoiceBoxState state;
    std::int32_t count = 0;
    QTimer::singleShot(0, [&] {
        count = ui::comboCount(state.choiceWindow, choice_id::kList);
        ui::postMessage(state.choiceWindow, msg::WM_COMMAND, choice_id::kAccept, 0);
    });
    EXPECT_EQ(choiceBox(state, "Prompt", "", &list, "Caption"), "alpha");
    EXPECT_EQ(count, 2);
}

} // namespace
} // namespace vesk
