// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrogram_image.h"

#include "plot_view.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

namespace kestrix::engine {
namespace {

// The viridis colour map, 0xRRGGBB from the lowest level to the highest.
constexpr std::array<std::uint32_t, 256> lngViridis = {
    0x440154, 0x440256, 0x450457, 0x450559, 0x46075a, 0x46085c, 0x460a5d, 0x460b5e, 0x470d60, 0x470e61, 0x471063,
    0x471164, 0x471365, 0x481467, 0x481668, 0x481769, 0x48186a, 0x481a6c, 0x481b6d, 0x481c6e, 0x481d6f, 0x481f70,
    0x482071, 0x482173, 0x482374, 0x482475, 0x482576, 0x482677, 0x482878, 0x482979, 0x472a7a, 0x472c7a, 0x472d7b,
    0x472e7c, 0x472f7d, 0x46307e, 0x46327e, 0x46337f, 0x463480, 0x453581, 0x453781, 0x453882, 0x443983, 0x443a83,
    0x443b84, 0x433d84, 0x433e85, 0x423f85, 0x424086, 0x424186, 0x414287, 0x414487, 0x404588, 0x404688, 0x3f4788,
    0x3f4889, 0x3e4989, 0x3e4a89, 0x3e4c8a, 0x3d4d8a, 0x3d4e8a, 0x3c4f8a, 0x3c508b, 0x3b518b, 0x3b528b, 0x3a538b,
    0x3a548c, 0x39558c, 0x39568c, 0x38588c, 0x38598c, 0x375a8c, 0x375b8d, 0x365c8d, 0x365d8d, 0x355e8d, 0x355f8d,
    0x34608d, 0x34618d, 0x33628d, 0x33638d, 0x32648e, 0x32658e, 0x31668e, 0x31678e, 0x31688e, 0x30698e, 0x306a8e,
    0x2f6b8e, 0x2f6c8e, 0x2e6d8e, 0x2e6e8e, 0x2e6f8e, 0x2d708e, 0x2d718e, 0x2c718e, 0x2c728e, 0x2c738e, 0x2b748e,
    0x2b758e, 0x2a768e, 0x2a778e, 0x2a788e, 0x29798e, 0x297a8e, 0x297b8e, 0x287c8e, 0x287d8e, 0x277e8e, 0x277f8e,
    0x27808e, 0x26818e, 0x26828e, 0x26828e, 0x25838e, 0x25848e, 0x25858e, 0x24868e, 0x24878e, 0x23888e, 0x23898e,
    0x238a8d, 0x228b8d, 0x228c8d, 0x228d8d, 0x218e8d, 0x218f8d, 0x21908d, 0x21918c, 0x20928c, 0x20928c, 0x20938c,
    0x1f948c, 0x1f958b, 0x1f968b, 0x1f978b, 0x1f988b, 0x1f998a, 0x1f9a8a, 0x1e9b8a, 0x1e9c89, 0x1e9d89, 0x1f9e89,
    0x1f9f88, 0x1fa088, 0x1fa188, 0x1fa187, 0x1fa287, 0x20a386, 0x20a486, 0x21a585, 0x21a685, 0x22a785, 0x22a884,
    0x23a983, 0x24aa83, 0x25ab82, 0x25ac82, 0x26ad81, 0x27ad81, 0x28ae80, 0x29af7f, 0x2ab07f, 0x2cb17e, 0x2db27d,
    0x2eb37c, 0x2fb47c, 0x31b57b, 0x32b67a, 0x34b679, 0x35b779, 0x37b878, 0x38b977, 0x3aba76, 0x3bbb75, 0x3dbc74,
    0x3fbc73, 0x40bd72, 0x42be71, 0x44bf70, 0x46c06f, 0x48c16e, 0x4ac16d, 0x4cc26c, 0x4ec36b, 0x50c46a, 0x52c569,
    0x54c568, 0x56c667, 0x58c765, 0x5ac864, 0x5cc863, 0x5ec962, 0x60ca60, 0x63cb5f, 0x65cb5e, 0x67cc5c, 0x69cd5b,
    0x6ccd5a, 0x6ece58, 0x70cf57, 0x73d056, 0x75d054, 0x77d153, 0x7ad151, 0x7cd250, 0x7fd34e, 0x81d34d, 0x84d44b,
    0x86d549, 0x89d548, 0x8bd646, 0x8ed645, 0x90d743, 0x93d741, 0x95d840, 0x98d83e, 0x9bd93c, 0x9dd93b, 0xa0da39,
    0xa2da37, 0xa5db36, 0xa8db34, 0xaadc32, 0xaddc30, 0xb0dd2f, 0xb2dd2d, 0xb5de2b, 0xb8de29, 0xbade28, 0xbddf26,
    0xc0df25, 0xc2df23, 0xc5e021, 0xc8e020, 0xcae11f, 0xcde11d, 0xd0e11c, 0xd2e21b, 0xd5e21a, 0xd8e219, 0xdae319,
    0xdde318, 0xdfe318, 0xe2e418, 0xe5e419, 0xe7e419, 0xeae51a, 0xece51b, 0xefe51c, 0xf1e51d, 0xf4e61e, 0xf6e620,
    0xf8e621, 0xfbe723, 0xfde725,
};
constexpr std::uint32_t lngOpaque = 0xff000000;

// Cells lngFirst to lngLast (none when lngFirst > lngLast).
struct CellSpan
{
    std::ptrdiff_t lngFirst = 0;
    std::ptrdiff_t lngLast = -1;

    bool empty() const
    {
        return lngFirst > lngLast;
    }
    bool operator==(const CellSpan&) const = default;
};

// One axis of the cells: lngCount cells of dblCell from dblOrigin, the last one ending at dblEnd.
struct CellAxis
{
    double dblOrigin;
    double dblCell;
    std::ptrdiff_t lngCount;
    double dblEnd;

    // The cells that the interval dblLow .. dblHigh touches; the one holding it when it lies inside one.
    CellSpan touched(double dblLow, double dblHigh) const
    {
        if (lngCount == 0 || !(dblHigh > dblOrigin) || !(dblLow < dblEnd)) {
            return {};
        }
        // An edge that meets a cell's edge but for rounding does not touch the next cell.
        constexpr double dblSlack = 1e-9; // of a cell
        const auto dblCount = static_cast<double>(lngCount);
        const double dblFirst = std::clamp(std::floor((dblLow - dblOrigin) / dblCell + dblSlack), 0.0, dblCount - 1);
        const double dblLast =
            std::clamp(std::ceil((dblHigh - dblOrigin) / dblCell - dblSlack) - 1.0, dblFirst, dblCount - 1);
        return {static_cast<std::ptrdiff_t>(dblFirst), static_cast<std::ptrdiff_t>(dblLast)};
    }
};

CellAxis timeAxis(const Spectrogram& spectrogram)
{
    return {spectrogram.timeLow(), spectrogram.segmentSpacing() * static_cast<double>(spectrogram.segmentsPerColumn()),
            static_cast<std::ptrdiff_t>(spectrogram.columnCount()), spectrogram.timeHigh()};
}

CellAxis frequencyAxis(const Spectrogram& spectrogram)
{
    const double dblDelta = spectrogram.deltaFreq();
    return {-dblDelta / 2.0, dblDelta * spectrogram.linesPerRow(), static_cast<std::ptrdiff_t>(spectrogram.rowCount()),
            (static_cast<double>(spectrogram.lineCount()) - 0.5) * dblDelta};
}

// The highest level of each pixel row over the columns in columns; -infinity where a row has no cell.
void columnMaxima(const Spectrogram& spectrogram, CellSpan columns, std::span<const CellSpan> rows,
                  std::span<float> sngMaxima)
{
    std::fill(sngMaxima.begin(), sngMaxima.end(), -std::numeric_limits<float>::infinity());
    for (std::ptrdiff_t c = columns.lngFirst; c <= columns.lngLast; ++c) {
        const std::span<const float> sngLevels = spectrogram.columnLevels(static_cast<std::size_t>(c));
        for (std::size_t y = 0; y < rows.size(); ++y) {
            float sngHighest = sngMaxima[y];
            for (std::ptrdiff_t r = rows[y].lngFirst; r <= rows[y].lngLast; ++r) {
                sngHighest = std::max(sngHighest, sngLevels[static_cast<std::size_t>(r)]);
            }
            sngMaxima[y] = sngHighest;
        }
    }
}

// One axis of a view kept within dblFullLow .. dblFullHigh with a span of at least dblMinSpan.
std::pair<double, double> spanWithin(double dblLow, double dblHigh, double dblFullLow, double dblFullHigh,
                                     double dblMinSpan)
{
    const double dblFullSpan = dblFullHigh - dblFullLow;
    if (!(dblHigh > dblLow) || !std::isfinite(dblLow) || !std::isfinite(dblHigh)) {
        return {dblFullLow, dblFullHigh};
    }
    const double dblSpan = std::clamp(dblHigh - dblLow, std::min(dblMinSpan, dblFullSpan), dblFullSpan);
    const double dblCentre = dblLow + (dblHigh - dblLow) / 2.0;
    const double dblNewLow = std::clamp(dblCentre - dblSpan / 2.0, dblFullLow, dblFullHigh - dblSpan);
    return {dblNewLow, dblNewLow + dblSpan};
}

} // namespace

SpectrogramView fullView(const Spectrogram& spectrogram, bool blnLogFreq)
{
    const double dblLowFreq = blnLogFreq ? spectrogram.lineFrequency(1) : 0.0;
    const double dblHighFreq = spectrogram.lineFrequency(spectrogram.lineCount() - 1);
    if (spectrogram.segmentCount() == 0) {
        return {0.0, 1.0, dblLowFreq, dblHighFreq};
    }
    return {spectrogram.timeLow(), spectrogram.timeHigh(), dblLowFreq, dblHighFreq};
}

SpectrogramView viewWithin(const Spectrogram& spectrogram, const SpectrogramView& view, bool blnLogFreq)
{
    constexpr double dblMinCells = 2.0;
    const SpectrogramView full = fullView(spectrogram, blnLogFreq);
    const auto [dblLowTime, dblHighTime] = spanWithin(view.dblLowTime, view.dblHighTime, full.dblLowTime,
                                                      full.dblHighTime, dblMinCells * spectrogram.segmentSpacing());
    if (blnLogFreq) {
        const AxisRange freq = limitLogRange({view.dblLowFreq, view.dblHighFreq}, {full.dblLowFreq, full.dblHighFreq},
                                             dblMinCells * spectrogram.deltaFreq());
        return {dblLowTime, dblHighTime, freq.dblLow, freq.dblHigh};
    }
    const auto [dblLowFreq, dblHighFreq] = spanWithin(view.dblLowFreq, view.dblHighFreq, full.dblLowFreq,
                                                      full.dblHighFreq, dblMinCells * spectrogram.deltaFreq());
    return {dblLowTime, dblHighTime, dblLowFreq, dblHighFreq};
}

std::uint32_t viridisColour(double dblShare)
{
    const double dblIndex = std::isnan(dblShare) ? 0.0 : std::clamp(dblShare, 0.0, 1.0) * (lngViridis.size() - 1);
    return lngOpaque | lngViridis[static_cast<std::size_t>(std::lround(dblIndex))];
}

std::uint32_t levelColour(double dblLevel, const LevelRange& range)
{
    return viridisColour((dblLevel - range.dblFloor) / (range.dblTop - range.dblFloor));
}

void renderSpectrogram(const Spectrogram& spectrogram, const SpectrogramView& view, const LevelRange& range,
                       std::int32_t lngWidth, std::int32_t lngHeight, std::span<std::uint32_t> lngPixels,
                       std::size_t lngStride, bool blnLogFreq)
{
    assert(lngWidth >= 1 && lngHeight >= 1 && lngStride >= static_cast<std::size_t>(lngWidth));
    assert(lngPixels.size() >= (static_cast<std::size_t>(lngHeight) - 1) * lngStride + lngWidth);
    const auto lngRows = static_cast<std::size_t>(lngHeight);
    const CellAxis frequencies = frequencyAxis(spectrogram);
    const CellAxis times = timeAxis(spectrogram);
    const double dblPixelFreq = (view.dblHighFreq - view.dblLowFreq) / lngHeight;
    const double dblPixelTime = (view.dblHighTime - view.dblLowTime) / lngWidth;
    std::vector<CellSpan> rows(lngRows);
    for (std::size_t y = 0; y < lngRows; ++y) {
        const auto dblRow = static_cast<double>(y);
        if (blnLogFreq) {
            const double dblRatio = view.dblLowFreq / view.dblHighFreq;
            rows[y] = frequencies.touched(view.dblHighFreq * std::pow(dblRatio, (dblRow + 1.0) / lngHeight),
                                          view.dblHighFreq * std::pow(dblRatio, dblRow / lngHeight));
        } else {
            const double dblTop = view.dblHighFreq - dblRow * dblPixelFreq;
            rows[y] = frequencies.touched(dblTop - dblPixelFreq, dblTop);
        }
    }
    std::vector<float> sngMaxima(lngRows);
    CellSpan previous;
    for (std::int32_t x = 0; x < lngWidth; ++x) {
        const double dblLeft = view.dblLowTime + x * dblPixelTime;
        const CellSpan columns = times.touched(dblLeft, dblLeft + dblPixelTime);
        // Zoomed in, neighbouring pixel columns often show the same cells.
        if (!columns.empty() && columns != previous) {
            columnMaxima(spectrogram, columns, rows, sngMaxima);
        }
        previous = columns;
        for (std::size_t y = 0; y < lngRows; ++y) {
            const bool blnData = !columns.empty() && !rows[y].empty();
            lngPixels[y * lngStride + static_cast<std::size_t>(x)] =
                blnData ? levelColour(sngMaxima[y], range) : lngOutsideColour;
        }
    }
}

namespace {

// Half-dB bins below the top, and one more for the cells at the floor (lines of exactly 0 V).
constexpr std::size_t lngRangeBins = 240;
constexpr std::size_t lngRangeBinsUsed = lngRangeBins + 1;
// Cells at or below this many, and the range is counted on the caller's thread alone.
constexpr std::size_t lngRangeCellsAlone = std::size_t{1} << 21;

// Counts the cells of columns [lngFirst, lngEnd) into lngCounts by their bin: (top - level) / width,
// truncated, where every level lies at or below the top. Each column's bins are worked out first, in a
// loop of its own free of stores to the counts (so several at a time), then counted in turn into four
// histograms, which waits for no count just raised (neighbouring cells often share a bin).
void countLevelBins(const Spectrogram& spectrogram, std::size_t lngFirst, std::size_t lngEnd, float sngTop,
                    float sngPerBin, std::vector<std::size_t>& lngCounts)
{
    constexpr std::size_t lngWays = 4;
    static_assert(static_cast<double>(static_cast<float>(dblDbvFloor)) == dblDbvFloor);
    constexpr auto sngFloor = static_cast<float>(dblDbvFloor);
    constexpr auto sngLastBin = static_cast<float>(lngRangeBins - 1);
    constexpr auto lngFloorBin = static_cast<std::int32_t>(lngRangeBins);
    std::vector<std::size_t> lngWayCounts(lngWays * lngRangeBinsUsed, 0);
    std::vector<std::int32_t> lngBins(spectrogram.rowCount());
    for (std::size_t c = lngFirst; c < lngEnd; ++c) {
        const std::span<const float> sngLevels = spectrogram.columnLevels(c);
        // Branch-free, so that the compiler works on several cells at a time; a level that is no number
        // is not above the floor either (the floor's bin), and its distance clamps to 0 on the way.
        const float* sngLevel = sngLevels.data();
        std::int32_t* lngBin = lngBins.data();
        for (std::size_t r = 0; r < sngLevels.size(); ++r) {
            const float sngBin = std::min(sngLastBin, std::max(0.0F, (sngTop - sngLevel[r]) * sngPerBin));
            lngBin[r] = sngLevel[r] > sngFloor ? static_cast<std::int32_t>(sngBin) : lngFloorBin;
        }
        std::size_t r = 0;
        for (; r + lngWays <= sngLevels.size(); r += lngWays) {
            for (std::size_t w = 0; w < lngWays; ++w) {
                ++lngWayCounts[w * lngRangeBinsUsed + static_cast<std::size_t>(lngBins[r + w])];
            }
        }
        for (; r < sngLevels.size(); ++r) {
            ++lngWayCounts[static_cast<std::size_t>(lngBins[r])];
        }
    }
    for (std::size_t w = 0; w < lngWays; ++w) {
        for (std::size_t b = 0; b < lngRangeBinsUsed; ++b) {
            lngCounts[b] += lngWayCounts[w * lngRangeBinsUsed + b];
        }
    }
}

} // namespace

LevelRange suggestedLevelRange(const Spectrogram& spectrogram)
{
    constexpr double dblStep = 5.0;         // dB the ends are rounded to
    constexpr double dblBelowMedian = 10.0; // dB, so the noise floor shows as dark but not black
    constexpr double dblMinSpan = 20.0;     // dB
    constexpr double dblMaxSpan = 120.0;    // dB: the bins reach down this far below the top
    const double dblHighest = spectrogram.maxLevel();
    if (spectrogram.segmentCount() == 0 || !(dblHighest > dblDbvFloor)) {
        return {};
    }
    const double dblTop = std::ceil(dblHighest / dblStep) * dblStep;
    const double dblBinWidth = dblMaxSpan / lngRangeBins;
    const auto sngTop = static_cast<float>(dblTop);
    const auto sngPerBin = static_cast<float>(1.0 / dblBinWidth);
    // Counts are whole numbers, so the columns' two halves counted on two threads add up to the same.
    const std::size_t lngColumns = spectrogram.columnCount();
    std::vector<std::size_t> lngCounts(lngRangeBinsUsed, 0);
    if (lngColumns * spectrogram.rowCount() <= lngRangeCellsAlone || std::thread::hardware_concurrency() < 2) {
        countLevelBins(spectrogram, 0, lngColumns, sngTop, sngPerBin, lngCounts);
    } else {
        std::vector<std::size_t> lngOtherCounts(lngRangeBinsUsed, 0);
        const std::size_t lngHalf = lngColumns / 2;
        std::thread other([&] { countLevelBins(spectrogram, lngHalf, lngColumns, sngTop, sngPerBin, lngOtherCounts); });
        countLevelBins(spectrogram, 0, lngHalf, sngTop, sngPerBin, lngCounts);
        other.join();
        for (std::size_t b = 0; b < lngRangeBinsUsed; ++b) {
            lngCounts[b] += lngOtherCounts[b];
        }
    }
    std::size_t lngCells = 0;
    for (std::size_t b = 0; b < lngRangeBins; ++b) {
        lngCells += lngCounts[b];
    }
    // The median from the top down: the bin where half the cells lie above.
    std::size_t lngAbove = 0;
    std::size_t lngBin = 0;
    while (lngBin + 1 < lngRangeBins && 2 * (lngAbove + lngCounts[lngBin]) < lngCells) {
        lngAbove += lngCounts[lngBin++];
    }
    const double dblMedian = dblTop - (static_cast<double>(lngBin) + 0.5) * dblBinWidth;
    const double dblFloor = std::floor((dblMedian - dblBelowMedian) / dblStep) * dblStep;
    return {std::clamp(dblFloor, dblTop - dblMaxSpan, dblTop - dblMinSpan), dblTop};
}

} // namespace kestrix::engine
