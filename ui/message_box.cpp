#include "ui/toolkit.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace vesk::ui {

namespace {

std::function<void(const MessageBoxRecord&)>& recorder() {
    static std::function<void(const MessageBoxRecord&)> instance;
    return instance;
}

QMessageBox::Icon iconFor(std::uint32_t style) {
    switch (style & 0xF0u) {
    case msg::MB_ICONERROR:
        return QMessageBox::Critical;
    case 0x20u:
        return QMessageBox::Question;
    case msg::MB_ICONWARNING:
        return QMessageBox::Warning;
    case msg::MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int messageBox(const std::string& text, std::uint32_t style, const std::string& caption) {
    if (recorder()) {
        recorder()({text, style, caption});
        return 1;
    }
    if (QApplication::instance() == nullptr) {
        return 0; // no box can be shown; the program ignores the answer
    }
    QMessageBox box(
        iconFor(style), QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    if (style & msg::MB_SYSTEMMODAL) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    // Its own loop runs now: the dialogs below it get no accelerators until it is closed.
    const detail::ForeignModalScope scope;
    box.exec();
    return static_cast<int>(msg::IDOK);
}

void setMessageBoxRecorder(std::function<void(const MessageBoxRecord&)> recorderFunction) {
    recorder() = std::move(recorderFunction);
}

} // namespace vesk::ui
