// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot_axis.h"

#include "engine/run/number_text.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace kestrix::engine {
namespace {

// Slack for the rounding of products such as 3 * 0.1, so a tick exactly on a range end stays in.
constexpr double dblTickSlack = 1e-9;

} // namespace

double niceStep(double dblSpan, std::size_t lngMaxTicks)
{
    const double dblRaw = dblSpan / static_cast<double>(std::max<std::size_t>(lngMaxTicks, 1));
    // Below the smallest normal double the powers of ten run out (10^-324 is 0); beyond the largest a
    // step would be infinite.
    if (!std::isfinite(dblRaw) || !(dblRaw >= std::numeric_limits<double>::min())) {
        return 0.0;
    }
    const double dblMagnitude = std::pow(10.0, std::floor(std::log10(dblRaw)));
    for (const double dblMantissa : {1.0, 2.0, 5.0, 10.0}) {
        const double dblStep = dblMantissa * dblMagnitude;
        if (dblStep >= dblRaw * (1.0 - dblTickSlack)) {
            return std::isfinite(dblStep) ? dblStep : 0.0;
        }
    }
    return 0.0;
}

std::vector<double> linearTicks(double dblLow, double dblHigh, std::size_t lngMaxTicks)
{
    std::vector<double> dblTicks;
    if (!std::isfinite(dblLow) || !std::isfinite(dblHigh) || !(dblHigh > dblLow)) {
        return dblTicks;
    }
    const double dblStep = niceStep(dblHigh - dblLow, lngMaxTicks);
    if (!(dblStep > 0.0)) {
        return dblTicks;
    }
    const double dblFirst = std::ceil(dblLow / dblStep - dblTickSlack);
    const double dblLast = std::floor(dblHigh / dblStep + dblTickSlack);
    // The step fits the span lngMaxTicks times, so at most lngMaxTicks + 1 multiples lie inside (one
    // more for the slack at the ends). Counting is exact only below 2^53: beyond, neighbouring multiples
    // of a step below the values' resolution (a narrow view far from zero) are the same double.
    constexpr double dblExactCount = 9007199254740992.0; // 2^53
    const double dblCount = dblLast - dblFirst + 1.0;
    if (!(dblCount >= 1.0) || dblCount > static_cast<double>(lngMaxTicks) + 2.0 ||
        std::fabs(dblFirst) >= dblExactCount || std::fabs(dblLast) >= dblExactCount) {
        return dblTicks;
    }
    for (double k = 0.0; k < dblCount; k += 1.0) {
        dblTicks.push_back((dblFirst + k) * dblStep);
    }
    return dblTicks;
}

namespace {

// The whole powers of ten from 10^dblFirstPower to 10^dblLastPower, each times the mantissas, that lie
// within dblLow .. dblHigh (a power's own tick is mantissa 1), of every dblStride-th power (those whose
// exponent it divides), ascending and told apart.
std::vector<double> decadeTicks(double dblLow, double dblHigh, double dblFirstPower, double dblLastPower,
                                std::initializer_list<double> dblMantissas, double dblStride)
{
    std::vector<double> dblTicks;
    for (double k = dblFirstPower; k <= dblLastPower; k += 1.0) {
        if (std::fmod(k, dblStride) != 0.0) {
            continue;
        }
        const double dblPower = std::pow(10.0, k);
        for (const double dblMantissa : dblMantissas) {
            const double dblValue = dblMantissa * dblPower;
            const bool blnInside =
                dblValue >= dblLow * (1.0 - dblTickSlack) && dblValue <= dblHigh * (1.0 + dblTickSlack);
            if (blnInside && std::isfinite(dblValue)) {
                dblTicks.push_back(dblValue);
            }
        }
    }
    std::sort(dblTicks.begin(), dblTicks.end());
    dblTicks.erase(std::unique(dblTicks.begin(), dblTicks.end()), dblTicks.end());
    return dblTicks;
}

// logTicks, blnLinear saying that the range took the linear ticks.
std::vector<double> logTicksOf(double dblLow, double dblHigh, std::size_t lngMaxTicks, bool& blnLinear)
{
    blnLinear = false;
    if (!(dblLow > 0.0) || !std::isfinite(dblHigh) || !(dblHigh > dblLow)) {
        return {};
    }
    const auto dblMax = static_cast<double>(std::max<std::size_t>(lngMaxTicks, 1));
    // Both within the doubles' 633 powers of ten, one below the range included for its 2 and 5 times:
    // the loops are bounded.
    const double dblFirstPower = std::ceil(std::log10(dblLow) - dblTickSlack);
    const double dblLastPower = std::floor(std::log10(dblHigh) + dblTickSlack);
    const double dblPowers = dblLastPower - dblFirstPower + 1.0;
    // With more powers than ticks, their 2 and 5 times cannot fit.
    if (dblPowers <= dblMax) {
        std::vector<double> dblSteps =
            decadeTicks(dblLow, dblHigh, dblFirstPower - 1.0, dblLastPower, {1.0, 2.0, 5.0}, 1.0);
        if (dblSteps.size() >= 2 && dblSteps.size() <= lngMaxTicks) {
            return dblSteps;
        }
    }
    if (dblPowers >= 2.0) {
        return decadeTicks(dblLow, dblHigh, dblFirstPower, dblLastPower, {1.0}, std::ceil(dblPowers / dblMax));
    }
    blnLinear = true;
    return linearTicks(dblLow, dblHigh, lngMaxTicks);
}

// The unlabelled lines of a logarithmic axis: 1 to 9 times each power of ten in the range, but not
// where a label stands; none over more decades than lngMaxTicks.
std::vector<double> minorLogTicks(double dblLow, double dblHigh, std::size_t lngMaxTicks,
                                  const std::vector<double>& dblLabelled)
{
    const double dblFirstPower = std::floor(std::log10(dblLow));
    const double dblLastPower = std::floor(std::log10(dblHigh));
    if (!(dblLastPower - dblFirstPower + 1.0 <= static_cast<double>(lngMaxTicks))) {
        return {};
    }
    std::vector<double> dblMinor;
    for (const double dblValue : decadeTicks(dblLow, dblHigh, dblFirstPower, dblLastPower,
                                             {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0}, 1.0)) {
        if (!std::binary_search(dblLabelled.begin(), dblLabelled.end(), dblValue)) {
            dblMinor.push_back(dblValue);
        }
    }
    return dblMinor;
}

} // namespace

std::vector<double> logTicks(double dblLow, double dblHigh, std::size_t lngMaxTicks)
{
    bool blnLinear = false;
    return logTicksOf(dblLow, dblHigh, lngMaxTicks, blnLinear);
}

AxisTicks frequencyTicks(double dblLowHz, double dblHighHz, std::size_t lngMaxTicks, double dblUnitHz, bool blnLog)
{
    AxisTicks ticks;
    const double dblLow = dblLowHz / dblUnitHz;
    const double dblHigh = dblHighHz / dblUnitHz;
    bool blnLinear = !blnLog;
    std::vector<double> dblUnits =
        blnLog ? logTicksOf(dblLow, dblHigh, lngMaxTicks, blnLinear) : linearTicks(dblLow, dblHigh, lngMaxTicks);
    const double dblStep = niceStep(dblHigh - dblLow, lngMaxTicks);
    for (const double dblValue : dblUnits) {
        // A decade's tick shows the decimals its own decade needs: 0.002, 0.5, 20, 5000.
        const double dblOwnStep = blnLinear ? dblStep : std::pow(10.0, std::floor(std::log10(dblValue) + dblTickSlack));
        ticks.dblValues.push_back(dblValue * dblUnitHz);
        ticks.strLabels.push_back(tickLabel(dblValue, dblOwnStep));
    }
    if (blnLog && !blnLinear) {
        for (const double dblValue : minorLogTicks(dblLow, dblHigh, lngMaxTicks, dblUnits)) {
            ticks.dblMinor.push_back(dblValue * dblUnitHz);
        }
    }
    return ticks;
}

std::string tickLabel(double dblValue, double dblStep)
{
    // Beyond these the plain decimal text grows long and the exponent form reads better.
    constexpr int intMaxPlainDecimals = 6;
    constexpr double dblMaxPlainValue = 1e9;
    if (!(dblStep > 0.0) || !std::isfinite(dblStep)) {
        return generalNumberText(dblValue);
    }
    const double dblSnapped = std::round(dblValue / dblStep) * dblStep;
    const int intDecimals = std::max(0, static_cast<int>(-std::floor(std::log10(dblStep) + dblTickSlack)));
    if (intDecimals <= intMaxPlainDecimals && std::fabs(dblSnapped) < dblMaxPlainValue) {
        return fixedDecimalText(dblSnapped, intDecimals);
    }
    return generalNumberText(dblSnapped);
}

std::vector<TracePoint> decimateTrace(std::span<const double> dblX, std::span<const double> dblY, double dblLow,
                                      double dblHigh, std::size_t lngColumns)
{
    std::vector<TracePoint> points;
    const std::size_t lngCount = std::min(dblX.size(), dblY.size());
    if (lngCount == 0 || lngColumns == 0 || !(dblHigh > dblLow)) {
        return points;
    }
    const auto xs = dblX.first(lngCount);
    std::size_t lngFirst = static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), dblLow) - xs.begin());
    std::size_t lngEnd = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), dblHigh) - xs.begin());
    lngFirst = lngFirst > 0 ? lngFirst - 1 : 0;
    lngEnd = std::min(lngEnd + 1, lngCount);

    if (lngEnd - lngFirst <= 2 * lngColumns) {
        for (std::size_t i = lngFirst; i < lngEnd; ++i) {
            points.push_back({xs[i], dblY[i]});
        }
        return points;
    }

    const double dblWidth = (dblHigh - dblLow) / static_cast<double>(lngColumns);
    points.reserve(4 * lngColumns + 2);
    std::size_t i = lngFirst;
    if (xs[i] < dblLow) {
        points.push_back({xs[i], dblY[i]});
        ++i;
    }
    while (i < lngEnd && xs[i] <= dblHigh) {
        const auto lngColumn = std::min(static_cast<std::size_t>((xs[i] - dblLow) / dblWidth), lngColumns - 1);
        const double dblCentre = dblLow + (static_cast<double>(lngColumn) + 0.5) * dblWidth;
        const double dblFirstY = dblY[i];
        double dblMin = dblFirstY;
        double dblMax = dblFirstY;
        double dblLastY = dblFirstY;
        for (++i; i < lngEnd && xs[i] <= dblHigh; ++i) {
            if (std::min(static_cast<std::size_t>((xs[i] - dblLow) / dblWidth), lngColumns - 1) != lngColumn) {
                break;
            }
            dblLastY = dblY[i];
            dblMin = std::min(dblMin, dblLastY);
            dblMax = std::max(dblMax, dblLastY);
        }
        points.push_back({dblCentre, dblFirstY});
        points.push_back({dblCentre, dblMin});
        points.push_back({dblCentre, dblMax});
        points.push_back({dblCentre, dblLastY});
    }
    if (i < lngEnd) {
        points.push_back({xs[i], dblY[i]});
    }
    return points;
}

std::size_t nearestIndex(std::span<const double> dblX, double dblValue)
{
    const auto upper = std::lower_bound(dblX.begin(), dblX.end(), dblValue);
    if (upper == dblX.begin()) {
        return 0;
    }
    if (upper == dblX.end()) {
        return dblX.size() - 1;
    }
    const auto lower = upper - 1;
    const auto lngUpper = static_cast<std::size_t>(upper - dblX.begin());
    return (dblValue - *lower <= *upper - dblValue) ? lngUpper - 1 : lngUpper;
}

} // namespace kestrix::engine
