// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The units of the spectrum view as its user reads them: the names in the units list, the legend,
// the axes and the readouts (not part of the view's interface).

#include "engine/recordings/averaged_spectrum.h"
#include "engine/recordings/measured_quantity.h"
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
    double dblZeroDbValue = 1.0; // the value as drawn that the logarithmic axis reads as 0 dB
    QString strValue;            // after a value to be read at a glance: "V rms", "mm/s rms", "g²/Hz"
    bool blnPrefix = true;       // an SI prefix may go before strValue ("88.82 mg rms"; never "µmm/s")
    QString strUnit;             // the unit of the values: "V", "g", "mm/s"
};

// Whether a quantity is the converter's volts as they are: no sensor, no conversion, no dB reference.
bool inVolts(const engine::MeasuredQuantity& quantity);

// The texts of the volts' units.
UnitsTexts unitsTexts(engine::SpectrumUnits units);
// The texts of the units of a measured quantity: unitsTexts(units) exactly for volts without a dB
// reference; else the shown unit, its dB reference and the quantity named ("速度 実効値 [mm/s rms]").
UnitsTexts unitsTexts(engine::SpectrumUnits units, const engine::MeasuredQuantity& quantity);

// A quantity's word, as the axis names it before its kind of value ("速度の実効値"): "加速度", "速度",
// "変位"; empty as recorded.
QString quantityWord(engine::Quantity quantity);

// A window's name as the view shows it: "窓なし", "Hann", "フラットトップ".
QString windowKindTitle(engine::WindowKind window);

// A value in the scale's units to be read at a glance: "1.831 V", "88.82 µV rms", "-8.73 dBV",
// "1.234E-09 V²/Hz"; with texts, in their unit ("69.34 mm/s rms", "156.82 dB re 1 nm/s").
QString valueText(double dblValue, const engine::SpectrumScale& scale);
QString valueText(double dblValue, const engine::SpectrumScale& scale, const UnitsTexts& texts);

// A value in the scale's units without its unit, for a column headed by it: four significant digits
// ("79.25", "0.07692", "1.234E-05" for a density), levels in dB to two decimals.
QString bareValueText(double dblValue, const engine::SpectrumScale& scale);

// A value in a unit to be read at a glance: four significant digits, with an SI prefix where the unit
// takes one ("9.807 mg", "69.34 mm/s").
QString unitValueText(double dblValue, const QString& strUnit);

// The decibels of a value as the plot draws it (dBV as V rms): "-8.73 dBV", "-60.00 dB re 1 V²/Hz".
QString levelText(double dblPlotted, const engine::SpectrumScale& scale);
QString levelText(double dblPlotted, const UnitsTexts& texts);

// A line's value carried from one scale into another; the same value where the scales agree.
double carriedValue(double dblValue, std::size_t lngLine, const engine::SpectrumScale& from,
                    const engine::SpectrumScale& to);

// Whether two scales read a line alike.
bool sameScale(const engine::SpectrumScale& a, const engine::SpectrumScale& b);

} // namespace kestrix::ui
