// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"
#include "tests/gui/main_window_fixture.h"
#include "ui/toolkit_detail.h"

#include <QDialog>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

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

// Every control the keyboard can reach says what it does.
TEST_F(MainWindowTest, EveryControlHasAToolTip) {
    prepare();
    int controls = 0;
    for (const QWidget* widget : ui::detail::dialogWidget(window_)->findChildren<QWidget*>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisibleTo(widget->window())) {
            ++controls;
            EXPECT_FALSE(widget->toolTip().isEmpty()) << widget->metaObject()->className();
        }
    }
    EXPECT_GE(controls, 18); // the grid, the buttons, the fields, the pens, the slider
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
