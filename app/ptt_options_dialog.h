// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/cat/rig_models.h"
#include "devices/ptt_choice.h"
#include "ui/toolkit.h"

#include <QDialog>
#include <QSpinBox>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace vesk {

// PTT > "PTT options...": the transmitter is keyed by the PTT port's lines (both, DTR or RTS,
// inverted or not) or by CAT command to a Hamlib rig picked from a list of models (narrowed by
// the search field), with its device or rigctld's host:port and its speed. Only the fields of
// the chosen keying can be changed. OK with a choice that cannot be opened as it stands says
// why in a message box and leaves the dialog open.
// What the PTT options box chooses: the keying, and how long the watchdog lets a key outlast
// its pattern (1..3600 s).
struct PttOptions {
    PttChoice choice;
    int maxKeySeconds = 10;
};

class PttOptionsDialog : public QDialog {
    Q_OBJECT
public:
    PttOptionsDialog(const PttOptions& current, std::vector<RigModelEntry> models,
                     QWidget* parent = nullptr);

    // The options taken by the last accepted OK.
    PttOptions options() const { return {choice_, maxKey_->value()}; }

private:
    void showChoice(const PttChoice& current);
    // The choice in the box; a failure says why it cannot be opened.
    Result<PttChoice> readChoice() const;
    void ok();
    void enableFields();
    void showModels();

    std::vector<RigModelEntry> models_;
    std::array<QRadioButton*, 3> lines_{}; // DTR and RTS, DTR only, RTS only
    QRadioButton* cat_;
    QCheckBox* inverted_;
    QLineEdit* search_;
    QComboBox* model_;
    QLineEdit* device_;
    QLineEdit* speed_;
    QSpinBox* maxKey_;
    PttChoice choice_;
};

// Runs the PTT options modally over `owner` with the rig models `models` gives: the options
// chosen, or nothing when cancelled.
std::optional<PttOptions>
askPttOptions(ui::Window owner, const PttOptions& current,
              const std::function<std::vector<RigModelEntry>()>& models = hamlibRigModels);

} // namespace vesk
