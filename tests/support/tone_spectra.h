#pragma once

// Amplitude spectra of generated tones, made by the engine's own transform and amplitude rule, so
// the plot and the peak finder are tested on spectra exactly as the run writes them.

#include "engine/fft.h"
#include "engine/spectrum.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace kestrix::testing {

struct Tone
{
    double dblLine = 0.0;  // frequency in lines, fractional for a tone between lines
    double dblPeak = 0.0;  // counts
    double dblPhase = 0.0; // radians
};

// The samples of a sum of tones (cosines) over lngNumSamp points.
inline std::vector<double> toneSamples(std::int32_t lngNumSamp, const std::vector<Tone>& tones)
{
    std::vector<double> dblSamples(static_cast<std::size_t>(lngNumSamp), 0.0);
    for (std::size_t n = 0; n < dblSamples.size(); ++n) {
        for (const Tone& tone : tones) {
            dblSamples[n] +=
                tone.dblPeak *
                std::cos(2.0 * std::numbers::pi * tone.dblLine * static_cast<double>(n) / lngNumSamp + tone.dblPhase);
        }
    }
    return dblSamples;
}

// The spectrum in volts of those samples, as the spectrum file holds it.
inline std::vector<double> toneSpectrumVolts(std::int32_t lngNumSamp, const std::vector<Tone>& tones,
                                             double dblPosScale)
{
    std::vector<double> dblR = toneSamples(lngNumSamp, tones);
    std::vector<double> dblI(dblR.size(), 0.0);
    engine::FFT(lngNumSamp, -2.0 * std::numbers::pi / lngNumSamp, dblR, dblI);
    const auto lngNumLine = static_cast<std::int32_t>(std::lround(lngNumSamp / 2.56 + 1));
    std::vector<double> dblAmp(static_cast<std::size_t>(lngNumLine));
    engine::computeAmplitudes(lngNumSamp, lngNumLine, dblR, dblI, dblAmp);
    for (double& dblValue : dblAmp) {
        dblValue *= dblPosScale;
    }
    return dblAmp;
}

} // namespace kestrix::testing
