// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preview_dialog.h"

#include "app/beacon_dialogs.h"
#include "app/window_waits.h"

#include "preview/spectrogram.h"

#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vesk {

PreviewDialog::PreviewDialog(const BeaconPattern& pattern, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Preview");
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel;
    caption->setObjectName("caption");
    // A long pattern takes a while to analyse: the window keeps painting meanwhile.
    struct Drawn {
        Result<preview::Spectrogram> made;
        preview::Picture picture;
    };
    const Drawn result = whileWindowWaits(parent, [&pattern] {
        Drawn d{preview::makeSpectrogram(pattern), {}};
        if (d.made) {
            d.picture = preview::drawSpectrogram(*d.made, pattern);
        }
        return d;
    });
    const Result<preview::Spectrogram>& made = result.made;
    if (made) {
        const preview::Spectrogram& s = *made;
        const preview::Picture& drawn = result.picture;
        picture_ = QImage(drawn.width, drawn.height, QImage::Format_RGB32);
        for (int y = 0; y < drawn.height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
            for (int x = 0; x < drawn.width; ++x) {
                line[x] = 0xFF000000u | drawn.pixels[static_cast<std::size_t>(y * drawn.width + x)];
            }
        }
        auto* image = new QLabel;
        image->setObjectName("image");
        image->setPixmap(QPixmap::fromImage(picture_));
        auto* scroll = new QScrollArea;
        scroll->setWidget(image);
        scroll->setMinimumSize(std::min(drawn.width + 4, 1000), drawn.height + 24);
        layout->addWidget(scroll);
        caption->setText(QString("Time across: %1 s a column. Frequency up: %2 Hz a row from "
                                 "%3 Hz. Colour scale in dB of full level, at the right.")
                             .arg(s.secondsPerColumn, 0, 'g', 3)
                             .arg(s.hzPerRow, 0, 'g', 3)
                             .arg(s.lowestHz, 0, 'f', 2));
    } else {
        caption->setText(QString::fromStdString(made.message()));
    }
    layout->addWidget(caption);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void runPreviewDialog(ui::Window owner, const BeaconPattern& pattern) {
    // On the heap: a main window that ends under it takes it along.
    const QPointer<PreviewDialog> dialog = new PreviewDialog(pattern, ui::topLevelWidget(owner));
    ui::runDialog(*dialog);
    delete dialog.data();
}

} // namespace vesk
