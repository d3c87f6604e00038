// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "beacon/generator.h"

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace vesk {

// File > "Generate pattern...": a Morse text (CW, FSK-CW, DFCW) or a WSPR message made into a
// pattern. Generate keeps the dialog open with the reason while the input is refused and
// closes it (accepted) once a pattern is made.
class GenerateDialog : public QDialog {
    Q_OBJECT
public:
    explicit GenerateDialog(QWidget* parent = nullptr);

    // The pattern made by the last accepted Generate.
    const BeaconPattern& pattern() const { return pattern_; }

    // What the Generate button does.
    void generate();

private:
    void modeChanged();

    QComboBox* mode_;
    QLineEdit* text_;
    QComboBox* speed_;
    QSpinBox* dotLength_;
    QSpinBox* shift_;
    QDoubleSpinBox* spacing_;
    QDoubleSpinBox* centre_;
    QLineEdit* callsign_;
    QLineEdit* locator_;
    QSpinBox* power_;
    QDoubleSpinBox* audio_;
    QLabel* problem_;
    BeaconPattern pattern_;
};

} // namespace vesk
