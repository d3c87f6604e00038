// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/timing_dialog.h"

#include "app/ok_cancel_buttons.h"
#include "ui/messages.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

#include <charconv>
#include <string>

namespace vesk {

namespace {

constexpr const char* kCaption = "Timing";

const QStringList& intervalChoices() {
    static const QStringList choices = {kRepeatIntervalChoice, "1 minute",   "2 minutes",
                                        "5 minutes",           "10 minutes", "15 minutes",
                                        "30 minutes",          "60 minutes", "120 minutes"};
    return choices;
}

std::string intervalText(int minutes) {
    if (minutes <= 0) {
        return kRepeatIntervalChoice;
    }
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

// A whole number at the start of `text` (a list entry or what was typed), with nothing after
// it but " minute(s)" or spaces.
std::optional<int> leadingNumber(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    int value = 0;
    const char* begin = text.data() + first;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end == begin) {
        return std::nullopt;
    }
    const std::string rest(end, text.data() + text.size());
    if (rest.find_first_not_of(' ') == std::string::npos || rest == " minute" ||
        rest == " minutes") {
        return value;
    }
    return std::nullopt;
}

// The timing in the two fields; a failure says why it cannot be kept.
Result<ClockTiming> readTiming(const std::string& every, const std::string& offsetText) {
    if (every == kRepeatIntervalChoice) {
        return ClockTiming{};
    }
    const std::optional<int> minutes = leadingNumber(every);
    const std::optional<int> offset = offsetText.empty() ? 0 : leadingNumber(offsetText);
    if (!minutes || *minutes <= 0) {
        return fail("\"" + every + "\" is not a number of minutes.");
    }
    if (!offset) {
        return fail("\"" + offsetText + "\" is not a number of seconds.");
    }
    const ClockTiming timing{*minutes, *offset};
    if (Result<> checked = checkClockTiming(timing); !checked) {
        return checked.failure();
    }
    return timing;
}

// "every 2 minutes, 1 s past", or the repeat interval.
std::string timingText(const ClockTiming& timing) {
    if (!timing.onTheClock()) {
        return "at the repeat interval";
    }
    return "every " + intervalText(timing.everyMinutes) + ", " +
           std::to_string(timing.offsetSeconds) + " s past";
}

} // namespace

TimingDialog::TimingDialog(const ClockTiming& current, const std::optional<ClockTiming>& patternOwn,
                           QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(kCaption);
    every_ = new QComboBox;
    every_->setObjectName("every");
    every_->setEditable(true);
    // What is typed is read on OK, never added to the list.
    every_->setInsertPolicy(QComboBox::NoInsert);
    every_->addItems(intervalChoices());
    const QString shown = QString::fromStdString(intervalText(current.everyMinutes));
    every_->setCurrentIndex(static_cast<int>(intervalChoices().indexOf(shown)));
    every_->setEditText(shown);
    offset_ = new QLineEdit(QString::number(current.offsetSeconds));
    offset_->setObjectName("offset");
    auto* note =
        new QLabel("past each multiple of the minutes, UTC. Applies from the next Turn On.");
    note->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow("Every", every_);
    form->addRow("Offset (s)", offset_);
    form->addRow(note);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Each transmission starts:"));
    layout->addLayout(form);
    if (patternOwn) {
        auto* applies = new QLabel(QString::fromStdString(
            "Now the WSPR pattern on screen plays by its own timing, " + timingText(*patternOwn) +
            " UTC, until another pattern is opened, generated or reset. OK puts the timing "
            "above in its place."));
        applies->setObjectName("applies");
        applies->setWordWrap(true);
        layout->addWidget(applies);
    }
    layout->addWidget(okCancelButtons(*this, [this] { ok(); }));

    every_->setFocus();
}

void TimingDialog::ok() {
    const Result<ClockTiming> timing =
        readTiming(every_->currentText().toStdString(), offset_->text().toStdString());
    if (!timing) {
        ui::messageBox(timing.message(), msg::MB_OK | msg::MB_ICONWARNING, kCaption);
        return;
    }
    timing_ = *timing;
    accept();
}

std::optional<ClockTiming> askClockTiming(ui::Window owner, const ClockTiming& current,
                                          const std::optional<ClockTiming>& patternOwn) {
    // On the heap: a main window that ends under it takes it along.
    const QPointer<TimingDialog> dialog =
        new TimingDialog(current, patternOwn, ui::topLevelWidget(owner));
    std::optional<ClockTiming> chosen;
    const bool accepted = ui::runDialog(*dialog) == QDialog::Accepted;
    if (TimingDialog* open = dialog.data()) { // null when it went with its owner
        if (accepted) {
            chosen = open->timing();
        }
        delete open;
    }
    return chosen;
}

} // namespace vesk
