// SPDX-License-Identifier: GPL-3.0-or-later
// Writes an accelerometer's recording of a pump with a worn bearing: 100 mV/g into a converter of
// ±5 V, 16384 Hz, 20 s (327680 samples), as a mono 16-bit PCM Wave file.
//
//   make_accelerometer pump.wav
//
// The shaft runs at 25 Hz (1500 rpm): 0.1 g peak at 1x and 0.04 g at 2x, which read as velocity 6.243
// and 1.249 mm/s peak (a / 2 pi f), 4.497 mm/s rms together: the overall velocity ISO 20816 judges the
// machine by over 10 to 1000 Hz. The bearing's outer race has a defect: every 1 / 87.3 s (its BPFO,
// 3.49 orders) the rollers strike it and ring the housing's resonance at 3 kHz (1.5 g, decaying at
// 600 / s). The impacts hardly show in the spectrum, but the envelope of 2 to 4 kHz has its lines at
// 87.3 Hz and its harmonics. Gaussian noise of 0.02 g (seeded, the same on every system) lies beneath.

#include "example_noise.h"
#include "example_wave.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

using kestrix::examples::Noise;
constexpr std::uint64_t lngNoiseSeed = 0x50756d7042656172ULL;

constexpr std::uint32_t lngSampFreq = 16384;
constexpr std::uint32_t lngSamples = 20 * lngSampFreq;
constexpr double dblCountsPerG = 0.1 * 32767.0 / 5.0; // 100 mV/g, ±5 V
constexpr double dblShaftHz = 25.0;
constexpr double dblShaftG = 0.1;   // peak, at 1x
constexpr double dblSecondG = 0.04; // peak, at 2x
constexpr double dblDefectHz = 87.3;
constexpr double dblRingHz = 3000.0;
constexpr double dblRingG = 1.5;
constexpr double dblRingDecay = 600.0; // 1 / s
constexpr double dblNoiseG = 0.02;

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_accelerometer <output.wav>\n", stderr);
        return 2;
    }
    std::vector<double> dblCounts(lngSamples);
    Noise noise(lngNoiseSeed);
    for (std::uint32_t n = 0; n < lngSamples; ++n) {
        const double dblTime = static_cast<double>(n) / lngSampFreq;
        const double dblShaft = 2.0 * std::numbers::pi * dblShaftHz * dblTime;
        // The time since the last impact rings the resonance (the one before has died away by then).
        const double dblSinceImpact = dblTime - std::floor(dblTime * dblDefectHz) / dblDefectHz;
        const double dblG = dblShaftG * std::sin(dblShaft) + dblSecondG * std::sin(2.0 * dblShaft + 0.3) +
                            dblRingG * std::exp(-dblRingDecay * dblSinceImpact) *
                                std::sin(2.0 * std::numbers::pi * dblRingHz * dblSinceImpact) +
                            dblNoiseG * noise.gaussian();
        dblCounts[n] = dblG * dblCountsPerG;
    }
    return kestrix::examples::writeExampleFile(argv[1], kestrix::examples::monoWaveFile(dblCounts, lngSampFreq));
}
