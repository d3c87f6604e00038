#include "devices/comport_selection.h"

#include "ui/messages.h"
#include "ui/toolkit.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vesk {
namespace {

using Operate = std::function<void(ui::Window box)>;

QWidget* topLevelNamed(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == title) {
            return widget;
        }
    }
    return nullptr;
}

void post(ui::Window box, std::int32_t id, std::uint32_t code = msg::BN_CLICKED) {
    ui::postMessage(box, msg::WM_COMMAND, msg::makeWParam(static_cast<std::uint32_t>(id), code),
                    ui::controlHandle(box, id));
}

// What the operator does in the box. Keys that the box fails to take leave it open, so a
// Cancel follows them to end it in any case.
void pick(ui::Window box, std::int32_t entry) {
    ui::comboSelect(box, choice_id::kList, entry);
    post(box, choice_id::kList, msg::CBN_SELENDOK);
}
void key(ui::Window box, QWidget* target, Qt::Key k) {
    // Offscreen windows are not always activated: then the key goes to the box itself.
    QTest::keyClick(target != nullptr ? target : topLevelNamed("PTT control"), k);
    QTimer::singleShot(100, [box] { post(box, choice_id::kCancel); });
}
void type(const QString& text) {
    auto* combo = topLevelNamed("PTT control")->findChild<QComboBox*>();
    combo->lineEdit()->selectAll();
    QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(combo->lineEdit(), text);
}

// A main window with what the selection touches: the Turn On/Off button and the PTT command.
class ComportSelection : public ::testing::Test {
protected:
    void SetUp() override {
        main_ = ui::dialogNew(ui::Units::Pixels, 0, "Stand-in", 20, 20, 320, 120, 0, 0);
        ui::controlAdd(main_, ui::kButton, "", kTurnOnOffButton, "Turn On", nullptr, 10, 10, 90, 24,
                       0, 0);
        const ui::Menu bar = ui::menuNew(true);
        const ui::Menu popup = ui::menuNew(false);
        ui::menuAdd(popup, "PTT", kPttMenuCommand, 0, true);
        ui::menuAdd(bar, "PTT", 0, popup, true);
        ui::menuAttach(main_, bar);
        ui::dialogShowModeless(main_,
                               [](ui::Window, std::uint32_t, std::uint32_t,
                                  std::int32_t) -> std::int32_t { return 0; });
    }
    void TearDown() override {
        ui::dialogEnd(main_, 0);
        ui::processEvents();
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
        selectComport(main_, pttComport, choice_, [&] { ++reopened; });
        return reopened;
    }

    ui::Window main_ = 0;
    ChoiceBoxState choice_;
};

TEST_F(ComportSelection, OpensOnTheCurrentTextWithTheCommandsGreyed) {
    std::int32_t port = 3;
    std::string edit, first, last;
    std::int32_t selected = 0, count = 0;
    bool menuOn = true, buttonOn = true;
    const int reopened = select(port, [&](ui::Window box) {
        edit = ui::controlGetText(box, choice_id::kList);
        selected = ui::comboSelection(box, choice_id::kList);
        count = ui::comboCount(box, choice_id::kList);
        first = ui::comboGetText(box, choice_id::kList, 0);
        last = ui::comboGetText(box, choice_id::kList, count - 1);
        menuOn = ui::menuIsEnabled(main_, kPttMenuCommand);
        buttonOn = ui::controlIsEnabled(main_, kTurnOnOffButton);
        post(box, choice_id::kAccept);
    });
    EXPECT_EQ(edit, "COM 3");
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(count, 100);
    EXPECT_EQ(first, "none");
    EXPECT_EQ(last, "COM 99");
    EXPECT_FALSE(menuOn);
    EXPECT_FALSE(buttonOn);
    EXPECT_TRUE(ui::menuIsEnabled(main_, kPttMenuCommand));
    EXPECT_TRUE(ui::controlIsEnabled(main_, kTurnOnOffButton));
    EXPECT_EQ(port, 3);
    EXPECT_EQ(reopened, 1);
}

TEST_F(ComportSelection, AnswersBecomePortNumbers) {
    const auto accept = [](ui::Window box) {
        post(box, choice_id::kAccept);
    };
    const struct {
        const char* what;
        std::int32_t before;
        Operate operate;
        std::int32_t after;
    } cases[] = {
        {"entry 12 and Enter in the list", 3,
         [](ui::Window box) {
             pick(box, 12);
             key(box, QApplication::focusWidget(), Qt::Key_Return);
         },
         12},
        {"Enter with the focus in the main window", 3,
         [](ui::Window box) {
             pick(box, 12);
             key(box, topLevelNamed("Stand-in")->findChild<QPushButton*>(), Qt::Key_Return);
         },
         12},
        {"none", 3, [&](ui::Window box) { pick(box, 0), accept(box); }, 0},
        {"typed 5", 3, [&](ui::Window box) { type("5"), accept(box); }, 5},
        {"typed COM5", 3, [&](ui::Window box) { type("COM5"), accept(box); }, 0},
        {"typed COM 123", 3, [&](ui::Window box) { type("COM 123"), accept(box); }, 23},
        {"cancel keeps 99", 99, [](ui::Window box) { pick(box, 4), post(box, choice_id::kCancel); },
         99},
        {"cancel with 123", 123, [](ui::Window box) { post(box, choice_id::kCancel); }, 23},
        {"cancel with -2", -2, [](ui::Window box) { post(box, choice_id::kCancel); }, 0},
        {"Escape", 8,
         [](ui::Window box) {
             pick(box, 4);
             key(box, QApplication::focusWidget(), Qt::Key_Escape);
         },
         8},
        {"close box", 8,
         [](ui::Window box) {
             pick(box, 4);
             ui::postMessage(box, msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
         },
         8},
        {"Clear then Accept", 7,
         [&](ui::Window box) { pick(box, 12), post(box, choice_id::kClear), accept(box); }, 7},
    };
    for (const auto& c : cases) {
        std::int32_t port = c.before;
        EXPECT_EQ(select(port, c.operate), 1) << c.what;
        EXPECT_EQ(port, c.after) << c.what;
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
