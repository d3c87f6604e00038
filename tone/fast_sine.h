// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace vesk {

// sin of `count` angles in radians, within a few units in the last place of std::sin (an
// absolute error below 1e-15). Angles beyond +-1e6 rad, NaN and infinities are handed to
// std::sin. The two arrays must not overlap.
void fastSines(const double* angles, double* sines, std::size_t count);

} // namespace vesk
