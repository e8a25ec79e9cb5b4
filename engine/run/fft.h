// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kestrix::engine {

// In-place radix-2 transform of lngNumSamp complex values (a power of two, at most the arrays'
// length), natural order in and out, unscaled:
//   X[k] = sum over n of x[n] * (cos(theta*n*k) + i*sin(theta*n*k)).
// dblTheta = (-2 * dblPI) / N forward, (2 * dblPI) / N inverse (the caller divides by N).
// Bit reversal first, then log2(N) butterfly stages; each group's twiddle is the library's cosine and
// sine of w * dblTheta, computed afresh (no table, no recurrence), so results are reproducible bit for
// bit. Touches no index at or above lngNumSamp.
void FFT(std::int32_t lngNumSamp, double dblTheta, std::span<double> dblR_SPCData, std::span<double> dblI_SPCData);

// The builds of the butterfly loops: the baseline runs anywhere, AVX2 on x86-64 processors that have
// it. FFT takes the fastest available; all give the same bits.
enum class FftLoops {
    Baseline,
    Avx2,
};
bool fftLoopsAvailable(FftLoops loops);
// Whether the processor running this has AVX2 (never off x86-64): the kernels that have a variant for
// it choose that variant by this, at run time.
bool processorHasAvx2();

// FFT with the given build of its loops, which must be available (for the tests that compare them).
void fftWithLoops(FftLoops loops, std::int32_t lngNumSamp, double dblTheta, std::span<double> dblR_SPCData,
                  std::span<double> dblI_SPCData);

// FFT with its twiddle factors computed once, for many transforms of one size: a table of the same
// library cosines and sines that FFT computes afresh for every group (N / 2 pairs, held in the order
// the groups use them), so each transform gives exactly the bits of FFT in less time.
class FftPlan
{
public:
    // lngNumSamp a power of two, dblTheta as for FFT; the fastest available loops unless given.
    FftPlan(std::int32_t lngNumSamp, double dblTheta);
    FftPlan(std::int32_t lngNumSamp, double dblTheta, FftLoops loops);

    // FFT(lngNumSamp, dblTheta, dblR_SPCData, dblI_SPCData), bit for bit.
    void transform(std::span<double> dblR_SPCData, std::span<double> dblI_SPCData) const;

private:
    std::int32_t lngNumSamp;
    FftLoops loops;
    std::vector<double> dblCos;
    std::vector<double> dblSin;
};

} // namespace kestrix::engine
