// SPDX-License-Identifier: GPL-3.0-or-later
#include "condition_levels.h"

#include "csv_line.h"
#include "engine/run/analysis.h"
#include "engine/run/number_text.h"
#include "engine/run/spectrum.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrix::engine {

namespace {

using Moments = MomentAccumulator::Moments;

#if defined(__SSE2__)
// Four lanes two at a time in vector registers (lanes 0 and 1 in one, 2 and 3 in the other): each lane
// gets the same operations in the same order as alone. _mm_min_pd(v, m) is v < m ? v : m, as
// std::min(m, v); _mm_max_pd(v, m) is v > m ? v : m, as std::max(m, v).
struct Four
{
    __m128d low;
    __m128d high;
};

Four loadFour(const double* dblLanes)
{
    return {_mm_loadu_pd(dblLanes), _mm_loadu_pd(dblLanes + 2)};
}

void storeFour(double* dblLanes, const Four& value)
{
    _mm_storeu_pd(dblLanes, value.low);
    _mm_storeu_pd(dblLanes + 2, value.high);
}

template <__m128d (*operation)(__m128d, __m128d)> Four apply(const Four& a, const Four& b)
{
    return {operation(a.low, b.low), operation(a.high, b.high)};
}

// Element i of each of four chunks.
struct FourChunks
{
    const double* a;
    const double* b;
    const double* c;
    const double* d;
    Four at(std::size_t i) const
    {
        return {_mm_loadh_pd(_mm_load_sd(a + i), b + i), _mm_loadh_pd(_mm_load_sd(c + i), d + i)};
    }
};

void firstPassFour(const FourChunks& chunks, std::size_t lngCommon, const double* dblShift, double* dblSum,
                   double* dblMin, double* dblMax)
{
    const Four shift = loadFour(dblShift);
    Four sum = loadFour(dblSum);
    Four min = loadFour(dblMin);
    Four max = loadFour(dblMax);
    for (std::size_t i = 0; i < lngCommon; ++i) {
        const Four value = chunks.at(i);
        sum = apply<_mm_add_pd>(sum, apply<_mm_sub_pd>(value, shift));
        min = apply<_mm_min_pd>(value, min);
        max = apply<_mm_max_pd>(value, max);
    }
    storeFour(dblSum, sum);
    storeFour(dblMin, min);
    storeFour(dblMax, max);
}

void secondPassFour(const FourChunks& chunks, std::size_t lngCommon, const double* dblMean, double* dblM2,
                    double* dblM3, double* dblM4)
{
    const Four mean = loadFour(dblMean);
    Four m2 = loadFour(dblM2);
    Four m3 = loadFour(dblM3);
    Four m4 = loadFour(dblM4);
    for (std::size_t i = 0; i < lngCommon; ++i) {
        const Four dev = apply<_mm_sub_pd>(chunks.at(i), mean);
        const Four dev2 = apply<_mm_mul_pd>(dev, dev);
        m2 = apply<_mm_add_pd>(m2, dev2);
        m3 = apply<_mm_add_pd>(m3, apply<_mm_mul_pd>(dev2, dev));
        m4 = apply<_mm_add_pd>(m4, apply<_mm_mul_pd>(dev2, dev2));
    }
    storeFour(dblM2, m2);
    storeFour(dblM3, m3);
    storeFour(dblM4, m4);
}
#endif

// The moments of lngLanes chunks, each summed in its own lane exactly as one chunk alone would be: the
// lanes' additions are independent chains, which the processor runs side by side. A chunk is not
// empty.
template <std::size_t lngLanes> void laneMoments(const std::span<const double>* chunks, Moments* moments)
{
    std::size_t lngCommon = chunks[0].size();
    for (std::size_t l = 1; l < lngLanes; ++l) {
        lngCommon = std::min(lngCommon, chunks[l].size());
    }
    // The mean is summed from the chunk's first value, so that an offset large beside the spread does
    // not round the sum: an error e in a chunk's mean would shift its fourth moment by 4 e times its
    // third.
    double dblShift[lngLanes];
    double dblSum[lngLanes];
    double dblMin[lngLanes];
    double dblMax[lngLanes];
    for (std::size_t l = 0; l < lngLanes; ++l) {
        dblShift[l] = chunks[l].front();
        dblSum[l] = 0.0;
        dblMin[l] = std::numeric_limits<double>::infinity();
        dblMax[l] = -std::numeric_limits<double>::infinity();
    }
    const auto takeFirst = [&](std::size_t l, double dblValue) {
        dblSum[l] += dblValue - dblShift[l];
        dblMin[l] = std::min(dblMin[l], dblValue);
        dblMax[l] = std::max(dblMax[l], dblValue);
    };
    std::size_t lngDone = 0; // of the common length, summed by the vector code
#if defined(__SSE2__)
    const auto lanesOf = [&] {
        return FourChunks{chunks[0].data(), chunks[1].data(), chunks[2].data(), chunks[3].data()};
    };
    if constexpr (lngLanes == 4) {
        firstPassFour(lanesOf(), lngCommon, dblShift, dblSum, dblMin, dblMax);
        lngDone = lngCommon;
    }
#endif
    for (std::size_t i = lngDone; i < lngCommon; ++i) {
        for (std::size_t l = 0; l < lngLanes; ++l) {
            takeFirst(l, chunks[l][i]);
        }
    }
    double dblMean[lngLanes];
    double dblM2[lngLanes];
    double dblM3[lngLanes];
    double dblM4[lngLanes];
    for (std::size_t l = 0; l < lngLanes; ++l) {
        for (std::size_t i = lngCommon; i < chunks[l].size(); ++i) {
            takeFirst(l, chunks[l][i]);
        }
        dblMean[l] = dblShift[l] + dblSum[l] / static_cast<double>(chunks[l].size());
        dblM2[l] = dblM3[l] = dblM4[l] = 0.0;
    }
    const auto takeSecond = [&](std::size_t l, double dblValue) {
        const double dblDev = dblValue - dblMean[l];
        const double dblDev2 = dblDev * dblDev;
        dblM2[l] += dblDev2;
        dblM3[l] += dblDev2 * dblDev;
        dblM4[l] += dblDev2 * dblDev2;
    };
#if defined(__SSE2__)
    if constexpr (lngLanes == 4) {
        secondPassFour(lanesOf(), lngCommon, dblMean, dblM2, dblM3, dblM4);
    }
#endif
    for (std::size_t i = lngDone; i < lngCommon; ++i) {
        for (std::size_t l = 0; l < lngLanes; ++l) {
            takeSecond(l, chunks[l][i]);
        }
    }
    for (std::size_t l = 0; l < lngLanes; ++l) {
        for (std::size_t i = lngCommon; i < chunks[l].size(); ++i) {
            takeSecond(l, chunks[l][i]);
        }
        moments[l] = {static_cast<std::int64_t>(chunks[l].size()),
                      dblMean[l],
                      dblM2[l],
                      dblM3[l],
                      dblM4[l],
                      dblMin[l],
                      dblMax[l]};
    }
}

// Merges a chunk's moments (B) into the moments so far (A): the pairwise updates, highest moment first
// since each uses the lower ones of both parts as they were.
void mergeInto(Moments& a, const Moments& b)
{
    const auto dblA = static_cast<double>(a.lngCount);
    const auto dblB = static_cast<double>(b.lngCount);
    const double dblN = dblA + dblB;
    const double dblDelta = b.dblMean - a.dblMean;
    const double dblDeltaN = dblDelta / dblN;
    const double dblDeltaN2 = dblDeltaN * dblDeltaN;
    const double dblTerm = dblDelta * dblDeltaN * dblA * dblB;
    a.dblM4 += b.dblM4 + dblTerm * dblDeltaN2 * (dblA * dblA - dblA * dblB + dblB * dblB) +
               6.0 * dblDeltaN2 * (dblA * dblA * b.dblM2 + dblB * dblB * a.dblM2) +
               4.0 * dblDeltaN * (dblA * b.dblM3 - dblB * a.dblM3);
    a.dblM3 += b.dblM3 + dblTerm * dblDeltaN * (dblA - dblB) + 3.0 * dblDeltaN * (dblA * b.dblM2 - dblB * a.dblM2);
    a.dblM2 += b.dblM2 + dblTerm;
    a.dblMean += dblB * dblDeltaN;
    a.lngCount += b.lngCount;
    a.dblMin = std::min(a.dblMin, b.dblMin);
    a.dblMax = std::max(a.dblMax, b.dblMax);
}

} // namespace

void MomentAccumulator::addSamples(std::span<const double> dblValues)
{
    if (dblValues.empty()) {
        return;
    }
    // A chunk too long to hold is summed at once, beside what is held.
    if (dblValues.size() <= lngMomentHeldSamples && lngHeld.size() + 1 < lngMomentLanes) {
        if (dblHeld.capacity() == 0) {
            dblHeld.reserve((lngMomentLanes - 1) * lngMomentHeldSamples); // once, never more
        }
        dblHeld.insert(dblHeld.end(), dblValues.begin(), dblValues.end());
        lngHeld.push_back(dblValues.size());
    } else {
        mergeHeld(dblValues);
    }
}

const MomentAccumulator::Moments& MomentAccumulator::settled() const
{
    if (!lngHeld.empty()) {
        mergeHeld({});
    }
    return total;
}

void MomentAccumulator::mergeHeld(std::span<const double> dblLast) const
{
    std::span<const double> chunks[lngMomentLanes];
    std::size_t lngChunks = 0;
    std::size_t lngFrom = 0;
    for (const std::size_t lngSize : lngHeld) {
        chunks[lngChunks++] = std::span<const double>(dblHeld).subspan(lngFrom, lngSize);
        lngFrom += lngSize;
    }
    if (!dblLast.empty()) {
        chunks[lngChunks++] = dblLast;
    }
    Moments moments[lngMomentLanes];
    switch (lngChunks) {
    case 4:
        laneMoments<4>(chunks, moments);
        break;
    case 3:
        laneMoments<3>(chunks, moments);
        break;
    case 2:
        laneMoments<2>(chunks, moments);
        break;
    case 1:
        laneMoments<1>(chunks, moments);
        break;
    default:
        break;
    }
    for (std::size_t c = 0; c < lngChunks; ++c) {
        mergeInto(total, moments[c]);
    }
    dblHeld.clear();
    lngHeld.clear();
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
