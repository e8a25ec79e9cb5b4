#pragma once

// The geometry the plot's drawing, its mouse and its keys share (not part of its interface).

#include "spectrum_plot.h"

#include <QRect>
#include <QString>

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
    TickSet xTicks;
    TickSet yTicks;
};

} // namespace kestrix::ui
