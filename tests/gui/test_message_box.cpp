// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "tests/gui/shown_windows.h"
#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vesk::ui {
namespace {

using namespace vesk::msg;

// A notice holds nothing back (no window is blocked while it is up); a question does, and
// answers No to Escape.
TEST(MessageBox, ShowsTextCaptionIconAndButtonsOfItsStyle) {
    for (const auto& [style, icon, onTop, pressed, answer, modal] :
         {std::tuple{MB_ICONERROR, QMessageBox::Critical, false, QMessageBox::Ok, IDOK, false},
          std::tuple{MB_ICONWARNING, QMessageBox::Warning, false, QMessageBox::Ok, IDOK, false},
          std::tuple{MB_ICONINFORMATION | MB_SYSTEMMODAL, QMessageBox::Information, true,
                     QMessageBox::Ok, IDOK, false},
          std::tuple{MB_OK, QMessageBox::NoIcon, false, QMessageBox::Ok, IDOK, false},
          std::tuple{MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, false, QMessageBox::Yes,
                     IDYES, true},
          std::tuple{MB_YESNO | MB_DEFBUTTON2, QMessageBox::NoIcon, false, QMessageBox::No, IDNO,
                     true}}) {
        SCOPED_TRACE(style);
        std::tuple<QString, QString, QMessageBox::Icon, bool, bool, bool> shown;
        int buttons = 0;
        bool defaultIsNo = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            shown = {box->text(),
                     box->windowTitle(),
                     box->icon(),
                     box->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                     QApplication::activeModalWidget() != nullptr,
                     box->standardButton(box->escapeButton()) == QMessageBox::No};
            buttons = static_cast<int>(box->buttons().size());
            defaultIsNo = box->standardButton(box->defaultButton()) == QMessageBox::No;
            box->button(pressed)->click();
        });
        EXPECT_EQ(messageBox("Failure to open comport", style, "Comport"),
                  static_cast<int>(answer));
        EXPECT_EQ(shown, std::tuple(QString("Failure to open comport"), QString("Comport"), icon,
                                    onTop, modal, modal));
        EXPECT_EQ(buttons, modal ? 2 : 1);
        EXPECT_EQ(defaultIsNo, (style & MB_DEFBUTTON2) != 0);
    }
}

TEST(MessageBox, TheRecorderAnswersWithoutShowingAnything) {
    std::vector<std::tuple<std::string, std::uint32_t, std::string>> records;
    setMessageBoxRecorder(
        [&](const MessageBoxRecord& r) { records.emplace_back(r.text, r.style, r.caption); });
    EXPECT_EQ(messageBox("VESK Controller Version 1.09", MB_ICONINFORMATION, "About"), 1);
    setMessageBoxRecorder({});
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(records.front(),
              std::tuple(std::string("VESK Controller Version 1.09"), MB_ICONINFORMATION, "About"));
}

// While a box is up its own loop runs: the accelerators of the dialog below it wait.
TEST(MessageBox, HoldsBackTheAcceleratorsOfTheDialogBelow) {
    const Window d = dialogNew(Units::Pixels, 0, "Box", kCentred, kCentred, 100, 50, 0, 0);
    controlAdd(d, kEdit, "", 1525, "", nullptr, 0, 0, 90, 20, 0, 0);
    QWidget* edit = detail::controlWidget(d, 1525);
    std::vector<std::uint32_t> commands, whileBoxUp{99};
    const Handler handler = [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            acceleratorsAttach(d, {{0, 0x0D, 254}});
            postMessage(d, 0x8000, 0, 0);
        } else if (m == 0x8000) {
            whenShown<QMessageBox>([&](QMessageBox* box) {
                QTest::keyClick(edit, Qt::Key_Return);
                whileBoxUp = commands;
                box->button(QMessageBox::Ok)->click();
            });
            messageBox("Failure to open comport", MB_ICONERROR, "Comport");
            QTest::keyClick(edit, Qt::Key_Return);
        } else if (m == WM_COMMAND) {
            commands.push_back(loWord(wp));
            dialogEnd(d, 0);
        }
        return 0;
    };
    QTimer::singleShot(5000, qApp, [d] { dialogEnd(d, -1); }); // fails instead of hanging
    dialogShowModal(d, handler, nullptr);
    EXPECT_TRUE(whileBoxUp.empty());
    EXPECT_EQ(commands, std::vector<std::uint32_t>{254});
}

} // namespace
} // namespace vesk::ui
