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
#include <QPushButton>
#include <QRadioButton>
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
    Window window = 0;
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::int32_t lParam = 0;
};

// Records what a handler receives; `answer` decides the result (0 when not given).
struct Recorder {
    std::vector<Seen> seen;
    std::function<std::int32_t(const Seen&)> answer;

    Handler handler() {
        return [this](Window w, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
            const Seen s{w, m, wp, lp};
            seen.push_back(s);
            return answer ? answer(s) : 0;
        };
    }
    std::vector<std::uint32_t> messages(std::uint32_t only = 0) const {
        std::vector<std::uint32_t> out;
        for (const Seen& s : seen) {
            if (only == 0 || s.message == only) {
                out.push_back(s.message);
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

// A handler that leaves everything to the default handling.
const Handler ignoring = [](Window, std::uint32_t, std::uint32_t, std::int32_t) {
    return 0;
};

void later(int milliseconds, std::function<void()> step) {
    QTimer::singleShot(milliseconds, qApp, std::move(step));
}

class Toolkit : public ::testing::Test {
protected:
    Window dialog(Units units = Units::Pixels, Window owner = 0, std::int32_t w = 300,
                  std::int32_t h = 200, std::uint32_t style = 0) {
        const Window d = dialogNew(units, owner, "Test", kCentred, kCentred, w, h, style, 0);
        created_.push_back(d);
        return d;
    }
    // Ends every dialog left over after `milliseconds` so a broken modal run fails, not hangs.
    void watchdog(int milliseconds) {
        later(milliseconds, [this] {
            for (Window d : created_) {
                if (windowExists(d)) {
                    ADD_FAILURE() << "watchdog ended dialog " << d;
                    dialogEnd(d, -1000);
                }
            }
        });
    }
    // The handlers capture the test's locals: once the test body is over they must not run.
    Handler guarded(Handler handler) {
        return [this, handler](Window w, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
            return running_ ? handler(w, m, wp, lp) : 0;
        };
    }
    void showModeless(Window d, Handler handler) { dialogShowModeless(d, guarded(handler)); }
    void showModal(Window d, Handler handler, std::int32_t* endCode) {
        dialogShowModal(d, guarded(handler), endCode);
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

// --- the end protocol ---------------------------------------------------------------------------

TEST_F(Toolkit, EndingOnCloseSeesTheSecondCloseAndDeliversTheCode) {
    const Window d = dialog();
    bool closing = false;
    Recorder r;
    r.answer = [&](const Seen& s) -> std::int32_t {
        if (s.message == WM_INITDIALOG) {
            postMessage(d, WM_CLOSE, 0, 0);
            return 1;
        }
        if (s.message == WM_CLOSE) {
            if (!closing) {
                closing = true;
                dialogEnd(d, 7);
            }
            return 1;
        }
        return 0;
    };
    std::int32_t endCode = -1;
    watchdog(5000);
    showModal(d, r.handler(), &endCode);
    EXPECT_EQ(endCode, 7);
    EXPECT_FALSE(windowExists(d));
    EXPECT_EQ(r.messages(),
              (std::vector<std::uint32_t>{WM_INITDIALOG, WM_SIZE, WM_CLOSE, WM_CLOSE, WM_DESTROY}));
}

TEST_F(Toolkit, TheCloseBoxEndsWithZeroUnlessTheHandlerKeepsTheDialog) {
    struct Case {
        std::int32_t answerToClose;
        bool stillOpenAfterClose;
    };
    for (const Case c : {Case{0, false}, Case{1, true}}) {
        SCOPED_TRACE(c.answerToClose);
        const Window d = dialog();
        Recorder r;
        r.answer = [&](const Seen& s) {
            return s.message == WM_SYSCOMMAND ? c.answerToClose : 0;
        };
        bool openAfterClose = false;
        later(20, [&] {
            detail::dialogWidget(d)->close();
            openAfterClose = windowExists(d);
            if (openAfterClose) {
                dialogEnd(d, 3);
            }
        });
        watchdog(5000);
        std::int32_t endCode = -1;
        showModal(d, r.handler(), &endCode);
        EXPECT_EQ(openAfterClose, c.stillOpenAfterClose);
        EXPECT_EQ(endCode, c.stillOpenAfterClose ? 3 : 0);
        ASSERT_EQ(r.of(WM_SYSCOMMAND).size(), 1u);
        EXPECT_EQ(r.of(WM_SYSCOMMAND)[0].wParam, SC_CLOSE);
        EXPECT_EQ(r.of(WM_DESTROY).size(), 1u);
    }
}

TEST_F(Toolkit, DefaultCloseMasksTheLowFourBitsOfTheSystemCommand) {
    for (std::uint32_t command : {SC_CLOSE | 0x2u, SC_CLOSE | 0xFu, SC_CLOSE + 0x10u}) {
        const Window d = dialog();
        showModeless(d, ignoring);
        EXPECT_EQ(sendMessage(d, WM_SYSCOMMAND, command, 0), command == SC_CLOSE + 0x10u ? 0 : 1);
        EXPECT_EQ(windowExists(d), command == SC_CLOSE + 0x10u) << command;
    }
}

TEST_F(Toolkit, InitialisationAndSizeComeWhileHiddenWithTheClientSize) {
    const Window d = dialog(Units::Pixels, 0, 237, 60);
    bool visibleDuringSetup = true;
    Recorder r;
    r.answer = [&](const Seen& s) {
        if (s.message == WM_INITDIALOG || s.message == WM_SIZE) {
            visibleDuringSetup = visibleDuringSetup && detail::dialogWidget(d)->isVisible();
        }
        return 0;
    };
    showModeless(d, r.handler());
    ASSERT_GE(r.seen.size(), 2u);
    EXPECT_EQ(r.seen[0].message, WM_INITDIALOG);
    EXPECT_EQ(r.seen[0].wParam, static_cast<std::uint32_t>(d));
    EXPECT_EQ(r.seen[1].message, WM_SIZE);
    EXPECT_EQ(r.seen[1].wParam, SIZE_RESTORED);
    EXPECT_EQ(r.seen[1].lParam, static_cast<std::int32_t>(makeWParam(237, 60)));
    EXPECT_FALSE(visibleDuringSetup);
    EXPECT_TRUE(detail::dialogWidget(d)->isVisible());
}

// --- routing ------------------------------------------------------------------------------------

TEST_F(Toolkit, ControlAndItemHandlersRunBeforeTheDialogHandler) {
    struct Case {
        std::int32_t firstResult;
        bool dialogSees;
    };
    for (const Case c : {Case{0, true}, Case{5, false}}) {
        SCOPED_TRACE(c.firstResult);
        const Window d = dialog();
        std::vector<std::string> order;
        const Handler own = [&](Window, std::uint32_t, std::uint32_t, std::int32_t) {
            order.push_back("own");
            return c.firstResult;
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
        const Window scroll = controlHandle(d, 1003);
        const std::vector<std::string> expected = c.dialogSees
                                                      ? std::vector<std::string>{"own", "dialog"}
                                                      : std::vector<std::string>{"own"};
        for (auto [message, wParam, lParam] :
             {std::tuple{WM_COMMAND, makeWParam(4000, BN_CLICKED), button},
              std::tuple{WM_HSCROLL, makeWParam(SB_LINERIGHT, 0), scroll},
              std::tuple{WM_COMMAND, makeWParam(2000, 0), 0}}) {
            order.clear();
            EXPECT_EQ(sendMessage(d, message, wParam, lParam), c.firstResult);
            EXPECT_EQ(order, expected) << message << " " << wParam;
        }
        // A menu item's handler is not a control's: a command with a control handle skips it.
        order.clear();
        sendMessage(d, WM_COMMAND, makeWParam(2000, 0), button);
        EXPECT_EQ(order.front(), "own");
    }
}

TEST_F(Toolkit, ClicksAndMenuChoicesArriveAsCommands) {
    const Window d = dialog();
    controlAdd(d, kButton, "", 801, "Apply", nullptr, 10, 10, 50, 20, 0, 0);
    controlAdd(d, kOption, "", 1112, "", nullptr, 10, 40, 16, 16, 0, 0);
    const Menu bar = menuNew(true);
    const Menu file = menuNew(false);
    menuAdd(file, "Open pattern file", 650, 0, true);
    menuAdd(bar, "File", 0, file, true);
    menuAttach(d, bar);
    Recorder r;
    showModeless(d, r.handler());

    QTest::mouseClick(detail::controlWidget(d, 801), Qt::LeftButton);
    QTest::mouseClick(detail::controlWidget(d, 1112), Qt::LeftButton);
    auto* menuBar = detail::dialogWidget(d)->findChild<QMenuBar*>();
    ASSERT_NE(menuBar, nullptr);
    QAction* open = menuBar->actions().front()->menu()->actions().front();
    open->trigger();
    EXPECT_EQ(r.of(WM_COMMAND).size(), 2u) << "menu commands are queued";
    processEvents();

    const auto commands = r.of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].wParam, makeWParam(801, BN_CLICKED));
    EXPECT_EQ(commands[0].lParam, controlHandle(d, 801));
    EXPECT_EQ(commands[1].wParam, makeWParam(1112, BN_CLICKED));
    EXPECT_EQ(commands[1].lParam, controlHandle(d, 1112));
    EXPECT_TRUE(controlGetCheck(d, 1112));
    EXPECT_EQ(commands[2].wParam, makeWParam(650, 0));
    EXPECT_EQ(commands[2].lParam, 0);

    // A click from code is a click; a disabled button takes none.
    r.seen.clear();
    buttonClick(d, 801);
    controlEnable(d, 801, false);
    buttonClick(d, 801);
    ASSERT_EQ(r.of(WM_COMMAND).size(), 1u);
    EXPECT_EQ(r.of(WM_COMMAND)[0].lParam, controlHandle(d, 801));
}

TEST_F(Toolkit, PostedMessagesWaitForTheLoopAndDieWithTheirDialog) {
    const Window d = dialog();
    Recorder r;
    showModeless(d, r.handler());
    r.seen.clear();
    postMessage(d, 0x8001, 1, 2);
    EXPECT_TRUE(r.seen.empty());
    processEvents();
    ASSERT_EQ(r.seen.size(), 1u);
    EXPECT_EQ(r.seen[0].message, 0x8001u);
    EXPECT_EQ(r.seen[0].wParam, 1u);
    EXPECT_EQ(r.seen[0].lParam, 2);

    postMessage(d, 0x8002, 0, 0);
    dialogEnd(d, 0);
    r.seen.clear();
    processEvents();
    EXPECT_TRUE(r.of(0x8002).empty());
}

// --- nested modal runs --------------------------------------------------------------------------

TEST_F(Toolkit, AnInnerModalRunKeepsDeliveringTheOuterDialogsMessages) {
    const Window outer = dialog();
    const Window inner = dialog();
    int outerTicksDuringInner = 0;
    bool postedReachedOuterDuringInner = false;
    bool innerRunning = false;
    std::int32_t innerCode = -1;
    std::vector<std::string> story;

    const Handler innerHandler = [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            postMessage(outer, 0x8100, 0, 0);
        } else if (m == WM_TIMER && wp == 9 && outerTicksDuringInner >= 3 &&
                   postedReachedOuterDuringInner) {
            dialogEnd(inner, 12);
        }
        return 0;
    };
    const Handler outerHandler = [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            timerSet(outer, 0, 5);
            postMessage(outer, 0x8000, 0, 0);
        } else if (m == 0x8000) {
            story.push_back("inner starts");
            innerRunning = true;
            timerSet(inner, 9, 5);
            showModal(inner, innerHandler, &innerCode);
            innerRunning = false;
            story.push_back("inner returned");
            dialogEnd(outer, 42);
        } else if (m == WM_TIMER && wp == 0 && innerRunning) {
            ++outerTicksDuringInner;
        } else if (m == 0x8100 && innerRunning) {
            postedReachedOuterDuringInner = true;
        }
        return 0;
    };
    watchdog(5000);
    std::int32_t outerCode = -1;
    showModal(outer, outerHandler, &outerCode);
    EXPECT_EQ(innerCode, 12);
    EXPECT_EQ(outerCode, 42);
    EXPECT_GE(outerTicksDuringInner, 3);
    EXPECT_TRUE(postedReachedOuterDuringInner);
    EXPECT_EQ(story, (std::vector<std::string>{"inner starts", "inner returned"}));
}

TEST_F(Toolkit, AModalDialogDisablesItsOwnerOnlyWhileItRuns) {
    const Window owner = dialog();
    const Window free = dialog();
    showModeless(owner, ignoring);
    showModeless(free, ignoring);
    const Window owned = dialog(Units::Pixels, owner);
    const Window ownerless = dialog();
    bool ownerEnabledDuringOwned = true;
    bool ownerEnabledDuringOwnerless = false;
    bool ownedItselfEnabled = false;
    later(20, [&] {
        ownerEnabledDuringOwned = controlIsEnabled(owner, kDialogItself);
        ownedItselfEnabled = detail::dialogWidget(owned)->isEnabled();
        dialogEnd(owned, 0);
    });
    watchdog(5000);
    showModal(owned, ignoring, nullptr);
    EXPECT_FALSE(ownerEnabledDuringOwned);
    EXPECT_TRUE(ownedItselfEnabled);
    EXPECT_TRUE(controlIsEnabled(owner, kDialogItself));

    later(20, [&] {
        ownerEnabledDuringOwnerless =
            controlIsEnabled(owner, kDialogItself) && controlIsEnabled(free, kDialogItself);
        dialogEnd(ownerless, 0);
    });
    showModal(ownerless, ignoring, nullptr);
    EXPECT_TRUE(ownerEnabledDuringOwnerless);
}

TEST_F(Toolkit, EndingAnOwnerDestroysTheWindowsItOwnsFirst) {
    const Window owner = dialog();
    const Window owned = dialog(Units::Pixels, owner);
    std::vector<Window> destroyed;
    const auto note = [&](Window w, std::uint32_t m, std::uint32_t, std::int32_t) {
        if (m == WM_DESTROY) {
            destroyed.push_back(w);
        }
        return 0;
    };
    showModeless(owner, note);
    showModeless(owned, note);
    dialogEnd(owner, 0);
    EXPECT_EQ(destroyed, (std::vector<Window>{owned, owner}));
    EXPECT_FALSE(windowExists(owned));
}

// --- accelerators and dialog keys ---------------------------------------------------------------

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
        }
        if (s.message == WM_COMMAND && loWord(s.wParam) == 255) {
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
    watchdog(5000);
    std::int32_t code = -1;
    showModal(box, boxLog.handler(), &code);
    EXPECT_EQ(code, 901);
    const auto commands = boxLog.of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].wParam, makeWParam(254, 1));
    EXPECT_EQ(commands[0].lParam, 0);
    EXPECT_EQ(commands[1].wParam, makeWParam(255, 1));
    EXPECT_TRUE(mainLog.of(WM_COMMAND).empty() ||
                std::none_of(mainLog.seen.begin(), mainLog.seen.end(), [](const Seen& s) {
                    return s.message == WM_COMMAND && loWord(s.wParam) <= IDCANCEL;
                }));

    // With the box gone no accelerator is left: Enter in the main window does nothing of it.
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
    watchdog(5000);
    showModal(d, log.handler(), nullptr);
    const auto commands = log.of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].wParam, makeWParam(IDOK, BN_CLICKED));
    EXPECT_EQ(commands[0].lParam, 0);
    EXPECT_EQ(commands[1].wParam, makeWParam(4321, BN_CLICKED));
    EXPECT_EQ(commands[1].lParam, ok);
    EXPECT_EQ(commands[2].wParam, makeWParam(IDCANCEL, BN_CLICKED));
    EXPECT_TRUE(otherLog.of(WM_COMMAND).empty());
}

// --- geometry -----------------------------------------------------------------------------------

TEST_F(Toolkit, PixelClientAreaIsExactBelowAMenuBar) {
    const Window d = dialogNew(Units::Pixels, 0, "VESK", kCentred, kCentred, 810, 255,
                               WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
    created_.push_back(d);
    const Menu bar = menuNew(true);
    for (const char* title : {"File", "Soundcard", "PTT"}) {
        const Menu popup = menuNew(false);
        menuAdd(popup, "Item", 600, 0, true);
        menuAdd(bar, title, 0, popup, true);
    }
    const Menu help = menuNew(false);
    menuAdd(help, "About", 210, 0, true);
    menuAdd(help, "Help", 200, 0, true);
    menuAdd(bar, "Help", 0, help, true, {}, true);
    menuAttach(d, bar);
    showModeless(d, ignoring);

    const Rect client = windowClientRect(d);
    EXPECT_EQ(client.width, 810);
    EXPECT_EQ(client.height, 255);
    QWidget* window = detail::dialogWidget(d);
    auto* menuBar = window->findChild<QMenuBar*>();
    ASSERT_NE(menuBar, nullptr);
    EXPECT_GT(menuBar->height(), 0);
    EXPECT_EQ(window->height(), 255 + menuBar->height());
    EXPECT_EQ(window->width(), 810);
    // "Help" stands at the right end of the bar.
    QWidget* corner = menuBar->cornerWidget(Qt::TopRightCorner);
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(corner->geometry().right(), menuBar->width() - 1);
    EXPECT_EQ(static_cast<QMenuBar*>(corner)->actions().front()->text(), "Help");
}

TEST_F(Toolkit, PixelDialogStandsAtItsOwnersClientOrigin) {
    const Window owner = dialog(Units::Pixels, 0, 400, 300);
    const Menu bar = menuNew(true);
    const Menu popup = menuNew(false);
    menuAdd(popup, "Item", 1, 0, true);
    menuAdd(bar, "File", 0, popup, true);
    menuAttach(owner, bar);
    const Window d = dialogNew(Units::Pixels, owner, "Select soundcard", 100, 100, 237, 60,
                               WS_SYSMENU, WS_EX_TOOLWINDOW);
    created_.push_back(d);
    QWidget* ownerClient =
        detail::dialogWidget(owner)->childAt(5, detail::dialogWidget(owner)->height() - 5);
    ASSERT_NE(ownerClient, nullptr);
    const QPoint origin = ownerClient->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(detail::dialogWidget(d)->pos(), origin + QPoint(100, 100));
    EXPECT_EQ(windowClientRect(d).width, 237);
    EXPECT_EQ(windowClientRect(d).height, 60);
    EXPECT_TRUE(detail::dialogWidget(d)->windowFlags().testFlag(Qt::Tool));
}

TEST_F(Toolkit, DialogUnitsConvertEdgeByEdgeWithHalvesAwayFromZero) {
    struct Case {
        Rect units;
        Rect pixels;
    };
    const detail::BaseUnits base{6, 13};
    for (const Case& c :
         {Case{{10, 42, 100, 60}, {15, 68, 150, 98}}, Case{{150, 10, 40, 14}, {225, 16, 60, 23}},
          Case{{1, 4, 1, 4}, {2, 7, 1, 6}},     // 1.5 -> 2, 6.5 -> 7, 13
          Case{{-1, -4, 2, 4}, {-2, -7, 4, 7}}, // -1.5 -> -2, -6.5 -> -7
          Case{{0, 0, 200, 70}, {0, 0, 300, 114}}}) {
        const Rect r = detail::mapDialogRect(c.units, base);
        EXPECT_EQ(r.x, c.pixels.x) << c.units.x;
        EXPECT_EQ(r.y, c.pixels.y) << c.units.y;
        EXPECT_EQ(r.width, c.pixels.width) << c.units.width;
        EXPECT_EQ(r.height, c.pixels.height) << c.units.height;
    }
    EXPECT_EQ(detail::mulDiv(7, 3, 0), -1);
    EXPECT_EQ(detail::mulDiv(INT32_MAX, 4, 2), -1); // overflow
    EXPECT_EQ(detail::mulDiv(-7, 1, -2), 4);        // 3.5 -> 4
}

TEST_F(Toolkit, DialogUnitDialogPlacesItsControlsThroughItsFontsBaseUnits) {
    const Window d = dialog(Units::DialogUnits, 0, 200, 70);
    controlAdd(d, kLabel, "", 1526, "Select comport for PTT control", nullptr, 10, 10, 130, 24,
               WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0);
    const detail::BaseUnits base = detail::dialogBaseUnits(d);
    ASSERT_GT(base.x, 0);
    ASSERT_GT(base.y, 0);
    const Rect client = detail::mapDialogRect({0, 0, 200, 70}, base);
    EXPECT_EQ(windowClientRect(d).width, client.width);
    EXPECT_EQ(windowClientRect(d).height, client.height);
    const Rect label = detail::mapDialogRect({10, 10, 130, 24}, base);
    EXPECT_EQ(detail::controlWidget(d, 1526)->geometry(),
              QRect(label.x, label.y, label.width, label.height));
    const Rect kept = controlGeometry(d, 1526);
    EXPECT_EQ((std::tuple{kept.x, kept.y, kept.width, kept.height}), (std::tuple{10, 10, 130, 24}));
    controlMove(d, 1526, 20, 8);
    const Rect moved = detail::mapDialogRect({20, 8, 130, 24}, base);
    EXPECT_EQ(detail::controlWidget(d, 1526)->pos(), QPoint(moved.x, moved.y));
}

// --- controls -----------------------------------------------------------------------------------

TEST_F(Toolkit, ComboboxTakesTheListUpToTheFirstEmptyStringInOrderOrSorted) {
    const Window d = dialog();
    const std::vector<std::string> list{"none", "COM 2", "", "COM 3"};
    controlAdd(d, kCombo, "", 1525, "", &list, 10, 10, 100, 60,
               WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0);
    const std::vector<std::string> names{"b", "C", "a"};
    controlAdd(d, kCombo, "", 2040, "", &names, 10, 40, 100, 60, 0, 0); // default: sorted
    EXPECT_EQ(comboCount(d, 1525), 2);
    EXPECT_EQ(comboGetText(d, 1525, 0), "none");
    EXPECT_EQ(comboGetText(d, 1525, 1), "COM 2");
    EXPECT_EQ(comboGetText(d, 1525, 2), "");
    comboAdd(d, 2040, "B2");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(comboGetText(d, 2040, i),
                  (std::vector<std::string>{"a", "b", "B2", "C"}[static_cast<std::size_t>(i)]));
    }

    EXPECT_EQ(comboSelection(d, 1525), -1);
    EXPECT_EQ(comboGetText(d, 1525), "");
    comboSelect(d, 1525, 1);
    EXPECT_EQ(comboSelection(d, 1525), 1);
    EXPECT_EQ(controlGetText(d, 1525), "COM 2");
    controlSetText(d, 1525, "COM 7"); // the edit field only
    EXPECT_EQ(controlGetText(d, 1525), "COM 7");
    EXPECT_EQ(comboSelection(d, 1525), 1);
    for (std::int32_t index : {-1, 2, 99}) {
        comboSelect(d, 1525, 1);
        comboSelect(d, 1525, index);
        EXPECT_EQ(comboSelection(d, 1525), -1) << index;
        EXPECT_EQ(controlGetText(d, 1525), "") << index;
    }
}

TEST_F(Toolkit, ComboboxReportsPicksAndTypingButNotTheProgramsText) {
    const Window d = dialog();
    const std::vector<std::string> list{"none", "COM 1", "COM 2"};
    controlAdd(d, kCombo, "", 1525, "", &list, 10, 10, 100, 60,
               WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 0);
    Recorder r;
    std::string textAtPick;
    r.answer = [&](const Seen& s) {
        if (s.message == WM_COMMAND && hiWord(s.wParam) == CBN_SELENDOK) {
            textAtPick = comboGetText(d, 1525);
        }
        return 0;
    };
    showModeless(d, r.handler());
    auto* combo = static_cast<QComboBox*>(detail::controlWidget(d, 1525));
    controlSetText(d, 1525, "COM 3");
    EXPECT_TRUE(r.of(WM_COMMAND).empty());
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(textAtPick, "none");
    r.seen.clear();
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "5");
    const auto commands = r.of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, makeWParam(1525, CBN_EDITCHANGE));
    EXPECT_EQ(commands[0].lParam, controlHandle(d, 1525));
    EXPECT_EQ(controlGetText(d, 1525), "5");
}

TEST_F(Toolkit, EditFieldsReportEveryChangeOfTheirText) {
    const Window d = dialog();
    controlAdd(d, kEdit, "", 990, "", nullptr, 84, 117, 110, 15, 0x0200, 0x0800);
    controlAdd(d, kEdit, "", 800, "Dot length (ms)", nullptr, 10, 10, 60, 20,
               WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
    Recorder r;
    showModeless(d, r.handler());
    controlSetText(d, 990, "Tone =  5  Dot =  42");
    QTest::keyClicks(detail::controlWidget(d, 800), "9");
    const auto commands = r.of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].wParam, makeWParam(990, EN_CHANGE));
    EXPECT_EQ(commands[1].wParam, makeWParam(800, EN_CHANGE));
    EXPECT_EQ(controlGetText(d, 990), "Tone =  5  Dot =  42");
    EXPECT_FALSE(static_cast<QLineEdit*>(detail::controlWidget(d, 990))->hasFrame());
    EXPECT_TRUE(static_cast<QLineEdit*>(detail::controlWidget(d, 800))->hasFrame());
}

TEST_F(Toolkit, MissingIdentifiersDoNothingAndMenuOnlyIdsAreNotControls) {
    const Window d = dialog();
    const Menu bar = menuNew(true);
    const Menu ptt = menuNew(false);
    menuAdd(ptt, "PTT", 2500, 0, true);
    menuAdd(bar, "PTT", 0, ptt, true);
    menuAttach(d, bar);
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
    menuEnable(d, 2500, true);
    EXPECT_TRUE(menuIsEnabled(d, 2500));
}

TEST_F(Toolkit, ControlsKeepTheirOwnEnabledStateUnderADisabledDialog) {
    const Window d = dialog();
    controlAdd(d, kButton, "", 1002, "Turn On", nullptr, 7, 114, 60, 20, 0, 0);
    controlEnable(d, kDialogItself, false);
    EXPECT_FALSE(controlIsEnabled(d, kDialogItself));
    EXPECT_TRUE(controlIsEnabled(d, 1002));
    controlEnable(d, 1002, false);
    controlEnable(d, kDialogItself, true);
    EXPECT_FALSE(controlIsEnabled(d, 1002));
}

TEST_F(Toolkit, ProgramMayClearAnOptionAndClicksCheckExclusively) {
    const Window d = dialog();
    for (std::int32_t id : {1111, 1112, 1113}) {
        controlAdd(d, kOption, "", id, "", nullptr, 10 + (id - 1111) * 35, 10, 16, 16, 0, 0);
    }
    showModeless(d, ignoring);
    controlSetCheck(d, 1111, true);
    QTest::mouseClick(detail::controlWidget(d, 1113), Qt::LeftButton);
    EXPECT_FALSE(controlGetCheck(d, 1111));
    EXPECT_TRUE(controlGetCheck(d, 1113));
    controlSetCheck(d, 1113, false);
    EXPECT_FALSE(controlGetCheck(d, 1113));
    EXPECT_FALSE(controlGetCheck(d, 1111));
}

TEST_F(Toolkit, HandlesAreNeverReusedAndNameTheirControls) {
    const Window first = dialog();
    controlAdd(first, kLabel, "", -1, "a", nullptr, 0, 0, 10, 10, 0, 0);
    controlAdd(first, kLabel, "", -1, "b", nullptr, 0, 20, 10, 10, 0, 0);
    const Window label = controlHandle(first, -1);
    EXPECT_EQ(controlGetText(first, -1), "a"); // the first of equal identifiers
    EXPECT_EQ(controlId(label), -1);
    EXPECT_TRUE(windowExists(label));
    dialogEnd(first, 0);
    EXPECT_FALSE(windowExists(label));
    EXPECT_EQ(controlId(label), 0);
    const Window second = dialog();
    EXPECT_GT(second, label);
    EXPECT_EQ(controlId(0), 0);
}

TEST_F(Toolkit, TitlesAreShownAsWritten) {
    const Window d = dialog();
    showModeless(d, ignoring);
    windowSetTitle(d, "Message pattern file: a[*]b.txt");
    EXPECT_EQ(windowGetTitle(d), "Message pattern file: a[*]b.txt");
    EXPECT_EQ(detail::dialogWidget(d)->windowHandle()->title(), "Message pattern file: a[*]b.txt");
}

TEST_F(Toolkit, IconAndPictureOfTheWindow) {
    const QString folder = QDir::tempPath() + "/vesk-toolkit-test";
    QDir().mkpath(folder);
    QImage icon(16, 16, QImage::Format_RGB32);
    icon.fill(Qt::red);
    ASSERT_TRUE(icon.save(folder + "/icon.png"));
    const Window d = dialog(Units::Pixels, 0, 120, 40);
    windowSetIcon(d, {(folder + "/missing.png").toStdString()});
    EXPECT_TRUE(detail::dialogWidget(d)->windowIcon().isNull());
    windowSetIcon(d,
                  {(folder + "/icon.png").toStdString(), (folder + "/missing.png").toStdString()});
    EXPECT_FALSE(detail::dialogWidget(d)->windowIcon().isNull());

    const std::string png = (folder + "/window.png").toStdString();
    ASSERT_TRUE(windowGrab(d, png));
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(120, 40));
    EXPECT_FALSE(windowGrab(d, (folder + "/no/such/folder/window.png").toStdString()));
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
    EXPECT_EQ(controlGetColor(d, kDialogItself), (std::pair{kDefaultColour, rgb(139, 197, 197)}));

    const QImage shot = detail::dialogWidget(d)->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(5, 90)), QColor(139, 197, 197)); // dialog background
    EXPECT_EQ(QColor(shot.pixel(12, 12)), QColor(1, 128, 0));    // label background
    EXPECT_EQ(QColor(shot.pixel(11, 41)), QColor(1, 128, 0));    // option background
    auto* edit = static_cast<QComboBox*>(detail::controlWidget(d, 1525))->lineEdit();
    const QPoint inEdit =
        edit->mapTo(detail::dialogWidget(d), QPoint(edit->width() - 3, edit->height() / 2));
    EXPECT_EQ(QColor(shot.pixel(inEdit)), QColor(0, 255, 255)); // edit field of the combobox
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
    bool textDrawn = false;
    for (int y = 0; y < face.height(); ++y) {
        for (int x = 0; x < face.width(); ++x) {
            // Yellow text on red: only the text brings green in (edges of glyphs are blended).
            const QColor c(face.pixel(x, y));
            textDrawn = textDrawn || (c.red() > 200 && c.green() > 200 && c.blue() < 60);
        }
    }
    EXPECT_TRUE(textDrawn);
    EXPECT_EQ(controlGetText(d, 255), "");
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(r.of(WM_COMMAND).size(), 1u);
    EXPECT_EQ(r.of(WM_COMMAND)[0].wParam, makeWParam(255, BN_CLICKED));
}

// --- mouse --------------------------------------------------------------------------------------

TEST_F(Toolkit, MouseOverLabelsAndGraphicsReachesTheDialogInClientCoordinates) {
    const Window d = dialog(Units::Pixels, 0, 300, 200);
    const Menu bar = menuNew(true);
    const Menu popup = menuNew(false);
    menuAdd(popup, "Item", 1, 0, true);
    menuAdd(bar, "File", 0, popup, true);
    menuAttach(d, bar);
    controlAdd(d, kLabel, "", -1, "Move window", nullptr, 30, 40, 100, 14, 0, 0);
    controlAdd(d, kGraphic, "", 500, "", nullptr, 0, 100, 3604, 100, 0, 0);
    Recorder r;
    showModeless(d, r.handler());

    // Sent straight to the label: it passes the event on to the client area.
    QTest::mouseClick(detail::controlWidget(d, -1), Qt::LeftButton, {}, QPoint(5, 6));
    // Through the window, as the platform delivers it: the graphic area is not hit at all.
    QWindow* window = detail::dialogWidget(d)->windowHandle();
    const int barHeight = detail::dialogWidget(d)->findChild<QMenuBar*>()->height();
    QTest::mouseClick(window, Qt::RightButton, {}, QPoint(61, barHeight + 130));
    // A move with no button held: a label would swallow it if it took the mouse.
    QTest::mouseMove(window, QPoint(70, barHeight + 45));

    const auto down = r.of(WM_LBUTTONDOWN);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].lParam, makeMouseLParam(35, 46));
    EXPECT_EQ(down[0].wParam & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(r.of(WM_LBUTTONUP).size(), 1u);
    const auto right = r.of(WM_RBUTTONDOWN);
    ASSERT_EQ(right.size(), 1u);
    EXPECT_EQ(mouseX(right[0].lParam), 61);
    EXPECT_EQ(mouseY(right[0].lParam), 130);
    ASSERT_FALSE(r.of(WM_MOUSEMOVE).empty());
    EXPECT_EQ(r.of(WM_MOUSEMOVE).back().lParam, makeMouseLParam(70, 45));
    EXPECT_EQ(r.of(WM_MOUSEMOVE).back().wParam, 0u);
}

// --- scroll bars and track bars -----------------------------------------------------------------

QPoint subControlCentre(QAbstractSlider* slider, QStyle::SubControl part) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.upsideDown = false;
    const QStyle::ComplexControl control =
        qobject_cast<QScrollBar*>(slider) ? QStyle::CC_ScrollBar : QStyle::CC_Slider;
    return slider->style()->subControlRect(control, &option, part, slider).center();
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

    QTest::mousePress(bar, Qt::LeftButton, {}, subControlCentre(bar, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(bar->value(), 90) << "the thumb moved by itself";
    QTest::mouseRelease(bar, Qt::LeftButton, {},
                        subControlCentre(bar, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(scrollGetPos(d, 1003), 90);
    EXPECT_EQ(bar->value(), 90);
    follow = true;
    QTest::mouseClick(bar, Qt::LeftButton, {}, subControlCentre(bar, QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(scrollGetPos(d, 1003), 91);
    EXPECT_EQ(bar->value(), 91);
    QTest::mouseClick(bar, Qt::LeftButton, {}, subControlCentre(bar, QStyle::SC_ScrollBarSubPage));
    EXPECT_EQ(bar->value(), 91);

    std::vector<std::uint32_t> codes;
    for (const Seen& s : r.of(WM_HSCROLL)) {
        codes.push_back(loWord(s.wParam));
        EXPECT_EQ(s.lParam, controlHandle(d, 1003));
    }
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{SB_LINERIGHT, SB_ENDSCROLL, SB_LINERIGHT,
                                                 SB_ENDSCROLL, SB_PAGELEFT, SB_ENDSCROLL}));

    // A drag reports the dragged position; released, the thumb goes back where the program
    // left it.
    r.seen.clear();
    follow = false;
    const QPoint thumb = subControlCentre(bar, QStyle::SC_ScrollBarSlider);
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
        if (m == WM_HSCROLL) {
            EXPECT_EQ(controlId(lp), 1000);
            seen.emplace_back(loWord(wp), scrollGetPos(d, 1000));
        }
        return 0;
    });
    auto* slider = static_cast<QSlider*>(detail::controlWidget(d, 1000));
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
    ASSERT_EQ(seen.size(), 2u);
    // The page is a fifth of the range, as the platform's track bar has it.
    EXPECT_EQ(seen[0], (std::pair<std::uint32_t, std::int32_t>{SB_PAGERIGHT, 1000 + 3604 / 5}));
    EXPECT_EQ(seen[1], (std::pair<std::uint32_t, std::int32_t>{SB_LINELEFT, 1000 + 3604 / 5 - 1}));
    EXPECT_EQ(scrollGetPos(d, 1000), 1000 + 3604 / 5 - 1);
    EXPECT_EQ(slider->value(), 1000 + 3604 / 5 - 1);
}

// --- timers -------------------------------------------------------------------------------------

TEST_F(Toolkit, TimersTickUntilKilledOrTheDialogEnds) {
    const Window d = dialog();
    int ticks3 = 0;
    int ticks4 = 0;
    showModeless(d, [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_TIMER) {
            (wp == 3 ? ticks3 : ticks4)++;
        }
        return 0;
    });
    timerSet(d, 3, 5);
    timerSet(d, 4, 5);
    EXPECT_TRUE(timerActive(d, 3));
    QTest::qWait(60);
    EXPECT_GE(ticks3, 3);
    timerKill(d, 3);
    EXPECT_FALSE(timerActive(d, 3));
    const int killedAt = ticks3;
    // Setting a running timer again restarts it with the new period.
    timerSet(d, 4, 100000);
    const int slowAt = ticks4;
    QTest::qWait(40);
    EXPECT_EQ(ticks3, killedAt);
    EXPECT_EQ(ticks4, slowAt);
    timerSet(d, 4, 5);
    dialogEnd(d, 0);
    const int endedAt = ticks4;
    QTest::qWait(30);
    EXPECT_EQ(ticks4, endedAt);
    EXPECT_FALSE(timerActive(d, 4));
}

} // namespace
} // namespace vesk::ui
