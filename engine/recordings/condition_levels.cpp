// SPDX-License-Identifier: GPL-3.0-or-later
#include "condition_levels.h"

#include "csv_line.h"
#include "engine/run/analysis.h"
#include "engine/run/number_text.h"
#include "engine/run/spectrum.h"

#include <algorithm>
#include <cmath>

namespace kestrix::engine {

void MomentAccumulator::addSamples(std::span<const double> dblValues)
{
    if (dblValues.empty()) {
        return;
    }
    // The chunk's own moments, about its own mean. The mean is summed from the first value, so that an
    // offset large beside the spread does not round the sum: an error e in a chunk's mean would shift its
    // fourth moment by 4 e times its third.
    const auto dblB = static_cast<double>(dblValues.size());
    const double dblShift = dblValues.front();
    double dblSum = 0.0;
    for (const double dblValue : dblValues) {
        dblSum += dblValue - dblShift;
        dblMin = std::min(dblMin, dblValue);
        dblMax = std::max(dblMax, dblValue);
    }
    const double dblMeanB = dblShift + dblSum / dblB;
    double dblM2B = 0.0;
    double dblM3B = 0.0;
    double dblM4B = 0.0;
    for (const double dblValue : dblValues) {
        const double dblDev = dblValue - dblMeanB;
        const double dblDev2 = dblDev * dblDev;
        dblM2B += dblDev2;
        dblM3B += dblDev2 * dblDev;
        dblM4B += dblDev2 * dblDev2;
    }
    // Merged with the moments so far (A): the pairwise updates, highest moment first since each uses
    // the lower ones of both parts as they were.
    const auto dblA = static_cast<double>(lngCount);
    const double dblN = dblA + dblB;
    const double dblDelta = dblMeanB - dblMean;
    const double dblDeltaN = dblDelta / dblN;
    const double dblDeltaN2 = dblDeltaN * dblDeltaN;
    const double dblTerm = dblDelta * dblDeltaN * dblA * dblB;
    dblM4 += dblM4B + dblTerm * dblDeltaN2 * (dblA * dblA - dblA * dblB + dblB * dblB) +
             6.0 * dblDeltaN2 * (dblA * dblA * dblM2B + dblB * dblB * dblM2) +
             4.0 * dblDeltaN * (dblA * dblM3B - dblB * dblM3);
    dblM3 += dblM3B + dblTerm * dblDeltaN * (dblA - dblB) + 3.0 * dblDeltaN * (dblA * dblM2B - dblB * dblM2);
    dblM2 += dblM2B + dblTerm;
    dblMean += dblB * dblDeltaN;
    lngCount += static_cast<std::int64_t>(dblValues.size());
}

ConditionLevels conditionLevels(const MomentAccumulator& moments, double dblVoltsPerCount,
                                const std::optional<EngineeringUnit>& sensor)
{
    ConditionLevels levels;
    levels.lngSamples = moments.count();
    levels.strUnit = sensor ? sensor->strUnit : "V";
    if (moments.count() == 0) {
        const double dblNan = std::numeric_limits<double>::quiet_NaN();
        levels.dblRms = levels.dblPeak = levels.dblPeakToPeak = levels.dblCrestFactor = levels.dblKurtosis =
            levels.dblMean = dblNan;
        return levels;
    }
    const double dblScale = sensor ? dblVoltsPerCount / sensor->dblVoltsPerUnit : dblVoltsPerCount;
    const auto dblCount = static_cast<double>(moments.count());
    const double dblVariance = moments.centralSum2() / dblCount;
    levels.dblMean = dblScale * moments.mean();
    levels.dblRms = dblScale * std::sqrt(moments.mean() * moments.mean() + dblVariance);
    levels.dblPeak = dblScale * std::max(std::fabs(moments.minimum()), std::fabs(moments.maximum()));
    levels.dblPeakToPeak = dblScale * (moments.maximum() - moments.minimum());
    levels.dblCrestFactor = levels.dblPeak / levels.dblRms;
    levels.dblKurtosis = dblCount * moments.centralSum4() / (moments.centralSum2() * moments.centralSum2());
    return levels;
}

std::vector<FigureRow> levelRows(const ConditionLevels& levels)
{
    return {
        {"rms", levels.dblRms, levels.strUnit},
        {"peak", levels.dblPeak, levels.strUnit},
        {"peak-to-peak", levels.dblPeakToPeak, levels.strUnit},
        {"crest factor", levels.dblCrestFactor, ""},
        {"kurtosis", levels.dblKurtosis, ""},
        {"mean", levels.dblMean, levels.strUnit},
    };
}

FigureRow bandRmsRow(const BandRms& band)
{
    return {"band rms " + bandText(band.band), band.dblRms, band.strUnit};
}

void writeLevelsLines(platform::TextWriter& writer, const LevelsTable& table)
{
    writer.writeLine(table.strHeading);
    for (const FigureRow& row : table.rows) {
        const std::string strFields[] = {row.strName, figureValueText(row.dblValue), row.strUnit};
        writer.writeLine(csvLine(strFields));
    }
}

void writeLevelsFile(platform::TextFiles& files, const std::string& strPath, const LevelsTable& table)
{
    writeTextFile(files, strPath, [&](platform::TextWriter& writer) { writeLevelsLines(writer, table); });
}

} // namespace kestrix::engine
