// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QAbstractButton>
#include <QPainter>

// The owner-drawn button (BS_OWNERDRAW): the program describes its face.
namespace vesk::ui {

using namespace vesk::msg;
using namespace internal;

namespace {

// Fill, text and text colour as the program set them, with a bump edge. It shows no pressed or
// focus state.
class OwnerDrawButton final : public QAbstractButton {
public:
    explicit OwnerDrawButton(QWidget* parent) : QAbstractButton(parent) {}
    void setFace(const QString& text, Colour fill, Colour textColour) {
        faceText_ = text;
        fill_ = fill;
        textColour_ = textColour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(r, detail::isRealColour(fill_) ? toQColor(fill_)
                                                  : palette().color(QPalette::Button));
        p.setPen(detail::isRealColour(textColour_) ? toQColor(textColour_)
                                                   : palette().color(QPalette::ButtonText));
        p.setFont(font());
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, faceText_);
        // Bump edge: outer ring light above and left, dark below and right; inner ring reversed.
        const QColor light = palette().color(QPalette::Midlight);
        const QColor dark = palette().color(QPalette::Shadow);
        drawRing(p, r, light, dark);
        drawRing(p, r.adjusted(1, 1, -1, -1), dark, light);
    }
    QSize sizeHint() const override { return {40, 20}; }

private:
    static void drawRing(QPainter& p, const QRect& r, const QColor& topLeft,
                         const QColor& bottomRight) {
        if (r.width() <= 0 || r.height() <= 0) {
            return;
        }
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    }
    QString faceText_;
    Colour fill_ = kColourNotSet;
    Colour textColour_ = kColourNotSet;
};

// The control's own text is kept in its record: the face shows only what buttonSetFace gives.
QWidget* createOwnerDrawButton(ControlRecord& c, QWidget* parent, std::uint32_t,
                               const std::string& text, const std::vector<std::string>*,
                               const Rect&) {
    auto* button = new OwnerDrawButton(parent);
    c.windowText = text;
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [command = commandSender(c)] { command(BN_CLICKED); });
    return button;
}

} // namespace

namespace internal {

const ControlOps ownerDrawButtonOps{.create = createOwnerDrawButton,
                                    .focus = ControlOps::Focus::ByTabStop,
                                    .clickable = true,
                                    .enterClicks = true};

} // namespace internal

void buttonSetFace(Window dialog, std::int32_t id, const std::string& text, Colour fill,
                   Colour textColour) {
    auto c = findControl(dialog, id);
    if (c && c->type == Type::OwnerDrawButton) {
        static_cast<OwnerDrawButton*>(c->widget.data())->setFace(fromUtf8(text), fill, textColour);
    }
}

} // namespace vesk::ui
