// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a two-channel example recording of a shaker test: comma-separated text with a heading line
// "time (s),force,accel" and 81920 lines (40 s at 2048 Hz) of the time and two channels of 16-bit
// converter counts.
//
//   make_shaker shaker.csv
//
// The force is random noise band-limited to about 10 to 600 Hz (second-order high- and low-pass
// filters), about 3000 counts rms. The acceleration is the structure's response to it: two modes at
// 120 Hz (damping 3 %) and 340 Hz (2 %), each s^2 A / (s^2 + 2 zeta w s + w^2) (acceleration over
// force, the bilinear transform prewarped at the mode), with an anti-resonance between them; three
// samples of delay (1.46 ms, the accelerometer's conditioning); and measurement noise of 250 counts rms.
// So the coherence is high around the modes and falls in the anti-resonance and outside the drive's
// band, where the noise is a larger share of the response.

#include "example_noise.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <numbers>
#include <string>

namespace {

using kestrix::examples::Noise;
constexpr std::uint64_t lngForceSeed = 0x5368616b6572ULL;
constexpr std::uint64_t lngNoiseSeed = 0x4163636e6f697365ULL;

constexpr double dblSampFreq = 2048.0; // Hz
constexpr int lngSamples = 81920;      // 40 s
constexpr double dblForceRms = 3000.0; // counts, before the band limits
constexpr double dblModeGain = 4.0;    // counts of acceleration per count of force at a mode's peak
constexpr int lngDelaySamples = 3;
constexpr double dblNoiseRms = 250.0; // counts

// A second-order section: y = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2) x.
class Biquad
{
public:
    Biquad(std::array<double, 3> dblB, std::array<double, 3> dblA)
    {
        for (int i = 0; i < 3; ++i) {
            b[i] = dblB[i] / dblA[0];
            a[i] = dblA[i] / dblA[0];
        }
    }
    double filter(double dblX)
    {
        const double dblY = b[0] * dblX + b[1] * x1 + b[2] * x2 - a[1] * y1 - a[2] * y2;
        x2 = x1;
        x1 = dblX;
        y2 = y1;
        y1 = dblY;
        return dblY;
    }

private:
    double b[3] = {};
    double a[3] = {};
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
};

// The bilinear transform, prewarped at dblFreq, of (n2 s^2 + n0 w^2) / (s^2 + 2 zeta w s + w^2), w the
// angular frequency of dblFreq: a high-pass (n2 = 1, n0 = 0), a low-pass (n2 = 0, n0 = 1) or a mode.
Biquad secondOrder(double dblFreq, double dblZeta, double dblN2, double dblN0)
{
    const double dblW = 2.0 * std::numbers::pi * dblFreq;
    const double dblK = dblW / std::tan(dblW / (2.0 * dblSampFreq));
    const double dblK2 = dblK * dblK;
    const double dblW2 = dblW * dblW;
    const double dblDamp = 2.0 * dblZeta * dblW * dblK;
    return Biquad({dblN2 * dblK2 + dblN0 * dblW2, 2.0 * (dblN0 * dblW2 - dblN2 * dblK2), dblN2 * dblK2 + dblN0 * dblW2},
                  {dblK2 + dblDamp + dblW2, 2.0 * (dblW2 - dblK2), dblK2 - dblDamp + dblW2});
}

void append(std::string& strLine, double dblValue, int intDecimals)
{
    char chrBuffer[32];
    const auto result =
        std::to_chars(chrBuffer, chrBuffer + sizeof chrBuffer, dblValue, std::chars_format::fixed, intDecimals);
    strLine.append(chrBuffer, result.ptr);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_shaker <output.csv>\n", stderr);
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const double dblButterworth = 1.0 / std::numbers::sqrt2;
    Biquad highPass = secondOrder(10.0, dblButterworth, 1.0, 0.0);
    Biquad lowPass = secondOrder(600.0, dblButterworth, 0.0, 1.0);
    Biquad firstMode = secondOrder(120.0, 0.03, 2.0 * 0.03 * dblModeGain, 0.0);
    Biquad secondMode = secondOrder(340.0, 0.02, 2.0 * 0.02 * dblModeGain, 0.0);
    Noise force(lngForceSeed);
    Noise noise(lngNoiseSeed);
    std::deque<double> dblDelayed(lngDelaySamples, 0.0);
    std::string strText = "time (s),force,accel\r\n";
    bool blnWritten = true;
    for (int n = 0; n < lngSamples; ++n) {
        const double dblForce = lowPass.filter(highPass.filter(dblForceRms * force.gaussian()));
        dblDelayed.push_back(firstMode.filter(dblForce) + secondMode.filter(dblForce));
        const double dblAccel = dblDelayed.front() + dblNoiseRms * noise.gaussian();
        dblDelayed.pop_front();
        append(strText, n / dblSampFreq, 6);
        strText += ',';
        append(strText, std::round(dblForce), 0);
        strText += ',';
        append(strText, std::round(dblAccel), 0);
        strText += "\r\n";
        if (strText.size() > 60000) {
            blnWritten = blnWritten && std::fwrite(strText.data(), 1, strText.size(), file) == strText.size();
            strText.clear();
        }
    }
    blnWritten = blnWritten && std::fwrite(strText.data(), 1, strText.size(), file) == strText.size();
    return std::fclose(file) == 0 && blnWritten ? 0 : 1;
}
