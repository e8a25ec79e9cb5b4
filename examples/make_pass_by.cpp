// SPDX-License-Identifier: GPL-3.0-or-later
// Writes an example sound recording for the octave page: a machine passing a microphone, 20 s at
// 48 kHz, as a mono 16-bit PCM Wave file of 960000 samples.
//
//   make_pass_by pass_by.wav
//
// The machine: broadband pink noise (equal power in every octave), a 120 Hz hum with its 2nd and 3rd
// harmonics, and a 2.5 kHz whine, all coming closest at 10 s (its level follows 1 / sqrt(1 + ((t -
// 10 s) / 2 s)^2), 14 dB lower at the ends) over a steady quiet pink background. In third-octave
// bands the pink noise reads about the same level in every band (within about 0.5 dB above 20 Hz), with
// the hum and the whine standing out in theirs; the level trace rises and falls with the pass.

#include "example_noise.h"
#include "example_wave.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

using kestrix::examples::Noise;
constexpr std::uint64_t lngMachineSeed = 0x5061737342794dULL;
constexpr std::uint64_t lngBackgroundSeed = 0x4261636bULL;

constexpr std::uint32_t lngSampFreq = 48000; // Hz
constexpr std::uint32_t lngSamples = 20 * lngSampFreq;
constexpr double dblClosest = 10.0;        // s
constexpr double dblPassSeconds = 2.0;     // s: the level is 3 dB down this long from the closest point
constexpr double dblMachineNoise = 1500.0; // counts, the pink noise's rms at the closest point
constexpr double dblBackground = 40.0;     // counts rms
constexpr double dblHumHz = 120.0;
constexpr double dblHumPeaks[] = {2500.0, 1200.0, 600.0}; // counts, the hum and its 2nd and 3rd harmonics
constexpr double dblWhineHz = 2500.0;
constexpr double dblWhinePeak = 900.0; // counts

// Pink noise of about unit rms from white Gaussian noise through three first-order low-passes spread
// over the audio band (an equal-power-per-octave approximation within about 0.5 dB above 20 Hz).
class PinkNoise
{
public:
    explicit PinkNoise(std::uint64_t lngSeed) : white(lngSeed) {}

    double next()
    {
        const double dblWhite = white.gaussian();
        dblState[0] = 0.99765 * dblState[0] + dblWhite * 0.0990460;
        dblState[1] = 0.96300 * dblState[1] + dblWhite * 0.2965164;
        dblState[2] = 0.57000 * dblState[2] + dblWhite * 1.0526913;
        constexpr double dblUnitRms = 0.333; // scales the sum to about unit rms
        return (dblState[0] + dblState[1] + dblState[2] + dblWhite * 0.1848) * dblUnitRms;
    }

private:
    Noise white;
    double dblState[3] = {0.0, 0.0, 0.0};
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_pass_by <output.wav>\n", stderr);
        return 2;
    }
    PinkNoise machine(lngMachineSeed);
    PinkNoise background(lngBackgroundSeed);
    std::vector<double> dblCounts(lngSamples);
    for (std::uint32_t n = 0; n < lngSamples; ++n) {
        const double dblTime = n / static_cast<double>(lngSampFreq);
        const double dblFromClosest = (dblTime - dblClosest) / dblPassSeconds;
        const double dblGain = 1.0 / std::sqrt(1.0 + dblFromClosest * dblFromClosest);
        double dblMachine = dblMachineNoise * machine.next();
        for (std::size_t k = 0; k < std::size(dblHumPeaks); ++k) {
            dblMachine +=
                dblHumPeaks[k] * std::sin(2.0 * std::numbers::pi * dblHumHz * static_cast<double>(k + 1) * dblTime +
                                          0.7 * static_cast<double>(k));
        }
        dblMachine += dblWhinePeak * std::sin(2.0 * std::numbers::pi * dblWhineHz * dblTime);
        dblCounts[n] = dblGain * dblMachine + dblBackground * background.next();
    }
    const std::vector<unsigned char> bytFile = kestrix::examples::monoWaveFile(dblCounts, lngSampFreq);
    return kestrix::examples::writeExampleFile(argv[1], bytFile);
}
