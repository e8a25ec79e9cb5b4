#include "plot_axis.h"

#include "number_text.h"

#include <algorithm>
#include <cmath>
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

std::vector<double> logTicks(double dblLow, double dblHigh, std::size_t lngMaxTicks)
{
    // A plot of a few decades reads better with the 2 and 5 marks between the powers of ten.
    constexpr double dblMaxDecadesWithSteps = 3.0;
    if (!(dblLow > 0.0) || !std::isfinite(dblHigh) || !(dblHigh > dblLow)) {
        return {};
    }
    // Both within the doubles' 633 powers of ten: the loop below is bounded.
    const double dblFirstPower = std::ceil(std::log10(dblLow) - dblTickSlack);
    const double dblLastPower = std::floor(std::log10(dblHigh) + dblTickSlack);
    const double dblPowers = dblLastPower - dblFirstPower + 1.0;
    if (dblPowers < 2.0) {
        return linearTicks(dblLow, dblHigh, lngMaxTicks);
    }
    const double dblStride = std::ceil(dblPowers / static_cast<double>(std::max<std::size_t>(lngMaxTicks, 1)));
    const bool blnSteps = std::log10(dblHigh / dblLow) <= dblMaxDecadesWithSteps;
    std::vector<double> dblTicks;
    for (double k = dblFirstPower - 1.0; k <= dblLastPower; k += 1.0) {
        const double dblPower = std::pow(10.0, k);
        if (k >= dblFirstPower && std::fmod(k, dblStride) == 0.0) {
            dblTicks.push_back(dblPower);
        }
        if (blnSteps) {
            for (const double dblMantissa : {2.0, 5.0}) {
                const double dblValue = dblMantissa * dblPower;
                if (dblValue >= dblLow && dblValue <= dblHigh) {
                    dblTicks.push_back(dblValue);
                }
            }
        }
    }
    std::sort(dblTicks.begin(), dblTicks.end());
    return dblTicks;
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
