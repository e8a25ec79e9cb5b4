// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrogram.h"

#include "engine/run/analysis_parameters.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrix::engine {
namespace {

constexpr std::size_t lngBytesPerLevel = sizeof(float);
constexpr std::size_t lngBytesPerPeak = sizeof(std::int32_t) + sizeof(float);
constexpr std::size_t lngMinCapacity = 2; // columns: merging pairs needs two
constexpr std::size_t lngFirstGrowth = 8; // columns reserved at first when the count is not known
// The levels are 10 log10 of the power plus a constant per line kind, taken from the units' own
// conversion at a reference power (2^64 counts^2, whose log2 is exact): a logarithm per line instead
// of a square root and a logarithm, a third of the time.
constexpr double dblReferencePower = 18446744073709551616.0; // 2^64
constexpr double dblReferenceLog2 = 64.0;
constexpr double dblDbPerLog2 = 3.0102999566398121; // 10 log10(2)

template <typename T> T ceilDiv(T lngNumerator, T lngDenominator)
{
    return (lngNumerator + lngDenominator - 1) / lngDenominator;
}

// Lines per row: 1 unless fewer than the wanted columns of all lines fit under the cap.
std::int32_t chooseLineGroup(std::size_t lngLines, std::int64_t lngExpected, std::size_t lngMaxBytes)
{
    const std::size_t lngWanted = lngExpected > 0
                                      ? std::min(static_cast<std::size_t>(lngExpected), lngSpectrogramMinColumns)
                                      : lngSpectrogramMinColumns;
    const std::size_t lngPerColumn = lngMaxBytes / lngWanted;
    const std::size_t lngRowsFit = lngPerColumn > lngBytesPerPeak
                                       ? std::max<std::size_t>((lngPerColumn - lngBytesPerPeak) / lngBytesPerLevel, 1)
                                       : 1;
    return static_cast<std::int32_t>(ceilDiv(lngLines, lngRowsFit));
}

} // namespace

SpectrogramLayout spectrogramLayout(const AverageSettings& settings, double dblSampFreq, double dblVoltsPerCount,
                                    std::int64_t lngSamples)
{
    SpectrogramLayout layout;
    layout.dblSampFreq = dblSampFreq;
    layout.lngNumSamp = settings.lngNumSamp;
    layout.dblOverlap = settings.dblOverlap;
    layout.figures = windowFigures(windowCoefficients(settings.window, settings.lngNumSamp));
    layout.dblVoltsPerCount = dblVoltsPerCount;
    layout.lngExpectedSegments = segmentCount(lngSamples, settings.lngNumSamp, settings.dblOverlap);
    return layout;
}

Spectrogram::Spectrogram(const SpectrogramLayout& layout)
    : layout(layout), lngLines(static_cast<std::size_t>(spectrumLineCount(layout.lngNumSamp))),
      lngStep(segmentStep(layout.lngNumSamp, layout.dblOverlap)), dblDeltaFreq(layout.dblSampFreq / layout.lngNumSamp),
      dblSpacing(lngStep / layout.dblSampFreq),
      lngLineGroup(chooseLineGroup(lngLines, layout.lngExpectedSegments, layout.lngMaxBytes)),
      lngRows(ceilDiv(lngLines, static_cast<std::size_t>(lngLineGroup))),
      lngColumnCapacity(std::max(layout.lngMaxBytes / (lngRows * lngBytesPerLevel + lngBytesPerPeak), lngMinCapacity)),
      sngMaxLevel(static_cast<float>(dblDbvFloor))
{
    assert(layout.dblSampFreq > 0.0 && layout.lngNumSamp >= 4);
    const double dblReference[] = {dblReferencePower, dblReferencePower};
    double dblLevels[2];
    powerInUnits(dblReference, SpectrumUnits::DbV, layout.figures, layout.dblSampFreq, layout.dblVoltsPerCount,
                 dblLevels);
    dcScale = LevelScale{dblLevels[0], dblReferenceLog2, dblDbPerLog2, dblDbvFloor};
    lineScale = LevelScale{dblLevels[1], dblReferenceLog2, dblDbPerLog2, dblDbvFloor};
    if (layout.lngExpectedSegments > 0) {
        const auto lngCapacity = static_cast<std::int64_t>(lngColumnCapacity);
        lngSegmentGroup = ceilDiv(layout.lngExpectedSegments, lngCapacity);
        const auto lngColumns = static_cast<std::size_t>(ceilDiv(layout.lngExpectedSegments, lngSegmentGroup));
        sngLevels.reserve(lngColumns * lngRows);
        lngPeakLine.reserve(lngColumns);
        sngPeakLevel.reserve(lngColumns);
    }
}

SegmentHandler Spectrogram::segmentHandler()
{
    return [this](std::int64_t lngSegment, std::span<const double> dblPower) { addSegment(lngSegment, dblPower); };
}

SegmentDigest Spectrogram::segmentDigest()
{
    SegmentDigest digest;
    digest.lngValues = digestValues(lngSegmentGroup);
    // The group as it stands now: should columns merge later, the segments of a merged column are
    // folded in by their levels all the same.
    digest.digest = [this, lngGroup = lngSegmentGroup](std::int64_t lngSegment, std::span<const double> dblPower,
                                                       std::span<double> dblValues) {
        digestOf(lngSegment, lngGroup, dblPower.first(lngLines), dblValues);
    };
    digest.take = [this]([[maybe_unused]] std::int64_t lngSegment, std::span<const double> dblValues) {
        assert(lngSegment == lngSegments);
        addDigest(dblValues);
    };
    return digest;
}

std::size_t Spectrogram::bytesHeld() const
{
    return sngLevels.capacity() * lngBytesPerLevel + lngPeakLine.capacity() * sizeof(std::int32_t) +
           sngPeakLevel.capacity() * sizeof(float);
}

double Spectrogram::lineFrequency(std::size_t k) const
{
    return static_cast<double>(k) * dblDeltaFreq;
}

double Spectrogram::segmentTime(std::int64_t lngSegment) const
{
    return (static_cast<double>(lngSegment) * lngStep + layout.lngNumSamp / 2.0) / layout.dblSampFreq;
}

double Spectrogram::timeLow() const
{
    return segmentTime(0) - dblSpacing / 2.0;
}

double Spectrogram::timeHigh() const
{
    return timeLow() + static_cast<double>(lngSegments) * dblSpacing;
}

std::optional<std::int64_t> Spectrogram::segmentAt(double dblTime) const
{
    if (lngSegments == 0 || std::isnan(dblTime)) {
        return std::nullopt;
    }
    const double dblIndex = std::round((dblTime - segmentTime(0)) / dblSpacing);
    return static_cast<std::int64_t>(std::clamp(dblIndex, 0.0, static_cast<double>(lngSegments - 1)));
}

std::size_t Spectrogram::lineAt(double dblFreq) const
{
    if (std::isnan(dblFreq)) {
        return 0;
    }
    const double dblLine = std::round(dblFreq / dblDeltaFreq);
    return static_cast<std::size_t>(std::clamp(dblLine, 0.0, static_cast<double>(lngLines - 1)));
}

std::size_t Spectrogram::columnOfSegment(std::int64_t lngSegment) const
{
    return static_cast<std::size_t>(lngSegment / lngSegmentGroup);
}

std::span<const float> Spectrogram::columnLevels(std::size_t c) const
{
    assert(c < columnCount());
    return std::span<const float>(sngLevels).subspan(c * lngRows, lngRows);
}

float Spectrogram::level(std::int64_t lngSegment, std::size_t lngLine) const
{
    assert(lngSegment >= 0 && lngSegment < lngSegments && lngLine < lngLines);
    return columnLevels(columnOfSegment(lngSegment))[rowOfLine(lngLine)];
}

std::optional<float> Spectrogram::levelAt(double dblTime, double dblFreq) const
{
    const double dblLowFreq = -dblDeltaFreq / 2.0;
    const double dblHighFreq = (static_cast<double>(lngLines) - 0.5) * dblDeltaFreq;
    if (lngSegments == 0 || !(dblTime >= timeLow() && dblTime <= timeHigh()) ||
        !(dblFreq >= dblLowFreq && dblFreq <= dblHighFreq)) {
        return std::nullopt;
    }
    return level(*segmentAt(dblTime), lineAt(dblFreq));
}

void Spectrogram::addSegment([[maybe_unused]] std::int64_t lngSegment, std::span<const double> dblPower)
{
    assert(lngSegment == lngSegments && dblPower.size() >= lngLines);
    dblSegmentDigest.resize(digestValues(lngSegmentGroup));
    digestOf(lngSegment, lngSegmentGroup, dblPower.first(lngLines), dblSegmentDigest);
    addDigest(dblSegmentDigest);
}

void Spectrogram::addDigest(std::span<const double> dblValues)
{
    if (lngSegments % lngSegmentGroup == 0 && columnCount() == lngColumnCapacity) {
        mergeColumnPairs();
    }
    const bool blnNewColumn = lngSegments % lngSegmentGroup == 0;
    if (blnNewColumn) {
        makeRoomForColumn();
    }
    foldSegment(dblValues, blnNewColumn);
    ++lngSegments;
}

// The level of line k at a power (counts^2) as powerInUnits gives it in dBV, dblDbvFloor at the least.
double Spectrogram::levelOf(std::size_t k, double dblPower) const
{
    return levelOfPower(dblPower, k == 0 ? dcScale : lineScale);
}

// The level of row r from the highest power of its lines above 0 Hz (negative: none) and, for row 0,
// the power at 0 Hz: the highest of their levels. The level grows with the power on every line (line
// 0 apart), so the highest power gives the highest level: one logarithm a row.
float Spectrogram::rowLevel(std::size_t r, double dblRowPower, double dblDcPower) const
{
    const double dblRow = dblRowPower >= 0.0 ? levelOf(std::max<std::size_t>(r, 1), dblRowPower) : dblDbvFloor;
    return static_cast<float>(r == 0 ? std::max(levelOf(0, dblDcPower), dblRow) : dblRow);
}

// Grows the store geometrically up to the capacity, so a recording of unknown length is neither
// copied at every column nor given the whole cap at once.
void Spectrogram::makeRoomForColumn()
{
    const std::size_t lngColumns = columnCount() + 1;
    if (lngColumns * lngRows > sngLevels.capacity()) {
        const std::size_t lngReserve =
            std::min(std::max(2 * sngLevels.capacity() / lngRows, lngFirstGrowth), lngColumnCapacity);
        sngLevels.reserve(lngReserve * lngRows);
        lngPeakLine.reserve(lngReserve);
        sngPeakLevel.reserve(lngReserve);
    }
    sngLevels.resize(lngColumns * lngRows);
    lngPeakLine.push_back(0);
    sngPeakLevel.push_back(static_cast<float>(dblDbvFloor));
}

// Halves the columns: column j becomes the higher of columns 2j and 2j + 1 (an odd last one stays
// alone), and every column then spans twice the segments.
void Spectrogram::mergeColumnPairs()
{
    const std::size_t lngColumns = columnCount();
    const std::size_t lngMerged = ceilDiv<std::size_t>(lngColumns, 2);
    for (std::size_t j = 0; j < lngMerged; ++j) {
        const std::size_t lngFirst = 2 * j;
        const std::size_t lngSecond = std::min(lngFirst + 1, lngColumns - 1);
        float* sngTarget = sngLevels.data() + j * lngRows;
        const float* sngA = sngLevels.data() + lngFirst * lngRows;
        const float* sngB = sngLevels.data() + lngSecond * lngRows;
        for (std::size_t r = 0; r < lngRows; ++r) {
            sngTarget[r] = std::max(sngA[r], sngB[r]);
        }
        const std::size_t lngPeakFrom = sngPeakLevel[lngSecond] > sngPeakLevel[lngFirst] ? lngSecond : lngFirst;
        lngPeakLine[j] = lngPeakLine[lngPeakFrom];
        sngPeakLevel[j] = sngPeakLevel[lngPeakFrom];
    }
    sngLevels.resize(lngMerged * lngRows);
    lngPeakLine.resize(lngMerged);
    sngPeakLevel.resize(lngMerged);
    lngSegmentGroup *= 2;
    blnColumnPowerKnown = false;
}

void Spectrogram::digestOf(std::int64_t lngSegment, std::int64_t lngGroup, std::span<const double> dblPower,
                           std::span<double> dblValues) const
{
    assert(dblPower.size() == lngLines && dblValues.size() == digestValues(lngGroup));
    const DigestKind kind = lngGroup == 1                ? DigestKind::LevelsOnly
                            : lngSegment % lngGroup == 0 ? DigestKind::PowersAndLevels
                                                         : DigestKind::PowersOnly;
    const auto lngPerRow = static_cast<std::size_t>(lngLineGroup);
    // Each row's highest power above 0 Hz: with a row a line, row r's is line r's own (none in row 0).
    std::span<const double> dblRowPower = dblPower;
    double dblRowZero = -1.0;
    if (lngPerRow == 1 && kind != DigestKind::LevelsOnly) {
        dblValues[0] = -1.0;
        std::copy(dblPower.begin() + 1, dblPower.end(), dblValues.begin() + 1);
    }
    for (std::size_t r = 0; r < lngRows && lngPerRow > 1; ++r) {
        const std::size_t lngFrom = std::max<std::size_t>(r * lngPerRow, 1);
        const std::size_t lngEnd = std::min(r * lngPerRow + lngPerRow, lngLines);
        dblValues[r] = lngFrom < lngEnd ? *std::max_element(dblPower.begin() + static_cast<std::ptrdiff_t>(lngFrom),
                                                            dblPower.begin() + static_cast<std::ptrdiff_t>(lngEnd))
                                        : -1.0;
        dblRowPower = dblValues.first(lngRows);
        dblRowZero = dblValues[0];
    }
    const std::size_t lngFrom = lngLines > 1 ? 1 : 0;
    const auto lngPeak = static_cast<std::size_t>(
        std::max_element(dblPower.begin() + static_cast<std::ptrdiff_t>(lngFrom), dblPower.end()) - dblPower.begin());
    if (kind != DigestKind::PowersOnly) {
        // With one segment a column the levels take the powers' place (the rows' powers are read first).
        const std::size_t lngLevelsAt = kind == DigestKind::LevelsOnly ? 0 : lngRows + 4;
        const float sngRowZero = rowLevel(0, dblRowZero, dblPower[0]);
        levelsOfPowers(dblRowPower.subspan(1, lngRows - 1), lineScale, dblValues.subspan(lngLevelsAt + 1, lngRows - 1));
        dblValues[lngLevelsAt] = sngRowZero;
    }
    dblValues[lngRows] = dblPower[0];
    dblValues[lngRows + 1] = static_cast<double>(lngPeak);
    dblValues[lngRows + 2] = static_cast<float>(levelOf(lngPeak, dblPower[lngPeak]));
    dblValues[lngRows + 3] = static_cast<double>(kind);
}

// Puts a segment into the last column: a row's level is raised where the segment's power beats the
// column's (the level of the highest power is the highest level). A column merged from two, or one
// of segments that came with their levels alone, has levels but no powers: each segment's row levels
// are then worked out (or taken) and the higher kept.
void Spectrogram::foldSegment(std::span<const double> dblValues, bool blnNewColumn)
{
    const std::size_t c = columnCount() - 1;
    float* sngColumn = sngLevels.data() + c * lngRows;
    const auto kind = static_cast<DigestKind>(static_cast<int>(dblValues[lngRows + 3]));
    if (blnNewColumn) {
        // Segments that come with their levels alone never need the column's powers.
        blnColumnPowerKnown = kind != DigestKind::LevelsOnly;
        if (blnColumnPowerKnown) {
            dblColumnPower.assign(lngRows, -1.0);
            dblColumnDc = -1.0;
        }
    }
    const double dblDc = dblValues[lngRows];
    if (!blnColumnPowerKnown) {
        std::span<const double> dblLevels = dblValues.first(lngRows);
        if (kind != DigestKind::LevelsOnly) {
            dblRaised.resize(lngRows);
            dblRaised[0] = rowLevel(0, dblValues[0], dblDc);
            levelsOfPowers(dblValues.subspan(1, lngRows - 1), lineScale, std::span(dblRaised).subspan(1));
            dblLevels = dblRaised;
        }
        for (std::size_t r = 0; r < lngRows; ++r) {
            const auto sngLevel = static_cast<float>(dblLevels[r]);
            sngColumn[r] = blnNewColumn ? sngLevel : std::max(sngColumn[r], sngLevel);
        }
    } else if (blnNewColumn && kind == DigestKind::PowersAndLevels) {
        std::copy_n(dblValues.begin(), lngRows, dblColumnPower.begin());
        dblColumnDc = dblDc;
        std::transform(dblValues.begin() + static_cast<std::ptrdiff_t>(lngRows + 4),
                       dblValues.begin() + static_cast<std::ptrdiff_t>(2 * lngRows + 4), sngColumn,
                       [](double dblLevel) { return static_cast<float>(dblLevel); });
    } else {
        if (dblValues[0] > dblColumnPower[0] || dblDc > dblColumnDc) {
            dblColumnPower[0] = std::max(dblColumnPower[0], dblValues[0]);
            dblColumnDc = std::max(dblColumnDc, dblDc);
            sngColumn[0] = rowLevel(0, dblColumnPower[0], dblColumnDc);
        }
        // Past the column's first segment few rows are raised: the test is most of the work. The raised
        // rows' levels are then worked out together.
        lngRaisedRows.clear();
        dblRaised.clear();
        double* const dblColumn = dblColumnPower.data();
        for (std::size_t r = 1; r < lngRows; ++r) {
            if (dblValues[r] > dblColumn[r]) {
                dblColumn[r] = dblValues[r];
                lngRaisedRows.push_back(r);
                dblRaised.push_back(dblValues[r]);
            }
        }
        levelsOfPowers(dblRaised, lineScale, dblRaised);
        for (std::size_t i = 0; i < lngRaisedRows.size(); ++i) {
            sngColumn[lngRaisedRows[i]] = static_cast<float>(dblRaised[i]);
        }
    }
    const auto sngPeak = static_cast<float>(dblValues[lngRows + 2]);
    // The highest level of the segment is row 0's or the peak's: above 0 Hz the highest power is the
    // peak's, and the level grows with the power.
    sngMaxLevel = std::max({sngMaxLevel, sngColumn[0], sngPeak});
    if (blnNewColumn || sngPeak > sngPeakLevel[c]) {
        lngPeakLine[c] = static_cast<std::int32_t>(dblValues[lngRows + 1]);
        sngPeakLevel[c] = sngPeak;
    }
}

} // namespace kestrix::engine
