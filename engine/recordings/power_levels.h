// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "power_levels_lanes.h"

#include <span>

namespace kestrix::engine {

// The levels of a block of powers (LevelScale), several at a time where the machine allows: the
// base-2 logarithm is worked out from the exponent and a short series on the mantissa (within 1.1e-12
// of the exact value), which a vector register computes for two or four powers at once. The bits do
// not depend on how many: every lane takes the same steps. dblLevels may be dblPower itself.
void levelsOfPowers(std::span<const double> dblPower, const LevelScale& scale, std::span<double> dblLevels);

// The level of one power: the same steps, so the same bits, as levelsOfPowers gives it.
double levelOfPower(double dblPower, const LevelScale& scale);

} // namespace kestrix::engine
