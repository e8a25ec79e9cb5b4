// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Fractional-octave bands to IEC 61260-1 (base ten) and the class 1 limits of their filters.
//
// With G = 10^(3/10) and b bands an octave (1, 3, 6, 12 or 24), band x has its exact midband at
// 1000 G^(x/b) Hz for odd b and 1000 G^((2x+1)/(2b)) Hz for even b, its edges at the midband times
// G^(-1/(2b)) and G^(1/(2b)): neighbours share an edge, so the bands tile the frequency axis.
namespace kestrix::engine {

inline constexpr std::int32_t lngBandsPerOctaveChoices[] = {1, 3, 6, 12, 24};

// True for a b the bands are defined for: 1, 3, 6, 12 or 24.
bool isBandsPerOctave(std::int32_t lngBandsPerOctave);

// The octave ratio G = 10^(3/10).
double octaveRatio();

struct OctaveBand
{
    std::int32_t lngIndex = 0; // x in the midband formula; 0 is the 1 kHz band (odd b)
    double dblMidband = 0.0;   // exact midband frequency, Hz
    double dblLower = 0.0;     // lower edge, Hz
    double dblUpper = 0.0;     // upper edge, Hz
    std::string strNominal;    // the nominal midband as headings and axes write it ("31.5", "1000", "12500")
};

// Band x of b bands an octave (b as isBandsPerOctave accepts).
OctaveBand octaveBand(std::int32_t lngBandsPerOctave, std::int32_t lngIndex);

// The nominal midband of band x, in Hz. For octaves and third-octaves the standard's rounded
// values: the R10 series 1, 1.25, 1.6, 2, 2.5, 3.15, 4, 5, 6.3, 8 times a power of ten, the third-octave
// band x taking its (x mod 10)-th member (31.5, 63, 125 ... 16000 for octaves, which are every third
// third-octave). For 6, 12 and 24 bands an octave the standard gives no series: the exact midband
// rounded to three significant digits.
double nominalMidband(std::int32_t lngBandsPerOctave, std::int32_t lngIndex);

// The bands analysed at sampling frequency dblSampFreq (Hz, > 0): every band whose upper edge lies
// above dblFromHz (Hz, > 0) and below dblSampFreq / 2, from the lowest up. Empty when none does.
std::vector<OctaveBand> analysedBands(std::int32_t lngBandsPerOctave, double dblFromHz, double dblSampFreq);

// The limits on a band filter's relative attenuation (dB, positive where the filter attenuates, 0 at
// its midband gain) at one normalised frequency.
struct AttenuationLimits
{
    double dblMinDb = 0.0; // the least attenuation allowed
    double dblMaxDb = 0.0; // the most allowed; +infinity in the stop bands
};

// One breakpoint of the class 1 mask, on the side above the midband (the side below mirrors it at
// 1 / dblOmega).
struct MaskBreakpoint
{
    double dblOmega = 1.0; // f / fm
    AttenuationLimits limits;
};

// The class 1 breakpoints of a filter of b bands an octave, from the midband outwards. The octave
// filter's limits stand at Omega = G^e for e = 0, 1/8, 1/4, 3/8, 1/2 (the band edge), 1, 2, 3 and 4; a
// filter of b bands an octave has the same limits at 1 + (G^(1/(2b)) - 1) / (G^(1/2) - 1) (G^e - 1), the
// standard's normalisation that keeps the edge at e = 1/2 and shrinks the skirts in proportion (for
// b = 3 these are the third-octave filter's tabulated frequencies 1.02667, 1.05575, 1.08746, 1.12202,
// 1.29437, 1.88173, 3.05365, 5.39195).
std::vector<MaskBreakpoint> class1Breakpoints(std::int32_t lngBandsPerOctave);

// The class 1 limits at Omega = f / fm (> 0), read from the breakpoints as steps: between two
// breakpoints the least attenuation is that of the one nearer the midband and the most that of the
// one farther out; beyond the last the stop band's 70 dB holds.
AttenuationLimits class1Limits(std::int32_t lngBandsPerOctave, double dblOmega);

} // namespace kestrix::engine
