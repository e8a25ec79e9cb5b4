// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The units of the spectrum view as its user reads them: the names in the units list, the legend,
// the axes and the readouts (not part of the view's interface).

#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/spectrum_units.h"
#include "engine/recordings/window_function.h"

#include <QString>

#include <cstddef>

namespace kestrix::ui {

struct UnitsTexts
{
    QString strChoice;  // the entry of the units list
    QString strLegend;  // in the legend: "V rms"
    QString strFile;    // after a value as a file writes it: "V rms", "V^2/Hz"
    QString strAxis;    // the linear amplitude axis
    QString strLogAxis; // the logarithmic one
    QString strDb;      // the decibels of the logarithmic axis: "dBV", "dB re 1 V²/Hz"
    double dblDbPerDecade = 20.0;
};

UnitsTexts unitsTexts(engine::SpectrumUnits units);

// A window's name as the view shows it: "窓なし", "Hann", "フラットトップ".
QString windowKindTitle(engine::WindowKind window);

// A value in the scale's units to be read at a glance: "1.831 V", "88.82 µV rms", "-8.73 dBV",
// "1.234E-09 V²/Hz".
QString valueText(double dblValue, const engine::SpectrumScale& scale);

// The decibels of a value as the plot draws it (dBV as V rms): "-8.73 dBV", "-60.00 dB re 1 V²/Hz".
QString levelText(double dblPlotted, const engine::SpectrumScale& scale);

// A line's value carried from one scale into another; the same value where the scales agree.
double carriedValue(double dblValue, std::size_t lngLine, const engine::SpectrumScale& from,
                    const engine::SpectrumScale& to);

// Whether two scales read a line alike.
bool sameScale(const engine::SpectrumScale& a, const engine::SpectrumScale& b);

} // namespace kestrix::ui
