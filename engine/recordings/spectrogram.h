// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "averaged_spectrum.h"
#include "power_levels.h"
#include "window_function.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The spectrogram of a whole recording: the spectrum of every segment of the averaged analysis, kept
// as levels in dBV so that it can be drawn as time across, frequency up, level as colour. Filled
// from the averager's per-segment handler; no files, no toolkit, no shared state.
namespace kestrix::engine {

// Memory held by the levels and the per-column peaks unless a layout says otherwise: a ten-minute
// recording at 25 600 Hz in 65536-point segments with 50 % overlap (467 segments x 25601 lines,
// 47.8 MB as float) fits whole.
inline constexpr std::size_t lngSpectrogramMaxBytes = 64 * 1024 * 1024;

// Columns (a wide screen's worth of pixels) that must fit under the cap before any time is merged;
// lines are grouped into rows only to make room for them.
inline constexpr std::size_t lngSpectrogramMinColumns = 1024;

// What the segments are and how much the model may hold.
struct SpectrogramLayout
{
    double dblSampFreq = 1024.0;                      // Hz, > 0
    std::int32_t lngNumSamp = 1024;                   // segment length N, as the averager's settings
    double dblOverlap = 50.0;                         // percent, as the averager's settings
    WindowFigures figures;                            // of the averager's window: they convert to dBV
    double dblVoltsPerCount = 5.0 / 32767.0;          // input range / 32767, V
    std::int64_t lngExpectedSegments = 0;             // segmentCount(samples, N, p) when known, else 0
    std::size_t lngMaxBytes = lngSpectrogramMaxBytes; // cap on the levels and peaks, bytes
};

// The layout of an averaging with these settings of a recording of lngSamples samples (0 when the
// length is not known), sampled at dblSampFreq Hz with dblVoltsPerCount V per count.
SpectrogramLayout spectrogramLayout(const AverageSettings& settings, double dblSampFreq, double dblVoltsPerCount,
                                    std::int64_t lngSamples);

// The levels of every segment, in dBV (the rms level of each line as SpectrumUnits::DbV reads it,
// a tone on a line reading its rms volts; dblDbvFloor for a line of exactly 0 V), as float.
//
// Memory: the levels take rows x columns x 4 bytes and each column 8 bytes more for its peak; the
// two together stay within SpectrogramLayout::lngMaxBytes (briefly up to twice that while the store
// grows, when the number of segments was not known in advance).
// - Rows: every line has its own row unless fewer than min(expected segments, lngSpectrogramMinColumns)
//   columns of all lines would fit (an unknown count counts as lngSpectrogramMinColumns); then lines are
//   grouped, the fewest per row that let them fit, and a row holds the highest level of its lines.
// - Columns: one per segment while they fit; beyond that a column holds the highest level of a group
//   of consecutive segments. The group is chosen from the expected count, and doubles (neighbouring
//   columns merged) whenever more segments arrive than fit.
// So a narrow tone or a short burst is never lost to the reduction: it only gets wider.
class Spectrogram
{
public:
    // layout.lngNumSamp a power of two from 4, 0 <= dblOverlap < 100, dblSampFreq > 0.
    explicit Spectrogram(const SpectrogramLayout& layout);

    // Takes the spectrum of segment lngSegment: dblPower[k] = |X[k]|^2 in counts^2 for the lines from
    // 0 Hz, at least lineCount() of them (more are ignored), as SegmentHandler passes it. Segments
    // must come in order from 0 (as the averager gives them).
    void addSegment(std::int64_t lngSegment, std::span<const double> dblPower);

    // A handler for SpectrumAverager that adds every segment here; this model must outlive the
    // averager and stay where it is (not moved) while the averager runs.
    SegmentHandler segmentHandler();
    // The same as a digest: each segment's highest power per row found on the thread that transformed
    // it, and the levels (logarithms, most of the work) of the first segment of each column; folded in
    // here in order, where a later segment of a column costs a logarithm only on the rows it raises.
    // The same model as segmentHandler's.
    SegmentDigest segmentDigest();

    std::int64_t segmentCount() const
    {
        return lngSegments;
    }
    std::size_t lineCount() const
    {
        return lngLines;
    }
    std::size_t rowCount() const
    {
        return lngRows;
    }
    std::size_t columnCount() const
    {
        return lngPeakLine.size();
    }
    std::int32_t linesPerRow() const
    {
        return lngLineGroup;
    }
    std::int64_t segmentsPerColumn() const
    {
        return lngSegmentGroup;
    }
    // The columns that fit under the cap.
    std::size_t columnCapacity() const
    {
        return lngColumnCapacity;
    }
    // Bytes the levels and the peaks hold now (the cap bounds this).
    std::size_t bytesHeld() const;

    // Hz between lines: fs / N.
    double deltaFreq() const
    {
        return dblDeltaFreq;
    }
    // The frequency of line k in Hz: k fs / N.
    double lineFrequency(std::size_t k) const;
    // The time of segment s's centre in s: (s step + N / 2) / fs.
    double segmentTime(std::int64_t lngSegment) const;
    // The first sample of segment s in the recording: s step (the segment is N samples from there).
    std::int64_t segmentStart(std::int64_t lngSegment) const
    {
        return lngSegment * lngStep;
    }
    // Seconds between segment centres: step / fs.
    double segmentSpacing() const
    {
        return dblSpacing;
    }
    // The time covered: from half a step before the first centre to half a step after the last one
    // (the cells of the segments tile it), in s. Both the first centre's cell start when empty.
    double timeLow() const;
    double timeHigh() const;

    // The segment whose centre is nearest to dblTime (s), clamped to the segments; none when empty.
    std::optional<std::int64_t> segmentAt(double dblTime) const;
    // The line nearest to dblFreq (Hz), clamped to the lines.
    std::size_t lineAt(double dblFreq) const;
    std::size_t columnOfSegment(std::int64_t lngSegment) const;
    std::size_t rowOfLine(std::size_t lngLine) const
    {
        return lngLine / static_cast<std::size_t>(lngLineGroup);
    }

    // The levels of column c (< columnCount()), one per row from 0 Hz up, dBV.
    std::span<const float> columnLevels(std::size_t c) const;
    // The level of the cell holding segment s (< segmentCount()) and line k (< lineCount()), dBV.
    float level(std::int64_t lngSegment, std::size_t lngLine) const;
    // The level at a time (s) and frequency (Hz): the cell of the nearest segment and line; none when
    // the point lies outside timeLow..timeHigh and the lines' cells (-df/2 .. (L - 1/2) df), or empty.
    std::optional<float> levelAt(double dblTime, double dblFreq) const;

    // The highest line above 0 Hz of column c at full resolution (a column's segments' highest), and
    // its level in dBV; 0 Hz is left out because it holds the recording's offset, not a tone.
    std::size_t peakLine(std::size_t c) const
    {
        return static_cast<std::size_t>(lngPeakLine[c]);
    }
    float peakLevel(std::size_t c) const
    {
        return sngPeakLevel[c];
    }
    // The highest level received, dBV (dblDbvFloor when empty).
    float maxLevel() const
    {
        return sngMaxLevel;
    }

private:
    void makeRoomForColumn();
    void mergeColumnPairs();
    double levelOf(std::size_t k, double dblPower) const;
    float rowLevel(std::size_t r, double dblRowPower, double dblDcPower) const;
    // What a segment gives the model (digestValues(group) of them): each row's highest power above 0
    // Hz (-1 for none), the power at 0 Hz, the peak's line and level, what follows (DigestKind), then
    // the rows' levels. With one segment a column the rows' levels stand in place of their powers and
    // nothing follows: no later segment needs the powers.
    enum class DigestKind {
        PowersOnly,      // a later segment of its column
        PowersAndLevels, // the first segment of its column
        LevelsOnly,      // one segment a column
    };
    std::size_t digestValues(std::int64_t lngGroup) const
    {
        return lngGroup == 1 ? lngRows + 4 : 2 * lngRows + 4;
    }
    void digestOf(std::int64_t lngSegment, std::int64_t lngGroup, std::span<const double> dblPower,
                  std::span<double> dblValues) const;
    void addDigest(std::span<const double> dblValues);
    void foldSegment(std::span<const double> dblValues, bool blnNewColumn);

    SpectrogramLayout layout;
    std::size_t lngLines;
    std::int32_t lngStep;
    double dblDeltaFreq;
    double dblSpacing;
    std::int32_t lngLineGroup = 1;
    std::size_t lngRows;
    std::size_t lngColumnCapacity;
    std::int64_t lngSegmentGroup = 1;
    std::int64_t lngSegments = 0;
    std::vector<float> sngLevels; // column after column, lngRows each
    std::vector<std::int32_t> lngPeakLine;
    std::vector<float> sngPeakLevel;
    LevelScale dcScale;   // dBV of line 0
    LevelScale lineScale; // dBV of the lines above 0 Hz
    float sngMaxLevel;
    // The last column's highest power per row above 0 Hz and at 0 Hz, its levels' source; unknown for a
    // column merged from two (its levels are then raised one segment at a time).
    std::vector<double> dblColumnPower;
    double dblColumnDc = -1.0;
    bool blnColumnPowerKnown = false;
    std::vector<double> dblSegmentDigest; // addSegment's digestOf
    // The rows a segment raised in the last column and their powers, then levels: worked out together.
    std::vector<std::size_t> lngRaisedRows;
    std::vector<double> dblRaised;
};

} // namespace kestrix::engine
