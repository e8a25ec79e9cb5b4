// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// What one volt at the converter's input stands for. A sensor's sensitivity turns volts into the
// engineering unit (EU) the user measures in (g, m/s², Pa, ...), and levels in decibels refer to that
// unit's reference value. The default is the converter's own unit: volts, dB re 1 V.
namespace kestrix::engine {

struct EngineeringUnit
{
    std::string strUnit = "V";          // the EU as headings and axes write it: "V", "g", "m/s²", "Pa", "mm/s", "µm"
    double dblVoltsPerUnit = 1.0;       // the sensitivity: volts for one EU (0.1 for 100 mV/g); > 0
    double dblDbReference = 1.0;        // the value 0 dB stands for, in EU (20e-6 for Pa); > 0
    std::string strDbReference = "1 V"; // that value as written after "dB re " ("20 µPa")
};

// A value in volts (or volts rms, peak, ...) in the unit's EU.
inline double euOfVolts(double dblVolts, const EngineeringUnit& unit)
{
    return dblVolts / unit.dblVoltsPerUnit;
}

} // namespace kestrix::engine
