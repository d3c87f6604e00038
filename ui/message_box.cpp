// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <utility>
#include <vector>

namespace vesk::ui {

namespace {

std::function<int(const MessageBoxRecord&)>& responder() {
    static std::function<int(const MessageBoxRecord&)> instance;
    return instance;
}

// The boxes on screen, so that they can go with the main window.
std::vector<QPointer<QMessageBox>>& openBoxes() {
    static std::vector<QPointer<QMessageBox>> boxes;
    return boxes;
}

QMessageBox::Icon iconFor(std::uint32_t style) {
    switch (style & 0xF0u) {
    case msg::MB_ICONERROR:
        return QMessageBox::Critical;
    case msg::MB_ICONQUESTION:
        return QMessageBox::Question;
    case msg::MB_ICONWARNING:
        return QMessageBox::Warning;
    case msg::MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

bool isQuestion(std::uint32_t style) {
    return (style & 0xFu) == msg::MB_YESNO;
}

} // namespace

int messageBox(const std::string& text, std::uint32_t style, const std::string& caption) {
    const bool question = isQuestion(style);
    // A copy: the answer may run handlers that set another responder.
    if (const auto answer = responder()) {
        return answer({text, style, caption});
    }
    if (QApplication::instance() == nullptr) {
        return 0; // no box can be shown; the program ignores the answer
    }
    QMessageBox box(iconFor(style),
                    QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    if (question) {
        box.setDefaultButton((style & msg::MB_DEFBUTTON2) ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    if (QWidget* owner = detail::boxOwner()) {
        detail::ownBox(box, *owner);
    } else {
        // No window to belong to: an answer to a question holds the program back, a notice
        // does not.
        box.setWindowModality(question ? Qt::ApplicationModal : Qt::NonModal);
    }
    if (style & msg::MB_SYSTEMMODAL) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    openBoxes().push_back(&box);
    // Its own loop runs now: the dialogs below it get no accelerators until it is closed.
    const detail::ForeignModalScope scope;
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.show();
    if (box.isVisible()) {
        loop.exec();
    }
    std::erase_if(openBoxes(), [&box](const QPointer<QMessageBox>& open) {
        return open.isNull() || open == &box;
    });
    if (!question) {
        return static_cast<int>(msg::IDOK);
    }
    return box.clickedButton() == box.button(QMessageBox::Yes) ? static_cast<int>(msg::IDYES)
                                                               : static_cast<int>(msg::IDNO);
}

void setMessageBoxRecorder(std::function<void(const MessageBoxRecord&)> recorderFunction) {
    if (!recorderFunction) {
        responder() = {};
        return;
    }
    responder() = [recorder = std::move(recorderFunction)](const MessageBoxRecord& box) {
        recorder(box);
        return static_cast<int>(isQuestion(box.style) ? msg::IDYES : msg::IDOK);
    };
}

void setMessageBoxResponder(std::function<int(const MessageBoxRecord&)> responderFunction) {
    responder() = std::move(responderFunction);
}

namespace detail {

void closeMessageBoxes() {
    // A copy: rejecting a box ends its loop, which takes it off the list.
    const std::vector<QPointer<QMessageBox>> boxes = openBoxes();
    for (const QPointer<QMessageBox>& box : boxes) {
        if (QMessageBox* open = box.data()) {
            open->reject();
        }
    }
}

} // namespace detail

} // namespace vesk::ui
