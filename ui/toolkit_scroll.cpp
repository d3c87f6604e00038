// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/messages.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>

#include <algorithm>

// Scroll bars and track bars. Each action of the operator becomes WM_HSCROLL (WM_VSCROLL when
// vertical) with its SB_ code; a scroll bar keeps its thumb where the program put it (the
// handler moves it with scrollSetPos), a track bar moves its own.
namespace vesk::ui {

using namespace vesk::msg;
using namespace vesk::ui::style;
using namespace internal;

namespace {

// What the program does with either kind: range, thumb position, and the position it reads.
class ProgramThumb {
public:
    virtual void setRangeFromProgram(int minimum, int maximum) = 0;
    virtual void setPositionFromProgram(int position) = 0;
    virtual int positionForProgram() const = 0;

protected:
    ProgramThumb() = default;
    ProgramThumb(const ProgramThumb&) = default;
    ProgramThumb& operator=(const ProgramThumb&) = default;
    ~ProgramThumb() = default;
};

template <class Base> class ScrollControl final : public Base, public ProgramThumb {
public:
    ScrollControl(Qt::Orientation orientation, QWidget* parent, Window dialog, Window control,
                  bool ownThumb)
        : Base(orientation, parent), dialog_(dialog), control_(control), ownThumb_(ownThumb) {
        QObject::connect(this, &QAbstractSlider::actionTriggered, this,
                         [this](int action) { onAction(action); });
        QObject::connect(this, &QAbstractSlider::sliderReleased, this,
                         [this] { send(SB_THUMBPOSITION, this->sliderPosition()); });
    }
    void setRangeFromProgram(int minimum, int maximum) override {
        this->setRange(minimum, std::max(minimum, maximum));
        position_ = std::clamp(position_, this->minimum(), this->maximum());
        if (ownThumb_) {
            this->setPageStep(std::max(1, (this->maximum() - this->minimum()) / 5));
        }
        this->setValue(position_);
    }
    void setPositionFromProgram(int position) override {
        position_ = std::clamp(position, this->minimum(), this->maximum());
        this->setValue(position_);
    }
    int positionForProgram() const override {
        return ownThumb_ ? this->sliderPosition() : position_;
    }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        const bool wasActive = this->isSliderDown() || e->button() == Qt::LeftButton;
        Base::mouseReleaseEvent(e);
        if (wasActive && e->button() == Qt::LeftButton) {
            restoreThumb();
            send(SB_ENDSCROLL, 0);
        }
    }
    void keyReleaseEvent(QKeyEvent* e) override {
        Base::keyReleaseEvent(e);
        switch (e->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            if (!e->isAutoRepeat()) {
                send(SB_ENDSCROLL, 0);
            }
            break;
        default:
            break;
        }
    }
    void wheelEvent(QWheelEvent* e) override {
        // A scroll bar control ignores the wheel; a track bar steps with it.
        if (ownThumb_) {
            Base::wheelEvent(e);
        } else {
            e->ignore();
        }
    }

private:
    void onAction(int action) {
        std::uint32_t code = 0;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            code = SB_LINERIGHT;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            code = SB_LINELEFT;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = SB_PAGERIGHT;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = SB_PAGELEFT;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = SB_LEFT;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = SB_RIGHT;
            break;
        case QAbstractSlider::SliderMove:
            code = SB_THUMBTRACK;
            break;
        default:
            return;
        }
        const int requested = this->sliderPosition();
        if (!ownThumb_ && code != SB_THUMBTRACK) {
            // Inside triggerAction: the value that follows is taken from this position.
            this->setValue(position_);
        }
        send(code, code == SB_THUMBTRACK ? requested : 0);
    }
    void restoreThumb() {
        if (!ownThumb_) {
            this->setValue(position_);
        }
    }
    void send(std::uint32_t code, int position) {
        const std::uint32_t message =
            this->orientation() == Qt::Horizontal ? WM_HSCROLL : WM_VSCROLL;
        dispatch(dialog_, message, makeWParam(code, static_cast<std::uint32_t>(position)),
                 control_);
    }

    Window dialog_;
    Window control_;
    bool ownThumb_;
    int position_ = 0;
};

using TrackBar = ScrollControl<QSlider>;
using ScrollBar = ScrollControl<QScrollBar>;

QWidget* createTrackBar(ControlRecord& c, QWidget* parent, std::uint32_t, const std::string& text,
                        const std::vector<std::string>*, const Rect&) {
    auto* bar = new TrackBar((c.style & TBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent, c.dialog,
                             c.handle, true);
    bar->setTracking(true);
    bar->setSingleStep(1);
    bar->setRangeFromProgram(0, 100);
    c.windowText = text;
    return bar;
}

QWidget* createScrollBar(ControlRecord& c, QWidget* parent, std::uint32_t, const std::string& text,
                         const std::vector<std::string>*, const Rect&) {
    auto* bar = new ScrollBar((c.style & SBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent,
                              c.dialog, c.handle, false);
    bar->setTracking(true);
    bar->setSingleStep(1);
    bar->setPageStep(0); // the platform's fixed-size thumb
    bar->setRangeFromProgram(0, 0);
    c.windowText = text;
    return bar;
}

ProgramThumb* thumbOf(Window dialog, std::int32_t id) {
    auto c = findControl(dialog, id);
    if (!c) {
        return nullptr;
    }
    switch (c->type) {
    case Type::TrackBar:
        return static_cast<TrackBar*>(c->widget.data());
    case Type::ScrollBar:
        return static_cast<ScrollBar*>(c->widget.data());
    default:
        return nullptr;
    }
}

} // namespace

namespace internal {

const ControlOps trackBarOps{.create = createTrackBar, .focus = ControlOps::Focus::ByTabStop};
// A scroll bar without WS_TABSTOP keeps the focus policy Qt gives it.
const ControlOps scrollBarOps{.create = createScrollBar,
                              .focus = ControlOps::Focus::OnlyWithTabStop};

} // namespace internal

void scrollSetRange(Window dialog, std::int32_t id, std::int32_t min, std::int32_t max, bool) {
    if (ProgramThumb* thumb = thumbOf(dialog, id)) {
        thumb->setRangeFromProgram(min, max);
    }
}

void scrollSetPos(Window dialog, std::int32_t id, std::int32_t pos, bool) {
    if (ProgramThumb* thumb = thumbOf(dialog, id)) {
        thumb->setPositionFromProgram(pos);
    }
}

std::int32_t scrollGetPos(Window dialog, std::int32_t id) {
    ProgramThumb* thumb = thumbOf(dialog, id);
    return thumb ? thumb->positionForProgram() : 0;
}

} // namespace vesk::ui
