#include "ui/toolkit.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace vesk::ui {
namespace {

using namespace vesk::msg;
using namespace vesk::ui::style;

struct Seen {
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::int32_t lParam = 0;
};

using Args = std::vector<std::pair<std::uint32_t, std::int32_t>>;

// Records what a handler receives; `answer` decides the result (0 when not given).
struct Recorder {
    std::vector<Seen> seen;
    std::function<std::int32_t(const Seen&)> answer;

    Handler handler() {
        return [this](Window, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
            seen.push_back({m, wp, lp});
            return answer ? answer(seen.back()) : 0;
        };
    }
    // (wParam, lParam) of each `message`, in order.
    Args args(std::uint32_t message) const {
        Args out;
        for (const Seen& s : seen) {
            if (s.message == message) {
                out.emplace_back(s.wParam, s.lParam);
            }
        }
        return out;
    }
    std::vector<Seen> of(std::uint32_t message) const {
        std::vector<Seen> out;
        std::copy_if(seen.begin(), seen.end(), std::back_inserter(out),
                     [message](const Seen& s) { return s.message == message; });
        return out;
    }
};

const Handler ignoring = [](Window, std::uint32_t, std::uint32_t, std::int32_t) {
    return 0;
};

void later(int milliseconds, std::function<void()> step) {
    QTimer::singleShot(milliseconds, qApp, std::move(step));
}

void addMenu(Window d, const char* title, std::int32_t id, const char* item = "Item") {
    const Menu bar = menuNew(true);
    const Menu popup = menuNew(false);
    menuAdd(popup, item, id, 0, true);
    menuAdd(bar, title, 0, popup, true);
    menuAttach(d, bar);
}

class Toolkit : public ::testing::Test {
protected:
    Window dialog(Units units = Units::Pixels, Window owner = 0, std::int32_t w = 300,
                  std::int32_t h = 200, std::uint32_t style = 0) {
        created_.push_back(dialogNew(units, owner, "Test", kCentred, kCentred, w, h, style, 0));
        return created_.back();
    }
    // Ends every dialog left over so a broken modal run fails instead of hanging.
    void watchdog() {
        later(5000, [dialogs = created_] {
            for (Window d : dialogs) {
                if (windowExists(d)) {
                    ADD_FAILURE() << "watchdog ended dialog " << d;
                    dialogEnd(d, -1000);
                }
            }
        });
    }
    // Handlers capture the test's locals: once the body is over they must not run.
    Handler guarded(Handler h) {
        return [this, h](Window w, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
            return running_ ? h(w, m, wp, lp) : 0;
        };
    }
    void showModeless(Window d, Handler h) { dialogShowModeless(d, guarded(h)); }
    void showModal(Window d, Handler h, std::int32_t* endCode) {
        dialogShowModal(d, guarded(h), endCode);
    }
    void TearDown() override {
        running_ = false;
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            if (windowExists(*it)) {
                dialogEnd(*it, 0);
            }
        }
        processEvents();
    }
    std::vector<Window> created_;
    bool running_ = true;
};

TEST_F(Toolkit, EndProtocolSetupHiddenThenSecondCloseEndCodeAndDestroy) {
    const Window d = dialog(Units::Pixels, 0, 237, 60);
    bool closing = false;
    bool visibleDuringSetup = false;
    bool visibleAtClose = false;
    Recorder r;
    r.answer = [&](const Seen& s) -> std::int32_t {
        if (s.message == WM_INITDIALOG || s.message == WM_SIZE) {
            visibleDuringSetup = visibleDuringSetup || detail::dialogWidget(d)->isVisible();
        }
        if (s.message == WM_INITDIALOG) {
            postMessage(d, WM_CLOSE, 0, 0);
        } else if (s.message == WM_CLOSE && !closing) {
            closing = true;
            visibleAtClose = detail::dialogWidget(d)->isVisible();
            dialogEnd(d, 7);
        }
        return s.message == WM_INITDIALOG || s.message == WM_CLOSE;
    };
    std::int32_t endCode = -1;
    watchdog();
    showModal(d, r.handler(), &endCode);
    EXPECT_EQ(endCode, 7);
    EXPECT_FALSE(windowExists(d));
    std::vector<std::uint32_t> order;
    for (const Seen& s : r.seen) {
        order.push_back(s.message);
    }
    ASSERT_EQ(order,
              (std::vector<std::uint32_t>{WM_INITDIALOG, WM_SIZE, WM_CLOSE, WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(r.seen[0].wParam, static_cast<std::uint32_t>(d));
    EXPECT_EQ(r.seen[1].wParam, SIZE_RESTORED);
    EXPECT_EQ(r.seen[1].lParam, static_cast<std::int32_t>(makeWParam(237, 60)));
    EXPECT_FALSE(visibleDuringSetup);
    EXPECT_TRUE(visibleAtClose);
}

TEST_F(Toolkit, CloseBoxAndSystemCloseFollowTheHandlersResult) {
    for (const std::int32_t keep : {0, 1}) {
        SCOPED_TRACE(keep);
        const Window d = dialog();
        Recorder r;
        r.answer = [&](const Seen& s) {
            return s.message == WM_SYSCOMMAND ? keep : 0;
        };
        bool openAfterClose = false;
        later(20, [&] {
            detail::dialogWidget(d)->close();
            openAfterClose = windowExists(d);
            if (openAfterClose) {
                dialogEnd(d, 3);
            }
        });
        watchdog();
        std::int32_t endCode = -1;
        showModal(d, r.handler(), &endCode);
        EXPECT_EQ(openAfterClose, keep == 1);
        EXPECT_EQ(endCode, keep == 1 ? 3 : 0);
        ASSERT_EQ(r.of(WM_SYSCOMMAND).size(), 1u);
        EXPECT_EQ(r.of(WM_SYSCOMMAND)[0].wParam, SC_CLOSE);
        EXPECT_EQ(r.of(WM_DESTROY).size(), 1u);
    }
    // The default handling ignores the low four bits of the command.
    for (std::uint32_t command : {SC_CLOSE | 0x2u, SC_CLOSE | 0xFu, SC_CLOSE + 0x10u}) {
        const Window d = dialog();
        showModeless(d, ignoring);
        const bool closes = command != SC_CLOSE + 0x10u;
        EXPECT_EQ(sendMessage(d, WM_SYSCOMMAND, command, 0), closes ? 1 : 0) << command;
        EXPECT_EQ(windowExists(d), !closes) << command;
    }
}

TEST_F(Toolkit, ControlAndItemHandlersRunBeforeTheDialogHandler) {
    for (const std::int32_t firstResult : {0, 5}) {
        SCOPED_TRACE(firstResult);
        const Window d = dialog();
        std::vector<std::string> order;
        const Handler own = [&](Window, std::uint32_t, std::uint32_t, std::int32_t) {
            order.push_back("own");
            return firstResult;
        };
        controlAdd(d, kButton, "", 4000, "Reset", nullptr, 10, 10, 50, 20, 0, 0, own);
        controlAdd(d, kCustom, "SCROLLBAR", 1003, "", nullptr, 10, 40, 140, 15,
                   WS_CHILD | WS_VISIBLE, 0, own);
        const Menu bar = menuNew(true);
        const Menu sound = menuNew(false);
        menuAdd(sound, "Mixer", 2000, 0, true, own);
        menuAdd(bar, "Soundcard", 0, sound, true);
        menuAttach(d, bar);
        showModeless(d, [&](Window, std::uint32_t m, std::uint32_t, std::int32_t) {
            if (m == WM_COMMAND || m == WM_HSCROLL) {
                order.push_back("dialog");
            }
            return 0;
        });
        const Window button = controlHandle(d, 4000);
        const auto expected = firstResult == 0 ? std::vector<std::string>{"own", "dialog"}
                                               : std::vector<std::string>{"own"};
        for (auto [message, wParam, lParam] :
             {std::tuple{WM_COMMAND, makeWParam(4000, BN_CLICKED), button},
              std::tuple{WM_HSCROLL, makeWParam(SB_LINERIGHT, 0), controlHandle(d, 1003)},
              std::tuple{WM_COMMAND, makeWParam(2000, 0), 0}}) {
            order.clear();
            EXPECT_EQ(sendMessage(d, message, wParam, lParam), firstResult);
            EXPECT_EQ(order, expected) << message << " " << wParam;
        }
        // A menu item's handler is not a control's: a command with a control handle skips it.
        order.clear();
        sendMessage(d, WM_COMMAND, makeWParam(2000, 0), button);
        EXPECT_EQ(order.front(), "own");
    }
}

TEST_F(Toolkit, ClicksOptionsAndMenuChoicesArriveAsCommands) {
    const Window d = dialog();
    controlAdd(d, kButton, "", 801, "Apply", nullptr, 10, 10, 50, 20, 0, 0);
    for (std::int32_t id : {1111, 1112, 1113}) {
        controlAdd(d, kOption, "", id, "", nullptr, 10 + (id - 1111) * 35, 40, 16, 16, 0, 0);
    }
    addMenu(d, "File", 650, "Open pattern file");
    Recorder r;
    showModeless(d, r.handler());

    controlSetCheck(d, 1111, true);
    QTest::mouseClick(detail::controlWidget(d, 801), Qt::LeftButton);
    QTest::mouseClick(detail::controlWidget(d, 1113), Qt::LeftButton);
    auto* menuBar = detail::dialogWidget(d)->findChild<QMenuBar*>();
    ASSERT_NE(menuBar, nullptr);
    menuBar->actions().front()->menu()->actions().front()->trigger();
    EXPECT_EQ(r.of(WM_COMMAND).size(), 2u) << "menu commands are queued";
    processEvents();
    EXPECT_EQ(r.args(WM_COMMAND), (Args{{makeWParam(801, BN_CLICKED), controlHandle(d, 801)},
                                        {makeWParam(1113, BN_CLICKED), controlHandle(d, 1113)},
                                        {makeWParam(650, 0), 0}}));
    // A click checks exclusively; the program may clear every option.
    EXPECT_FALSE(controlGetCheck(d, 1111));
    EXPECT_TRUE(controlGetCheck(d, 1113));
    controlSetCheck(d, 1113, false);
    EXPECT_FALSE(controlGetCheck(d, 1113) || controlGetCheck(d, 1111));

    // A click from code is a click; a disabled button takes none.
    r.seen.clear();
    buttonClick(d, 801);
    controlEnable(d, 801, false);
    buttonClick(d, 801);
    EXPECT_EQ(r.args(WM_COMMAND), (Args{{makeWParam(801, BN_CLICKED), controlHandle(d, 801)}}));
}

TEST_F(Toolkit, PostedMessagesDieWithTheirDialog) {
    const Window d = dialog();
    Recorder r;
    showModeless(d, r.handler());
    postMessage(d, 0x8002, 0, 0);
    dialogEnd(d, 0);
    processEvents();
    EXPECT_TRUE(r.of(0x8002).empty());
}

TEST_F(Toolkit, AnInnerModalRunKeepsDeliveringTheOuterDialogsMessages) {
    const Window outer = dialog();
    const Window inner = dialog();
    int outerTicksDuringInner = 0;
    bool postedReachedOuter = false;
    bool innerRunning = false;
    std::int32_t innerCode = -1;
    const Handler innerHandler = [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            postMessage(outer, 0x8100, 0, 0);
        } else if (m == WM_TIMER && wp == 9 && outerTicksDuringInner >= 3 && postedReachedOuter) {
            dialogEnd(inner, 12);
        }
        return 0;
    };
    const Handler outerHandler = [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            timerSet(outer, 0, 5);
            postMessage(outer, 0x8000, 0, 0);
        } else if (m == 0x8000) {
            innerRunning = true;
            timerSet(inner, 9, 5);
            showModal(inner, innerHandler, &innerCode);
            innerRunning = false;
            dialogEnd(outer, 42);
        } else if (m == WM_TIMER && wp == 0 && innerRunning) {
            ++outerTicksDuringInner;
        } else if (m == 0x8100 && innerRunning) {
            postedReachedOuter = true;
        }
        return 0;
    };
    watchdog();
    std::int32_t outerCode = -1;
    showModal(outer, outerHandler, &outerCode);
    EXPECT_EQ(innerCode, 12);
    EXPECT_EQ(outerCode, 42);
    EXPECT_GE(outerTicksDuringInner, 3);
    EXPECT_TRUE(postedReachedOuter);
}

TEST_F(Toolkit, AModalDialogDisablesItsOwnerAndEndingAnOwnerEndsWhatItOwns) {
    const Window owner = dialog();
    const Window owned = dialog(Units::Pixels, owner);
    std::vector<Window> destroyed;
    const Handler note = [&](Window w, std::uint32_t m, std::uint32_t, std::int32_t) {
        if (m == WM_DESTROY) {
            destroyed.push_back(w);
        }
        return 0;
    };
    showModeless(owner, note);
    bool ownerEnabled = true;
    const Window modal = dialog(Units::Pixels, owner);
    later(20, [&] {
        ownerEnabled = controlIsEnabled(owner, kDialogItself);
        dialogEnd(modal, 0);
    });
    watchdog();
    showModal(modal, ignoring, nullptr);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(controlIsEnabled(owner, kDialogItself));
    showModeless(owned, note);
    dialogEnd(owner, 0);
    EXPECT_EQ(destroyed, (std::vector<Window>{owned, owner}));
}

TEST_F(Toolkit, AcceleratorsReachTheInnermostModalDialogWhereverTheFocusIs) {
    const Window main = dialog();
    controlAdd(main, kEdit, "", 800, "100", nullptr, 10, 10, 60, 20, 0, 0);
    Recorder mainLog;
    showModeless(main, mainLog.handler());
    const Window box = dialog(Units::DialogUnits, 0, 200, 70, WS_CAPTION | WS_SYSMENU);
    Recorder boxLog;
    boxLog.answer = [&](const Seen& s) -> std::int32_t {
        if (s.message == WM_INITDIALOG) {
            acceleratorsAttach(box, {{0, 0x0D, 254}, {0, 0x1B, 255}});
        } else if (s.message == WM_COMMAND && loWord(s.wParam) == 255) {
            dialogEnd(box, 901);
        }
        return 0;
    };
    auto* mainEdit = detail::controlWidget(main, 800);
    later(20, [&] {
        QTest::keyClick(mainEdit, Qt::Key_Return);
        QTest::keyClick(mainEdit, Qt::Key_Return, Qt::ShiftModifier); // modifiers must match
        QTest::keyClick(mainEdit, Qt::Key_Escape);
    });
    watchdog();
    std::int32_t code = -1;
    showModal(box, boxLog.handler(), &code);
    EXPECT_EQ(code, 901);
    EXPECT_EQ(boxLog.args(WM_COMMAND), (Args{{makeWParam(254, 1), 0}, {makeWParam(255, 1), 0}}));
    EXPECT_TRUE(mainLog.of(WM_COMMAND).empty());
    // With the box gone its accelerators are gone too.
    boxLog.seen.clear();
    QTest::keyClick(mainEdit, Qt::Key_Return);
    EXPECT_TRUE(boxLog.seen.empty());
}

TEST_F(Toolkit, DialogKeysApplyToTheInnermostModalDialogOnly) {
    const Window other = dialog();
    controlAdd(other, kEdit, "", 800, "", nullptr, 10, 10, 60, 20, 0, 0);
    Recorder otherLog;
    showModeless(other, otherLog.handler());
    const Window d = dialog();
    controlAdd(d, kEdit, "", 820, "", nullptr, 10, 10, 60, 20, 0, 0);
    controlAdd(d, kButton, "", 4321, "OK", nullptr, 10, 40, 70, 23, 0, 0);
    const Window ok = controlHandle(d, 4321);
    Recorder log;
    log.answer = [&](const Seen& s) -> std::int32_t {
        if (s.message == WM_COMMAND && loWord(s.wParam) == IDCANCEL) {
            dialogEnd(d, 2);
        }
        return 0;
    };
    later(20, [&] {
        QTest::keyClick(detail::controlWidget(other, 800), Qt::Key_Escape);
        QTest::keyClick(detail::controlWidget(d, 820), Qt::Key_Return);
        QTest::keyClick(detail::controlWidget(d, 4321), Qt::Key_Return);
        QTest::keyClick(detail::controlWidget(d, 820), Qt::Key_Escape);
    });
    watchdog();
    showModal(d, log.handler(), nullptr);
    EXPECT_EQ(log.args(WM_COMMAND), (Args{{makeWParam(IDOK, BN_CLICKED), 0},
                                          {makeWParam(4321, BN_CLICKED), ok},
                                          {makeWParam(IDCANCEL, BN_CLICKED), 0}}));
    EXPECT_TRUE(otherLog.of(WM_COMMAND).empty());
}

TEST_F(Toolkit, PixelClientAreaIsExactBelowAMenuBarWithHelpAtTheRight) {
    const Window d =
        dialog(Units::Pixels, 0, 810, 255, WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW);
    const Menu bar = menuNew(true);
    for (const char* title : {"File", "Help"}) {
        const Menu popup = menuNew(false);
        menuAdd(popup, "Item", 600, 0, true);
        menuAdd(bar, title, 0, popup, true, {}, title[0] == 'H');
    }
    menuAttach(d, bar);
    showModeless(d, ignoring);
    EXPECT_EQ(windowClientRect(d).width, 810);
    EXPECT_EQ(windowClientRect(d).height, 255);
    auto* menuBar = detail::dialogWidget(d)->findChild<QMenuBar*>();
    ASSERT_NE(menuBar, nullptr);
    EXPECT_GT(menuBar->height(), 0);
    EXPECT_EQ(detail::dialogWidget(d)->size(), QSize(810, 255 + menuBar->height()));
    auto* corner = static_cast<QMenuBar*>(menuBar->cornerWidget(Qt::TopRightCorner));
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(corner->geometry().right(), menuBar->width() - 1);
    EXPECT_EQ(corner->actions().front()->text(), "Help");
}

TEST_F(Toolkit, DialogUnitsConvertEdgeByEdgeWithHalvesAwayFromZero) {
    const detail::BaseUnits base{6, 13};
    for (const auto& [units, pixels] : {std::pair<Rect, Rect>{{10, 42, 100, 60}, {15, 68, 150, 98}},
                                        {{1, 4, 1, 4}, {2, 7, 1, 6}},     // 1.5 -> 2, 6.5 -> 7
                                        {{-1, -4, 2, 4}, {-2, -7, 4, 7}}, // -1.5 -> -2, -6.5 -> -7
                                        {{0, 0, 200, 70}, {0, 0, 300, 114}}}) {
        const Rect r = detail::mapDialogRect(units, base);
        EXPECT_EQ((std::tuple{r.x, r.y, r.width, r.height}),
                  (std::tuple{pixels.x, pixels.y, pixels.width, pixels.height}))
            << units.x << "," << units.y;
    }
    EXPECT_EQ(detail::mulDiv(INT32_MAX, 4, 2), -1); // overflow
    // A dialog in dialog units places its controls through its own font.
    const Window d = dialog(Units::DialogUnits, 0, 200, 70);
    controlAdd(d, kLabel, "", 1526, "Select comport", nullptr, 10, 10, 130, 24, 0, 0);
    controlMove(d, 1526, 20, 8);
    const Rect moved = detail::mapDialogRect({20, 8, 130, 24}, detail::dialogBaseUnits(d));
    EXPECT_EQ(detail::controlWidget(d, 1526)->geometry(),
              QRect(moved.x, moved.y, moved.width, moved.height));
    EXPECT_EQ(windowClientRect(d).width,
              detail::mapDialogRect({0, 0, 200, 70}, detail::dialogBaseUnits(d)).width);
}

TEST_F(Toolkit, ComboboxListSelectionAndNotifications) {
    const Window d = dialog();
    const std::vector<std::string> list{"none", "COM 2", "", "COM 3"};
    controlAdd(d, kCombo, "", 1525, "", &list, 10, 10, 100, 60,
               WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 0);
    const std::vector<std::string> names{"b", "C", "a"};
    controlAdd(d, kCombo, "", 2040, "", &names, 10, 40, 100, 60, 0, 0); // default: sorted
    comboAdd(d, 2040, "B2");
    EXPECT_EQ(comboCount(d, 1525), 2) << "the list ends at the first empty string";
    std::vector<std::string> sorted;
    for (int i = 0; i < comboCount(d, 2040); ++i) {
        sorted.push_back(comboGetText(d, 2040, i));
    }
    EXPECT_EQ(sorted, (std::vector<std::string>{"a", "b", "B2", "C"}));
    Recorder r;
    std::string textAtPick;
    r.answer = [&](const Seen& s) {
        if (s.message == WM_COMMAND && hiWord(s.wParam) == CBN_SELENDOK) {
            textAtPick = comboGetText(d, 1525);
        }
        return 0;
    };
    showModeless(d, r.handler());
    comboSelect(d, 1525, 1);
    controlSetText(d, 1525, "COM 7"); // the edit field only, and not reported
    EXPECT_EQ((std::pair{controlGetText(d, 1525), comboSelection(d, 1525)}),
              (std::pair{std::string("COM 7"), 1}));
    EXPECT_TRUE(r.of(WM_COMMAND).empty());
    for (std::int32_t index : {-1, 2, 99}) {
        comboSelect(d, 1525, 1);
        comboSelect(d, 1525, index);
        EXPECT_EQ((std::pair{controlGetText(d, 1525), comboSelection(d, 1525)}),
                  (std::pair{std::string(), -1}))
            << index;
    }
    auto* combo = static_cast<QComboBox*>(detail::controlWidget(d, 1525));
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(textAtPick, "none");
    r.seen.clear();
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "5");
    EXPECT_EQ(r.args(WM_COMMAND),
              (Args{{makeWParam(1525, CBN_EDITCHANGE), controlHandle(d, 1525)}}));
    // Edit fields, unlike the combobox, report the program's text too.
    controlAdd(d, kEdit, "", 990, "", nullptr, 84, 117, 110, 15, 0x0200, 0x0800);
    r.seen.clear();
    controlSetText(d, 990, "Tone =  5  Dot =  42");
    QTest::keyClicks(detail::controlWidget(d, 990), "9");
    const Window edit = controlHandle(d, 990);
    EXPECT_EQ(r.args(WM_COMMAND),
              (Args{{makeWParam(990, EN_CHANGE), edit}, {makeWParam(990, EN_CHANGE), edit}}));
}

TEST_F(Toolkit, EnabledStatesOfMenusDialogsAndControlsAreSeparate) {
    const Window d = dialog();
    addMenu(d, "PTT", 2500, "PTT");
    controlAdd(d, kButton, "", 1002, "Turn On", nullptr, 7, 114, 60, 20, 0, 0);
    // A menu-only id is no control: control calls on it do nothing.
    controlEnable(d, 2500, false);
    EXPECT_TRUE(menuIsEnabled(d, 2500));
    EXPECT_FALSE(controlIsEnabled(d, 2500));
    EXPECT_EQ(controlHandle(d, 2500), 0);
    controlSetText(d, 2500, "x");
    EXPECT_EQ(controlGetText(d, 2500), "");
    menuEnable(d, 2500, false);
    EXPECT_FALSE(menuIsEnabled(d, 2500));
    auto* menuBar = detail::dialogWidget(d)->findChild<QMenuBar*>();
    EXPECT_FALSE(menuBar->actions().front()->menu()->actions().front()->isEnabled());
    // Controls keep their own state under a disabled dialog.
    controlEnable(d, kDialogItself, false);
    EXPECT_FALSE(controlIsEnabled(d, kDialogItself));
    EXPECT_TRUE(controlIsEnabled(d, 1002));
    controlEnable(d, 1002, false);
    controlEnable(d, kDialogItself, true);
    EXPECT_FALSE(controlIsEnabled(d, 1002));
}

TEST_F(Toolkit, HandlesTitlesAndPictures) {
    const Window first = dialog();
    controlAdd(first, kLabel, "", -1, "a", nullptr, 0, 0, 10, 10, 0, 0);
    controlAdd(first, kLabel, "", -1, "b", nullptr, 0, 20, 10, 10, 0, 0);
    const Window label = controlHandle(first, -1);
    EXPECT_EQ(controlGetText(first, -1), "a"); // the first of equal identifiers
    dialogEnd(first, 0);
    EXPECT_FALSE(windowExists(label));
    EXPECT_EQ(controlId(label), 0);
    const Window d = dialog(Units::Pixels, 0, 120, 40);
    EXPECT_GT(d, label) << "handles are never reused";
    showModeless(d, ignoring);
    windowSetTitle(d, "Message pattern file: a[*]b.txt");
    EXPECT_EQ(detail::dialogWidget(d)->windowHandle()->title(), "Message pattern file: a[*]b.txt");
    const std::string png = QDir::tempPath().toStdString() + "/vesk-toolkit-window.png";
    ASSERT_TRUE(windowGrab(d, png));
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(120, 40));
    EXPECT_FALSE(windowGrab(d, "/no/such/folder/window.png"));
    EXPECT_FALSE(windowGrab(4711000, png));
}

TEST_F(Toolkit, ColoursAreRecordedAndPainted) {
    const Window d = dialog(Units::Pixels, 0, 200, 100);
    controlAdd(d, kLabel, "", 2501, "", nullptr, 10, 10, 50, 14, 0, 0);
    controlAdd(d, kOption, "", 1113, "", nullptr, 10, 40, 16, 16, 0, 0);
    controlAdd(d, kCombo, "", 1525, "", nullptr, 100, 10, 90, 60,
               WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 0);
    EXPECT_EQ(controlGetColor(d, 2501), (std::pair{kColourNotSet, kColourNotSet}));
    for (const auto& [text, background] :
         {std::pair{rgb(0, 0, 255), kDefaultColour}, std::pair{kDefaultColour, kTransparent},
          std::pair{kColourNotSet, rgb(1, 128, 0)}}) {
        controlSetColor(d, 2501, text, background);
        EXPECT_EQ(controlGetColor(d, 2501), (std::pair{text, background}));
    }
    controlSetColor(d, 4711, rgb(1, 2, 3), rgb(4, 5, 6));
    EXPECT_EQ(controlGetColor(d, 4711), (std::pair{kColourNotSet, kColourNotSet}));
    controlSetColor(d, kDialogItself, kDefaultColour, rgb(139, 197, 197));
    controlSetColor(d, 1113, rgb(1, 128, 0), rgb(1, 128, 0));
    controlSetColor(d, 1525, rgb(255, 0, 255), rgb(0, 255, 255));

    const QImage shot = detail::dialogWidget(d)->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(5, 90)), QColor(139, 197, 197)); // dialog
    EXPECT_EQ(QColor(shot.pixel(12, 12)), QColor(1, 128, 0));    // label
    EXPECT_EQ(QColor(shot.pixel(11, 41)), QColor(1, 128, 0));    // option
    auto* edit = static_cast<QComboBox*>(detail::controlWidget(d, 1525))->lineEdit();
    const QPoint inEdit =
        edit->mapTo(detail::dialogWidget(d), QPoint(edit->width() - 3, edit->height() / 2));
    EXPECT_EQ(QColor(shot.pixel(inEdit)), QColor(0, 255, 255));
}

TEST_F(Toolkit, OwnerDrawnButtonShowsItsFaceAndStillClicks) {
    const Window d = dialog(Units::DialogUnits, 0, 200, 70);
    controlAdd(d, kButton, "", 255, "", nullptr, 150, 26, 40, 14,
               WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0);
    buttonSetFace(d, 255, "Cancel", rgb(255, 0, 0), rgb(255, 255, 0));
    Recorder r;
    showModeless(d, r.handler());
    QWidget* button = detail::controlWidget(d, 255);
    const QImage face = button->grab().toImage();
    EXPECT_EQ(QColor(face.pixel(3, 3)), QColor(255, 0, 0));
    EXPECT_NE(QColor(face.pixel(0, 0)), QColor(255, 0, 0)); // the edge
    int yellow = 0; // only the text brings green into the red face
    for (int i = 0; i < face.width() * face.height(); ++i) {
        yellow += qGreen(face.pixel(i % face.width(), i / face.width())) > 200 ? 1 : 0;
    }
    EXPECT_GT(yellow, 0);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(r.args(WM_COMMAND), (Args{{makeWParam(255, BN_CLICKED), controlHandle(d, 255)}}));
}

TEST_F(Toolkit, MouseOverLabelsAndGraphicsReachesTheDialogInClientCoordinates) {
    const Window d = dialog(Units::Pixels, 0, 300, 200);
    addMenu(d, "File", 1);
    controlAdd(d, kLabel, "", -1, "Move window", nullptr, 30, 40, 100, 14, 0, 0);
    controlAdd(d, kGraphic, "", 500, "", nullptr, 0, 100, 3604, 100, 0, 0);
    Recorder r;
    showModeless(d, r.handler());
    // Straight to the label: it passes the event on to the client area.
    QTest::mouseClick(detail::controlWidget(d, -1), Qt::LeftButton, {}, QPoint(5, 6));
    // Through the window, as the platform delivers it: the graphic area is not hit at all.
    QWindow* window = detail::dialogWidget(d)->windowHandle();
    const int barHeight = detail::dialogWidget(d)->findChild<QMenuBar*>()->height();
    QTest::mouseClick(window, Qt::RightButton, {}, QPoint(61, barHeight + 130));
    QTest::mouseMove(window, QPoint(70, barHeight + 45)); // no button held, over the label

    const auto down = r.of(WM_LBUTTONDOWN);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].lParam, makeMouseLParam(35, 46));
    EXPECT_EQ(down[0].wParam & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(r.of(WM_LBUTTONUP).size(), 1u);
    const auto right = r.of(WM_RBUTTONDOWN);
    ASSERT_EQ(right.size(), 1u);
    EXPECT_EQ(right[0].lParam, makeMouseLParam(61, 130));
    ASSERT_FALSE(r.of(WM_MOUSEMOVE).empty());
    EXPECT_EQ(r.of(WM_MOUSEMOVE).back().lParam, makeMouseLParam(70, 45));
    EXPECT_EQ(r.of(WM_MOUSEMOVE).back().wParam, 0u);
}

QPoint partCentre(QScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar).center();
}

TEST_F(Toolkit, ScrollBarReportsActionsAndLeavesItsThumbToTheHandler) {
    const Window d = dialog();
    controlAdd(d, kCustom, "SCROLLBAR", 1003, "", nullptr, 7, 161, 140, 15,
               WS_CHILD | WS_VISIBLE | SBS_HORZ, 0);
    scrollSetRange(d, 1003, 0, 100, true);
    scrollSetPos(d, 1003, 90, true);
    bool follow = false;
    Recorder r;
    r.answer = [&](const Seen& s) {
        if (s.message == WM_HSCROLL && follow && loWord(s.wParam) == SB_LINERIGHT) {
            scrollSetPos(d, 1003, scrollGetPos(d, 1003) + 1, true);
        }
        return 0;
    };
    showModeless(d, r.handler());
    auto* bar = static_cast<QScrollBar*>(detail::controlWidget(d, 1003));
    const QPoint arrow = partCentre(bar, QStyle::SC_ScrollBarAddLine);
    QTest::mousePress(bar, Qt::LeftButton, {}, arrow);
    EXPECT_EQ(bar->value(), 90) << "the thumb moved by itself";
    QTest::mouseRelease(bar, Qt::LeftButton, {}, arrow);
    EXPECT_EQ(scrollGetPos(d, 1003), 90);
    follow = true;
    QTest::mouseClick(bar, Qt::LeftButton, {}, arrow);
    EXPECT_EQ(scrollGetPos(d, 1003), 91);
    EXPECT_EQ(bar->value(), 91);
    QTest::mouseClick(bar, Qt::LeftButton, {}, partCentre(bar, QStyle::SC_ScrollBarSubPage));
    EXPECT_EQ(bar->value(), 91);
    std::vector<std::uint32_t> codes;
    for (const Seen& s : r.of(WM_HSCROLL)) {
        codes.push_back(loWord(s.wParam));
        EXPECT_EQ(s.lParam, controlHandle(d, 1003));
    }
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{SB_LINERIGHT, SB_ENDSCROLL, SB_LINERIGHT,
                                                 SB_ENDSCROLL, SB_PAGELEFT, SB_ENDSCROLL}));

    // A drag reports the dragged position; released, the thumb goes back where the program left it.
    r.seen.clear();
    follow = false;
    const QPoint thumb = partCentre(bar, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(bar, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(bar, thumb - QPoint(40, 0));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, thumb - QPoint(40, 0));
    const auto drag = r.of(WM_HSCROLL);
    ASSERT_GE(drag.size(), 3u);
    EXPECT_EQ(loWord(drag.front().wParam), SB_THUMBTRACK);
    EXPECT_LT(hiWord(drag.front().wParam), 91u);
    EXPECT_EQ(loWord(drag[drag.size() - 2].wParam), SB_THUMBPOSITION);
    EXPECT_EQ(loWord(drag.back().wParam), SB_ENDSCROLL);
    EXPECT_EQ(scrollGetPos(d, 1003), 91);
    EXPECT_EQ(bar->value(), 91);
}

TEST_F(Toolkit, TrackBarMovesItsOwnThumbBeforeReporting) {
    const Window d = dialog(Units::Pixels, 0, 800, 200);
    controlAdd(d, kCustom, "msctls_trackbar32", 1000, "", nullptr, 420, 161, 362, 25,
               WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0);
    scrollSetRange(d, 1000, 0, 3604, true);
    scrollSetPos(d, 1000, 1000, true);
    std::vector<std::pair<std::uint32_t, std::int32_t>> seen; // code, position at the time
    showModeless(d, [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
        if (m == WM_HSCROLL && controlId(lp) == 1000) {
            seen.emplace_back(loWord(wp), scrollGetPos(d, 1000));
        }
        return 0;
    });
    auto* slider = static_cast<QSlider*>(detail::controlWidget(d, 1000));
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd); // a page is a fifth of the range
    slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, std::int32_t>>{{SB_PAGERIGHT, 1720},
                                                                         {SB_LINELEFT, 1719}}));
    EXPECT_EQ(slider->value(), 1719);
}

TEST_F(Toolkit, TimersTickUntilKilledRestartedOrTheDialogEnds) {
    const Window d = dialog();
    int ticks[2] = {0, 0};
    showModeless(d, [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_TIMER && (wp == 3 || wp == 4)) {
            ++ticks[wp - 3];
        }
        return 0;
    });
    timerSet(d, 3, 5);
    timerSet(d, 4, 5);
    QTest::qWait(60);
    EXPECT_GE(ticks[0], 3);
    timerKill(d, 3);
    timerSet(d, 4, 100000); // setting a running timer restarts it with the new period
    const int before[2] = {ticks[0], ticks[1]};
    QTest::qWait(40);
    EXPECT_EQ(ticks[0], before[0]);
    EXPECT_EQ(ticks[1], before[1]);
    timerSet(d, 4, 5);
    dialogEnd(d, 0);
    QTest::qWait(30);
    EXPECT_EQ(ticks[1], before[1]);
    EXPECT_FALSE(timerActive(d, 4) || timerActive(d, 3));
}

} // namespace
} // namespace vesk::ui
