// SPDX-License-Identifier: GPL-3.0-or-later
#include "axis_labels.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace kestrix::engine {
namespace {

// The fewest decimals (at most six) that write each of dblValues whole.
int decimalsOf(std::span<const double> dblValues)
{
    constexpr int intMostDecimals = 6;
    constexpr double dblLastDigitSlack = 1e-6; // of a unit in the last decimal: the rounding of 0.1 and the like
    int intDecimals = 0;
    for (double dblUnit = 1.0; intDecimals < intMostDecimals; ++intDecimals, dblUnit *= 10.0) {
        if (std::all_of(dblValues.begin(), dblValues.end(), [dblUnit](double dblValue) {
                return std::fabs(dblValue * dblUnit - std::round(dblValue * dblUnit)) <= dblLastDigitSlack;
            })) {
            break;
        }
    }
    return intDecimals;
}

// The preferred ticks in view, every stride-th one for at most lngMaxTicks intervals; none where fewer
// than two lie in view. Labelled as they read, with one number of decimals: the step between the ticks
// kept would round them to its own multiples (0.25 to "0.3", -180 to "-360" at every fourth).
AxisTicks preferredTicks(std::span<const double> dblPreferred, AxisRange range, std::size_t lngMaxTicks)
{
    std::vector<double> dblInView;
    std::copy_if(dblPreferred.begin(), dblPreferred.end(), std::back_inserter(dblInView),
                 [&range](double dblValue) { return dblValue >= range.dblLow && dblValue <= range.dblHigh; });
    AxisTicks ticks;
    if (dblInView.size() < 2) {
        return ticks;
    }
    std::size_t lngStride = 1;
    while ((dblInView.size() - 1) / lngStride > std::max<std::size_t>(lngMaxTicks, 1)) {
        lngStride *= 2;
    }
    for (std::size_t i = 0; i < dblInView.size(); i += lngStride) {
        ticks.dblValues.push_back(dblInView[i]);
    }
    const double dblStep = std::pow(10.0, -decimalsOf(ticks.dblValues));
    for (const double dblValue : ticks.dblValues) {
        ticks.strLabels.push_back(tickLabel(dblValue, dblStep));
    }
    return ticks;
}

// Drops the labelled ticks between the two ends whose labels would come closer than dblGap to an end's.
void clearTheEnds(AxisTicks& ticks, const std::vector<LabelSpan>& spans, double dblGap)
{
    if (ticks.dblValues.size() < 2) {
        return;
    }
    AxisTicks kept;
    const auto keep = [&](std::size_t i) {
        kept.dblValues.push_back(ticks.dblValues[i]);
        kept.strLabels.push_back(std::move(ticks.strLabels[i]));
    };
    keep(0);
    for (std::size_t i = 1; i + 1 < ticks.dblValues.size(); ++i) {
        if (spans[i].dblFrom >= spans.front().dblTo + dblGap && spans[i].dblTo + dblGap <= spans.back().dblFrom) {
            keep(i);
        }
    }
    keep(ticks.dblValues.size() - 1);
    kept.dblMinor = std::move(ticks.dblMinor);
    ticks = std::move(kept);
}

} // namespace

double axisPosition(double dblValue, bool blnLog)
{
    if (!blnLog) {
        return dblValue;
    }
    return dblValue > 0.0 ? std::log10(dblValue) : -std::numeric_limits<double>::infinity();
}

double valueAtPosition(double dblPosition, bool blnLog)
{
    return blnLog ? std::pow(10.0, dblPosition) : dblPosition;
}

AxisTicks axisTicks(const TickScale& scale, AxisRange range, std::size_t lngMaxTicks,
                    std::span<const double> dblPreferred)
{
    if (scale.blnFrequency || scale.blnLog) {
        return frequencyTicks(range.dblLow, range.dblHigh, lngMaxTicks, scale.dblUnit, scale.blnLog);
    }
    if (AxisTicks preferred = preferredTicks(dblPreferred, range, lngMaxTicks); !preferred.dblValues.empty()) {
        return preferred;
    }
    AxisTicks ticks;
    ticks.dblValues = linearTicks(range.dblLow, range.dblHigh, lngMaxTicks);
    const double dblStep = niceStep(range.dblHigh - range.dblLow, lngMaxTicks);
    for (const double dblValue : ticks.dblValues) {
        ticks.strLabels.push_back(tickLabel(dblValue, dblStep));
    }
    if (scale.blnLabelEnds && dblStep > 0.0) {
        // The ends with two decimals more than the steps, so the start reads as itself and not as a tick.
        ticks.dblValues.insert(ticks.dblValues.begin(), range.dblLow);
        ticks.strLabels.insert(ticks.strLabels.begin(), tickLabel(range.dblLow, dblStep / 100.0));
        ticks.dblValues.push_back(range.dblHigh);
        ticks.strLabels.push_back(tickLabel(range.dblHigh, dblStep / 100.0));
    }
    return ticks;
}

std::vector<LabelSpan> labelSpans(std::span<const double> dblValues, std::span<const double> dblHalfExtents,
                                  AxisRange range, bool blnLog, double dblLength)
{
    const double dblLow = axisPosition(range.dblLow, blnLog);
    const double dblSpan = axisPosition(range.dblHigh, blnLog) - dblLow;
    std::vector<LabelSpan> spans;
    for (std::size_t i = 0; i < dblValues.size(); ++i) {
        const double dblAt = (axisPosition(dblValues[i], blnLog) - dblLow) / dblSpan * dblLength;
        spans.push_back({dblAt - dblHalfExtents[i], dblAt + dblHalfExtents[i]});
    }
    return spans;
}

bool labelsApart(std::span<const LabelSpan> spans, double dblGap)
{
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i - 1].dblTo + dblGap > spans[i].dblFrom) {
            return false;
        }
    }
    return true;
}

AxisTicks thinnedTicks(const TickScale& scale, AxisRange range, std::size_t lngMostIntervals,
                       std::span<const double> dblPreferred, double dblLength, double dblGap,
                       const LabelHalfExtent& halfExtent)
{
    const auto spansOf = [&](const AxisTicks& ticks) {
        std::vector<double> dblHalves;
        for (const std::string& strLabel : ticks.strLabels) {
            dblHalves.push_back(halfExtent(strLabel));
        }
        return labelSpans(ticks.dblValues, dblHalves, range, scale.blnLog, dblLength);
    };
    const auto ticksAt = [&](std::size_t lngIntervals) {
        AxisTicks ticks = axisTicks(scale, range, lngIntervals, dblPreferred);
        if (scale.blnLabelEnds && !scale.blnFrequency && !scale.blnLog) {
            clearTheEnds(ticks, spansOf(ticks), dblGap);
        }
        return ticks;
    };
    const auto apart = [&](const AxisTicks& ticks) { return labelsApart(spansOf(ticks), dblGap); };
    for (std::size_t lngMax = std::max<std::size_t>(lngMostIntervals, 1);; --lngMax) {
        AxisTicks ticks = ticksAt(lngMax);
        if (apart(ticks) || lngMax <= 1) {
            // A step as coarse as the room asks for may leave one label alone in view (-463 .. 399 in steps
            // of 500): finer steps are taken while their labels keep apart.
            for (std::size_t lngFiner = lngMax + 1; ticks.dblValues.size() < 2 && lngFiner <= 4 * lngMax; ++lngFiner) {
                AxisTicks finer = ticksAt(lngFiner);
                if (!apart(finer)) {
                    break;
                }
                ticks = std::move(finer);
            }
            return ticks;
        }
    }
}

} // namespace kestrix::engine
