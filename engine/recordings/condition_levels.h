// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engineering_unit.h"
#include "measured_quantity.h"
#include "platform/text_files.h"
#include "tone_figures.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The condition measures of a whole recording, the figures a vibration or sound engineer judges a
// machine by before looking at a spectrum: rms, peak, peak-to-peak, crest factor, kurtosis and mean,
// taken over every sample, streamed chunk by chunk with memory that does not grow with the recording.
namespace kestrix::engine {

// The count, mean, extremes and central moments of the values given so far. Each chunk's moments are
// taken about the chunk's own mean (two passes over it) and merged into the running ones with the
// pairwise update formulas of Chan et al. and Pébay (the third and fourth central moments need the
// lower ones), so a large mean (a converter's offset) does not eat the digits of a small variance and
// billions of samples lose no more than a few digits.
//
// The sums over one chunk are chains of additions, each waiting for the last. So chunks are held (copied,
// at most lngMomentLanes - 1 of at most lngMomentHeldSamples each) until lngMomentLanes of them can be
// summed side by side, each in its own lane, the same additions in the same order: the figures are the
// same to the bit as chunk by chunk, in a fraction of the time. The figures merge what is held when
// first asked for after a chunk (so an accumulator still holding chunks must not be read from two
// threads at once: settle() it first).
inline constexpr std::size_t lngMomentLanes = 4;
inline constexpr std::size_t lngMomentHeldSamples = 64 * 1024;

class MomentAccumulator
{
public:
    void addSamples(std::span<const double> dblValues);
    // Merges what is held: after this, until more samples come, reading the figures changes nothing.
    void settle()
    {
        (void)settled();
    }

    std::int64_t count() const
    {
        return settled().lngCount;
    }
    double mean() const
    {
        return settled().dblMean;
    }
    // Sums of the k-th powers of the deviations from the mean.
    double centralSum2() const
    {
        return settled().dblM2;
    }
    double centralSum4() const
    {
        return settled().dblM4;
    }
    double minimum() const
    {
        return settled().dblMin;
    }
    double maximum() const
    {
        return settled().dblMax;
    }

    // The moments of one chunk (or of every chunk so far) about its own mean.
    struct Moments
    {
        std::int64_t lngCount = 0;
        double dblMean = 0.0;
        double dblM2 = 0.0;
        double dblM3 = 0.0;
        double dblM4 = 0.0;
        double dblMin = std::numeric_limits<double>::infinity();
        double dblMax = -std::numeric_limits<double>::infinity();
    };

private:
    // The running moments with every held chunk merged in.
    const Moments& settled() const;
    // Sums the held chunks and lngLast (if not empty) side by side and merges them in order.
    void mergeHeld(std::span<const double> dblLast) const;

    mutable Moments total;
    mutable std::vector<double> dblHeld;      // the held chunks, back to back
    mutable std::vector<std::size_t> lngHeld; // their lengths, in order
};

// The measures in one unit (V, or a sensor's EU). Of no samples every value is NaN; of a constant the
// crest factor is 1 for a non-zero one and the kurtosis NaN (no spread to standardise by).
struct ConditionLevels
{
    std::int64_t lngSamples = 0;
    double dblRms = 0.0;         // root of the mean square, the mean included
    double dblPeak = 0.0;        // the largest magnitude
    double dblPeakToPeak = 0.0;  // largest minus smallest
    double dblCrestFactor = 0.0; // peak / rms: sqrt 2 for a sine
    double dblKurtosis = 0.0; // fourth central moment over the squared variance: 1.5 for a sine, 3 for Gaussian noise
    double dblMean = 0.0;
    std::string strUnit;
};

// The measures of the samples given in counts, in volts (dblVoltsPerCount, > 0) through the sensor
// (none: in V).
ConditionLevels conditionLevels(const MomentAccumulator& moments, double dblVoltsPerCount,
                                const std::optional<EngineeringUnit>& sensor);

// The measures as rows of a levels table: rms, peak, peak-to-peak, crest factor, kurtosis, mean (the
// ratios without a unit).
std::vector<FigureRow> levelRows(const ConditionLevels& levels);

// A band's RMS as a row: "band rms 10-1000 Hz", the value, the unit.
FigureRow bandRmsRow(const BandRms& band);

// A levels file's content: its heading line (the column names "name,value,unit", then the settings as
// name=value fields, like an averaged spectrum file's) and its rows. Other analyses append their rows
// (overall sound levels, ...) before it is written.
struct LevelsTable
{
    std::string strHeading;
    std::vector<FigureRow> rows;
};

// Writes the table at strPath: the heading line, then one line "name,value,unit" per row, values as the
// files write numbers (figureValueText: NaN "nan", infinities "inf", "-inf"), fields quoted as CSV where
// they hold a comma or a quote, CR LF, the file replaced at once. Raises KestrixError for a file that
// cannot be written.
void writeLevelsFile(platform::TextFiles& files, const std::string& strPath, const LevelsTable& table);
// The same lines through a writer (a file of a set put in place together).
void writeLevelsLines(platform::TextWriter& writer, const LevelsTable& table);

} // namespace kestrix::engine
