// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ptt_options_dialog.h"

#include "app/ok_cancel_buttons.h"
#include "ui/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QVBoxLayout>

#include <charconv>
#include <string>

namespace vesk {

namespace {

constexpr const char* kCaption = "PTT options";

// The keying options by the lines, in the order of PttOptionsDialog::lines_.
struct KeyingOption {
    const char* name;
    const char* text;
    platform::PttLines lines;
};
constexpr KeyingOption kKeyingOptions[] = {
    {"dtrRts", "DTR and RTS", platform::PttLines::DtrRts},
    {"dtr", "DTR only", platform::PttLines::Dtr},
    {"rts", "RTS only", platform::PttLines::Rts},
};

// A whole number that is all of `text` but for blanks around it.
std::optional<int> wholeNumber(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    int value = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end ? std::optional<int>(value) : std::nullopt;
}

// The model number an entry ("3073  Icom IC-7300") or a typed number starts with; 0 for none.
int modelNumber(const QString& text) {
    const std::string entry = text.toStdString();
    return wholeNumber(entry.substr(0, entry.find(' '))).value_or(0);
}

QLineEdit* field(const char* name) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

} // namespace

PttOptionsDialog::PttOptionsDialog(const PttOptions& current, std::vector<RigModelEntry> models,
                                   QWidget* parent)
    : QDialog(parent), models_(std::move(models)), choice_(current.choice) {
    setWindowTitle(kCaption);
    auto* keying = new QVBoxLayout;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        lines_[i] = new QRadioButton(kKeyingOptions[i].text);
        lines_[i]->setObjectName(kKeyingOptions[i].name);
        keying->addWidget(lines_[i]);
    }
    cat_ = new QRadioButton("CAT (Hamlib)");
    cat_->setObjectName("cat");
    keying->addWidget(cat_);
    inverted_ = new QCheckBox("Inverted (keyed = line cleared)");
    inverted_->setObjectName("inverted");
    auto* ways = new QHBoxLayout;
    ways->addLayout(keying);
    ways->addWidget(inverted_, 0, Qt::AlignTop);

    search_ = field("search");
    model_ = new QComboBox;
    model_->setObjectName("model");
    // A model number may be typed instead of picked; it is read on OK, never added.
    model_->setEditable(true);
    model_->setInsertPolicy(QComboBox::NoInsert);
    device_ = field("device");
    speed_ = field("speed");
    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(speed_);
    speedRow->addWidget(new QLabel("empty: the model's own"));
    auto* rig = new QFormLayout;
    rig->addRow("Rig model, search:", search_);
    rig->addRow(model_);
    rig->addRow("Device or host:port", device_);
    rig->addRow("Speed (Bd)", speedRow);

    // The watchdog holds whatever the sound does: a key that outlasts its pattern by this much
    // is released and the beacon turned off.
    maxKey_ = new QSpinBox;
    maxKey_->setObjectName("maxKey");
    maxKey_->setRange(1, 3600);
    maxKey_->setSuffix(" s");
    maxKey_->setValue(current.maxKeySeconds);
    maxKey_->setToolTip("The transmitter is released, and the beacon turned off, when a key "
                        "lasts this much longer than its pattern");
    auto* watchdog = new QFormLayout;
    watchdog->addRow("Release a key left on after its pattern by", maxKey_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Key the transmitter by:"));
    layout->addLayout(ways);
    layout->addLayout(rig);
    layout->addLayout(watchdog);
    layout->addWidget(okCancelButtons(*this, [this] { ok(); }));
    showChoice(current.choice);
    connect(search_, &QLineEdit::textChanged, this, &PttOptionsDialog::showModels);
    connect(cat_, &QRadioButton::toggled, this, &PttOptionsDialog::enableFields);
}

void PttOptionsDialog::showChoice(const PttChoice& current) {
    QRadioButton* chosen = cat_;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!current.usesCat() && current.lines.lines == kKeyingOptions[i].lines) {
            chosen = lines_[i];
        }
    }
    chosen->setChecked(true);
    inverted_->setChecked(current.lines.inverted);
    showModels();
    for (std::size_t i = 0; i < models_.size(); ++i) {
        if (models_[i].model == current.rig.model) {
            model_->setCurrentIndex(static_cast<int>(i));
        }
    }
    device_->setText(QString::fromStdString(current.rig.device));
    speed_->setText(current.rig.speed > 0 ? QString::number(current.rig.speed) : QString());
    enableFields();
    chosen->setFocus();
}

void PttOptionsDialog::enableFields() {
    const bool cat = cat_->isChecked();
    inverted_->setEnabled(!cat);
    for (QWidget* rigField : std::initializer_list<QWidget*>{search_, model_, device_, speed_}) {
        rigField->setEnabled(cat);
    }
}

// The entries the search words match: the model chosen before stays chosen when it is among
// them, else the first one is; with none, the model field is empty.
void PttOptionsDialog::showModels() {
    const int chosen = modelNumber(model_->currentText());
    model_->clear();
    int index = 0, found = 0;
    for (const RigModelEntry& entry : filterRigModels(models_, search_->text().toStdString())) {
        model_->addItem(QString::fromStdString(entry.text));
        if (entry.model == chosen) {
            found = index;
        }
        ++index;
    }
    model_->setCurrentIndex(found < model_->count() ? found : -1);
    if (model_->currentIndex() < 0) {
        model_->setEditText(QString());
    }
}

Result<PttChoice> PttOptionsDialog::readChoice() const {
    PttChoice choice = choice_;
    choice.keyer = cat_->isChecked() ? PttChoice::Keyer::Cat : PttChoice::Keyer::Lines;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i]->isChecked()) {
            choice.lines.lines = kKeyingOptions[i].lines;
        }
    }
    choice.lines.inverted = inverted_->isChecked();
    if (choice.usesCat()) {
        const std::string speed = speed_->text().toStdString();
        const std::optional<int> baud = speed.find_first_not_of(' ') == std::string::npos
                                            ? std::optional<int>(0)
                                            : wholeNumber(speed);
        if (!baud) {
            return fail("\"" + speed + "\" is not a speed in baud.");
        }
        choice.rig.model = modelNumber(model_->currentText());
        choice.rig.device = device_->text().toStdString();
        choice.rig.speed = *baud;
    }
    if (Result<> checked = checkPttChoice(choice); !checked) {
        return checked.failure();
    }
    return choice;
}

void PttOptionsDialog::ok() {
    const Result<PttChoice> choice = readChoice();
    if (!choice) {
        ui::messageBox(choice.message(), msg::MB_OK | msg::MB_ICONWARNING, kCaption);
        return;
    }
    choice_ = *choice;
    accept();
}

std::optional<PttOptions> askPttOptions(ui::Window owner, const PttOptions& current,
                                        const std::function<std::vector<RigModelEntry>()>& models) {
    // On the heap: a main window that ends under it takes it along.
    const QPointer<PttOptionsDialog> dialog = new PttOptionsDialog(
        current, models ? models() : std::vector<RigModelEntry>{}, ui::topLevelWidget(owner));
    std::optional<PttOptions> chosen;
    const bool accepted = ui::runDialog(*dialog) == QDialog::Accepted;
    if (PttOptionsDialog* open = dialog.data()) { // null when it went with its owner
        if (accepted) {
            chosen = open->options();
        }
        delete open;
    }
    return chosen;
}

} // namespace vesk
