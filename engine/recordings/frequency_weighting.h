// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "band_filters.h"

#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Frequency weightings A and C of IEC 61672-1 (Annex E's analytic curves) and the digital filters
// that apply them; Z is none (flat).
//
// The analogue A filter is k s^4 / ((s + w1)^2 (s + w2) (s + w3) (s + w4)^2) and C is
// k s^2 / ((s + w1)^2 (s + w4)^2), w = 2 pi f with f1 = 20.6 Hz, f2 = 107.7 Hz, f3 = 737.9 Hz and
// f4 = 12194 Hz. The poles at f1, f2 and f3 lie far below any audio rate's half, where the bilinear
// transform is exact to well under 0.01 dB, so their sections are transformed so. The bilinear
// transform of the double pole at f4 would squeeze the response towards fs / 2 (2.7 dB low at
// 12.5 kHz at 48 kHz), so that section is designed to match magnitudes instead: its poles where the
// analogue ones map exactly (z = e^(-w4 / fs)), its three numerator coefficients chosen so that the
// squared magnitude equals the analogue one at 0 Hz, at 0.15 fs and at fs / 2. At 48 kHz the filters
// are then within 0.02 dB of the analytic curves up to 8 kHz and within 1 dB (low) up to 0.45 fs,
// inside the class 1 tolerances there. The overall gain makes the filter read the analytic curve at
// 1 kHz (or at fs / 4 where that lies below 1 kHz).
namespace kestrix::engine {

enum class FrequencyWeighting {
    Z, // none
    A,
    C,
};

// The letter: "Z", "A", "C".
std::string_view weightingLetter(FrequencyWeighting weighting);
std::optional<FrequencyWeighting> weightingOfLetter(std::string_view strLetter);

// The analytic curve in dB at dblHz (> 0): 0 for Z, A and C normalised to 0 dB at 1 kHz as the standard
// does it (A1000 = -2.000 dB, C1000 = -0.062 dB).
double weightingDb(FrequencyWeighting weighting, double dblHz);

// The sections of the weighting filter at dblSampFreq (Hz, > 0); none for Z.
std::vector<Biquad> weightingSections(FrequencyWeighting weighting, double dblSampFreq);

// The weighting filter's response in dB at dblHz (0 < f < fs / 2).
double weightingFilterDb(FrequencyWeighting weighting, double dblHz, double dblSampFreq);

// Applies a weighting to a signal given block by block, in place.
class WeightingFilter
{
public:
    WeightingFilter(FrequencyWeighting weighting, double dblSampFreq);
    void process(std::span<double> dblSignal);

private:
    SectionCascade cascade;
};

} // namespace kestrix::engine
