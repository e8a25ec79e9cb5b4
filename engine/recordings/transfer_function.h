// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cross_spectrum.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What two channels' averaged spectra say of the system between them: the frequency response
// estimates H1 and H2, the coherence, the phase (wrapped and unwrapped where it can be trusted), the
// group delay and the delay found from the cross-correlation. Pure arithmetic on CrossSpectra.
namespace kestrix::engine {

// The coherence at and above which a line's phase is trusted by default.
inline constexpr double dblDefaultCoherenceThreshold = 0.5;

// What the estimates need beyond the spectra: the sampling frequency and each channel's size of one
// count in its engineering unit (EU): range / 32767 V per count over the sensor's volts per EU.
struct TransferScale
{
    double dblSampFreq = 1024.0;                                 // Hz, > 0
    double dblInputPerCount = 1.0;                               // input EU per count, > 0
    double dblOutputPerCount = 1.0;                              // output EU per count, > 0
    double dblCoherenceThreshold = dblDefaultCoherenceThreshold; // 0 to 1
};

// The estimates line by line from 0 Hz (line k at k fs / N). A value that does not exist on a line is
// NaN there: H1 where the input holds no power (Gxx = 0), H2 and the phase where the cross-spectrum is
// 0, the coherence where either channel holds none, the group delay where the phase is not trusted.
struct TransferEstimates
{
    // One-sided densities in the averaged spectrum's scaling (the --units psd of one channel): Gxx in
    // input EU^2/Hz, Gyy in output EU^2/Hz, Gxy in input EU x output EU / Hz. A line above 0 Hz and
    // below N / 2 carries its mirror line's share too; 0 Hz and N / 2 are not doubled.
    std::vector<double> dblGxx;
    std::vector<double> dblGyy;
    std::vector<double> dblGxyMagnitude;
    // H1 = Gxy / Gxx (output EU per input EU): unbiased by noise on the output, biased low by noise on
    // the input. H2 = Gyy / Gyx, Gyx = conj(Gxy): the reverse. Both have the phase of Gxy.
    std::vector<double> dblH1Magnitude;
    std::vector<double> dblH2Magnitude;
    // The phase of H1 (and of H2) in degrees, wrapped to (-180, 180], and unwrapped (unwrapPhase).
    std::vector<double> dblPhaseDeg;
    std::vector<double> dblUnwrappedDeg;
    // gamma^2 = |Gxy|^2 / (Gxx Gyy), 0 to 1: the share of the output's power that the input explains
    // linearly. Empty when refused (strCoherenceRefusal says why): with one segment it is 1 on every
    // line whatever the channels hold, so it says nothing.
    std::vector<double> dblCoherence;
    std::string strCoherenceRefusal;
    // Seconds: -(1 / 360) d(phase) / df from the unwrapped phase, by central differences (one-sided at
    // the ends); NaN where the line or a neighbour it uses is not trusted.
    std::vector<double> dblGroupDelay;
};

// The estimates for the lines 0 .. lngLines - 1 (at most N / 2 + 1) of spectra averaged from at least
// one segment. With a single segment the coherence is refused and every line's phase is trusted.
TransferEstimates transferEstimates(const CrossSpectra& spectra, const TransferScale& scale, std::size_t lngLines,
                                    double dblPI);

// The phase of H1 unwrapped across the trusted lines: those whose coherence is at or above
// dblThreshold (every line when dblCoherence is empty). Each trusted line takes the multiple of 360
// degrees that brings it nearest to the course of the trusted lines before it (the last one's value
// carried on at their mean slope), so a gap of untrusted lines in which the phase turns on by more than
// a half turn is bridged. An untrusted line is placed the same way but moves nothing: a single noisy
// line never adds a step of 360 degrees to the rest. Lines before the first trusted one are placed
// back from it at the mean slope. A NaN phase is never trusted and stays NaN. Without any trusted line
// the phases are returned as they are.
std::vector<double> unwrapPhase(std::span<const double> dblWrappedDeg, std::span<const double> dblCoherence,
                                double dblThreshold);

// The delay of the output behind the input found from the cross-correlation.
struct ChannelDelay
{
    double dblSamples = 0.0; // sampling intervals, -N / 2 .. N / 2; negative when the output leads
    double dblSeconds = 0.0;
    // The correlation at the peak over the root of the product of both channels' powers, -1 to 1:
    // near +-1 for a delayed copy, negative for an inverted one, near 0 where the peak is noise.
    double dblCorrelation = 0.0;
};

// The delay: the peak (the largest magnitude, so an inverting system is found too) of the inverse
// transform of the averaged cross-spectrum, which is the windowed segments' cross-correlation,
// refined between samples by the band-limited interpolation of the correlation that the spectrum's
// lines define (the trigonometric sum through all N samples, evaluated at any instant): its extremum
// next to the highest sample is found by Newton's method on its derivative, kept within a bracket.
// For a broadband pair that is a fractionally delayed copy the extremum lies at the delay itself
// (within 2e-4 sample for noise up to 0.9 of half the rate, N = 1024, Hann), where a parabola through three samples
// of the correlation is off by up to 0.09 sample, and one through their logarithms by up to 0.16.
// The lines within the window's main lobe of 0 Hz are left out: a constant offset carries no delay
// and would pull the peak to 0. Delays reach up to N / 2; the windowed segments share less of a
// delayed signal the longer the delay (the coherence falls), so N should be several times the delay.
// Nothing when those lines hold no cross-power at all.
std::optional<ChannelDelay> channelDelay(const CrossSpectra& spectra, double dblSampFreq, double dblPI);

} // namespace kestrix::engine
