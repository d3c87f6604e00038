// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/messages.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListView>
#include <QPalette>

#include <algorithm>

// The drop-down list with an edit field (kind kCombo, class "combobox").
namespace vesk::ui {

using namespace vesk::msg;
using namespace vesk::ui::style;
using namespace internal;

namespace {

// A sorted list (CBS_SORT) keeps its entries in order, case-insensitive, a new entry after its
// equals.
void comboInsert(QComboBox* combo, bool sorted, const QString& text) {
    if (!sorted) {
        combo->addItem(text);
        return;
    }
    int index = 0;
    while (index < combo->count() &&
           QString::compare(combo->itemText(index), text, Qt::CaseInsensitive) <= 0) {
        ++index;
    }
    combo->insertItem(index, text);
}

QWidget* createCombo(ControlRecord& c, QWidget* parent, std::uint32_t, const std::string& text,
                     const std::vector<std::string>* list, const Rect&) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setDuplicatesEnabled(true);
    if (list) {
        for (const std::string& entry : *list) {
            if (entry.empty()) {
                break;
            }
            comboInsert(combo, (c.style & CBS_SORT) != 0, fromUtf8(entry));
        }
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(fromUtf8(text));
    const CommandSender command = commandSender(c);
    QObject::connect(combo, &QComboBox::activated, combo, [command](int) {
        command(CBN_SELCHANGE);
        command(CBN_SELENDOK);
    });
    QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                     [command] { command(CBN_EDITCHANGE); });
    return combo;
}

std::string comboText(const ControlRecord& c) {
    return toUtf8(static_cast<QComboBox*>(c.widget.data())->currentText());
}
void setComboText(ControlRecord& c, const std::string& text) {
    static_cast<QComboBox*>(c.widget.data())->setEditText(fromUtf8(text));
}

void placeCombo(QWidget& w, const Rect& px) {
    // The given height includes the dropped list; the closed box takes its natural height.
    auto& combo = static_cast<QComboBox&>(w);
    const int boxHeight = combo.sizeHint().height();
    w.setGeometry(px.x, px.y, std::max(0, px.width), boxHeight);
    const int row = std::max(1, QFontMetrics(combo.font()).height() + 2);
    combo.setMaxVisibleItems(std::max(1, (px.height - boxHeight) / row));
}

void comboPalette(QWidget& w, const QPalette& palette) {
    auto& combo = static_cast<QComboBox&>(w);
    if (combo.lineEdit()) {
        combo.lineEdit()->setPalette(palette);
    }
    // The drop-down list is a window of its own: palettes do not reach it by inheritance.
    combo.view()->setPalette(palette);
}

QComboBox* comboOf(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    return c && c->type == Type::Combo ? static_cast<QComboBox*>(c->widget.data()) : nullptr;
}

} // namespace

namespace internal {

const ControlOps comboOps{.create = createCombo,
                          .getText = comboText,
                          .setText = setComboText,
                          .place = placeCombo,
                          .applyPalette = comboPalette,
                          .fieldColours = true,
                          .focus = ControlOps::Focus::ByTabStop};

} // namespace internal

void comboAdd(Window dialog, std::int32_t id, const std::string& text) {
    auto c = findControl(dialog, id);
    if (c && c->type == Type::Combo) {
        comboInsert(static_cast<QComboBox*>(c->widget.data()), (c->style & CBS_SORT) != 0,
                    fromUtf8(text));
    }
}

void comboClear(Window dialog, std::int32_t id) {
    if (QComboBox* combo = comboOf(dialog, id)) {
        const QString text = combo->currentText();
        combo->clear();
        combo->setEditText(text);
    }
}

void comboSelect(Window dialog, std::int32_t id, std::int32_t index) {
    if (QComboBox* combo = comboOf(dialog, id)) {
        // An index outside the list removes the selection and empties the edit field.
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
        if (combo->currentIndex() < 0) {
            combo->setEditText(QString());
        }
    }
}

std::int32_t comboSelection(Window dialog, std::int32_t id) {
    QComboBox* combo = comboOf(dialog, id);
    return combo ? combo->currentIndex() : -1;
}

std::int32_t comboCount(Window dialog, std::int32_t id) {
    QComboBox* combo = comboOf(dialog, id);
    return combo ? combo->count() : 0;
}

std::string comboGetText(Window dialog, std::int32_t id, std::int32_t index) {
    QComboBox* combo = comboOf(dialog, id);
    if (!combo) {
        return {};
    }
    const int i = index == -1 ? combo->currentIndex() : index;
    return i >= 0 && i < combo->count() ? toUtf8(combo->itemText(i)) : std::string();
}

} // namespace vesk::ui
