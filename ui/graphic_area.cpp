// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "ui/toolkit_detail.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vesk::ui {

namespace {

// Shows its backing bitmap; everything is drawn into the bitmap first, so what tests read
// from it is what the screen shows.
class GraphicArea final : public QWidget {
public:
    GraphicArea(QWidget* parent, int width, int height)
        : QWidget(parent), image_(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32) {
        image_.fill(Qt::white);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QImage& image() { return image_; }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter painter(this);
        const QRect r = e->rect().intersected(image_.rect());
        if (!r.isEmpty()) {
            painter.drawImage(r.topLeft(), image_, r);
        }
    }

private:
    QImage image_;
};

GraphicArea* areaOf(Window dialog, std::int32_t id) {
    return dynamic_cast<GraphicArea*>(detail::controlWidget(dialog, id));
}

QRgb rgbOf(Colour colour) {
    return detail::toArgb(colour);
}

// A one-colour rectangle x0..x1-1, y0..y1-1, clipped to the image.
void fillSpan(QImage& image, int x0, int y0, int x1, int y1, QRgb colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.width());
    y1 = std::min(y1, image.height());
    for (int y = y0; y < y1; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line + x0, line + std::max(x0, x1), colour);
    }
}

QString fontFamily(const std::string& family) {
    const QString wanted = QString::fromUtf8(family.data(), static_cast<qsizetype>(family.size()));
    if (!wanted.isEmpty() && QFontDatabase::families().contains(wanted, Qt::CaseInsensitive)) {
        return wanted;
    }
    // Metrically the same as the common Windows sans serif faces.
    return QStringLiteral("Liberation Sans");
}

} // namespace

namespace detail {

QWidget* createGraphicArea(QWidget* parent, int width, int height) {
    return new GraphicArea(parent, width, height);
}

} // namespace detail

void graphicClear(Window dialog, std::int32_t id, Colour colour) {
    GraphicArea* area = areaOf(dialog, id);
    if (!area || colour == kTransparent) {
        return;
    }
    // The default colour of a drawing surface's background is white.
    area->image().fill(detail::isRealColour(colour) ? rgbOf(colour) : qRgb(255, 255, 255));
}

void graphicBox(Window dialog, std::int32_t id, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                std::int32_t y2, Colour fill, Colour line) {
    GraphicArea* area = areaOf(dialog, id);
    if (!area || x2 <= x1 || y2 <= y1) {
        return;
    }
    QImage& image = area->image();
    // Edges beyond the image cannot matter; clamping first keeps the arithmetic in range.
    const auto clampX = [&](std::int32_t v) {
        return std::clamp(v, -1, image.width() + 1);
    };
    const auto clampY = [&](std::int32_t v) {
        return std::clamp(v, -1, image.height() + 1);
    };
    const int left = clampX(x1);
    const int right = clampX(x2);
    const int top = clampY(y1);
    const int bottom = clampY(y2);
    if (fill != kTransparent) {
        const QRgb colour = detail::isRealColour(fill) ? rgbOf(fill) : qRgb(255, 255, 255);
        fillSpan(image, left, top, right, bottom, colour);
    }
    if (line != kTransparent) {
        const QRgb colour = detail::isRealColour(line) ? rgbOf(line) : qRgb(0, 0, 0);
        // The outline lies on the box's own border pixels; parts outside the image clip away.
        fillSpan(image, left, top, left + 1, bottom, colour);
        fillSpan(image, right - 1, top, right, bottom, colour);
        fillSpan(image, left, top, right, top + 1, colour);
        fillSpan(image, left, bottom - 1, right, bottom, colour);
    }
}

void graphicText(Window dialog, std::int32_t id, std::int32_t x, std::int32_t y,
                 const std::string& text, const std::string& family, int pointSize, Colour colour) {
    GraphicArea* area = areaOf(dialog, id);
    if (!area || area->image().isNull() || text.empty()) {
        return;
    }
    QFont font(fontFamily(family));
    // Points at the screen's logical resolution, as the platform sizes a font for a window.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize * dpi / 72.0))));
    font.setStyleStrategy(QFont::NoAntialias);
    QPainter painter(&area->image());
    painter.setFont(font);
    painter.setPen(detail::isRealColour(colour) ? QColor::fromRgb(rgbOf(colour))
                                                : QColor(Qt::black));
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()),
                     QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void graphicShow(Window dialog, std::int32_t id) {
    if (GraphicArea* area = areaOf(dialog, id)) {
        area->update();
    }
}

Colour graphicPixel(Window dialog, std::int32_t id, std::int32_t x, std::int32_t y) {
    GraphicArea* area = areaOf(dialog, id);
    if (!area || !area->image().valid(x, y)) {
        return -1;
    }
    return detail::fromArgb(area->image().pixel(x, y));
}

} // namespace vesk::ui
