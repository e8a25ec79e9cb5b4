// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the example run-up recording: a motor speeding up evenly from 5 to 50 Hz (300 to 3000 rpm)
// in one minute, measured by a 16-bit converter at 1024 samples per second, as a mono 16-bit PCM Wave
// file (61440 samples).
//
//   make_runup > runup.wav
//
// The signal: the running speed and its 2nd to 5th harmonics, each following the speed; a structural
// resonance near 180 Hz that the harmonics excite as they pass through it; a fixed 300 Hz gear mesh; a
// small offset and Gaussian noise. Its spectrogram shows the five rising lines (orders), the flat gear
// mesh and the resonance lighting up where an order crosses it.

#include "example_noise.h"
#include "example_wave.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

using kestrix::examples::Noise;
constexpr std::uint64_t lngNoiseSeed = 0x52756E5570ULL;

constexpr std::int32_t lngSampFreq = 1024;                                              // Hz
constexpr std::int32_t lngSamples = 60 * 1024;                                          // one minute
constexpr double dblStartSpeed = 5.0;                                                   // Hz
constexpr double dblEndSpeed = 50.0;                                                    // Hz
constexpr double dblDuration = lngSamples / static_cast<double>(lngSampFreq);           // s
constexpr std::array<double, 5> dblOrderPeaks = {6000.0, 2500.0, 1200.0, 800.0, 500.0}; // counts, 1x to 5x
constexpr double dblResonance = 180.0;                                                  // Hz
constexpr double dblResonanceWidth = 6.0; // Hz: half the width at half the height
constexpr double dblResonanceGain = 3.0;  // how much an order crossing it grows
constexpr double dblGearMesh = 300.0;     // Hz
constexpr double dblGearPeak = 700.0;     // counts
constexpr double dblOffset = 8.0;         // counts
constexpr double dblNoiseSigma = 40.0;    // counts

// The running speed's phase in cycles at time dblTime: the integral of a speed rising linearly.
double speedCycles(double dblTime)
{
    const double dblRise = (dblEndSpeed - dblStartSpeed) / dblDuration; // Hz per second
    return dblStartSpeed * dblTime + 0.5 * dblRise * dblTime * dblTime;
}

double sampleAt(std::int32_t n, Noise& noise)
{
    const double dblTime = n / static_cast<double>(lngSampFreq);
    const double dblSpeed = dblStartSpeed + (dblEndSpeed - dblStartSpeed) * dblTime / dblDuration;
    double dblValue = dblOffset + dblNoiseSigma * noise.gaussian();
    for (std::size_t k = 0; k < dblOrderPeaks.size(); ++k) {
        const double dblOrder = static_cast<double>(k + 1);
        // A resonance (Lorentzian) lifts an order while its frequency passes through it.
        const double dblDetune = (dblOrder * dblSpeed - dblResonance) / dblResonanceWidth;
        const double dblGain = 1.0 + dblResonanceGain / (1.0 + dblDetune * dblDetune);
        dblValue += dblGain * dblOrderPeaks[k] * std::sin(2.0 * std::numbers::pi * dblOrder * speedCycles(dblTime));
    }
    dblValue += dblGearPeak * std::sin(2.0 * std::numbers::pi * dblGearMesh * dblTime);
    return dblValue;
}

} // namespace

int main()
{
    std::vector<double> dblCounts(lngSamples);
    Noise noise(lngNoiseSeed);
    for (std::int32_t n = 0; n < lngSamples; ++n) {
        dblCounts[static_cast<std::size_t>(n)] = sampleAt(n, noise);
    }
    const std::vector<unsigned char> bytFile = kestrix::examples::monoWaveFile(dblCounts, lngSampFreq);
    return std::fwrite(bytFile.data(), 1, bytFile.size(), stdout) == bytFile.size() ? 0 : 1;
}
