#include "devices/comport_selection.h"

#include "ui/messages.h"
#include "ui/toolkit.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vesk {
namespace {

constexpr const char* kStandInCaption = "Stand-in main window";

QWidget* topLevelNamed(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == title) {
            return widget;
        }
    }
    return nullptr;
}

QLineEdit* boxEditField() {
    QWidget* box = topLevelNamed("PTT control");
    if (box == nullptr) {
        return nullptr;
    }
    auto* combo = box->findChild<QComboBox*>();
    return combo == nullptr ? nullptr : combo->lineEdit();
}

// A main window with just what the selection touches: the Turn On/Off button and the PTT
// menu command.
class ComportSelection : public ::testing::Test {
protected:
    void SetUp() override {
        main_ = ui::dialogNew(ui::Units::Pixels, 0, kStandInCaption, 20, 20, 320, 120, 0, 0);
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
        ui::processEvents();
    }

    void TearDown() override {
        if (ui::windowExists(main_)) {
            ui::dialogEnd(main_, 0);
        }
        ui::processEvents();
    }

    // Runs the selection; `operate` acts on the open box the way the operator would. Returns
    // how often the port was reopened.
    int select(std::int32_t& pttComport, const std::function<void(ui::Window box)>& operate) {
        int reopened = 0;
        bool stillOpen = false;
        QTimer::singleShot(0, [&] { operate(choice_.choiceWindow); });
        // A box the steps failed to end would hang the test: cancel it after a while.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            stillOpen = true;
            ui::dialogEnd(choice_.choiceWindow, kChoiceCancelled);
        });
        watchdog.start(10000);
        selectComport(main_, pttComport, choice_, [&] { ++reopened; });
        EXPECT_FALSE(stillOpen) << "the box did not end";
        return reopened;
    }

    static void post(ui::Window box, std::int32_t id, std::uint32_t code = msg::BN_CLICKED) {
        ui::postMessage(box, msg::WM_COMMAND, msg::makeWParam(static_cast<std::uint32_t>(id), code),
                        ui::controlHandle(box, id));
    }

    static void pick(ui::Window box, std::int32_t index) {
        ui::comboSelect(box, choice_id::kList, index);
        post(box, choice_id::kList, msg::CBN_SELENDOK);
    }

    // Replaces the edit field's text with keystrokes.
    static void type(const QString& text) {
        QLineEdit* edit = boxEditField();
        ASSERT_NE(edit, nullptr);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    static void pressEnter() {
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) {
            target = topLevelNamed("PTT control");
        }
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key_Return);
    }

    ui::Window main_ = 0;
    ChoiceBoxState choice_;
};

TEST_F(ComportSelection, OpensWithTheCurrentTextAndNothingHighlighted) {
    std::int32_t port = 3;
    std::string editText, prompt, caption;
    std::int32_t selected = 99, count = 0;
    std::string first, last;
    const int reopened = select(port, [&](ui::Window box) {
        editText = ui::controlGetText(box, choice_id::kList);
        selected = ui::comboSelection(box, choice_id::kList);
        count = ui::comboCount(box, choice_id::kList);
        first = ui::comboGetText(box, choice_id::kList, 0);
        last = ui::comboGetText(box, choice_id::kList, count - 1);
        prompt = ui::controlGetText(box, choice_id::kPrompt);
        caption = ui::windowGetTitle(box);
        post(box, choice_id::kAccept);
    });
    EXPECT_EQ(editText, "COM 3");
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(count, 100);
    EXPECT_EQ(first, "none");
    EXPECT_EQ(last, "COM 99");
    EXPECT_EQ(prompt, "Select comport for PTT control");
    EXPECT_EQ(caption, "PTT control");
    EXPECT_EQ(port, 3);
    EXPECT_EQ(reopened, 1);
    EXPECT_EQ(choice_.choiceEndCode, 0);
}

TEST_F(ComportSelection, PickedEntries) {
    const struct {
        std::int32_t before;
        std::int32_t entry;
        std::int32_t after;
    } cases[] = {{3, 12, 12}, {3, 0, 0}, {0, 99, 99}, {-2, 1, 1}};
    for (const auto& c : cases) {
        std::int32_t port = c.before;
        const int reopened = select(port, [&](ui::Window box) {
            pick(box, c.entry);
            post(box, choice_id::kAccept);
        });
        EXPECT_EQ(port, c.after) << "entry " << c.entry;
        EXPECT_EQ(reopened, 1);
    }
}

TEST_F(ComportSelection, TypedAnswers) {
    const struct {
        const char* typed;
        std::int32_t after;
    } cases[] = {{"5", 5}, {"COM5", 0}, {"COM 123", 23}, {"COM 7", 7}, {"hello", 0}};
    for (const auto& c : cases) {
        std::int32_t port = 3;
        std::string answer;
        select(port, [&](ui::Window box) {
            type(QString::fromUtf8(c.typed));
            answer = choice_.choiceText;
            post(box, choice_id::kAccept);
        });
        EXPECT_EQ(answer, c.typed);
        EXPECT_EQ(port, c.after) << c.typed;
    }
}

TEST_F(ComportSelection, CancelReadsTheNumberBackFromTheCurrentText) {
    const struct {
        std::int32_t before;
        std::int32_t after;
    } cases[] = {{0, 0}, {3, 3}, {99, 99}, {123, 23}, {-2, 0}, {100, 0}};
    for (const auto& c : cases) {
        std::int32_t port = c.before;
        const int reopened = select(port, [&](ui::Window box) {
            pick(box, 42); // a choice made and then dropped
            post(box, choice_id::kCancel);
        });
        EXPECT_EQ(port, c.after) << c.before;
        EXPECT_EQ(reopened, 1) << "the port is reopened after a cancel too";
        EXPECT_EQ(choice_.choiceEndCode, kChoiceCancelled);
    }
}

TEST_F(ComportSelection, CloseBoxAndEscapeCancel) {
    std::int32_t port = 8;
    select(port, [&](ui::Window box) {
        pick(box, 20);
        ui::postMessage(box, msg::WM_SYSCOMMAND, msg::SC_CLOSE, 0);
    });
    EXPECT_EQ(port, 8);
    EXPECT_EQ(choice_.choiceEndCode, kChoiceCancelled);

    select(port, [&](ui::Window box) {
        pick(box, 20);
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target != nullptr ? target : topLevelNamed("PTT control"), Qt::Key_Escape);
        // Still open if Escape was not taken: end it as accepted so the test fails visibly.
        QTimer::singleShot(50, [box] { post(box, choice_id::kAccept); });
    });
    EXPECT_EQ(port, 8);
}

TEST_F(ComportSelection, ClearThenAcceptKeepsTheCurrentText) {
    std::int32_t port = 7;
    std::string editAfterClear = "unset";
    std::int32_t selectedAfterClear = 0;
    select(port, [&](ui::Window box) {
        pick(box, 12);
        post(box, choice_id::kClear);
        QTimer::singleShot(0, [&, box] {
            editAfterClear = ui::controlGetText(box, choice_id::kList);
            selectedAfterClear = ui::comboSelection(box, choice_id::kList);
            post(box, choice_id::kAccept);
        });
    });
    EXPECT_EQ(editAfterClear, "");
    EXPECT_EQ(selectedAfterClear, -1);
    EXPECT_EQ(port, 7);
    EXPECT_EQ(choice_.choiceEndCode, 0);
}

TEST_F(ComportSelection, EnterAcceptsWhileTheFocusIsInTheMainWindow) {
    std::int32_t port = 3;
    select(port, [&](ui::Window box) {
        pick(box, 12);
        QWidget* main = topLevelNamed(kStandInCaption);
        ASSERT_NE(main, nullptr);
        auto* button = main->findChild<QPushButton*>();
        ASSERT_NE(button, nullptr);
        // The key goes to the main window's button, as if it had the keyboard focus.
        QTest::keyClick(button, Qt::Key_Return);
        QTimer::singleShot(100, [box] { post(box, choice_id::kCancel); });
    });
    EXPECT_EQ(port, 12);
}

TEST_F(ComportSelection, EnterInTheEditFieldAccepts) {
    std::int32_t port = 3;
    select(port, [&](ui::Window box) {
        type("15");
        pressEnter();
        QTimer::singleShot(100, [box] { post(box, choice_id::kCancel); });
    });
    EXPECT_EQ(port, 15);
}

TEST_F(ComportSelection, PttCommandAndTurnOnOffAreGreyedWhileTheBoxIsOpen) {
    std::int32_t port = 4;
    bool menuDuring = true, buttonDuring = true, mainUsable = false;
    select(port, [&](ui::Window box) {
        menuDuring = ui::menuIsEnabled(main_, kPttMenuCommand);
        buttonDuring = ui::controlIsEnabled(main_, kTurnOnOffButton);
        // Without an owner the main window itself stays usable.
        QWidget* main = topLevelNamed(kStandInCaption);
        mainUsable = main != nullptr && main->isEnabled();
        post(box, choice_id::kAccept);
    });
    EXPECT_FALSE(menuDuring);
    EXPECT_FALSE(buttonDuring);
    EXPECT_TRUE(mainUsable);
    EXPECT_TRUE(ui::menuIsEnabled(main_, kPttMenuCommand));
    EXPECT_TRUE(ui::controlIsEnabled(main_, kTurnOnOffButton));
}

TEST(ChoiceBox, EmptyInitialTakesTheFirstEntry) {
    const std::vector<std::string> list = {"alpha", "beta", "", "never shown"};
    ChoiceBoxState state;
    std::int32_t count = 0, selected = -1;
    QTimer::singleShot(0, [&] {
        count = ui::comboCount(state.choiceWindow, choice_id::kList);
        selected = ui::comboSelection(state.choiceWindow, choice_id::kList);
        ui::postMessage(state.choiceWindow, msg::WM_COMMAND, choice_id::kAccept, 0);
    });
    EXPECT_EQ(choiceBox(state, "Prompt", "", &list, "Caption"), "alpha");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(state.choiceWindow, 0);
}

TEST(ChoiceBox, WithoutAListTheAnswerIsTyped) {
    ChoiceBoxState state;
    std::int32_t count = -1;
    QTimer::singleShot(0, [&] {
        count = ui::comboCount(state.choiceWindow, choice_id::kList);
        ui::controlSetText(state.choiceWindow, choice_id::kList, "free text");
        ui::postMessage(state.choiceWindow, msg::WM_COMMAND,
                        msg::makeWParam(choice_id::kList, msg::CBN_EDITCHANGE), 0);
        ui::postMessage(state.choiceWindow, msg::WM_COMMAND, choice_id::kAccept, 0);
    });
    EXPECT_EQ(choiceBox(state, "Prompt", "", nullptr, "Caption"), "free text");
    EXPECT_EQ(count, 0);
}

TEST(ChoiceBox, CancelGivesEmptyWhateverWasChosen) {
    const std::vector<std::string> list = {"one", "two", ""};
    ChoiceBoxState state;
    QTimer::singleShot(0, [&] {
        ui::comboSelect(state.choiceWindow, choice_id::kList, 1);
        ui::postMessage(state.choiceWindow, msg::WM_COMMAND,
                        msg::makeWParam(choice_id::kList, msg::CBN_SELENDOK), 0);
        ui::postMessage(state.choiceWindow, msg::WM_COMMAND, choice_id::kCancel, 0);
    });
    EXPECT_EQ(choiceBox(state, "Prompt", "one", &list, "Caption"), "");
    EXPECT_EQ(state.choiceText, "two");
    EXPECT_EQ(state.choiceEndCode, kChoiceCancelled);
}

} // namespace
} // namespace vesk
