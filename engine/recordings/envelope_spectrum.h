// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run/fft.h"
#include "measured_quantity.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The envelope of a recording in a band, whose spectrum shows what modulates the band: a bearing's
// defect frequencies ring the structure's resonances at each impact, and the envelope of the
// resonance's band repeats at the defect's rate even where the spectrum itself shows nothing.
//
// Design. One complex FIR filter passes only the positive frequencies from LO to HI, with gain 2: its
// output is the band-passed recording's analytic signal (real part the band-passed signal, imaginary
// part its Hilbert transform), and its magnitude the envelope: a tone of amplitude A in the band gives
// an envelope of A. The taps are the ideal response's, h[n] = (e^(i wH n) - e^(i wL n)) / (i pi n) for
// n = -M .. M (h[0] = (wH - wL) / pi, w = 2 pi f / fs), times a Kaiser window of beta 7.857: 80 dB of
// stop band, a pass band flat within 0.011 %, the response at half (-6 dB) on LO and HI. The taps are
// conjugate-symmetric about the middle, so the filter has linear phase: a delay of exactly M samples,
// the same at every frequency, and the envelope is aligned with the recording by dropping it. Each edge's
// transition (from 80 dB down to flat) is df = min((HI - LO) / 4, 2 LO, fs - 2 HI) wide, centred on the
// edge: three quarters of the band are flat, and nothing below 0 Hz or above fs / 2 passes. The length
// follows Kaiser's formula, 2M = ceil((80 - 7.95) / (2.285 * 2 pi df / fs)) rounded up to even.
//
// The filter runs by overlap-save through the engine's FFT, in blocks of a power of two at least four
// times the filter's length: memory is a few such blocks, whatever the recording's length. Only
// samples the whole filter covers get an envelope: the first and last M samples of the recording have
// none, so no start-up transient reaches the spectrum.
namespace kestrix::engine {

// Kaiser's design figures for the filter.
inline constexpr double dblEnvelopeStopBandDb = 80.0;
inline constexpr double dblEnvelopeKaiserBeta = 0.1102 * (dblEnvelopeStopBandDb - 8.7);
// The longest filter taken: its blocks (65536 points) keep the memory near that of the averager.
inline constexpr std::int32_t lngMaxEnvelopeTaps = 16385;

// Why a band is refused for an envelope.
struct EnvelopeRefusal
{
    enum class Kind {
        LowNotPositive,  // LO <= 0 (or not finite)
        HighNotAboveLow, // HI <= LO (or not finite)
        HighAboveRange,  // HI >= fs / 2
        TooNarrow,       // the filter would need more than lngMaxEnvelopeTaps taps
    };
    Kind kind = Kind::LowNotPositive;
    FrequencyBand band;
    double dblSampFreq = 0.0;
    std::int32_t lngTapsNeeded = 0; // for TooNarrow
};

// The refusal in English: `the envelope band 2-3 Hz is too narrow or too near 0 Hz at fs = 48000 Hz: its
// filter would need 98305 taps (16385 at most)`.
std::string envelopeRefusalText(const EnvelopeRefusal& refusal);

// The filter for a band at a sampling frequency (Hz), or why there is none.
struct EnvelopeDesign
{
    std::int32_t lngTaps = 0;     // 2M + 1
    double dblTransitionHz = 0.0; // df
    std::optional<EnvelopeRefusal> refusal;
};
EnvelopeDesign designEnvelopeFilter(const FrequencyBand& band, double dblSampFreq);

// The taps of a design that was not refused, real and imaginary parts, n = -M .. M in order.
struct ComplexTaps
{
    std::vector<double> dblR;
    std::vector<double> dblI;
};
ComplexTaps envelopeTaps(const FrequencyBand& band, double dblSampFreq, std::int32_t lngTaps, double dblPI);

// The averaged spectrum of a recording's envelope, as an analysis of the recording gives it.
struct EnvelopeSpectrum
{
    FrequencyBand band;
    std::int32_t lngTaps = 0;      // the filter's
    AveragedPower average;         // of the envelope, each segment's mean removed
    std::vector<double> dblValues; // in the analysis' units, of the quantity as recorded
    std::string strHeading;        // its file's first line
};

// Told of the envelope's samples as they are made, in the recording's units; valid during the call.
using EnvelopeHandler = std::function<void(std::span<const double> dblEnvelope)>;

// Streams a recording through the filter and gives the envelope of every sample the filter covers
// whole: of n samples, n - 2M envelope samples, the first for sample M.
class EnvelopeDetector
{
public:
    // A band designEnvelopeFilter accepts at dblSampFreq; dblPI the program's pi.
    EnvelopeDetector(const FrequencyBand& band, double dblSampFreq, double dblPI, EnvelopeHandler onEnvelope);

    void addSamples(std::span<const double> dblSamples);
    // The samples still held; call once, last.
    void finish();

    std::int32_t taps() const
    {
        return lngTaps;
    }

private:
    void filterBlock(std::size_t lngFilled);

    std::int32_t lngTaps;
    std::size_t lngBlock; // the transform's length
    FftPlan fft;
    EnvelopeHandler onEnvelope;
    std::vector<double> dblResponseR; // the filter's transform over lngBlock points
    std::vector<double> dblResponseI;
    std::vector<double> dblInput; // the last 2M samples, then the new ones
    std::size_t lngFilled = 0;
    std::vector<double> dblR;
    std::vector<double> dblI;
    std::vector<double> dblEnvelope;
};

} // namespace kestrix::engine
