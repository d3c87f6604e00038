// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QDialog;
class QWidget;

namespace vesk {

// OK and Cancel for `dialog` (object names "ok" and "cancel"), to be placed in its layout.
// Return is OK wherever the focus is and Escape is Cancel. OK runs `ok`, which accepts the
// dialog once it takes what was entered; Cancel rejects it.
QWidget* okCancelButtons(QDialog& dialog, std::function<void()> ok);

} // namespace vesk
