// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The window functions of the averaged analysis and the figures that correct its readings.
namespace kestrix::engine {

enum class WindowKind {
    Rect,            // no window: exact for a tone on a line, 3.92 dB low half-way between lines
    Hann,            // the general choice for noise and tones
    Hamming,         // a narrower main lobe than Hann, higher far side lobes
    BlackmanHarris,  // 4-term, side lobes below -92 dB: small tones beside large ones
    FlatTop,         // 5-term: amplitudes within 0.02 dB wherever the tone falls
    BlackmanHarris7, // 7-term, side lobes below -180 dB: converter figures of any tone, on a line or not
};

// Every window, in the order the README and the help list them.
inline constexpr WindowKind windowKinds[] = {WindowKind::Rect,    WindowKind::Hann,
                                             WindowKind::Hamming, WindowKind::BlackmanHarris,
                                             WindowKind::FlatTop, WindowKind::BlackmanHarris7};

// The window's name on the command line and in the output heading: "rect", "hann", "hamming",
// "blackmanharris", "flattop", "blackmanharris7".
std::string_view windowName(WindowKind window);

// The window of a name as windowName gives it (exact spelling), or nothing.
std::optional<WindowKind> windowOfName(std::string_view strName);

// The lngNumSamp (at least 1) coefficients of the window in its periodic form: the cosine sum
// a0 - a1 cos(2 pi n / N) + a2 cos(4 pi n / N) - ... for n = 0 .. N-1, one full period of N samples, as
// spectral analysis uses it (the symmetric form would span N - 1).
std::vector<double> windowCoefficients(WindowKind window, std::int32_t lngNumSamp);

// What a window does to a spectrum, computed from its coefficients.
struct WindowFigures
{
    double dblSum = 0.0;            // sum of w[n]: |X| of a tone of peak A on a line is A * dblSum / 2
    double dblSquareSum = 0.0;      // sum of w[n]^2: the noise power passed, for densities
    double dblCoherentGain = 0.0;   // dblSum / N: 1 for rect, 0.5 for Hann
    double dblNoiseBandwidth = 0.0; // equivalent noise bandwidth in lines: N * dblSquareSum / dblSum^2
    double dblScallopLossDb = 0.0;  // dB lost by a tone half-way between two lines: -20 log10 of
                                    // |sum of w[n] e^(-i pi n / N)| / dblSum
};

// Lines of the window's main lobe on each side of a tone's peak line, as the converter test methods
// count a component's power: rect 1, Hann and Hamming 2, Blackman-Harris 4, flat top 5, 7-term
// Blackman-Harris 7 (a K-term cosine sum's main lobe reaches K lines out).
std::int32_t mainLobeHalfWidth(WindowKind window);

// The power a tone dblOffset lines off a line (|dblOffset| <= 0.5) leaks outside the window's counted
// main lobe (the mainLobeHalfWidth lines on each side of its peak line), relative to the power inside it:
// every line within lngNumSamp / 2 of the tone summed from windowResponse. 0 for a tone on a line
// (every whole line past the lobe is a zero of a cosine sum); for one half-way between lines, the limit
// of what converter figures can read with the window (Hann -33 dB, Blackman-Harris -86.5 dB, 7-term
// Blackman-Harris -161 dB).
double leakageBeyondLobe(WindowKind window, std::int32_t lngNumSamp, double dblOffset);

// The figures of a window's coefficients (at least one, with a non-zero sum).
WindowFigures windowFigures(std::span<const double> dblWindow);

// The magnitude of the window's transform for a tone dblLines lines off a line (any real value, |x|
// well below N), relative to that of a tone on the line: 1 at 0, 0 at every other whole line for rect.
// From the cosine sum in closed form (sums of Dirichlet kernels over lngNumSamp >= 2 points).
double windowResponse(WindowKind window, std::int32_t lngNumSamp, double dblLines);

} // namespace kestrix::engine
