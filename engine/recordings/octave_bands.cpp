// SPDX-License-Identifier: GPL-3.0-or-later
#include "octave_bands.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <limits>

namespace kestrix::engine {

namespace {

// The lowest lower limit the bands analysed are searched from, Hz.
constexpr double dblLowestLimitHz = 1e-3;

// The R10 series in hundredths, as the third-octave nominal midbands round it.
constexpr std::int32_t lngR10[] = {100, 125, 160, 200, 250, 315, 400, 500, 630, 800};

// The octave filter's class 1 limits at Omega = G^e (IEC 61260-1, table 1).
struct OctaveLimit
{
    double dblExponent;
    double dblMinDb;
    double dblMaxDb;
};
constexpr double dblNoMax = std::numeric_limits<double>::infinity();
constexpr OctaveLimit octaveLimits[] = {
    {0.0, -0.4, 0.4},      {0.125, -0.4, 0.5},    {0.25, -0.4, 0.7},     {0.375, -0.4, 1.4},    {0.5, 1.2, 5.3},
    {1.0, 16.6, dblNoMax}, {2.0, 40.5, dblNoMax}, {3.0, 60.0, dblNoMax}, {4.0, 70.0, dblNoMax},
};

// 10^n for a whole n, exact where a double holds it.
double powerOfTen(std::int32_t lngExponent)
{
    double dblPower = 1.0;
    for (std::int32_t i = 0; i < std::abs(lngExponent); ++i) {
        dblPower *= 10.0;
    }
    return lngExponent < 0 ? 1.0 / dblPower : dblPower;
}

// The shortest text that reads back as dblValue ("31.5", "12500", "0.8").
std::string shortestText(double dblValue)
{
    char chrText[32];
    const auto result = std::to_chars(chrText, chrText + sizeof chrText, dblValue);
    return std::string(chrText, result.ptr);
}

// floor(a / b) for b > 0.
std::int32_t floorDiv(std::int32_t lngA, std::int32_t lngB)
{
    return lngA >= 0 ? lngA / lngB : -((-lngA + lngB - 1) / lngB);
}

double exactMidband(std::int32_t lngBandsPerOctave, std::int32_t lngIndex)
{
    const double dblB = lngBandsPerOctave;
    const double dblExponent = lngBandsPerOctave % 2 == 1 ? lngIndex / dblB : (2.0 * lngIndex + 1.0) / (2.0 * dblB);
    return 1000.0 * std::pow(std::pow(10.0, 0.3), dblExponent);
}

} // namespace

bool isBandsPerOctave(std::int32_t lngBandsPerOctave)
{
    return std::find(std::begin(lngBandsPerOctaveChoices), std::end(lngBandsPerOctaveChoices), lngBandsPerOctave) !=
           std::end(lngBandsPerOctaveChoices);
}

double octaveRatio()
{
    return std::pow(10.0, 0.3);
}

double nominalMidband(std::int32_t lngBandsPerOctave, std::int32_t lngIndex)
{
    assert(isBandsPerOctave(lngBandsPerOctave));
    if (lngBandsPerOctave == 1 || lngBandsPerOctave == 3) {
        // The third-octave band of the same midband: x for thirds, 3x for octaves (1000 G^x = 1000 G^(3x/3)).
        const std::int32_t lngThird = lngBandsPerOctave == 1 ? 3 * lngIndex : lngIndex;
        const std::int32_t lngDecade = floorDiv(lngThird, 10);
        const std::int32_t lngMember = lngThird - 10 * lngDecade;
        // 1 kHz is member 0 of decade 0: 100 hundredths times 10^(decade + 1).
        const std::int32_t lngExponent = 1 + lngDecade;
        const double dblHundredths = lngR10[lngMember];
        return lngExponent >= 0 ? dblHundredths * powerOfTen(lngExponent) : dblHundredths / powerOfTen(-lngExponent);
    }
    const double dblExact = exactMidband(lngBandsPerOctave, lngIndex);
    const auto lngDigitsExponent = static_cast<std::int32_t>(std::floor(std::log10(dblExact))) - 2;
    const double dblScale = powerOfTen(std::abs(lngDigitsExponent));
    return lngDigitsExponent >= 0 ? std::round(dblExact / dblScale) * dblScale
                                  : std::round(dblExact * dblScale) / dblScale;
}

OctaveBand octaveBand(std::int32_t lngBandsPerOctave, std::int32_t lngIndex)
{
    assert(isBandsPerOctave(lngBandsPerOctave));
    OctaveBand band;
    band.lngIndex = lngIndex;
    band.dblMidband = exactMidband(lngBandsPerOctave, lngIndex);
    const double dblHalf = std::pow(octaveRatio(), 1.0 / (2.0 * lngBandsPerOctave));
    band.dblLower = band.dblMidband / dblHalf;
    band.dblUpper = band.dblMidband * dblHalf;
    band.strNominal = shortestText(nominalMidband(lngBandsPerOctave, lngIndex));
    return band;
}

std::vector<OctaveBand> analysedBands(std::int32_t lngBandsPerOctave, double dblFromHz, double dblSampFreq)
{
    assert(isBandsPerOctave(lngBandsPerOctave) && dblFromHz > 0.0 && dblSampFreq > 0.0);
    // The index of the band whose midband lies nearest a frequency, from the midband formula inverted.
    const double dblB = lngBandsPerOctave;
    const auto indexNear = [&](double dblHz) {
        // Clamped, so that a limit of 0 Hz cannot reach an index beyond the 32 bits (no band lies that low).
        const double dblExponent = std::log(std::max(dblHz, dblLowestLimitHz) / 1000.0) / std::log(octaveRatio());
        const double dblX = lngBandsPerOctave % 2 == 1 ? dblExponent * dblB : (dblExponent * 2.0 * dblB - 1.0) / 2.0;
        return static_cast<std::int32_t>(std::floor(dblX));
    };
    std::vector<OctaveBand> bands;
    for (std::int32_t x = indexNear(dblFromHz) - 2; x <= indexNear(dblSampFreq / 2.0) + 2; ++x) {
        OctaveBand band = octaveBand(lngBandsPerOctave, x);
        if (band.dblUpper > dblFromHz && band.dblUpper < dblSampFreq / 2.0) {
            bands.push_back(std::move(band));
        }
    }
    return bands;
}

std::vector<MaskBreakpoint> class1Breakpoints(std::int32_t lngBandsPerOctave)
{
    assert(isBandsPerOctave(lngBandsPerOctave));
    const double dblG = octaveRatio();
    const double dblShrink = (std::pow(dblG, 1.0 / (2.0 * lngBandsPerOctave)) - 1.0) / (std::pow(dblG, 0.5) - 1.0);
    std::vector<MaskBreakpoint> breakpoints;
    for (const OctaveLimit& limit : octaveLimits) {
        const double dblOmega = 1.0 + dblShrink * (std::pow(dblG, limit.dblExponent) - 1.0);
        breakpoints.push_back({dblOmega, {limit.dblMinDb, limit.dblMaxDb}});
    }
    return breakpoints;
}

AttenuationLimits class1Limits(std::int32_t lngBandsPerOctave, double dblOmega)
{
    assert(dblOmega > 0.0);
    const double dblAbove = dblOmega >= 1.0 ? dblOmega : 1.0 / dblOmega;
    const std::vector<MaskBreakpoint> breakpoints = class1Breakpoints(lngBandsPerOctave);
    // The first breakpoint at or beyond the frequency sets the most allowed; the last one at or before
    // it sets the least.
    AttenuationLimits limits{breakpoints.back().limits.dblMinDb, dblNoMax};
    for (const MaskBreakpoint& breakpoint : breakpoints) {
        if (breakpoint.dblOmega <= dblAbove) {
            limits.dblMinDb = breakpoint.limits.dblMinDb;
        }
    }
    for (const MaskBreakpoint& breakpoint : breakpoints) {
        if (breakpoint.dblOmega >= dblAbove) {
            limits.dblMaxDb = breakpoint.limits.dblMaxDb;
            break;
        }
    }
    return limits;
}

} // namespace kestrix::engine
