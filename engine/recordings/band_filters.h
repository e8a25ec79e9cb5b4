// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Recursive filters as cascades of second-order sections, in double precision: their design (the
// Butterworth band-pass of the octave bands, by the bilinear transform with prewarped edges), their
// responses, and the kernels that run them over blocks of samples.
namespace kestrix::engine {

// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct Biquad
{
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

// The response of a cascade at dblHz (Hz) for sampling frequency dblSampFreq (Hz, > 0).
std::complex<double> cascadeResponse(std::span<const Biquad> sections, double dblHz, double dblSampFreq);

// The Butterworth band-pass of 2 lngOrder poles (lngOrder a side; 1 to 16) between dblLowerHz and
// dblUpperHz (0 < lower < upper < dblSampFreq / 2), by the bilinear transform of the analogue design
// with both edges prewarped: the digital filter is 3.01 dB down at exactly those edges and has unit
// gain at the centre of its passband. lngOrder sections, each with its zeros at 0 Hz and at half the
// rate: numerator b0 (1 - z^-2), b0 = 1 except on the first section, which carries the gain.
std::vector<Biquad> butterworthBandPass(std::int32_t lngOrder, double dblLowerHz, double dblUpperHz,
                                        double dblSampFreq);

// The register widths the band-pass bank's kernel comes in: two doubles (SSE2, NEON: always there) and,
// on x86-64 processors that have AVX2, four. Each lane's arithmetic is the same in both, so both give
// the same sums to the last bit; four lanes do the work of two in about the same time.
enum class BankLanes {
    Two,
    Four,
};
bool bankLanesAvailable(BankLanes lanes);

// Band-pass filters of one order and one rate fed with the same signal, each output's sum of squares
// accumulated. The sections must have butterworthBandPass's form (numerator b0 (1 - z^-2)); each
// section then costs two multiplications and three subtractions, the gains being applied to the sums.
// The bands run side by side, two or four to a vector register, and the sections of a cascade skewed
// by a sample each, so that the recursions overlap instead of waiting on each other. The output (and
// so what is summed) lags the input by one sample a section after the first.
class BandPassBank
{
public:
    // designs: one cascade a band, all of the same number of sections (at most lngMaxSections); lanes:
    // the kernel's width (one that bankLanesAvailable accepts), by default the widest there is.
    explicit BandPassBank(const std::vector<std::vector<Biquad>>& designs,
                          std::optional<BankLanes> lanes = std::nullopt);

    static constexpr std::size_t lngMaxSections = 16;

    // Filters the next input samples (any number).
    void process(std::span<const double> dblInput);

    // Per band, the sum of the squared outputs since the start (or the last restartSums).
    std::vector<double> sumsOfSquares() const;
    // Samples whose outputs were summed since the start (or the last restartSums): the samples given
    // but the last (sections - 1), which are still in the skewed cascade.
    std::int64_t samplesSummed() const
    {
        return lngSummed;
    }

    // Sums and count back to zero; the filters keep their state.
    void restartSums();

    std::size_t bandCount() const
    {
        return lngBands;
    }

    // What the kernel works on (public only for the kernel's functions): per group of lngWidth bands,
    // lane by lane within each entry.
    struct KernelState
    {
        std::size_t lngWidth = 2;
        std::size_t lngSections = 0;
        std::size_t lngGroups = 0;
        // Per group, section by section: a1, a2, y[m-1], y[m-2]
        std::vector<double> dblA1;
        std::vector<double> dblA2;
        std::vector<double> dblY1;
        std::vector<double> dblY2;
        std::vector<double> dblDiff; // and the section's input x[m] - x[m - 2]
        std::vector<double> dblSums; // per group, without the gains
        double dblX1 = 0.0;          // the input one and two samples back
        double dblX2 = 0.0;
    };

private:
    std::size_t lngBands = 0;
    KernelState state;
    BankLanes lanes;
    std::int64_t lngPrimingLeft = 0;
    std::vector<double> dblGainSquare; // per band: the product of the sections' b0, squared
    std::int64_t lngSummed = 0;
};

// A cascade of general sections run in place over blocks (direct form II transposed).
class SectionCascade
{
public:
    explicit SectionCascade(std::vector<Biquad> sections);
    void process(std::span<double> dblSignal);

private:
    std::vector<Biquad> sections;
    std::vector<double> dblState; // two a section
};

// Halves the rate: a linear-phase half-band low-pass (a Kaiser-windowed sinc of lngHalfbandTaps taps)
// and every second sample kept. Flat within 0.001 dB to 0.19 of the input rate, at least 95 dB down
// from 0.31 of it: whatever folds onto 0 to 0.19 of the input rate (the new rate's 0 to 0.38) is
// removed, and that is where the bands run at the lower rate lie.
class HalfbandDecimator
{
public:
    static constexpr std::int32_t lngHalfbandTaps = 55;
    static constexpr std::int32_t lngHalfLength = (lngHalfbandTaps - 1) / 2; // taps either side of the centre

    HalfbandDecimator();

    // Takes the next input samples and appends the output samples they complete to dblOutput (one
    // for every two inputs, delayed by lngHalfLength input samples: output m is centred on input 2m).
    void process(std::span<const double> dblInput, std::vector<double>& dblOutput);

    // The filter's gain at dblRelative = f / (input rate), 0 to 0.5.
    static double magnitude(double dblRelative);

    // The taps, centre in the middle (symmetric, every second one 0 but the centre).
    static std::vector<double> taps();

private:
    // lngCount outputs from the even samples from e[m] and the odd ones from o[m] (o[m - pairs] on
    // readable).
    void filterOutputs(const double* pdblEven, const double* pdblOdd, std::size_t lngCount, double* pdblOut) const;

    std::vector<double> dblPairTaps; // the taps at odd distances 1, 3, 5 ... from the centre
    std::vector<double> dblEven;     // the even input samples x[2k] not yet used, from k = lngEvenStart
    std::vector<double> dblOdd;      // the odd ones x[2k + 1], from k = lngOddStart
    std::int64_t lngEvenStart = 0;
    std::int64_t lngOddStart = 0;
    std::int64_t lngReceived = 0; // input samples so far
    std::int64_t lngNextOut = 0;  // the next output's index
};

} // namespace kestrix::engine
