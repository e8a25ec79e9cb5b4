// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engineering_unit.h"
#include "tone_figures.h"

#include <string>

// A sensor's sensitivity found from a recording of its calibrator: the calibrator makes a tone of a
// known rms level (1 g, 10 m/s², 94 dB SPL, ...); the recording's averaged spectrum (flat top, to half
// the rate) gives the tone's rms volts, and their ratio is the sensitivity.
namespace kestrix::engine {

// How far the tone's line must stand above every other line (0 Hz and its main lobe left out): a
// recording without a clear tone is not a calibration.
inline constexpr double dblMinToneAboveRestDb = 20.0;

struct Calibration
{
    bool blnToneFound = false;       // the tone stands dblMinToneAboveRestDb above the rest
    EngineeringUnit sensor;          // with blnToneFound: the level's unit, volts per unit = tone / level
    double dblToneHz = 0.0;          // the tone's frequency, between lines (its lobe's power-weighted centre)
    double dblToneVoltsRms = 0.0;    // its rms volts: the power of its line and main lobe
    double dblToneAboveRestDb = 0.0; // its line over the highest other line (NaN for silence)
    double dblRestHz = 0.0;          // where that other line is
    UnitValue level;                 // the level it was made to read
};

// The calibration from the figures of a tone (toneFiguresOf an average to half the rate, the
// fundamental being the highest line) and the level (> 0) the tone stands for.
Calibration calibrationOf(const ToneFigures& figures, const UnitValue& level);

// In English, as the batch prints it: "sensitivity 49.87 mV/Pa (tone 1000.0 Hz, 70.52 mV rms)", or
// "no tone stands 20 dB above the rest of the spectrum: the highest line (1000.0 Hz) stands 12.3 dB
// above the next highest (2000.0 Hz)".
std::string calibrationText(const Calibration& calibration);

} // namespace kestrix::engine
