// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"
#include "tests/gui/main_window_fixture.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cstdlib>
#include <fstream>

namespace vesk {
namespace {

// The keys, typed into the main window while it runs: Ctrl+O and Ctrl+S reach the file
// dialogs, F1 shows the manual beside the window, Escape still leaves.
TEST_F(MainWindowTest, KeysOpenTheFileDialogsAndTheManual) {
    prepare();
    QWidget* main = nullptr;
    QDialog* manual = nullptr;
    QString manualText;
    QTimer::singleShot(0, [&] {
        main = ui::detail::dialogWidget(window_);
        QTest::keyClick(main, Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(main, Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(main, Qt::Key_F1);
        manual = main->findChild<QDialog*>(QStringLiteral("textWindow"));
        if (manual != nullptr && manual->isVisible()) {
            manualText = manual->findChild<QPlainTextEdit*>()->toPlainText();
        }
        QTest::keyClick(main, Qt::Key_Escape);
    });
    ui::dialogShowModal(window_, mainWindowHandler(state_), nullptr);
    EXPECT_EQ(captions_, (std::vector<std::string>{"Choose tone file", "Save file as:"}));
    EXPECT_TRUE(manualText.startsWith(QStringLiteral("VESK-CONTROLLER(1)")));
    EXPECT_TRUE(manualText.contains(QStringLiteral("Ctrl+O")));
    EXPECT_FALSE(ui::windowExists(window_)); // Escape left, and the manual went with it
}

// Every control the keyboard can reach says what it does, the output level included; the
// controls the mouse passes through (grid, strip, cycle bar, PTT label) show their tips from
// the window. The control with the keyboard focus is marked, and no label runs into another.
TEST_F(MainWindowTest, EveryControlSaysWhatItDoesAndTheFocusShows) {
    start();
    QWidget* client = ui::detail::controlWidget(window_, kPatternGridId)->parentWidget();
    int controls = 0;
    for (const QWidget* widget : client->findChildren<QWidget*>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisibleTo(widget->window())) {
            ++controls;
            EXPECT_FALSE(widget->toolTip().isEmpty()) << widget->metaObject()->className();
        }
    }
    EXPECT_GE(controls, 19); // the buttons, the fields, the pens, the slider, the level
    EXPECT_NE(ui::detail::controlWidget(window_, id::kOutputLevel)->focusPolicy() & Qt::TabFocus,
              0);
    for (const std::int32_t id :
         {id::kPatternGrid, id::kPatternStrip, id::kCycleBar, id::kPttLabel}) {
        const QWidget* control = ui::detail::controlWidget(window_, id);
        const QPoint at = control->geometry().topLeft() + QPoint(4, 4);
        QHelpEvent help(QEvent::ToolTip, at, client->mapToGlobal(at));
        QApplication::sendEvent(client, &help);
        EXPECT_EQ(QToolTip::text(), control->toolTip()) << id;
    }
    QToolTip::hideText();

    for (const std::int32_t id : {id::kReset, id::kPen12dB, id::kMoveWindow, id::kOutputLevel}) {
        ui::controlSetFocus(window_, id);
        ui::processEvents();
        const QWidget* mark = client->findChild<QWidget*>("vesk-focus-mark");
        ASSERT_NE(mark, nullptr);
        EXPECT_TRUE(mark->isVisible()) << id;
        EXPECT_TRUE(mark->geometry().contains(ui::detail::controlWidget(window_, id)->geometry()))
            << id;
    }

    const QList<QLabel*> labels = client->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    for (const QLabel* label : labels) {
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()),
                  label->contentsRect().width())
            << label->text().toStdString();
        for (const QLabel* other : labels) {
            EXPECT_TRUE(label == other || !label->geometry().intersects(other->geometry()))
                << label->text().toStdString() << " runs into " << other->text().toStdString();
        }
    }
}

// From the desktop the settings live in one folder, created when missing; from a shell in
// the start folder.
TEST(StartOptions, SettingsFolder) {
    ScratchFolder data;
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    EXPECT_EQ(settingsFolder({.desktop = true}).valueOr(""), (data.path() / "vesk").string());
    EXPECT_TRUE(std::filesystem::is_directory(data.path() / "vesk"));
    EXPECT_EQ(settingsFolder({}).valueOr(""), std::filesystem::current_path().string());
    // A data folder that cannot be made (its parent is a file) is reported.
    std::ofstream(data.file("file")) << "x";
    ::setenv("XDG_DATA_HOME", data.file("file").c_str(), 1);
    const Result<std::string> failed = settingsFolder({.desktop = true});
    EXPECT_FALSE(failed);
    EXPECT_EQ(
        failed.message().rfind("Cannot create the folder \"" + data.file("file") + "/vesk\"", 0),
        0u)
        << failed.message();
    ::unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace vesk
