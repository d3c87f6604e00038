// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_units.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace vesk::ui {

std::int32_t mulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0) {
        return -1;
    }
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t divisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t quotient = ((product < 0 ? -product : product) + divisor / 2) / divisor;
    const std::int64_t result = negative ? -quotient : quotient;
    if (result > INT32_MAX || result < INT32_MIN) {
        return -1;
    }
    return static_cast<std::int32_t>(result);
}

BaseUnits baseUnitsOf(int alphabetAdvance, int lineHeight) {
    return {(alphabetAdvance / 26 + 1) / 2, lineHeight};
}

Rect mapDialogRect(const Rect& units, BaseUnits base) {
    // The far edge of a rectangle that reaches past 32 bits stops at the last value.
    const auto edge = [](std::int32_t origin, std::int32_t extent) {
        const std::int64_t sum = static_cast<std::int64_t>(origin) + extent;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
    };
    const std::int32_t left = mulDiv(units.x, base.x, 4);
    const std::int32_t top = mulDiv(units.y, base.y, 8);
    const std::int32_t right = mulDiv(edge(units.x, units.width), base.x, 4);
    const std::int32_t bottom = mulDiv(edge(units.y, units.height), base.y, 8);
    return {left, top, static_cast<std::int32_t>(static_cast<std::int64_t>(right) - left),
            static_cast<std::int32_t>(static_cast<std::int64_t>(bottom) - top)};
}

double fittingScale(double scale, std::int32_t width, std::int32_t height, std::int32_t areaWidth,
                    std::int32_t areaHeight) {
    if (scale <= 1.0 || width <= 0 || height <= 0 || areaWidth <= 0 || areaHeight <= 0 ||
        (width * scale <= areaWidth && height * scale <= areaHeight)) {
        return scale;
    }
    const double fits =
        std::min(static_cast<double>(areaWidth) / width, static_cast<double>(areaHeight) / height);
    return std::max(1.0, std::floor(fits * 100.0) / 100.0);
}

} // namespace vesk::ui
