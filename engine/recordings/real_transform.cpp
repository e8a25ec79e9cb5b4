// SPDX-License-Identifier: GPL-3.0-or-later
#include "real_transform.h"

#include <algorithm>
#include <cassert>
#include <mutex>

#if KESTRIX_HAVE_FFTW
#include <fftw3.h>
#endif

namespace kestrix::engine {

bool realTransformAvailable(RealTransformKind kind)
{
#if KESTRIX_HAVE_FFTW
    return kind == RealTransformKind::EngineFft || kind == RealTransformKind::Fftw;
#else
    return kind == RealTransformKind::EngineFft;
#endif
}

RealTransformKind fastestRealTransform()
{
    return realTransformAvailable(RealTransformKind::Fftw) ? RealTransformKind::Fftw : RealTransformKind::EngineFft;
}

#if KESTRIX_HAVE_FFTW
namespace {

// FFTW's planner is not to be called from two threads at once; executing a plan is.
std::mutex& fftwPlanner()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace
#endif

RealTransform::RealTransform(std::int32_t lngNumSamp, double dblPI, RealTransformKind kind)
    : lngNumSamp(lngNumSamp), transformKind(kind)
{
    assert(lngNumSamp >= 4 && (lngNumSamp & (lngNumSamp - 1)) == 0);
    assert(realTransformAvailable(kind));
    if (kind == RealTransformKind::EngineFft) {
        enginePlan.emplace(lngNumSamp, (-2 * dblPI) / lngNumSamp);
        return;
    }
#if KESTRIX_HAVE_FFTW
    // Planned on buffers allocated as the callers' are: FFTW runs a plan only on arrays aligned as the
    // ones it was made for.
    SegmentBuffer dblScratch = makeScratch();
    double* const pIn = dblScratch.data();
    double* const pOut = dblScratch.data() + lngNumSamp;
    const std::lock_guard lock(fftwPlanner());
    fftwPlan = fftw_plan_dft_r2c_1d(lngNumSamp, pIn, reinterpret_cast<fftw_complex*>(pOut),
                                    FFTW_ESTIMATE | FFTW_PRESERVE_INPUT);
    if (fftwPlan == nullptr) {
        throw std::bad_alloc();
    }
    intFftwInAlignment = fftw_alignment_of(pIn);
#endif
}

RealTransform::~RealTransform()
{
#if KESTRIX_HAVE_FFTW
    if (fftwPlan != nullptr) {
        const std::lock_guard lock(fftwPlanner());
        fftw_destroy_plan(static_cast<fftw_plan>(fftwPlan));
    }
#endif
}

// FFTW's room: a segment that must be copied to be aligned, then each set of N / 2 + 1 complex lines,
// every set starting 64 bytes aligned as the first, for which the plan was made.
namespace {

std::size_t lineSetStride(std::int32_t lngNumSamp)
{
    return (static_cast<std::size_t>(lngNumSamp) + 2 + 7) / 8 * 8;
}

} // namespace

SegmentBuffer RealTransform::makeScratch(std::size_t lngLineSets) const
{
    return transformKind == RealTransformKind::Fftw
               ? SegmentBuffer(static_cast<std::size_t>(lngNumSamp) + lngLineSets * lineSetStride(lngNumSamp))
               : SegmentBuffer();
}

void RealTransform::pairPowers(std::span<double> dblA, std::span<double> dblB, std::span<double> dblPowerA,
                               std::span<double> dblPowerB, SegmentBuffer& dblScratch) const
{
    const auto lngSize = static_cast<std::size_t>(lngNumSamp);
    assert(dblA.size() == lngSize && dblPowerA.size() <= lngSize / 2 + 1);
    assert(dblB.empty() || (dblB.size() == lngSize && dblPowerB.size() == dblPowerA.size()));
    if (transformKind == RealTransformKind::Fftw) {
        fftwPowers(dblA, dblPowerA, dblScratch);
        if (!dblB.empty()) {
            fftwPowers(dblB, dblPowerB, dblScratch);
        }
        return;
    }
    if (dblB.empty()) {
        // A lone segment: a transform of its own, with a zero imaginary part.
        std::vector<double> dblI(lngSize, 0.0);
        enginePlan->transform(dblA, dblI);
        for (std::size_t k = 0; k < dblPowerA.size(); ++k) {
            dblPowerA[k] = dblA[k] * dblA[k] + dblI[k] * dblI[k];
        }
        return;
    }
    // Z = A + iB with A and B conjugate-symmetric: A[k] = (Z[k] + conj Z[N-k]) / 2 and
    // B[k] = (Z[k] - conj Z[N-k]) / 2i.
    enginePlan->transform(dblA, dblB);
    const std::size_t lngSizeMask = lngSize - 1;
    for (std::size_t k = 0; k < dblPowerA.size(); ++k) {
        const std::size_t m = (lngSize - k) & lngSizeMask;
        const double dblSumR = dblA[k] + dblA[m];
        const double dblDiffR = dblA[k] - dblA[m];
        const double dblSumI = dblB[k] + dblB[m];
        const double dblDiffI = dblB[k] - dblB[m];
        dblPowerA[k] = 0.25 * (dblSumR * dblSumR + dblDiffI * dblDiffI);
        dblPowerB[k] = 0.25 * (dblSumI * dblSumI + dblDiffR * dblDiffR);
    }
}

std::span<const double> RealTransform::fftwLines(std::span<double> dblSegment, SegmentBuffer& dblScratch,
                                                 std::size_t lngSet) const
{
    const auto lngSize = static_cast<std::size_t>(lngNumSamp);
    assert(transformKind == RealTransformKind::Fftw && dblSegment.size() == lngSize);
    assert(dblScratch.size() >= lngSize + (lngSet + 1) * lineSetStride(lngNumSamp));
    double* const pLines = dblScratch.data() + lngSize + lngSet * lineSetStride(lngNumSamp);
#if KESTRIX_HAVE_FFTW
    double* pIn = dblSegment.data();
    if (fftw_alignment_of(pIn) != intFftwInAlignment) {
        pIn = dblScratch.data();
        std::copy(dblSegment.begin(), dblSegment.end(), pIn);
    }
    fftw_execute_dft_r2c(static_cast<fftw_plan>(fftwPlan), pIn, reinterpret_cast<fftw_complex*>(pLines));
#else
    (void)dblSegment; // never called: the kind is not available without FFTW
#endif
    return {pLines, lngSize + 2};
}

void RealTransform::fftwPowers(std::span<double> dblSegment, std::span<double> dblPower,
                               SegmentBuffer& dblScratch) const
{
    const std::span<const double> dblLines = fftwLines(dblSegment, dblScratch);
    for (std::size_t k = 0; k < dblPower.size(); ++k) {
        dblPower[k] = dblLines[2 * k] * dblLines[2 * k] + dblLines[2 * k + 1] * dblLines[2 * k + 1];
    }
}

} // namespace kestrix::engine
