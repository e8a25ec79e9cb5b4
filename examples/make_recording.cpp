// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the bundled example recording: a motor running at 25 Hz (1500 rpm) measured by a 16-bit
// converter at 1024 samples per second, one count per line, 65536 lines.
//
//   make_recording > motor.csv
//
// The signal: the running speed and its 2nd to 4th harmonics, a gear mesh at 300 Hz with sidebands at
// +-25 Hz, a small DC offset and Gaussian noise. Every tone falls exactly on a spectrum line for every
// point count at 1024 Hz, so the spectrum shows sharp lines at 2 x peak counts x 5 V / 32767.

#include "example_noise.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace {

using kestrix::examples::Noise;
constexpr std::uint64_t lngNoiseSeed = 0x4B657374726978ULL;

struct Tone
{
    double dblFreq;  // Hz
    double dblPeak;  // counts
    double dblPhase; // radians
};

constexpr Tone tones[] = {
    {25.0, 6000.0, 0.3},  // running speed, 1x
    {50.0, 2500.0, 1.1},  // 2x
    {75.0, 1200.0, 2.0},  // 3x
    {100.0, 600.0, 0.7},  // 4x
    {275.0, 400.0, 0.2},  // lower sideband of the gear mesh
    {300.0, 1500.0, 1.6}, // gear mesh
    {325.0, 400.0, 2.9},  // upper sideband
};

constexpr double dblSampFreq = 1024.0;
constexpr int lngLines = 65536;
constexpr double dblOffset = 12.0;     // counts
constexpr double dblNoiseSigma = 60.0; // counts

} // namespace

int main()
{
    Noise noise(lngNoiseSeed);
    for (int n = 0; n < lngLines; ++n) {
        const double dblTime = n / dblSampFreq;
        double dblValue = dblOffset + dblNoiseSigma * noise.gaussian();
        for (const Tone& tone : tones) {
            dblValue += tone.dblPeak * std::cos(2.0 * std::numbers::pi * tone.dblFreq * dblTime + tone.dblPhase);
        }
        const long lngCount = std::lround(std::fmin(32767.0, std::fmax(-32768.0, dblValue)));
        std::printf("%ld\r\n", lngCount);
    }
    return 0;
}
