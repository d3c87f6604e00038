// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ok_cancel_buttons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace vesk {

QWidget* okCancelButtons(QDialog& dialog, std::function<void()> ok) {
    auto* buttons = new QDialogButtonBox;
    QPushButton* okButton = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    okButton->setObjectName("ok");
    QPushButton* cancelButton = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    cancelButton->setObjectName("cancel");
    // A focused button that is no auto-default leaves Return to the dialog's default, OK.
    for (QPushButton* button : {okButton, cancelButton}) {
        button->setAutoDefault(false);
    }
    okButton->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, std::move(ok));
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

} // namespace vesk
