// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/beacon_dialogs.h"
#include "app/control_ids.h"
#include "app/generate_dialog.h"
#include "app/preview_dialog.h"
#include "app/timing_dialog.h"
#include "preview/spectrogram.h"
#include "tests/gui/main_window_fixture.h"
#include "tests/gui/shown_windows.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include "files/pattern_file.h"

namespace vesk {
namespace {

TEST(GenerateDialog, MakesTheGeneratorsPatternOrSaysWhyNot) {
    GenerateDialog dialog;
    child<QComboBox>(dialog, "mode")->setCurrentIndex(2); // DFCW
    child<QLineEdit>(dialog, "text")->setText("K1ABC?");
    child<QComboBox>(dialog, "speed")->setCurrentText("QRSS10");
    child<QSpinBox>(dialog, "shift")->setValue(-3);
    dialog.generate();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    beacon::MorseSettings expected;
    expected.keying = beacon::Keying::Dfcw;
    expected.text = "K1ABC?";
    expected.dotLength = 10000;
    expected.shift = -3;
    EXPECT_EQ(patternFileText(dialog.pattern()),
              patternFileText(beacon::makeMorsePattern(expected).value()));

    // Refused input keeps the dialog open with the generator's reason.
    GenerateDialog refused;
    child<QComboBox>(refused, "mode")->setCurrentIndex(3); // WSPR
    child<QLineEdit>(refused, "callsign")->setText("K1ABC/P");
    child<QLineEdit>(refused, "locator")->setText("FN42");
    refused.generate();
    EXPECT_NE(refused.result(), QDialog::Accepted);
    EXPECT_TRUE(child<QLabel>(refused, "problem")->text().contains("compound"));
    child<QLineEdit>(refused, "callsign")->setText("k1abc");
    refused.generate();
    EXPECT_EQ(refused.result(), QDialog::Accepted);
    EXPECT_TRUE(beacon::isWsprTiming(refused.pattern()));
}

TEST(GenerateDialog, RunsModallyAndGivesNothingOnCancel) {
    for (const bool generate : {true, false}) {
        QTimer::singleShot(0, [generate] {
            auto* dialog = qobject_cast<GenerateDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            child<QLineEdit>(*dialog, "text")->setText("E");
            generate ? dialog->generate() : dialog->reject();
        });
        const std::optional<BeaconPattern> made = runGenerateDialog(0);
        ASSERT_EQ(made.has_value(), generate);
        if (generate) {
            EXPECT_EQ(made->dotCount, 0);
            EXPECT_EQ(made->toneIndex[0], 8.0f);
        }
    }
}

TEST(PreviewDialog, ShowsTheGrabbersPictureOrTheReason) {
    BeaconPattern pattern = resetPattern();
    pattern.dotCount = 3;
    pattern.toneIndex = {1.0f, 8.0f, 0.0f, 16.0f};
    const PreviewDialog dialog(pattern);
    const auto made = preview::makeSpectrogram(pattern);
    ASSERT_TRUE(made);
    const preview::Picture drawn = preview::drawSpectrogram(*made, pattern);
    ASSERT_EQ(dialog.picture().size(), QSize(drawn.width, drawn.height));
    for (const int y : {0, drawn.height / 2, drawn.height - 1}) {
        for (const int x : {0, drawn.width / 2, drawn.width - 1}) {
            EXPECT_EQ(dialog.picture().pixel(x, y) & 0xFFFFFFu,
                      drawn.pixels[static_cast<std::size_t>(y * drawn.width + x)]);
        }
    }
    pattern.dotLength = 0;
    const PreviewDialog refused(pattern);
    EXPECT_TRUE(refused.picture().isNull());
    EXPECT_FALSE(refused.findChild<QLabel*>("caption")->text().isEmpty());
}

void key(QWidget* widget, Qt::Key key, QEvent::Type type, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, key == Qt::Key_Return ? "\r" : "\x1b", autoRepeat);
    QApplication::sendEvent(widget, &event);
}

// Each dialog of the window is owned by it as the window manager sees it, and modal to it
// alone. The key that closes a dialog (Return is OK wherever the focus is, Escape is Cancel)
// ends there: its repeats and release reach no window below, where Return would press the
// focused Reset and Escape would end the program.
TEST_F(MainWindowTest, DialogsBelongToTheMainWindowAndKeepTheKeyThatClosesThem) {
    prepare();
    const struct {
        std::int32_t command;
        void (*fill)(QDialog&);
        Qt::Key key;
    } cases[] = {
        {id::kMenuGenerate, [](QDialog&) {}, Qt::Key_Escape},
        {id::kMenuPreview, [](QDialog&) {}, Qt::Key_Escape},
        {id::kMenuTiming,
         [](QDialog& d) { child<QComboBox>(d, "every")->setEditText("5 minutes"); },
         Qt::Key_Return},
        {id::kMenuPttOptions, [](QDialog& d) { child<QRadioButton>(d, "rts")->setChecked(true); },
         Qt::Key_Return},
    };
    QWidget* main = ui::topLevelWidget(window_);
    ASSERT_NE(main, nullptr);
    std::vector<std::string> seen;
    QObject guard; // the timers go with the test
    std::function<void(std::size_t)> open = [&](std::size_t i) {
        if (i == std::size(cases) || !ui::windowExists(window_)) {
            ui::dialogEnd(window_, 0);
            return;
        }
        ui::postMessage(window_, msg::WM_COMMAND, static_cast<std::uint32_t>(cases[i].command), 0);
        whenShown<QDialog>(
            [&, i](QDialog* dialog) {
                const QWindow* handle = dialog->windowHandle();
                seen.push_back(dialog->windowTitle().toStdString() +
                               (dialog->parentWidget() == main ? " child" : " orphan") +
                               (handle && handle->transientParent() == main->windowHandle()
                                    ? " transient"
                                    : " free") +
                               (dialog->windowModality() == Qt::WindowModal ? " window-modal"
                                                                            : " not window-modal"));
                cases[i].fill(*dialog);
                const QPointer<QDialog> closing = dialog;
                key(dialog->focusWidget() ? dialog->focusWidget() : dialog, cases[i].key,
                    QEvent::KeyPress);
                QTimer::singleShot(20, &guard, [&, i, closing] {
                    EXPECT_TRUE(closing.isNull()) << i;
                    ui::controlSetFocus(window_, id::kReset);
                    QWidget* reset = ui::detail::controlWidget(window_, id::kReset);
                    key(reset, cases[i].key, QEvent::KeyPress, true);
                    key(reset, cases[i].key, QEvent::KeyRelease);
                    ui::processEvents();
                    open(i + 1);
                });
            },
            &guard);
    };
    QTimer::singleShot(0, &guard, [&] { open(0); });
    QTimer::singleShot(10000, &guard, [&] { // fails instead of hanging
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialog->close();
        }
        ui::dialogEnd(window_, 0);
    });
    ui::dialogShowModal(window_, mainWindowHandler(state_), nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "Generate pattern child transient window-modal",
                        "Preview child transient window-modal",
                        "Timing child transient window-modal",
                        "PTT options child transient window-modal",
                    }));
    EXPECT_EQ(state_.document.pattern().dotCount, 600) << "a stray Return pressed Reset";
    EXPECT_EQ(state_.session->clockTiming(), (ClockTiming{5, 0}));
    EXPECT_EQ(state_.settings.pttChoice().lines.lines, platform::PttLines::Rts);
}

// How `window` stands to `owner` as the window manager sees it.
std::string ownership(const QWidget& window, const QWidget& owner) {
    const QWindow* handle = window.windowHandle();
    // X11 marks only dialogs and tool windows as transient for their owner.
    const bool kept = window.windowType() == Qt::Dialog || window.windowType() == Qt::Tool;
    return std::string(handle != nullptr && handle->transientParent() != nullptr &&
                               handle->transientParent() == owner.windowHandle() && kept
                           ? "transient"
                           : "free") +
           (window.windowModality() == Qt::WindowModal ? " window-modal" : " not window-modal");
}

// Every box and dialog the window raises is owned by it as the window manager sees it: kept
// above it and modal to it alone, so that a click on the window never hides it. So is the
// notice raised at start-up while the window is still hidden, and a box raised from a dialog
// belongs to that dialog.
TEST_F(MainWindowTest, EveryBoxBelongsToTheWindowBelowIt) {
    prepare(); // no port: the start-up notice
    ui::setMessageBoxResponder({});
    ui::setFileDialogHook({});
    QWidget* main = ui::topLevelWidget(window_);
    const struct {
        std::int32_t command; // 0: comes by itself
        const char* title;
        const char* owner; // "": the main window
    } cases[] = {
        {0, "Comport", ""},
        {id::kMenuAbout, "About", ""},
        {id::kMenuPtt, "PTT control", ""},
        {id::kMenuSelectSoundcard, "Select soundcard", ""},
        {id::kMenuOpen, "Choose tone file", ""},
        {id::kMenuTiming, "Timing", ""},
        {0, "Timing", "Timing"}, // "ten" is refused
    };
    std::vector<std::string> seen;
    QObject guard; // the timers go with the test
    std::function<void(std::size_t)> next = [&](std::size_t i) {
        if (i == std::size(cases)) {
            ui::dialogEnd(window_, 0);
            return;
        }
        if (cases[i].command != 0) {
            ui::postMessage(window_, msg::WM_COMMAND, static_cast<std::uint32_t>(cases[i].command),
                            0);
        }
        const QString owner = cases[i].owner;
        const std::function<void(QWidget*)> check = [&, i, owner](QWidget* box) {
            const QWidget* expected = owner.isEmpty() ? main : visibleTopLevel<TimingDialog>();
            seen.push_back(std::string(cases[i].title) + " " +
                           ownership(*box, expected != nullptr ? *expected : *main));
            if (auto* timing = qobject_cast<TimingDialog*>(box)) {
                child<QComboBox>(*timing, "every")->setEditText("ten");
                QTimer::singleShot(0, &guard,
                                   [timing] { child<QPushButton>(*timing, "ok")->click(); });
            } else {
                box->close();
            }
            if (!owner.isEmpty()) { // the refusal's dialog goes too
                QTimer::singleShot(0, &guard, [] { visibleTopLevel<TimingDialog>()->close(); });
            }
            QTimer::singleShot(0, &guard, [&, i] { next(i + 1); });
        };
        if (owner.isEmpty()) {
            whenShown<QWidget>(check, &guard, cases[i].title);
        } else {
            whenShown<QMessageBox>([check](QMessageBox* box) { check(box); }, &guard,
                                   cases[i].title);
        }
    };
    next(0);
    QTimer::singleShot(10000, &guard, [&] { // fails instead of hanging
        ui::detail::closeMessageBoxes();
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialog->close();
        }
        ui::dialogEnd(window_, 0);
    });
    ui::dialogShowModal(window_, mainWindowHandler(state_), nullptr);
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        expected.push_back(std::string(c.title) + " transient window-modal");
    }
    EXPECT_EQ(seen, expected);
}

// A dialog still open when the main window ends goes with it, and its command returns.
class DialogOverAnEndingWindow : public MainWindowTest,
                                 public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(DialogOverAnEndingWindow, GoesWithTheMainWindow) {
    start();
    QObject guard; // the timers go with the test
    bool shown = false, outlived = false;
    whenShown<QDialog>(
        [&](QDialog*) {
            shown = true;
            closeBox();
        },
        &guard);
    QTimer::singleShot(3000, &guard, [&] { // ends a dialog left alone instead of hanging
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            outlived = true;
            dialog->close();
        }
    });
    command(GetParam());
    EXPECT_TRUE(shown);
    EXPECT_FALSE(outlived);
    EXPECT_FALSE(ui::windowExists(window_));
}

INSTANTIATE_TEST_SUITE_P(EachDialog, DialogOverAnEndingWindow,
                         ::testing::Values(id::kMenuGenerate, id::kMenuPreview, id::kMenuTiming,
                                           id::kMenuPttOptions));

} // namespace
} // namespace vesk
