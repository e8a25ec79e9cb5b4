// SPDX-License-Identifier: GPL-3.0-or-later
#include "frequency_weighting.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace kestrix::engine {

namespace {

// The pole frequencies of IEC 61672-1 Annex E, Hz.
constexpr double dblF1 = 20.598997;
constexpr double dblF2 = 107.65265;
constexpr double dblF3 = 737.86223;
constexpr double dblF4 = 12194.217;
// The curves' values at 1 kHz before normalisation, dB.
constexpr double dblA1000 = -2.000;
constexpr double dblC1000 = -0.062;
// Where the f4 section's magnitude is matched besides 0 Hz and fs / 2, as a share of fs: low enough
// that the match holds the audio band to 0.02 dB at 44.1 and 48 kHz.
constexpr double dblMatchShare = 0.15;

double angular(double dblHz)
{
    return 2.0 * std::numbers::pi * dblHz;
}

// s^2 / ((s + wa)(s + wb)) by the bilinear transform s = 2 fs (1 - z^-1) / (1 + z^-1).
Biquad bilinearHighPass(double dblFa, double dblFb, double dblSampFreq)
{
    const double dblK = 2.0 * dblSampFreq;
    const double dblWa = angular(dblFa);
    const double dblWb = angular(dblFb);
    const double dblZa = (dblK - dblWa) / (dblK + dblWa);
    const double dblZb = (dblK - dblWb) / (dblK + dblWb);
    const double dblGain = dblK * dblK / ((dblK + dblWa) * (dblK + dblWb));
    return {dblGain, -2.0 * dblGain, dblGain, -(dblZa + dblZb), dblZa * dblZb};
}

// w4^2 / (s + w4)^2 with the poles mapped exactly and the numerator matched in magnitude at 0 Hz,
// dblMatchShare fs and fs / 2.
Biquad matchedLowPass(double dblF, double dblSampFreq)
{
    const double dblW = angular(dblF);
    const double dblPole = std::exp(-dblW / dblSampFreq);
    // The numerator's squared magnitude c0 + c1 cos(w) + c2 cos(2w) must equal the analogue squared
    // magnitude times the denominator's |1 - p e^(-jw)|^4 at the three frequencies.
    const auto target = [&](double dblOmega) {
        const double dblAnalogue = dblW * dblW / (dblW * dblW + std::pow(dblOmega * dblSampFreq, 2));
        const double dblDenominator = 1.0 - 2.0 * dblPole * std::cos(dblOmega) + dblPole * dblPole;
        return dblAnalogue * dblAnalogue * dblDenominator * dblDenominator;
    };
    const double dblOmegaMatch = 2.0 * std::numbers::pi * dblMatchShare;
    const double dblT0 = target(0.0);
    const double dblTm = target(dblOmegaMatch);
    const double dblTpi = target(std::numbers::pi);
    const double dblC1 = (dblT0 - dblTpi) / 2.0;
    const double dblEvenSum = (dblT0 + dblTpi) / 2.0; // c0 + c2
    const double dblC2 = (dblTm - dblC1 * std::cos(dblOmegaMatch) - dblEvenSum) / (std::cos(2.0 * dblOmegaMatch) - 1.0);
    // Factored into b0 + b1 z^-1 + b2 z^-2 with S = b0 + b2: S^4 - (c0 + c2) S^2 + c1^2 / 4 = 0,
    // b1 = c1 / (2 S), b0 b2 = c2 / 2; the larger roots keep the zeros inside the unit circle.
    const double dblSumSquare = (dblEvenSum + std::sqrt(std::max(0.0, dblEvenSum * dblEvenSum - dblC1 * dblC1))) / 2.0;
    const double dblS = std::sqrt(dblSumSquare);
    const double dblD = std::sqrt(std::max(0.0, dblSumSquare - 2.0 * dblC2));
    return {(dblS + dblD) / 2.0, dblC1 / (2.0 * dblS), (dblS - dblD) / 2.0, -2.0 * dblPole, dblPole * dblPole};
}

} // namespace

std::string_view weightingLetter(FrequencyWeighting weighting)
{
    switch (weighting) {
    case FrequencyWeighting::A:
        return "A";
    case FrequencyWeighting::C:
        return "C";
    case FrequencyWeighting::Z:
        break;
    }
    return "Z";
}

std::optional<FrequencyWeighting> weightingOfLetter(std::string_view strLetter)
{
    for (const FrequencyWeighting weighting : {FrequencyWeighting::Z, FrequencyWeighting::A, FrequencyWeighting::C}) {
        if (strLetter == weightingLetter(weighting)) {
            return weighting;
        }
    }
    return std::nullopt;
}

double weightingDb(FrequencyWeighting weighting, double dblHz)
{
    assert(dblHz > 0.0);
    const double dblF2Sq = dblHz * dblHz;
    const double dblHigh = dblF4 * dblF4 * dblF2Sq / ((dblF2Sq + dblF1 * dblF1) * (dblF2Sq + dblF4 * dblF4));
    switch (weighting) {
    case FrequencyWeighting::C:
        return 20.0 * std::log10(dblHigh) - dblC1000;
    case FrequencyWeighting::A:
        return 20.0 * std::log10(dblHigh * dblF2Sq /
                                 (std::sqrt(dblF2Sq + dblF2 * dblF2) * std::sqrt(dblF2Sq + dblF3 * dblF3))) -
               dblA1000;
    case FrequencyWeighting::Z:
        break;
    }
    return 0.0;
}

std::vector<Biquad> weightingSections(FrequencyWeighting weighting, double dblSampFreq)
{
    assert(dblSampFreq > 0.0);
    std::vector<Biquad> sections;
    if (weighting == FrequencyWeighting::Z) {
        return sections;
    }
    sections.push_back(bilinearHighPass(dblF1, dblF1, dblSampFreq));
    if (weighting == FrequencyWeighting::A) {
        sections.push_back(bilinearHighPass(dblF2, dblF3, dblSampFreq));
    }
    sections.push_back(matchedLowPass(dblF4, dblSampFreq));
    const double dblReference = std::min(1000.0, dblSampFreq / 4.0);
    const double dblHave = 20.0 * std::log10(std::abs(cascadeResponse(sections, dblReference, dblSampFreq)));
    const double dblGain = std::pow(10.0, (weightingDb(weighting, dblReference) - dblHave) / 20.0);
    Biquad& first = sections.front();
    first.b0 *= dblGain;
    first.b1 *= dblGain;
    first.b2 *= dblGain;
    return sections;
}

double weightingFilterDb(FrequencyWeighting weighting, double dblHz, double dblSampFreq)
{
    const std::vector<Biquad> sections = weightingSections(weighting, dblSampFreq);
    return 20.0 * std::log10(std::abs(cascadeResponse(sections, dblHz, dblSampFreq)));
}

WeightingFilter::WeightingFilter(FrequencyWeighting weighting, double dblSampFreq)
    : cascade(weightingSections(weighting, dblSampFreq))
{
}

void WeightingFilter::process(std::span<double> dblSignal)
{
    cascade.process(dblSignal);
}

} // namespace kestrix::engine
