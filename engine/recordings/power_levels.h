// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace kestrix::engine {

// Levels in dB of powers on a logarithmic scale: dblAtReference + dblDbPerLog2 (log2 p - dblReferenceLog2),
// dblFloor at the least, and dblFloor for a power that is not above 0 (or not a number).
struct LevelScale
{
    double dblAtReference;
    double dblReferenceLog2;
    double dblDbPerLog2;
    double dblFloor;
};

// The levels of a block of powers, two at a time where the machine allows: the base-2 logarithm is
// worked out from the exponent and a short series on the mantissa (within 1.1e-12 of the exact value), which
// a vector register computes for two powers at once. dblLevels may be dblPower itself.
void levelsOfPowers(std::span<const double> dblPower, const LevelScale& scale, std::span<double> dblLevels);

// The level of one power: the same arithmetic, so the same bits, as levelsOfPowers gives it.
double levelOfPower(double dblPower, const LevelScale& scale);

} // namespace kestrix::engine
