// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a converter test recording: a 16-bit converter sampling a 984.375 Hz tone at -3 dBFS at
// 48 kHz, as a mono 16-bit PCM Wave file of 262144 samples (5.46 s).
//
//   make_converter_tone adc_tone.wav
//
// The tone has harmonics at -80 dBc (2nd) and -90 dBc (3rd), an offset of 3 counts and Gaussian noise of
// 0.5 counts before the rounding to whole counts (the quantisation adds 1 / sqrt 12 counts). It makes 21
// whole periods in every 1024 samples, so it lies on a line for every segment length the view offers
// (coherent sampling), as the converter test methods ask. The figures to expect: SNR 20 log10 of the
// tone's rms (16403 counts) over the noise's (sqrt(0.25 + 1 / 12) = 0.577 counts), 89.1 dB; THD
// 10 log10(1E-8 + 1E-9) = -79.6 dB; SINAD 79.1 dB; ENOB 12.85 bits, 13.35 with the full-scale
// correction of 3 dB. These hold where the lines left out of the noise (0 Hz, the tone and its harmonics
// with their main lobes) are a small share of all: at 16384 points and more. At 1024 points they are 52
// of 513 and the SNR reads 0.45 dB higher.

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
using kestrix::examples::putLe;
constexpr std::uint64_t lngNoiseSeed = 0x41444354657374ULL;

constexpr std::uint32_t lngSampFreq = 48000;
constexpr std::uint32_t lngSamples = 262144;
constexpr double dblCyclesPer1024 = 21.0; // 984.375 Hz
constexpr double dblLevelDbfs = -3.0;     // dB re the converter's full scale
constexpr double dblFullScale = 32767.0;  // counts
constexpr double dblOffset = 3.0;         // counts
constexpr double dblNoiseSigma = 0.5;     // counts
constexpr double dblSecondDbc = -80.0;
constexpr double dblThirdDbc = -90.0;

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_converter_tone <output.wav>\n", stderr);
        return 2;
    }
    const double dblPeak = dblFullScale * std::pow(10.0, dblLevelDbfs / 20.0);
    const double dblSecond = dblPeak * std::pow(10.0, dblSecondDbc / 20.0);
    const double dblThird = dblPeak * std::pow(10.0, dblThirdDbc / 20.0);
    std::vector<unsigned char> bytFile = kestrix::examples::waveHeader(lngSampFreq, lngSamples);
    Noise noise(lngNoiseSeed);
    for (std::uint32_t n = 0; n < lngSamples; ++n) {
        const double dblPhase = 2.0 * std::numbers::pi * dblCyclesPer1024 * static_cast<double>(n) / 1024.0;
        const double dblValue = dblPeak * std::sin(dblPhase) + dblSecond * std::sin(2.0 * dblPhase + 0.5) +
                                dblThird * std::sin(3.0 * dblPhase + 1.2) + dblOffset +
                                dblNoiseSigma * noise.gaussian();
        const double dblCount = std::clamp(std::round(dblValue), -32768.0, 32767.0);
        putLe(bytFile, static_cast<std::uint32_t>(static_cast<std::int32_t>(dblCount)) & 0xffffU, 2);
    }
    return kestrix::examples::writeBytes(argv[1], bytFile);
}
