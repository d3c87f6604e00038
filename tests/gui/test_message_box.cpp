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
    struct Case {
        std::uint32_t style;
        QMessageBox::Icon icon;
        bool onTop;
    };
    const Case cases[] = {
        {MB_ICONERROR, QMessageBox::Critical, false},
        {MB_ICONWARNING, QMessageBox::Warning, false},
        {MB_ICONINFORMATION, QMessageBox::Information, false},
        {MB_ICONERROR | MB_SYSTEMMODAL, QMessageBox::Critical, true},
        {MB_ICONINFORMATION | MB_SYSTEMMODAL, QMessageBox::Information, true},
        {MB_OK, QMessageBox::NoIcon, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        bool onTop = false;
        Qt::WindowModality modality = Qt::NonModal;
        whenBox([&](QMessageBox* box) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            modality = box->windowModality();
            box->button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(messageBox("Failure to open comport", c.style, "Comport"), 1);
        EXPECT_EQ(text, "Failure to open comport");
        EXPECT_EQ(title, "Comport");
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(buttons, 1);
        EXPECT_EQ(onTop, c.onTop);
        EXPECT_EQ(modality, Qt::ApplicationModal);
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
    EXPECT_EQ(records[0].text, "VESK Controller Version 1.09");
    EXPECT_EQ(records[0].style, MB_ICONINFORMATION);
    EXPECT_EQ(records[0].caption, "About");
}

// While a box is up, its own loop runs: the accelerators of the dialog below it wait.
TEST(MessageBox, HoldsBackTheAcceleratorsOfTheDialogBelow) {
    const Window d = dialogNew(Units::Pixels, 0, "Box", kCentred, kCentred, 100, 50, 0, 0);
    controlAdd(d, kEdit, "", 1525, "", nullptr, 0, 0, 90, 20, 0, 0);
    std::vector<std::uint32_t> commands;
    int boxesClosed = 0;
    std::size_t commandsWhileBoxUp = 99;
    const Handler handler = [&](Window, std::uint32_t m, std::uint32_t wp, std::int32_t) {
        if (m == WM_INITDIALOG) {
            acceleratorsAttach(d, {{0, 0x0D, 254}});
            postMessage(d, 0x8000, 0, 0);
        } else if (m == 0x8000) {
            whenBox([&](QMessageBox* box) {
                if (QWidget* edit = detail::controlWidget(d, 1525)) {
                    QTest::keyClick(edit, Qt::Key_Return);
                }
                commandsWhileBoxUp = commands.size();
                box->button(QMessageBox::Ok)->click();
                ++boxesClosed;
            });
            messageBox("Failure to open comport", MB_ICONERROR, "Comport");
            if (QWidget* edit = detail::controlWidget(d, 1525)) {
                QTest::keyClick(edit, Qt::Key_Return);
            }
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
    EXPECT_EQ(boxesClosed, 1);
    EXPECT_EQ(commandsWhileBoxUp, 0u);
    EXPECT_EQ(commands, std::vector<std::uint32_t>{254});
}

} // namespace
} // namespace vesk::ui
