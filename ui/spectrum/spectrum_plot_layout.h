// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The geometry the plot's drawing, its mouse and its keys share (not part of its interface).

#include "spectrum_plot.h"

#include <QRect>
#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace kestrix::ui {

constexpr int intPad = 8;        // px between the widget's edge, labels and the axes
constexpr int intTickLength = 4; // px

struct TickSet
{
    std::vector<double> dblValues; // axis units
    std::vector<QString> strLabels;
};

struct SpectrumPlot::Layout
{
    QRect area;
    QRect plot;
    TickSet xTicks;                // values in Hz, labels in Hz or orders
    std::vector<double> dblMinorX; // Hz, the unlabelled lines of the logarithmic axis
    TickSet yTicks;
    bool blnLogFreq = false;
    double dblLowAxis = 0.0; // the view's ends on the frequency axis: Hz, or their logarithms
    double dblHighAxis = 1.0;

    // The widget column of a frequency (Hz), within a million pixels of the plot (0 Hz on the
    // logarithmic axis lies at its far left).
    double xOf(double dblFreq) const
    {
        constexpr double dblMaxPixels = 1e6;
        const double dblAxis = !blnLogFreq     ? dblFreq
                               : dblFreq > 0.0 ? std::log10(dblFreq)
                                               : -std::numeric_limits<double>::infinity();
        const double dblX = plot.left() + (dblAxis - dblLowAxis) / (dblHighAxis - dblLowAxis) * plot.width();
        return std::clamp(dblX, plot.left() - dblMaxPixels, plot.right() + dblMaxPixels);
    }
};

} // namespace kestrix::ui
