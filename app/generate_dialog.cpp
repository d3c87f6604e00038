// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/generate_dialog.h"

#include "app/beacon_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The modes in the order of the mode list; WSPR last.
constexpr beacon::Keying kKeyings[] = {beacon::Keying::Cw, beacon::Keying::FskCw,
                                       beacon::Keying::Dfcw};
constexpr int kWsprMode = 3;

QDoubleSpinBox* hertzBox(double value, double low, double high, int decimals) {
    auto* box = new QDoubleSpinBox;
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setSuffix(" Hz");
    return box;
}

} // namespace

GenerateDialog::GenerateDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Generate pattern");
    mode_ = new QComboBox;
    mode_->setObjectName("mode");
    mode_->addItems({"CW", "FSK-CW", "DFCW", "WSPR"});
    text_ = new QLineEdit("VVV DE ");
    text_->setObjectName("text");
    speed_ = new QComboBox;
    speed_->setObjectName("speed");
    speed_->addItems({"QRSS3", "QRSS10", "QRSS30", "QRSS60", "Other"});
    dotLength_ = new QSpinBox;
    dotLength_->setObjectName("dotLength");
    dotLength_->setRange(1, 3'600'000);
    dotLength_->setSuffix(" ms");
    shift_ = new QSpinBox;
    shift_->setObjectName("shift");
    shift_->setRange(-8, 7);
    shift_->setValue(1);
    spacing_ = hertzBox(5.0, 0.01, 2000.0, 2);
    spacing_->setObjectName("spacing");
    centre_ = hertzBox(1000.0, 1.0, 20000.0, 2);
    centre_->setObjectName("centre");
    callsign_ = new QLineEdit;
    callsign_->setObjectName("callsign");
    locator_ = new QLineEdit;
    locator_->setObjectName("locator");
    locator_->setMaxLength(4);
    power_ = new QSpinBox;
    power_->setObjectName("power");
    power_->setRange(0, 60);
    power_->setValue(30);
    power_->setSuffix(" dBm");
    audio_ = hertzBox(1500.0, 100.0, 19991.0, 1); // makeWsprPattern's range
    audio_->setObjectName("audio");
    problem_ = new QLabel;
    problem_->setObjectName("problem");
    problem_->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow("Mode", mode_);
    form->addRow("Text", text_);
    form->addRow("Speed", speed_);
    form->addRow("Dot length", dotLength_);
    form->addRow("Shift (rows up)", shift_);
    form->addRow("Tone spacing", spacing_);
    form->addRow("Centre frequency", centre_);
    form->addRow("Callsign", callsign_);
    form->addRow("Locator", locator_);
    form->addRow("Power", power_);
    form->addRow("Audio frequency", audio_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton* generateButton = buttons->addButton("Generate", QDialogButtonBox::AcceptRole);
    generateButton->setObjectName("generate");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &GenerateDialog::generate);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(mode_, &QComboBox::currentIndexChanged, this, &GenerateDialog::modeChanged);
    connect(speed_, &QComboBox::currentIndexChanged, this, [this] {
        if (const auto ms = beacon::qrssDotLength(speed_->currentText().toStdString())) {
            dotLength_->setValue(*ms);
        }
        dotLength_->setEnabled(!beacon::qrssDotLength(speed_->currentText().toStdString()));
    });
    dotLength_->setValue(3000);
    dotLength_->setEnabled(false);
    modeChanged();
}

void GenerateDialog::modeChanged() {
    const int mode = mode_->currentIndex();
    const bool wspr = mode == kWsprMode;
    for (QWidget* morse : {static_cast<QWidget*>(text_), static_cast<QWidget*>(speed_),
                           static_cast<QWidget*>(spacing_), static_cast<QWidget*>(centre_)}) {
        morse->setEnabled(!wspr);
    }
    dotLength_->setEnabled(!wspr && !beacon::qrssDotLength(speed_->currentText().toStdString()));
    shift_->setEnabled(mode == 1 || mode == 2);
    for (QWidget* w : {static_cast<QWidget*>(callsign_), static_cast<QWidget*>(locator_),
                       static_cast<QWidget*>(power_), static_cast<QWidget*>(audio_)}) {
        w->setEnabled(wspr);
    }
    problem_->clear();
}

void GenerateDialog::generate() {
    const auto make = [this]() -> Result<BeaconPattern> {
        if (mode_->currentIndex() == kWsprMode) {
            beacon::WsprSettings settings;
            settings.callsign = callsign_->text().trimmed().toStdString();
            settings.locator = locator_->text().trimmed().toStdString();
            settings.powerDbm = power_->value();
            settings.audio = static_cast<float>(audio_->value());
            return beacon::makeWsprPattern(settings);
        }
        beacon::MorseSettings settings;
        settings.keying = kKeyings[mode_->currentIndex()];
        settings.text = text_->text().toStdString();
        settings.dotLength = dotLength_->value();
        settings.shift = shift_->value();
        settings.spacing = static_cast<float>(spacing_->value());
        settings.centre = static_cast<float>(centre_->value());
        return beacon::makeMorsePattern(settings);
    };
    const Result<BeaconPattern> made = make();
    if (!made) {
        problem_->setText(QString::fromStdString(made.message()));
        return;
    }
    pattern_ = *made;
    accept();
}

std::optional<BeaconPattern> runGenerateDialog(ui::Window owner) {
    // On the heap: a main window that ends under it takes it along.
    const QPointer<GenerateDialog> dialog = new GenerateDialog(ui::topLevelWidget(owner));
    std::optional<BeaconPattern> made;
    const bool accepted = ui::runDialog(*dialog) == QDialog::Accepted;
    if (GenerateDialog* open = dialog.data()) { // null when it went with its owner
        if (accepted) {
            made = open->pattern();
        }
        delete open;
    }
    return made;
}

} // namespace vesk
