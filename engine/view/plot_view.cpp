// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot_view.h"

#include "plot_axis.h"

#include <algorithm>
#include <cmath>

namespace kestrix::engine {
namespace {

// The points of one pixel column; the points just outside the view stand in columns -1 and lngColumns.
struct Column
{
    std::ptrdiff_t lngColumn = 0;
    double dblFirstX = 0.0;
    double dblFirstY = 0.0;
    double dblLastX = 0.0;
    double dblLastY = 0.0;
    double dblMin = 0.0;
    double dblMax = 0.0;
};

std::vector<Column> collectColumns(std::span<const double> dblX, std::span<const double> dblY, double dblLow,
                                   double dblHigh, std::size_t lngColumns)
{
    const double dblWidth = (dblHigh - dblLow) / static_cast<double>(lngColumns);
    const auto lngLastColumn = static_cast<std::ptrdiff_t>(lngColumns) - 1;
    std::size_t lngFirst = static_cast<std::size_t>(std::lower_bound(dblX.begin(), dblX.end(), dblLow) - dblX.begin());
    std::size_t lngEnd = static_cast<std::size_t>(std::upper_bound(dblX.begin(), dblX.end(), dblHigh) - dblX.begin());
    lngFirst = lngFirst > 0 ? lngFirst - 1 : 0;
    lngEnd = std::min(lngEnd + 1, dblX.size());
    std::vector<Column> columns;
    for (std::size_t i = lngFirst; i < lngEnd; ++i) {
        std::ptrdiff_t lngColumn = -1;
        if (dblX[i] > dblHigh) {
            lngColumn = lngLastColumn + 1;
        } else if (dblX[i] >= dblLow) {
            lngColumn = std::min(static_cast<std::ptrdiff_t>((dblX[i] - dblLow) / dblWidth), lngLastColumn);
        }
        if (columns.empty() || columns.back().lngColumn != lngColumn) {
            columns.push_back({lngColumn, dblX[i], dblY[i], dblX[i], dblY[i], dblY[i], dblY[i]});
            continue;
        }
        Column& column = columns.back();
        column.dblLastX = dblX[i];
        column.dblLastY = dblY[i];
        column.dblMin = std::min(column.dblMin, dblY[i]);
        column.dblMax = std::max(column.dblMax, dblY[i]);
    }
    return columns;
}

// Bars for the columns between two that hold points: the stretch of the straight line from the last
// point of one to the first of the other that crosses each.
void addCrossedColumns(const Column& from, const Column& to, double dblLow, double dblWidth, std::size_t lngColumns,
                       std::vector<ColumnBar>& bars)
{
    const double dblRun = to.dblFirstX - from.dblLastX;
    const auto valueAt = [&](double dblX) {
        const double dblShare = dblRun > 0.0 ? std::clamp((dblX - from.dblLastX) / dblRun, 0.0, 1.0) : 0.0;
        return from.dblLastY + (to.dblFirstY - from.dblLastY) * dblShare;
    };
    const std::ptrdiff_t lngStart = std::max<std::ptrdiff_t>(from.lngColumn + 1, 0);
    const std::ptrdiff_t lngStop = std::min(to.lngColumn, static_cast<std::ptrdiff_t>(lngColumns));
    for (std::ptrdiff_t j = lngStart; j < lngStop; ++j) {
        const double dblLeft = valueAt(dblLow + static_cast<double>(j) * dblWidth);
        const double dblRight = valueAt(dblLow + static_cast<double>(j + 1) * dblWidth);
        bars.push_back({static_cast<std::size_t>(j), std::min(dblLeft, dblRight), std::max(dblLeft, dblRight)});
    }
}

// Where neighbouring bars do not meet, the higher one reaches down to the lower one. Reaching up from
// the lower one instead would draw a second, shorter bar beside a lone high line.
void joinNeighbours(std::vector<ColumnBar>& bars)
{
    for (std::size_t k = 1; k < bars.size(); ++k) {
        ColumnBar& left = bars[k - 1];
        ColumnBar& right = bars[k];
        if (right.lngColumn != left.lngColumn + 1) {
            continue;
        }
        if (left.dblHigh < right.dblLow) {
            right.dblLow = left.dblHigh;
        } else if (right.dblHigh < left.dblLow) {
            left.dblLow = right.dblHigh;
        }
    }
}

std::string lineRefusal(std::size_t lngLine, const char* strWhy)
{
    return std::to_string(lngLine + 1) + " 行目：" + strWhy;
}

} // namespace

AxisRange limitRange(AxisRange range, AxisRange bounds, double dblMinSpan)
{
    const double dblBoundsSpan = bounds.dblHigh - bounds.dblLow;
    double dblSpan = range.dblHigh - range.dblLow;
    // A zoom deeper than the doubles' resolution leaves a range of width 0: it still has its place.
    if (!std::isfinite(range.dblLow) || !std::isfinite(range.dblHigh) || !(dblSpan >= 0.0) ||
        !(dblSpan < dblBoundsSpan) || !(dblMinSpan < dblBoundsSpan)) {
        return bounds;
    }
    if (dblSpan < dblMinSpan) {
        const double dblCentre = range.dblLow + dblSpan / 2.0;
        dblSpan = dblMinSpan;
        range = {dblCentre - dblSpan / 2.0, dblCentre + dblSpan / 2.0};
    }
    if (range.dblLow < bounds.dblLow) {
        range = {bounds.dblLow, bounds.dblLow + dblSpan};
    } else if (range.dblHigh > bounds.dblHigh) {
        range = {bounds.dblHigh - dblSpan, bounds.dblHigh};
    }
    return range;
}

AxisRange limitLogRange(AxisRange range, AxisRange bounds, double dblMinSpan)
{
    if (!(range.dblLow > 0.0) || !(range.dblHigh >= range.dblLow) || !std::isfinite(range.dblHigh)) {
        return bounds;
    }
    // Moved within the bounds as the axis draws it: the ratio of the ends kept.
    const AxisRange logBounds{std::log10(bounds.dblLow), std::log10(bounds.dblHigh)};
    const AxisRange logs = limitRange({std::log10(range.dblLow), std::log10(range.dblHigh)}, logBounds, 0.0);
    // The ends that reach the bounds are the bounds themselves, not their logarithms' powers.
    const AxisRange moved{logs.dblLow == logBounds.dblLow ? bounds.dblLow : std::pow(10.0, logs.dblLow),
                          logs.dblHigh == logBounds.dblHigh ? bounds.dblHigh : std::pow(10.0, logs.dblHigh)};
    if (!(moved.dblHigh - moved.dblLow < dblMinSpan)) {
        return moved;
    }
    // Grown about the geometric centre C to dblMinSpan Hz: C (u - 1 / u) = dblMinSpan, u the root of
    // the ends' ratio. Where that passes a bound, the range runs from the bound instead.
    const double dblCentre = std::sqrt(moved.dblLow * moved.dblHigh);
    const double dblShare = dblMinSpan / dblCentre;
    const double dblRoot = (dblShare + std::sqrt(dblShare * dblShare + 4.0)) / 2.0;
    if (dblCentre / dblRoot < bounds.dblLow) {
        return {bounds.dblLow, std::min(bounds.dblHigh, std::max(moved.dblHigh, bounds.dblLow + dblMinSpan))};
    }
    if (dblCentre * dblRoot > bounds.dblHigh) {
        return {std::max(bounds.dblLow, std::min(moved.dblLow, bounds.dblHigh - dblMinSpan)), bounds.dblHigh};
    }
    return {dblCentre / dblRoot, dblCentre * dblRoot};
}

std::vector<ColumnBar> columnBars(std::span<const double> dblX, std::span<const double> dblY, double dblLow,
                                  double dblHigh, std::size_t lngColumns)
{
    std::vector<ColumnBar> bars;
    const std::size_t lngCount = std::min(dblX.size(), dblY.size());
    if (lngCount == 0 || lngColumns == 0 || !(dblHigh > dblLow)) {
        return bars;
    }
    const std::vector<Column> columns = collectColumns(dblX.first(lngCount), dblY, dblLow, dblHigh, lngColumns);
    const double dblWidth = (dblHigh - dblLow) / static_cast<double>(lngColumns);
    bars.reserve(lngColumns);
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (k > 0) {
            addCrossedColumns(columns[k - 1], columns[k], dblLow, dblWidth, lngColumns, bars);
        }
        const Column& column = columns[k];
        if (column.lngColumn >= 0 && column.lngColumn < static_cast<std::ptrdiff_t>(lngColumns)) {
            bars.push_back({static_cast<std::size_t>(column.lngColumn), column.dblMin, column.dblMax});
        }
    }
    joinNeighbours(bars);
    return bars;
}

PickedLine pickLine(std::span<const double> dblX, std::span<const double> dblY, double dblAt, double dblReach)
{
    const auto first = std::lower_bound(dblX.begin(), dblX.end(), dblAt - dblReach);
    const auto last = std::upper_bound(first, dblX.end(), dblAt + dblReach);
    if (first == last) {
        return {nearestIndex(dblX, dblAt), false};
    }
    const auto lngFirst = static_cast<std::size_t>(first - dblX.begin());
    const auto lngLast = static_cast<std::size_t>(last - dblX.begin());
    std::size_t lngBest = lngFirst;
    for (std::size_t i = lngFirst + 1; i < lngLast; ++i) {
        if (dblY[i] > dblY[lngBest]) {
            lngBest = i;
        }
    }
    return {lngBest, lngLast - lngFirst >= 2};
}

std::optional<std::size_t> lineAt(std::span<const double> dblX, double dblValue)
{
    // A 15-digit text is within 5E-15 of its value; a billionth leaves room for any sum that made it.
    constexpr double dblRelativeTolerance = 1e-9;
    const double dblTolerance = std::max(std::fabs(dblValue) * dblRelativeTolerance, dblRelativeTolerance);
    if (dblX.empty()) {
        return std::nullopt;
    }
    const std::size_t lngNearest = nearestIndex(dblX, dblValue);
    if (std::fabs(dblX[lngNearest] - dblValue) <= dblTolerance) {
        return lngNearest;
    }
    return std::nullopt;
}

std::string plotRefusal(std::span<const double> dblFreq, std::span<const double> dblVolts)
{
    const std::size_t lngCount = std::min(dblFreq.size(), dblVolts.size());
    for (std::size_t i = 0; i < lngCount; ++i) {
        if (!(dblFreq[i] < dblMaxPlotFreq)) {
            return lineRefusal(i, "周波数が大きすぎてグラフに表示できません（1E+12 Hz 未満まで）。");
        }
        if (!(dblVolts[i] <= dblMaxPlotVolts)) {
            return lineRefusal(i, "振幅が大きすぎてグラフに表示できません（1E+100 V まで）。");
        }
        if (dblVolts[i] > 0.0 && dblVolts[i] < dblMinPlotVolts) {
            return lineRefusal(i, "振幅が小さすぎてグラフに表示できません（0 か 1E-100 V 以上）。");
        }
    }
    return {};
}

} // namespace kestrix::engine
