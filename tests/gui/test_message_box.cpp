#include "ui/toolkit.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vesk::ui {
namespace {

using namespace vesk::msg;

// Waits for a message box to come up, then acts on it and presses OK from inside its own loop.
void whenBox(std::function<void(QMessageBox*)> act, int tries = 300) {
    QTimer::singleShot(10, qApp, [act, tries] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible()) {
            act(box);
            box->button(QMessageBox::Ok)->click();
        } else if (tries > 0) {
            whenBox(act, tries - 1);
        } else {
            ADD_FAILURE() << "no message box came up";
        }
    });
}

TEST(MessageBox, ShowsTextCaptionAndTheIconOfItsStyleWithOneOkButton) {
    for (const auto& [style, icon, onTop] :
         {std::tuple{MB_ICONERROR, QMessageBox::Critical, false},
          std::tuple{MB_ICONWARNING, QMessageBox::Warning, false},
          std::tuple{MB_ICONINFORMATION | MB_SYSTEMMODAL, QMessageBox::Information, true},
          std::tuple{MB_OK, QMessageBox::NoIcon, false}}) {
        SCOPED_TRACE(style);
        std::tuple<QString, QString, QMessageBox::Icon, qsizetype, bool, bool> shown;
        whenBox([&](QMessageBox* box) {
            shown = {box->text(),
                     box->windowTitle(),
                     box->icon(),
                     box->buttons().size(),
                     box->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                     box->windowModality() == Qt::ApplicationModal};
        });
        EXPECT_EQ(messageBox("Failure to open comport", style, "Comport"), 1);
        EXPECT_EQ(shown, std::tuple(QString("Failure to open comport"), QString("Comport"), icon, 1,
                                    onTop, true));
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
            whenBox([&](QMessageBox*) {
                QTest::keyClick(edit, Qt::Key_Return);
                whileBoxUp = commands;
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
