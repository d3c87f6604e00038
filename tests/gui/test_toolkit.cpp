// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QSlider>
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

using Args = std::vector<std::pair<std::uint32_t, std::int32_t>>;

struct Seen {
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::int32_t lParam = 0;
    bool operator==(const Seen&) const = default;
};

// Records what a handler receives; `answer` decides the result (0 when not given).
struct Recorder {
    std::vector<Seen> seen;
    std::function<std::int32_t(const Seen&)> answer;

    Handler handler() {
        return [this](Window, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
            // The answer gets a copy: a handler may run again inside it and grow `seen`.
            const Seen now{m, wp, lp};
            seen.push_back(now);
            return answer ? answer(now) : 0;
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
};

void later(int milliseconds, std::function<void()> step) {
    QTimer::singleShot(milliseconds, qApp, std::move(step));
}

void addMenu(Window d, const char* title, std::int32_t id, Handler own = {}) {
    const Menu bar = menuNew(true);
    const Menu popup = menuNew(false);
    menuAdd(popup, "Item", id, 0, true, std::move(own));
    menuAdd(bar, title, 0, popup, true);
    menuAttach(d, bar);
}

QAction* firstMenuItem(Window d) {
    auto* bar = detail::dialogWidget(d)->findChild<QMenuBar*>();
    return bar->actions().front()->menu()->actions().front();
}

class Toolkit : public ::testing::Test {
protected:
    Window dialog(Units units = Units::Pixels, std::int32_t w = 300, std::int32_t h = 200,
                  std::uint32_t style = 0) {
        created_.push_back(dialogNew(units, 0, "Test", kCentred, kCentred, w, h, style, 0));
        return created_.back();
    }
    // Handlers capture the test's locals: once the body is over they must not run.
    Handler guarded(Handler h) {
        return [this, h](Window w, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
            return running_ && h ? h(w, m, wp, lp) : 0;
        };
    }
    void showModeless(Window d, Handler h = {}) { dialogShowModeless(d, guarded(h)); }
    // A watchdog ends what is left, so a broken modal run fails instead of hanging.
    void showModal(Window d, Handler h, std::int32_t* endCode) {
        later(5000, [dialogs = created_] {
            for (Window w : dialogs) {
                if (windowExists(w)) {
                    ADD_FAILURE() << "watchdog ended dialog " << w;
                    dialogEnd(w, -1000);
                }
            }
        });
        dialogShowModal(d, guarded(h), endCode);
    }
    // A modeless window with an edit field (800); its handler records into mainLog_.
    Window mainWithEdit() {
        const Window main = dialog();
        controlAdd(main, kEdit, "", 800, "100", nullptr, 10, 10, 60, 20, 0, 0);
        showModeless(main, mainLog_.handler());
        return main;
    }
    Args typeKeysWhileABoxRuns(Window main, bool accelerators, Window& okButton);
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
    Recorder mainLog_;
};

TEST_F(Toolkit, EndProtocolSetupHiddenThenSecondCloseEndCodeAndDestroy) {
    const Window d = dialog(Units::Pixels, 237, 60);
    bool visibleDuringSetup = false, visibleAtClose = false;
    Recorder r;
    r.answer = [&](const Seen& s) -> std::int32_t {
        if (s.message == WM_INITDIALOG || s.message == WM_SIZE) {
            visibleDuringSetup = visibleDuringSetup || detail::dialogWidget(d)->isVisible();
        }
        if (s.message == WM_INITDIALOG) {
            postMessage(d, WM_CLOSE, 0, 0);
        } else if (s.message == WM_CLOSE && r.args(WM_CLOSE).size() == 1) {
            visibleAtClose = detail::dialogWidget(d)->isVisible();
            dialogEnd(d, 7);
        }
        return s.message == WM_INITDIALOG || s.message == WM_CLOSE;
    };
    std::int32_t endCode = -1;
    showModal(d, r.handler(), &endCode);
    EXPECT_EQ(endCode, 7);
    EXPECT_FALSE(windowExists(d));
    EXPECT_EQ(r.seen, (std::vector<Seen>{
                          {WM_INITDIALOG, static_cast<std::uint32_t>(d), 0},
                          {WM_SIZE, SIZE_RESTORED, static_cast<std::int32_t>(makeWParam(237, 60))},
                          {WM_CLOSE, 0, 0},
                          {WM_CLOSE, 0, 0},
                          {WM_DESTROY, 0, 0}}));
    EXPECT_FALSE(visibleDuringSetup);
    EXPECT_TRUE(visibleAtClose);
}

TEST_F(Toolkit, TheCloseBoxAsksTheHandlerWhichMayKeepTheDialog) {
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
            if ((openAfterClose = windowExists(d))) {
                dialogEnd(d, 3);
            }
        });
        std::int32_t endCode = -1;
        showModal(d, r.handler(), &endCode);
        EXPECT_EQ((std::pair{openAfterClose, endCode}), (std::pair{keep == 1, keep == 1 ? 3 : 0}));
        EXPECT_EQ(r.args(WM_SYSCOMMAND), (Args{{SC_CLOSE, 0}}));
        EXPECT_EQ(r.args(WM_DESTROY).size(), 1u);
    }
}

TEST_F(Toolkit, TheDefaultSystemCloseIgnoresTheLowFourBitsOfTheCommand) {
    for (std::uint32_t command : {SC_CLOSE | 0x2u, SC_CLOSE | 0xFu, SC_CLOSE + 0x10u}) {
        const Window d = dialog();
        showModeless(d);
        const bool closes = command != SC_CLOSE + 0x10u;
        EXPECT_EQ(sendMessage(d, WM_SYSCOMMAND, command, 0), closes ? 1 : 0) << command;
        EXPECT_EQ(windowExists(d), !closes) << command;
    }
}

TEST_F(Toolkit, ControlAndItemHandlersRunBeforeTheDialogHandler) {
    for (const std::int32_t firstResult : {0, 5}) {
        SCOPED_TRACE(firstResult);
        const Window d = dialog();
        std::string order; // each handler writes its letter; the dialog's is 'd'
        const auto own = [&](char letter) -> Handler {
            return
                [&order, letter, firstResult](Window, std::uint32_t, std::uint32_t, std::int32_t) {
                    order += letter;
                    return firstResult;
                };
        };
        controlAdd(d, kButton, "", 4000, "Reset", nullptr, 10, 10, 50, 20, 0, 0, own('b'));
        controlAdd(d, kCustom, "SCROLLBAR", 1003, "", nullptr, 10, 40, 140, 15,
                   WS_CHILD | WS_VISIBLE, 0, own('s'));
        addMenu(d, "Soundcard", 2000, own('m'));
        showModeless(d, [&](Window, std::uint32_t m, std::uint32_t, std::int32_t) {
            order += m == WM_COMMAND || m == WM_HSCROLL ? "d" : "";
            return 0;
        });
        const Window button = controlHandle(d, 4000);
        const std::string dialogToo = firstResult == 0 ? "d" : "";
        for (auto [message, wParam, lParam, first] :
             {std::tuple{WM_COMMAND, makeWParam(4000, BN_CLICKED), button, 'b'},
              std::tuple{WM_HSCROLL, makeWParam(SB_LINERIGHT, 0), controlHandle(d, 1003), 's'},
              std::tuple{WM_COMMAND, makeWParam(2000, 0), 0, 'm'},
              // A menu item's handler is not a control's: a command from a control skips it.
              std::tuple{WM_COMMAND, makeWParam(2000, 0), button, 'b'}}) {
            order.clear();
            EXPECT_EQ(sendMessage(d, message, wParam, lParam), firstResult);
            EXPECT_EQ(order, first + dialogToo) << message << " " << wParam << " " << lParam;
        }
    }
}

// An option click checks exclusively; the program may clear every option.
TEST_F(Toolkit, ClicksOptionsAndMenuChoicesArriveAsCommands) {
    const Window d = dialog();
    controlAdd(d, kButton, "", 801, "Apply", nullptr, 10, 10, 50, 20, 0, 0);
    controlAdd(d, kOption, "", 1111, "", nullptr, 10, 40, 16, 16, 0, 0);
    controlAdd(d, kOption, "", 1113, "", nullptr, 45, 40, 16, 16, 0, 0);
    controlAdd(d, kButton, "", 255, "", nullptr, 150, 26, 60, 24, WS_CHILD | BS_OWNERDRAW, 0);
    addMenu(d, "File", 650);
    Recorder r;
    showModeless(d, r.handler());
    controlSetCheck(d, 1111, true);
    QTest::mouseClick(detail::controlWidget(d, 801), Qt::LeftButton);
    QTest::mouseClick(detail::controlWidget(d, 1113), Qt::LeftButton);
    EXPECT_EQ((std::pair{controlGetCheck(d, 1111), controlGetCheck(d, 1113)}),
              (std::pair{false, true}));
    controlSetCheck(d, 1113, false);
    EXPECT_FALSE(controlGetCheck(d, 1113) || controlGetCheck(d, 1111));
    QTest::mouseClick(detail::controlWidget(d, 255), Qt::LeftButton);
    firstMenuItem(d)->trigger();
    EXPECT_EQ(r.args(WM_COMMAND).size(), 3u) << "menu commands are queued";
    processEvents();
    buttonClick(d, 801); // a click from code is a click; a disabled button takes none
    controlEnable(d, 801, false);
    buttonClick(d, 801);
    const Window button = controlHandle(d, 801);
    EXPECT_EQ(r.args(WM_COMMAND), (Args{{makeWParam(801, BN_CLICKED), button},
                                        {makeWParam(1113, BN_CLICKED), controlHandle(d, 1113)},
                                        {makeWParam(255, BN_CLICKED), controlHandle(d, 255)},
                                        {makeWParam(650, 0), 0},
                                        {makeWParam(801, BN_CLICKED), button}}));
}

TEST_F(Toolkit, AnInnerModalRunKeepsDeliveringTheOuterDialogsMessages) {
    const Window outer = dialog();
    const Window inner = dialog();
    int outerTicksDuringInner = 0;
    bool postedReachedOuter = false, innerRunning = false;
    std::int32_t innerCode = -1, outerCode = -1;
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
    showModal(outer, outerHandler, &outerCode);
    EXPECT_EQ((std::pair{innerCode, outerCode}), (std::pair{12, 42}));
    EXPECT_GE(outerTicksDuringInner, 3);
    EXPECT_TRUE(postedReachedOuter);
}

// Types Enter and Escape (Enter with Shift too) into the main window and, when the box has no
// accelerator table, into the modal box above it; the box ends on command 255 or IDCANCEL.
// Returns the box's commands.
Args Toolkit::typeKeysWhileABoxRuns(Window main, bool accelerators, Window& okButton) {
    QWidget* mainEdit = detail::controlWidget(main, 800);
    const Window box = dialog(Units::DialogUnits, 200, 70, WS_CAPTION | WS_SYSMENU);
    controlAdd(box, kEdit, "", 820, "", nullptr, 10, 10, 60, 20, 0, 0);
    controlAdd(box, kButton, "", 4321, "OK", nullptr, 10, 40, 70, 23, 0, 0);
    okButton = controlHandle(box, 4321);
    Recorder log;
    log.answer = [&](const Seen& s) -> std::int32_t {
        if (s.message == WM_INITDIALOG && accelerators) {
            acceleratorsAttach(box, {{0, 0x0D, 254}, {0, 0x1B, 255}});
        } else if (s.message == WM_COMMAND &&
                   (loWord(s.wParam) == 255 || loWord(s.wParam) == IDCANCEL)) {
            dialogEnd(box, 901);
        }
        return 0;
    };
    later(20, [&] {
        QTest::keyClick(mainEdit, Qt::Key_Return);
        QTest::keyClick(mainEdit, Qt::Key_Return, Qt::ShiftModifier); // modifiers must match
        if (!accelerators) {
            QTest::keyClick(detail::controlWidget(box, 820), Qt::Key_Return);
            QTest::keyClick(detail::controlWidget(box, 4321), Qt::Key_Return);
        }
        QTest::keyClick(mainEdit, Qt::Key_Escape);
        if (!accelerators) {
            QTest::keyClick(detail::controlWidget(box, 820), Qt::Key_Escape);
        }
    });
    std::int32_t code = -1;
    showModal(box, log.handler(), &code);
    EXPECT_EQ(code, 901);
    return log.args(WM_COMMAND);
}

// With an accelerator table the innermost modal dialog takes its keys wherever the focus is.
// Without one, Enter and Escape typed into it are its dialog keys: IDOK, the focused push
// button, IDCANCEL. The main window below gets none of them, nor Enter once no box is left.
TEST_F(Toolkit, TheInnermostModalDialogTakesEnterAndEscape) {
    Window main = 0, ok = 0;
    for (const bool accelerators : {true, false}) {
        main = mainWithEdit();
        const Args commands = typeKeysWhileABoxRuns(main, accelerators, ok);
        const Args expected = accelerators ? Args{{makeWParam(254, 1), 0}, {makeWParam(255, 1), 0}}
                                           : Args{{makeWParam(IDOK, BN_CLICKED), 0},
                                                  {makeWParam(4321, BN_CLICKED), ok},
                                                  {makeWParam(IDCANCEL, BN_CLICKED), 0}};
        EXPECT_EQ(commands, expected);
    }
    QTest::keyClick(detail::controlWidget(main, 800), Qt::Key_Return);
    EXPECT_TRUE(mainLog_.args(WM_COMMAND).empty());
}

// A key as the platform sends it: its scan code stays while Shift changes what it types.
void key(QWidget* to, QEvent::Type type, int qtKey, quint32 scan, const QString& text = {},
         Qt::KeyboardModifiers held = {}, bool repeat = false) {
    QKeyEvent event(type, qtKey, held, scan, 0, 0, text, repeat);
    QApplication::sendEvent(to, &event);
}

// Only the key that closed a box is held back (its repeats and its release), found by its scan
// code; keys whose release went astray are forgotten on a click. Everything typed afterwards
// arrives: "_" whose Shift was let go first, and "q" whose release never came.
TEST_F(Toolkit, OnlyTheKeyThatClosedABoxIsHeldBack) {
    constexpr quint32 kShift = 50, kMinus = 20, kQ = 24, kA = 38;
    const Window main = mainWithEdit();
    auto* edit = static_cast<QLineEdit*>(detail::controlWidget(main, 800));
    edit->clear();
    const auto underscore = [edit](bool shiftFirst) {
        key(edit, QEvent::KeyPress, Qt::Key_Shift, kShift, {}, Qt::ShiftModifier);
        key(edit, QEvent::KeyPress, Qt::Key_Underscore, kMinus, "_", Qt::ShiftModifier);
        if (shiftFirst) {
            key(edit, QEvent::KeyRelease, Qt::Key_Shift, kShift);
            key(edit, QEvent::KeyRelease, Qt::Key_Minus, kMinus, "-");
        } else {
            key(edit, QEvent::KeyRelease, Qt::Key_Underscore, kMinus, "_", Qt::ShiftModifier);
            key(edit, QEvent::KeyRelease, Qt::Key_Shift, kShift);
        }
    };
    underscore(true);
    key(edit, QEvent::KeyPress, Qt::Key_Q, kQ, "q");
    QFocusEvent click(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(edit, &click);
    // A box that "a" closes, pressed and still held as it ends.
    const Window box = dialog(Units::DialogUnits, 200, 70, WS_CAPTION | WS_SYSMENU);
    controlAdd(box, kEdit, "", 820, "", nullptr, 10, 10, 60, 20, 0, 0);
    const Handler closeOnA = [box](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            acceleratorsAttach(box, {{0, 0x41, 254}});
        } else if (m == WM_COMMAND && loWord(wp) == 254) {
            dialogEnd(box, 0);
        }
        return 0;
    };
    later(20,
          [box] { key(detail::controlWidget(box, 820), QEvent::KeyPress, Qt::Key_A, kA, "a"); });
    showModal(box, closeOnA, nullptr);
    key(edit, QEvent::KeyPress, Qt::Key_A, kA, "a", {}, true);
    key(edit, QEvent::KeyRelease, Qt::Key_A, kA, "a", {}, true);
    key(edit, QEvent::KeyPress, Qt::Key_A, kA, "a", {}, true);
    key(edit, QEvent::KeyRelease, Qt::Key_A, kA, "a");
    underscore(false);
    key(edit, QEvent::KeyPress, Qt::Key_Q, kQ, "q");
    key(edit, QEvent::KeyRelease, Qt::Key_Q, kQ, "q");
    key(edit, QEvent::KeyPress, Qt::Key_A, kA, "a");
    key(edit, QEvent::KeyRelease, Qt::Key_A, kA, "a");
    EXPECT_EQ(edit->text(), "_q_qa");
}

TEST_F(Toolkit, PixelClientAreaIsExactBelowAMenuBarWithHelpAtTheRight) {
    const Window d = dialog(Units::Pixels, 810, 255, WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW);
    const Menu bar = menuNew(true);
    for (const char* title : {"File", "Help"}) {
        const Menu popup = menuNew(false);
        menuAdd(popup, "Item", 600, 0, true);
        menuAdd(bar, title, 0, popup, true, {}, title[0] == 'H');
    }
    menuAttach(d, bar);
    showModeless(d);
    EXPECT_EQ((std::pair{windowClientRect(d).width, windowClientRect(d).height}),
              (std::pair{810, 255}));
    auto* menuBar = detail::dialogWidget(d)->findChild<QMenuBar*>();
    EXPECT_GT(menuBar->height(), 0);
    EXPECT_EQ(detail::dialogWidget(d)->size(), QSize(810, 255 + menuBar->height()));
    auto* corner = static_cast<QMenuBar*>(menuBar->cornerWidget(Qt::TopRightCorner));
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(corner->geometry().right(), menuBar->width() - 1);
    EXPECT_EQ(corner->actions().front()->text(), "Help");
    windowSetTitle(d, "Message pattern file: a[*]b.txt"); // no placeholder for Qt to eat
    EXPECT_EQ(detail::dialogWidget(d)->windowHandle()->title(), "Message pattern file: a[*]b.txt");
}

TEST_F(Toolkit, ComboboxListSelectionAndNotifications) {
    const Window d = dialog();
    const std::vector<std::string> list{"none", "COM 2", "", "COM 3"};
    controlAdd(d, kCombo, "", 1525, "", &list, 10, 10, 100, 60,
               WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 0);
    EXPECT_EQ(comboCount(d, 1525), 2) << "the list ends at the first empty string";
    Recorder r;
    std::string textAtPick;
    r.answer = [&](const Seen& s) {
        if (s.message == WM_COMMAND && hiWord(s.wParam) == CBN_SELENDOK) {
            textAtPick = comboGetText(d, 1525);
        }
        return 0;
    };
    showModeless(d, r.handler());
    for (std::int32_t index : {-1, 2}) { // neither selection is reported
        comboSelect(d, 1525, 1);
        comboSelect(d, 1525, index);
        EXPECT_EQ((std::pair{controlGetText(d, 1525), comboSelection(d, 1525)}),
                  (std::pair{std::string(), -1}))
            << index;
    }
    EXPECT_TRUE(r.args(WM_COMMAND).empty());
    auto* combo = static_cast<QComboBox*>(detail::controlWidget(d, 1525));
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(textAtPick, "none");
}

// The default style sorts (CBS_SORT), case-insensitive, a new entry after its equals; the
// entries added later keep the order the list was made with.
TEST_F(Toolkit, ComboboxSortsOnlyWithTheSortStyle) {
    const Window d = dialog();
    const std::vector<std::string> list{"b", "C", "a"};
    controlAdd(d, kCombo, "", 1, "", &list, 10, 10, 100, 60, 0, 0);
    controlAdd(d, kCombo, "", 2, "", &list, 10, 40, 100, 60, WS_CHILD | CBS_DROPDOWN, 0);
    for (std::int32_t id : {1, 2}) {
        comboAdd(d, id, "B");
        std::string entries;
        for (std::int32_t i = 0; i < comboCount(d, id); ++i) {
            entries += comboGetText(d, id, i);
        }
        EXPECT_EQ(entries, id == 1 ? "abBC" : "bCaB") << id;
    }
}

// The markers are kept as given, not turned into colours; an unknown control records nothing.
TEST_F(Toolkit, ColoursAreRecordedAsGivenAndPainted) {
    const Window d = dialog(Units::Pixels, 200, 100);
    controlAdd(d, kLabel, "", 2501, "", nullptr, 10, 10, 50, 14, 0, 0);
    EXPECT_EQ(controlGetColor(d, 2501), (std::pair{kColourNotSet, kColourNotSet}));
    controlSetColor(d, 2501, kDefaultColour, kTransparent);
    EXPECT_EQ(controlGetColor(d, 2501), (std::pair{kDefaultColour, kTransparent}));
    controlSetColor(d, 4711, rgb(1, 2, 3), rgb(4, 5, 6));
    EXPECT_EQ(controlGetColor(d, 4711), (std::pair{kColourNotSet, kColourNotSet}));
    controlAdd(d, kOption, "", 1113, "", nullptr, 10, 40, 16, 16, 0, 0);
    controlAdd(d, kButton, "", 255, "", nullptr, 100, 10, 60, 24, WS_CHILD | BS_OWNERDRAW, 0);
    buttonSetFace(d, 255, "Cancel", rgb(255, 0, 0), rgb(255, 255, 0));
    controlSetColor(d, 2501, kColourNotSet, rgb(1, 128, 0));
    controlSetColor(d, kDialogItself, kDefaultColour, rgb(139, 197, 197));
    controlSetColor(d, 1113, rgb(1, 128, 0), rgb(1, 128, 0));
    const QImage shot = detail::dialogWidget(d)->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(5, 90)), QColor(139, 197, 197)); // dialog
    EXPECT_EQ(QColor(shot.pixel(12, 12)), QColor(1, 128, 0));    // label
    EXPECT_EQ(QColor(shot.pixel(11, 41)), QColor(1, 128, 0));    // option
    EXPECT_EQ(QColor(shot.pixel(103, 13)), QColor(255, 0, 0));   // owner-drawn face
    EXPECT_NE(QColor(shot.pixel(100, 10)), QColor(255, 0, 0));   // its edge
    int yellow = 0; // only the text brings green into the red face
    for (int i = 0; i < 60 * 24; ++i) {
        const QRgb pixel = shot.pixel(100 + i % 60, 10 + i / 60);
        yellow += qGreen(pixel) > 200 && qBlue(pixel) < 50 ? 1 : 0;
    }
    EXPECT_GT(yellow, 0);
}

TEST_F(Toolkit, MouseOverLabelsAndGraphicsReachesTheDialogInClientCoordinates) {
    const Window d = dialog();
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
    EXPECT_EQ(r.args(WM_LBUTTONDOWN), (Args{{MK_LBUTTON, makeMouseLParam(35, 46)}}));
    EXPECT_EQ(r.args(WM_LBUTTONUP).size(), 1u);
    EXPECT_EQ(r.args(WM_RBUTTONDOWN), (Args{{MK_RBUTTON, makeMouseLParam(61, 130)}}));
    ASSERT_FALSE(r.args(WM_MOUSEMOVE).empty());
    EXPECT_EQ(r.args(WM_MOUSEMOVE).back(), (std::pair{0u, makeMouseLParam(70, 45)}));
}

// A scroll bar leaves its thumb to the handler.
TEST_F(Toolkit, AScrollBarReportsActionsAndMovesOnlyWhereTheHandlerPutsIt) {
    const Window d = dialog(Units::Pixels, 800, 200);
    controlAdd(d, kCustom, "SCROLLBAR", 1003, "", nullptr, 7, 161, 140, 15,
               WS_CHILD | WS_VISIBLE | SBS_HORZ, 0);
    scrollSetRange(d, 1003, 0, 100, true);
    scrollSetPos(d, 1003, 90, true);
    bool follow = false;
    Args scroll;
    showModeless(d, [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t lp) {
        if (m == WM_HSCROLL) {
            scroll.emplace_back(wp, lp);
            if (follow && wp == SB_LINERIGHT) {
                scrollSetPos(d, 1003, scrollGetPos(d, 1003) + 1, true);
            }
        }
        return 0;
    });
    auto* bar = static_cast<QScrollBar*>(detail::controlWidget(d, 1003));
    const QPoint arrow(bar->width() - 4, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, arrow);
    EXPECT_EQ(bar->value(), 90) << "the thumb moved by itself";
    QTest::mouseRelease(bar, Qt::LeftButton, {}, arrow);
    EXPECT_EQ(scrollGetPos(d, 1003), 90);
    follow = true;
    QTest::mouseClick(bar, Qt::LeftButton, {}, arrow);
    EXPECT_EQ((std::pair{scrollGetPos(d, 1003), bar->value()}), (std::pair{91, 91}));
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 4, bar->height() / 2));
    EXPECT_EQ(bar->value(), 91);
    const std::int32_t handle = controlHandle(d, 1003);
    EXPECT_EQ(scroll, (Args{{SB_LINERIGHT, handle},
                            {SB_ENDSCROLL, handle},
                            {SB_LINERIGHT, handle},
                            {SB_ENDSCROLL, handle},
                            {SB_PAGELEFT, handle},
                            {SB_ENDSCROLL, handle}}));
}

// A track bar moves its own thumb before it reports; a page is a fifth of the range.
TEST_F(Toolkit, ATrackBarMovesItsThumbBeforeItReports) {
    const Window d = dialog(Units::Pixels, 800, 200);
    controlAdd(d, kCustom, "msctls_trackbar32", 1000, "", nullptr, 420, 161, 362, 25,
               WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0);
    scrollSetRange(d, 1000, 0, 3604, true);
    scrollSetPos(d, 1000, 1000, true);
    Args track; // with the position at the time
    showModeless(d, [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_HSCROLL) {
            track.emplace_back(wp, scrollGetPos(d, 1000));
        }
        return 0;
    });
    auto* slider = static_cast<QSlider*>(detail::controlWidget(d, 1000));
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
    slider->setSliderDown(true); // a drag of the thumb
    slider->setSliderPosition(2000);
    slider->setSliderDown(false);
    EXPECT_EQ(track, (Args{{SB_PAGERIGHT, 1720},
                           {SB_LINELEFT, 1719},
                           {makeWParam(SB_THUMBTRACK, 2000), 2000},
                           {makeWParam(SB_THUMBPOSITION, 2000), 2000}}));
}

// Timers and posted messages belong to their dialog and end with it.
TEST_F(Toolkit, TimersTickUntilKilledRestartedOrTheDialogEnds) {
    const Window d = dialog();
    Recorder r;
    showModeless(d, r.handler());
    const auto ticks = [&r](std::uint32_t id) {
        return std::ranges::count(r.args(WM_TIMER), id, [](const auto& a) { return a.first; });
    };
    timerSet(d, 3, 5);
    timerSet(d, 4, 5);
    QTest::qWait(60);
    EXPECT_GE(ticks(3), 3);
    timerKill(d, 3);
    timerSet(d, 4, 100000); // setting a running timer restarts it with the new period
    const auto before = std::pair{ticks(3), ticks(4)};
    QTest::qWait(40);
    timerSet(d, 4, 5);
    postMessage(d, 0x8002, 0, 0);
    dialogEnd(d, 0);
    QTest::qWait(30);
    EXPECT_EQ((std::pair{ticks(3), ticks(4)}), before);
    EXPECT_FALSE(timerActive(d, 4) || timerActive(d, 3));
    EXPECT_TRUE(r.args(0x8002).empty());
}

} // namespace
} // namespace vesk::ui
