// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/recordings/spectrogram.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The spectrogram as a picture: its levels through the viridis colour map into a pixel buffer, for
// the screen and for files alike. No toolkit: the buffer's layout is that of a 32-bit RGB image.
namespace kestrix::engine {

// A rectangle of the time-frequency plane: times in s across, frequencies in Hz up; low < high.
struct SpectrogramView
{
    double dblLowTime = 0.0;
    double dblHighTime = 1.0;
    double dblLowFreq = 0.0;
    double dblHighFreq = 1.0;

    bool operator==(const SpectrogramView&) const = default;
};

// The levels the colours span, in dB (dblFloor < dblTop): a level at or below the floor takes the
// map's first colour, one at or above the top its last.
struct LevelRange
{
    double dblFloor = -120.0;
    double dblTop = 0.0;

    bool operator==(const LevelRange&) const = default;
};

// Everything there is: timeLow to timeHigh across, 0 Hz to the last line up (0 to 1 s when empty); with
// blnLogFreq (a logarithmic frequency axis, where 0 Hz has no place) from the first line above 0 Hz.
SpectrogramView fullView(const Spectrogram& spectrogram, bool blnLogFreq = false);

// view kept within fullView: a span longer than the full one shrinks to it, one shorter than two cells
// (segment spacings, lines) grows to that about its centre, and then the view moves inside. A view
// with a NaN or an empty span gives fullView. With blnLogFreq the frequencies as limitLogRange keeps
// them: the ratio of their ends kept, at least two lines apart.
SpectrogramView viewWithin(const Spectrogram& spectrogram, const SpectrogramView& view, bool blnLogFreq = false);

// A pixel 0xffRRGGBB (opaque; the value, not its bytes: the same on any host).
inline constexpr std::uint32_t lngOutsideColour = 0xffffffff; // white, where the view has no data

// The viridis colour map at dblShare from 0 (dark violet) to 1 (yellow), clamped to that range, as a
// pixel 0xffRRGGBB; 256 steps, NaN reads 0.
std::uint32_t viridisColour(double dblShare);

// The colour of a level in dB: its share of range, through viridisColour.
std::uint32_t levelColour(double dblLevel, const LevelRange& range);

// Draws the part view of a spectrogram into lngWidth x lngHeight pixels (both >= 1): pixel (x, y) is
// lngPixels[y * lngStride + x] (lngStride >= lngWidth, the buffer at least (lngHeight - 1) *
// lngStride + lngWidth long), row 0 at the view's highest frequency, column 0 at its lowest time.
// Every pixel takes the colour of the highest level among the cells its area touches, so a one-line
// tone or a one-segment burst stays visible however far the view is zoomed out; a pixel wholly
// outside the data is lngOutsideColour. Work: about the cells in view plus the pixels. With blnLogFreq
// the rows divide the view's frequencies by equal ratios (view.dblLowFreq > 0): row y spans from
// high (low / high)^((y + 1) / height) to high (low / high)^(y / height).
void renderSpectrogram(const Spectrogram& spectrogram, const SpectrogramView& view, const LevelRange& range,
                       std::int32_t lngWidth, std::int32_t lngHeight, std::span<std::uint32_t> lngPixels,
                       std::size_t lngStride, bool blnLogFreq = false);

// A level range that shows most recordings well: the top at the highest level rounded up to 5 dB,
// the floor 10 dB under the median of the cells (their noise floor in most recordings) rounded down
// to 5 dB, at least 20 dB and at most 120 dB under the top. Lines of exactly 0 V are left out;
// {-120, 0} when nothing else remains.
LevelRange suggestedLevelRange(const Spectrogram& spectrogram);

} // namespace kestrix::engine
