// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/clock_timing.h"
#include "ui/toolkit.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLineEdit;

namespace vesk {

// The interval list's first entry: cycles follow the pattern's repeat interval.
inline constexpr const char* kRepeatIntervalChoice = "Repeat interval (not on the clock)";

// PTT > "Timing...": transmissions start at the repeat interval, or every so many minutes plus
// an offset in seconds on the UTC clock. It shows the operator's timing, and says so when the
// pattern on screen plays by its own (`patternOwn`, a WSPR pattern's) instead. OK with a timing
// that cannot be kept says why in a message box and leaves the dialog open.
class TimingDialog : public QDialog {
    Q_OBJECT
public:
    explicit TimingDialog(const ClockTiming& current,
                          const std::optional<ClockTiming>& patternOwn = std::nullopt,
                          QWidget* parent = nullptr);

    // The timing taken by the last accepted OK.
    const ClockTiming& timing() const { return timing_; }

private:
    void ok();

    QComboBox* every_;
    QLineEdit* offset_;
    ClockTiming timing_;
};

// Runs the timing dialog modally over `owner`: the timing chosen, or nothing when cancelled.
std::optional<ClockTiming> askClockTiming(ui::Window owner, const ClockTiming& current,
                                          const std::optional<ClockTiming>& patternOwn);

} // namespace vesk
