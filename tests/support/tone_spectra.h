// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Amplitude spectra of generated tones, made by the engine's own transform and amplitude rule, so
// the plot and the peak finder are tested on spectra exactly as the run writes them.

#include "engine/run/fft.h"
#include "engine/run/spectrum.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace kestrix::testing {

// Gaussian white noise of dblSigma counts (standard deviation), not rounded: its variance is known.
inline std::vector<double> whiteNoise(std::size_t lngSamples, double dblSigma, unsigned lngSeed)
{
    std::mt19937 random(lngSeed);
    std::normal_distribution<double> noise(0.0, dblSigma);
    std::vector<double> dblCounts(lngSamples);
    for (double& dblCount : dblCounts) {
        dblCount = noise(random);
    }
    return dblCounts;
}

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

// The spectrum in volts of lngNumSamp samples (a power of two), as the spectrum file holds it.
inline std::vector<double> sampleSpectrumVolts(std::vector<double> dblR, double dblPosScale)
{
    const auto lngNumSamp = static_cast<std::int32_t>(dblR.size());
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

// The spectrum in volts of those samples, as the spectrum file holds it.
inline std::vector<double> toneSpectrumVolts(std::int32_t lngNumSamp, const std::vector<Tone>& tones,
                                             double dblPosScale)
{
    return sampleSpectrumVolts(toneSamples(lngNumSamp, tones), dblPosScale);
}

// Tones plus normally distributed noise of dblNoise counts (standard deviation), the sum rounded to
// whole counts as a recording holds them; the same noise for the same seed.
inline std::vector<double> recordingSamples(std::int32_t lngNumSamp, const std::vector<Tone>& tones, double dblNoise,
                                            unsigned lngSeed)
{
    std::mt19937 random(lngSeed);
    std::normal_distribution<double> noise(0.0, dblNoise);
    std::vector<double> dblSamples = toneSamples(lngNumSamp, tones);
    for (double& dblSample : dblSamples) {
        dblSample = std::round(dblSample + (dblNoise > 0.0 ? noise(random) : 0.0));
    }
    return dblSamples;
}

} // namespace kestrix::testing
