// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kestrix::bench {

// The yardstick for the engine's FFT: the transform written as plainly as its algorithm reads, with
// separate cosine and sine calls per group, the exclusive-or counters as they stand and the butterfly
// in its written order. dblR and dblI hold at least lngNumSamp values (a power of two); the result is
// in place, natural order, unscaled. The engine's kernel must agree with it bit for bit.
void plainFFT(std::int32_t lngNumSamp, double dblTheta, double* dblR, double* dblI);

} // namespace kestrix::bench
