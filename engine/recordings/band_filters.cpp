// SPDX-License-Identifier: GPL-3.0-or-later
#include "band_filters.h"

#include "engine/run/fft.h"
#include "octave_filter_bank.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kestrix::engine {

namespace {

// The Kaiser window's shape factor for about 100 dB of stop band.
constexpr double dblKaiserBeta = 10.0;

// The modified Bessel function of the first kind, order 0, by its power series.
double besselI0(double dblX)
{
    double dblSum = 1.0;
    double dblTerm = 1.0;
    const double dblQuarter = dblX * dblX / 4.0;
    for (int k = 1; k < 200 && dblTerm > 1e-17 * dblSum; ++k) {
        dblTerm *= dblQuarter / (static_cast<double>(k) * k);
        dblSum += dblTerm;
    }
    return dblSum;
}

// The section with poles z and conj(z) (a complex z), or z1 and z2 (both real).
Biquad sectionOfPoles(std::complex<double> z1, std::complex<double> z2)
{
    Biquad section;
    section.b0 = 1.0;
    section.b2 = -1.0;
    section.a1 = -(z1 + z2).real();
    section.a2 = (z1 * z2).real();
    return section;
}

std::complex<double> bilinear(std::complex<double> s)
{
    return (1.0 + s) / (1.0 - s);
}

} // namespace

std::complex<double> cascadeResponse(std::span<const Biquad> sections, double dblHz, double dblSampFreq)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * dblHz / dblSampFreq);
    const std::complex<double> z2 = z1 * z1;
    std::complex<double> response = 1.0;
    for (const Biquad& section : sections) {
        response *= (section.b0 + section.b1 * z1 + section.b2 * z2) / (1.0 + section.a1 * z1 + section.a2 * z2);
    }
    return response;
}

std::vector<Biquad> butterworthBandPass(std::int32_t lngOrder, double dblLowerHz, double dblUpperHz, double dblSampFreq)
{
    assert(lngOrder >= 1 && lngOrder <= 16);
    assert(dblLowerHz > 0.0 && dblLowerHz < dblUpperHz && dblUpperHz < dblSampFreq / 2.0);
    // The edges prewarped for s = (1 - z^-1) / (1 + z^-1): an analogue frequency W stands for the
    // digital 2 atan(W), so the analogue edges tan(pi f / fs) land on the digital ones exactly.
    const double dblWl = std::tan(std::numbers::pi * dblLowerHz / dblSampFreq);
    const double dblWu = std::tan(std::numbers::pi * dblUpperHz / dblSampFreq);
    const double dblCentreSquare = dblWl * dblWu;
    const double dblWidth = dblWu - dblWl;
    std::vector<Biquad> sections;
    // Each low-pass prototype pole p in the upper half plane (and the real one, for an odd order)
    // becomes two band-pass poles, the roots of s^2 - p B s + W0^2; the pole's mirror gives their
    // conjugates.
    for (std::int32_t k = 0; k < (lngOrder + 1) / 2; ++k) {
        const std::complex<double> p =
            std::polar(1.0, std::numbers::pi * (2.0 * k + lngOrder + 1.0) / (2.0 * lngOrder));
        const std::complex<double> root = std::sqrt(p * p * dblWidth * dblWidth - 4.0 * dblCentreSquare);
        const std::complex<double> s1 = (p * dblWidth + root) / 2.0;
        const std::complex<double> s2 = (p * dblWidth - root) / 2.0;
        if (2 * k + 1 == lngOrder) {
            // The real prototype pole: its two band-pass poles are a conjugate pair (or both real).
            sections.push_back(sectionOfPoles(bilinear(s1), bilinear(s2)));
        } else {
            sections.push_back(sectionOfPoles(bilinear(s1), std::conj(bilinear(s1))));
            sections.push_back(sectionOfPoles(bilinear(s2), std::conj(bilinear(s2))));
        }
    }
    // Unit gain at the analogue centre W0, which the bilinear transform puts at 2 atan(W0).
    const double dblCentreHz = dblSampFreq * std::atan(std::sqrt(dblCentreSquare)) / std::numbers::pi;
    const double dblGain = 1.0 / std::abs(cascadeResponse(sections, dblCentreHz, dblSampFreq));
    sections.front().b0 = dblGain;
    sections.front().b2 = -dblGain;
    return sections;
}

bool bankLanesAvailable(BankLanes lanes)
{
    switch (lanes) {
    case BankLanes::Two:
        return true;
    case BankLanes::Four:
        return processorHasAvx2();
    }
    return false;
}

namespace {

// The sections run skewed: in the step that takes input sample n, section s works on sample n - s, fed
// with what section s - 1 gave in the step before. The sections of one step then do not wait on each
// other, only on their own previous outputs, and the processor overlaps them; the last section's
// output lags the input by S - 1 samples. A section's numerator 1 - z^-2 needs its input x[m] - x[m - 2]
// only: section s - 1 leaves that difference for section s as it computes its output, so each section
// carries three values from step to step (y[m-1], y[m-2] and the difference). W bands side by side, a
// lane each; S sections known at compile time let the compiler unroll them (S = 0: the state's count at
// run time). The state is held in local registers over the block and written back at its end.
template <std::size_t W, std::size_t S>
[[gnu::always_inline]] inline void runGroup(BandPassBank::KernelState& state, std::size_t lngGroup,
                                            std::span<const double> dblInput)
{
    // A typedef: GCC drops the attribute from an alias declaration whose size depends on W.
    typedef double Vector __attribute__((vector_size(W * sizeof(double))));
    static_assert(sizeof(Vector) == W * sizeof(double));
    const std::size_t lngCount = S > 0 ? S : state.lngSections;
    constexpr std::size_t lngLocal = S > 0 ? S : BandPassBank::lngMaxSections;
    const std::size_t lngAt = lngGroup * lngCount * W;
    const std::size_t lngBytes = lngCount * sizeof(Vector);
    Vector a1[lngLocal];
    Vector a2[lngLocal];
    Vector y1[lngLocal];
    Vector y2[lngLocal];
    Vector diff[lngLocal]; // diff[s]: section s's input x[m] - x[m - 2] for this step
    std::memcpy(a1, state.dblA1.data() + lngAt, lngBytes);
    std::memcpy(a2, state.dblA2.data() + lngAt, lngBytes);
    std::memcpy(y1, state.dblY1.data() + lngAt, lngBytes);
    std::memcpy(y2, state.dblY2.data() + lngAt, lngBytes);
    std::memcpy(diff, state.dblDiff.data() + lngAt, lngBytes);
    Vector sum;
    std::memcpy(&sum, state.dblSums.data() + lngGroup * W, sizeof(Vector));
    double dblPrev1 = state.dblX1;
    double dblPrev2 = state.dblX2;
    for (const double dblX : dblInput) {
        diff[0] = Vector{} + (dblX - dblPrev2);
        // The last section first: its output is the cascade's.
        Vector y = diff[lngCount - 1] - (a2[lngCount - 1] * y2[lngCount - 1] + a1[lngCount - 1] * y1[lngCount - 1]);
        y2[lngCount - 1] = y1[lngCount - 1];
        y1[lngCount - 1] = y;
        sum += y * y;
        // Then down, so each reads its input before the section above replaces it.
        for (std::size_t s = lngCount - 1; s-- > 0;) {
            y = diff[s] - (a2[s] * y2[s] + a1[s] * y1[s]);
            diff[s + 1] = y - y2[s];
            y2[s] = y1[s];
            y1[s] = y;
        }
        dblPrev2 = dblPrev1;
        dblPrev1 = dblX;
    }
    std::memcpy(state.dblSums.data() + lngGroup * W, &sum, sizeof(Vector));
    std::memcpy(state.dblY1.data() + lngAt, y1, lngBytes);
    std::memcpy(state.dblY2.data() + lngAt, y2, lngBytes);
    std::memcpy(state.dblDiff.data() + lngAt, diff, lngBytes);
}

template <std::size_t W>
[[gnu::always_inline]] inline void runGroups(BandPassBank::KernelState& state, std::span<const double> dblInput)
{
    for (std::size_t g = 0; g < state.lngGroups; ++g) {
        if (state.lngSections == lngBandOrder) {
            runGroup<W, lngBandOrder>(state, g, dblInput);
        } else {
            runGroup<W, 0>(state, g, dblInput);
        }
    }
}

void runTwoLanes(BandPassBank::KernelState& state, std::span<const double> dblInput)
{
    runGroups<2>(state, dblInput);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void runFourLanes(BandPassBank::KernelState& state, std::span<const double> dblInput)
{
    runGroups<4>(state, dblInput);
}
#endif

} // namespace

BandPassBank::BandPassBank(const std::vector<std::vector<Biquad>>& designs, std::optional<BankLanes> lanes_)
    : lngBands(designs.size()),
      lanes(lanes_.value_or(bankLanesAvailable(BankLanes::Four) ? BankLanes::Four : BankLanes::Two))
{
    assert(bankLanesAvailable(lanes));
    state.lngWidth = lanes == BankLanes::Four ? 4 : 2;
    state.lngSections = designs.empty() ? 0 : designs.front().size();
    state.lngGroups = (lngBands + state.lngWidth - 1) / state.lngWidth;
    assert(state.lngSections <= lngMaxSections);
    const std::size_t lngEntries = state.lngGroups * state.lngSections * state.lngWidth;
    state.dblA1.assign(lngEntries, 0.0);
    state.dblA2.assign(lngEntries, 0.0);
    state.dblY1.assign(lngEntries, 0.0);
    state.dblY2.assign(lngEntries, 0.0);
    state.dblDiff.assign(lngEntries, 0.0);
    state.dblSums.assign(state.lngGroups * state.lngWidth, 0.0);
    lngPrimingLeft = state.lngSections > 0 ? static_cast<std::int64_t>(state.lngSections) - 1 : 0;
    dblGainSquare.assign(lngBands, 0.0);
    for (std::size_t lngBand = 0; lngBand < lngBands; ++lngBand) {
        const std::vector<Biquad>& design = designs[lngBand];
        assert(design.size() == state.lngSections);
        const std::size_t lngGroup = lngBand / state.lngWidth;
        const std::size_t lngLane = lngBand % state.lngWidth;
        double dblGain = 1.0;
        for (std::size_t s = 0; s < state.lngSections; ++s) {
            assert(design[s].b1 == 0.0 && design[s].b2 == -design[s].b0);
            const std::size_t lngEntry = (lngGroup * state.lngSections + s) * state.lngWidth + lngLane;
            state.dblA1[lngEntry] = design[s].a1;
            state.dblA2[lngEntry] = design[s].a2;
            dblGain *= design[s].b0;
        }
        dblGainSquare[lngBand] = dblGain * dblGain;
    }
}

void BandPassBank::process(std::span<const double> dblInput)
{
    if (dblInput.empty()) {
        return;
    }
#if defined(__x86_64__)
    if (lanes == BankLanes::Four) {
        runFourLanes(state, dblInput);
    } else {
        runTwoLanes(state, dblInput);
    }
#else
    runTwoLanes(state, dblInput);
#endif
    state.dblX2 = dblInput.size() >= 2 ? dblInput[dblInput.size() - 2] : state.dblX1;
    state.dblX1 = dblInput.back();
    // The first S - 1 outputs summed are the zeros of the cascade's start, not of a sample.
    const auto lngSteps = static_cast<std::int64_t>(dblInput.size());
    const std::int64_t lngPriming = std::min(lngPrimingLeft, lngSteps);
    lngPrimingLeft -= lngPriming;
    lngSummed += lngSteps - lngPriming;
}

std::vector<double> BandPassBank::sumsOfSquares() const
{
    std::vector<double> dblOut(lngBands);
    for (std::size_t b = 0; b < lngBands; ++b) {
        dblOut[b] = state.dblSums[b] * dblGainSquare[b];
    }
    return dblOut;
}

void BandPassBank::restartSums()
{
    std::fill(state.dblSums.begin(), state.dblSums.end(), 0.0);
    lngSummed = 0;
}

SectionCascade::SectionCascade(std::vector<Biquad> sections_)
    : sections(std::move(sections_)), dblState(2 * sections.size(), 0.0)
{
}

void SectionCascade::process(std::span<double> dblSignal)
{
    // Sample by sample through all sections, so that the sections' recursions overlap in the processor.
    const std::size_t lngCount = sections.size();
    for (double& dblX : dblSignal) {
        double dblIn = dblX;
        for (std::size_t s = 0; s < lngCount; ++s) {
            const Biquad& c = sections[s];
            double& dblS1 = dblState[2 * s];
            double& dblS2 = dblState[2 * s + 1];
            const double dblY = c.b0 * dblIn + dblS1;
            // a1 y subtracted last: the recursion's path is one addition, one multiplication, one
            // subtraction.
            dblS1 = (c.b1 * dblIn + dblS2) - c.a1 * dblY;
            dblS2 = c.b2 * dblIn - c.a2 * dblY;
            dblIn = dblY;
        }
        dblX = dblIn;
    }
}

std::vector<double> HalfbandDecimator::taps()
{
    constexpr std::int32_t lngHalf = lngHalfLength;
    std::vector<double> dblTaps(lngHalfbandTaps, 0.0);
    const double dblNorm = besselI0(dblKaiserBeta);
    double dblOddSum = 0.0;
    for (std::int32_t n = 1; n <= lngHalf; n += 2) {
        const double dblRatio = static_cast<double>(n) / lngHalf;
        const double dblWindow = besselI0(dblKaiserBeta * std::sqrt(1.0 - dblRatio * dblRatio)) / dblNorm;
        const double dblTap = std::sin(std::numbers::pi * n / 2.0) / (std::numbers::pi * n) * dblWindow;
        dblTaps[static_cast<std::size_t>(lngHalf + n)] = dblTap;
        dblTaps[static_cast<std::size_t>(lngHalf - n)] = dblTap;
        dblOddSum += 2.0 * dblTap;
    }
    // Unit gain at 0 Hz: the centre is 1/2, the odd taps share the other half.
    for (double& dblTap : dblTaps) {
        dblTap *= 0.5 / dblOddSum;
    }
    dblTaps[static_cast<std::size_t>(lngHalf)] = 0.5;
    return dblTaps;
}

HalfbandDecimator::HalfbandDecimator()
{
    const std::vector<double> dblTaps = taps();
    for (std::int32_t n = 1; n <= lngHalfLength; n += 2) {
        dblPairTaps.push_back(dblTaps[static_cast<std::size_t>(lngHalfLength + n)]);
    }
    // The odd samples before the first are zeros.
    const auto lngPairs = static_cast<std::int64_t>(dblPairTaps.size());
    dblOdd.assign(static_cast<std::size_t>(lngPairs), 0.0);
    lngOddStart = -lngPairs;
}

void HalfbandDecimator::filterOutputs(const double* pdblEven, const double* pdblOdd, std::size_t lngCount,
                                      double* pdblOut) const
{
    // Four outputs at a time, their sums kept in registers over all taps.
    constexpr std::size_t W = 4;
    const std::size_t lngPairs = dblPairTaps.size();
    std::size_t m = 0;
    for (; m + W <= lngCount; m += W) {
        double dblAcc[W];
        for (std::size_t l = 0; l < W; ++l) {
            dblAcc[l] = 0.5 * pdblEven[m + l];
        }
        for (std::size_t j = 0; j < lngPairs; ++j) {
            const double* const pdblBefore = pdblOdd + m - 1 - j;
            const double* const pdblAfter = pdblOdd + m + j;
            for (std::size_t l = 0; l < W; ++l) {
                dblAcc[l] += dblPairTaps[j] * (pdblBefore[l] + pdblAfter[l]);
            }
        }
        std::copy_n(dblAcc, W, pdblOut + m);
    }
    for (; m < lngCount; ++m) {
        double dblAcc = 0.5 * pdblEven[m];
        for (std::size_t j = 0; j < lngPairs; ++j) {
            dblAcc += dblPairTaps[j] * (pdblOdd[m - 1 - j] + pdblOdd[m + j]);
        }
        pdblOut[m] = dblAcc;
    }
}

void HalfbandDecimator::process(std::span<const double> dblInput, std::vector<double>& dblOutput)
{
    // The input parted into its even and odd samples e[k] = x[2k], o[k] = x[2k + 1]: output m is
    // e[m] / 2 + sum over j of h_j (o[m - 1 - j] + o[m + j]), h_j the tap at distance 2j + 1, so each
    // tap runs over consecutive outputs and consecutive odd samples, which the compiler vectorises.
    // The even and odd samples appended: the first input is even when an even number came before.
    const std::size_t lngFirstOdd = lngReceived % 2 == 0 ? 1 : 0;
    const std::size_t lngOdds = (dblInput.size() + 1 - lngFirstOdd) / 2;
    const std::size_t lngEvens = dblInput.size() - lngOdds;
    const std::size_t lngEvenAt = dblEven.size();
    const std::size_t lngOddAt = dblOdd.size();
    dblEven.resize(lngEvenAt + lngEvens);
    dblOdd.resize(lngOddAt + lngOdds);
    for (std::size_t k = 0; k < lngEvens; ++k) {
        dblEven[lngEvenAt + k] = dblInput[2 * k + (1 - lngFirstOdd)];
    }
    for (std::size_t k = 0; k < lngOdds; ++k) {
        dblOdd[lngOddAt + k] = dblInput[2 * k + lngFirstOdd];
    }
    lngReceived += static_cast<std::int64_t>(dblInput.size());
    const auto lngPairs = static_cast<std::int64_t>(dblPairTaps.size());
    // Output m needs o[m + pairs - 1], that is input 2m + 2 pairs - 1.
    const std::int64_t lngOddEnd = lngOddStart + static_cast<std::int64_t>(dblOdd.size());
    const std::int64_t lngEnd =
        std::min(lngOddEnd - lngPairs + 1, lngEvenStart + static_cast<std::int64_t>(dblEven.size()));
    if (lngEnd > lngNextOut) {
        const auto lngCount = static_cast<std::size_t>(lngEnd - lngNextOut);
        const std::size_t lngFirst = dblOutput.size();
        dblOutput.resize(lngFirst + lngCount);
        filterOutputs(dblEven.data() + (lngNextOut - lngEvenStart), dblOdd.data() + (lngNextOut - lngOddStart),
                      lngCount, dblOutput.data() + lngFirst);
        lngNextOut = lngEnd;
    }
    // Keep what the next outputs need: e from the next output on, o from pairs before it.
    const std::int64_t lngEvenDrop = lngNextOut - lngEvenStart;
    dblEven.erase(dblEven.begin(), dblEven.begin() + lngEvenDrop);
    lngEvenStart += lngEvenDrop;
    const std::int64_t lngOddDrop = lngNextOut - lngPairs - lngOddStart;
    dblOdd.erase(dblOdd.begin(), dblOdd.begin() + lngOddDrop);
    lngOddStart += lngOddDrop;
}

double HalfbandDecimator::magnitude(double dblRelative)
{
    // Computed once, never changed: responses are asked for at many frequencies.
    static const std::vector<double> dblTaps = taps();
    constexpr std::int32_t lngHalf = (lngHalfbandTaps - 1) / 2;
    double dblSum = dblTaps[static_cast<std::size_t>(lngHalf)];
    for (std::int32_t n = 1; n <= lngHalf; n += 2) {
        dblSum +=
            2.0 * dblTaps[static_cast<std::size_t>(lngHalf + n)] * std::cos(2.0 * std::numbers::pi * dblRelative * n);
    }
    return std::abs(dblSum);
}

} // namespace kestrix::engine
