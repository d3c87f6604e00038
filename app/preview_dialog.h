// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/pattern.h"

#include <QDialog>

class QLabel;

namespace vesk {

// View > "Preview": the pattern as a receiving grabber draws it (preview/spectrogram.h). It
// reads the pattern it is given and changes nothing.
class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    explicit PreviewDialog(const BeaconPattern& pattern, QWidget* parent = nullptr);

    // The drawn picture (null when the pattern could not be rendered).
    const QImage& picture() const { return picture_; }

private:
    QImage picture_;
};

} // namespace vesk
