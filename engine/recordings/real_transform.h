// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/fft.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <vector>

// The forward transforms of real, windowed segments that the analyses of recordings average, two
// segments at a time. Where the build has FFTW, its real-input transform; else the engine's own FFT
// with one segment as the real and the other as the imaginary part of one complex transform, parted
// by the transform's symmetry. Either is the unscaled X[k] = sum over n of x[n] e^(-2 pi i n k / N);
// their results agree to rounding (a few units in the last place of the largest line), each the same
// to the bit on every run: FFTW's plan is chosen by its estimate, never by timing, so no run picks
// another algorithm than the last.
namespace kestrix::engine {

enum class RealTransformKind {
    EngineFft,
    Fftw,
};
bool realTransformAvailable(RealTransformKind kind);
// FFTW where the build has it, else the engine's FFT.
RealTransformKind fastestRealTransform();

// Allocates at 64 bytes, so that every segment a buffer holds at a multiple of N samples starts as
// the transform's plan expects.
template <typename T> struct SegmentAllocator
{
    using value_type = T;
    static constexpr std::align_val_t alignment{64};
    SegmentAllocator() = default;
    template <typename U> SegmentAllocator(const SegmentAllocator<U>& /*other*/) noexcept {}
    T* allocate(std::size_t lngCount)
    {
        return static_cast<T*>(::operator new(lngCount * sizeof(T), alignment));
    }
    void deallocate(T* pValues, std::size_t /*lngCount*/) noexcept
    {
        ::operator delete(pValues, alignment);
    }
    template <typename U> bool operator==(const SegmentAllocator<U>& /*other*/) const noexcept
    {
        return true;
    }
};
using SegmentBuffer = std::vector<double, SegmentAllocator<double>>;

class RealTransform
{
public:
    // lngNumSamp a power of two, at least 4; dblPI the program's pi (computePI), which the engine's
    // FFT turns its angles with.
    RealTransform(std::int32_t lngNumSamp, double dblPI, RealTransformKind kind = fastestRealTransform());
    ~RealTransform();
    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    RealTransformKind kind() const
    {
        return transformKind;
    }

    // The room one thread needs for pairPowers, and for fftwLines with lngLineSets sets of lines at once:
    // give each thread (or each slot handed to one) its own.
    SegmentBuffer makeScratch(std::size_t lngLineSets = 1) const;

    // The powers |A[k]|^2 and |B[k]|^2 of the lines k below dblPowerA.size() (at most N / 2 + 1) of the
    // N-sample segments dblA and dblB, which may be overwritten. dblB and dblPowerB may be empty: one
    // segment alone. Segments in a SegmentBuffer at a multiple of N, or anywhere (then copied first).
    void pairPowers(std::span<double> dblA, std::span<double> dblB, std::span<double> dblPowerA,
                    std::span<double> dblPowerB, SegmentBuffer& dblScratch) const;

    // FFTW's kind only: the lines 0 to N / 2 of one segment's transform, each line's real then imaginary
    // part, held in set lngSet of dblScratch (valid until that set is used again). The segment as for
    // pairPowers.
    std::span<const double> fftwLines(std::span<double> dblSegment, SegmentBuffer& dblScratch,
                                      std::size_t lngSet = 0) const;
    // The engine's FFT's kind only: its plan, for analyses that pair segments their own way.
    const FftPlan& engineFft() const
    {
        return *enginePlan;
    }

private:
    void fftwPowers(std::span<double> dblSegment, std::span<double> dblPower, SegmentBuffer& dblScratch) const;

    std::int32_t lngNumSamp;
    RealTransformKind transformKind;
    std::optional<FftPlan> enginePlan; // the engine's FFT, where it is the kind
    void* fftwPlan = nullptr;          // fftw_plan, where the build has FFTW
    int intFftwInAlignment = 0;        // of the segments it was planned for
};

} // namespace kestrix::engine
