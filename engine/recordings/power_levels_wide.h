// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "power_levels_lanes.h"

namespace kestrix::engine {

// The levels of the first powers four at a time in AVX2 where the build has it and the processor can
// (lanes::levelsOfLanes); none elsewhere. Returns how many were done.
std::size_t levelsOfPowersWide(const double* dblPower, std::size_t lngCount, const LevelScale& scale, double* dblLevels,
                               double (*odd)(double, const LevelScale&));

} // namespace kestrix::engine
