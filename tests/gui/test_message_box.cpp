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

void whenBox(std::function<void(QMessageBox*)> act, int tries = 300) {
    QTimer::singleShot(10, qApp, [act, tries] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible()) {
            act(box);
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
        QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
        QString text, title;
        qsizetype buttons = 0;
        bool shownOnTop = false, appModal = false;
        whenBox([&](QMessageBox* box) {
            text = box->text();
            title = box->windowTitle();
            shownIcon = box->icon();
            buttons = box->buttons().size();
            shownOnTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            appModal = box->windowModality() == Qt::ApplicationModal;
            box->button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(messageBox("Failure to open comport", style, "Comport"), 1);
        EXPECT_EQ(text, "Failure to open comport");
        EXPECT_EQ(title, "Comport");
        EXPECT_EQ(shownIcon, icon);
        EXPECT_EQ(buttons, 1);
        EXPECT_EQ(shownOnTop, onTop);
        EXPECT_TRUE(appModal);
    }
}

TEST(MessageBox, TheRecorderAnswersWithoutShowingAnything) {
    std::vector<MessageBoxRecord> records;
    setMessageBoxRecorder([&](const MessageBoxRecord& r) { records.push_back(r); });
    bool shown = false;
    QTimer::singleShot(0, qApp, [&] { shown = QApplication::activeModalWidget() != nullptr; });
    EXPECT_EQ(messageBox("VESK Controller Version 1.09", MB_ICONINFORMATION, "About"), 1);
    setMessageBoxRecorder({});
    QTest::qWait(10);
    EXPECT_FALSE(shown);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ((std::tuple{records[0].text, records[0].style, records[0].caption}),
              (std::tuple{std::string("VESK Controller Version 1.09"), MB_ICONINFORMATION,
                          std::string("About")}));
}

// While a box is up its own loop runs: the accelerators of the dialog below it wait.
TEST(MessageBox, HoldsBackTheAcceleratorsOfTheDialogBelow) {
    const Window d = dialogNew(Units::Pixels, 0, "Box", kCentred, kCentred, 100, 50, 0, 0);
    controlAdd(d, kEdit, "", 1525, "", nullptr, 0, 0, 90, 20, 0, 0);
    const auto pressEnter = [d] { // the dialog may be gone when the box misbehaved
        if (QWidget* edit = detail::controlWidget(d, 1525)) {
            QTest::keyClick(edit, Qt::Key_Return);
        }
    };
    std::vector<std::uint32_t> commands;
    std::size_t commandsWhileBoxUp = 99;
    const Handler handler = [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            acceleratorsAttach(d, {{0, 0x0D, 254}});
            postMessage(d, 0x8000, 0, 0);
        } else if (m == 0x8000) {
            whenBox([&](QMessageBox* box) {
                pressEnter();
                commandsWhileBoxUp = commands.size();
                box->button(QMessageBox::Ok)->click();
            });
            messageBox("Failure to open comport", MB_ICONERROR, "Comport");
            pressEnter();
        } else if (m == WM_COMMAND) {
            commands.push_back(loWord(wp));
            dialogEnd(d, 0);
        }
        return 0;
    };
    QTimer::singleShot(5000, qApp, [d] {
        if (windowExists(d)) {
            dialogEnd(d, -1);
        }
    });
    dialogShowModal(d, handler, nullptr);
    EXPECT_EQ(commandsWhileBoxUp, 0u);
    EXPECT_EQ(commands, std::vector<std::uint32_t>{254});
}

} // namespace
} // namespace vesk::ui
